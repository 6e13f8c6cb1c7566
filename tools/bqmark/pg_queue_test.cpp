// The PostgreSQL queue with real worker processes: several `bqmark work` at
// once (one of them running two processes), one taker killed with SIGKILL
// while it holds a job and one worker killed while it runs; every answer is
// marked exactly once, with the scores a local run gives. Then, in this
// process and in a schema of its own each: the task scores the queue stores
// against marking the same files here, what a rerun of enqueue queues again,
// a lease that a rerun takes away, and a queue made before the task score.
#include "tools/bqmark/pg_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "common/text.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "tools/bqmark/local_run.h"
#include "tools/bqmark/report.h"

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

  // Three workers, the second with two processes of its own; the first is
  // killed once results come in.
  std::vector<pid_t> workers;
  for (int i = 0; i < 3; ++i)
    workers.push_back(spawn({bqmark, "work", "--db", uri, "--batch", batch, "-j",
                             i == 1 ? "2" : "1", "--lease", "1.5"}));
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

// The queue in this process, on a schema of its own, with the demo exam's key.
class QueueHere : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db::Connection exam = openExam(BQ_DEMO_DATABASE, "KVRMTX5830");
    key_ = new ExamKey(readExamKey(exam));
  }
  static void TearDownTestSuite() {
    delete key_;
    key_ = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(db::dbtest::postgresUri().empty()) << "no PostgreSQL test server";
    schema_ = std::make_unique<db::dbtest::TestDatabase>(db::Provider::kPostgres);
    tmp_ = std::make_unique<office::TempFolder>("bqmark-pg-here-",
                                                office::Failure{53, "test", "class"});
    cls_ = tmp_->path() / "class";
    fs::create_directories(cls_);
    key = *key_;
  }

  // S1 hands in model answers, S2 question documents, S3 a symbolic link to
  // a model answer and a file no reader takes; nobody the e-mail answer.
  void makeClass() {
    fs::copy_file(kModels / "wordtest/festival.docx", cls_ / "wdS1.doc");
    fs::copy_file(kModels / "wordtable/scores.docx", cls_ / "wtS1.doc");
    fs::copy_file(kModels / "operation/1.txt", cls_ / "opS1.txt");
    fs::copy_file(kQuestions / "wordtest/festival.docx", cls_ / "wdS2.doc");
    fs::copy_file(kQuestions / "wordtable/scores.docx", cls_ / "wtS2.doc");
    fs::create_symlink(kModels / "wordtest/festival.docx", cls_ / "wdS3.doc");
    std::ofstream(cls_ / "wtS3.doc", std::ios::binary) << "PK\x03\x04 not really a zip";
  }

  std::string connection() const { return schema_->connectionString(); }

  size_t jobCount() const { return planJobs(key, scanUploads(cls_), "BQ1").size(); }

  // Works the batch off in this process; the number of results written.
  size_t work(const std::string& batch) {
    WorkOptions w;
    w.connection = connection();
    w.batch = batch;
    w.residentOffice = false;
    return workQueue(w);
  }

  // The queue's marks.json, and the same report of the folder marked here.
  nlohmann::json queued(QueueDatabase& q, const std::string& batch) {
    const fs::path out = tmp_->path() / ("report-" + std::to_string(++reports_));
    const ReportSummary s = writeQueueReports(q, batch, out, "t");
    EXPECT_EQ(s.pending, 0u);
    std::ifstream in(out / "marks.json");
    return nlohmann::json::parse(in);
  }
  nlohmann::json markedHere() {
    Marker marker;
    std::vector<Result> results;
    for (const Job& job : planJobs(key, scanUploads(cls_), "BQ1"))
      results.push_back({job, markJob(marker, job)});
    // As marks.json holds it (a double written as text and read back).
    return nlohmann::json::parse(reportJson(groupByExaminee(results)).dump());
  }

  // The question of `kind` of paper BQ1, and the WORDTEST question's key.
  QuestionRef refOf(Kind kind) const {
    for (const QuestionRef& ref : key.paperOf("BQ1")->questions)
      if (ref.topicId == infoOf(kind).topicId) return ref;
    throw std::logic_error("BQ1 has no such question");
  }
  std::vector<KeyPoint>& wordTestKey() { return key.expected.at(refOf(Kind::kWordTest)).points; }

  static nlohmann::json question(const nlohmann::json& report, const std::string& examinee,
                                 const std::string& kind) {
    for (const auto& e : report["examinees"])
      if (e["examinee"] == examinee)
        for (const auto& q : e["questions"])
          if (q["kind"] == kind) return q;
    return nullptr;
  }

  int64_t rows(QueueDatabase& q, const std::string& sql, const std::string& batch) {
    return count(q.connection(), sql, batch);
  }

  static inline ExamKey* key_ = nullptr;
  ExamKey key;
  std::unique_ptr<db::dbtest::TestDatabase> schema_;
  std::unique_ptr<office::TempFolder> tmp_;
  fs::path cls_;
  int reports_ = 0;
};

