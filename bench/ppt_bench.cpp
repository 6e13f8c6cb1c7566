// ReadPPT against Python merely parsing the same parts, in the same run: a
// 20-slide deck of titles, bulleted bodies, formatted text boxes, AutoShapes
// with fills and actions, pictures, hyperlinks, transitions and animations,
// and its first 5 slides, the size of a typical exam answer.
//
// bench/ppt_bench.py (run with $BQ_PYTHON, default /usr/bin/python3) writes
// both decks with the test decks' writer, then opens each one N times with
// zipfile and parses every part ReadPPT reads with xml.etree, without
// reading anything from the trees: a floor that any Python reader pays. It
// times itself and prints its best pass, so interpreter start-up is not
// counted. Our side is ReadPPT on the file with the thread's application,
// best of N as well, opening included on both sides. The knowledge-point and
// part counts are printed so that an empty read cannot pass for a fast one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/dictionary.h"
#include "scoring/extractors/ppt_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string python() {
  const char* p = std::getenv("BQ_PYTHON");
  return p && *p ? p : "/usr/bin/python3";
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (pclose(pipe) != 0) out.clear();
  return out;
}

struct Timing {
  double seconds = 1e9;
  size_t count = 0;
};

Timing ours(const fs::path& file, int runs) {
  Timing t;
  for (int i = 0; i < runs; ++i) {
    bq::KnowledgeSet set;
    auto t0 = Clock::now();
    bq::ReadPPT(file.string(), set);
    t.seconds = std::min(t.seconds, std::chrono::duration<double>(Clock::now() - t0).count());
    t.count = set.Count();
  }
  return t;
}

Timing peer(const fs::path& file, int runs) {
  Timing t;
  std::string out = capture(python() + " " + quoted(BQ_PPT_BENCH_PY) + " parse " + quoted(file.string()) +
                            " " + std::to_string(runs));
  if (std::sscanf(out.c_str(), "best %lf parts %zu", &t.seconds, &t.count) != 2) {
    std::fprintf(stderr, "Python side failed (%s)\n", python().c_str());
    std::exit(1);
  }
  return t;
}

void compare(const char* what, const fs::path& file, int runs, double goalRatio, double goalMs) {
  const Timing o = ours(file, runs);
  const Timing p = peer(file, runs);
  if (o.count == 0) {
    std::fprintf(stderr, "%s: ReadPPT found no knowledge points\n", what);
    std::exit(1);
  }
  std::printf("%s: ReadPPT %.2f ms (%zu points), Python zipfile + xml.etree %.2f ms (%zu parts); "
              "ratio Python/ReadPPT = %.1f",
              what, o.seconds * 1e3, o.count, p.seconds * 1e3, p.count, p.seconds / o.seconds);
  if (goalRatio > 0) std::printf(" (goal >= %.0f)", goalRatio);
  if (goalMs > 0) std::printf(" (goal: ReadPPT under %.0f ms)", goalMs);
  std::printf("\n");
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bq-ppt-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  if (std::system((python() + " " + quoted(BQ_PPT_BENCH_PY) + " make " + quoted(dir.string())).c_str()) != 0) {
    std::fprintf(stderr, "could not write the decks (%s)\n", python().c_str());
    fs::remove_all(dir);
    return 1;
  }
  bq::OpenPPTApp();
  compare("20-slide deck", dir / "deck20.pptx", 40, 5, 0);
  compare("5-slide exam answer", dir / "deck5.pptx", 80, 0, 10);
  bq::ClosePPT();
  fs::remove_all(dir);
  return 0;
}
