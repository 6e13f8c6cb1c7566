#include "platform/codec/deflate_codes.h"

namespace bq::codec {

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

bool readCodeLengths(BitReader& in, CodeLengths& out) {
  uint32_t hlit = 0, hdist = 0, hclen = 0;
  if (!in.take(5, hlit) || !in.take(5, hdist) || !in.take(4, hclen)) return false;
  out.literals = hlit + 257;
  out.distances = hdist + 1;
  if (out.literals > 286 || out.distances > 30) return false;
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
  std::array<uint8_t, 286 + 30>& lengths = out.lengths;
  const unsigned total = out.literals + out.distances;
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
  return true;
}

}  // namespace bq::codec
