// bqmark: marks the uploaded operation answers of a class with the scoring
// library's own methods (GetExcelScore, GetOpZSDFromFile, GetOpScore,
// GetMailZSDFromPath) against the answer key of the exam database.
//
//   bqmark mark FOLDER --exam DB [--out DIR] [--paper CARD] [--jobs N]
//               [--force] [--no-resident-office] [--title TEXT] [--quiet]
//       marks the folder of uploaded answers on a pool of N worker processes
//       (default: one per core); reports in DIR (default FOLDER/bqmark):
//       marks.csv, marks.json, report.html; results.jsonl keeps what was
//       marked, so a rerun marks only new or changed answers (all with --force)
//   bqmark expect MODEL --kind KIND [--question DOC] [--sheet NAME] [--model-only]
//                [--no-stability]
//       the answer key of a model answer, for question authors: a JSON object
//       with the stable points by role ("task", "remove", "keep") and the
//       "unstable" ones apart; DOC is the question document (for OPERATION a
//       listing of the starting tree). --model-only: the model answer's points
//       as one JSON array
//   bqmark enqueue FOLDER --exam DB --db PG [--batch NAME] [--paper CARD] [--force]
//   bqmark work --db PG [--batch NAME] [--jobs N] [--lease SECONDS] [--no-resident-office]
//   bqmark report --db PG [--batch NAME] --out DIR [--title TEXT]
//       the same on many machines with PostgreSQL as queue and result store
//       (tools/bqmark/pg_queue.h)
//
// DB is the path of a sealed exam database (opened with --password, by
// default the exam client's) or any connection string the data layer takes.
// Exit status: 0 done, 1 failure (one line "bqmark: <command>: <reason>"),
// 2 usage error.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/automation_error.h"
#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/local_run.h"
#include "tools/bqmark/marking.h"
#include "tools/bqmark/pg_queue.h"
#include "tools/bqmark/stability.h"

