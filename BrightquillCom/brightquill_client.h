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

#include "common/dictionary.h"
#include "platform/db/recordset.h"
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

  // E-mail answers.
  void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d);

  // Question files: field cFld of the current record of rst into the file cFile.
  bool GetOleData(db::Recordset& rst, const std::string& cFile, const std::string& cFld);
};

}  // namespace bq
