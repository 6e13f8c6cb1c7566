// Where the final block of a raw deflate stream lies, so that streams made
// apart (by libdeflate, which has no sync flush) can be joined into one.
//
// Thread safety: no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bq::codec {

// Bit offsets in a raw deflate stream, counted from its first byte's least
// significant bit.
struct FinalBlock {
  size_t start = 0;  // the final block's first header bit (BFINAL)
  size_t end = 0;    // just past its end-of-block code
};

// Walks every block of the raw deflate stream `stream` (stored blocks by
// their length, coded blocks symbol by symbol, without inflating) up to the
// block marked final. Nothing when the stream is cut short or malformed
// before: an unused codeword, an over-subscribed code, a code-length code
// that is not complete, a length or distance symbol that deflate does not
// have. Reads no byte outside `stream`.
std::optional<FinalBlock> findFinalBlock(std::span<const uint8_t> stream);

}  // namespace bq::codec
