// The PostgreSQL queue with real worker processes: several `bqmark work` at
// once, one taker killed with SIGKILL while it holds a job and one worker
// killed while it runs; every answer is marked exactly once, with the scores
// a local run gives.
#include "tools/bqmark/pg_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "common/text.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"
#include "platform/office/legacy_conversion.h"

extern char** environ;

namespace bq::mark {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kModels = BQ_DEMO_MODELS;
const fs::path kQuestions = fs::path(BQ_DEMO_PAPERS_SRC) / "files";

pid_t spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for `pid` at most `limit`; kills it when it takes longer.
int waitFor(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(20ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int64_t count(db::Connection& c, const std::string& sql, const std::string& batch) {
  db::Recordset rs = c.Execute(sql, {batch});
  return static_cast<int64_t>(leadingNumber(db::variantText(rs.Fields()[0].Value())));
}

TEST(PgQueue, KilledWorkersLoseNoAnswerAndMarkNoneTwice) {
  const std::string uri = db::dbtest::postgresUri();
  ASSERT_FALSE(uri.empty()) << "no PostgreSQL test server";
  office::TempFolder tmp("bqmark-pg-test-", office::Failure{53, "test", "class"});
  const fs::path cls = tmp.path() / "class";
  fs::create_directories(cls);
  // Twelve examinees of paper BQ1: odd ones hand in the model answers, even
  // ones the question documents.
  for (int i = 1; i <= 12; ++i) {
    const std::string id = "S" + std::to_string(100 + i);
    const bool model = i % 2;
    fs::copy_file(model ? kModels / "wordtable/scores.docx" : kQuestions / "wordtable/scores.docx",
                  cls / ("wt" + id + ".doc"));
    fs::copy_file(
        model ? kModels / "wordtest/festival.docx" : kQuestions / "wordtest/festival.docx",
        cls / ("wd" + id + ".doc"));
    fs::copy_file(model ? kModels / "exceltest/sales_1.xlsx" : kQuestions / "exceltest/sales.xlsx",
                  cls / ("ex" + id + ".xls"));
    fs::copy_file(
        model ? kModels / "powerpoint/hometown.pptx" : kQuestions / "powerpoint/hometown.pptx",
        cls / ("ppt" + id + ".ppt"));
    if (model) fs::copy_file(kModels / "operation/1.txt", cls / ("op" + id + ".txt"));
  }
  const std::string batch = "test-" + std::to_string(::getpid());
  const std::string bqmark = BQMARK_PATH;
  ASSERT_EQ(waitFor(spawn({bqmark, "enqueue", cls.string(), "--exam", BQ_DEMO_DATABASE, "--paper",
                           "BQ1", "--db", uri, "--batch", batch}),
                    60s),
            0);
  QueueDatabase q(uri);
  const int64_t jobs =
      count(q.connection(), "SELECT count(*) FROM bqmark_job WHERE batch = ?", batch);
  EXPECT_EQ(jobs, 12 * 5);

  // A taker that dies holding its job.
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  const pid_t doomed = ::fork();
  if (doomed == 0) {
    QueueDatabase mine(uri);
    auto leased = claimJob(mine, batch, "doomed", 1.0);
    const int64_t id = leased ? leased->id : -1;
    [[maybe_unused]] ssize_t ignored = ::write(pipeFd[1], &id, sizeof id);
    ::pause();
    ::_exit(0);
  }
  int64_t doomedJob = -1;
  ASSERT_EQ(::read(pipeFd[0], &doomedJob, sizeof doomedJob),
            static_cast<ssize_t>(sizeof doomedJob));
  ::kill(doomed, SIGKILL);
  ::waitpid(doomed, nullptr, 0);
  ASSERT_GT(doomedJob, 0);

  // Three workers; the first is killed once results come in.
  std::vector<pid_t> workers;
  for (int i = 0; i < 3; ++i)
    workers.push_back(
        spawn({bqmark, "work", "--db", uri, "--batch", batch, "-j", "1", "--lease", "1.5"}));
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (count(q.connection(),
               "SELECT count(*) FROM bqmark_result r JOIN bqmark_job j ON j.id = r.job_id WHERE "
               "j.batch = ?",
               batch) < 5 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ::kill(workers[0], SIGKILL);
  ::waitpid(workers[0], nullptr, 0);
  EXPECT_EQ(waitFor(workers[1], 60s), 0);
  EXPECT_EQ(waitFor(workers[2], 60s), 0);

  db::Connection& c = q.connection();
  EXPECT_EQ(count(c, "SELECT count(*) FROM bqmark_job WHERE batch = ? AND state = 'done'", batch),
            jobs);
  EXPECT_EQ(count(c,
                  "SELECT count(DISTINCT r.job_id) FROM bqmark_result r JOIN bqmark_job j ON j.id "
                  "= r.job_id WHERE j.batch = ?",
                  batch),
            jobs);
  db::Recordset who = c.Execute("SELECT worker FROM bqmark_result WHERE job_id = ?",
                                {static_cast<int32_t>(doomedJob)});
  ASSERT_FALSE(who.Eof());
  EXPECT_NE(db::variantText(who.Fields()[0].Value()), "doomed");

  // The queue's reports hold the numbers of a run on this machine.
  const fs::path out = tmp.path() / "queue-report";
  ASSERT_EQ(
      waitFor(spawn({bqmark, "report", "--db", uri, "--batch", batch, "--out", out.string()}), 60s),
      0);
  ASSERT_EQ(waitFor(spawn({bqmark, "mark", cls.string(), "--exam", BQ_DEMO_DATABASE, "--paper",
                           "BQ1", "-q", "--out", (tmp.path() / "local").string()}),
                    60s),
            0);
  std::ifstream a(out / "marks.json"), b(tmp.path() / "local/marks.json");
  EXPECT_EQ(nlohmann::json::parse(a), nlohmann::json::parse(b));
}

}  // namespace
}  // namespace bq::mark
