// The rules by which the Excel object model turns workbook content into the
// values Excel reports through automation: cell addresses, the xl enumeration
// codes of alignment, borders and patterns, colour indexes in the 56-colour
// palette, theme colours with tint, number formats as a Chinese-locale Excel
// names them, and column widths. Each rule lives in one function here, with
// the Excel behaviour it reproduces beside it, so that the object model
// (excel.h) only looks things up.
//
// Thread safety: all functions are pure; the tables are constant.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/office/theme/theme.h"

namespace bq::office::excel {

// Excel's grid: columns A..XFD, rows 1..1048576.
inline constexpr int32_t kMaxRows = 1'048'576;
inline constexpr int32_t kMaxColumns = 16'384;

// The number and text Excel's Range raises through automation for an address
// it cannot parse ("Application-defined or object-defined error").
inline constexpr int32_t kBadAddressNumber = 1004;
inline constexpr std::string_view kBadAddressText = "Application-defined or object-defined error";
// The source of every error the Excel object model raises.
inline constexpr std::string_view kErrorSource = "Excel";

// Enumeration values used by the object model (Excel's object library).
namespace xl {
inline constexpr int32_t kNone = -4142;  // xlNone, xlLineStyleNone, xlColorIndexNone, xlPatternNone
inline constexpr int32_t kAutomatic = -4105;  // xlColorIndexAutomatic, xlPatternAutomatic
// XlBordersIndex.
inline constexpr int32_t kDiagonalDown = 5;
inline constexpr int32_t kDiagonalUp = 6;
inline constexpr int32_t kEdgeLeft = 7;
inline constexpr int32_t kEdgeTop = 8;
inline constexpr int32_t kEdgeBottom = 9;
inline constexpr int32_t kEdgeRight = 10;
inline constexpr int32_t kInsideVertical = 11;
inline constexpr int32_t kInsideHorizontal = 12;
// XlLineStyle.
inline constexpr int32_t kContinuous = 1;
inline constexpr int32_t kDash = -4115;
inline constexpr int32_t kDashDot = 4;
inline constexpr int32_t kDashDotDot = 5;
inline constexpr int32_t kDot = -4118;
inline constexpr int32_t kDouble = -4119;
inline constexpr int32_t kSlantDashDot = 13;
// XlBorderWeight.
inline constexpr int32_t kHairline = 1;
inline constexpr int32_t kThin = 2;
inline constexpr int32_t kMedium = -4138;
inline constexpr int32_t kThick = 4;
// XlHAlign / XlVAlign.
inline constexpr int32_t kGeneral = 1;
inline constexpr int32_t kLeft = -4131;
inline constexpr int32_t kCenter = -4108;
inline constexpr int32_t kRight = -4152;
inline constexpr int32_t kFill = 5;
inline constexpr int32_t kJustify = -4130;
inline constexpr int32_t kCenterAcrossSelection = 7;
inline constexpr int32_t kDistributed = -4117;
inline constexpr int32_t kTop = -4160;
inline constexpr int32_t kBottom = -4107;
// XlPattern (values other than these in patternCode's table).
inline constexpr int32_t kPatternSolid = 1;
inline constexpr int32_t kPatternLinearGradient = 4000;
inline constexpr int32_t kPatternRectangularGradient = 4001;
}  // namespace xl

// A cell reference, 1-based.
struct CellRef {
  int32_t row = 0;
  int32_t column = 0;
  bool operator==(const CellRef&) const = default;
};

// A rectangle of cells, first <= last in both directions.
struct RangeRef {
  CellRef first;
  CellRef last;
  bool operator==(const RangeRef&) const = default;
  int64_t cellCount() const {
    return int64_t{last.row - first.row + 1} * (last.column - first.column + 1);
  }
};

// Parses an A1-style address as Range("...") accepts it: "A1", "$B$2",
// "b2:d7" (letters without regard to case, "$" before either part), the two
// corners in any order. Returns nothing for anything else: an empty text,
// blanks, column 0 ("@1"), a column beyond XFD or a row beyond 1048576, row 0,
// sheet-qualified or R1C1 addresses, whole rows or columns ("A:A").
std::optional<RangeRef> parseAddress(std::string_view address);
// The column letters of column `column` (1 gives "A", 28 "AB").
// REQUIRES: 1 <= column <= kMaxColumns.
std::string columnLetters(int32_t column);

// HorizontalAlignment of an xf's alignment@horizontal (absent: general).
std::optional<int32_t> horizontalAlignmentCode(std::string_view horizontal);
// VerticalAlignment of alignment@vertical (absent: bottom).
std::optional<int32_t> verticalAlignmentCode(std::string_view vertical);

// LineStyle and Weight of a border edge of style `style` (ST_BorderStyle;
// absent or unknown: none).
struct LineCodes {
  int32_t lineStyle;
  int32_t weight;
};
LineCodes borderLineCodes(std::string_view style);

// Interior.Pattern of a patternFill@patternType (absent: none).
int32_t patternCode(std::string_view patternType);

// Colours (Rgb, parseRgb) and the tint rule (applyTint) are the shared
// ones of theme.h.

// Excel's 56-colour palette: entry i is ColorIndex i + 1 (indexed colour i + 8).
using Palette = std::array<Rgb, 56>;
const Palette& defaultPalette();
// The ColorIndex of `colour` in `palette`: the entry nearest to it, the lower
// index when two are equally near.
int32_t nearestColorIndex(const Palette& palette, Rgb colour);

// The same search, for matching many colours against one palette: the
// palette is laid out once by channel, which the search can run over with
// vector instructions.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const Palette& palette);
  int32_t nearest(Rgb colour) const;  // as nearestColorIndex

 private:
  std::array<int32_t, std::tuple_size_v<Palette>> r_, g_, b_;
};

// NumberFormatLocal of built-in number format `id` as a Chinese-locale Excel
// shows it; nothing for ids without a built-in format.
std::optional<std::string_view> builtinNumberFormatLocal(int32_t id);
// NumberFormatLocal of the General format.
inline constexpr std::string_view kGeneralLocal = "G/通用格式";
// NumberFormatLocal of the format code `code` that a workbook defines: a
// Chinese-locale Excel shows the stored (English) code with its keywords in
// Chinese: the colours [Black] [Blue] [Cyan] [Green] [Magenta] [Red] [White]
// [Yellow] as [黑色] [蓝色] [蓝绿色] [绿色] [洋红色] [红色] [白色] [黄色],
// [ColorN] as [颜色N], and General as G/通用格式, in any letter case;
// quoted text, escaped characters and other brackets ([>100], [$-804],
// [DBNum1], [h]) stay as stored.
std::string localizedNumberFormat(std::string_view code);

// The maximum digit width in pixels (96 dpi) of font `name` at `size` points:
// the unit of ColumnWidth.
int32_t maxDigitWidth(std::string_view name, double size);
// ColumnWidth of a column stored with `width` (characters including the
// cell padding, as cols/col@width holds it), for maximum digit width `mdw`;
// like the next, at most 255, the widest column Excel has.
double columnWidthFromStored(double width, int32_t mdw);
// ColumnWidth of a column without a width of its own on a sheet whose
// sheetFormatPr has baseColWidth `baseColWidth` and no defaultColWidth.
double columnWidthFromBase(int32_t baseColWidth, int32_t mdw);

}  // namespace bq::office::excel
