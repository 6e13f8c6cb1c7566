#include "platform/zip/archive_bytes.h"

#include "common/files.h"

namespace bq::zip {

std::string ArchiveBytes::readAt(uint64_t offset, uint64_t length) const {
  if (fd_ >= 0) return bq::readAt(fd_, offset, length);
  if (offset >= size_) return {};
  return std::string(memory_.substr(offset, length));
}

std::string_view ArchiveBytes::view(uint64_t offset, uint64_t length, std::string& buffer) const {
  if (fd_ < 0) return offset >= size_ ? std::string_view() : memory_.substr(offset, length);
  buffer = bq::readAt(fd_, offset, length);
  return buffer;
}

uint64_t zip64ClaimedEntries(const ArchiveBytes& bytes) {
  const uint64_t tailLength = std::min(bytes.size(), kTailBytes);
  std::string buffer;
  // In memory the tail is looked at where it lies, not copied.
  const std::string_view tail = bytes.view(bytes.size() - tailLength, tailLength, buffer);
  return zip64ClaimedEntries(
      tail, bytes.size(), [&](uint64_t at, uint64_t length) { return bytes.readAt(at, length); });
}

}  // namespace bq::zip
