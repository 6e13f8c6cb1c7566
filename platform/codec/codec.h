// Byte codecs of the C libraries, for the layers above the platform, which
// do not include those libraries' headers: zlib's one-call compression and
// its Adler-32 check (the compressed blocks of dbmaint/; inflated with
// libdeflate's help), libdeflate's compression in pieces that join into one
// stream (sealed databases), and SHA-256 (the headless runner's file hashes,
// libsodium).
//
// The zlib calls keep zlib's contract: result codes as zlib returns them
// (kZOk and the others below equal Z_OK ...), `destLength` in and out as
// zlib's destLen.
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bq::codec {

// zlib's result codes.
inline constexpr int kZOk = 0;
inline constexpr int kZStreamEnd = 1;
inline constexpr int kZDataError = -3;
inline constexpr int kZMemError = -4;
inline constexpr int kZBufError = -5;

// zlib's compress() at the default level: `source` into `dest`, whose size
// is the room; `destLength` becomes the stream's length. kZBufError when the
// room is too small.
int compress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source);

// zlib's uncompress(): the stream `source` into `dest`; `destLength`
// becomes the bytes produced (also, as zlib reports it, before a failure).
// The result code and the bytes are zlib's for every input; libdeflate does
// the work where it reads the stream as zlib would (inflate_walk.h) and
// succeeds, zlib itself otherwise, so a damaged, truncated or oversized
// stream costs both.
int uncompress(std::span<uint8_t> dest, size_t& destLength, std::span<const uint8_t> source);

// Raw deflate of `piece` by libdeflate at `level` (1 to 12; 6 is about
// zlib's default), made to be joined: unless `last`, the piece ends as
// zlib's sync flush ends it, with no final block and an empty stored block
// on a byte boundary; when `last`, its last block is the final one. Such
// pieces in order, between a zlib header and the Adler-32 of all their input,
// are one zlib stream, as pieces compressed apart can be (pigz). Empty when
// the piece could not be made so: the caller compresses it another way.
std::vector<uint8_t> deflateJoinable(std::span<const uint8_t> piece, int level, bool last);

// The Adler-32 check of `bytes` (zlib's adler32 from its initial value), or
// of the bytes whose check is `running` followed by `bytes`.
uint32_t adler32(std::span<const uint8_t> bytes, uint32_t running = 1);

// zlib's text for result code `code` ("data error" ...).
std::string zlibErrorText(int code);

// The SHA-256 digest of `bytes` in lower-case hexadecimal. Throws
// AutomationError 7 when the digest library cannot start.
std::string sha256Hex(std::string_view bytes);

}  // namespace bq::codec
