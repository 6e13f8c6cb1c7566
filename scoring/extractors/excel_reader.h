// The Excel workbook extractor: the knowledge points of a workbook's
// worksheets, read through the Excel object model (platform/office/excel/excel.h).
//
// Per worksheet, in this order: the first embedded chart (type, plot order,
// the chart names after Location 1, 2 and 3, legend position, series names),
// the borders of the table range "A1:" + last column letter + last row and
// of its left part, then for every cell of the used extent, row by row, its
// content, alignments, merging, font, column width, number format and
// background. The labels and value forms are those of the xls module below.
//
// Every step is guarded by itself: a read the object model refuses
// (AutomationError) or a Null value adds nothing, and the next step runs.
// Nothing but AutomationError is swallowed.
//
// Thread safety: no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/dictionary.h"
#include "platform/office/excel/excel.h"
#include "scoring/extractors/reading.h"

namespace bq {

// Adds to dObj (never cleared) the knowledge points of the worksheet named
// cTbl of the workbook cFile (a Windows or POSIX path), or of every worksheet
// in workbook order when cTbl is empty or omitted; chart sheets are not
// visited. A workbook that cannot be opened, a cTbl naming no worksheet, or a
// worksheet part that is damaged ends the reading quietly: dObj keeps what
// was added before. Never fails with an AutomationError.
void ReadExcel(const std::string& cFile, KnowledgeSet& dObj,
               const std::optional<std::string>& cTbl = std::nullopt);

namespace extract {

// The points ReadExcel adds, with the reason the workbook could not be
// opened when it could not: the workbook itself, or the worksheet cTbl
// names (no such worksheet, or its part cannot be read).
Reading readExcel(const std::string& cFile, const std::optional<std::string>& cTbl = std::nullopt);

}  // namespace extract

// The routines of the xls module, usable on their own.
namespace xls {

// The edge indexes in the order the border block visits them: left, top,
// right, bottom, inside horizontal, inside vertical.
inline constexpr int32_t kBorderEdges[] = {7, 8, 10, 9, 12, 11};

// The cell-loop row count is 16-bit: a used extent past this many rows is
// read up to this row.
inline constexpr int32_t kMaxCellRows = 32767;

// Adds the knowledge points of one worksheet to dObj (see above).
void ReadSheet(const office::excel::Worksheet& sheet, KnowledgeSet& dObj);

// ChartObjects(1) of the sheet; nothing when it has none or the read fails.
std::optional<office::excel::ChartObject> FirstChartObject(const office::excel::Worksheet& sheet);

// The Name of series i of the chart; "" when there is no such series or the
// read fails.
std::string SeriesName(int32_t i, const office::excel::Chart& chart);

// The row of the last cell with content (searched by rows) into lastRow, the
// column of the last cell (searched by columns) into lastColumn. A search
// that finds nothing, or fails, leaves its output as it was.
void UsedExtent(const office::excel::Worksheet& sheet, int32_t& lastRow, int16_t& lastColumn);

// "双线" for -4119, "实线" for 1, "无" for -4142, else the code in decimal.
std::string BorderStyleText(int32_t code);
// "居中" for -4108, "靠下" for -4107, else the code in decimal.
std::string AlignmentText(int32_t code);
// "" for Null, else the text without leading and trailing spaces.
std::string TrimNull(const std::optional<std::string>& value);

// The column letter of column n: the one character whose code is 64 + n
// ("A" for 1, "@" for 0, "[" for 27). Codes outside ASCII give "?", as the
// ANSI code page maps what it cannot show; such a letter is no address.
std::string ColumnLetter(int32_t n);
// A double in the shortest decimal form of at most 15 significant digits.
std::string DoubleText(double value);

}  // namespace xls
}  // namespace bq
