#include "dbmaint/exam_database.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "dbmaint/block_stream.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

const std::string kPassword = "KVRMTX5830";

// A small sound source with every column type, Nulls, escapes and two
// question files, one of them longer than one compressed block.
std::map<std::string, std::string> sourceTables() {
  return {
      {"topics.tsv",
       "topic_id:Char(2)\ttopic_name:VarChar(20)\ttopic_table:VarChar(20)\n"
       "01\t选择题\tselection\n"
       "06\tWORD编辑\twordtest\n"},
      {"test_paper.tsv",
       "uid:VarChar(10)\ttopic_id:Char(2)\ttpid:Long\tanswer:Memo\tscore:Double\n"
       "BQ1\t01\t1\tac\t2.5\n"
       "bq2\t06\t2\t\\N\t-1e3\n"
       "BQ1\t06\t1\t\t\\N\n"},
      {"selection.tsv",
       "id:Long\ttg:Memo\txzA:VarChar(255)\txzB:VarChar(255)\txzC:VarChar(255)\t"
       "xzD:VarChar(255)\txzE:VarChar(255)\txzF:VarChar(255)\tda:VarChar(6)\ttmlx:Char(1)\n"
       "1\t\"<b>\" & 'x'\\r\\n第二行\tA\tB\tC\tD\t\t\tAC\t2\n"},
      {"judgement.tsv", "id:Long\ttg:Memo\tda:Char(1)\n"},
      {"typewrite.tsv", "id:Long\ttg:Memo\n"},
      {"Operation.tsv", "id:Long\tQuestion:Memo\ttg:Memo\n1\ta\\\\,a\\\\b.txt\t操作\n"},
      {"wordtest.tsv",
       "id:Long\ttg:Memo\tfj:LongBinary\n"
       "1\t编辑\t@files/w/a.bin\n"
       "2\t大\t@files/w/big.bin\n"
       "3\t空\t\\N\n"},
      {"wordtable.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"exceltest.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"powerpoint.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"E_mail.tsv", "id:Long\ttg:Memo\n"},
  };
}

std::string bigFile() {
  std::string s;
  for (int i = 0; s.size() < 3 * kBlockPieceSize + 100; ++i) s += std::to_string(i * 7919) + ",";
  return s;
}

std::string readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// A value as comparable text: type, then content.
std::string key(const Variant& v) {
  if (const auto* b = std::get_if<ByteArray>(&v.value()))
    return "bytes:" + std::string(b->begin(), b->end());
  return std::to_string(v.value().index()) + ":" + db::variantText(v);
}
using Row = std::vector<std::string>;

class ExamDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-examdb-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directories(src() / "tables");
    fs::create_directories(src() / "files" / "w");
    fs::create_directories(out());
    for (const auto& [name, text] : sourceTables()) write(src() / "tables" / name, text);
    write(src() / "files" / "w" / "a.bin", std::string("PK\x03\x04\x00\xff\r\n", 8));
    write(src() / "files" / "w" / "big.bin", bigFile());
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void write(const fs::path& p, const std::string& s) {
    std::ofstream(p, std::ios::binary) << s;
  }
  fs::path src() const { return dir_ / "src"; }
  fs::path out() const { return dir_ / "out"; }
  std::vector<std::string> outFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string jet(const fs::path& db, const std::string& password = kPassword) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.string() +
           ";Jet OLEDB:Database Password=" + password + ";";
  }

  fs::path dir_;
};

