#include "client/qt/exam_page.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "client/qt/program_scheme.h"

namespace bq::client {
namespace {

// Console messages that start with this come from the injected script.
constexpr QLatin1StringView kReportMarker("__bq_host__:");

// The injected script. It keeps its own references to what it calls, so a
// page that redefines console or JSON cannot silence it.
constexpr char kHostScript[] = R"JS(
(function () {
  "use strict";
  if (window.__bqHostScript) return;
  Object.defineProperty(window, "__bqHostScript", { value: true });
  var marker = "__bq_host__:";
  var post = console.debug.bind(console);
  var stringify = JSON.stringify;

  // The active element's value and defaultValue, as the host reads them.
  function report(kind) {
    var message = { kind: kind };
    try {
      var element = document.activeElement;
      if (element) {
        if ("value" in element && element.value != null)
          message.value = String(element.value);
        if ("defaultValue" in element && element.defaultValue != null)
          message.defaultValue = String(element.defaultValue);
      }
    } catch (e) {
    }
    post(marker + stringify(message));
  }
  // Capturing listeners on the document run before the page's own handlers,
  // so a click is reported before the navigation it starts.
  document.addEventListener("focusin", function () { report("status"); }, true);
  document.addEventListener("input", function () { report("status"); }, true);
  document.addEventListener("click", function () {
    report("status");
    report("command");
  }, true);

  // Named element access: name="sysj" makes a global sysj, as in Internet
  // Explorer. Names the page already has as globals (ids, functions, the
  // window's own members) are left alone.
  var plainName = /^[A-Za-z_$][\w$]*$/;
  function expose(name) {
    if (!name || !plainName.test(name) || name in window) return;
    var assigned = false;
    var own;
    Object.defineProperty(window, name, {
      configurable: true,
      get: function () {
        if (assigned) return own;
        return document.getElementsByName(name)[0] || document.getElementById(name) || undefined;
      },
      set: function (value) {
        assigned = true;
        own = value;
      }
    });
  }
  function exposeTree(node) {
    if (!node || node.nodeType !== 1) return;
    expose(node.getAttribute("name"));
    var named = node.querySelectorAll("[name]");
    for (var i = 0; i < named.length; i++) expose(named[i].getAttribute("name"));
  }
  // Mutation records are delivered before the parser runs the next inline
  // script, so an element is reachable by name from the scripts after it.
  new MutationObserver(function (records) {
    for (var r = 0; r < records.length; r++) {
      var added = records[r].addedNodes;
      for (var i = 0; i < added.length; i++) exposeTree(added[i]);
    }
  }).observe(document, { childList: true, subtree: true });
  document.addEventListener("DOMContentLoaded", function () {
    exposeTree(document.documentElement);
  }, true);

  // Internet Explorer's leniencies that the generated pages rely on: colours
  // without "#" and expression(...) values in inline styles (it recomputed
  // them as the window changed), and the body's scroll attribute. An
  // expression is script: it runs only on the program scheme's pages, never
  // on a server's, where a style attribute may be all a text was allowed.
  var expressions = location.protocol === "__BQ_PROGRAM_PROTOCOL__";
  var computed = [];
  function applyExpressions() {
    for (var i = 0; i < computed.length; i++) {
      var item = computed[i];
      for (var j = 0; j < item.rules.length; j++) {
        try {
          var value = new Function("return (" + item.rules[j].code + ");").call(item.element);
          if (typeof value === "number") value = value + "px";
          item.element.style.setProperty(item.rules[j].property, String(value));
        } catch (e) {
        }
      }
    }
  }
  function readInlineStyle(element) {
    var text = element.getAttribute("style") || "";
    var colour = /(^|;)\s*(background-color|color|border-color)\s*:\s*([0-9a-fA-F]{6}|[0-9a-fA-F]{3})\s*(?=;|$)/g;
    var m;
    while ((m = colour.exec(text))) element.style.setProperty(m[2], "#" + m[3]);
    if (!expressions) return;
    var rules = [];
    var start = /([\w-]+)\s*:\s*expression\(/g;
    while ((m = start.exec(text))) {
      var depth = 1;
      var end = start.lastIndex;
      for (; end < text.length && depth > 0; end++) {
        if (text[end] === "(") depth++;
        else if (text[end] === ")") depth--;
      }
      rules.push({ property: m[1], code: text.slice(start.lastIndex, end - 1) });
      start.lastIndex = end;
    }
    if (rules.length) computed.push({ element: element, rules: rules });
  }
  document.addEventListener("DOMContentLoaded", function () {
    // <body scroll=no>: no scroll bars on the window.
    if (document.body && /^no$/i.test(document.body.getAttribute("scroll") || ""))
      document.documentElement.style.overflow = "hidden";
    var styled = document.querySelectorAll("[style]");
    for (var i = 0; i < styled.length; i++) readInlineStyle(styled[i]);
    applyExpressions();
  });
  window.addEventListener("load", applyExpressions);
  window.addEventListener("resize", applyExpressions);
})();
)JS";

// A page for a new window: it takes the first address asked for and hands it
// to the exam page, then goes away.
class NewWindowCatcher final : public QWebEnginePage {
 public:
  NewWindowCatcher(QWebEngineProfile* profile, QWebEnginePage* target)
      : QWebEnginePage(profile, target), target_(target) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    if (!done_) {
      done_ = true;
      QWebEnginePage* target = target_;
      QMetaObject::invokeMethod(
          target, [target, url] { target->setUrl(url); }, Qt::QueuedConnection);
      deleteLater();
    }
    return false;
  }

