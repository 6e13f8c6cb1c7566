// BQCOM: the web component's class (programmatic identifier
// "BrightquillWebComm.BQCOM"), used by the networked exam's pages and by the
// exam client.
//
// A thin face: every method calls the module that does the work
// (webcom/session.h) and adds nothing but the library's name as the source
// of the errors that reach the caller. The class keeps no state of its own;
// the end-of-test window is per thread, in the module. Every method's result
// is an empty variant; results are side effects on files, folders, the
// registry, windows and processes.
//
// Failures: methods without a handler of their own throw AutomationError with
// source "BrightquillWebCom". PreTest never fails.
//
// Thread safety: an object is used on one thread at a time (apartment model).
#pragma once

#include <string>

namespace bq {

class BQCOM {
 public:
  static constexpr const char* kProgId = "BrightquillWebComm.BQCOM";
  static constexpr const char* kErrorSource = "BrightquillWebCom";

  // Creates cPath, the operation root and the tree the list cZSD names.
  void CreateOpDirs(const std::string& cPath, const std::string& cZSD);
  // Fetches the question files that cFlag selects, the video and the viewer
  // by FTP (webcom/ftp_transfer.h).
  void FileDownLoad(std::string& cIP, std::string& cPort, std::string& cServer,
                    std::string& cClient, std::string& cID, std::string& cFlag);
  // Ends the Office programs, sends the answer documents and the listing of
  // the operation root by FTP; cClient becomes the operation root.
  void FileUpLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                  std::string& cID, std::string& cFlag);
  // Deletes cPath and the operation root with all they hold; never fails.
  void PreTest(const std::string& cPath);
  // Shows the end-of-test window until its double-click closes it.
  void EndTest(const std::string& cPath);
  // Shows the question text tg ("~" a line break, "|" a "\") in the title
  // window until it is closed (webcom/frm_title.h).
  void QuestionPane(const std::string& tg);
  // Ends every question-text viewer.
  void TermProc();
};

}  // namespace bq
