#include "platform/office/word/detail/word_styles.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/shared/detail/measure.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office::word::detail {
namespace {

template <typename T>
void take(std::optional<T>& base, const std::optional<T>& top) {
  if (top) base = top;
}

std::string_view attr(pugi::xml_node n, const char* name) { return n.attribute(name).value(); }

std::optional<int32_t> intAttr(pugi::xml_node n, const char* name) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) return std::nullopt;
  std::optional<int64_t> v = toInt(a.value());
  if (!v) {
    // Some producers write lengths with a fraction ("240.0").
    std::optional<double> d = toDouble(a.value());
    if (!d) return std::nullopt;
    v = static_cast<int64_t>(std::llround(*d));
  }
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp<int64_t>(*v, -kLimit, kLimit));
}

// A length attribute: plain numbers in units of which `unitsPerInch` make an
// inch, or universal measures (measure.h).
std::optional<int32_t> lengthAttr(pugi::xml_node n, const char* name, int64_t unitsPerInch) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) return std::nullopt;
  std::optional<int64_t> v = lengthValue(a.value(), unitsPerInch);
  if (!v) return std::nullopt;
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp<int64_t>(*v, -kLimit, kLimit));
}

// ST_OnOff of a property element: present means on unless val says off.
std::optional<bool> onOff(pugi::xml_node n) {
  if (!n) return std::nullopt;
  const std::string_view v = attr(n, "w:val");
  return !(v == "0" || v == "false" || v == "off");
}

std::optional<std::string> valOf(pugi::xml_node n) {
  if (!n) return std::nullopt;
  return std::string(attr(n, "w:val"));
}

ColorRef colorFrom(pugi::xml_node n, const char* value, const char* theme, const char* tint,
                   const char* shade) {
  return ColorRef{std::string(attr(n, value)), std::string(attr(n, theme)),
                  std::string(attr(n, tint)), std::string(attr(n, shade))};
}

BorderRef readBorder(pugi::xml_node n) {
  BorderRef b;
  b.style = attr(n, "w:val");
  if (std::optional<int32_t> sz = intAttr(n, "w:sz")) b.eighths = *sz;
  b.color = colorFrom(n, "w:color", "w:themeColor", "w:themeTint", "w:themeShade");
  return b;
}

constexpr std::string_view kConditionalNames[kConditionals] = {
    "band1Vert", "band2Vert", "band1Horz", "band2Horz", "firstCol", "lastCol",
    "firstRow",  "lastRow",   "neCell",    "nwCell",    "seCell",   "swCell",
};

}  // namespace

void RunProps::overlay(const RunProps& top) {
  for (size_t i = 0; i < kFontSlots; ++i) take(fonts[i], top.fonts[i]);
  take(eastAsiaHint, top.eastAsiaHint);
  take(halfPoints, top.halfPoints);
  take(halfPointsCs, top.halfPointsCs);
  take(bold, top.bold);
  take(italic, top.italic);
  take(underline, top.underline);
  take(color, top.color);
  take(shading, top.shading);
  take(eastAsiaLanguage, top.eastAsiaLanguage);
}

void ParaProps::overlay(const ParaProps& top) {
  take(alignment, top.alignment);
  take(before, top.before);
  take(beforeLines, top.beforeLines);
  take(after, top.after);
  take(afterLines, top.afterLines);
  take(line, top.line);
  take(lineRule, top.lineRule);
  take(left, top.left);
  take(leftChars, top.leftChars);
  take(right, top.right);
  take(rightChars, top.rightChars);
  take(first, top.first);
  take(firstChars, top.firstChars);
}

void CellProps::overlay(const CellProps& top) {
  take(verticalAlignment, top.verticalAlignment);
  take(shading, top.shading);
  overlayBorders(borders, top.borders);
}

void overlayBorders(BorderSet& base, const BorderSet& top) {
  for (size_t i = 0; i < base.size(); ++i) take(base[i], top[i]);
}

