// Marking a class with bqmark against the same marking done by one bqcall
// process per answer (as a script around the library's command-line host
// would do it), in the same run; and legacy answers with a resident
// LibreOffice per worker against one LibreOffice start per file.
//
// The class: 40 examinees of paper BQ1, each with a Word table, Word, Excel
// and PowerPoint answer and a folder listing (bqmark_class.py: the demo's
// model answers with seeded changes). The legacy class: 6 examinees, their
// Office answers converted to .doc/.xls/.ppt by LibreOffice.
// Both sides must give the same scores.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/peer.h"
#include "bench/timing.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/jobs.h"
#include "tools/bqmark/local_run.h"

namespace {

namespace fs = std::filesystem;
using bqbench::capture;
using nlohmann::json;

const std::string kBqmark = BQMARK_PATH;
const std::string kBqcall = BQCALL_PATH;
const std::string kDatabase = BQ_DEMO_DATABASE;

// `s` as one word of a shell command.
std::string sh(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "bqmark_bench: %s\n", what.c_str());
  std::exit(1);
}

void makeClass(const fs::path& dir, int count, bool legacy) {
  std::string cmd = bqbench::python() + " " + sh(BQMARK_CLASS_PY) + " " + sh(BQ_DEMO_MODELS) + " " +
                    sh(std::string(BQ_DEMO_PAPERS_SRC) + "/files") + " " + sh(dir.string()) + " " +
                    std::to_string(count);
  if (legacy) cmd += " --legacy " + sh(bq::office::findSoffice().string());
  if (std::system(cmd.c_str()) != 0) fail("cannot make the class: " + cmd);
}

// file name -> score, from a bqmark report.
std::map<std::string, double> scoresOf(const fs::path& marksJson) {
  std::ifstream in(marksJson);
  std::map<std::string, double> scores;
  const json report = json::parse(in);
  for (const auto& e : report["examinees"])
    for (const auto& q : e["questions"]) scores[q["file"]] = q["score"];
  return scores;
}

// Seconds of one `bqmark mark` of `dir` (wall time of the whole program).
double timeBqmark(const fs::path& dir, const fs::path& out, const std::string& extra) {
  const auto t0 = std::chrono::steady_clock::now();
  const std::string cmd = kBqmark + " mark " + sh(dir.string()) + " --exam " + sh(kDatabase) +
                          " --paper BQ1 -q --force --out " + sh(out.string()) + " " + extra +
                          " >/dev/null";
  if (std::system(cmd.c_str()) != 0) fail("bqmark failed: " + cmd);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

json call(const std::string& command) {
  const std::string out = capture(command);
  if (out.empty()) fail("bqcall failed: " + command);
  return json::parse(out);
}

// The peer: every answer through bqcall, one process per call.
std::map<std::string, double> markWithBqcall(const fs::path& dir, const bq::mark::ExamKey& key) {
  const bq::mark::Paper* paper = key.paperOf("BQ1");
  std::map<std::string, double> scores;
  const bq::mark::UploadFolder uploads = bq::mark::scanUploads(dir);
  for (const auto& ex : uploads.examinees) {
    for (const auto& q : paper->questions) {
      const auto kind = bq::mark::kindOfTopic(q.topicId);
      auto file = ex.files.find(*kind);
      if (file == ex.files.end()) continue;
      const json expected = bq::mark::modelPoints(key.expected.at(q).points);
      const std::string name = file->second.filename().string();
      const std::string path = file->second.string();
      if (*kind == bq::mark::Kind::kOperation) {
        const json list = call(kBqcall + " BrightquillClient GetOpZSDFromFile " + sh(path));
        std::string joined;
        for (const auto& p : expected) joined += (joined.empty() ? "" : ",") + p.get<std::string>();
        scores[name] = call(kBqcall + " BrightquillClient GetOpScore " + sh(joined) + " " +
                            sh(list["args"]["cZSD"].get<std::string>()))["result"];
      } else if (*kind == bq::mark::Kind::kPowerPoint) {
        const json lines[] = {
            {{"class", "BrightquillClient"}, {"method", "OpenPPTApp"}, {"args", json::array()}},
            {{"class", "BrightquillClient"},
             {"method", "GetExcelScore"},
             {"args", {"POWERPOINT", expected, path}}},
            {{"class", "BrightquillClient"}, {"method", "ClosePPT"}, {"args", json::array()}}};
        std::string input;
        for (const json& l : lines) input += l.dump() + "\n";
        const std::string out = capture("printf '%s' " + sh(input) + " | " + kBqcall + " -");
        std::string second = out.substr(out.find('\n') + 1);
        second = second.substr(0, second.find('\n'));
        scores[name] = json::parse(second)["result"];
      } else {
        scores[name] = call(kBqcall + " BrightquillClient GetExcelScore " +
                            std::string(bq::mark::infoOf(*kind).name) + " " + sh(expected.dump()) +
                            " " + sh(path))["result"];
      }
    }
  }
  return scores;
}

}  // namespace

