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

// An entry larger than kRatioCheckedAbove may expand at most this many times
// its compressed size. Deflate reaches about 1032:1 on a run of one byte;
// real files (text, Office documents, databases) stay well below 100:1.
inline constexpr uint64_t kMaxCompressionRatio = 250;
inline constexpr uint64_t kRatioCheckedAbove = 1ull << 20;

// Free space left on the target's file system after the declared sizes.
inline constexpr uint64_t kFreeSpaceReserve = 1ull << 20;

}  // namespace bq::infozip::limits
