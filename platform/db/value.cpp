#include "platform/db/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/db/ado.h"
#include "platform/db/errors.h"
#include "platform/db/types.h"

namespace bq::db {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kOleEpochFromUnix = -25569;  // 1899-12-30 counted from 1970-01-01
constexpr double kMinDate = -657434.0;         // 0100-01-01
constexpr double kMaxDate = 2958465.99999999;  // 9999-12-31 23:59:59.999

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

unsigned daysInMonth(int64_t y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

double fromParts(int64_t oleDay, int64_t ms) {
  const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  return oleDay >= 0 ? static_cast<double>(oleDay) + time : static_cast<double>(oleDay) - time;
}

[[noreturn]] void readFailure(const std::string& why) {
  throw AutomationError(adErrDataConversion, kFieldSource,
                        adoErrorText(adErrDataConversion) + " (" + why + ")");
}

[[noreturn]] void assignFailure(std::string_view field, const std::string& why) {
  throw AutomationError(
      kMultipleStepErrors, kFieldSource,
      std::string(kMultipleStepText) + " (Field '" + std::string(field) + "': " + why + ".)");
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool equalsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::optional<double> parseDouble(std::string_view s) {
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<int64_t> parseInt64(std::string_view s) {
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return v;
}

// The shortest text that reads back as exactly `v`.
std::string shortestText(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? p : buf);
}

// Banker's rounding of `v` to an integer within [lo, hi].
std::optional<int64_t> roundToRange(double v, int64_t lo, int64_t hi) {
  if (!std::isfinite(v)) return std::nullopt;
  const double r = std::nearbyint(v);  // the default rounding mode rounds half to even
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return std::nullopt;
  if (r >= 9223372036854775807.0) return std::nullopt;
  return static_cast<int64_t>(r);
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<std::string> normaliseGuid(std::string_view s) {
  s = trimBlanks(s);
  if (s.size() >= 2 && s.front() == '{' && s.back() == '}') s = s.substr(1, s.size() - 2);
  std::string hex;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '-') {
      if (s.size() != 36 || (i != 8 && i != 13 && i != 18 && i != 23)) return std::nullopt;
      continue;
    }
    if (!isHex(s[i])) return std::nullopt;
    hex += static_cast<char>(s[i] >= 'a' && s[i] <= 'f' ? s[i] - 'a' + 'A' : s[i]);
  }
  if (hex.size() != 32 || (s.size() != 32 && s.size() != 36)) return std::nullopt;
  return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20) + "}";
}

std::string guidFromBytes(std::string_view b) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : b) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return *normaliseGuid(hex);
}

bool isDecimalText(std::string_view s) {
  s = trimBlanks(s);
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  size_t digits = 0, i = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    size_t e = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == e) return false;
  }
  return i == s.size();
}

// The numeric value of a scalar Variant (the original's CDbl); nothing for
// text that is not a number and for bytes.
std::optional<double> numberOf(const Variant& v) {
  return std::visit(
      [](const auto& x) -> std::optional<double> {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>)
          return x ? -1.0 : 0.0;
        else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                           std::is_same_v<T, int32_t> || std::is_same_v<T, float> ||
                           std::is_same_v<T, double>)
          return static_cast<double>(x);
        else if constexpr (std::is_same_v<T, Currency>)
          return static_cast<double>(x.scaled) / 10000.0;
        else if constexpr (std::is_same_v<T, Date>)
          return x.days;
        else if constexpr (std::is_same_v<T, std::string>)
          return parseDouble(x);
        else
          return std::nullopt;
      },
      v.value());
}

std::string typeName(const Variant& v) {
  static const char* names[] = {"Empty",  "Null",   "Boolean",  "Byte",     "Integer",
                                "Long",   "Single", "Double",   "Currency", "Date",
                                "String", "Byte()", "Variant()"};
  return names[v.value().index()];
}

[[noreturn]] void mismatchFailure(std::string_view field, const Variant& value, int32_t type) {
  assignFailure(field,
                "a " + typeName(value) + " value does not convert to type " + std::to_string(type));
}

Variant integerOf(int64_t v, int32_t type) {
  if (type == adSmallInt) return static_cast<int16_t>(v);
  if (type == adUnsignedTinyInt) return static_cast<uint8_t>(v);
  return static_cast<int32_t>(v);
}

