#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "dbmaint/block_stream.h"
#include "dbmaint/exam_source.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/value.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Bqdb : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-bqdb-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directory(dir_ / "work");
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::remove_all(dir_);
  }

  // Runs bqdb with `args`; its exit code, and its stderr in err_.
  int run(const std::vector<std::string>& args) {
    std::string cmd = BQDB_PATH;
    for (const auto& a : args) {
      std::string quoted;
      for (char ch : a) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
      cmd += " '" + quoted + "'";
    }
    int ws = std::system(
        (cmd + " 2>'" + (dir_ / "err").string() + "' >'" + (dir_ / "out").string() + "'").c_str());
    Bytes err = readFile(dir_ / "err");
    err_.assign(err.begin(), err.end());
    Bytes out = readFile(dir_ / "out");
    out_.assign(out.begin(), out.end());
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  }
  static Bytes readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  static void writeFile(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  fs::path work(const char* name) const { return dir_ / "work" / name; }
  // What the work folder holds, to see that nothing was left behind.
  std::vector<std::string> workFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / "work"))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::string err_;
  std::string out_;
};

Bytes sampleData(size_t n) {
  std::mt19937 rng(5);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = i % 3000 < 1500 ? static_cast<uint8_t>(rng()) : 'a' + i % 26;
  return b;
}

TEST_F(Bqdb, CompressesAndExpandsFilesBothWays) {
  for (size_t size : {0, 70000}) {
    SCOPED_TRACE(size);
    const Bytes data = sampleData(size);
    writeFile(work("in.bin"), data);
    ASSERT_EQ(run({"blocks", "compress", work("in.bin"), work("in.blk")}), 0) << err_;
    EXPECT_EQ(readFile(work("in.blk")), bq::compressBlockSequence(data));
    ASSERT_EQ(run({"blocks", "expand", work("in.blk"), work("out.bin")}), 0) << err_;
    EXPECT_EQ(readFile(work("out.bin")), data);
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"in.bin", "in.blk", "out.bin"}));
    fs::remove(work("out.bin"));
  }
}

TEST_F(Bqdb, TakesWindowsPathsAndReplacesAnExistingOutput) {
  setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
  const fs::path folder = dir_ / "drives" / "c" / "BQTEST";
  fs::create_directories(folder);
  const Bytes data = sampleData(20000);
  writeFile(folder / "wdbq1.doc", data);
  writeFile(folder / "wdbq1.blk", Bytes(5, 'x'));
  ASSERT_EQ(run({"blocks", "compress", "c:\\bqtest\\WDBQ1.DOC", "C:\\BQTEST\\wdbq1.blk"}), 0)
      << err_;
  EXPECT_EQ(readFile(folder / "wdbq1.blk"), bq::compressBlockSequence(data));
}

TEST_F(Bqdb, FailuresLeaveNoOutputAndKeepAnExistingOne) {
  const Bytes sound = bq::compressBlockSequence(sampleData(40000));
  Bytes damaged = sound;
  damaged[damaged.size() - 20] ^= 0x55;  // in the stream of the third block
  writeFile(work("bad.blk"), damaged);
  writeFile(work("cut.blk"), Bytes(sound.begin(), sound.end() - 1));
  fs::create_directory(work("sub"));

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"blocks", "expand", work("bad.blk"), work("out.bin")}, "Damaged compressed block 3 at"},
      {{"blocks", "expand", work("cut.blk"), work("out.bin")}, "Damaged compressed block 3 at"},
      {{"blocks", "compress", work("none"), work("out.bin")}, "cannot open"},
      {{"blocks", "compress", work("bad.blk"), work("no/out.bin")}, "no/out.bin"},
      {{"blocks", "compress", work("bad.blk"), work("sub")}, "cannot replace"},
  };
  const Bytes old{'o', 'l', 'd'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    for (bool existing : {false, true}) {
      if (existing) writeFile(work("out.bin"), old);
      const auto before = workFiles();
      EXPECT_EQ(run(c.args), 1);
      EXPECT_EQ(err_.rfind("bqdb: blocks ", 0), 0u) << err_;
      EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
      EXPECT_EQ(workFiles(), before) << "no output and no temporary file";
      EXPECT_EQ(readFile(work("out.bin")), existing ? old : Bytes{});
      fs::remove(work("out.bin"));
    }
  }
}

