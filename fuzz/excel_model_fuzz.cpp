// Feeds arbitrary bytes to the Excel object model: opens them as a workbook
// and reads what the workbook extractor reads of every worksheet: the used
// extent, the borders of the table, each cell's value, formula in R1C1,
// alignment, merging, font, width, number format and interior, and the
// charts with their legends, series and locations; then the chart sheets.
//
// Input that starts with "PK" is taken as a zip file as it stands. Any other
// input is cut at NUL bytes into the contents of a fixed list of workbook part
// names and zipped (stored, so that the fuzzer reaches the XML past the zip
// layer's checksums).
//
// Only AutomationError may leave the model. The cell walk is bounded (rows
// and columns from the first), so that a sheet claiming a cell at XFD1048576
// costs what a small one does.
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "fuzz/checks.h"
#include "platform/office/excel/excel.h"

namespace {

using bqfuzz::check;
using bqfuzz::guarded;
using namespace bq::office::excel;

constexpr int32_t kRowsWalked = 40;
constexpr int32_t kColumnsWalked = 30;
constexpr int32_t kSeriesRead = 64;
constexpr int32_t kChartsRead = 8;

constexpr const char* kNames[] = {
    "[Content_Types].xml",
    "_rels/.rels",
    "xl/workbook.xml",
    "xl/_rels/workbook.xml.rels",
    "xl/styles.xml",
    "xl/sharedStrings.xml",
    "xl/worksheets/sheet1.xml",
    "xl/worksheets/_rels/sheet1.xml.rels",
    "xl/drawings/drawing1.xml",
    "xl/drawings/_rels/drawing1.xml.rels",
    "xl/charts/chart1.xml",
    "xl/theme/theme1.xml",
    "xl/chartsheets/sheet1.xml",
    "xl/chartsheets/_rels/sheet1.xml.rels",
};

void readChart(const Chart& chart, const std::string& sheetName) {
  guarded([&] { chart.name(); });
  guarded([&] {
    int32_t p = chart.placement();
    check(p == xl::kLocationAsObject || p == xl::kLocationAsNewSheet, "placement");
  });
  guarded([&] { chart.chartType(); });
  guarded([&] {
    int32_t by = chart.plotBy();
    check(by == xl::kRows || by == xl::kColumns, "PlotBy");
  });
  guarded([&] {
    if (chart.hasLegend()) chart.legend().position();
  });
  guarded([&] { chart.legend().position(); });
  guarded([&] {
    int32_t n = chart.seriesCount();
    check(n >= 0, "series count");
    for (int32_t i = 1; i <= std::min(n, kSeriesRead); ++i) chart.seriesCollection(i).name();
    guarded([&] { chart.seriesCollection(n + 1); });
  });
  guarded([&] { chart.location(xl::kLocationAsNewSheet).name(); });
  guarded([&] { chart.location(xl::kLocationAsObject).name(); });
  guarded([&] { chart.location(xl::kLocationAsObject, sheetName).name(); });
  guarded([&] { chart.location(xl::kLocationAutomatic).name(); });
}

void readCell(const Range& cell) {
  guarded([&] { cell.value(); });
  guarded([&] { cell.formula(); });
  guarded([&] {
    std::string f = cell.formulaR1C1();
    if (auto stored = cell.formula(); stored && !stored->text.empty()) {
      check(f.starts_with('='), "formula without a leading =");
    }
  });
  guarded([&] { cell.font(); });
  guarded([&] { cell.horizontalAlignment(); });
  guarded([&] { cell.verticalAlignment(); });
  guarded([&] { cell.mergeCells(); });
  guarded([&] { cell.interior(); });
  guarded([&] { cell.numberFormatLocal(); });
  guarded([&] {
    std::optional<double> w = cell.columnWidth();
    check(!w || (*w >= 0 && *w <= 255), "column width outside 0..255");
  });
}

void readSheet(const Worksheet& sheet) {
  guarded([&] { sheet.name(); });
  int32_t rows = 0, columns = 0;
  guarded([&] { rows = sheet.lastRow(); });
  guarded([&] { columns = sheet.lastColumn(); });
  check(rows >= 0 && rows <= kMaxRows && columns >= 0 && columns <= kMaxColumns, "extent");
  check((rows == 0) == (columns == 0), "extent with one side 0");
  guarded([&] {
    for (const ChartObject& object : sheet.chartObjects()) {
      if (object.index() > kChartsRead) break;
      object.name();
      guarded([&] { readChart(object.chart(), sheet.name()); });
    }
  });
  guarded([&] { readChart(sheet.chartObjects(1).chart(), sheet.name()); });
  if (rows == 0) return;
  guarded([&] {
    Range table = sheet.range("A1:" + columnLetters(columns) + std::to_string(rows));
    for (int32_t edge : {xl::kEdgeLeft, xl::kEdgeTop, xl::kEdgeRight, xl::kEdgeBottom,
                         xl::kInsideHorizontal, xl::kInsideVertical, xl::kDiagonalDown}) {
      guarded([&] { table.borders(edge); });
    }
    guarded([&] { table.borders(3); });
    guarded([&] { table.mergeCells(); });
  });
  for (int32_t i = 1; i <= std::min(rows, kRowsWalked); ++i) {
    for (int32_t j = 1; j <= std::min(columns, kColumnsWalked); ++j) {
      guarded([&] { readCell(sheet.cells(i, j)); });
    }
  }
}

void readWorkbook(std::string bytes) {
  Workbook book = Workbook::fromBytes(std::move(bytes));
  int32_t count = 0;
  guarded([&] { count = book.worksheetCount(); });
  guarded([&] { book.worksheetNames(); });
  for (int32_t i = 1; i <= std::min(count, 16); ++i) {
    guarded([&] { readSheet(book.worksheets(i)); });
  }
  guarded([&] { book.worksheets(count + 1); });
  guarded([&] { book.worksheets("SHEET1"); });
  guarded([&] {
    std::vector<std::string> names = book.chartSheetNames();
    for (int32_t i = 1; i <= std::min<int32_t>(static_cast<int32_t>(names.size()), 4); ++i) {
      guarded([&] { readChart(book.charts(i), names[i - 1]); });
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return bqfuzz::readInput(data, size, kNames, readWorkbook);
}
