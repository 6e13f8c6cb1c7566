// Worker processes with real children: answers come back from every worker,
// a worker that dies or hangs loses only its own request and is replaced,
// and what a hung worker started is ended with it.
#include "platform/shell/worker_processes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

namespace bq::shell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The test workers' requests: "upper TEXT" answers TEXT upper-cased and the
// worker's process id; "die" ends the worker with SIGTERM, "quit" returns
// from serve, "throw" throws from it; "hang FILE" starts a process in a
// group of its own, writes its id to FILE and never answers.
void serveTestRequests(WorkerChannel& channel) {
  while (auto request = channel.nextRequest()) {
    const std::string& r = *request;
    if (r.starts_with("upper ")) {
      std::string text = r.substr(6);
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (!channel.answer(text + "@" + std::to_string(::getpid()))) return;
    } else if (r == "die") {
      ::raise(SIGTERM);
    } else if (r == "quit") {
      return;
    } else if (r == "throw") {
      throw std::runtime_error("bad request");
    } else if (r.starts_with("hang ")) {
      const pid_t helper = ::fork();
      if (helper == 0) {
        ::setpgid(0, 0);
        ::pause();
        ::_exit(0);
      }
      std::ofstream(r.substr(5)) << helper;
      std::this_thread::sleep_for(60s);
    }
  }
}

struct Outcome {
  std::map<size_t, std::string> answers;
  std::map<size_t, WorkerLoss> losses;
};

Outcome serve(const std::vector<std::string>& requests, int workers,
              std::chrono::milliseconds timeout = 10s) {
  Outcome out;
  WorkerPoolOptions options;
  options.workers = workers;
  options.requestTimeout = timeout;
  runOnWorkers(
      requests, options, serveTestRequests,
      [&](size_t i, std::string answer) {
        EXPECT_TRUE(out.answers.emplace(i, answer).second) << "answered twice: " << i;
      },
      [&](size_t i, const WorkerLoss& why) {
        EXPECT_TRUE(out.losses.emplace(i, why).second) << "lost twice: " << i;
      });
  return out;
}

bool noChildrenLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

TEST(WorkerProcesses, EveryRequestIsAnsweredOnceAndEveryWorkerTakesSome) {
  std::vector<std::string> requests;
  for (int i = 0; i < 30; ++i) requests.push_back("upper w" + std::to_string(i));
  const Outcome out = serve(requests, 2);
  ASSERT_EQ(out.answers.size(), requests.size());
  EXPECT_TRUE(out.losses.empty());
  std::set<std::string> workers;
  for (const auto& [i, answer] : out.answers) {
    const size_t at = answer.find('@');
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(answer.substr(0, at), "W" + std::to_string(i));
    workers.insert(answer.substr(at + 1));
  }
  EXPECT_EQ(workers.size(), 2u);
  EXPECT_TRUE(noChildrenLeft());
}

TEST(WorkerProcesses, AWorkerThatDiesLosesOnlyItsRequestAndIsReplaced) {
  struct Case {
    std::string request;
    int signal;  // reported with the loss
  };
  const Case cases[] = {{"die", SIGTERM}, {"quit", 0}, {"throw", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    // One worker: the requests after the lost one need its replacement.
    const Outcome out = serve({"upper a", c.request, "upper b"}, 1);
    ASSERT_EQ(out.losses.size(), 1u);
    ASSERT_EQ(out.losses.count(1), 1u);
    EXPECT_EQ(out.losses.at(1).kind, WorkerLoss::Kind::kDied);
    EXPECT_EQ(out.losses.at(1).signal, c.signal);
    ASSERT_EQ(out.answers.size(), 2u);
    EXPECT_EQ(out.answers.at(0).substr(0, 2), "A@");
    EXPECT_EQ(out.answers.at(2).substr(0, 2), "B@");
    EXPECT_NE(out.answers.at(0).substr(2), out.answers.at(2).substr(2))
        << "the last answer came from the worker that was lost";
    EXPECT_TRUE(noChildrenLeft());
  }
}

TEST(WorkerProcesses, AHungWorkerIsKilledWithWhatItStartedAndTheNextGoesOn) {
  char folder[] = "/tmp/bq-workers-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const fs::path pidFile = fs::path(folder) / "helper";
  const auto started = std::chrono::steady_clock::now();
  const Outcome out = serve({"hang " + pidFile.string(), "upper b"}, 1, 300ms);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  ASSERT_EQ(out.losses.size(), 1u);
  EXPECT_EQ(out.losses.at(0).kind, WorkerLoss::Kind::kTimedOut);
  ASSERT_EQ(out.answers.size(), 1u);
  EXPECT_EQ(out.answers.at(1).substr(0, 2), "B@");
  pid_t helper = 0;
  std::ifstream(pidFile) >> helper;
  ASSERT_GT(helper, 0);
  EXPECT_EQ(::kill(helper, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_TRUE(noChildrenLeft());
  fs::remove_all(folder);
}

TEST(ChildProcesses, EndsAreReportedAndReplacementsStartedAsAsked) {
  char folder[] = "/tmp/bq-children-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string first = std::string(folder) + "/first";
  std::vector<ChildEnd> ends;
  runChildProcesses(
      3,
      [&] {
        // The first child to get here dies; the others answer at length (more
        // than a pipe holds, so it comes while they run).
        if (::open(first.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600) >= 0)
          ::raise(SIGTERM);
        return std::string(200000, 'x');
      },
      [&](const ChildEnd& end) {
        ends.push_back(end);
        return end.signal != 0;
      });
  ASSERT_EQ(ends.size(), 4u);
  int killed = 0;
  for (const ChildEnd& end : ends) {
    if (end.signal != 0) {
      ++killed;
      EXPECT_EQ(end.signal, SIGTERM);
      EXPECT_EQ(end.exitCode, -1);
      EXPECT_EQ(end.output, "");
    } else {
      EXPECT_EQ(end.exitCode, 0);
      EXPECT_EQ(end.output, std::string(200000, 'x'));
    }
  }
  EXPECT_EQ(killed, 1);

  ends.clear();
  runChildProcesses(
      1, []() -> std::string { throw std::runtime_error("no work"); },
      [&](const ChildEnd& end) {
        ends.push_back(end);
        return false;
      });
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].exitCode, 1);
  EXPECT_EQ(ends[0].signal, 0);
  EXPECT_EQ(ends[0].output, "");
  EXPECT_TRUE(noChildrenLeft());
  fs::remove_all(folder);
}

}  // namespace
}  // namespace bq::shell
