// CompressBlock and ExpandBlock against zlib's compress and uncompress on the
// same 16 KiB pieces of 64 MiB of mixed data, in the same run. Compressing is
// zlib's own (the goal: no loss to the block's header); expanding goes
// through the codec layer, which inflates with libdeflate (goal: 1.2 times
// zlib's throughput).
//
// Both sides write into output buffers allocated before the clock starts, one
// per piece, of the same capacity; they take turns on runs of pieces, and
// each figure is the best of three passes.
// Throughput is counted in uncompressed bytes. The block bytes are checked
// against zlib's streams, and the expanded pieces against the input, so a
// fast but wrong result cannot pass.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "bench/rng.h"
#include "dbmaint/blocks.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kTotal = 64u << 20;
constexpr size_t kPiece = 16384;
constexpr int kPasses = 3;

using bqbench::Rng;

// Runs of text-like words, random bytes, zeros and repeated short patterns.
Bytes mixedData() {
  static const char* const kWords[] = {
      "the",   "exam",  "question",    "answer",   "paragraph", "font", "table", "cell",
      "score", "slide", "Brightquill", "document", "range",     "\r\n", "12345", "宋体"};
  Rng rng{20240601};
  Bytes data;
  data.reserve(kTotal);
  while (data.size() < kTotal) {
    size_t run = 256 + rng.below(48 * 1024);
    switch (rng.below(4)) {
      case 0:  // text
        for (size_t end = data.size() + run; data.size() < end;) {
          const char* w = kWords[rng.below(std::size(kWords))];
          data.insert(data.end(), w, w + std::strlen(w));
          data.push_back(' ');
        }
        break;
      case 1:  // random
        for (size_t i = 0; i < run; ++i) data.push_back(static_cast<uint8_t>(rng.next()));
        break;
      case 2:  // zeros
        data.insert(data.end(), run, 0);
        break;
      default: {  // a short pattern, repeated
        Bytes pattern(1 + rng.below(64));
        for (auto& b : pattern) b = static_cast<uint8_t>(rng.next());
        for (size_t i = 0; i < run; ++i) data.push_back(pattern[i % pattern.size()]);
      }
    }
  }
  data.resize(kTotal);
  return data;
}

struct Best {
  double ours = 1e300;
  double zlib = 1e300;
};

// Work on the pieces [from, to).
using PieceRange = std::function<void(size_t from, size_t to)>;

// Best of kPasses over all `pieces` for each side. Within a pass the two sides
// take turns on runs of kTurn pieces (which one goes first alternating), so a
// change in the machine's load falls on both alike.
Best bestOfPasses(size_t pieces, const PieceRange& ours, const PieceRange& zlib) {
  constexpr size_t kTurn = 64;
  auto time = [](const PieceRange& work, size_t from, size_t to) {
    auto start = Clock::now();
    work(from, to);
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  Best best;
  for (int pass = 0; pass < kPasses; ++pass) {
    double o = 0, z = 0;
    for (size_t from = 0; from < pieces; from += kTurn) {
      size_t to = std::min(pieces, from + kTurn);
      if ((from / kTurn) % 2 == 0) {
        o += time(ours, from, to);
        z += time(zlib, from, to);
      } else {
        z += time(zlib, from, to);
        o += time(ours, from, to);
      }
    }
    best.ours = std::min(best.ours, o);
    best.zlib = std::min(best.zlib, z);
  }
  return best;
}

double mbPerSecond(double seconds) { return static_cast<double>(kTotal) / 1e6 / seconds; }

[[noreturn]] void fail(const char* what, size_t piece) {
  std::fprintf(stderr, "blocks_bench: %s (piece %zu)\n", what, piece);
  std::exit(1);
}

}  // namespace

int main() {
  const Bytes data = mixedData();
  const size_t n = kTotal / kPiece;
  auto piece = [&](size_t i) { return std::span<const uint8_t>(data).subspan(i * kPiece, kPiece); };
  // Room for a block of a full piece, as CompressBlock sizes it.
  const size_t blockRoom = kPiece + kPiece / 100 + 25;
  const size_t expandRoom = kPiece + kPiece / 100 + 20;

  // Compress.
  std::vector<Bytes> ours(n), theirs(n);
  std::vector<uLongf> theirLength(n);
  for (size_t i = 0; i < n; ++i) {
    ours[i].reserve(blockRoom);
    theirs[i].resize(blockRoom);
  }
  auto oursCompress = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (bq::CompressBlock(piece(i), ours[i]) != Z_OK) fail("CompressBlock failed", i);
    }
  };
  auto zlibCompress = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      theirLength[i] = blockRoom - 12;
      if (compress(theirs[i].data() + 12, &theirLength[i], piece(i).data(), kPiece) != Z_OK) {
        fail("compress failed", i);
      }
    }
  };
  const Best compressTime = bestOfPasses(n, oursCompress, zlibCompress);
  size_t compressed = 0;
  for (size_t i = 0; i < n; ++i) {
    if (ours[i].size() != 12 + theirLength[i] ||
        !std::equal(ours[i].begin() + 12, ours[i].end(), theirs[i].begin() + 12)) {
      fail("block differs from zlib's stream", i);
    }
    compressed += ours[i].size();
  }

  // Expand.
  std::vector<Bytes> oursBack(n), theirsBack(n);
  for (size_t i = 0; i < n; ++i) {
    oursBack[i].reserve(expandRoom);
    theirsBack[i].resize(expandRoom);
  }
  auto oursExpand = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (bq::ExpandBlock(std::span<const uint8_t>(ours[i]).subspan(6), oursBack[i]) != Z_OK) {
        fail("ExpandBlock failed", i);
      }
    }
  };
  auto zlibExpand = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      uLongf len = expandRoom - 1;
      if (uncompress(theirsBack[i].data(), &len, theirs[i].data() + 12, theirLength[i]) != Z_OK ||
          len != kPiece) {
        fail("uncompress failed", i);
      }
    }
  };
  const Best expandTime = bestOfPasses(n, oursExpand, zlibExpand);
  for (size_t i = 0; i < n; ++i) {
    if (!std::equal(oursBack[i].begin(), oursBack[i].end(), piece(i).begin(), piece(i).end())) {
      fail("expanded piece differs from the input", i);
    }
  }

  std::printf("data: %zu MiB in %zu pieces of %zu bytes, blocks %.1f%% of the data\n", kTotal >> 20,
              n, kPiece, 100.0 * static_cast<double>(compressed) / static_cast<double>(kTotal));
  std::printf("compress: CompressBlock %.1f MB/s, zlib compress %.1f MB/s\n",
              mbPerSecond(compressTime.ours), mbPerSecond(compressTime.zlib));
  std::printf("compress: ratio ours/zlib throughput = %.3f (goal >= 0.95)\n",
              compressTime.zlib / compressTime.ours);
  std::printf("expand: ExpandBlock %.1f MB/s, zlib uncompress %.1f MB/s\n",
              mbPerSecond(expandTime.ours), mbPerSecond(expandTime.zlib));
  std::printf("expand: ratio ours/zlib throughput = %.3f (goal >= 1.2)\n",
              expandTime.zlib / expandTime.ours);
  return 0;
}
