#include "dbmaint/block_stream.h"

#include <algorithm>
#include <deque>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "dbmaint/blocks.h"
#include "platform/codec/codec.h"

namespace bq {
namespace {

constexpr size_t kHeaderSize = kBlockHeaderSize;
constexpr size_t kDigits = 6;
constexpr int32_t kInternalError = 51;

// Where a block lies in its sequence, for the error text.
struct BlockPlace {
  uint64_t number = 1;  // counted from 1
  uint64_t offset = 0;  // of its first header byte
};

struct BlockHeader {
  size_t z = 0;  // stream length
  size_t u = 0;  // uncompressed length
};

[[noreturn]] void damaged(const BlockPlace& at, const std::string& what) {
  throw AutomationError(kDamagedBlockError, {},
                        "Damaged compressed block " + std::to_string(at.number) +
                            " at byte offset " + std::to_string(at.offset) + ": " + what);
}

void checkHeaderPresent(size_t present, const BlockPlace& at) {
  if (present < kHeaderSize) {
    damaged(at, "only " + std::to_string(present) + " of the 12 header bytes are present");
  }
}

// REQUIRES: header.size() >= 12.
BlockHeader parseHeader(std::span<const uint8_t> header, const BlockPlace& at) {
  BlockHeader h;
  for (size_t i = 0; i < kHeaderSize; ++i) {
    if (header[i] > 9) {
      damaged(at, "header byte " + std::to_string(i) + " holds " + std::to_string(header[i]) +
                      ", which is not a decimal digit value");
    }
    size_t& field = i < kDigits ? h.z : h.u;
    field = field * 10 + header[i];
  }
  return h;
}

void checkStreamPresent(size_t present, const BlockHeader& h, const BlockPlace& at) {
  if (present < h.z) {
    damaged(at, "the header announces a " + std::to_string(h.z) + "-byte stream but only " +
                    std::to_string(present) + " bytes follow");
  }
}

uint32_t bigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// Expands the whole block `block` (header and stream) into `out` and checks
// the result against the header.
// REQUIRES: block.size() == 12 + h.z.
void expandChecked(std::span<const uint8_t> block, const BlockHeader& h, const BlockPlace& at,
                   std::vector<uint8_t>& out) {
  int rc = ExpandBlock(block.subspan(kDigits), out);
  if (rc != codec::kZOk) {
    damaged(at, "zlib reports \"" + codec::zlibErrorText(rc) + "\" (" + std::to_string(rc) + "); " +
                    std::to_string(out.size()) + " bytes came out, the header announces " +
                    std::to_string(h.u));
  }
  if (out.size() != h.u) {
    damaged(at, "the stream expands to " + std::to_string(out.size()) +
                    " bytes but the header announces " + std::to_string(h.u));
  }
  // zlib stops at the end of the stream and ignores what lies behind it. A
  // stream that ends exactly at the announced length carries the Adler-32
  // check of the data in its last four bytes.
  const uint32_t check = codec::adler32(out);
  if (h.z < 4 || bigEndian32(block.data() + block.size() - 4) != check) {
    damaged(at, "the zlib stream ends before the announced " + std::to_string(h.z) + " bytes");
  }
}

void compressPiece(std::span<const uint8_t> piece, std::vector<uint8_t>& block) {
  int rc = CompressBlock(piece, block);
  if (rc == codec::kZMemError) raiseError(err::kOutOfMemory);
  // With pieces of kBlockPieceSize bytes zlib has room to spare and no other
  // code can come back.
  if (rc != codec::kZOk) {
    throw AutomationError(kInternalError, {},
                          "zlib could not compress a piece: " + codec::zlibErrorText(rc));
  }
}

// Fills `buf` from `source` as far as the source goes; the count filled.
size_t readFull(const ByteSource& source, std::span<uint8_t> buf) {
  size_t filled = 0;
  while (filled < buf.size()) {
    size_t n = source(buf.subspan(filled));
    if (n == 0) break;
    if (n > buf.size() - filled)
      throw std::logic_error("ByteSource returned more bytes than asked for");
    filled += n;
  }
  return filled;
}

}  // namespace

std::optional<BlockLengths> readBlockLengths(std::span<const uint8_t> header) {
  if (header.size() < kHeaderSize) return std::nullopt;
  BlockLengths l;
  for (size_t i = 0; i < kHeaderSize; ++i) {
    if (header[i] > 9) return std::nullopt;
    size_t& field = i < kDigits ? l.stream : l.data;
    field = field * 10 + header[i];
  }
  return l;
}

std::vector<uint8_t> compressBlockSequence(std::span<const uint8_t> data) {
  std::vector<uint8_t> result;
  std::vector<uint8_t> block;
  for (size_t at = 0; at < data.size(); at += kBlockPieceSize) {
    compressPiece(data.subspan(at, std::min(kBlockPieceSize, data.size() - at)), block);
    result.insert(result.end(), block.begin(), block.end());
  }
  return result;
}

std::vector<uint8_t> expandBlockSequence(std::span<const uint8_t> blocks) {
  std::vector<uint8_t> result;
  std::vector<uint8_t> piece;
  BlockPlace at;
  while (at.offset < blocks.size()) {
    std::span<const uint8_t> rest = blocks.subspan(at.offset);
    checkHeaderPresent(rest.size(), at);
    BlockHeader h = parseHeader(rest, at);
    checkStreamPresent(rest.size() - kHeaderSize, h, at);
    expandChecked(rest.first(kHeaderSize + h.z), h, at, piece);
    result.insert(result.end(), piece.begin(), piece.end());
    at.offset += kHeaderSize + h.z;
    ++at.number;
  }
  return result;
}

BlockStreamCounts compressBlockStream(const ByteSource& source, const ByteSink& sink) {
  BlockStreamCounts counts;
  // Reading, compressing and writing overlap: the source is read here a group
  // of pieces at a time, each group is compressed on a thread of its own
  // (each block as it would be alone), and the blocks go to the sink here in
  // order, the oldest group first. At most two groups per core are in hand
  // at once, so memory stays flat however long the source is. A group of
  // several pieces keeps the cost of starting its thread small beside the
  // cost of compressing it.
  constexpr size_t kGroup = 8;
  const size_t inFlight = 2 * std::max(1u, std::thread::hardware_concurrency());
  using Group = std::vector<std::vector<uint8_t>>;
  std::deque<std::future<Group>> jobs;
  auto collectOldest = [&] {
    // A failure to compress comes out here, after the blocks before it.
    const Group blocks = jobs.front().get();
    jobs.pop_front();
    for (const std::vector<uint8_t>& block : blocks) {
      sink(block);
      counts.bytesOut += block.size();
      ++counts.blocks;
    }
  };
  bool ended = false;
  while (!ended) {
    Group pieces;
    while (pieces.size() < kGroup) {
      std::vector<uint8_t> piece(kBlockPieceSize);
      const size_t n = readFull(source, piece);
      counts.bytesIn += n;
      if (n < kBlockPieceSize) ended = true;
      if (n == 0) break;
      piece.resize(n);
      pieces.push_back(std::move(piece));
      if (ended) break;
    }
    if (!pieces.empty()) {
      while (jobs.size() >= inFlight) collectOldest();
      // On a thread of its own, or when none can be had, when it is collected.
      jobs.push_back(
          std::async(std::launch::async | std::launch::deferred, [pieces = std::move(pieces)] {
            Group blocks(pieces.size());
            for (size_t i = 0; i < pieces.size(); ++i) compressPiece(pieces[i], blocks[i]);
            return blocks;
          }));
    }
  }
  while (!jobs.empty()) collectOldest();
  return counts;
}

BlockStreamCounts expandBlockStream(const ByteSource& source, const ByteSink& sink) {
  BlockStreamCounts counts;
  std::vector<uint8_t> block(kHeaderSize);
  std::vector<uint8_t> piece;
  BlockPlace at;
  for (;;) {
    block.resize(kHeaderSize);
    size_t n = readFull(source, block);
    if (n == 0) break;
    counts.bytesIn += n;
    checkHeaderPresent(n, at);
    BlockHeader h = parseHeader(block, at);
    block.resize(kHeaderSize + h.z);
    n = readFull(source, std::span(block).subspan(kHeaderSize));
    counts.bytesIn += n;
    checkStreamPresent(n, h, at);
    expandChecked(block, h, at, piece);
    sink(piece);
    counts.bytesOut += piece.size();
    ++counts.blocks;
    at.offset += kHeaderSize + h.z;
    ++at.number;
  }
  return counts;
}

}  // namespace bq