namespace {

namespace fs = std::filesystem;
using namespace bq::mark;

constexpr const char* kClientPassword = "KVRMTX5830";

int runCommand(const std::string& name, const std::function<void()>& body) {
  try {
    body();
    return 0;
  } catch (const bq::AutomationError& e) {
    std::fprintf(stderr, "bqmark: %s: %s\n", name.c_str(), e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bqmark: %s: %s\n", name.c_str(), e.what());
  }
  return 1;
}

int defaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

struct ExamArgs {
  std::string exam;
  std::string password = kClientPassword;
  std::string paper;
};

void addExamOptions(CLI::App* sub, ExamArgs& a) {
  sub->add_option("--exam", a.exam,
                  "Exam database built with model answers (path or connection string)")
      ->required();
  sub->add_option("--password", a.password, "Password of a sealed exam database");
  sub->add_option("--paper", a.paper,
                  "Card number of the paper of examinees whose ID is no card number");
}

ExamKey loadKey(const ExamArgs& a) {
  bq::db::Connection c = openExam(a.exam, a.password);
  ExamKey key = readExamKey(c);
  c.Close();
  if (!a.paper.empty() && !key.paperOf(a.paper))
    throw bq::AutomationError(bq::err::kInvalidCall, "bqmark",
                              "the exam database has no paper " + a.paper);
  return key;
}

void addMark(CLI::App& app, int& status) {
  CLI::App* sub = app.add_subcommand("mark", "Mark a folder of uploaded answers on this machine");
  auto a = std::make_shared<ExamArgs>();
  auto o = std::make_shared<LocalRunOptions>();
  auto folder = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  auto noResident = std::make_shared<bool>(false);
  auto quiet = std::make_shared<bool>(false);
  o->pool.workers = defaultJobs();
  sub->add_option("FOLDER", *folder, "Folder of uploaded answers (wt<ID>.doc, op<ID>.txt, ...)")
      ->required();
  addExamOptions(sub, *a);
  sub->add_option("--out", *out, "Folder of the reports (default FOLDER/bqmark)");
  sub->add_option("--jobs,-j", o->pool.workers, "Worker processes")->check(CLI::Range(1, 256));
  sub->add_flag("--force", o->force, "Mark every answer again");
  sub->add_flag("--no-resident-office", *noResident,
                "Start LibreOffice for every legacy file instead of keeping one per worker");
  sub->add_option("--title", o->title, "Title of the HTML report");
  sub->add_flag("--quiet,-q", *quiet, "No progress bar");
  sub->callback([&status, a, o, folder, out, noResident, quiet] {
    status = runCommand("mark", [&] {
      o->folder = *folder;
      o->out = out->empty() ? fs::path(*folder) / "bqmark" : fs::path(*out);
      o->defaultPaper = a->paper;
      o->pool.residentOffice = !*noResident;
      o->progress = !*quiet;
      const LocalRunSummary s = markFolder(loadKey(*a), *o);
      std::printf(
          "bqmark: %zu answers of %zu examinees: %zu marked in %.2f s, %zu already marked; "
          "reports in %s\n",
          s.answers, s.examinees, s.markedNow, s.seconds, s.reused, o->out.c_str());
    });
  });
}

void addExpect(CLI::App& app, int& status) {
  CLI::App* sub = app.add_subcommand(
      "expect",
      "Print the answer key of a model answer: its points as task, remove and keep points, "
      "and those LibreOffice changes apart");
  auto model = std::make_shared<std::string>();
  auto kind = std::make_shared<std::string>();
  auto sheet = std::make_shared<std::string>();
  auto question = std::make_shared<std::string>();
  auto modelOnly = std::make_shared<bool>(false);
  auto noStability = std::make_shared<bool>(false);
  sub->add_option("MODEL", *model, "The model answer file")->required();
  sub->add_option("--kind", *kind,
                  "WORDTEST, WORDTABLE, EXCEL, POWERPOINT, OPERATION (a listing) or EMAIL")
      ->required();
  sub->add_option("--sheet", *sheet, "EXCEL: only this worksheet");
  sub->add_option("--question", *question,
                  "What the examinee starts from: the question document (OPERATION: a listing "
                  "of the starting tree); without it every point is a task");
  sub->add_flag("--model-only", *modelOnly,
                "Print the model answer's points alone, as one JSON array");
  sub->add_flag("--no-stability", *noStability,
                "Do not open and save the documents with LibreOffice");
  sub->callback([&status, model, kind, sheet, question, modelOnly, noStability] {
    status = runCommand("expect", [&] {
      const std::optional<Kind> k = kindNamed(*kind);
      if (!k) throw bq::AutomationError(bq::err::kInvalidCall, "bqmark", "unknown kind " + *kind);
      // The library reads a relative path with ".." in it as a Windows path:
      // the files are named absolutely.
      const fs::path modelFile = fs::absolute(*model);
      const fs::path questionFile = question->empty() ? fs::path() : fs::absolute(*question);
      Marker marker;
      const std::vector<std::string> points = marker.expectedPoints(*k, modelFile, *sheet);
      if (points.empty())
        throw bq::AutomationError(bq::err::kInvalidCall, "bqmark",
                                  "no knowledge point found in " + *model);
      if (*modelOnly) {
        std::cout << jsonLine(nlohmann::json(points)) << std::flush;
        return;
      }
      std::vector<std::string> start;
      if (!question->empty()) start = marker.expectedPoints(*k, questionFile, *sheet);
      std::optional<RoundTrips> roundTrips;
      if (!*noStability) roundTrips.emplace();
      if (roundTrips && !roundTrips->available())
        std::fprintf(stderr,
                     "bqmark: expect: LibreOffice is not installed: no point is checked "
                     "for stability\n");
      const std::vector<KeyPoint> key =
          buildQuestionKey(marker, roundTrips ? &*roundTrips : nullptr, *k, modelFile, points,
                           *k == Kind::kOperation ? fs::path() : questionFile, start, *sheet,
                           *model, [](const std::string& line) {
                             std::fprintf(stderr, "bqmark: expect: %s\n", line.c_str());
                           });
      nlohmann::json out = {{"task", nlohmann::json::array()},
                            {"remove", nlohmann::json::array()},
                            {"keep", nlohmann::json::array()},
                            {"unstable", nlohmann::json::array()}};
      for (const KeyPoint& p : key) {
        if (p.stable)
          out[std::string(roleName(p.role))].push_back(p.point);
        else
          out["unstable"].push_back({{"point", p.point}, {"role", roleName(p.role)}});
      }
      std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n"
                << std::flush;
    });
  });
}

void addQueue(CLI::App& app, int& status) {
  auto db = std::make_shared<std::string>();
  auto batch = std::make_shared<std::string>("default");

  CLI::App* enqueue =
      app.add_subcommand("enqueue", "Put a folder's answers on the PostgreSQL queue");
  auto a = std::make_shared<ExamArgs>();
  auto folder = std::make_shared<std::string>();
  auto force = std::make_shared<bool>(false);
  enqueue->add_option("FOLDER", *folder, "Folder of uploaded answers")->required();
  addExamOptions(enqueue, *a);
  enqueue->add_option("--db", *db, "PostgreSQL connection string or URI")->required();
  enqueue->add_option("--batch", *batch, "Name of the class on the queue");
  enqueue->add_flag("--force", *force, "Mark answers again that were marked already");
  enqueue->callback([&status, a, folder, force, db, batch] {
    status = runCommand("enqueue", [&] {
      QueueDatabase q(*db);
      const EnqueueSummary s = enqueueFolder(q, *batch, loadKey(*a), *folder, a->paper, *force);
      std::printf("bqmark: %zu answers of %zu examinees queued in batch %s (%zu already there)\n",
                  s.queued, s.examinees, batch->c_str(), s.existing);
    });
  });

  CLI::App* work =
      app.add_subcommand("work", "Mark answers from the PostgreSQL queue until it is empty");
  auto w = std::make_shared<WorkOptions>();
  auto noResident = std::make_shared<bool>(false);
  w->workers = defaultJobs();
  work->add_option("--db", *db, "PostgreSQL connection string or URI")->required();
  work->add_option("--batch", *batch, "Name of the class on the queue");
  work->add_option("--jobs,-j", w->workers, "Worker processes")->check(CLI::Range(1, 256));
  work->add_option("--lease", w->leaseSeconds,
                   "Seconds a taken answer stays reserved; a worker that died gives it up then")
      ->check(CLI::PositiveNumber);
  work->add_flag("--no-resident-office", *noResident,
                 "Start LibreOffice for every legacy file instead of keeping one per worker");
  work->callback([&status, w, noResident, db, batch] {
    status = runCommand("work", [&] {
      w->connection = *db;
      w->batch = *batch;
      w->residentOffice = !*noResident;
      const size_t n = workQueue(*w);
      std::printf("bqmark: %zu answers marked\n", n);
    });
  });

  CLI::App* report = app.add_subcommand("report", "Write the reports of a batch from PostgreSQL");
  auto out = std::make_shared<std::string>();
  auto title = std::make_shared<std::string>("班级成绩报告");
  report->add_option("--db", *db, "PostgreSQL connection string or URI")->required();
  report->add_option("--batch", *batch, "Name of the class on the queue");
  report->add_option("--out", *out, "Folder of the reports")->required();
  report->add_option("--title", *title, "Title of the HTML report");
  report->callback([&status, out, title, db, batch] {
    status = runCommand("report", [&] {
      QueueDatabase q(*db);
      const ReportSummary s = writeQueueReports(q, *batch, *out, *title);
      std::printf("bqmark: %zu answers reported, %zu not marked yet; reports in %s\n", s.marked,
                  s.pending, out->c_str());
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"bqmark: marks a class's uploaded operation answers"};
  int status = 0;
  addMark(app, status);
  addExpect(app, status);
  addQueue(app, status);
  app.require_subcommand(1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }
  return status;
}
