// The real-world corpus (common/testing/corpus.h): every package opens, its
// main part is found by relationship type and has the root element of its
// kind, every XML part and relationship list parses, the two parses of
// xml_tree.h agree on every part, and the Excel model reads every workbook,
// cell and chart or refuses it cleanly, the PowerPoint model reads every
// presentation, slide and shape or refuses it cleanly, and the Word model
// reads every document whole.
#include "common/testing/corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/excel/excel.h"
#include "platform/office/excel/excel_chart.h"
#include "platform/office/excel/excel_rules.h"
#include "platform/office/opc/detail/xml_tree_testing.h"
#include "platform/office/opc/package.h"
#include "platform/office/ppt/ppt.h"
#include "platform/office/word/word.h"

namespace bq::office {
namespace {

namespace fs = std::filesystem;
using bq::testing::corpusFiles;

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
  ASSERT_FALSE(files.empty()) << "the corpus has no " << kind.folder << " files";
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

TEST(XmlTreeCorpus, TheTextPassAndTheWalkAgreeOnEveryPart) {
  using testing::outcome;
  size_t parts = 0;
  for (const char* folder : {"docx", "xlsx", "pptx"}) {
    for (const fs::path& file : corpusFiles(folder)) {
      SCOPED_TRACE(file.filename().string());
      try {
        Package pkg = Package::open(file);
        for (const Part& part : pkg.parts()) {
          const std::string& name = part.name();
          if (!name.ends_with(".xml") && !name.ends_with(".rels") && !name.ends_with(".vml"))
            continue;
          const std::string bytes = part.bytes();
          EXPECT_EQ(outcome(testing::parseWithBudget(bytes)), outcome(testing::parseByWalk(bytes)))
              << name;
          ++parts;
        }
      } catch (const AutomationError& error) {
        ADD_FAILURE() << "refused: " << error.description();
      }
    }
  }
  EXPECT_GT(parts, 0u);
}

}  // namespace
}  // namespace bq::office

