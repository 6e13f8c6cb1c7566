// Compressed blocks: the form in which question files and backups are stored.
//
// A block is a twelve-byte header followed by a zlib stream: bytes 0-5 hold
// the stream's length Z and bytes 6-11 the uncompressed length U, each as six
// decimal digits, most significant first, one digit VALUE (0-9, not the
// character) per byte. Both lengths stay below one million.
//
// Thread safety: no shared state.
#pragma once

#include <cstdint>
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

}  // namespace bq
