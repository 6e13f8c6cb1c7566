// The exam client's page generators and its exam preparation on the sealed
// demo database (card bq1), against `cp` copying the same bytes, in the same
// run.
//
// For each page kind the generator builds the page from the database and
// writes the page file (what happens between a click on a section button and
// the browser's load); the peer is `cp` of that page file to another file.
// The preparation (work folder, operation root, four question documents and
// six question texts) is set against `cp -r` of the folder it produced. Each
// figure is the median of the runs; goal: a page in under 1 ms.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "client/core/app_values.h"
#include "client/core/objective_pages.h"
#include "client/core/operation_pages.h"
#include "client/core/preparation.h"
#include "client/core/typing_page.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPageRuns = 51;
constexpr int kPreparationRuns = 11;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double timeOnce(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double medianOf(int runs, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(timeOnce(f));
  return median(t);
}

// Runs a program with its arguments and waits; exits the benchmark when it fails.
void runProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "client_pages_bench: %s failed\n", args[0].c_str());
    std::exit(1);
  }
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("bq-pages-bench-" + std::to_string(getpid()));
  const fs::path program = root / "program";
  fs::create_directories(program);
  setenv("BQ_DRIVES", (root / "drives").c_str(), 1);
  fs::copy_file(BQ_DEMO_DATABASE, program / "BqTest.MDB");
  std::ofstream(program / "questionpane.exe") << std::string(200000, 'x');
  std::ofstream(program / "bq.avi") << std::string(150000, 'v');

  bq::client::AppValues app;
  app.AppFolder = program.string();
  bq::client::openExamConnection(app);
  app.CardNumber = "bq1";
  app.ExamSecondsLeft = 8000;
  app.TypingSecondsLeft = 500;

  struct Kind {
    const char* name;
    const char* file;
    std::function<void()> build;
  };
  const std::vector<Kind> kinds = {
      {"choice", "selection.asp", [&] { bq::client::BuildChoicePage(app); }},
      {"true/false", "judgement.asp", [&] { bq::client::BuildTrueFalsePage(app); }},
      {"typing", "typewrite.asp", [&] { bq::client::BuildTypingPage(app); }},
      {"operation", "excel.asp",
       [&] { bq::client::BuildOperationPage(app, "EXCEL操作题", "08"); }},
  };

  std::printf("%-12s %10s %12s %12s %8s\n", "page", "bytes", "ours ms", "cp ms", "cp/ours");
  double worst = 0;
  for (const Kind& k : kinds) {
    const double ours = medianOf(kPageRuns, k.build);
    const fs::path page = program / k.file;
    const std::string from = page.string(), to = (root / "copy.asp").string();
    const double cp = medianOf(kPageRuns, [&] { runProgram({"cp", from, to}); });
    worst = std::max(worst, ours);
    std::printf("%-12s %10ju %12.3f %12.3f %8.1f\n", k.name, static_cast<uintmax_t>(fs::file_size(page)),
                ours, cp, cp / ours);
  }

  const fs::path work = root / "drives" / "c" / "BQTEST";
  const double ours = medianOf(kPreparationRuns, [&] {
    if (bq::client::prepareExam(app) != bq::client::Preparation::kGoOn) std::exit(1);
  });
  const std::string copyTo = (root / "work-copy").string();
  const double cp = medianOf(kPreparationRuns, [&] {
    fs::remove_all(copyTo);
    runProgram({"cp", "-r", work.string(), copyTo});
  });
  uintmax_t bytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(work))
    if (e.is_regular_file()) bytes += e.file_size();
  std::printf("%-12s %10ju %12.3f %12.3f %8.1f\n", "preparation", bytes, ours, cp, cp / ours);
  std::printf("slowest page %.3f ms (goal: under 1 ms): %s\n", worst, worst < 1.0 ? "met" : "NOT met");

  fs::remove_all(root);
  return 0;
}