// ------------------------------------------------------------ databases

const std::string kPassword = "KVRMTX5830";

std::string jet(const fs::path& file, const std::string& password = kPassword) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
         ";Jet OLEDB:Database Password=" + password + ";";
}

// A plain SQLite database with a few rows.
void makePlain(const fs::path& file) {
  std::ofstream(file).close();
  bq::db::Connection c;
  c.Open("Provider=SQLite;Data Source=" + file.string());
  c.Execute(
      "CREATE TABLE topics (topic_id VarChar(2), topic_name VarChar(20) COLLATE NOCASE, "
      "n Integer, score Double, price Currency, big BigInt, born DateTime, fj LongBinary)");
  c.Execute(
      "INSERT INTO topics VALUES ('01', 'Choice \"A\" 汉', 1, 0.5, 12.25, 9007199254740993, "
      "'2024-01-02 03:04:05', x'00FF10'), ('02', NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  c.Close();
}

TEST_F(Bqdb, SealsAndUnsealsDatabases) {
  makePlain(work("plain.db"));
  ASSERT_EQ(run({"seal", work("plain.db"), work("BqTest.MDB"), "--password", kPassword}), 0)
      << err_;
  {
    bq::db::Connection c;
    c.Open(jet(work("BqTest.MDB")));
    bq::db::Recordset rs =
        c.Execute("SELECT topic_id FROM topics WHERE topic_name = 'choice \"a\" 汉'");
    EXPECT_EQ(rs.Fields()[0].Value(), bq::Variant("01"));
    c.Close();
  }
  ASSERT_EQ(run({"unseal", work("BqTest.MDB"), work("back.db"), "--password", kPassword}), 0)
      << err_;
  EXPECT_EQ(readFile(work("back.db")), readFile(work("plain.db")));
  EXPECT_EQ(workFiles(), (std::vector<std::string>{"BqTest.MDB", "back.db", "plain.db"}));
}

TEST_F(Bqdb, SealFailuresLeaveNoOutput) {
  makePlain(work("plain.db"));
  ASSERT_EQ(run({"seal", work("plain.db"), work("good.mdb"), "--password", kPassword}), 0) << err_;
  Bytes damaged = readFile(work("good.mdb"));
  damaged[damaged.size() - 5] ^= 1;
  writeFile(work("bad.mdb"), damaged);
  writeFile(work("text.txt"), Bytes(600, 'x'));
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"unseal", work("good.mdb"), work("out.db"), "--password", "kvrmtx5830"},
       "Not a valid password."},
      {{"unseal", work("bad.mdb"), work("out.db"), "--password", kPassword}, "is damaged"},
      {{"unseal", work("text.txt"), work("out.db"), "--password", kPassword},
       "Unrecognized database format"},
      {{"unseal", work("none.mdb"), work("out.db"), "--password", kPassword},
       "Could not find file"},
      {{"seal", work("text.txt"), work("out.db"), "--password", kPassword},
       "Unrecognized database format"},
      {{"seal", work("none.db"), work("out.db"), "--password", kPassword}, "Could not find file"},
      {{"seal", work("plain.db"), work("out.db")}, "password"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto before = workFiles();
    EXPECT_NE(run(c.args), 0);
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    EXPECT_EQ(workFiles(), before) << "no output and no temporary file";
  }
}

