// The format and pixel size of a window picture, read from its headers.
//
// Every back end checks a picture with readPictureInfo before it shows it, so
// a picture that one back end refuses is refused by all of them, with the same
// error. Only the headers are read: a PNG's signature and IHDR chunk, a JPEG's
// markers up to its first frame header. Whether the rest decodes is the
// business of the back end that draws it.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <span>

namespace bq::ui {

// The run-time error number of a picture that cannot be loaded ("Invalid picture").
inline constexpr int32_t kInvalidPicture = 481;

enum class PictureFormat { kPng, kJpeg };

struct PictureInfo {
  PictureFormat format;
  int width;   // pixels, > 0
  int height;  // pixels, > 0
};

// The format and size of the PNG or JPEG image in `bytes`.
// Throws AutomationError 481 with a description "Invalid picture: REASON"
// (REASON names the format and the fault and, where it helps, its byte
// offset) when the bytes are neither, when the headers end early or are
// damaged, or when a dimension is zero or above 2^31 - 1.
PictureInfo readPictureInfo(std::span<const uint8_t> bytes);

}  // namespace bq::ui
