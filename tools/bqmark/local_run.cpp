#include "tools/bqmark/local_run.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "common/automation_error.h"
#include "platform/ui/progress_canvas.h"
#include "tools/bqmark/report.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

// The marking progress as one bar on standard error, redrawn when the
// percentage changes.
class Progress {
 public:
  Progress(size_t total, bool shown) : total_(total) {
    if (shown && total > 0) {
      canvas_.emplace("bqmark");
      canvas_->setVisible(true);
      draw();
    }
  }
  ~Progress() {
    if (canvas_) canvas_->setVisible(false);
  }
  void step() {
    ++done_;
    draw();
  }

 private:
  void draw() {
    if (!canvas_) return;
    // On a terminal the bar moves by the percent; a log gets a line per tenth.
    const size_t step = terminal_ ? 1 : 10;
    const size_t percent = done_ * 100 / total_ / step * step;
    if (percent == shown_) return;
    shown_ = percent;
    constexpr ui::OleColor kNavy = ui::RGB(0, 0, 128);
    canvas_->setBackColor(ui::RGB(255, 255, 255));
    canvas_->Print("已阅 " + std::to_string(percent) + "%，共 " + std::to_string(total_) +
                   " 份答卷");
    canvas_->setDrawMode(ui::vbNotXorPen);
    canvas_->fillBox(0, 0,
                     canvas_->Width() * static_cast<double>(done_) / static_cast<double>(total_),
                     canvas_->Height(), kNavy);
    canvas_->Refresh();
  }

  std::optional<ui::ConsoleProgressCanvas> canvas_;
  size_t total_;
  size_t done_ = 0;
  size_t shown_ = static_cast<size_t>(-1);
  bool terminal_ = ui::isTerminal(stderr);
};

}  // namespace

db::Connection openExam(const std::string& exam, const std::string& password) {
  db::Connection c;
  if (exam.find('=') != std::string::npos || exam.starts_with("postgresql://")) {
    c.Open(exam);
  } else {
    std::string quoted = "\"";
    for (char ch : exam) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + quoted +
           "\";Jet OLEDB:Database Password=" + password + ";Mode=Read;");
  }
  return c;
}

std::map<std::string, Result> readStoredResults(const fs::path& out) {
  std::map<std::string, Result> stored;
  std::ifstream in(out / "results.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    try {
      const nlohmann::json j = nlohmann::json::parse(line);
      Result r{jobFromJson(j.at("job")), markFromJson(j.at("mark"))};
      stored[r.job.key()] = std::move(r);
    } catch (const std::exception&) {
      // A line cut short by an interrupted run: that answer is marked again.
    }
  }
  return stored;
}

LocalRunSummary markFolder(const ExamKey& key, const LocalRunOptions& options) {
  const UploadFolder uploads = scanUploads(options.folder);
  const std::vector<Job> jobs = planJobs(key, uploads, options.defaultPaper);
  LocalRunSummary summary;
  summary.examinees = uploads.examinees.size();
  summary.answers = jobs.size();
  summary.ignoredFiles = uploads.ignored.size();

  std::error_code ec;
  fs::create_directories(options.out, ec);
  if (ec)
    throw AutomationError(err::kPathNotFound, "bqmark",
                          "cannot make \"" + options.out.string() + "\": " + ec.message());
  std::map<std::string, Result> stored =
      options.force ? std::map<std::string, Result>() : readStoredResults(options.out);

  std::vector<Result> results(jobs.size());
  std::vector<Job> work;
  std::map<std::string, size_t> slot;  // job key -> index in results
  Marker local;                        // answers that need no reading: no paper, no file
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    results[i].job = job;
    slot[job.key()] = i;
    if (job.paper.empty() || job.file.empty() || !job.refusal.empty()) {
      results[i].mark = markJob(local, job);
      continue;
    }
    if (auto it = stored.find(job.key()); it != stored.end() && it->second.job.stamp == job.stamp &&
                                          it->second.job.points == job.points &&
                                          it->second.job.sheet == job.sheet) {
      results[i].mark = it->second.mark;
      ++summary.reused;
      continue;
    }
    work.push_back(job);
  }

  FILE* log = std::fopen((options.out / "results.jsonl").c_str(), options.force ? "w" : "a");
  if (!log)
    throw AutomationError(err::kPermissionDenied, "bqmark",
                          "cannot write \"" + (options.out / "results.jsonl").string() + "\"");
  const auto started = std::chrono::steady_clock::now();
  {
    Progress progress(work.size(), options.progress);
    markOnPool(work, options.pool, [&](Result r) {
      const std::string line = jsonLine({{"job", jobToJson(r.job)}, {"mark", markToJson(r.mark)}});
      std::fwrite(line.data(), 1, line.size(), log);
      std::fflush(log);
      results[slot.at(r.job.key())].mark = std::move(r.mark);
      ++summary.markedNow;
      progress.step();
    });
  }
  summary.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fclose(log);
  writeReports(options.out, results, options.title);
  return summary;
}

}  // namespace bq::mark
