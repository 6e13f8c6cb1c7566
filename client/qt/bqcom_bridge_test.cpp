// The web component's bridge in the real web engine: page script of the
// program folder and of the demo exam server (demo/networked/exam_server.py,
// HTTP and FTP on free loopback ports, started and stopped by the tests)
// creates BrightquillWebComm.BQCOM and calls it synchronously; a page of an
// unlisted origin is refused. The demo networked exam runs end to end and
// the files on both sides are compared; pictures of every step are kept
// under BQ_TEST_ARTIFACTS.
//
// The program runs in a process namespace of its own
// (webcom/testing/own_processes.h): FileUpLoad ends every LibreOffice it can
// see, and EndTest's double-click every exam client (it is never used here).
#include "client/qt/bqcom_bridge.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/core/exam_servers.h"
#include "client/core/preparation.h"
#include "client/qt/drivers/browser_driver.h"
#include "client/qt/drivers/networked_run.h"
#include "client/qt/frm_browser.h"
#include "client/qt/testing/window_test.h"
#include "common/ansi.h"
#include "webcom/testing/open_recorder.h"
#include "webcom/testing/own_processes.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

QString q(const char* text) { return QString::fromUtf8(text); }

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// The demo exam server (exam_server.py) on free loopback ports, serving a
// copy of the built pages (to which tests may add their own) and a copy of
// the built FTP folder.
class ExamServer {
 public:
  explicit ExamServer(const fs::path& dir) : ftpRoot_(dir / "ftp"), www_(dir / "www") {
    fs::create_directories(ftpRoot_);
    fs::copy(fs::path(BQ_DEMO_EXAM_SERVER) / "ftp" / "exam", ftpRoot_ / "exam");
    fs::copy(fs::path(BQ_DEMO_EXAM_SERVER) / "www", www_, fs::copy_options::recursive);
    const fs::path ports = dir / "ports";
    const char* python = std::getenv("BQ_FTP_PYTHON");
    const std::string interpreter = python && *python ? python : "/usr/bin/python3";
    const std::string www = www_.string();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(interpreter.c_str(), interpreter.c_str(), BQ_EXAM_SERVER_PY, "--www", www.c_str(),
              "--ftp-root", ftpRoot_.c_str(), "--port-file", ports.c_str(), "--lifetime", "300",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 200 && httpPort_ == 0; ++i) {
      std::ifstream(ports) >> httpPort_ >> ftpPort_;
      if (httpPort_ == 0) std::this_thread::sleep_for(50ms);
    }
    if (httpPort_ == 0) throw std::runtime_error("the demo exam server did not start");
  }
  ~ExamServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(20ms);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  ExamServer(const ExamServer&) = delete;
  ExamServer& operator=(const ExamServer&) = delete;

  // The page `name` (the exam page by default) as a page of `host`.
  std::string page(const std::string& host = "127.0.0.1",
                   const std::string& name = "index.htm") const {
    return origin(host) + "/" + name;
  }
  std::string origin(const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(httpPort_);
  }
  const fs::path& ftpRoot() const { return ftpRoot_; }
  // The folder of the pages.
  const fs::path& www() const { return www_; }

 private:
  fs::path ftpRoot_;
  fs::path www_;
  pid_t pid_ = -1;
  int httpPort_ = 0;
  int ftpPort_ = 0;
};

class BridgeTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("bq-bridge-" + std::to_string(seed()));
    program_ = root_ / "program";
    const char* const files[] = {"BqLogin.asp", "bq.css", "BqTest.MDB"};
    testing::copyProgramFolder(BQ_DEMO_FOLDER, program_, files);
    drives_ = root_ / "drives";
    setenv("BQ_DRIVES", drives_.c_str(), 1);
    opened_ = std::make_unique<bq::testing::OpenRecorder>(root_);
    app_.AppFolder = program_.string();
    openExamConnection(app_);
  }

  void TearDown() override {
    driver_.reset();
    window_.reset();
    opened_.reset();
    server_.reset();
    unsetenv("BQ_DRIVES");
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The server, listed as 127.0.0.1 (and as localhost, a site of its own,
  // when `alsoLocalhost`) or not at all.
  void startServer(bool listed = true, bool alsoLocalhost = false) {
    server_ = std::make_unique<ExamServer>(root_);
    std::ofstream servers;
    if (listed) {
      servers.open(program_ / kExamServersFile);
      servers << "# the demo\n" << server_->origin() << "\n";
    }
    if (listed && alsoLocalhost) servers << server_->origin("localhost") << "\n";
  }

  // A page of the server holding `body`.
  std::string serverPage(const std::string& name, const std::string& body,
                         const std::string& host = "127.0.0.1") {
    std::ofstream(server_->www() / name)
        << "<html><head><meta charset=\"utf-8\"></head><body>" << body << "</body></html>";
    return server_->page(host, name);
  }

  // The window, started on `address`.
  void open(const std::string& address) {
    window_ = std::make_unique<FrmBrowser>(app_, [](const std::string&) {});
    window_->setStartAddress(address);
    driver_ = std::make_unique<BrowserDriver>(*window_);
    window_->show();
    driver_->waitUntil([&] { return window_->locationURL() == address; },
                       QString::fromStdString("the page " + address), kPageTimeout);
  }

  // A page of the program folder holding `body`.
  std::string programPage(const std::string& name, const std::string& body) {
    std::ofstream(program_ / name)
        << "<html><head><meta charset=\"utf-8\"></head><body>" << body << "</body></html>";
    return "file://" + (program_ / name).string();
  }

  QString js(const QString& script) { return driver_->evaluate(script).toString(); }

  fs::path artifacts() const {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return fs::path(BQ_TEST_ARTIFACTS) / test;
  }

  fs::path root_, program_, drives_;
  AppValues app_;
  std::unique_ptr<bq::testing::OpenRecorder> opened_;
  std::unique_ptr<ExamServer> server_;
  std::unique_ptr<FrmBrowser> window_;
  std::unique_ptr<BrowserDriver> driver_;
};

// A script that runs `body` with com, a new BQCOM, and gives "ok" or the
// error's number and description.
QString attempt(const char* body) {
  return QStringLiteral(
             "(function () { try { var com = new ActiveXObject('BrightquillWebComm.BQCOM'); %1;"
             " return 'ok'; } catch (e) { return e.number + ' ' + e.description; } })()")
      .arg(q(body));
}

TEST_F(BridgeTest, ProgramFolderPagesCallTheComponentSynchronously) {
  ASSERT_EQ(bq::testing::ownProcessesWhyNot(), "");
  open(programPage("bridge.htm", "<input id='client' value='D:\\answers'>"));

  struct Case {
    const char* body;
    const char* outcome;
  };
  const Case cases[] = {
      // Created in any case of the identifier; methods named in any case.
      {"new ActiveXObject('brightquillwebcomm.bqcom').pretest('C:\\\\BQTEST')", "ok"},
      {"com.PreTest('C:\\\\BQTEST'); com.TERMPROC()", "ok"},
      // The component's failures, numbered as script saw them.
      {"com.CreateOpDirs('C:\\\\NoSuch\\\\BQTEST', '')", "-2146828212 Path not found"},
      {"com.CreateOpDirs('C:\\\\BQTEST2', '..\\\\x.txt')", "-2146828213 Path/File access error"},
      // What the dispatch layer refuses.
      {"com.Terminate()", "-2146827850 Object doesn't support this property or method"},
      {"com.Colour = 1", "-2146827850 Object doesn't support this property or method"},
      {"com.PreTest()", "-2146827839 Argument not optional"},
      {"com.TermProc(1)", "-2146827838 Wrong number of arguments or invalid property assignment"},
      {"com.PreTest(null)", "-2146828275 Type mismatch"},
      // Another class is refused as a blocked one is.
      {"new ActiveXObject('Scripting.FileSystemObject')",
       "-2146827859 Automation server can't create object"},
      // The page cannot come between the bridge and its prompt.
      {"window.prompt = function () { return '{}'; }; com.PreTest('C:\\\\BQTEST')", "ok"},
  };
  for (const Case& c : cases) EXPECT_EQ(js(attempt(c.body)), q(c.outcome)) << c.body;

  // The call has done its work when it returns: the folders are there for
  // the next statement of the same script.
  EXPECT_EQ(js(attempt("com.CreateOpDirs('C:\\\\BQTEST', 'a\\\\,a\\\\b.txt');"
                       "com.CreateOpDirs('C:\\\\BQTEST\\\\sub', '')")),
            q("ok"));
  EXPECT_TRUE(fs::is_directory(drives_ / "c" / "BQTEST" / "sub"));
  EXPECT_EQ(slurp(drives_ / "c" / "BqOperation" / "a" / "b.txt"), toAnsi("岚屿克祝您好运！\r\n"));

  // By reference: a holder (or a form field) gets the value back, a string
  // is a copy. The port is no number, so every transfer fails at once.
  fs::create_directories(drives_ / "d" / "BqOperation");
  EXPECT_EQ(js(q("(function () { var com = new ActiveXObject('BrightquillWebComm.BQCOM');"
                 " var holder = { value: 'D:\\\\answers' }, text = 'D:\\\\answers';"
                 " var field = document.getElementById('client');"
                 " com.FileUpLoad('127.0.0.1', 'x', 'exam', holder, 'BQ1', '000000');"
                 " com.FileUpLoad('127.0.0.1', 'x', 'exam', text, 'BQ1', '000000');"
                 " com.FileUpLoad('127.0.0.1', 'x', 'exam', field, 'BQ1', '000000');"
                 " return [holder.value, text, field.value].join('|'); })()")),
            q("D:\\BqOperation|D:\\answers|D:\\BqOperation"));
  EXPECT_TRUE(fs::is_regular_file(drives_ / "d" / "BqOperation" / "opBQ1.txt"));
  // Changed before the failure, the value still comes back.
  EXPECT_EQ(js(q("(function () { var com = new ActiveXObject('BrightquillWebComm.BQCOM');"
                 " var holder = { value: '/answers' }, number = 0;"
                 " try { com.FileUpLoad('127.0.0.1', 'x', 'exam', holder, 'BQ1', '000000'); }"
                 " catch (e) { number = e.number & 0xFFFF; }"
                 " return holder.value + ' ' + number; })()")),
            q("/:\\BqOperation 76"));
}

TEST_F(BridgeTest, TheTitleWindowHoldsTheCallingScriptAndOpensTheWorkbookOnceAThread) {
  open(programPage("pane.htm", ""));
  const fs::path workbook = drives_ / "c" / "tmpftp" / "download" / "exbq1.xls";
  fs::create_directories(workbook.parent_path());
  std::ofstream(workbook) << "workbook";
  // Each window is read for a while, then closed; meanwhile the window's
  // timers go on (the page's script does not).
  int shown = 0;
  QString nested;
  QElapsedTimer since;
  QTimer reader;
  reader.setInterval(20);
  QObject::connect(&reader, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != q("bqTextWindow")) return;
    if (!since.isValid()) since.start();
    if (since.elapsed() < 300) return;
    // A call that arrives meanwhile (another frame's) is refused.
    nested = window_->bqcomBridge()->answer(
        QUrl(q("bqfile:")), q("{\"op\": \"call\", \"progId\": \"BrightquillWebComm.BQCOM\","
                              " \"method\": \"PreTest\", \"args\": [\"C:\\\\BQTEST\"]}"));
    ++shown;
    since.invalidate();
    modal->close();
  });
  reader.start();
  const QString times =
      js(q("(function () { var com = new ActiveXObject('BrightquillWebComm.BQCOM'), t = [];"
           " for (var i = 0; i < 2; i++) { var s = Date.now(); com.QuestionPane('第' + i + "
           "'题~打开C:|x');"
           " t.push(Date.now() - s); }"
           " var s = Date.now(); com.QuestionPane(''); t.push(Date.now() - s);"
           " return t.join(' '); })()"));
  reader.stop();
  EXPECT_EQ(shown, 2);
  const QStringList t = times.split(QLatin1Char(' '));
  ASSERT_EQ(t.size(), 3) << times.toStdString();
  EXPECT_GE(t[0].toInt(), 300) << "the script waits while the window shows";
  EXPECT_GE(t[1].toInt(), 300);
  EXPECT_LT(t[2].toInt(), 300) << "an empty text shows nothing";
  EXPECT_EQ(nested, q("{\"error\":{\"description\":\"Call was rejected by callee.\","
                      "\"number\":-2147418111}}"));
  // One title window for the page's thread: only its first activation opens
  // the workbook.
  EXPECT_EQ(opened_->opened(1, 2s), std::vector<std::string>{workbook.string()});
}

