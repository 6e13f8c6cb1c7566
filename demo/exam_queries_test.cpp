// The exam client's queries on the demo database, worded as the client words
// them, with the card number and the topic code bound as parameters. Every
// expected row is worked out from the demo source tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "dbmaint/block_stream.h"
#include "dbmaint/exam_source.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/value.h"

namespace bq {
namespace {

const std::string kPassword = "KVRMTX5830";

std::string jet(const std::string& password) {
  return "PROViDER=Microsoft.Jet.OLEDB.4.0;Data Source=" BQ_DEMO_DATABASE
         ";Jet OLEDB:Database Password=" +
         password + ";";
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string text(const Variant& v) { return db::variantText(v); }

// A value as comparable text: type, then content.
std::string key(const Variant& v) {
  if (const auto* b = std::get_if<ByteArray>(&v.value()))
    return "bytes:" + std::string(b->begin(), b->end());
  return std::to_string(v.value().index()) + ":" + text(v);
}
using Row = std::vector<std::string>;

struct Result {
  std::vector<std::string> names;
  std::vector<Row> rows;
};

// Values of the source as the database keeps them.
Variant stored(const SourceValue& v) {
  if (v.storeAsBlocks) return Variant(compressBlockSequence(std::get<ByteArray>(v.value.value())));
  return v.value;
}

class ExamQueries : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    source_ = new ExamSource(readExamSource(BQ_DEMO_PAPERS_SRC));
    connection_ = new db::Connection();
    connection_->Open(jet(kPassword));
  }
  static void TearDownTestSuite() {
    connection_->Close();
    delete connection_;
    delete source_;
  }

  static Result run(const std::string& sql, const std::vector<Variant>& params) {
    db::Recordset rs;
    rs.Open(sql, *connection_, db::adOpenForwardOnly, db::adLockReadOnly, params);
    Result r;
    for (db::Field& f : rs.Fields()) r.names.push_back(lower(f.Name()));
    for (; !rs.Eof(); rs.MoveNext()) {
      Row row;
      for (db::Field& f : rs.Fields()) row.push_back(key(f.Value()));
      r.rows.push_back(row);
    }
    rs.Close();
    return r;
  }

  static const SourceTable& table(std::string_view name) {
    const SourceTable* t = source_->table(name);
    if (!t) throw std::runtime_error("no table " + std::string(name));
    return *t;
  }
  static const SourceValue& field(const SourceTable& t, const std::vector<SourceValue>& row,
                                  std::string_view column) {
    return row[t.columnIndex(column).value()];
  }
  static std::vector<std::string> columnNames(const SourceTable& t) {
    std::vector<std::string> names;
    for (const SourceColumn& c : t.columns) names.push_back(lower(c.name));
    return names;
  }

  // The card numbers of the demo papers, typed in lower case.
  static std::vector<std::string> cards() {
    std::set<std::string> s;
    const SourceTable& paper = table("test_paper");
    for (const auto& row : paper.rows) s.insert(lower(text(field(paper, row, "uid").value)));
    return {s.begin(), s.end()};
  }

  // test_paper rows of `card` (any case) and `code`.
  static std::vector<const std::vector<SourceValue>*> paperRows(const std::string& card,
                                                                const std::string& code) {
    std::vector<const std::vector<SourceValue>*> rows;
    const SourceTable& paper = table("test_paper");
    for (const auto& row : paper.rows)
      if (lower(text(field(paper, row, "uid").value)) == card &&
          text(field(paper, row, "topic_id").value) == code)
        rows.push_back(&row);
    return rows;
  }

  // The joined rows of question table `t` with the card's paper rows of `code`:
  // the columns `columns` of `t` (all when empty), then `paperColumns` of test_paper.
  static std::vector<Row> joined(const std::string& tableName, const std::string& card,
                                 const std::string& code, std::vector<std::string> columns,
                                 const std::vector<std::string>& paperColumns) {
    const SourceTable& t = table(tableName);
    const SourceTable& paper = table("test_paper");
    if (columns.empty()) columns = columnNames(t);
    std::vector<Row> rows;
    for (const auto* p : paperRows(card, code)) {
      for (const auto& q : t.rows) {
        if (key(field(t, q, "id").value) != key(field(paper, *p, "tpid").value)) continue;
        Row r;
        for (const auto& c : columns) r.push_back(key(stored(field(t, q, c))));
        for (const auto& c : paperColumns) r.push_back(key(field(paper, *p, c).value));
        rows.push_back(r);
      }
    }
    return rows;
  }

