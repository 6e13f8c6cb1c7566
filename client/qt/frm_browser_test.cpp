// The exam window end to end, in the real web engine, on a copy of the demo
// program folder with the sealed demo database: signing in, the exam
// preparation, the generated pages and their scripts, the open button, the
// title and the clean-up on close. The shell is replaced by a recorder; the
// drives C:\BQTEST and C:\BqOperation map into the test's own folder.
// Pictures of the pages are kept under BQ_TEST_ARTIFACTS.
#include "client/qt/frm_browser.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSet>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "client/core/dispatcher.h"
#include "client/core/preparation.h"
#include "client/qt/drivers/browser_driver.h"
#include "client/qt/testing/file_probe.h"
#include "client/qt/testing/window_test.h"
#include "platform/ui/recorder.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

QString q(const char* text) { return QString::fromUtf8(text); }

// What a program folder holds besides the program.
const char* const kProgramFiles[] = {
    "BqLogin.asp", "StdKnow.asp", "Begin.asp",  "EndTest.asp", "UpdateSQL.asp",
    "Login.asp",   "bq.css",      "BqTest.MDB", "bq.avi",      "questionpane.exe",
};

class ClientWindowTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("bq-client-qt-" + std::to_string(seed()));
    program_ = root_ / "program";
    testing::copyProgramFolder(BQ_DEMO_FOLDER, program_, kProgramFiles);
    qputenv("BQ_DRIVES", QByteArray::fromStdString((root_ / "drives").string()));

    app_.AppFolder = program_.string();
    openExamConnection(app_);
    window_ = std::make_unique<FrmBrowser>(
        app_, [this](const std::string& command) { commands_.push_back(command); });
    driver_ = std::make_unique<BrowserDriver>(*window_);
    titles_ = std::make_unique<QSignalSpy>(window_.get(), &QWidget::windowTitleChanged);
    window_->show();
  }

  void TearDown() override {
    driver_.reset();
    window_.reset();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  QVariant js(const QString& script) { return driver_->evaluate(script); }

  // Saves a picture of the window as <test>-<what>.png among the artifacts.
  void picture(const char* what) {
    const fs::path folder = BQ_TEST_ARTIFACTS;
    fs::create_directories(folder);
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    driver_->screenshot(QString::fromStdString((folder / (test + "-" + what + ".png")).string()));
  }

  // Signs in with card "BQ1" typed into the sign-in page; ends on "StdKnow.asp".
  void signIn() {
    driver_->waitForPage(q("BqLogin.asp"));
    driver_->click(q("#card"));
    driver_->type(q("BQ1"));
    driver_->waitUntil([&] { return app_.CardNumber == "bq1"; }, q("the card number"));
    driver_->click(q("#btn-confirm"));
    driver_->waitForPage(q("StdKnow.asp"));
  }

  // From the sign-in page to the section choice "Begin.asp".
  void toBegin() {
    signIn();
    driver_->click(q("#btn-begin"));
    driver_->waitForPage(q("Begin.asp"));
  }

  // Opens a section with its button on "Begin.asp".
  void openSection(const char* button, const char* page) {
    driver_->click(QStringLiteral("#") + q(button));
    driver_->waitForPage(q(page));
  }

  void back() {
    window_->toolBar()->findChild<QAction*>(q("Back"))->trigger();
    driver_->waitForPage(q("Begin.asp"));
  }

  // Waits until the countdown button tt shows a remaining time.
  QString countdown() {
    QString text;
    driver_->waitUntil(
        [&] {
          text = js(q("typeof tt == 'object' ? tt.value : ''")).toString();
          return text.startsWith(q("剩余时间："));
        },
        q("the countdown"));
    return text;
  }

  // The values of the checked inputs of the page.
  QSet<QString> checkedValues() {
    QSet<QString> values;
    const QVariantList list =
        js(q("Array.from(document.querySelectorAll('input:checked'), e => e.value)")).toList();
    for (const QVariant& v : list) values.insert(v.toString());
    return values;
  }

  // A countdown text of a clock that started at 9000 s a moment ago.
  static bool isFreshExamTime(const QString& text) {
    return text == q("剩余时间：150分00秒") || text.startsWith(q("剩余时间：149分5"));
  }

  int answerLines() {
    return js(q("document.body.innerText.split('题答案：').length - 1")).toInt();
  }

  fs::path root_;
  fs::path program_;
  AppValues app_;
  std::vector<std::string> commands_;
  std::unique_ptr<FrmBrowser> window_;
  std::unique_ptr<BrowserDriver> driver_;
  std::unique_ptr<QSignalSpy> titles_;
};