void integerRange(int32_t type, int64_t& lo, int64_t& hi) {
  if (type == adSmallInt) {
    lo = -32768;
    hi = 32767;
  } else if (type == adUnsignedTinyInt) {
    lo = 0;
    hi = 255;
  } else {
    lo = std::numeric_limits<int32_t>::min();
    hi = std::numeric_limits<int32_t>::max();
  }
}

}  // namespace

std::string formatDate(double x) {
  if (!std::isfinite(x) || x < kMinDate || x > kMaxDate + 1e-9)
    readFailure("the date " + shortestText(x) + " is out of range");
  int64_t day = static_cast<int64_t>(std::trunc(x));
  int64_t ms =
      std::llround(std::fabs(x - static_cast<double>(day)) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms = 0;
    day += 1;
  }
  int64_t y;
  unsigned m, d;
  civilFromDays(day + kOleEpochFromUnix, y, m, d);
  // "YYYY-MM-DD HH:MM:SS.fff": the digits written in place (a row of dates
  // is written by every copy of a table); years lie within 100 to 9999.
  const int sec = static_cast<int>(ms / 1000), frac = static_cast<int>(ms % 1000);
  char buf[] = "0000-00-00 00:00:00.000";
  const auto put = [&](size_t at, int64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10)
      buf[at + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
  };
  put(0, y, 4);
  put(5, m, 2);
  put(8, d, 2);
  put(11, sec / 3600, 2);
  put(14, sec / 60 % 60, 2);
  put(17, sec % 60, 2);
  put(20, frac, 3);
  return std::string(buf, frac != 0 ? 23 : 19);
}

std::optional<double> parseDate(std::string_view text) {
  std::string_view s = trimBlanks(text);
  size_t i = 0;
  auto number = [&](size_t minDigits, size_t maxDigits, int64_t& out) {
    size_t start = i;
    out = 0;
    while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9')
      out = out * 10 + (s[i++] - '0');
    return i - start >= minDigits;
  };
  int64_t oleDay = 0;
  bool hasDate = false;
  // A date part: YYYY-MM-DD.
  if (s.size() >= 10 && s[4] == '-') {
    int64_t y, m, d;
    if (!number(4, 4, y) || i >= s.size() || s[i++] != '-' || !number(1, 2, m) || i >= s.size() ||
        s[i++] != '-' || !number(1, 2, d))
      return std::nullopt;
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 ||
        d > static_cast<int64_t>(daysInMonth(y, static_cast<unsigned>(m))))
      return std::nullopt;
    oleDay =
        daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kOleEpochFromUnix;
    hasDate = true;
    if (i == s.size()) return fromParts(oleDay, 0);
    if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
    while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
  }
  // A time part: HH:MM[:SS[.fraction]].
  int64_t h, mi, sec = 0, ms = 0;
  if (!number(1, 2, h) || i >= s.size() || s[i++] != ':' || !number(2, 2, mi)) return std::nullopt;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!number(2, 2, sec)) return std::nullopt;
    if (i < s.size() && s[i] == '.') {
      ++i;
      size_t start = i;
      int64_t digits = 0;
      double scale = 1;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (i - start < 9) {
          digits = digits * 10 + (s[i] - '0');
          scale *= 10;
        }
        ++i;
      }
      if (i == start) return std::nullopt;
      ms = std::llround(static_cast<double>(digits) / scale * 1000.0);
    }
  }
  if (h > 23 || mi > 59 || sec > 59) return std::nullopt;
  // A zone: Z or +HH[:MM] / -HH[:MM]; values come in UTC, so it is dropped.
  if (i < s.size() && hasDate) {
    if (s[i] == 'Z') {
      ++i;
    } else if (s[i] == '+' || s[i] == '-') {
      ++i;
      int64_t zh, zm;
      if (!number(2, 2, zh)) return std::nullopt;
      if (i < s.size() && s[i] == ':') ++i;
      if (i < s.size() && !number(2, 2, zm)) return std::nullopt;
    }
  }
  if (i != s.size()) return std::nullopt;
  int64_t total = ((h * 60 + mi) * 60 + sec) * 1000 + ms;
  if (total >= kMsPerDay) {
    total -= kMsPerDay;
    oleDay += 1;
  }
  return fromParts(oleDay, total);
}

std::string formatCurrency(Currency c) {
  const bool negative = c.scaled < 0;
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
  std::string text = std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return negative ? "-" + text : text;
}

