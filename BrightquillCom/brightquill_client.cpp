#include "BrightquillCom/brightquill_client.h"

#include <utility>

#include "archive/archive_methods.h"
#include "common/automation_error.h"
#include "dbmaint/db_backup.h"
#include "dbmaint/db_common.h"
#include "scoring/excel_score.h"
#include "scoring/extractors/excel_reader.h"
#include "scoring/extractors/ppt_reader.h"
#include "scoring/extractors/word_reader.h"
#include "scoring/field_export.h"
#include "scoring/knowledge/operation_list.h"

namespace bq {
namespace {

// Runs one method body; errors leave with the library's name as their source.
template <typename F>
decltype(auto) faced(F&& body) {
  return withErrorSource(BrightquillClient::kErrorSource, std::forward<F>(body));
}

}  // namespace

void BrightquillClient::GetOperationZSD(const std::string& cPath, KnowledgeSet& dZSD) {
  faced([&] { bq::GetOperationZSD(cPath, dZSD); });
}

void BrightquillClient::GetOpZSDFromFile(const std::string& cFile, std::string& cZSD) {
  faced([&] { bq::GetOpZSDFromFile(cFile, cZSD); });
}

std::string BrightquillClient::JoinOpZSD(const KnowledgeSet& d) {
  return faced([&] { return bq::JoinOpZSD(d); });
}

void BrightquillClient::SplitOpZSD(const std::string& s, KnowledgeSet& d) {
  faced([&] { bq::SplitOpZSD(s, d); });
}

double BrightquillClient::GetOpScore(const std::string& cZSD, const std::string& cSome) {
  return faced([&] { return bq::GetOpScore(cZSD, cSome); });
}

void BrightquillClient::ReadExcel(const std::string& cFile, KnowledgeSet& dObj,
                                  const std::optional<std::string>& cTbl) {
  faced([&] { bq::ReadExcel(cFile, dObj, cTbl); });
}

void BrightquillClient::ReadWord(const std::string& cFile, KnowledgeSet& dObj) {
  faced([&] { bq::ReadWord(cFile, dObj); });
}

void BrightquillClient::ReadWordTable(const std::string& cFile, KnowledgeSet& dObj) {
  faced([&] { bq::ReadWordTable(cFile, dObj); });
}

double BrightquillClient::GetExcelScore(const std::string& cFunc, KnowledgeSet& oZSD,
                                        const std::string& cFN, KnowledgeSet& d1, KnowledgeSet& d2,
                                        const std::optional<std::string>& cSheet) {
  return faced([&] { return bq::GetExcelScore(cFunc, oZSD, cFN, d1, d2, cSheet); });
}

void BrightquillClient::OpenPPTApp() {
  faced([] { bq::OpenPPTApp(); });
}

void BrightquillClient::ReadPPT(const std::string& cFile, KnowledgeSet& dObj) {
  faced([&] { bq::ReadPPT(cFile, dObj); });
}

void BrightquillClient::ClosePPT() {
  faced([] { bq::ClosePPT(); });
}

void BrightquillClient::GetMailZSDFromPath(const std::string& cPath, MailDictionary& d) {
  faced([&] { bq::GetMailZSDFromPath(cPath, d); });
}

bool BrightquillClient::GetOleData(db::Recordset& rst, const std::string& cFile,
                                   const std::string& cFld) {
  return faced([&] { return bq::GetOleData(rst, cFile, cFld); });
}

void BrightquillClient::SetConnStr(const std::string& cn, bool bMdb) {
  dbmaint::SetConnStr(cn, bMdb);
}

void BrightquillClient::DbBackup(ui::ProgressCanvas* DoingPic, ui::ProgressCanvas* SubDoingPic,
                                 const std::vector<std::string>& aTbl, const std::string& cFile,
                                 const std::string& cWhere, bool bDel) {
  faced([&] { dbmaint::DbBackup(DoingPic, SubDoingPic, aTbl, cFile, cWhere, bDel); });
}

void BrightquillClient::DbRestore(ui::ProgressCanvas* DoingPic, ui::ProgressCanvas* SubDoingPic,
                                  const std::vector<std::string>& aTbl, const std::string& cFile,
                                  const std::string& cWhere, bool bDelNotAllowed,
                                  const std::optional<std::vector<std::string>>& aSel1,
                                  const std::optional<std::vector<std::string>>& aSel2) {
  faced([&] {
    dbmaint::DbRestore(DoingPic, SubDoingPic, aTbl, cFile, cWhere, bDelNotAllowed, aSel1, aSel2);
  });
}

std::string BrightquillClient::GetSaveFile(ui::CommonDialog* ComDlg, std::string& cFile,
                                           const Variant& cTitle, const std::string& cFilter) {
  return faced([&] { return archive::GetSaveFile(ComDlg, cFile, cTitle, cFilter); });
}

std::string BrightquillClient::GetOpenFile(ui::CommonDialog* ComDlg, std::string& cFile,
                                           const Variant& cTitle, const std::string& cFilter) {
  return faced([&] { return archive::GetOpenFile(ComDlg, cFile, cTitle, cFilter); });
}

bool BrightquillClient::Unzip(const std::string& cZipFile, const std::string& cUnzipPath) {
  return faced([&] { return archive::Unzip(cZipFile, cUnzipPath); });
}

bool BrightquillClient::Zip(const std::string& cZipPath, const std::string& cScrFile) {
  return faced([&] { return archive::Zip(cZipPath, cScrFile); });
}

}  // namespace bq
