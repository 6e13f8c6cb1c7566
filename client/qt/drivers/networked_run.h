// BqTestMy --networked-run OUTDIR ADDRESS: one test of the demo networked
// exam (demo/networked), driven in the real window like an examinee, with a
// picture of every step.
//
// The page at ADDRESS (the demo exam server's index.htm) has one button per
// step, #step1 to #step6, each calling the web component through the bridge
// (client/qt/bqcom_bridge.h), and shows each step's outcome in #result1 to
// #result6 (class "done" or "failed"). The run waits for the page, then
// presses the buttons in order and waits for each outcome:
//   1 PreTest, 2 CreateOpDirs, 3 FileDownLoad;
//   4 QuestionPane: the title window is read for readingTime, pictured with
//     the window under it, and closed;
//   then the examinee's work (examineeWork; by default the file-operation
//     question: C:\BqOperation\资料\备份\ made, C:\BqOperation\考生\旧报告.txt
//     deleted);
//   5 FileUpLoad;
//   6 EndTest: the end-of-test window is pictured and closed by its close
//     button (its double-click would end the browser, this program).
// Pictures go to OUTDIR/NN-<step>.png, each path printed on `out` as it is
// written. A step whose outcome is "failed", or any wait that runs out (20 s
// for a page or a step), ends the run with a message on `err`.
//
// Thread safety: the user-interface thread only.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "client/qt/frm_browser.h"

class QWidget;

namespace bq::client {

class NetworkedRun {
 public:
  NetworkedRun(std::filesystem::path outDir, std::ostream& out, std::ostream& err);

  // How long the examinee reads the question window.
  std::chrono::milliseconds readingTime{800};
  // What the examinee does between the question window and the hand-in.
  std::function<void()> examineeWork = [] { doFileOperationQuestion(); };

  // Drives the test in `window` (shown, started on the page `address`).
  // Returns 0 when every step passed, 1 otherwise. The window stays open.
  int run(FrmBrowser& window, const std::string& address);

  // The outcome texts of the six steps, as the page showed them.
  const std::vector<std::string>& outcomes() const { return outcomes_; }
  const std::vector<std::filesystem::path>& pictures() const { return pictures_; }

  // The demo's file-operation question, done as the examinee does it.
  static void doFileOperationQuestion();

 private:
  void drive(FrmBrowser& window, const std::string& address);
  void picture(FrmBrowser& window, const std::string& what, QWidget* dialog = nullptr);

  std::filesystem::path outDir_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> outcomes_;
  std::vector<std::filesystem::path> pictures_;
};

}  // namespace bq::client
