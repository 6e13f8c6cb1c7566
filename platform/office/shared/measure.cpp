#include "platform/office/shared/detail/measure.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

#include "platform/office/shared/detail/text_util.h"

namespace bq::office {
namespace {

// ST_UniversalMeasure's units, by how many make an inch (a pica, "pc" or
// "pi", is 12 points).
constexpr std::array<std::pair<std::string_view, double>, 6> kUnits{{
    {"mm", 25.4},
    {"cm", 2.54},
    {"in", 1},
    {"pt", 72},
    {"pc", 6},
    {"pi", 6},
}};

// Units beyond this are no length any file means (and no double holds them
// exactly).
constexpr double kLimit = 9007199254740992.0;  // 2^53

std::optional<int64_t> rounded(double units) {
  if (!(std::abs(units) <= kLimit)) return std::nullopt;
  return static_cast<int64_t>(std::llround(units));
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number of a universal measure, -?[0-9]+(\.[0-9]+)?, taking all of
// `digits`.
std::optional<double> measureNumber(std::string_view digits) {
  size_t i = !digits.empty() && digits[0] == '-' ? 1 : 0;
  const size_t start = i;
  while (i < digits.size() && isDigit(digits[i])) ++i;
  if (i == start) return std::nullopt;
  if (i < digits.size()) {
    if (digits[i] != '.') return std::nullopt;
    const size_t fraction = ++i;
    while (i < digits.size() && isDigit(digits[i])) ++i;
    if (i == fraction || i != digits.size()) return std::nullopt;
  }
  double v = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<int64_t> lengthValue(std::string_view text, int64_t unitsPerInch) {
  if (std::optional<int64_t> plain = toInt(text)) return plain;
  if (text.size() > 2) {
    const std::string_view unit = text.substr(text.size() - 2);
    for (const auto& [name, perInch] : kUnits) {
      if (unit != name) continue;
      const std::optional<double> v = measureNumber(text.substr(0, text.size() - 2));
      if (!v) return std::nullopt;
      return rounded(*v * static_cast<double>(unitsPerInch) / perInch);
    }
  }
  if (std::optional<double> d = toDouble(text)) return rounded(*d);
  return std::nullopt;
}

}  // namespace bq::office
