#include "dbmaint/blocks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>

namespace bq {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// zlib's own stream of `data`, made the way the block format asks for.
Bytes zlibStream(const Bytes& data) {
  uLongf n = compressBound(data.size());
  Bytes out(n);
  EXPECT_EQ(compress(out.data(), &n, data.data(), data.size()), Z_OK);
  out.resize(n);
  return out;
}

Bytes digits(size_t value) {
  Bytes d(6);
  for (size_t i = 6; i-- > 0; value /= 10) d[i] = static_cast<uint8_t>(value % 10);
  return d;
}

Bytes concat(const Bytes& a, const Bytes& b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// A block's bytes after its first six (what ExpandBlock takes).
Bytes expandInput(const Bytes& block) { return Bytes(block.begin() + 6, block.end()); }

TEST(CompressBlock, EmptyInputGivesZlibsEmptyStreamAndZeroLength) {
  Bytes block{1, 2, 3};
  ASSERT_EQ(CompressBlock({}, block), Z_OK);
  Bytes stream = zlibStream({});
  EXPECT_EQ(block, concat(concat(digits(stream.size()), digits(0)), stream));

  Bytes back{9};
  EXPECT_EQ(ExpandBlock(expandInput(block), back), Z_OK);
  EXPECT_TRUE(back.empty());
}

TEST(CompressBlock, HundredZeroBytesGiveTheTwelveByteStreamExample) {
  Bytes data(100, 0);
  Bytes stream = zlibStream(data);
  ASSERT_EQ(stream.size(), 12u) << "zlib's stream for this input has changed";
  Bytes expected = concat({0, 0, 0, 0, 1, 2, 0, 0, 0, 1, 0, 0}, stream);

  Bytes block;
  ASSERT_EQ(CompressBlock(data, block), Z_OK);
  EXPECT_EQ(block, expected);

  Bytes back;
  EXPECT_EQ(ExpandBlock(expandInput(expected), back), Z_OK);
  EXPECT_EQ(back, data);
}

TEST(CompressBlock, WritesTheDigitsOfTheExampleHeader) {
  // A random beginning followed by zeros; find the beginning whose 16384-byte
  // piece zlib packs into 5130 bytes.
  Bytes noise = randomBytes(16384, 7);
  std::optional<Bytes> piece;
  for (size_t k = 5000; k < 5200 && !piece; ++k) {
    Bytes candidate(16384, 0);
    std::copy_n(noise.begin(), k, candidate.begin());
    if (zlibStream(candidate).size() == 5130) piece = candidate;
  }
  ASSERT_TRUE(piece.has_value());

  Bytes block;
  ASSERT_EQ(CompressBlock(*piece, block), Z_OK);
  ASSERT_EQ(block.size(), 12u + 5130u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 12), (Bytes{0, 0, 5, 1, 3, 0, 0, 1, 6, 3, 8, 4}));
}

TEST(CompressBlock, RoundTripsEverySizeTheDigitsCanHold) {
  struct Case {
    const char* what;
    Bytes data;
  };
  const Case cases[] = {
      {"one byte", {42}},
      {"ten random bytes", randomBytes(10, 1)},
      {"16384 repeated bytes", Bytes(16384, 'x')},
      {"16384 random bytes", randomBytes(16384, 2)},
      {"123456 random bytes", randomBytes(123456, 3)},
      {"999999 zero bytes", Bytes(999999, 0)},
  };
  Bytes block, back;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(CompressBlock(c.data, block), Z_OK);
    Bytes stream = zlibStream(c.data);
    EXPECT_EQ(block, concat(concat(digits(stream.size()), digits(c.data.size())), stream));
    ASSERT_EQ(ExpandBlock(expandInput(block), back), Z_OK);
    EXPECT_EQ(back, c.data);
  }
  // The repeated bytes shrink to a small stream.
  ASSERT_EQ(CompressBlock(Bytes(16384, 'x'), block), Z_OK);
  EXPECT_LT(block.size(), 12u + 100u);
}

