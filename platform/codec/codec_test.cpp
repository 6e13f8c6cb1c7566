#include "platform/codec/codec.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/codec/deflate_join.h"
#include "platform/codec/inflate_walk.h"

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

// ------------------------------------------------- inflating as zlib does

struct Inflated {
  int rc = 0;
  Bytes out;  // the bytes reported produced
  bool operator==(const Inflated&) const = default;
};

Inflated ours(std::span<const uint8_t> stream, size_t room) {
  Bytes out(room);
  size_t n = 0;
  Inflated r;
  r.rc = uncompress(out, n, stream);
  r.out.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  return r;
}

Inflated zlibs(std::span<const uint8_t> stream, size_t room) {
  Bytes out(room);
  uLongf n = room;
  Inflated r;
  r.rc = ::uncompress(out.data(), &n, stream.data(), stream.size());
  r.out.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  return r;
}

// libdeflate on its own; nothing when it refuses the stream.
std::optional<Bytes> libdeflateAlone(std::span<const uint8_t> stream, size_t room) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  Bytes out(room);
  size_t n = 0;
  const bool ok = libdeflate_zlib_decompress(d, stream.data(), stream.size(), out.data(), room,
                                             &n) == LIBDEFLATE_SUCCESS;
  libdeflate_free_decompressor(d);
  if (!ok) return std::nullopt;
  out.resize(n);
  return out;
}

// Every way of reading `stream` that the block format meets: rooms from none
// to more than enough, the stream cut short at every length, and (for the
// first `flipBytes` bytes) every single bit flipped. Counts the comparisons.
size_t expectSameAsZlib(const Bytes& stream, size_t flipBytes, const std::string& name) {
  size_t compared = 0;
  auto compare = [&](std::span<const uint8_t> s, size_t room, const std::string& how) {
    ++compared;
    const Inflated z = zlibs(s, room);
    ASSERT_EQ(ours(s, room), z) << name << ": " << how << ", room " << room << ", zlib rc " << z.rc;
  };
  const Inflated whole = zlibs(stream, 1 << 20);
  const size_t size = whole.out.size();
  for (size_t room : {size_t{0}, size_t{1}, size / 2, size, size + 1, size + 100, size_t{1} << 20})
    compare(stream, room, "whole");
  const size_t room = size + size / 100 + 18;
  // Streams of blocks near the format's million bytes: fewer damaged copies.
  const size_t maxCuts = size > 65536 ? 30 : 100;
  if (size > 65536) flipBytes = std::min<size_t>(flipBytes, 4);
  // Every cut near the ends (headers, the last block, the check) and about
  // as many between.
  const size_t step = std::max<size_t>(1, stream.size() / maxCuts);
  for (size_t cut = 0; cut < stream.size();
       cut += (cut < maxCuts || stream.size() - cut < maxCuts) ? 1 : step)
    compare(std::span(stream).first(cut), room, "cut to " + std::to_string(cut));
  Bytes damaged = stream;
  for (size_t bit = 0; bit < 8 * std::min(flipBytes, stream.size()); ++bit) {
    damaged[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    compare(damaged, room, "bit " + std::to_string(bit) + " flipped");
    damaged[bit / 8] = stream[bit / 8];
  }
  return compared;
}

Bytes zlibStream(const Bytes& data, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Text, random bytes and runs, as the blocks of question files and backups hold.
Bytes sampleData(size_t size, uint32_t seed) {
  Bytes d;
  uint64_t s = seed;
  auto next = [&s] {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  };
  static const std::string words = "exam score 段落 question answer 12.5 ";
  while (d.size() < size) {
    size_t run = 1 + next() % 600;
    switch (next() % 3) {
      case 0:
        while (run-- > 0) d.push_back(static_cast<uint8_t>(words[next() % words.size()]));
        break;
      case 1:
        while (run-- > 0) d.push_back(static_cast<uint8_t>(next()));
        break;
      default:
        d.insert(d.end(), run, static_cast<uint8_t>(next()));
    }
  }
  d.resize(size);
  return d;
}

// Where zlib streams begin in a seed of the block fuzzers: after the six
// digits of a block's tail and after the header of each block of a sequence
// (which follows the marker in a backup file). What follows a stream is
// read with it, as the readers hand it over.
std::vector<size_t> streamStarts(const Bytes& seed) {
  std::vector<size_t> starts = {6, 12};
  const std::string marker = "BQCompressPattern";
  size_t at = seed.size() >= marker.size() && std::equal(marker.begin(), marker.end(), seed.begin())
                  ? marker.size()
                  : 0;
  while (seed.size() - at >= 12) {
    size_t z = 0;
    for (size_t i = 0; i < 6 && z != SIZE_MAX; ++i)
      z = seed[at + i] > 9 ? SIZE_MAX : z * 10 + seed[at + i];
    if (z == SIZE_MAX || !std::all_of(seed.begin() + at + 6, seed.begin() + at + 12,
                                      [](uint8_t b) { return b <= 9; }))
      break;
    if (at + 12 > 12) starts.push_back(at + 12);
    if (seed.size() - at - 12 < z) break;
    at += 12 + z;
  }
  return starts;
}

TEST(Uncompress, SameBytesAndCodeAsZlibOnTheFuzzSeeds) {
  namespace fs = std::filesystem;
  const fs::path seeds = BQ_BLOCK_SEEDS;
  size_t streams = 0, compared = 0;
  for (const fs::path& dir : {seeds, seeds.parent_path() / "field_export_fuzz",
                              seeds.parent_path() / "backup_file_fuzz"}) {
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const Bytes seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      for (size_t at : streamStarts(seed)) {
        if (at >= seed.size()) continue;
        ++streams;
        compared +=
            expectSameAsZlib(Bytes(seed.begin() + static_cast<std::ptrdiff_t>(at), seed.end()), 64,
                             entry.path().filename().string() + "@" + std::to_string(at));
        if (HasFatalFailure()) return;
      }
    }
  }
  EXPECT_GE(streams, 20u);
  EXPECT_GT(compared, 10000u);
}

TEST(Uncompress, SameBytesAndCodeAsZlibOnEveryKindOfBlock) {
  // Stored, fixed-code and dynamic blocks, one or several, of zlib's levels
  // and strategies.
  for (size_t size : {size_t{0}, size_t{1}, size_t{40}, size_t{3000}, size_t{16384}}) {
    const Bytes data = sampleData(size, static_cast<uint32_t>(size));
    for (int level : {0, 1, 6, 9}) {
      for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE}) {
        const Bytes stream = zlibStream(data, level, strategy);
        ASSERT_EQ(zlibs(stream, size + 1).out, data);
        expectSameAsZlib(stream, size > 3000 ? 24 : 400,
                         "size " + std::to_string(size) + " level " + std::to_string(level) +
                             " strategy " + std::to_string(strategy));
        if (HasFatalFailure()) return;
      }
    }
  }
}

