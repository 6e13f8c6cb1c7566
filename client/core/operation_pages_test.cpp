// The operation-question pages against golden pages assembled by hand from
// the client's page fragments and the fixture paper.
#include "client/core/operation_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/core/expected_fragments.h"
#include "client/core/test_paper_fixture.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"

namespace bq::client {
namespace {

using namespace testsupport;  // NOLINT: the fixture and the fragments
namespace fs = std::filesystem;

std::string buttonOf(const std::string& table, const std::string& name) {
  return "<input type=button Name=cmd onclick=\"load" + table +
         "()\" style=\"background-color:6E8ADE; color:#ffffff\" value=" + name + ">&nbsp;";
}

// Operation pages have plain buttons in their section bar.
std::string bq3OperationBar() {
  return buttonOf("typewrite", "中文录入") + buttonOf("operation", "计算机操作") +
         buttonOf("wordtest", "Word编辑") + buttonOf("exceltest", "Excel操作") +
         buttonOf("e_mail", "电子邮件");
}

std::string operationGolden(const std::string& sectionBar, const std::string& heading,
                            const std::string& question, int seconds = 125) {
  return kOtherHead + kExamineeBar + timeValues(seconds) + kBarRow + sectionBar +
         "</td></tr><tr><td bgcolor=#EFF3FF height=expression(document.body.clientHeight-120)>"
         "<br><center><B>" +
         heading +
         "</B></center><br><table align=center width=600 border=1><tr><td colspan=3>"
         "<textarea cols=85 rows=12>" +
         question +
         "</textarea></td></tr></table><br>&nbsp;&nbsp;&nbsp;&nbsp;<img src=\"images/hand.gif\">"
         "<input type=Button name=cmd value=请点击打开 style=\"background-color:6E8ADE; "
         "color:#ffffff\"><br><br><br><br><br><br><br><br>" +
         kFooter + countdown(false, true) + kSwitchScript + kPageEnd;
}

TEST(OperationPages, TheSixTopics) {
  struct Expected {
    const char* code;
    const char* heading;
    const char* file;
  };
  const Expected expected[] = {
      {"05", "计算机操作题", "operation.asp"}, {"06", "WORD编辑题", "wordtest.asp"},
      {"07", "WORD制表题", "wordtable.asp"},   {"08", "EXCEL操作题", "excel.asp"},
      {"10", "EMAIL操作题", "e_mail.asp"},     {"11", "课件制作题", "powerpoint.asp"},
  };
  ASSERT_EQ(operationTopics().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].code);
    EXPECT_EQ(operationTopics()[i].code, expected[i].code);
    const OperationTopic* topic = findOperationTopic(expected[i].code);
    ASSERT_NE(topic, nullptr);
    EXPECT_EQ(topic->heading, expected[i].heading);
    EXPECT_EQ(topic->pageFile, expected[i].file);
  }
  for (const char* code : {"01", "02", "04", "09", "5", "", "08 "})
    EXPECT_EQ(findOperationTopic(code), nullptr) << code;
}

TEST(OperationPages, PagesMatchTheGoldenPagesAndAreWrittenInGbk) {
  struct Case {
    const char* code;
    const char* heading;
    const char* file;
    std::string question;  // trimmed
  };
  const Case cases[] = {
      // The `topics` row names "operation"; the table is "Operation".
      {"05", "计算机操作题", "operation.asp", "在 \"KS\" 文件夹中建立 <A.TXT> & <B>"},
      // Two Word-editing questions: only the first is shown.
      {"06", "WORD编辑题", "wordtest.asp", "将标题设为\"黑体\" & 居中 <h1>"},
      // The question of the paper, not the other Excel question in the table.
      {"08", "EXCEL操作题", "excel.asp", "求和 A1&B1"},
      {"10", "EMAIL操作题", "e_mail.asp", "给 \"张三\" <zs@example.com> 发信 & 抄送"},
  };
  PaperFixture f;
  f.app.CardNumber = "Bq3";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    BuildOperationPage(f.app, c.heading, c.code);
    const std::string golden = operationGolden(bq3OperationBar(), c.heading, c.question);
    const std::string bytes = readWholeFile(f.path(c.file));
    EXPECT_EQ(fromAnsi(bytes), golden);
    EXPECT_EQ(bytes, toAnsi(golden));
    // GBK without byte-order mark; the open button 请点击打开 is C7EB B5E3 BBF7 B4F2 BFAA.
    EXPECT_EQ(bytes.rfind("<html>", 0), 0u);
    EXPECT_NE(bytes.find("value=\xC7\xEB\xB5\xE3\xBB\xF7\xB4\xF2\xBF\xAA style="),
              std::string::npos);
  }
  // One file per topic, nothing else.
  size_t pages = 0;
  for (const auto& e : fs::directory_iterator(f.path("")))
    pages += e.path().extension() == ".asp" ? 1 : 0;
  EXPECT_EQ(pages, std::size(cases));
}

