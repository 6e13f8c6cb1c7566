#include "platform/office/excel/detail/excel_styles.h"

#include <algorithm>
#include <cstring>

#include "platform/office/opc/detail/tag_lexer.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/detail/xml_syntax.h"
#include "platform/office/shared/detail/text_util.h"
#include "platform/office/shared/limits.h"

namespace bq::office::excel::detail {
namespace {

ColorSpec readColor(pugi::xml_node node) {
  ColorSpec c;
  if (!node) return c;
  const char* tint = nullptr;
  const char* automatic = nullptr;
  const char* rgb = nullptr;
  const char* theme = nullptr;
  const char* indexed = nullptr;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    const char* name = a.name();
    if (named(name, "rgb"))
      takeFirst(rgb, a.value());
    else if (named(name, "theme"))
      takeFirst(theme, a.value());
    else if (named(name, "tint"))
      takeFirst(tint, a.value());
    else if (named(name, "indexed"))
      takeFirst(indexed, a.value());
    else if (named(name, "auto"))
      takeFirst(automatic, a.value());
  }
  c.tint = tint ? toDouble(tint).value_or(0) : 0;
  if (automatic && (std::string_view(automatic) == "1" || std::string_view(automatic) == "true")) {
    c.kind = ColorSpec::Kind::Auto;
  } else if (rgb) {
    if (std::optional<Rgb> v = parseRgb(rgb)) {
      c.kind = ColorSpec::Kind::Rgb;
      c.rgb = *v;
    }
  } else if (theme) {
    c.kind = ColorSpec::Kind::Theme;
    c.index = static_cast<int32_t>(toInt(theme).value_or(-1));
  } else if (indexed) {
    c.kind = ColorSpec::Kind::Indexed;
    c.index = static_cast<int32_t>(toInt(indexed).value_or(-1));
  }
  return c;
}

detail::SideRec readSide(pugi::xml_node side) {
  const char* style = nullptr;
  for (pugi::xml_attribute a = side.first_attribute(); a; a = a.next_attribute())
    if (named(a.name(), "style")) {
      style = a.value();
      break;
    }
  pugi::xml_node color;
  for (pugi::xml_node child = side.first_child(); child; child = child.next_sibling())
    if (named(child.name(), "x:color")) {
      color = child;
      break;
    }
  return {style ? style : "", readColor(color)};
}

detail::BorderRec readBorder(pugi::xml_node n) {
  pugi::xml_node left, start, right, end, top, bottom, diagonal;
  for (pugi::xml_node child = n.first_child(); child; child = child.next_sibling()) {
    const char* name = child.name();
    if (named(name, "x:left"))
      takeFirst(left, child);
    else if (named(name, "x:right"))
      takeFirst(right, child);
    else if (named(name, "x:top"))
      takeFirst(top, child);
    else if (named(name, "x:bottom"))
      takeFirst(bottom, child);
    else if (named(name, "x:diagonal"))
      takeFirst(diagonal, child);
    else if (named(name, "x:start"))
      takeFirst(start, child);
    else if (named(name, "x:end"))
      takeFirst(end, child);
  }
  const char* up = nullptr;
  const char* down = nullptr;
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
    const char* name = a.name();
    if (named(name, "diagonalUp"))
      takeFirst(up, a.value());
    else if (named(name, "diagonalDown"))
      takeFirst(down, a.value());
  }
  auto isTrue = [](const char* v) {
    return v && (std::string_view(v) == "1" || std::string_view(v) == "true");
  };
  detail::BorderRec b;
  // Later producers write start/end for left/right.
  b.left = readSide(left ? left : start);
  b.right = readSide(right ? right : end);
  b.top = readSide(top);
  b.bottom = readSide(bottom);
  b.diagonal = readSide(diagonal);
  b.diagonalUp = isTrue(up);
  b.diagonalDown = isTrue(down);
  return b;
}

