// Task marks: the answer key's roles and stability, the task score, and the
// demo papers' questions marked as an examinee would hand them in: untouched,
// half done, done, and done then saved by LibreOffice.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "dbmaint/exam_source.h"
#include "platform/db/value.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "platform/office/legacy/resident_converter.h"
#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/jobs.h"
#include "tools/bqmark/local_run.h"
#include "tools/bqmark/marking.h"
#include "tools/bqmark/stability.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

const fs::path kModels = BQ_DEMO_MODELS;
const fs::path kSource = BQ_DEMO_PAPERS_SRC;

std::function<bool(const std::string&)> holding(std::set<std::string> points) {
  return [points = std::move(points)](const std::string& p) { return points.count(p) > 0; };
}

TEST(TaskScore, FollowsTheWorkFromNothingToTheModel) {
  const std::vector<KeyPoint> key = {{"t1", Role::kTask, true},   {"t2", Role::kTask, true},
                                     {"t3", Role::kTask, false},  {"r1", Role::kRemove, true},
                                     {"r2", Role::kRemove, true}, {"k1", Role::kKeep, true},
                                     {"k2", Role::kKeep, true},   {"k3", Role::kKeep, false}};
  struct Case {
    std::set<std::string> answer;
    double want;
  } cases[] = {
      {{"r1", "r2", "k1", "k2", "k3"}, 0.0},   // the question document untouched
      {{"t1", "t2", "t3", "k1", "k2"}, 1.0},   // the model answer (an unstable point lost)
      {{"t1", "r2", "k1", "k2"}, 0.5},         // half: one task done, one point removed
      {{"t1", "t2", "r1", "r2", "k1"}, 0.25},  // all tasks, nothing removed, one kept point lost
      {{"t1", "t2"}, 0.5},                     // the tasks done, the rest deleted
      {{}, 0.0},                               // everything deleted
      {{"t3", "r1", "r2", "k1", "k2"}, 0.0},   // only an unstable task done: no credit
  };
  for (const Case& c : cases) {
    Mark m;
    scoreTasks(key, holding(c.answer), m);
    EXPECT_DOUBLE_EQ(m.taskScore, c.want) << ::testing::PrintToString(c.answer);
    EXPECT_EQ(m.unstable, (std::vector<std::string>{"t3", "k3"}));
  }
  Mark half;
  scoreTasks(key, holding({"t1", "r2", "k1"}), half);
  EXPECT_EQ(half.tasksDone, std::vector<std::string>{"t1"});
  EXPECT_EQ(half.tasksMissing, std::vector<std::string>{"t2"});
  EXPECT_EQ(half.removed, std::vector<std::string>{"r1"});
  EXPECT_EQ(half.notRemoved, std::vector<std::string>{"r2"});
  EXPECT_EQ(half.damaged, std::vector<std::string>{"k2"});

  // Deleting everything gains nothing even where more is removed than kept.
  const std::vector<KeyPoint> mostlyRemoved = {{"t", Role::kTask, true},
                                               {"r1", Role::kRemove, true},
                                               {"r2", Role::kRemove, true},
                                               {"r3", Role::kRemove, true},
                                               {"k", Role::kKeep, true}};
  Mark empty;
  scoreTasks(mostlyRemoved, holding({}), empty);
  EXPECT_DOUBLE_EQ(empty.taskScore, 0.0);
  Mark removedOnly;
  scoreTasks(mostlyRemoved, holding({"k"}), removedOnly);
  EXPECT_DOUBLE_EQ(removedOnly.taskScore, 0.75);

  // Nothing stable to do: not scored.
  Mark none;
  scoreTasks({{"k", Role::kKeep, true}, {"t", Role::kTask, false}}, holding({}), none);
  EXPECT_EQ(none.taskScore, -1);
  EXPECT_EQ(unreadAnswer(key, "x").taskScore, 0);
  EXPECT_EQ(unreadAnswer(key, "x").missing, modelPoints(key));
}

TEST(AnswerKey, RolesFromBothDocumentsAndStabilityFromTheRoundTrips) {
  const std::vector<std::string> model = {"keep", "task", "lost", "made"};
  const std::vector<std::string> question = {"keep", "gone", "stays", "lost", "made"};
  // Saved by LibreOffice: the model loses "lost" both times; the question
  // loses "stays" once and "made" once.
  const std::vector<SavedPoints> modelRt = {{"docx", {"keep", "task", "made"}},
                                            {"doc", {"keep", "task", "made"}}};
  const std::vector<SavedPoints> questionRt = {{"docx", {"keep", "gone", "lost", "made"}},
                                               {"doc", {"keep", "gone", "stays", "lost"}}};
  const std::vector<KeyPoint> key = keyOf(model, question, modelRt, questionRt);
  const std::vector<KeyPoint> want = {
      {"keep", Role::kKeep, true},   {"task", Role::kTask, true},
      {"lost", Role::kKeep, false},  // the saved model lacks it
      {"made", Role::kKeep, false},  // one saved question lacks it
      {"gone", Role::kRemove, true}, {"stays", Role::kRemove, false}};
  EXPECT_EQ(key, want);
  // Without round trips every point is stable; a listing compares without case.
  const std::vector<KeyPoint> listing =
      keyOf({"A\\", "A\\b.TXT"}, {"a\\", "a\\c.txt"}, {}, {}, true);
  EXPECT_EQ(listing, (std::vector<KeyPoint>{{"A\\", Role::kKeep, true},
                                            {"A\\b.TXT", Role::kTask, true},
                                            {"a\\c.txt", Role::kRemove, true}}));
}