TEST_F(QueueHere, TaskScoresAreThoseOfMarkingHere) {
  makeClass();
  QueueDatabase q(connection());
  const size_t n = jobCount();
  const EnqueueSummary s = enqueueFolder(q, "b", key, cls_, "BQ1", false);
  EXPECT_EQ(s.examinees, 3u);
  EXPECT_EQ(s.queued, n);
  EXPECT_EQ(s.existing, 0u);
  // The link is refused before it is read: its row holds no bytes.
  EXPECT_EQ(rows(q,
                 "SELECT count(*) FROM bqmark_job WHERE batch = ? AND file_name = 'wdS3.doc' AND "
                 "answer IS NULL AND answer_sha256 IS NULL AND refusal <> ''",
                 "b"),
            1);
  EXPECT_EQ(work("b"), n);

  const nlohmann::json report = queued(q, "b");
  EXPECT_EQ(report, markedHere());
  // What the comparison rests on: tasks scored apart from the library.
  const nlohmann::json model = question(report, "S1", "WORDTEST");
  const nlohmann::json asGiven = question(report, "S2", "WORDTEST");
  EXPECT_EQ(model["task_score"], 1.0);
  EXPECT_FALSE(model["tasks_done"].empty());
  EXPECT_EQ(asGiven["task_score"], 0.0);
  EXPECT_EQ(asGiven["tasks_missing"], model["tasks_done"]);
  EXPECT_GT(asGiven["score"].get<double>(), 0.0);
  EXPECT_EQ(question(report, "S3", "WORDTEST")["note"], std::string(kNoteSymlink));
}

