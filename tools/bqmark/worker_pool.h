// A pool of marking processes on this machine.
//
// Each worker is a child process (fork) that opens what marking needs once
// (the scoring library, its PowerPoint application, a resident LibreOffice
// for legacy files) and then marks one job after another, sent to it as one
// JSON line on a pipe and answered as one JSON line. The parent hands a job
// to whichever worker is free, so slow answers do not hold up the others.
//
// A worker that dies while it marks (a file that crashes a reader, the
// kernel's memory killer) or exceeds the job time limit is killed and
// replaced; its job scores 0 with a note, and the run goes on.
//
// What a killed worker leaves running (a LibreOffice it started, in a process
// group of its own) is ended too: while the pool runs, this process is the
// subreaper of its workers' descendants, and it kills those that a dead
// worker leaves behind.
//
// Thread safety: a pool belongs to the thread that made it. It forks, so
// make it before the process starts any thread.
// REQUIRES: the process has no children of its own while the pool runs.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tools/bqmark/jobs.h"

namespace bq::mark {

struct PoolOptions {
  int workers = 1;
  std::chrono::milliseconds jobTimeout{std::chrono::minutes(3)};
  // Each worker converts legacy files with a resident LibreOffice of its own
  // (else with one LibreOffice start per file).
  bool residentOffice = true;
};

inline constexpr std::string_view kNoteWorkerDied = "阅卷进程意外结束";
inline constexpr std::string_view kNoteTimedOut = "阅卷超时";

// Marks every job of `jobs` on a pool of `options.workers` processes and
// calls `done` in the parent, once per job, as its result arrives (in any
// order). Returns when every job is done.
void markOnPool(const std::vector<Job>& jobs, const PoolOptions& options,
                const std::function<void(Result)>& done);

// What one worker does for its whole life: sets up a Marker (and the
// resident converter when asked), then answers the job lines of `in` on
// `out` until `in` ends. Used by the pool's children.
void serveJobs(int in, int out, bool residentOffice);

}  // namespace bq::mark
