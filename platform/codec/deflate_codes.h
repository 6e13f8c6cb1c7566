// The parts of deflate's coded blocks that the walks over a stream share
// (inflate_walk.cpp, deflate_join.cpp): the extra bits of lengths and
// distances, decoding tables of complete codes, and a dynamic block's code
// lengths. Internal to platform/codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/codec/bit_reader.h"

namespace bq::codec {

inline constexpr unsigned kMaxCodeLength = 15;

// Whether the code lengths `lengths` (0: symbol unused) fill the code space
// exactly. zlib refuses over-subscribed codes everywhere and incomplete ones
// except a single codeword of length one or an empty distance code; those two
// libdeflate reads differently, so they count as not complete here.
bool isComplete(std::span<const uint8_t> lengths);

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

inline constexpr std::array<uint8_t, 29> kLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<uint8_t, 30> kDistanceExtraBits = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A dynamic block's code lengths: its literal/length code's, then its
// distance code's.
struct CodeLengths {
  std::array<uint8_t, 286 + 30> lengths{};
  unsigned literals = 0;
  unsigned distances = 0;
  std::span<const uint8_t> literal() const { return std::span(lengths).first(literals); }
  std::span<const uint8_t> distance() const {
    return std::span(lengths).subspan(literals, distances);
  }
};

// Reads a dynamic block's header (the counts, the code-length code, the code
// lengths) as zlib's inflate reads it: false where zlib refuses it (more than
// 286 literal/length or 30 distance codes, a code-length code that is not
// complete, a repeat with nothing before it or past the count) and when the
// input ends. The two codes themselves are not checked.
bool readCodeLengths(BitReader& in, CodeLengths& out);

}  // namespace bq::codec
