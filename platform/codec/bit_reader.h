// Reading a deflate stream bit by bit, for the walks over its block
// structure (inflate_walk.cpp, deflate_join.cpp). Internal to platform/codec.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace bq::codec {

// Deflate's bit order: least significant bit of each byte first.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> in) : in_(in) {}

  // Loads whole bytes until at least 56 bits are held or the input ends.
  // Eight bytes at once where they are there (as libdeflate does): the bits
  // past the count are those of the next byte, which the next load puts in
  // the same place again.
  void refill() {
    if constexpr (std::endian::native == std::endian::little) {
      if (in_.size() - at_ >= 8) {
        uint64_t word;
        std::memcpy(&word, in_.data() + at_, 8);
        bits_ |= word << count_;
        at_ += (63 - count_) >> 3;
        count_ |= 56;
        return;
      }
    }
    while (count_ <= 56 && at_ < in_.size()) {
      bits_ |= uint64_t{in_[at_++]} << count_;
      count_ += 8;
    }
  }
  // False when fewer than `n` (at most 32) bits are left.
  bool take(unsigned n, uint32_t& value) {
    if (count_ < n) refill();
    if (count_ < n) return false;
    value = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    drop(n);
    return true;
  }
  // The next `n` bits, with zeros past the end of the input.
  uint32_t peek(unsigned n) {
    if (count_ < n) refill();
    return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
  }
  unsigned held() const { return count_; }
  // Bits read so far from the start of the input.
  size_t position() const { return at_ * 8 - count_; }
  void drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
  }
  // Skips to the next byte boundary and then `bytes` whole bytes; false when
  // the input ends before.
  bool skipBytes(size_t bytes) {
    drop(count_ % 8);
    // Whole bytes still held go back to the input.
    at_ -= count_ / 8;
    bits_ = 0;
    count_ = 0;
    if (in_.size() - at_ < bytes) return false;
    at_ += bytes;
    return true;
  }

 private:
  std::span<const uint8_t> in_;
  size_t at_ = 0;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
};

}  // namespace bq::codec
