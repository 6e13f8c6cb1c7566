// The exam queries: their texts, their parameters, and the table-name check.
#include "client/core/exam_queries.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/core/app_values.h"
#include "client/core/test_paper_fixture.h"
#include "common/automation_error.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using testsupport::PaperFixture;

std::vector<std::string> column(db::Recordset rs, const std::string& name) {
  std::vector<std::string> values;
  for (; !rs.Eof(); rs.MoveNext()) values.push_back(columnText(rs, name));
  return values;
}

TEST(ExamQueries, TextsAreTheClientsWithParametersForTheValues) {
  PaperFixture f;
  const db::Connection& c = f.app.ExamConnection;
  struct Case {
    db::Recordset rs;
    std::string sql;
  };
  const Case cases[] = {
      {openPaperTopics(c, "bq1", SectionBarQuery::kChoiceAndTyping),
       "select * from topics where topic_id in (select DISTINCT topic_id from test_paper where "
       "uid=?) order by topic_id asc"},
      {openPaperTopics(c, "bq1", SectionBarQuery::kTrueFalse),
       "select * from topics where topic_id in (select DISTINCT topic_id from test_paper where "
       "uid=?) order by topic_id "},
      {openPaperTopics(c, "bq1", SectionBarQuery::kOperation),
       "select * from topics where topic_id in (select DISTINCT topic_id from test_paper  where "
       "uid=?) order by topic_id"},
      {openChoiceQuestions(c, "bq1"),
       "select selection.*,test_paper.tpid,test_paper.answer from selection,test_paper where "
       "selection.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='01' order by  "
       "selection.tmlx"},
      {openTrueFalseQuestions(c, "bq1"),
       "select judgement.*,Test_paper.tpid,test_paper.answer from judgement,test_paper where "
       "judgement.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='02'"},
      {openTypingQuestions(c, "bq1"),
       "select typewrite.*,Test_paper.answer from typewrite,test_paper where "
       "typewrite.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='04'"},
      {openTopicTable(c, "08"), "select topic_table from topics where topic_id=?"},
      {openSectionQuestions(c, "exceltest", "bq1", "08"),
       "select exceltest.* from exceltest,test_paper where exceltest.id=test_paper.tpid and "
       "test_paper.uid=?  and test_paper.topic_id=?"},
  };
  for (const Case& k : cases) EXPECT_EQ(k.rs.Source(), k.sql);
}

TEST(ExamQueries, RowsOfThePaperInQueryOrder) {
  PaperFixture f;
  const db::Connection& c = f.app.ExamConnection;
  EXPECT_EQ(column(openPaperTopics(c, "bq1", SectionBarQuery::kOperation), "topic_id"),
            (std::vector<std::string>{"01", "02", "04", "08"}));
  EXPECT_EQ(column(openPaperTopics(c, "Bq2", SectionBarQuery::kTrueFalse), "topic_table"),
            (std::vector<std::string>{"typewrite"}));
  EXPECT_EQ(column(openChoiceQuestions(c, "bq1"), "tpid"),
            (std::vector<std::string>{"11", "12", "13"}));
  EXPECT_EQ(column(openTrueFalseQuestions(c, "bq1"), "answer"),
            (std::vector<std::string>{"1", ""}));
  EXPECT_EQ(column(openTypingQuestions(c, "bq2"), "tg"), (std::vector<std::string>{"录入"}));
  EXPECT_EQ(column(openTopicTable(c, "08"), "topic_table"),
            (std::vector<std::string>{"exceltest"}));
  EXPECT_EQ(column(openSectionQuestions(c, "exceltest", "BQ1", "08"), "tg"),
            (std::vector<std::string>{"表格"}));
}

TEST(ExamQueries, AQuotedCardNumberIsOnlyAValue) {
  PaperFixture f;
  const db::Connection& c = f.app.ExamConnection;
  for (const char* card : {"bq'", "bq1' or '1'='1", "bq1'--", "'"}) {
    SCOPED_TRACE(card);
    EXPECT_TRUE(
        column(openPaperTopics(c, card, SectionBarQuery::kChoiceAndTyping), "topic_id").empty());
    EXPECT_TRUE(column(openChoiceQuestions(c, card), "tpid").empty());
    EXPECT_TRUE(column(openTrueFalseQuestions(c, card), "tpid").empty());
    EXPECT_TRUE(column(openSectionQuestions(c, "typewrite", card, "04"), "tg").empty());
  }
  EXPECT_TRUE(column(openTopicTable(c, "08' or '1'='1"), "topic_table").empty());
}

TEST(ExamQueries, OnlyPlainTableNamesAreTaken) {
  struct Case {
    const char* name;
    bool plain;
  };
  const Case cases[] = {
      {"selection", true},    {"E_mail", true},
      {"table2", true},       {"", false},
      {"test_paper;", false}, {"a b", false},
      {"x.y", false},         {"t--", false},
      {"选择", false},        {"selection,test_paper WHERE 1=1 OR selection", false},
  };
  PaperFixture f;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isPlainIdentifier(c.name), c.plain);
    if (c.plain) continue;
    try {
      openSectionQuestions(f.app.ExamConnection, c.name, "bq1", "01");
      ADD_FAILURE() << "accepted";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kInvalidCall);
    }
  }
}

TEST(ExamQueries, ColumnTextRefusesNull) {
  PaperFixture f;
  db::Recordset rs = openSectionQuestions(f.app.ExamConnection, "exceltest", "bq1", "08");
  EXPECT_EQ(columnText(rs, "ID"), "41");
  try {
    columnText(rs, "fj");
    ADD_FAILURE() << "Null read as text";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 94);
    EXPECT_NE(e.description().find("fj"), std::string::npos);
  }
}

TEST(AppValues, StartValues) {
  AppValues app;
  EXPECT_EQ(app.WorkFolder, "C:\\BQTEST");
  EXPECT_EQ(app.ChoiceAnswerKey, std::vector<std::string>(20));
  EXPECT_EQ(app.TrueFalseAnswerKey, std::vector<std::string>(20));
  EXPECT_EQ(app.ExamSecondsLeft, 0);
  EXPECT_EQ(app.ExamConnection.State(), db::adStateClosed);
  EXPECT_EQ(examConnectionString("/opt/bq"),
            "PROViDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"/opt/bq\\BqTest.MDB\";"
            "Jet OLEDB:Database Password=KVRMTX5830;");
}

TEST(AppValues, OpensTheSealedExamDatabaseInTheProgramFolder) {
  db::dbtest::TempFolder folder;
  AppValues app;
  app.AppFolder = folder.path().string();
  EXPECT_THROW(openExamConnection(app), AutomationError);  // no database yet
  db::createSealedDatabase((folder / "BqTest.MDB").string(), kDatabasePassword);
  openExamConnection(app);
  EXPECT_EQ(app.ExamConnection.State(), db::adStateOpen);
}

// A program folder whose path holds ";", "=" and quotes opens its own
// database: the path cannot add or replace keys of the connection string.
TEST(AppValues, AProgramFolderWithSemicolonsInItsPathOpensItsOwnDatabase) {
  db::dbtest::TempFolder folder;
  const fs::path odd = folder / "a;Data Source=\"x\";Mode=Read; ";
  fs::create_directories(odd);
  db::createSealedDatabase((odd / "BqTest.MDB").string(), kDatabasePassword);
  AppValues app;
  app.AppFolder = odd.string();
  openExamConnection(app);
  app.ExamConnection.Execute("CREATE TABLE t (a Long)");  // not opened read-only
  app.ExamConnection.Close();
}

}  // namespace
}  // namespace bq::client
