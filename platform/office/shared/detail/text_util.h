// Small text helpers of the package layer: ASCII case folding (part names
// and relationship types compare without regard to ASCII case), blank
// separated lists, and the percent-encoding of part names.
//
// Thread safety: all functions are pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bq::office {

char asciiLower(char c);
std::string asciiLower(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);

// The words of `s` separated by XML blanks (space, tab, CR, LF).
std::vector<std::string_view> splitBlanks(std::string_view s);

// `s` with every "%XY" (two hex digits) replaced by that byte; other "%"
// stay as they are.
std::string percentDecode(std::string_view s);

// An attribute's whole text as a decimal integer (no blanks, an optional
// "-"); nothing for anything else or a value outside int64_t.
std::optional<int64_t> toInt(std::string_view s);
// An attribute's text as a finite number, blanks and a "+" around it allowed;
// nothing for anything else.
std::optional<double> toDouble(std::string_view s);

}  // namespace bq::office
