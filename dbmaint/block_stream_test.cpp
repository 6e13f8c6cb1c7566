#include "dbmaint/block_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>

#include "dbmaint/blocks.h"

namespace bq {
namespace {

using Bytes = std::vector<uint8_t>;

// Runs of text and of random bytes, so that blocks differ in size.
Bytes mixedData(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    b[i] = (i / 1000) % 2 ? static_cast<uint8_t>(rng()) : "the quick brown fox "[i % 20];
  }
  return b;
}

// Hands out `data` in pieces of at most `step` bytes.
ByteSource sourceOf(const Bytes& data, size_t step) {
  auto at = std::make_shared<size_t>(0);
  return [&data, step, at](std::span<uint8_t> buf) {
    size_t n = std::min({buf.size(), data.size() - *at, step});
    std::copy_n(data.begin() + *at, n, buf.begin());
    *at += n;
    return n;
  };
}

ByteSink sinkInto(Bytes& out) {
  return [&out](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); };
}

// The offset of each block of a sound sequence.
std::vector<size_t> blockOffsets(const Bytes& seq) {
  std::vector<size_t> offsets;
  for (size_t at = 0; at < seq.size();) {
    offsets.push_back(at);
    size_t z = 0;
    for (size_t i = 0; i < 6; ++i) z = z * 10 + seq[at + i];
    at += 12 + z;
  }
  return offsets;
}

TEST(BlockStream, RoundTripsAroundThePieceSize) {
  // Also about the groups of eight pieces that compressing hands to its
  // threads, and past the groups it keeps in hand at once.
  for (size_t size : {0, 1, 16383, 16384, 16385, 3 * 16384 + 7, 8 * 16384, 8 * 16384 + 1,
                      64 * 16384, 64 * 16384 + 1, 130 * 16384 + 5}) {
    SCOPED_TRACE(size);
    const Bytes data = mixedData(size, static_cast<uint32_t>(size));
    const Bytes seq = compressBlockSequence(data);
    // Back to back, one block per 16384-byte piece.
    std::vector<size_t> off = blockOffsets(seq);
    ASSERT_EQ(off.size(), (size + 16383) / 16384);
    off.push_back(seq.size());
    for (size_t k = 0; k + 1 < off.size(); ++k) {
      Bytes block;
      ASSERT_EQ(CompressBlock(std::span(data).subspan(k * 16384).first(
                                  std::min<size_t>(16384, size - k * 16384)),
                              block),
                0);
      EXPECT_EQ(Bytes(seq.begin() + off[k], seq.begin() + off[k + 1]), block) << "block " << k + 1;
    }
    EXPECT_EQ(expandBlockSequence(seq), data);
    // The streaming forms agree, however the source hands out its bytes.
    for (size_t step : {1 << 20, 7}) {
      Bytes streamed, back;
      const uint64_t blocks = off.size() - 1;
      BlockStreamCounts c = compressBlockStream(sourceOf(data, step), sinkInto(streamed));
      EXPECT_EQ(streamed, seq);
      EXPECT_EQ(std::tuple(c.bytesIn, c.bytesOut, c.blocks), std::tuple(size, seq.size(), blocks));
      c = expandBlockStream(sourceOf(seq, step), sinkInto(back));
      EXPECT_EQ(back, data);
      EXPECT_EQ(std::tuple(c.bytesIn, c.bytesOut, c.blocks), std::tuple(seq.size(), size, blocks));
    }
  }
}

TEST(BlockStream, ReportsTheFirstDamagedBlockWithItsOffset) {
  const Bytes data = mixedData(3 * 16384 + 7, 11);
  const Bytes sound = compressBlockSequence(data);
  const std::vector<size_t> off = blockOffsets(sound);
  ASSERT_EQ(off.size(), 4u);
  auto setDigits = [](Bytes& b, size_t at, size_t v) {
    for (size_t i = 6; i-- > 0; v /= 10) b[at + i] = static_cast<uint8_t>(v % 10);
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    size_t block;  // counted from 1
    size_t offset;
    const char* text;
  };
  const Case cases[] = {
      {"non-digit length", [&](Bytes& b) { b[off[1] + 8] = 10; }, 2, off[1],
       "header byte 8 holds 10"},
      {"stream cut", [&](Bytes& b) { b.resize(off[3] - 10); }, 3, off[2], "stream but only"},
      {"header cut", [&](Bytes& b) { b.resize(off[3] + 5); }, 4, off[3], "only 5 of the 12 header"},
      {"bytes behind the last block", [&](Bytes& b) { b.push_back(0); }, 5, sound.size(),
       "only 1 of"},
      {"flipped stream byte", [&](Bytes& b) { b[off[0] + 40] ^= 0x10; }, 1, 0, "zlib reports"},
      {"data length too large", [&](Bytes& b) { setDigits(b, off[1] + 6, 16385); }, 2, off[1],
       "expands to 16384 bytes but the header announces 16385"},
      {"data length too small", [&](Bytes& b) { setDigits(b, off[1] + 6, 1000); }, 2, off[1],
       "zlib reports \"buffer error\" (-5); 1028 bytes came out, the header announces 1000"},
      {"stream length too large",
       [&](Bytes& b) {
         setDigits(b, off[0], off[1] - 12 + 1);
         b.insert(b.begin() + off[1], 0);
       },
       1, 0, "ends before the announced"},
      {"two damaged blocks",
       [&](Bytes& b) {
         b[off[2] + 30] ^= 0xff;
         b[off[1] + 30] ^= 0xff;
       },
       2, off[1], "zlib reports"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bad = sound;
    c.damage(bad);
    const std::string prefix = "Damaged compressed block " + std::to_string(c.block) +
                               " at byte offset " + std::to_string(c.offset) + ": ";
    Bytes got;
    for (bool streaming : {false, true}) {
      try {
        if (streaming) {
          expandBlockStream(sourceOf(bad, 4096), sinkInto(got));
        } else {
          expandBlockSequence(bad);
        }
        ADD_FAILURE() << "no error";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), kDamagedBlockError);
        EXPECT_EQ(e.description().rfind(prefix, 0), 0u) << e.description();
        EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
      }
    }
    // The stream handed over the data of the blocks before the damaged one only.
    EXPECT_EQ(got,
              Bytes(data.begin(), data.begin() + std::min(data.size(), (c.block - 1) * 16384)));
  }
}

