// Which zlib streams libdeflate inflates exactly as zlib does.
//
// libdeflate's decompressor accepts a few streams that zlib's inflate
// refuses: length symbols 286 and 287 and distance symbols 30 and 31 (in
// fixed-code blocks, or in dynamic blocks declaring more than 286 or 30
// codes), a code-length code of one codeword, a single-codeword or empty
// literal/length or distance code whose unused codeword it reads as the used
// one, and a run of code lengths that overruns the declared count. On every
// other stream both read the same bits the same way: the same bytes out, or
// both refuse. zlib's own compressor never writes any of those constructs.
//
// libdeflateReadsAsZlib() walks a stream's block structure without inflating
// it and says whether the stream is free of them: stored blocks are skipped
// by their length, fixed-code blocks are walked symbol by symbol (they are
// short: zlib writes them for little data), and the header of a dynamic
// block is decoded and its codes checked the way zlib's inflate checks them.
// The walk cannot find the end of a dynamic block without inflating it, so a
// dynamic block that is not the last gives false, and so does anything cut
// short or malformed: false only means "let zlib read it".
//
// Thread safety: no shared state.
#pragma once

#include <cstdint>
#include <span>

namespace bq::codec {

// True when `stream` (a zlib stream: two header bytes, deflate blocks, the
// Adler-32 check) is one that libdeflate either refuses or inflates to the
// bytes zlib's uncompress() gives. Reads no byte outside `stream`.
bool libdeflateReadsAsZlib(std::span<const uint8_t> stream);

}  // namespace bq::codec
