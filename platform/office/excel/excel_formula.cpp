#include "platform/office/excel/detail/excel_formula.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

#include "common/automation_error.h"
#include "common/text.h"

namespace bq::office::excel {

namespace {

[[noreturn]] void raiseDamaged(std::string_view what, size_t offset, std::string_view text) {
  throw AutomationError(kBadAddressNumber, std::string(kErrorSource),
                        "damaged formula: " + std::string(what) + " at offset " +
                            std::to_string(offset) + " of \"" + std::string(text) + "\"");
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Characters of a name, a function name or a reference. Bytes of UTF-8
// sequences count as name characters: sheet and defined names may be
// Chinese.
bool isWordChar(char c) {
  return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool startsWord(std::string_view s, size_t i) {
  char c = s[i];
  if (isLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80) return true;
  return c == '$' && i + 1 < s.size() && isLetter(s[i + 1]);
}

// One axis of a reference: a row or column number and whether "$" fixes it.
struct Axis {
  int32_t n = 0;
  bool absolute = false;
  bool operator==(const Axis&) const = default;
};

struct Reference {
  enum class Kind { Cell, CellRange, Columns, Rows };
  Kind kind = Kind::Cell;
  Axis row1, col1, row2, col2;
};

// "$B$2" and its mixed forms, the whole word; nothing for anything else.
std::optional<std::pair<Axis, Axis>> parseCell(std::string_view w) {
  Axis col, row;
  size_t i = 0;
  if (i < w.size() && w[i] == '$') col.absolute = true, ++i;
  size_t letters = 0;
  while (i < w.size() && isLetter(w[i]) && letters < 4) {
    col.n = col.n * 26 + (upper(w[i]) - 'A' + 1);
    ++i, ++letters;
  }
  if (letters == 0 || letters > 3 || col.n > kMaxColumns) return std::nullopt;
  if (i < w.size() && w[i] == '$') row.absolute = true, ++i;
  size_t digits = 0;
  while (i < w.size() && isDigit(w[i]) && digits < 8) {
    row.n = row.n * 10 + (w[i] - '0');
    ++i, ++digits;
  }
  if (digits == 0 || i != w.size() || row.n < 1 || row.n > kMaxRows) return std::nullopt;
  return std::pair{row, col};
}

// "$C" / "C": a column alone, the side of a whole-column range.
std::optional<Axis> parseColumn(std::string_view w) {
  Axis col;
  size_t i = 0;
  if (i < w.size() && w[i] == '$') col.absolute = true, ++i;
  if (w.size() - i < 1 || w.size() - i > 3) return std::nullopt;
  for (; i < w.size(); ++i) {
    if (!isLetter(w[i])) return std::nullopt;
    col.n = col.n * 26 + (upper(w[i]) - 'A' + 1);
  }
  if (col.n > kMaxColumns) return std::nullopt;
  return col;
}

// "$3" / "3" at `i`: a row alone; `end` receives the offset after it.
std::optional<Axis> parseRow(std::string_view s, size_t i, size_t& end) {
  Axis row;
  if (i < s.size() && s[i] == '$') row.absolute = true, ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) {
    if (++digits > 7) return std::nullopt;
    row.n = row.n * 10 + (s[i] - '0');
    ++i;
  }
  if (digits == 0 || row.n < 1 || row.n > kMaxRows) return std::nullopt;
  end = i;
  return row;
}

size_t wordEnd(std::string_view s, size_t i) {
  while (i < s.size() && isWordChar(s[i])) ++i;
  return i;
}

// A word followed by one of these is no reference: a function, a sheet
// name, a table name.
bool endsName(std::string_view s, size_t end) {
  return end < s.size() && (s[end] == '(' || s[end] == '!' || s[end] == '[');
}

constexpr std::array<std::string_view, 15> kErrorConstants = {
    "#NULL!",  "#DIV/0!",   "#VALUE!",       "#REF!",     "#NAME?",
    "#NUM!",   "#N/A",      "#GETTING_DATA", "#SPILL!",   "#CALC!",
    "#FIELD!", "#BLOCKED!", "#UNKNOWN!",     "#CONNECT!", "#BUSY!"};

size_t errorConstantLength(std::string_view s, size_t i) {
  for (std::string_view e : kErrorConstants) {
    if (s.size() - i < e.size()) continue;
    bool same = true;
    for (size_t k = 0; k < e.size() && same; ++k) same = upper(s[i + k]) == e[k];
    if (same) return e.size();
  }
  return 0;
}

// Ends a quoted run that starts at `i` (a string literal or a quoted sheet
// name), the quote doubled inside; returns the offset after the closing
// quote.
size_t quotedEnd(std::string_view s, size_t i, std::string_view what) {
  const char q = s[i];
  for (size_t k = i + 1; k < s.size(); ++k) {
    if (s[k] != q) continue;
    if (k + 1 < s.size() && s[k + 1] == q) {
      ++k;
      continue;
    }
    return k + 1;
  }
  raiseDamaged(what, i, s);
}

// Brackets of structured and external-book references nest; "'" escapes
// the next character inside them.
size_t bracketEnd(std::string_view s, size_t i) {
  int depth = 0;
  for (size_t k = i; k < s.size(); ++k) {
    if (s[k] == '\'') {
      ++k;
    } else if (s[k] == '[') {
      ++depth;
    } else if (s[k] == ']' && --depth == 0) {
      return k + 1;
    }
  }
  raiseDamaged("unclosed \"[\"", i, s);
}

// Numbers: 12, 1.5, .5, 1E+10.
size_t numberEnd(std::string_view s, size_t i) {
  while (i < s.size() && isDigit(s[i])) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i;
  }
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t k = i + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (k < s.size() && isDigit(s[k])) {
      while (k < s.size() && isDigit(s[k])) ++k;
      i = k;
    }
  }
  return i;
}

std::string_view stripFuturePrefixes(std::string_view name) {
  for (bool again = true; again;) {
    again = false;
    for (std::string_view p : {std::string_view("_xlfn."), std::string_view("_xlws.")}) {
      if (name.size() > p.size()) {
        bool same = true;
        for (size_t k = 0; k < p.size() && same; ++k) same = lower(name[k]) == p[k];
        if (same) {
          name.remove_prefix(p.size());
          again = true;
        }
      }
    }
  }
  return name;
}

// ---------------------------------------------------------------------------
// References into another workbook.

// A book name Excel writes without quotes: letters, digits, "_", "." and
// characters outside ASCII.
bool plainBookName(std::string_view name) {
  for (char c : name)
    if (!(isLetter(c) || isDigit(c) || c == '_' || c == '.' ||
          static_cast<unsigned char>(c) >= 0x80))
      return false;
  return true;
}

// The text of a quoted run without its quotes, a doubled quote read once.
std::string unquoted(std::string_view quotedRun) {
  std::string out;
  quotedRun = quotedRun.substr(1, quotedRun.size() - 2);
  for (size_t k = 0; k < quotedRun.size(); ++k) {
    out += quotedRun[k];
    if (quotedRun[k] == '\'' && k + 1 < quotedRun.size() && quotedRun[k + 1] == '\'') ++k;
  }
  return out;
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
}

// The books of a formula's indexes: given, or asked of a source on the
// first index that needs them.
struct Books {
  std::span<const ExternalBook> given;
  const ExternalBookSource* source = nullptr;
  std::span<const ExternalBook> get() {
    if (source) {
      given = source->load(source->context);
      source = nullptr;
    }
    return given;
  }
};

// "[N]" at `i`: the index and the offset after "]".
std::optional<std::pair<size_t, size_t>> bookIndexAt(std::string_view s, size_t i) {
  if (i >= s.size() || s[i] != '[') return std::nullopt;
  size_t k = i + 1, index = 0;
  while (k < s.size() && isDigit(s[k]) && k - i <= 9) index = index * 10 + (s[k++] - '0');
  if (k == i + 1 || k >= s.size() || s[k] != ']') return std::nullopt;
  return std::pair{index, k + 1};
}

// The workbook prefix of a reference: book `index` with `sheets` (the sheet
// name or "First:Last", unquoted; empty before a defined name), and "!".
// False when the index names no book: the caller keeps the stored text.
bool writeBookPrefix(std::string& out, size_t index, std::string_view sheets, bool quoted,
                     Books& linked) {
  if (index == 0) {  // the workbook itself
    if (!sheets.empty()) {
      if (quoted)
        appendQuoted(out, sheets);
      else
        out.append(sheets);
      out += '!';
    }
    return true;
  }
  const std::span<const ExternalBook> books = linked.get();
  if (index > books.size() || books[index - 1].name.empty()) return false;
  const ExternalBook& book = books[index - 1];
  std::string text = book.folder;
  if (sheets.empty()) {
    text += book.name;
  } else {
    text += '[';
    text += book.name;
    text += ']';
    text += sheets;
  }
  if (quoted || !book.folder.empty() || !plainBookName(book.name))
    appendQuoted(out, text);
  else
    out += text;
  out += '!';
  return true;
}

// A quoted prefix at `i` that ends at `end` ('[1]My Sheet'!): written
// through writeBookPrefix, "!" included; false when it is no book prefix or
// names no book.
bool quotedBookPrefix(std::string_view s, size_t i, size_t end, std::string& out, Books& books,
                      size_t& next) {
  if (end >= s.size() || s[end] != '!') return false;
  const std::string inner = unquoted(s.substr(i, end - i));
  auto index = bookIndexAt(inner, 0);
  if (!index) return false;
  const std::string_view sheets = std::string_view(inner).substr(index->second);
  if (sheets.empty()) return false;
  if (!writeBookPrefix(out, index->first, sheets, true, books)) return false;
  next = end + 1;
  return true;
}

// An unquoted prefix at `i`: [1]Sheet1!, [1]Sheet1:Sheet3!, [1]!.
bool plainBookPrefix(std::string_view s, size_t i, std::string& out, Books& books, size_t& next) {
  auto index = bookIndexAt(s, i);
  if (!index) return false;
  size_t k = index->second;
  if (k < s.size() && s[k] != '!') {
    if (!startsWord(s, k) && !isDigit(s[k])) return false;
    k = wordEnd(s, k);
    if (k + 1 < s.size() && s[k] == ':' && isWordChar(s[k + 1])) k = wordEnd(s, k + 1);
  }
  if (k >= s.size() || s[k] != '!') return false;
  if (!writeBookPrefix(out, index->first, s.substr(index->second, k - index->second), false, books))
    return false;
  next = k + 1;
  return true;
}

// Walks `s`, copying every token but references, which `write` renders.
void rewrite(std::string_view s, std::string& out, Books books,
             const std::function<void(const Reference&, std::string&)>& write) {
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      size_t end = quotedEnd(s, i, "unterminated string");
      out.append(s.substr(i, end - i));
      i = end;
    } else if (c == '\'') {
      size_t end = quotedEnd(s, i, "unterminated quoted sheet name");
      if (!quotedBookPrefix(s, i, end, out, books, i)) {
        out.append(s.substr(i, end - i));
        i = end;
      }
    } else if (c == '[') {
      if (plainBookPrefix(s, i, out, books, i)) continue;
      size_t end = bracketEnd(s, i);
      out.append(s.substr(i, end - i));
      i = end;
    } else if (c == '#') {
      size_t n = errorConstantLength(s, i);
      if (n == 0) n = 1;  // the spill operator after a reference (A1#)
      out.append(s.substr(i, n));
      i += n;
    } else if (isDigit(c) || (c == '$' && i + 1 < s.size() && isDigit(s[i + 1])) ||
               (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
      // A whole-row range (1:3, $2:$2) or a number.
      size_t end1 = 0, end2 = 0;
      std::optional<Axis> r1 = parseRow(s, i, end1);
      std::optional<Axis> r2;
      if (r1 && end1 < s.size() && s[end1] == ':') r2 = parseRow(s, end1 + 1, end2);
      if (r2 && !(end2 < s.size() && (isWordChar(s[end2]) || s[end2] == '('))) {
        Reference ref;
        ref.kind = Reference::Kind::Rows;
        ref.row1 = *r1;
        ref.row2 = *r2;
        write(ref, out);
        i = end2;
      } else if (c == '$') {
        out += c;
        ++i;
      } else {
        size_t end = numberEnd(s, i);
        out.append(s.substr(i, end - i));
        i = end;
      }
    } else if (startsWord(s, i)) {
      const size_t end = wordEnd(s, i);
      const std::string_view word = s.substr(i, end - i);
      if (end < s.size() && s[end] == '(') {
        out.append(stripFuturePrefixes(word));
        i = end;
        continue;
      }
      if (endsName(s, end)) {
        out.append(word);
        i = end;
        continue;
      }
      // A second word after ":" that could end a range.
      std::string_view second;
      size_t secondEnd = end;
      if (end + 1 < s.size() && s[end] == ':' && startsWord(s, end + 1)) {
        secondEnd = wordEnd(s, end + 1);
        if (!endsName(s, secondEnd)) second = s.substr(end + 1, secondEnd - end - 1);
      }
      if (auto cell = parseCell(word)) {
        Reference ref;
        ref.row1 = cell->first;
        ref.col1 = cell->second;
        size_t next = end;
        if (auto cell2 = parseCell(second)) {
          ref.kind = Reference::Kind::CellRange;
          ref.row2 = cell2->first;
          ref.col2 = cell2->second;
          next = secondEnd;
        }
        write(ref, out);
        i = next;
        continue;
      }
      auto col1 = parseColumn(word);
      auto col2 = col1 ? parseColumn(second) : std::nullopt;
      if (col1 && col2) {
        Reference ref;
        ref.kind = Reference::Kind::Columns;
        ref.col1 = *col1;
        ref.col2 = *col2;
        write(ref, out);
        i = secondEnd;
        continue;
      }
      out.append(word);  // a defined name, TRUE, FALSE
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
}

void writeR1C1Axis(std::string& out, char letter, Axis a, int32_t origin) {
  out += letter;
  if (a.absolute) {
    out += std::to_string(a.n);
  } else if (a.n != origin) {
    out += '[';
    out += std::to_string(a.n - origin);
    out += ']';
  }
}

void writeA1Cell(std::string& out, Axis row, Axis col) {
  if (col.absolute) out += '$';
  out += columnLetters(col.n);
  if (row.absolute) out += '$';
  out += std::to_string(row.n);
}

// Moves a relative axis; false when it leaves the grid.
bool move(Axis& a, int32_t by, int32_t max) {
  if (a.absolute) return true;
  int64_t n = int64_t{a.n} + by;
  if (n < 1 || n > max) return false;
  a.n = static_cast<int32_t>(n);
  return true;
}

std::string_view withoutEquals(std::string_view s) {
  if (!s.empty() && s.front() == '=') s.remove_prefix(1);
  return s;
}

}  // namespace

namespace {

std::string printR1C1(std::string_view a1, CellRef at, Books books) {
  std::string out = "=";
  rewrite(withoutEquals(a1), out, books, [&](const Reference& r, std::string& o) {
    switch (r.kind) {
      case Reference::Kind::Cell:
      case Reference::Kind::CellRange:
        writeR1C1Axis(o, 'R', r.row1, at.row);
        writeR1C1Axis(o, 'C', r.col1, at.column);
        if (r.kind == Reference::Kind::CellRange) {
          o += ':';
          writeR1C1Axis(o, 'R', r.row2, at.row);
          writeR1C1Axis(o, 'C', r.col2, at.column);
        }
        break;
      case Reference::Kind::Columns:
        writeR1C1Axis(o, 'C', r.col1, at.column);
        if (!(r.col1 == r.col2)) {
          o += ':';
          writeR1C1Axis(o, 'C', r.col2, at.column);
        }
        break;
      case Reference::Kind::Rows:
        writeR1C1Axis(o, 'R', r.row1, at.row);
        if (!(r.row1 == r.row2)) {
          o += ':';
          writeR1C1Axis(o, 'R', r.row2, at.row);
        }
        break;
    }
  });
  return out;
}

}  // namespace

std::string formulaToR1C1(std::string_view a1, CellRef at, std::span<const ExternalBook> books) {
  return printR1C1(a1, at, Books{books});
}

std::string formulaToR1C1(std::string_view a1, CellRef at, const ExternalBookSource& books) {
  return printR1C1(a1, at, Books{{}, &books});
}

namespace {

// `a1` in A1 notation, its references moved, appended to `out`.
void writeMoved(std::string_view a1, int32_t rows, int32_t columns, Books books, std::string& out) {
  rewrite(withoutEquals(a1), out, books, [&](const Reference& ref, std::string& o) {
    Reference r = ref;
    bool inGrid = true;
    switch (r.kind) {
      case Reference::Kind::Cell:
        inGrid = move(r.row1, rows, kMaxRows) && move(r.col1, columns, kMaxColumns);
        if (inGrid) writeA1Cell(o, r.row1, r.col1);
        break;
      case Reference::Kind::CellRange:
        inGrid = move(r.row1, rows, kMaxRows) && move(r.col1, columns, kMaxColumns) &&
                 move(r.row2, rows, kMaxRows) && move(r.col2, columns, kMaxColumns);
        if (inGrid) {
          writeA1Cell(o, r.row1, r.col1);
          o += ':';
          writeA1Cell(o, r.row2, r.col2);
        }
        break;
      case Reference::Kind::Columns:
        inGrid = move(r.col1, columns, kMaxColumns) && move(r.col2, columns, kMaxColumns);
        if (inGrid)
          o += (r.col1.absolute ? "$" : "") + columnLetters(r.col1.n) + ':' +
               (r.col2.absolute ? "$" : "") + columnLetters(r.col2.n);
        break;
      case Reference::Kind::Rows:
        inGrid = move(r.row1, rows, kMaxRows) && move(r.row2, rows, kMaxRows);
        if (inGrid)
          o += (r.row1.absolute ? "$" : "") + std::to_string(r.row1.n) + ':' +
               (r.row2.absolute ? "$" : "") + std::to_string(r.row2.n);
        break;
    }
    if (!inGrid) o += "#REF!";
  });
}

}  // namespace

std::string shiftFormula(std::string_view a1, int32_t rows, int32_t columns) {
  std::string out;
  if (!a1.empty() && a1.front() == '=') out += '=';
  writeMoved(a1, rows, columns, {}, out);
  return out;
}

std::string formulaToA1(std::string_view a1, std::span<const ExternalBook> books) {
  std::string out = "=";
  writeMoved(a1, 0, 0, Books{books}, out);
  return out;
}

std::string formulaToA1(std::string_view a1, const ExternalBookSource& books) {
  std::string out = "=";
  writeMoved(a1, 0, 0, Books{{}, &books}, out);
  return out;
}

namespace {

// %XX escapes decoded; `s` itself when one is not followed by two hex
// digits or the bytes they make are no UTF-8.
std::string percentDecoded(std::string_view s) {
  if (s.find('%') == std::string_view::npos) return std::string(s);
  auto hex = [](char c) -> int {
    if (isDigit(c)) return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size() || hex(s[i + 1]) < 0 || hex(s[i + 2]) < 0) return std::string(s);
    out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
    i += 2;
  }
  if (out.find('\0') != std::string::npos || toUtf8(toUtf16(out)) != out) return std::string(s);
  return out;
}

bool startsWithDrive(std::string_view s) {
  return s.size() >= 2 && isLetter(s[0]) && s[1] == ':' &&
         (s.size() == 2 || s[2] == '/' || s[2] == '\\');
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k)
    if (lower(s[k]) != prefix[k]) return false;
  return true;
}

}  // namespace

