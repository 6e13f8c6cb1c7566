// Connection and Recordset against every provider. Built twice: into db_test
// for the SQLite providers and into db_pg_test (BQ_DB_TEST_POSTGRES) for the
// PostgreSQL server of the test fixture.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "common/text.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq::db {
namespace {

using dbtest::errorOf;
using dbtest::TestDatabase;

ByteArray randomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  ByteArray b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

class Db : public ::testing::TestWithParam<Provider> {
 protected:
  bool postgres() const { return GetParam() == Provider::kPostgres; }
  TestDatabase db_{GetParam()};
};

// ------------------------------------------------------------ types both ways

struct TypeCase {
  int32_t type;
  int32_t size;
  Variant value;
  int32_t sqliteType;  // read back from the SQLite providers
  int32_t pgType;      // read back from PostgreSQL
  Variant pgValue;     // when PostgreSQL gives another value (Empty: the same)
};

std::vector<TypeCase> typeCases() {
  const std::string longText = std::string(30000, 'x') + "007 汉字 𝄞";
  return {
      {adSmallInt, 0, int16_t{-32768}, adSmallInt, adSmallInt, {}},
      {adInteger, 0, int32_t{2147483647}, adInteger, adInteger, {}},
      {adSingle, 0, 1.5f, adSingle, adSingle, {}},
      {adDouble, 0, 0.1, adDouble, adDouble, {}},
      {adCurrency, 0, Currency{123456700}, adCurrency, adCurrency, {}},
      {adDate, 0, Date{45000.75}, adDate, adDBTimeStamp, {}},
      {adDBDate, 0, Date{45000}, adDate, adDBDate, {}},
      {adDBTime, 0, Date{0.5}, adDate, adDBTime, {}},
      {adDBTimeStamp, 0, Date{-1.25}, adDate, adDBTimeStamp, {}},
      {adBoolean, 0, true, adBoolean, adBoolean, {}},
      {adUnsignedTinyInt, 0, uint8_t{200}, adUnsignedTinyInt, adSmallInt, int16_t{200}},
      {adBigInt, 0, std::string("9007199254740993"), adBigInt, adBigInt, {}},
      {adGUID, 0, std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), adGUID, adGUID, {}},
      {adNumeric, 0, std::string("12345.678901"), adNumeric, adNumeric, {}},
      {adDecimal, 0, std::string("-0.5"), adNumeric, adNumeric, {}},
      {adBinary, 4, ByteArray{0, 1, 2, 255}, adBinary, adLongVarBinary, {}},
      {adVarBinary, 10, ByteArray{9, 8, 7}, adVarBinary, adLongVarBinary, {}},
      {adLongVarBinary, 0, randomBytes(100000, 1), adLongVarBinary, adLongVarBinary, {}},
      {adVarWChar, 20, std::string("Zoë 汉字 𝄞"), adVarWChar, adVarWChar, {}},
      {adVarChar, 8, std::string("abc"), adVarWChar, adVarWChar, {}},
      {adChar, 8, std::string("007"), adVarWChar, adVarWChar, {}},
      {adWChar, 5, std::string("abc"), adVarWChar, adWChar, std::string("abc  ")},
      {adLongVarWChar, 0, longText, adLongVarWChar, adLongVarWChar, {}},
      {adLongVarChar, 0, std::string("0.50"), adLongVarWChar, adLongVarWChar, {}},
  };
}

