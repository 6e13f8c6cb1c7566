// BqTestMy: the exam client. With a display it opens its browser window on
// the program folder; with --headless it replays browser events from a file
// and prints the effects (client/core/headless.h).
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
// every page into OUTDIR (client/qt/demo_run.h); --desktop-demo opens the
// operation sections' real programs and saves pictures of the screen
// (client/qt/desktop_demo.h); --report-startup prints the milliseconds from
// the process start to the sign-in page's load and ends; --networked-run
// drives one test of the demo networked exam whose page is ADDRESS and saves
// a picture of every step (client/qt/networked_run.h). --browse shows TARGET
// in a plain browser window, with no exam (client/qt/browse_window.h): what
// "IEXPLORE.EXE X" opens on this desktop. The program folder defaults to the
// folder of the program file. An ADDRESS (a networked exam's page) opens in
// place of the sign-in page, with the web component's bridge.
#include <iostream>
#include <string>
#include <string_view>

#include "client/core/headless.h"
#include "client/qt/browse_window.h"
#include "client/qt/frm_browser.h"

namespace {

int usage() {
  std::cerr << "usage: BqTestMy [--app-folder DIR] [ADDRESS]\n"
               "       BqTestMy --demo-run OUTDIR [--app-folder DIR]\n"
               "       BqTestMy --networked-run OUTDIR [--app-folder DIR] ADDRESS\n"
               "       BqTestMy --desktop-demo OUTDIR [--app-folder DIR]\n"
               "       BqTestMy --report-startup [--app-folder DIR]\n"
               "       BqTestMy --headless --app-folder DIR --events FILE\n"
               "       BqTestMy --browse [TARGET]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "--browse") {
    if (argc > 3) return usage();
    return bq::client::runBrowseWindow(argc, argv, argc == 3 ? argv[2] : "");
  }
  bool headless = false;
  bq::client::HeadlessOptions options;
  bq::client::BrowserWindowOptions window;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if (arg == "--demo-run" && i + 1 < argc) {
      window.demoRunFolder = argv[++i];
      if (window.demoRunFolder.empty()) return usage();
    } else if (arg == "--networked-run" && i + 1 < argc) {
      window.networkedRunFolder = argv[++i];
      if (window.networkedRunFolder.empty()) return usage();
    } else if (arg == "--desktop-demo" && i + 1 < argc) {
      window.desktopDemoFolder = argv[++i];
      if (window.desktopDemoFolder.empty()) return usage();
    } else if (arg == "--report-startup") {
      window.reportStartup = true;
    } else if ((arg == "--app-folder" || arg == "--events") && i + 1 < argc) {
      (arg == "--app-folder" ? options.appFolder : options.eventsPath) = argv[++i];
    } else if (!headless && arg.rfind("--", 0) == 0) {
      // Options for the window's toolkit and web engine pass through.
      continue;
    } else if (!headless && arg.rfind('-', 0) != 0 && window.startAddress.empty()) {
      window.startAddress = arg;
    } else {
      return usage();
    }
  }
  if (headless) {
    if (options.appFolder.empty() || options.eventsPath.empty()) return usage();
    return bq::client::runHeadless(options, std::cin, std::cout, std::cerr);
  }
  if (!window.networkedRunFolder.empty() && window.startAddress.empty()) return usage();
  window.appFolder = options.appFolder;
  return bq::client::runBrowserWindow(argc, argv, window);
}
