// The Word document and Word table extractors: the knowledge points of a
// Word answer, read through the Word object model (platform/office/word/word.h).
//
// ReadWord, in this order: for each section its primary header and footer
// (text, alignment, font name, size, italic, bold) and page setup (margins,
// gutter, distances, orientation, paper size); for each paragraph its line
// and character units, the first-line or hanging indent, alignment, line
// spacing and the columns of its section; for each word its shading, text
// (trimmed of spaces, cut to 120 characters) and font; for each sentence its
// text. ReadWordTable: for each paragraph its text (cut to 120 characters),
// alignment, font, and the alignment and shading of its cells; for each
// table its outside and inside borders. The labels and value forms are those
// below.
//
// Every step is guarded by itself (guarded_step.h): a read the object model
// refuses adds nothing, and the next step runs. A document that cannot be
// opened adds nothing at all. Never fails with an AutomationError.
// extract::readWord and readWordTable read the same and also tell why a
// document could not be opened (reading.h).
//
// Thread safety: no shared state.
#pragma once

#include <string>
#include <string_view>

#include "common/dictionary.h"
#include "platform/office/word/word.h"
#include "scoring/extractors/reading.h"

namespace bq {

// Adds to dObj (never cleared) the knowledge points of the document cFile
// (a Windows or POSIX path).
void ReadWord(const std::string& cFile, KnowledgeSet& dObj);
void ReadWordTable(const std::string& cFile, KnowledgeSet& dObj);

namespace extract {

// The points ReadWord and ReadWordTable add, with the reason the document
// could not be opened when it could not.
Reading readWord(const std::string& cFile);
Reading readWordTable(const std::string& cFile);

}  // namespace extract

// The routines of the word module, usable on their own.
namespace wordtest {

// The knowledge points of an opened document (see above).
void ReadDocument(const office::word::Document& doc, KnowledgeSet& dObj);
void ReadTables(const office::word::Document& doc, KnowledgeSet& dObj);

// A single-precision value as Office's text of it: shortest decimal form of
// at most 7 significant digits ("10.5", "72", "-2", "9999999").
std::string SingleText(float value);
// The text of a column measure cut before its first "." ("206.4" gives
// "206", "-3.5" gives "-3", "72" stays).
std::string IntegerPart(float value);
// `text` without leading and trailing spaces (U+0020), cut to its first 120
// characters (UTF-16 code units).
std::string TrimmedText(std::string_view text);

}  // namespace wordtest
}  // namespace bq
