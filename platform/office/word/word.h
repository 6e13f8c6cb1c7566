// A read-only Word object model over a .docx/.docm package (Transitional or
// Strict; a legacy .doc is converted by LibreOffice first): the members the
// Word document and Word table extractors read, with the values Word
// reports through automation for the same file.
//
//   Document doc = Document::open(path);                 // Documents.Open
//   PageSetup setup = doc.sections(1).pageSetup();       // Sections(1).PageSetup
//   Range header = doc.sections(1).headers(1).range();   // Headers(wdHeaderFooterPrimary)
//   std::string text = header.text();                    // "页眉\r"
//   Paragraph p = doc.paragraphs(3);
//   float first = p.characterUnitFirstLineIndent();      // -2 for a hanging indent
//   Font font = doc.words(7).font();                     // font.bold == 9999999 when mixed
//   Borders b = doc.tables(1).borders();
//
// Stories. The main text, each header and each footer is a story: its text
// as Range.Text gives it, every paragraph ending in a mark ("\r"; "\r\a" at
// the end of a table cell and for the end-of-row mark that Word counts as a
// paragraph of its own; "\f" for a paragraph that ends a section). A Range
// is a stretch of one story.
//
// Values. Every value is resolved the way Word resolves it (word_styles.h:
// defaults, table style, paragraph style, numbering, character style,
// direct formatting; theme fonts and colours from the theme), and turned
// into Word's codes by the rules of word_rules.h. A property that differs
// within the range read is wd::kUndefined (9999999); a font name that
// differs is "".
//
// Failures. Everything throws AutomationError with source "Microsoft Word":
// a file that cannot be opened 5792 (with the package layer's description;
// a missing file fails as the package layer says), an index outside a
// collection 5941, the cells of a range outside any table 5907, any read of
// a closed document 4248.
//
// Lifetime. Sections, paragraphs, ranges and tables share the document's
// data and stay valid after the Document object is gone (not after close()).
//
// Thread safety: a document and its handles belong to one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/office/word/word_rules.h"

namespace bq::office::word {

namespace detail {
struct DocumentData;
struct Story;
}  // namespace detail

// Range.Font, over the characters of the range (the paragraph marks only
// when the range holds nothing else).
struct Font {
  std::string name;  // Font.Name, by the script of each character; "" when mixed
  float size = 0;    // points
  int32_t bold = 0;  // -1, 0 or wdUndefined, as italic
  int32_t italic = 0;
  int32_t underline = 0;   // WdUnderline
  int32_t colorIndex = 0;  // WdColorIndex
  bool operator==(const Font&) const = default;
};

// Shading, of the characters of a range or of table cells.
struct Shading {
  int32_t texture = wd::kTextureNone;                    // WdTextureIndex
  int32_t foregroundPatternColor = wd::kColorAutomatic;  // Word's colour integers
  int32_t backgroundPatternColor = wd::kColorAutomatic;
  bool operator==(const Shading&) const = default;
};

// Range.ParagraphFormat, over the paragraphs the range touches.
struct ParagraphFormat {
  int32_t alignment = 0;        // WdParagraphAlignment
  int32_t lineSpacingRule = 0;  // WdLineSpacing
  float lineSpacing = 12;       // points
  bool operator==(const ParagraphFormat&) const = default;
};

// PageSetup.TextColumns.
struct TextColumns {
  std::vector<float> widths;  // Width of TextColumns(1 .. Count), points
  float spacing = 36;         // Spacing, points (wdUndefined when the columns differ)
  int32_t evenlySpaced = wd::kTrue;
  int32_t lineBetween = wd::kFalse;
  int32_t count() const { return static_cast<int32_t>(widths.size()); }
  bool operator==(const TextColumns&) const = default;
};

// Section.PageSetup; lengths in points.
struct PageSetup {
  float topMargin = 0, bottomMargin = 0, leftMargin = 0, rightMargin = 0;
  float gutter = 0;
  int32_t gutterPos = wd::kGutterPosLeft;  // WdGutterStyle
  float headerDistance = 0, footerDistance = 0;
  int32_t orientation = wd::kOrientPortrait;  // WdOrientation
  int32_t paperSize = wd::kPaperCustom;       // WdPaperSize
  float pageWidth = 0, pageHeight = 0;
  TextColumns textColumns;
  bool operator==(const PageSetup&) const = default;
};

// Range.Cells, over the cells of the paragraphs of a range.
struct Cells {
  int32_t verticalAlignment = wd::kCellAlignVerticalTop;  // WdCellVerticalAlignment
  Shading shading;
  bool operator==(const Cells&) const = default;
};

// One edge pair of Table.Borders: the outside edges (top, left, bottom,
// right) or the inside ones (horizontal, vertical), each value undefined when
// the edges differ.
struct Borders {
  int32_t outsideLineStyle = wd::kLineStyleNone;   // WdLineStyle
  int32_t outsideLineWidth = wd::kLineWidth050pt;  // WdLineWidth
  int32_t outsideColorIndex = 0;                   // WdColorIndex
  int32_t insideLineStyle = wd::kLineStyleNone;
  int32_t insideLineWidth = wd::kLineWidth050pt;
  int32_t insideColorIndex = 0;
  bool operator==(const Borders&) const = default;
};

class Range {
 public:
  // Range.Text (UTF-8).
  std::string text() const;
  // The same in UTF-16, as Word counts characters.
  std::u16string text16() const;
  Font font() const;
  Shading shading() const;  // the characters' shading
  ParagraphFormat paragraphFormat() const;
  // Range.Cells; throws 5907 when a paragraph of the range is outside any table.
  Cells cells() const;
  // Range.Information(wdWithInTable): whether the range starts in a table.
  bool withinTable() const;
  // Range.PageSetup.TextColumns of the section the range starts in (the
  // main story only; a header's range reports its section's).
  TextColumns textColumns() const;

