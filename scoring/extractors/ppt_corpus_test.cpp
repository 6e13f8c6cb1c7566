// The PowerPoint extractor over the real-world corpus: every .pptx opens and
// yields points; a legacy .ppt yields points when LibreOffice converts it
// and nothing when it cannot (poi__pictures.ppt is one it refuses), never
// more than that.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/testing/corpus.h"
#include "scoring/extractors/ppt_reader.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// Reads every file of `kind` with `extension`; the number that yielded points.
size_t readAll(const std::string& kind, const std::string& extension, size_t& files) {
  OpenPPTApp();
  size_t read = 0, points = 0;
  files = 0;
  for (const fs::path& file : testing::corpusFiles(kind)) {
    if (file.extension() != extension) continue;
    SCOPED_TRACE(file.filename().string());
    ++files;
    KnowledgeSet set;
    ReadPPT(file.string(), set);
    if (set.empty()) {
      std::printf("[   INFO   ] nothing read from %s\n", file.filename().c_str());
      continue;
    }
    // The design, the transition and at least one slide's layout.
    EXPECT_GE(set.Count(), 3u);
    EXPECT_TRUE(set.Keys().front().starts_with("应用摸板,"));
    ++read;
    points += set.Count();
  }
  EXPECT_EQ(ppt::SharedApplication()->presentationCount(), 0);
  ClosePPT();
  std::printf("[   INFO   ] %zu of %zu %s presentations read, %zu points\n", read, files,
              extension.c_str(), points);
  return read;
}

TEST(PptCorpusTest, EveryPresentationYieldsPoints) {
  size_t files = 0;
  EXPECT_EQ(readAll("pptx", ".pptx", files), files);
  EXPECT_GT(files, 0u);
}

TEST(PptCorpusTest, LegacyPresentationsAreConvertedAndYieldPoints) {
  size_t files = 0;
  EXPECT_GE(readAll("legacy", ".ppt", files), files - files / 4);
  EXPECT_GT(files, 0u);
}

}  // namespace
}  // namespace bq
