// The pieces of backup and restore that need no live database: column
// definitions, the text budget, the progress display, backup files and the
// file helpers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "dbmaint/backup_file.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/blocks.h"
#include "dbmaint/db_common.h"
#include "dbmaint/progress.h"
#include "dbmaint/record_copy.h"
#include "platform/db/ado.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/infozip/testing/small_file_system.h"
#include "platform/ui/recorder.h"

namespace bq::dbmaint {
namespace {

namespace fs = std::filesystem;
using db::dbtest::readBytes;
using db::dbtest::TempFolder;
using db::dbtest::writeBytes;

TEST(ColumnDefinition, TypeTextOfEveryAdoType) {
  struct Case {
    int32_t type;
    int32_t size;
    const char* text;
  } cases[] = {
      {db::adDouble, 8, "Score Double NOT NULL"},
      {db::adDate, 8, "Score DateTime NOT NULL"},
      {db::adDBTimeStamp, 16, "Score DateTime NOT NULL"},
      {db::adChar, 5, "Score Char(5) NOT NULL"},
      {db::adVarChar, 300, "Score Char(300) NOT NULL"},
      {db::adVarWChar, 20, "Score Char(20) NOT NULL"},
      {db::adLongVarChar, 0, "Score Memo NOT NULL"},
      {db::adLongVarWChar, 0, "Score Memo NOT NULL"},
      {db::adLongVarBinary, 0, "Score LongBinary NOT NULL"},
      {db::adSingle, 4, "Score LONG NOT NULL"},
      {db::adCurrency, 8, "Score LONG NOT NULL"},
      {db::adWChar, 10, "Score LONG NOT NULL"},  // fixed wide char is no Char
      {db::adBoolean, 2, "Score LONG NOT NULL"},
      {db::adGUID, 16, "Score LONG NOT NULL"},
      {db::adBinary, 16, "Score LONG NOT NULL"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ColumnDefinition("Score", c.type, c.size), c.text) << c.type;
}

TEST(ColumnDefinition, SixColumnsCreatedAtOnceTheSeventhAdded) {
  std::vector<ColumnLayout> columns;
  for (int i = 1; i <= 7; ++i) columns.push_back({"c" + std::to_string(i), db::adDouble, 8});
  std::vector<ColumnLayout> six(columns.begin(), columns.begin() + 6);
  const std::vector<std::string> one = TableDefinitionStatements("T", six);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0],
            "Create Table T (c1 Double NOT NULL, c2 Double NOT NULL, c3 Double NOT NULL, c4 Double "
            "NOT NULL, c5 Double NOT NULL, c6 Double NOT NULL)");
  const std::vector<std::string> two = TableDefinitionStatements("T", columns);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0], one[0]);
  EXPECT_EQ(two[1], "Alter Table T Add c7 Double NOT NULL");
}

TEST(FitTextBytes, CutsAtTheAnsiByteBudget) {
  const std::string chinese20 = "一二三四五六七八九十一二三四五六七八九十";
  struct Case {
    std::string text;
    double half;
    std::string kept;
  } cases[] = {
      {chinese20, 10, "一二三四五六七八九十"},  // 20 characters, 2 bytes each, budget 20
      {std::string(25, 'x'), 10, std::string(20, 'x')},
      {"ab汉", 1.5, "ab"},  // the double-byte character would need 4
      {"ab汉", 2, "ab汉"},
      {"a𝄞b", 1.5, "a𝄞"},  // two UTF-16 units count 2
      {"a𝄞b", 1, "a"},     // never half of it
      {"", 5, ""},
      {"é", 0.5, ""},  // two bytes in GBK
  };
  for (const Case& c : cases) EXPECT_EQ(FitTextBytes(c.text, c.half), c.kept) << c.text;
}

TEST(TrimNull, NullEmptyAndSpaces) {
  EXPECT_EQ(TrimNull(Null{}), "");
  EXPECT_EQ(TrimNull(Variant()), "");
  EXPECT_EQ(TrimNull(std::string("   ")), "");
  EXPECT_EQ(TrimNull(std::string("  宋体 ")), "宋体");
  EXPECT_EQ(TrimNull(2.5), "2.5");
}

