// The examinee's desktop end to end, from the open button to the mark, with
// the real programs: the exam window on a copy of the demo program folder, on
// the X server of the xvfb fixture; the open button of the Word and the Excel
// section starting a real LibreOffice through the shell's opener table (no
// BQ_OPEN, no desktop session) and the question-text viewer; a picture
// of the whole screen; the examinee's part of the task made in that
// LibreOffice through its remote interface (testing/office_remote.py) and
// saved with the Save command (Ctrl+S) in place and format, no dialog asking;
// FileUpLoad ending LibreOffice
// and sending the answer to the FTP server of the ftp fixture; and the sent
// file marked with GetExcelScore against the expected set of a model answer
// that the same LibreOffice made from the untouched question document.
//
// The program runs in a process namespace of its own (FileUpLoad and the open
// button end programs by name), and the exam's LibreOffice profile is a
// folder of the test's own ($BQ_OFFICE_PROFILE) that also accepts the remote
// interface on a pipe of its own name. Pictures go to BQ_TEST_ARTIFACTS. Without an X
// server or LibreOffice the program skips itself with one line (exit code
// 77, CTest's skip); under CI=true it fails instead.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/core/dispatcher.h"
#include "client/qt/drivers/browser_driver.h"
#include "client/qt/drivers/demo_run.h"
#include "client/qt/drivers/desktop_demo.h"
#include "client/qt/frm_browser.h"
#include "client/qt/web_engine_setup.h"
#include "platform/ftp/testing/test_servers.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "platform/shell/openers.h"
#include "platform/shell/processes.h"
#include "platform/ui/x11_windows.h"
#include "scoring/excel_score.h"
#include "scoring/extractors/excel_reader.h"
#include "scoring/extractors/word_reader.h"
#include "webcom/bqcom.h"
#include "webcom/session.h"
#include "webcom/testing/own_processes.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using json = nlohmann::json;

QString q(const char* text) { return QString::fromUtf8(text); }

const char* const kProgramFiles[] = {
    "BqLogin.asp", "StdKnow.asp", "Begin.asp",  "EndTest.asp", "UpdateSQL.asp",
    "Login.asp",   "bq.css",      "BqTest.MDB", "bq.avi",      "questionpane.exe",
};

// One Office section of the demo paper as the examinee meets it.
struct Section {
  const char* button;        // on Begin.asp
  const char* page;          // the section page
  const char* document;      // the question document in C:\BQTEST
  const char* kind;          // office_remote.py's task
  const char* scoreKind;     // GetExcelScore's answer kind
  const char* windowClass;   // LibreOffice's window for the document
  const char* openFilter;    // the filter LibreOffice reads the document with
  const char* legacyFilter;  // the binary format of the same program
  const char* title;         // the text the task changes
  const char* editPoint;     // a knowledge point that only the edit gives
  const char* uploadFlag;    // FileUpLoad's kind selection for the document
};

constexpr Section kWord = {"btn-wordtest",
                           "wordtest.asp",
                           "wdbq1.doc",
                           "word",
                           "WORDTEST",
                           "libreoffice-writer",
                           "MS Word 2007 XML",
                           "MS Word 97",
                           "中国传统节日——春节",
                           "文本对齐,1",
                           "010000"};
constexpr Section kExcel = {"btn-exceltest",
                            "excel.asp",
                            "exbq1.xls",
                            "calc",
                            "EXCEL",
                            "libreoffice-calc",
                            "Calc MS Excel 2007 XML",
                            "MS Excel 97",
                            "2023年电脑配件销售表（单位：台）",
                            "单元合并,True",
                            "001000"};

// The X display of the xvfb fixture; why the machine cannot run these tests.
std::string& display() {
  static std::string name;
  return name;
}
std::string whyNot() {
  const char* state = std::getenv("BQ_XVFB_TEST_STATE");
  if (state && *state) std::ifstream(fs::path(state) / "display") >> display();
  if (display().empty()) return "no X server (Xvfb, the xvfb fixture)";
  if (shell::libreOfficeProgram().empty()) return "LibreOffice (soffice) is not installed";
  return "";
}

class DesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("DISPLAY", display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No desktop session on the test's X server: Office documents go to
    // LibreOffice by the opener table's own rule, whatever else is installed.
    for (const char* variable : {"BQ_OPEN", "BQ_BROWSER", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
      unsetenv(variable);
    if (QApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "client_desktop_test";
    static char* argv[] = {name, nullptr};
    // The windows draw in software, as on the offscreen platform, and Qt
    // loads no OpenGL for X at all: Mesa's OpenGL on Xvfb keeps allocations
    // of its generated code until exit and unloads its driver, so the leak
    // checker of the sanitizer build sees them in no module and cannot tell
    // them from ours.
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
    setenv("QT_QUICK_BACKEND", "software", 1);
    setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    prepareWebEngine();
    new QApplication(argc, argv);
  }
  static void TearDownTestSuite() { delete QApplication::instance(); }

  void SetUp() override {
    ASSERT_EQ(bq::testing::ownProcessesWhyNot(), "")
        << "the open button and FileUpLoad end programs by name";
    std::random_device seed;
    const std::string id = std::to_string(getpid()) + "-" + std::to_string(seed());
    root_ = fs::temp_directory_path() / ("bq-desktop-" + id);
    const fs::path program = root_ / "program";
    fs::create_directories(program / "images");
    const fs::path demo = BQ_DEMO_FOLDER;
    for (const char* name : kProgramFiles) fs::copy_file(demo / name, program / name);
    fs::copy(demo / "images", program / "images", fs::copy_options::recursive);
    setenv("BQ_DRIVES", (root_ / "drives").c_str(), 1);
    work_ = root_ / "drives" / "c" / "BQTEST";

    // The exam's LibreOffice profile, which the open button prepares: the
    // test's own, with one item of the test's that the preparation keeps,
    // the remote interface on our pipe. The user's own profile
    // ($XDG_CONFIG_HOME/libreoffice) must stay untouched.
    pipe_ = "bq-desktop-" + id;
    const fs::path user = root_ / "exam-profile" / "user";
    fs::create_directories(user);
    std::ofstream(user / "registrymodifications.xcu") << R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupConnectionURL" oor:op="fuse"><value>pipe,name=)"
                                                      << pipe_ << R"(;urp;</value></prop></item>
</oor:items>
)";
    setenv("BQ_OFFICE_PROFILE", (root_ / "exam-profile").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);

    servers_ = ftp::testing::TestServers::fromEnvironment();
    cServer_ = "exam-" + id;
    fs::create_directories(servers_.root / cServer_);
    setenv("BQ_FTP_TIMEOUT", "10", 1);

    app_.AppFolder = program.string();
    openExamConnection(app_);
    window_ = std::make_unique<FrmBrowser>(app_);
    driver_ = std::make_unique<BrowserDriver>(*window_);
    window_->show();
  }

  void TearDown() override {
    driver_.reset();
    window_.reset();
    // Whatever the test left running, in its own namespace only (the
    // namespace's end would end them too).
    if (bq::testing::ownProcessesWhyNot().empty())
      for (const char* name : {"WinWord.exe", "QuestionPane.exe"})
        for (int pid : running(name)) shell::terminateProcess(pid);
    std::error_code ignored;
    // LibreOffice ended by force leaves the socket of our pipe behind.
    if (!pipe_.empty())
      fs::remove("/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + pipe_, ignored);
    if (!cServer_.empty()) fs::remove_all(servers_.root / cServer_, ignored);
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }

  // The processes that ending `windowsName` by name would end.
  static std::vector<int> running(const std::string& windowsName) {
    return ProcessesToEnd(shell::processSnapshot(), windowsName);
  }

  // Runs office_remote.py with `args` (at most 90 s) and returns the JSON
  // object it printed; fails the test with its output otherwise.
  json remote(const std::vector<std::string>& args) {
    const fs::path log = root_ / ("remote-" + std::to_string(++remoteCalls_) + ".log");
    std::vector<std::string> argv = {"/usr/bin/python3", BQ_OFFICE_REMOTE, args[0], pipe_};
    argv.insert(argv.end(), args.begin() + 1, args.end());
    const office::ProcessOutcome outcome = office::runBounded(argv, log, 90s);
    std::ifstream in(log);
    std::string line, last, all;
    while (std::getline(in, line)) {
      all += line + "\n";
      if (!line.empty() && line[0] == '{') last = line;
    }
    const bool ok = outcome.spawnError == 0 && !outcome.timedOut && WIFEXITED(outcome.waitStatus) &&
                    WEXITSTATUS(outcome.waitStatus) == 0;
    if (!ok || last.empty()) {
      ADD_FAILURE() << "office_remote.py " << args[0] << " failed:\n" << all;
      return json::object();
    }
    return json::parse(last);
  }

  // Waits (at most `bound`, the event loop running) for the top-level window
  // of one of `classes` on the display.
  bool waitForWindow(std::initializer_list<const char*> classes,
                     std::chrono::milliseconds bound = 30s) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < until) {
      for (const char* c : classes)
        if (ui::x11::findTopLevelWindow(c)) return true;
      QTest::qWait(100);
    }
    return false;
  }

  // Saves a picture of the whole screen as desktop-<name>.png.
  void screenPicture(const std::string& name) {
    QTest::qWait(1500);  // the programs paint their windows
    const fs::path folder = BQ_TEST_ARTIFACTS;
    fs::create_directories(folder);
    EXPECT_TRUE(saveScreenPicture(
        QString::fromStdString((folder / ("desktop-" + name + ".png")).string())));
  }

  // The expected set of the model answer `model`.
  static KnowledgeSet expectedOf(const Section& s, const fs::path& model) {
    KnowledgeSet expected;
    if (std::string(s.kind) == "word") {
      ReadWord(model.string(), expected);
    } else {
      ReadExcel(model.string(), expected);
    }
    return expected;
  }

  struct Mark {
    double score = -1;
    KnowledgeSet matched;
  };
  static Mark mark(const Section& s, KnowledgeSet expected, const fs::path& answer) {
    Mark m;
    KnowledgeSet missed;
    m.score = GetExcelScore(s.scoreKind, expected, answer.string(), m.matched, missed);
    return m;
  }

  // The whole road of one section's answer.
  void answerSection(const Section& s) {
    // Signing in prepares the exam: the question documents land in C:\BQTEST.
    signInAndBegin(*driver_, *window_);
    openSection(*driver_, *window_, s.button, s.page, false);
    const fs::path document = work_ / s.document;
    const fs::path untouched = root_ / (std::string("untouched-") + s.document);
    ASSERT_TRUE(fs::is_regular_file(document));
    fs::copy_file(document, untouched);

    // The open button: LibreOffice with the document, and the viewer.
    driver_->click(QStringLiteral("input[value=\"%1\"]").arg(q(kOpenButtonCaption.data())));
    driver_->waitUntil([&] { return !window_->dispatcher().OpenArmed(); }, q("the launch"));
    const json opened = remote({"wait", s.document, "60"});
    EXPECT_EQ(opened.value("filter", ""), s.openFilter);
    EXPECT_TRUE(waitForWindow({s.windowClass})) << "no " << s.windowClass << " window";
    EXPECT_TRUE(waitForWindow({"questionpane.exe"})) << "no viewer window";
    raiseQuestionViewer();
    screenPicture(s.page);

    // The examinee's part of the task, saved with the Save command as Ctrl+S
    // gives it: no dialog asks about the format, and the file keeps its
    // name, place and format.
    const json edited = remote({"edit", s.kind, s.document});
    EXPECT_EQ(edited.value("title", ""), s.title);
    EXPECT_EQ(edited.value("filter", ""), s.openFilter);
    EXPECT_TRUE(ftp::testing::slurp(document).starts_with("PK\x03\x04"));
    EXPECT_NE(ftp::testing::slurp(document), ftp::testing::slurp(untouched));
    EXPECT_FALSE(fs::exists(root_ / "config" / "libreoffice")) << "the user's profile was used";
    // The model answer from the untouched document; the untouched document
    // as LibreOffice writes it; the examinee's answer in the binary format.
    const fs::path model = root_ / (std::string("model-") + s.document);
    const fs::path resaved = root_ / (std::string("resaved-") + s.document);
    const fs::path legacy = root_ / (std::string("legacy-") + s.document);
    EXPECT_EQ(remote({"model", s.kind, untouched.string(), model.string()}).value("title", ""),
              s.title);
    remote({"resave", untouched.string(), resaved.string()});
    remote({"resave", document.string(), legacy.string(), s.legacyFilter});

    // Hand-in as the networked exam does it: FileUpLoad ends the Office
    // programs and sends the answer to the exam server.
    ASSERT_FALSE(running("WinWord.exe").empty());
    std::string ip = "127.0.0.1", port = std::to_string(servers_.port), server = cServer_,
                client = "C:\\BQTEST", id = "bq1", flag = s.uploadFlag;
    BQCOM().FileUpLoad(ip, port, server, client, id, flag);
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!running("WinWord.exe").empty() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(running("WinWord.exe").empty()) << "LibreOffice still runs";
    const fs::path sent = servers_.root / cServer_ / s.document;
    ASSERT_TRUE(fs::is_regular_file(sent)) << "the answer was not sent";
    EXPECT_TRUE(shell::isOfficeDocument(sent));
    EXPECT_NE(ftp::testing::slurp(sent), ftp::testing::slurp(untouched));

    // The marking side: the sent answer against the model answer's set.
    const KnowledgeSet expected = expectedOf(s, model);
    ASSERT_GT(expected.Count(), 0);
    const Mark answer = mark(s, expected, sent);
    const Mark before = mark(s, expected, untouched);
    const Mark rewritten = mark(s, expected, resaved);
    const Mark binary = mark(s, expected, legacy);
    std::cout << s.scoreKind << ": answer " << answer.score << ", untouched " << before.score
              << ", untouched as LibreOffice writes it " << rewritten.score
              << ", answer saved in the binary format " << binary.score << " of "
              << expected.Count() << " points\n";
    EXPECT_GT(answer.score, before.score);
    EXPECT_GT(answer.score, rewritten.score);
    EXPECT_TRUE(answer.matched.Exists(s.editPoint));
    EXPECT_FALSE(rewritten.matched.Exists(s.editPoint));
    // An answer saved in the old binary format is read through the legacy
    // conversion and keeps the edit.
    EXPECT_TRUE(binary.matched.Exists(s.editPoint));
  }

  fs::path root_;
  fs::path work_;
  std::string pipe_;
  ftp::testing::TestServers servers_;
  std::string cServer_;
  int remoteCalls_ = 0;
  AppValues app_;
  std::unique_ptr<FrmBrowser> window_;
  std::unique_ptr<BrowserDriver> driver_;
};

TEST_F(DesktopTest, WordAnswerGoesFromTheOpenButtonThroughLibreOfficeToItsMark) {
  answerSection(kWord);
}

TEST_F(DesktopTest, ExcelAnswerGoesFromTheOpenButtonThroughLibreOfficeToItsMark) {
  answerSection(kExcel);
}

}  // namespace
}  // namespace bq::client

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (const std::string why = bq::client::whyNot(); !why.empty()) {
    const char* ci = std::getenv("CI");
    const bool mustRun = ci && std::string(ci) == "true";
    std::cout << "desktop: " << why << (mustRun ? ", failed (CI)" : ", skipped") << std::endl;
    return mustRun ? 1 : 77;
  }
  return bq::testing::runInOwnProcesses([] { return RUN_ALL_TESTS(); });
}
