// The archive of an unzip run: found under the name it was given, opened
// through the zip layer's bounded opening, its directory read into entries,
// and checked for entries that share bytes. Its refusals are unzip's: the
// message through the run's print routine, the unzip_result code returned.
// Internal to platform/infozip.
//
// Thread safety: an archive belongs to one run.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/infozip/run_support.h"
#include "platform/zip/libzip_handle.h"

namespace bq::infozip {

struct UnzipEntry {
  uint64_t index = 0;
  std::string name;  // UTF-8, as stored
  uint64_t size = 0;
  uint64_t compressedSize = 0;
  time_t mtime = 0;
  uint32_t crc = 0;
  uint16_t method = 0;
  uint16_t encryption = 0;  // ZIP_EM_*
  bool encrypted = false;
  bool folder = false;
  bool symlink = false;
  uint32_t unixMode = 0;  // 0 when the entry carries no Unix mode
};

class UnzipArchive {
 public:
  // Opens the archive `zipText` names (UTF-8, a Windows or POSIX path): as
  // named, else with ".zip", else with ".ZIP". unzip_result::kOk, or the
  // result of the run after its message through `out`.
  int32_t open(const std::string& zipText, const Printer& out);

  // Every entry of the directory, in its order. REQUIRES: opened.
  const std::vector<UnzipEntry>& entries() const { return entries_; }
  // libzip's archive, for reading entries. REQUIRES: opened.
  zip_t* handle() const { return archive_.get(); }
  // The archive comment, as stored; empty when there is none.
  std::string_view comment() const;

  // Refuses an archive whose entries share bytes (the non-recursive bomb):
  // unzip_result::kOk, or the result after the messages through `out`.
  int32_t checkLayout(const Printer& out) const;

 private:
  int32_t tooManyEntries(uint64_t claimed, const Printer& out) const;
  int32_t openFailed(int error, const Printer& out) const;
  bool readEntryHeader(uint64_t index);

  std::string zipText_;
  std::filesystem::path path_;
  zip::ArchiveHandle archive_;
  std::vector<UnzipEntry> entries_;
};

}  // namespace bq::infozip
