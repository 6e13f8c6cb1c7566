// The formatting layers of a Word document and how Word stacks them: the
// properties a w:pPr, w:rPr, w:tcPr or table style sets (each one optional:
// unset inherits), the style sheet with its basedOn chains, the table
// styles' conditional formats, and the numbering levels' paragraph
// properties.
//
// Word resolves a paragraph's properties from the document defaults, then
// the table style (its whole-table properties, then the conditional formats
// of the cell's row and column), then the paragraph style and the styles it
// is based on, then the numbering level, then the paragraph's own
// properties; a run's from the defaults, the table style, the paragraph
// style, the character style, then its own. Each property (each attribute
// of spacing and indentation) is taken from the last layer that sets it.
// Bold and italic are toggle properties: the defaults and the run's own
// formatting set them; each style layer that sets them on (after its own
// basedOn chain) switches them over.
//
// Thread safety: plain values; the style sheet is read once and then only
// read.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/office/opc/package.h"

namespace bq::office::word::detail {

// A colour as the file writes it (w:color, or one side of w:shd), resolved
// against the theme only when the value is taken (word_rules.h: wordColor).
struct ColorRef {
  std::string value, themeColor, themeTint, themeShade;
  bool operator==(const ColorRef&) const = default;
};

struct ShadingRef {
  std::string pattern;  // w:shd@val
  ColorRef color;       // the pattern colour
  ColorRef fill;        // the background
  bool operator==(const ShadingRef&) const = default;
};

struct BorderRef {
  std::string style;  // ST_Border
  int32_t eighths = 4;
  ColorRef color;
  bool operator==(const BorderRef&) const = default;
};

// A font of w:rFonts: a typeface, or a theme font reference (asciiTheme ...).
struct FontRef {
  bool theme = false;
  std::string name;
  bool operator==(const FontRef&) const = default;
};

// The four font slots, in word_rules.h's FontSlot order.
inline constexpr size_t kFontSlots = 4;

struct RunProps {
  std::array<std::optional<FontRef>, kFontSlots> fonts;
  std::optional<bool> eastAsiaHint;
  std::optional<int32_t> halfPoints, halfPointsCs;
  std::optional<bool> bold, italic;
  std::optional<std::string> underline;
  std::optional<ColorRef> color;
  std::optional<ShadingRef> shading;
  std::optional<std::string> eastAsiaLanguage;
  std::string style;  // w:rStyle (direct formatting only)

  // Every property `top` sets replaces this one's (bold and italic too).
  void overlay(const RunProps& top);
};

struct ParaProps {
  std::optional<std::string> alignment;
  std::optional<int32_t> before, beforeLines, after, afterLines, line;
  std::optional<std::string> lineRule;
  // Indents; first is the first-line indent, negative for a hanging one.
  std::optional<int32_t> left, leftChars, right, rightChars, first, firstChars;
  void overlay(const ParaProps& top);
};

// The table-level borders (w:tblBorders), and a cell's own (w:tcBorders: the
// first four), in this order.
enum BorderEdge { kTop, kLeft, kBottom, kRight, kInsideH, kInsideV, kBorderEdges };
using BorderSet = std::array<std::optional<BorderRef>, kBorderEdges>;
void overlayBorders(BorderSet& base, const BorderSet& top);

struct CellProps {
  std::optional<std::string> verticalAlignment;
  std::optional<ShadingRef> shading;
  BorderSet borders;
  void overlay(const CellProps& top);
};

// One formatting layer of a table style: its whole-table properties or one
// conditional format.
struct TableLayer {
  ParaProps para;
  RunProps run;
  CellProps cell;
};

// The conditional formats of table styles (ST_TblStyleOverrideType), in
// the order they are applied.
enum class Conditional : uint8_t {
  Band1Vert,
  Band2Vert,
  Band1Horz,
  Band2Horz,
  FirstCol,
  LastCol,
  FirstRow,
  LastRow,
  NeCell,
  NwCell,
  SeCell,
  SwCell,
};
inline constexpr size_t kConditionals = 12;

// What only table styles have.
struct TableStyle {
  CellProps cell;
  BorderSet borders;
  std::vector<std::pair<Conditional, TableLayer>> conditionals;  // in file order, one per type
  std::optional<int32_t> rowBandSize, colBandSize;
  // The conditional format `c`, or null.
  const TableLayer* conditional(Conditional c) const;
};

struct Style {
  std::string id, name, basedOn;
  enum class Type : uint8_t { Paragraph, Character, Table, Numbering } type = Type::Paragraph;
  bool isDefault = false;
  ParaProps para;
  RunProps run;
  // Table styles (null for the others).
  std::unique_ptr<TableStyle> table;
  // Paragraph styles: the numbering they carry (w:numPr).
  std::optional<int32_t> numId, numLevel;
};

// The style sheet. A style sheet holds many styles a document never uses
// (Word's templates carry a hundred table styles, 350 KB): it is parsed
// lazily (Part::lazyXml), and each style is parsed and read from its
// element when it is first looked up.
//
// Thread safety: lookups fill the cache; one thread at a time.
class Styles {
 public:
  // Indexes the style sheet part `part` (empty: none) and reads its
  // defaults. Throws AutomationError when the part is damaged.
  // REQUIRES: the part's package outlives this object.
  void read(const Part& part);

