// Worker processes: work handed to forked children of this process.
//
// runOnWorkers keeps a pool of children that each run a serve function for
// their whole life: it opens what the work needs once, then answers request
// lines one after another. The parent sends each request, one line on a
// pipe, to whichever worker is free and takes its answer, one line back, so
// slow requests do not hold up the others. A worker that dies while it holds
// a request (a crash, the kernel's memory killer), or that runs past the
// time limit of a request, is killed and replaced; its request is reported
// lost and the others go on.
//
// What a lost worker leaves running (a program it started in a process
// group of its own) is ended too: while the pool runs, this process is the
// subreaper of its workers' descendants, and it kills those that a dead
// worker leaves behind.
//
// runChildProcesses runs a number of children that each do one piece of
// work to its end (no requests), and starts new ones as the caller decides
// when one ends.
//
// Children are forked, not executed: they run the caller's function with a
// copy of its memory and end with _exit, never returning to the caller's
// code. Standard output and error are shared with this process.
//
// Thread safety: both functions belong to the thread that calls them. They
// fork, so call them before the process starts any other thread.
// REQUIRES: the process has no children of its own while they run (the pool
// ends every child it did not start as one a dead worker left behind).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bq::shell {

// A worker's side of its pipes, as its serve function sees it.
class WorkerChannel {
 public:
  WorkerChannel(int in, int out) : in_(in), out_(out) {}

  // The next request (without its line break); nullopt once the parent has
  // no more work for this worker (its end of the pipe is closed).
  std::optional<std::string> nextRequest();
  // Sends the answer to the request last taken, as one line. False when the
  // parent is gone. REQUIRES: `line` holds no line break.
  bool answer(std::string_view line);

 private:
  int in_;
  int out_;
  std::string buffer_;
};

struct WorkerPoolOptions {
  int workers = 1;  // at most one per request; at least one
  std::chrono::milliseconds requestTimeout{std::chrono::minutes(3)};
};

// Why a request got no answer.
struct WorkerLoss {
  enum class Kind {
    kDied,      // the worker ended (or closed its pipes) before it answered
    kTimedOut,  // the worker ran past the time limit and was killed
  };
  Kind kind = Kind::kDied;
  // kDied: the signal that ended the worker; 0 when it exited or was ended
  // by SIGKILL (which the pool itself sends, as does the memory killer).
  int signal = 0;
};

// Serves `requests` (each without line breaks) on a pool of
// `options.workers` children that each run `serve` once (an exception from
// it ends the worker). Calls `answered(index, answer)` or `lost(index, why)`
// in this process exactly once per request, as each one ends, in any order;
// returns when every request has ended. An exception from a callback ends
// the workers and is passed on. While it runs SIGPIPE is ignored, so a
// worker that dies never ends this process. Throws std::runtime_error when
// no pipe or process can be made.
// REQUIRES: `serve` answers every request it takes with exactly one line.
void runOnWorkers(const std::vector<std::string>& requests, const WorkerPoolOptions& options,
                  const std::function<void(WorkerChannel&)>& serve,
                  const std::function<void(size_t, std::string)>& answered,
                  const std::function<void(size_t, const WorkerLoss&)>& lost);

// How a child of runChildProcesses ended.
struct ChildEnd {
  std::string output;  // what its work returned; empty when it threw or was killed
  int exitCode = 0;    // 0 when its work returned, 1 when it threw; -1 when killed
  int signal = 0;      // the signal that ended it; 0 when it exited
};

// Runs `count` children (at least one) that each call `work` and pass what
// it returns back to this process. Calls `ended` in this process as each
// child ends; when it returns true, one more child is started in its place.
// Returns when every child has ended. Throws std::runtime_error when no pipe
// or process can be made.
void runChildProcesses(int count, const std::function<std::string()>& work,
                       const std::function<bool(const ChildEnd&)>& ended);

}  // namespace bq::shell
