#include "dbmaint/blocks.h"

#include <cstddef>

#include "platform/codec/codec.h"

namespace bq {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kDigits = 6;
constexpr size_t kLengthLimit = 1000000;  // six decimal digits

// `hundredths` / 100 rounded to a whole number, a half going to the even
// neighbour. The original computed the sizes below in floating point and
// rounded them that way; in hundredths the sum is exact and so is the result.
size_t roundHalfEven(size_t hundredths) {
  size_t whole = hundredths / 100;
  size_t rest = hundredths % 100;
  if (rest > 50 || (rest == 50 && whole % 2 == 1)) ++whole;
  return whole;
}

// U + U/100 + extra, rounded.
size_t sizedFor(size_t u, size_t extra) { return roundHalfEven(101 * u + 100 * extra); }

void writeDigits(size_t value, uint8_t* at) {
  for (size_t i = kDigits; i-- > 0;) {
    at[i] = static_cast<uint8_t>(value % 10);
    value /= 10;
  }
}

}  // namespace

int CompressBlock(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  const size_t u = in.size();
  // Six digits cannot describe a million bytes or more. Such a block would get
  // a wrong header, so it is refused before zlib runs; the format's writers
  // never ask for one (they cut data into 16384-byte pieces).
  if (u >= kLengthLimit) {
    out.clear();
    return codec::kZBufError;
  }
  const size_t total = sizedFor(u, 24);
  // resize() only fills what lies beyond the current size, so a caller that
  // hands in the same vector block after block pays for the fill once.
  out.resize(total);
  size_t z = 0;
  int rc = codec::compress(std::span<uint8_t>(out).subspan(kHeaderSize), z, in);
  if (rc != codec::kZOk) {
    out.clear();
    return rc;
  }
  // Incompressible data just below a million bytes can grow past six digits.
  if (z >= kLengthLimit) {
    out.clear();
    return codec::kZBufError;
  }
  writeDigits(z, out.data());
  writeDigits(u, out.data() + kDigits);
  out.resize(kHeaderSize + z);
  return rc;
}

std::optional<size_t> ExpandBlockRoom(std::span<const uint8_t> in) {
  if (in.size() < kDigits) return std::nullopt;
  size_t u = 0;
  for (size_t i = 0; i < kDigits; ++i) {
    if (in[i] > 9) return std::nullopt;
    u = u * 10 + in[i];
  }
  return sizedFor(u, 18);
}

int ExpandBlockInto(std::span<const uint8_t> in, std::span<uint8_t> dest, size_t& produced) {
  const size_t room = *ExpandBlockRoom(in);
  produced = 0;
  // On a damaged stream zlib reports how much it wrote before it stopped;
  // that much is handed back, as the format's readers expect.
  return codec::uncompress(dest.first(room), produced, in.subspan(kDigits));
}

int ExpandBlock(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  const std::optional<size_t> room = ExpandBlockRoom(in);
  if (!room) {
    out.clear();
    return codec::kZDataError;
  }
  // resize() fills only what lies beyond the current size: a vector handed in
  // block after block is filled once.
  out.resize(*room);
  size_t produced = 0;
  const int rc = ExpandBlockInto(in, out, produced);
  out.resize(produced);
  return rc;
}

}  // namespace bq
