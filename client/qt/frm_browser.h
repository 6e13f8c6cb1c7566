// frmBrowser: the exam client's main window, a browser host on Qt WebEngine.
// The program's start, which makes and shows it, is client/qt/app.h.
//
// The window holds the toolbar tbToolBar (Back, Forward, Stop, Refresh, Home,
// Search), the address strip picAddress with lblAddress and the address box
// cboAddress (the navigation history, newest first), the browser view, the
// menu 文件(&F) / 退出(&E) and the three timers timTimer (5 ms), TimeK and
// timeHz (1000 ms). Everything the exam does on these controls and on the
// browser's events is the Dispatcher's (client/core/dispatcher.h); the window
// turns Qt signals into its calls and answers its questions as a BrowserHost:
//
//   before-navigate       ExamPage::beforeNavigate (every navigation request)
//   navigate-complete     a load that succeeded or failed (an error page);
//                         LocationURL is then the page's address and
//                         LocationName its file name (for a file address) or
//                         its title
//   download-complete     the end of every load, stopped ones included
//   status-text-change    the injected script's focus, input and click reports
//   command-state-change  the injected script's click reports
//
// The active element's value and defaultValue are those carried by the report
// being handled. Busy is true from a navigate() (other than to an address
// within the page on display) or a load's start to the load's end.
//
// Thread safety: a Qt window; the user-interface thread only.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "client/core/app_values.h"
#include "client/core/browser_host.h"
#include "client/core/dispatcher.h"
#include "client/qt/exam_page.h"

class QComboBox;
class QLabel;
class QTimer;
class QToolBar;
class QWebEngineProfile;
class QWebEngineView;
class QWebEngineLoadingInfo;

namespace bq::client {

class BqcomBridge;

// Runs a shell command (ShellObject.Run); throws AutomationError when it
// cannot be started.
using ShellRunner = std::function<void(const std::string& command)>;

class FrmBrowser final : public QMainWindow, public BrowserHost {
  Q_OBJECT

 public:
  // `app` (its connection open) must outlive the window. An empty `shellRun`
  // runs commands with bq::shell::run. The window's load runs when it is
  // first shown.
  explicit FrmBrowser(AppValues& app, ShellRunner shellRun = {}, QWidget* parent = nullptr);
  ~FrmBrowser() override;

  AppValues& app() { return app_; }
  Dispatcher& dispatcher() { return dispatcher_; }
  QWebEngineView* view() { return brwWebBrowser_; }
  ExamPage* page() { return page_; }
  QComboBox* addressBox() { return cboAddress_; }
  BqcomBridge* bqcomBridge() { return bridge_; }
  // An address to open once the window has loaded, in place of the sign-in
  // page, as the browser opens the address it is started with.
  void setStartAddress(std::string address) { startAddress_ = std::move(address); }
  QToolBar* toolBar() { return tbToolBar_; }
  // The window's timer `timer` (its QTimer).
  QTimer* timer(Timer timer) { return timers_[static_cast<size_t>(timer)]; }

  // --- BrowserHost ---------------------------------------------------------
  std::string locationURL() override;
  std::string locationName() override;
  bool busy() override { return loading_ || requested_; }
  std::string activeValue() override;
  std::string activeDefaultValue() override;
  void navigate(const std::string& url) override;
  void browserCommand(BrowserCommand command) override;
  void setTitle(const std::string& text) override;
  void setTimer(Timer timer, bool on) override;
  bool timerOn(Timer timer) override;
  std::string addressText() override;
  void setAddressText(const std::string& text) override;
  int addressCount() override;
  std::string addressAt(int index) override;
  void addAddress(const std::string& text) override;
  void insertAddress(int index, const std::string& text) override;
  void removeAddress(int index) override;
  void selectAddress(int index) override;
  void shellRun(const std::string& command) override;
  void quit() override;

 signals:
  // After the Dispatcher has handled each event (for drivers and tests).
  void navigateCompleted(const QString& url, const QString& name);
  void statusTextHandled();
  void commandStateHandled();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void connectSignals();
  void handleLoad();
  void handleBeforeNavigate(const QUrl& url);
  void handleLoadingChanged(const QWebEngineLoadingInfo& info);
  void handleElementEvent(const ElementEvent& event);
  void handleToolbarButton(const QString& key);

  AppValues& app_;
  ShellRunner shellRun_;
  Dispatcher dispatcher_{app_, *this};

  QWebEngineProfile* profile_ = nullptr;
  ExamPage* page_ = nullptr;
  BqcomBridge* bridge_ = nullptr;
  QToolBar* tbToolBar_ = nullptr;
  QWidget* picAddress_ = nullptr;
  QLabel* lblAddress_ = nullptr;
  QComboBox* cboAddress_ = nullptr;
  QWebEngineView* brwWebBrowser_ = nullptr;
  std::array<QTimer*, 3> timers_{};

  bool loaded_ = false;
  bool loading_ = false;    // from a load's start to its end
  bool requested_ = false;  // navigate() asked, no load started yet
  bool quitting_ = false;
  std::string startAddress_;
  std::string locationURL_;
  std::string locationName_;
  // The element report being handled.
  std::optional<std::string> activeValue_;
  std::optional<std::string> activeDefaultValue_;
};

}  // namespace bq::client
