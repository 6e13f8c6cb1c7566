// The web engine page of the exam window: where the browser's events that
// the exam client needs come from.
//
//   - Every navigation request (the window's own, a link, a script's
//     window.open(url, "_self"), back and forward) is reported by
//     beforeNavigate before the load goes on; the handler runs synchronously,
//     so a page file it writes is on disk when the engine reads it. Reloads
//     are not reported, as Internet Explorer did not report them.
//   - A script injected into every document, at its creation and in the
//     page's own world, reports focus changes, input (each keystroke) and
//     clicks as status-text changes, and clicks also as command-state
//     changes, each carrying the active element's value and defaultValue
//     read at that moment (elementEvent). The reports travel as console
//     messages with a marker that page scripts do not produce; they arrive in
//     the order the document raised them, before any navigation the same
//     click starts.
//   - The same script gives the generated pages the named element access of
//     Internet Explorer: an element with a name attribute is reachable as a
//     global of that name (sysj.value) when the page has no global of that
//     name, also from scripts that run while the document is parsed.
//   - It also renders leniencies of Internet Explorer that the generated
//     pages rely on: inline-style colours written without "#"
//     (background-color:6E8ADE), expression(...) values (evaluated when the
//     document is ready, loaded and resized; only on pages of the program
//     scheme, since an expression is script) and <body scroll=no>.
//   - A request for a new window (a target other than "_self") opens the
//     address in this page.
//   - A prompt() of page script goes first to the prompt handler, when one
//     is set (the web component's bridge, client/qt/bqcom_bridge.h).
//
// Pages without a declared character set are read as GBK. A page read from a
// "file:" address (a frame) cannot read other files; what the program
// scheme's pages may read is bounded by the profile (LocalFileGuard).
//
// Thread safety: a Qt object of the user-interface thread.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <functional>
#include <optional>

class QWebEngineProfile;

namespace bq::client {

// What the injected script reports, and the active element at that moment.
struct ElementEvent {
  enum class Kind { kStatusText, kCommandState };
  Kind kind = Kind::kStatusText;
  // The active element's value / defaultValue; nullopt when there is no
  // active element or it has no such property.
  std::optional<QString> value;
  std::optional<QString> defaultValue;
};

class ExamPage final : public QWebEnginePage {
  Q_OBJECT

 public:
  explicit ExamPage(QWebEngineProfile* profile, QObject* parent = nullptr);

  // The script injected into every document (exposed for its tests).
  static QString hostScript();

  // Answers a prompt(message, defaultValue) of the frame of `securityOrigin`:
  // true when it took the prompt and set *result; false leaves it to the
  // engine's own dialog. Runs on the user-interface thread while the script
  // waits. The engine hands over only the first 10,240 characters of
  // `message`; `defaultValue` comes whole.
  using PromptHandler = std::function<bool(const QUrl& securityOrigin, const QString& message,
                                           const QString& defaultValue, QString* result)>;
  void setPromptHandler(PromptHandler handler) { promptHandler_ = std::move(handler); }

 signals:
  // Before a navigation to `url` (an address of the program scheme for local
  // files, client/qt/program_scheme.h) goes on; emitted inside the engine's
  // request, so connect directly.
  void beforeNavigate(const QUrl& url);
  // A report of the injected script.
  void elementEvent(const bq::client::ElementEvent& event);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int lineNumber, const QString& sourceID) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
  bool javaScriptPrompt(const QUrl& securityOrigin, const QString& message,
                        const QString& defaultValue, QString* result) override;

 private:
  PromptHandler promptHandler_;
};

}  // namespace bq::client
