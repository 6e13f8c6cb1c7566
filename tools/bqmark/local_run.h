// Marking a folder of uploaded answers on this machine (`bqmark mark`).
//
// The results go to OUT/results.jsonl as they arrive, one JSON line per
// marked answer (flushed at once, so an interrupted run keeps what it did);
// a later run skips every answer whose file is unchanged since it was marked
// (same size and modification time), unless `force`. The reports are then
// written from the results of the folder's current answers.
//
// Thread safety: forks its worker pool; call it before starting threads.
#pragma once

#include <filesystem>
#include <string>

#include "platform/db/connection.h"
#include "tools/bqmark/jobs.h"
#include "tools/bqmark/worker_pool.h"

namespace bq::mark {

struct LocalRunOptions {
  std::filesystem::path folder;  // the uploaded answers
  std::filesystem::path out;     // results.jsonl and the reports
  std::string defaultPaper;      // for examinees whose ID is no card number
  bool force = false;
  bool progress = true;  // the bar on standard error
  std::string title = "班级成绩报告";
  PoolOptions pool;
};

struct LocalRunSummary {
  size_t examinees = 0;
  size_t answers = 0;       // jobs of the run
  size_t markedNow = 0;     // marked by this run's workers
  size_t reused = 0;        // taken from an earlier run
  size_t ignoredFiles = 0;  // files of the folder that are no answer file
  double seconds = 0;       // wall time of the marking
};

// Opens the exam database: `exam` is a connection string (it holds "=") or
// the path of a sealed exam database opened with `password`.
db::Connection openExam(const std::string& exam, const std::string& password);

// Marks the folder against the exam key and writes the reports. Throws
// AutomationError for a folder or output that cannot be used.
LocalRunSummary markFolder(const ExamKey& key, const LocalRunOptions& options);

// The stored results of `out` (results.jsonl), the last one of each key.
std::map<std::string, Result> readStoredResults(const std::filesystem::path& out);

}  // namespace bq::mark
