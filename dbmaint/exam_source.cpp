#include "dbmaint/exam_source.h"

#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = "ExamSource";
constexpr uint32_t kMaxTextSize = 255;

constexpr RequiredColumn kTopics[] = {{"topic_id", ColumnKind::kText},
                                      {"topic_name", ColumnKind::kText},
                                      {"topic_table", ColumnKind::kText}};
constexpr RequiredColumn kTestPaper[] = {{"uid", ColumnKind::kText},
                                         {"topic_id", ColumnKind::kText},
                                         {"tpid", ColumnKind::kLong},
                                         {"answer", ColumnKind::kText}};
constexpr RequiredColumn kSelection[] = {{"id", ColumnKind::kLong},  {"tg", ColumnKind::kText},
                                         {"xzA", ColumnKind::kText}, {"xzB", ColumnKind::kText},
                                         {"xzC", ColumnKind::kText}, {"xzD", ColumnKind::kText},
                                         {"xzE", ColumnKind::kText}, {"xzF", ColumnKind::kText},
                                         {"da", ColumnKind::kText},  {"tmlx", ColumnKind::kText}};
constexpr RequiredColumn kJudgement[] = {
    {"id", ColumnKind::kLong}, {"tg", ColumnKind::kText}, {"da", ColumnKind::kText}};
constexpr RequiredColumn kTextOnly[] = {{"id", ColumnKind::kLong}, {"tg", ColumnKind::kText}};
constexpr RequiredColumn kOperation[] = {
    {"id", ColumnKind::kLong}, {"Question", ColumnKind::kText}, {"tg", ColumnKind::kText}};
constexpr RequiredColumn kOffice[] = {
    {"id", ColumnKind::kLong}, {"tg", ColumnKind::kText}, {"fj", ColumnKind::kLongBinary}};

constexpr ExamTableLayout kExamTables[] = {
    {"topics", kTopics},       {"test_paper", kTestPaper}, {"selection", kSelection},
    {"judgement", kJudgement}, {"typewrite", kTextOnly},   {"Operation", kOperation},
    {"wordtest", kOffice},     {"wordtable", kOffice},     {"exceltest", kOffice},
    {"powerpoint", kOffice},   {"E_mail", kTextOnly}};

// The model answers of operation questions, from which the build computes the
// expected knowledge points. The client reads neither, so a source may lack it.
constexpr RequiredColumn kModelAnswer[] = {{"topic_id", ColumnKind::kText},
                                           {"tpid", ColumnKind::kLong},
                                           {"model", ColumnKind::kLongBinary}};
constexpr ExamTableLayout kOptionalTables[] = {{"model_answer", kModelAnswer}};

const ExamTableLayout& layoutAt(size_t i) {
  return i < std::size(kExamTables) ? kExamTables[i] : kOptionalTables[i - std::size(kExamTables)];
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "file:line: " in front of every message about a place in a table file.
struct Place {
  std::string_view file;
  size_t line;
};

[[noreturn]] void fail(const Place& at, const std::string& what,
                       int32_t number = kExamSourceError) {
  throw AutomationError(number, kSource,
                        std::string(at.file) + ":" + std::to_string(at.line) + ": " + what);
}

std::string inQuotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string fieldLabel(size_t index, std::string_view column = {}) {
  std::string s = "field " + std::to_string(index + 1);
  if (!column.empty()) s += " (" + std::string(column) + ")";
  return s;
}

std::string hex4(unsigned c) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s = "U+0000";
  for (int i = 0; i < 4; ++i) s[5 - i] = kDigits[(c >> (4 * i)) & 0xF];
  return s;
}

// Offset of the first byte that does not belong to well-formed UTF-8 (no
// overlong forms, no surrogates, nothing above U+10FFFF), or npos.
size_t invalidUtf8At(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return i;
    }
    if (i + len > n) return i;
    if (p[i + 1] < lo || p[i + 1] > hi) return i;
    for (size_t k = 2; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return i;
    }
    i += len;
  }
  return std::string_view::npos;
}

// Refuses a line that is not UTF-8 or holds a control character other than TAB.
void checkLineText(std::string_view line, const Place& at) {
  if (size_t bad = invalidUtf8At(line); bad != std::string_view::npos) {
    fail(at, "invalid UTF-8 at byte " + std::to_string(bad + 1));
  }
  for (size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c < 0x20 && c != '\t') {
      fail(at, "control character " + hex4(c) + " at byte " + std::to_string(i + 1) +
                   "; write a line break as \\r\\n, a TAB inside a field as \\t");
    }
  }
}

