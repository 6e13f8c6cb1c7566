// The worker pool replaces a worker that runs past the job time limit, and
// the jobs after it are marked as usual.
#include "tools/bqmark/worker_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/office/legacy/legacy_conversion.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

TEST(WorkerPool, AJobPastItsTimeScoresZeroAndTheNextWorkerGoesOn) {
  if (office::findSoffice().empty()) GTEST_SKIP() << "LibreOffice is not installed";
  Job slow;
  slow.examinee = "S1";
  slow.paper = "BQ1";
  slow.kind = Kind::kWordTest;
  slow.question = {"06", 2};
  // A legacy file with one LibreOffice start for it: far more than 300 ms.
  slow.file = fs::path(BQ_LEGACY_TESTDATA) / "tea.doc";
  slow.points = {{"文本字体,隶书", Role::kTask, true}};
  Job quick = slow;
  quick.examinee = "S2";
  quick.kind = Kind::kWordTable;
  quick.question = {"07", 1};
  quick.file = fs::path(BQ_DEMO_MODELS) / "wordtable/scores.docx";
  quick.points = {{"文本,总分\r\a", Role::kTask, true}};

  PoolOptions options;
  options.workers = 1;
  options.jobTimeout = std::chrono::milliseconds(300);
  options.residentOffice = false;
  std::map<std::string, Mark> marks;
  markOnPool({slow, quick}, options, [&](Result r) { marks[r.job.examinee] = r.mark; });
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks["S1"].score, 0);
  EXPECT_EQ(marks["S1"].note, kNoteTimedOut);
  EXPECT_EQ(marks["S1"].missing, modelPoints(slow.points));
  EXPECT_EQ(marks["S1"].taskScore, 0);
  EXPECT_EQ(marks["S2"].score, 1);
  EXPECT_EQ(marks["S2"].note, "");
  // The LibreOffice that the killed worker had started is gone too.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace bq::mark