TEST(CompressBlock, RefusesAMillionBytesRatherThanWriteAWrongHeader) {
  Bytes block{1, 2, 3};
  EXPECT_EQ(CompressBlock(Bytes(1000000, 0), block), Z_BUF_ERROR);
  EXPECT_TRUE(block.empty());
}

TEST(ExpandBlock, RefusesShortInputAndNonDigitHeaderBytes) {
  Bytes good;
  ASSERT_EQ(CompressBlock(Bytes(100, 0), good), Z_OK);
  good = expandInput(good);

  std::vector<std::pair<std::string, Bytes>> cases;
  for (size_t n = 0; n < 6; ++n) {
    cases.emplace_back(std::to_string(n) + " bytes", Bytes(good.begin(), good.begin() + n));
  }
  for (size_t i = 0; i < 6; ++i) {
    for (uint8_t v : {10, 255}) {
      Bytes bad = good;
      bad[i] = v;
      cases.emplace_back("byte " + std::to_string(i) + " = " + std::to_string(v), bad);
    }
  }
  for (const auto& [what, in] : cases) {
    SCOPED_TRACE(what);
    // An exact-sized heap copy, so that a read past its end shows under ASan.
    auto exact = std::make_unique<uint8_t[]>(in.size());
    std::copy(in.begin(), in.end(), exact.get());
    Bytes out{7, 7};
    EXPECT_EQ(ExpandBlock(std::span<const uint8_t>(exact.get(), in.size()), out), Z_DATA_ERROR);
    EXPECT_TRUE(out.empty());
  }
}

TEST(ExpandBlock, GivesZlibRoomOfTheRoundedSizeAndCutsToWhatItMade) {
  // Room = U + U/100 + 18, rounded half to even. A stream of exactly that
  // many bytes fits; one byte more does not, and the output stops at the room.
  struct Case {
    size_t u;
    size_t room;
  };
  const Case cases[] = {{0, 18}, {50, 68}, {150, 170}, {250, 270}, {16384, 16566}, {999999, 1010017}};
  Bytes out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.u);
    for (size_t produced : {c.room, c.room + 1}) {
      Bytes in = concat(digits(c.u), zlibStream(Bytes(produced, 'q')));
      int rc = ExpandBlock(in, out);
      if (produced <= c.room) {
        EXPECT_EQ(rc, Z_OK);
        EXPECT_EQ(out, Bytes(produced, 'q'));
      } else {
        EXPECT_EQ(rc, Z_BUF_ERROR);
        EXPECT_EQ(out, Bytes(c.room, 'q')) << "what zlib made before it ran out of room";
      }
    }
  }
}

TEST(ExpandBlock, DamagedStreamsReturnZlibsCodeAndOnlyWhatZlibMade) {
  Bytes data = randomBytes(3000, 4);
  std::fill(data.begin() + 1000, data.begin() + 2000, 'z');
  Bytes block;
  ASSERT_EQ(CompressBlock(data, block), Z_OK);
  const Bytes in = expandInput(block);
  Bytes out;

  // Cut short anywhere: an error, and what came out is a beginning of the data.
  for (size_t n = 6; n < in.size(); n += 97) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ExpandBlock(Bytes(in.begin(), in.begin() + n), out), Z_DATA_ERROR);
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }

  // Any flipped bit of the stream is either caught or changes nothing (the
  // padding bits of the last deflate byte are not read).
  for (size_t i = 6; i < in.size(); ++i) {
    for (uint8_t bit : {0x01, 0x80}) {
      Bytes bad = in;
      bad[i] ^= bit;
      int rc = ExpandBlock(bad, out);
      EXPECT_LE(out.size(), 3000u + 30u + 18u);
      if (rc == Z_OK) EXPECT_EQ(out, data) << "byte " << i << " bit " << int{bit};
    }
  }
}

TEST(ExpandBlock, ALengthHigherThanTheDataStillGivesTheDataOnly) {
  Bytes data(300, 'k');
  Bytes in = concat(digits(5000), zlibStream(data));
  Bytes out;
  EXPECT_EQ(ExpandBlock(in, out), Z_OK);
  EXPECT_EQ(out, data);
}

}  // namespace
}  // namespace bq
