#include "client/qt/drivers/browser_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QWebEngineView>
#include <exception>
#include <memory>

#include "client/qt/frm_browser.h"

namespace bq::client {
namespace {

// How often a wait looks at its condition when no event wakes it.
constexpr int kPollMilliseconds = 10;

QWidget* inputTarget(FrmBrowser& window) {
  QWidget* target = window.view()->focusProxy();
  return target != nullptr ? target : window.view();
}

// The key of a character as a keyboard would send it.
Qt::Key keyOf(QChar c) {
  if (c.isDigit()) return static_cast<Qt::Key>(Qt::Key_0 + (c.unicode() - u'0'));
  const QChar upper = c.toUpper();
  if (upper >= u'A' && upper <= u'Z')
    return static_cast<Qt::Key>(Qt::Key_A + (upper.unicode() - u'A'));
  if (c == u' ') return Qt::Key_Space;
  return Qt::Key_unknown;
}

}  // namespace

BrowserDriver::BrowserDriver(FrmBrowser& window) : window_(window) {
  QObject::connect(&window_, &FrmBrowser::navigateCompleted, &window_,
                   [this](const QString&, const QString& name) { pending_.append(name); });
}

QString BrowserDriver::where() const {
  return QStringLiteral(" (page on display: %1)")
      .arg(QString::fromStdString(window_.locationURL()));
}

void BrowserDriver::waitUntil(const std::function<bool()>& condition, const QString& what,
                              std::chrono::milliseconds timeout) {
  if (condition()) return;
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kPollMilliseconds);
  bool met = false;
  // Exceptions must not cross the event loop: one from the condition ends
  // the loop and is thrown again from here.
  std::exception_ptr failure;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    try {
      met = condition();
    } catch (...) {
      failure = std::current_exception();
    }
    if (met || failure || clock.elapsed() >= timeout.count()) loop.quit();
  });
  poll.start();
  loop.exec();
  if (failure) std::rethrow_exception(failure);
  if (!met) {
    throw DriverError(QStringLiteral("timed out after %1 ms waiting for %2%3")
                          .arg(timeout.count())
                          .arg(what, where())
                          .toStdString());
  }
}

void BrowserDriver::waitForPage(const QString& name, std::chrono::milliseconds timeout) {
  // A program that has been told to end loads nothing more.
  waitUntil(
      [&] {
        if (window_.dispatcher().ended()) {
          throw DriverError(QStringLiteral("the program ended while waiting for the page %1%2")
                                .arg(name, where())
                                .toStdString());
        }
        return pending_.contains(name);
      },
      QStringLiteral("the page ") + name, timeout);
  // Pass over everything up to and including that load.
  while (!pending_.isEmpty()) {
    const QString first = pending_.takeFirst();
    if (first == name) break;
  }
}

QVariant BrowserDriver::evaluate(const QString& script, std::chrono::milliseconds timeout) {
  struct Result {
    bool done = false;
    QVariant value;
  };
  // The engine may answer after a wait has given up; the answer then goes
  // to a result nobody reads.
  auto result = std::make_shared<Result>();
  window_.page()->runJavaScript(script, [result](const QVariant& value) {
    result->done = true;
    result->value = value;
  });
  waitUntil([&] { return result->done; }, QStringLiteral("the result of a script"), timeout);
  return result->value;
}

void BrowserDriver::click(const QString& selector) {
  const QVariant centre =
      evaluate(QStringLiteral("(function () {"
                              "  var e = document.querySelector(%1);"
                              "  if (!e) return null;"
                              "  e.scrollIntoView({block: 'center', inline: 'center'});"
                              "  var r = e.getBoundingClientRect();"
                              "  return [r.left + r.width / 2, r.top + r.height / 2];"
                              "})()")
                   .arg(jsString(selector)));
  const QVariantList xy = centre.toList();
  if (xy.size() != 2) {
    throw DriverError(
        QStringLiteral("no element %1 to click%2").arg(selector, where()).toStdString());
  }
  const qreal zoom = window_.page()->zoomFactor();
  const QPointF local(xy[0].toDouble() * zoom, xy[1].toDouble() * zoom);
  QWidget* target = inputTarget(window_);
  const QPointF global = target->mapToGlobal(local);
  QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &move);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(target, &release);
}

void BrowserDriver::type(const QString& text) {
  QWidget* target = inputTarget(window_);
  for (const QChar c : text) {
    const Qt::KeyboardModifiers modifiers =
        c.isUpper() ? Qt::KeyboardModifiers(Qt::ShiftModifier) : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, keyOf(c), modifiers, QString(c));
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, keyOf(c), modifiers, QString(c));
    QCoreApplication::sendEvent(target, &release);
  }
}

void BrowserDriver::settle() {
  evaluate(
      QStringLiteral("window.__bqFrames = 0;"
                     "requestAnimationFrame(function () {"
                     "  requestAnimationFrame(function () { window.__bqFrames = 2; });"
                     "});"));
  try {
    waitUntil([&] { return evaluate(QStringLiteral("window.__bqFrames")).toInt() == 2; },
              QStringLiteral("two animation frames"), std::chrono::milliseconds(2000));
  } catch (const DriverError&) {
    // A page that draws no frames is pictured as it stands.
  }
  // The last frame reaches the view a moment after the page has drawn it.
  QElapsedTimer pause;
  pause.start();
  waitUntil([&] { return pause.elapsed() >= 150; }, QStringLiteral("a short pause"));
}

void BrowserDriver::screenshot(const QString& path) {
  settle();
  if (!window_.grab().save(path, "PNG"))
    throw DriverError(QStringLiteral("cannot save the picture %1").arg(path).toStdString());
}

QString BrowserDriver::jsString(const QString& text) {
  return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
      .mid(1)
      .chopped(1);
}

}  // namespace bq::client
