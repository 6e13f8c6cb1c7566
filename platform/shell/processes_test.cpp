#include "platform/shell/processes.h"

#include <errno.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace bq::shell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A user and group no process runs as: signals sent from it reach nothing
// but its own children, and it may not read a root process's /proc/PID/exe.
constexpr uid_t kLoneId = 2147480001;

bool becomeLoneUser() {
  return setgroups(0, nullptr) == 0 && setresgid(kLoneId, kLoneId, kLoneId) == 0 &&
         setresuid(kLoneId, kLoneId, kLoneId) == 0;
}

// Waits at most 5 s for the child `pid` to end; its wait status, or -1.
int reap(pid_t pid) {
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;
    std::this_thread::sleep_for(10ms);
  }
  return -1;
}

bool killedBySigkill(int status) {
  return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Copies of sleep under chosen names, so that each process runs a file of
// that name.
class Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-processes-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    for (pid_t pid : children_) {
      kill(pid, SIGKILL);
      reap(pid);
    }
    fs::remove_all(dir_);
  }

  // Starts a copy of sleep named `name` with argv[0] `argv0` (the copy's path
  // when empty), in a process group of its own when `ownGroup`.
  pid_t start(const std::string& name, std::string argv0 = {}, bool ownGroup = false) {
    const fs::path exe = dir_ / name;
    if (!fs::exists(exe)) fs::copy_file("/bin/sleep", exe);
    if (argv0.empty()) argv0 = exe.string();
    std::string seconds = "60";
    char* argv[] = {argv0.data(), seconds.data(), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (ownGroup) {
      posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
      posix_spawnattr_setpgroup(&attr, 0);
    }
    pid_t pid = 0;
    int rc = posix_spawn(&pid, exe.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    EXPECT_EQ(rc, 0) << name;
    if (rc == 0) children_.push_back(pid);
    return pid;
  }

  bool running(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
  }

  // Reaps `pid` and forgets it; its wait status, or -1 after 5 s.
  int ended(pid_t pid) {
    int status = reap(pid);
    if (status != -1) std::erase(children_, pid);
    return status;
  }

  static std::map<int, std::string> names() {
    std::map<int, std::string> out;
    for (const ProcessEntry& e : processSnapshot()) out[e.pid] = e.exeFile;
    return out;
  }

  fs::path dir_;
  std::vector<pid_t> children_;
};

// The selection of a test's own processes, on made-up process tables.
TEST(Descendants, AreTheProcessesBelowTheRootOnly) {
  const std::vector<ProcessEntry> table = {
      {1, "init", 0},    {50, "bash", 1},         {60, "soffice.bin", 1},  // the developer's
      {100, "test", 50}, {101, "EXCEL.EXE", 100}, {102, "sh", 100},       {103, "soffice.bin", 102},
      {104, "x", 103},   {200, "other", 60},      {300, "self", 300},  // its own parent: a damaged
                                                                       // table
  };
  auto pids = [](const std::vector<ProcessEntry>& entries) {
    std::vector<int> out;
    for (const ProcessEntry& e : entries) out.push_back(e.pid);
    return out;
  };
  EXPECT_EQ(pids(descendantsOf(table, 100)), (std::vector<int>{101, 102, 103, 104}));
  EXPECT_EQ(pids(descendantsOf(table, 102)), (std::vector<int>{103, 104}));
  EXPECT_EQ(pids(descendantsOf(table, 104)), std::vector<int>{});
  EXPECT_EQ(pids(descendantsOf(table, 999)), std::vector<int>{});
  EXPECT_EQ(pids(descendantsOf(table, 300)), std::vector<int>{});
  EXPECT_EQ(pids(descendantsOf({{5, "a", 6}, {6, "b", 5}}, 5)), std::vector<int>{6});
}

// Every test program ends only what it started: its scope is itself.
TEST(Descendants, TheScopeOfATestProgramIsItsOwnProcess) {
  const char* scope = std::getenv("BQ_PROCESS_SCOPE");
  ASSERT_NE(scope, nullptr);
  EXPECT_EQ(std::string(scope), std::to_string(getpid()));
  for (const ProcessEntry& e : endableProcesses()) EXPECT_NE(e.pid, 1) << e.exeFile;
}

TEST_F(Processes, ListsTheWholeNameOfTheFileEachProcessRuns) {
  const std::vector<std::string> table = {
      "EXCEL.EXE",
      "MYEXCEL.EXE",
      "soffice.bin",
      "questionpane.exe",
      "ABCDEFGHIJKLMNOP.EXE",  // 20 characters: comm would keep 15
      "My Excel 2003.exe",     // blanks belong to the name
  };
  std::map<pid_t, std::string> started;
  for (const std::string& name : table) started[start(name)] = name;

  const std::vector<ProcessEntry> snapshot = processSnapshot();
  for (const ProcessEntry& e : snapshot) {
    if (started.count(e.pid)) {
      EXPECT_EQ(e.ppid, getpid()) << e.exeFile;
    }
  }
  std::vector<int> own;
  for (const ProcessEntry& e : endableProcesses()) own.push_back(e.pid);
  for (const auto& [pid, name] : started)
    EXPECT_NE(std::find(own.begin(), own.end(), pid), own.end()) << name;
  EXPECT_EQ(std::adjacent_find(
                snapshot.begin(), snapshot.end(),
                [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid >= b.pid; }),
            snapshot.end())
      << "ascending, each process once";
  std::map<int, std::string> listed;
  for (const ProcessEntry& e : snapshot) listed[e.pid] = e.exeFile;
  for (const auto& [pid, name] : started) EXPECT_EQ(listed[pid], name);
  EXPECT_EQ(listed[getpid()], program_invocation_short_name);

  std::ifstream kthreadd("/proc/2/comm");
  std::string comm;
  if (std::getline(kthreadd, comm) && comm == "kthreadd") {
    EXPECT_EQ(listed.count(2), 0u) << "kernel threads run no file and are not listed";
  }
}

TEST_F(Processes, KeepsTheNameOfAProgramRemovedWhileItRuns) {
  pid_t pid = start("GONE.EXE");
  fs::remove(dir_ / "GONE.EXE");
  EXPECT_EQ(names()[pid], "GONE.EXE") << "without the kernel's \" (deleted)\"";
}

TEST_F(Processes, EndsExactlyTheChosenProcesses) {
  std::map<pid_t, std::string> started;
  for (const char* name :
       {"EXCEL.EXE", "MYEXCEL.EXE", "WORD.EXE", "soffice.bin", "questionpane.exe"})
    started[start(name)] = name;

  // Chosen by name from the snapshot, as ending by name does (our own only).
  std::vector<pid_t> chosen;
  for (const ProcessEntry& e : processSnapshot()) {
    if (!started.count(e.pid)) continue;
    if (e.exeFile.find("EXCEL.EXE") != std::string::npos || e.exeFile == "soffice.bin")
      chosen.push_back(e.pid);
  }
  ASSERT_EQ(chosen.size(), 3u);
  for (pid_t pid : chosen) EXPECT_TRUE(terminateProcess(pid)) << started[pid];
  for (pid_t pid : chosen) {
    EXPECT_TRUE(killedBySigkill(ended(pid))) << started[pid];
    started.erase(pid);
  }
  for (const auto& [pid, name] : started) EXPECT_TRUE(running(pid)) << name << " was not chosen";

  EXPECT_FALSE(terminateProcess(chosen[0])) << "an ended process cannot be ended again";
}

TEST_F(Processes, RefusesNumbersThatKillReadsAsProcessGroups) {
  // -pgid: a whole process group.
  pid_t leader = start("GROUP.EXE", {}, /*ownGroup=*/true);
  EXPECT_FALSE(terminateProcess(-leader));
  EXPECT_TRUE(running(leader));

  // 0: the caller's own group, here a child alone in its group.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setpgid(0, 0);
    _exit(terminateProcess(0) ? 1 : 0);
  }
  int status = reap(child);
  ASSERT_TRUE(status != -1 && WIFEXITED(status))
      << "terminateProcess(0) ended its own process group";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Processes, RefusesMinusOne) {
  // -1: every process the caller may signal. Tried only by a user who owns
  // nothing but one child of its own, so a fault cannot reach anything else.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to try -1 safely";
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!becomeLoneUser()) _exit(77);
    pid_t victim = fork();
    if (victim == 0) {
      pause();
      _exit(0);
    }
    bool refused = !terminateProcess(-1);
    kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
    _exit(refused ? 0 : 1);
  }
  int status = reap(child);
  ASSERT_TRUE(status != -1 && WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot change user here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "terminateProcess(-1) signalled a process";
}

