#include "platform/db/sql_text.h"

#include <cctype>

#include "platform/db/connection_string.h"

namespace bq::db::sql {
namespace {

using Kind = Token::Kind;

bool wordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool wordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

bool isKeyword(const Token& t, std::string_view word) {
  return t.kind == Kind::kWord && equalsNoCase(t.text, word);
}

std::vector<Token> significantTokens(std::string_view sql) {
  std::vector<Token> out;
  for (const Token& t : tokenize(sql, Dialect::kSqlite))
    if (t.significant()) out.push_back(t);
  return out;
}

bool isName(const Token& t) { return t.kind == Kind::kWord || t.kind == Kind::kQuoted; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The text from the start of token `a` to the end of token `b` (inclusive), in `whole`.
std::string_view span(std::string_view whole, const Token& a, const Token& b) {
  const size_t from = static_cast<size_t>(a.text.data() - whole.data());
  const size_t to = static_cast<size_t>(b.text.data() - whole.data()) + b.text.size();
  return whole.substr(from, to - from);
}

}  // namespace

namespace {

// The scanners of tokenize: each gives the end of the token of its kind that
// starts at `i`; a string, comment or quoted name left open runs to the end.

// "/* ... */"; PostgreSQL nests them.
size_t blockCommentEnd(std::string_view s, size_t i, Dialect dialect) {
  const size_t n = s.size();
  i += 2;
  int depth = 1;
  while (i < n && depth > 0) {
    if (s[i] == '*' && i + 1 < n && s[i + 1] == '/') {
      --depth;
      i += 2;
    } else if (dialect == Dialect::kPostgres && s[i] == '/' && i + 1 < n && s[i + 1] == '*') {
      ++depth;
      i += 2;
    } else {
      ++i;
    }
  }
  return i;
}

// The end of a run quoted with `q` whose text starts at `i`, the quote
// doubled inside (and, with `backslashes`, escaped by a backslash).
size_t quotedRunEnd(std::string_view s, size_t i, char q, bool backslashes) {
  const size_t n = s.size();
  while (i < n) {
    if (backslashes && s[i] == '\\' && i + 1 < n) {
      i += 2;
    } else if (s[i] == q) {
      ++i;
      if (i < n && s[i] == q) {
        ++i;
      } else {
        break;
      }
    } else {
      ++i;
    }
  }
  return i;
}

// '...' with '' for a quote; PostgreSQL's E'...' also takes backslash escapes.
size_t stringEnd(std::string_view s, size_t i, bool backslashes) {
  return quotedRunEnd(s, i + (backslashes ? 2 : 1), '\'', backslashes);
}

// A name quoted with `q` ("..." or `...`), the quote doubled inside.
size_t quotedEnd(std::string_view s, size_t i, char q) { return quotedRunEnd(s, i + 1, q, false); }

// After "$" in PostgreSQL: a numbered parameter ($1), a dollar-quoted string
// ($tag$...$tag$), or the "$" alone.
size_t dollarEnd(std::string_view s, size_t i, Kind& kind) {
  const size_t n = s.size();
  size_t j = i + 1;
  if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) {
    while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    kind = Kind::kParam;
    return j;
  }
  while (j < n && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
  if (j < n && s[j] == '$') {
    const std::string_view tag = s.substr(i, j + 1 - i);
    const size_t end = s.find(tag, j + 1);
    kind = Kind::kString;
    return end == std::string_view::npos ? n : end + tag.size();
  }
  kind = Kind::kPunct;
  return i + 1;
}

// Digits, letters and dots, and a sign after an exponent's "e".
size_t numberEnd(std::string_view s, size_t i) {
  const size_t n = s.size();
  while (i < n && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                   ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
    ++i;
  return i;
}

// A punctuation mark: one of the two-character operators, or one character.
size_t punctEnd(std::string_view s, size_t i) {
  static const char* pairs[] = {"<>", "!=", "<=", ">=", "==", "||", "::", "<<", ">>"};
  for (const char* p : pairs)
    if (s.substr(i, 2) == p) return i + 2;
  return i + 1;
}

// The kind and the end of the token that starts at `i`.
Kind scanToken(std::string_view s, size_t i, Dialect dialect, size_t& end) {
  const size_t n = s.size();
  const unsigned char c = static_cast<unsigned char>(s[i]);
  auto wordCharAt = [&](size_t k) { return k < n && wordChar(static_cast<unsigned char>(s[k])); };
  if (std::isspace(c)) {
    end = i;
    while (end < n && std::isspace(static_cast<unsigned char>(s[end]))) ++end;
    return Kind::kSpace;
  }
  if (c == '-' && i + 1 < n && s[i + 1] == '-') {
    end = s.find('\n', i);
    if (end == std::string_view::npos) end = n;
    return Kind::kComment;
  }
  if (c == '/' && i + 1 < n && s[i + 1] == '*') {
    end = blockCommentEnd(s, i, dialect);
    return Kind::kComment;
  }
  const bool escapeString =
      (c == 'E' || c == 'e') && dialect == Dialect::kPostgres && i + 1 < n && s[i + 1] == '\'';
  if (c == '\'' || escapeString) {
    end = stringEnd(s, i, escapeString);
    return Kind::kString;
  }
  if (c == '"' || (dialect == Dialect::kSqlite && c == '`')) {
    end = quotedEnd(s, i, static_cast<char>(c));
    return Kind::kQuoted;
  }
  if (c == '[' && dialect == Dialect::kSqlite) {
    end = s.find(']', i);
    end = end == std::string_view::npos ? n : end + 1;
    return Kind::kQuoted;
  }
  if (c == '$' && dialect == Dialect::kPostgres) {
    Kind kind;
    end = dollarEnd(s, i, kind);
    return kind;
  }
  if (std::isdigit(c) ||
      (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
    end = numberEnd(s, i);
    return Kind::kNumber;
  }
  if (wordStart(c)) {
    end = i;
    while (wordCharAt(end)) ++end;
    return Kind::kWord;
  }
  if (c == '?') {
    end = i + 1;
    if (dialect == Dialect::kSqlite)
      while (end < n && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
    return Kind::kParam;
  }
  if (dialect == Dialect::kSqlite && (c == ':' || c == '@' || c == '$') && wordCharAt(i + 1)) {
    end = i + 1;
    while (wordCharAt(end)) ++end;
    return Kind::kParam;
  }
  end = punctEnd(s, i);
  return Kind::kPunct;
}

}  // namespace

std::vector<Token> tokenize(std::string_view s, Dialect dialect) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < s.size()) {
    size_t end = i;
    const Kind kind = scanToken(s, i, dialect, end);
    tokens.push_back({kind, s.substr(i, end - i)});
    i = end;
  }
  return tokens;
}

bool isBlank(std::string_view sql, Dialect dialect) {
  for (const Token& t : tokenize(sql, dialect))
    if (t.significant() && !(t.kind == Kind::kPunct && t.text == ";")) return false;
  return true;
}

std::string numberPlaceholders(std::string_view sql, int& count) {
  count = 0;
  std::string out;
  out.reserve(sql.size() + 8);
  for (const Token& t : tokenize(sql, Dialect::kPostgres)) {
    if (t.kind == Kind::kParam && t.text == "?") {
      out += "$" + std::to_string(++count);
    } else {
      if (t.kind == Kind::kParam) {
        // Already numbered: $N counts as a placeholder as well.
        count = std::max(count, std::stoi(std::string(t.text.substr(1))));
      }
      out += t.text;
    }
  }
  return out;
}

std::optional<TableName> tableNameOf(std::string_view source) {
  const auto tokens = significantTokens(source);
  if (tokens.size() != 1 || !isName(tokens[0])) return std::nullopt;
  static const char* statements[] = {"SELECT",   "VACUUM",  "BEGIN",   "COMMIT", "END",
                                     "ROLLBACK", "ANALYZE", "REINDEX", "VALUES"};
  for (const char* s : statements)
    if (isKeyword(tokens[0], s)) return std::nullopt;
  return TableName{unquote(tokens[0].text), tokens[0].kind == Kind::kQuoted};
}

std::string quoteIdentifier(std::string_view name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string unquote(std::string_view token) {
  if (token.size() >= 2 && token.front() == '[' && token.back() == ']')
    return std::string(token.substr(1, token.size() - 2));
  if (token.size() >= 2 && (token.front() == '"' || token.front() == '`') &&
      token.back() == token.front()) {
    const char q = token.front();
    std::string out;
    for (size_t i = 1; i + 1 < token.size(); ++i) {
      out += token[i];
      if (token[i] == q && i + 2 < token.size() && token[i + 1] == q) ++i;
    }
    return out;
  }
  return std::string(token);
}

std::optional<CreateTable> parseCreateTable(std::string_view sql) {
  const auto all = tokenize(sql, Dialect::kSqlite);
  std::vector<size_t> sig;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].significant()) sig.push_back(i);
  size_t k = 0;
  auto at = [&](size_t j) -> const Token* { return j < sig.size() ? &all[sig[j]] : nullptr; };
  if (!at(k) || !isKeyword(*at(k), "CREATE")) return std::nullopt;
  ++k;
  if (at(k) && (isKeyword(*at(k), "TEMP") || isKeyword(*at(k), "TEMPORARY"))) ++k;
  if (!at(k) || !isKeyword(*at(k), "TABLE")) return std::nullopt;
  ++k;
  if (at(k) && isKeyword(*at(k), "IF")) {
    if (!at(k + 1) || !isKeyword(*at(k + 1), "NOT") || !at(k + 2) ||
        !isKeyword(*at(k + 2), "EXISTS"))
      return std::nullopt;
    k += 3;
  }
  if (!at(k) || !isName(*at(k))) return std::nullopt;
  std::string table = unquote(at(k)->text);
  ++k;
  if (at(k) && at(k)->kind == Kind::kPunct && at(k)->text == "." && at(k + 1) &&
      isName(*at(k + 1))) {
    table = unquote(at(k + 1)->text);
    k += 2;
  }
  if (!at(k) || at(k)->text != "(") return std::nullopt;
  CreateTable out;
  out.table = table;
  const size_t open = sig[k];
  out.head = std::string(span(sql, all[0], all[open]));
  // Items: split at commas of depth 1 up to the matching ")".
  int depth = 0;
  size_t itemStart = open + 1;
  for (size_t i = open; i < all.size(); ++i) {
    const Token& t = all[i];
    if (t.kind != Kind::kPunct) continue;
    if (t.text == "(") {
      ++depth;
    } else if (t.text == ")" || (t.text == "," && depth == 1)) {
      if (t.text == ")" && --depth > 0) continue;
      std::string item;
      for (size_t j = itemStart; j < i; ++j) item += all[j].text;
      item = std::string(trim(item));
      if (item.empty()) return std::nullopt;
      out.items.push_back(item);
      itemStart = i + 1;
      if (t.text == ")") {
        const size_t from = static_cast<size_t>(t.text.data() - sql.data());
        out.tail = std::string(sql.substr(from));
        return out;
      }
    }
  }
  return std::nullopt;
}

std::string joinCreateTable(const CreateTable& t) {
  std::string sql = t.head;
  for (size_t i = 0; i < t.items.size(); ++i) {
    if (i) sql += ", ";
    sql += t.items[i];
  }
  return sql + t.tail;
}

bool isTableConstraint(std::string_view item) {
  const auto tokens = significantTokens(item);
  if (tokens.empty()) return false;
  for (const char* k : {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"})
    if (isKeyword(tokens[0], k)) return true;
  return false;
}

std::string nonEmptyCheck(std::string_view columnName) {
  return "CHECK (" + quoteIdentifier(columnName) + " <> '')";
}

std::optional<ColumnDef> parseColumnDef(std::string_view item) {
  const auto t = significantTokens(item);
  if (t.empty() || !(isName(t[0]) || t[0].kind == Kind::kString)) return std::nullopt;
  if (isTableConstraint(item)) return std::nullopt;
  ColumnDef def;
  def.name = std::string(t[0].text);
  auto isConstraintWord = [](const Token& tok) {
    for (const char* k : {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT",
                          "COLLATE", "REFERENCES", "GENERATED", "AS"})
      if (isKeyword(tok, k)) return true;
    return false;
  };
  // The end (exclusive) of a parenthesised group that opens at t[j].
  auto groupEnd = [&](size_t j) -> size_t {
    int depth = 0;
    for (; j < t.size(); ++j) {
      if (t[j].kind == Kind::kPunct && t[j].text == "(") ++depth;
      if (t[j].kind == Kind::kPunct && t[j].text == ")" && --depth == 0) return j + 1;
    }
    return 0;
  };
  size_t k = 1;
  // The type: words, then an optional "(...)".
  size_t typeStart = k;
  while (k < t.size() && t[k].kind == Kind::kWord && !isConstraintWord(t[k])) ++k;
  if (k > typeStart && k < t.size() && t[k].text == "(") {
    size_t end = groupEnd(k);
    if (end == 0) return std::nullopt;
    k = end;
  }
  if (k > typeStart) def.type = std::string(span(item, t[typeStart], t[k - 1]));
  // The constraints.
  std::string rest;
  auto addRest = [&](size_t from, size_t to) {
    if (from >= to) return;
    if (!rest.empty()) rest += ' ';
    rest += span(item, t[from], t[to - 1]);
  };
  while (k < t.size()) {
    if (isKeyword(t[k], "CONSTRAINT")) return std::nullopt;  // named constraints are left alone
    if (isKeyword(t[k], "COLLATE") && k + 1 < t.size() && isName(t[k + 1])) {
      def.collation = std::string(t[k + 1].text);
      k += 2;
    } else if (isKeyword(t[k], "NOT") && k + 1 < t.size() && isKeyword(t[k + 1], "NULL")) {
      if (k + 2 < t.size() && isKeyword(t[k + 2], "ON")) return std::nullopt;
      def.notNull = true;
      k += 2;
    } else if (isKeyword(t[k], "NULL")) {
      ++k;
    } else if (isKeyword(t[k], "DEFAULT") && k + 1 < t.size()) {
      size_t from = k + 1, to = k + 2;
      if (t[from].text == "(") {
        to = groupEnd(from);
        if (to == 0) return std::nullopt;
      } else if ((t[from].text == "-" || t[from].text == "+") && k + 2 < t.size()) {
        to = k + 3;
      }
      def.defaultExpr = std::string(span(item, t[from], t[to - 1]));
      k = to;
    } else if (isKeyword(t[k], "CHECK") && k + 1 < t.size() && t[k + 1].text == "(") {
      size_t end = groupEnd(k + 1);
      if (end == 0) return std::nullopt;
      if (end == k + 6 && isName(t[k + 2]) &&
          equalsNoCase(unquote(t[k + 2].text), unquote(def.name)) && t[k + 3].text == "<>" &&
          t[k + 4].text == "''") {
        def.nonEmptyCheck = true;
      } else {
        addRest(k, end);
      }
      k = end;
    } else {
      // PRIMARY KEY ..., UNIQUE, REFERENCES ..., GENERATED/AS ...: up to the next constraint.
      size_t from = k++;
      const bool references = isKeyword(t[from], "REFERENCES");
      while (k < t.size()) {
        if (t[k].text == "(") {
          size_t end = groupEnd(k);
          if (end == 0) return std::nullopt;
          k = end;
          continue;
        }
        bool stop = false;
        for (const char* w : {"COLLATE", "NOT", "DEFAULT", "CHECK", "PRIMARY", "UNIQUE",
                              "REFERENCES", "CONSTRAINT", "GENERATED"})
          if (isKeyword(t[k], w)) stop = true;
        if (isKeyword(t[k], "NULL") && !references) stop = true;
        if (isKeyword(t[k], "NOT") && references && k > 0 && isKeyword(t[k - 1], "DEFERRABLE"))
          stop = false;
        if (stop) break;
        ++k;
      }
      addRest(from, k);
    }
  }
  def.rest = rest;
  return def;
}

std::string formatColumnDef(const ColumnDef& def) {
  std::string s = def.name;
  if (!def.type.empty()) s += " " + def.type;
  if (!def.collation.empty()) s += " COLLATE " + def.collation;
  if (def.notNull) s += " NOT NULL";
  if (def.defaultExpr) s += " DEFAULT " + *def.defaultExpr;
  if (def.nonEmptyCheck) s += " " + nonEmptyCheck(unquote(def.name));
  if (!def.rest.empty()) s += " " + def.rest;
  return s;
}

std::optional<AlterAdd> parseAlterAdd(std::string_view sql) {
  const auto t = significantTokens(sql);
  if (t.size() < 5 || !isKeyword(t[0], "ALTER") || !isKeyword(t[1], "TABLE") || !isName(t[2]))
    return std::nullopt;
  size_t k = 3;
  std::string table = unquote(t[2].text);
  if (t[k].text == "." && k + 1 < t.size() && isName(t[k + 1])) {
    table = unquote(t[k + 1].text);
    k += 2;
  }
  if (k >= t.size() || !isKeyword(t[k], "ADD")) return std::nullopt;
  ++k;
  if (k < t.size() && isKeyword(t[k], "COLUMN")) ++k;
  if (k >= t.size()) return std::nullopt;
  size_t last = t.size() - 1;
  while (last > k && t[last].text == ";") --last;
  return AlterAdd{table, std::string(span(sql, t[k], t[last]))};
}

}  // namespace bq::db::sql