ExternalBook externalBookOf(std::string_view target) {
  std::string path = percentDecoded(target);
  std::string_view p = path;
  bool web = false;
  if (startsWithNoCase(p, "file:")) {
    p.remove_prefix(5);
    if (p.size() > 2 && (p[0] == '/' || p[0] == '\\') && (p[1] == '/' || p[1] == '\\') &&
        p[2] != '/' && p[2] != '\\' && !startsWithDrive(p.substr(2))) {
      // file://server/share/...: a network path.
      p.remove_prefix(2);
      path = "\\\\" + std::string(p);
      p = path;
    } else {
      while (!p.empty() && (p[0] == '/' || p[0] == '\\') && p.size() > 1 &&
             (p[1] == '/' || p[1] == '\\'))
        p.remove_prefix(1);
    }
  } else if (size_t colon = p.find("://"); colon != std::string_view::npos && colon > 1) {
    web = true;  // http://, https://: the address as it stands
  }
  if (!web && p.size() > 1 && (p[0] == '/' || p[0] == '\\') && startsWithDrive(p.substr(1)))
    p.remove_prefix(1);  // /C:/dir/...
  std::string text(p);
  if (!web) std::replace(text.begin(), text.end(), '/', '\\');
  const size_t cut = text.find_last_of(web ? "/" : "\\");
  ExternalBook book;
  if (cut == std::string::npos) {
    book.name = text;
  } else {
    book.folder = text.substr(0, cut + 1);
    book.name = text.substr(cut + 1);
  }
  if (book.name.empty()) book.folder.clear();
  return book;
}

