#include "platform/codec/inflate_walk.h"

#include <array>
#include <cstddef>

#include "platform/codec/bit_reader.h"
#include "platform/codec/deflate_codes.h"

namespace bq::codec {
namespace {

const DecodeTable<9>& fixedLiteralCode() {
  static const DecodeTable<9> table = [] {
    std::array<uint8_t, 288> lengths{};
    for (size_t s = 0; s < lengths.size(); ++s)
      lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return DecodeTable<9>(lengths);
  }();
  return table;
}

// Walks a fixed-code block to its end-of-block symbol. False at a length
// symbol 286 or 287 or a distance symbol 30 or 31 (zlib refuses them,
// libdeflate reads them as lengths and distances) and at the end of input.
bool walkFixedBlock(BitReader& in) {
  const DecodeTable<9>& code = fixedLiteralCode();
  for (;;) {
    unsigned symbol = 0;
    if (!code.decode(in, symbol)) return false;
    if (symbol < 256) continue;
    if (symbol == 256) return true;
    if (symbol > 285) return false;
    uint32_t bits = 0;
    if (!in.take(kLengthExtraBits[symbol - 257], bits)) return false;
    // Fixed distance codes are five bits, sent most significant bit first.
    if (!in.take(5, bits)) return false;
    const unsigned distance =
        ((bits & 1) << 4) | ((bits & 2) << 2) | (bits & 4) | ((bits & 8) >> 2) | ((bits & 16) >> 4);
    if (distance >= 30) return false;
    if (!in.take(kDistanceExtraBits[distance], bits)) return false;
  }
}

// Reads the header of a dynamic block and checks it as zlib's inflate does,
// with the codes also required to be complete (see isComplete).
bool checkDynamicHeader(BitReader& in) {
  CodeLengths code;
  return readCodeLengths(in, code) && code.lengths[256] != 0 && isComplete(code.literal()) &&
         isComplete(code.distance());
}

}  // namespace

bool libdeflateReadsAsZlib(std::span<const uint8_t> stream) {
  if (stream.size() < 2) return false;
  const unsigned cmf = stream[0], flg = stream[1];
  // Method 8, a window of at most 32 KiB, the header check, no dictionary.
  if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0 || (flg & 32) != 0)
    return false;
  BitReader in(stream.subspan(2));
  for (;;) {
    uint32_t final = 0, type = 0;
    if (!in.take(1, final) || !in.take(2, type)) return false;
    switch (type) {
      case 0: {
        uint32_t len = 0, nlen = 0;
        // LEN and NLEN start at the next byte boundary.
        in.skipBytes(0);
        if (!in.take(16, len) || !in.take(16, nlen) || len != (~nlen & 0xFFFF)) return false;
        if (!in.skipBytes(len)) return false;
        break;
      }
      case 1:
        if (!walkFixedBlock(in)) return false;
        break;
      case 2:
        // The end of a dynamic block is found only by inflating it.
        return final == 1 && checkDynamicHeader(in);
      default:
        return false;
    }
    if (final == 1) return true;
  }
}

}  // namespace bq::codec
