// FTP transfer of the operation files: the module routines behind BQCOM's
// FileDownLoad and FileUpLoad, and the two transfer routines they call.
//
// Arguments, all by reference as the pages pass them:
//   cIP      the FTP server's host;
//   cPort    its port as decimal text (converted for each transfer);
//   cServer  the remote folder, cClient the local folder: a file name that
//            begins with "\" is appended to each;
//   cID      the paper's identifier, part of every file name;
//   cFlag    six characters, one per question kind, "1" selecting it:
//            1 Word table (wt), 2 Word document (wd), 3 Excel (ex),
//            4 PowerPoint (ppt), 5 e-mail (eml), 6 file operation (op).
// Any other length of cFlag (counted in UTF-16 code units) makes either
// method do nothing at all.
//
// The local side lies on the mapped drives (winpath::toNativeOnDrive), as the
// session's folders do. Before anything else (no file sent or fetched, no
// program ended, cClient unchanged) either method fails with 75
// "Path/File access error" for a cID holding "\", "/", ".." or a NUL, and
// for a local path (cClient, or cClient + a file name) that is no drive path
// or leads out of its drive through a symbolic link; FileUpLoad keeps its own
// failure for a cClient that names no drive at all (below). The server's
// side, cIP, cPort and cServer, is the page's to choose.
//
// Every file travels by one transfer on its own connection, strictly one
// after the other. A transfer that fails (a port that is no number, a server
// that cannot be reached or refuses, a local file that cannot be written,
// a bound of platform/ftp/inet.h passed: BQ_FTP_TIMEOUT, the lowest speed,
// BQ_FTP_MAX_MIB) is passed over and the next file goes; the methods do not
// tell their caller which files moved.
//
// Thread safety: the flags below and the transfer window (webcom/frm_ftp.h)
// are per thread; one transfer at a time per thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace bq {

// The module's per-thread transfer flags.
struct TransferFlags {
  bool TransferDone = false;         // the current transfer completed
  bool UnloadAfterTransfer = false;  // set by both methods, never cleared
  bool TransferFailed = false;       // the current transfer reported an error
};
TransferFlags& ThisThreadTransferFlags();

// Fetches the files of the kinds cFlag selects, in the order of the kinds and,
// within a kind, the document before its ".tg" question text ("\wt" + cID +
// ".doc", "\wt" + cID + ".tg", ... "\eml" + cID + ".tg", "\op" + cID + ".tg"),
// then "\BQ.AVI" and "\QuestionPane.Exe" whatever cFlag selects. A file whose
// local path (cClient + name) already names a visible file is not fetched
// again, whatever its content. Fails only with the 75 of the checks above;
// failed transfers are passed over.
void FileDownLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                  std::string& cID, std::string& cFlag);

// Ends the Office programs (EndProcessesByName "Excel.exe", "WinWord.exe",
// "Powerpnt.exe"; LibreOffice stands in for all three), sends the documents
// of the kinds 1 to 4 that cFlag selects and that exist in cClient ("\wt" +
// cID + ".doc", "\wd" ..., "\ex" + cID + ".xls", "\ppt" + cID + ".ppt"),
// then sets cClient to its first character followed by ":\BqOperation", the
// operation root, writes there the listing "\op" + cID + ".txt" (the root's
// operation list as GetOperationZSD and JoinOpZSD make it, one line in the
// ANSI code page with CR LF, replacing an earlier listing) and sends it.
// Fails with the 75 of the checks above (the listing's path included) before
// anything happens. A cClient whose first character is no letter names no
// drive: its documents are not sent, and the call fails, after the Office
// programs were ended and cClient was changed, with 76 "Path not found".
// After cClient was changed it also fails with the error of the folder walk
// (70, 75 ...) or of writing the listing; the error of the process walk (6
// with more than 32768 processes) ends it before anything is sent.
void FileUpLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                std::string& cID, std::string& cFlag);

// One transfer each, on this thread's transfer window: "GET remote local" /
// "Put local remote" (a path holding a blank is written in double quotes).
// True when the control reported completion. False when a step failed: a
// cPort that is no whole number from 1 to 65535 (after rounding), an
// operation text that does not read back as the two paths (a path holding a
// double quote), a control that refused the operation, a transfer that
// reported an error or passed a bound; the window is then unloaded. While the transfer runs, the
// thread's Qt events run too (platform/ui/qt_backend.h doEvents).
bool FtpGetFile(const std::string& cIP, const std::string& cPort, const std::string& remote,
                const std::string& local);
bool FtpPutFile(const std::string& cIP, const std::string& cPort, const std::string& local,
                const std::string& remote);

// The port of cPort: the text as a number (blanks around it, a sign and a
// fraction allowed), rounded half to even. Throws AutomationError 13 "Type
// mismatch" for a text that is no number, 6 "Overflow" for one outside 0 to
// 65535.
uint16_t PortNumber(const std::string& cPort);

// Called on this thread with each operation text just before it is executed,
// while set (logs; tests).
void SetTransferObserver(std::function<void(const std::string& operation)> observer);

}  // namespace bq
