// The bytes of a zip archive, read at any offset, and what its last bytes
// claim before any directory reader is trusted with them.
//
// ArchiveBytes reads an open file (pread: the file position is left alone)
// or bytes in memory the same way. zip64ClaimedEntries reads the Zip64 end
// record, whose entry counts are 64-bit: a directory reader allocates for
// what the directory claims, so a claim past a bound is refused before one
// is asked.
//
// Thread safety: ArchiveBytes holds no state of its own beyond what it
// reads; reading a file from several threads is as safe as pread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace bq::zip {

// The end-of-central-directory record (22 bytes), its longest comment and
// the Zip64 locator before it: the last bytes of an archive in which its
// directory is looked for.
inline constexpr uint64_t kTailBytes = 22 + 65535 + 20;

// `bytes` bytes little-endian at `at` of `s`. REQUIRES: they lie in `s`.
inline uint64_t readLe(std::string_view s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

class ArchiveBytes {
 public:
  // The regular file `fd` of `size` bytes; `fd` stays the caller's and must
  // stay open while this is used.
  static ArchiveBytes file(int fd, uint64_t size) { return ArchiveBytes(fd, {}, size); }
  // `bytes`, which must outlive this.
  static ArchiveBytes memory(std::string_view bytes) {
    return ArchiveBytes(-1, bytes, bytes.size());
  }

  uint64_t size() const { return size_; }

  // Up to `length` bytes from `offset`: fewer at the end, none from past it
  // (and fewer on a read error of the file).
  std::string readAt(uint64_t offset, uint64_t length) const;
  // The same bytes, seen where they lie in memory, or read from the file
  // into `buffer` and seen there.
  std::string_view view(uint64_t offset, uint64_t length, std::string& buffer) const;

 private:
  ArchiveBytes(int fd, std::string_view memory, uint64_t size)
      : fd_(fd), memory_(memory), size_(size) {}
  int fd_;
  std::string_view memory_;
  uint64_t size_;
};

// The number of entries that a Zip64 end-of-central-directory record in the
// last bytes of `bytes` claims (the largest, when several end records are
// there); 0 when there is no well-formed Zip64 record.
uint64_t zip64ClaimedEntries(const ArchiveBytes& bytes);

// The same for the last bytes `tail` of a file of `fileSize` bytes, read
// through `readAt(offset, length)` (which returns fewer bytes at the end of
// the file). Exposed for tests.
template <typename ReadAt>
uint64_t zip64ClaimedEntries(std::string_view tail, uint64_t fileSize, ReadAt&& readAt);

// ---------------------------------------------------------------------------

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
    uint64_t at = readLe(tail, loc + 8, 8);
    if (at > fileSize || fileSize - at < kRecord) continue;
    std::string record = readAt(at, kRecord);
    if (record.size() < kRecord || record.compare(0, 4, "PK\6\6") != 0) continue;
    uint64_t onDisk = readLe(record, 24, 8), total = readLe(record, 32, 8);
    claimed = std::max({claimed, onDisk, total});
  }
  return claimed;
}

}  // namespace bq::zip
