#include "tools/bqmark/pg_queue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "platform/codec/codec.h"
#include "platform/db/value.h"
#include "platform/shell/processes.h"
#include "platform/shell/worker_processes.h"
#include "scoring/answer_files.h"
#include "tools/bqmark/report.h"
#include "tools/bqmark/worker_pool.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

// Takes of one job before it is given up as one that kills its workers.
constexpr int64_t kMaxAttempts = 3;

// An answer is read whole into the job row, as far as the Office readers
// would read it.
constexpr ReadLimit kAnswerFile{scoring::kMaxAnswerBytes, "answer file"};

constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS bqmark_job ("
    " id serial PRIMARY KEY,"
    " batch text NOT NULL,"
    " examinee text NOT NULL,"
    " examinee_key text NOT NULL,"
    " paper text NOT NULL,"
    " topic_id text NOT NULL,"
    " tpid integer NOT NULL,"
    " kind text NOT NULL,"
    " file_name text NOT NULL,"
    " answer bytea,"
    " expected text NOT NULL,"
    " sheet text NOT NULL,"
    " state text NOT NULL DEFAULT 'queued',"
    " lease_until timestamptz,"
    " lease_token integer NOT NULL DEFAULT 0,"
    " worker text,"
    " UNIQUE (batch, examinee_key, topic_id, tpid))",
    "CREATE INDEX IF NOT EXISTS bqmark_job_free ON bqmark_job (batch, state, id)",
    "CREATE TABLE IF NOT EXISTS bqmark_result ("
    " job_id integer PRIMARY KEY REFERENCES bqmark_job (id) ON DELETE CASCADE,"
    " score double precision NOT NULL,"
    " matched text NOT NULL,"
    " missing text NOT NULL,"
    " note text NOT NULL,"
    " worker text NOT NULL,"
    " marked_at timestamptz NOT NULL DEFAULT clock_timestamp())"};

// The columns that came with the task score; a queue made before gains them
// (its results without a task score read as not scored, its jobs' keys as
// task points alone).
constexpr const char* kTaskColumns[][3] = {
    {"bqmark_job", "refusal", "text NOT NULL DEFAULT ''"},
    {"bqmark_job", "answer_sha256", "text"},
    {"bqmark_job", "attempts", "integer NOT NULL DEFAULT 0"},
    {"bqmark_result", "task_score", "double precision NOT NULL DEFAULT -1"},
    {"bqmark_result", "task_points", "text NOT NULL DEFAULT '{}'"}};

std::string text(db::Recordset& rs, std::string_view name) {
  return db::variantText(rs.Fields()[name].Value());
}

int64_t number(db::Recordset& rs, std::string_view name) {
  return static_cast<int64_t>(leadingNumber(text(rs, name)));
}

// A double precision column's value (read from its text when the driver
// hands text).
double realNumber(db::Recordset& rs, std::string_view name) {
  const Variant v = rs.Fields()[name].Value();
  return v.is<double>() ? v.as<double>() : std::strtod(db::variantText(v).c_str(), nullptr);
}

const auto kReplace = nlohmann::json::error_handler_t::replace;

std::vector<std::string> stringsOf(const nlohmann::json& j) {
  std::vector<std::string> v;
  for (const auto& e : j) v.push_back(e.get<std::string>());
  return v;
}

// The key of a job row. A row queued before the key had roles holds the
// model answer's points alone, as strings: they count as stable tasks.
std::vector<KeyPoint> storedKey(const std::string& text) {
  const nlohmann::json j = nlohmann::json::parse(text);
  if (j.empty() || !j.front().is_string()) return keyFromJson(j);
  std::vector<KeyPoint> key;
  for (const std::string& p : stringsOf(j)) key.push_back({p, Role::kTask, true});
  return key;
}