 private:
  QWebEnginePage* target_;
  bool done_ = false;
};

}  // namespace

ExamPage::ExamPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
  QWebEngineSettings* s = settings();
  s->setDefaultTextEncoding(QStringLiteral("GBK"));
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
  // The program folder's pages come through the program scheme; a "file:"
  // frame has no business reading other files (LocalFileGuard bounds the
  // program scheme's pages in turn).
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  // The sign-in page's input takes the keyboard as soon as the page is shown.
  s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, true);

  QWebEngineScript script;
  script.setName(QStringLiteral("bq-host"));
  script.setSourceCode(hostScript());
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  scripts().insert(script);
}

QString ExamPage::hostScript() {
  return QString::fromUtf8(kHostScript)
      .replace(QLatin1StringView("__BQ_PROGRAM_PROTOCOL__"),
               QString::fromLatin1(kProgramScheme) + QLatin1Char(':'));
}

bool ExamPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (url.isLocalFile() && isMainFrame) {
    // Local files are read through the program scheme; the navigation is
    // reported when it comes back in that form.
    const QUrl engineUrl = toEngineUrl(url);
    QMetaObject::invokeMethod(
        this, [this, engineUrl] { setUrl(engineUrl); }, Qt::QueuedConnection);
    return false;
  }
  if (type != NavigationTypeReload) emit beforeNavigate(url);
  return true;
}

void ExamPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                        int lineNumber, const QString& sourceID) {
  if (!message.startsWith(kReportMarker)) {
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
    return;
  }
  const QJsonObject report =
      QJsonDocument::fromJson(message.mid(kReportMarker.size()).toUtf8()).object();
  ElementEvent event;
  const QString kind = report.value(QStringLiteral("kind")).toString();
  if (kind == QLatin1StringView("status")) {
    event.kind = ElementEvent::Kind::kStatusText;
  } else if (kind == QLatin1StringView("command")) {
    event.kind = ElementEvent::Kind::kCommandState;
  } else {
    return;
  }
  if (const QJsonValue v = report.value(QStringLiteral("value")); v.isString())
    event.value = v.toString();
  if (const QJsonValue v = report.value(QStringLiteral("defaultValue")); v.isString())
    event.defaultValue = v.toString();
  emit elementEvent(event);
}

bool ExamPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& message,
                                const QString& defaultValue, QString* result) {
  if (promptHandler_ && promptHandler_(securityOrigin, message, defaultValue, result)) return true;
  return QWebEnginePage::javaScriptPrompt(securityOrigin, message, defaultValue, result);
}

QWebEnginePage* ExamPage::createWindow(WebWindowType type) {
  (void)type;
  return new NewWindowCatcher(profile(), this);
}

}  // namespace bq::client
