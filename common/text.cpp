#include "common/text.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace bq {
namespace {

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether toUtf16 reads `s` without replacing anything, so that toUtf8 gives
// it back as it is.
bool readsWhole(std::string_view s) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  int32_t i = 0;
  const auto n = static_cast<int32_t>(s.size());
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0) return false;
  }
  return true;
}

// Writes `utf16` as UTF-8 at `w` and returns the end of what it wrote: at
// most three bytes a unit (a pair's two units take four, a lone half of a
// pair becomes U+FFFD's three).
char* writeUtf8(std::u16string_view utf16, char* w) {
  auto put = [&w](uint32_t byte) { *w++ = static_cast<char>(byte); };
  const size_t n = utf16.size();
  for (size_t i = 0; i < n;) {
    uint32_t c = utf16[i++];
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (U16_IS_LEAD(c) && i < n && U16_IS_TRAIL(utf16[i])) {
      c = static_cast<uint32_t>(U16_GET_SUPPLEMENTARY(c, utf16[i++]));
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      if (U16_IS_SURROGATE(c)) c = 0xFFFD;
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  return w;
}

template <typename Map>
std::u16string mapCase16(std::u16string_view s, Map map) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    UChar32 m = map(c);
    // A mapping that would change the number of code units is not taken, so
    // lengths stay as the original counted them.
    if (U16_LENGTH(m) != U16_LENGTH(c)) m = c;
    if (U_IS_SURROGATE(c)) {
      out.push_back(static_cast<char16_t>(c));
    } else if (m <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(m));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(m)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(m)));
    }
  }
  return out;
}

}  // namespace

std::u16string toUtf16(std::string_view utf8) {
  // No more units than bytes: a character takes at least as many bytes as
  // code units, and an ill-formed sequence, one byte at least, becomes one
  // U+FFFD. The text is written in place and cut to what it took.
  std::u16string out(utf8.size(), u'\0');
  char16_t* w = out.data();
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  int32_t i = 0;
  const auto n = static_cast<int32_t>(utf8.size());
  while (i < n) {
    if (p[i] < 0x80) {
      *w++ = static_cast<char16_t>(p[i++]);
      continue;
    }
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0) c = 0xFFFD;
    if (c <= 0xFFFF) {
      *w++ = static_cast<char16_t>(c);
    } else {
      *w++ = static_cast<char16_t>(U16_LEAD(c));
      *w++ = static_cast<char16_t>(U16_TRAIL(c));
    }
  }
  out.resize(static_cast<size_t>(w - out.data()));
  return out;
}

std::string toUtf8(std::u16string_view utf16) {
  // A short text is written on the stack and copied into its string once; a
  // longer one is measured first and written in place.
  constexpr size_t kOnStack = 64;
  if (utf16.size() <= kOnStack) {
    char buffer[3 * kOnStack];
    return std::string(buffer, writeUtf8(utf16, buffer));
  }
  // Exact but for surrogate pairs (two units, four bytes, counted six).
  size_t bound = 0;
  for (const char16_t u : utf16) bound += 1 + (u >= 0x80) + (u >= 0x800);
  std::string out(bound, '\0');
  out.resize(static_cast<size_t>(writeUtf8(utf16, out.data()) - out.data()));
  return out;
}

size_t len16(std::string_view s) {
  if (isAscii(s)) return s.size();
  // Counted as toUtf16 converts, without building the text.
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const auto n = static_cast<int32_t>(s.size());
  size_t units = 0;
  int32_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      ++units;
      continue;
    }
    UChar32 c;
    U8_NEXT(p, i, n, c);
    units += c > 0xFFFF ? 2 : 1;
  }
  return units;
}

std::string left16(std::string_view s, size_t n) {
  if (isAscii(s)) return std::string(s.substr(0, n));
  // No more bytes than units to keep: nothing is cut (a character takes at
  // least as many bytes as units).
  if (s.size() <= n && readsWhole(s)) return std::string(s);
  std::u16string u = toUtf16(s);
  return toUtf8(std::u16string_view(u).substr(0, n));
}

std::string right16(std::string_view s, size_t n) {
  if (isAscii(s)) return std::string(s.substr(s.size() - std::min(n, s.size())));
  std::u16string u = toUtf16(s);
  return toUtf8(std::u16string_view(u).substr(u.size() - std::min(n, u.size())));
}

std::string mid16(std::string_view s, size_t start, size_t length) {
  if (start == 0) start = 1;
  if (isAscii(s)) {
    if (start > s.size()) return {};
    return std::string(s.substr(start - 1, length));
  }
  std::u16string u = toUtf16(s);
  if (start > u.size()) return {};
  return toUtf8(std::u16string_view(u).substr(start - 1, length));
}

