// SequentialInput: the original platform's sequential text input, that is
// the `Input #` statement reading text items from a file opened for input.
//
// The reader works on the file's whole text, already decoded from the ANSI
// code page to UTF-8 (bq::fromAnsi). Decoding first is safe: no GBK trail
// byte and no byte of a UTF-8 multi-byte sequence equals a comma, a double
// quote, CR or LF, so the separators below are found only where they stand.
//
// What one readItem() does, starting at the current position:
//
//   * At the end of the text: fails with run-time error 62 "Input past end of
//     file" and changes nothing.
//   * Blanks (spaces and tabs) are skipped; they never run past a line end.
//   * Quoted item: the next character is a double quote. The item is the text
//     up to the next double quote, without either quote; it may hold commas
//     and line breaks. Whatever follows the closing quote is dropped, up to
//     and including the next separator (a comma, or a line end: CR LF, CR or
//     LF, CR LF counting as one). A quote that is never closed makes the item
//     the rest of the text. `"abc" x,y` reads "abc", then "y".
//   * Unquoted item: the text up to the next comma or line end, with trailing
//     blanks removed; the separator is consumed (CR LF as one). Quotes inside
//     stay as they are: `filename="a.txt"` reads as written.
//   * At a separator (after any blanks): the item is empty and the separator
//     is consumed. A blank line therefore reads as one empty item, and ",a"
//     as "" then "a".
//   * With no separator before the end of the text (a last line without a
//     line break), the item ends at the end of the text.
//
// eof() is true exactly when the position is at the end of the text. A
// separator ending the text is consumed with the item before it, so "a\r\n"
// and "a," read one item and then report the end; a text ending in blanks
// after its last separator ("a, ") still has one (empty) item to read.
// Every readItem() that succeeds moves the position forward, so reading
// until eof() always ends.
//
// Thread safety: none; an object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace bq {

class SequentialInput {
 public:
  // Takes the decoded text of the whole file; the position starts at its beginning.
  explicit SequentialInput(std::string text) : text_(std::move(text)) {}

  // True when nothing is left to read (the original's EOF).
  bool eof() const { return pos_ >= text_.size(); }

  // The next item, as described above. At the end of the text, throws
  // AutomationError 62 "Input past end of file".
  std::string readItem();

 private:
  // The position just after the separator that starts at `at` (CR LF as one).
  size_t afterSeparator(size_t at) const;

  std::string text_;
  size_t pos_ = 0;
};

}  // namespace bq
