// Compressed blocks: the form in which question files and backups are stored.
//
// A block is a twelve-byte header followed by a zlib stream: bytes 0-5 hold
// the stream's length Z and bytes 6-11 the uncompressed length U, each as six
// decimal digits, most significant first, one digit VALUE (0-9, not the
// character) per byte. Both lengths stay below one million.
//
// Thread safety: no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace bq {

// Builds one block of `in` into `out` (resized). Returns zlib's result code
// (codec::kZOk = 0 = Z_OK, platform/codec/codec.h); on any other code `out`
// is left empty.
int CompressBlock(std::span<const uint8_t> in, std::vector<uint8_t>& out);

// Expands a block given WITHOUT its first six bytes (the U digits and then the
// stream) into `out` (resized to what zlib produced). Returns zlib's result
// code (codec::kZOk = 0); a header byte above 9 or an input shorter than six
// bytes gives codec::kZDataError and an empty `out`. Never reads past `in`.
int ExpandBlock(std::span<const uint8_t> in, std::vector<uint8_t>& out);

// The room ExpandBlock gives zlib for the block tail `in`: U + U/100 + 18,
// rounded half to even, from the six digits of U; nothing when `in` has fewer
// than six bytes or one of them is above 9.
std::optional<size_t> ExpandBlockRoom(std::span<const uint8_t> in);

// ExpandBlock into memory of the caller's: the same result code, and the
// `produced` bytes at the front of `dest` are those ExpandBlock hands back.
// REQUIRES: ExpandBlockRoom(in) has a value and dest.size() >= it.
int ExpandBlockInto(std::span<const uint8_t> in, std::span<uint8_t> dest, size_t& produced);

}  // namespace bq
