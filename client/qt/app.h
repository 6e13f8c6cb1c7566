// The program BqTestMy, the exam client: its command line and its start.
// With a display it opens its browser window on the program folder; with
// --headless it replays browser events from a file and prints the effects
// (client/core/headless.h).
//
//   BqTestMy [--app-folder DIR] [ADDRESS]
//   BqTestMy --demo-run OUTDIR [--app-folder DIR]
//   BqTestMy --networked-run OUTDIR [--app-folder DIR] ADDRESS
//   BqTestMy --desktop-demo OUTDIR [--app-folder DIR]
//   BqTestMy --report-startup [--app-folder DIR]
//   BqTestMy --headless --app-folder DIR --events FILE
//   BqTestMy --browse [TARGET]
//
// --demo-run drives a whole demo exam in the window and saves a picture of
// every page into OUTDIR (client/qt/drivers/demo_run.h); --desktop-demo opens
// the operation sections' real programs and saves pictures of the screen
// (client/qt/drivers/desktop_demo.h); --report-startup prints the
// milliseconds from the process start to the sign-in page's load and ends;
// --networked-run drives one test of the demo networked exam whose page is
// ADDRESS and saves a picture of every step (client/qt/drivers/networked_run.h).
// --browse shows TARGET in a plain browser window, with no exam
// (client/qt/browse_window.h): what "IEXPLORE.EXE X" opens on this desktop.
// The program folder defaults to the folder of the program file. An ADDRESS
// (a networked exam's page) opens in place of the sign-in page, with the web
// component's bridge. Other options of the window's (those that begin with
// "--") pass through to its toolkit and web engine.
//
// Thread safety: the main thread, once per process (the Qt application and
// the web engine's process settings are the process's own).
#pragma once

#include <string>

namespace bq::client {

// Reads the command line above and runs the program in the mode it names.
// Returns the exit status: 2 (with the usage on standard error) for a
// command line it does not take, else that of the mode.
int runProgram(int argc, char** argv);

// What the program does besides showing its window.
struct BrowserWindowOptions {
  // The program folder; empty: the folder of the program file.
  std::string appFolder;
  // --demo-run OUTDIR: drive a whole demo exam and save screenshots there.
  std::string demoRunFolder;
  // --desktop-demo OUTDIR: open every operation section's programs for real
  // and save pictures of the screen there (client/qt/drivers/desktop_demo.h).
  std::string desktopDemoFolder;
  // --report-startup: print the milliseconds from process start to the
  // sign-in page's load on standard error, then end.
  bool reportStartup = false;
  // An address to open in place of the sign-in page (FrmBrowser::setStartAddress).
  std::string startAddress;
  // --networked-run OUTDIR: drive one test of the demo networked exam at
  // startAddress and save screenshots there.
  std::string networkedRunFolder;
};

// The start procedure: prepares the web engine, starts Qt with the Qt
// message boxes, opens the exam database of the program folder (on failure
// the provider's error in a critical message box and 1, no window), then
// shows frmBrowser and runs until it closes. Returns the exit status.
int runBrowserWindow(int argc, char** argv, const std::string& appFolder);
int runBrowserWindow(int argc, char** argv, const BrowserWindowOptions& options);

// The program in browser mode: prepares the web engine, starts Qt, shows the
// browse window on `target` (client/qt/browse_window.h) and runs until it is
// closed. Returns the exit status.
int runBrowseWindow(int argc, char** argv, const std::string& target);

}  // namespace bq::client
