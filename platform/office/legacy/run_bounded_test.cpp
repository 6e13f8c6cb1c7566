#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>

#include "platform/office/legacy/legacy_conversion.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office {
namespace {

using namespace std::chrono_literals;

// True while process `pid` runs (a zombie no longer runs).
bool running(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(RunBounded, WaitsForAProgramThatEndsAndKeepsItsOutput) {
  testing::ScratchDir dir;
  const auto start = std::chrono::steady_clock::now();
  ProcessOutcome out =
      runBounded({"/bin/sh", "-c", "echo to-out; echo to-err >&2; exit 3"}, dir / "log", 10s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(out.spawnError, 0);
  EXPECT_FALSE(out.timedOut);
  ASSERT_TRUE(WIFEXITED(out.waitStatus));
  EXPECT_EQ(WEXITSTATUS(out.waitStatus), 3);
  EXPECT_EQ(testing::readFile(dir / "log"), "to-out\nto-err\n");
}

TEST(RunBounded, KillsTheWholeProcessGroupAtTheDeadline) {
  testing::ScratchDir dir;
  const std::string pidFile = (dir / "pid").string();
  const auto start = std::chrono::steady_clock::now();
  ProcessOutcome out = runBounded({"/bin/sh", "-c", "sleep 60 & echo $! > " + pidFile + "; wait"},
                                  dir / "log", 500ms);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(out.timedOut);
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 5s);
  ASSERT_TRUE(WIFSIGNALED(out.waitStatus));
  EXPECT_EQ(WTERMSIG(out.waitStatus), SIGKILL);
  const int child = std::stoi(testing::readFile(pidFile));
  for (int i = 0; i < 100 && running(child); ++i) ::usleep(10'000);
  EXPECT_FALSE(running(child)) << "the program's own child is killed too";
}

TEST(RunBounded, WhatAProgramLeavesRunningIsKilledWhenItEnds) {
  testing::ScratchDir dir;
  const std::string pidFile = (dir / "pid").string();
  ProcessOutcome out =
      runBounded({"/bin/sh", "-c", "sleep 60 & echo $! > " + pidFile}, dir / "log", 10s);
  EXPECT_FALSE(out.timedOut);
  const int child = std::stoi(testing::readFile(pidFile));
  for (int i = 0; i < 100 && running(child); ++i) ::usleep(10'000);
  EXPECT_FALSE(running(child));
}

TEST(RunBounded, ReportsAProgramThatCannotBeStarted) {
  testing::ScratchDir dir;
  ProcessOutcome out = runBounded({(dir / "missing").string()}, dir / "log", 1s);
  EXPECT_EQ(out.spawnError, ENOENT);
  EXPECT_FALSE(out.timedOut);
}

}  // namespace
}  // namespace bq::office