// The task lists of a mark, as bqmark_result.task_points holds them.
std::string taskPointsText(const Mark& m) {
  return nlohmann::json{{"tasks_done", m.tasksDone}, {"tasks_missing", m.tasksMissing},
                        {"removed", m.removed},      {"not_removed", m.notRemoved},
                        {"damaged", m.damaged},      {"unstable", m.unstable}}
      .dump(-1, ' ', false, kReplace);
}

void readTaskPoints(const std::string& text, Mark& m) {
  const nlohmann::json j = nlohmann::json::parse(text.empty() ? "{}" : text);
  auto list = [&](const char* name) {
    return j.contains(name) ? stringsOf(j.at(name)) : std::vector<std::string>();
  };
  m.tasksDone = list("tasks_done");
  m.tasksMissing = list("tasks_missing");
  m.removed = list("removed");
  m.notRemoved = list("not_removed");
  m.damaged = list("damaged");
  m.unstable = list("unstable");
}

// The bytes of a job's answer, none for no file or a refused one. A file
// past the readers' bound (one that grew since the folder was planned) is
// refused here.
std::optional<std::string> answerBytes(Job& job) {
  if (job.file.empty() || !job.refusal.empty()) return std::nullopt;
  try {
    return readWholeFile(job.file, kAnswerFile);
  } catch (const AutomationError& e) {
    if (e.number() != err::kOutOfMemory) throw;
    job.refusal = kNoteTooLarge;
    return std::nullopt;
  }
}

std::string workerName() {
  return shell::hostName() + ":" + std::to_string(shell::currentProcessId());
}

// Runs `body` in a transaction of its own, rolled back when it throws.
template <typename F>
auto inTransaction(db::Connection& c, F&& body) {
  c.BeginTrans();
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      c.CommitTrans();
    } else {
      auto result = body();
      c.CommitTrans();
      return result;
    }
  } catch (...) {
    if (c.transactionLevel() > 0) c.RollbackTrans();
    throw;
  }
}

// Marks one leased job: its bytes in a private file named as it was sent.
Mark markLeased(Marker& marker, const LeasedJob& leased) {
  if (leased.job.paper.empty() || !leased.job.refusal.empty()) return markJob(marker, leased.job);
  if (!leased.answer) {
    // No file was sent: the name must not be looked for on this machine.
    Job job = leased.job;
    job.file.clear();
    return markJob(marker, job);
  }
  const scoring::PrivateFolder folder("bq-mark-job-",
                                      scoring::FailureAs{err::kPathNotFound, "bqmark", "answer"});
  Job job = leased.job;
  job.file = folder.path() / leased.job.file.filename();
  {
    std::ofstream out(job.file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(leased.answer->data()),
              static_cast<std::streamsize>(leased.answer->size()));
  }
  return markJob(marker, job);
}

// One worker process's life: take, mark, finish, until the batch is done.
size_t workLoop(const WorkOptions& options) {
  std::optional<scoring::ResidentOffice> resident;
  if (options.residentOffice) resident.emplace();
  QueueDatabase q(options.connection);
  Marker marker;
  const std::string me = workerName();
  size_t written = 0;
  auto pause = std::chrono::milliseconds(50);
  for (;;) {
    size_t waiting = 0;
    std::optional<LeasedJob> leased =
        claimJob(q, options.batch, me, options.leaseSeconds, &waiting);
    if (!leased) {
      if (waiting == 0) return written;
      // Jobs of other workers are in hand: wait for them to finish or their
      // leases to run out.
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(1000));
      continue;
    }
    pause = std::chrono::milliseconds(50);
    // A job taken this often has ended its workers before: it is not read again.
    const Mark mark =
        leased->attempt > kMaxAttempts
            ? unreadAnswer(leased->job.points, std::string(kNoteWorkerDied) + "（已试 " +
                                                   std::to_string(kMaxAttempts) + " 次）")
            : markLeased(marker, *leased);
    if (finishJob(q, *leased, me, mark)) ++written;
  }
}

}  // namespace

