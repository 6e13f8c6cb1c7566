#include "scoring/excel_score.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/test_packages.h"

namespace bq {
namespace {

namespace testing = office::testing;

// The test package's workbook: Sheet1 holds the number 1 in A1, no borders.
std::string oneCellBook(const testing::ScratchDir& dir) {
  const auto file = dir / "answer.xlsx";
  testing::writeZip(file, testing::workbookEntries());
  return file.string();
}

KnowledgeSet setOf(const std::vector<std::string>& keys) {
  KnowledgeSet d;
  for (const auto& k : keys) d.set(k, 1);
  return d;
}

TEST(GetExcelScoreTest, ScoresTheShareOfExpectedPointsTheWorkbookHolds) {
  testing::ScratchDir dir;
  const std::string file = oneCellBook(dir);
  KnowledgeSet expected = setOf({"单元内容,1", "单元内容,2", "边框线型,无", "单元合并,True"});
  KnowledgeSet d1 = setOf({"earlier"});
  KnowledgeSet d2;
  // The kind in any case.
  EXPECT_DOUBLE_EQ(GetExcelScore("excel", expected, file, d1, d2), 0.5);
  EXPECT_EQ(d1.Keys(), (std::vector<std::string>{"earlier", "单元内容,1", "边框线型,无"}));
  EXPECT_EQ(d2.Keys(), (std::vector<std::string>{"单元内容,2", "单元合并,True"}));
  EXPECT_EQ(expected.Count(), 4u);

  // The sheet name goes to the extractor: a sheet that is not there reads nothing.
  KnowledgeSet e1, e2;
  EXPECT_DOUBLE_EQ(GetExcelScore("Excel", expected, file, e1, e2, "sheet1"), 0.5);
  KnowledgeSet f1, f2;
  EXPECT_DOUBLE_EQ(GetExcelScore("EXCEL", expected, file, f1, f2, "Other"), 0.0);
  EXPECT_TRUE(f1.empty());
  EXPECT_EQ(f2.Count(), 4u);
}

TEST(GetExcelScoreTest, MatchIsExactText) {
  testing::ScratchDir dir;
  KnowledgeSet expected = setOf({"单元内容,1 ", "单元内容, 1"});
  KnowledgeSet d1, d2;
  EXPECT_DOUBLE_EQ(GetExcelScore("EXCEL", expected, oneCellBook(dir), d1, d2), 0.0);
  EXPECT_EQ(d2.Count(), 2u);
}

TEST(GetExcelScoreTest, MissingAnswerScoresZeroWithEveryKeyUnmatched) {
  testing::ScratchDir dir;
  KnowledgeSet expected = setOf({"a", "b"});
  KnowledgeSet d1, d2;
  EXPECT_DOUBLE_EQ(GetExcelScore("EXCEL", expected, (dir / "none.xls").string(), d1, d2), 0.0);
  EXPECT_TRUE(d1.empty());
  EXPECT_EQ(d2.Keys(), (std::vector<std::string>{"a", "b"}));
}

TEST(GetExcelScoreTest, NotScoredLeavesTheResultSetsAlone) {
  testing::ScratchDir dir;
  const std::string file = oneCellBook(dir);
  KnowledgeSet expected = setOf({"单元内容,1"});
  KnowledgeSet none;
  struct Case {
    const char* name;
    std::string kind;
    KnowledgeSet* zsd;
    std::string file;
  } cases[] = {
      {"empty file name", "EXCEL", &expected, ""},
      {"empty expected set", "EXCEL", &none, file},
      {"unknown kind", "WORD", &expected, file},
      {"empty kind", "", &expected, file},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    KnowledgeSet d1 = setOf({"x"}), d2 = setOf({"y"});
    EXPECT_EQ(GetExcelScore(c.kind, *c.zsd, c.file, d1, d2), -1.0);
    EXPECT_EQ(d1.Keys(), std::vector<std::string>{"x"});
    EXPECT_EQ(d2.Keys(), std::vector<std::string>{"y"});
  }
}

TEST(GetExcelScoreTest, OtherOfficeKindsOnAWorkbookScoreZero) {
  // A workbook is no Word document or presentation: those extractors read
  // nothing (PowerPoint without OpenPPTApp has no application either), so
  // every expected key is missing. The kind is taken in any letter case.
  testing::ScratchDir dir;
  const std::string file = oneCellBook(dir);
  KnowledgeSet expected = setOf({"单元内容,1"});
  for (const char* kind : {"WORDTABLE", "wordtest", "PowerPoint"}) {
    KnowledgeSet d1, d2;
    EXPECT_EQ(GetExcelScore(kind, expected, file, d1, d2), 0.0) << kind;
    EXPECT_TRUE(d1.empty());
    EXPECT_EQ(d2.Keys(), std::vector<std::string>{"单元内容,1"});
  }
}

TEST(GetExcelScoreTest, MoreThan32767ExpectedKeysOverflow) {
  testing::ScratchDir dir;
  const std::string file = oneCellBook(dir);
  KnowledgeSet expected;
  for (int i = 0; i < 32768; ++i) expected.set("k" + std::to_string(i), 1);
  KnowledgeSet d1, d2;
  try {
    GetExcelScore("EXCEL", expected, file, d1, d2);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 6);
  }
  EXPECT_TRUE(d2.empty());

  // 32767 keys are still counted.
  expected.Remove("k0");
  expected.Remove("k1");
  expected.set("单元内容,1", 1);
  ASSERT_EQ(expected.Count(), 32767u);
  EXPECT_DOUBLE_EQ(GetExcelScore("EXCEL", expected, file, d1, d2), 1.0 / 32767);
  EXPECT_EQ(d1.Keys(), std::vector<std::string>{"单元内容,1"});
}

}  // namespace
}  // namespace bq
