// DbBackup and DbRestore against every live provider. Built twice: into
// dbmaint_test for the SQLite providers (plain and sealed) and into
// dbmaint_pg_test (BQ_DB_TEST_POSTGRES) for the PostgreSQL server of the
// test fixture.
#include "dbmaint/db_backup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "dbmaint/backup_file.h"
#include "dbmaint/blocks.h"
#include "dbmaint/db_common.h"
#include "platform/db/ado.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"
#include "platform/infozip/testing/small_file_system.h"
#include "platform/ui/recorder.h"

namespace bq::dbmaint {
namespace {

namespace fs = std::filesystem;
using db::ColumnDefinition;
using db::Provider;
using db::dbtest::readBytes;
using db::dbtest::TestDatabase;
using db::dbtest::writeBytes;
using Event = ui::RecordingProgressCanvas::Event;

const std::string kChinese20 = "一二三四五六七八九十一二三四五六七八九十";
constexpr int kRows = 250;

// The six-column table: every type group the copy treats on its own.
const std::vector<ColumnDefinition> kT6 = {
    {"id", db::adInteger, 0, true, true}, {"name", db::adVarWChar, 20},
    {"score", db::adDouble, 0},           {"memo", db::adLongVarWChar, 0},
    {"pic", db::adLongVarBinary, 0},      {"d", db::adDate, 0}};
// The seven-column table: the types that become LONG, and a seventh column.
const std::vector<ColumnDefinition> kT7 = {{"id", db::adInteger, 0, true, true},
                                           {"label", db::adVarWChar, 10},
                                           {"amount", db::adCurrency, 0},
                                           {"small", db::adSmallInt, 0},
                                           {"flag", db::adBoolean, 0},
                                           {"code", db::adVarWChar, 8},
                                           {"n", db::adInteger, 0}};

ByteArray bytesOf(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  ByteArray b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Row i of T6 as written, and as a backup gives it back.
struct T6Row {
  Variant name, score, memo, pic, d;
  std::string nameBack;
};
T6Row t6Row(int i) {
  T6Row r;
  if (i % 5 == 0) {
    r.name = kChinese20;
    r.nameBack = "一二三四五六七八九十";  // 20 characters in a byte budget of 20
  } else if (i % 5 == 1) {
    r.name = std::string("    ");
    r.nameBack = "";
  } else {
    r.name = "  n" + std::to_string(i) + " ";
    r.nameBack = "n" + std::to_string(i);
  }
  r.score = i * 0.5;
  r.memo = i == 3 ? std::string(20000, 'x') + "长文本" : "m" + std::to_string(i);
  if (i == 4)
    r.pic = bytesOf(40000, 4);
  else if (i % 2)
    r.pic = Null{};
  else
    r.pic = bytesOf(static_cast<size_t>(i), static_cast<unsigned>(i));
  r.d = Date{45000 + i + 0.25};
  return r;
}

// A value as comparable text; bytes by their length and content.
std::string cell(const Variant& v) {
  if (v.is<ByteArray>()) {
    const ByteArray& b = v.as<ByteArray>();
    return "bytes " + std::to_string(b.size()) + ":" +
           std::to_string(std::hash<std::string>()(std::string(b.begin(), b.end())));
  }
  if (v.isNull()) return "Null";
  return db::variantText(v);
}

std::vector<std::string> rowsOf(db::Connection& c, const std::string& select) {
  std::vector<std::string> rows;
  db::Recordset rs = c.Execute(select);
  for (; !rs.Eof(); rs.MoveNext()) {
    std::string row;
    for (int32_t i = 0; i < rs.Fields().Count(); ++i) row += cell(rs.Fields()[i].Value()) + "|";
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> expectedT6(int from, int to) {
  std::vector<std::string> rows;
  for (int i = from; i <= to; ++i) {
    const T6Row r = t6Row(i);
    rows.push_back(std::to_string(i) + "|" + r.nameBack + "|" + cell(r.score) + "|" + cell(r.memo) +
                   "|" + cell(r.pic) + "|" + cell(r.d) + "|");
  }
  return rows;
}

int64_t countOf(db::Connection& c, const std::string& table) {
  return std::stoll(
      db::variantText(c.Execute("Select Count(*) From " + table).Fields()[0].Value()));
}

int drawings(const ui::RecordingProgressCanvas& c) {
  int n = 0;
  for (const Event& e : c.events()) n += e.kind == Event::Kind::kDrawn;
  return n;
}

class Maintenance : public ::testing::TestWithParam<Provider> {
 protected:
  void SetUp() override {
    ::setenv("BQ_TEMP_DATABASE_FOLDER", work_.path().c_str(), 1);
    live_ = db_.open();
    live_.createTable("T6", kT6);
    live_.createTable("T7", kT7);
    live_.BeginTrans();
    db::Recordset rs;
    rs.Open("Select * From T6", live_, db::adOpenForwardOnly, db::adLockOptimistic);
    for (int i = 1; i <= kRows; ++i) {
      const T6Row r = t6Row(i);
      rs.AddNew();
      rs.Fields()["id"].setValue(i);
      rs.Fields()["name"].setValue(r.name);
      rs.Fields()["score"].setValue(r.score);
      rs.Fields()["memo"].setValue(r.memo);
      rs.Fields()["pic"].setValue(r.pic);
      rs.Fields()["d"].setValue(r.d);
      rs.Update();
    }
    rs.Close();
    rs.Open("Select * From T7", live_, db::adOpenForwardOnly, db::adLockOptimistic);
    const char* codes[] = {"12abc", "  7.6x", "abc", "-3e2z", "1 2", "&H10", "0"};
    for (int i = 1; i <= 7; ++i) {
      rs.AddNew();
      rs.Fields()["id"].setValue(i);
      rs.Fields()["label"].setValue(std::string("标签标签标签") + std::to_string(i));
      rs.Fields()["amount"].setValue(Currency{i * 100000 + 25000});  // 12.5, 22.5 ...
      rs.Fields()["small"].setValue(static_cast<int16_t>(-i));
      rs.Fields()["flag"].setValue(i % 2 == 1);
      rs.Fields()["code"].setValue(std::string(codes[i - 1]));
      rs.Fields()["n"].setValue(i * 1000);
      rs.Update();
    }
    rs.Close();
    live_.CommitTrans();
    SetConnStr(db_.connectionString(), GetParam() == Provider::kSealed);
    // A sealed live database keeps what is written until it is closed.
    live_.Close();
  }
  void TearDown() override {
    SetConnStr("", false);
    ::unsetenv("BQ_TEMP_DATABASE_FOLDER");
  }

  db::Connection& live() {
    if (live_.State() != db::adStateOpen) live_ = db_.open();
    return live_;
  }
  void closeLive() {
    if (live_.State() == db::adStateOpen) live_.Close();
  }
  void exec(const std::string& sql) {
    live().Execute(sql);
    closeLive();
  }
  std::vector<std::string> liveRows(const std::string& select) {
    auto rows = rowsOf(live(), select);
    closeLive();
    return rows;
  }
  int64_t liveCount(const std::string& table) {
    const int64_t n = countOf(live(), table);
    closeLive();
    return n;
  }
  int64_t backupCount(const std::string& table) {
    std::optional<db::Connection> temp = OpenMdbConnection(TempDatabasePath());
    if (!temp) return -1;
    const int64_t n = countOf(*temp, table);
    temp->Close();
    return n;
  }
  std::string file(const std::string& name) const { return (work_ / name).string(); }
  MaintenanceReport backup(const std::vector<std::string>& tables, const std::string& where = "",
                           bool del = false) {
    return DbBackup(&doing_, &sub_, tables, file("b.bak"), where, del);
  }
  MaintenanceReport restore(const std::vector<std::string>& tables, const std::string& where = "",
                            bool keep = false,
                            const std::optional<std::vector<std::string>>& sel1 = std::nullopt,
                            const std::optional<std::vector<std::string>>& sel2 = std::nullopt,
                            const std::string& from = "") {
    return DbRestore(&doing_, &sub_, tables, from.empty() ? file("b.bak") : from, where, keep, sel1,
                     sel2);
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> m;
    for (const auto& s : recorder_->shown()) m.push_back(s.prompt);
    return m;
  }

  db::dbtest::TempFolder work_;
  TestDatabase db_{GetParam()};
  db::Connection live_;
  std::shared_ptr<ui::Recorder> recorder_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope_{recorder_};
  ui::RecordingProgressCanvas doing_, sub_;
};

TEST_P(Maintenance, ABackupRestoresTheSameRows) {
  const MaintenanceReport b = backup({"T6", "T7"});
  EXPECT_TRUE(b.allDone()) << b.problem;
  EXPECT_EQ(b.tables[0].rows, kRows);
  EXPECT_TRUE(messages().empty());
  const std::vector<uint8_t> bytes = readBytes(file("b.bak"));
  ASSERT_GT(bytes.size(), 17u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 17), "BQCompressPattern");
  // 250 rows redraw after every third row (83 times), 7 rows after each.
  EXPECT_EQ(drawings(sub_), 83 + 7);
  EXPECT_FALSE(doing_.Visible());
  EXPECT_FALSE(sub_.Visible());

  exec("Delete From T6 Where id > 10");
  exec(
      "Insert Into T7 (id, label, amount, small, flag, code, n) Values (99, 'x', 1, 1, true, 'x', "
      "1)");
  const MaintenanceReport r = restore({"T6", "T7"});
  EXPECT_TRUE(r.allDone()) << r.problem;
  EXPECT_TRUE(messages().empty()) << messages().front();
  EXPECT_EQ(liveRows("Select id, name, score, memo, pic, d From T6 Order By id"),
            expectedT6(1, kRows));
  // Currency and Boolean went through LONG; Chinese labels to 5 characters.
  const std::vector<std::string> t7 =
      liveRows("Select id, label, amount, small, flag, code, n From T7 Order By id");
  ASSERT_EQ(t7.size(), 7u);
  EXPECT_EQ(t7[0], "1|标签标签标|12|-1|True|12abc|1000|");  // 12.5 to even
  EXPECT_EQ(t7[1], "2|标签标签标|22|-2|False|7.6x|2000|");
}

TEST_P(Maintenance, ConditionsChooseTheRowsAndTheDeletes) {
  struct Case {
    const char* where;
    bool del;
    int64_t backedUp;  // rows of T6 in the backup
    int64_t liveAfter;
    bool done;
  } cases[] = {
      {" Where id <= 100", true, 100, 150, true},
      {" Where id <= 100", false, 100, kRows, true},
      {"Where id <= 100", true, 0, kRows, false},  // no leading space: the query fails
      {"", true, kRows, kRows, true},              // no condition: nothing is deleted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.where) + (c.del ? " with delete" : ""));
    const MaintenanceReport b = backup({"T6"}, c.where, c.del);
    EXPECT_EQ(b.tables[0].done, c.done) << b.tables[0].problem;
    EXPECT_TRUE(b.fileWritten);
    EXPECT_EQ(backupCount("T6"), c.backedUp);
    EXPECT_EQ(liveCount("T6"), c.liveAfter);
    if (c.liveAfter != kRows) {
      // Put the deleted rows back for the next case.
      const MaintenanceReport r = restore({"T6"}, "", true);
      EXPECT_TRUE(r.allDone()) << r.problem;
      EXPECT_EQ(liveCount("T6"), kRows);
    }
  }
}

TEST_P(Maintenance, RestoreKeepsOrReplacesTheLiveRows) {
  ASSERT_TRUE(backup({"T6", "T7"}).allDone());

  // Added to the rows already there.
  exec("Delete From T7 Where id > 2");
  EXPECT_TRUE(restore({"T7"}, " Where id > 2", true).allDone());
  EXPECT_EQ(liveCount("T7"), 7);

  // With a condition, every live row goes and only the chosen rows come back.
  EXPECT_TRUE(restore({"T6"}, " Where id <= 100").allDone());
  EXPECT_EQ(liveRows("Select id, name, score, memo, pic, d From T6 Order By id"),
            expectedT6(1, 100));

  // Chosen columns on both sides; the others take the live defaults.
  EXPECT_TRUE(restore({"T6"}, "", false, std::vector<std::string>{"id, name From T6"},
                      std::vector<std::string>{"id, name From T6"})
                  .allDone());
  const auto rows = liveRows("Select id, name, score From T6 Order By id");
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(rows[4], "5|一二三四五六七八九十|Null|");
}

TEST_P(Maintenance, ALiveIntegerTakesTheLeadingNumberOfText) {
  ASSERT_TRUE(backup({"T7"}).allDone());
  exec("Drop Table T7");
  live().createTable("T7", {{"id", db::adInteger, 0, true, true}, {"code", db::adInteger, 0}});
  closeLive();
  EXPECT_TRUE(restore({"T7"}, "", false, std::vector<std::string>{"id, code From T7"}).allDone());
  EXPECT_EQ(liveRows("Select code From T7 Order By id"),
            (std::vector<std::string>{"12|", "8|", "0|", "-300|", "12|", "16|", "0|"}));
}

TEST_P(Maintenance, ATableTheLiveSideRefusesKeepsItsOldRows) {
  ASSERT_TRUE(backup({"T6", "T7"}).allDone());
  // A record in the middle that the live table refuses: id 125 exists already.
  exec("Delete From T6 Where id <> 125");
  exec("Update T6 Set name = 'old' Where id = 125");
  exec("Delete From T7");
  MaintenanceReport r = restore({"T6", "T7"}, "", true);
  EXPECT_FALSE(r.tables[0].done);
  EXPECT_TRUE(r.tables[1].done);
  EXPECT_EQ(liveRows("Select id, name From T6"), (std::vector<std::string>{"125|old|"}));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind(std::string(kTableNotRestoredMessage) + "\r\n\r\n[T6]\r\n", 0), 0u);

  // The same when the live rows are to be replaced: the delete is undone.
  exec("Drop Table T7");
  live().createTable("T7", {{"id", db::adInteger, 0, true, true}, {"n", db::adSmallInt, 0}});
  live().Execute("Insert Into T7 (id, n) Values (1, 1)");
  closeLive();
  exec("Delete From T6 Where id = 125");
  // Rows 1 to 3 fit a SmallInt; row 4 (40000) does not.
  r = restore({"T7", "T6"}, "", false,
              std::vector<std::string>{"id, n * 10 As n From T7", "* From T6"});
  EXPECT_FALSE(r.tables[0].done);
  EXPECT_TRUE(r.tables[1].done);
  EXPECT_EQ(liveRows("Select id, n From T7"), (std::vector<std::string>{"1|1|"}));
  EXPECT_EQ(liveCount("T6"), kRows);
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_NE(messages()[1].find("[T7]"), std::string::npos);
}

TEST_P(Maintenance, FilesThatAreNoBackup) {
  ASSERT_TRUE(backup({"T6"}).allDone());
  const std::vector<uint8_t> good = readBytes(file("b.bak"));
  // A plain sealed database under the component password is restored from directly.
  fs::copy_file(TempDatabasePath(), file("plain.mdb"));
  exec("Delete From T6");
  EXPECT_TRUE(restore({"T6"}, "", false, std::nullopt, std::nullopt, file("plain.mdb")).allDone());
  EXPECT_EQ(liveCount("T6"), kRows);
  EXPECT_TRUE(messages().empty());

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;  // "" for none
  } cases[] = {
      {"marker only", {good.begin(), good.begin() + 17}, kBadFileMessage},
      {"neither", {'n', 'o', 'n', 'e'}, kBadFileMessage},
      {"truncated in a block", {good.begin(), good.end() - 100}, kDamagedBackupMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(file("in.bak"), c.bytes);
    const size_t before = messages().size();
    const MaintenanceReport r =
        restore({"T6"}, "", false, std::nullopt, std::nullopt, file("in.bak"));
    EXPECT_FALSE(r.allDone());
    EXPECT_EQ(liveCount("T6"), kRows);  // nothing deleted
    ASSERT_EQ(messages().size(), before + 1);
    EXPECT_EQ(messages().back().rfind(c.message, 0), 0u) << messages().back();
  }
  // A missing file: nothing at all.
  const size_t before = messages().size();
  EXPECT_FALSE(restore({"T6"}, "", false, std::nullopt, std::nullopt, file("missing")).ran);
  EXPECT_EQ(messages().size(), before);
  // No connection string: the message, nothing else.
  SetConnStr("", false);
  EXPECT_FALSE(backup({"T6"}).ran);
  EXPECT_FALSE(restore({"T6"}).ran);
  EXPECT_EQ(messages().back(), kNoConnectionMessage);
  EXPECT_EQ(messages().size(), before + 2);
}

TEST_P(Maintenance, ARowWhoseLiveValueCannotBeReadIsLeftOutAndTheCopyGoesOn) {
  // The rows are read on a thread of their own: a value that fails there
  // must cost its row only, as it did when read while copied.
  if (GetParam() == Provider::kPostgres) GTEST_SKIP() << "the server keeps no text in a Double";
  exec("Update T6 Set score = 'not a number' Where id = 100");
  const MaintenanceReport b = backup({"T6", "T7"});
  EXPECT_FALSE(b.tables[0].done);
  EXPECT_EQ(b.tables[0].rows, kRows - 1);
  EXPECT_FALSE(b.tables[0].problem.empty());
  EXPECT_TRUE(b.tables[1].done);
  EXPECT_TRUE(b.fileWritten);
  ASSERT_TRUE(restore({"T6"}).allDone());
  std::vector<std::string> expected = expectedT6(1, kRows);
  expected.erase(expected.begin() + 99);
  EXPECT_EQ(liveRows("Select id, name, score, memo, pic, d From T6 Order By id"), expected);
}

TEST_P(Maintenance, TableNamesThatAreNoPlainIdentifiersAreLeftOut) {
  const MaintenanceReport b = backup({"T6", "T7; Drop Table T6"});
  EXPECT_TRUE(b.tables[0].done);
  EXPECT_FALSE(b.tables[1].done);
  const MaintenanceReport r = restore({"T6 Where 1 = 0", "T6"});
  EXPECT_FALSE(r.tables[0].done);
  EXPECT_TRUE(r.tables[1].done);
  EXPECT_EQ(liveCount("T6"), kRows);
  EXPECT_EQ(liveCount("T7"), 7);
}

TEST_P(Maintenance, TheExpandedDatabaseGoesWhenTheRestoreEnds) {
  ASSERT_TRUE(backup({"T6"}).allDone());
  EXPECT_TRUE(restore({"T6"}).allDone());
  EXPECT_FALSE(fs::exists(TempDatabasePath()));

  // Twenty blocks of 999,999 zero bytes: 20 MB expanded, and no database.
  std::vector<uint8_t> block;
  ASSERT_EQ(CompressBlock(std::vector<uint8_t>(999'999, 0), block), 0);
  {
    std::ofstream out(file("zeros.bak"), std::ios::binary);
    out << kBackupMarker;
    for (int i = 0; i < 20; ++i)
      out.write(reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(block.size()));
  }
  const MaintenanceReport r =
      restore({"T6"}, "", false, std::nullopt, std::nullopt, file("zeros.bak"));
  EXPECT_FALSE(r.allDone());
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], kBadFileMessage);
  EXPECT_EQ(liveCount("T6"), kRows);
  EXPECT_FALSE(fs::exists(TempDatabasePath()));
}

// A database under the component password made by `statements`, and its backup file.
void makeBackupSide(const std::string& mdb, const std::string& bak,
                    const std::vector<std::string>& statements) {
  CreateTempDatabase(mdb);
  std::optional<db::Connection> c = OpenMdbConnection(mdb);
  ASSERT_TRUE(c);
  for (const std::string& s : statements) c->Execute(s);
  c->Close();
  ui::RecordingProgressCanvas canvas;
  ASSERT_TRUE(CompressFile(&canvas, mdb, bak));
}

TEST_P(Maintenance, OnlyStoredTablesOfTheBackupAreRead) {
  // Each backup holds a stored T7 of one row beside a T6 that computes its rows.
  const std::vector<std::string> t7 = {"Create Table T7 (id LONG, label Char(10))",
                                       "Insert Into T7 (id, label) Values (70, 'stored')"};
  // Forty rows, each of which counts to 200,000 first.
  const std::string slowRows =
      " As With Recursive c(n) As (Select 1 Union All Select n + 1 From c Where n < 40) "
      "Select n As id, (With Recursive w(k) As (Select 1 Union All Select k + 1 From w Where k < "
      "200000) Select 'v' || Count(*) From w) As name From c";
  struct Case {
    const char* name;
    std::vector<std::string> statements;
    std::optional<std::vector<std::string>> sel1;
  } cases[] = {
      {"a recursive view", {"Create View T6" + slowRows}, std::nullopt},
      {"a view named by the selection",
       {"Create Table T6 (id LONG, name Char(20))", "Create View V" + slowRows},
       std::vector<std::string>{"* From V", "* From T7"}},
      {"a column computed when read",
       {"Create Table T6 (id LONG, name Text Generated Always As ('g' || id) Virtual)",
        "Insert Into T6 (id) Values (1)"},
       std::nullopt},
      {"a virtual table",
       {"Create Virtual Table T6 Using fts5(id, name)",
        "Insert Into T6 (id, name) Values (1, 'fts')"},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> statements = c.statements;
    statements.insert(statements.end(), t7.begin(), t7.end());
    makeBackupSide(file("side.mdb"), file("side.bak"), statements);
    const std::vector<uint8_t> side = readBytes(file("side.mdb"));
    for (const std::string& from : {file("side.bak"), file("side.mdb")}) {
      SCOPED_TRACE(from);
      const MaintenanceReport r = restore({"T6", "T7"}, "", false, c.sel1, std::nullopt, from);
      EXPECT_FALSE(r.tables[0].done);
      EXPECT_TRUE(r.tables[1].done) << r.tables[1].problem;
      EXPECT_EQ(liveCount("T6"), kRows);
      EXPECT_EQ(liveRows("Select id, label From T7"), (std::vector<std::string>{"70|stored|"}));
    }
    // A database restored from directly is not changed.
    EXPECT_EQ(readBytes(file("side.mdb")), side);
  }
  EXPECT_TRUE(messages().empty()) << messages().front();
}

TEST_P(Maintenance, ADatabaseImageMustFitTheTemporaryFolder) {
  // Six million bytes of text that the seal compresses to almost nothing.
  makeBackupSide(file("big.mdb"), file("big.bak"),
                 {"Create Table T7 (id LONG, label Memo)",
                  "Insert Into T7 (id, label) Values (1, hex(zeroblob(3000000)))"});
  const fs::path small = work_ / "tmp";
  fs::create_directory(small);
  const testing::SmallFileSystemRun run = testing::runWithSmallFileSystem(small, 4 << 20, [&] {
    ::setenv("TMPDIR", small.c_str(), 1);
    const MaintenanceReport r =
        restore({"T7"}, "", false, std::nullopt, std::nullopt, file("big.bak"));
    if (r.tables[0].done) return std::string("restored");
    if (messages().size() != 1 || messages()[0].rfind(kNoSpaceForBackupMessage, 0) != 0)
      return "not refused for the free space: " + (messages().empty() ? "" : messages().back());
    if (!fs::is_empty(small)) return std::string("the temporary folder was written");
    if (liveCount("T7") != 7) return std::string("live rows were lost");
    return std::string();
  });
  if (!run.mounted) GTEST_SKIP() << "no mount namespace for a small file system here";
  EXPECT_EQ(run.failure, "");
}

INSTANTIATE_TEST_SUITE_P(Providers, Maintenance, ::testing::ValuesIn(db::dbtest::testedProviders()),
                         [](const auto& info) { return db::dbtest::providerName(info.param); });

#ifndef BQ_DB_TEST_POSTGRES
TEST(TempSchema, TablesBeginningWithMSKeepTheirDefinitions) {
  db::dbtest::TempFolder work;
  const std::string path = (work / "t.mdb").string();
  CreateTempDatabase(path);
  {
    std::optional<db::Connection> c = OpenMdbConnection(path);
    ASSERT_TRUE(c);
    c->Execute("Create Table MSkeep (a LONG NOT NULL, b Char(5) NOT NULL)");
    c->Execute("Create Table msRelax (a LONG NOT NULL, b Char(5) NOT NULL, p LongBinary NOT NULL)");
    c->Close();
  }
  RelaxTempSchema(path);
  db::dao::Database d = OpenTempDatabase(path);
  for (db::dao::TableDef& t : d.TableDefs()) {
    const bool relaxed = t.Name() == "msRelax";
    SCOPED_TRACE(t.Name());
    EXPECT_EQ(t.Fields("a").Required(), !relaxed);
    EXPECT_EQ(t.Fields("a").DefaultValue(), relaxed ? "0" : "");
    EXPECT_EQ(t.Fields("b").DefaultValue(), relaxed ? "\"\"" : "");
    if (relaxed) {
      EXPECT_TRUE(t.Fields("b").AllowZeroLength());
      EXPECT_FALSE(t.Fields("p").Required());
      EXPECT_EQ(t.Fields("p").DefaultValue(), "");
    }
  }
  d.Close();
}
#endif

}  // namespace
}  // namespace bq::dbmaint
