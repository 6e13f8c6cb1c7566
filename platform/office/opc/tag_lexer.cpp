#include "platform/office/opc/detail/tag_lexer.h"

namespace bq::office::xml_syntax {
namespace {

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The character reference `ref` (after "&#", before ';'); false when the
// parser might read it otherwise.
bool appendCharacter(std::string_view ref, std::string& out) {
  const bool hex = ref[0] == 'x';
  const std::string_view digits = ref.substr(hex ? 1 : 0);
  if (digits.empty() || digits.size() > 7) return false;
  uint32_t cp = 0;
  for (char d : digits) {
    uint32_t v;
    if (d >= '0' && d <= '9')
      v = static_cast<uint32_t>(d - '0');
    else if (hex && (d | ' ') >= 'a' && (d | ' ') <= 'f')
      v = static_cast<uint32_t>((d | ' ') - 'a' + 10);
    else
      return false;
    cp = cp * (hex ? 16 : 10) + v;
  }
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  appendUtf8(out, cp);
  return true;
}

}  // namespace

bool skipInstruction(std::string_view text, size_t& p, std::string_view& target) {
  size_t q = p + 1;
  if (!isNameStart(text.data()[q])) return false;
  const size_t at = q;
  while (classOf(text.data()[q]) & kNamePart) ++q;
  target = text.substr(at, q - at);
  const size_t end = text.find("?>", q);
  if (end == kNone) return false;
  p = end + 2;
  return true;
}

bool decodeValue(std::string_view raw, std::string& out) {
  out.clear();
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (c == '\r') {
      out += ' ';
      i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
      continue;
    }
    if (c != '&') {
      out += c == '\n' || c == '\t' ? ' ' : c;
      ++i;
      continue;
    }
    const size_t semicolon = raw.find(';', i);
    if (semicolon == kNone) return false;
    const std::string_view ref = raw.substr(i + 1, semicolon - i - 1);
    i = semicolon + 1;
    if (ref == "lt") {
      out += '<';
    } else if (ref == "gt") {
      out += '>';
    } else if (ref == "amp") {
      out += '&';
    } else if (ref == "quot") {
      out += '"';
    } else if (ref == "apos") {
      out += '\'';
    } else if (ref.size() >= 2 && ref[0] == '#') {
      if (!appendCharacter(ref.substr(1), out)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace bq::office::xml_syntax