std::optional<Currency> parseCurrency(std::string_view text) {
  std::string_view s = trimBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (!isDecimalText(s) || s.find_first_of("eE") != std::string_view::npos) {
    // Exponent forms go through a double.
    auto d = parseDouble(text);
    if (!d) return std::nullopt;
    auto r = roundToRange(*d * 10000.0, std::numeric_limits<int64_t>::min() + 1,
                          std::numeric_limits<int64_t>::max() - 1);
    if (!r) return std::nullopt;
    return Currency{*r};
  }
  // Exact: integer digits, four decimals, and the rest decides the rounding.
  unsigned __int128 scaled = 0;
  size_t i = 0;
  for (; i < s.size() && s[i] != '.'; ++i) {
    scaled = scaled * 10 + static_cast<unsigned>(s[i] - '0');
    if (scaled > (static_cast<unsigned __int128>(1) << 63)) return std::nullopt;
  }
  int decimals = 0;
  int roundDigit = 0;
  bool sticky = false;
  if (i < s.size()) ++i;  // "."
  for (; i < s.size(); ++i) {
    const int digit = s[i] - '0';
    if (decimals < 4) {
      scaled = scaled * 10 + static_cast<unsigned>(digit);
      ++decimals;
    } else if (decimals == 4) {
      roundDigit = digit;
      ++decimals;
    } else if (digit != 0) {
      sticky = true;
    }
  }
  for (; decimals < 4; ++decimals) scaled *= 10;
  if (roundDigit > 5 || (roundDigit == 5 && (sticky || (scaled & 1)))) scaled += 1;
  const unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max());
  if (scaled > limit) return std::nullopt;
  const int64_t v = static_cast<int64_t>(scaled);
  return Currency{negative ? -v : v};
}

std::string formatNumber(double v, int significantDigits) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  return generalNumberText(v, significantDigits);
}

std::string variantText(const Variant& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Empty> || std::is_same_v<T, Null>)
          return "";
        else if constexpr (std::is_same_v<T, bool>)
          return x ? "True" : "False";
        else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                           std::is_same_v<T, int32_t>)
          return std::to_string(x);
        else if constexpr (std::is_same_v<T, float>)
          return formatNumber(x, 7);
        else if constexpr (std::is_same_v<T, double>)
          return formatNumber(x, 15);
        else if constexpr (std::is_same_v<T, Currency>)
          return formatCurrency(x);
        else if constexpr (std::is_same_v<T, Date>)
          return formatDate(x.days);
        else if constexpr (std::is_same_v<T, std::string>)
          return x;
        else
          readFailure("an array has no text");
      },
      v.value());
}

