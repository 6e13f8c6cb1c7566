#include "platform/zip/zip_archive.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "common/files.h"
#include "platform/zip/archive_bytes.h"

namespace bq::zip {
namespace {

// Files up to this size are held in memory while open.
constexpr uint64_t kReadAtOnce = 16ull << 20;

[[noreturn]] void raiseDamaged(const Failure& failure, std::string_view cause) {
  failure.raise("not a readable zip archive (" + std::string(cause) + ")");
}

// Everything `file` yields, up to `cap` bytes. Past the first few megabytes,
// which are taken at once, the buffer grows with what arrives, not with what
// the directory record claims.
std::string readUpTo(zip_file_t* file, uint64_t cap, const ZipEntry& entry,
                     const Failure& failure) {
  constexpr uint64_t kStep = 1 << 20;
  constexpr uint64_t kTakenAtOnce = 8 * kStep;
  std::string out;
  out.reserve(static_cast<size_t>(std::min(cap, kTakenAtOnce)));
  while (out.size() < cap) {
    const size_t old = out.size();
    const uint64_t want = std::min(cap - old, kStep);
    out.resize(old + want);
    zip_int64_t n = zip_fread(file, out.data() + old, want);
    if (n < 0)
      failure.raise("the entry \"" + entry.name + "\" is damaged (" + zip_file_strerror(file) +
                    ")");
    out.resize(old + static_cast<size_t>(n));
    if (n == 0) break;
  }
  return out;
}

// Fails unless `got` bytes are what `entry` declares.
void requireDeclaredSize(const ZipEntry& entry, uint64_t got, const Failure& failure) {
  if (got == entry.size) return;
  failure.raise("the entry \"" + entry.name + "\" is damaged (declared " +
                std::to_string(entry.size) + " bytes, " +
                (got > entry.size ? "holds more" : "holds " + std::to_string(got)) + ")");
}

}  // namespace

std::optional<std::vector<PlainZipEntry>> readPlainDirectory(std::string_view data) {
  constexpr size_t kEocd = 22, kCentral = 46, kLocator = 20;
  if (data.size() < kEocd) return std::nullopt;
  const size_t tailStart = data.size() - std::min<size_t>(data.size(), kTailBytes);
  size_t eocd = std::string_view::npos;
  for (size_t p = data.find("PK\5\6", tailStart); p != std::string_view::npos;
       p = data.find("PK\5\6", p + 1)) {
    if (eocd != std::string_view::npos) return std::nullopt;  // more than one
    eocd = p;
  }
  if (eocd == std::string_view::npos || data.size() - eocd != kEocd ||
      readLe(data, eocd + 20, 2) != 0)
    return std::nullopt;
  if (eocd >= kLocator && data.compare(eocd - kLocator, 4, "PK\6\7") == 0) return std::nullopt;
  const uint64_t disk = readLe(data, eocd + 4, 2), cdDisk = readLe(data, eocd + 6, 2);
  const uint64_t onDisk = readLe(data, eocd + 8, 2), count = readLe(data, eocd + 10, 2);
  const uint64_t cdSize = readLe(data, eocd + 12, 4), cdAt = readLe(data, eocd + 16, 4);
  if (disk != 0 || cdDisk != 0 || onDisk != count || count == 0xFFFF) return std::nullopt;
  if (cdSize == 0xFFFFFFFF || cdAt == 0xFFFFFFFF || cdAt > eocd || eocd - cdAt != cdSize)
    return std::nullopt;

  std::vector<PlainZipEntry> entries;
  // No more records than fill the directory, whatever the count says.
  entries.reserve(static_cast<size_t>(std::min<uint64_t>(count, cdSize / kCentral)));
  size_t at = static_cast<size_t>(cdAt);
  for (uint64_t i = 0; i < count; ++i) {
    if (eocd - at < kCentral || data.compare(at, 4, "PK\1\2") != 0) return std::nullopt;
    const uint64_t flags = readLe(data, at + 8, 2), method = readLe(data, at + 10, 2);
    const uint64_t crc = readLe(data, at + 16, 4), compressed = readLe(data, at + 20, 4);
    const uint64_t size = readLe(data, at + 24, 4);
    const size_t nameLength = readLe(data, at + 28, 2), extraLength = readLe(data, at + 30, 2);
    const size_t commentLength = readLe(data, at + 32, 2);
    const uint64_t startDisk = readLe(data, at + 34, 2), local = readLe(data, at + 42, 4);
    if ((flags & 1) != 0 || (method != ZIP_CM_STORE && method != ZIP_CM_DEFLATE) ||
        compressed == 0xFFFFFFFF || size == 0xFFFFFFFF || local == 0xFFFFFFFF || startDisk != 0 ||
        commentLength != 0 || eocd - at - kCentral < nameLength + extraLength)
      return std::nullopt;
    const std::string_view name = data.substr(at + kCentral, nameLength);
    for (const char c : name)
      if (c < 0x20 || c > 0x7E) return std::nullopt;
    std::string_view extra = data.substr(at + kCentral + nameLength, extraLength);
    while (!extra.empty()) {
      if (extra.size() < 4) return std::nullopt;
      const uint64_t id = readLe(extra, 0, 2), length = readLe(extra, 2, 2);
      if (id == 0x0001 || id == 0x7075 || extra.size() - 4 < length) return std::nullopt;
      extra.remove_prefix(4 + length);
    }
    PlainZipEntry& e = entries.emplace_back();
    e.entry = {std::string(name),          i,   size, compressed, static_cast<uint16_t>(method),
               static_cast<uint32_t>(crc), true};
    e.localHeader = local;
    at += kCentral + nameLength + extraLength;
  }
  if (at != eocd) return std::nullopt;
  return entries;
}

AutomationError Failure::make(std::string_view reason) const {
  std::string description = subject;
  description += ": ";
  description += reason;
  return AutomationError(number, source, std::move(description));
}

void Failure::raise(std::string_view reason) const { throw make(reason); }

void ZipArchive::InflaterFree::operator()(libdeflate_decompressor* d) const {
  libdeflate_free_decompressor(d);
}

ZipArchive::ZipArchive(ZipArchive&&) noexcept = default;
ZipArchive& ZipArchive::operator=(ZipArchive&&) noexcept = default;
ZipArchive::~ZipArchive() = default;

ZipArchive ZipArchive::fromFile(UniqueFd fd, uint64_t size, const Bounds& bounds,
                                const Failure& failure) {
  // A file of an answer's size is read at once and its parts taken from
  // memory: reading each part from the file costs libzip a seek and a read
  // or two, several hundred system calls for a presentation.
  if (size <= kReadAtOnce) return fromBytes(readAt(fd.get(), 0, size), bounds, failure);
  ZipArchive archive(bounds);
  archive.take(openArchive(std::move(fd), size, bounds.maxEntries), failure);
  return archive;
}

ZipArchive ZipArchive::fromBytes(std::string bytes, const Bounds& bounds, const Failure& failure,
                                 DirectoryReader reader) {
  ZipArchive archive(bounds);
  archive.bytes_ = std::make_unique<std::string>(std::move(bytes));
  const std::string& data = *archive.bytes_;
  // A plain directory has one end record and no Zip64 locator before it,
  // so it claims no Zip64 count: the check of that claim is libzip's way's.
  std::optional<std::vector<PlainZipEntry>> plain;
  if (reader == DirectoryReader::kPlainWhenPossible) plain = readPlainDirectory(data);
  if (!plain) {
    archive.take(openArchive(data, bounds.maxEntries), failure);
    return archive;
  }
  archive.checkCount(plain->size(), failure);
  uint64_t total = 0;
  archive.localHeaders_.reserve(plain->size());
  for (PlainZipEntry& e : *plain) {
    archive.add(std::move(e.entry), total, failure);
    archive.localHeaders_.push_back(e.localHeader);
  }
  return archive;
}

void ZipArchive::take(Opening opening, const Failure& failure) {
  switch (opening.fault) {
    case Opening::Fault::kNone:
      break;
    case Opening::Fault::kClaimsTooMany:
      failure.raise("the zip directory claims " + std::to_string(opening.entries) +
                    " entries, more than the " + std::to_string(bounds_.maxEntries) + " allowed");
    case Opening::Fault::kUnreadable:
      failure.raise("the file cannot be read (" + opening.why + ")");
    case Opening::Fault::kRefused:
      raiseDamaged(failure, opening.why);
    case Opening::Fault::kNoCount:
      raiseDamaged(failure, "no entry count");
    case Opening::Fault::kTooMany:
      checkCount(opening.entries, failure);
      break;
  }
  zip_ = std::move(opening.archive);
  load(failure);
}

void ZipArchive::checkCount(uint64_t count, const Failure& failure) const {
  if (count > bounds_.maxEntries)
    failure.raise("the zip archive holds " + std::to_string(count) + " entries, more than the " +
                  std::to_string(bounds_.maxEntries) + " allowed");
}

void ZipArchive::add(ZipEntry entry, uint64_t& total, const Failure& failure) {
  if (entry.size > bounds_.maxTotalBytes - total)
    failure.raise("the parts expand to more than " + std::to_string(bounds_.maxTotalBytes) +
                  " bytes");
  total += entry.size;
  if (entry.size > bounds_.ratioCheckedAbove &&
      entry.compressedSize < entry.size / bounds_.maxRatio)
    failure.raise("the entry \"" + entry.name + "\" expands " +
                  (entry.compressedSize ? std::to_string(entry.size / entry.compressedSize)
                                        : std::string("infinitely")) +
                  " times, more than the " + std::to_string(bounds_.maxRatio) + " allowed");
  entries_.push_back(std::move(entry));
}

void ZipArchive::load(const Failure& failure) {
  // The count is checked (openArchive).
  const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
  entries_.reserve(static_cast<size_t>(count));
  uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    const zip_uint64_t index = static_cast<zip_uint64_t>(i);
    if (zip_stat_index(zip_.get(), index, 0, &st) != 0)
      raiseDamaged(failure, zip_strerror(zip_.get()));
    constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE;
    if ((st.valid & kNeeded) != kNeeded || !st.name)
      raiseDamaged(failure, "entry " + std::to_string(i) + " has no name or size");
    ZipEntry entry{st.name, index, st.size, st.comp_size};
    constexpr zip_uint64_t kPlain =
        ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
    if ((st.valid & kPlain) == kPlain && st.encryption_method == ZIP_EM_NONE) {
      entry.method = st.comp_method;
      entry.crc = st.crc;
      entry.plain = true;
    }
    add(std::move(entry), total, failure);
  }
}

