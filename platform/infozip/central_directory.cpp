#include "platform/infozip/central_directory.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "platform/zip/archive_bytes.h"

namespace bq::infozip {
namespace {

constexpr size_t kEndRecord = 22;        // "PK\5\6" ... comment length
constexpr size_t kZip64Locator = 20;     // "PK\6\7", right before the end record
constexpr size_t kZip64EndRecord = 56;   // "PK\6\6" ...
constexpr size_t kCentralHeader = 46;    // "PK\1\2" ... up to the name
constexpr size_t kLocalHeader = 30;      // "PK\3\4" ... up to the name
constexpr uint64_t kMaxComment = 65535;  // the end record's comment

using zip::ArchiveBytes;
using zip::readLe;

// Bytes [at, at + length) of the file within [begin, end), read a window at
// a time.
class Window {
 public:
  Window(const ArchiveBytes& bytes, uint64_t begin, uint64_t end)
      : bytes_(bytes), end_(end), at_(begin) {}

  // False when the range runs past the end.
  bool get(uint64_t at, uint64_t length, std::string_view& out) {
    if (at > end_ || end_ - at < length) return false;
    if (at < at_ || at + length > at_ + buffer_.size()) {
      at_ = at;
      buffer_ = bytes_.readAt(at, std::min(end_ - at, std::max<uint64_t>(length, kWindow)));
      if (buffer_.size() < length) return false;
    }
    out = std::string_view(buffer_).substr(at - at_, length);
    return true;
  }

 private:
  static constexpr uint64_t kWindow = 64 * 1024;
  const ArchiveBytes& bytes_;
  uint64_t end_;
  uint64_t at_;
  std::string buffer_;
};

struct Directory {
  uint64_t records = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The directory an end record at `at` names, with the values of its Zip64
// record where one is present.
Directory directoryOf(const ArchiveBytes& bytes, std::string_view end, uint64_t at) {
  Directory d{readLe(end, 10, 2), readLe(end, 16, 4), readLe(end, 12, 4)};
  if (at < kZip64Locator) return d;
  const std::string locator = bytes.readAt(at - kZip64Locator, kZip64Locator);
  if (locator.size() < kZip64Locator || locator.compare(0, 4, "PK\6\7") != 0) return d;
  const std::string record = bytes.readAt(readLe(locator, 8, 8), kZip64EndRecord);
  if (record.size() < kZip64EndRecord || record.compare(0, 4, "PK\6\6") != 0) return d;
  return {readLe(record, 32, 8), readLe(record, 48, 8), readLe(record, 40, 8)};
}

// The sizes and offset that a Zip64 extra field holds in place of the
// fields that are all ones.
void applyZip64(std::string_view extra, CentralRecord& r, bool sizeFull, bool compressedFull,
                bool offsetFull) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint64_t id = readLe(extra, at, 2), length = readLe(extra, at + 2, 2);
    if (extra.size() - at - 4 < length) return;
    if (id == 1) {
      std::string_view data = extra.substr(at + 4, length);
      size_t field = 0;
      auto next = [&](uint64_t& value) {
        if (data.size() - field < 8) return;
        value = readLe(data, field, 8);
        field += 8;
      };
      uint64_t ignored = 0;
      if (sizeFull) next(ignored);
      if (compressedFull) next(r.compressedSize);
      if (offsetFull) next(r.localOffset);
      return;
    }
    at += 4 + length;
  }
}

std::optional<std::vector<CentralRecord>> recordsOf(const ArchiveBytes& bytes, const Directory& d,
                                                    uint64_t maxRecords) {
  if (d.records > maxRecords) return std::nullopt;
  std::vector<CentralRecord> records;
  records.reserve(d.records);
  Window window(bytes, d.offset, d.offset + d.size);
  uint64_t at = d.offset;
  for (uint64_t i = 0; i < d.records; ++i) {
    std::string_view head, rest;
    if (!window.get(at, kCentralHeader, head) || head.compare(0, 4, "PK\1\2") != 0)
      return std::nullopt;
    const uint64_t nameLength = readLe(head, 28, 2), extraLength = readLe(head, 30, 2),
                   commentLength = readLe(head, 32, 2);
    CentralRecord r;
    r.compressedSize = readLe(head, 20, 4);
    r.localOffset = readLe(head, 42, 4);
    const bool sizeFull = readLe(head, 24, 4) == 0xFFFFFFFFu;
    const bool compressedFull = r.compressedSize == 0xFFFFFFFFu;
    const bool offsetFull = r.localOffset == 0xFFFFFFFFu;
    if (!window.get(at + kCentralHeader, nameLength + extraLength, rest)) return std::nullopt;
    r.rawName = std::string(rest.substr(0, nameLength));
    if (sizeFull || compressedFull || offsetFull)
      applyZip64(rest.substr(nameLength), r, sizeFull, compressedFull, offsetFull);
    records.push_back(std::move(r));
    at += kCentralHeader + nameLength + extraLength + commentLength;
  }
  return records;
}

}  // namespace

std::optional<std::vector<CentralRecord>> readCentralDirectory(
    const ArchiveBytes& bytes, uint64_t maxRecords,
    const std::function<bool(const std::vector<CentralRecord>&)>& accept) {
  const uint64_t fileSize = bytes.size();
  if (fileSize < kEndRecord) return std::nullopt;
  const uint64_t tailAt =
      fileSize > kEndRecord + kMaxComment ? fileSize - kEndRecord - kMaxComment : 0;
  const std::string tail = bytes.readAt(tailAt, fileSize - tailAt);
  if (tail.size() < kEndRecord) return std::nullopt;
  for (size_t p = tail.size() - kEndRecord + 1; p-- > 0;) {
    if (tail.compare(p, 4, "PK\5\6") != 0) continue;
    const Directory d =
        directoryOf(bytes, std::string_view(tail).substr(p, kEndRecord), tailAt + p);
    if (d.offset > fileSize || fileSize - d.offset < d.size) continue;
    std::optional<std::vector<CentralRecord>> records = recordsOf(bytes, d, maxRecords);
    if (records && accept(*records)) return records;
  }
  return std::nullopt;
}

std::optional<std::pair<size_t, size_t>> overlappingRecords(
    const ArchiveBytes& bytes, const std::vector<CentralRecord>& records) {
  const uint64_t fileSize = bytes.size();
  struct Span {
    uint64_t begin, end;
  };
  std::vector<Span> spans;
  spans.reserve(records.size());
  for (const CentralRecord& r : records) {
    // A local header that cannot be read fails the entry when it is read;
    // its bytes still begin where the directory says (or at the end of the
    // file, for an offset past it).
    const uint64_t begin = std::min(r.localOffset, fileSize);
    uint64_t data = begin + kLocalHeader;
    const std::string local = bytes.readAt(begin, kLocalHeader);
    if (local.size() == kLocalHeader && local.compare(0, 4, "PK\3\4") == 0)
      data += readLe(local, 26, 2) + readLe(local, 28, 2);
    spans.push_back({begin, data + std::min(r.compressedSize, fileSize)});
  }
  std::vector<size_t> order(spans.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return spans[a].begin != spans[b].begin ? spans[a].begin < spans[b].begin : a < b;
  });
  size_t reaching = 0;  // the span so far that reaches furthest
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    if (k > 0 && spans[i].begin < spans[reaching].end)
      return std::make_pair(std::min(i, reaching), std::max(i, reaching));
    if (k == 0 || spans[i].end > spans[reaching].end) reaching = i;
  }
  return std::nullopt;
}

}  // namespace bq::infozip
