// BqTestMy --desktop-demo OUTDIR: the examinee's desktop with the real
// programs. The demo exam for card "BQ1" is signed in and begun in the
// window as --demo-run does it (client/qt/drivers/demo_run.h); then each operation
// section in turn (file operations, Word editing, Word table, Excel, e-mail,
// PowerPoint) has its open button pressed, which starts through the shell
// the program for its folder, document or page (platform/shell/openers.h)
// and the question-text viewer. Once the program has opened it (LibreOffice's
// lock file beside the document and its window; the exam client's browser
// window; a moment for a file manager), the viewer is raised, as a window
// manager keeps it above the others, and a picture of the whole screen is
// saved as OUTDIR/NN-<page>.png, its path printed on `out`. A message that
// the open button shows instead (a program that cannot be started) is
// pictured as OUTDIR/NN-<page>-message.png and closed.
//
// The programs stay open when the run ends. Needs an X display (a picture of
// the root window, windows found by class). Every wait is bounded (60 s for
// a program); the first step that fails ends the run with a message on `err`
// naming the step, and a picture of the screen then (OUTDIR/NN-failed.png).
//
// Thread safety: the user-interface thread only.
#pragma once

#include <QString>
#include <filesystem>
#include <ostream>

#include "client/qt/frm_browser.h"

namespace bq::client {

class DesktopDemo {
 public:
  DesktopDemo(std::filesystem::path outDir, std::ostream& out, std::ostream& err);

  // Drives the exam in `window` (shown, its load not run yet, running the
  // commands through the real shell). Returns 0 when every step passed, 1
  // otherwise. The window stays open.
  int run(FrmBrowser& window);

 private:
  void drive(FrmBrowser& window);
  QString picturePath(const std::string& name);

  std::filesystem::path outDir_;
  std::ostream& out_;
  std::ostream& err_;
  int shots_ = 0;
};

// Saves a picture of the whole screen (the root window, with every program's
// window on it) as PNG at `path`. False when it cannot be taken or written.
bool saveScreenPicture(const QString& path);

// Raises the question-text viewer's window where it stands and keeps it
// above the others, as a window manager does for it (a display without one,
// such as Xvfb, leaves it under the windows mapped later). Nothing when it is
// not shown.
void raiseQuestionViewer();

}  // namespace bq::client
