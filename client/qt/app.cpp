#include "client/qt/app.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <iostream>
#include <string_view>

#include "client/core/app_values.h"
#include "client/core/headless.h"
#include "client/qt/browse_window.h"
#include "client/qt/drivers/browser_driver.h"
#include "client/qt/drivers/demo_run.h"
#include "client/qt/drivers/desktop_demo.h"
#include "client/qt/drivers/networked_run.h"
#include "client/qt/frm_browser.h"
#include "client/qt/web_engine_setup.h"
#include "common/automation_error.h"
#include "platform/ui/qt_backend.h"
#include "platform/ui/ui.h"

namespace bq::client {
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

// The program folder: the one given, or the program file's, absolute and
// without a trailing separator.
std::string programFolder(const std::string& given) {
  const QString folder =
      given.empty() ? QCoreApplication::applicationDirPath() : QString::fromStdString(given);
  return QDir::cleanPath(QFileInfo(folder).absoluteFilePath()).toStdString();
}

// Milliseconds since this process started, from the kernel's clock (10 ms
// steps); -1 when /proc cannot tell.
double millisecondsSinceProcessStart() {
  QFile stat(QStringLiteral("/proc/self/stat"));
  QFile uptime(QStringLiteral("/proc/uptime"));
  if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return -1;
  const QByteArray statLine = stat.readAll();
  const QByteArray now = uptime.readAll().split(' ').value(0);
  // The fields after the command name (which may hold blanks) start at ") ";
  // the start time is field 22, in clock ticks of 1/100 s on Linux.
  const qsizetype close = statLine.lastIndexOf(')');
  if (close < 0) return -1;
  const QList<QByteArray> fields = statLine.mid(close + 2).split(' ');
  bool ok1 = false;
  bool ok2 = false;
  const double startTicks = fields.value(19).toDouble(&ok1);
  const double nowSeconds = now.toDouble(&ok2);
  if (!ok1 || !ok2) return -1;
  return (nowSeconds - startTicks / 100.0) * 1000.0;
}

}  // namespace

int runProgram(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "--browse") {
    if (argc > 3) return usage();
    return runBrowseWindow(argc, argv, argc == 3 ? argv[2] : "");
  }
  bool headless = false;
  HeadlessOptions options;
  BrowserWindowOptions window;
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
    return runHeadless(options, std::cin, std::cout, std::cerr);
  }
  if (!window.networkedRunFolder.empty() && window.startAddress.empty()) return usage();
  window.appFolder = options.appFolder;
  return runBrowserWindow(argc, argv, window);
}

int runBrowserWindow(int argc, char** argv, const std::string& appFolder) {
  BrowserWindowOptions options;
  options.appFolder = appFolder;
  return runBrowserWindow(argc, argv, options);
}

int runBrowserWindow(int argc, char** argv, const BrowserWindowOptions& options) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  prepareWebEngine();
  QApplication application(argc, argv);
  ui::installQtBackend();

  AppValues app;
  app.AppFolder = programFolder(options.appFolder);
  try {
    openExamConnection(app);
  } catch (const AutomationError& e) {
    ui::MsgBox(e.description(), ui::vbCritical);
    return 1;
  }

  if (!options.demoRunFolder.empty()) {
    DemoRun demo(options.demoRunFolder, std::cout, std::cerr);
    FrmBrowser window(app, demo.shellRecorder());
    window.show();
    return demo.run(window);
  }

  if (!options.desktopDemoFolder.empty()) {
    DesktopDemo demo(options.desktopDemoFolder, std::cout, std::cerr);
    FrmBrowser window(app);
    window.show();
    return demo.run(window);
  }

  FrmBrowser window(app);
  window.setStartAddress(options.startAddress);
  window.show();
  if (!options.networkedRunFolder.empty()) {
    NetworkedRun networked(options.networkedRunFolder, std::cout, std::cerr);
    const int status = networked.run(window, options.startAddress);
    window.close();
    return status;
  }
  if (options.reportStartup) {
    BrowserDriver driver(window);
    try {
      driver.waitForPage("BqLogin.asp", kPageTimeout);
    } catch (const DriverError& e) {
      std::cerr << "BqTestMy: " << e.what() << '\n';
      return 1;
    }
    const double sinceProcess = millisecondsSinceProcessStart();
    std::cerr << "BqTestMy: sign-in page loaded " << static_cast<long long>(sinceProcess)
              << " ms after the process started (" << sinceStart.elapsed()
              << " ms after the start procedure)\n";
    window.close();
    return 0;
  }
  return QApplication::exec();
}

int runBrowseWindow(int argc, char** argv, const std::string& target) {
  prepareWebEngine();
  QApplication application(argc, argv);
  BrowseWindow window;
  window.show();
  window.open(target);
  return QApplication::exec();
}

}  // namespace bq::client
