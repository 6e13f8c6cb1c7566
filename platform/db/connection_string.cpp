#include "platform/db/connection_string.h"

#include "common/automation_error.h"
#include "platform/db/errors.h"

namespace bq::db {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[noreturn]] void raiseBadString(const char* what, size_t offset) {
  throw AutomationError(kBadConnectionString, kConnectionSource,
                        "Format of the initialization string does not conform to the OLE DB "
                        "specification. (" +
                            std::string(what) + " at character " + std::to_string(offset + 1) +
                            ")");
}

std::string normaliseKey(std::string_view raw) {
  std::string key;
  bool blank = false;
  for (char c : raw) {
    if (isBlank(c)) {
      blank = !key.empty();
      continue;
    }
    if (blank) key += ' ';
    blank = false;
    key += c;
  }
  return key;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string quoteConnectionValue(std::string_view value) {
  std::string q = "\"";
  for (char c : value) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::vector<std::pair<std::string, std::string>> parseConnectionPairs(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // Key: up to the first "=" that is not doubled.
    size_t start = i;
    std::string rawKey;
    while (i < n && text[i] != ';') {
      if (text[i] == '=') {
        if (i + 1 < n && text[i + 1] == '=') {
          rawKey += '=';
          i += 2;
          continue;
        }
        break;
      }
      rawKey += text[i++];
    }
    std::string key = normaliseKey(rawKey);
    if (i >= n || text[i] == ';') {
      if (!key.empty()) raiseBadString("a key without a value", start);
      ++i;  // an empty pair
      continue;
    }
    if (key.empty()) raiseBadString("a value without a key", start);
    ++i;  // "="
    while (i < n && isBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i];
      const size_t open = i++;
      bool closed = false;
      while (i < n) {
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i++];
      }
      if (!closed) raiseBadString("an unterminated quoted value", open);
      while (i < n && isBlank(text[i])) ++i;
      if (i < n && text[i] != ';') raiseBadString("text after a quoted value", i);
    } else {
      while (i < n && text[i] != ';') value += text[i++];
      while (!value.empty() && isBlank(value.back())) value.pop_back();
    }
    if (i < n) ++i;  // ";"
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return pairs;
}

ConnectionString ConnectionString::parse(std::string_view text) {
  ConnectionString cs;
  std::string_view trimmed = text;
  while (!trimmed.empty() && isBlank(trimmed.front())) trimmed.remove_prefix(1);
  while (!trimmed.empty() && isBlank(trimmed.back())) trimmed.remove_suffix(1);
  if (startsWithNoCase(trimmed, "postgresql://") || startsWithNoCase(trimmed, "postgres://")) {
    cs.provider_ = Provider::kPostgres;
    cs.uri_ = std::string(trimmed);
    return cs;
  }
  cs.pairs_ = parseConnectionPairs(text);
  std::optional<std::string> provider = cs.get("Provider");
  if (!provider) raiseAdo(adErrProviderNotFound, kConnectionSource);
  if (equalsNoCase(*provider, "Microsoft.Jet.OLEDB.4.0")) {
    cs.provider_ = Provider::kSealed;
  } else if (equalsNoCase(*provider, "SQLite")) {
    cs.provider_ = Provider::kSqlite;
  } else if (equalsNoCase(*provider, "PostgreSQL")) {
    cs.provider_ = Provider::kPostgres;
  } else {
    raiseAdo(adErrProviderNotFound, kConnectionSource);
  }
  return cs;
}

std::optional<std::string> ConnectionString::get(std::string_view key) const {
  std::string wanted = normaliseKey(key);
  for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it)
    if (equalsNoCase(it->first, wanted)) return it->second;
  return std::nullopt;
}

}  // namespace bq::db