// The window is sent elsewhere (the exam clock's time-up page, the address
// box) while a call waits in its modal window: the page stays until the call
// has returned, then the new page loads and may call in its turn.
TEST_F(BridgeTest, ANavigationWhileACallWaitsGoesOnWhenTheCallHasReturned) {
  const std::string next = programPage("next.htm", "next");
  open(programPage("wait.htm",
                   "<input type='button' id='wait' value='wait' onclick=\""
                   "new ActiveXObject('BrightquillWebComm.BQCOM').QuestionPane('x')\">"));
  bool navigated = false;
  int ticks = 0;
  std::string shownWhileWaiting;
  QTimer mover;
  mover.setInterval(20);
  QObject::connect(&mover, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != q("bqTextWindow")) return;
    if (!navigated) {
      navigated = true;
      window_->navigate(next);
      return;
    }
    // A moment for the engine; the page held by the call stays on display.
    if (++ticks < 10) return;
    shownWhileWaiting = window_->locationURL();
    modal->close();
  });
  mover.start();
  driver_->click(q("#wait"));
  driver_->waitUntil([&] { return navigated && !QApplication::activeModalWidget(); },
                     q("the call to be left"));
  driver_->waitUntil([&] { return window_->locationURL() == next; }, q("the next page"),
                     kPageTimeout);
  mover.stop();
  EXPECT_NE(shownWhileWaiting, next);
  EXPECT_EQ(js(attempt("com.PreTest('C:\\\\BQTEST')")), q("ok"));
}

