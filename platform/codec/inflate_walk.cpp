#include "platform/codec/inflate_walk.h"

#include <array>
#include <cstddef>

#include "platform/codec/bit_reader.h"

namespace bq::codec {
namespace {

constexpr unsigned kMaxCodeLength = 15;

// Whether the code lengths `lengths` (0: symbol unused) fill the code space
// exactly. zlib refuses over-subscribed codes everywhere and incomplete ones
// except a single codeword of length one or an empty distance code; those two
// libdeflate reads differently, so they count as not complete here.
bool isComplete(std::span<const uint8_t> lengths) {
  std::array<int, kMaxCodeLength + 1> count{};
  for (uint8_t l : lengths) ++count[l];
  int left = 1;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left = 2 * left - count[len];
    if (left < 0) return false;
  }
  return left == 0;
}

// A decoding table of a complete canonical code whose codewords are at most
// `Bits` long, indexed by the next `Bits` input bits.
template <unsigned Bits>
struct DecodeTable {
  struct Entry {
    uint16_t symbol = 0;
    uint8_t length = 0;
  };
  std::array<Entry, size_t{1} << Bits> entries{};

  // REQUIRES: isComplete(lengths), every length <= Bits.
  explicit DecodeTable(std::span<const uint8_t> lengths) {
    std::array<unsigned, Bits + 2> count{}, next{};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    unsigned code = 0;
    for (unsigned len = 1; len <= Bits; ++len) {
      code = (code + count[len - 1]) << 1;
      next[len] = code;
    }
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
      const unsigned len = lengths[symbol];
      if (len == 0) continue;
      // Codewords are sent most significant bit first, so the table is
      // indexed by the bit-reversed codeword.
      unsigned c = next[len]++, reversed = 0;
      for (unsigned i = 0; i < len; ++i) reversed |= ((c >> i) & 1u) << (len - 1 - i);
      for (unsigned fill = reversed; fill < entries.size(); fill += 1u << len)
        entries[fill] = {static_cast<uint16_t>(symbol), static_cast<uint8_t>(len)};
    }
  }

  // The next symbol; false when the input ends inside its codeword.
  bool decode(BitReader& in, unsigned& symbol) const {
    const Entry e = entries[in.peek(Bits)];
    if (e.length > in.held()) return false;
    in.drop(e.length);
    symbol = e.symbol;
    return true;
  }
};

constexpr std::array<uint8_t, 29> kLengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint8_t, 30> kDistanceExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                        4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                        9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

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
  uint32_t hlit = 0, hdist = 0, hclen = 0;
  if (!in.take(5, hlit) || !in.take(5, hdist) || !in.take(4, hclen)) return false;
  const unsigned literals = hlit + 257, distances = hdist + 1;
  if (literals > 286 || distances > 30) return false;
  static constexpr std::array<uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::array<uint8_t, 19> precode{};
  for (unsigned i = 0; i < hclen + 4; ++i) {
    uint32_t len = 0;
    if (!in.take(3, len)) return false;
    precode[kOrder[i]] = static_cast<uint8_t>(len);
  }
  if (!isComplete(precode)) return false;
  const DecodeTable<7> precodeTable(precode);
  std::array<uint8_t, 286 + 30> lengths{};
  const unsigned total = literals + distances;
  unsigned have = 0;
  while (have < total) {
    unsigned symbol = 0;
    if (!precodeTable.decode(in, symbol)) return false;
    if (symbol < 16) {
      lengths[have++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint32_t repeat = 0;
    uint8_t value = 0;
    if (symbol == 16) {
      if (have == 0 || !in.take(2, repeat)) return false;
      value = lengths[have - 1];
      repeat += 3;
    } else if (symbol == 17) {
      if (!in.take(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!in.take(7, repeat)) return false;
      repeat += 11;
    }
    if (repeat > total - have) return false;
    for (; repeat > 0; --repeat) lengths[have++] = value;
  }
  const std::span<const uint8_t> all(lengths.data(), total);
  return lengths[256] != 0 && isComplete(all.first(literals)) && isComplete(all.subspan(literals));
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
