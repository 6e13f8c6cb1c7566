#include "platform/codec/codec.h"

#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <array>

#include "common/automation_error.h"

namespace bq::codec {

static_assert(kZOk == Z_OK && kZStreamEnd == Z_STREAM_END && kZDataError == Z_DATA_ERROR &&
              kZMemError == Z_MEM_ERROR && kZBufError == Z_BUF_ERROR);

int compress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source) {
  uLongf length = dest.size();
  const int rc = ::compress(dest.data(), &length, source.data(), source.size());
  destLength = length;
  return rc;
}

int uncompress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source) {
  uLongf length = dest.size();
  const int rc = ::uncompress(dest.data(), &length, source.data(), source.size());
  destLength = length;
  return rc;
}

uint32_t adler32(std::span<const uint8_t> bytes) {
  uLong check = ::adler32(0, nullptr, 0);
  // zlib takes at most 4 GiB - 1 at a time.
  while (!bytes.empty()) {
    const size_t n = std::min<size_t>(bytes.size(), 1u << 30);
    check = ::adler32(check, bytes.data(), static_cast<uInt>(n));
    bytes = bytes.subspan(n);
  }
  return static_cast<uint32_t>(check);
}

std::string zlibErrorText(int code) { return zError(code); }

std::string sha256Hex(std::string_view bytes) {
  static const int ready = sodium_init();
  if (ready < 0) raiseError(err::kOutOfMemory);
  std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * digest.size());
  for (unsigned char b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

}  // namespace bq::codec