TEST_F(QueueHere, RerunQueuesWhatChangedAndNothingElse) {
  makeClass();
  QueueDatabase q(connection());
  const size_t n = jobCount();
  ASSERT_EQ(enqueueFolder(q, "b", key, cls_, "BQ1", false).queued, n);
  ASSERT_EQ(work("b"), n);
  const std::string done =
      "SELECT count(*) FROM bqmark_job j JOIN bqmark_result r ON r.job_id = "
      "j.id WHERE j.batch = ? AND j.state = 'done'";

  // Unchanged: the same bytes written anew (a new modification time) too.
  fs::copy_file(cls_ / "wdS2.doc", cls_ / "copy");
  fs::rename(cls_ / "copy", cls_ / "wdS2.doc");
  EnqueueSummary s = enqueueFolder(q, "b", key, cls_, "BQ1", false);
  EXPECT_EQ(s.queued, 0u);
  EXPECT_EQ(s.existing, n);
  EXPECT_EQ(rows(q, done, "b"), static_cast<int64_t>(n));

  // The roles of one question's key change: its three answers are marked
  // again against the new key, and only they.
  std::vector<KeyPoint>& points = wordTestKey();
  auto task = std::find_if(points.begin(), points.end(),
                           [](const KeyPoint& k) { return k.stable && k.role == Role::kTask; });
  ASSERT_NE(task, points.end());
  task->role = Role::kKeep;
  const std::string turned = task->point;
  s = enqueueFolder(q, "b", key, cls_, "BQ1", false);
  EXPECT_EQ(s.queued, 3u);
  EXPECT_EQ(s.existing, n - 3);
  EXPECT_EQ(rows(q, done, "b"), static_cast<int64_t>(n - 3));
  EXPECT_EQ(rows(q, "SELECT count(*) FROM bqmark_job WHERE batch = ? AND state = 'queued'", "b"),
            3);
  EXPECT_EQ(work("b"), 3u);
  const nlohmann::json report = queued(q, "b");
  EXPECT_EQ(report, markedHere());
  // The question document lacks the point that is now to be kept.
  const nlohmann::json asGiven = question(report, "S2", "WORDTEST");
  EXPECT_NE(std::find(asGiven["damaged"].begin(), asGiven["damaged"].end(), turned),
            asGiven["damaged"].end());

  // Another answer: that one job; --force: all.
  fs::copy_file(kModels / "wordtable/scores.docx", cls_ / "wtS2.doc",
                fs::copy_options::overwrite_existing);
  s = enqueueFolder(q, "b", key, cls_, "BQ1", false);
  EXPECT_EQ(s.queued, 1u);
  EXPECT_EQ(rows(q,
                 "SELECT count(*) FROM bqmark_job WHERE batch = ? AND state = 'queued' AND "
                 "file_name = 'wtS2.doc'",
                 "b"),
            1);
  s = enqueueFolder(q, "b", key, cls_, "BQ1", true);
  EXPECT_EQ(s.queued, n);
  EXPECT_EQ(s.existing, 0u);
  EXPECT_EQ(rows(q, done, "b"), 0);
}

TEST_F(QueueHere, AJobQueuedAgainIsNoLongerItsOldWorkersJob) {
  fs::copy_file(kModels / "wordtest/festival.docx", cls_ / "wdS1.doc");
  QueueDatabase q(connection());
  const size_t n = enqueueFolder(q, "b", key, cls_, "BQ1", false).queued;
  std::optional<LeasedJob> old;
  for (size_t i = 0; i < n && !(old && old->job.kind == Kind::kWordTest); ++i)
    old = claimJob(q, "b", "old", 600);
  ASSERT_TRUE(old && old->job.kind == Kind::kWordTest);
  EXPECT_EQ(old->attempt, 1);
  ASSERT_TRUE(old->answer);
  EXPECT_EQ(old->job.points, wordTestKey());

  wordTestKey().front().stable = !wordTestKey().front().stable;
  ASSERT_EQ(enqueueFolder(q, "b", key, cls_, "BQ1", false).queued, 1u);
  EXPECT_FALSE(finishJob(q, *old, "old", Mark{}));
  std::optional<LeasedJob> again = claimJob(q, "b", "new", 600);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->id, old->id);
  EXPECT_EQ(again->attempt, 1);
  EXPECT_GT(again->token, old->token);
  EXPECT_EQ(again->job.points, wordTestKey());
  EXPECT_FALSE(finishJob(q, *old, "old", Mark{}));
  EXPECT_TRUE(finishJob(q, *again, "new", Mark{}));
}

