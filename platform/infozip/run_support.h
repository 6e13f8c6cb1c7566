// Pieces shared by the zip and unzip runs of the libzip implementation:
// messages through a print routine, wildcard matching, and the rules that
// turn names into stored names and stored names into safe target paths.
//
// Thread safety: all functions are pure; a Printer belongs to one run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bq::infozip {

using PrintRoutine = int32_t (*)(const char* text, uint32_t length);

// Sends UTF-8 text to a print routine in the ANSI code page, zero-terminated.
// A null routine drops everything.
class Printer {
 public:
  explicit Printer(PrintRoutine routine) : routine_(routine) {}
  // One piece as it stands.
  void piece(std::string_view utf8) const;
  // A piece, then the line end as a piece of its own, as the libraries do.
  void line(std::string_view utf8) const;
  // Bytes as they stand (entry contents), in pieces of at most 32768 bytes.
  void raw(std::string_view bytes) const;

 private:
  PrintRoutine routine_;
};

// How much smaller `compressed` bytes are than `size`, in whole percent
// rounded half up, as zip and unzip show it; 0 when they are no smaller.
int percentSaved(uint64_t size, uint64_t compressed);

// Text from the interface (ANSI, zero-terminated; null reads as empty) as UTF-8.
std::string fromInterface(const char* ansi);

// True when `name` matches the wildcard `pattern`: * any run of characters
// (separators included), ? one character, [abc] [a-z] [!a] one of a set.
// Characters compare as they are, or without regard to case.
bool wildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase);

// True when `text` holds a wildcard character (* ? [).
bool hasWildcard(std::string_view text);

// The name a file given as `given` (a Windows or POSIX path as the caller
// wrote it) is stored under: "\" become "/", a drive ("C:") and leading
// separators are dropped, and so are empty, "." and ".." components; with
// `junkFolders` only the last component stays. Empty when nothing is left.
std::string storedName(std::string_view given, bool junkFolders);

// Where an entry named `stored` goes below the extraction folder: its
// components ("/" and "\" both separate), with a drive, leading separators,
// "." and ".." left out (`stripped` tells the caller to warn), spaces made
// "_" when `spaceToUnderscore`, and only the last component unless
// `keepFolders`. Empty when nothing is left (the entry is skipped).
struct TargetPath {
  std::vector<std::string> folders;  // below the extraction folder, outermost first
  std::string file;                  // empty for a folder entry
  bool strippedAbsolute = false;     // a drive or leading separator was dropped
  bool strippedParent = false;       // ".." components were dropped
  bool empty() const { return folders.empty() && file.empty(); }
};
TargetPath targetPath(std::string_view stored, bool keepFolders, bool spaceToUnderscore);

// The entry name of an archive as UTF-8: names that are valid UTF-8 (flagged
// or written by a UTF-8 system) as they are, others read in the ANSI code
// page (the Chinese Windows tools store GBK without a flag).
std::string decodeEntryName(std::string_view raw);

}  // namespace bq::infozip