int main() {
  bq::office::TempFolder tmp("bqmark-bench-", bq::office::Failure{53, "bench", "class"});
  bq::db::Connection c = bq::mark::openExam(kDatabase, "KVRMTX5830");
  const bq::mark::ExamKey key = bq::mark::readExamKey(c);
  c.Close();

  const fs::path cls = tmp.path() / "class";
  makeClass(cls, 40, false);
  const size_t answers = bq::mark::planJobs(key, bq::mark::scanUploads(cls), "BQ1").size();
  bqbench::Timing ours = bqbench::bestOf(3, [&] {
    timeBqmark(cls, tmp.path() / "out", "");
    return answers;
  });
  const auto peerStart = std::chrono::steady_clock::now();
  const std::map<std::string, double> peer = markWithBqcall(cls, key);
  const double peerSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - peerStart).count();
  const std::map<std::string, double> mine = scoresOf(tmp.path() / "out/marks.json");
  for (const auto& [file, score] : mine)
    if (!peer.count(file) || peer.at(file) != score)
      std::fprintf(stderr, "%s: bqmark %.17g, bqcall %.17g\n", file.c_str(), score,
                   peer.count(file) ? peer.at(file) : -9.0);
  for (const auto& [file, score] : peer)
    if (!mine.count(file)) std::fprintf(stderr, "%s: only bqcall, %.17g\n", file.c_str(), score);
  if (peer != mine) fail("bqmark and bqcall scores differ");
  std::printf("OOXML class: %zu answers (40 examinees)\n", answers);
  std::printf("  bqmark (2 workers, whole program) %.3f s, %.0f answers/s\n", ours.seconds,
              answers / ours.seconds);
  std::printf("  bqcall, one process per answer   %.3f s, %.0f answers/s\n", peerSeconds,
              answers / peerSeconds);
  std::printf("  ratio bqmark/bqcall time: %.3f (%.1fx faster)%s\n", ours.seconds / peerSeconds,
              peerSeconds / ours.seconds, ours.seconds < 2 ? "" : "  GOAL MISSED: 2 s");

  if (bq::office::findSoffice().empty()) {
    std::printf("legacy class: skipped, LibreOffice is not installed\n");
    return 0;
  }
  const fs::path legacy = tmp.path() / "legacy";
  makeClass(legacy, 6, true);
  const size_t legacyFiles = 6 * 4;
  const double resident = timeBqmark(legacy, tmp.path() / "resident", "");
  const double perFile = timeBqmark(legacy, tmp.path() / "per-file", "--no-resident-office");
  if (scoresOf(tmp.path() / "resident/marks.json") != scoresOf(tmp.path() / "per-file/marks.json"))
    fail("resident and per-file LibreOffice scores differ");
  std::printf("legacy class: %zu .doc/.xls/.ppt answers and 6 listings (6 examinees)\n",
              legacyFiles);
  std::printf("  resident LibreOffice per worker   %.2f s, %.2f s per Office answer\n", resident,
              resident / legacyFiles);
  std::printf("  one LibreOffice start per file    %.2f s, %.2f s per Office answer\n", perFile,
              perFile / legacyFiles);
  std::printf("  ratio resident/per-file time: %.3f (%.1fx faster)%s\n", resident / perFile,
              perFile / resident, perFile / resident >= 3 ? "" : "  GOAL MISSED: 3x");
  return 0;
}