TEST_F(Processes, FallsBackToArgv0WhenTheProgramFileCannotBeRead) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to watch a process of another user";
  pid_t target = start("EXCEL.EXE", "/elsewhere/ARGV0 NAME.EXE");
  ASSERT_EQ(names()[target], "EXCEL.EXE") << "the program file wins where it can be read";

  // Another user may read the target's command line but not its program file.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    char buf[16];
    std::string link = "/proc/" + std::to_string(target) + "/exe";
    if (!becomeLoneUser() || readlink(link.c_str(), buf, sizeof buf) >= 0) _exit(77);
    std::string name = names()[target];
    if (write(fds[1], name.data(), name.size()) < 0) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  std::string seen;
  pollfd pfd = {fds[0], POLLIN, 0};
  char buf[256];
  while (poll(&pfd, 1, 5000) > 0) {
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = reap(child);
  ASSERT_TRUE(status != -1 && WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot arrange an unreadable program file here";
  EXPECT_EQ(seen, "ARGV0 NAME.EXE");
}

TEST(LinuxCounterparts, WholeWindowsNamesOnly) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> table = {
      {"EXCEL.EXE", {"SOFFICE.BIN"}},
      {"WinWord.exe", {"SOFFICE.BIN"}},
      {"POWERPNT.EXE", {"SOFFICE.BIN"}},
      {"IEXPLORE.EXE", {"BQTESTMY"}},
      {"QUESTIONPANE.EXE", {"QUESTIONPANE"}},
      {"EXPLORER.EXE", {}},  // the desktop's file manager is never ended
      {"EXCEL", {}},
      {"MYEXCEL.EXE", {}},
      {"", {}},
  };
  for (const auto& [name, expected] : table) EXPECT_EQ(linuxCounterparts(name), expected) << name;
}

}  // namespace
}  // namespace bq::shell
