// libzip's handles, each with its one owner, and the one way an archive is
// opened with libzip for reading.
//
// Opening checks the bounds a hostile directory could make libzip exceed:
// a Zip64 directory claiming more than `maxEntries` entries is refused
// before libzip reads it (libzip allocates for what it claims), and an
// archive holding more after it. How opening ended is told, not raised:
// each caller words its own refusals.
//
// Thread safety: a handle belongs to one thread at a time; the functions
// keep no state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/zip/unique_fd.h"

// libzip's own names (zip.h), declared here so that callers of this layer
// do not see libzip's header.
struct zip;
typedef struct zip zip_t;
struct zip_file;
typedef struct zip_file zip_file_t;

namespace bq::zip {

// Ends an archive opened for reading, or one whose changes are dropped
// (zip_discard): nothing is written.
struct ArchiveDiscard {
  void operator()(zip_t* archive) const;
};
// Closes an entry opened for reading (zip_fclose).
struct EntryClose {
  void operator()(zip_file_t* entry) const;
};
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveDiscard>;
using EntryHandle = std::unique_ptr<zip_file_t, EntryClose>;

// How opening an archive ended.
struct Opening {
  enum class Fault {
    kNone,           // `archive` is open
    kClaimsTooMany,  // a Zip64 directory claims `entries` entries, more than allowed
    kUnreadable,     // the file cannot be read (`why`: the system's text)
    kRefused,        // libzip refuses it (`libzipError`: ZIP_ER_*, `why`: libzip's text)
    kNoCount,        // libzip gives no entry count
    kTooMany,        // it holds `entries` entries, more than allowed
  };
  Fault fault = Fault::kNone;
  ArchiveHandle archive;
  uint64_t entries = 0;
  int libzipError = 0;
  std::string why;
};

// The archive in the regular file `fd` of `size` bytes, read-only, with at
// most `maxEntries` entries. `fd` is taken over: an open archive keeps it
// (and closes it when it ends), a refusal closes it.
Opening openArchive(UniqueFd fd, uint64_t size, uint64_t maxEntries);

// The archive in `bytes`, read-only, with at most `maxEntries` entries.
// libzip reads the bytes where they lie: they must outlive the archive.
Opening openArchive(std::string_view bytes, uint64_t maxEntries);

// libzip's text for its error ZIP_ER_* `code`, without a system error.
std::string libzipErrorText(int code);

}  // namespace bq::zip
