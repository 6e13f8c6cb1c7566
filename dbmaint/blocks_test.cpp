#include "dbmaint/blocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

namespace bq {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// zlib's own stream of `data`.
Bytes zlibStream(const Bytes& data) {
  uLongf n = compressBound(data.size());
  Bytes out(n);
  EXPECT_EQ(compress(out.data(), &n, data.data(), data.size()), Z_OK);
  out.resize(n);
  return out;
}

// `value` as six digit values, followed by `rest`.
Bytes digitsThen(size_t value, const Bytes& rest = {}) {
  Bytes d(6);
  for (size_t i = 6; i-- > 0; value /= 10) d[i] = static_cast<uint8_t>(value % 10);
  d.insert(d.end(), rest.begin(), rest.end());
  return d;
}

TEST(CompressBlock, WritesTheLengthsAndZlibsStreamAndExpandsBack) {
  struct Case {
    const char* what;
    Bytes data;
    size_t maxZ;
  };
  const Case cases[] = {
      {"empty: zlib's stream of no data", {}, 8},
      {"one byte", {42}, 9},
      {"16384 repeated bytes", Bytes(16384, 'x'), 60},
      {"16384 random bytes", randomBytes(16384, 2), 16384 + 11},
      {"999999 zero bytes", Bytes(999999, 0), 1000},
  };
  Bytes block{1, 2, 3}, back{4};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(CompressBlock(c.data, block), Z_OK);
    Bytes stream = zlibStream(c.data);
    EXPECT_EQ(block, digitsThen(stream.size(), digitsThen(c.data.size(), stream)));
    EXPECT_LE(stream.size(), c.maxZ);
    ASSERT_EQ(ExpandBlock(Bytes(block.begin() + 6, block.end()), back), Z_OK);
    EXPECT_EQ(back, c.data);
  }
}

TEST(CompressBlock, WritesTheExampleHeaders) {
  // 100 zero bytes: a 12-byte stream, header 0 0 0 0 1 2 0 0 0 1 0 0.
  Bytes hundred(100, 0);
  Bytes stream = zlibStream(hundred);
  ASSERT_EQ(stream.size(), 12u);
  Bytes expected{0, 0, 0, 0, 1, 2, 0, 0, 0, 1, 0, 0};
  expected.insert(expected.end(), stream.begin(), stream.end());
  Bytes block;
  ASSERT_EQ(CompressBlock(hundred, block), Z_OK);
  EXPECT_EQ(block, expected);

  // A 16384-byte piece (random beginning, then zeros) that packs into 5130 bytes.
  Bytes noise = randomBytes(16384, 7);
  for (size_t k = 5000; k < 5200; ++k) {
    Bytes piece(16384, 0);
    std::copy_n(noise.begin(), k, piece.begin());
    if (zlibStream(piece).size() != 5130) continue;
    ASSERT_EQ(CompressBlock(piece, block), Z_OK);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 12),
              (Bytes{0, 0, 5, 1, 3, 0, 0, 1, 6, 3, 8, 4}));
    return;
  }
  FAIL() << "no piece of 5130 bytes";
}

TEST(CompressBlock, RefusesAMillionBytesRatherThanWriteAWrongHeader) {
  Bytes block{1, 2, 3};
  EXPECT_EQ(CompressBlock(Bytes(1000000, 0), block), Z_BUF_ERROR);
  EXPECT_TRUE(block.empty());
  // Random data just below the limit packs into more than six digits' worth.
  block = {1, 2, 3};
  EXPECT_EQ(CompressBlock(randomBytes(999999, 3), block), Z_BUF_ERROR);
  EXPECT_TRUE(block.empty());
}

TEST(ExpandBlock, RefusesShortInputAndNonDigitLengthsWithoutReadingPastThem) {
  const Bytes good = digitsThen(100, zlibStream(Bytes(100, 0)));
  std::vector<Bytes> cases;
  for (size_t n = 0; n < 6; ++n) cases.emplace_back(good.begin(), good.begin() + n);
  for (size_t i = 0; i < 6; ++i) {
    for (uint8_t v : {10, 255}) {
      cases.push_back(good);
      cases.back()[i] = v;
    }
  }
  for (const auto& in : cases) {
    // An exact-sized heap copy, so that a read past its end shows under ASan.
    auto exact = std::make_unique<uint8_t[]>(in.size());
    std::copy(in.begin(), in.end(), exact.get());
    Bytes out{7, 7};
    EXPECT_EQ(ExpandBlock(std::span<const uint8_t>(exact.get(), in.size()), out), Z_DATA_ERROR);
    EXPECT_TRUE(out.empty());
  }
}

TEST(ExpandBlock, GivesZlibTheRoundedRoomAndCutsToWhatItMade) {
  // Room = U + U/100 + 18, a half rounded to even: a stream of that many bytes
  // fits; one more byte does not, and the output stops at the room.
  const std::pair<size_t, size_t> uAndRoom[] = {{0, 18},    {50, 68},       {150, 170},
                                                {250, 270}, {16384, 16566}, {999999, 1010017}};
  Bytes out;
  for (auto [u, room] : uAndRoom) {
    SCOPED_TRACE(u);
    EXPECT_EQ(ExpandBlock(digitsThen(u, zlibStream(Bytes(room, 'q'))), out), Z_OK);
    EXPECT_EQ(out, Bytes(room, 'q'));
    EXPECT_EQ(ExpandBlock(digitsThen(u, zlibStream(Bytes(room + 1, 'q'))), out), Z_BUF_ERROR);
    EXPECT_EQ(out, Bytes(room, 'q'));
  }
}

TEST(ExpandBlock, DamagedStreamsReturnZlibsCodeAndOnlyWhatZlibMade) {
  Bytes data = randomBytes(3000, 4);
  std::fill(data.begin() + 1000, data.begin() + 2000, 'z');
  const Bytes in = digitsThen(data.size(), zlibStream(data));
  Bytes out;
  // Cut short anywhere: an error, and what came out is a beginning of the data.
  for (size_t n = 6; n < in.size(); n += 97) {
    EXPECT_EQ(ExpandBlock(Bytes(in.begin(), in.begin() + n), out), Z_DATA_ERROR);
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << n;
  }
  // A flipped bit is caught, or changes nothing (padding bits of the last
  // deflate byte are not read).
  for (size_t i = 6; i < in.size(); ++i) {
    for (uint8_t bit : {0x01, 0x80}) {
      Bytes bad = in;
      bad[i] ^= bit;
      int rc = ExpandBlock(bad, out);
      EXPECT_LE(out.size(), 3048u);
      EXPECT_TRUE(rc != Z_OK || out == data) << "byte " << i << " bit " << int{bit};
    }
  }
}

}  // namespace
}  // namespace bq