TEST_F(Bqdb, QueryPrintsRowsAsJsonLines) {
  makePlain(work("plain.db"));
  ASSERT_EQ(run({"seal", work("plain.db"), work("BqTest.MDB"), "--password", kPassword}), 0)
      << err_;
  ASSERT_EQ(run({"query", jet(work("BqTest.MDB")), "SELECT * FROM topics ORDER BY topic_id"}), 0)
      << err_;
  EXPECT_EQ(
      out_,
      "{\"topic_id\":\"01\",\"topic_name\":\"Choice \\\"A\\\" 汉\",\"n\":1,\"score\":0.5,"
      "\"price\":12.25,\"big\":9007199254740993,\"born\":\"2024-01-02 03:04:05\",\"fj\":\"AP8Q\"}\n"
      "{\"topic_id\":\"02\",\"topic_name\":null,\"n\":null,\"score\":null,\"price\":null,"
      "\"big\":null,\"born\":null,\"fj\":null}\n");
  // A change through query is sealed again; placeholders take the values.
  ASSERT_EQ(run({"query", jet(work("BqTest.MDB")),
                 "INSERT INTO topics (topic_id, topic_name) VALUES (?, ?)", "--param", "03",
                 "--param", "x'); DROP TABLE topics; --"}),
            0)
      << err_;
  EXPECT_EQ(out_, "");
  ASSERT_EQ(run({"query", jet(work("BqTest.MDB")),
                 "SELECT topic_name AS name FROM topics WHERE topic_id = ?", "--param", "03"}),
            0)
      << err_;
  EXPECT_EQ(out_, "{\"name\":\"x'); DROP TABLE topics; --\"}\n");

  EXPECT_EQ(run({"query", jet(work("BqTest.MDB")), "SELECT * FROM missing"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "bqdb: query: no such table: missing\n");
  EXPECT_EQ(run({"query", "Provider=Nothing;Data Source=x", "SELECT 1"}), 1);
  EXPECT_EQ(err_, "bqdb: query: Provider cannot be found. It may not be properly installed.\n");
}

// ------------------------------------------------------------ build

TEST_F(Bqdb, BuildsTheDemoPapersIntoASealedDatabase) {
  ASSERT_EQ(run({"build", BQ_DEMO_PAPERS_SRC, work("BqTest.MDB"), "--password", kPassword}), 0)
      << err_;
  EXPECT_EQ(err_, "");
  EXPECT_EQ(workFiles(), std::vector<std::string>{"BqTest.MDB"});

  // Every table with as many rows as its source file.
  const bq::ExamSource source = bq::readExamSource(BQ_DEMO_PAPERS_SRC);
  bq::db::Connection c;
  c.Open(jet(work("BqTest.MDB")));
  for (const bq::SourceTable& table : source.tables) {
    SCOPED_TRACE(table.name);
    bq::db::Recordset rs = c.Execute("SELECT count(*) FROM " + table.name);
    EXPECT_EQ(bq::db::variantText(rs.Fields()[0].Value()), std::to_string(table.rows.size()));
  }
  c.Close();
  EXPECT_EQ(run({"query", jet(work("BqTest.MDB"), "x"), "SELECT 1"}), 1);
  EXPECT_EQ(err_, "bqdb: query: Not a valid password.\n");
}

TEST_F(Bqdb, BuildFailuresLeaveNoOutputAndKeepAnExistingOne) {
  const fs::path src = dir_ / "src";
  fs::copy(BQ_DEMO_PAPERS_SRC, src, fs::copy_options::recursive);
  const fs::path bad = dir_ / "bad";
  fs::copy(src, bad, fs::copy_options::recursive);
  { std::ofstream(bad / "tables" / "typewrite.tsv", std::ios::app) << "x\ty\n"; }
  const fs::path noFile = dir_ / "nofile";
  fs::copy(src, noFile, fs::copy_options::recursive);
  fs::remove_all(noFile / "files" / "exceltest");

  struct Case {
    std::vector<std::string> args;
    std::string message;  // what stderr must say
  };
  const Case cases[] = {
      {{"build", bad, work("BqTest.MDB"), "--password", kPassword},
       "bqdb: build: tables/typewrite.tsv:"},
      {{"build", noFile, work("BqTest.MDB"), "--password", kPassword},
       "bqdb: build: tables/exceltest.tsv:2: field 3 (fj): cannot read"},
      {{"build", dir_ / "none", work("BqTest.MDB"), "--password", kPassword}, "bqdb: build: "},
      {{"build", src, work("no/BqTest.MDB"), "--password", kPassword},
       "bqdb: build: cannot write \"" + work("no/BqTest.MDB").string() + "\": "},
      {{"build", src, work("BqTest.MDB")}, "password"},
      {{"build", src}, "OUT"},
  };
  const Bytes old{'o', 'l', 'd'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    for (bool existing : {false, true}) {
      if (existing) writeFile(work("BqTest.MDB"), old);
      const auto before = workFiles();
      EXPECT_NE(run(c.args), 0);
      EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
      EXPECT_EQ(workFiles(), before) << "no output and no temporary file";
      if (existing) {
        EXPECT_EQ(readFile(work("BqTest.MDB")), old);
      }
      fs::remove(work("BqTest.MDB"));
    }
  }
}

}  // namespace