TEST(Uncompress, ZlibsOwnStreamsTakeTheFastPath) {
  // zlib writes none of what libdeflate reads otherwise; should the walk
  // refuse its streams, inflating would quietly lose its speed.
  Bytes noise(16384);
  uint64_t x = 88172645463325252ull;
  for (uint8_t& b : noise) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    b = static_cast<uint8_t>(x >> 32);
  }
  const std::array<Bytes, 5> kinds = {sampleData(16384, 1), Bytes(16384, 0), Bytes(1, 'a'), Bytes(),
                                      noise};
  for (const Bytes& data : kinds) {
    Bytes stream(compressBound(data.size()));
    uLongf z = stream.size();
    ASSERT_EQ(::compress(stream.data(), &z, data.data(), data.size()), Z_OK);
    stream.resize(z);
    EXPECT_TRUE(libdeflateReadsAsZlib(stream)) << data.size() << " bytes";
  }
}

// Deflate streams written bit by bit, for what zlib never writes.
class BitWriter {
 public:
  // `n` bits of `value`, least significant first (header fields, extra bits).
  void put(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) bit((value >> i) & 1);
  }
  // A Huffman codeword, most significant bit first.
  void code(std::pair<uint32_t, unsigned> c) {
    for (unsigned i = c.second; i-- > 0;) bit((c.first >> i) & 1);
  }
  void alignToByte() { used_ = 0; }
  // The zlib stream of what was written, checked with the Adler-32 of `data`.
  Bytes zlib(const Bytes& data) const {
    Bytes s(2 + bytes_.size());
    s[0] = 0x78;
    s[1] = 0x9C;
    std::copy(bytes_.begin(), bytes_.end(), s.begin() + 2);
    const uint32_t a = adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<uint8_t>(a >> shift));
    return s;
  }
  Bytes bytes_;

 private:
  void bit(uint32_t b) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(b << used_);
    used_ = (used_ + 1) % 8;
  }
  unsigned used_ = 0;
};

