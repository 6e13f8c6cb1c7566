// The tags of a part's text, read as pugixml's parser reads them, for the
// readers that scan a part's text themselves instead of walking its tree:
// the prefix renaming of xml_tree.cpp and the style sheet reader of
// excel_styles.cpp. The lexer reads the syntax only: names as written and
// where their colon is, attribute values as written, where a tag ends. What
// the names mean (namespaces, attributes that repeat, what an element
// holds) is its reader's business. Every fault the parser would refuse
// stops the lexer, and its reader then leaves the part to the parser.
//
// Positions are byte offsets into the text. REQUIRES of every function: the
// text holds no NUL and is followed by one (a std::string's characters are),
// at which every scan stops.
//
// Thread safety: all functions are pure; a StartTagLexer belongs to the
// thread that reads the tag.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/office/opc/detail/xml_syntax.h"

namespace bq::office::xml_syntax {

inline constexpr size_t kNone = std::string_view::npos;

// A name as written: where it lies in the text and where its first colon is.
struct Name {
  size_t at = 0, size = 0;
  size_t colon = kNone;  // an offset into the text, like `at`
  // At most one colon, with something on either side of it. XML itself
  // allows names such as ":" or "a:b:c", which no namespace-aware reader
  // (and no Office program) takes.
  bool qualified = false;
};

// The pieces of a name that the lexer read from `text`.
inline std::string_view textOf(std::string_view text, const Name& n) {
  return {text.data() + n.at, n.size};
}
inline std::string_view prefixOf(std::string_view text, const Name& n) {
  return n.colon == kNone ? std::string_view()
                          : std::string_view(text.data() + n.at, n.colon - n.at);
}
inline std::string_view localOf(std::string_view text, const Name& n) {
  return n.colon == kNone
             ? textOf(text, n)
             : std::string_view(text.data() + n.colon + 1, n.at + n.size - n.colon - 1);
}
// Whether `n` declares a namespace: xmlns, or xmlns:p.
inline bool isDeclaration(std::string_view text, const Name& n) {
  return text[n.at] == 'x' && textOf(text, n).starts_with("xmlns") &&
         (n.size == 5 || n.colon == n.at + 5);
}

// An attribute as written: its name, and its value between the quotes.
struct AttributeText {
  Name name;
  size_t valueAt = 0, valueEnd = 0;
};

// Equality of two short texts without a call to memcmp.
inline bool sameText(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Where the first `quote` at or after `from` in s[0, size) lies, or kNone.
// Most attribute values are a few bytes long: those are looked through here,
// longer ones handed to memchr.
inline size_t findQuote(const char* s, size_t from, size_t size, char quote) {
  const size_t inlineEnd = std::min(size, from + 16);
  for (size_t i = from; i < inlineEnd; ++i)
    if (s[i] == quote) return i;
  if (inlineEnd == size) return kNone;
  const void* close = std::memchr(s + inlineEnd, quote, size - inlineEnd);
  return close ? static_cast<size_t>(static_cast<const char*>(close) - s) : kNone;
}

// The name at `p`, which ends at the first byte that may not go in a name;
// moves `p` there. Inlined into the tag loops: names are most of the bytes
// of Office markup.
[[gnu::always_inline]] inline Name scanName(const char* s, size_t& p) {
  Name n;
  n.at = p;
  bool twoColons = false;
  for (uint8_t c; (c = classOf(s[p])) & kNamePart; ++p) {
    if (c & kColon) {
      twoColons = twoColons || n.colon != kNone;
      if (n.colon == kNone) n.colon = p;
    }
  }
  n.size = p - n.at;
  n.qualified = n.colon == kNone ? n.size > 0 : !twoColons && n.colon > n.at && n.colon + 1 < p;
  return n;
}

// Whether `c` may follow a name or a quoted value inside a tag.
inline bool endsTagPiece(char c) { return isSpace(c) || c == '/' || c == '>'; }

// One start tag read a piece at a time: the element's name, each attribute,
// then the end of the tag ('>' or "/>"). The parser's faults inside a tag
// (a name that is no qualified name, an attribute without '=' or quotes, a
// value without its closing quote, no blank between a value and the next
// name, a '/' without '>') stop the reading: name() or attribute() returns
// false, and ended() stays false.
class StartTagLexer {
 public:
  // `p` is at the byte after '<'.
  StartTagLexer(std::string_view text, size_t p) : s_(text.data()), size_(text.size()), p_(p) {}

  // The element's name: a qualified name, followed by a blank, '/' or '>'.
  [[gnu::always_inline]] bool name(Name& n) {
    if (!isNameStart(s_[p_])) return false;
    n = scanName(s_, p_);
    return n.qualified && endsTagPiece(s_[p_]);
  }

  // The next attribute; false at the end of the tag (then ended()) or at a
  // fault.
  [[gnu::always_inline]] bool attribute(AttributeText& a) {
    while (isSpace(s_[p_])) ++p_;
    if (s_[p_] == '>') {
      ++p_;
      ended_ = true;
      return false;
    }
    if (s_[p_] == '/') {
      if (s_[p_ + 1] == '>') {
        p_ += 2;
        ended_ = empty_ = true;
      }
      return false;
    }
    if (!isNameStart(s_[p_])) return false;
    a.name = scanName(s_, p_);
    if (!a.name.qualified) return false;
    while (isSpace(s_[p_])) ++p_;
    if (s_[p_] != '=') return false;
    ++p_;
    while (isSpace(s_[p_])) ++p_;
    const char quote = s_[p_];
    if (quote != '"' && quote != '\'') return false;
    a.valueAt = ++p_;
    const size_t close = findQuote(s_, p_, size_, quote);
    if (close == kNone) return false;
    a.valueEnd = close;
    p_ = close + 1;
    // The parser refuses a name straight after the quote; anything else but
    // a blank, '/' or '>' fails as the next piece.
    return !isNameStart(s_[p_]);
  }

  // Whether the tag ended well; then end() is the offset after its '>', and
  // empty() says whether it was an empty-element tag ("/>").
  bool ended() const { return ended_; }
  bool empty() const { return empty_; }
  size_t end() const { return p_; }

 private:
  const char* s_;
  size_t size_;
  size_t p_;
  bool ended_ = false;
  bool empty_ = false;
};

// The end tag at `p` (at the name after "</") of the element open under the
// name `open`: the same bytes, no name byte after them, blanks, '>'. Moves
// `p` past the '>'; false, with `p` unchanged, when the tag is anything else.
inline bool endTag(std::string_view text, size_t& p, std::string_view open) {
  const char* s = text.data();
  const size_t size = open.size();
  if (size > text.size() - p || !sameText(s + p, open.data(), size) ||
      (classOf(s[p + size]) & kNamePart))
    return false;
  size_t q = p + size;
  while (isSpace(s[q])) ++q;
  if (s[q] != '>') return false;
  p = q + 1;
  return true;
}

// The processing instruction at `p` (at the '?' after '<'), which the
// parser skips: a name must follow, and "?>" after it. Moves `p` past the
// "?>" and sets `target` to the name; false when there is no such
// instruction.
bool skipInstruction(std::string_view text, size_t& p, std::string_view& target);

// What an attribute value as written holds that the parser changes: a
// reference, a tab or a line break (kDecoded); and '<' (kLessThan).
enum ValueMarks : uint8_t { kDecoded = 1, kLessThan = 2 };

inline constexpr std::array<uint8_t, 256> kValueMarks = [] {
  std::array<uint8_t, 256> t{};
  for (unsigned char c : {'&', '\t', '\n', '\r'}) t[c] = kDecoded;
  t['<'] = kLessThan;
  return t;
}();

inline uint8_t marksOf(std::string_view value) {
  uint8_t marks = 0;
  for (char c : value) marks |= kValueMarks[static_cast<unsigned char>(c)];
  return marks;
}

// An attribute value as the parser gives it: the five predefined entities
// and character references decoded, tab, LF and CR (CR LF as one) made
// spaces. False for a reference the parser might read otherwise: another
// name, no ';', a character reference outside Unicode, to a surrogate or NUL.
bool decodeValue(std::string_view raw, std::string& out);

}  // namespace bq::office::xml_syntax