 private:
  friend class Document;
  friend class Paragraph;
  friend class HeaderFooter;
  Range(std::shared_ptr<const detail::DocumentData> data, const detail::Story* story, size_t start,
        size_t end, int32_t section)
      : data_(std::move(data)), story_(story), start_(start), end_(end), section_(section) {}
  std::shared_ptr<const detail::DocumentData> data_;
  const detail::Story* story_;
  size_t start_, end_;  // UTF-16 offsets into the story's text
  int32_t section_;     // 0-based
};

class Paragraph {
 public:
  Range range() const;
  float lineUnitBefore() const;
  float lineUnitAfter() const;
  float characterUnitLeftIndent() const;
  float characterUnitRightIndent() const;
  // Negative for a hanging indent.
  float characterUnitFirstLineIndent() const;

 private:
  friend class Document;
  Paragraph(std::shared_ptr<const detail::DocumentData> data, size_t index)
      : data_(std::move(data)), index_(index) {}
  std::shared_ptr<const detail::DocumentData> data_;
  size_t index_;
};

class HeaderFooter {
 public:
  Range range() const;

 private:
  friend class Section;
  HeaderFooter(std::shared_ptr<const detail::DocumentData> data, const detail::Story* story,
               int32_t section)
      : data_(std::move(data)), story_(story), section_(section) {}
  std::shared_ptr<const detail::DocumentData> data_;
  const detail::Story* story_;
  int32_t section_;
};

class Section {
 public:
  PageSetup pageSetup() const;
  // Headers(index) and Footers(index) (WdHeaderFooterIndex): 1 the primary
  // one, 2 the first page's, 3 the even pages'. A section that defines none
  // of a kind takes the one of the section before it, as Word links them;
  // where no section before defines one, it is an empty story ("\r").
  // Another index throws 5941.
  HeaderFooter headers(int32_t index) const;
  HeaderFooter footers(int32_t index) const;

 private:
  friend class Document;
  Section(std::shared_ptr<const detail::DocumentData> data, int32_t index)
      : data_(std::move(data)), index_(index) {}
  std::shared_ptr<const detail::DocumentData> data_;
  int32_t index_;
};

class Table {
 public:
  Borders borders() const;

 private:
  friend class Document;
  Table(std::shared_ptr<const detail::DocumentData> data, size_t index)
      : data_(std::move(data)), index_(index) {}
  std::shared_ptr<const detail::DocumentData> data_;
  size_t index_;
};

class Document {
 public:
  // Documents.Open(path). Throws 5792 when the file cannot be opened or is
  // no Word document, or when its document, styles, numbering, settings or
  // theme part is damaged; a header or footer part that is damaged counts
  // as empty.
  static Document open(const std::filesystem::path& path);
  // The same for a package held in memory (docx only); `name` names it in errors.
  static Document fromBytes(std::string bytes, std::string name = "(in memory)");

  // Document.Close: the document's data goes; later reads of this object
  // throw 4248 (handles taken before keep theirs).
  void close();

  // Collections, 1-based where Word's are; each throws 5941 for an index
  // outside 1 .. Count.
  int32_t sectionCount() const;
  Section sections(int32_t index) const;
  int32_t paragraphCount() const;  // of the main story, table paragraphs included
  Paragraph paragraphs(int32_t index) const;
  int32_t wordCount() const;
  Range words(int32_t index) const;
  int32_t sentenceCount() const;
  Range sentences(int32_t index) const;
  int32_t tableCount() const;  // every table, nested ones after their parent
  Table tables(int32_t index) const;
  // The whole main story (Document.Content).
  Range content() const;

 private:
  explicit Document(std::shared_ptr<const detail::DocumentData> data) : data_(std::move(data)) {}
  const std::shared_ptr<const detail::DocumentData>& data() const;
  std::shared_ptr<const detail::DocumentData> data_;
};

}  // namespace bq::office::word
