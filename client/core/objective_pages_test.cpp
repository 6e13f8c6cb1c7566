// The choice and true/false pages against golden pages assembled by hand
// from the client's page fragments and the fixture paper.
#include "client/core/objective_pages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/core/expected_fragments.h"
#include "client/core/test_paper_fixture.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"

namespace bq::client {
namespace {

using namespace testsupport;  // NOLINT: the fixture and the fragments
namespace fs = std::filesystem;

const std::string kFont = "<font size=\"2\" face=\"宋体\">";

std::string bq1SectionBar() {
  return sectionButton("selection", "选择题") + sectionButton("judgement", "判断题") +
         sectionButton("typewrite", "中文录入") + sectionButton("exceltest", "Excel操作");
}

std::vector<std::string> keys(std::vector<std::string> first, size_t lines = 20) {
  first.resize(lines);
  return first;
}

std::string choiceGolden(const std::string& sectionBar, const std::string& questions,
                         const std::vector<std::string>& answerKeys, int seconds = 125) {
  return kChoiceHead + kExamineeBar + timeValues(seconds) + kBarRow + sectionBar +
         bodyHead("选 择 题", "保存选择题") + questions + answerList(answerKeys, "</font>") +
         "</tr>" + kFooter + countdown(true, false) + kSwitchScript + kPageEnd;
}

std::string trueFalseGolden(const std::string& sectionBar, const std::string& questions,
                            const std::vector<std::string>& answerKeys) {
  return kOtherHead + kExamineeBar + timeValues(125) + kBarRow + sectionBar +
         bodyHead("判 断 题", "保存判断题") + questions + "<br>" +
         answerList(answerKeys, "</Font>") + "</tr>" + kFooter + countdown(false, false) +
         kSwitchScript + kPageEnd;
}

const std::string kChoiceQuestions =
    // 1: one answer, stored "a": A checked; D to F empty and left out.
    "<a name=\"topic01_1\"></a><br>" + kFont +
    "第1题: <font size=2 color=000000>CPU 的 \"作用\" 是<什么>？</font></font>"
    "<br>&nbsp;<input type=\"Radio\" checked value=11A name=xz1>" +
    kFont +
    "A、运算 & 控制</font>"
    "<br>&nbsp;<input type=\"Radio\"value=11B name=xz1>" +
    kFont +
    "B、<存储></font>"
    "<br>&nbsp;<input type=\"Radio\"value=11C name=xz1>" +
    kFont +
    "C、输入</font><br>"
    // 2: a blank text, written plain; the stored "AB" checks nothing.
    "<a name=\"topic01_2\"></a><br>第2题： "
    "<br>&nbsp;<input type=\"Radio\"value=12A name=xz2>" +
    kFont +
    "A、是</font>"
    "<br>&nbsp;<input type=\"Radio\"value=12B name=xz2>" +
    kFont +
    "B、否</font><br>"
    // 3: several answers, stored "ac"; B and E empty, the letters skipped.
    "<a name=\"topic01_3\"></a><br>" +
    kFont +
    "第3题: <font size=2 color=000000>下列 'A&B' 中正确的是</font></font>"
    "<br>&nbsp;<input type=\"CheckBox\" checked value=13A name=xz3>" +
    kFont +
    "A、甲</font>"
    "<br>&nbsp;<input type=\"CheckBox\" checked value=13C name=xz3>" +
    kFont +
    "C、丙</font>"
    "<br>&nbsp;<input type=\"CheckBox\"value=13D name=xz3>" +
    kFont +
    "D、丁</font>"
    "<br>&nbsp;<input type=\"CheckBox\"value=13F name=xz3>" +
    kFont + "F、己</font><br>";

const std::string kTrueFalseQuestions =
    "<a name=\"topic02_1\"></a><br>" + kFont +
    "第1题: <font size=2 color=000000>地球是<圆>的 & \"对\"</font></font>"
    "<br>&nbsp;<input type=Radio value=210 name=pd1>" +
    kFont +
    "错</font>"
    "<br>&nbsp;<input type=Radio checked value=211 name=pd1>" +
    kFont +
    "对</font>"
    "<a name=\"topic02_2\"></a><br>" +
    kFont +
    "第2题: <font size=2 color=0000ff>一个字节由16个二进制位组成。</font></font>"
    "<br>&nbsp;<input type=Radio value=220 name=pd2>" +
    kFont +
    "错</font>"
    "<br>&nbsp;<input type=Radio value=221 name=pd2>" +
    kFont + "对</font>";

TEST(ObjectivePages, ChoicePageMatchesTheGoldenPageAndIsWrittenInGbk) {
  PaperFixture f;
  BuildChoicePage(f.app);
  const std::string golden =
      choiceGolden(bq1SectionBar(), kChoiceQuestions, keys({"A", "", "ACF"}));
  const std::string bytes = readWholeFile(f.path("selection.asp"));
  EXPECT_EQ(fromAnsi(bytes), golden);
  EXPECT_EQ(bytes, toAnsi(golden));
  // GBK, no byte-order mark: the page starts with its first tag, and the
  // heading 选 择 题 is D1A1 D4F1 CCE2.
  EXPECT_EQ(bytes.rfind("<html>", 0), 0u);
  EXPECT_NE(bytes.find("<B>\xD1\xA1 \xD4\xF1 \xCC\xE2</B>"), std::string::npos);
  EXPECT_EQ(f.app.ChoiceAnswerKey, keys({"A", "", "ACF"}));
}

TEST(ObjectivePages, TrueFalsePageMatchesTheGoldenPage) {
  PaperFixture f;
  BuildTrueFalsePage(f.app);
  const std::string golden =
      trueFalseGolden(bq1SectionBar(), kTrueFalseQuestions, keys({"对", "错"}));
  const std::string bytes = readWholeFile(f.path("judgement.asp"));
  EXPECT_EQ(fromAnsi(bytes), golden);
  EXPECT_EQ(bytes, toAnsi(golden));
  EXPECT_EQ(bytes.rfind("<html>", 0), 0u);
  EXPECT_EQ(f.app.TrueFalseAnswerKey, keys({"对", "错"}));
}

TEST(ObjectivePages, ThePageReplacesAnEarlierOneWhole) {
  PaperFixture f;
  { std::ofstream(f.path("selection.asp")) << std::string(200000, 'x'); }
  BuildChoicePage(f.app);
  EXPECT_EQ(fromAnsi(readWholeFile(f.path("selection.asp"))),
            choiceGolden(bq1SectionBar(), kChoiceQuestions, keys({"A", "", "ACF"})));
}

TEST(ObjectivePages, AnUnknownOrQuotedCardGivesEmptyPagesAndLeavesTheKeysAlone) {
  // The answer keys keep what earlier builds put there.
  for (const char* card : {"bq'", "bq' or '1'='1", "bq9", ""}) {
    SCOPED_TRACE(card);
    PaperFixture f;
    f.app.ChoiceAnswerKey[4] = "D";
    f.app.TrueFalseAnswerKey[0] = "对";
    f.app.CardNumber = card;
    BuildChoicePage(f.app);
    BuildTrueFalsePage(f.app);
    EXPECT_EQ(fromAnsi(readWholeFile(f.path("selection.asp"))),
              choiceGolden("", "", keys({"", "", "", "", "D"})));
    EXPECT_EQ(fromAnsi(readWholeFile(f.path("judgement.asp"))),
              trueFalseGolden("", "", keys({"对"})));
  }
}

TEST(ObjectivePages, ACardOfOtherTopicsOnlyGetsItsOwnSectionBar) {
  PaperFixture f;
  f.app.CardNumber = "BQ2";
  f.app.ExamSecondsLeft = -3;
  BuildChoicePage(f.app);
  EXPECT_EQ(fromAnsi(readWholeFile(f.path("selection.asp"))),
            choiceGolden(sectionButton("typewrite", "中文录入"), "", keys({}), -3));
}

TEST(ObjectivePages, MoreThanTwentyQuestionsGrowTheKeyAndTheAnswerList) {
  PaperFixture f;
  std::string questions = kChoiceQuestions;
  std::vector<std::string> expectedKeys{"A", "", "ACF"};
  std::string tfQuestions = kTrueFalseQuestions;
  std::vector<std::string> tfKeys{"对", "错"};
  for (int n = 4; n <= 23; ++n) {
    const int id = 100 + n;  // sorts after the fixture's questions: tmlx "3"
    const std::string tg = "题" + std::to_string(n);
    f.addChoice(id, tg, {"x", "", "", "", "", ""}, "a", "3");
    f.addPaperRow("BQ1", "01", id, "");
    const std::string num = std::to_string(n), sid = std::to_string(id);
    questions += "<a name=\"topic01_" + num + "\"></a><br>" + kFont + "第" + num +
                 "题: <font size=2 color=0000ff>" + tg + "</font></font>" +
                 "<br>&nbsp;<input type=\"CheckBox\"value=" + sid + "A name=xz" + num + ">" +
                 kFont + "A、x</font><br>";
    expectedKeys.push_back("A");
  }
  for (int n = 3; n <= 22; ++n) {
    const int id = 200 + n;
    const std::string num = std::to_string(n), sid = std::to_string(id);
    f.addTrueFalse(id, "判断" + num, "0");
    f.addPaperRow("BQ1", "02", id, "0");
    tfQuestions += "<a name=\"topic02_" + num + "\"></a><br>" + kFont + "第" + num +
                   "题: <font size=2 color=000000>判断" + num + "</font></font>" +
                   "<br>&nbsp;<input type=Radio checked value=" + sid + "0 name=pd" + num + ">" +
                   kFont + "错</font><br>&nbsp;<input type=Radio value=" + sid + "1 name=pd" + num +
                   ">" + kFont + "对</font>";
    tfKeys.push_back("错");
  }
  BuildChoicePage(f.app);
  BuildTrueFalsePage(f.app);
  EXPECT_EQ(fromAnsi(readWholeFile(f.path("selection.asp"))),
            choiceGolden(bq1SectionBar(), questions, expectedKeys));
  EXPECT_EQ(fromAnsi(readWholeFile(f.path("judgement.asp"))),
            trueFalseGolden(bq1SectionBar(), tfQuestions, tfKeys));
  EXPECT_EQ(f.app.ChoiceAnswerKey.size(), 23u);
  EXPECT_EQ(f.app.TrueFalseAnswerKey.size(), 22u);

  // A later paper of three questions lists twenty lines again; the grown entries stay.
  PaperFixture small;
  small.app.ChoiceAnswerKey = f.app.ChoiceAnswerKey;
  const std::string page = ChoicePageText(small.app);
  EXPECT_EQ(page, choiceGolden(bq1SectionBar(), kChoiceQuestions,
                               keys({"A", "",  "ACF", "A", "A", "A", "A", "A", "A", "A",
                                     "A", "A", "A",   "A", "A", "A", "A", "A", "A", "A"})));
  EXPECT_EQ(small.app.ChoiceAnswerKey.size(), 23u);
}

// A failure while the text is built reaches the caller and writes no file.
TEST(ObjectivePages, AFailedBuildWritesNoFile) {
  struct Case {
    const char* name;
    std::string sql;
    std::vector<Variant> values;
    int32_t number;
  };
  const Case cases[] = {
      {"script in topic_table",
       "UPDATE topics SET topic_table = ? WHERE topic_id = '02'",
       {std::string("judgement()}alert(1);function x(")},
       err::kInvalidCall},
      {"blank topic_table",
       "UPDATE topics SET topic_table = ? WHERE topic_id = '08'",
       {std::string("excel test")},
       err::kInvalidCall},
      {"Null question text", "UPDATE selection SET tg = NULL WHERE id = 11", {}, 94},
      {"Null answer", "UPDATE test_paper SET answer = NULL WHERE tpid = 13", {}, 94},
      {"missing question table", "DROP TABLE selection", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaperFixture f;
    f.app.ExamConnection.Execute(c.sql, c.values);
    try {
      BuildChoicePage(f.app);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      if (c.number != 0) {
        EXPECT_EQ(e.number(), c.number) << e.description();
      }
      EXPECT_FALSE(e.description().empty());
    }
    EXPECT_FALSE(fs::exists(f.path("selection.asp")));
  }
}

TEST(ObjectivePages, ATrueFalseQuestionWithoutTextKeepsItsKeyEntry) {
  PaperFixture f;
  f.app.TrueFalseAnswerKey[1] = "earlier";
  f.app.ExamConnection.Execute("UPDATE judgement SET tg = ? WHERE id = 22", {std::string("")});
  const std::string questions =
      "<a name=\"topic02_1\"></a><br>" + kFont +
      "第1题: <font size=2 color=000000>地球是<圆>的 & \"对\"</font></font>"
      "<br>&nbsp;<input type=Radio value=210 name=pd1>" +
      kFont +
      "错</font>"
      "<br>&nbsp;<input type=Radio checked value=211 name=pd1>" +
      kFont +
      "对</font>"
      "<a name=\"topic02_2\"></a><br>第2题："
      "<br>&nbsp;<input type=Radio value=220 name=pd2>" +
      kFont +
      "错</font>"
      "<br>&nbsp;<input type=Radio value=221 name=pd2>" +
      kFont + "对</font>";
  EXPECT_EQ(TrueFalsePageText(f.app),
            trueFalseGolden(bq1SectionBar(), questions, keys({"对", "earlier"})));
}

}  // namespace
}  // namespace bq::client