// The demo papers' operation questions, marked against the demo database's key.
class DemoQuestions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    source_ = new ExamSource(readExamSource(kSource));
    db::Connection c = openExam(BQ_DEMO_DATABASE, "KVRMTX5830");
    key_ = new ExamKey(readExamKey(c));
  }
  static void TearDownTestSuite() {
    delete source_;
    delete key_;
  }

  struct Question {
    Kind kind;
    int32_t tpid;
    fs::path model, half, start;  // start: the question document or starting tree's listing
  };

  // Every question with a model answer; listings of the starting trees are
  // written into `folder`.
  std::vector<Question> questions(const fs::path& folder) const {
    std::vector<Question> out;
    const SourceTable* models = source_->table("model_answer");
    for (const auto& row : models->rows) {
      Question q;
      q.kind = *kindOfTopic(db::variantText(row[0].value));
      q.tpid = row[1].value.as<int32_t>();
      if (q.kind == Kind::kEmail) continue;
      const std::string rel = row[2].file.substr(std::string("models/").size());
      q.model = kModels / rel;
      q.half = kModels / "half" / rel;
      const char* table = q.kind == Kind::kWordTest     ? "wordtest"
                          : q.kind == Kind::kWordTable  ? "wordtable"
                          : q.kind == Kind::kExcel      ? "exceltest"
                          : q.kind == Kind::kPowerPoint ? "powerpoint"
                                                        : "Operation";
      const SourceTable* t = source_->table(table);
      for (const auto& r : t->rows) {
        if (r[*t->columnIndex("id")].value.as<int32_t>() != q.tpid) continue;
        if (q.kind == Kind::kOperation) {
          q.start = folder / ("start" + std::to_string(q.tpid) + ".txt");
          std::ofstream(q.start, std::ios::binary)
              << toAnsi(db::variantText(r[*t->columnIndex("Question")].value)) << "\r\n";
        } else {
          q.start = kSource / r[*t->columnIndex("fj")].file;
        }
      }
      out.push_back(q);
    }
    return out;
  }

  double taskScore(Marker& marker, const Question& q, const fs::path& answer) {
    const ExpectedSet& e = key_->expected.at({std::string(infoOf(q.kind).topicId), q.tpid});
    return marker.markAnswer(q.kind, answer, e.points, e.sheet).taskScore;
  }

  static ExamSource* source_;
  static ExamKey* key_;
};

ExamSource* DemoQuestions::source_ = nullptr;
ExamKey* DemoQuestions::key_ = nullptr;

TEST_F(DemoQuestions, UntouchedScoresNothingHalfDoneHalfTheModelAll) {
  office::TempFolder folder("bqmark-demo-", office::Failure{53, "test", "folder"});
  Marker marker;
  const std::vector<Question> all = questions(folder.path());
  ASSERT_EQ(all.size(), 10u);
  for (const Question& q : all) {
    SCOPED_TRACE(std::string(infoOf(q.kind).name) + " " + std::to_string(q.tpid));
    EXPECT_EQ(taskScore(marker, q, q.start), 0.0);
    EXPECT_EQ(taskScore(marker, q, q.model), 1.0);
    const double half = taskScore(marker, q, q.half);
    EXPECT_GE(half, 0.3);
    EXPECT_LE(half, 0.7);
  }
  // An empty or garbage listing earns nothing, whatever it lacks.
  const fs::path empty = folder.path() / "empty.txt";
  std::ofstream(empty, std::ios::binary) << "";
  const fs::path garbage = folder.path() / "garbage.txt";
  std::ofstream(garbage, std::ios::binary) << "\x01\x02zz,,\\\\..\r\n";
  for (const Question& q : all) {
    if (q.kind != Kind::kOperation) continue;
    EXPECT_EQ(taskScore(marker, q, empty), 0.0);
    EXPECT_EQ(taskScore(marker, q, garbage), 0.0);
  }
}

