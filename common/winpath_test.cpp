#include "common/winpath.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/automation_error.h"

namespace bq::winpath {
namespace {

namespace fs = std::filesystem;

class WinPath : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-winpath-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("BQ_DRIVES", (root_ / "drives").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root_);
  }
  void touch(const fs::path& p) { std::ofstream(p) << "x"; }

  fs::path root_;
};

TEST_F(WinPath, MapsDrivesAndMatchesExistingNamesWithoutRegardToCase) {
  fs::path c = root_ / "drives" / "c";
  EXPECT_EQ(toNative("C:\\BqOperation"), c / "BqOperation");
  EXPECT_TRUE(fs::is_directory(c)) << "the drive folder is created on first use";

  fs::create_directories(c / "BQTEST" / "Sub");
  touch(c / "BQTEST" / "wtbq1.Tg");
  EXPECT_EQ(toNative("c:\\bqtest\\wtbq1.tg"), c / "BQTEST" / "wtbq1.Tg");
  EXPECT_EQ(toNative("C:/BqTest/sub/new/x.txt"), c / "BQTEST" / "Sub" / "new" / "x.txt");
  EXPECT_EQ(toNative("C:\\BQTEST\\.\\Sub\\..\\wtbq1.tg"), c / "BQTEST" / "wtbq1.Tg");
  EXPECT_EQ(toNative("C:\\..\\..\\etc"), c / "etc") << "never above the drive's root";
  EXPECT_EQ(toNative("d:"), root_ / "drives" / "d");
}

TEST_F(WinPath, PassesPosixPathsThrough) {
  EXPECT_EQ(toNative("/tmp\\a\\b"), fs::path("/tmp/a/b"));
  EXPECT_EQ(toNative("rel\\x"), fs::path("rel/x"));
}

TEST_F(WinPath, ListsInTheOriginalOrderWithoutHiddenNames) {
  fs::path d = root_ / "list";
  fs::create_directories(d / "Folder");
  for (const char* n : {"b", "A", "a1", "_x", "Z", ".hidden", "中文", "é"}) touch(d / n);
  std::vector<std::string> names;
  for (const auto& e : listDirectory(d)) {
    names.push_back(e.name);
    EXPECT_EQ(e.isDirectory, e.name == "Folder") << e.name;
  }
  // Upper-cased UTF-16 code units: "A" < "A1" < "B" < "FOLDER" < "Z" < "_X" < "É" < "中文".
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a1", "b", "Folder", "Z", "_x", "é", "中文"}));
}

TEST_F(WinPath, ListsAMissingFolderAsEmptyButFailsOnAnUnreadableOne) {
  EXPECT_TRUE(listDirectory(root_ / "nope").empty());
  fs::path d = root_ / "locked";
  fs::create_directories(d);
  fs::permissions(d, fs::perms::none);
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  try {
    listDirectory(d);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 70);
  }
  fs::permissions(d, fs::perms::owner_all);
}

TEST_F(WinPath, TellsAMissingFileFromAMissingPath) {
  auto number = [](int errnum, const fs::path& p) {
    try {
      raiseOpenError(errnum, p);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number(ENOENT, root_ / "missing.txt"), 53);
  EXPECT_EQ(number(ENOENT, root_ / "nofolder" / "missing.txt"), 76);
  EXPECT_EQ(number(EACCES, root_ / "locked.txt"), 70);
  EXPECT_EQ(number(EISDIR, root_), 75);
}

TEST_F(WinPath, ReportsLinksToFoldersAsFolders) {
  fs::path d = root_ / "links";
  fs::create_directories(d / "real");
  fs::create_directory_symlink(d / "real", d / "toreal");
  fs::create_symlink(d / "missing", d / "dangling");
  auto entries = listDirectory(d);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "dangling");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_TRUE(entries[2].isDirectory);
  EXPECT_TRUE(entries[2].isLink);
}

TEST_F(WinPath, OnDriveTakesOnlyDrivePathsThatStayOnTheirDrive) {
  fs::path c = root_ / "drives" / "c";
  fs::create_directories(c / "in");
  fs::create_directories(root_ / "out");
  fs::create_directory_symlink(root_ / "out", c / "away");
  EXPECT_EQ(toNativeOnDrive("C:\\In\\x.doc"), c / "in" / "x.doc");
  for (const std::string& path :
       {std::string("/tmp/x"), std::string("rel\\x"), std::string("\\\\host\\share"),
        std::string("C:\\away\\x.doc"), std::string("C:\\in\\wt\0.doc", 13)}) {
    int32_t number = 0;
    try {
      toNativeOnDrive(path);
    } catch (const AutomationError& e) {
      number = e.number();
    }
    EXPECT_EQ(number, err::kPathFileAccess) << path;
  }
}

}  // namespace
}  // namespace bq::winpath