TEST_F(ExamDatabaseTest, HoldsEveryRowOfTheSourceWithQuestionFilesAsBlocks) {
  const fs::path db = out() / "BqTest.MDB";
  buildExamDatabase(src(), db.string(), kPassword);
  EXPECT_EQ(outFiles(), std::vector<std::string>{"BqTest.MDB"}) << "no temporary file left";

  const ExamSource source = readExamSource(src());
  db::Connection c;
  c.Open(jet(db));
  for (const SourceTable& table : source.tables) {
    SCOPED_TRACE(table.name);
    std::vector<Row> expected;
    for (const auto& row : table.rows) {
      Row r;
      for (const SourceValue& v : row) {
        if (v.storeAsBlocks) {
          const ByteArray& bytes = std::get<ByteArray>(v.value.value());
          r.push_back(key(Variant(compressBlockSequence(bytes))));
        } else {
          r.push_back(key(v.value));
        }
      }
      expected.push_back(r);
    }
    db::Recordset rs = c.Execute(table.name);
    db::Fields& fields = rs.Fields();
    ASSERT_EQ(fields.Count(), static_cast<int32_t>(table.columns.size()));
    for (size_t i = 0; i < table.columns.size(); ++i)
      EXPECT_EQ(fields[static_cast<int32_t>(i)].Name(), table.columns[i].name);
    std::vector<Row> got;
    for (; !rs.Eof(); rs.MoveNext()) {
      Row r;
      for (db::Field& f : fields) r.push_back(key(f.Value()));
      got.push_back(r);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);
  }

  // The stored blocks expand to the files as they are on disk.
  db::Recordset rs = c.Execute("SELECT fj FROM wordtest WHERE id = 2");
  const Variant fj = rs.Fields()[0].Value();
  const ByteArray blocks = std::get<ByteArray>(fj.value());
  const ByteArray data = expandBlockSequence(blocks);
  EXPECT_EQ(std::string(data.begin(), data.end()), readFile(src() / "files" / "w" / "big.bin"));
  c.Close();
}

TEST_F(ExamDatabaseTest, DeclaresTypesKeysAndCaseInsensitiveText) {
  const fs::path db = out() / "BqTest.MDB";
  buildExamDatabase(src(), db.string(), kPassword);
  db::Connection c;
  c.Open(jet(db));

  // Types as ADO reports them, sizes included.
  db::Recordset rs = c.Execute("SELECT uid, topic_id, tpid, answer, score FROM test_paper");
  struct Expect {
    const char* name;
    int32_t type;
    int32_t size;
  };
  const Expect types[] = {{"uid", db::adVarWChar, 10},
                          {"topic_id", db::adVarWChar, 2},
                          {"tpid", db::adInteger, 4},
                          {"answer", db::adLongVarWChar, db::kMemoDefinedSize},
                          {"score", db::adDouble, 8}};
  for (const Expect& e : types) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(rs.Fields()[e.name].Type(), e.type);
    EXPECT_EQ(rs.Fields()[e.name].DefinedSize(), e.size);
  }
  rs.Close();
  rs = c.Execute("SELECT fj FROM wordtest");
  EXPECT_EQ(rs.Fields()[0].Type(), db::adLongVarBinary);
  rs.Close();

  // Text compares without regard to case, as the client's lookups need.
  struct Lookup {
    const char* sql;
    std::vector<Variant> params;
    int rows;
  };
  const Lookup lookups[] = {
      {"SELECT * FROM test_paper WHERE uid = ?", {"bq1"}, 2},
      {"SELECT * FROM test_paper WHERE uid = ?", {"BQ2"}, 1},
      {"SELECT * FROM topics WHERE topic_name = ?", {"word编辑"}, 1},
      {"SELECT * FROM test_paper WHERE uid IN (SELECT uid FROM test_paper WHERE uid = 'Bq1')",
       {},
       2},
      {"SELECT * FROM test_paper WHERE uid = ?", {"bq 1"}, 0},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(l.sql);
    rs = c.Execute(l.sql, l.params);
    int n = 0;
    for (; !rs.Eof(); rs.MoveNext()) ++n;
    EXPECT_EQ(n, l.rows);
    rs.Close();
  }

  // id is the key: a second row with the same id is refused.
  try {
    c.Execute("INSERT INTO wordtest (id, tg) VALUES (1, 'again')");
    ADD_FAILURE() << "duplicate id accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), db::kIntegrityViolation) << e.description();
  }
  c.Close();

  try {
    c.Open(jet(db, "kvrmtx5830"));
    ADD_FAILURE() << "opened with the wrong password";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.description(), db::kNotValidPasswordText);
  }
}

