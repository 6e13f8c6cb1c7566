// The values the Excel object model reports for a range: Value, Formula,
// Font, Borders(index) and Interior (excel.h hands them out; the style
// sheet reader makes the formatting ones).
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bq::office::excel {

// A cell's value as Range.Value gives it.
struct CellValue {
  enum class Kind { Empty, Number, String, Boolean, Error };
  Kind kind = Kind::Empty;
  double number = 0;  // Number; Boolean as 1 or 0
  std::string text;   // String (rich text runs joined); Error as "#DIV/0!"
  bool operator==(const CellValue&) const = default;
};

// The formula of a cell, as stored (A1 notation, without the leading "=").
// A cell that belongs to a shared formula without being its first cell has
// an empty text and `sharedIndex` set; Range::formulaR1C1 gives it the first
// cell's formula moved to it.
struct Formula {
  std::string text;
  std::optional<int32_t> sharedIndex;  // f@si of a shared formula
  bool operator==(const Formula&) const = default;
};

// Range.Font / Range.Characters.Font.
struct Font {
  std::optional<std::string> name;
  std::optional<double> size;
  std::optional<bool> bold;
  bool operator==(const Font&) const = default;
};

// Range.Borders(index).
struct Border {
  std::optional<int32_t> lineStyle;
  std::optional<int32_t> weight;
  std::optional<int32_t> colorIndex;
  bool operator==(const Border&) const = default;
};

// Range.Interior.
struct Interior {
  std::optional<int32_t> colorIndex;
  std::optional<int32_t> pattern;
  bool operator==(const Interior&) const = default;
};

}  // namespace bq::office::excel
