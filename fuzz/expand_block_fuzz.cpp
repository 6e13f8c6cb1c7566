// ExpandBlock and the checked block-sequence reader on arbitrary bytes, and
// the round trip of arbitrary data through both forms.
//
// Any byte string must give ExpandBlock no more than its room for the
// announced length and expandBlockSequence either the data or an
// AutomationError; data compressed by either form must come back unchanged.
// The inflate of the codec layer (libdeflate where it reads a stream as zlib
// does) must give zlib's own result code and bytes for the input read as a
// stream at each place the block formats put one, in the room ExpandBlock
// gives and in a room cut to half. Where zlib's raw inflate reads the input
// to a final block, the codec's walk must find that block's end in the same
// byte; and the input as data, compressed in two pieces that are joined,
// must inflate to itself.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/blocks.h"
#include "platform/codec/codec.h"
#include "platform/codec/deflate_join.h"

namespace {

// The room ExpandBlock gives zlib for the length in in[0..5] (the length plus
// a hundredth plus 18, rounded half to even); 0 when the input does not hold
// six digit values.
size_t expandRoom(std::span<const uint8_t> in) {
  if (in.size() < 6) return 0;
  size_t u = 0;
  for (size_t i = 0; i < 6; ++i) {
    if (in[i] > 9) return 0;
    u = u * 10 + in[i];
  }
  size_t hundredths = 101 * u + 1800;
  size_t room = hundredths / 100;
  if (hundredths % 100 > 50 || (hundredths % 100 == 50 && room % 2 == 1)) ++room;
  return room;
}

void check(bool ok) {
  if (!ok) std::abort();
}

// codec::uncompress against zlib's uncompress on `stream` in `room` bytes.
void checkSameAsZlib(std::span<const uint8_t> stream, size_t room) {
  std::vector<uint8_t> ours(room), theirs(room);
  size_t n = 0;
  const int rc = bq::codec::uncompress(ours, n, stream);
  uLongf m = room;
  const int zrc = ::uncompress(theirs.data(), &m, stream.data(), stream.size());
  check(rc == zrc && n == m && std::equal(ours.begin(), ours.begin() + n, theirs.begin()));
}

// findFinalBlock against zlib's raw inflate on `raw`.
void checkFinalBlockAsZlib(std::span<const uint8_t> raw) {
  const std::optional<bq::codec::FinalBlock> final = bq::codec::findFinalBlock(raw);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return;
  std::vector<uint8_t> out(1 << 16);
  z.next_in = const_cast<uint8_t*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) break;  // cut short
  }
  const size_t consumed = raw.size() - z.avail_in;
  inflateEnd(&z);
  if (rc == Z_STREAM_END) check(final && (final->end + 7) / 8 == consumed);
}

// `data` compressed in two joined pieces, at a level and a cut it chooses.
void checkJoinedPieces(std::span<const uint8_t> data) {
  const int level = data.empty() ? 1 : 1 + data[0] % 12;
  const size_t cut = data.empty() ? 0 : (data[data.size() / 2] * data.size()) / 256;
  std::vector<uint8_t> stream = {0x78, 0x9C};
  for (const auto& [piece, last] : {std::pair{data.first(cut), false}, {data.subspan(cut), true}}) {
    const std::vector<uint8_t> part = bq::codec::deflateJoinable(piece, level, last);
    check(!part.empty());
    stream.insert(stream.end(), part.begin(), part.end());
  }
  const uint32_t adler = bq::codec::adler32(data);
  for (int shift = 24; shift >= 0; shift -= 8)
    stream.push_back(static_cast<uint8_t>(adler >> shift));
  std::vector<uint8_t> back(data.size() + 1);
  uLongf n = back.size();
  check(::uncompress(back.data(), &n, stream.data(), stream.size()) == Z_OK && n == data.size() &&
        std::equal(data.begin(), data.end(), back.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> in(data, size);
  std::vector<uint8_t> out;

  // One block's tail (length digits and stream), as the format's readers
  // hand it over.
  int rc = bq::ExpandBlock(in, out);
  check(out.size() <= expandRoom(in));
  if (expandRoom(in) == 0) check(rc != 0 && out.empty());

  // The stream after a block tail's six digits, after a whole header, and
  // the input itself.
  for (size_t at : {size_t{6}, size_t{12}, size_t{0}}) {
    if (size < at) continue;
    const size_t room = std::max<size_t>(expandRoom(in), 64);
    checkSameAsZlib(in.subspan(at), room);
    checkSameAsZlib(in.subspan(at), room / 2);
  }

  checkFinalBlockAsZlib(in);
  if (size >= 2) checkFinalBlockAsZlib(in.subspan(2));
  checkJoinedPieces(in);

  // A whole block sequence, checked.
  try {
    std::vector<uint8_t> back = bq::expandBlockSequence(in);
    // What passed the checks compresses to blocks that expand the same way.
    check(bq::expandBlockSequence(bq::compressBlockSequence(back)) == back);
  } catch (const bq::AutomationError& e) {
    check(e.number() == bq::kDamagedBlockError);
  }

  // The input as data: one block, and a block sequence.
  std::vector<uint8_t> block, again;
  if (size >= 1000000) {
    check(bq::CompressBlock(in, block) != 0 && block.empty());  // six digits cannot hold the length
  } else {
    check(bq::CompressBlock(in, block) == 0);
    check(bq::ExpandBlock(std::span<const uint8_t>(block).subspan(6), again) == 0);
    check(std::equal(again.begin(), again.end(), in.begin(), in.end()));
  }
  check(bq::expandBlockSequence(bq::compressBlockSequence(in)) ==
        std::vector<uint8_t>(in.begin(), in.end()));
  return 0;
}