TEST_P(Db, EveryTypeGoesInAndComesBackWithItsAdoType) {
  const auto cases = typeCases();
  std::vector<ColumnDefinition> columns{{"id", adInteger, 0, true, true}};
  for (size_t i = 0; i < cases.size(); ++i)
    columns.push_back({"c" + std::to_string(i), cases[i].type, cases[i].size});
  Connection c = db_.open();
  c.createTable("rt", columns);

  Recordset rs;
  rs.Open("rt", c, adOpenKeyset, adLockOptimistic);
  for (int id : {1, 2}) {
    rs.AddNew();
    rs.Fields()["id"].setValue(id);
    if (id == 1)
      for (size_t i = 0; i < cases.size(); ++i)
        rs.Fields()[static_cast<int32_t>(i + 1)].setValue(cases[i].value);
    rs.Update();
  }
  rs.Close();
  c.Close();

  Connection again = db_.open();
  Recordset back;
  back.Open("SELECT * FROM rt ORDER BY id", again, adOpenStatic, adLockReadOnly);
  ASSERT_EQ(back.RecordCount(), 2);
  for (size_t i = 0; i < cases.size(); ++i) {
    const TypeCase& t = cases[i];
    SCOPED_TRACE("ADO type " + std::to_string(t.type));
    Field& f = back.Fields()[static_cast<int32_t>(i + 1)];
    const int32_t expected = postgres() ? t.pgType : t.sqliteType;
    EXPECT_EQ(f.Type(), expected);
    const int32_t size = fixedDefinedSize(expected);
    EXPECT_EQ(f.DefinedSize(),
              isSizedTextType(expected) || expected == adBinary || expected == adVarBinary ? t.size
                                                                                           : size);
    const Variant& want = postgres() && !t.pgValue.isEmpty() ? t.pgValue : t.value;
    EXPECT_TRUE(f.Value() == want)
        << variantText(f.Value().isArray() ? Variant("(bytes)") : f.Value());
  }
  back.MoveNext();
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_TRUE(back.Fields()[static_cast<int32_t>(i + 1)].Value().isNull());
  back.MoveNext();
  EXPECT_TRUE(back.Eof());
}

// ------------------------------------------------------------ text compares without case

TEST_P(Db, TextComparesWithoutRegardToCase) {
  Connection c = db_.open();
  c.createTable("topics", {{"topic_id", adVarWChar, 2},
                           {"topic_name", adVarWChar, 20},
                           {"topic_table", adVarWChar, 20}});
  c.createTable("test_paper", {{"uid", adVarWChar, 10},
                               {"topic_id", adVarWChar, 2},
                               {"tpid", adInteger},
                               {"answer", adLongVarWChar}});
  c.Execute(
      "INSERT INTO topics VALUES ('01', 'Choice', 'selection'), ('02', 'TF', 'judgement'), "
      "('04', 'Typing', 'typewrite')");
  c.Execute(
      "INSERT INTO test_paper VALUES ('BQ1', '01', 1, 'ac'), ('Bq1', '02', 2, '1'), "
      "('BQ2', '04', 3, '')");
  // The client's section-bar query, with the card number as the examinee typed it.
  Recordset rs;
  rs.Open(
      "select * from topics where topic_id in (select DISTINCT topic_id from test_paper "
      "where uid='bq1') order by topic_id asc",
      c);
  std::vector<std::string> tables;
  for (; !rs.Eof(); rs.MoveNext())
    tables.push_back(std::get<std::string>(rs.Fields()["TOPIC_TABLE"].Value().value()));
  EXPECT_EQ(tables, (std::vector<std::string>{"selection", "judgement"}));

  Recordset byParam = c.Execute("SELECT count(*) FROM test_paper WHERE uid = ? AND answer = ?",
                                {std::string("bQ1"), std::string("AC")});
  EXPECT_EQ(variantText(byParam.Fields()[0].Value()), "1");
}

// ------------------------------------------------------------ cursors

TEST_P(Db, CursorsMoveAndCountAsAdoDoes) {
  Connection c = db_.open();
  c.createTable("t", {{"n", adInteger}});
  c.Execute("INSERT INTO t VALUES (1), (2), (3)");
  struct Case {
    const char* sql;
    int32_t cursor;
    int64_t count;
  };
  const Case cases[] = {
      {"SELECT n FROM t ORDER BY n", adOpenForwardOnly, -1},
      {"SELECT n FROM t ORDER BY n", adOpenStatic, 3},
      {"SELECT n FROM t ORDER BY n", adOpenKeyset, 3},
      {"SELECT n FROM t WHERE n > 5", adOpenForwardOnly, -1},
      {"SELECT n FROM t WHERE n > 5", adOpenStatic, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.sql) + " cursor " + std::to_string(k.cursor));
    Recordset rs;
    rs.Open(k.sql, c, k.cursor, adLockReadOnly);
    EXPECT_EQ(rs.RecordCount(), k.count);
    const bool empty = std::string(k.sql).find('5') != std::string::npos;
    EXPECT_EQ(rs.Bof(), empty);
    EXPECT_EQ(rs.Eof(), empty);
    int seen = 0;
    while (!rs.Eof()) {
      EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{++seen}));
      rs.MoveNext();
    }
    EXPECT_EQ(seen, empty ? 0 : 3);
    EXPECT_FALSE(rs.Bof() && !empty);
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }).number(), adErrNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), adErrNoCurrentRecord);
    if (k.cursor == adOpenForwardOnly && !empty) {
      EXPECT_EQ(errorOf([&] { rs.MoveFirst(); }).number(), adErrFeatureNotAvailable);
      EXPECT_EQ(errorOf([&] { rs.MovePrevious(); }).number(), adErrFeatureNotAvailable);
    }
    if (k.cursor != adOpenForwardOnly && !empty) {
      rs.MoveLast();
      EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{3}));
      rs.MovePrevious();
      rs.MovePrevious();
      rs.MovePrevious();
      EXPECT_TRUE(rs.Bof());
      EXPECT_FALSE(rs.Eof());
      rs.MoveFirst();
      EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
    }
    rs.Close();
    EXPECT_EQ(rs.State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs.Eof(); }).number(), adErrObjectClosed);
  }
}