TEST_F(ClientWindowTest, TitleReadsBusyWhileTheSignInPageLoadsThenTheTitleText) {
  driver_->waitForPage(q("BqLogin.asp"));
  driver_->waitUntil([&] { return !window_->timerOn(Timer::kBusy); }, q("the busy timer to stop"));
  QStringList seen;
  for (const QList<QVariant>& call : *titles_) seen.append(call.at(0).toString());
  ASSERT_FALSE(seen.isEmpty());
  EXPECT_TRUE(seen.contains(q(kBusyTitleText.data()))) << seen.join(q(" | ")).toStdString();
  EXPECT_EQ(window_->windowTitle(), q(kTitleText.data()));
  EXPECT_EQ(seen.last(), q(kTitleText.data()));
}

TEST_F(ClientWindowTest, TypedCardNumberPreparesTheExamWhenTheInstructionsLoad) {
  signIn();
  picture("StdKnow");
  EXPECT_EQ(app_.CardNumber, "bq1");
  const fs::path work = root_ / "drives" / "c" / "BQTEST";
  for (const char* name :
       {"wdbq1.doc", "wtbq1.doc", "exbq1.xls", "pptbq1.ppt", "wdbq1.Tg", "wtbq1.Tg", "exbq1.Tg",
        "pptbq1.Tg", "emlbq1.Tg", "opbq1.Tg", "questionpane.exe", "bq.avi"}) {
    EXPECT_TRUE(fs::is_regular_file(work / name)) << name;
  }
  EXPECT_TRUE(fs::is_directory(root_ / "drives" / "c" / "BqOperation"));
  // The history holds the instructions page on top, as a file address.
  EXPECT_EQ(window_->addressAt(0), "file://" + program_.string() + "/StdKnow.asp");
  EXPECT_EQ(window_->locationName(), "StdKnow.asp");
}

TEST_F(ClientWindowTest, ChoicePageShowsStoredAnswersTwentyAnswerLinesAndItsCountdown) {
  toBegin();
  openSection("btn-selection", "selection.asp");
  // The remaining time written into the page is set by a script that runs
  // while the page is parsed (sysj.value=...), before any load event.
  const QString first = countdown();
  EXPECT_TRUE(isFreshExamTime(first)) << first.toStdString();
  EXPECT_TRUE(window_->timerOn(Timer::kExam));
  picture("selection");

  EXPECT_EQ(js(q("document.querySelectorAll('input[name^=xz]').length")).toInt(), 4 * 16 + 4 * 4)
      << "16 single-choice and 4 multiple-choice questions of four options each";
  EXPECT_EQ(checkedValues(), (QSet<QString>{q("1A"), q("2B"), q("3A"), q("17A"), q("17B"), q("17C"),
                                            q("18A"), q("20A"), q("20B"), q("20D")}));
  EXPECT_EQ(answerLines(), 20);

  // The countdown goes on by the page's own timer.
  driver_->waitUntil([&] { return js(q("tt.value")).toString() != first; },
                     q("the countdown to move"), 3s);
}

TEST_F(ClientWindowTest, SectionBarOfAGeneratedPageOpensTheTrueFalsePage) {
  toBegin();
  openSection("btn-selection", "selection.asp");
  // window.open("judgement.asp","_self") from the generated page's own bar.
  driver_->click(q("input[name=cmd][value=\"判断题\"]"));
  driver_->waitForPage(q("judgement.asp"));
  countdown();
  picture("judgement");
  EXPECT_EQ(checkedValues(), (QSet<QString>{q("11"), q("21"), q("50"), q("100")}));
  EXPECT_EQ(js(q("document.querySelectorAll('input[name^=pd]').length")).toInt(), 40);
  EXPECT_EQ(answerLines(), 20);
}

TEST_F(ClientWindowTest, TypingPageWithItsTimeRunDownHidesTheEntryAreaAndCountsOn) {
  signIn();
  // The remaining times are computed when a navigation completes: the
  // section choice's makes the typing page carry the run-down clock.
  app_.TypingTicks = 600;
  driver_->click(q("#btn-begin"));
  driver_->waitForPage(q("Begin.asp"));
  EXPECT_EQ(app_.TypingSecondsLeft, 0);
  openSection("btn-typewrite", "typewrite.asp");
  EXPECT_TRUE(window_->timerOn(Timer::kTyping));
  driver_->waitUntil([&] { return js(q("hz.value")).toString() == q("汉字录入时间已到!"); },
                     q("the typing time-up text"), 3s);
  picture("typewrite-time-up");
  EXPECT_EQ(
      js(q("getComputedStyle(document.getElementById('typewrite_write')).display")).toString(),
      q("none"));
  EXPECT_EQ(
      js(q("getComputedStyle(document.getElementById('typewrite_answer')).display")).toString(),
      q("block"));
  // The exam time was written by the script that also set the run-down
  // typing time, and counts on from it.
  const QString before = countdown();
  EXPECT_TRUE(isFreshExamTime(before)) << before.toStdString();
  driver_->waitUntil([&] { return js(q("tt.value")).toString() != before; },
                     q("the exam countdown to go on"), 3s);
  EXPECT_EQ(js(q("hz.value")).toString(), q("汉字录入时间已到!"));
}

