#include "scoring/knowledge/operation_list.h"

#include <filesystem>
#include <limits>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/read_limits.h"
#include "common/text.h"
#include "common/winpath.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// Lists and counts are 16-bit in the original: a list of more than 32767
// items overflows its counters.
constexpr size_t kMaxListItems = 32767;

// A folder waiting to be listed: its text as the walk builds it (cPath & "\"
// & names) and the native folder it stands for. The native path is derived
// alongside the text, so the Windows path is mapped only once, at the root.
struct Folder {
  std::string text;
  fs::path native;
  uint32_t depth = 0;  // levels below cPath
};

// The walk ends with 7 when it passes one of its bounds (read_limits.h).
[[noreturn]] void raiseWalkLimit(const std::string& cPath, const std::string& what) {
  throw AutomationError(
      err::kOutOfMemory, {},
      runtimeErrorText(err::kOutOfMemory) + " (the folder walk of '" + cPath + "' " + what + ")");
}

// One folder of the walk: adds every visible entry of `folder` to `entries`
// and every sub-folder to `pending`, in listing order.
//
// The keys of the walk are folder & "\" & name; `entries` holds them already
// cut to the part after cPath and its backslash (`rootLength` bytes), which
// is the relative path the walk hands back. Cutting is a bijection on keys
// that all begin with cPath & "\", so the set keeps the same keys in the same
// order as one of whole keys would.
void AddFolderEntries(const Folder& folder, size_t rootLength, KnowledgeSet& entries,
                      std::vector<Folder>& pending) {
  const std::string base = folder.text + "\\";
  const std::string_view relativeBase = std::string_view(base).substr(rootLength);
  std::string key;
  for (winpath::DirEntry& e : winpath::listDirectory(folder.native)) {
    key.assign(relativeBase);
    key += e.name;
    if (e.isDirectory) {
      key += '\\';
      entries.set(key, 1);
      // A symbolic link to a folder has the directory attribute and is listed
      // as a folder, but the walk does not go through it: a link to a folder
      // above it would make the walk endless.
      if (!e.isLink) pending.push_back({base + e.name, folder.native / e.name, folder.depth + 1});
    } else {
      entries.set(key, 1);
    }
  }
}

// Reads `file` up to the first CR or LF; false when the file holds no byte
// at all. CR and LF bytes never occur inside a character of the ANSI code
// pages, so the line can be cut before it is decoded.
bool readFirstLine(InputFile& file, std::string& line, const std::string& name) {
  constexpr size_t kChunk = 64 * 1024;
  std::string bytes;
  bool any = false;
  while (true) {
    size_t used = bytes.size();
    if (used > limits::kOperationListLine.maxBytes)
      raiseReadLimit(limits::kOperationListLine, name);
    bytes.resize(used + kChunk);
    size_t n =
        file.read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()) + used, kChunk));
    bytes.resize(used + n);
    if (n == 0) break;
    any = true;
    size_t brk = bytes.find_first_of("\r\n", used);
    if (brk != std::string::npos) {
      bytes.resize(brk);
      break;
    }
  }
  line = std::move(bytes);
  return any;
}

}  // namespace

void GetOperationZSD(const std::string& cPath, KnowledgeSet& dZSD) {
  const size_t rootLength = cPath.size() + 1;  // cPath and the backslash after it
  KnowledgeSet entries;
  std::vector<Folder> pending;
  AddFolderEntries(Folder{cPath, winpath::toNative(cPath)}, rootLength, entries, pending);
  // Breadth first: every folder of one level is listed, in the order it was
  // found, before any folder of the next level. A hostile tree (millions of
  // entries, a chain of folders without end) ends the walk at a bound.
  auto checkEntries = [&] {
    if (entries.Count() > limits::kMaxWalkEntries)
      raiseWalkLimit(cPath,
                     "lists more than " + std::to_string(limits::kMaxWalkEntries) + " entries");
  };
  checkEntries();
  std::vector<Folder> taken;
  while (!pending.empty()) {
    if (pending.front().depth > limits::kMaxWalkDepth)
      raiseWalkLimit(cPath,
                     "goes deeper than " + std::to_string(limits::kMaxWalkDepth) + " folders");
    taken.clear();
    std::swap(taken, pending);
    for (const Folder& f : taken) {
      AddFolderEntries(f, rootLength, entries, pending);
      checkEntries();
    }
  }
  // dZSD is only touched once the whole tree has been listed, so a failed
  // listing leaves it as it was.
  if (dZSD.empty()) {
    dZSD = std::move(entries);
  } else {
    for (const auto& [key, item] : entries) dZSD.set(key, 1);
  }
}

void GetOpZSDFromFile(const std::string& cFile, std::string& cZSD) {
  InputFile file(winpath::toNative(cFile));
  std::string line;
  if (!readFirstLine(file, line, cFile)) raiseError(err::kInputPastEnd);
  cZSD = fromAnsi(line);
}

std::string JoinOpZSD(const KnowledgeSet& d) {
  size_t total = 0;
  for (const auto& [key, item] : d) total += key.size() + 1;
  std::string out;
  out.reserve(total);
  bool first = true;
  for (const auto& [key, item] : d) {
    if (!first) out += ',';
    out += key;
    first = false;
  }
  return out;
}

void SplitOpZSD(const std::string& s, KnowledgeSet& d) {
  const std::string_view text = s;
  size_t from = 0;
  while (from <= text.size()) {
    size_t at = text.find(',', from);
    if (at == std::string_view::npos) at = text.size();
    if (at > from) d.set(text.substr(from, at - from), 1);
    from = at + 1;
  }
}

double GetOpScore(const std::string& cZSD, const std::string& cSome) {
  if (cZSD.empty()) return -1;
  const std::vector<std::string> expected = split(replaceAll(cZSD, ";", ""), ",");
  const std::vector<std::string> some = split(replaceAll(cSome, ";", ""), ",");
  // Both highest indices are taken (16-bit) before either is looked at.
  if (expected.size() > kMaxListItems) raiseError(err::kOverflow);
  if (some.size() > kMaxListItems) raiseError(err::kOverflow);
  const auto e = static_cast<int32_t>(expected.size()) - 1;
  const auto s = static_cast<int32_t>(some.size()) - 1;
  if (e <= 0 || s <= 0) return -1;

  // An item of the examinee's list counts once when any expected item equals
  // it, compared upper-cased; only existence matters, so a set of the
  // upper-cased expected items gives the same count as trying them in order.
  std::unordered_set<std::string> wanted;
  wanted.reserve(expected.size());
  for (const std::string& item : expected) wanted.insert(ucase(item));
  int32_t count = 0;
  for (const std::string& item : some) {
    if (wanted.count(ucase(item)) != 0) ++count;
  }
  return static_cast<double>(count) / static_cast<double>(e + 1);
}

int32_t ArrayUpperBound(const Variant& v, std::optional<int32_t> dimension) {
  // Arrays are one-dimensional: any other dimension has no bound.
  if (dimension.value_or(1) != 1) return -1;
  size_t n = 0;
  if (v.is<VariantArray>()) {
    n = v.as<VariantArray>().size();
  } else if (v.is<ByteArray>()) {
    n = v.as<ByteArray>().size();
  } else {
    return -1;
  }
  if (n == 0) return -1;
  constexpr auto kMax = std::numeric_limits<int32_t>::max();
  if (n - 1 > static_cast<size_t>(kMax)) return kMax;
  return static_cast<int32_t>(n - 1);
}

}  // namespace bq
