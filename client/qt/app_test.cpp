// The program's command line as BqTestMy itself answers it: a command line it
// does not take ends with the usage and 2, before any window or database.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  int status = -1;  // the exit status; -signal when ended by one
  std::string err;  // standard error
};

// Runs the program with `args` and no display, for 20 s at most (then it is
// killed, which shows as -SIGKILL).
Outcome runProgram(const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  std::vector<std::string> all = {BQ_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 2);
    // A window started by mistake fails at once rather than waiting for a user.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  Outcome out;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  char buf[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fds[0], POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    out.err.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int ws = 0;
  ::waitpid(pid, &ws, 0);
  out.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
  return out;
}

TEST(ProgramCommandLine, WhatItDoesNotTakeEndsWithTheUsage) {
  const std::vector<std::vector<std::string>> table = {
      {"--browse", "a.htm", "b.htm"},                 // one target at most
      {"--headless"},                                 // no program folder, no events
      {"--headless", "--app-folder", "/nowhere"},     // no events
      {"--headless", "--events", "/nowhere/events"},  // no program folder
      {"--headless", "--app-folder", "/nowhere", "--events", "/e", "--lang=zh"},
      {"--headless", "--app-folder", "/nowhere", "--events", "/e", "http://exam/"},
      {"--networked-run", "/tmp/out"},  // no address
      {"--demo-run", ""},
      {"--desktop-demo", ""},
      {"--networked-run", "", "http://exam/"},
      {"-x"},                              // a short option is nobody's
      {"http://exam/a", "http://exam/b"},  // one address at most
  };
  for (const auto& args : table) {
    std::string line;
    for (const std::string& a : args) line += " '" + a + "'";
    const Outcome out = runProgram(args);
    EXPECT_EQ(out.status, 2) << line << "\n" << out.err;
    EXPECT_EQ(out.err.rfind("usage: BqTestMy [--app-folder DIR] [ADDRESS]\n", 0), 0u)
        << line << "\n"
        << out.err;
  }
}

}  // namespace