QueueDatabase::QueueDatabase(const std::string& connection) {
  c_.Open(connection);
  if (c_.provider() != db::Provider::kPostgres)
    throw AutomationError(err::kInvalidCall, "bqmark",
                          "the queue needs a PostgreSQL database (Provider=PostgreSQL or a "
                          "postgresql:// URI)");
  // Concurrent first runs may race on CREATE ... IF NOT EXISTS; one lock
  // orders them.
  inTransaction(c_, [&] {
    c_.Execute("SELECT pg_advisory_xact_lock(7140925)");
    for (const char* sql : kSchema) c_.Execute(sql);
    // ALTER TABLE locks the table whole even when the column is there: only
    // a queue that lacks one is altered.
    db::Recordset have = c_.Execute(
        "SELECT count(*) AS n FROM information_schema.columns WHERE table_schema = "
        "current_schema() AND table_name || '.' || column_name IN ('bqmark_job.refusal', "
        "'bqmark_job.answer_sha256', 'bqmark_job.attempts', 'bqmark_result.task_score', "
        "'bqmark_result.task_points')");
    const bool complete = number(have, "n") == static_cast<int64_t>(std::size(kTaskColumns));
    have.Close();
    if (!complete)
      for (const auto& [table, column, type] : kTaskColumns)
        c_.Execute(std::string("ALTER TABLE ") + table + " ADD COLUMN IF NOT EXISTS " + column +
                   " " + type);
  });
}

EnqueueSummary enqueueFolder(QueueDatabase& q, const std::string& batch, const ExamKey& key,
                             const fs::path& folder, const std::string& defaultPaper, bool force) {
  const UploadFolder uploads = scanUploads(folder);
  const std::vector<Job> jobs = planJobs(key, uploads, defaultPaper);
  EnqueueSummary summary;
  summary.examinees = uploads.examinees.size();
  db::Connection& c = q.connection();
  inTransaction(c, [&] {
    for (Job job : jobs) {
      const std::optional<std::string> bytes = answerBytes(job);
      const std::string digest = bytes ? codec::sha256Hex(*bytes) : std::string();
      Variant answer = Null{}, sha = Null{};
      if (bytes) {
        answer = ByteArray(bytes->begin(), bytes->end());
        sha = digest;
      }
      const std::string keyText = keyToJson(job.points).dump(-1, ' ', false, kReplace);
      // As the row holds it (a point that is no valid UTF-8 is stored with
      // U+FFFD), so that such a key compares equal to itself.
      const nlohmann::json keyJson = nlohmann::json::parse(keyText);
      const std::string kind(infoOf(job.kind).name);
      const std::string fileName = job.file.filename().string();
      const std::vector<Variant> identity = {batch, ucase(job.examinee), job.question.topicId,
                                             job.question.tpid};
      db::Recordset rs = c.Execute(
          "SELECT id, paper, kind, file_name, sheet, expected, refusal, answer_sha256 FROM "
          "bqmark_job WHERE batch = ? AND examinee_key = ? AND topic_id = ? AND tpid = ? FOR "
          "UPDATE",
          identity);
      if (rs.Eof()) {
        rs.Close();
        c.Execute(
            "INSERT INTO bqmark_job (batch, examinee, examinee_key, paper, topic_id, tpid, kind, "
            "file_name, answer, answer_sha256, expected, sheet, refusal) VALUES (?, ?, ?, ?, ?, ?, "
            "?, ?, ?, ?, ?, ?, ?)",
            {batch, job.examinee, ucase(job.examinee), job.paper, job.question.topicId,
             job.question.tpid, kind, fileName, answer, sha, keyText, job.sheet, job.refusal});
        ++summary.queued;
        continue;
      }
      const int64_t id = number(rs, "id");
      // Marked (or to be marked) as it is now: the same answer against the
      // same key. A key of the form before roles (its result has no task
      // score) or one that does not parse is no key of this run's.
      bool same = !force && text(rs, "paper") == job.paper && text(rs, "kind") == kind &&
                  text(rs, "file_name") == fileName && text(rs, "sheet") == job.sheet &&
                  text(rs, "refusal") == job.refusal &&
                  rs.Fields()["answer_sha256"].Value().isNull() == !bytes &&
                  (!bytes || text(rs, "answer_sha256") == digest);
      if (same) {
        try {
          same = nlohmann::json::parse(text(rs, "expected")) == keyJson;
        } catch (const std::exception&) {
          same = false;
        }
      }
      rs.Close();
      if (same) {
        ++summary.existing;
        continue;
      }
      // Queued again: a worker still holding the old answer finds its lease
      // gone (lease_token counts on), and the takes start anew.
      c.Execute(
          "UPDATE bqmark_job SET examinee = ?, paper = ?, kind = ?, file_name = ?, answer = ?, "
          "answer_sha256 = ?, expected = ?, sheet = ?, refusal = ?, state = 'queued', "
          "lease_until = NULL, worker = NULL, attempts = 0 WHERE id = ?",
          {job.examinee, job.paper, kind, fileName, answer, sha, keyText, job.sheet, job.refusal,
           static_cast<int32_t>(id)});
      c.Execute("DELETE FROM bqmark_result WHERE job_id = ?", {static_cast<int32_t>(id)});
      ++summary.queued;
    }
  });
  return summary;
}