TEST_P(Db, ClientCursorsAreStaticAndClosingTheConnectionClosesItsRecordsets) {
  Connection c = db_.open();
  c.createTable("t", {{"n", adInteger}});
  c.Execute("INSERT INTO t VALUES (7)");
  c.setCursorLocation(adUseClient);
  Recordset rs;
  rs.Open("t", c, adOpenForwardOnly, adLockReadOnly);
  EXPECT_EQ(rs.CursorType(), adOpenStatic);
  EXPECT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(errorOf([&] { rs.Open("t", c); }).number(), adErrObjectOpen);
  c.Close();
  EXPECT_EQ(rs.State(), adStateClosed);
  EXPECT_EQ(errorOf([&] { rs.Fields()[0].Value(); }).number(), adErrObjectClosed);
  EXPECT_EQ(errorOf([&] { c.Close(); }).number(), adErrObjectClosed);
  Recordset other;
  EXPECT_EQ(errorOf([&] { other.Open("t", c); }).number(), adErrInvalidConnection);
}

// ------------------------------------------------------------ long data

TEST_P(Db, LongDataMovesInChunksBetweenRecordsets) {
  Connection c = db_.open();
  c.createTable("src", {{"id", adInteger}, {"fj", adLongVarBinary}, {"tg", adLongVarWChar}});
  c.createTable("dst", {{"id", adInteger}, {"fj", adLongVarBinary}, {"tg", adLongVarWChar}});
  const ByteArray blob = randomBytes(70000, 2);
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "a𝄞汉";
  c.Execute("INSERT INTO src VALUES (1, ?, ?), (2, NULL, '')", {blob, text});

  Recordset from, to;
  from.Open("SELECT * FROM src ORDER BY id", c, adOpenStatic, adLockReadOnly);
  to.Open("SELECT * FROM dst", c, adOpenKeyset, adLockOptimistic);
  for (; !from.Eof(); from.MoveNext()) {
    to.AddNew();
    to.Fields()["id"].setValue(from.Fields()["id"].Value());
    for (const char* name : {"fj", "tg"}) {
      Field& s = from.Fields()[name];
      Field& d = to.Fields()[name];
      for (Variant piece = s.GetChunk(16384); !piece.isNull(); piece = s.GetChunk(16384))
        d.AppendChunk(piece);
    }
    to.Update();
  }
  from.MoveFirst();
  EXPECT_EQ(from.Fields()["fj"].ActualSize(), 70000);
  EXPECT_EQ(from.Fields()["tg"].ActualSize(), 2 * static_cast<int64_t>(len16(text)));

  Recordset check;
  check.Open("SELECT fj, tg FROM dst ORDER BY id", c, adOpenStatic, adLockReadOnly);
  EXPECT_EQ(check.Fields()["fj"].Value(), Variant(blob));
  EXPECT_EQ(check.Fields()["tg"].Value(), Variant(text));
  // A text read one unit at a time never splits a surrogate pair, and ends in Null.
  std::string joined;
  Field& tg = check.Fields()["tg"];
  for (Variant piece = tg.GetChunk(1); !piece.isNull(); piece = tg.GetChunk(1)) {
    EXPECT_EQ(piece.as<std::string>().find("\xEF\xBF\xBD"), std::string::npos);
    joined += piece.as<std::string>();
  }
  EXPECT_EQ(joined, text);
  check.MoveNext();
  EXPECT_TRUE(check.Fields()["fj"].GetChunk(6).isNull());  // a Null field
  EXPECT_TRUE(check.Fields()["tg"].GetChunk(6).isNull());  // an empty text: nothing to read
}

