#include "client/qt/bqcom_bridge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "client/qt/exam_page.h"
#include "client/qt/program_scheme.h"
#include "common/automation_error.h"
#include "common/text.h"
#include "webcom/bqcom_dispatch.h"

namespace bq::client {
namespace {

// Prompt texts that start with this are requests of the page script.
constexpr QLatin1StringView kRequestMarker("__bq_com__:");

// What Internet Explorer's script engine raised for an ActiveX object that
// the page's security settings block (and for an unknown class).
constexpr int32_t kCannotCreate = -2146827859;  // 0x800A01AD
constexpr char kCannotCreateText[] = "Automation server can't create object";
// What a busy single-threaded apartment answers a call it cannot take now.
constexpr int32_t kRejected = -2147418111;  // 0x80010001 RPC_E_CALL_REJECTED
constexpr char kRejectedText[] = "Call was rejected by callee.";
// A request longer than the page script makes for arguments within their
// bound (JSON escapes at most six characters for one).
constexpr qsizetype kMaxRequestChars = 7 * kMaxCallArgumentChars;
// Anything that is no automation error.
constexpr int32_t kUnspecified = -2147467259;  // 0x80004005 E_FAIL
constexpr char kUnspecifiedText[] = "Unspecified error";

// The page script. It keeps its own references to what it calls, so a page
// that replaces prompt, JSON or Proxy later cannot come between it and the host.
constexpr char kPageScript[] = R"JS(
(function () {
  "use strict";
  if (window.__bqComBridge) return;
  Object.defineProperty(window, "__bqComBridge", { value: true });
  var ask = window.prompt;
  var marker = "__bq_com__:";
  var maxArguments = __BQ_MAX_ARGUMENTS__;
  var stringify = JSON.stringify;
  var parse = JSON.parse;
  var toLower = String.prototype.toLowerCase;
  var ProxyObject = Proxy;
  var ErrorObject = Error;
  var objectPrototype = Object.prototype;
  var rejected = { number: -2147418111, description: "Call was rejected by callee." };

  function lower(s) { return toLower.call(s); }
  function scriptError(error) {
    var e = new ErrorObject(error.description);
    e.number = error.number;
    e.description = error.description;
    return e;
  }
  // One request, answered synchronously by the host. It travels as the
  // prompt's default text, which the engine hands over whole (it cuts the
  // prompt's message).
  function request(message) {
    var answer = null;
    try {
      answer = ask.call(window, marker, stringify(message));
    } catch (e) {
    }
    if (typeof answer !== "string") return { error: rejected };
    try {
      return parse(answer);
    } catch (e) {
      return { error: rejected };
    }
  }
  // A value as the component's text parameters receive it; null for Null.
  function text(value) {
    if ((typeof value === "object" && value !== null) || typeof value === "function") {
      if ("value" in value) value = value.value;
    }
    if (value === null) return null;
    if (value === undefined) return "";
    if (typeof value === "boolean") return value ? "True" : "False";
    return String(value);
  }
  function method(progId, name) {
    return function () {
      var args = [];
      var length = 0;
      for (var i = 0; i < arguments.length; i++) {
        var t = text(arguments[i]);
        args.push(t);
        if (t !== null) length += t.length;
      }
      // Arguments past the bound are not sent; the host names the bound.
      var answer = length > maxArguments
                       ? request({ op: "call", progId: progId, method: name, args: [], length: length })
                       : request({ op: "call", progId: progId, method: name, args: args });
      var changed = answer.args || {};
      for (var k in changed) {
        var target = arguments[k];
        if (target !== null && typeof target === "object" && "value" in target) {
          try {
            target.value = changed[k];
          } catch (e) {
          }
        }
      }
      if (answer.error) throw scriptError(answer.error);
    };
  }
  function ActiveXObject(progId) {
    var name = text(progId);
    var answer = request({ op: "create", progId: name });
    if (answer.error) throw scriptError(answer.error);
    var members = Object.create(null);
    for (var i = 0; i < answer.members.length; i++)
      members[lower(answer.members[i])] = method(name, answer.members[i]);
    var noMember = answer.noMember;
    return new ProxyObject({}, {
      get: function (target, key) {
        if (typeof key !== "string") return target[key];
        var m = members[lower(key)];
        if (m) return m;
        if (key in objectPrototype || key === "then" || key === "toJSON") return target[key];
        throw scriptError(noMember);
      },
      set: function () { throw scriptError(noMember); },
      has: function (target, key) { return typeof key === "string" && lower(key) in members; }
    });
  }
  Object.defineProperty(window, "ActiveXObject",
                        { value: ActiveXObject, writable: true, configurable: true });
})();
)JS";

// Calls do not nest on a thread: the component's state is the thread's.
thread_local bool tCallRunning = false;

QJsonObject errorObject(int32_t number, const QString& description) {
  return QJsonObject{{QStringLiteral("number"), number},
                     {QStringLiteral("description"), description}};
}

QJsonObject failure(int32_t number, const QString& description) {
  return QJsonObject{{QStringLiteral("error"), errorObject(number, description)}};
}

QJsonObject failure(const AutomationError& e) {
  return failure(scriptErrorNumber(e.number()), QString::fromStdString(e.description()));
}

bool isBqcom(const QString& progId) { return lcase(progId.toStdString()) == lcase(BQCOM::kProgId); }

QJsonObject created() {
  QJsonArray members;
  for (const BqcomMember& m : BqcomMembers()) members.append(QString::fromLatin1(m.name));
  return QJsonObject{{QStringLiteral("members"), members},
                     {QStringLiteral("noMember"),
                      errorObject(scriptErrorNumber(err::kNoSuchMember),
                                  QString::fromStdString(runtimeErrorText(err::kNoSuchMember)))}};
}

QString grouped(qint64 number) { return QLocale(QLocale::English).toString(number); }

QJsonObject tooLong(const QString& what) {
  return failure(scriptErrorNumber(err::kOutOfMemory),
                 QString::fromStdString(runtimeErrorText(err::kOutOfMemory)) +
                     QStringLiteral(" (") + what + QLatin1Char(')'));
}

QJsonObject called(const QJsonObject& request) {
  const QString method = request.value(QStringLiteral("method")).toString();
  const QJsonArray given = request.value(QStringLiteral("args")).toArray();
  // What the page script counted for arguments it did not send, or what came.
  qint64 length = std::max<qint64>(0, request.value(QStringLiteral("length")).toInteger());
  if (length <= kMaxCallArgumentChars) {
    length = 0;
    for (const QJsonValue& v : given) length += v.toString().size();
  }
  if (length > kMaxCallArgumentChars)
    return tooLong(QStringLiteral("the arguments of %1 come to %2 characters, more than %3")
                       .arg(method.left(64), grouped(length), grouped(kMaxCallArgumentChars)));
  ScriptArgs args;
  for (const QJsonValue& v : given) {
    if (v.isString()) {
      args.emplace_back(v.toString().toStdString());
    } else {
      args.emplace_back(std::nullopt);  // Null, or nothing a text can take
    }
  }
  if (tCallRunning) return failure(kRejected, QString::fromLatin1(kRejectedText));
  tCallRunning = true;
  QJsonObject answer;
  try {
    BQCOM object;
    InvokeBqcom(object, method.toStdString(), args);
  } catch (const AutomationError& e) {
    answer = failure(e);
  } catch (const std::exception& e) {
    answer = failure(kUnspecified, QString::fromLatin1(kUnspecifiedText) + QStringLiteral(": ") +
                                       QString::fromUtf8(e.what()));
  } catch (...) {
    answer = failure(kUnspecified, QString::fromLatin1(kUnspecifiedText));
  }
  tCallRunning = false;
  // The by-reference values, also after a failure (the call leaves them in args).
  const BqcomMember* member = FindBqcomMember(method.toStdString());
  if (member && args.size() == member->params.size()) {
    QJsonObject byRef;
    for (size_t i = 0; i < args.size(); ++i) {
      if (member->params[i].byRef && args[i])
        byRef.insert(QString::number(i), QString::fromStdString(*args[i]));
    }
    if (!byRef.isEmpty()) answer.insert(QStringLiteral("args"), byRef);
  }
  return answer;
}

}  // namespace