TEST(ShowProgress, RoundsTheShareAndDrawsTheBar) {
  struct Case {
    float fraction;
    const char* text;
    double bar;
  } cases[] = {
      {0, "已进行 0%, 请稍侯 ....", 0},           {0.25f, "已进行 25%, 请稍侯 ....", 0.25},
      {0.994f, "已进行 99%, 请稍侯 ....", 0.994}, {0.996f, "已进行 100%, 请稍侯 ....", 0.996},
      {1, "已进行 100%, 请稍侯 ....", 1},
  };
  for (const Case& c : cases) {
    ui::RecordingProgressCanvas canvas;
    ShowProgress(&canvas, c.fraction);
    ASSERT_EQ(canvas.events().size(), 1u);
    EXPECT_EQ(canvas.events()[0].text, c.text);
    EXPECT_NEAR(canvas.events()[0].bar, c.bar, 1e-6);
  }
  const AutomationError e = db::dbtest::errorOf([] { ShowProgress(nullptr, 0.5f); });
  EXPECT_EQ(e.number(), err::kObjectRequired);
}

class BackupFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("BQ_TEMP_DATABASE_FOLDER", folder_.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("BQ_TEMP_DATABASE_FOLDER"); }

  std::string file(const std::string& name) { return (folder_ / name).string(); }

  TempFolder folder_;
  std::shared_ptr<ui::Recorder> recorder_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope_{recorder_};
  ui::RecordingProgressCanvas canvas_;
};

TEST_F(BackupFileTest, ChunksOf16384AfterTheMarker) {
  std::vector<uint8_t> buffer;
  EXPECT_EQ(NextChunk(40000, buffer), 40000u - 16384);
  EXPECT_EQ(buffer.size(), 16384u);
  EXPECT_EQ(NextChunk(7232, buffer), 0u);
  EXPECT_EQ(buffer.size(), 7232u);
  EXPECT_EQ(NextChunk(0, buffer), 0u);
  EXPECT_EQ(buffer.size(), 7232u);

  std::mt19937 rng(7);
  std::vector<uint8_t> data(40000);
  for (auto& b : data) b = static_cast<uint8_t>(rng() % 16);
  writeBytes(file("src"), data);
  ASSERT_TRUE(CompressFile(&canvas_, file("src"), file("out.bak")));
  const std::vector<uint8_t> out = readBytes(file("out.bak"));
  ASSERT_GE(out.size(), 17u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 17), "BQCompressPattern");
  // Three blocks holding 16384, 16384 and 7232 bytes.
  std::vector<size_t> pieces;
  size_t at = 17;
  while (at + 12 <= out.size()) {
    size_t z = 0, u = 0;
    for (int i = 0; i < 6; ++i) z = z * 10 + out[at + i];
    for (int i = 6; i < 12; ++i) u = u * 10 + out[at + i];
    pieces.push_back(u);
    at += 12 + z;
  }
  EXPECT_EQ(at, out.size());
  EXPECT_EQ(pieces, (std::vector<size_t>{16384, 16384, 7232}));
  // Progress after each chunk, from 0.
  ASSERT_EQ(canvas_.events().size(), 4u);
  EXPECT_EQ(canvas_.events()[1].text, "已进行 41%, 请稍侯 ....");
  EXPECT_EQ(canvas_.events()[3].text, "已进行 100%, 请稍侯 ....");

  std::string path = file("out.bak");
  ASSERT_EQ(ExpandFile(&canvas_, path), Expansion::kExpanded);
  EXPECT_EQ(path, TempDatabasePath());
  EXPECT_EQ(readBytes(path), data);
}

