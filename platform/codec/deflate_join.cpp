#include "platform/codec/deflate_join.h"

#include <array>

#include "platform/codec/bit_reader.h"
#include "platform/codec/deflate_codes.h"

namespace bq::codec {
namespace {

constexpr unsigned kMaxBits = kMaxCodeLength;
constexpr unsigned kFastBits = 10;

// A canonical Huffman code of up to 288 symbols. Codewords of at most
// kFastBits bits are found by one look-up; longer ones bit by bit from the
// count of codewords of each length.
class Code {
 public:
  // False when the lengths over-subscribe the code space. An incomplete code
  // is deflate's own (a single distance code, say): its unused codewords
  // fail in decode().
  bool build(std::span<const uint8_t> lengths) {
    count_.fill(0);
    for (uint8_t l : lengths) ++count_[l];
    count_[0] = 0;
    int left = 1;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
      left = 2 * left - count_[len];
      if (left < 0) return false;
    }
    std::array<uint16_t, kMaxBits + 2> offset{};
    for (unsigned len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count_[len];
    for (size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] != 0) symbols_[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    fast_.fill({});
    unsigned code = 0;
    std::array<unsigned, kMaxBits + 1> next{};
    for (unsigned len = 1; len <= kMaxBits; ++len) {
      code = (code + count_[len - 1]) << 1;
      next[len] = code;
    }
    for (size_t s = 0; s < lengths.size(); ++s) {
      const unsigned len = lengths[s];
      if (len == 0) continue;
      const unsigned c = next[len]++;
      if (len > kFastBits) continue;
      // Codewords are sent most significant bit first: the table is indexed
      // by the bit-reversed codeword.
      unsigned reversed = 0;
      for (unsigned i = 0; i < len; ++i) reversed |= ((c >> i) & 1u) << (len - 1 - i);
      for (unsigned fill = reversed; fill < fast_.size(); fill += 1u << len)
        fast_[fill] = {static_cast<uint16_t>(s), static_cast<uint8_t>(len)};
    }
    return true;
  }

  // The next symbol; false at an unused codeword or when the input ends
  // inside the codeword.
  bool decode(BitReader& in, unsigned& symbol) const {
    const Entry e = fast_[in.peek(kFastBits)];
    if (e.length == 0) return decodeLong(in, symbol);
    if (e.length > in.held()) return false;
    in.drop(e.length);
    symbol = e.symbol;
    return true;
  }

 private:
  struct Entry {
    uint16_t symbol = 0;
    uint8_t length = 0;
  };

  bool decodeLong(BitReader& in, unsigned& symbol) const {
    const uint32_t bits = in.peek(kMaxBits);
    const unsigned held = in.held();
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxBits && len <= held; ++len) {
      code |= static_cast<int>((bits >> (len - 1)) & 1u);
      const int count = count_[len];
      if (code - count < first) {
        in.drop(len);
        symbol = symbols_[static_cast<size_t>(index + (code - first))];
        return true;
      }
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return false;
  }

  std::array<int, kMaxBits + 1> count_{};
  std::array<uint16_t, 288> symbols_{};
  std::array<Entry, size_t{1} << kFastBits> fast_{};
};

// Walks the symbols of a coded block to its end-of-block code.
bool walkSymbols(BitReader& in, const Code& literals, const Code& distances) {
  for (;;) {
    unsigned symbol = 0;
    if (!literals.decode(in, symbol)) return false;
    if (symbol < 256) continue;
    if (symbol == 256) return true;
    if (symbol > 285) return false;
    uint32_t extra = 0;
    unsigned distance = 0;
    if (!in.take(kLengthExtraBits[symbol - 257], extra) || !distances.decode(in, distance) ||
        distance >= 30 || !in.take(kDistanceExtraBits[distance], extra))
      return false;
  }
}

// Reads a dynamic block's header into its two codes.
bool readDynamicHeader(BitReader& in, Code& literals, Code& distances) {
  CodeLengths code;
  return readCodeLengths(in, code) && code.lengths[256] != 0 && literals.build(code.literal()) &&
         distances.build(code.distance());
}

struct FixedCodes {
  Code literals, distances;
  FixedCodes() {
    std::array<uint8_t, 288> lit{};
    for (size_t s = 0; s < lit.size(); ++s) lit[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    std::array<uint8_t, 32> dist{};
    dist.fill(5);
    literals.build(lit);
    distances.build(dist);
  }
};

}  // namespace

std::optional<FinalBlock> findFinalBlock(std::span<const uint8_t> stream) {
  static const FixedCodes fixed;
  BitReader in(stream);
  Code literals, distances;
  for (;;) {
    const size_t start = in.position();
    uint32_t final = 0, type = 0;
    if (!in.take(1, final) || !in.take(2, type)) return std::nullopt;
    bool walked = false;
    switch (type) {
      case 0: {
        uint32_t len = 0, nlen = 0;
        in.skipBytes(0);  // LEN and NLEN start at the next byte boundary
        walked =
            in.take(16, len) && in.take(16, nlen) && len == (~nlen & 0xFFFF) && in.skipBytes(len);
        break;
      }
      case 1:
        walked = walkSymbols(in, fixed.literals, fixed.distances);
        break;
      case 2:
        walked = readDynamicHeader(in, literals, distances) && walkSymbols(in, literals, distances);
        break;
      default:
        break;
    }
    if (!walked) return std::nullopt;
    if (final == 1) return FinalBlock{start, in.position()};
  }
}

}  // namespace bq::codec