detail::XfRec readXf(pugi::xml_node n) {
  const char* numFmtId = nullptr;
  const char* fontId = nullptr;
  const char* fillId = nullptr;
  const char* borderId = nullptr;
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
    const char* name = a.name();
    if (named(name, "numFmtId"))
      takeFirst(numFmtId, a.value());
    else if (named(name, "fontId"))
      takeFirst(fontId, a.value());
    else if (named(name, "fillId"))
      takeFirst(fillId, a.value());
    else if (named(name, "borderId"))
      takeFirst(borderId, a.value());
  }
  detail::XfRec x;
  x.numFmtId = static_cast<int32_t>(std::min<size_t>(indexValue(numFmtId), INT32_MAX));
  x.fontId = indexValue(fontId);
  x.fillId = indexValue(fillId);
  x.borderId = indexValue(borderId);
  for (pugi::xml_node child = n.first_child(); child; child = child.next_sibling()) {
    if (!named(child.name(), "x:alignment")) continue;
    const char* horizontal = nullptr;
    const char* vertical = nullptr;
    for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute()) {
      const char* name = a.name();
      if (named(name, "horizontal"))
        takeFirst(horizontal, a.value());
      else if (named(name, "vertical"))
        takeFirst(vertical, a.value());
    }
    if (horizontal) x.horizontal = horizontal;
    if (vertical) x.vertical = vertical;
    break;
  }
  return x;
}

}  // namespace

void readStyles(pugi::xml_node root, Styles& s) {
  for (pugi::xml_node n : root.child("x:numFmts").children("x:numFmt")) {
    std::optional<int64_t> id = toInt(n.attribute("numFmtId").value());
    if (id && *id >= 0 && *id <= INT32_MAX)
      s.numFmts[static_cast<int32_t>(*id)] = n.attribute("formatCode").value();
  }
  for (pugi::xml_node n : root.child("x:fonts").children("x:font")) {
    detail::FontRec f;
    f.name = n.child("x:name").attribute("val").value();
    if (std::optional<double> sz = toDouble(n.child("x:sz").attribute("val").value());
        sz && *sz > 0)
      f.size = *sz;
    f.bold = boolProperty(n.child("x:b"));
    s.fonts.push_back(std::move(f));
  }
  for (pugi::xml_node n : root.child("x:fills").children("x:fill")) {
    detail::FillRec f;
    if (pugi::xml_node p = n.child("x:patternFill")) {
      f.patternType = p.attribute("patternType").value();
      f.fg = readColor(p.child("x:fgColor"));
      f.bg = readColor(p.child("x:bgColor"));
    } else if (pugi::xml_node g = n.child("x:gradientFill")) {
      f.gradient = std::string_view(g.attribute("type").value()) == "path"
                       ? xl::kPatternRectangularGradient
                       : xl::kPatternLinearGradient;
      f.gradientColor = readColor(g.child("x:stop").child("x:color"));
    }
    s.fills.push_back(std::move(f));
  }
  for (pugi::xml_node n : root.child("x:borders").children("x:border"))
    s.borders.push_back(readBorder(n));
  for (pugi::xml_node n : root.child("x:cellXfs").children("x:xf")) s.xfs.push_back(readXf(n));
  // indexedColors replaces the palette: entries 8..63 are ColorIndex 1..56.
  size_t i = 0;
  for (pugi::xml_node n : root.child("x:colors").child("x:indexedColors").children("x:rgbColor")) {
    if (i >= 64) break;
    if (std::optional<Rgb> rgb = parseRgb(n.attribute("rgb").value())) {
      s.indexed[i] = *rgb;
      if (i >= 8) s.palette[i - 8] = *rgb;
    }
    ++i;
  }
  // Nothing is matched against the palette before it is complete.
  s.matcher.reset();
  s.lastNearest.reset();
  // The Normal style's font sets the unit of column widths.
  size_t normalFontId = 0;
  std::vector<pugi::xml_node> styleXfs;
  for (pugi::xml_node n : root.child("x:cellStyleXfs").children("x:xf")) styleXfs.push_back(n);
  for (pugi::xml_node n : root.child("x:cellStyles").children("x:cellStyle")) {
    if (std::string_view(n.attribute("builtinId").value()) != "0") continue;
    size_t xfId = indexAttr(n, "xfId");
    if (xfId < styleXfs.size()) normalFontId = indexAttr(styleXfs[xfId], "fontId");
    break;
  }
  const detail::FontRec& normal = s.font(normalFontId);
  s.mdw = maxDigitWidth(normal.name, normal.size);
}

