// The shared corpus of real-world documents (../shared/corpus beside the
// repository): every package opens, its main part is found by relationship
// type and has the root element of its kind, and every XML part and every
// relationship list of it parses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/package.h"

namespace bq::office {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpusFiles(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(BQ_OFFICE_CORPUS) / folder, ec))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

bool isXmlPart(const Part& p) {
  const std::string type = p.contentType();
  return type.ends_with("xml") || p.name().ends_with(".xml") || p.name().ends_with(".rels") ||
         p.name().ends_with(".vml");
}

struct Kind {
  const char* folder;
  const char* root;
};

void PrintTo(const Kind& kind, std::ostream* os) { *os << kind.folder; }

class Corpus : public ::testing::TestWithParam<Kind> {};

TEST_P(Corpus, EveryPackageOpensAndEveryXmlPartParses) {
  const Kind kind = GetParam();
  const std::vector<fs::path> files = corpusFiles(kind.folder);
  if (files.empty()) GTEST_SKIP() << "no corpus at " << BQ_OFFICE_CORPUS;
  size_t xmlParts = 0, found = 0, dangling = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    try {
      Package pkg = Package::open(file);
      Part main = pkg.mainPart();
      ASSERT_TRUE(main) << "no officeDocument relationship";
      EXPECT_STREQ(main.xml().name(), kind.root);
      for (const Part& part : pkg.parts()) {
        if (!isXmlPart(part)) continue;
        EXPECT_TRUE(part.xml()) << part.name();
        ++xmlParts;
        for (const Relationship& r : part.relationships()) {
          if (r.external || r.targetPart.empty()) continue;
          (pkg.part(r.targetPart) ? found : dangling) += 1;
        }
      }
      for (const Relationship& r : pkg.relationships()) EXPECT_FALSE(r.id.empty());
    } catch (const AutomationError& e) {
      ADD_FAILURE() << "refused: " << e.description();
    }
  }
  EXPECT_GT(xmlParts, files.size() * 5) << "the corpus holds real documents";
  EXPECT_GT(found, xmlParts / 2);
  std::printf("[   INFO   ] %zu %s packages, %zu XML parts, %zu internal targets (%zu dangling)\n",
              files.size(), kind.folder, xmlParts, found + dangling, dangling);
}

INSTANTIATE_TEST_SUITE_P(OfficeOpenXml, Corpus,
                         ::testing::Values(Kind{"docx", "w:document"}, Kind{"xlsx", "x:workbook"},
                                           Kind{"pptx", "p:presentation"}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace bq::office
