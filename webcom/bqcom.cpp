#include "webcom/bqcom.h"

#include <utility>

#include "common/automation_error.h"
#include "webcom/frm_title.h"
#include "webcom/ftp_transfer.h"
#include "webcom/session.h"

namespace bq {
namespace {

// Runs one method body; errors leave with the library's name as their source.
template <typename F>
decltype(auto) faced(F&& body) {
  return withErrorSource(BQCOM::kErrorSource, std::forward<F>(body));
}

}  // namespace

void BQCOM::CreateOpDirs(const std::string& cPath, const std::string& cZSD) {
  faced([&] { bq::CreateOpDirs(cPath, cZSD); });
}

void BQCOM::FileDownLoad(std::string& cIP, std::string& cPort, std::string& cServer,
                         std::string& cClient, std::string& cID, std::string& cFlag) {
  faced([&] { bq::FileDownLoad(cIP, cPort, cServer, cClient, cID, cFlag); });
}

void BQCOM::FileUpLoad(std::string& cIP, std::string& cPort, std::string& cServer,
                       std::string& cClient, std::string& cID, std::string& cFlag) {
  faced([&] { bq::FileUpLoad(cIP, cPort, cServer, cClient, cID, cFlag); });
}

void BQCOM::PreTest(const std::string& cPath) {
  faced([&] { bq::PreTest(cPath); });
}

void BQCOM::EndTest(const std::string& cPath) {
  faced([&] { bq::EndTest(cPath); });
}

void BQCOM::QuestionPane(const std::string& tg) {
  faced([&] { bq::QuestionPane(tg); });
}

void BQCOM::TermProc() {
  faced([] { bq::TermProc(); });
}

}  // namespace bq
