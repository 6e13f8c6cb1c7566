// ReadPPT against the parse floor of the same file and against Python
// merely parsing the same parts, in the same run: a 20-slide deck of titles,
// bulleted bodies, formatted text boxes, AutoShapes with fills and actions,
// pictures, hyperlinks, transitions and animations, and its first 5 slides,
// the size of a typical exam answer.
//
// The floor (bench/parse_floor.h) opens the file with libzip and parses the
// parts ReadPPT read with pugixml, nothing more: ReadPPT/floor is what
// reading the values costs on top of parsing. bench/ppt_bench.py (run with
// $BQ_PYTHON, default /usr/bin/python3) writes both decks with the test
// decks' writer, then opens each one N times with zipfile and parses every
// part ReadPPT reads with xml.etree, without reading anything from the
// trees: the floor any Python reader pays. It times itself and prints its
// best pass, so interpreter start-up is not counted. Our side is ReadPPT on
// the file with the thread's application, best of N as well, opening
// included on every side. The knowledge-point and part counts are printed
// so that an empty read cannot pass for a fast one.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/parse_floor.h"
#include "bench/timing.h"
#include "common/dictionary.h"
#include "scoring/extractors/ppt_reader.h"

namespace {

namespace fs = std::filesystem;

using bqbench::python;
using bqbench::quoted;
using bqbench::Timing;

Timing peer(const fs::path& file, int runs) {
  return bqbench::peerTiming(python() + " " + quoted(BQ_PPT_BENCH_PY) + " parse " +
                                 quoted(file.string()) + " " + std::to_string(runs),
                             "Python side failed");
}

void compare(const char* what, const fs::path& file, int runs, double goalRatio, double goalMs) {
  const auto [o, f] = bqbench::readerAgainstFloor(
      file.string(), runs,
      [](const std::string& name, bq::KnowledgeSet& set) { bq::ReadPPT(name, set); });
  const Timing p = peer(file, runs);
  if (o.count == 0) {
    std::fprintf(stderr, "%s: ReadPPT found no knowledge points\n", what);
    std::exit(1);
  }
  std::printf(
      "%s: ReadPPT %.2f ms (%zu points), parse floor %.2f ms (%zu parts), "
      "Python zipfile + xml.etree %.2f ms (%zu parts); ratio ReadPPT/floor = %.2f "
      "(goal <= 2), ratio Python/ReadPPT = %.1f",
      what, o.seconds * 1e3, o.count, f.seconds * 1e3, f.count, p.seconds * 1e3, p.count,
      o.seconds / f.seconds, p.seconds / o.seconds);
  if (goalRatio > 0) std::printf(" (goal >= %.0f)", goalRatio);
  if (goalMs > 0) std::printf(" (goal: ReadPPT under %.0f ms)", goalMs);
  std::printf("\n");
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bq-ppt-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  if (std::system(
          (python() + " " + quoted(BQ_PPT_BENCH_PY) + " make " + quoted(dir.string())).c_str()) !=
      0) {
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
