// BqTestMy: the exam client. With a display it opens its browser window on
// the program folder; with --headless it replays browser events from a file
// and prints the effects (client/core/headless.h).
//
//   BqTestMy [--app-folder DIR]
//   BqTestMy --headless --app-folder DIR --events FILE
//
// The program folder defaults to the folder of the program file.
#include <iostream>
#include <string>
#include <string_view>

#include "client/core/headless.h"
#include "client/qt/frm_browser.h"

namespace {

int usage() {
  std::cerr << "usage: BqTestMy [--app-folder DIR]\n"
               "       BqTestMy --headless --app-folder DIR --events FILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  bq::client::HeadlessOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if ((arg == "--app-folder" || arg == "--events") && i + 1 < argc) {
      (arg == "--app-folder" ? options.appFolder : options.eventsPath) = argv[++i];
    } else if (!headless && arg.rfind("--", 0) == 0) {
      // Options for the window's toolkit and web engine pass through.
      continue;
    } else {
      return usage();
    }
  }
  if (headless) {
    if (options.appFolder.empty() || options.eventsPath.empty()) return usage();
    return bq::client::runHeadless(options, std::cin, std::cout, std::cerr);
  }
  return bq::client::runBrowserWindow(argc, argv, options.appFolder);
}
