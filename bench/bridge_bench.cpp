// What one synchronous call from page script to the web component costs
// through the exam window's bridge (client/qt/bqcom_bridge.h: the page's own
// prompt(), answered on the user-interface thread), against the other way a
// page can wait for the host: a synchronous XMLHttpRequest to a URL scheme
// of the host's, in the same engine and the same run.
//
// The page is one of the program scheme, as the client's own pages are.
// Ours: com.QuestionPane(""), a real method that returns at once, the whole
// way (request text, origin check, dispatch by name, the class, the answer).
// The peer: a request whose handler answers at once with a fixed text, the
// least that mechanism can cost (a real component call would add its own
// work, and the reply would have to wait for the event loop, since the
// methods run modal windows and wait for transfers). Both run in rounds of
// 500 calls, taking turns; each figure is the best round. Offscreen; the
// engine renders in software.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <algorithm>
#include <cstdio>
#include <limits>

#include "client/core/exam_servers.h"
#include "client/qt/bqcom_bridge.h"
#include "client/qt/exam_page.h"
#include "client/qt/program_scheme.h"
#include "client/qt/web_engine_setup.h"

namespace {

constexpr char kPeerScheme[] = "bqbench";
constexpr int kCalls = 500;
constexpr int kRounds = 5;

// The bench page, under the program scheme, as the client's own pages are.
class PageHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    auto* body = new QBuffer(job);
    body->setData(
        "<html><body><script>var com = new ActiveXObject('BrightquillWebComm.BQCOM');"
        "</script></body></html>");
    body->open(QIODevice::ReadOnly);
    job->reply("text/html", body);
  }
};

class PeerHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    auto* body = new QBuffer(job);
    body->setData("{}");
    body->open(QIODevice::ReadOnly);
    job->reply("application/json", body);
  }
};

// The value of `script` in `page`, waiting for it; NaN after 60 s.
double evaluate(QWebEnginePage& page, const QString& script) {
  double value = std::numeric_limits<double>::quiet_NaN();
  QEventLoop loop;
  page.runJavaScript(script, [&](const QVariant& v) {
    value = v.toDouble();
    loop.quit();
  });
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The peer's scheme is a local one, as the pages' own scheme is: the engine
  // lets local pages request only local schemes.
  QWebEngineUrlScheme peer(kPeerScheme);
  peer.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  peer.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(peer);
  bq::client::prepareWebEngine();
  QApplication app(argc, argv);

  QWebEngineProfile profile;
  profile.installUrlSchemeHandler(bq::client::kProgramScheme, new PageHandler(&profile));
  profile.installUrlSchemeHandler(kPeerScheme, new PeerHandler(&profile));
  int status = 0;
  {
    bq::client::ExamPage page(&profile);
    bq::client::BqcomBridge bridge(page, {});
    QEventLoop loaded;
    bool ok = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool success) {
      ok = success;
      loaded.quit();
    });
    QTimer::singleShot(60000, &loaded, &QEventLoop::quit);
    page.setUrl(bq::client::toEngineUrl(QUrl::fromLocalFile(QStringLiteral("/bench.htm"))));
    loaded.exec();

    const QString ours = QStringLiteral(
                             "(function () { var t = performance.now();"
                             " for (var i = 0; i < %1; i++) com.QuestionPane('');"
                             " return (performance.now() - t) / %1; })()")
                             .arg(kCalls);
    const QString theirs = QStringLiteral(
                               "(function () { var t = performance.now();"
                               " for (var i = 0; i < %1; i++) { var x = new XMLHttpRequest();"
                               " x.open('GET', '%2:/call?' + i, false); x.send();"
                               " if (x.responseText !== '{}') return NaN; }"
                               " return (performance.now() - t) / %1; })()")
                               .arg(kCalls)
                               .arg(QLatin1StringView(kPeerScheme));
    double best = std::numeric_limits<double>::infinity();
    double bestPeer = best;
    if (ok) {
      evaluate(page, ours);  // warm up both
      evaluate(page, theirs);
      for (int round = 0; round < kRounds; ++round) {
        best = std::min(best, evaluate(page, ours));
        bestPeer = std::min(bestPeer, evaluate(page, theirs));
      }
    }
    if (!ok || !(best > 0) || !(bestPeer > 0) || best == std::numeric_limits<double>::infinity()) {
      std::fprintf(stderr, "bridge_bench: the page did not load or a call failed\n");
      status = 1;
    } else {
      std::printf(
          "One synchronous call from page script to the host, %d calls a round (best of %d)\n",
          kCalls, kRounds);
      std::printf("  bridge, com.QuestionPane('')      %8.1f us\n", best * 1e3);
      std::printf("  synchronous XMLHttpRequest, peer  %8.1f us\n", bestPeer * 1e3);
      std::printf("  ratio %.2f (goal at most 1.0)\n", best / bestPeer);
    }
  }
  return status;
}
