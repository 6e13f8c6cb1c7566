// Marking on many machines: PostgreSQL as the queue and the result store.
//
// Tables (made on first use, in the database the connection names):
//
//   bqmark_job     one row per answer of a batch: examinee, paper, question,
//                  kind, the file's name, bytes (so workers need no shared
//                  folder) and their SHA-256, the answer key in `expected`
//                  (JSON: [{"point", "role", "stable"}, ...]), the refusal
//                  note of a file not read (then no bytes), state 'queued',
//                  'leased' or 'done', lease_until, lease_token, attempts
//   bqmark_result  one row per job that was marked (job_id is its key): the
//                  library's score, matched and missing points (JSON), note,
//                  the task score and task_points (JSON: tasks_done,
//                  tasks_missing, removed, not_removed, damaged, unstable),
//                  worker
//
// A queue made before the task score gains its columns when it is opened:
// its old results read as not scored by tasks (task score -1), its old jobs'
// points as stable tasks, and a rerun of enqueue queues those jobs again.
//
// A worker takes the first job that is queued, or leased with its lease run
// out, with SELECT ... FOR UPDATE SKIP LOCKED, so workers never wait for
// each other and never take the same job; it marks the job leased until now +
// lease and counts up its lease_token and attempts. When it has marked the answer it
// writes the result and marks the job done in one transaction, but only if
// the job is still leased under its token: a worker whose lease ran out and
// whose job another worker took writes nothing. So every job gets exactly
// one result, and a job whose worker died is taken again once its lease has
// run out. A job taken three times without a result (its answer ends every
// worker that reads it) scores 0 with a note on the fourth take, unread. A
// job queued again starts its attempts anew; its lease_token counts on, so a
// worker still marking the old answer writes nothing.
//
// Thread safety: a QueueDatabase belongs to one thread; workers are processes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/db/connection.h"
#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/jobs.h"

namespace bq::mark {

class QueueDatabase {
 public:
  // Opens the connection and makes the tables when they are missing.
  explicit QueueDatabase(const std::string& connection);
  db::Connection& connection() { return c_; }

 private:
  db::Connection c_;
};

struct EnqueueSummary {
  size_t examinees = 0;
  size_t queued = 0;    // new jobs, and jobs queued again (changed, or force)
  size_t existing = 0;  // jobs of the batch left as they were
};

// Queues the answers of `folder` under `batch`. A job that the batch has
// already (same examinee and question) is left alone when it is unchanged:
// the same answer bytes (by SHA-256), refusal note, answer key (roles and
// stability included), paper, file name and sheet. A changed one, and with
// `force` every one, is queued again with the folder's current file, and its
// result is dropped. A refused file's bytes are not read.
EnqueueSummary enqueueFolder(QueueDatabase& q, const std::string& batch, const ExamKey& key,
                             const std::filesystem::path& folder, const std::string& defaultPaper,
                             bool force);

// A job taken from the queue.
struct LeasedJob {
  int64_t id = 0;
  int64_t token = 0;    // the lease's; finishJob writes only under it
  int64_t attempt = 0;  // takes of the job since it was queued, this one included
  Job job;
  // The file's bytes; none when none was sent or the file was refused.
  std::optional<std::vector<uint8_t>> answer;
};

// Takes the next job of `batch` for `leaseSeconds`, or nullopt when none is
// free now. `waiting` (optional) is set to the number of jobs that are
// leased to others and not done.
std::optional<LeasedJob> claimJob(QueueDatabase& q, const std::string& batch,
                                  const std::string& worker, double leaseSeconds,
                                  size_t* waiting = nullptr);

// Writes `mark` as the result of `leased` and marks it done, in one
// transaction; false (and nothing written) when the lease is no longer
// this worker's.
bool finishJob(QueueDatabase& q, const LeasedJob& leased, const std::string& worker,
               const Mark& mark);

struct WorkOptions {
  std::string connection;
  std::string batch = "default";
  int workers = 1;
  double leaseSeconds = 600;
  bool residentOffice = true;
};

// Runs `workers` processes that take and mark jobs of the batch until none
// is queued or leased any more; a process killed by a signal is replaced (at
// most 3 x workers times). Returns the number of results written.
size_t workQueue(const WorkOptions& options);

struct ReportSummary {
  size_t marked = 0;
  size_t pending = 0;
};

// The reports of `batch` (report.h) from its results; jobs not marked yet
// are left out and counted.
ReportSummary writeQueueReports(QueueDatabase& q, const std::string& batch,
                                const std::filesystem::path& out, const std::string& title);

}  // namespace bq::mark