std::string ZipArchive::read(const ZipEntry& entry, const Failure& failure) const {
  if (!zip_) return readPlain(entry, failure);
  const bool fast = entry.plain && (entry.method == ZIP_CM_STORE || entry.method == ZIP_CM_DEFLATE);
  EntryHandle file(zip_fopen_index(zip_.get(), entry.index, fast ? ZIP_FL_COMPRESSED : 0));
  if (!file)
    failure.raise("the entry \"" + entry.name + "\" cannot be read (" + zip_strerror(zip_.get()) +
                  ")");
  if (!fast) {
    // Up to one byte more than declared, so that an entry longer than its
    // directory record says is caught without reading all of it.
    std::string out = readUpTo(file.get(), entry.size + 1, entry, failure);
    requireDeclaredSize(entry, out.size(), failure);
    return out;
  }

  // The raw data: libzip stops at the declared compressed size, so what
  // arrives is real bytes of the file, and the size check made at opening
  // (declared size against compressed size) holds for them.
  std::string raw = readUpTo(file.get(), entry.compressedSize, entry, failure);
  if (raw.size() != entry.compressedSize)
    failure.raise("the entry \"" + entry.name + "\" is damaged (its data ends after " +
                  std::to_string(raw.size()) + " of " + std::to_string(entry.compressedSize) +
                  " bytes)");
  if (entry.method == ZIP_CM_STORE) {
    requireDeclaredSize(entry, raw.size(), failure);
    checkCrc(entry, raw, failure);
    return raw;
  }
  return inflate(entry, raw, failure);
}