std::optional<LeasedJob> claimJob(QueueDatabase& q, const std::string& batch,
                                  const std::string& worker, double leaseSeconds, size_t* waiting) {
  db::Connection& c = q.connection();
  return inTransaction(c, [&]() -> std::optional<LeasedJob> {
    db::Recordset rs = c.Execute(
        "SELECT id, lease_token, attempts, examinee, paper, topic_id, tpid, kind, file_name, "
        "answer, expected, sheet, refusal FROM bqmark_job WHERE batch = ? AND (state = 'queued' "
        "OR (state = 'leased' AND lease_until < clock_timestamp())) ORDER BY id LIMIT 1 FOR "
        "UPDATE SKIP LOCKED",
        {batch});
    if (rs.Eof()) {
      if (waiting) {
        db::Recordset n = c.Execute(
            "SELECT count(*) AS n FROM bqmark_job WHERE batch = ? AND state <> 'done'", {batch});
        *waiting = static_cast<size_t>(number(n, "n"));
      }
      return std::nullopt;
    }
    LeasedJob leased;
    leased.id = number(rs, "id");
    leased.token = number(rs, "lease_token") + 1;
    leased.attempt = number(rs, "attempts") + 1;
    Job& job = leased.job;
    job.examinee = text(rs, "examinee");
    job.paper = text(rs, "paper");
    job.kind = kindNamed(text(rs, "kind")).value_or(Kind::kOperation);
    job.question = {text(rs, "topic_id"), static_cast<int32_t>(number(rs, "tpid"))};
    job.file = text(rs, "file_name");
    job.points = storedKey(text(rs, "expected"));
    job.sheet = text(rs, "sheet");
    job.refusal = text(rs, "refusal");
    const Variant answer = rs.Fields()["answer"].Value();
    if (answer.is<ByteArray>()) leased.answer = answer.as<ByteArray>();
    rs.Close();
    c.Execute(
        "UPDATE bqmark_job SET state = 'leased', lease_token = ?, attempts = ?, worker = ?, "
        "lease_until = clock_timestamp() + CAST(? AS double precision) * interval '1 second' "
        "WHERE id = ?",
        {static_cast<int32_t>(leased.token), static_cast<int32_t>(leased.attempt), worker,
         leaseSeconds, static_cast<int32_t>(leased.id)});
    return leased;
  });
}

