#include "webcom/bqcom.h"

#include <utility>

#include "common/automation_error.h"
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

void BQCOM::PreTest(const std::string& cPath) {
  faced([&] { bq::PreTest(cPath); });
}

void BQCOM::EndTest(const std::string& cPath) {
  faced([&] { bq::EndTest(cPath); });
}

void BQCOM::TermProc() {
  faced([] { bq::TermProc(); });
}

}  // namespace bq