// Calls longer than the engine hands over in a prompt's message (10,240
// characters) arrive whole: a list of a folder and 800 files, an argument of
// 1 MiB. Past the bound a call fails with its own error, and nothing runs.
TEST_F(BridgeTest, LongCallsArriveWholeAndOneTooLongFailsWithItsBound) {
  open(programPage("long.htm", ""));
  // Each of the 800 files is flushed to disk on its own: a few seconds.
  const QString made =
      driver_
          ->evaluate(
              q("(function () { var com = new ActiveXObject('BrightquillWebComm.BQCOM');"
                " var list = '资料\\\\,';"
                " for (var i = 0; i < 800; i++) list += '资料\\\\第' + (1000 + i) + '号文件.txt,';"
                " try { com.CreateOpDirs('C:\\\\BQTEST', list); return String(list.length); }"
                " catch (e) { return e.number + ' ' + e.description; } })()"),
              60s)
          .toString();
  EXPECT_EQ(made, q("12804"));
  const fs::path folder = drives_ / "c" / "BqOperation" / "资料";
  ASSERT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 800);
  EXPECT_TRUE(fs::is_regular_file(folder / "第1799号文件.txt"));

  // The item at the end of an argument of 1 MiB.
  EXPECT_EQ(js(attempt("com.CreateOpDirs('C:\\\\BQBIG', 'big\\\\,'.repeat(209716) + 'end.txt')")),
            q("ok"));
  EXPECT_TRUE(fs::is_regular_file(drives_ / "c" / "BqOperation" / "end.txt"));

  // One character past the bound, counted over all arguments.
  const QString tooLong =
      q("-2146828281 Out of memory (the arguments of CreateOpDirs come to 16,777,217 characters, "
        "more than 16,777,216)");
  EXPECT_EQ(js(attempt("com.CreateOpDirs('C:\\\\BQOVER', 'x'.repeat(16777216 - 8))")), tooLong);
  EXPECT_FALSE(fs::exists(drives_ / "c" / "BQOVER"));
  // A page that asks the host itself gets the same.
  const QString request = q("{\"op\": \"call\", \"progId\": \"BrightquillWebComm.BQCOM\","
                            " \"method\": \"CreateOpDirs\", \"args\": [\"C:\\\\BQOVER\", \"%1\"]}")
                              .arg(QString(kMaxCallArgumentChars - 8, QLatin1Char('x')));
  EXPECT_EQ(window_->bqcomBridge()->answer(QUrl(q("bqfile:")), request),
            q("{\"error\":{\"description\":\"Out of memory (the arguments of CreateOpDirs come to "
              "16,777,217 characters, more than 16,777,216)\",\"number\":-2146828281}}"));
  EXPECT_FALSE(fs::exists(drives_ / "c" / "BQOVER"));
}

