// ReadWord against python-docx reading the same properties (those it can
// reach: page setup, headers and footers, paragraph and run formatting,
// words, table cells) of the same documents, and against the parse floor of
// each document, in the same run: a typical exam answer (two sections, 30
// paragraphs of about 600 words, one table) as python-docx writes it, the
// same with its style sheet cut to the styles in use (as Word writes one),
// and the same body ten times over.
//
// bench/word_bench.py (python-docx, run with $BQ_PYTHON, default
// /usr/bin/python3) writes the documents, then loads each one N times and
// reads them; it times itself and prints its best pass, so interpreter
// start-up is not counted. Our side is ReadWord on the file, best of N as
// well, opening included on both sides; ReadWordTable is timed beside it.
// The floor (bench/parse_floor.h) opens the file and parses the parts
// ReadWord read, nothing more: ReadWord/floor is what reading the values
// costs on top of parsing. The knowledge-point counts are printed so that an
// empty read cannot pass for a fast one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/parse_floor.h"
#include "bench/peer.h"
#include "bench/timing.h"
#include "common/dictionary.h"
#include "scoring/extractors/word_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bqbench::python;
using bqbench::quoted;

struct Timing {
  double seconds = 1e9;
  size_t points = 0;
};

template <typename Read>
Timing ours(const fs::path& file, int runs, Read&& read) {
  Timing t;
  for (int i = 0; i < runs; ++i) {
    bq::KnowledgeSet set;
    auto t0 = Clock::now();
    read(file.string(), set);
    t.seconds = std::min(t.seconds, std::chrono::duration<double>(Clock::now() - t0).count());
    t.points = set.Count();
  }
  return t;
}

Timing peer(const fs::path& file, int runs) {
  Timing t;
  std::string out = bqbench::capture(python() + " " + quoted(BQ_WORD_BENCH_PY) + " read " +
                                     quoted(file.string()) + " " + std::to_string(runs));
  if (std::sscanf(out.c_str(), "best %lf points %zu", &t.seconds, &t.points) != 2) {
    std::fprintf(stderr, "python-docx side failed (is python3-docx installed for %s?)\n",
                 python().c_str());
    std::exit(1);
  }
  return t;
}

void compare(const char* what, const fs::path& file, int runs, double goalMs) {
  const Timing t =
      ours(file, runs, [](const std::string& f, bq::KnowledgeSet& d) { bq::ReadWordTable(f, d); });
  const auto [o, f] = bqbench::readerAgainstFloor(
      file.string(), runs,
      [](const std::string& name, bq::KnowledgeSet& set) { bq::ReadWord(name, set); });
  const Timing p = peer(file, std::max(1, runs / 4));
  if (o.count == 0 || t.points == 0) {
    std::fprintf(stderr, "%s: the Word extractors found no knowledge points\n", what);
    std::exit(1);
  }
  std::printf(
      "%s: ReadWord %.2f ms (%zu points), ReadWordTable %.2f ms (%zu points), "
      "parse floor %.2f ms (%zu parts), python-docx %.2f ms (%zu properties); "
      "ratio ReadWord/floor = %.2f (goal <= 2), ratio python-docx/ReadWord = %.1f (goal >= 20)",
      what, o.seconds * 1e3, o.count, t.seconds * 1e3, t.points, f.seconds * 1e3, f.count,
      p.seconds * 1e3, p.points, o.seconds / f.seconds, p.seconds / o.seconds);
  if (goalMs > 0) std::printf(" (goal: ReadWord under %.0f ms)", goalMs);
  std::printf("\n");
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bq-word-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  if (std::system(
          (python() + " " + quoted(BQ_WORD_BENCH_PY) + " make " + quoted(dir.string())).c_str()) !=
      0) {
    std::fprintf(stderr, "could not write the documents with python-docx (%s)\n", python().c_str());
    fs::remove_all(dir);
    return 1;
  }
  compare("typical answer (30 paragraphs, 600 words, a table)", dir / "answer.docx", 40, 15);
  compare("the same with a style sheet as Word writes it", dir / "word_like.docx", 40, 15);
  compare("ten times that", dir / "long.docx", 8, 0);
  fs::remove_all(dir);
  return 0;
}
