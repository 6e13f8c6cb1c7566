#include "scoring/excel_score.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

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

// GetExcelScore's two halves: the reading of each kind's extractor says
// whether it opened the file, and the score of the points read is
// GetExcelScore's, to the contents of d1 and d2.
TEST(ReadAnswerTest, EachKindTellsWhetherItOpenedTheFile) {
  testing::ScratchDir dir;
  const std::string book = oneCellBook(dir);
  struct Case {
    const char* kind;
    std::string file;
    std::optional<std::string> sheet;
    int32_t failure;  // the open failure's number, 0 for none
  } cases[] = {
      {"excel", book, std::nullopt, 0},
      {"EXCEL", book, "Other", 9},                         // no such worksheet
      {"EXCEL", (dir / "missing.xlsx").string(), {}, 53},  // no such file
      {"WORDTEST", book, std::nullopt, 5792},              // a workbook is no document
      {"WordTable", book, std::nullopt, 5792},
      {"PowerPoint", book, std::nullopt, 91},  // no application without OpenPPTApp
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.file);
    const std::optional<extract::Reading> r = scoring::readAnswer(c.kind, c.file, c.sheet);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->opened() ? 0 : r->openFailure->number(), c.failure);
    if (!r->opened()) {
      EXPECT_TRUE(r->points.empty());
    }
  }
  EXPECT_FALSE(scoring::readAnswer("OPERATION", book).has_value());

  KnowledgeSet expected = setOf({"单元内容,1", "单元内容,2"});
  const extract::Reading r = *scoring::readAnswer("EXCEL", book);
  KnowledgeSet d1, d2, g1, g2;
  EXPECT_DOUBLE_EQ(scoring::scorePoints(expected, r.points, d1, d2),
                   GetExcelScore("EXCEL", expected, book, g1, g2));
  EXPECT_EQ(d1.Keys(), g1.Keys());
  EXPECT_EQ(d2.Keys(), g2.Keys());
  KnowledgeSet none;
  EXPECT_EQ(scoring::scorePoints(none, r.points, d1, d2), -1.0);
}

}  // namespace
}  // namespace bq