TEST_P(Db, GetChunkContinuesWhereItStoppedUntilAnotherFieldIsRead) {
  Connection c = db_.open();
  c.createTable("q", {{"fj", adLongVarBinary}, {"tg", adVarWChar, 10}});
  c.Execute("INSERT INTO q VALUES (?, 'x')", {ByteArray{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}});
  Recordset rs;
  rs.Open("q", c);
  Field& fj = rs.Fields()["FJ"];
  EXPECT_EQ(fj.GetChunk(6), Variant(ByteArray{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(fj.GetChunk(6), Variant(ByteArray{7, 8, 9, 10}));  // short: the end
  EXPECT_TRUE(fj.GetChunk(6).isNull());
  rs.Fields()["tg"].Value();
  EXPECT_EQ(fj.GetChunk(3), Variant(ByteArray{1, 2, 3}));  // started over
  EXPECT_EQ(errorOf([&] { fj.GetChunk(-1); }).number(), adErrInvalidArgument);
}

// ------------------------------------------------------------ changes

TEST_P(Db, UpdatesTheCurrentRowByItsPrimaryKey) {
  Connection c = db_.open();
  c.createTable("k", {{"id", adInteger, 0, true, true}, {"name", adVarWChar, 10}});
  c.createTable("nokey", {{"id", adInteger}});
  c.Execute("INSERT INTO k VALUES (1, 'one'), (2, 'two')");
  c.Execute("INSERT INTO nokey VALUES (1)");
  Recordset rs;
  rs.Open("SELECT * FROM k ORDER BY id", c, adOpenKeyset, adLockOptimistic);
  rs.MoveNext();
  rs.Fields()["name"].setValue("TWO");
  EXPECT_EQ(rs.EditMode(), adEditInProgress);
  rs.MoveFirst();  // saves the pending change first
  EXPECT_EQ(rs.Fields()["name"].Value(), Variant("one"));
  Recordset check = c.Execute("SELECT name FROM k WHERE id = 2");
  EXPECT_EQ(check.Fields()[0].Value(), Variant("TWO"));

  Recordset without;
  without.Open("nokey", c, adOpenKeyset, adLockOptimistic);
  without.Fields()[0].setValue(5);
  EXPECT_EQ(errorOf([&] { without.Update(); }).number(), adErrFeatureNotAvailable);
  without.CancelUpdate();
  EXPECT_EQ(without.Fields()[0].Value(), Variant(int32_t{1}));
}

// The restore module's live side: forward-only, optimistic, rows only added.
TEST_P(Db, AForwardOnlyRecordsetAddsRowsWithTheirDefaults) {
  Connection c = db_.open();
  c.Execute(
      postgres()
          ? "CREATE TABLE live (id serial PRIMARY KEY, name varchar(10), n integer DEFAULT 7)"
          : "CREATE TABLE live (id INTEGER PRIMARY KEY, name VarChar(10), n Integer DEFAULT 7)");
  c.Execute("INSERT INTO live (name) VALUES ('old')");
  Recordset rs;
  rs.Open("Select * From live", c, adOpenForwardOnly, adLockOptimistic);
  EXPECT_EQ(rs.RecordCount(), -1);
  for (const char* name : {"a", "b"}) {
    rs.AddNew();
    rs.Fields()["name"].setValue(name);
    EXPECT_TRUE(rs.Fields()["n"].Value().isNull());  // not known before Update
    rs.Update();
    EXPECT_EQ(rs.Fields()["name"].Value(), Variant(name));
    EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int32_t{7}));
    EXPECT_FALSE(rs.Eof());
  }
  rs.Close();
  Recordset all;
  all.Open("SELECT id, name FROM live ORDER BY id", c, adOpenStatic, adLockReadOnly);
  ASSERT_EQ(all.RecordCount(), 3);
  all.MoveLast();
  EXPECT_EQ(all.Fields()["id"].Value(), Variant(int32_t{3}));
  EXPECT_EQ(all.Fields()["name"].Value(), Variant("b"));
}

// Inside a transaction the SQLite providers add a row without returning it
// and read it when it is first wanted; what the record set shows must be the
// row as it was added, whatever the connection does afterwards.
TEST_P(Db, ARowAddedInATransactionReadsAsItWasAdded) {
  Connection c = db_.open();
  struct Table {
    const char* name;
    const char* sqlite;  // nullptr: PostgreSQL's definition serves
    const char* postgres;
  };
  const Table tables[] = {
      {"plain",
       "CREATE TABLE plain (id INTEGER PRIMARY KEY, name VarChar(10), n Integer DEFAULT 7)",
       "CREATE TABLE plain (id integer PRIMARY KEY, name varchar(10), n integer DEFAULT 7)"},
      // Columns that hide rowid names, and a table without rowids.
      {"hiding",
       "CREATE TABLE hiding (id INTEGER PRIMARY KEY, name VarChar(10), n Integer DEFAULT 7, "
       "rowid Integer DEFAULT 1, oid Integer DEFAULT 2)",
       nullptr},
      {"norowid",
       "CREATE TABLE norowid (id INTEGER PRIMARY KEY, name VarChar(10), n Integer DEFAULT 7) "
       "WITHOUT ROWID",
       nullptr},
  };
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    if (postgres() && !t.postgres) continue;
    const std::string table = t.name;
    c.Execute(postgres() ? t.postgres : t.sqlite);
    c.BeginTrans();
    Recordset rs;
    rs.Open("Select id, name, n From " + table, c, adOpenForwardOnly, adLockOptimistic);
    const auto add = [&](int32_t id, const char* name) {
      rs.AddNew();
      rs.Fields()["id"].setValue(id);
      rs.Fields()["name"].setValue(name);
      rs.Update();
    };
    add(1, "a");
    add(2, "b");
    // Changed by another statement after it was added: the record set shows it as added.
    c.Execute("UPDATE " + table + " SET n = 99, name = 'x' WHERE id = 2");
    EXPECT_EQ(rs.Fields()["name"].Value(), Variant("b"));
    EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int32_t{7}));
    // A failed Update keeps the row added before as the current row. (A
    // failed statement ends a PostgreSQL transaction.)
    if (!postgres()) {
      add(3, "c");
      rs.AddNew();
      rs.Fields()["id"].setValue(1);
      rs.Fields()["name"].setValue("e");
      EXPECT_EQ(errorOf([&] { rs.Update(); }).number(), kIntegrityViolation);
      EXPECT_EQ(rs.Fields()["name"].Value(), Variant("e"));  // still pending
      rs.CancelUpdate();
      EXPECT_EQ(rs.Fields()["id"].Value(), Variant(int32_t{3}));
      EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int32_t{7}));
    }
    // Rolled back after it was added: still shown as it was added.
    add(4, "d");
    c.RollbackTrans();
    EXPECT_EQ(rs.Fields()["name"].Value(), Variant("d"));
    EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int32_t{7}));
    rs.Close();
    EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM " + table).Fields()[0].Value()), "0");
  }
  if (postgres()) return;
  // A row that a trigger drops was not added.
  c.Execute("CREATE TABLE dropped (id INTEGER PRIMARY KEY, name VarChar(10))");
  c.Execute("CREATE TRIGGER drop_all BEFORE INSERT ON dropped BEGIN SELECT RAISE(IGNORE); END");
  c.BeginTrans();
  Recordset rs;
  rs.Open("dropped", c, adOpenForwardOnly, adLockOptimistic);
  rs.AddNew();
  rs.Fields()["name"].setValue("gone");
  EXPECT_EQ(errorOf([&] { rs.Update(); }).number(), kConcurrencyViolation);
  rs.CancelUpdate();
  rs.Close();
  c.CommitTrans();
}