// The text reader -------------------------------------------------------------
//
// One pass over the part's text that tokenises it as pugixml does (tags and
// attributes read by the tag lexer that the renaming of xml_tree.cpp reads
// them with, comments, processing instructions, CDATA; text between tags
// is skipped, as no style record reads any) and resolves each name through
// the namespace declarations in scope, as the renaming of xml_tree.cpp
// would. What the tree reader takes with child() and attribute(), the first
// element or attribute of that name, is taken here by noting which have
// been seen.

namespace {

using xml_syntax::isSpace;
using xml_syntax::kNone;

// What the children of an open element are to the style sheet.
enum class Ctx : uint8_t {
  Skip,
  Root,
  NumFmts,
  Fonts,
  Font,
  Fills,
  Fill,
  PatternFill,
  GradientFill,
  GradientStop,
  Borders,
  Border,
  Side,
  CellXfs,
  Xf,
  Colors,
  IndexedColors,
  CellStyleXfs,
  CellStyles,
};

// The root's children that hold records, each read at its first occurrence.
constexpr std::array<std::pair<std::string_view, Ctx>, 8> kSections{{
    {"numFmts", Ctx::NumFmts},
    {"fonts", Ctx::Fonts},
    {"fills", Ctx::Fills},
    {"borders", Ctx::Borders},
    {"cellXfs", Ctx::CellXfs},
    {"colors", Ctx::Colors},
    {"cellStyleXfs", Ctx::CellStyleXfs},
    {"cellStyles", Ctx::CellStyles},
}};

// The sides of a border element as they may be written (start and end stand
// for left and right).
enum Side : size_t { kLeft, kRight, kTop, kBottom, kDiagonal, kStart, kEnd, kSides };

struct Declaration {
  std::string_view prefix;
  Ns kind;
};

struct Attribute {
  std::string_view name;   // as written
  size_t colon = kNone;    // in name
  std::string_view value;  // as the parser gives it once decoded
  std::string_view key;    // the name when in no namespace, else empty
  bool plain = true;       // the value reads as written: no reference, no blank to convert
  bool declaration = false;
};

struct Frame {
  Ctx ctx;
  std::string_view name;
  size_t scopeMark;
};

// Whether `s` is the literal `name`; with the length known, the compiler
// compares in a few instructions instead of calling memcmp.
template <size_t N>
bool is(std::string_view s, const char (&name)[N]) {
  return s.size() == N - 1 && std::memcmp(s.data(), name, N - 1) == 0;
}

// Whether `seen` was false; sets it.
bool first(bool& seen) {
  if (seen) return false;
  seen = true;
  return true;
}

Side sideOf(std::string_view local) {
  if (is(local, "left")) return kLeft;
  if (is(local, "right")) return kRight;
  if (is(local, "top")) return kTop;
  if (is(local, "bottom")) return kBottom;
  if (is(local, "diagonal")) return kDiagonal;
  if (is(local, "start")) return kStart;
  if (is(local, "end")) return kEnd;
  return kSides;
}

bool isTrueValue(const std::string_view* v) { return v && (is(*v, "1") || is(*v, "true")); }

size_t indexOf(const std::string_view* v) {
  std::optional<int64_t> i = v ? toInt(*v) : std::nullopt;
  return i && *i >= 0 ? static_cast<size_t>(*i) : 0;
}

class StyleSheetText {
 public:
  explicit StyleSheetText(const std::string& bytes) : in_(bytes) {}