TEST_F(BackupFileTest, AFailedWriteKeepsThePreviousBackup) {
  writeBytes(file("out.bak"), {1, 2, 3});
  AutomationError why(0, "", "");
  EXPECT_FALSE(CompressFile(&canvas_, file("missing"), file("out.bak"), &why));
  EXPECT_EQ(why.number(), err::kFileNotFound);
  EXPECT_EQ(readBytes(file("out.bak")), (std::vector<uint8_t>{1, 2, 3}));
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);
}

TEST_F(BackupFileTest, DamagedFilesExpandToNothing) {
  std::vector<uint8_t> data(50000, 'a');
  writeBytes(file("src"), data);
  ASSERT_TRUE(CompressFile(&canvas_, file("src"), file("good.bak")));
  const std::vector<uint8_t> good = readBytes(file("good.bak"));
  writeBytes(TempDatabasePath(), {9, 9});  // an earlier temporary database

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Expansion expected;
    std::vector<uint8_t> temp;  // the temporary database afterwards, when expanded
  } cases[] = {
      {"truncated inside a block", {good.begin(), good.end() - 5}, Expansion::kDamaged, {}},
      {"a header byte above 9",
       [&] {
         auto b = good;
         b[17 + 3] = 10;
         return b;
       }(),
       Expansion::kDamaged,
       {}},
      {"marker only", {good.begin(), good.begin() + 17}, Expansion::kExpanded, {}},
      {"no marker", {'B', 'Q', 'x'}, Expansion::kNotBackupFile, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(file("in"), c.bytes);
    const size_t messages = recorder_->shown().size();
    std::string path = file("in");
    EXPECT_EQ(ExpandFile(&canvas_, path), c.expected);
    if (c.expected == Expansion::kDamaged) {
      EXPECT_EQ(path, file("in"));
      EXPECT_FALSE(fs::exists(TempDatabasePath()));  // deleted, nothing partial in its place
      ASSERT_EQ(recorder_->shown().size(), messages + 1);
      EXPECT_EQ(recorder_->shown().back().prompt.rfind(kDamagedBackupMessage, 0), 0u);
    } else if (c.expected == Expansion::kExpanded) {
      EXPECT_EQ(readBytes(path), c.temp);
    } else {
      EXPECT_EQ(path, file("in"));
    }
  }
}