  static std::vector<Row> sorted(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  static ExamSource* source_;
  static db::Connection* connection_;
};

ExamSource* ExamQueries::source_ = nullptr;
db::Connection* ExamQueries::connection_ = nullptr;

TEST_F(ExamQueries, TheDemoPapersAreStoredInBothCases) {
  // Otherwise the lookups below would not show that case is ignored.
  std::set<std::string> stored;
  const SourceTable& paper = table("test_paper");
  for (const auto& row : paper.rows) stored.insert(text(field(paper, row, "uid").value));
  EXPECT_GE(cards().size(), 5u);
  EXPECT_TRUE(std::any_of(stored.begin(), stored.end(),
                          [](const std::string& s) { return s != lower(s); }));
}

TEST_F(ExamQueries, SectionBarListsThePapersTopicsInCodeOrder) {
  const char* queries[] = {
      "select * from topics where topic_id in (select DISTINCT topic_id from test_paper where "
      "uid=?) order by topic_id asc",
      "select * from topics where topic_id in (select DISTINCT topic_id from test_paper where "
      "uid=?) order by topic_id ",
      "select * from topics where topic_id in (select DISTINCT topic_id from test_paper  where "
      "uid=?) order by topic_id",
  };
  const SourceTable& topics = table("topics");
  for (const std::string& card : cards()) {
    std::vector<std::pair<std::string, Row>> expected;
    for (const auto& row : topics.rows) {
      const std::string code = text(field(topics, row, "topic_id").value);
      if (paperRows(card, code).empty()) continue;
      Row r;
      for (const auto& v : row) r.push_back(key(v.value));
      expected.emplace_back(code, r);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<Row> rows;
    for (const auto& [code, r] : expected) rows.push_back(r);
    ASSERT_FALSE(rows.empty()) << card;
    for (const char* q : queries) {
      SCOPED_TRACE(card + " " + q);
      const Result r = run(q, {card});
      EXPECT_EQ(r.names, columnNames(topics));
      EXPECT_EQ(r.rows, rows);
    }
  }
}

TEST_F(ExamQueries, ObjectivePagesJoinQuestionsWithStoredAnswers) {
  struct Case {
    const char* table;
    const char* code;
    const char* sql;
    std::vector<std::string> paperColumns;
  };
  const Case cases[] = {
      {"selection",
       "01",
       "select selection.*,test_paper.tpid,test_paper.answer from selection,test_paper where "
       "selection.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='01' order by  "
       "selection.tmlx",
       {"tpid", "answer"}},
      {"judgement",
       "02",
       "select judgement.*,Test_paper.tpid,test_paper.answer from judgement,test_paper where "
       "judgement.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='02'",
       {"tpid", "answer"}},
      {"typewrite",
       "04",
       "select typewrite.*,Test_paper.answer from typewrite,test_paper where "
       "typewrite.id=test_paper.tpid and test_paper.uid=? and test_paper.topic_id='04'",
       {"answer"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = columnNames(table(c.table));
    names.insert(names.end(), c.paperColumns.begin(), c.paperColumns.end());
    for (const std::string& card : cards()) {
      SCOPED_TRACE(card + " " + c.table);
      const Result r = run(c.sql, {card});
      EXPECT_EQ(r.names, names);
      EXPECT_EQ(sorted(r.rows), sorted(joined(c.table, card, c.code, {}, c.paperColumns)));
      EXPECT_EQ(r.rows.size(), paperRows(card, c.code).size()) << "every question found";
      if (std::string(c.table) == "selection") {
        // Ordered by kind: the questions with one answer first.
        const size_t tmlx = table("selection").columnIndex("tmlx").value();
        EXPECT_TRUE(std::is_sorted(r.rows.begin(), r.rows.end(),
                                   [&](const Row& a, const Row& b) { return a[tmlx] < b[tmlx]; }));
      }
    }
  }
}

TEST_F(ExamQueries, OperationPagesFindTheirTableAndQuestion) {
  const SourceTable& topics = table("topics");
  for (const auto& row : topics.rows) {
    const std::string code = text(field(topics, row, "topic_id").value);
    const std::string tableName = text(field(topics, row, "topic_table").value);
    SCOPED_TRACE(code + " " + tableName);
    Result r = run("select topic_table from topics where topic_id=?", {code});
    EXPECT_EQ(r.rows, std::vector<Row>{{key(field(topics, row, "topic_table").value)}});

    // topic_table names "operation" and "e_mail": table names ignore case.
    const std::string& t = tableName;
    for (const std::string& card : cards()) {
      r = run("select " + t + ".* from " + t + ",test_paper where " + t +
                  ".id=test_paper.tpid and test_paper.uid=?  and test_paper.topic_id=?",
              {card, code});
      EXPECT_EQ(r.names, columnNames(table(t)));
      EXPECT_EQ(sorted(r.rows), sorted(joined(t, card, code, {}, {}))) << card;
    }
  }
  EXPECT_TRUE(run("select topic_table from topics where topic_id=?", {"99"}).rows.empty());
}

TEST_F(ExamQueries, PreparationFindsTheOperationListOnlyForKnownCards) {
  const std::string q9 =
      "Select Operation.Question,test_paper.uid From Operation,Test_paper Where "
      "Test_paper.tpid=operation.id And Test_paper.topic_id='05' And UID=?";
  for (const std::string& card : cards()) {
    SCOPED_TRACE(card);
    const Result r = run(q9, {card});
    EXPECT_EQ(r.names, (std::vector<std::string>{"question", "uid"}));
    ASSERT_FALSE(r.rows.empty()) << "every paper has a file-operation question";
    EXPECT_EQ(sorted(r.rows), sorted(joined("Operation", card, "05", {"Question"}, {"uid"})));
  }
  for (const char* unknown : {"bq9", "bq", "", "BQ1 ", "bq1' or '1'='1"}) {
    SCOPED_TRACE(unknown);
    EXPECT_TRUE(run(q9, {unknown}).rows.empty());
  }
}

TEST_F(ExamQueries, QuestionFilesAndTextsOfEachOperationTopic) {
  // The exports of the preparation, in its order.
  struct Export {
    const char* table;
    const char* code;
    bool file;
  };
  const Export exports[] = {
      {"wordtable", "07", true},  {"wordtest", "06", true},    {"exceltest", "08", true},
      {"powerpoint", "11", true}, {"wordtable", "07", false},  {"wordtest", "06", false},
      {"exceltest", "08", false}, {"powerpoint", "11", false}, {"E_mail", "10", false},
      {"Operation", "05", false},
  };
  size_t files = 0;
  for (const Export& e : exports) {
    const std::string t = e.table;
    const std::string column = e.file ? "fj" : "tg";
    const std::string sql = "Select " + t + "." + column + ",test_paper.topic_id from " + t +
                            ",test_paper Where " + t +
                            ".id=test_paper.tpid And Topic_id=? And UId=?";
    for (const std::string& card : cards()) {
      SCOPED_TRACE(card + " " + sql);
      const Result r = run(sql, {e.code, card});
      EXPECT_EQ(r.names, (std::vector<std::string>{column, "topic_id"}));
      EXPECT_EQ(sorted(r.rows), sorted(joined(t, card, e.code, {column}, {"topic_id"})));
      if (e.file) files += r.rows.size();
    }
  }
  EXPECT_GT(files, 0u);

  // The stored question files expand to the documents of the source.
  const SourceTable& wordtest = table("wordtest");
  for (const auto& row : wordtest.rows) {
    const SourceValue& fj = field(wordtest, row, "fj");
    SCOPED_TRACE(fj.file);
    db::Recordset rs;
    rs.Open("select fj from wordtest where id=?", *connection_, db::adOpenForwardOnly,
            db::adLockReadOnly, {field(wordtest, row, "id").value});
    ASSERT_FALSE(rs.Eof());
    const ByteArray blocks = std::get<ByteArray>(rs.Fields()[0].Value().value());
    EXPECT_EQ(expandBlockSequence(blocks), std::get<ByteArray>(fj.value.value()));
    rs.Close();
  }
}

TEST(ExamDatabasePassword, AWrongPasswordIsRefused) {
  for (const char* password : {"kvrmtx5830", "", "KVRMTX583", "KVRMTX58300"}) {
    SCOPED_TRACE(password);
    db::Connection c;
    try {
      c.Open(jet(password));
      ADD_FAILURE() << "opened";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), db::kNotValidPassword);
      EXPECT_EQ(e.description(), "Not a valid password.");
    }
  }
}

}  // namespace
}  // namespace bq
