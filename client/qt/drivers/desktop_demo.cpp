#include "client/qt/drivers/desktop_demo.h"

#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <system_error>

#include "client/core/dispatcher.h"
#include "client/qt/drivers/browser_driver.h"
#include "client/qt/drivers/demo_run.h"
#include "common/winpath.h"
#include "platform/shell/processes.h"
#include "platform/ui/x11_windows.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The operation sections as the buttons of "Begin.asp" open them.
struct DesktopSection {
  const char* button;
  const char* page;
  const char* windowClass;  // the window of the program for its document, if known
};
constexpr DesktopSection kSections[] = {
    {"btn-operation", "operation.asp", nullptr},
    {"btn-wordtest", "wordtest.asp", "libreoffice-writer"},
    {"btn-wordtable", "wordtable.asp", "libreoffice-writer"},
    {"btn-exceltest", "excel.asp", "libreoffice-calc"},
    {"btn-e_mail", "e_mail.asp", nullptr},
    {"btn-powerpoint", "powerpoint.asp", "libreoffice-impress"},
};

// The question-text viewer's window class: its program file's name.
constexpr char kViewerClass[] = "questionpane.exe";
// The longest wait for a program to open what it was given.
constexpr std::chrono::milliseconds kProgramTimeout = 60s;
// Time for a program's window to draw once it is there (for a file manager
// or a browser, whose readiness cannot be seen from outside, the wait).
constexpr int kDrawMilliseconds = 1500;
constexpr int kStartMilliseconds = 4000;

QString q(const char* text) { return QString::fromUtf8(text); }

// The lock file LibreOffice keeps beside a document it has open for editing.
fs::path lockFileOf(const fs::path& document) {
  return document.parent_path() / (".~lock." + document.filename().string() + "#");
}

// Another exam client than this one: the browser that "IEXPLORE.EXE" opens.
bool examBrowserRuns() {
  for (const shell::ProcessEntry& p : shell::processSnapshot())
    if (p.exeFile == "BqTestMy" && p.pid != ::getpid()) return true;
  return false;
}

void pause(BrowserDriver& driver, int milliseconds) {
  QElapsedTimer since;
  since.start();
  driver.waitUntil([&] { return since.elapsed() >= milliseconds; }, q("a pause"),
                   std::chrono::milliseconds(milliseconds + 1000));
}

}  // namespace

bool saveScreenPicture(const QString& path) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return false;
  const QPixmap picture = screen->grabWindow(0);
  return !picture.isNull() && picture.save(path, "PNG");
}

void raiseQuestionViewer() {
  if (const auto viewer = ui::x11::findTopLevelWindow(kViewerClass))
    if (const auto facts = ui::x11::describeWindow(*viewer))
      ui::x11::placeTopLevelWindow(kViewerClass, facts->geometry);
}

DesktopDemo::DesktopDemo(fs::path outDir, std::ostream& out, std::ostream& err)
    : outDir_(std::move(outDir)), out_(out), err_(err) {}

int DesktopDemo::run(FrmBrowser& window) {
  try {
    drive(window);
  } catch (const DriverError& e) {
    err_ << "BqTestMy: desktop demo failed: " << e.what() << std::endl;
    // What the screen showed then (a dialog of a program, say).
    const QString path = picturePath("failed");
    if (saveScreenPicture(path)) err_ << "the screen then: " << path.toStdString() << std::endl;
    return 1;
  }
  out_ << "desktop demo passed; the programs it started stay open" << std::endl;
  return 0;
}

QString DesktopDemo::picturePath(const std::string& name) {
  const QString file = QStringLiteral("%1-%2.png")
                           .arg(++shots_, 2, 10, QLatin1Char('0'))
                           .arg(QString::fromStdString(name));
  return QString::fromStdString((outDir_ / file.toStdString()).string());
}

void DesktopDemo::drive(FrmBrowser& window) {
  std::error_code ec;
  fs::create_directories(outDir_, ec);
  if (ec) throw DriverError("cannot create the folder " + outDir_.string() + ": " + ec.message());
  BrowserDriver driver(window);
  const auto picture = [&](const std::string& name) {
    const QString path = picturePath(name);
    if (!saveScreenPicture(path)) throw DriverError("cannot save " + path.toStdString());
    out_ << path.toStdString() << std::endl;
  };

  signInAndBegin(driver, window);
  bool first = true;
  for (const DesktopSection& section : kSections) {
    openSection(driver, window, section.button, section.page, !first);
    first = false;
    const std::string page = fs::path(section.page).stem().string();
    const std::optional<OpenCommand> open = openCommandFor(section.page, window.app());
    if (!open) throw DriverError(std::string("no open button on ") + section.page);

    // A message the launch shows is pictured once drawn, then closed, so
    // that the launch goes on.
    bool message = false;
    std::string messageFailure;
    QElapsedTimer shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) return;
      if (!shown.isValid()) shown.start();
      if (shown.elapsed() < kDrawMilliseconds) return;
      shown.invalidate();
      message = true;
      const QString path = picturePath(page + "-message");
      if (saveScreenPicture(path)) {
        out_ << path.toStdString() << std::endl;
      } else {
        messageFailure = "cannot save " + path.toStdString();
      }
      if (auto* dialog = qobject_cast<QDialog*>(box)) {
        dialog->accept();
      } else {
        box->close();
      }
    });
    watch.start(100);
    driver.click(QStringLiteral("input[value=\"%1\"]").arg(q(kOpenButtonCaption.data())));
    driver.waitUntil([&] { return !window.dispatcher().OpenArmed(); },
                     q("the open button's launch on ") + q(section.page), kProgramTimeout);
    watch.stop();
    if (!messageFailure.empty()) throw DriverError(messageFailure);

    // The program has opened what it was given.
    if (section.windowClass != nullptr && !message) {
      const fs::path lock = lockFileOf(winpath::toNative(open->command));
      driver.waitUntil([&] { return fs::exists(lock, ec); },
                       q("LibreOffice to open ") + QString::fromStdString(open->command),
                       kProgramTimeout);
      driver.waitUntil([&] { return ui::x11::findTopLevelWindow(section.windowClass).has_value(); },
                       q("a window of ") + q(section.windowClass), kProgramTimeout);
    } else if (std::string(section.page) == "e_mail.asp" && !message) {
      driver.waitUntil(examBrowserRuns, q("the exam client's browser window"), kProgramTimeout);
      pause(driver, kStartMilliseconds);
    } else if (!message) {
      pause(driver, kStartMilliseconds);
    }
    driver.waitUntil([&] { return ui::x11::findTopLevelWindow(kViewerClass).has_value(); },
                     q("the question-text viewer's window"), kProgramTimeout);
    pause(driver, kDrawMilliseconds);
    raiseQuestionViewer();
    pause(driver, kDrawMilliseconds / 3);
    picture(page);
  }
}

}  // namespace bq::client