  // Whether the whole part was read; then finish() hands over the records.
  bool run();
  void finish(Styles& s);

 private:
  bool startTag(size_t& p);
  bool readAttributes(xml_syntax::StartTagLexer& tag);
  bool declare();
  bool keyAttributes();
  bool uniqueAttributes(bool prefixed);
  bool decodeValues();
  void openElement(std::string_view name, Ns kind, std::string_view local, size_t scopeMark,
                   bool empty);
  bool endTag(size_t& p);
  std::string canonicalName(const Attribute& a) const;
  Ns resolve(std::string_view prefix) const;
  // The value of the attribute `name` in no namespace; null when absent.
  template <size_t N>
  const std::string_view* attribute(const char (&name)[N]) const {
    for (const Attribute& a : attributes_)
      if (is(a.key, name)) return &a.value;
    return nullptr;
  }
  template <size_t N>
  std::string_view value(const char (&name)[N]) const {
    const std::string_view* v = attribute(name);
    return v ? *v : std::string_view();
  }
  ColorSpec color() const;
  // The context of a SpreadsheetML element `local` below one of `parent`,
  // taking what it holds.
  Ctx enter(Ctx parent, std::string_view local);
  void leave(Ctx ctx);

  std::string_view in_;
  std::vector<Declaration> scope_;
  std::vector<Frame> open_;
  std::vector<Attribute> attributes_;
  // What the attributes of the tag being read hold beside plain names and
  // values.
  struct {
    bool declarations, prefixed, references;
  } marks_{};
  std::vector<std::string> decoded_;
  std::vector<std::string> canonical_;

  std::vector<FontRec> fonts_;
  std::vector<FillRec> fills_;
  std::vector<BorderRec> borders_;
  std::vector<XfRec> xfs_;
  std::map<int32_t, std::string> numFmts_;
  std::vector<std::optional<Rgb>> indexed_;  // the first 64 rgbColor entries
  std::vector<size_t> styleXfFonts_;         // fontId of each cellStyleXfs/xf
  std::optional<size_t> normalXf_;           // xfId of the first cellStyle with builtinId 0

  // Which first occurrences have been taken, in the sections and in the
  // record being read.
  std::array<bool, kSections.size()> sections_{};
  bool indexedColors_ = false;
  struct {
    bool name, sz, b;
  } font_{};
  struct {
    bool pattern, fg, bg, gradient, path, stop, stopColor;
    ColorSpec stopColour;
  } fill_{};
  struct {
    std::array<SideRec, kSides> sides;
    std::array<bool, kSides> seen;
    size_t current;
    bool color;
  } border_{};
  bool alignment_ = false;
};

Ns StyleSheetText::resolve(std::string_view prefix) const {
  if (is(prefix, "xml")) return Ns::Xml;
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it)
    if (it->prefix == prefix) return it->kind;
  return prefix.empty() ? Ns::None : Ns::Unknown;
}

// As the tree reader's readColor.
ColorSpec StyleSheetText::color() const {
  ColorSpec c;
  const std::string_view* tint = attribute("tint");
  const std::string_view* automatic = attribute("auto");
  const std::string_view* rgb = attribute("rgb");
  const std::string_view* theme = attribute("theme");
  const std::string_view* indexed = attribute("indexed");
  c.tint = tint ? toDouble(*tint).value_or(0) : 0;
  if (isTrueValue(automatic)) {
    c.kind = ColorSpec::Kind::Auto;
  } else if (rgb) {
    if (std::optional<Rgb> v = parseRgb(*rgb)) {
      c.kind = ColorSpec::Kind::Rgb;
      c.rgb = *v;
    }
  } else if (theme) {
    c.kind = ColorSpec::Kind::Theme;
    c.index = static_cast<int32_t>(toInt(*theme).value_or(-1));
  } else if (indexed) {
    c.kind = ColorSpec::Kind::Indexed;
    c.index = static_cast<int32_t>(toInt(*indexed).value_or(-1));
  }
  return c;
}

