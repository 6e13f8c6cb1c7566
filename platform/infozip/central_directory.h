// Where the entries of a zip archive lie in its file, read from its central
// directory, for the check that no two entries share bytes.
//
// The non-recursive zip bomb points many directory records at one deflate
// stream (full overlap) or makes each entry's stored blocks quote the next
// entry's local header (quoted overlap): a few kilobytes then extract to
// gigabytes, each entry within its declared size. No archive that zip
// writes has entries that overlap. libzip does not say where an entry lies,
// so the directory is read here too, and only used when it agrees with
// libzip's: the same number of records, each with the same raw name and
// compressed size.
//
// Internal to platform/infozip. Thread safety: pure functions over the
// archive's bytes (a file read with pread).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/zip/archive_bytes.h"

namespace bq::infozip {

struct CentralRecord {
  std::string rawName;  // as stored
  uint64_t compressedSize = 0;
  uint64_t localOffset = 0;  // of the entry's local header
};

// The records of a central directory of the archive `bytes`. Every end-of-central-directory record
// in the file's last 64 KiB (with its Zip64 record, when it has one) names a directory; they are
// read from the last one back, and the first whose records `accept` takes is the answer. A
// directory with more than `maxRecords` records, or records cut short, is passed over. Nothing when
// no directory is accepted.
std::optional<std::vector<CentralRecord>> readCentralDirectory(
    const zip::ArchiveBytes& bytes, uint64_t maxRecords,
    const std::function<bool(const std::vector<CentralRecord>&)>& accept);

// Two records (their indices, in directory order) whose bytes overlap in the
// file: each record's bytes run from its local header through the end of its
// compressed data (whose start the local header's name and extra field
// lengths give). Nothing when no two overlap.
std::optional<std::pair<size_t, size_t>> overlappingRecords(
    const zip::ArchiveBytes& bytes, const std::vector<CentralRecord>& records);

}  // namespace bq::infozip