namespace {

// toVariant, one step per kind of field.
using K = RawValue::Kind;

// A stored value as a number: integers and reals as they are, text when it
// reads as one.
double rawNumber(const RawValue& raw) {
  if (raw.kind == K::kInteger) return static_cast<double>(raw.integer);
  if (raw.kind == K::kReal) return raw.real;
  if (raw.kind == K::kText) {
    if (auto d = parseDouble(raw.bytes)) return *d;
    readFailure("the text '" + raw.bytes + "' is not a number");
  }
  readFailure("binary data is not a number");
}

Variant rawInteger(const RawValue& raw, int32_t type) {
  int64_t lo, hi;
  integerRange(type, lo, hi);
  int64_t v;
  if (raw.kind == K::kInteger) {
    v = raw.integer;
  } else if (raw.kind == K::kText && parseInt64(raw.bytes)) {
    v = *parseInt64(raw.bytes);
  } else {
    auto r = roundToRange(rawNumber(raw), lo, hi);
    if (!r) readFailure("the value does not fit the field's type " + std::to_string(type));
    v = *r;
  }
  if (v < lo || v > hi)
    readFailure("the value " + std::to_string(v) + " does not fit the field's type " +
                std::to_string(type));
  return integerOf(v, type);
}

Variant rawSingle(const RawValue& raw) {
  double d = rawNumber(raw);
  float f = static_cast<float>(d);
  if (std::isfinite(d) && !std::isfinite(f)) readFailure("the value does not fit a Single");
  return f;
}

Variant rawCurrency(const RawValue& raw) {
  if (raw.kind == K::kInteger) {
    if (raw.integer > std::numeric_limits<int64_t>::max() / 10000 ||
        raw.integer < std::numeric_limits<int64_t>::min() / 10000)
      readFailure("the value does not fit a Currency");
    return Currency{raw.integer * 10000};
  }
  if (raw.kind == K::kText) {
    if (auto c = parseCurrency(raw.bytes)) return *c;
    readFailure("the text '" + raw.bytes + "' is not an amount");
  }
  auto r = roundToRange(rawNumber(raw) * 10000.0, std::numeric_limits<int64_t>::min() + 1,
                        std::numeric_limits<int64_t>::max() - 1);
  if (!r) readFailure("the value does not fit a Currency");
  return Currency{*r};
}

Variant rawDate(const RawValue& raw) {
  if (raw.kind == K::kText) {
    if (auto d = parseDate(raw.bytes)) return Date{*d};
    readFailure("the text '" + raw.bytes + "' is not a date");
  }
  double d = rawNumber(raw);
  if (!std::isfinite(d) || d < kMinDate || d > kMaxDate) readFailure("the date is out of range");
  return Date{d};
}

Variant rawBoolean(const RawValue& raw) {
  if (raw.kind == K::kText) {
    const std::string_view t = trimBlanks(raw.bytes);
    if (equalsNoCaseAscii(t, "t") || equalsNoCaseAscii(t, "true")) return true;
    if (equalsNoCaseAscii(t, "f") || equalsNoCaseAscii(t, "false")) return false;
  }
  return rawNumber(raw) != 0;
}

// BigInt, Numeric and Decimal come as their decimal text.
Variant rawDecimal(const RawValue& raw) {
  if (raw.kind == K::kInteger) return std::to_string(raw.integer);
  if (raw.kind == K::kReal) return shortestText(raw.real);
  if (raw.kind == K::kText && isDecimalText(raw.bytes)) return std::string(trimBlanks(raw.bytes));
  readFailure("the value is not a number");
}

Variant rawGuid(const RawValue& raw) {
  if (raw.kind == K::kBlob && raw.bytes.size() == 16) return guidFromBytes(raw.bytes);
  if (raw.kind == K::kText) {
    if (auto g = normaliseGuid(raw.bytes)) return *g;
  }
  readFailure("the value is not a GUID");
}

Variant rawBinary(const RawValue& raw) {
  if (raw.kind == K::kBlob || raw.kind == K::kText)
    return ByteArray(raw.bytes.begin(), raw.bytes.end());
  readFailure("a number is not binary data");
}

}  // namespace

Variant toVariant(const RawValue& raw, int32_t type) {
  if (raw.isNull()) return Null{};
  switch (type) {
    case adSmallInt:
    case adInteger:
    case adUnsignedTinyInt:
      return rawInteger(raw, type);
    case adSingle:
      return rawSingle(raw);
    case adDouble:
      return rawNumber(raw);
    case adCurrency:
      return rawCurrency(raw);
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return rawDate(raw);
    case adBoolean:
      return rawBoolean(raw);
    case adBigInt:
    case adNumeric:
    case adDecimal:
      return rawDecimal(raw);
    case adGUID:
      return rawGuid(raw);
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      return rawBinary(raw);
    default:
      if (raw.kind == K::kInteger) return std::to_string(raw.integer);
      if (raw.kind == K::kReal) return shortestText(raw.real);
      return raw.bytes;
  }
}

namespace {

// coerceForField, one step per kind of field. Each gets the value (neither
// Empty, Null nor an array) and the field's name for its errors.
struct Assigned {
  const Variant& value;
  std::string_view field;
  int32_t type;