namespace bq::office::excel {
namespace {

namespace fs = std::filesystem;
using bq::testing::corpusFiles;

TEST(ExcelCorpusTest, EveryWorkbookOpensAndEveryUsedCellReads) {
  int opened = 0, sheetsWithContent = 0;
  for (const fs::path& file : corpusFiles("xlsx")) {
    SCOPED_TRACE(file.filename().string());
    Workbook book = Workbook::open(file);
    ++opened;
    for (int32_t i = 1; i <= book.worksheetCount(); ++i) {
      Worksheet sheet = book.worksheets(i);
      const int32_t rows = std::min(sheet.lastRow(), 200);
      const int32_t columns = std::min(sheet.lastColumn(), 60);
      EXPECT_EQ(sheet.lastRow() == 0, sheet.lastColumn() == 0);
      if (rows > 0) ++sheetsWithContent;
      for (int32_t r = 1; r <= rows; ++r)
        for (int32_t c = 1; c <= columns; ++c) {
          Range cell = sheet.cells(r, c);
          cell.value();
          cell.formula();
          cell.font();
          EXPECT_TRUE(cell.horizontalAlignment().has_value());
          EXPECT_TRUE(cell.verticalAlignment().has_value());
          EXPECT_TRUE(cell.mergeCells().has_value());
          Interior interior = cell.interior();
          EXPECT_TRUE(interior.pattern.has_value());
          EXPECT_TRUE(cell.numberFormatLocal().has_value());
          std::optional<double> width = cell.columnWidth();
          ASSERT_TRUE(width.has_value());
          EXPECT_GE(*width, 0);
          EXPECT_LE(*width, 255);
          for (int32_t edge : {7, 8, 9, 10, 11, 12}) {
            Border b = cell.borders(edge);
            EXPECT_TRUE(b.lineStyle.has_value());
          }
        }
      if (rows > 0 && columns > 0)
        sheet.range("A1:" + columnLetters(columns) + std::to_string(rows)).borders(xl::kEdgeLeft);
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(sheetsWithContent, opened / 2);
}

// A workbook of another spreadsheet program wraps fonts and cell formats in
// mc:AlternateContent whose Choice needs that program's namespace; the
// Fallback records count (the values LibreOffice reads).
TEST(ExcelCorpusTest, StyleRecordsInAlternateContentKeepTheirIndexes) {
  const fs::path file = bq::testing::corpusFolder() / "xlsx" / "poi__style-alternate-content.xlsx";
  ASSERT_TRUE(fs::exists(file));
  const Worksheet sheet = Workbook::open(file).worksheets(1);
  struct Case {
    const char* address;
    double size;
    bool bold;
    int32_t horizontal;
  } cases[] = {
      {"A2", 18, true, xl::kCenter}, {"B32", 14, false, xl::kRight},
      {"A34", 16, true, xl::kLeft},  {"A36", 6, false, xl::kCenter},
      {"A4", 11, false, xl::kLeft},  {"B3", 11, false, xl::kGeneral},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const Range cell = sheet.range(c.address);
    EXPECT_EQ(cell.font().size, c.size);
    EXPECT_EQ(cell.font().bold, c.bold);
    EXPECT_EQ(cell.horizontalAlignment(), c.horizontal);
  }
}

TEST(ExcelChartCorpusTest, EveryChartOfEveryWorkbookReadsOrFailsCleanly) {
  int charts = 0, typed = 0;
  auto readAll = [&](const Chart& chart) {
    ++charts;
    try {
      chart.chartType();
      ++typed;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 1004);
    }
    int32_t by = chart.plotBy();
    EXPECT_TRUE(by == 1 || by == 2);
    if (chart.hasLegend()) chart.legend().position();
    for (int32_t i = 1; i <= chart.seriesCount(); ++i) chart.seriesCollection(i).name();
    EXPECT_FALSE(chart.location(1).name().empty());
  };
  for (const fs::path& file : corpusFiles("xlsx")) {
    SCOPED_TRACE(file.filename().string());
    Workbook book = Workbook::open(file);
    for (int32_t i = 1; i <= book.worksheetCount(); ++i)
      for (const ChartObject& object : book.worksheets(i).chartObjects()) {
        try {
          readAll(object.chart());
        } catch (const AutomationError& e) {
          EXPECT_EQ(e.number(), 1004) << e.description();
        }
      }
    for (size_t i = 1; i <= book.chartSheetNames().size(); ++i) {
      try {
        readAll(book.charts(static_cast<int32_t>(i)));
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 1004) << e.description();
      }
    }
  }
  EXPECT_GT(charts, 5);
  EXPECT_GT(typed, charts / 2);
}

}  // namespace
}  // namespace bq::office::excel

namespace bq::office::ppt {
namespace {

namespace fs = std::filesystem;
using bq::testing::corpusFiles;

// A read of a member PowerPoint refuses on some shapes: only the refusal
// numbers of the model may come out.
template <typename Read>
bool readsOrRefuses(Read&& read) {
  try {
    read();
    return true;
  } catch (const AutomationError& e) {
    EXPECT_TRUE(e.number() == kOutOfRangeNumber || e.number() == kCannotOpenNumber)
        << e.number() << " " << e.description();
    return false;
  }
}

TEST(PptCorpusTest, EveryPresentationSlideAndShapeReadsOrIsRefusedCleanly) {
  int presentations = 0, slides = 0, shapes = 0, texts = 0;
  for (const fs::path& file : corpusFiles("pptx")) {
    SCOPED_TRACE(file.filename().string());
    Presentation pres = Presentation::open(file);
    ++presentations;
    pres.templateName();
    if (pres.slideCount() > 0) readsOrRefuses([&] { pres.range().slideShowTransition(); });
    for (int32_t i = 1; i <= pres.slideCount(); ++i) {
      Slide slide = pres.slides(i);
      if (!readsOrRefuses([&] { slide.shapeCount(); })) continue;
      ++slides;
      const int32_t layout = slide.layout();
      EXPECT_TRUE((layout >= 1 && layout <= 36) || layout == -2) << layout;
      slide.slideShowTransition();
      slide.hyperlinks();
      for (int32_t j = 1; j <= slide.shapeCount(); ++j) {
        Shape shape = slide.shapes(j);
        ++shapes;
        shape.name();
        shape.autoShapeType();
        if (readsOrRefuses([&] { shape.textRange(); })) ++texts;
        EXPECT_EQ(shape.hasTextFrame(), readsOrRefuses([&] { shape.textRange(); }));
        shape.actionSettings(1);
        shape.animationSettings();
        const FillFormat fill = shape.fill();
        EXPECT_TRUE(fill.visible == -1 || fill.visible == 0 || fill.visible == -2);
        readsOrRefuses([&] { shape.mediaType(); });
        readsOrRefuses([&] { shape.soundFormatType(); });
      }
    }
  }
  EXPECT_GT(presentations, 0);
  EXPECT_GT(shapes, slides);
  EXPECT_GT(texts, shapes / 3);
  std::printf("[   INFO   ] %d presentations, %d slides, %d shapes (%d with text)\n", presentations,
              slides, shapes, texts);
}

}  // namespace
}  // namespace bq::office::ppt

