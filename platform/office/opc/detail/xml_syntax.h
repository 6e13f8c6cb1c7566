// The lexical rules that the readers of XML text share with pugixml's
// parser: which bytes make names and blanks, and which encoding the first
// bytes of a part make pugixml read it in. A reader that scans a part's text
// itself (the prefix renaming of xml_tree.cpp, the style sheet reader of
// excel_styles.cpp) uses these so that it reads a part exactly as the
// parser would, and leaves to the parser whatever it cannot read the same.
//
// Thread safety: all functions are pure; the table is constant.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace bq::office::xml_syntax {

// kNamePart may go in a name, kNameStart may start one (bytes from 0x80 are
// parts of UTF-8 letters); kColon marks ':', kSpace the XML blanks.
enum : uint8_t { kNamePart = 1, kNameStart = 2, kColon = 4, kSpace = 8 };

inline constexpr std::array<uint8_t, 256> kByteClass = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    const bool start =
        c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    const bool part = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    t[static_cast<size_t>(c)] =
        static_cast<uint8_t>((part ? kNamePart : 0) | (start ? kNameStart : 0) |
                             (c == ':' ? kColon : 0) | (space ? kSpace : 0));
  }
  return t;
}();

inline uint8_t classOf(char c) { return kByteClass[static_cast<unsigned char>(c)]; }
inline bool isNameStart(char c) { return (classOf(c) & kNameStart) != 0; }
inline bool isSpace(char c) { return (classOf(c) & kSpace) != 0; }

// Whether pugixml reads `bytes` as UTF-8, and the part's text can be scanned
// as it stands: after a UTF-8 byte order mark always; without one when the
// text begins with '<' and an XML declaration there names no encoding or
// UTF-8 (pugixml reads Latin-1 when it names that, and guesses UTF-16 or
// UTF-32 from other first bytes). Sets `start` to the offset after the mark.
bool readsAsUtf8(std::string_view bytes, size_t& start);

}  // namespace bq::office::xml_syntax
