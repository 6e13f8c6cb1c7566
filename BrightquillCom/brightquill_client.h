// BrightquillClient: the scoring library's class (programmatic identifier
// "BrightquillCom.BrightquillClient").
//
// A thin face: every method calls the module that does the work (scoring/,
// dbmaint/, archive/) and adds nothing but the library's name as the source
// of the errors that reach the caller. The class keeps no state of its own;
// per-thread module state lives in the modules.
//
// Failures: methods without a handler of their own throw AutomationError with
// source "BrightquillCom"; by-reference arguments then keep what was stored
// before the failure.
//
// Thread safety: an object is used on one thread at a time (apartment model).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/dictionary.h"
#include "common/variant.h"
#include "platform/db/recordset.h"
#include "platform/ui/progress_canvas.h"
#include "platform/ui/common_dialog.h"
#include "scoring/extractors/mail.h"

namespace bq {

class BrightquillClient {
 public:
  static constexpr const char* kProgId = "BrightquillCom.BrightquillClient";
  static constexpr const char* kErrorSource = "BrightquillCom";

  // Knowledge-point lists and scores.
  void GetOperationZSD(const std::string& cPath, KnowledgeSet& dZSD);
  void GetOpZSDFromFile(const std::string& cFile, std::string& cZSD);
  std::string JoinOpZSD(const KnowledgeSet& d);
  void SplitOpZSD(const std::string& s, KnowledgeSet& d);
  double GetOpScore(const std::string& cZSD, const std::string& cSome);

  // Office answers: the knowledge points of the workbook cFile (of its sheet
  // cTbl only, when given and not empty) into dObj; never fails for a file it
  // cannot read. GetExcelScore runs the extractor of kind cFunc on cFN and
  // scores it against oZSD (matched keys into d1, the others into d2).
  void ReadExcel(const std::string& cFile, KnowledgeSet& dObj,
                 const std::optional<std::string>& cTbl = std::nullopt);
  // The knowledge points of the Word document cFile, and of its paragraphs
  // and tables, into dObj; never fail for a file they cannot read.
  void ReadWord(const std::string& cFile, KnowledgeSet& dObj);
  void ReadWordTable(const std::string& cFile, KnowledgeSet& dObj);
  double GetExcelScore(const std::string& cFunc, KnowledgeSet& oZSD, const std::string& cFN,
                       KnowledgeSet& d1, KnowledgeSet& d2,
                       const std::optional<std::string>& cSheet = std::nullopt);

  // PowerPoint answers: OpenPPTApp starts the thread's PowerPoint
  // application, shared by every object on the thread; ReadPPT adds the
  // knowledge points of the presentation cFile to dObj with it (nothing
  // without one; never fails); ClosePPT quits it, and fails with 91 when the
  // thread has none.
  void OpenPPTApp();
  void ReadPPT(const std::string& cFile, KnowledgeSet& dObj);
  void ClosePPT();

  // E-mail answers.
  void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d);

  // Question files: field cFld of the current record of rst into the file cFile.
  bool GetOleData(db::Recordset& rst, const std::string& cFile, const std::string& cFld);

  // Database maintenance (dbmaint/db_backup.h). SetConnStr stores the live
  // database's connection string for this thread. DbBackup and DbRestore
  // draw their progress on the two picture controls (nullptr: an argument
  // that is no picture control, which fails with 424 where it is first used)
  // and show their messages through this thread's user-interface back end.
  void SetConnStr(const std::string& cn, bool bMdb);
  void DbBackup(ui::ProgressCanvas* DoingPic, ui::ProgressCanvas* SubDoingPic,
                const std::vector<std::string>& aTbl, const std::string& cFile,
                const std::string& cWhere = "", bool bDel = false);
  void DbRestore(ui::ProgressCanvas* DoingPic, ui::ProgressCanvas* SubDoingPic,
                 const std::vector<std::string>& aTbl, const std::string& cFile,
                 const std::string& cWhere = "", bool bDelNotAllowed = false,
                 const std::optional<std::vector<std::string>>& aSel1 = std::nullopt,
                 const std::optional<std::vector<std::string>>& aSel2 = std::nullopt);

  // Archives and file dialogs (archive/archive_methods.h): the save or open
  // dialog of the caller's common-dialog object (nullptr: not an object),
  // and one file zipped or an archive extracted, with a message box when the
  // library reports a failure.
  std::string GetSaveFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                          const std::string& cFilter);
  std::string GetOpenFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                          const std::string& cFilter);
  bool Unzip(const std::string& cZipFile, const std::string& cUnzipPath);
  bool Zip(const std::string& cZipPath, const std::string& cScrFile);
};

}  // namespace bq
