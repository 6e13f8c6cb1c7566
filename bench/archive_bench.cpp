// Zipping and unzipping a tree of 2,000 files (100 MiB: text-like files and
// some incompressible ones, in 40 folders) with CGZipFiles / CGUnzipFiles
// against Debian's `zip -r` and `unzip` on the same tree, in the same run.
//
// Each figure is the best of three wall-clock runs, the two sides taking
// turns; every run starts from a missing archive or target folder (removed
// before the clock starts). Both unzip sides extract the same archive (the
// peer's), and every result is checked: our archive must pass `unzip -t`,
// and both extractions must give back the tree byte for byte.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/cg_unzip_files.h"
#include "archive/cg_zip_files.h"
#include "bench/rng.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 2000;
constexpr int kFolders = 40;
constexpr uint64_t kTotal = 100ull << 20;
constexpr int kRuns = 3;

using bqbench::Rng;

// One file in five is random bytes (pictures, packed documents); the others
// are text of exam-like words.
std::string fileContent(Rng& rng, size_t size, bool random) {
  static const char* const kWords[] = {"the",   "exam",      "question", "answer", "paragraph",
                                       "font",  "table",     "cell",     "score",  "slide",
                                       "range", "document",  "\r\n",     "12345",  "宋体",
                                       "考试",   "Brightquill", "worksheet", "chart", "2024"};
  std::string s;
  s.reserve(size + 16);
  if (random) {
    while (s.size() < size) {
      const uint64_t v = rng.next();
      s.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
  } else {
    while (s.size() < size) {
      s += kWords[rng.below(std::size(kWords))];
      s += rng.below(12) == 0 ? ", " : " ";
    }
  }
  s.resize(size);
  return s;
}

void makeTree(const fs::path& root) {
  Rng rng{20240607};
  const uint64_t average = kTotal / kFiles;
  uint64_t written = 0;
  for (int i = 0; i < kFiles; ++i) {
    const fs::path folder = root / ("folder" + std::to_string(i % kFolders)) /
                            (i % 3 == 0 ? "sub" : "");
    fs::create_directories(folder);
    size_t size = i == kFiles - 1 ? static_cast<size_t>(kTotal - written)
                                  : static_cast<size_t>(average / 2 + rng.below(average));
    if (written + size > kTotal) size = static_cast<size_t>(kTotal - written);
    written += size;
    std::ofstream(folder / ("file" + std::to_string(i) + (i % 5 == 0 ? ".bin" : ".txt")),
                  std::ios::binary)
        << fileContent(rng, size, i % 5 == 0);
  }
}

bool sameTree(const fs::path& a, const fs::path& b) {
  const std::string cmd = "diff -r -q '" + a.string() + "' '" + b.string() + "' >/dev/null";
  return std::system(cmd.c_str()) == 0;
}

int shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

// One wall-clock run of `work`, after `prepare`.
double timed(const std::function<void()>& prepare, const std::function<void()>& work) {
  prepare();
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void report(const char* what, double ours, double peer) {
  const double ratio = ours / peer;
  std::printf("%-8s ours %.3f s  peer %.3f s  ratio %.2f (goal <= 1.20) %s\n", what, ours, peer,
              ratio, ratio <= 1.2 ? "ok" : "SLOWER");
}

}  // namespace

int main() {
  if (shell("zip -v") != 0 || shell("unzip -v") != 0) {
    std::fprintf(stderr, "archive_bench: Debian's zip and unzip are needed as peers\n");
    return 1;
  }
  const fs::path dir = fs::temp_directory_path() / ("bq_archive_bench_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  makeTree(dir / "tree");
  std::printf("tree: %d files, %.0f MiB, %d folders\n", kFiles, kTotal / 1048576.0, kFolders);

  const fs::path ours = dir / "ours.zip", peer = dir / "peer.zip";
  int failed = 0;
  double zipOurs = 1e9, zipPeer = 1e9;
  for (int r = 0; r < kRuns; ++r) {
    zipOurs = std::min(zipOurs, timed([&] { fs::remove(ours); }, [&] {
      bq::archive::CGZipFiles z;
      z.RootDirectory(dir.string());
      z.ZipFileName(ours.string());
      z.RecurseFolders(true);
      z.AddFile("tree");
      if (z.MakeZipFile() != 0) ++failed;
    }));
    zipPeer = std::min(zipPeer, timed([&] { fs::remove(peer); }, [&] {
      if (shell("cd '" + dir.string() + "' && zip -q -r '" + peer.string() + "' tree") != 0) ++failed;
    }));
  }
  if (shell("unzip -t -qq '" + ours.string() + "'") != 0) {
    std::fprintf(stderr, "archive_bench: our archive fails unzip -t\n");
    ++failed;
  }
  std::printf("archive size: ours %ju bytes, peer %ju bytes\n",
              static_cast<uintmax_t>(fs::file_size(ours)), static_cast<uintmax_t>(fs::file_size(peer)));
  report("zip", zipOurs, zipPeer);

  const fs::path outOurs = dir / "out_ours", outPeer = dir / "out_peer";
  double unzipOurs = 1e9, unzipPeer = 1e9;
  for (int r = 0; r < kRuns; ++r) {
    unzipOurs = std::min(unzipOurs, timed([&] { fs::remove_all(outOurs); }, [&] {
      bq::archive::CGUnzipFiles u;
      if (u.Unzip(peer.string(), outOurs.string()) != 0) ++failed;
    }));
    unzipPeer = std::min(unzipPeer, timed([&] { fs::remove_all(outPeer); }, [&] {
      if (shell("unzip -q -o '" + peer.string() + "' -d '" + outPeer.string() + "'") != 0) ++failed;
    }));
  }
  if (!sameTree(dir / "tree", outOurs / "tree") || !sameTree(dir / "tree", outPeer / "tree")) {
    std::fprintf(stderr, "archive_bench: an extraction differs from the tree\n");
    ++failed;
  }
  report("unzip", unzipOurs, unzipPeer);
  fs::remove_all(dir);
  return failed == 0 ? 0 : 1;
}