bool isColumnName(std::string_view s) {
  if (s.empty() || s.size() > 64 || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

// "Char(2)" and friends; nullopt for a type the format does not know.
std::optional<SourceColumn> parseType(std::string_view text, std::string* sizeFault) {
  struct Named {
    std::string_view name;
    SourceType type;
  };
  static constexpr Named kPlain[] = {{"Memo", SourceType::kMemo},
                                     {"Long", SourceType::kLong},
                                     {"Double", SourceType::kDouble},
                                     {"LongBinary", SourceType::kLongBinary}};
  static constexpr Named kSized[] = {{"Char", SourceType::kChar},
                                     {"VarChar", SourceType::kVarChar}};
  for (const Named& n : kPlain) {
    if (equalsNoCase(text, n.name)) return SourceColumn{{}, n.type, 0};
  }
  const size_t open = text.find('(');
  if (text.empty() || open == std::string_view::npos || text.back() != ')') return std::nullopt;
  for (const Named& n : kSized) {
    if (!equalsNoCase(text.substr(0, open), n.name)) continue;
    const std::string_view digits = text.substr(open + 1, text.size() - open - 2);
    uint32_t size = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || size < 1 ||
        size > kMaxTextSize) {
      *sizeFault = std::string(n.name) + "(" + std::string(digits) + "): the size must be 1 to " +
                   std::to_string(kMaxTextSize);
      return std::nullopt;
    }
    return SourceColumn{{}, n.type, size};
  }
  return std::nullopt;
}

std::vector<SourceColumn> parseHeader(const std::vector<std::string_view>& fields,
                                      const Place& at) {
  std::vector<SourceColumn> columns;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string_view f = fields[i];
    const size_t colon = f.find(':');
    if (colon == std::string_view::npos) {
      fail(at, fieldLabel(i) + ": " + inQuotes(f) + " is no column declaration name:Type");
    }
    const std::string_view name = f.substr(0, colon);
    const std::string_view type = f.substr(colon + 1);
    if (!isColumnName(name)) {
      fail(at, fieldLabel(i) + ": " + inQuotes(name) +
                   " is no column name (letters, digits and _, not starting with a digit)");
    }
    for (size_t k = 0; k < columns.size(); ++k) {
      if (equalsNoCase(columns[k].name, name)) {
        fail(at, fieldLabel(i) + ": column " + inQuotes(name) + " declared twice (" +
                     fieldLabel(k) + ")");
      }
    }
    std::string sizeFault;
    std::optional<SourceColumn> column = parseType(type, &sizeFault);
    if (!column) {
      if (!sizeFault.empty()) fail(at, fieldLabel(i, name) + ": " + sizeFault);
      fail(at, fieldLabel(i, name) + ": unknown type " + inQuotes(type) +
                   "; Char(n), VarChar(n), Memo, Long, Double or LongBinary");
    }
    column->name = std::string(name);
    columns.push_back(std::move(*column));
  }
  return columns;
}

std::string unescape(std::string_view field, const Place& at, const std::string& label) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out.push_back(field[i]);
      continue;
    }
    if (i + 1 == field.size()) {
      fail(at, label + ": a backslash ends the field; write a backslash as \\\\");
    }
    switch (field[++i]) {
      case 't':
        out.push_back('\t');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'N':
        fail(at, label + ": \\N stands for Null only as a whole field");
      default: {
        // Show the whole character after the backslash, not half of it.
        size_t len = 1;
        while (i + len < field.size() &&
               (static_cast<unsigned char>(field[i + len]) & 0xC0) == 0x80) {
          ++len;
        }
        fail(at, label + ": bad escape " + inQuotes("\\" + std::string(field.substr(i, len))) +
                     "; the escapes are \\t \\n \\r \\\\ and \\N");
      }
    }
  }
  return out;
}

// The relative path after "@", checked: no absolute path, no "." or "..",
// no empty part, "/" between folders.
void checkFileReference(std::string_view path, const Place& at, const std::string& label) {
  if (path.empty()) fail(at, label + ": \"@\" names no file");
  if (path.find('\\') != std::string_view::npos) {
    fail(at, label + ": " + inQuotes(path) + ": write / between folders, not \\");
  }
  if (path.front() == '/') {
    fail(at, label + ": " + inQuotes(path) +
                 " is absolute; name the file relative to the source folder");
  }
  for (std::string_view part : split(path, "/")) {
    if (part.empty() || part == "." || part == "..") {
      fail(at, label + ": " + inQuotes(path) + " has an empty, \".\" or \"..\" part");
    }
  }
}

