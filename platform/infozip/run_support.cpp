#include "platform/infozip/run_support.h"

#include <algorithm>

#include "common/ansi.h"
#include "common/text.h"

namespace bq::infozip {
namespace {

// Splits at "/" and "\", leaving out empty components.
std::vector<std::string_view> components(std::string_view s) {
  std::vector<std::string_view> out;
  size_t from = 0;
  while (from <= s.size()) {
    size_t to = s.find_first_of("/\\", from);
    if (to == std::string_view::npos) to = s.size();
    if (to > from) out.push_back(s.substr(from, to - from));
    from = to + 1;
  }
  return out;
}

bool hasDrive(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' &&
         ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

// Matches from pattern position p and name position n (UTF-16 code units).
bool matchFrom(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      char16_t c = pattern[p];
      if (c == u'*') {
        starP = p++;
        starN = n;
        continue;
      }
      if (c == u'?') {
        ++p;
        ++n;
        continue;
      }
      if (c == u'[') {
        size_t q = p + 1;
        bool negate = q < pattern.size() && (pattern[q] == u'!' || pattern[q] == u'^');
        if (negate) ++q;
        bool found = false;
        bool closed = false;
        size_t first = q;
        while (q < pattern.size()) {
          if (pattern[q] == u']' && q > first) {
            closed = true;
            break;
          }
          if (q + 2 < pattern.size() && pattern[q + 1] == u'-' && pattern[q + 2] != u']') {
            if (name[n] >= pattern[q] && name[n] <= pattern[q + 2]) found = true;
            q += 3;
          } else {
            if (name[n] == pattern[q]) found = true;
            ++q;
          }
        }
        if (closed && found != negate) {
          p = q + 1;
          ++n;
          continue;
        }
        if (!closed && name[n] == u'[') {  // an unclosed "[" stands for itself
          ++p;
          ++n;
          continue;
        }
      } else if (c == name[n]) {
        ++p;
        ++n;
        continue;
      }
    }
    if (starP == std::u16string_view::npos) return false;
    p = starP + 1;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

void Printer::piece(std::string_view utf8) const {
  if (!routine_ || utf8.empty()) return;
  std::string ansi = toAnsi(utf8);  // std::string keeps the terminating zero
  routine_(ansi.c_str(), static_cast<uint32_t>(ansi.size()));
}

void Printer::line(std::string_view utf8) const {
  piece(utf8);
  piece("\n");
}

void Printer::raw(std::string_view bytes) const {
  if (!routine_) return;
  constexpr size_t kPiece = 32768;
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    std::string part(bytes.substr(at, kPiece));
    routine_(part.c_str(), static_cast<uint32_t>(part.size()));
  }
}

int percentSaved(uint64_t size, uint64_t compressed) {
  if (size == 0 || compressed >= size) return 0;
  return static_cast<int>((200 * (size - compressed) + size) / (2 * size));
}

std::string fromInterface(const char* ansi) { return ansi ? fromAnsi(ansi) : std::string(); }

bool hasWildcard(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}

bool wildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase) {
  std::u16string p = toUtf16(pattern), n = toUtf16(name);
  if (ignoreCase) {
    p = ucase16(p);
    n = ucase16(n);
  }
  return matchFrom(p, n);
}

std::string storedName(std::string_view given, bool junkFolders) {
  if (hasDrive(given)) given.remove_prefix(2);
  std::vector<std::string_view> parts;
  for (std::string_view c : components(given)) {
    if (c == "." || c == "..") continue;
    parts.push_back(c);
  }
  if (parts.empty()) return {};
  if (junkFolders) return std::string(parts.back());
  std::string out;
  for (std::string_view c : parts) {
    if (!out.empty()) out += '/';
    out += c;
  }
  return out;
}

TargetPath targetPath(std::string_view stored, bool keepFolders, bool spaceToUnderscore) {
  TargetPath t;
  bool folderEntry = !stored.empty() && (stored.back() == '/' || stored.back() == '\\');
  if (hasDrive(stored)) {
    stored.remove_prefix(2);
    t.strippedAbsolute = true;
  }
  if (!stored.empty() && (stored[0] == '/' || stored[0] == '\\')) t.strippedAbsolute = true;
  std::vector<std::string> parts;
  for (std::string_view c : components(stored)) {
    if (c == ".") continue;
    if (c == "..") {
      t.strippedParent = true;
      continue;
    }
    std::string part(c);
    if (spaceToUnderscore) std::replace(part.begin(), part.end(), ' ', '_');
    parts.push_back(std::move(part));
  }
  if (parts.empty()) return t;
  if (folderEntry) {
    if (keepFolders) t.folders = std::move(parts);
    return t;
  }
  t.file = std::move(parts.back());
  parts.pop_back();
  if (keepFolders) t.folders = std::move(parts);
  return t;
}

std::string decodeEntryName(std::string_view raw) {
  std::string asUtf8 = toUtf8(toUtf16(raw));
  if (asUtf8 == raw) return asUtf8;
  return fromAnsi(raw);
}

}  // namespace bq::infozip
