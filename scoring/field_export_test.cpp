#include "scoring/field_export.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/automation_error.h"
#include "dbmaint/block_stream.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

ByteArray pattern(size_t n, uint8_t seed) {
  ByteArray b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<uint8_t>(x >> 24) % 7 == 0 ? static_cast<uint8_t>(x >> 16) : 'a' + seed % 3;
  }
  return b;
}

class FieldExport : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-export-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::ofstream(dir_ / "q.db");  // an empty file is an empty SQLite database
    db_.Open("Provider=SQLite;Data Source=" + (dir_ / "q.db").string() + ";");
    db_.createTable("wordtest", {{"id", db::adInteger, 0, true, true},
                                 {"fj", db::adLongVarBinary, 0, false, false}});
  }
  void TearDown() override {
    db_.Close();
    fs::remove_all(dir_);
  }

  // The record of `id` holding `field` (Null when nothing), positioned on it.
  db::Recordset record(int id, const Variant& field) {
    db_.Execute("INSERT INTO wordtest (id, fj) VALUES (?, ?)", {int32_t{id}, field});
    db::Recordset rs;
    rs.Open("SELECT id, fj FROM wordtest WHERE id = ?", db_, db::adOpenForwardOnly,
            db::adLockReadOnly, std::vector<Variant>{int32_t{id}});
    return rs;
  }

  std::string content(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  fs::path dir_;
  db::Connection db_;
};

TEST_F(FieldExport, WritesTheExpandedBlocksInStoredOrder) {
  const struct {
    size_t size;  // 100 bytes: one block; 16484: two
  } cases[] = {{100}, {16384 + 100}, {3 * 16384}};
  int id = 0;
  for (const auto& c : cases) {
    const ByteArray data = pattern(c.size, static_cast<uint8_t>(id));
    db::Recordset rs = record(++id, compressBlockSequence(data));
    const fs::path out = dir_ / ("out" + std::to_string(id) + ".doc");
    EXPECT_TRUE(GetOleData(rs, out.string(), "FJ")) << "field names without regard to case";
    EXPECT_EQ(content(out), std::string(data.begin(), data.end())) << c.size;
  }
}

TEST_F(FieldExport, ANullFieldGivesAnEmptyFileAndTrue) {
  db::Recordset rs = record(1, Null{});
  EXPECT_TRUE(GetOleData(rs, (dir_ / "empty.doc").string(), "fj"));
  EXPECT_EQ(fs::file_size(dir_ / "empty.doc"), 0u);
}

TEST_F(FieldExport, ReplacesALongerFileWholeWithNoOldTail) {
  const fs::path out = dir_ / "old.doc";
  std::ofstream(out) << std::string(50000, 'Z');
  const ByteArray data = pattern(100, 9);
  db::Recordset rs = record(1, compressBlockSequence(data));
  ASSERT_TRUE(GetOleData(rs, out.string(), "fj"));
  EXPECT_EQ(content(out), std::string(data.begin(), data.end()));
}

TEST_F(FieldExport, ADamagedFieldFailsAndLeavesTheFileAsItWas) {
  const ByteArray sound = compressBlockSequence(pattern(16384 + 500, 4));
  ByteArray flipped = sound;
  flipped[flipped.size() - 30] ^= 0x40;  // inside the second block's stream
  ByteArray cut(sound.begin(), sound.end() - 1);
  ByteArray shortHeader = sound;
  shortHeader.insert(shortHeader.end(), {0, 0, 1});  // three stray bytes after the last block
  ByteArray notDigits = sound;
  notDigits[2] = 11;
  const struct {
    const char* what;
    ByteArray field;
    const char* message;
  } cases[] = {
      {"a flipped stream byte", flipped, "Damaged compressed block 2 at byte offset"},
      {"the last byte cut", cut, "Damaged compressed block 2"},
      {"a cut header", shortHeader, "Damaged compressed block 3"},
      {"a header byte above 9", notDigits, "Damaged compressed block 1 at byte offset 0"},
  };
  int id = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path out = dir_ / "answer.doc";
    std::ofstream(out) << "before";
    db::Recordset rs = record(++id, c.field);
    try {
      GetOleData(rs, out.string(), "fj");
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 5);
      EXPECT_NE(e.description().find(c.message), std::string::npos) << e.description();
    }
    EXPECT_EQ(content(out), "before");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
        << "no temporary file left beside it";
  }
}

TEST_F(FieldExport, AWriteFailingPastTheFirstMegabytesFailsAndLeavesTheFileAsItWas) {
  // The data is written on another thread while later blocks expand: its
  // failure must still fail the export and keep the old file.
  db::Recordset rs = record(1, compressBlockSequence(pattern(5u << 20, 3)));
  const fs::path out = dir_ / "answer.doc";
  std::ofstream(out) << "before";
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 5u << 19;  // files end at 2.5 MiB: the third megabyte fails
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool failed = false;
  try {
    GetOleData(rs, out.string(), "fj");
  } catch (const AutomationError&) {
    failed = true;
  }
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_TRUE(failed);
  EXPECT_EQ(content(out), "before");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
      << "no temporary file left beside it";
}

TEST_F(FieldExport, FailsWithTheDataAccessOrFileError) {
  db::Recordset rs = record(1, compressBlockSequence(pattern(10, 1)));
  const struct {
    std::string file, field;
    int32_t number;
  } cases[] = {
      {(dir_ / "x.doc").string(), "nosuchfield", db::adErrItemNotFound},
      {(dir_ / "nofolder" / "x.doc").string(), "fj", 76},
  };
  for (const auto& c : cases) {
    try {
      GetOleData(rs, c.file, c.field);
      ADD_FAILURE() << "no error for " << c.field;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), c.number) << e.description();
    }
  }
  EXPECT_FALSE(fs::exists(dir_ / "x.doc"));
}

}  // namespace
}  // namespace bq