ColorRef readColor(pugi::xml_node color) {
  return colorFrom(color, "w:val", "w:themeColor", "w:themeTint", "w:themeShade");
}

ShadingRef readShading(pugi::xml_node shd) {
  ShadingRef s;
  s.pattern = attr(shd, "w:val");
  s.color = colorFrom(shd, "w:color", "w:themeColor", "w:themeTint", "w:themeShade");
  s.fill = colorFrom(shd, "w:fill", "w:themeFill", "w:themeFillTint", "w:themeFillShade");
  return s;
}

RunProps readRunProps(pugi::xml_node rPr) {
  RunProps r;
  if (!rPr) return r;
  // Run properties are read for every run: their elements are found in one
  // pass.
  enum { kFonts, kBold, kItalic, kSize, kSizeCs, kUnderline, kColor, kShading, kLang, kStyle };
  static constexpr std::array<std::string_view, 10> kNames = {
      "w:rFonts", "w:b", "w:i", "w:sz", "w:szCs", "w:u", "w:color", "w:shd", "w:lang", "w:rStyle"};
  const std::array<pugi::xml_node, 10> e = firstChildren(rPr, kNames);
  if (pugi::xml_node f = e[kFonts]) {
    // A theme font wins over the typeface written beside it.
    static constexpr std::pair<const char*, const char*> kSlots[kFontSlots] = {
        {"w:ascii", "w:asciiTheme"},
        {"w:hAnsi", "w:hAnsiTheme"},
        {"w:eastAsia", "w:eastAsiaTheme"},
        {"w:cs", "w:cstheme"},
    };
    for (size_t i = 0; i < kFontSlots; ++i) {
      if (pugi::xml_attribute t = f.attribute(kSlots[i].second))
        r.fonts[i] = FontRef{true, t.value()};
      else if (pugi::xml_attribute n = f.attribute(kSlots[i].first))
        r.fonts[i] = FontRef{false, n.value()};
    }
    if (pugi::xml_attribute hint = f.attribute("w:hint"))
      r.eastAsiaHint = std::string_view(hint.value()) == "eastAsia";
  }
  r.bold = onOff(e[kBold]);
  r.italic = onOff(e[kItalic]);
  if (pugi::xml_node sz = e[kSize]) r.halfPoints = lengthAttr(sz, "w:val", kHalfPointsPerInch);
  if (pugi::xml_node sz = e[kSizeCs]) r.halfPointsCs = lengthAttr(sz, "w:val", kHalfPointsPerInch);
  r.underline = valOf(e[kUnderline]);
  if (pugi::xml_node c = e[kColor]) r.color = readColor(c);
  if (pugi::xml_node sh = e[kShading]) r.shading = readShading(sh);
  if (pugi::xml_attribute ea = e[kLang].attribute("w:eastAsia")) r.eastAsiaLanguage = ea.value();
  r.style = attr(e[kStyle], "w:val");
  return r;
}

