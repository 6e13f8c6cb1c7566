#include "common/sequential_input.h"

#include <string_view>

#include "common/automation_error.h"

namespace bq {
namespace {

constexpr std::string_view kSeparators = ",\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

size_t SequentialInput::afterSeparator(size_t at) const {
  if (text_[at] == '\r' && at + 1 < text_.size() && text_[at + 1] == '\n') return at + 2;
  return at + 1;
}

std::string SequentialInput::readItem() {
  if (eof()) raiseError(err::kInputPastEnd);
  const size_t n = text_.size();
  size_t p = pos_;
  while (p < n && isBlank(text_[p])) ++p;

  if (p < n && text_[p] == '"') {
    const size_t open = p + 1;
    const size_t close = text_.find('"', open);
    if (close == std::string::npos) {
      pos_ = n;
      return text_.substr(open);
    }
    const size_t sep = text_.find_first_of(kSeparators, close + 1);
    pos_ = sep == std::string::npos ? n : afterSeparator(sep);
    return text_.substr(open, close - open);
  }

  const size_t sep = text_.find_first_of(kSeparators, p);
  size_t end = sep == std::string::npos ? n : sep;
  while (end > p && isBlank(text_[end - 1])) --end;
  pos_ = sep == std::string::npos ? n : afterSeparator(sep);
  return text_.substr(p, end - p);
}

}  // namespace bq