  const RunProps& defaultRun() const { return defaultRun_; }
  const ParaProps& defaultPara() const { return defaultPara_; }

  // The style with id `id` (exact comparison), or null.
  const Style* find(std::string_view id) const;
  // The default style of paragraphs (Normal), of tables; null when none.
  const Style* defaultParagraphStyle() const;
  const Style* defaultTableStyle() const;
  // The paragraph style whose name is `name`, without regard to ASCII case
  // ("header"), or null.
  const Style* paragraphStyleNamed(std::string_view name) const;

  // `style` and the styles it is based on, the base first; a loop or an
  // unknown base ends the chain.
  std::vector<const Style*> chain(const Style* style) const;

 private:
  struct Entry {
    pugi::xml_node node;
    Style::Type type;
    mutable std::unique_ptr<Style> style;  // read on first use
  };
  const Style* styleAt(size_t index) const;
  // The element of entry `index`, its content parsed.
  pugi::xml_node nodeAt(size_t index) const;

  Part part_;
  RunProps defaultRun_;
  ParaProps defaultPara_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string_view, size_t> byId_;  // ids point into the tree
  std::optional<size_t> defaultParagraph_, defaultTable_;
};

// The numbering part: the paragraph properties of each list level.
class Numbering {
 public:
  void read(pugi::xml_node root);
  // The properties of level `level` of list `numId` (its override, else its
  // abstract list's), or null.
  const ParaProps* level(int32_t numId, int32_t level) const;

 private:
  std::map<std::pair<int32_t, int32_t>, ParaProps> levels_;
};

// The properties of one element.
RunProps readRunProps(pugi::xml_node rPr);
ParaProps readParaProps(pugi::xml_node pPr);
CellProps readCellProps(pugi::xml_node tcPr);
BorderSet readBorders(pugi::xml_node borders);  // w:tblBorders
ShadingRef readShading(pugi::xml_node shd);
ColorRef readColor(pugi::xml_node color);  // w:color

// Which conditional formats apply to a cell, from the table's w:tblLook and
// the cell's place: row and column (0-based) of `rows` by `columns`.
struct TableLook {
  bool firstRow = false, lastRow = false, firstColumn = false, lastColumn = false;
  bool noHBand = false, noVBand = false;
};
TableLook readTableLook(pugi::xml_node tblLook);
std::vector<Conditional> conditionalsOf(const TableLook& look, int32_t row, int32_t column,
                                        int32_t rows, int32_t columns, int32_t rowBandSize,
                                        int32_t colBandSize);

}  // namespace bq::office::word::detail
