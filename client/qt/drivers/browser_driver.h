// Drives the exam window like an examinee, for the demo run and the tests:
// waits for pages, clicks elements and types with real mouse and key events
// delivered to the browser view, reads the page with scripts, and saves
// pictures of the window.
//
// Every wait is bounded: a wait that runs out throws DriverError naming what
// was awaited and the page on display. Waiting runs the event loop, so the
// window's timers, loads and reports go on meanwhile.
//
// Thread safety: the user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <functional>
#include <stdexcept>

namespace bq::client {

class FrmBrowser;

struct DriverError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The longest wait for one page to load (the exam preparation included).
inline constexpr std::chrono::milliseconds kPageTimeout{20000};
// The longest wait for anything else (a script's result, a report).
inline constexpr std::chrono::milliseconds kStepTimeout{5000};

class BrowserDriver {
 public:
  // Starts recording the window's completed navigations.
  explicit BrowserDriver(FrmBrowser& window);

  FrmBrowser& window() { return window_; }

  // Waits for a completed navigation to a page whose location name is `name`
  // among those not waited for yet; the ones before it are passed over.
  // Throws DriverError at once when the program has been told to end.
  void waitForPage(const QString& name, std::chrono::milliseconds timeout = kPageTimeout);
  // Waits until `condition` holds, checking it every few milliseconds while
  // the event loop runs. An exception from `condition` ends the wait.
  void waitUntil(const std::function<bool()>& condition, const QString& what,
                 std::chrono::milliseconds timeout = kStepTimeout);

  // The value of `script` run in the page's own world.
  QVariant evaluate(const QString& script, std::chrono::milliseconds timeout = kStepTimeout);
  // A mouse click in the middle of the first element matching the CSS
  // `selector`, scrolled into view first. Throws DriverError when there is none.
  void click(const QString& selector);
  // Key presses and releases of each character of `text` (letters, digits
  // and blanks), delivered to the browser view.
  void type(const QString& text);
  // Lets the page draw (two animation frames and a short pause).
  void settle();
  // settle(), then saves a picture of the whole window as PNG at `path`.
  void screenshot(const QString& path);

  // `text` as a JavaScript string literal.
  static QString jsString(const QString& text);

 private:
  QString where() const;

  FrmBrowser& window_;
  QStringList pending_;  // names of completed navigations not waited for yet
};

}  // namespace bq::client
