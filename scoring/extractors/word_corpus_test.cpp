// The Word extractors over the real-world corpus (common/testing/corpus.h):
// every document, and every legacy Word 97 document (converted by
// LibreOffice), yields knowledge points of both extractors without a crash:
// at least the ten page-setup items and the header and footer items of its
// first section, and a text item for each paragraph's table reading.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "common/dictionary.h"
#include "common/testing/corpus.h"
#include "scoring/extractors/word_reader.h"

namespace {

namespace fs = std::filesystem;
namespace word = bq::office::word;

size_t withLabel(const bq::KnowledgeSet& set, const std::string& label) {
  size_t n = 0;
  for (const auto& [key, item] : set) n += key.rfind(label, 0) == 0 ? 1 : 0;
  return n;
}

void readAll(const fs::path& file) {
  SCOPED_TRACE(file.filename().string());
  // One conversion for both extractors: the document is opened once.
  const word::Document doc = word::Document::open(file);
  bq::KnowledgeSet points, table;
  bq::wordtest::ReadDocument(doc, points);
  bq::wordtest::ReadTables(doc, table);
  EXPECT_GE(withLabel(points, "打印纸大小,"), 1u);
  EXPECT_GE(withLabel(points, "打印方向,"), 1u);
  EXPECT_GE(withLabel(points, "页眉正文,"), 1u);
  EXPECT_GE(withLabel(points, "页脚正文,"), 1u);
  EXPECT_GE(withLabel(points, "分栏间隔类型:"), 1u);
  EXPECT_GE(withLabel(table, "文本,"), 1u);
  EXPECT_GE(withLabel(table, "字体大小,"), 1u);
  if (doc.tableCount() > 0) {
    EXPECT_GE(withLabel(table, "外框线型,"), 1u);
  }
}

TEST(WordCorpusTest, EveryDocumentYieldsPoints) {
  const std::vector<fs::path> files = bq::testing::corpusFiles("docx");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) readAll(file);
}

TEST(WordCorpusTest, EveryLegacyDocumentYieldsPoints) {
  size_t documents = 0;
  for (const fs::path& file : bq::testing::corpusFiles("legacy")) {
    if (file.extension() != ".doc") continue;
    ++documents;
    try {
      readAll(file);
    } catch (const bq::AutomationError& e) {
      ADD_FAILURE() << file.filename() << ": " << e.description();
    }
  }
  EXPECT_GT(documents, 3u);
}

}  // namespace