  [[noreturn]] void mismatch() const { mismatchFailure(field, value, type); }
  [[noreturn]] void doesNotFit() const { assignFailure(field, "the value does not fit the field"); }
  double number() const {
    auto d = numberOf(value);
    if (!d) mismatch();
    return *d;
  }
  bool isText() const { return value.is<std::string>(); }
  const std::string& text() const { return value.as<std::string>(); }
};

Variant fieldInteger(const Assigned& a) {
  int64_t lo, hi;
  integerRange(a.type, lo, hi);
  std::optional<int64_t> v;
  if (a.isText()) v = parseInt64(a.text());
  if (!v) v = roundToRange(a.number(), lo, hi);
  if (!v || *v < lo || *v > hi) a.doesNotFit();
  return integerOf(*v, a.type);
}

Variant fieldSingle(const Assigned& a) {
  double d = a.number();
  float f = static_cast<float>(d);
  if (std::isfinite(d) && !std::isfinite(f)) a.doesNotFit();
  return f;
}

Variant fieldCurrency(const Assigned& a) {
  if (a.value.is<Currency>()) return a.value;
  if (a.isText()) {
    if (auto c = parseCurrency(a.text())) return *c;
    a.mismatch();
  }
  auto r = roundToRange(a.number() * 10000.0, std::numeric_limits<int64_t>::min() + 1,
                        std::numeric_limits<int64_t>::max() - 1);
  if (!r) a.doesNotFit();
  return Currency{*r};
}

Variant fieldDate(const Assigned& a) {
  auto inRange = [&](double d) {
    if (!std::isfinite(d) || d < kMinDate || d > kMaxDate)
      assignFailure(a.field, "the date is out of range");
  };
  if (a.value.is<Date>()) {
    inRange(a.value.as<Date>().days);
    return a.value;
  }
  if (a.isText()) {
    if (auto d = parseDate(a.text())) return Date{*d};
    a.mismatch();
  }
  if (a.value.is<bool>()) a.mismatch();
  const double d = a.number();
  inRange(d);
  return Date{d};
}

Variant fieldBoolean(const Assigned& a) {
  if (a.isText()) {
    const std::string_view t = trimBlanks(a.text());
    if (equalsNoCaseAscii(t, "true")) return true;
    if (equalsNoCaseAscii(t, "false")) return false;
  }
  return a.number() != 0;
}

Variant fieldBigInt(const Assigned& a) {
  if (a.isText()) {
    if (auto v = parseInt64(a.text())) return std::to_string(*v);
  }
  auto r = roundToRange(a.number(), std::numeric_limits<int64_t>::min(),
                        std::numeric_limits<int64_t>::max());
  if (!r) a.doesNotFit();
  return std::to_string(*r);
}

Variant fieldDecimal(const Assigned& a) {
  if (a.isText()) {
    if (!isDecimalText(a.text())) a.mismatch();
    return std::string(trimBlanks(a.text()));
  }
  if (a.value.is<Currency>()) return formatCurrency(a.value.as<Currency>());
  if (a.value.is<double>() || a.value.is<float>()) {
    double d = a.number();
    if (!std::isfinite(d)) a.doesNotFit();
    return shortestText(d);
  }
  return std::to_string(static_cast<int64_t>(a.number()));
}

Variant fieldGuid(const Assigned& a) {
  if (a.isText()) {
    if (auto g = normaliseGuid(a.text())) return *g;
  } else if (a.value.is<ByteArray>() && a.value.as<ByteArray>().size() == 16) {
    const auto& b = a.value.as<ByteArray>();
    return guidFromBytes(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
  }
  a.mismatch();
}

Variant fieldBinary(const Assigned& a, int32_t definedSize) {
  if (!a.value.is<ByteArray>()) a.mismatch();
  if (a.type != adLongVarBinary && definedSize > 0 &&
      a.value.as<ByteArray>().size() > static_cast<size_t>(definedSize))
    assignFailure(a.field,
                  "the data is longer than the field's size " + std::to_string(definedSize));
  return a.value;
}

Variant fieldText(const Assigned& a, int32_t definedSize) {
  if (a.value.is<ByteArray>()) a.mismatch();
  std::string text = variantText(a.value);
  if (isSizedTextType(a.type) && definedSize > 0 && len16(text) > static_cast<size_t>(definedSize))
    assignFailure(a.field,
                  "the text is longer than the field's size " + std::to_string(definedSize));
  return text;
}

}  // namespace

Variant coerceForField(const Variant& value, int32_t type, int32_t definedSize,
                       std::string_view fieldName) {
  if (value.isEmpty() || value.isNull()) return Null{};
  if (value.is<VariantArray>()) assignFailure(fieldName, "an array cannot be stored in a field");
  const Assigned a{value, fieldName, type};
  switch (type) {
    case adSmallInt:
    case adInteger:
    case adUnsignedTinyInt:
      return fieldInteger(a);
    case adSingle:
      return fieldSingle(a);
    case adDouble:
      return a.number();
    case adCurrency:
      return fieldCurrency(a);
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return fieldDate(a);
    case adBoolean:
      return fieldBoolean(a);
    case adBigInt:
      return fieldBigInt(a);
    case adNumeric:
    case adDecimal:
      return fieldDecimal(a);
    case adGUID:
      return fieldGuid(a);
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      return fieldBinary(a, definedSize);
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adLongVarChar:
    case adLongVarWChar:
      return fieldText(a, definedSize);
    default:
      return value;
  }
}

}  // namespace bq::db