Ctx StyleSheetText::enter(Ctx parent, std::string_view local) {
  switch (parent) {
    case Ctx::Root:
      for (size_t i = 0; i < kSections.size(); ++i) {
        if (local != kSections[i].first) continue;
        if (!first(sections_[i])) return Ctx::Skip;
        const Ctx section = kSections[i].second;
        // The count the producer wrote saves moving thousands of records as
        // their vector grows. A false count can take no more memory than
        // the part's tree would: one record per 64 bytes of the part.
        const size_t count = std::min(indexOf(attribute("count")), in_.size() / 64);
        if (section == Ctx::Fonts) fonts_.reserve(count);
        if (section == Ctx::Fills) fills_.reserve(count);
        if (section == Ctx::Borders) borders_.reserve(count);
        if (section == Ctx::CellXfs) xfs_.reserve(count);
        return section;
      }
      return Ctx::Skip;
    case Ctx::NumFmts:
      if (is(local, "numFmt")) {
        std::optional<int64_t> id = toInt(value("numFmtId"));
        if (id && *id >= 0 && *id <= INT32_MAX)
          numFmts_[static_cast<int32_t>(*id)] = std::string(value("formatCode"));
      }
      return Ctx::Skip;
    case Ctx::Fonts:
      if (!is(local, "font")) return Ctx::Skip;
      fonts_.emplace_back().name.clear();
      font_ = {};
      return Ctx::Font;
    case Ctx::Font:
      if (is(local, "name") && first(font_.name)) {
        fonts_.back().name = value("val");
      } else if (is(local, "sz") && first(font_.sz)) {
        if (std::optional<double> sz = toDouble(value("val")); sz && *sz > 0)
          fonts_.back().size = *sz;
      } else if (is(local, "b") && first(font_.b)) {
        const std::string_view v = value("val");
        fonts_.back().bold = !(v == "0" || v == "false");
      }
      return Ctx::Skip;
    case Ctx::Fills:
      if (!is(local, "fill")) return Ctx::Skip;
      fills_.emplace_back();
      fill_ = {};
      return Ctx::Fill;
    case Ctx::Fill:
      if (is(local, "patternFill") && first(fill_.pattern)) {
        fills_.back().patternType = value("patternType");
        return Ctx::PatternFill;
      }
      if (is(local, "gradientFill") && first(fill_.gradient)) {
        fill_.path = is(value("type"), "path");
        return Ctx::GradientFill;
      }
      return Ctx::Skip;
    case Ctx::PatternFill:
      if (is(local, "fgColor") && first(fill_.fg))
        fills_.back().fg = color();
      else if (is(local, "bgColor") && first(fill_.bg))
        fills_.back().bg = color();
      return Ctx::Skip;
    case Ctx::GradientFill:
      return is(local, "stop") && first(fill_.stop) ? Ctx::GradientStop : Ctx::Skip;
    case Ctx::GradientStop:
      if (is(local, "color") && first(fill_.stopColor)) fill_.stopColour = color();
      return Ctx::Skip;
    case Ctx::Borders: {
      if (!is(local, "border")) return Ctx::Skip;
      BorderRec& b = borders_.emplace_back();
      b.diagonalUp = isTrueValue(attribute("diagonalUp"));
      b.diagonalDown = isTrueValue(attribute("diagonalDown"));
      border_ = {};
      return Ctx::Border;
    }
    case Ctx::Border: {
      const size_t side = sideOf(local);
      if (side == kSides || !first(border_.seen[side])) return Ctx::Skip;
      border_.sides[side].style = value("style");
      border_.current = side;
      border_.color = false;
      return Ctx::Side;
    }
    case Ctx::Side:
      if (is(local, "color") && first(border_.color))
        border_.sides[border_.current].color = color();
      return Ctx::Skip;
    case Ctx::CellXfs: {
      if (!is(local, "xf")) return Ctx::Skip;
      XfRec& x = xfs_.emplace_back();
      x.numFmtId =
          static_cast<int32_t>(std::min<size_t>(indexOf(attribute("numFmtId")), INT32_MAX));
      x.fontId = indexOf(attribute("fontId"));
      x.fillId = indexOf(attribute("fillId"));
      x.borderId = indexOf(attribute("borderId"));
      alignment_ = false;
      return Ctx::Xf;
    }
    case Ctx::Xf:
      if (is(local, "alignment") && first(alignment_)) {
        if (const std::string_view* h = attribute("horizontal")) xfs_.back().horizontal = *h;
        if (const std::string_view* v = attribute("vertical")) xfs_.back().vertical = *v;
      }
      return Ctx::Skip;
    case Ctx::Colors:
      return is(local, "indexedColors") && first(indexedColors_) ? Ctx::IndexedColors : Ctx::Skip;
    case Ctx::IndexedColors:
      if (is(local, "rgbColor") && indexed_.size() < 64) indexed_.push_back(parseRgb(value("rgb")));
      return Ctx::Skip;
    case Ctx::CellStyleXfs:
      if (is(local, "xf")) styleXfFonts_.push_back(indexOf(attribute("fontId")));
      return Ctx::Skip;
    case Ctx::CellStyles:
      if (is(local, "cellStyle") && !normalXf_ && is(value("builtinId"), "0"))
        normalXf_ = indexOf(attribute("xfId"));
      return Ctx::Skip;
    default:
      return Ctx::Skip;
  }
}

