// A zip archive opened read-only with libzip, with the bounds of limits.h
// checked before anything is decompressed. Stored and deflated entries, which
// is what every Office producer writes, are taken raw from libzip and
// inflated and checked with libdeflate, whose whole-buffer inflate and CRC-32
// are several times faster than zlib's streaming ones; the entry's declared
// size is known and bounded, so one buffer of that size is all it needs.
// Other methods go through libzip's own streams.
//
// Opening reads the central directory only (a file of up to 16 MiB is read
// into memory at once, and its entries read from there; a plain directory
// in memory is read without libzip, see readPlainDirectory). It fails
// (Failure::raise) when the archive is damaged, holds more than
// limits::kMaxParts entries (a Zip64 directory claiming more is refused
// before libzip allocates for it), when the declared sizes of all entries
// add up to more than
// limits::kMaxTotalUncompressedBytes, or when an entry above
// limits::kRatioCheckedAbove declares more than limits::kMaxCompressionRatio
// times its compressed size. Reading an entry decompresses at most its
// declared size plus one byte and fails unless exactly the declared size
// arrives with a matching CRC, so a directory that lies about sizes cannot
// make a read take more memory than the open-time checks allowed.
//
// Thread safety: an archive belongs to one thread at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/office/shared/failure.h"
#include "platform/office/unique_fd.h"

struct zip;
struct libdeflate_decompressor;

namespace bq::office {

struct ZipEntry {
  std::string name;  // as stored (UTF-8; libzip converts CP437 names)
  uint64_t index = 0;
  uint64_t size = 0;            // declared uncompressed size
  uint64_t compressedSize = 0;  // declared compressed size
  uint16_t method = 0;          // compression method (0 stored, 8 deflated, ...)
  uint32_t crc = 0;             // declared CRC-32
  bool plain = false;           // not encrypted, method and CRC known
};

class ZipArchive {
 public:
  // The archive in the regular file `fd` of `size` bytes; takes `fd` over.
  static ZipArchive fromFile(UniqueFd fd, uint64_t size, const Failure& failure);
  // Who reads the central directory of an archive in memory: this class when
  // the directory is plain (readPlainDirectory), else libzip; or libzip
  // always, the peer the plain reading is checked against.
  enum class DirectoryReader { kPlainWhenPossible, kLibzip };

  // The archive in `bytes`, which it keeps.
  static ZipArchive fromBytes(std::string bytes, const Failure& failure,
                              DirectoryReader reader = DirectoryReader::kPlainWhenPossible);

  ZipArchive(ZipArchive&&) noexcept;
  ZipArchive& operator=(ZipArchive&&) noexcept;
  ~ZipArchive();

  // Every entry of the central directory, in its order (directories too).
  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The content of `entry`, verified against its declared size and CRC.
  std::string read(const ZipEntry& entry, const Failure& failure) const;

 private:
  ZipArchive() = default;
  // Fails unless `count` entries are allowed.
  void checkCount(uint64_t count, const Failure& failure) const;
  // Appends `entry`, failing when it breaks a bound; `total` is the sum of
  // the declared sizes so far.
  void add(ZipEntry entry, uint64_t& total, const Failure& failure);
  // The entries, from libzip.
  void load(const Failure& failure);
  // An entry of a directory read without libzip (readPlainDirectory).
  std::string readPlain(const ZipEntry& entry, const Failure& failure) const;
  std::string inflate(const ZipEntry& entry, std::string_view raw, const Failure& failure) const;
  static void checkCrc(const ZipEntry& entry, std::string_view data, const Failure& failure);

  struct Closer {
    void operator()(zip* za) const;
  };
  struct InflaterFree {
    void operator()(libdeflate_decompressor* d) const;
  };
  std::unique_ptr<std::string> bytes_;  // fromBytes: the archive, read by libzip or readPlain
  std::unique_ptr<zip, Closer> zip_;    // null when the directory was read without libzip
  std::vector<ZipEntry> entries_;
  std::vector<uint64_t> localHeaders_;  // by entry index, when zip_ is null
  // Made on the first deflated entry and kept for the others: making one
  // costs as much as inflating a small part.
  mutable std::unique_ptr<libdeflate_decompressor, InflaterFree> inflater_;
};

// An entry of a central directory read without libzip, and where its local
// header lies.
struct PlainZipEntry {
  ZipEntry entry;
  uint64_t localHeader = 0;
};

// The central directory of the archive `data`, read here when it is plain:
// one end record (no other "PK\5\6" in the last bytes where libzip looks
// for one), no comment, no Zip64 record or field, one disk, the directory
// right before the end record and filled exactly by its records, and every
// entry unencrypted, stored or deflated, with a name of printable ASCII, no
// comment, and well-formed extra fields without a Zip64 or Unicode name
// field. That is what Office programs and LibreOffice write, and libzip
// opens such an archive with exactly these entries, names and sizes.
// Anything else gives nullopt, and libzip reads the directory: its choice
// among end records, its name conversions and its refusals stay its own.
// Reading it here spares libzip's conversion of each entry's time (a
// mktime, which stats the time-zone file, per entry). Exposed for tests.
std::optional<std::vector<PlainZipEntry>> readPlainDirectory(std::string_view data);

// The number of entries that a Zip64 end-of-central-directory record in the
// last bytes `tail` of a file of `fileSize` bytes claims, read through
// `readAt(offset, length)` (which returns fewer bytes at the end of the
// file); 0 when there is no well-formed Zip64 record. Exposed for tests.
template <typename ReadAt>
uint64_t zip64ClaimedEntries(std::string_view tail, uint64_t fileSize, ReadAt&& readAt);

// ---------------------------------------------------------------------------

namespace detail {
inline uint64_t readLe(std::string_view s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
}  // namespace detail

template <typename ReadAt>
uint64_t zip64ClaimedEntries(std::string_view tail, uint64_t fileSize, ReadAt&& readAt) {
  // End of central directory: "PK\5\6", 22 bytes plus a comment of up to
  // 65535; the Zip64 locator ("PK\6\7", 20 bytes) sits right before it and
  // points at the Zip64 record ("PK\6\6"), whose entry counts are 64-bit.
  constexpr size_t kEocd = 22, kLocator = 20, kRecord = 56;
  uint64_t claimed = 0;
  if (tail.size() < kEocd + kLocator) return 0;
  for (size_t p = tail.size() - kEocd + 1; p > kLocator;) {
    // Most bytes are no 'P': memrchr passes over them.
    const void* hit = ::memrchr(tail.data() + kLocator, 'P', p - kLocator);
    if (!hit) break;
    p = static_cast<size_t>(static_cast<const char*>(hit) - tail.data());
    if (tail.compare(p, 4, "PK\5\6") != 0) continue;
    size_t loc = p - kLocator;
    if (tail.compare(loc, 4, "PK\6\7") != 0) continue;
    uint64_t at = detail::readLe(tail, loc + 8, 8);
    if (at > fileSize || fileSize - at < kRecord) continue;
    std::string record = readAt(at, kRecord);
    if (record.size() < kRecord || record.compare(0, 4, "PK\6\6") != 0) continue;
    uint64_t onDisk = detail::readLe(record, 24, 8), total = detail::readLe(record, 32, 8);
    claimed = std::max({claimed, onDisk, total});
  }
  return claimed;
}

}  // namespace bq::office
