// Text helpers that count and cut the way the original platform did.
//
// Strings are UTF-8 in memory. The original counted, cut and compared
// UTF-16 code units, so every length and position here is in UTF-16 code
// units (a character outside the Basic Multilingual Plane counts 2), and
// positions are 1-based where the original's functions were (Mid, InStr).
// A cut that falls inside a surrogate pair leaves U+FFFD in its place.
// Invalid UTF-8 in the input is read as U+FFFD.
//
// Thread safety: all functions are pure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bq {

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Number of UTF-16 code units of `s` (the original's Len).
size_t len16(std::string_view s);

// The first / last `n` code units of `s` (Left, Right); all of `s` when it is shorter.
std::string left16(std::string_view s, size_t n);
std::string right16(std::string_view s, size_t n);

// `length` code units from the 1-based position `start` on (Mid); to the end
// when `length` is npos; empty when `start` lies past the end.
// REQUIRES: start >= 1.
std::string mid16(std::string_view s, size_t start, size_t length = std::string::npos);

// 1-based position of the first `what` in `s` at or after 1-based `start`,
// 0 when there is none (InStr with binary comparison). An empty `what` gives `start`.
size_t instr16(std::string_view s, std::string_view what, size_t start = 1);

// Trim, LTrim and RTrim: remove U+0020 only (not tabs or other blanks).
std::string trimSpaces(std::string_view s);
// The part of `s` that trimSpaces keeps, as a view of it.
std::string_view trimSpacesView(std::string_view s);
std::string ltrimSpaces(std::string_view s);
std::string rtrimSpaces(std::string_view s);

// Val: the number that `s` begins with, 0 when it begins with none. Spaces,
// tabs and line feeds are skipped anywhere in the number ("1 2" is 12);
// reading stops at the first character that cannot continue it. Decimal
// numbers take an optional sign, a fraction after "." and an exponent after
// E or D; "&H" and "&O" begin hexadecimal and octal integers, which wrap to
// 16 bits up to four (hexadecimal) or six (octal) digits and to 32 bits
// beyond, as the original's Integer and Long did. A magnitude beyond a
// double's range gives +-infinity.
double leadingNumber(std::string_view s);

// True when `name` is not empty and holds only ASCII letters, digits and "_":
// a name that may stand in SQL text as it is.
bool isPlainIdentifier(std::string_view name);

// UCase and LCase: simple one-to-one case mapping of every character (as the
// original did: "ß" stays "ß", the length never changes), using ICU's
// character tables, independent of the locale.
std::string ucase(std::string_view s);
std::string lcase(std::string_view s);
std::u16string ucase16(std::u16string_view s);
std::u16string lcase16(std::u16string_view s);

// Split: cut `s` at every `separator`, keeping empty items. As the original
// did, an empty `s` gives no items at all (not one empty item).
// REQUIRES: separator is not empty.
std::vector<std::string> split(std::string_view s, std::string_view separator);

// The bytes of `s` as a URL path carries them: ASCII letters and digits,
// "-", ".", "_", "~" and "/" as they are, every other byte as "%XX"
// (upper-case hexadecimal).
std::string percentEncodePath(std::string_view s);

// `v` as printf's "%.*G" writes it in the "C" locale (at most
// `significantDigits` significant digits, no trailing zeros, "E+15" style
// exponents, "INF"/"NAN"), whatever the process's C locale: a program, or Qt
// starting, may set one with a decimal comma, and the texts the system
// produces (knowledge points, field values) must not change with it.
// REQUIRES: 1 <= significantDigits <= 17.
std::string generalNumberText(double v, int significantDigits);

// Replace every `what` in `s` by `with` (exact comparison).
// REQUIRES: what is not empty.
std::string replaceAll(std::string_view s, std::string_view what, std::string_view with);

}  // namespace bq