// A backup file of `blocks` blocks that each expand to 999,999 zero bytes
// (about a thousandth of that on disk).
void writeZeroBlocks(const std::string& path, size_t blocks) {
  std::vector<uint8_t> block;
  ASSERT_EQ(CompressBlock(std::vector<uint8_t>(999'999, 0), block), 0);
  std::ofstream out(path, std::ios::binary);
  out << kBackupMarker;
  for (size_t i = 0; i < blocks; ++i)
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
}

TEST_F(BackupFileTest, ExpansionPastTheBoundIsRefusedBeforeAnythingIsWritten) {
  // 4,399,995,600 bytes announced in about 4.5 MB: past the 4 GiB bound.
  writeZeroBlocks(file("bomb.bak"), 4400);
  writeBytes(TempDatabasePath(), {9, 9});  // an earlier temporary database
  std::string path = file("bomb.bak");
  EXPECT_EQ(ExpandFile(&canvas_, path), Expansion::kTooLarge);
  EXPECT_EQ(path, file("bomb.bak"));
  EXPECT_EQ(readBytes(TempDatabasePath()), (std::vector<uint8_t>{9, 9}));
  ASSERT_EQ(recorder_->shown().size(), 1u);
  EXPECT_EQ(recorder_->shown()[0].prompt.rfind(kBackupTooLargeMessage, 0), 0u);
  EXPECT_NE(recorder_->shown()[0].prompt.find("4399995600 bytes, more than the 4294967296 allowed"),
            std::string::npos)
      << recorder_->shown()[0].prompt;

  // A bound of the caller's: what the blocks announce counts, up to the bound itself.
  struct Case {
    size_t blocks;
    Expansion expected;
  } cases[] = {{1, Expansion::kExpanded}, {2, Expansion::kTooLarge}};
  for (const Case& c : cases) {
    writeZeroBlocks(file("in.bak"), c.blocks);
    path = file("in.bak");
    EXPECT_EQ(ExpandFile(&canvas_, path, BackupLimits{1'000'000}), c.expected) << c.blocks;
  }
}

TEST_F(BackupFileTest, ExpansionNeedsTheFreeSpace) {
  const fs::path small = folder_ / "small";
  fs::create_directory(small);
  writeZeroBlocks(file("six.bak"), 6);
  writeZeroBlocks(file("two.bak"), 2);
  // Six blocks do not fit 4 MiB; two do, with 1 MiB to spare.
  const testing::SmallFileSystemRun run = testing::runWithSmallFileSystem(small, 4 << 20, [&] {
    ::setenv("BQ_TEMP_DATABASE_FOLDER", small.c_str(), 1);
    std::string path = file("six.bak");
    if (ExpandFile(&canvas_, path) != Expansion::kNoSpace) return std::string("six: not refused");
    if (recorder_->shown().empty() ||
        recorder_->shown().back().prompt.rfind(kNoSpaceForBackupMessage, 0) != 0)
      return std::string("six: no message of the free space");
    if (!fs::is_empty(small)) return std::string("six: something was written");
    path = file("two.bak");
    if (ExpandFile(&canvas_, path) != Expansion::kExpanded) return std::string("two: refused");
    if (fs::file_size(path) != 1'999'998) return std::string("two: not all of it");
    return std::string();
  });
  if (!run.mounted) GTEST_SKIP() << "no mount namespace for a small file system here";
  EXPECT_EQ(run.failure, "");
}

TEST_F(BackupFileTest, DeleteFileOrWarnRefusesOnlyAFileInUse) {
  EXPECT_TRUE(DeleteFileOrWarn(file("nothing-here")));
  EXPECT_TRUE(recorder_->shown().empty());

  const std::string sealed = file("held.mdb");
  db::createSealedDatabase(sealed, kComponentPassword, db::dbtest::kFastSeal);
  {
    std::optional<db::Connection> c = OpenMdbConnection(sealed);
    ASSERT_TRUE(c);
    EXPECT_FALSE(DeleteFileOrWarn(sealed));
    EXPECT_TRUE(fs::exists(sealed));
    ASSERT_EQ(recorder_->shown().size(), 1u);
    EXPECT_EQ(recorder_->shown()[0].prompt,
              "[" + sealed + "]\r\n\r\n文件被锁住，请设法手工删除并建议重启系统！");
    EXPECT_EQ(recorder_->shown()[0].buttons, ui::vbInformation);
    c->Close();
  }
  EXPECT_TRUE(DeleteFileOrWarn(sealed));
  EXPECT_FALSE(fs::exists(sealed));

  // A file that is no database opens with the one message, and no connection.
  writeBytes(file("junk.mdb"), {1, 2, 3});
  EXPECT_FALSE(OpenMdbConnection(file("junk.mdb")));
  EXPECT_FALSE(OpenMdbConnection(file("missing.mdb")));
  ASSERT_EQ(recorder_->shown().size(), 3u);
  EXPECT_EQ(recorder_->shown()[2].prompt, kBadFileMessage);
}

TEST(TempDatabasePath, FolderOfTheModuleOrTheChosenOne) {
  EXPECT_EQ(StripTrailingSlash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(StripTrailingSlash("/a/"), "/a");
  EXPECT_EQ(StripTrailingSlash("/a"), "/a");
  ::unsetenv("BQ_TEMP_DATABASE_FOLDER");
  // This test program holds the code; its folder is writable here.
  const fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(TempDatabasePath(), (self.parent_path() / "dbsTemp.MDB").string());
  ::setenv("BQ_TEMP_DATABASE_FOLDER", "/x/y/", 1);
  EXPECT_EQ(TempDatabasePath(), "/x/y/dbsTemp.MDB");
  ::unsetenv("BQ_TEMP_DATABASE_FOLDER");
}

}  // namespace
}  // namespace bq::dbmaint
