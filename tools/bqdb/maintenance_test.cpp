// bqdb backup and restore as an administrator runs them, and what a process
// that dies or a disk that fills does to the files and the live database.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dbmaint/backup_file.h"
#include "dbmaint/db_common.h"
#include "platform/db/connection.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"

namespace {

namespace fs = std::filesystem;
using bq::db::dbtest::readBytes;
using bq::db::dbtest::TempFolder;

std::string sqliteString(const fs::path& file) {
  return "Provider=SQLite;Data Source=" + file.string() + ";";
}

// A plain SQLite file made by `statements`.
void makeDatabase(const fs::path& file, const std::vector<std::string>& statements) {
  std::FILE* f = std::fopen(file.c_str(), "w");
  std::fclose(f);
  bq::db::Connection c;
  c.Open(sqliteString(file));
  for (const std::string& s : statements) c.Execute(s);
  c.Close();
}

int64_t countRows(const fs::path& file, const std::string& table) {
  bq::db::Connection c;
  c.Open(sqliteString(file));
  const int64_t n = std::stoll(
      bq::db::variantText(c.Execute("Select Count(*) From " + table).Fields()[0].Value()));
  c.Close();
  return n;
}

// A child process running bqdb with `args`; standard error comes through a pipe.
struct Child {
  pid_t pid = -1;
  int err = -1;
};

Child start(const std::vector<std::string>& args, const fs::path& tempFolder) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> all = {BQDB_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string folder = tempFolder.string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 2);
    ::setenv("BQ_TEMP_DATABASE_FOLDER", folder.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  return {pid, fds[0]};
}

// Reads the child's standard error to its end; its exit status, -signal when killed.
int finish(Child& c, std::string& err) {
  char buf[4096];
  for (ssize_t n; (n = ::read(c.err, buf, sizeof buf)) > 0;)
    err.append(buf, static_cast<size_t>(n));
  ::close(c.err);
  int ws = 0;
  ::waitpid(c.pid, &ws, 0);
  return WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
}

class BqdbMaintenance : public ::testing::Test {
 protected:
  fs::path file(const char* name) const { return folder_ / name; }
  int run(const std::vector<std::string>& args, std::string& err) {
    Child c = start(args, folder_.path());
    return finish(c, err);
  }
  TempFolder folder_;
};

TEST_F(BqdbMaintenance, ExitStatusZeroOnlyWhenEveryTableWasDone) {
  makeDatabase(file("live.db"), {"Create Table T (id Integer Primary Key, name VarChar(10))",
                                 "Insert Into T Values (1, 'a'), (2, 'b'), (3, 'c')"});
  const std::string live = sqliteString(file("live.db"));
  std::string err;
  EXPECT_EQ(
      run({"backup", live, file("t.bak").string(), "--table", "T", "--table", "Missing"}, err), 1);
  EXPECT_NE(err.find("bqdb: backup: T: 3 rows\n"), std::string::npos) << err;
  EXPECT_NE(err.find("bqdb: backup: Missing: not done: "), std::string::npos) << err;
  err.clear();
  EXPECT_EQ(run({"backup", live, file("t.bak").string(), "--table", "T", "--where", " Where id > 1",
                 "--delete"},
                err),
            0)
      << err;
  EXPECT_EQ(countRows(file("live.db"), "T"), 1);
  err.clear();
  EXPECT_EQ(run({"restore", live, file("t.bak").string(), "--table", "T", "--keep-rows"}, err), 0)
      << err;
  EXPECT_NE(err.find("table: 已进行 100%, 请稍侯 ...."), std::string::npos) << err;
  EXPECT_EQ(countRows(file("live.db"), "T"), 3);
  err.clear();
  EXPECT_EQ(run({"restore", live, file("t.bak").string(), "--table", "T", "--select-live", "a",
                 "--select-live", "b"},
                err),
            1);
  EXPECT_NE(err.find("one text per --table"), std::string::npos) << err;
}

TEST_F(BqdbMaintenance, AKilledRestoreLeavesTheOldRowsOrAllNewOnes) {
  constexpr int kRows = 200000;
  const std::string table =
      "Create Table Big (id Integer Primary Key, name VarChar(40), score Double, memo Memo)";
  // The backup file is made from a database of its rows directly, which is
  // what the temporary database of a backup holds.
  makeDatabase(file("image.db"),
               {table, "With Recursive c(x) As (Select 1 Union All Select x + 1 From c Where x < " +
                           std::to_string(kRows) +
                           ") Insert Into Big Select x, '考生' || x, x * 0.5, 'row ' || x From c"});
  bq::db::sealDatabaseFile(file("image.db").string(), file("image.mdb").string(),
                           bq::dbmaint::kComponentPassword, bq::db::dbtest::kFastSeal);
  bq::ui::RecordingProgressCanvas canvas;
  ASSERT_TRUE(
      bq::dbmaint::CompressFile(&canvas, file("image.mdb").string(), file("big.bak").string()));
  makeDatabase(file("live.db"),
               {table, "Insert Into Big Values (1, 'old', 1, 'old'), (2, 'old', 2, 'old')"});

  Child c =
      start({"restore", sqliteString(file("live.db")), file("big.bak").string(), "--table", "Big"},
            folder_.path());
  // Killed once a fifth of the rows are in, in the middle of the table.
  std::string err, line;
  bool killed = false;
  char ch;
  while (::read(c.err, &ch, 1) == 1) {
    if (ch != '\n') {
      line += ch;
      continue;
    }
    if (line.rfind("table: 已进行 ", 0) == 0 &&
        std::stoi(line.substr(line.find(' ') + 1 + 10)) >= 20) {
      ::kill(c.pid, SIGKILL);
      killed = true;
      break;
    }
    err += line + "\n";
    line.clear();
  }
  const int status = finish(c, err);
  ASSERT_TRUE(killed) << err;
  EXPECT_EQ(status, -SIGKILL);
  EXPECT_EQ(countRows(file("live.db"), "Big"), 2);  // the journal undid the unfinished table

  // Run to its end, the table holds every new row.
  err.clear();
  EXPECT_EQ(
      run({"restore", sqliteString(file("live.db")), file("big.bak").string(), "--table", "Big"},
          err),
      0)
      << err;
  EXPECT_EQ(countRows(file("live.db"), "Big"), kRows);
}

TEST_F(BqdbMaintenance, ADiskThatFillsKeepsThePreviousBackup) {
  // Random bytes do not compress: a second backup file does not fit beside
  // the first on a file system with room for about one and a half.
  std::vector<std::string> statements = {"Create Table T (id Integer Primary Key, b LongBinary)"};
  for (int i = 1; i <= 40; ++i)
    statements.push_back("Insert Into T Values (" + std::to_string(i) + ", randomblob(8000))");
  makeDatabase(file("live.db"), statements);
  const std::string live = sqliteString(file("live.db"));
  std::string err;
  ASSERT_EQ(run({"backup", live, file("previous.bak").string(), "--table", "T"}, err), 0) << err;
  const auto size = fs::file_size(file("previous.bak"));

  // The backup goes to a small file system of its own (a tmpfs in a mount
  // namespace of the child's), holding the previous backup file; the live
  // and the temporary database lie outside it.
  fs::create_directory(file("small"));
  const std::string script =
      "mount -t tmpfs -o size=" + std::to_string(size * 3 / 2 / 1024) +
      "k none \"$1\" || exit 99; cp \"$2\" \"$1/t.bak\" || exit 99; "
      "\"$3\" backup \"$4\" \"$1/t.bak\" --table T; rc=$?; "
      "cmp -s \"$2\" \"$1/t.bak\" && echo INTACT >&2; ls -A \"$1\" >&2; exit $rc";
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  const std::string folder = folder_.path().string();
  std::vector<std::string> args = {"unshare",
                                   "-rm",
                                   "sh",
                                   "-c",
                                   script,
                                   "sh",
                                   file("small").string(),
                                   file("previous.bak").string(),
                                   BQDB_PATH,
                                   live};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 2);
    ::setenv("BQ_TEMP_DATABASE_FOLDER", folder.c_str(), 1);
    ::execvp("unshare", argv.data());
    ::_exit(98);
  }
  ::close(fds[1]);
  Child child{pid, fds[0]};
  err.clear();
  const int status = finish(child, err);
  if (status == 98 || status == 99)
    GTEST_SKIP() << "no mount namespace for a small file system here: " << err;
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("出错，备份文件没有写成，原有的备份文件保持不变！"), std::string::npos) << err;
  EXPECT_NE(err.find("Disk full"), std::string::npos) << err;
  EXPECT_NE(err.find("INTACT\n"), std::string::npos) << err;
  // Nothing is left beside it.
  EXPECT_NE(err.find("INTACT\nt.bak\n"), std::string::npos) << err;
}

}  // namespace
