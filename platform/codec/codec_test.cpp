#include "platform/codec/codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bq::codec {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Codec, CompressesAndExpandsWithZlibsCodes) {
  const std::string text(5000, 'a');
  const Bytes data(text.begin(), text.end());
  Bytes stream(100);
  size_t z = 0;
  ASSERT_EQ(compress(stream, z, data), kZOk);
  EXPECT_LT(z, 100u);
  Bytes back(data.size());
  size_t u = 0;
  ASSERT_EQ(uncompress(back, u, std::span(stream).first(z)), kZOk);
  EXPECT_EQ(u, data.size());
  EXPECT_EQ(back, data);
  // Too little room, a damaged stream.
  Bytes small(10);
  EXPECT_EQ(compress(small, z, data), kZBufError);
  stream[2] ^= 0xFF;
  EXPECT_EQ(uncompress(back, u, std::span(stream).first(z)), kZDataError);
  EXPECT_EQ(zlibErrorText(kZDataError), "data error");
}

TEST(Codec, ChecksAndDigests) {
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(adler32(std::span(reinterpret_cast<const uint8_t*>(wiki.data()), wiki.size())),
            0x11E60398u);
  EXPECT_EQ(adler32({}), 1u);
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace bq::codec
