// Feeds arbitrary bytes to the Word object model and both Word extractors:
// opens them as a document and reads what ReadWord and ReadWordTable read
// (sections with their headers, footers and page setup; every paragraph,
// word and sentence with its formatting; cells and table borders).
//
// Input that starts with "PK" is taken as a zip file as it stands. Any other
// input is cut at NUL bytes into the contents of a fixed list of document
// part names and zipped (stored, so that the fuzzer reaches the XML past the
// zip layer's checksums).
//
// Only AutomationError may leave the model. Invariants: the paragraphs, the
// words and the sentences each cover the main text in order; the text items
// of the extractors are at most 120 characters after their label.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "common/dictionary.h"
#include "common/text.h"
#include "fuzz/checks.h"
#include "platform/office/word/word.h"
#include "scoring/extractors/word_reader.h"

namespace {

using bqfuzz::check;
using bqfuzz::guarded;
using namespace bq::office::word;

constexpr const char* kNames[] = {
    "[Content_Types].xml", "_rels/.rels",
    "word/document.xml",   "word/_rels/document.xml.rels",
    "word/styles.xml",     "word/numbering.xml",
    "word/settings.xml",   "word/theme/theme1.xml",
    "word/header1.xml",    "word/footer1.xml",
};

void readDocument(std::string bytes) {
  const Document doc = Document::fromBytes(std::move(bytes));
  const std::u16string content = doc.content().text16();
  std::u16string paragraphs, words, sentences;
  for (int32_t i = 1; i <= doc.paragraphCount(); ++i)
    paragraphs += doc.paragraphs(i).range().text16();
  for (int32_t i = 1; i <= doc.wordCount(); ++i) words += doc.words(i).text16();
  for (int32_t i = 1; i <= doc.sentenceCount(); ++i) sentences += doc.sentences(i).text16();
  check(paragraphs == content, "paragraphs do not cover the text");
  check(words == content, "words do not cover the text");
  check(sentences == content, "sentences do not cover the text");
  guarded([&] { doc.sections(doc.sectionCount() + 1); });
  guarded([&] { doc.paragraphs(0); });

  bq::KnowledgeSet points, table;
  bq::wordtest::ReadDocument(doc, points);
  bq::wordtest::ReadTables(doc, table);
  for (const bq::KnowledgeSet* set : {&points, &table})
    for (const auto& [key, item] : *set)
      if (key.rfind("文本,", 0) == 0) check(bq::len16(key) <= 3 + 120, "text item over 120");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return bqfuzz::readInput(data, size, kNames, readDocument);
}
