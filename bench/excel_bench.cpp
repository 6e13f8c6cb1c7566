// ReadExcel against openpyxl reading the same properties of the same
// workbooks, in the same run: a 200 x 20 sheet whose every cell carries its
// own font, borders, alignment, fill, number format and column width, and a
// 20 x 8 answer table with a chart.
//
// bench/excel_bench.py (openpyxl, run with $BQ_PYTHON, default
// /usr/bin/python3) writes both workbooks, then loads each one N times and
// reads of every used cell what the extractor reads; it times itself and
// prints its best pass, so interpreter start-up is not counted. Our side is
// ReadExcel on the file, best of N as well, opening included on both sides.
// The parse floor (bench/parse_floor.h) opens the file and parses the parts
// ReadExcel read, nothing more: ReadExcel/floor is what reading the values
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
#include "scoring/extractors/excel_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bqbench::capture;
using bqbench::python;
using bqbench::quoted;

struct Timing {
  double seconds = 1e9;
  size_t points = 0;
};

Timing peer(const fs::path& file, int runs) {
  Timing t;
  std::string out = capture(python() + " " + quoted(BQ_EXCEL_BENCH_PY) + " read " +
                            quoted(file.string()) + " " + std::to_string(runs));
  if (std::sscanf(out.c_str(), "best %lf points %zu", &t.seconds, &t.points) != 2) {
    std::fprintf(stderr, "openpyxl side failed (is python3-openpyxl installed for %s?)\n",
                 python().c_str());
    std::exit(1);
  }
  return t;
}

void compare(const char* what, const fs::path& file, int runs, double goalRatio, double goalMs) {
  const auto [o, f] = bqbench::readerAgainstFloor(
      file.string(), runs,
      [](const std::string& name, bq::KnowledgeSet& set) { bq::ReadExcel(name, set); });
  const Timing p = peer(file, std::max(1, runs / 4));
  if (o.count == 0) {
    std::fprintf(stderr, "%s: ReadExcel found no knowledge points\n", what);
    std::exit(1);
  }
  std::printf(
      "%s: ReadExcel %.2f ms (%zu points), parse floor %.2f ms (%zu parts), openpyxl %.2f ms "
      "(%zu properties); ratio ReadExcel/floor = %.2f, ratio openpyxl/ReadExcel = %.1f",
      what, o.seconds * 1e3, o.count, f.seconds * 1e3, f.count, p.seconds * 1e3, p.points,
      o.seconds / f.seconds, p.seconds / o.seconds);
  if (goalRatio > 0) std::printf(" (goal >= %.0f)", goalRatio);
  if (goalMs > 0) std::printf(" (goal: ReadExcel under %.0f ms)", goalMs);
  std::printf("\n");
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bq-excel-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  if (std::system(
          (python() + " " + quoted(BQ_EXCEL_BENCH_PY) + " make " + quoted(dir.string())).c_str()) !=
      0) {
    std::fprintf(stderr, "could not write the workbooks with openpyxl (%s)\n", python().c_str());
    fs::remove_all(dir);
    return 1;
  }
  compare("200 x 20 styled sheet", dir / "styled.xlsx", 8, 50, 0);
  compare("20 x 8 answer with a chart", dir / "answer.xlsx", 40, 0, 5);
  fs::remove_all(dir);
  return 0;
}