TEST_F(ClientWindowTest, TypingPageCountsItsOwnClock) {
  toBegin();
  openSection("btn-typewrite", "typewrite.asp");
  driver_->waitUntil(
      [&] { return js(q("hz.value")).toString().startsWith(q("汉字录入剩余时间：")); },
      q("the typing countdown"));
  const int32_t ticks = app_.TypingTicks;
  driver_->waitUntil([&] { return app_.TypingTicks > ticks; }, q("a tick of timeHz"), 3s);
  picture("typewrite");
  EXPECT_EQ(
      js(q("getComputedStyle(document.getElementById('typewrite_write')).display")).toString(),
      q("block"));
}

TEST_F(ClientWindowTest, OpenButtonLaunchesOncePerVisit) {
  toBegin();
  openSection("btn-wordtest", "wordtest.asp");
  const QString open = QStringLiteral("input[value=\"%1\"]").arg(q(kOpenButtonCaption.data()));
  QSignalSpy commandStates(window_.get(), &FrmBrowser::commandStateHandled);
  driver_->click(open);
  driver_->waitUntil([&] { return commands_.size() >= 2; }, q("the two commands"));
  picture("wordtest");
  const std::vector<std::string> once{"c:\\bqtest\\wdbq1.doc",
                                      "c:\\bqtest\\QuestionPane.exe wdbq1.tg"};
  EXPECT_EQ(commands_, once);

  // A second press on the same visit is reported and launches nothing.
  const qsizetype reports = commandStates.count();
  driver_->click(open);
  driver_->waitUntil([&] { return commandStates.count() > reports; },
                     q("the second press's report"));
  EXPECT_EQ(window_->dispatcher().ActiveDefaultValue(), std::string(kOpenButtonCaption));
  EXPECT_EQ(commands_, once);

  // Coming back allows one more launch.
  back();
  openSection("btn-wordtest", "wordtest.asp");
  driver_->click(open);
  driver_->waitUntil([&] { return commands_.size() >= 4; }, q("the second visit's commands"));
  EXPECT_EQ(std::vector<std::string>(commands_.begin() + 2, commands_.end()), once);
}

TEST_F(ClientWindowTest, OpenButtonOfTheFileOperationPageOpensTheOperationRoot) {
  toBegin();
  openSection("btn-operation", "operation.asp");
  driver_->click(QStringLiteral("input[value=\"%1\"]").arg(q(kOpenButtonCaption.data())));
  driver_->waitUntil([&] { return commands_.size() >= 2; }, q("the two commands"));
  EXPECT_EQ(commands_, (std::vector<std::string>{"Explorer.exe c:\\BqOperation",
                                                 "c:\\bqtest\\QuestionPane.exe opbq1.tg"}));
}

TEST_F(ClientWindowTest, ClosingTheWindowDeletesTheGeneratedPagesOnly) {
  toBegin();
  openSection("btn-selection", "selection.asp");
  back();
  openSection("btn-exceltest", "excel.asp");
  ASSERT_TRUE(fs::exists(program_ / "selection.asp"));
  ASSERT_TRUE(fs::exists(program_ / "excel.asp"));
  window_->close();
  for (const DispatchPage& page : dispatchPages())
    EXPECT_FALSE(fs::exists(program_ / std::string(page.pageName))) << page.pageName;
  for (const char* name : kProgramFiles) EXPECT_TRUE(fs::exists(program_ / name)) << name;
  EXPECT_TRUE(fs::is_regular_file(root_ / "drives" / "c" / "BQTEST" / "exbq1.xls"));
}

TEST_F(ClientWindowTest, EnterInTheAddressBoxNavigatesAndTheHistoryKeepsOneEntryPerAddress) {
  driver_->waitForPage(q("BqLogin.asp"));
  const std::string begin = "file://" + program_.string() + "/Begin.asp";
  QComboBox* box = window_->addressBox();
  QSignalSpy chosen(box, &QComboBox::activated);
  QSignalSpy requests(window_->page(), &ExamPage::beforeNavigate);
  for (int visit = 0; visit < 2; ++visit) {
    box->setEditText(QString::fromStdString(begin));
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    driver_->waitForPage(q("Begin.asp"));
  }
  driver_->waitUntil([&] { return !window_->timerOn(Timer::kBusy); }, q("the busy timer to stop"));
  // Rebuilding the history after each load chose no entry and navigated nowhere.
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_EQ(requests.count(), 2);
  EXPECT_EQ(window_->locationName(), "Begin.asp");
  EXPECT_EQ(window_->addressAt(0), begin);
  int entries = 0;
  for (int i = 0; i < window_->addressCount(); ++i) entries += window_->addressAt(i) == begin;
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(box->currentText().toStdString(), begin);
}

