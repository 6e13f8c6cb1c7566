// Where the bytes of one extracted entry go, and the line ends of text
// entries made CR LF. Internal to platform/infozip.
//
// Thread safety: an output and a line-end converter belong to one entry of
// one run.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "common/files.h"

namespace bq::infozip {

// Text entries for line-end conversion: no control characters but tab, line
// ends, form feed and the old end-of-file mark.
bool looksLikeText(std::span<const uint8_t> bytes);

// Line ends of a text entry made CR LF, across the pieces of one entry.
class LineEnds {
 public:
  // `in` converted into `out` (cleared first).
  void convert(std::span<const uint8_t> in, std::vector<uint8_t>& out);
  // What the entry's last piece left pending, into `out`; false when nothing.
  bool finish(std::vector<uint8_t>& out);

 private:
  bool pendingCr_ = false;
};

// Where one entry's bytes go. A file that exists is replaced as a whole or
// not at all (written beside it and renamed into place); a new one is
// created under its name, never through a link, and removed again when the
// entry fails. Either way a failed entry leaves no partial file. Every
// failure is an AutomationError (err::kDiskFull when the disk is full).
class EntryOutput {
 public:
  EntryOutput(const std::filesystem::path& target, bool exists);
  ~EntryOutput();
  EntryOutput(const EntryOutput&) = delete;
  EntryOutput& operator=(const EntryOutput&) = delete;

  void write(std::span<const uint8_t> bytes);

  // Puts the file in place with the entry's time.
  void commit(time_t mtime);

 private:
  std::filesystem::path path_;
  std::optional<AtomicOutput> atomic_;
  int fd_ = -1;
};

}  // namespace bq::infozip