// ---------------------------------------------------------------------------
// Constants.

NumberKind numberKind(int32_t numFmtId, std::optional<std::string_view> code) {
  if (!code) {
    if (numFmtId == 9 || numFmtId == 10) return NumberKind::Percent;
    if ((numFmtId >= 14 && numFmtId <= 22) || (numFmtId >= 27 && numFmtId <= 36) ||
        (numFmtId >= 45 && numFmtId <= 47) || (numFmtId >= 50 && numFmtId <= 58))
      return NumberKind::Date;
    return NumberKind::Plain;
  }
  std::string_view s = *code;
  bool percent = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      size_t k = s.find('"', i + 1);
      if (k == std::string_view::npos) break;
      i = k;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is literal, padding or fill
    } else if (c == '[') {
      size_t k = s.find(']', i + 1);
      if (k == std::string_view::npos) break;
      // [h], [mm], [ss]: elapsed time; anything else is a colour, a
      // condition or a locale.
      std::string_view inner = s.substr(i + 1, k - i - 1);
      if (!inner.empty() && inner.find_first_not_of("hHmMsS") == std::string_view::npos)
        return NumberKind::Date;
      i = k;
    } else if (c == '%') {
      percent = true;
    } else {
      switch (upper(c)) {
        case 'Y':
        case 'M':
        case 'D':
        case 'H':
        case 'S':
          return NumberKind::Date;
        default:
          break;
      }
    }
  }
  return percent ? NumberKind::Percent : NumberKind::Plain;
}