// Completes the record of an element that ends.
void StyleSheetText::leave(Ctx ctx) {
  if (ctx == Ctx::Fill) {
    // A patternFill wins over a gradientFill wherever it stands.
    if (!fill_.pattern && fill_.gradient) {
      FillRec& f = fills_.back();
      f.gradient = fill_.path ? xl::kPatternRectangularGradient : xl::kPatternLinearGradient;
      f.gradientColor = fill_.stopColour;
    }
  } else if (ctx == Ctx::Border) {
    BorderRec& b = borders_.back();
    auto& sides = border_.sides;
    b.left = std::move(sides[border_.seen[kLeft] ? kLeft : kStart]);
    b.right = std::move(sides[border_.seen[kRight] ? kRight : kEnd]);
    b.top = std::move(sides[kTop]);
    b.bottom = std::move(sides[kBottom]);
    b.diagonal = std::move(sides[kDiagonal]);
  }
}

// The name an attribute has after the renaming (xml_tree.cpp).
std::string StyleSheetText::canonicalName(const Attribute& a) const {
  if (a.colon == kNone || a.name.starts_with("xmlns:")) return std::string(a.name);
  const std::string_view prefix = a.name.substr(0, a.colon);
  const Ns kind = resolve(prefix);
  std::string name;
  if (kind != Ns::None) {
    name = canonicalPrefix(kind);
    if (kind == Ns::Unknown) name += prefix;
    name += ':';
  }
  name += a.name.substr(a.colon + 1);
  return name;
}

// XML wants an element's attributes to differ by name; after the renaming,
// two prefixes of one namespace collide too.
bool StyleSheetText::uniqueAttributes(bool prefixed) {
  const size_t count = attributes_.size();
  if (!prefixed && count <= 8) {
    for (size_t i = 0; i < count; ++i) {
      const std::string_view a = attributes_[i].name;
      for (size_t j = i + 1; j < count; ++j) {
        const std::string_view b = attributes_[j].name;
        // Most names differ in length or first byte.
        if (a.size() == b.size() && a.front() == b.front() && a == b) return false;
      }
    }
    return true;
  }
  canonical_.clear();
  for (const Attribute& a : attributes_) canonical_.push_back(canonicalName(a));
  std::sort(canonical_.begin(), canonical_.end());
  return std::adjacent_find(canonical_.begin(), canonical_.end()) == canonical_.end();
}