ParaProps readParaProps(pugi::xml_node pPr) {
  ParaProps p;
  if (!pPr) return p;
  static constexpr std::array<std::string_view, 3> kNames = {"w:jc", "w:spacing", "w:ind"};
  const auto [jc, spacing, indent] = firstChildren(pPr, kNames);
  p.alignment = valOf(jc);
  if (pugi::xml_node s = spacing) {
    p.before = lengthAttr(s, "w:before", kTwipsPerInch);
    p.beforeLines = intAttr(s, "w:beforeLines");
    p.after = lengthAttr(s, "w:after", kTwipsPerInch);
    p.afterLines = intAttr(s, "w:afterLines");
    p.line = lengthAttr(s, "w:line", kTwipsPerInch);
    if (pugi::xml_attribute rule = s.attribute("w:lineRule")) p.lineRule = rule.value();
  }
  if (pugi::xml_node ind = indent) {
    const auto either = [&](const char* a, const char* b) {
      std::optional<int32_t> v = intAttr(ind, a);
      return v ? v : intAttr(ind, b);
    };
    const auto eitherLength = [&](const char* a, const char* b) {
      std::optional<int32_t> v = lengthAttr(ind, a, kTwipsPerInch);
      return v ? v : lengthAttr(ind, b, kTwipsPerInch);
    };
    p.left = eitherLength("w:left", "w:start");
    p.leftChars = either("w:leftChars", "w:startChars");
    p.right = eitherLength("w:right", "w:end");
    p.rightChars = either("w:rightChars", "w:endChars");
    // A hanging indent excludes a first-line one; the character counts
    // stand beside the lengths.
    if (std::optional<int32_t> h = lengthAttr(ind, "w:hanging", kTwipsPerInch))
      p.first = -*h;
    else
      p.first = lengthAttr(ind, "w:firstLine", kTwipsPerInch);
    std::optional<int32_t> hc = intAttr(ind, "w:hangingChars");
    std::optional<int32_t> fc = intAttr(ind, "w:firstLineChars");
    if (hc && (*hc != 0 || !fc))
      p.firstChars = -*hc;
    else
      p.firstChars = fc;
  }
  return p;
}

BorderSet readBorders(pugi::xml_node borders) {
  BorderSet b;
  if (!borders) return b;
  const auto edge = [&](const char* a, const char* alt) {
    pugi::xml_node n = borders.child(a);
    if (!n && alt) n = borders.child(alt);
    return n ? std::optional<BorderRef>(readBorder(n)) : std::nullopt;
  };
  b[kTop] = edge("w:top", nullptr);
  b[kLeft] = edge("w:left", "w:start");
  b[kBottom] = edge("w:bottom", nullptr);
  b[kRight] = edge("w:right", "w:end");
  b[kInsideH] = edge("w:insideH", nullptr);
  b[kInsideV] = edge("w:insideV", nullptr);
  return b;
}

CellProps readCellProps(pugi::xml_node tcPr) {
  CellProps c;
  if (!tcPr) return c;
  c.verticalAlignment = valOf(tcPr.child("w:vAlign"));
  if (pugi::xml_node s = tcPr.child("w:shd")) c.shading = readShading(s);
  c.borders = readBorders(tcPr.child("w:tcBorders"));
  return c;
}

const TableLayer* TableStyle::conditional(Conditional c) const {
  for (const auto& [type, layer] : conditionals)
    if (type == c) return &layer;
  return nullptr;
}

namespace {

Style::Type styleType(std::string_view type) {
  return type == "character"   ? Style::Type::Character
         : type == "table"     ? Style::Type::Table
         : type == "numbering" ? Style::Type::Numbering
                               : Style::Type::Paragraph;
}

// The whole style of element `n`.
std::unique_ptr<Style> readStyle(pugi::xml_node n) {
  auto s = std::make_unique<Style>();
  s->id = attr(n, "w:styleId");
  s->type = styleType(attr(n, "w:type"));
  const std::string_view isDefault = attr(n, "w:default");
  s->isDefault = isDefault == "1" || isDefault == "true" || isDefault == "on";
  s->name = attr(n.child("w:name"), "w:val");
  s->basedOn = attr(n.child("w:basedOn"), "w:val");
  pugi::xml_node pPr = n.child("w:pPr");
  s->para = readParaProps(pPr);
  s->run = readRunProps(n.child("w:rPr"));
  s->run.style.clear();
  if (pugi::xml_node numPr = pPr.child("w:numPr")) {
    s->numId = intAttr(numPr.child("w:numId"), "w:val");
    s->numLevel = intAttr(numPr.child("w:ilvl"), "w:val");
  }
  if (s->type != Style::Type::Table) return s;
  auto t = std::make_unique<TableStyle>();
  pugi::xml_node tblPr = n.child("w:tblPr");
  t->borders = readBorders(tblPr.child("w:tblBorders"));
  t->cell = readCellProps(n.child("w:tcPr"));
  t->rowBandSize = intAttr(tblPr.child("w:tblStyleRowBandSize"), "w:val");
  t->colBandSize = intAttr(tblPr.child("w:tblStyleColBandSize"), "w:val");
  for (pugi::xml_node c : n.children("w:tblStylePr")) {
    const std::string_view kind = attr(c, "w:type");
    for (size_t i = 0; i < kConditionals; ++i) {
      if (kind != kConditionalNames[i]) continue;
      const auto type = static_cast<Conditional>(i);
      if (t->conditional(type)) break;  // the first of a repeated type counts
      TableLayer layer{readParaProps(c.child("w:pPr")), readRunProps(c.child("w:rPr")),
                       readCellProps(c.child("w:tcPr"))};
      layer.run.style.clear();
      t->conditionals.emplace_back(type, std::move(layer));
      break;
    }
  }
  s->table = std::move(t);
  return s;
}

}  // namespace

