#include "platform/codec/codec.h"

#include <libdeflate.h>
#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>

#include "common/automation_error.h"
#include "platform/codec/deflate_join.h"
#include "platform/codec/inflate_walk.h"

namespace bq::codec {

static_assert(kZOk == Z_OK && kZStreamEnd == Z_STREAM_END && kZDataError == Z_DATA_ERROR &&
              kZMemError == Z_MEM_ERROR && kZBufError == Z_BUF_ERROR);

int compress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source) {
  uLongf length = dest.size();
  const int rc = ::compress(dest.data(), &length, source.data(), source.size());
  destLength = length;
  return rc;
}

namespace {

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// This thread's libdeflate decompressor (its tables, about 10 KB); nullptr
// when it cannot be had.
libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(
      libdeflate_alloc_decompressor());
  return d.get();
}

int zlibUncompress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source) {
  uLongf length = dest.size();
  const int rc = ::uncompress(dest.data(), &length, source.data(), source.size());
  destLength = length;
  return rc;
}

}  // namespace

int uncompress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source) {
  // libdeflate inflates about twice as fast as zlib. It takes the streams
  // that it reads exactly as zlib does; whatever it refuses goes to zlib
  // too, for zlib's code and for the bytes zlib made before it stopped.
  if (!dest.empty() && libdeflateReadsAsZlib(source)) {
    if (libdeflate_decompressor* d = threadDecompressor()) {
      size_t produced = 0;
      if (libdeflate_zlib_decompress(d, source.data(), source.size(), dest.data(), dest.size(),
                                     &produced) == LIBDEFLATE_SUCCESS) {
        destLength = produced;
        return kZOk;
      }
    }
  }
  return zlibUncompress(dest, destLength, source);
}

namespace {

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// This thread's libdeflate compressor for `level` (1 to 12); nullptr when it
// cannot be had.
libdeflate_compressor* threadCompressor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorFree>, 13> made;
  if (level < 1 || level > 12) return nullptr;
  auto& c = made[static_cast<size_t>(level)];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  return c.get();
}

}  // namespace

std::vector<uint8_t> deflateJoinable(std::span<const uint8_t> piece, int level, bool last) {
  libdeflate_compressor* c = threadCompressor(level);
  if (!c) return {};
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, piece.size()));
  const size_t n =
      libdeflate_deflate_compress(c, piece.data(), piece.size(), out.data(), out.size());
  if (n == 0) return {};
  out.resize(n);
  if (last) return out;
  // libdeflate ends every stream with a final block: that block is marked not
  // final, and an empty stored block follows it, which ends on a byte
  // boundary. The walk must end in the stream's last byte, or the stream is
  // not as it was read and is not used.
  const std::optional<FinalBlock> final = findFinalBlock(out);
  if (!final || (final->end + 7) / 8 != n) return {};
  out[final->start / 8] &= static_cast<uint8_t>(~(1u << (final->start % 8)));
  const unsigned used = final->end % 8;
  if (used != 0) out.back() &= static_cast<uint8_t>((1u << used) - 1);
  // The stored block's three header bits (all zero), then LEN 0 and NLEN.
  if (used == 0 || used > 5) out.push_back(0);
  out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
  return out;
}

uint32_t adler32(std::span<const uint8_t> bytes, uint32_t running) {
  // libdeflate's, the same sum computed with vector instructions.
  return libdeflate_adler32(running, bytes.data(), bytes.size());
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
