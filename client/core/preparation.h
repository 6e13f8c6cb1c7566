// The preparation of an exam's operation files, run each time the
// instructions page "StdKnow.asp" has loaded, and the clean-up of the page
// files when the client closes.
//
// The work folder app.WorkFolder ("C:\BQTEST") and the operation root
// ("C:\BqOperation") are cleared and rebuilt by a fresh BQCOM object (PreTest,
// CreateOpDirs with the file-operation question's starting list); the question
// documents of the Office questions are exported by a fresh BrightquillClient
// object (GetOleData), and one question-text file per operation topic is
// written in the ANSI code page. After preparation the work folder holds, for
// card C (as typed, for example "bq1"), each only when the paper has that topic:
//
//   wtC.doc wdC.doc exC.xls pptC.ppt       question documents (field fj)
//   wtC.Tg wdC.Tg exC.Tg pptC.Tg emlC.Tg opC.Tg   question texts (field tg)
//   questionpane.exe bq.avi                 copies from app.AppFolder
//
// All paths are Windows paths, mapped as common/winpath.h says.
//
// Failures: the two handled ones of getTestFile (no card number, no paper for
// it) show their message and ask the caller to end the program. Whatever else
// fails while the exam is prepared (a file copy, an export, a database error)
// is shown in a message box naming what failed, and preparation goes on with
// the next step; the client has no other recovery for them.
//
// Thread safety: none; the client's one thread. Message boxes go through this
// thread's user-interface back end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/core/app_values.h"
#include "common/automation_error.h"

namespace bq::client {

// The messages of getTestFile, shown with the information icon.
inline constexpr std::string_view kNoCardNumberMessage =
    "注意：信息卡号输入完后，请用鼠标点击确定按钮！";
inline constexpr std::string_view kUnknownCardMessage =
    "无此信息卡号，请重新输入！有效的信息卡号为BQ1、BQ2、BQ3、BQ4、BQ5";
// Put after the e-mail question's text, before this computer's name.
inline constexpr std::string_view kServerNameHint = "提示：服务器名为：";
// The size of the buffer that the computer name is asked into.
inline constexpr size_t kComputerNameBuffer = 64;

// What the caller does after a preparation step.
enum class Preparation {
  kGoOn,        // the exam goes on (failures on the way have been shown)
  kEndProgram,  // a message has been shown; the program ends
};

// The whole preparation when "StdKnow.asp" has loaded: getTestFile, then
// copies of app.AppFolder\questionpane.exe and app.AppFolder\bq.avi to
// "c:\bqtest", then getData. Stops right after getTestFile when that asks
// for the end of the program.
[[nodiscard]] Preparation prepareExam(const AppValues& app);

// Prepares the disk for app.CardNumber:
//   - no card number: message kNoCardNumberMessage, kEndProgram;
//   - no file-operation question for it (no paper): message
//     kUnknownCardMessage, kEndProgram, nothing on disk changed;
//   - a failed query: its error is shown, kEndProgram, nothing changed;
//   - otherwise BQCOM.PreTest(WorkFolder) and BQCOM.CreateOpDirs(WorkFolder,
//     the paper's operation list); a failure of CreateOpDirs is shown and
//     the result is still kGoOn (the exports then show their own failures).
// The card number is bound as it was typed; the database compares it
// without regard to case.
[[nodiscard]] Preparation getTestFile(const AppValues& app);

// The ten exports of the paper, in this order: FileDownLoad of wordtable
// "07" "wt" ".doc", wordtest "06" "wd" ".doc", exceltest "08" "ex" ".xls",
// powerpoint "11" "ppt" ".ppt"; DownOpFiletg of wordtable "07" "wt",
// wordtest "06" "wd", exceltest "08" "ex", powerpoint "11" "ppt", E_mail
// "10" "eml", Operation "05" "op". A failed export is shown in a message box
// and the next one runs.
void getData(const AppValues& app);

// Exports field fj of the question of topic ID in table cTable of the paper
// to WorkFolder\ + cFileName + CardNumber + cFileLX with a fresh
// BrightquillClient's GetOleData. No row: nothing is written. Failures (the
// query, a damaged field, the file) throw AutomationError; a file that
// cannot be completed leaves no partial file.
// REQUIRES: cTable is a plain identifier (else kInvalidCall, nothing written).
void FileDownLoad(const AppValues& app, const std::string& cTable, const std::string& ID,
                  const std::string& cFileName, const std::string& cFileLX);

// Writes field tg of the question of topic ID in table cTable of the paper,
// in the ANSI code page with no byte-order mark and no final line break, to
// WorkFolder\ + cFileName + CardNumber + ".Tg"; for the e-mail topic "10"
// the text is followed by CR LF CR LF, kServerNameHint and
// ComputerNameText(). On return cFileName holds that full path, whether a
// row was found or not. No row: nothing is written. Failures (the query, a
// Null text: 94 "Invalid use of Null", the file) throw AutomationError and
// leave no partial file.
// REQUIRES: cTable is a plain identifier.
void DownOpFiletg(const AppValues& app, const std::string& cTable, const std::string& ID,
                  std::string& cFileName);

// Deletes the nine generated page files in app.AppFolder (selection.asp,
// judgement.asp, typewrite.asp, operation.asp, wordtest.asp, wordtable.asp,
// excel.asp, e_mail.asp, powerpoint.asp) where they exist. Nothing in the
// work folder or the operation root is touched. Never fails: a file that
// cannot be deleted stays, and the next one is tried.
void KillDir(const AppValues& app);
// KillDir, returning the page files it deleted (paths as KillDir names them).
std::vector<std::string> killPageFiles(const AppValues& app);

// Shows a failure of `what` (a sentence naming what could not be done) in a
// message box with the exclamation icon, followed on its own line by the
// error's description and number. The client has no recovery: the examinee
// sees what is missing, and the exam goes on.
void showFailure(const std::string& what, const AutomationError& e);

// This computer's network name: the host name as the system reports it.
std::string ComputerNameText();

// The rule of ComputerNameText for the name the system reported (nullopt
// when it could not be asked): the name when it fits the 64-character buffer
// with its terminating null (at most 63 UTF-16 code units), else the
// unchanged buffer of 64 blanks.
std::string computerNameText(const std::optional<std::string>& reported);

}  // namespace bq::client