// The canonical codewords of `lengths`.
std::vector<std::pair<uint32_t, unsigned>> canonical(const std::vector<uint8_t>& lengths) {
  std::array<unsigned, 17> count{}, next{};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (unsigned len = 1, code = 0; len <= 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<std::pair<uint32_t, unsigned>> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s] != 0) codes[s] = {next[lengths[s]]++, lengths[s]};
  return codes;
}

// A dynamic block's header: the counts, the code-length code `pre` (lengths
// by symbol) and the code-length symbols `ops` (symbol, extra bits).
void dynamicHeader(BitWriter& w, unsigned literals, unsigned distances,
                   const std::vector<uint8_t>& pre,
                   const std::vector<std::pair<unsigned, uint32_t>>& ops) {
  static constexpr std::array<unsigned, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::vector<uint8_t> lengths = pre;
  lengths.resize(19);
  unsigned count = 19;
  while (count > 4 && lengths[kOrder[count - 1]] == 0) --count;
  w.put(2, 2);  // after BFINAL: dynamic
  w.put(literals - 257, 5);
  w.put(distances - 1, 5);
  w.put(count - 4, 4);
  for (unsigned i = 0; i < count; ++i) w.put(lengths[kOrder[i]], 3);
  const auto codes = canonical(lengths);
  for (const auto& [symbol, extra] : ops) {
    w.code(codes[symbol]);
    if (symbol == 16) w.put(extra, 2);
    if (symbol == 17) w.put(extra, 3);
    if (symbol == 18) w.put(extra, 7);
  }
}

// Each length of `lengths` as its own code-length symbol.
std::vector<std::pair<unsigned, uint32_t>> plainOps(const std::vector<uint8_t>& lengths) {
  std::vector<std::pair<unsigned, uint32_t>> ops;
  for (uint8_t l : lengths) ops.push_back({l, 0});
  return ops;
}

struct Lenient {
  const char* name;
  Bytes stream;
  Bytes libdeflateOut;  // what libdeflate alone makes of it
};