// Rows added one after another in a transaction, as a restore adds them.
// PostgreSQL sends them ahead of their answers: a refused row's error comes
// at a later Update, at the read of the row, at Close or at the commit, but
// once, and the rollback that follows leaves the table as it was.
TEST_P(Db, ARefusedRowAmongManyAddedIsReportedOnceAndRolledBack) {
  Connection c = db_.open();
  c.Execute("CREATE TABLE q (id integer PRIMARY KEY, name varchar(20), n integer DEFAULT 7)");
  const auto add = [](Recordset& rs, int32_t id) {
    rs.AddNew();
    rs.Fields()["id"].setValue(id);
    rs.Fields()["name"].setValue("r" + std::to_string(id));
    rs.Update();
  };
  const auto table = [&] {
    Recordset r = c.Execute("SELECT count(*), sum(id) FROM q");
    return variantText(r.Fields()[0].Value()) + "|" + variantText(r.Fields()[1].Value());
  };
  constexpr int32_t kRows = 700;  // more than PostgreSQL's queue of answers holds
  c.BeginTrans();
  {
    Recordset rs;
    rs.Open("SELECT id, name, n FROM q", c, adOpenForwardOnly, adLockOptimistic);
    for (int32_t i = 1; i <= kRows; ++i) {
      add(rs, i);
      if (i % 97 == 0) {  // the row just added, its default included
        EXPECT_EQ(rs.Fields()["id"].Value(), Variant(i));
        EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int32_t{7}));
      }
    }
    EXPECT_EQ(rs.Fields()["name"].Value(), Variant("r700"));
    rs.Close();
  }
  c.CommitTrans();
  const std::string before = table();
  EXPECT_EQ(before, "700|245350");

  enum class Met { kUpdate, kRead, kClose, kCommit };
  struct Case {
    const char* name;
    int32_t rows;
    int32_t refused;  // the row whose id is taken
    Met end;          // what follows the last Update
    Met pgMet;        // where PostgreSQL reports it
  };
  const Case cases[] = {
      {"in the middle of many", 600, 300, Met::kClose, Met::kUpdate},
      {"last, then read", 10, 10, Met::kRead, Met::kRead},
      {"in the middle, then closed", 10, 5, Met::kClose, Met::kClose},
      {"in the middle, then committed", 10, 5, Met::kCommit, Met::kCommit},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    c.BeginTrans();
    std::optional<AutomationError> error;
    Met met = Met::kUpdate;
    int32_t at = 0;
    {
      Recordset rs;
      rs.Open("SELECT id, name, n FROM q", c, adOpenForwardOnly, adLockOptimistic);
      try {
        for (at = 1; at <= k.rows; ++at) add(rs, at == k.refused ? 5 : 1000 + at);
        met = k.end;
        if (k.end == Met::kRead) rs.Fields()["id"].Value();
        if (k.end == Met::kClose) rs.Close();
      } catch (const AutomationError& e) {
        error = e;
      }
    }
    if (!error && k.end == Met::kCommit) {
      try {
        c.CommitTrans();
      } catch (const AutomationError& e) {
        error = e;
      }
    }
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), kIntegrityViolation) << error->description();
    if (postgres()) {
      EXPECT_NE(error->description().find("SQLSTATE 23505"), std::string::npos);
      EXPECT_EQ(met, k.pgMet);
      if (met == Met::kUpdate) {
        EXPECT_GT(at, k.refused);
        EXPECT_LE(at, k.refused + 256);
      }
    } else {
      EXPECT_EQ(met, Met::kUpdate);
      EXPECT_EQ(at, k.refused);
    }
    ASSERT_EQ(c.transactionLevel(), 1);
    c.RollbackTrans();
    EXPECT_EQ(table(), before);
  }
  // The connection adds rows again as before.
  c.BeginTrans();
  Recordset rs;
  rs.Open("SELECT id, name, n FROM q", c, adOpenForwardOnly, adLockOptimistic);
  add(rs, 701);
  rs.Close();
  c.CommitTrans();
  EXPECT_EQ(table(), "701|246051");
}

