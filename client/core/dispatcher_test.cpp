// The dispatcher's rules on the small fixture paper, with a host that keeps
// what it is asked and a combo box that, like a real one, reports a click
// when its list changes under it.
#include "client/core/dispatcher.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/core/test_paper_fixture.h"
#include "common/automation_error.h"
#include "platform/ui/recorder.h"
#include "platform/ui/ui.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

class FakeHost final : public BrowserHost {
 public:
  Dispatcher* dispatcher = nullptr;  // set to have list changes click the box
  std::string url, name;
  std::optional<std::string> value, defaultValue;
  std::vector<std::string> navigations, commands, titles, written, deleted;
  std::vector<std::string> entries;
  std::array<bool, 3> timers{};
  bool quitCalled = false;
  bool failRun = false;

  std::string locationURL() override { return url; }
  std::string locationName() override { return name; }
  bool busy() override { return false; }
  std::string activeValue() override { return need(value); }
  std::string activeDefaultValue() override { return need(defaultValue); }
  void navigate(const std::string& to) override { navigations.push_back(to); }
  void browserCommand(BrowserCommand) override {}
  void setTitle(const std::string& text) override { titles.push_back(text); }
  void setTimer(Timer t, bool on) override { timers[static_cast<size_t>(t)] = on; }
  bool timerOn(Timer t) override { return timers[static_cast<size_t>(t)]; }
  std::string addressText() override { return text_; }
  void setAddressText(const std::string& text) override { text_ = text; }
  int addressCount() override { return static_cast<int>(entries.size()); }
  std::string addressAt(int i) override { return entries.at(static_cast<size_t>(i)); }
  void addAddress(const std::string& text) override { entries.push_back(text); }
  void insertAddress(int i, const std::string& text) override {
    entries.insert(entries.begin() + i, text);
    clickedByChange();
  }
  void removeAddress(int i) override {
    entries.erase(entries.begin() + i);
    clickedByChange();
  }
  void selectAddress(int i) override {
    text_ = entries.at(static_cast<size_t>(i));
    clickedByChange();
  }
  void shellRun(const std::string& command) override {
    commands.push_back(command);
    if (failRun) throw AutomationError(53, "", "File not found: soffice");
  }
  void quit() override { quitCalled = true; }
  void fileWritten(const std::string& path) override { written.push_back(path); }
  void fileDeleted(const std::string& path) override { deleted.push_back(path); }

 private:
  static std::string need(const std::optional<std::string>& v) {
    if (!v) throw AutomationError(91, "", "Object variable or With block variable not set");
    return *v;
  }
  void clickedByChange() {
    if (dispatcher) dispatcher->onAddressClick();
  }
  std::string text_;
};

class DispatcherTest : public ::testing::Test {
 protected:
  void navigateTo(const std::string& page) {
    const std::string url = startingAddress(paper_.app.AppFolder);
    const std::string to = url.substr(0, url.rfind('/') + 1) + page;
    d_.onBeforeNavigate(to);
    host_.url = to;
    host_.name = page;
    d_.onNavigateComplete();
  }
  void pressOpen() {
    host_.defaultValue = std::string(kOpenButtonCaption);
    d_.onCommandStateChange();
  }
  bool on(Timer t) const { return host_.timers[static_cast<size_t>(t)]; }

  testsupport::PaperFixture paper_;
  AppValues& app_ = paper_.app;
  FakeHost host_;
  Dispatcher d_{app_, host_};
  std::shared_ptr<ui::Recorder> rec_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope_{rec_};
};

TEST(StartingAddress, UsesFileSchemeAndForwardSlashesWhateverTheFolder) {
  EXPECT_EQ(startingAddress("/opt/考试 程序"), "File:///opt/考试 程序/BqLogin.asp");
  EXPECT_EQ(startingAddress("C:\\Program Files\\岚屿"), "File://C:/Program Files/岚屿/BqLogin.asp");
}

TEST_F(DispatcherTest, LoadPutsTheStartAddressInTheBoxAndNavigatesOnce) {
  d_.onLoad();
  EXPECT_EQ(host_.entries, std::vector<std::string>{d_.StartingAddress()});
  EXPECT_EQ(host_.navigations, std::vector<std::string>{d_.StartingAddress()});
  EXPECT_TRUE(on(Timer::kBusy));
  d_.onBusyTick();
  EXPECT_FALSE(on(Timer::kBusy));
  EXPECT_EQ(host_.titles.back(), kTitleText);
}

