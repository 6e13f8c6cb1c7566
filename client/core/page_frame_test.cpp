// The shared page frame and the writing of page files.
#include "client/core/page_frame.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include "client/core/expected_fragments.h"
#include "client/core/test_paper_fixture.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"

namespace bq::client {
namespace {

using namespace testsupport;  // NOLINT: the fixture and the fragments
namespace fs = std::filesystem;

TEST(PageFrame, SectionSwitchScriptIsTheNineLoadFunctions) {
  EXPECT_EQ(SectionSwitchScript(), kSwitchScript);
}

TEST(PageFrame, CountdownScriptByPage) {
  struct Case {
    PageKind kind;
    std::string_view timeUp;
    bool choice;
    bool operation;
  };
  const Case cases[] = {
      {PageKind::kChoice, kObjectiveTimeUp, true, false},
      {PageKind::kTrueFalse, kObjectiveTimeUp, false, false},
      {PageKind::kOperation, kOperationTimeUp, false, true},
  };
  for (const Case& c : cases) {
    std::string page = "before";
    appendCountdownScript(page, c.kind, c.timeUp);
    EXPECT_EQ(page, "before" + countdown(c.choice, c.operation));
  }
}

TEST(PageFrame, FrameOfTheTrueFalsePage) {
  PaperFixture f;
  f.app.ExamSecondsLeft = 0;
  std::string page;
  appendFrameTop(page, PageKind::kTrueFalse, f.app);
  page += "BODY";
  appendFrameBottom(page, PageKind::kTrueFalse, kObjectiveTimeUp);
  EXPECT_EQ(page, kOtherHead + kExamineeBar + timeValues(0) + kBarRow +
                      sectionButton("selection", "选择题") + sectionButton("judgement", "判断题") +
                      sectionButton("typewrite", "中文录入") +
                      sectionButton("exceltest", "Excel操作") + "BODY" + kFooter +
                      countdown(false, false) + kSwitchScript + kPageEnd);
}

TEST(PageFrame, FrameOfTheTypingAndOperationPages) {
  PaperFixture f;
  f.app.ExamSecondsLeft = 600;
  f.app.TypingSecondsLeft = 300;
  f.app.CardNumber = "bq2";
  std::string typing;
  appendFrameTop(typing, PageKind::kTyping, f.app);
  EXPECT_EQ(typing,
            "<html><head><title>考试试卷</title></head><body topmargin=0 onload= startclock() "
            "oncontextmenu=\"return false\" onmousemove=\"return false\" oncopy=\"return false\" "
            "background=images/back01.gif bgcolor=#FFFFFF scroll=no>" +
                kExamineeBar +
                "<input type=hidden Name=hzsj><SCRIPT language=JavaScript>sysj.value=600;"
                "hzsj.value=300;</SCRIPT>" +
                kBarRow + sectionButton("typewrite", "中文录入"));

  std::string operation;
  appendFrameTop(operation, PageKind::kOperation, f.app);
  EXPECT_EQ(operation,
            kOtherHead + kExamineeBar + timeValues(600) + kBarRow +
                "<input type=button Name=cmd onclick=\"loadtypewrite()\" "
                "style=\"background-color:6E8ADE; color:#ffffff\" value=中文录入>&nbsp;");
}

TEST(PageFrame, SectionBarRefusesATopicTableThatIsNoPlainName) {
  for (const char* bad : {"selection()\" onmouseover=\"x", "select ion", "", "表"}) {
    SCOPED_TRACE(bad);
    PaperFixture f;
    f.app.ExamConnection.Execute("UPDATE topics SET topic_table = ? WHERE topic_id = '04'",
                                 {std::string(bad)});
    std::string page;
    try {
      appendSectionBar(page, PageKind::kChoice, f.app);
      ADD_FAILURE() << "accepted";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kInvalidCall);
      EXPECT_NE(e.description().find("topic_table"), std::string::npos) << e.description();
    }
  }
}

TEST(PageFrame, WritePageFileWritesAnsiBytesWithoutBom) {
  db::dbtest::TempFolder folder;
  const std::string path = (folder / "page.asp").string();
  const std::string text = "<p a=\"1\">选择 & 判断</p>\r\n";
  ASSERT_TRUE(WritePageFile(path, text));
  EXPECT_EQ(readWholeFile(path), "<p a=\"1\">\xD1\xA1\xD4\xF1 & \xC5\xD0\xB6\xCF</p>\r\n");

  // A shorter page replaces a longer one whole.
  ASSERT_TRUE(WritePageFile(path, "短"));
  EXPECT_EQ(readWholeFile(path), toAnsi("短"));
  EXPECT_EQ(readWholeFile(path).size(), 2u);

  // A Windows-style separator before the name, as the generators join AppFolder and the name.
  ASSERT_TRUE(WritePageFile(folder.path().string() + "\\other.asp", "x"));
  EXPECT_EQ(readWholeFile(folder / "other.asp"), "x");
  // Nothing else is left in the folder (no temporary files).
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST(PageFrame, WritePageFileIgnoresAFolderItCannotWriteTo) {
  db::dbtest::TempFolder folder;
  EXPECT_FALSE(WritePageFile((folder / "missing" / "page.asp").string(), "x"));
  EXPECT_FALSE(fs::exists(folder / "missing"));
  // A folder in the page's place is neither removed nor replaced.
  fs::create_directory(folder / "selection.asp");
  EXPECT_FALSE(WritePageFile((folder / "selection.asp").string(), "x"));
  EXPECT_TRUE(fs::is_directory(folder / "selection.asp"));
}

// The old page stays whole until the new one is in place: a write that
// fails half-way (here: the file size limit) leaves it as it was.
TEST(PageFrame, APageThatCannotBeWrittenLeavesTheOldOne) {
  db::dbtest::TempFolder folder;
  const std::string path = (folder / "selection.asp").string();
  ASSERT_TRUE(WritePageFile(path, "old page"));
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::optional<AutomationError> failure;
  try {
    writePage(path, std::string(100, 'x'));
  } catch (const AutomationError& e) {
    failure = e;
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(readWholeFile(path), "old page");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace bq::client