size_t instr16(std::string_view s, std::string_view what, size_t start) {
  if (start == 0) start = 1;
  if (isAscii(s) && isAscii(what)) {
    if (start > s.size() + 1) return 0;
    size_t pos = s.find(what, start - 1);
    return pos == std::string_view::npos ? 0 : pos + 1;
  }
  std::u16string u = toUtf16(s);
  std::u16string w = toUtf16(what);
  if (start > u.size() + 1) return 0;
  size_t pos = u.find(w, start - 1);
  return pos == std::u16string::npos ? 0 : pos + 1;
}

std::string ltrimSpaces(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string rtrimSpaces(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

std::string_view trimSpacesView(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string trimSpaces(std::string_view s) { return std::string(trimSpacesView(s)); }

double leadingNumber(std::string_view s) {
  // The characters of the number with the skipped blanks left out.
  std::string n;
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n')) ++i;
  };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  skipBlanks();
  if (i + 1 < s.size() && s[i] == '&' &&
      (s[i + 1] == 'H' || s[i + 1] == 'h' || s[i + 1] == 'O' || s[i + 1] == 'o')) {
    const bool hex = s[i + 1] == 'H' || s[i + 1] == 'h';
    i += 2;
    uint64_t value = 0;
    int digits = 0;
    for (;; ++i) {
      skipBlanks();
      if (i >= s.size()) break;
      const char c = s[i];
      int d = -1;
      if (isDigit(c)) d = c - '0';
      if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0 || (!hex && d > 7)) break;
      value = value * (hex ? 16 : 8) + static_cast<uint64_t>(d);
      ++digits;
    }
    if (digits <= (hex ? 4 : 6)) return static_cast<int16_t>(static_cast<uint16_t>(value));
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) n += s[i++];
  bool mantissa = false, point = false;
  for (;; ++i) {
    skipBlanks();
    if (i >= s.size()) break;
    if (isDigit(s[i])) {
      n += s[i];
      mantissa = true;
    } else if (s[i] == '.' && !point) {
      n += '.';
      point = true;
    } else {
      break;
    }
  }
  if (!mantissa) return 0;
  // An exponent counts only when digits follow it.
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    std::string e = "e";
    size_t j = i + 1;
    auto skip = [&] {
      while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == '\n')) ++j;
    };
    skip();
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) e += s[j++];
    bool any = false;
    for (;; ++j) {
      skip();
      if (j >= s.size() || !isDigit(s[j])) break;
      e += s[j];
      any = true;
    }
    if (any) n += e;
  }
  const char* first = n.data() + (n[0] == '+' ? 1 : 0);
  double value = 0;
  auto [end, ec] = std::from_chars(first, n.data() + n.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; an overflow is infinite, an underflow 0.
    const bool negative = n[0] == '-';
    const size_t at = n.find('e');
    const bool tiny = at != std::string::npos && n.size() > at + 1 && n[at + 1] == '-';
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  return value;
}

bool isPlainIdentifier(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool plain =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain) return false;
  }
  return true;
}

std::u16string ucase16(std::u16string_view s) { return mapCase16(s, u_toupper); }
std::u16string lcase16(std::u16string_view s) { return mapCase16(s, u_tolower); }

std::string ucase(std::string_view s) {
  if (isAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
  }
  return toUtf8(ucase16(toUtf16(s)));
}

std::string lcase(std::string_view s) {
  if (isAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  }
  return toUtf8(lcase16(toUtf16(s)));
}

std::vector<std::string> split(std::string_view s, std::string_view separator) {
  std::vector<std::string> items;
  if (s.empty()) return items;
  size_t from = 0;
  while (true) {
    size_t at = s.find(separator, from);
    if (at == std::string_view::npos) {
      items.emplace_back(s.substr(from));
      return items;
    }
    items.emplace_back(s.substr(from, at - from));
    from = at + separator.size();
  }
}

std::string percentEncodePath(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string generalNumberText(double v, int significantDigits) {
  // to_chars never looks at the locale and gives the digits "%.*g" gives
  // (both round exactly), in lower case.
  char buf[64];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, significantDigits);
  std::string text(buf, r.ptr);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string replaceAll(std::string_view s, std::string_view what, std::string_view with) {
  std::string out;
  out.reserve(s.size());
  size_t from = 0;
  while (true) {
    size_t at = s.find(what, from);
    if (at == std::string_view::npos) break;
    out.append(s.substr(from, at - from));
    out.append(with);
    from = at + what.size();
  }
  out.append(s.substr(from));
  return out;
}

}  // namespace bq
