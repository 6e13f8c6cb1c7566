// BqTestMy --demo-run OUTDIR: a whole demo exam for card "bq1", driven in the
// real window like an examinee, with a picture of every page.
//
// Steps: on the sign-in page the card input is clicked and "BQ1" typed with
// key events, then "确定"; on "StdKnow.asp" (the exam is prepared) "开始考试";
// on "Begin.asp" each section's button in turn, coming back with the
// toolbar's Back button; on the typing page a tick of the typing clock is
// awaited; on each operation page "请点击打开" is pressed and its two commands
// awaited; then "交卷[结束考试]" leads to "EndTest.asp" and the window is
// closed, which must delete the generated pages. Pictures are saved as
// OUTDIR/NN-<page>.png (01-BqLogin.png ...), each path printed on `out` as it
// is written. The open button's commands are not run: they are printed on
// `out` as "run: COMMAND".
//
// Every wait is bounded (20 s for a page). The first step that fails ends the
// run with a message on `err` naming the step and the page on display.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "client/qt/frm_browser.h"

namespace bq::client {

class BrowserDriver;

// Signs in as an examinee of the demo papers: card "BQ1" typed into the
// sign-in page, "确定", then "开始考试" on the instructions page; ends on
// "Begin.asp". `reached` (when set) is called with each page's name once it
// has loaded. Throws DriverError when a step fails.
void signInAndBegin(BrowserDriver& driver, FrmBrowser& window,
                    const std::function<void(const std::string&)>& reached = {});

// Opens the section page `page` with its button `button` on "Begin.asp";
// with `backFirst`, from a section page, going back to "Begin.asp" with the
// toolbar's Back button first. Throws DriverError when a step fails.
void openSection(BrowserDriver& driver, FrmBrowser& window, const char* button, const char* page,
                 bool backFirst);

class DemoRun {
 public:
  DemoRun(std::filesystem::path outDir, std::ostream& out, std::ostream& err);

  // The shell of the window to drive: records and prints the commands.
  ShellRunner shellRecorder();
  // Drives the exam in `window` (shown, its load not run yet). Returns 0 when
  // every step passed, 1 otherwise. The window is closed at the end.
  int run(FrmBrowser& window);

 private:
  void drive(FrmBrowser& window);

  std::filesystem::path outDir_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> commands_;
  int shots_ = 0;
};

}  // namespace bq::client
