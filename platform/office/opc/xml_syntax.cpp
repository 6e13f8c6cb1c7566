#include "platform/office/opc/detail/xml_syntax.h"

#include "platform/office/shared/detail/text_util.h"

namespace bq::office::xml_syntax {
namespace {

// Whether the XML declaration at the start of `bytes` names UTF-8 or no
// encoding.
bool declarationIsUtf8(std::string_view bytes) {
  constexpr size_t kNone = std::string_view::npos;
  const size_t end = bytes.find("?>");
  if (end == kNone) return false;
  const std::string_view declaration = bytes.substr(0, end);
  size_t at = declaration.find("encoding");
  if (at == kNone) return true;
  at += 8;
  while (at < declaration.size() && isSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return false;
  ++at;
  while (at < declaration.size() && isSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return false;
  const size_t close = declaration.find(declaration[at], at + 1);
  return close != kNone && equalsNoCase(declaration.substr(at + 1, close - at - 1), "utf-8");
}

}  // namespace

bool readsAsUtf8(std::string_view bytes, size_t& start) {
  start = 0;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    start = 3;
    return true;
  }
  return bytes.starts_with('<') && !(bytes.starts_with("<?xm") && !declarationIsUtf8(bytes));
}

}  // namespace bq::office::xml_syntax
