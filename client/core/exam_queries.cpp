#include "client/core/exam_queries.h"

#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/db/value.h"

namespace bq::client {
namespace {

db::Recordset openReadOnly(const db::Connection& connection, const std::string& sql,
                           const std::vector<Variant>& parameters) {
  db::Recordset rs;
  rs.Open(sql, connection, db::adOpenForwardOnly, db::adLockReadOnly, parameters);
  return rs;
}

Variant text(std::string_view s) { return Variant(std::string(s)); }

}  // namespace

db::Recordset openPaperTopics(const db::Connection& connection, std::string_view card,
                              SectionBarQuery wording) {
  const char* sql = nullptr;
  switch (wording) {
    case SectionBarQuery::kChoiceAndTyping:
      sql =
          "select * from topics where topic_id in (select DISTINCT topic_id from test_paper "
          "where uid=?) order by topic_id asc";
      break;
    case SectionBarQuery::kTrueFalse:
      sql =
          "select * from topics where topic_id in (select DISTINCT topic_id from test_paper "
          "where uid=?) order by topic_id ";
      break;
    case SectionBarQuery::kOperation:
      sql =
          "select * from topics where topic_id in (select DISTINCT topic_id from test_paper "
          " where uid=?) order by topic_id";
      break;
  }
  return openReadOnly(connection, sql, {text(card)});
}

db::Recordset openChoiceQuestions(const db::Connection& connection, std::string_view card) {
  return openReadOnly(
      connection,
      "select selection.*,test_paper.tpid,test_paper.answer from selection,test_paper where "
      "selection.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='01' order by  "
      "selection.tmlx",
      {text(card)});
}

db::Recordset openTrueFalseQuestions(const db::Connection& connection, std::string_view card) {
  return openReadOnly(
      connection,
      "select judgement.*,Test_paper.tpid,test_paper.answer from judgement,test_paper where "
      "judgement.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='02'",
      {text(card)});
}

db::Recordset openTypingQuestions(const db::Connection& connection, std::string_view card) {
  return openReadOnly(
      connection,
      "select typewrite.*,Test_paper.answer from typewrite,test_paper where "
      "typewrite.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='04'",
      {text(card)});
}

db::Recordset openTopicTable(const db::Connection& connection, std::string_view code) {
  return openReadOnly(connection, "select topic_table from topics where topic_id=?", {text(code)});
}

db::Recordset openSectionQuestions(const db::Connection& connection, std::string_view table,
                                   std::string_view card, std::string_view code) {
  requirePlainTableName(table, "topic_table");
  const std::string t(table);
  return openReadOnly(connection,
                      "select " + t + ".* from " + t + ",test_paper where " + t +
                          ".id=test_paper.tpid and test_paper.uid=?  and test_paper.topic_id=?",
                      {text(card), text(code)});
}

db::Recordset openOperationList(const db::Connection& connection, std::string_view card) {
  return openReadOnly(connection,
                      "Select Operation.Question,test_paper.uid From Operation,Test_paper Where "
                      "Test_paper.tpid=operation.id And Test_paper.topic_id='05' And UID=?",
                      {text(card)});
}

namespace {

// The question files and the question texts are read by one query that
// differs only in the column.
db::Recordset openQuestionColumn(const db::Connection& connection, std::string_view table,
                                 std::string_view column, std::string_view card,
                                 std::string_view code) {
  requirePlainTableName(table, "question table");
  const std::string t(table);
  return openReadOnly(connection,
                      "Select " + t + "." + std::string(column) + ",test_paper.topic_id from " + t +
                          ",test_paper Where " + t + ".id=test_paper.tpid And Topic_id=? And UId=?",
                      {text(code), text(card)});
}

}  // namespace

db::Recordset openQuestionFile(const db::Connection& connection, std::string_view table,
                               std::string_view card, std::string_view code) {
  return openQuestionColumn(connection, table, "fj", card, code);
}

db::Recordset openQuestionText(const db::Connection& connection, std::string_view table,
                               std::string_view card, std::string_view code) {
  return openQuestionColumn(connection, table, "tg", card, code);
}

std::string columnText(db::Recordset& rs, std::string_view name) {
  const Variant v = rs.Fields()[name].Value();
  if (v.isNull())
    throw AutomationError(94, "BqTestMy",
                          runtimeErrorText(94) + " (column " + std::string(name) + ")");
  return db::variantText(v);
}

void requirePlainTableName(std::string_view value, std::string_view what) {
  if (isPlainIdentifier(value)) return;
  throw AutomationError(err::kInvalidCall, "BqTestMy",
                        "The " + std::string(what) + " value '" + std::string(value) +
                            "' is not a plain table name (letters, digits and _ only).");
}

}  // namespace bq::client