TEST_F(ExamDatabaseTest, FailuresLeaveNoOutputAndKeepAnExistingOne) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& src, const fs::path& out)> damage;
    std::string outName;
    std::string message;  // the description starts with it
  };
  const Case cases[] = {
      {"duplicate id",
       [](const fs::path& src, const fs::path& out [[maybe_unused]]) {
         write(src / "tables" / "Operation.tsv",
               "id:Long\tQuestion:Memo\ttg:Memo\n1\ta\tb\n1\tc\td\n");
       },
       "BqTest.MDB", "tables/Operation.tsv:3: "},
      {"reader fault",
       [](const fs::path& src, const fs::path& out [[maybe_unused]]) {
         write(src / "tables" / "typewrite.tsv", "id:Long\ttg:Memo\nx\ty\n");
       },
       "BqTest.MDB", "tables/typewrite.tsv:2: "},
      {"missing table",
       [](const fs::path& src, const fs::path& out [[maybe_unused]]) {
         fs::remove(src / "tables" / "E_mail.tsv");
       },
       "BqTest.MDB", "tables/E_mail.tsv"},
      {"missing folder", [](const fs::path&, const fs::path&) {}, "no/BqTest.MDB",
       "cannot write \""},
      {"output is a folder",
       [](const fs::path&, const fs::path& out) { fs::create_directory(out / "dir"); }, "dir",
       "cannot write \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();  // a fresh source in a fresh folder
    SetUp();
    c.damage(src(), out());
    for (bool existing : {false, true}) {
      const fs::path target = out() / c.outName;
      if (existing && c.outName == "BqTest.MDB") write(target, "old");
      const auto before = outFiles();
      try {
        buildExamDatabase(src(), target.string(), kPassword);
        ADD_FAILURE() << "built";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.description().rfind(c.message, 0), 0u) << e.description();
      }
      EXPECT_EQ(outFiles(), before) << "no output and no temporary file";
      if (existing && c.outName == "BqTest.MDB") {
        EXPECT_EQ(readFile(target), "old");
      }
    }
  }
}

TEST_F(ExamDatabaseTest, ReplacesAnExistingDatabaseWhole) {
  const fs::path db = out() / "BqTest.MDB";
  buildExamDatabase(src(), db.string(), "first");
  // The second build changes a row and the password; nothing of the first remains.
  write(src() / "tables" / "typewrite.tsv", "id:Long\ttg:Memo\n7\t打字\n");
  buildExamDatabase(src(), db.string(), kPassword);
  EXPECT_EQ(outFiles(), std::vector<std::string>{"BqTest.MDB"});
  db::Connection c;
  EXPECT_THROW(c.Open(jet(db, "first")), AutomationError);
  c.Open(jet(db));
  db::Recordset rs = c.Execute("SELECT id, tg FROM typewrite");
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Fields()["id"].Value(), Variant(int32_t{7}));
  EXPECT_EQ(rs.Fields()["tg"].Value(), Variant("打字"));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  c.Close();
}

TEST(ExamColumnDefinition, MapsEverySourceType) {
  struct Case {
    SourceColumn column;
    int32_t type;
    int32_t size;
    bool key;
  };
  const Case cases[] = {
      {{"topic_id", SourceType::kChar, 2}, db::adWChar, 2, false},
      {{"uid", SourceType::kVarChar, 10}, db::adVarWChar, 10, false},
      {{"tg", SourceType::kMemo, 0}, db::adLongVarWChar, 0, false},
      {{"ID", SourceType::kLong, 0}, db::adInteger, 0, true},
      {{"id", SourceType::kLong, 0}, db::adInteger, 0, true},
      {{"tpid", SourceType::kLong, 0}, db::adInteger, 0, false},
      {{"score", SourceType::kDouble, 0}, db::adDouble, 0, false},
      {{"fj", SourceType::kLongBinary, 0}, db::adLongVarBinary, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column.name);
    const db::ColumnDefinition d = examColumnDefinition(c.column);
    EXPECT_EQ(d.name, c.column.name);
    EXPECT_EQ(d.type, c.type);
    EXPECT_EQ(d.definedSize, c.size);
    EXPECT_EQ(d.primaryKey, c.key);
    EXPECT_FALSE(d.required);
  }
}

}  // namespace
}  // namespace bq