// A queue made before the task score: its results are reported without one,
// its queued jobs are marked with their points as tasks, and a rerun queues
// its jobs again.
TEST_F(QueueHere, AQueueOfTheFormerSchemaKeepsWorking) {
  const QuestionRef wordTest = refOf(Kind::kWordTest), wordTable = refOf(Kind::kWordTable);
  db::Connection c = schema_->open();
  c.Execute(
      "CREATE TABLE bqmark_job (id serial PRIMARY KEY, batch text NOT NULL, examinee text NOT "
      "NULL, examinee_key text NOT NULL, paper text NOT NULL, topic_id text NOT NULL, tpid "
      "integer NOT NULL, kind text NOT NULL, file_name text NOT NULL, answer bytea, expected "
      "text NOT NULL, sheet text NOT NULL, state text NOT NULL DEFAULT 'queued', lease_until "
      "timestamptz, lease_token integer NOT NULL DEFAULT 0, worker text, UNIQUE (batch, "
      "examinee_key, topic_id, tpid))");
  c.Execute(
      "CREATE TABLE bqmark_result (job_id integer PRIMARY KEY REFERENCES bqmark_job (id) ON "
      "DELETE CASCADE, score double precision NOT NULL, matched text NOT NULL, missing text NOT "
      "NULL, note text NOT NULL, worker text NOT NULL, marked_at timestamptz NOT NULL DEFAULT "
      "clock_timestamp())");
  c.Execute(
      "INSERT INTO bqmark_job (batch, examinee, examinee_key, paper, topic_id, tpid, kind, "
      "file_name, answer, expected, sheet, state, lease_token) VALUES ('b', 'S1', 'S1', 'BQ1', ?, "
      "?, 'WORDTEST', 'wdS1.doc', '\\x504b', '[\"a\",\"b\"]', '', 'done', 1), ('b', 'S1', 'S1', "
      "'BQ1', ?, ?, 'WORDTABLE', '', NULL, '[\"c\"]', '', 'queued', 0)",
      {wordTest.topicId, wordTest.tpid, wordTable.topicId, wordTable.tpid});
  c.Execute(
      "INSERT INTO bqmark_result (job_id, score, matched, missing, note, worker) SELECT id, 0.5, "
      "'[\"a\"]', '[\"b\"]', '', 'w' FROM bqmark_job WHERE kind = 'WORDTEST'");
  c.Close();

  QueueDatabase q(connection());
  QueueDatabase again(connection());  // a second opening alters nothing
  std::optional<LeasedJob> leased = claimJob(q, "b", "w", 600);
  ASSERT_TRUE(leased);
  EXPECT_EQ(leased->job.points, (std::vector<KeyPoint>{{"c", Role::kTask, true}}));
  EXPECT_EQ(leased->attempt, 1);
  Marker marker;
  const Mark unsent = markJob(marker, leased->job);
  EXPECT_EQ(unsent.note, std::string(kNoteNoFile));
  EXPECT_EQ(unsent.tasksMissing, std::vector<std::string>{"c"});
  ASSERT_TRUE(finishJob(q, *leased, "w", unsent));

  const nlohmann::json report = queued(q, "b");
  const nlohmann::json old = question(report, "S1", "WORDTEST");
  EXPECT_EQ(old["score"], 0.5);
  EXPECT_EQ(old["task_score"], -1.0);
  EXPECT_TRUE(old["tasks_done"].empty());
  EXPECT_EQ(question(report, "S1", "WORDTABLE")["tasks_missing"], nlohmann::json({"c"}));
  EXPECT_EQ(report["examinees"][0]["total"], 0.0);
  EXPECT_EQ(report["examinees"][0]["library_total"], 25.0);

  // The same answer bytes, but a key of the former form: queued again, its
  // result dropped.
  std::ofstream(cls_ / "wdS1.doc", std::ios::binary) << "PK";
  const EnqueueSummary s = enqueueFolder(q, "b", key, cls_, "BQ1", false);
  EXPECT_EQ(s.queued, jobCount());
  EXPECT_EQ(s.existing, 0u);
  EXPECT_EQ(rows(q,
                 "SELECT count(*) FROM bqmark_result r JOIN bqmark_job j ON j.id = r.job_id "
                 "WHERE j.batch = ?",
                 "b"),
            0);
  EXPECT_EQ(rows(q, "SELECT count(*) FROM bqmark_job WHERE batch = ? AND state = 'queued'", "b"),
            static_cast<int64_t>(jobCount()));
}

}  // namespace
}  // namespace bq::mark
