// The style sheet of a workbook (xl/styles.xml) as the Excel object model
// keeps it: the records that cells' style indexes lead to, the palette, and
// the unit of column widths. Internal to the object model (excel.cpp) and
// its tests.
//
// The sheet is read in one of two ways that give the same records: from
// the part's tree (readStyles), or by readStylesFromText in one pass over
// the part's text with no tree built, which takes about half the time on
// the style sheets of large formatted workbooks (thousands of xf and border
// records). The text reader takes only what it reads exactly as the parser
// would and gives up on the rest (see there), which the tree then reads. The
// fuzzer fuzz/xml_fast_paths_fuzz.cpp holds the two to the same records.
//
// Thread safety: as the workbook that holds the records.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/office/excel/excel_rules.h"
#include "platform/office/excel/excel_values.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office::excel::detail {

struct ColorSpec {
  enum class Kind { Absent, Auto, Indexed, Rgb, Theme };
  Kind kind = Kind::Absent;
  int32_t index = 0;  // Indexed, Theme
  Rgb rgb;            // Rgb
  double tint = 0;
  bool operator==(const ColorSpec&) const = default;
};

struct FontRec {
  std::string name = "Calibri";
  double size = 11;
  bool bold = false;
  bool operator==(const FontRec&) const = default;
};

struct SideRec {
  std::string style;
  ColorSpec color;
  bool operator==(const SideRec&) const = default;
};

struct BorderRec {
  SideRec left, right, top, bottom, diagonal;
  bool diagonalUp = false, diagonalDown = false;
  bool operator==(const BorderRec&) const = default;
};

struct FillRec {
  std::string patternType;
  ColorSpec fg, bg;
  int32_t gradient = 0;  // 0, or the XlPattern of a gradientFill
  ColorSpec gradientColor;
  bool operator==(const FillRec&) const = default;
};

struct XfRec {
  int32_t numFmtId = 0;
  size_t fontId = 0, fillId = 0, borderId = 0;
  std::string horizontal, vertical;
  bool operator==(const XfRec&) const = default;
};

// What a style index resolves to, worked out once per index on first use.
struct XfInfo {
  const FontRec* font = nullptr;
  std::optional<int32_t> horizontal, vertical;
  std::string numberFormatLocal;
  std::optional<int32_t> interiorColour, interiorPattern;
};

// The Border values of one border record's sides: left, right, top, bottom,
// diagonal; and whether each of the four edges draws a line of its own.
struct BorderInfo {
  std::array<Border, 5> sides;
  std::array<bool, 4> drawn{};
};

struct Styles {
  std::vector<FontRec> fonts;
  std::vector<FillRec> fills;
  std::vector<BorderRec> borders;
  std::vector<XfRec> xfs;
  std::map<int32_t, std::string> numFmts;
  Palette palette = defaultPalette();
  std::array<Rgb, 64> indexed{};  // indexed colours 0..63
  std::array<Rgb, 12> theme{};    // by SpreadsheetML theme index
  int32_t mdw = 7;

  const XfRec& xf(size_t i) const {
    static const XfRec kDefault;
    return i < xfs.size() ? xfs[i] : kDefault;
  }
  const FontRec& font(size_t i) const {
    static const FontRec kDefault;
    return i < fonts.size() ? fonts[i] : kDefault;
  }
  const FillRec& fill(size_t i) const {
    static const FillRec kDefault;
    return i < fills.size() ? fills[i] : kDefault;
  }
  const BorderRec& border(size_t i) const {
    static const BorderRec kDefault;
    return i < borders.size() ? borders[i] : kDefault;
  }

  // Resolved on first use; an index past the end shares the default's slot.
  const XfInfo& xfInfo(size_t i) const;
  const BorderInfo& borderInfo(size_t i) const;
  mutable std::vector<std::optional<XfInfo>> xfInfos;
  mutable std::vector<std::optional<BorderInfo>> borderInfos;
  // The palette laid out for matching, and the colour last matched to it
  // with its ColorIndex; both made on first use.
  mutable std::optional<PaletteMatcher> matcher;
  mutable std::optional<std::pair<Rgb, int32_t>> lastNearest;
};

// Reads the style sheet whose root element is `root` into `s`, which holds
// the defaults (palette, indexed colours, theme) beforehand.
void readStyles(pugi::xml_node root, Styles& s);

// The same from the part's text, when it can be sure to read it as the
// parser would: true and `s` filled, or false and `s` untouched. It gives up
// on markup the parser would refuse or might read otherwise (so that the
// tree path reports the fault as before): a document type declaration,
// another encoding than UTF-8, a NUL byte, names that are no qualified names,
// an attribute given twice, nesting deeper than limits::kMaxXmlDepth, a
// reference it does not know in an attribute value, a '<' in one, a
// namespace URI with a reference or blank in it, and anything else that is
// not well-formed; and on mc:AlternateContent and mc:ProcessContent, which
// markup compatibility resolves in the tree (markup_compat.h). REQUIRES:
// `bytes` is the whole part.
bool readStylesFromText(const std::string& bytes, Styles& s);

// Small readers of attribute values, shared with excel.cpp.

using office::toDouble;
using office::toInt;

// An index attribute's value (fontId, s, ...): absent (null), negative or
// unreadable gives 0.
inline size_t indexValue(const char* text) {
  std::optional<int64_t> v = text ? toInt(text) : std::nullopt;
  return v && *v >= 0 ? static_cast<size_t>(*v) : 0;
}

inline size_t indexAttr(pugi::xml_node node, const char* name) {
  return indexValue(node.attribute(name).value());
}

// CT_BooleanProperty: an element present means true unless val says false.
inline bool boolProperty(pugi::xml_node node) {
  if (!node) return false;
  std::string_view v = node.attribute("val").value();
  return !(v == "0" || v == "false");
}

// Whether `name` (a NUL-terminated name from the tree) is `wanted`; most
// names differ at their first character, so no length is taken.
inline bool named(const char* name, std::string_view wanted) {
  for (char c : wanted)
    if (*name++ != c) return false;
  return *name == '\0';
}

// The many style records and cells are read in one pass over their
// attributes and children, each name taking its first occurrence as
// xml_node::attribute and xml_node::child would find it: `slot` takes
// `value` unless it holds one already.
template <typename T>
void takeFirst(T& slot, T value) {
  if (!slot) slot = value;
}

}  // namespace bq::office::excel::detail
