// A read-only Excel object model over an .xlsx package (or a legacy .xls
// that LibreOffice converts): the members the workbook extractor reads, with
// the values Excel reports through automation.
//
//   Workbook book = Workbook::open(path);            // Workbooks.Open
//   Worksheet sheet = book.worksheets("Sheet1");      // or worksheets(1)
//   int32_t rows = sheet.lastRow();                   // Cells.Find("*", xlPrevious, xlByRows).Row
//   Range cell = sheet.range("B3");
//   std::optional<int32_t> h = cell.horizontalAlignment();
//   Border left = sheet.range("A1:E12").borders(xl::kEdgeLeft);
//
// Values. A property that Excel reports as Null (a value that differs over
// a range, a font name that differs over the runs of a cell's rich text) is
// an empty optional. The rules that turn file content into values are in
// excel_rules.h.
//
// Failures. Everything throws AutomationError, source "Excel": a file that
// cannot be opened 1004 (with the package layer's description); a worksheet
// name or index that does not exist 9 "Subscript out of range"; an address
// Range cannot parse 1004 "Application-defined or object-defined error"; a
// part of the workbook that is damaged (XML not well-formed, a bound of
// limits.h exceeded) 1004 when the part is first needed. Cell content Excel
// would refuse to load (a cell reference that is no reference, a style index
// outside the style sheet) is read as Excel repairs it: a bad reference
// takes the next column, a bad style the default.
//
// Lifetime. Worksheet and Range handles share the workbook's data and stay
// valid after the Workbook object is gone. Sheets are parsed on first use.
//
// Thread safety: a workbook and its handles belong to one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/office/excel/excel_chart.h"
#include "platform/office/excel/excel_rules.h"
#include "platform/office/excel/excel_values.h"

namespace bq::office::excel {

namespace detail {
struct WorkbookData;
struct SheetData;
}  // namespace detail

class Range {
 public:
  const RangeRef& ref() const { return ref_; }
  int32_t row() const { return ref_.first.row; }
  int32_t column() const { return ref_.first.column; }

  // Of the range's first cell.
  CellValue value() const;
  std::optional<Formula> formula() const;

  // FormulaR1C1 of a one-cell range: "=" and the formula in R1C1 notation
  // for a formula cell (see excel_formula.h; a reference into another
  // workbook names it by its external link); otherwise the constant as the
  // formula bar shows it: text as is, TRUE/FALSE, an error as "#N/A", a
  // number by its number format (3.5, 25%, 1/15/2024); "" for an empty cell.
  // Throws 13 "Type mismatch" for a range of more than one cell (Excel gives
  // an array there: formulaR1C1Array), 1004 for formula text too damaged to
  // read (an unterminated string).
  std::string formulaR1C1() const;
  // Formula of a one-cell range: the same in A1 notation (a formula as
  // formulaToA1 prints it, "=A1*2"); a constant as formulaR1C1 gives it.
  std::string formulaA1() const;
  // FormulaR1C1 of every cell, by rows then columns.
  std::vector<std::vector<std::string>> formulaR1C1Array() const;

  // Over every cell of the range, each null when it differs.
  Font font() const;
  std::optional<int32_t> horizontalAlignment() const;
  std::optional<int32_t> verticalAlignment() const;
  std::optional<bool> mergeCells() const;
  Interior interior() const;
  std::optional<std::string> numberFormatLocal() const;
  std::optional<double> columnWidth() const;

  // Borders(index) with index one of xl::kEdgeLeft .. xl::kInsideHorizontal,
  // xl::kDiagonalDown or xl::kDiagonalUp; another index fails with 1004.
  // An edge between two cells is drawn by either: the cell's own side, else
  // the neighbour's facing side. Inside edges of a range one cell wide or
  // high read as no line.
  Border borders(int32_t index) const;

 private:
  friend class Worksheet;
  Range(std::shared_ptr<detail::SheetData> sheet, RangeRef ref)
      : sheet_(std::move(sheet)), ref_(ref) {}
  std::string formulaText(bool r1c1) const;
  std::shared_ptr<detail::SheetData> sheet_;
  RangeRef ref_;
};

class Worksheet {
 public:
  const std::string& name() const;
  int32_t index() const;  // 1-based, among worksheets

  // Range(address); throws 1004 for an address parseAddress refuses, and for
  // a range of more than 4,194,304 cells (which this model does not walk).
  Range range(std::string_view address) const;
  // Cells(row, column); throws 1004 outside the grid.
  Range cells(int32_t row, int32_t column) const;

  // The row and column of the last cell holding a value or formula, as
  // Cells.Find("*", SearchDirection:=xlPrevious, SearchOrder:=xlByRows).Row
  // and (xlByColumns).Column report them; 0 for a sheet without one.
  // Formatting alone does not count.
  int32_t lastRow() const;
  int32_t lastColumn() const;

  // ChartObjects: the embedded charts, in drawing order (excel_chart.h).
  // ChartObjects(index) throws 1004 for an index outside 1..Count; both
  // throw 1004 when the sheet's drawing part is damaged.
  std::vector<ChartObject> chartObjects() const;
  ChartObject chartObjects(int32_t index) const;

 private:
  friend class Workbook;
  explicit Worksheet(std::shared_ptr<detail::SheetData> sheet) : sheet_(std::move(sheet)) {}
  std::shared_ptr<detail::SheetData> sheet_;
};

class Workbook {
 public:
  // Workbooks.Open(path). Throws 1004 when the file cannot be opened or is no
  // workbook, and when its workbook, styles or shared-strings part is
  // damaged.
  static Workbook open(const std::filesystem::path& path);
  // The same for a package held in memory (xlsx only); `name` names it in errors.
  static Workbook fromBytes(std::string bytes, std::string name = "(in memory)");

  // Worksheets.Count and the names, in workbook order; chart sheets are not
  // worksheets.
  int32_t worksheetCount() const;
  std::vector<std::string> worksheetNames() const;
  // Worksheets(index), 1-based; Worksheets(name), without regard to case
  // (ASCII letters and the Latin-1 and Greek/Cyrillic basic ranges of the
  // letters Excel folds). Throws 9 "Subscript out of range" when there is no
  // such worksheet, 1004 when its part is damaged.
  Worksheet worksheets(int32_t index) const;
  Worksheet worksheets(std::string_view name) const;

  // The chart sheets (Charts), in workbook order, and Charts(index) (1-based)
  // or Charts(name) (without regard to case, as worksheets): the chart of
  // that sheet. Throws 9 "Subscript out of range" when there is no such
  // chart sheet, 1004 when it holds no chart or its parts are damaged.
  std::vector<std::string> chartSheetNames() const;
  Chart charts(int32_t index) const;
  Chart charts(std::string_view name) const;

 private:
  explicit Workbook(std::shared_ptr<detail::WorkbookData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::WorkbookData> data_;
};

}  // namespace bq::office::excel