SourceValue parseField(std::string_view field, const SourceColumn& column, size_t index,
                       const Place& at, const fs::path& folder) {
  SourceValue v;
  if (field == "\\N") {
    v.value = Null{};
    return v;
  }
  const std::string label = fieldLabel(index, column.name);
  switch (column.type) {
    case SourceType::kChar:
    case SourceType::kVarChar: {
      std::string text = unescape(field, at, label);
      if (size_t n = len16(text); n > column.size) {
        fail(at, label + ": " + std::to_string(n) + " characters, " + column.declaration() +
                     " holds " + std::to_string(column.size));
      }
      v.value = std::move(text);
      return v;
    }
    case SourceType::kMemo:
      v.value = unescape(field, at, label);
      return v;
    case SourceType::kLong: {
      if (field.empty()) fail(at, label + ": empty; a Long column needs a number or \\N");
      int32_t n = 0;
      auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), n);
      if (ec == std::errc::result_out_of_range) {
        fail(at, label + ": " + inQuotes(field) + " lies outside the range of Long");
      }
      if (ec != std::errc() || end != field.data() + field.size()) {
        fail(at, label + ": " + inQuotes(field) + " is no whole number");
      }
      v.value = n;
      return v;
    }
    case SourceType::kDouble: {
      if (field.empty()) fail(at, label + ": empty; a Double column needs a number or \\N");
      double d = 0;
      auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), d);
      if (ec == std::errc::result_out_of_range) {
        fail(at, label + ": " + inQuotes(field) + " lies outside the range of Double");
      }
      if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(d)) {
        fail(at, label + ": " + inQuotes(field) + " is no number");
      }
      v.value = d;
      return v;
    }
    case SourceType::kLongBinary: {
      if (field.empty() || field.front() != '@') {
        fail(at, label + ": a LongBinary field is @ and a file's path, or \\N");
      }
      const std::string_view path = field.substr(1);
      checkFileReference(path, at, label);
      std::string bytes;
      try {
        bytes = readWholeFile(folder / fs::path(std::string(path)));
      } catch (const AutomationError& e) {
        fail(at, label + ": cannot read " + inQuotes(path) + ": " + e.description(), e.number());
      }
      v.value = ByteArray(bytes.begin(), bytes.end());
      v.file = std::string(path);
      v.storeAsBlocks = true;
      return v;
    }
  }
  fail(at, label + ": column of no known type");
}

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

const char* kindText(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kText:
      return "a text column (Char, VarChar or Memo)";
    case ColumnKind::kLong:
      return "a Long column";
    case ColumnKind::kLongBinary:
      return "a LongBinary column";
  }
  return "";
}

bool hasKind(const SourceColumn& c, ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kText:
      return c.isText();
    case ColumnKind::kLong:
      return c.type == SourceType::kLong;
    case ColumnKind::kLongBinary:
      return c.type == SourceType::kLongBinary;
  }
  return false;
}

void checkRequiredColumns(const SourceTable& table, const ExamTableLayout& layout) {
  const Place header{table.file, 1};
  for (const RequiredColumn& r : layout.columns) {
    std::optional<size_t> i = table.columnIndex(r.name);
    if (!i) fail(header, "column " + inQuotes(r.name) + " missing; the exam's queries read it");
    const SourceColumn& c = table.columns[*i];
    if (!hasKind(c, r.kind)) {
      fail(header, "column " + inQuotes(c.name) + " is " + c.declaration() +
                       "; the exam's queries need " + kindText(r.kind));
    }
  }
}

std::string tableNames() {
  std::string s;
  for (const ExamTableLayout& t : kExamTables) s += (s.empty() ? "" : ", ") + std::string(t.name);
  return s;
}

[[noreturn]] void failFile(std::string_view file, const std::string& what, int32_t number) {
  throw AutomationError(number, kSource, std::string(file) + ": " + what);
}

}  // namespace

std::string SourceColumn::declaration() const {
  switch (type) {
    case SourceType::kChar:
      return "Char(" + std::to_string(size) + ")";
    case SourceType::kVarChar:
      return "VarChar(" + std::to_string(size) + ")";
    case SourceType::kMemo:
      return "Memo";
    case SourceType::kLong:
      return "Long";
    case SourceType::kDouble:
      return "Double";
    case SourceType::kLongBinary:
      return "LongBinary";
  }
  return {};
}

std::optional<size_t> SourceTable::columnIndex(std::string_view columnName) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (equalsNoCase(columns[i].name, columnName)) return i;
  }
  return std::nullopt;
}

const SourceTable* ExamSource::table(std::string_view name) const {
  for (const SourceTable& t : tables) {
    if (equalsNoCase(t.name, name)) return &t;
  }
  return nullptr;
}