int32_t scriptErrorNumber(int32_t number) {
  if (number > 0 && number <= 0xFFFF)
    return static_cast<int32_t>(0x800A0000u | static_cast<uint32_t>(number));
  return number;
}

BqcomBridge::BqcomBridge(ExamPage& page, ExamServers servers, QObject* parent)
    : QObject(parent), servers_(std::move(servers)) {
  for (const std::string& problem : servers_.problems) std::cerr << "BqTestMy: " << problem << '\n';

  QWebEngineScript script;
  script.setName(QStringLiteral("bq-bqcom"));
  script.setSourceCode(pageScript());
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  page.scripts().insert(script);

  page.setPromptHandler([this](const QUrl& origin, const QString& message,
                               const QString& defaultValue, QString* result) {
    if (!message.startsWith(kRequestMarker)) return false;
    *result = answer(origin, defaultValue);
    return true;
  });
}

QString BqcomBridge::pageScript() {
  return QString::fromUtf8(kPageScript)
      .replace(QLatin1StringView("__BQ_MAX_ARGUMENTS__"), QString::number(kMaxCallArgumentChars));
}

bool BqcomBridge::allows(const QUrl& origin) const {
  // The program scheme serves the program folder's pages.
  if (origin.scheme() == QLatin1StringView(kProgramScheme)) return true;
  return servers_.allows(origin.toString(QUrl::FullyEncoded).toStdString());
}

QString BqcomBridge::answer(const QUrl& origin, const QString& request) {
  QJsonObject reply;
  if (!allows(origin)) {
    // Another origin's request is not even read.
    reply = failure(kCannotCreate, QString::fromLatin1(kCannotCreateText));
  } else if (request.size() > kMaxRequestChars) {
    reply = tooLong(
        QStringLiteral("a request of more than %1 characters").arg(grouped(kMaxRequestChars)));
  } else {
    const QJsonObject message = QJsonDocument::fromJson(request.toUtf8()).object();
    const QString op = message.value(QStringLiteral("op")).toString();
    if (!isBqcom(message.value(QStringLiteral("progId")).toString())) {
      reply = failure(kCannotCreate, QString::fromLatin1(kCannotCreateText));
    } else if (op == QLatin1StringView("create")) {
      reply = created();
    } else if (op == QLatin1StringView("call")) {
      reply = called(message);
      emit callReturned(message.value(QStringLiteral("method")).toString());
    } else {
      reply = failure(kRejected, QString::fromLatin1(kRejectedText));
    }
  }
  return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

}  // namespace bq::client