TEST(OperationPages, TheHeadingIsTheCallersAndTheTextIsTheSameWithoutWriting) {
  PaperFixture f;
  f.app.CardNumber = "bq1";
  f.app.ExamSecondsLeft = 0;
  const std::string bq1Bar = buttonOf("selection", "选择题") + buttonOf("judgement", "判断题") +
                             buttonOf("typewrite", "中文录入") + buttonOf("exceltest", "Excel操作");
  EXPECT_EQ(OperationPageText(f.app, "<i>\"表\" & 格</i>", "08"),
            operationGolden(bq1Bar, "<i>\"表\" & 格</i>", "表格", 0));
  EXPECT_FALSE(fs::exists(f.path("excel.asp")));
}

TEST(OperationPages, ThePageReplacesAnEarlierOneWhole) {
  PaperFixture f;
  f.app.CardNumber = "bq3";
  { std::ofstream(f.path("e_mail.asp")) << std::string(100000, 'x'); }
  BuildOperationPage(f.app, "EMAIL操作题", "10");
  EXPECT_EQ(fromAnsi(readWholeFile(f.path("e_mail.asp"))),
            operationGolden(bq3OperationBar(), "EMAIL操作题",
                            "给 \"张三\" <zs@example.com> 发信 & 抄送"));
}

// No question of the topic in the paper, among them card numbers that would
// change the query if they were pasted into it: no file, an earlier page stays.
TEST(OperationPages, NoQuestionOfTheTopicLeavesThePageFileAlone) {
  struct Case {
    const char* card;
    const char* code;
    const char* file;
  };
  const Case cases[] = {
      {"bq1", "05", "operation.asp"},  // topic known, not in this paper
      {"bq9", "08", "excel.asp"},
      {"", "06", "wordtest.asp"},
      {"bq3' or '1'='1", "08", "excel.asp"},
      {"x' or uid like '%", "10", "e_mail.asp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card);
    PaperFixture f;
    f.app.CardNumber = c.card;
    EXPECT_EQ(OperationPageText(f.app, "标题", c.code), std::nullopt);
    BuildOperationPage(f.app, "标题", c.code);
    EXPECT_FALSE(fs::exists(f.path(c.file)));
    { std::ofstream(f.path(c.file)) << "earlier page"; }
    BuildOperationPage(f.app, "标题", c.code);
    EXPECT_EQ(readWholeFile(f.path(c.file)), "earlier page");
  }
}

// A failure while the text is built reaches the caller and writes no file;
// an earlier page is not touched either.
TEST(OperationPages, AFailedBuildWritesNoFile) {
  struct Case {
    const char* name;
    const char* code;
    const char* file;
    std::string sql;
    std::vector<Variant> values;
    int32_t number;
  };
  const Case cases[] = {
      {"no topics row",
       "06",
       "wordtest.asp",
       "DELETE FROM topics WHERE topic_id = '06'",
       {},
       err::kInvalidCall},
      {"topic_table that is no plain name",
       "08",
       "excel.asp",
       "UPDATE topics SET topic_table = ? WHERE topic_id = '08'",
       {std::string("exceltest,test_paper where 1=1 or exceltest")},
       err::kInvalidCall},
      {"Null topic_table",
       "10",
       "e_mail.asp",
       "UPDATE topics SET topic_table = NULL WHERE topic_id = '10'",
       {},
       94},
      {"Null question text", "05", "operation.asp", "UPDATE Operation SET tg = NULL", {}, 94},
      {"missing question table", "10", "e_mail.asp", "DROP TABLE E_mail", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaperFixture f;
    f.app.CardNumber = "bq3";
    f.app.ExamConnection.Execute(c.sql, c.values);
    { std::ofstream(f.path(c.file)) << "earlier page"; }
    try {
      BuildOperationPage(f.app, "标题", c.code);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      if (c.number != 0) {
        EXPECT_EQ(e.number(), c.number) << e.description();
      }
      EXPECT_FALSE(e.description().empty());
    }
    EXPECT_EQ(readWholeFile(f.path(c.file)), "earlier page");
  }
}

TEST(OperationPages, ACodeThatIsNoOperationTopicIsRefused) {
  PaperFixture f;
  f.app.CardNumber = "bq3";
  for (const char* code : {"04", "01", "99", "", "08' or '1'='1"}) {
    SCOPED_TRACE(code);
    try {
      BuildOperationPage(f.app, "标题", code);
      ADD_FAILURE() << "accepted";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kInvalidCall);
    }
  }
}

}  // namespace
}  // namespace bq::client