TEST(BlockStream, CompressingReadsAheadBoundedlyAndCallsBackOnTheCallingThread) {
  const Bytes data = mixedData(300 * 16384 + 11, 5);
  const Bytes seq = compressBlockSequence(data);
  const auto caller = std::this_thread::get_id();
  size_t read = 0, written = 0, aheadMost = 0;
  bool otherThread = false;
  const ByteSource counted = [&, inner = sourceOf(data, 5000)](std::span<uint8_t> buf) {
    otherThread |= std::this_thread::get_id() != caller;
    const size_t n = inner(buf);
    read += n;
    return n;
  };
  Bytes streamed;
  compressBlockStream(counted, [&](std::span<const uint8_t> b) {
    otherThread |= std::this_thread::get_id() != caller;
    streamed.insert(streamed.end(), b.begin(), b.end());
    written += 16384;
    aheadMost = std::max(aheadMost, read - std::min(read, written));
  });
  EXPECT_EQ(streamed, seq);
  EXPECT_FALSE(otherThread) << "the source and the sink belong to the calling thread";
  // Two groups of eight pieces per core, and the group being read.
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  EXPECT_LE(aheadMost, (16 * cores + 8) * 16384);
  EXPECT_GT(aheadMost, 8 * 16384u) << "nothing was read ahead: no overlap";
}

TEST(BlockStream, ASourceFailingMidwayLeavesWholeBlocksOnly) {
  const Bytes data = mixedData(100 * 16384, 8);
  const Bytes seq = compressBlockSequence(data);
  size_t calls = 0;
  const ByteSource failing = [&, inner = sourceOf(data, 16384)](std::span<uint8_t> buf) {
    if (++calls == 50) throw AutomationError(57, "", "I/O");
    return inner(buf);
  };
  Bytes got;
  try {
    compressBlockStream(failing, sinkInto(got));
    ADD_FAILURE() << "the source's failure did not pass";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 57);
  }
  EXPECT_EQ(calls, 50u) << "the source was called again after it failed";
  // A beginning of the sequence, ending at a block's end.
  ASSERT_LE(got.size(), seq.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), seq.begin()));
  const std::vector<size_t> off = blockOffsets(seq);
  EXPECT_TRUE(got.empty() || std::find(off.begin(), off.end(), got.size()) != off.end());
}

TEST(BlockStream, FailuresOfTheSourceOrSinkPassUnchanged) {
  const Bytes data = mixedData(40000, 3);
  const Bytes seq = compressBlockSequence(data);
  auto badSource = [](std::span<uint8_t>) -> size_t { throw AutomationError(57, "", "I/O"); };
  int sinkCalls = 0;
  auto badSink = [&](std::span<const uint8_t>) {
    ++sinkCalls;
    throw AutomationError(61, "", "Disk full");
  };
  auto errorNumber = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  };
  Bytes ignored;
  EXPECT_EQ(errorNumber([&] { compressBlockStream(badSource, sinkInto(ignored)); }), 57);
  EXPECT_EQ(errorNumber([&] { expandBlockStream(badSource, sinkInto(ignored)); }), 57);
  EXPECT_EQ(errorNumber([&] { compressBlockStream(sourceOf(data, 100000), badSink); }), 61);
  EXPECT_EQ(errorNumber([&] { expandBlockStream(sourceOf(seq, 100000), badSink); }), 61);
  EXPECT_EQ(sinkCalls, 2) << "nothing more after the sink failed";
}

}  // namespace
}  // namespace bq
