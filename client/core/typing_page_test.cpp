// The typing page against golden pages assembled by hand from the client's
// page fragments and the fixture paper.
#include "client/core/typing_page.h"

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

const std::string kTypingHead =
    "<html><head><title>考试试卷</title></head><body topmargin=0 onload= startclock() "
    "oncontextmenu=\"return false\" onmousemove=\"return false\" oncopy=\"return false\" "
    "background=images/back01.gif bgcolor=#FFFFFF scroll=no>";

std::string typingTimeValues(int exam, int typing) {
  return "<input type=hidden Name=hzsj><SCRIPT language=JavaScript>sysj.value=" +
         std::to_string(exam) + ";hzsj.value=" + std::to_string(typing) + ";</SCRIPT>";
}

std::string typingBody(const std::string& question, const std::string& answer) {
  return "</td></tr><tr><td bgcolor=#EFF3FF height=expression(document.body.clientHeight-120)>"
         "<B><Br><center>中 文 录 入</center></B><br><center>请随时注意"
         "<input type=submit Name=cmd style=\"background-color:6E8ADE; color:#ffffff\" "
         "value=\"保存录入题\"></center><br><form name='stestform' method='post'>"
         "<center><div id=typewrite_answer><center><textarea name=typewrite_write readonly "
         "cols=75 rows=6> " +
         question +
         "</textarea></center></div></center><div id=typewrite_write><center><textarea "
         "name=typetext font color=#8080ff cols=75 rows=5> " +
         answer +
         " </textarea></center></div></form><center><input type=button Name=\"hz\" "
         "value=\"88:88:88\" style=\"background-color:6E8ADE; color:#ffffff\"></center>"
         "<br><br><br></tr>";
}

// The countdown of the typing page: both clocks, and the entry area (the
// division, not the read-only box of the same name) hidden at typing time-up.
const std::string kTypingCountdown =
    "<SCRIPT language=JavaScript>var timerID = null;var timerRunning = false;"
    "function stopclock (){if(timerRunning)clearTimeout(timerID);timerRunning = false;}"
    "function showtime(){var sec;var lsh=sysj.value;var time1=Math.floor(lsh/60);"
    "if(time1<10){time1=\"0\" +time1}sec=lsh%60;if(sec<10){sec=\"0\"+ sec}"
    "var timeValue = \"剩余时间：\"  + time1 +\"分\"+ sec + \"秒\";"
    "sysj.value=sysj.value-1;tt.value=timeValue;"
    "var sec1;var lsh1=hzsj.value;var time2=Math.floor(lsh1/60);"
    "if(time2<10){time2=\"0\" +time2}sec1=lsh1%60;if(sec1<10){sec1=\"0\"+ sec1}"
    "var timeValue1 = \"汉字录入剩余时间：\"  + time2 +\"分\"+ sec1 + \"秒\";"
    "hzsj.value=hzsj.value-1;hz.value=timeValue1;"
    "if(tt.value==\"剩余时间：00分00秒\"){}"
    "if(hz.value==\"汉字录入剩余时间：00分00秒\"){"
    "for(var i=0,d=document.getElementsByTagName(\"div\");i<d.length;i++)"
    "{if(d[i].id==\"typewrite_write\")d[i].style.display=\"none\";}"
    "hzsj.value=0;hz.value=\"汉字录入时间已到!\"}"
    "timerID = setTimeout(\"showtime()\",1000);timerRunning = true;}"
    "function startclock () {stopclock();showtime();}"
    "function onlytp(){window.open(\"EndTest.asp\",\"_self\")}";

std::string bq3SectionBar() {
  return sectionButton("typewrite", "中文录入") + sectionButton("operation", "计算机操作") +
         sectionButton("wordtest", "Word编辑") + sectionButton("exceltest", "Excel操作") +
         sectionButton("e_mail", "电子邮件");
}

std::string typingGolden(const std::string& sectionBar, const std::string& question,
                         const std::string& answer, int exam, int typing) {
  return kTypingHead + kExamineeBar + typingTimeValues(exam, typing) + kBarRow + sectionBar +
         typingBody(question, answer) + kFooter + kTypingCountdown + kSwitchScript + kPageEnd;
}

