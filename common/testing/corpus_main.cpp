// main() of the corpus tests: finds the corpus folder, then runs the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "common/testing/corpus.h"

namespace bq::testing {
namespace {

namespace fs = std::filesystem;

fs::path& folder() {
  static fs::path path;
  return path;
}

// CI services set CI to "true"; anything but empty, "0" and "false" counts.
bool underCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

}  // namespace

const fs::path& corpusFolder() { return folder(); }

std::vector<fs::path> corpusFiles(const std::string& kind) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder() / kind, ec))
    if (e.is_regular_file(ec)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace bq::testing

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const char* named = std::getenv("BQ_CORPUS");
  const fs::path folder = named && *named ? fs::path(named) : fs::path(BQ_DEFAULT_CORPUS);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    if (bq::testing::underCi()) {
      std::printf("corpus: no corpus at %s; CI requires it (set BQ_CORPUS to its folder)\n",
                  folder.c_str());
      return 1;
    }
    std::printf("corpus: no corpus at %s (set BQ_CORPUS to its folder): skipped\n",
                folder.c_str());
    return 77;
  }
  bq::testing::folder() = fs::canonical(folder, ec);
  if (ec) bq::testing::folder() = folder;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