// A frame that calls while another frame's call runs is not refused: its
// script does not run at all until that call has returned (the frames of a
// window share one renderer), then its calls go on. The inner frame, of
// another site, calls every 20 ms; the outer frame's call holds the question
// window for a second.
TEST_F(BridgeTest, AnotherFramesCallWaitsUntilTheRunningCallHasReturned) {
  startServer(true, true);
  serverPage("inner.htm",
             "<script>var calls = [], com = new ActiveXObject('BrightquillWebComm.BQCOM');"
             " var timer = setInterval(function () {"
             "   var s = Date.now(), outcome = 'ok';"
             "   try { com.PreTest('C:\\\\NoSuchFolder'); } catch (e) { outcome = e.number; }"
             "   calls.push([s, Date.now(), outcome]); }, 20);"
             " addEventListener('message', function () {"
             "   clearInterval(timer); parent.postMessage(JSON.stringify(calls), '*'); });"
             "</script>");
  open(serverPage("outer.htm",
                  "<iframe src='" + server_->page("localhost", "inner.htm") +
                      "'></iframe><script>var report = null;"
                      " addEventListener('message', function (e) { report = e.data; });</script>"));
  QTest::qWait(500);  // the inner frame is calling meanwhile

  QElapsedTimer since;
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != q("bqTextWindow")) return;
    if (!since.isValid()) since.start();
    if (since.elapsed() >= 1000) modal->close();
  });
  closer.start();
  const QString outer = js(
      q("(function () { var com = new ActiveXObject('BrightquillWebComm.BQCOM');"
        " var s = Date.now(); com.QuestionPane('第一题'); var e = Date.now();"
        " frames[0].postMessage('report', '*'); window.span = [s, e]; return s + ' ' + e; })()"));
  closer.stop();
  driver_->waitUntil([&] { return js(q("String(report !== null)")) == q("true"); },
                     q("the inner frame's calls"));
  // Calls before the outer one, during it, and any that failed.
  EXPECT_EQ(js(q("(function () { var calls = JSON.parse(report), s = span[0], e = span[1];"
                 " return [calls.filter(function (c) { return c[1] <= s; }).length > 0,"
                 "         calls.filter(function (c) { return c[0] > s && c[0] < e; }).length,"
                 "         calls.filter(function (c) { return c[2] !== 'ok'; }).length].join(' ');"
                 " })()")),
            q("true 0 0"))
      << outer.toStdString();
  EXPECT_GE(outer.section(QLatin1Char(' '), 1).toLongLong() -
                outer.section(QLatin1Char(' '), 0, 0).toLongLong(),
            1000);
}

// An expression in a style attribute is script, so it is evaluated on the
// program folder's pages only, never on a server's, listed or not. A listed
// page has the bridge, and no local file: neither by a file address nor
// through the program scheme.
TEST_F(BridgeTest, AListedPageRunsNoStyleExpressionAndReadsNoLocalFile) {
  startServer();
  const std::string body =
      "<div style='width: expression(window.ran = (window.ran || 0) + 1, 10)'>x</div>";
  open(programPage("style.htm", body));
  EXPECT_EQ(js(q("String(window.ran > 0)")), q("true"));
  const std::string page = serverPage("style.htm", body);
  window_->navigate(page);
  driver_->waitUntil([&] { return window_->locationURL() == page; }, q("the server's page"),
                     kPageTimeout);
  EXPECT_EQ(js(q("String(window.ran)")), q("undefined"));
  // A listed page, with the bridge at hand, and no local file.
  EXPECT_EQ(js(attempt("")), q("ok"));
  EXPECT_EQ(js(q("(function () { try { var x = new XMLHttpRequest(); x.open('GET', ") +
               BrowserDriver::jsString(
                   QString::fromStdString("file://" + program_.string() + "/BqLogin.asp")) +
               q(", false); x.send(); return 'read'; } catch (e) { return 'refused'; } })()")),
            q("refused"));
  js(q("window.shown = undefined; var i = new Image();"
       " i.onload = function () { window.shown = 'loaded'; };"
       " i.onerror = function () { window.shown = 'failed'; }; i.src = ") +
     BrowserDriver::jsString(
         QString::fromStdString("bqfile:" + program_.string() + "/images/hand.gif")) +
     q("; 0"));
  driver_->waitUntil([&] { return js(q("String(window.shown)")) != q("undefined"); },
                     q("the picture of the program folder"));
  EXPECT_EQ(js(q("window.shown")), q("failed"));
}