std::vector<Lenient> lenientStreams() {
  std::vector<Lenient> cases;
  {  // Length symbol 286 in a fixed-code block: libdeflate copies 258 bytes.
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    w.code({0x30 + 'a', 8});
    w.code({0xC0 + 6, 8});  // 286
    w.code({0, 5});         // distance 1
    w.code({0, 7});         // end of block
    const Bytes out(259, 'a');
    cases.push_back({"fixed length symbol 286", w.zlib(out), out});
  }
  {  // Distance symbol 30 in a fixed-code block, after 24,577 stored bytes.
    Bytes out(24577);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i % 251);
    BitWriter w;
    w.put(0, 1);
    w.put(0, 2);
    w.alignToByte();
    w.put(static_cast<uint32_t>(out.size()), 16);
    w.put(static_cast<uint32_t>(~out.size() & 0xFFFF), 16);
    w.bytes_.insert(w.bytes_.end(), out.begin(), out.end());
    w.put(1, 1);
    w.put(1, 2);
    w.code({1, 7});   // length 3
    w.code({30, 5});  // distance 24,577 in libdeflate
    w.put(0, 13);
    w.code({0, 7});
    out.insert(out.end(), out.begin(), out.begin() + 3);
    cases.push_back({"fixed distance symbol 30", w.zlib(out), out});
  }
  const std::vector<uint8_t> pre4 = [] {
    std::vector<uint8_t> p(19);
    p[0] = p[1] = p[8] = p[9] = 2;
    return p;
  }();
  {  // 287 literal/length codes declared, 286 allowed.
    std::vector<uint8_t> lengths(287, 8);
    for (size_t s = 0; s < 62; ++s) lengths[s] = 9;
    const auto lit = canonical(lengths);
    lengths.push_back(1);
    lengths.push_back(1);
    BitWriter w;
    w.put(1, 1);
    dynamicHeader(w, 287, 2, pre4, plainOps(lengths));
    w.code(lit['a']);
    w.code(lit[256]);
    cases.push_back({"287 literal/length codes", w.zlib({'a'}), {'a'}});
  }
  {  // 31 distance codes declared, 30 allowed.
    std::vector<uint8_t> lengths(257);
    lengths['a'] = lengths[256] = 1;
    std::vector<uint8_t> distances(31, 5);
    distances[0] = 4;
    lengths.insert(lengths.end(), distances.begin(), distances.end());
    std::vector<uint8_t> pre(19);
    pre[0] = pre[1] = pre[4] = pre[5] = 2;
    BitWriter w;
    w.put(1, 1);
    dynamicHeader(w, 257, 31, pre, plainOps(lengths));
    w.code({0, 1});
    w.code({1, 1});
    cases.push_back({"31 distance codes", w.zlib({'a'}), {'a'}});
  }
  {  // A literal/length code of one codeword, sent as 1: zlib knows only 0.
    std::vector<uint8_t> lengths(257);
    lengths[256] = 1;
    lengths.push_back(1);
    lengths.push_back(1);
    std::vector<uint8_t> pre(19);
    pre[0] = pre[1] = 1;
    BitWriter w;
    w.put(1, 1);
    dynamicHeader(w, 257, 2, pre, plainOps(lengths));
    w.code({1, 1});
    cases.push_back({"one literal/length codeword read as 1", w.zlib({}), {}});
  }
  {  // An empty distance code and a match: libdeflate reads distance 1.
    std::vector<uint8_t> lengths(258);
    lengths['a'] = 1;
    lengths[256] = lengths[257] = 2;
    const auto lit = canonical(lengths);
    lengths.push_back(0);
    std::vector<uint8_t> pre(19);
    pre[0] = 1;
    pre[1] = pre[2] = 2;
    BitWriter w;
    w.put(1, 1);
    dynamicHeader(w, 258, 1, pre, plainOps(lengths));
    w.code(lit['a']);
    w.code(lit[257]);
    w.put(0, 1);
    w.code(lit[256]);
    cases.push_back({"empty distance code with a match", w.zlib(Bytes(4, 'a')), Bytes(4, 'a')});
  }
  {  // A run of code lengths past the declared count.
    std::vector<uint8_t> lengths(257);
    lengths['a'] = lengths[256] = 1;
    auto ops = plainOps(lengths);
    ops.push_back({1, 0});
    ops.push_back({16, 0});  // three more ones: two past the end
    std::vector<uint8_t> pre(19);
    pre[0] = 1;
    pre[1] = pre[16] = 2;
    BitWriter w;
    w.put(1, 1);
    dynamicHeader(w, 257, 2, pre, ops);
    w.code({0, 1});
    w.code({1, 1});
    cases.push_back({"code lengths run past the count", w.zlib({'a'}), {'a'}});
  }
  return cases;
}

TEST(Uncompress, RefusesAsZlibDoesWhatOnlyLibdeflateAccepts) {
  for (const Lenient& c : lenientStreams()) {
    SCOPED_TRACE(c.name);
    const size_t room = 30000;
    // The case is what it claims: libdeflate alone would hand out data.
    ASSERT_EQ(libdeflateAlone(c.stream, room), c.libdeflateOut);
    const Inflated z = zlibs(c.stream, room);
    EXPECT_EQ(z.rc, kZDataError);
    EXPECT_EQ(ours(c.stream, room), z);
    EXPECT_FALSE(libdeflateReadsAsZlib(c.stream));
    expectSameAsZlib(c.stream, 40, c.name);
  }
}

TEST(Adler32, SameAsZlibsAtEveryLength) {
  const Bytes data = sampleData(70000, 9);
  for (size_t n : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{5551}, size_t{5552},
                   size_t{5553}, size_t{65536}, data.size()}) {
    EXPECT_EQ(adler32(std::span(data).first(n)),
              ::adler32(::adler32(0, nullptr, 0), data.data(), static_cast<uInt>(n)))
        << n;
  }
}

