// The folder walk behind the file-management list against find(1) on the same
// tree: GetOperationZSD lists, sorts and keys every entry of a tree of 100,000
// files and folders; `find DIR -mindepth 1 -not -name '.*'` only lists them.
// Both run five times on a warm cache and the best time of each counts.
//
// Usage: operation_list_bench [entries]   (default 100000)

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "scoring/knowledge/operation_list.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

// Builds a tree of `total` entries under `root`: three levels of folders
// (about a tenth of the entries), files spread over all folders, names in
// mixed case and a few not in ASCII.
size_t makeTree(const fs::path& root, size_t total) {
  std::mt19937 rng(20240611);
  const size_t folders = total / 10;
  const size_t top = std::max<size_t>(1, folders / 500);  // 20 for 100,000 entries
  const size_t perTop = 20;
  const char* stems[] = {"Report", "data", "Photo", "notes", "BUDGET", "Letter", "ReadMe", "plan"};
  const char* exts[] = {".docx", ".TXT", ".xls", ".Ppt", ".jpg", ".tg", ""};
  const char* foreign[] = {"文件", "Übersicht", "résumé", "資料"};

  std::vector<fs::path> dirs{root};
  auto folderName = [&](size_t i) {
    if (i % 97 == 0) return std::string(foreign[i % 4]) + std::to_string(i);
    return std::string(i % 2 ? "Folder" : "sub") + std::to_string(i);
  };
  size_t made = 0;
  // Levels 1 and 2, then the rest of the folders one level further down.
  std::vector<fs::path> level1, level2;
  for (size_t i = 0; i < top && made < folders; ++i, ++made)
    level1.push_back(root / folderName(made));
  for (const auto& p : level1)
    for (size_t i = 0; i < perTop && made < folders; ++i, ++made)
      level2.push_back(p / folderName(made));
  std::vector<fs::path> level3;
  for (size_t i = 0; made < folders; ++i, ++made)
    level3.push_back(level2[i % level2.size()] / folderName(made));
  for (auto* level : {&level1, &level2, &level3}) {
    for (const auto& p : *level) {
      fs::create_directory(p);
      dirs.push_back(p);
    }
  }
  size_t files = total - folders;
  for (size_t i = 0; i < files; ++i) {
    const fs::path& dir = dirs[rng() % dirs.size()];
    std::string name = i % 113 == 0 ? std::string(foreign[i % 4]) + std::to_string(i) + ".doc"
                                    : stems[rng() % 8] + std::to_string(i) + exts[rng() % 7];
    int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::perror("open");
      std::exit(1);
    }
    ::close(fd);
  }
  return folders + files;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs find on `dir` with its output going to `out`; returns the wall time.
double runFind(const fs::path& dir, const char* out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out, O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::string d = dir.string();
  std::string mindepth = "-mindepth", one = "1", notArg = "-not", nameArg = "-name", pattern = ".*";
  std::string find = "find";
  char* argv[] = {find.data(),   d.data(),       mindepth.data(), one.data(),
                  notArg.data(), nameArg.data(), pattern.data(),  nullptr};
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
    std::perror("posix_spawnp find");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  auto took = Clock::now() - start;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "find failed\n");
    std::exit(1);
  }
  return seconds(took);
}

size_t countLines(const fs::path& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return 0;
  size_t lines = 0;
  int c;
  while ((c = std::fgetc(f)) != EOF) lines += c == '\n';
  std::fclose(f);
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t total = argc > 1 ? std::stoul(argv[1]) : 100000;
  std::string pattern = (fs::temp_directory_path() / "bq_oplist_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path work = pattern;
  const fs::path tree = work / "BqOperation";
  fs::create_directory(tree);

  int rc = 0;
  try {
    auto t0 = Clock::now();
    size_t made = makeTree(tree, total);
    std::printf("tree: %zu entries in %.2f s\n", made, seconds(Clock::now() - t0));

    double ours = 1e9;
    size_t keys = 0;
    for (int i = 0; i < kRuns; ++i) {
      bq::KnowledgeSet d;
      auto start = Clock::now();
      bq::GetOperationZSD(tree.string(), d);
      ours = std::min(ours, seconds(Clock::now() - start));
      keys = d.Count();
    }

    double find = 1e9;
    for (int i = 0; i < kRuns; ++i) find = std::min(find, runFind(tree, "/dev/null"));
    const fs::path listing = work / "find.txt";
    runFind(tree, listing.c_str());
    const size_t found = countLines(listing);

    std::printf("GetOperationZSD: %zu keys, best of %d: %.1f ms\n", keys, kRuns, ours * 1e3);
    std::printf("find:            %zu entries, best of %d: %.1f ms\n", found, kRuns, find * 1e3);
    std::printf("ratio ours/find = %.2f (goal <= 1.5)\n", ours / find);
    if (keys != found || keys != made) {
      std::fprintf(stderr, "count mismatch: ours %zu, find %zu, made %zu\n", keys, found, made);
      rc = 1;
    }
  } catch (const bq::AutomationError& e) {
    std::fprintf(stderr, "error %d: %s\n", e.number(), e.description().c_str());
    rc = 1;
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return rc;
}