bool finishJob(QueueDatabase& q, const LeasedJob& leased, const std::string& worker,
               const Mark& mark) {
  db::Connection& c = q.connection();
  return inTransaction(c, [&] {
    db::Recordset rs =
        c.Execute("SELECT state, lease_token FROM bqmark_job WHERE id = ? FOR UPDATE",
                  {static_cast<int32_t>(leased.id)});
    if (rs.Eof() || text(rs, "state") != "leased" || number(rs, "lease_token") != leased.token)
      return false;
    rs.Close();
    c.Execute(
        "INSERT INTO bqmark_result (job_id, score, matched, missing, note, worker, task_score, "
        "task_points) VALUES (?, CAST(? AS double precision), ?, ?, ?, ?, CAST(? AS double "
        "precision), ?)",
        // The scores as text that reads back to the same double (a double
        // parameter would go with 15 digits only).
        {static_cast<int32_t>(leased.id), nlohmann::json(mark.score).dump(),
         nlohmann::json(mark.matched).dump(-1, ' ', false, kReplace),
         nlohmann::json(mark.missing).dump(-1, ' ', false, kReplace), mark.note, worker,
         nlohmann::json(mark.taskScore).dump(), taskPointsText(mark)});
    c.Execute("UPDATE bqmark_job SET state = 'done', lease_until = NULL WHERE id = ?",
              {static_cast<int32_t>(leased.id)});
    return true;
  });
}

size_t workQueue(const WorkOptions& options) {
  const int n = std::max(options.workers, 1);
  if (n == 1) return workLoop(options);
  // Each process reports how many results it wrote; one that dies (an
  // answer that crashes a reader) is replaced, a few times at most.
  size_t total = 0;
  int restarts = 0;
  bool failed = false;
  shell::runChildProcesses(
      n,
      [&] {
        try {
          return std::to_string(workLoop(options));
        } catch (const std::exception& e) {
          std::fprintf(stderr, "bqmark: work: %s\n", e.what());
          throw;
        }
      },
      [&](const shell::ChildEnd& end) {
        total += std::strtoull(end.output.c_str(), nullptr, 10);
        if (end.exitCode == 0) return false;
        if (end.signal != 0 && restarts < 3 * n) {
          ++restarts;
          return true;
        }
        failed = true;
        return false;
      });
  if (failed)
    throw AutomationError(
        err::kInvalidCall, "bqmark",
        "a worker process failed after " + std::to_string(total) +
            " results; the jobs it held are taken again when their leases run out");
  return total;
}

ReportSummary writeQueueReports(QueueDatabase& q, const std::string& batch, const fs::path& out,
                                const std::string& title) {
  db::Connection& c = q.connection();
  db::Recordset rs = c.Execute(
      "SELECT j.examinee, j.paper, j.topic_id, j.tpid, j.kind, j.file_name, j.expected, j.sheet, "
      "r.job_id AS done, r.score, r.matched, r.missing, r.note, r.task_score, r.task_points "
      "FROM bqmark_job j LEFT JOIN bqmark_result r ON r.job_id = j.id WHERE j.batch = ? "
      "ORDER BY upper(j.examinee), j.examinee, j.topic_id, j.tpid",
      {batch});
  ReportSummary summary;
  std::vector<Result> results;
  for (; !rs.Eof(); rs.MoveNext()) {
    if (rs.Fields()["done"].Value().isNull()) {
      ++summary.pending;
      continue;
    }
    Result r;
    r.job.examinee = text(rs, "examinee");
    r.job.paper = text(rs, "paper");
    r.job.kind = kindNamed(text(rs, "kind")).value_or(Kind::kOperation);
    r.job.question = {text(rs, "topic_id"), static_cast<int32_t>(number(rs, "tpid"))};
    r.job.file = text(rs, "file_name");
    r.mark.score = realNumber(rs, "score");
    r.mark.matched = stringsOf(nlohmann::json::parse(text(rs, "matched")));
    r.mark.missing = stringsOf(nlohmann::json::parse(text(rs, "missing")));
    r.mark.note = text(rs, "note");
    r.mark.taskScore = realNumber(rs, "task_score");
    readTaskPoints(text(rs, "task_points"), r.mark);
    results.push_back(std::move(r));
    ++summary.marked;
  }
  writeReports(out, results, title);
  return summary;
}

}  // namespace bq::mark