TEST_P(Db, RefusesChangesItCannotMake) {
  Connection c = db_.open();
  c.createTable("t",
                {{"id", adInteger, 0, true, true}, {"name", adVarWChar, 5}, {"n", adSmallInt}});
  c.Execute("INSERT INTO t VALUES (1, 'a', 1)");
  Recordset ro;
  ro.Open("t", c, adOpenStatic, adLockReadOnly);
  EXPECT_EQ(errorOf([&] { ro.AddNew(); }).number(), adErrFeatureNotAvailable);
  EXPECT_EQ(errorOf([&] { ro.Fields()["name"].setValue("b"); }).number(), adErrFeatureNotAvailable);

  Recordset rs;
  rs.Open("SELECT id, name, n, n + 1 AS m FROM t", c, adOpenKeyset, adLockOptimistic);
  rs.AddNew();
  struct Case {
    const char* field;
    Variant value;
    int32_t number;
  };
  const Case cases[] = {
      {"name", std::string("toolong"), kMultipleStepErrors},  // 7 > 5
      {"name", std::string("汉字汉字汉字"), kMultipleStepErrors},
      {"n", int32_t{40000}, kMultipleStepErrors},
      {"n", std::string("abc"), kMultipleStepErrors},
      {"n", ByteArray{1}, kMultipleStepErrors},
      {"m", int32_t{1}, adErrFeatureNotAvailable},  // an expression
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.field);
    EXPECT_EQ(errorOf([&] { rs.Fields()[k.field].setValue(k.value); }).number(), k.number);
  }
  rs.Fields()["n"].setValue(std::string(" 2.5 "));     // banker's rounding: 2
  rs.Fields()["name"].setValue(std::string("汉字𝄞"));  // 4 UTF-16 units fit 5
  rs.Fields()["id"].setValue(1);                       // a duplicate key
  const AutomationError dup = errorOf([&] { rs.Update(); });
  EXPECT_EQ(dup.number(), kIntegrityViolation) << dup.description();
  EXPECT_EQ(rs.EditMode(), adEditAdd);  // still pending
  rs.Fields()["id"].setValue(2);
  rs.Update();
  EXPECT_EQ(rs.Fields()["n"].Value(), Variant(int16_t{2}));
  EXPECT_EQ(rs.RecordCount(), 2);
}