void Styles::read(const Part& part) {
  part_ = part;
  const pugi::xml_node root = part.lazyXml();
  const pugi::xml_node defaults = part.expand(root.child("w:docDefaults"));
  defaultRun_ = readRunProps(defaults.child("w:rPrDefault").child("w:rPr"));
  defaultPara_ = readParaProps(defaults.child("w:pPrDefault").child("w:pPr"));
  for (pugi::xml_node n : root.children("w:style")) {
    const std::string_view id = attr(n, "w:styleId");
    // The first of a repeated id counts.
    if (id.empty() || !byId_.emplace(id, entries_.size()).second) continue;
    const Style::Type type = styleType(attr(n, "w:type"));
    const std::string_view isDefault = attr(n, "w:default");
    if (isDefault == "1" || isDefault == "true" || isDefault == "on") {
      // The first style marked default of each type.
      if (type == Style::Type::Paragraph && !defaultParagraph_) defaultParagraph_ = entries_.size();
      if (type == Style::Type::Table && !defaultTable_) defaultTable_ = entries_.size();
    }
    entries_.push_back(Entry{n, type, nullptr});
  }
}

pugi::xml_node Styles::nodeAt(size_t index) const { return part_.expand(entries_[index].node); }

const Style* Styles::styleAt(size_t index) const {
  const Entry& e = entries_[index];
  if (!e.style) e.style = readStyle(nodeAt(index));
  return e.style.get();
}

const Style* Styles::find(std::string_view id) const {
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : styleAt(it->second);
}

const Style* Styles::defaultParagraphStyle() const {
  return defaultParagraph_ ? styleAt(*defaultParagraph_) : nullptr;
}

const Style* Styles::defaultTableStyle() const {
  return defaultTable_ ? styleAt(*defaultTable_) : nullptr;
}

const Style* Styles::paragraphStyleNamed(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].type == Style::Type::Paragraph &&
        equalsNoCase(attr(nodeAt(i).child("w:name"), "w:val"), name))
      return styleAt(i);
  return nullptr;
}