// Reads the attributes of `tag` into attributes_, to the end of the tag;
// false at a fault, or at a '<' in a value, which the parser may take.
bool StyleSheetText::readAttributes(xml_syntax::StartTagLexer& tag) {
  attributes_.clear();
  marks_ = {};
  for (xml_syntax::AttributeText text; tag.attribute(text);) {
    const std::string_view value = in_.substr(text.valueAt, text.valueEnd - text.valueAt);
    const uint8_t valueMarks = xml_syntax::marksOf(value);
    if (valueMarks & xml_syntax::kLessThan) return false;
    Attribute& a = attributes_.emplace_back();
    a.name = xml_syntax::textOf(in_, text.name);
    a.colon = text.name.colon == kNone ? kNone : text.name.colon - text.name.at;
    a.value = value;
    a.plain = !(valueMarks & xml_syntax::kDecoded);
    marks_.references |= !a.plain;
    if (xml_syntax::isDeclaration(in_, text.name))
      marks_.declarations = a.declaration = true;
    else if (a.colon != kNone)
      marks_.prefixed = true;
  }
  return tag.ended();
}

// Brings the tag's namespace declarations into scope; false for a URI that
// the parser would decode.
bool StyleSheetText::declare() {
  for (const Attribute& a : attributes_) {
    if (!a.declaration) continue;
    if (!a.plain) return false;
    scope_.push_back(
        {a.name.size() == 5 ? std::string_view() : a.name.substr(6), namespaceKind(a.value)});
  }
  return true;
}

// Gives the attributes in no namespace their key; false for
// mc:ProcessContent, which the tree reader sees resolved.
bool StyleSheetText::keyAttributes() {
  for (Attribute& a : attributes_) {
    if (a.colon == kNone) {
      a.key = a.name;
    } else if (!a.declaration) {
      const Ns kind = resolve(a.name.substr(0, a.colon));
      if (kind == Ns::None) a.key = a.name.substr(a.colon + 1);
      if (kind == Ns::MarkupCompatibility && is(a.name.substr(a.colon + 1), "ProcessContent"))
        return false;
    }
  }
  return true;
}

// The values with references or blanks, as the parser gives them; false
// for a reference it may read otherwise.
bool StyleSheetText::decodeValues() {
  decoded_.resize(attributes_.size());
  for (size_t i = 0; i < attributes_.size(); ++i) {
    if (attributes_[i].plain) continue;
    if (!xml_syntax::decodeValue(attributes_[i].value, decoded_[i])) return false;
    attributes_[i].value = decoded_[i];
  }
  return true;
}

// Enters the element whose start tag was read, taking what it holds; an
// empty one is left at once.
void StyleSheetText::openElement(std::string_view name, Ns kind, std::string_view local,
                                 size_t scopeMark, bool empty) {
  Ctx ctx = Ctx::Root;
  if (!open_.empty()) {
    const Ctx parent = open_.back().ctx;
    ctx = parent == Ctx::Skip || kind != Ns::SpreadsheetML ? Ctx::Skip : enter(parent, local);
  }
  if (empty) {
    leave(ctx);
    scope_.resize(scopeMark);
  } else {
    open_.push_back({ctx, name, scopeMark});
  }
}