// ------------------------------------------------------------ statements

TEST_P(Db, ParametersAreBoundNeverPasted) {
  Connection c = db_.open();
  c.createTable("p", {{"name", adVarWChar, 40}});
  const std::string hostile = "O'Brien'); DROP TABLE p; --";
  int64_t affected = 0;
  Recordset none = c.Execute("INSERT INTO p VALUES (?)", {hostile}, &affected);
  EXPECT_EQ(none.State(), adStateClosed);
  EXPECT_EQ(affected, 1);
  Recordset rs;
  rs.Open("SELECT name FROM p WHERE name = ? AND '?' = '?'", c, adOpenStatic, adLockReadOnly,
          {hostile});
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(rs.Fields()[0].Value(), Variant(hostile));
  EXPECT_EQ(errorOf([&] { c.Execute("SELECT * FROM p WHERE name = ?"); }).number(),
            kParameterMissing);
  c.Execute("DELETE FROM p WHERE name <> ?", {std::string("x")}, &affected);
  EXPECT_EQ(affected, 1);
}

TEST_P(Db, FailuresCarryTheProvidersNumberAndText) {
  Connection c = db_.open();
  c.createTable("t", {{"id", adInteger, 0, true, true}});
  c.Execute("INSERT INTO t VALUES (1)");
  struct Case {
    const char* sql;
    int32_t number;
    const char* text;  // part of the description
  };
  const Case cases[] = {
      {"SELEC 1", kCommandFailed, "syntax error"},
      {"SELECT * FROM missing_table", kNoSuchTable, "missing_table"},
      {"INSERT INTO t VALUES (1)", kIntegrityViolation, ""},
      {"SELECT 1; SELECT 2", kCommandFailed, ""},
      {"   ", kNoCommand, "Command text was not set"},
  };
  const std::string source = postgres()                        ? kPostgresSource
                             : GetParam() == Provider::kSealed ? kSealedSource
                                                               : kSqliteSource;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    const AutomationError e = errorOf([&] { c.Execute(k.sql); });
    EXPECT_EQ(e.number(), k.number) << e.description();
    EXPECT_EQ(e.source(), source);
    EXPECT_NE(e.description().find(k.text), std::string::npos) << e.description();
    if (postgres() && k.number != kNoCommand) {
      EXPECT_NE(e.description().find("(SQLSTATE "), std::string::npos) << e.description();
    }
  }
  // The connection is still usable.
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM t").Fields()[0].Value()), "1");
}

