#include "tools/bqmark/pg_queue.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <thread>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "platform/db/value.h"
#include "platform/office/legacy_conversion.h"
#include "platform/office/resident_converter.h"
#include "tools/bqmark/report.h"
#include "tools/bqmark/worker_pool.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

// Takes of one job before it is given up as one that kills its workers.
constexpr int64_t kMaxAttempts = 3;

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

std::string text(db::Recordset& rs, std::string_view name) {
  return db::variantText(rs.Fields()[name].Value());
}

int64_t number(db::Recordset& rs, std::string_view name) {
  return static_cast<int64_t>(leadingNumber(text(rs, name)));
}

std::vector<uint8_t> readFileBytes(const fs::path& file) {
  const std::string s = readWholeFile(file);
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::string workerName() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  return std::string(host) + ":" + std::to_string(::getpid());
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
  if (leased.job.paper.empty() || !leased.answer) return markJob(marker, leased.job);
  office::TempFolder folder("bq-mark-job-",
                            office::Failure{err::kPathNotFound, "bqmark", "answer"});
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
  std::optional<office::ResidentConversionScope> resident;
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
    Mark mark;
    if (leased->token > kMaxAttempts) {
      mark.missing = leased->job.expected;
      mark.note = std::string(kNoteWorkerDied) + "（已试 " + std::to_string(kMaxAttempts) + " 次）";
    } else {
      mark = markLeased(marker, *leased);
    }
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
    for (const Job& job : jobs) {
      Variant answer = Null{};
      if (!job.file.empty()) answer = readFileBytes(job.file);
      const std::vector<Variant> identity = {batch, ucase(job.examinee), job.question.topicId,
                                             job.question.tpid};
      if (force) {
        c.Execute(
            "DELETE FROM bqmark_job WHERE batch = ? AND examinee_key = ? AND topic_id = ? AND "
            "tpid = ?",
            identity);
      }
      int64_t added = 0;
      c.Execute(
          "INSERT INTO bqmark_job (batch, examinee, examinee_key, paper, topic_id, tpid, kind, "
          "file_name, answer, expected, sheet) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
          "ON CONFLICT (batch, examinee_key, topic_id, tpid) DO NOTHING",
          {batch, job.examinee, ucase(job.examinee), job.paper, job.question.topicId,
           job.question.tpid, std::string(infoOf(job.kind).name), job.file.filename().string(),
           answer, nlohmann::json(job.expected).dump(), job.sheet},
          &added);
      (added > 0 ? summary.queued : summary.existing) += 1;
    }
  });
  return summary;
}

std::optional<LeasedJob> claimJob(QueueDatabase& q, const std::string& batch,
                                  const std::string& worker, double leaseSeconds, size_t* waiting) {
  db::Connection& c = q.connection();
  return inTransaction(c, [&]() -> std::optional<LeasedJob> {
    db::Recordset rs = c.Execute(
        "SELECT id, lease_token, examinee, paper, topic_id, tpid, kind, file_name, answer, "
        "expected, sheet FROM bqmark_job WHERE batch = ? AND (state = 'queued' OR (state = "
        "'leased' AND lease_until < clock_timestamp())) ORDER BY id LIMIT 1 FOR UPDATE SKIP "
        "LOCKED",
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
    Job& job = leased.job;
    job.examinee = text(rs, "examinee");
    job.paper = text(rs, "paper");
    job.kind = kindNamed(text(rs, "kind")).value_or(Kind::kOperation);
    job.question = {text(rs, "topic_id"), static_cast<int32_t>(number(rs, "tpid"))};
    job.file = text(rs, "file_name");
    for (const auto& p : nlohmann::json::parse(text(rs, "expected")))
      job.expected.push_back(p.get<std::string>());
    job.sheet = text(rs, "sheet");
    const Variant answer = rs.Fields()["answer"].Value();
    if (answer.is<ByteArray>()) leased.answer = answer.as<ByteArray>();
    rs.Close();
    c.Execute(
        "UPDATE bqmark_job SET state = 'leased', lease_token = ?, worker = ?, lease_until = "
        "clock_timestamp() + CAST(? AS double precision) * interval '1 second' WHERE id = ?",
        {static_cast<int32_t>(leased.token), worker, leaseSeconds,
         static_cast<int32_t>(leased.id)});
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
    const auto replace = nlohmann::json::error_handler_t::replace;
    c.Execute(
        "INSERT INTO bqmark_result (job_id, score, matched, missing, note, worker) VALUES (?, "
        "CAST(? AS double precision), ?, ?, ?, ?)",
        // The score as text that reads back to the same double (a double
        // parameter would go with 15 digits only).
        {static_cast<int32_t>(leased.id), nlohmann::json(mark.score).dump(),
         nlohmann::json(mark.matched).dump(-1, ' ', false, replace),
         nlohmann::json(mark.missing).dump(-1, ' ', false, replace), mark.note, worker});
    c.Execute("UPDATE bqmark_job SET state = 'done', lease_until = NULL WHERE id = ?",
              {static_cast<int32_t>(leased.id)});
    return true;
  });
}

size_t workQueue(const WorkOptions& options) {
  const int n = std::max(options.workers, 1);
  if (n == 1) return workLoop(options);
  // Each process reports how many results it wrote through a pipe; one that
  // dies (an answer that crashes a reader) is replaced, a few times at most.
  std::map<pid_t, int> children;  // pid -> read end of its pipe
  auto spawnWorker = [&] {
    int p[2];
    if (::pipe(p) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
      ::close(p[0]);
      int status = 0;
      size_t written = 0;
      try {
        written = workLoop(options);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "bqmark: work: %s\n", e.what());
        status = 1;
      }
      const std::string count = std::to_string(written);
      [[maybe_unused]] ssize_t ignored = ::write(p[1], count.data(), count.size());
      ::_exit(status);
    }
    ::close(p[1]);
    children[pid] = p[0];
  };
  for (int i = 0; i < n; ++i) spawnWorker();
  size_t total = 0;
  int restarts = 0;
  bool failed = false;
  while (!children.empty()) {
    int status = 0;
    const pid_t pid = ::waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    auto it = children.find(pid);
    if (it == children.end()) continue;
    char buf[32] = {};
    if (::read(it->second, buf, sizeof buf - 1) > 0) total += std::strtoull(buf, nullptr, 10);
    ::close(it->second);
    children.erase(it);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
    if (WIFSIGNALED(status) && restarts < 3 * n) {
      ++restarts;
      spawnWorker();
      continue;
    }
    failed = true;
  }
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
      "r.job_id AS done, r.score, r.matched, r.missing, r.note "
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
    const Variant score = rs.Fields()["score"].Value();
    r.mark.score =
        score.is<double>() ? score.as<double>() : std::strtod(text(rs, "score").c_str(), nullptr);
    for (const auto& p : nlohmann::json::parse(text(rs, "matched")))
      r.mark.matched.push_back(p.get<std::string>());
    for (const auto& p : nlohmann::json::parse(text(rs, "missing")))
      r.mark.missing.push_back(p.get<std::string>());
    r.mark.note = text(rs, "note");
    results.push_back(std::move(r));
    ++summary.marked;
  }
  writeReports(out, results, title);
  return summary;
}

}  // namespace bq::mark