TEST_F(ClientWindowTest, CardWithoutPaperShowsTheMessageAndEndsTheProgram) {
  auto messages = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope(messages);
  driver_->waitForPage(q("BqLogin.asp"));
  driver_->click(q("#card"));
  driver_->type(q("BQ9"));
  driver_->waitUntil([&] { return app_.CardNumber == "bq9"; }, q("the card number"));
  driver_->click(q("#btn-confirm"));
  driver_->waitUntil([&] { return !window_->isVisible(); }, q("the window to close"), kPageTimeout);
  EXPECT_TRUE(window_->dispatcher().ended());
  ASSERT_EQ(messages->shown().size(), 1u);
  EXPECT_EQ(messages->shown()[0].prompt, std::string(kUnknownCardMessage));
  EXPECT_FALSE(fs::exists(root_ / "drives" / "c" / "BQTEST" / "wdbq9.doc"));
}

TEST_F(ClientWindowTest, AnAddressWithinThePageOnDisplayEndsBusyToo) {
  driver_->waitForPage(q("BqLogin.asp"));
  window_->navigate("file://" + program_.string() + "/BqLogin.asp#card");
  window_->setTimer(Timer::kBusy, true);
  driver_->waitUntil([&] { return !window_->timerOn(Timer::kBusy); }, q("the busy timer to stop"));
  EXPECT_EQ(window_->windowTitle(), q(kTitleText.data()));
}

// A page reads the program folder's files through the program scheme, and
// nothing else: not a file beside the folder, not one reached by "..", nor
// one behind a link inside the folder.
TEST_F(ClientWindowTest, TheProgramSchemeServesTheProgramFolderOnly) {
  driver_->waitForPage(q("BqLogin.asp"));
  fs::create_directories(root_ / "home");
  fs::copy_file(program_ / "images" / "hand.gif", root_ / "home" / "secret.gif");
  fs::create_symlink(root_ / "home" / "secret.gif", program_ / "linked.gif");
  auto loads = [&](const QString& path) {
    js(q("window.__bqLoaded = undefined; var i = new Image();"
         "i.onload = function () { window.__bqLoaded = 'loaded'; };"
         "i.onerror = function () { window.__bqLoaded = 'failed'; };"
         "i.src = ") +
       BrowserDriver::jsString(q("bqfile:") + path) + q("; 0"));
    driver_->waitUntil([&] { return js(q("window.__bqLoaded !== undefined")).toBool(); },
                       q("the picture ") + path);
    return js(q("window.__bqLoaded")).toString() == q("loaded");
  };
  const QString program = QString::fromStdString(program_.string());
  EXPECT_TRUE(loads(program + q("/images/hand.gif")));
  EXPECT_FALSE(loads(QString::fromStdString((root_ / "home" / "secret.gif").string())));
  EXPECT_FALSE(loads(program + q("/../home/secret.gif")));
  EXPECT_FALSE(loads(program + q("/linked.gif")));
}

// Nor do its pages' own "file:" requests reach further: fetch,
// XMLHttpRequest and frames read the program folder's files, and no other.
TEST_F(ClientWindowTest, AProgramPageReadsNoFileOutsideTheProgramFolder) {
  driver_->waitForPage(q("BqLogin.asp"));
  testing::writeFileProbe(program_, root_ / "home");
  window_->navigate("file://" + (program_ / "probe.htm").string());
  driver_->waitForPage(q("probe.htm"));
  driver_->waitUntil([&] { return js(q("window.__reads !== undefined")).toBool(); },
                     q("the probe's report"), 20s);
  EXPECT_EQ(js(q("window.__reads")).toString().toStdString(), testing::kFileProbeConfined);
}

TEST_F(ClientWindowTest, ToolbarHasItsSixButtonsInOrder) {
  QStringList keys;
  QStringList labels;
  for (QAction* action : window_->toolBar()->actions()) {
    keys.append(action->objectName());
    labels.append(action->text());
  }
  EXPECT_EQ(keys, (QStringList{q("Back"), q("Forward"), q("Stop"), q("Refresh"), q("Home"),
                               q("Search")}));
  EXPECT_EQ(labels,
            (QStringList{q("返回"), q("向前"), q("停止"), q("刷新"), q("主页"), q("搜索")}));
}

}  // namespace
}  // namespace bq::client