TEST(TypingPage, MatchesTheGoldenPageAndIsWrittenInGbk) {
  struct Case {
    const char* card;
    int typingSeconds;
    std::string sectionBar;
    std::string question;  // trimmed
    std::string answer;    // trimmed; the page puts one blank on each side
  };
  const Case cases[] = {
      // Text and answer stored with two blanks at both ends; quotes, "<", "&" pass as they are.
      {"bq3", 90, bq3SectionBar(), "春眠不觉晓，\"处处\"闻啼鸟 <夜来> & 风雨声", "春眠"},
      // No answer yet; the typing time already up (the page hides the entry area at once).
      {"BQ2", 0, sectionButton("typewrite", "中文录入"), "录入", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card);
    PaperFixture f;
    f.app.CardNumber = c.card;
    f.app.TypingSecondsLeft = c.typingSeconds;
    BuildTypingPage(f.app);
    const std::string golden =
        typingGolden(c.sectionBar, c.question, c.answer, 125, c.typingSeconds);
    const std::string bytes = readWholeFile(f.path("typewrite.asp"));
    EXPECT_EQ(fromAnsi(bytes), golden);
    EXPECT_EQ(bytes, toAnsi(golden));
    // GBK without byte-order mark: the page starts with its first tag, and
    // the heading 中 文 录 入 is D6D0 CEC4 C2BC C8EB.
    EXPECT_EQ(bytes.rfind("<html>", 0), 0u);
    EXPECT_NE(bytes.find("<center>\xD6\xD0 \xCE\xC4 \xC2\xBC \xC8\xEB</center>"),
              std::string::npos);
  }
}

TEST(TypingPage, TheSameTextWithoutWriting) {
  PaperFixture f;
  f.app.CardNumber = "bq3";
  f.app.ExamSecondsLeft = -7;
  f.app.TypingSecondsLeft = 3600;
  EXPECT_EQ(TypingPageText(f.app),
            typingGolden(bq3SectionBar(), "春眠不觉晓，\"处处\"闻啼鸟 <夜来> & 风雨声", "春眠", -7,
                         3600));
  EXPECT_FALSE(fs::exists(f.path("typewrite.asp")));
}

// No typing question in the paper, among them card numbers that would change
// the query if they were pasted into it: no file, an earlier page stays.
TEST(TypingPage, APaperWithoutTypingQuestionLeavesThePageFileAlone) {
  for (const char* card : {"bq9", "", "bq'", "bq3' or '1'='1", "x' or uid like '%"}) {
    SCOPED_TRACE(card);
    PaperFixture f;
    f.app.CardNumber = card;
    EXPECT_EQ(TypingPageText(f.app), std::nullopt);
    BuildTypingPage(f.app);
    EXPECT_FALSE(fs::exists(f.path("typewrite.asp")));
    { std::ofstream(f.path("typewrite.asp")) << "earlier page"; }
    BuildTypingPage(f.app);
    EXPECT_EQ(readWholeFile(f.path("typewrite.asp")), "earlier page");
  }
  // A paper of other topics only.
  PaperFixture f;
  f.app.ExamConnection.Execute("DELETE FROM test_paper WHERE topic_id = '04'", {});
  EXPECT_EQ(TypingPageText(f.app), std::nullopt);
}

TEST(TypingPage, OnlyTheFirstTypingQuestionIsShown) {
  PaperFixture f;
  f.addPaperRow("bq2", "04", 32, "第二题");
  f.app.CardNumber = "bq2";
  EXPECT_EQ(TypingPageText(f.app),
            typingGolden(sectionButton("typewrite", "中文录入"), "录入", "", 125, 0));
}

// A failure while the text is built reaches the caller and writes no file;
// an earlier page is not touched either.
TEST(TypingPage, AFailedBuildWritesNoFile) {
  struct Case {
    const char* name;
    std::string sql;
    std::vector<Variant> values;
    int32_t number;
  };
  const Case cases[] = {
      {"script in topic_table",
       "UPDATE topics SET topic_table = ? WHERE topic_id = '04'",
       {std::string("typewrite()}alert(1);function x(")},
       err::kInvalidCall},
      {"Null typing text", "UPDATE typewrite SET tg = NULL WHERE id = 32", {}, 94},
      {"Null answer", "UPDATE test_paper SET answer = NULL WHERE tpid = 32", {}, 94},
      {"missing question table", "DROP TABLE typewrite", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaperFixture f;
    f.app.CardNumber = "bq3";
    f.app.ExamConnection.Execute(c.sql, c.values);
    { std::ofstream(f.path("typewrite.asp")) << "earlier page"; }
    try {
      BuildTypingPage(f.app);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      if (c.number != 0) {
        EXPECT_EQ(e.number(), c.number) << e.description();
      }
      EXPECT_FALSE(e.description().empty());
    }
    EXPECT_EQ(readWholeFile(f.path("typewrite.asp")), "earlier page");
  }
}

}  // namespace
}  // namespace bq::client
