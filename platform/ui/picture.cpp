#include "platform/ui/picture.h"

#include <algorithm>
#include <string>

#include "common/automation_error.h"

namespace bq::ui {
namespace {

[[noreturn]] void invalid(const std::string& reason) {
  throw AutomationError(kInvalidPicture, "", "Invalid picture: " + reason);
}

uint32_t bigEndian32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

uint16_t bigEndian16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

PictureInfo readPng(std::span<const uint8_t> b) {
  // Signature, IHDR length and type, 13 bytes of data, CRC.
  if (b.size() < 8 + 8 + 13 + 4) invalid("the PNG data ends inside its header");
  if (bigEndian32(b, 8) != 13 || b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R') {
    invalid("the PNG data does not begin with an IHDR chunk (offset 8)");
  }
  const uint32_t width = bigEndian32(b, 16);
  const uint32_t height = bigEndian32(b, 20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    invalid("the PNG size " + std::to_string(width) + " x " + std::to_string(height) +
            " is out of range");
  }
  return {PictureFormat::kPng, static_cast<int>(width), static_cast<int>(height)};
}

// Frame headers (SOF0 to SOF15); C4, C8 and CC are other segments with the
// same high nibble.
bool isFrameHeader(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

PictureInfo readJpeg(std::span<const uint8_t> b) {
  size_t pos = 2;  // after SOI
  for (;;) {
    if (pos >= b.size()) invalid("the JPEG data ends before its frame header");
    if (b[pos] != 0xFF) invalid("no JPEG marker at offset " + std::to_string(pos));
    const size_t markerAt = pos;
    while (pos < b.size() && b[pos] == 0xFF) ++pos;  // fill bytes
    if (pos >= b.size()) invalid("the JPEG data ends before its frame header");
    const uint8_t marker = b[pos++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA) {
      invalid("JPEG marker " + std::to_string(marker) + " before the frame header (offset " +
              std::to_string(markerAt) + ")");
    }
    if (pos + 2 > b.size()) invalid("the JPEG data ends inside a segment");
    const size_t length = bigEndian16(b, pos);
    if (length < 2) invalid("JPEG segment length below 2 at offset " + std::to_string(pos));
    if (pos + length > b.size()) invalid("the JPEG data ends inside a segment");
    if (isFrameHeader(marker)) {
      // length, precision, height, width, component count
      if (length < 8) invalid("JPEG frame header too short at offset " + std::to_string(pos));
      const int height = bigEndian16(b, pos + 3);
      const int width = bigEndian16(b, pos + 5);
      // A height of 0 defers it to a later DNL segment, which nothing we show uses.
      if (width == 0 || height == 0) {
        invalid("the JPEG size " + std::to_string(width) + " x " + std::to_string(height) +
                " is out of range");
      }
      return {PictureFormat::kJpeg, width, height};
    }
    pos += length;
  }
}

}  // namespace

PictureInfo readPictureInfo(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 8 &&
      std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin())) {
    return readPng(bytes);
  }
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) return readJpeg(bytes);
  if (bytes.empty()) invalid("no picture data");
  invalid("the data is neither a PNG nor a JPEG image");
}

}  // namespace bq::ui
