// Feeds arbitrary bytes to the e-mail extractor and to the sequential reader
// under it, and checks what must hold for any input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/sequential_input.h"
#include "scoring/extractors/mail.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

bool isPastEnd(const bq::AutomationError& e) { return e.number() == bq::err::kInputPastEnd; }

void fuzzExtractor(std::string_view bytes) {
  bq::MailFieldList list;
  try {
    int16_t n = bq::ReadMailFieldsFromBytes(bytes, list);
    check(!bytes.empty(), "an empty file was read without error");
    check(n >= 0 && static_cast<size_t>(n) == list.size(), "count differs from the list");
  } catch (const bq::AutomationError& e) {
    check(bytes.empty() && isPastEnd(e), "unexpected error");
  }
  const std::string text = bq::fromAnsi(bytes);
  for (const auto& field : list) {
    check(!field.empty(), "empty field");
    // A field is a piece of the text, unless a cut through a surrogate pair left U+FFFD.
    check(text.find(field) != std::string::npos || field.find("\xEF\xBF\xBD") != std::string::npos,
          "field not taken from the text");
  }
}

void fuzzReader(const std::string& text) {
  size_t separators = 0;
  for (char c : text) separators += c == ',' || c == '\r' || c == '\n';
  bq::SequentialInput in(text);
  size_t items = 0, total = 0;
  while (!in.eof()) {
    std::string item = in.readItem();
    ++items;
    total += item.size();
    check(text.find(item) != std::string::npos, "item not taken from the text");
    check(items <= separators + 1, "more items than separators allow");
  }
  check(total <= text.size(), "items longer than the text");
  try {
    in.readItem();
    check(false, "read past the end without error");
  } catch (const bq::AutomationError& e) {
    check(isPastEnd(e), "wrong error past the end");
  }
}

// Items written in quotes, one after another with a comma or a line break
// between them, read back as they were written.
void fuzzRoundTrip(std::string_view bytes) {
  std::vector<std::string> items;
  std::string text;
  size_t from = 0;
  while (from < bytes.size()) {
    size_t to = bytes.find('\x01', from);
    if (to == std::string_view::npos) to = bytes.size();
    std::string item;
    for (char c : bytes.substr(from, to - from))
      if (c != '"') item += c;
    if (!items.empty()) text += item.size() % 2 ? "," : "\r\n";
    text += '"' + item + '"';
    items.push_back(std::move(item));
    from = to + 1;
  }
  if (bytes.size() % 3 == 1) text += "\r\n";
  bq::SequentialInput in(text);
  for (const auto& want : items) {
    check(!in.eof(), "round trip ended early");
    check(in.readItem() == want, "round trip changed an item");
  }
  check(in.eof(), "round trip left something over");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzExtractor(bytes);
  fuzzReader(std::string(bytes));
  fuzzRoundTrip(bytes);
  return 0;
}