TEST_F(BridgeTest, APageOfAnUnlistedOriginIsRefused) {
  startServer();
  // The same server under another name is another origin, not listed.
  open(server_->page("localhost"));
  driver_->click(q("#step1"));
  driver_->waitUntil(
      [&] { return !js(q("document.getElementById('result1').className")).isEmpty(); },
      q("the outcome of step 1"));
  EXPECT_EQ(js(q("document.getElementById('result1').innerText")),
            q("错误 429：Automation server can't create object"));
  EXPECT_EQ(js(attempt("")), q("-2146827859 Automation server can't create object"));
  // Nor can the page ask the host itself.
  EXPECT_EQ(
      js(q("prompt('__bq_com__:', JSON.stringify({op: 'call', progId: "
           "'BrightquillWebComm.BQCOM', method: 'CreateOpDirs', args: ['C:\\\\BQTEST', '']}))")),
      q("{\"error\":{\"description\":\"Automation server can't create object\","
        "\"number\":-2146827859}}"));
  EXPECT_FALSE(fs::exists(drives_ / "c" / "BQTEST"));
  EXPECT_FALSE(fs::exists(drives_ / "c" / "tmpftp"));
}

TEST_F(BridgeTest, TheDemoNetworkedExamRunsEndToEnd) {
  ASSERT_EQ(bq::testing::ownProcessesWhyNot(), "");
  startServer();
  open(server_->page());

  NetworkedRun run(artifacts(), std::cout, std::cerr);
  run.readingTime = 400ms;
  const fs::path download = drives_ / "c" / "tmpftp" / "download";
  run.examineeWork = [&] {
    NetworkedRun::doFileOperationQuestion();
    std::ofstream(download / "wdbq1.doc", std::ios::app) << "edited by the examinee";
  };
  ASSERT_EQ(run.run(*window_, server_->page()), 0);
  EXPECT_EQ(run.pictures().size(), 9u);
  for (const fs::path& p : run.pictures()) EXPECT_GT(fs::file_size(p), 1000u) << p;

  // Every question file came down whole; nothing else.
  const fs::path exam = server_->ftpRoot() / "exam";
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(exam)) {
    ++files;
    const std::string name = entry.path().filename().string();
    if (name != "wdbq1.doc") {
      EXPECT_EQ(slurp(download / name), slurp(entry.path())) << name;
    }
  }
  EXPECT_EQ(files, 12u);
  EXPECT_EQ(std::distance(fs::directory_iterator(download), fs::directory_iterator()), 12);

  // The answers went up: the four documents as the examinee left them, and
  // the listing of the operation root after the file-operation question.
  const fs::path answers = server_->ftpRoot() / "answer";
  for (const char* name : {"wtbq1.doc", "wdbq1.doc", "exbq1.xls", "pptbq1.ppt"})
    EXPECT_EQ(slurp(answers / name), slurp(download / name)) << name;
  EXPECT_NE(slurp(answers / "wdbq1.doc"), slurp(exam / "wdbq1.doc"));
  EXPECT_EQ(slurp(answers / "opbq1.txt"),
            toAnsi("考生\\,资料\\,资料\\图片\\,资料\\备份\\,资料\\说明.txt\r\n"));
  EXPECT_EQ(slurp(answers / "opbq1.txt"), slurp(drives_ / "c" / "BqOperation" / "opbq1.txt"));

  // What the page saw: the by-reference cClient, and a script held while
  // the question window showed.
  ASSERT_EQ(run.outcomes().size(), 6u);
  EXPECT_EQ(run.outcomes()[4], "完成，清单在 C:\\BqOperation");
  EXPECT_EQ(run.outcomes()[3].rfind("完成（试题窗口显示 0.", 0), 0u) << run.outcomes()[3];
  // The title window's first activation opened the downloaded workbook.
  const std::vector<std::string> opened = opened_->opened(1, 2s);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], (download / "exbq1.xls").string());
}

}  // namespace
}  // namespace bq::client

int main(int argc, char** argv) { return bq::testing::mainInOwnProcesses(argc, argv); }
