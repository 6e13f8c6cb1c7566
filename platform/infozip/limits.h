// Bounds that a hostile or damaged archive cannot make an extraction exceed.
// They are checked before anything is written: a run that would exceed one
// is refused whole (unzip_result::kBomb, or kDiskFull for the free space),
// with a message through the print routine that names the bound.
#pragma once

#include <cstdint>

namespace bq::infozip::limits {

// Entries of an archive, counted before the directory is loaded (a Zip64
// directory can claim billions, and the directory reader allocates for what
// it claims).
inline constexpr uint64_t kMaxEntries = 200'000;

// Sum of the declared sizes of the entries one run writes.
inline constexpr uint64_t kMaxTotalBytes = 8ull << 30;

// No bound on how much one entry expands: deflate reaches about 1032:1 on a
// run of one byte, and real files come near it (logs, text of repeated
// words, the XML of spreadsheets). What makes a small archive huge is
// entries that share their bytes, which is refused whatever the sizes
// (central_directory.h), and every entry is stopped at its declared size.

// Free space left on the target's file system after the declared sizes.
inline constexpr uint64_t kFreeSpaceReserve = 1ull << 20;

}  // namespace bq::infozip::limits