namespace bq::office::word {
namespace {

namespace fs = std::filesystem;
using bq::testing::corpusFiles;

bool endsWithMark(const std::string& text) {
  return !text.empty() && (text.back() == '\r' || text.back() == '\a' || text.back() == '\f');
}

// Every document opens; its paragraphs, words and sentences each cover the
// main text in order; every value reads within Word's codes.
TEST(WordCorpusTest, EveryDocumentReadsWhole) {
  int opened = 0, withTables = 0;
  for (const fs::path& file : corpusFiles("docx")) {
    SCOPED_TRACE(file.filename().string());
    const Document doc = Document::open(file);
    ++opened;
    const std::string content = doc.content().text();
    ASSERT_GE(doc.paragraphCount(), 1);
    std::string joined;
    for (int32_t i = 1; i <= doc.paragraphCount(); ++i) {
      const Paragraph p = doc.paragraphs(i);
      const Range r = p.range();
      const std::string text = r.text();
      EXPECT_TRUE(endsWithMark(text)) << i;
      joined += text;
      const ParagraphFormat f = r.paragraphFormat();
      EXPECT_TRUE(f.alignment >= 0 && f.alignment <= 9) << i;
      EXPECT_TRUE(f.lineSpacingRule >= 0 && f.lineSpacingRule <= 5) << i;
      const Font font = r.font();
      EXPECT_TRUE(font.size > 0) << i;
      EXPECT_TRUE(font.colorIndex >= 0 &&
                  (font.colorIndex <= 16 || font.colorIndex == wd::kUndefined));
      EXPECT_FALSE(r.textColumns().widths.empty());
      try {
        r.cells();
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), wd::kNotInTable);
      }
    }
    EXPECT_EQ(joined, content);
    std::string words, sentences;
    for (int32_t i = 1; i <= doc.wordCount(); ++i) {
      const Range w = doc.words(i);
      words += w.text();
      w.font();
      w.shading();
    }
    for (int32_t i = 1; i <= doc.sentenceCount(); ++i) sentences += doc.sentences(i).text();
    EXPECT_EQ(words, content);
    EXPECT_EQ(sentences, content);
    for (int32_t s = 1; s <= doc.sectionCount(); ++s) {
      const PageSetup setup = doc.sections(s).pageSetup();
      EXPECT_TRUE(setup.paperSize >= 0 && setup.paperSize <= 41);
      EXPECT_TRUE(endsWithMark(doc.sections(s).headers(1).range().text()));
      EXPECT_TRUE(endsWithMark(doc.sections(s).footers(1).range().text()));
    }
    if (doc.tableCount() > 0) ++withTables;
    for (int32_t t = 1; t <= doc.tableCount(); ++t) doc.tables(t).borders();
  }
  EXPECT_GT(opened, 20);
  EXPECT_GT(withTables, 3);
}

}  // namespace
}  // namespace bq::office::word
