#include "platform/ui/picture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/automation_error.h"

namespace bq::ui {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes png(uint32_t width, uint32_t height, uint32_t ihdrLength = 13) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b + be32(ihdrLength) + Bytes{'I', 'H', 'D', 'R'} + be32(width) + be32(height) +
         Bytes{8, 2, 0, 0, 0} + be32(0);
}

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kApp0 = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
const Bytes kDht = {0xFF, 0xC4, 0, 4, 0x00, 0x00};  // same high nibble as a frame header

Bytes be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }

// A frame header of one component.
Bytes sof(uint8_t marker, uint16_t width, uint16_t height) {
  return Bytes{0xFF, marker, 0, 11, 8} + be16(height) + be16(width) + Bytes{1, 1, 0x11, 0};
}

std::string failure(const Bytes& b) {
  try {
    const PictureInfo info = readPictureInfo(b);
    return "accepted " + std::to_string(info.width) + " x " + std::to_string(info.height);
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kInvalidPicture);
    return e.description();
  }
}

TEST(PictureInfo, ReadsTheSizeOfPngAndJpeg) {
  struct Case {
    const char* name;
    Bytes bytes;
    PictureFormat format;
    int width, height;
  };
  const Case cases[] = {
      {"png", png(640, 480), PictureFormat::kPng, 640, 480},
      {"png at the limit", png(0x7FFFFFFF, 1), PictureFormat::kPng, 0x7FFFFFFF, 1},
      {"baseline jpeg", kSoi + kApp0 + sof(0xC0, 320, 200), PictureFormat::kJpeg, 320, 200},
      {"progressive jpeg", kSoi + sof(0xC2, 1, 65535), PictureFormat::kJpeg, 1, 65535},
      {"tables before the frame", kSoi + kDht + kApp0 + sof(0xC1, 7, 9), PictureFormat::kJpeg, 7,
       9},
      {"fill bytes and a restart marker", kSoi + Bytes{0xFF, 0xFF, 0xFF, 0xD0} + sof(0xC0, 2, 3),
       PictureFormat::kJpeg, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureInfo info = readPictureInfo(c.bytes);
    EXPECT_EQ(info.format, c.format);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
  }
}

TEST(PictureInfo, RefusesDamagedHeadersWithTheirFault) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::string description;
  };
  const Case cases[] = {
      {"empty", {}, "Invalid picture: no picture data"},
      {"gif",
       {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0},
       "Invalid picture: the data is neither a PNG nor a JPEG image"},
      {"png signature only", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
       "Invalid picture: the PNG data ends inside its header"},
      {"png with a long IHDR", png(1, 1, 14),
       "Invalid picture: the PNG data does not begin with an IHDR chunk (offset 8)"},
      {"png of width 0", png(0, 5), "Invalid picture: the PNG size 0 x 5 is out of range"},
      {"png of height 2^31", png(5, 0x80000000),
       "Invalid picture: the PNG size 5 x 2147483648 is out of range"},
      {"jpeg of SOI only", kSoi, "Invalid picture: the JPEG data ends before its frame header"},
      {"jpeg scan before frame", kSoi + Bytes{0xFF, 0xDA, 0, 2},
       "Invalid picture: JPEG marker 218 before the frame header (offset 2)"},
      {"jpeg garbage between segments", kSoi + Bytes{0x12, 0x34},
       "Invalid picture: no JPEG marker at offset 2"},
      {"jpeg segment length 1", kSoi + Bytes{0xFF, 0xE1, 0, 1, 0},
       "Invalid picture: JPEG segment length below 2 at offset 4"},
      {"jpeg segment past the end", kSoi + Bytes{0xFF, 0xE1, 0x10, 0, 1, 2},
       "Invalid picture: the JPEG data ends inside a segment"},
      {"jpeg frame header too short", kSoi + Bytes{0xFF, 0xC0, 0, 5, 8, 0, 1},
       "Invalid picture: JPEG frame header too short at offset 4"},
      {"jpeg height left to a DNL segment", kSoi + sof(0xC0, 16, 0),
       "Invalid picture: the JPEG size 16 x 0 is out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(failure(c.bytes), c.description);
  }
}

// Every cut of a valid header is refused, never read past its end.
TEST(PictureInfo, RefusesEveryTruncation) {
  for (const Bytes& whole : {png(9, 9), kSoi + kDht + kApp0 + sof(0xC0, 9, 9)}) {
    for (size_t n = 0; n < whole.size(); ++n) {
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      SCOPED_TRACE(n);
      EXPECT_THROW(readPictureInfo(cut), AutomationError);
    }
  }
}

}  // namespace
}  // namespace bq::ui