// `p` is at the character after '<'; moves past the '>'.
bool StyleSheetText::startTag(size_t& p) {
  xml_syntax::StartTagLexer tag(in_, p);
  xml_syntax::Name element;
  if (!tag.name(element) || !readAttributes(tag)) return false;
  p = tag.end();
  if (open_.size() + 1 > limits::kMaxXmlDepth) return false;
  const size_t scopeMark = scope_.size();
  if (marks_.declarations && !declare()) return false;
  const Ns kind = resolve(xml_syntax::prefixOf(in_, element));
  const std::string_view local = xml_syntax::localOf(in_, element);
  // The tree reader sees markup-compatibility sections resolved.
  if (kind == Ns::MarkupCompatibility && is(local, "AlternateContent")) return false;
  if (!keyAttributes()) return false;
  if (attributes_.size() > 1 && !uniqueAttributes(marks_.prefixed)) return false;
  if (marks_.references && !decodeValues()) return false;
  openElement(xml_syntax::textOf(in_, element), kind, local, scopeMark, tag.empty());
  return true;
}

// `p` is at the name after "</"; moves past the '>'.
bool StyleSheetText::endTag(size_t& p) {
  if (open_.empty()) return false;
  const Frame& open = open_.back();
  if (!xml_syntax::endTag(in_, p, open.name)) return false;
  leave(open.ctx);
  scope_.resize(open.scopeMark);
  open_.pop_back();
  return true;
}

bool StyleSheetText::run() {
  size_t p = 0;
  if (!xml_syntax::readsAsUtf8(in_, p)) return false;
  // The parser ends names, values and the text at a NUL.
  if (std::memchr(in_.data(), '\0', in_.size())) return false;
  const size_t start = p;
  const char* s = in_.data();
  bool root = false;
  for (;;) {
    // Most tags follow one another directly.
    const void* lt = s[p] == '<' ? s + p : std::memchr(s + p, '<', in_.size() - p);
    const size_t at = lt ? static_cast<size_t>(static_cast<const char*>(lt) - s) : in_.size();
    // Outside the root element only blanks, comments and processing
    // instructions.
    if (open_.empty())
      for (size_t i = p; i < at; ++i)
        if (!isSpace(s[i])) return false;
    if (!lt) break;
    p = at + 1;
    switch (s[p]) {
      case '?': {
        std::string_view target;
        if (!xml_syntax::skipInstruction(in_, p, target)) return false;
        // An XML declaration anywhere but at the start.
        if (at != start && equalsNoCase(target, "xml")) return false;
        break;
      }
      case '!': {
        size_t end = kNone;
        if (in_.compare(p, 3, "!--") == 0) {
          end = in_.find("-->", p + 3);
        } else if (!open_.empty() && in_.compare(p, 8, "![CDATA[") == 0) {
          end = in_.find("]]>", p + 8);
        }
        if (end == kNone) return false;  // also a document type declaration
        p = end + 3;
        break;
      }
      case '/':
        ++p;
        if (!endTag(p)) return false;
        break;
      default:
        if (open_.empty() && root) return false;  // a second root
        root = true;
        if (!startTag(p)) return false;
        break;
    }
  }
  return root && open_.empty();
}

void StyleSheetText::finish(Styles& s) {
  s.fonts = std::move(fonts_);
  s.fills = std::move(fills_);
  s.borders = std::move(borders_);
  s.xfs = std::move(xfs_);
  s.numFmts = std::move(numFmts_);
  // indexedColors replaces the palette: entries 8..63 are ColorIndex 1..56.
  for (size_t i = 0; i < indexed_.size(); ++i) {
    if (!indexed_[i]) continue;
    s.indexed[i] = *indexed_[i];
    if (i >= 8) s.palette[i - 8] = *indexed_[i];
  }
  s.matcher.reset();
  s.lastNearest.reset();
  // The Normal style's font sets the unit of column widths.
  size_t normalFontId = 0;
  if (normalXf_ && *normalXf_ < styleXfFonts_.size()) normalFontId = styleXfFonts_[*normalXf_];
  const FontRec& normal = s.font(normalFontId);
  s.mdw = maxDigitWidth(normal.name, normal.size);
}

}  // namespace

bool readStylesFromText(const std::string& bytes, Styles& s) {
  StyleSheetText text(bytes);
  if (!text.run()) return false;
  text.finish(s);
  return true;
}

}  // namespace bq::office::excel::detail