TEST_F(DispatcherTest, HistoryKeepsOneEntryPerAddressNewestFirstAndNeverNavigates) {
  host_.dispatcher = &d_;  // list changes click the box, as a combo box does
  d_.updateAddressHistory("a");
  d_.updateAddressHistory("b");
  d_.updateAddressHistory("a");
  EXPECT_EQ(host_.entries, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(host_.navigations.empty());
  EXPECT_FALSE(d_.SuppressComboNavigate());
  // Enter in the box navigates to its text; other keys are the box's own.
  host_.setAddressText("File:///x/StdKnow.asp");
  EXPECT_FALSE(d_.onAddressKeyPress(65));
  EXPECT_TRUE(d_.onAddressKeyPress(13));
  EXPECT_EQ(host_.navigations, std::vector<std::string>{"File:///x/StdKnow.asp"});
}

TEST_F(DispatcherTest, BeforeNavigateWritesOnlyThePageTheAddressNames) {
  d_.onBeforeNavigate("File:///somewhere/Begin.asp");
  d_.onBeforeNavigate("File:///somewhere/SELECTION.ASP");  // the test is case-sensitive
  EXPECT_TRUE(host_.written.empty());
  EXPECT_FALSE(fs::exists(paper_.path("selection.asp")));

  d_.onBeforeNavigate("File:///somewhere/selection.asp");
  EXPECT_EQ(host_.written, std::vector<std::string>{app_.AppFolder + "\\selection.asp"});
  EXPECT_TRUE(fs::exists(paper_.path("selection.asp")));
  // The fixture's bq1 has no Word question: nothing is written for it.
  d_.onBeforeNavigate("File:///somewhere/wordtest.asp");
  EXPECT_EQ(host_.written.size(), 1u);
  EXPECT_TRUE(rec_->shown().empty());
}

TEST_F(DispatcherTest, APageThatCannotBeBuiltIsShownAsAMessageAndNotWritten) {
  paper_.insert("UPDATE topics SET topic_table = ? WHERE topic_id = ?", {"exceltest; --", "08"});
  d_.onBeforeNavigate("File:///x/excel.asp");
  EXPECT_TRUE(host_.written.empty());
  EXPECT_FALSE(fs::exists(paper_.path("excel.asp")));
  ASSERT_EQ(rec_->shown().size(), 1u);
  EXPECT_EQ(rec_->shown()[0].prompt.rfind("无法生成页面 excel.asp。\r\n", 0), 0u)
      << rec_->shown()[0].prompt;
  EXPECT_EQ(rec_->shown()[0].buttons, ui::vbExclamation);
}

// A page file that cannot be written is no silent "not found" page: the
// examinee is told, as for a page that cannot be built.
TEST_F(DispatcherTest, APageThatCannotBeWrittenIsShownAsAMessage) {
  fs::create_directory(paper_.path("selection.asp"));
  d_.onBeforeNavigate("File:///x/selection.asp");
  EXPECT_TRUE(host_.written.empty());
  EXPECT_TRUE(fs::is_directory(paper_.path("selection.asp")));
  ASSERT_EQ(rec_->shown().size(), 1u);
  EXPECT_EQ(rec_->shown()[0].prompt.rfind("无法生成页面 selection.asp。\r\n", 0), 0u)
      << rec_->shown()[0].prompt;
}

TEST_F(DispatcherTest, ClocksFollowThePageShown) {
  navigateTo("selection.asp");
  EXPECT_TRUE(on(Timer::kExam));
  EXPECT_FALSE(on(Timer::kTyping));
  navigateTo("typewrite.asp");
  EXPECT_TRUE(on(Timer::kExam));
  EXPECT_TRUE(on(Timer::kTyping));
  navigateTo("excel.asp");  // the Excel page stops the typing clock like every operation page
  EXPECT_FALSE(on(Timer::kTyping));
  navigateTo("typewrite.asp");
  navigateTo("EndTest.asp");  // no other page changes a clock
  EXPECT_TRUE(on(Timer::kExam));
  EXPECT_TRUE(on(Timer::kTyping));
  navigateTo("judgement.asp");
  EXPECT_FALSE(on(Timer::kTyping));
  navigateTo("Begin.asp");
  EXPECT_FALSE(on(Timer::kExam));
  EXPECT_FALSE(on(Timer::kTyping));
}

TEST_F(DispatcherTest, RemainingTimesComeFromTheTicksOfThePreviousNavigation) {
  navigateTo("selection.asp");
  for (int i = 0; i < 9010; ++i) d_.onExamTick();
  for (int i = 0; i < 650; ++i) d_.onTypingTick();
  navigateTo("EndTest.asp");
  EXPECT_EQ(app_.ExamSecondsLeft, -10);  // the exam time may be negative
  EXPECT_EQ(app_.TypingSecondsLeft, 0);  // the typing time never is
  EXPECT_EQ(app_.ExamTicks, 9010);       // never reset
}

TEST_F(DispatcherTest, CardNumberIsTakenOnlyFromAThreeCharacterValueWithBq) {
  host_.value = "BQ2";
  d_.onStatusTextChange();
  EXPECT_EQ(app_.CardNumber, "bq2");
  for (const char* v : {"bq12", "abc", "", "b q"}) {
    host_.value = v;
    d_.onStatusTextChange();
  }
  host_.value.reset();  // no active element
  d_.onStatusTextChange();
  EXPECT_EQ(app_.CardNumber, "bq2");
}

TEST_F(DispatcherTest, OpenButtonLaunchesOncePerVisit) {
  app_.CardNumber = "bq3";
  navigateTo("wordtest.asp");
  pressOpen();
  pressOpen();
  EXPECT_EQ(host_.commands, (std::vector<std::string>{"c:\\bqtest\\wdbq3.doc",
                                                      "c:\\bqtest\\QuestionPane.exe wdbq3.tg"}));
  EXPECT_FALSE(d_.OpenArmed());
  navigateTo("Begin.asp");
  navigateTo("wordtest.asp");
  pressOpen();
  EXPECT_EQ(host_.commands.size(), 4u);
}

TEST_F(DispatcherTest, OpenButtonCommandsByPage) {
  app_.CardNumber = "bq3";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"operation.asp", "Explorer.exe c:\\BqOperation"},
      {"wordtable.asp", "c:\\bqtest\\wtbq3.doc"},
      {"excel.asp", "c:\\bqtest\\Exbq3.xls"},
      {"powerpoint.asp", "c:\\bqtest\\pptbq3.ppt"},
      {"e_mail.asp", "IEXPLORE.EXE " + app_.AppFolder + "\\Login.asp"},
  };
  const std::vector<std::string> titles = {"opbq3.tg", "wtbq3.tg", "exbq3.tg", "pptbq3.tg",
                                           "emlbq3.tg"};
  for (size_t i = 0; i < expected.size(); ++i) {
    host_.commands.clear();
    host_.url = "File:///x/" + expected[i].first;
    host_.name = expected[i].first;
    d_.onNavigateComplete();
    pressOpen();
    EXPECT_EQ(host_.commands, (std::vector<std::string>{
                                  expected[i].second, "c:\\bqtest\\QuestionPane.exe " + titles[i]}));
  }
}

