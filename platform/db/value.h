// Values between the databases and Variants.
//
// A RawValue is a value as a database hands it over: null, a 64-bit integer,
// a double, text (UTF-8) or bytes. What it becomes depends on the ADO type of
// its field:
//
//   ADO type                        Variant          stored as (SQLite / PostgreSQL)
//   2 adSmallInt                    int16_t          integer
//   3 adInteger                     int32_t          integer
//   17 adUnsignedTinyInt            uint8_t          integer
//   4 adSingle                      float            real
//   5 adDouble                      double           real
//   6 adCurrency                    Currency         real / money
//   7 133 134 135 (dates)           Date             text "YYYY-MM-DD HH:MM:SS[.fff]"
//   11 adBoolean                    bool             integer 1 or 0 / boolean
//   20 adBigInt, 131 adNumeric,
//   14 adDecimal                    std::string      the number as decimal text, exact
//   72 adGUID                       std::string      "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
//   text types                      std::string      text
//   binary types                    ByteArray        blob / bytea
//
// and SQL NULL is Null for every type. (The Variant has no 64-bit integer or
// decimal alternative, so big integers and decimals come as text.) A stored
// value that cannot be read as its field's type (text "abc" in a Double
// column, 70000 in a SmallInt column) fails with adErrDataConversion when its
// Value is read.
//
// Assigning a Variant to a field converts it to the field's type first, as
// the original platform's conversion functions did (numbers to integers with
// banker's rounding, "True"/"False" to Booleans, numeric text to numbers,
// ISO date text to dates, Empty to Null); a value that does not convert, does
// not fit, or text longer than the field's DefinedSize (counted in UTF-16
// code units) fails with kMultipleStepErrors and the reason.
//
// Dates are the original's day numbers (days since 30 December 1899, the
// fraction the time of day; before that day the time still counts forward
// from midnight), kept to the millisecond; years 100 to 9999.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/variant.h"

namespace bq::db {

struct RawValue {
  enum class Kind : uint8_t { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text (UTF-8) or blob

  static RawValue null() { return {}; }
  static RawValue ofInteger(int64_t v) { return {Kind::kInteger, v, 0, {}}; }
  static RawValue ofReal(double v) { return {Kind::kReal, 0, v, {}}; }
  static RawValue ofText(std::string v) { return {Kind::kText, 0, 0, std::move(v)}; }
  static RawValue ofBlob(std::string v) { return {Kind::kBlob, 0, 0, std::move(v)}; }
  bool isNull() const { return kind == Kind::kNull; }
};

// The Variant of `raw` in a field of ADO type `type`; throws adErrDataConversion.
Variant toVariant(const RawValue& raw, int32_t type);

// `value` converted for a field of ADO type `type` and size `definedSize`;
// throws kMultipleStepErrors naming `fieldName`.
Variant coerceForField(const Variant& value, int32_t type, int32_t definedSize,
                       std::string_view fieldName);

// Dates as text: "YYYY-MM-DD HH:MM:SS", with ".fff" when there are milliseconds.
std::string formatDate(double days);
// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.f...]]" (also with "T"), optionally
// followed by "Z" or a UTC offset (+HH[:MM], which is dropped), or a time alone
// "HH:MM[:SS[.f...]]" (day 0). Nothing when the text is not such a date.
std::optional<double> parseDate(std::string_view text);

// Currency as decimal text without trailing zeros ("12.5", "-3", "0.0001").
std::string formatCurrency(Currency c);
// Decimal text (optional sign, digits, optional fraction) to Currency,
// rounded half to even at the fourth decimal; nothing when it is not a
// number or does not fit.
std::optional<Currency> parseCurrency(std::string_view text);

// A number as the original's CStr wrote it (15 significant digits for a
// double, 7 for a single; no exponent for magnitudes from 1e-5 to 1e15).
std::string formatNumber(double v, int significantDigits = 15);

// The text of any scalar Variant (as CStr): Null and Empty give "", Booleans
// "True"/"False", dates formatDate(). Arrays throw adErrDataConversion.
std::string variantText(const Variant& v);

}  // namespace bq::db
