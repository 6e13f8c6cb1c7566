// Block sequences: a whole byte string stored as compressed blocks.
//
// The data is cut into pieces of kBlockPieceSize bytes (the last piece holds
// the remaining 1 to kBlockPieceSize bytes), each piece becomes one block
// (CompressBlock, dbmaint/blocks.h) and the blocks follow one another with
// nothing between them and nothing after the last. Empty data gives an empty
// sequence. Question files kept in the exam database and the body of a backup
// file (after its marker) have this form.
//
// Reading is strict. Every block must have a full header of digit values
// 0-9, the whole zlib stream it announces, a stream that zlib expands without
// error, and exactly the announced number of bytes with the stream ending at
// the announced length. The first block that fails any of these stops the
// read with AutomationError number kDamagedBlockError and a description
//   "Damaged compressed block K at byte offset N: <what is wrong>"
// where K counts blocks from 1 and N is the offset of the block's first
// header byte from the start of the sequence. Readers that must behave as the
// original did (take whatever zlib produced and go on) call ExpandBlock
// themselves; these functions are for callers that must not receive partial
// data without knowing it.
//
// Any piece length up to the format's limit is accepted when reading; only
// writing fixes the piece size.
//
// Thread safety: no shared state; the functions may run concurrently on
// different data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/automation_error.h"

namespace bq {

// Uncompressed bytes per block written by this system.
inline constexpr size_t kBlockPieceSize = 16384;

// Error number of a damaged block sequence: run-time error 5, "Invalid
// procedure call or argument" (the data handed in is not a block sequence).
inline constexpr int32_t kDamagedBlockError = err::kInvalidCall;

// Bytes of a block's header: the stream's length Z, then the data's length U.
inline constexpr size_t kBlockHeaderSize = 12;

// The two lengths a block header announces.
struct BlockLengths {
  size_t stream = 0;  // Z
  size_t data = 0;    // U
};

// The lengths in the first kBlockHeaderSize bytes of `header`; nothing when
// fewer bytes are given or one of them is no digit value (0-9).
std::optional<BlockLengths> readBlockLengths(std::span<const uint8_t> header);

// The block sequence of `data`. The caller owns the result.
// On failure (zlib out of memory) throws AutomationError 7.
std::vector<uint8_t> compressBlockSequence(std::span<const uint8_t> data);

// The data that the block sequence `blocks` holds. The caller owns the result.
// On a damaged sequence throws AutomationError kDamagedBlockError (see above)
// and returns nothing at all.
std::vector<uint8_t> expandBlockSequence(std::span<const uint8_t> blocks);

// Streaming forms, for data too large to hold twice. Expanding keeps at most
// one piece and one block in memory. Compressing reads ahead of the blocks it
// hands to the sink: the pieces are compressed on other threads, up to 16 per
// core at once (256 KiB per core), while the source and the sink are called
// on the calling thread only.
//
// A ByteSource fills the front of the span it is given and returns the count
// of bytes it put there; it returns 0 only at the end of its data and may
// return fewer than asked at any time. A ByteSink takes all of the bytes it
// is given. Either reports its own failures by throwing; the functions below
// let such an exception pass unchanged and call neither again.
using ByteSource = std::function<size_t(std::span<uint8_t>)>;
using ByteSink = std::function<void(std::span<const uint8_t>)>;

struct BlockStreamCounts {
  uint64_t bytesIn = 0;   // bytes taken from the source
  uint64_t bytesOut = 0;  // bytes handed to the sink
  uint64_t blocks = 0;    // blocks written or read
};

// Reads `source` to its end and hands its block sequence to `sink`, block by
// block. The bytes handed over are those of compressBlockSequence on the whole
// data. On failure throws as compressBlockSequence does; the sink may then
// have received the blocks of the pieces before.
BlockStreamCounts compressBlockStream(const ByteSource& source, const ByteSink& sink);

// Reads the block sequence in `source` to its end and hands the data of each
// block to `sink` once the block has been checked. On a damaged block throws
// AutomationError kDamagedBlockError as expandBlockSequence does; the sink has
// then received the data of every block before the damaged one and nothing
// of it or after it, so a caller that writes the data somewhere must discard
// what it wrote.
BlockStreamCounts expandBlockStream(const ByteSource& source, const ByteSink& sink);

}  // namespace bq