// Texts, numbers and noise, as a database image holds them.
Bytes mixedBytes(size_t n, uint32_t seed) {
  Bytes out;
  out.reserve(n);
  uint32_t x = seed;
  auto next = [&x] { return x = x * 1664525u + 1013904223u; };
  while (out.size() < n) {
    const uint32_t kind = next() >> 29;
    const size_t run = 1 + (next() >> 24);
    for (size_t i = 0; i < run && out.size() < n; ++i) {
      if (kind < 3)
        out.push_back(static_cast<uint8_t>("row text 考生 "[i % 14]));
      else if (kind < 5)
        out.push_back(static_cast<uint8_t>(next() >> 24));
      else if (kind == 5)
        out.push_back(0);
      else
        out.push_back(static_cast<uint8_t>('0' + (next() >> 28) % 10));
    }
  }
  return out;
}

// The joined pieces with a zlib header and the whole input's Adler-32.
Bytes joinedStream(const std::vector<Bytes>& pieces, int level) {
  Bytes stream = {0x78, 0x9C};
  Bytes all;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Bytes part = deflateJoinable(pieces[i], level, i + 1 == pieces.size());
    EXPECT_FALSE(part.empty()) << "piece " << i << " of " << pieces[i].size() << " bytes";
    if (i + 1 < pieces.size() && part.size() >= 4) {
      EXPECT_TRUE(std::equal(part.end() - 4, part.end(), Bytes{0, 0, 0xFF, 0xFF}.begin()));
    }
    stream.insert(stream.end(), part.begin(), part.end());
    all.insert(all.end(), pieces[i].begin(), pieces[i].end());
  }
  const uint32_t check = adler32(all);
  for (int shift = 24; shift >= 0; shift -= 8)
    stream.push_back(static_cast<uint8_t>(check >> shift));
  return stream;
}

TEST(DeflateJoinable, PiecesJoinIntoOneStreamThatZlibInflates) {
  // Sizes that end libdeflate's blocks in every way: empty, one byte,
  // incompressible, long runs; each level's block splitting.
  const std::vector<std::vector<size_t>> layouts = {
      {0}, {1}, {0, 0}, {1, 0, 1}, {5000, 70000, 1}, {1 << 20, 1 << 20, 123457}, {300000}};
  for (int level : {1, 6, 12}) {
    for (const auto& sizes : layouts) {
      for (uint32_t seed : {1u, 7u}) {
        std::vector<Bytes> pieces;
        Bytes all;
        for (size_t s : sizes) {
          pieces.push_back(seed == 1 ? mixedBytes(s, static_cast<uint32_t>(s) + seed)
                                     : Bytes(s, 'x'));
          all.insert(all.end(), pieces.back().begin(), pieces.back().end());
        }
        const Bytes stream = joinedStream(pieces, level);
        Bytes back(all.size() + 1);
        uLongf length = back.size();
        ASSERT_EQ(::uncompress(back.data(), &length, stream.data(), stream.size()), Z_OK)
            << "level " << level << ", " << sizes.size() << " pieces, seed " << seed;
        back.resize(length);
        EXPECT_EQ(back, all);
      }
    }
  }
}

TEST(FindFinalBlock, EndsWhereZlibsOwnStreamsEnd) {
  // zlib as the second writer: stored, fixed and dynamic blocks, several of
  // them before the final one.
  const Bytes data = mixedBytes(400000, 3);
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE}) {
    for (int level : {0, 1, 9}) {
      z_stream z{};
      ASSERT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
      Bytes out(deflateBound(&z, data.size()) + 64);
      z.next_in = const_cast<uint8_t*>(data.data());
      z.avail_in = static_cast<uInt>(data.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
      out.resize(z.total_out);
      deflateEnd(&z);
      const std::optional<FinalBlock> final = findFinalBlock(out);
      ASSERT_TRUE(final) << "strategy " << strategy << " level " << level;
      EXPECT_EQ((final->end + 7) / 8, out.size());
      EXPECT_LT(final->start, final->end);
      EXPECT_EQ((out[final->start / 8] >> (final->start % 8)) & 1, 1);
      // Cut anywhere before its end, the stream has no final block to find.
      for (size_t cut : {size_t{0}, size_t{1}, out.size() / 2, out.size() - 1})
        EXPECT_FALSE(findFinalBlock(std::span(out).first(cut))) << cut;
    }
  }
  // Block type 3 and a length symbol deflate does not have.
  EXPECT_FALSE(findFinalBlock(Bytes{0x07}));
  EXPECT_FALSE(findFinalBlock(Bytes{0x03, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace bq::codec