TEST_P(Db, StatementsStopAtTheCommandTimeout) {
  Connection c = db_.open();
  c.setCommandTimeout(1);
  const char* slow = postgres() ? "SELECT pg_sleep(10)"
                                : "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r) "
                                  "SELECT count(*) FROM r";
  const auto start = std::chrono::steady_clock::now();
  const AutomationError e = errorOf([&] { c.Execute(slow); });
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(e.number(), kQueryTimeout) << e.description();
  if (postgres()) {
    EXPECT_NE(e.description().find("Query timeout expired"), std::string::npos) << e.description();
  }
  EXPECT_LT(seconds, 5.0);
  c.setCommandTimeout(30);
  EXPECT_EQ(variantText(c.Execute("SELECT 1").Fields()[0].Value()), "1");
}

// A reader takes its rows at its own pace: it may wait between rows longer
// than the command timeout, the connection runs other statements between its
// rows, a reader closed halfway leaves the connection usable, and an error
// among the rows comes where it happened, after the rows before it.
TEST_P(Db, AReaderTakesRowsAtItsOwnPace) {
  Connection c = db_.open();
  c.createTable("t", {{"id", adInteger, 0, true, true}});
  const int n = 20000;
  const std::string rows =
      "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < " +
      std::to_string(n) + ") SELECT i, " +
      (postgres() ? "repeat('0', 1000)" : "hex(zeroblob(500))") + " FROM r";
  c.setCommandTimeout(1);
  Recordset rs = c.Execute(rows);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  int64_t count = 0, sum = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    if (count == 100) c.Execute("INSERT INTO t VALUES (1)");
    if (count == 200) {
      EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM t").Fields()[0].Value()), "1");
    }
    ++count;
    sum += std::stoll(variantText(rs.Fields()[0].Value()));
    EXPECT_EQ(variantText(rs.Fields()[1].Value()).size(), 1000u);
  }
  EXPECT_EQ(count, n);
  EXPECT_EQ(sum, int64_t{n} * (n + 1) / 2);

  Recordset half = c.Execute(rows);
  for (int i = 0; i < 10; ++i) half.MoveNext();
  half.Close();
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM t").Fields()[0].Value()), "1");

  if (!postgres()) return;  // SQLite divides by zero to NULL
  Recordset failing = c.Execute("SELECT 10 / (5 - i) FROM generate_series(1, 10) i");
  int before = 0;
  const AutomationError e = errorOf([&] {
    for (; !failing.Eof(); failing.MoveNext()) ++before;
  });
  EXPECT_EQ(before, 4);
  EXPECT_NE(e.description().find("division by zero"), std::string::npos) << e.description();
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM t").Fields()[0].Value()), "1");
}

TEST_P(Db, TransactionsNestAsSavepoints) {
  Connection c = db_.open();
  c.createTable("tx", {{"id", adInteger, 0, true, true}});
  EXPECT_EQ(errorOf([&] { c.CommitTrans(); }).number(), adErrFeatureNotAvailable);
  EXPECT_EQ(c.BeginTrans(), 1);
  c.Execute("INSERT INTO tx VALUES (1)");
  EXPECT_EQ(c.BeginTrans(), 2);
  c.Execute("INSERT INTO tx VALUES (2)");
  c.RollbackTrans();  // the inner level only
  EXPECT_EQ(c.BeginTrans(), 2);
  c.Execute("INSERT INTO tx VALUES (3)");
  c.CommitTrans();
  c.CommitTrans();
  EXPECT_EQ(c.transactionLevel(), 0);
  c.BeginTrans();
  c.Execute("INSERT INTO tx VALUES (4)");
  c.Close();  // an open transaction is rolled back
  c = db_.open();
  auto rows = c.Execute("SELECT id FROM tx ORDER BY id");
  std::string ids;
  for (; !rows.Eof(); rows.MoveNext()) ids += variantText(rows.Fields()[0].Value()) + ",";
  EXPECT_EQ(ids, "1,3,");
  EXPECT_EQ(errorOf([&] { c.setIsolationLevel(5); }).number(), adErrInvalidArgument);
  c.setIsolationLevel(adXactRepeatableRead);
  c.BeginTrans();
  c.RollbackTrans();
  c.Close();
}

INSTANTIATE_TEST_SUITE_P(Providers, Db, ::testing::ValuesIn(dbtest::testedProviders()),
                         [](const auto& info) { return dbtest::providerName(info.param); });

}  // namespace
}  // namespace bq::db