namespace {

std::string plainNumber(double v) {
  if (v == 0 || !std::isfinite(v)) return "0";
  // printf's "%.15G", which writes exponents as Excel does (1E+15, 1.5E-05).
  return generalNumberText(v, 15);
}

// The civil date of day `day` (>= 1) of Excel's 1900 date system, which
// counts a 29 February 1900 as day 60.
std::chrono::year_month_day dateOfSerial(int64_t day, bool date1904) {
  using namespace std::chrono;
  if (date1904) return year_month_day(sys_days(year{1904} / January / 1) + days(day));
  if (day == 60) return year{1900} / February / 29;
  const sys_days epoch = sys_days(year{1899} / December / 31);
  return year_month_day(epoch + days(day < 60 ? day : day - 1));
}

std::string dateText(double serial, bool date1904) {
  int64_t day = static_cast<int64_t>(std::floor(serial));
  int64_t seconds = std::llround((serial - static_cast<double>(day)) * 86400.0);
  if (seconds >= 86400) {
    ++day;
    seconds -= 86400;
  }
  // In the 1900 system serial 0 is no date (the formula bar shows the time
  // alone); in the 1904 system it is 1/1/1904.
  const bool hasDate = date1904 || day >= 1;
  std::string out;
  if (hasDate) {
    std::chrono::year_month_day d = dateOfSerial(day, date1904);
    out = std::to_string(static_cast<unsigned>(d.month())) + "/" +
          std::to_string(static_cast<unsigned>(d.day())) + "/" +
          std::to_string(static_cast<int>(d.year()));
  }
  if (seconds != 0 || !hasDate) {
    int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld %s",
                  static_cast<long long>(h % 12 == 0 ? 12 : h % 12), static_cast<long long>(m),
                  static_cast<long long>(s), h < 12 ? "AM" : "PM");
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace

std::string numberFormulaText(double value, NumberKind kind, bool date1904) {
  switch (kind) {
    case NumberKind::Plain:
      return plainNumber(value);
    case NumberKind::Percent:
      return plainNumber(value * 100) + "%";
    case NumberKind::Date:
      // 12/31/9999, the last date Excel shows, is serial 2958465 (1900
      // system) or 2957003 (1904 system).
      if (!(value >= 0 && value < (date1904 ? 2957004 : 2958466))) return plainNumber(value);
      return dateText(value, date1904);
  }
  return plainNumber(value);
}

}  // namespace bq::office::excel
