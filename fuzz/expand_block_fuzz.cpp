// ExpandBlock and the checked block-sequence reader on arbitrary bytes, and
// the round trip of arbitrary data through both forms.
//
// Any byte string must give ExpandBlock no more than its room for the
// announced length and expandBlockSequence either the data or an
// AutomationError; data compressed by either form must come back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "common/automation_error.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/blocks.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> in(data, size);
  std::vector<uint8_t> out;

  // One block's tail (length digits and stream), as the format's readers
  // hand it over.
  int rc = bq::ExpandBlock(in, out);
  check(out.size() <= expandRoom(in));
  if (expandRoom(in) == 0) check(rc != 0 && out.empty());

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
