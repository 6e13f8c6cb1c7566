// A zip archive opened read-only with libzip, with the caller's bounds
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
// Bounds::maxEntries entries (a Zip64 directory claiming more is refused
// before libzip allocates for it), when the declared sizes of all entries
// add up to more than Bounds::maxTotalBytes, or when an entry above
// Bounds::ratioCheckedAbove declares more than Bounds::maxRatio times its
// compressed size. Reading an entry decompresses at most its declared size
// plus one byte and fails unless exactly the declared size arrives with a
// matching CRC, so a directory that lies about sizes cannot make a read take
// more memory than the open-time checks allowed.
//
// Thread safety: an archive belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "platform/zip/libzip_handle.h"
#include "platform/zip/unique_fd.h"

struct libdeflate_decompressor;

namespace bq::zip {

// How a caller has the archive's faults reported: one AutomationError whose
// number and source it chose and whose description names the archive (as
// the caller named it) and the cause.
struct Failure {
  int32_t number = 0;
  std::string source;
  std::string subject;

  // AutomationError(number, source, subject + ": " + reason).
  AutomationError make(std::string_view reason) const;
  // Throws make(reason).
  [[noreturn]] void raise(std::string_view reason) const;
};

// What an archive may hold, checked at opening (see above).
struct Bounds {
  uint64_t maxEntries = 0;
  uint64_t maxTotalBytes = 0;      // the sum of the declared sizes
  uint64_t maxRatio = 0;           // declared size to compressed size ...
  uint64_t ratioCheckedAbove = 0;  // ... of an entry above this declared size
};

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
  static ZipArchive fromFile(UniqueFd fd, uint64_t size, const Bounds& bounds,
                             const Failure& failure);
  // Who reads the central directory of an archive in memory: this class when
  // the directory is plain (readPlainDirectory), else libzip; or libzip
  // always, the peer the plain reading is checked against.
  enum class DirectoryReader { kPlainWhenPossible, kLibzip };

  // The archive in `bytes`, which it keeps.
  static ZipArchive fromBytes(std::string bytes, const Bounds& bounds, const Failure& failure,
                              DirectoryReader reader = DirectoryReader::kPlainWhenPossible);

  ZipArchive(ZipArchive&&) noexcept;
  ZipArchive& operator=(ZipArchive&&) noexcept;
  ~ZipArchive();

  // Every entry of the central directory, in its order (directories too).
  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The content of `entry`, verified against its declared size and CRC.
  std::string read(const ZipEntry& entry, const Failure& failure) const;

 private:
  explicit ZipArchive(const Bounds& bounds) : bounds_(bounds) {}
  // The archive libzip opened, or the refusal raised.
  void take(Opening opening, const Failure& failure);
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

  struct InflaterFree {
    void operator()(libdeflate_decompressor* d) const;
  };
  Bounds bounds_;
  std::unique_ptr<std::string> bytes_;  // fromBytes: the archive, read by libzip or readPlain
  ArchiveHandle zip_;                   // null when the directory was read without libzip
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

}  // namespace bq::zip