// The model answers as the examinee's LibreOffice would save them, in the
// kept format and in the legacy one: every stable point survives.
TEST_F(DemoQuestions, ModelAnswersSavedByLibreOfficeKeepTheirMarks) {
  if (office::findSoffice().empty()) GTEST_SKIP() << "LibreOffice is not installed";
  office::ResidentConversionScope resident;
  RoundTrips roundTrips;
  office::TempFolder folder("bqmark-demo-", office::Failure{53, "test", "folder"});
  Marker marker;
  for (const Question& q : questions(folder.path())) {
    if (q.kind == Kind::kOperation) continue;
    for (const SavedCopy& copy : roundTrips.saved(q.kind, q.model)) {
      SCOPED_TRACE(std::string(infoOf(q.kind).name) + " " + std::to_string(q.tpid) + " ." +
                   copy.format);
      ASSERT_FALSE(copy.file.empty()) << copy.failure;
      EXPECT_GE(taskScore(marker, q, copy.file), 0.9);
    }
    for (const SavedCopy& copy : roundTrips.saved(q.kind, q.start)) {
      ASSERT_FALSE(copy.file.empty()) << copy.failure;
      EXPECT_EQ(taskScore(marker, q, copy.file), 0.0) << copy.format;
    }
  }
}

// Whatever the round trips find, the key keeps something to mark for each
// demo question, and the library's own set is the model answer's.
TEST_F(DemoQuestions, EveryQuestionHasStableTasksAndTheModelsWholeSet) {
  for (const auto& [q, e] : key_->expected) {
    SCOPED_TRACE(q.topicId + " " + std::to_string(q.tpid));
    size_t stableTasks = 0;
    for (const KeyPoint& k : e.points) stableTasks += k.stable && k.role == Role::kTask;
    EXPECT_GT(stableTasks, 0u);
  }
  Marker marker;
  const ExpectedSet& festival = key_->expected.at({"06", 1});
  EXPECT_EQ(modelPoints(festival.points),
            marker.expectedPoints(Kind::kWordTest, kModels / "wordtest/festival.docx"));
}

TEST(Uploads, SymbolicLinksAndOversizedFilesAreNotRead) {
  office::TempFolder folder("bqmark-links-", office::Failure{53, "test", "folder"});
  const fs::path cls = folder.path() / "class";
  const fs::path outside = folder.path() / "outside";
  fs::create_directories(cls);
  fs::create_directories(outside);
  fs::copy_file(kModels / "operation/1.txt", outside / "model.txt");
  fs::create_symlink(outside / "model.txt", cls / "opBQ1.txt");
  fs::create_directory_symlink(outside, cls / "sub");
  std::ofstream(cls / "plain.txt", std::ios::binary) << "x";
  EXPECT_EQ(refusalOf(cls, cls / "opBQ1.txt"), kNoteSymlink);
  EXPECT_EQ(refusalOf(cls, cls / "sub" / "model.txt"), kNoteSymlink);
  EXPECT_EQ(refusalOf(cls, cls / "plain.txt"), "");
  // A sparse file past the readers' bound is refused by its size alone.
  {
    std::ofstream big(cls / "big.doc", std::ios::binary);
    big.seekp((256ll << 20) + 1);
    big << 'x';
  }
  EXPECT_EQ(refusalOf(cls, cls / "big.doc"), kNoteTooLarge);

  ExamKey key;
  key.papers["BQ1"] = {"BQ1", {{"05", 1}}};
  key.expected[{"05", 1}].points = {{"学习资料\\", Role::kKeep, true},
                                    {"学习资料\\英语\\", Role::kTask, true}};
  const std::vector<Job> jobs = planJobs(key, scanUploads(cls), "");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].refusal, kNoteSymlink);
  Marker marker;
  const Mark m = markJob(marker, jobs[0]);
  EXPECT_EQ(m.taskScore, 0);
  EXPECT_EQ(m.score, 0);
  EXPECT_EQ(m.note, kNoteSymlink);
}

// A rerun marks again what the key's roles changed, though no file did.
TEST(LocalRun, ARerunMarksAgainWhenOnlyTheRolesChanged) {
  office::TempFolder folder("bqmark-rerun-", office::Failure{53, "test", "folder"});
  const fs::path cls = folder.path() / "class";
  fs::create_directories(cls);
  fs::copy_file(kModels / "operation/1.txt", cls / "opBQ1.txt");
  ExamKey key;
  key.papers["BQ1"] = {"BQ1", {{"05", 1}}};
  key.expected[{"05", 1}].points = {{"学习资料\\", Role::kTask, true},
                                    {"学习资料\\英语\\", Role::kTask, true}};
  LocalRunOptions o;
  o.folder = cls;
  o.out = folder.path() / "out";
  o.progress = false;
  o.pool.workers = 1;
  EXPECT_EQ(markFolder(key, o).markedNow, 1u);
  EXPECT_EQ(markFolder(key, o).markedNow, 0u);
  key.expected[{"05", 1}].points[0].role = Role::kKeep;
  EXPECT_EQ(markFolder(key, o).markedNow, 1u);
  const auto stored = readStoredResults(o.out);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.begin()->second.mark.tasksDone, std::vector<std::string>{"学习资料\\英语\\"});
}

}  // namespace
}  // namespace bq::mark