std::string ZipArchive::readPlain(const ZipEntry& entry, const Failure& failure) const {
  // As libzip finds the data: past the local header, whose name and extra
  // lengths count (its signature and other fields are not looked at). An
  // entry without data is empty to libzip, which then does not look for its
  // local header at all: neither does this.
  const std::string_view data = *bytes_;
  std::string_view raw;
  if (entry.compressedSize > 0) {
    const uint64_t local = localHeaders_[entry.index];
    if (local > data.size() || data.size() - local < 30)
      failure.raise("the entry \"" + entry.name + "\" cannot be read (its local header lies " +
                    "outside the archive)");
    const uint64_t start = local + 30 + readLe(data, local + 26, 2) + readLe(data, local + 28, 2);
    const uint64_t available = start > data.size() ? 0 : data.size() - start;
    if (available < entry.compressedSize)
      failure.raise("the entry \"" + entry.name + "\" is damaged (its data ends after " +
                    std::to_string(available) + " of " + std::to_string(entry.compressedSize) +
                    " bytes)");
    raw = data.substr(start, entry.compressedSize);
  }
  if (entry.method == ZIP_CM_STORE) {
    requireDeclaredSize(entry, raw.size(), failure);
    checkCrc(entry, raw, failure);
    return std::string(raw);
  }
  return inflate(entry, raw, failure);
}

std::string ZipArchive::inflate(const ZipEntry& entry, std::string_view raw,
                                const Failure& failure) const {
  // One byte more than declared, so that a stream longer than its record
  // says is told apart from one that fills the buffer exactly.
  std::string out;
  out.resize(static_cast<size_t>(entry.size) + 1);
  if (!inflater_) inflater_.reset(libdeflate_alloc_decompressor());
  if (!inflater_) failure.raise("out of memory inflating the entry \"" + entry.name + "\"");
  size_t produced = 0;
  const libdeflate_result result = libdeflate_deflate_decompress(
      inflater_.get(), raw.data(), raw.size(), out.data(), out.size(), &produced);
  if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
    produced = out.size();  // more than declared
  else if (result != LIBDEFLATE_SUCCESS)
    failure.raise("the entry \"" + entry.name + "\" is damaged (invalid compressed data)");
  requireDeclaredSize(entry, produced, failure);
  out.resize(produced);
  checkCrc(entry, out, failure);
  return out;
}

void ZipArchive::checkCrc(const ZipEntry& entry, std::string_view data, const Failure& failure) {
  if (libdeflate_crc32(0, data.data(), data.size()) != entry.crc)
    failure.raise("the entry \"" + entry.name + "\" is damaged (CRC error)");
}

}  // namespace bq::zip