std::vector<const Style*> Styles::chain(const Style* style) const {
  std::vector<const Style*> out;
  std::unordered_set<const Style*> seen;
  for (const Style* s = style; s && seen.insert(s).second; s = find(s->basedOn)) {
    out.push_back(s);
    if (s->basedOn.empty()) break;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

void Numbering::read(pugi::xml_node root) {
  std::map<std::pair<int32_t, int32_t>, ParaProps> abstract;
  for (pugi::xml_node a : root.children("w:abstractNum")) {
    std::optional<int32_t> id = intAttr(a, "w:abstractNumId");
    if (!id) continue;
    for (pugi::xml_node lvl : a.children("w:lvl"))
      if (std::optional<int32_t> level = intAttr(lvl, "w:ilvl"))
        abstract.emplace(std::make_pair(*id, *level), readParaProps(lvl.child("w:pPr")));
  }
  for (pugi::xml_node num : root.children("w:num")) {
    std::optional<int32_t> numId = intAttr(num, "w:numId");
    std::optional<int32_t> abstractId = intAttr(num.child("w:abstractNumId"), "w:val");
    if (!numId || !abstractId) continue;
    for (const auto& [key, props] : abstract)
      if (key.first == *abstractId) levels_.emplace(std::make_pair(*numId, key.second), props);
    for (pugi::xml_node o : num.children("w:lvlOverride")) {
      std::optional<int32_t> level = intAttr(o, "w:ilvl");
      pugi::xml_node lvl = o.child("w:lvl");
      if (!level || !lvl) continue;
      levels_[std::make_pair(*numId, *level)] = readParaProps(lvl.child("w:pPr"));
    }
  }
}

const ParaProps* Numbering::level(int32_t numId, int32_t level) const {
  auto it = levels_.find(std::make_pair(numId, level));
  return it == levels_.end() ? nullptr : &it->second;
}

TableLook readTableLook(pugi::xml_node tblLook) {
  TableLook look;
  if (!tblLook) return look;
  // Word 2010 and later write one attribute per option; earlier versions a
  // hexadecimal mask in val.
  const auto flag = [&](const char* name, uint32_t bit, uint32_t mask) {
    if (pugi::xml_attribute a = tblLook.attribute(name)) {
      const std::string_view v = a.value();
      return v == "1" || v == "true" || v == "on";
    }
    return (mask & bit) != 0;
  };
  uint32_t mask = 0;
  for (char c : attr(tblLook, "w:val")) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) {
      mask = 0;
      break;
    }
    mask = (mask << 4 | static_cast<uint32_t>(digit)) & 0xFFFF;
  }
  look.firstRow = flag("w:firstRow", 0x0020, mask);
  look.lastRow = flag("w:lastRow", 0x0040, mask);
  look.firstColumn = flag("w:firstColumn", 0x0080, mask);
  look.lastColumn = flag("w:lastColumn", 0x0100, mask);
  look.noHBand = flag("w:noHBand", 0x0200, mask);
  look.noVBand = flag("w:noVBand", 0x0400, mask);
  return look;
}

std::vector<Conditional> conditionalsOf(const TableLook& look, int32_t row, int32_t column,
                                        int32_t rows, int32_t columns, int32_t rowBandSize,
                                        int32_t colBandSize) {
  std::vector<Conditional> out;
  const bool first = look.firstColumn && column == 0;
  const bool last = look.lastColumn && column == columns - 1;
  const bool top = look.firstRow && row == 0;
  const bool bottom = look.lastRow && row == rows - 1;
  // Bands count the rows and columns after the heading ones.
  if (!look.noVBand && !first && !last) {
    const int32_t c = column - (look.firstColumn ? 1 : 0);
    out.push_back((c / std::max(colBandSize, 1)) % 2 == 0 ? Conditional::Band1Vert
                                                          : Conditional::Band2Vert);
  }
  if (!look.noHBand && !top && !bottom) {
    const int32_t r = row - (look.firstRow ? 1 : 0);
    out.push_back((r / std::max(rowBandSize, 1)) % 2 == 0 ? Conditional::Band1Horz
                                                          : Conditional::Band2Horz);
  }
  if (first) out.push_back(Conditional::FirstCol);
  if (last) out.push_back(Conditional::LastCol);
  if (top) out.push_back(Conditional::FirstRow);
  if (bottom) out.push_back(Conditional::LastRow);
  if (top && last) out.push_back(Conditional::NeCell);
  if (top && first) out.push_back(Conditional::NwCell);
  if (bottom && last) out.push_back(Conditional::SeCell);
  if (bottom && first) out.push_back(Conditional::SwCell);
  return out;
}

}  // namespace bq::office::word::detail
