#include "client/qt/drivers/networked_run.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <system_error>

#include "client/qt/bqcom_bridge.h"
#include "client/qt/drivers/browser_driver.h"
#include "common/winpath.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

QString q(const char* text) { return QString::fromUtf8(text); }

// The steps as the page numbers them; the modal window a step shows.
struct Step {
  const char* method;
  const char* window;  // objectName of its modal window, or nullptr
};
constexpr Step kSteps[] = {
    {"PreTest", nullptr},      {"CreateOpDirs", nullptr},
    {"FileDownLoad", nullptr}, {"QuestionPane", "bqTextWindow"},
    {"FileUpLoad", nullptr},   {"EndTest", "bqPictureWindow"},
};

// The longest a step may take (the downloads included).
constexpr std::chrono::milliseconds kStepLimit{20000};

}  // namespace

NetworkedRun::NetworkedRun(fs::path outDir, std::ostream& out, std::ostream& err)
    : outDir_(std::move(outDir)), out_(out), err_(err) {}

void NetworkedRun::doFileOperationQuestion() {
  std::error_code ec;
  fs::create_directory(winpath::toNative("C:\\BqOperation\\资料\\备份"), ec);
  if (!ec) fs::remove(winpath::toNative("C:\\BqOperation\\考生\\旧报告.txt"), ec);
  if (ec) throw DriverError("the file-operation question: " + ec.message());
}

int NetworkedRun::run(FrmBrowser& window, const std::string& address) {
  try {
    drive(window, address);
  } catch (const DriverError& e) {
    err_ << "BqTestMy: networked run failed: " << e.what() << std::endl;
    return 1;
  }
  out_ << "networked run passed" << std::endl;
  return 0;
}

void NetworkedRun::picture(FrmBrowser& window, const std::string& what, QWidget* dialog) {
  const QString name = QStringLiteral("%1-%2.png")
                           .arg(pictures_.size() + 1, 2, 10, QLatin1Char('0'))
                           .arg(QString::fromStdString(what));
  const fs::path path = outDir_ / name.toStdString();
  if (dialog) {
    // The page waits in the component's modal window: the screen as the
    // examinee sees it, the window above the browser.
    QRect area = QGuiApplication::primaryScreen()->geometry();
    area = area.united(window.geometry()).united(dialog->geometry());
    QImage screen(area.size(), QImage::Format_RGB32);
    screen.fill(QColor(0x3A, 0x6E, 0xA5));
    QPainter painter(&screen);
    painter.drawPixmap(window.geometry().topLeft() - area.topLeft(), window.grab());
    painter.drawPixmap(dialog->geometry().topLeft() - area.topLeft(), dialog->grab());
    painter.end();
    if (!screen.save(QString::fromStdString(path.string()), "PNG"))
      throw DriverError("cannot save the picture " + path.string());
  } else {
    BrowserDriver(window).screenshot(QString::fromStdString(path.string()));
  }
  pictures_.push_back(path);
  out_ << path.string() << std::endl;
}

void NetworkedRun::drive(FrmBrowser& window, const std::string& address) {
  std::error_code ec;
  fs::create_directories(outDir_, ec);
  if (ec) throw DriverError("cannot create the folder " + outDir_.string() + ": " + ec.message());

  BrowserDriver driver(window);
  const QUrl page(QString::fromStdString(address));
  driver.waitUntil(
      [&] {
        return QUrl(QString::fromStdString(window.locationURL())) == page &&
               driver
                   .evaluate(
                       q("document.readyState == 'complete' && "
                         "typeof bqExamServer == 'object' && !!document.getElementById('step1')"))
                   .toBool();
      },
      QStringLiteral("the networked exam's page ") + page.toString(), kPageTimeout);
  picture(window, "index");

  for (int n = 1; n <= 6; ++n) {
    const Step& step = kSteps[n - 1];
    // A modal window of the component holds the page's script: it is read,
    // pictured and closed from a timer, inside the window's own event loop.
    bool handled = step.window == nullptr;
    std::exception_ptr failure;
    QElapsedTimer shown;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (handled || !modal || !modal->isVisible() || modal->objectName() != q(step.window)) return;
      if (!shown.isValid()) shown.start();
      if (shown.elapsed() < readingTime.count()) return;
      handled = true;
      watcher.stop();
      try {
        picture(window, step.method, modal);
      } catch (...) {
        failure = std::current_exception();
      }
      modal->close();
    });
    if (!handled) watcher.start();
    // Closed, the window still holds the page's script until the call has
    // returned: the page is asked nothing before.
    bool returned = handled;
    QObject thisStep;  // the connection lives as long as the step
    QObject::connect(
        window.bqcomBridge(), &BqcomBridge::callReturned, &thisStep,
        [&](const QString& method) {
                       returned = returned ||
                                  method.compare(q(step.method), Qt::CaseInsensitive) == 0;
                     });

    const QString result = QStringLiteral("document.getElementById('result%1')").arg(n);
    driver.click(QStringLiteral("#step%1").arg(n));
    driver.waitUntil(
        [&] {
          return handled && returned &&
                 !driver.evaluate(result + q(".className")).toString().isEmpty();
        },
        QStringLiteral("the outcome of step %1 (%2)").arg(n).arg(q(step.method)), kStepLimit);
    if (failure) std::rethrow_exception(failure);

    const std::string outcome = driver.evaluate(result + q(".innerText")).toString().toStdString();
    outcomes_.push_back(outcome);
    out_ << step.method << ": " << outcome << std::endl;
    if (driver.evaluate(result + q(".className")).toString() != q("done"))
      throw DriverError(std::string("step ") + step.method + " failed: " + outcome);
    picture(window, std::string(step.method) + "-done");

    if (n == 4) examineeWork();
  }
}

}  // namespace bq::client