TEST_F(DispatcherTest, OpenButtonNeedsItsCaptionAnOperationPageAndAReadableElement) {
  navigateTo("selection.asp");
  pressOpen();  // not an operation page
  host_.name = "Excel.asp";  // the location name is compared exactly
  pressOpen();
  host_.name = "excel.asp";
  host_.defaultValue = "请点击";
  d_.onCommandStateChange();
  EXPECT_EQ(d_.ActiveDefaultValue(), "请点击");
  // An element that cannot be read must not reuse an older caption.
  host_.defaultValue = std::string(kOpenButtonCaption);
  d_.onCommandStateChange();
  host_.commands.clear();
  navigateTo("excel.asp");
  host_.defaultValue.reset();
  d_.onCommandStateChange();
  EXPECT_TRUE(host_.commands.empty());
  EXPECT_EQ(d_.ActiveDefaultValue(), kOpenButtonCaption);
  EXPECT_TRUE(d_.OpenArmed());
}

TEST_F(DispatcherTest, AFailedLaunchIsShownAndStillDisarmsTheButton) {
  host_.failRun = true;
  navigateTo("excel.asp");
  pressOpen();
  EXPECT_EQ(host_.commands.size(), 2u);  // the viewer is still tried
  EXPECT_FALSE(d_.OpenArmed());
  ASSERT_EQ(rec_->shown().size(), 2u);
  EXPECT_EQ(rec_->shown()[0].prompt,
            "无法启动 " + host_.commands[0] + "。\r\nFile not found: soffice (53)");
  EXPECT_EQ(rec_->shown()[1].prompt.rfind("无法启动 c:\\bqtest\\QuestionPane.exe exbq1.tg。", 0), 0u);
}

TEST_F(DispatcherTest, CloseDeletesOnlyThePagesThatExist) {
  navigateTo("selection.asp");
  navigateTo("judgement.asp");
  d_.onClose();
  EXPECT_EQ(host_.deleted, (std::vector<std::string>{app_.AppFolder + "\\selection.asp",
                                                     app_.AppFolder + "\\judgement.asp"}));
  EXPECT_FALSE(fs::exists(paper_.path("selection.asp")));
  EXPECT_FALSE(host_.quitCalled);
  d_.onMenuExit();
  EXPECT_TRUE(host_.quitCalled);
}

TEST_F(DispatcherTest, StopButtonStopsTheBusyIndicator) {
  d_.onToolbarButton("Refresh");
  EXPECT_TRUE(on(Timer::kBusy));
  d_.onToolbarButton("Stop");
  EXPECT_FALSE(on(Timer::kBusy));
  EXPECT_EQ(host_.titles.back(), kTitleText);
}

}  // namespace
}  // namespace bq::client
