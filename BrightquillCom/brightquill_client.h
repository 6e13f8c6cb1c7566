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

  // E-mail answers.
  void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d);

  // Question files: field cFld of the current record of rst into the file cFile.
  bool GetOleData(db::Recordset& rst, const std::string& cFile, const std::string& cFld);
};

}  // namespace bq