std::span<const ExamTableLayout> examTables() { return kExamTables; }

std::span<const ExamTableLayout> optionalExamTables() { return kOptionalTables; }

SourceTable parseSourceTable(std::string_view text, std::string_view tableName,
                             std::string_view file, const fs::path& folder) {
  SourceTable table;
  table.name = std::string(tableName);
  table.file = std::string(file);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  bool header = true;
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const Place at{file, ++lineNo};
    checkLineText(line, at);
    if (line.empty()) {
      fail(at, header ? "empty line; the first line declares the columns" : "empty line");
    }
    const std::vector<std::string_view> fields = splitTabs(line);
    if (header) {
      table.columns = parseHeader(fields, at);
      header = false;
      continue;
    }
    if (fields.size() != table.columns.size()) {
      fail(at, std::to_string(fields.size()) + (fields.size() == 1 ? " field, " : " fields, ") +
                   std::to_string(table.columns.size()) + " expected");
    }
    std::vector<SourceValue> row;
    row.reserve(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      row.push_back(parseField(fields[i], table.columns[i], i, at, folder));
    }
    table.rows.push_back(std::move(row));
    table.rowLines.push_back(lineNo);
  }
  if (header) fail(Place{file, 1}, "no column declarations; the first line declares the columns");
  return table;
}

ExamSource readExamSource(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    failFile(folder.string(), "no such folder", err::kPathNotFound);
  }
  const fs::path tablesDir = folder / "tables";
  if (!fs::is_directory(tablesDir, ec)) {
    failFile("tables", "no such folder in " + inQuotes(folder.string()), err::kPathNotFound);
  }
  // Table file names are matched without regard to case, as table names are.
  std::map<size_t, std::string> found;  // index in kExamTables -> file name
  for (const winpath::DirEntry& e : winpath::listDirectory(tablesDir)) {
    const std::string file = "tables/" + e.name;
    if (e.isDirectory)
      failFile(file, "a folder; tables/ holds only <table>.tsv files", kExamSourceError);
    const bool tsv = e.name.size() > 4 && equalsNoCase(e.name.substr(e.name.size() - 4), ".tsv");
    if (!tsv)
      failFile(file, "not a table file; tables/ holds only <table>.tsv files", kExamSourceError);
    const std::string_view stem = std::string_view(e.name).substr(0, e.name.size() - 4);
    // Required tables first, then the optional ones, in one numbering.
    size_t index = std::size(kExamTables) + std::size(kOptionalTables);
    for (size_t i = 0; i < std::size(kExamTables) + std::size(kOptionalTables); ++i) {
      if (equalsNoCase(layoutAt(i).name, stem)) index = i;
    }
    if (index == std::size(kExamTables) + std::size(kOptionalTables)) {
      failFile(
          file,
          "the exam database has no table " + inQuotes(stem) + "; its tables are " + tableNames() +
              ", and " + std::string(kOptionalTables[0].name) + " when wanted",
          kExamSourceError);
    }
    if (auto [it, fresh] = found.emplace(index, e.name); !fresh) {
      failFile(file,
               "a second file of the table " + std::string(layoutAt(index).name) + " (tables/" +
                   it->second + ")",
               kExamSourceError);
    }
  }
  ExamSource source;
  source.folder = folder;
  for (size_t i = 0; i < std::size(kExamTables) + std::size(kOptionalTables); ++i) {
    const ExamTableLayout& layout = layoutAt(i);
    auto it = found.find(i);
    if (it == found.end() && i >= std::size(kExamTables)) continue;
    if (it == found.end()) {
      failFile("tables/" + std::string(layout.name) + ".tsv",
               "missing; the exam database needs all of its tables: " + tableNames(),
               err::kFileNotFound);
    }
    const std::string file = "tables/" + it->second;
    std::string text;
    try {
      text = readWholeFile(tablesDir / it->second);
    } catch (const AutomationError& e) {
      failFile(file, "cannot read: " + e.description(), e.number());
    }
    SourceTable table = parseSourceTable(text, layout.name, file, folder);
    checkRequiredColumns(table, layout);
    source.tables.push_back(std::move(table));
  }
  return source;
}

std::string escapeSourceField(std::string_view text) {
  if (size_t bad = invalidUtf8At(text); bad != std::string_view::npos) {
    throw AutomationError(kExamSourceError, kSource,
                          "invalid UTF-8 at byte " + std::to_string(bad + 1));
  }
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          throw AutomationError(kExamSourceError, kSource,
                                "control character " + hex4(static_cast<unsigned char>(c)) +
                                    " cannot be written in a table file");
        }
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace bq
