#include "platform/office/word/word.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <optional>
#include <utility>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/package.h"
#include "platform/office/shared/detail/measure.h"
#include "platform/office/shared/detail/text_util.h"
#include "platform/office/word/detail/word_styles.h"

namespace bq::office::word {

namespace detail {

// A run's formatting, resolved.
struct CharFormat {
  std::array<std::string, kFontSlots> fonts;
  bool eastAsiaHint = false;
  float size = kDefaultFontSize;
  bool bold = false, italic = false;
  int32_t underline = 0;
  WordColor color;
  Shading shading;
  bool operator==(const CharFormat&) const = default;
};

// A stretch of a story's text in one format; marks (the paragraph, cell and
// row ends and section breaks) have spans of their own.
struct Span {
  uint32_t start, end;
  uint32_t format;
  bool mark;
};

struct ParaRec {
  uint32_t start = 0, end = 0;  // text, mark included
  ParagraphFormat format;
  float lineUnitBefore = 0, lineUnitAfter = 0;
  float leftChars = 0, rightChars = 0, firstChars = 0;
  int32_t section = 0;
  int32_t cell = -1;  // into DocumentData::cells
};

struct Story {
  std::u16string text;
  std::vector<Span> spans;
  std::vector<ParaRec> paras;
  // Words and sentences, worked out on first use.
  mutable std::optional<std::vector<std::pair<size_t, size_t>>> words, sentences;

  const std::vector<std::pair<size_t, size_t>>& wordList() const {
    if (!words) words = wordSpans(text);
    return *words;
  }
  const std::vector<std::pair<size_t, size_t>>& sentenceList() const {
    if (!sentences) sentences = sentenceSpans(text);
    return *sentences;
  }
  // The paragraph that holds offset `at` (the last one for the end).
  size_t paragraphAt(size_t at) const {
    auto it = std::upper_bound(paras.begin(), paras.end(), at,
                               [](size_t v, const ParaRec& p) { return v < p.start; });
    return it == paras.begin() ? 0 : static_cast<size_t>(it - paras.begin() - 1);
  }
};

struct SectionRec {
  PageSetup setup;
  // Primary, first-page and even-page header and footer stories.
  std::array<const Story*, 3> headers{}, footers{};
};

struct DocumentData {
  Package package;
  Part documentPart;
  Styles styles;
  Numbering numbering;
  Theme theme;
  ColorMap colorMap;
  std::string eastAsiaLanguage, bidiLanguage;  // w:themeFontLang
  bool gutterAtTop = false;

  Story body;
  std::deque<Story> otherStories;  // headers and footers; a deque keeps them in place
  std::map<std::string, const Story*> storiesByPart;
  const Story* emptyHeader = nullptr;
  const Story* emptyFooter = nullptr;
  std::vector<SectionRec> sections;
  std::vector<Cells> cells;
  std::vector<Borders> tables;
  std::vector<CharFormat> formats;

  explicit DocumentData(Package p) : package(std::move(p)) {}
};

}  // namespace detail

namespace {

using detail::CharFormat;
using detail::DocumentData;
using detail::ParaRec;
using detail::Span;
using detail::Story;

[[noreturn]] void raise(int32_t number, std::string description) {
  throw AutomationError(number, std::string(kErrorSource), std::move(description));
}

[[noreturn]] void raiseNoMember() {
  raise(wd::kNoSuchMember, "The requested member of the collection does not exist.");
}

std::string_view attr(pugi::xml_node n, const char* name) { return n.attribute(name).value(); }

std::optional<int32_t> intAttr(pugi::xml_node n, const char* name) {
  std::optional<int64_t> v = toInt(attr(n, name));
  if (!v) {
    std::optional<double> d = toDouble(attr(n, name));
    if (!d) return std::nullopt;
    v = static_cast<int64_t>(std::llround(*d));
  }
  return static_cast<int32_t>(std::clamp<int64_t>(*v, -2'000'000'000, 2'000'000'000));
}

// A length in twips: a plain number or a universal measure (measure.h).
std::optional<int32_t> twipsAttr(pugi::xml_node n, const char* name) {
  std::optional<int64_t> v = lengthValue(attr(n, name), kTwipsPerInch);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(std::clamp<int64_t>(*v, -2'000'000'000, 2'000'000'000));
}

bool onOffAttr(pugi::xml_node n, const char* name) {
  const std::string_view v = attr(n, name);
  return v == "1" || v == "true" || v == "on";
}

// ST_OnOff element: present and not switched off.
bool onOffElement(pugi::xml_node n) {
  if (!n) return false;
  const std::string_view v = attr(n, "w:val");
  return !(v == "0" || v == "false" || v == "off");
}

float points(int32_t twips) { return static_cast<float>(twips) / 20; }

// ---------------------------------------------------------------------------
// Section properties.

// The page Word gives a section whose properties leave it out: the Chinese
// edition's A4 with its Normal template's margins.
constexpr int32_t kDefaultPageWidth = 11906, kDefaultPageHeight = 16838;
constexpr int32_t kDefaultMargins[7] = {1440, 1800, 1440, 1800, 851, 992, 0};
// Word's columns: at most 45, 720 twips apart unless the file says otherwise.
constexpr int32_t kMaxColumns = 45;
constexpr int32_t kDefaultColumnSpace = 720;

PageSetup readPageSetup(pugi::xml_node sectPr, bool gutterAtTop) {
  PageSetup s;
  pugi::xml_node pgSz = sectPr.child("w:pgSz");
  const int32_t width = pgSz ? twipsAttr(pgSz, "w:w").value_or(0) : kDefaultPageWidth;
  const int32_t height = pgSz ? twipsAttr(pgSz, "w:h").value_or(0) : kDefaultPageHeight;
  s.pageWidth = points(width);
  s.pageHeight = points(height);
  s.orientation =
      attr(pgSz, "w:orient") == "landscape" ? wd::kOrientLandscape : wd::kOrientPortrait;
  s.paperSize = paperSizeCode(width, height);

  pugi::xml_node pgMar = sectPr.child("w:pgMar");
  static constexpr const char* kMargins[7] = {"w:top",    "w:left",   "w:bottom", "w:right",
                                              "w:header", "w:footer", "w:gutter"};
  int32_t m[7];
  for (size_t i = 0; i < 7; ++i)
    m[i] = pgMar ? twipsAttr(pgMar, kMargins[i]).value_or(0) : kDefaultMargins[i];
  // A negative top or bottom margin is kept exactly (headers do not push the
  // text down); Word reports its size.
  s.topMargin = points(std::abs(m[0]));
  s.leftMargin = points(m[1]);
  s.bottomMargin = points(std::abs(m[2]));
  s.rightMargin = points(m[3]);
  s.headerDistance = points(m[4]);
  s.footerDistance = points(m[5]);
  s.gutter = points(m[6]);
  s.gutterPos = gutterAtTop                                 ? wd::kGutterPosTop
                : onOffElement(sectPr.child("w:rtlGutter")) ? wd::kGutterPosRight
                                                            : wd::kGutterPosLeft;

  // Columns: evenly spaced ones share the text width; others are listed.
  pugi::xml_node cols = sectPr.child("w:cols");
  TextColumns& tc = s.textColumns;
  const int32_t space =
      cols.attribute("w:space") ? twipsAttr(cols, "w:space").value_or(0) : kDefaultColumnSpace;
  tc.lineBetween = onOffAttr(cols, "w:sep") ? wd::kTrue : wd::kFalse;
  std::vector<pugi::xml_node> listed;
  for (pugi::xml_node c : cols.children("w:col"))
    if (listed.size() < kMaxColumns) listed.push_back(c);
  const std::string_view equal = attr(cols, "w:equalWidth");
  const bool uneven = (equal == "0" || equal == "false" || equal == "off") && !listed.empty();
  if (uneven) {
    tc.evenlySpaced = wd::kFalse;
    std::optional<int32_t> common;
    bool differ = false;
    for (size_t i = 0; i < listed.size(); ++i) {
      tc.widths.push_back(points(twipsAttr(listed[i], "w:w").value_or(0)));
      if (i + 1 == listed.size()) break;
      const int32_t after = twipsAttr(listed[i], "w:space").value_or(0);
      if (common && *common != after) differ = true;
      common = after;
    }
    tc.spacing = differ ? static_cast<float>(wd::kUndefined) : points(common.value_or(space));
  } else {
    const int32_t n = std::clamp(intAttr(cols, "w:num").value_or(1), 1, kMaxColumns);
    // In double: the lengths of a hostile file may not fit an int32 together.
    const double textWidth =
        static_cast<double>(width) - m[1] - m[3] - (s.gutterPos == wd::kGutterPosTop ? 0 : m[6]);
    const double each = (textWidth - static_cast<double>(space) * (n - 1)) / n;
    tc.widths.assign(static_cast<size_t>(n), static_cast<float>(each / 20));
    tc.evenlySpaced = wd::kTrue;
    tc.spacing = points(space);
  }
  return s;
}

// A value read over several characters, paragraphs or cells: the common
// value, or undefined once two differ.
template <typename T>
class Common {
 public:
  void add(const T& v) {
    if (!value_)
      value_ = v;
    else if (*value_ != v)
      mixed_ = true;
  }
  bool mixed() const { return mixed_; }
  bool empty() const { return !value_; }
  T get(T undefined, T none = T{}) const { return mixed_ ? undefined : value_.value_or(none); }

 private:
  std::optional<T> value_;
  bool mixed_ = false;
};

// ---------------------------------------------------------------------------
// Building the stories.

// A table cell as the table's borders see it: the cell's own borders (its
// tcBorders over its table style's) and the grid columns it covers.
struct CellEdges {
  detail::BorderSet borders;
  // In int64_t: the spans a hostile file gives may not fit an int32_t together.
  int64_t column = 0, span = 1;
  bool mergedAbove = false;  // w:vMerge continuing the cell above it
};

// The formatting a table cell gives the paragraphs in it.
struct CellContext {
  int32_t cell = -1;
  detail::ParaProps para;
  detail::RunProps run;
};

// Run properties stacked: `layer` over `base`; for a style layer, bold and
// italic switch over where the layer sets them on.
detail::RunProps stack(const detail::RunProps& base, const detail::RunProps& layer, bool toggles) {
  detail::RunProps r = base;
  r.overlay(layer);
  if (toggles) {
    const auto toggle = [](std::optional<bool> below, std::optional<bool> set) {
      const bool b = below.value_or(false);
      return set && *set ? !b : b;
    };
    r.bold = toggle(base.bold, layer.bold);
    r.italic = toggle(base.italic, layer.italic);
  }
  return r;
}

// Whether a picture or object of a run (w:drawing, w:pict, w:object) floats
// beside the text rather than standing in line with it, as Word places it: a
// drawing unless it is wp:inline (wp:anchor floats); VML when its shape (the
// first VML element that is no v:shapetype: v:shape, v:rect, v:line,
// v:group ...) is positioned absolutely. An object may hold a drawing in
// place of VML.
bool floatsBesideText(pugi::xml_node object) {
  if (is(object, Ns::WordprocessingML, "drawing")) {
    bool inLine = false;
    forEachElement(object, [&](pugi::xml_node d) {
      inLine = inLine || is(d, Ns::WordprocessingDrawing, "inline");
    });
    return !inLine;
  }
  std::optional<bool> floats;
  forEachElement(object, [&](pugi::xml_node c) {
    if (floats) return;
    if (kindOf(c) == Ns::Vml && localName(c) != "shapetype")
      floats = vmlStyleFloats(attr(c, "style"));
    else if (is(c, Ns::WordprocessingML, "drawing"))
      floats = floatsBesideText(c);
  });
  return floats.value_or(false);
}

class StoryBuilder {
 public:
  StoryBuilder(DocumentData& d, Story& story, bool body) : d_(d), s_(story), body_(body) {}

  void blocks(pugi::xml_node container, const CellContext* cell);
  // One empty paragraph in the paragraph style named `styleName`.
  void emptyParagraph(std::string_view styleName);
  // The section properties of the paragraphs that end sections, in order.
  const std::vector<pugi::xml_node>& sectionBreaks() const { return breaks_; }

 private:
  void paragraph(pugi::xml_node p, const CellContext* cell, bool cellEnd);
  void table(pugi::xml_node tbl);
  Borders tableBorders(const detail::BorderSet& table,
                       const std::vector<std::vector<CellEdges>>& rows) const;
  void inlineContent(pugi::xml_node parent, const detail::RunProps& paraRun);
  void run(pugi::xml_node r, const detail::RunProps& paraRun);
  void append(std::u16string_view text, uint32_t format, bool mark);
  uint32_t formatOf(const detail::RunProps& paraRun, pugi::xml_node rPr);
  CharFormat resolve(const detail::RunProps& props) const;
  ParaRec paragraphValues(const detail::ParaProps& props) const;
  detail::RunProps paragraphRun(const detail::Style* style, const CellContext* cell) const;
  const detail::Style* paragraphStyle(pugi::xml_node pPr) const;
  void finishParagraph(ParaRec rec, const CellContext* cell, uint32_t start);

  DocumentData& d_;
  Story& s_;
  bool body_;
  int32_t section_ = 0;
  // Complex fields: for each open field, whether its code (not its result)
  // is being read.
  std::vector<bool> fields_;
  uint32_t lastFormat_ = UINT32_MAX;
  std::vector<pugi::xml_node> breaks_;
};

const detail::Style* StoryBuilder::paragraphStyle(pugi::xml_node pPr) const {
  const detail::Style* style = d_.styles.find(attr(pPr.child("w:pStyle"), "w:val"));
  if (!style || style->type != detail::Style::Type::Paragraph)
    style = d_.styles.defaultParagraphStyle();
  return style;
}

detail::RunProps StoryBuilder::paragraphRun(const detail::Style* style,
                                            const CellContext* cell) const {
  detail::RunProps r = d_.styles.defaultRun();
  if (cell) r = stack(r, cell->run, true);
  detail::RunProps chain;
  for (const detail::Style* s : d_.styles.chain(style)) chain.overlay(s->run);
  return stack(r, chain, true);
}

CharFormat StoryBuilder::resolve(const detail::RunProps& p) const {
  CharFormat f;
  for (size_t i = 0; i < detail::kFontSlots; ++i) {
    const bool eastAsia = i == static_cast<size_t>(FontSlot::EastAsia);
    std::string name;
    if (const std::optional<detail::FontRef>& ref = p.fonts[i]) {
      if (ref->theme) {
        // The script font follows the document's theme font language, else
        // the run's own East Asian language.
        std::string_view language = d_.eastAsiaLanguage;
        if (i == static_cast<size_t>(FontSlot::ComplexScript))
          language = d_.bidiLanguage;
        else if (language.empty() && p.eastAsiaLanguage)
          language = *p.eastAsiaLanguage;
        name = themeFontName(ref->name, d_.theme, language).value_or("");
      } else {
        name = ref->name;
      }
    }
    if (name.empty()) name = eastAsia ? kDefaultEastAsianFont : kDefaultFont;
    f.fonts[i] = std::move(name);
  }
  f.eastAsiaHint = p.eastAsiaHint.value_or(false);
  if (p.halfPoints && *p.halfPoints > 0) f.size = static_cast<float>(*p.halfPoints) / 2;
  f.bold = p.bold.value_or(false);
  f.italic = p.italic.value_or(false);
  f.underline = underlineCode(p.underline.value_or(""));
  if (p.color)
    f.color = wordColor(p.color->value, p.color->themeColor, p.color->themeTint,
                        p.color->themeShade, d_.theme, d_.colorMap);
  if (p.shading) {
    const detail::ShadingRef& s = *p.shading;
    f.shading.texture = textureCode(s.pattern);
    f.shading.foregroundPatternColor =
        colorValue(wordColor(s.color.value, s.color.themeColor, s.color.themeTint,
                             s.color.themeShade, d_.theme, d_.colorMap));
    f.shading.backgroundPatternColor =
        colorValue(wordColor(s.fill.value, s.fill.themeColor, s.fill.themeTint, s.fill.themeShade,
                             d_.theme, d_.colorMap));
  }
  return f;
}

uint32_t StoryBuilder::formatOf(const detail::RunProps& paraRun, pugi::xml_node rPr) {
  detail::RunProps direct = detail::readRunProps(rPr);
  detail::RunProps r = paraRun;
  if (const detail::Style* cs = d_.styles.find(direct.style);
      cs && cs->type == detail::Style::Type::Character) {
    detail::RunProps chain;
    for (const detail::Style* s : d_.styles.chain(cs)) chain.overlay(s->run);
    r = stack(r, chain, true);
  }
  // The run's own settings are absolute: laid over, in place.
  r.overlay(direct);
  CharFormat f = resolve(r);
  // Runs in a row mostly share their format.
  if (lastFormat_ != UINT32_MAX && d_.formats[lastFormat_] == f) return lastFormat_;
  for (uint32_t i = static_cast<uint32_t>(d_.formats.size());
       i-- > 0 && d_.formats.size() - i <= 16;)
    if (d_.formats[i] == f) return lastFormat_ = i;
  d_.formats.push_back(std::move(f));
  return lastFormat_ = static_cast<uint32_t>(d_.formats.size() - 1);
}

ParaRec StoryBuilder::paragraphValues(const detail::ParaProps& p) const {
  ParaRec rec;
  rec.format.alignment = alignmentCode(p.alignment.value_or(""));
  const LineSpacing ls = lineSpacing(p.line, p.lineRule.value_or("auto"));
  rec.format.lineSpacingRule = ls.rule;
  rec.format.lineSpacing = ls.points;
  // The character and line units are kept in hundredths.
  const auto units = [](std::optional<int32_t> v) {
    return static_cast<float>(v.value_or(0)) / 100;
  };
  rec.lineUnitBefore = units(p.beforeLines);
  rec.lineUnitAfter = units(p.afterLines);
  rec.leftChars = units(p.leftChars);
  rec.rightChars = units(p.rightChars);
  rec.firstChars = units(p.firstChars);
  return rec;
}

void StoryBuilder::append(std::u16string_view text, uint32_t format, bool mark) {
  if (text.empty()) return;
  const auto start = static_cast<uint32_t>(s_.text.size());
  s_.text.append(text);
  const auto end = static_cast<uint32_t>(s_.text.size());
  if (!mark && !s_.spans.empty() && !s_.spans.back().mark && s_.spans.back().format == format &&
      s_.spans.back().end == start) {
    s_.spans.back().end = end;
    return;
  }
  s_.spans.push_back(Span{start, end, format, mark});
}

void StoryBuilder::run(pugi::xml_node r, const detail::RunProps& paraRun) {
  std::optional<uint32_t> format;
  const auto fmt = [&] {
    if (!format) format = formatOf(paraRun, r.child("w:rPr"));
    return *format;
  };
  const auto inCode = [&] {
    return std::find(fields_.begin(), fields_.end(), true) != fields_.end();
  };
  forEachElement(r, [&](pugi::xml_node c) {
    if (kindOf(c) != Ns::WordprocessingML) return;
    const std::string_view local = localName(c);
    if (local == "fldChar") {
      const std::string_view type = attr(c, "w:fldCharType");
      if (type == "begin")
        fields_.push_back(true);
      else if (type == "separate" && !fields_.empty())
        fields_.back() = false;
      else if (type == "end" && !fields_.empty())
        fields_.pop_back();
      return;
    }
    if (inCode() || local == "rPr" || local == "instrText" || local == "delInstrText") return;
    if (local == "t" || local == "delText") {
      append(toUtf16(c.text().get()), fmt(), false);
      return;
    }
    // A picture or object in line with the text is a character; a floating
    // one is not, nor does its run's formatting count.
    if ((local == "drawing" || local == "pict" || local == "object") && floatsBesideText(c)) return;
    if (std::optional<std::u16string_view> special = specialText(local, attr(c, "w:type")))
      append(*special, fmt(), false);
  });
}

void StoryBuilder::inlineContent(pugi::xml_node parent, const detail::RunProps& paraRun) {
  forEachElement(parent, [&](pugi::xml_node c) {
    if (kindOf(c) != Ns::WordprocessingML) return;
    const std::string_view local = localName(c);
    if (local == "r") {
      run(c, paraRun);
    } else if (local == "sdt") {
      inlineContent(c.child("w:sdtContent"), paraRun);
    } else if (local == "hyperlink" || local == "smartTag" || local == "customXml" ||
               local == "ins" || local == "del" || local == "moveTo" || local == "moveFrom" ||
               local == "fldSimple" || local == "bdo" || local == "dir") {
      inlineContent(c, paraRun);
    }
  });
}

void StoryBuilder::finishParagraph(ParaRec rec, const CellContext* cell, uint32_t start) {
  rec.start = start;
  rec.end = static_cast<uint32_t>(s_.text.size());
  rec.section = section_;
  rec.cell = cell ? cell->cell : -1;
  s_.paras.push_back(rec);
}

void StoryBuilder::paragraph(pugi::xml_node p, const CellContext* cell, bool cellEnd) {
  pugi::xml_node pPr = p.child("w:pPr");
  const detail::Style* style = paragraphStyle(pPr);
  const std::vector<const detail::Style*> chain = d_.styles.chain(style);

  detail::ParaProps props = d_.styles.defaultPara();
  if (cell) props.overlay(cell->para);
  std::optional<int32_t> numId, numLevel;
  for (const detail::Style* s : chain) {
    props.overlay(s->para);
    if (s->numId) numId = s->numId, numLevel = s->numLevel;
  }
  if (pugi::xml_node numPr = pPr.child("w:numPr")) {
    if (std::optional<int32_t> id = intAttr(numPr.child("w:numId"), "w:val")) numId = id;
    if (std::optional<int32_t> level = intAttr(numPr.child("w:ilvl"), "w:val")) numLevel = level;
  }
  if (numId && *numId > 0)
    if (const detail::ParaProps* level = d_.numbering.level(*numId, numLevel.value_or(0)))
      props.overlay(*level);
  props.overlay(detail::readParaProps(pPr));

  const detail::RunProps paraRun = paragraphRun(style, cell);
  const auto start = static_cast<uint32_t>(s_.text.size());
  inlineContent(p, paraRun);

  pugi::xml_node sectPr = body_ && !cell ? pPr.child("w:sectPr") : pugi::xml_node{};
  const uint32_t markFormat = formatOf(paraRun, pPr.child("w:rPr"));
  append(cellEnd ? kCellMark : sectPr ? kSectionBreak : kParagraphMark, markFormat, true);
  finishParagraph(paragraphValues(props), cell, start);
  if (sectPr) {
    d_.sections.push_back({readPageSetup(sectPr, d_.gutterAtTop), {}, {}});
    breaks_.push_back(sectPr);
    ++section_;
  }
}

void StoryBuilder::emptyParagraph(std::string_view styleName) {
  const detail::Style* style = d_.styles.paragraphStyleNamed(styleName);
  if (!style) style = d_.styles.defaultParagraphStyle();
  detail::ParaProps props = d_.styles.defaultPara();
  for (const detail::Style* s : d_.styles.chain(style)) props.overlay(s->para);
  const auto start = static_cast<uint32_t>(s_.text.size());
  append(kParagraphMark, formatOf(paragraphRun(style, nullptr), {}), true);
  finishParagraph(paragraphValues(props), nullptr, start);
}

// The elements named `name` among the children of `parent`, looking
// through content controls, custom XML and alternate content.
void collect(pugi::xml_node parent, std::string_view name, std::vector<pugi::xml_node>& out) {
  forEachElement(parent, [&](pugi::xml_node c) {
    if (kindOf(c) != Ns::WordprocessingML) return;
    const std::string_view local = localName(c);
    if (local == name)
      out.push_back(c);
    else if (local == "sdt")
      collect(c.child("w:sdtContent"), name, out);
    else if (local == "customXml")
      collect(c, name, out);
  });
}

// A cell's borders laid over those of the layer below (its table style's):
// a border of "none" (or no value) is no border of the cell's own, so the
// one below, else the table's, stays; "nil" is kept and means no line.
void overlayCellBorders(detail::BorderSet& base, const detail::BorderSet& top) {
  for (size_t e = 0; e < detail::kBorderEdges; ++e)
    if (top[e] && (top[e]->style == "nil" || borderLineStyle(top[e]->style) != wd::kLineStyleNone))
      base[e] = top[e];
}

// Table.Borders: the borders the table's cells show on its outer edges and
// between them, each value the one all outer (or all inner) edges share,
// else undefined; a table without inner edges reports its inside borders as
// the table sets them.
//
// An outer edge shows the cell's own border, else the table's (tblBorders
// with its style's). Where two cells meet (a cell's right and the next
// one's left; its bottom and the top of each cell of the next row under
// the grid columns it covers, unless that cell continues it downwards),
// Word resolves the two borders by the conflict rule of ECMA-376 17.4.66:
// each side is the cell's own border, else the table's insideH / insideV
// (Word gives every cell its borders so, and then weighs them: a table's
// border does not lose to a cell's for being the table's); a side without a
// line, nil or none, gives way to the other (a table whose cells set only
// their bottom and right lines, the rest nil, shows its whole grid); of two
// lines the one firstBorderWins picks, the heavier.
Borders StoryBuilder::tableBorders(const detail::BorderSet& table,
                                   const std::vector<std::vector<CellEdges>>& rows) const {
  using detail::BorderRef;
  struct Edge {
    int32_t style, width, colour;
  };
  const auto colourOf = [&](const BorderRef& e) {
    return wordColor(e.color.value, e.color.themeColor, e.color.themeTint, e.color.themeShade,
                     d_.theme, d_.colorMap);
  };
  const auto isLine = [](const std::optional<BorderRef>& e) {
    return e && borderLineStyle(e->style) != wd::kLineStyleNone;
  };
  const auto edge = [&](const std::optional<BorderRef>& e) {
    if (!isLine(e)) return Edge{wd::kLineStyleNone, wd::kLineWidth050pt, 0};
    return Edge{borderLineStyle(e->style), borderLineWidth(e->eighths), colorIndexOf(colourOf(*e))};
  };
  const auto weighed = [&](const BorderRef& e) {
    const WordColor c = colourOf(e);
    return BorderLine{e.style, e.eighths, c.kind == WordColor::Kind::Auto ? Rgb{} : c.rgb};
  };
  const std::optional<BorderRef> none;
  const auto outer =
      [](const std::optional<BorderRef>& own,
         const std::optional<BorderRef>& tableEdge) -> const std::optional<BorderRef>& {
    return own ? own : tableEdge;
  };
  const auto between =
      [&](const std::optional<BorderRef>& first, const std::optional<BorderRef>& second,
          const std::optional<BorderRef>& inside) -> const std::optional<BorderRef>& {
    const std::optional<BorderRef>& a = first ? first : inside;
    const std::optional<BorderRef>& b = second ? second : inside;
    if (!isLine(a)) return b;
    if (!isLine(b)) return a;
    return firstBorderWins(weighed(*a), weighed(*b)) ? a : b;
  };
  Common<int32_t> outStyle, outWidth, outColour, inStyle, inWidth, inColour;
  const auto addOut = [&](const std::optional<BorderRef>& e) {
    const Edge x = edge(e);
    outStyle.add(x.style), outWidth.add(x.width), outColour.add(x.colour);
  };
  const auto addIn = [&](const std::optional<BorderRef>& e) {
    const Edge x = edge(e);
    inStyle.add(x.style), inWidth.add(x.width), inColour.add(x.colour);
  };
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::vector<CellEdges>& row = rows[r];
    for (size_t c = 0; c < row.size(); ++c) {
      const CellEdges& cell = row[c];
      const detail::BorderSet& own = cell.borders;
      if (c == 0) addOut(outer(own[detail::kLeft], table[detail::kLeft]));
      if (c + 1 == row.size())
        addOut(outer(own[detail::kRight], table[detail::kRight]));
      else
        addIn(between(own[detail::kRight], row[c + 1].borders[detail::kLeft],
                      table[detail::kInsideV]));
      if (r == 0) addOut(outer(own[detail::kTop], table[detail::kTop]));
      if (r + 1 == rows.size()) addOut(outer(own[detail::kBottom], table[detail::kBottom]));
    }
    if (r + 1 == rows.size()) break;
    // Both rows run in grid order: one sweep finds the cells under each.
    const std::vector<CellEdges>& next = rows[r + 1];
    size_t first = 0;
    for (const CellEdges& cell : row) {
      while (first < next.size() && next[first].column + next[first].span <= cell.column) ++first;
      for (size_t k = first; k < next.size() && next[k].column < cell.column + cell.span; ++k) {
        if (next[k].mergedAbove && next[k].column == cell.column) continue;
        addIn(between(cell.borders[detail::kBottom], next[k].borders[detail::kTop],
                      table[detail::kInsideH]));
      }
    }
  }
  if (outStyle.empty())
    for (size_t e : {detail::kTop, detail::kLeft, detail::kBottom, detail::kRight})
      addOut(table[e]);
  if (inStyle.empty())
    for (size_t e : {detail::kInsideH, detail::kInsideV}) addIn(table[e]);
  Borders b;
  b.outsideLineStyle = outStyle.get(wd::kUndefined);
  b.outsideLineWidth = outWidth.get(wd::kUndefined);
  b.outsideColorIndex = outColour.get(wd::kUndefined);
  b.insideLineStyle = inStyle.get(wd::kUndefined);
  b.insideLineWidth = inWidth.get(wd::kUndefined);
  b.insideColorIndex = inColour.get(wd::kUndefined);
  return b;
}

void StoryBuilder::table(pugi::xml_node tbl) {
  pugi::xml_node tblPr = tbl.child("w:tblPr");
  const detail::Style* style = d_.styles.find(attr(tblPr.child("w:tblStyle"), "w:val"));
  if (!style || style->type != detail::Style::Type::Table) style = d_.styles.defaultTableStyle();
  const std::vector<const detail::Style*> chain = d_.styles.chain(style);

  // The table's own borders over its style's.
  detail::BorderSet borders;
  CellContext whole;
  detail::CellProps wholeCell;
  detail::BorderSet wholeCellBorders;
  int32_t rowBand = 1, colBand = 1;
  for (const detail::Style* s : chain) {
    whole.para.overlay(s->para);
    whole.run.overlay(s->run);
    if (!s->table) continue;
    detail::overlayBorders(borders, s->table->borders);
    wholeCell.overlay(s->table->cell);
    overlayCellBorders(wholeCellBorders, s->table->cell.borders);
    if (s->table->rowBandSize) rowBand = *s->table->rowBandSize;
    if (s->table->colBandSize) colBand = *s->table->colBandSize;
  }
  detail::overlayBorders(borders, detail::readBorders(tblPr.child("w:tblBorders")));
  // The table's place comes before its nested tables'; its borders are
  // known once its cells are.
  const size_t tableIndex = d_.tables.size();
  d_.tables.emplace_back();
  std::vector<std::vector<CellEdges>> cellEdges;

  const detail::TableLook look = detail::readTableLook(tblPr.child("w:tblLook"));
  std::vector<pugi::xml_node> rows;
  collect(tbl, "tr", rows);
  for (size_t ri = 0; ri < rows.size(); ++ri) {
    std::vector<pugi::xml_node> tcs;
    collect(rows[ri], "tc", tcs);
    int32_t lastCell = -1;
    std::vector<CellEdges>& rowEdges = cellEdges.emplace_back();
    int64_t column =
        std::max(intAttr(rows[ri].child("w:trPr").child("w:gridBefore"), "w:val").value_or(0), 0);
    for (size_t ci = 0; ci < tcs.size(); ++ci) {
      CellContext cell = whole;
      detail::CellProps cellProps = wholeCell;
      CellEdges& edges = rowEdges.emplace_back();
      edges.borders = wholeCellBorders;
      for (detail::Conditional c :
           detail::conditionalsOf(look, static_cast<int32_t>(ri), static_cast<int32_t>(ci),
                                  static_cast<int32_t>(rows.size()),
                                  static_cast<int32_t>(tcs.size()), rowBand, colBand)) {
        for (const detail::Style* s : chain) {
          if (const detail::TableLayer* layer = s->table ? s->table->conditional(c) : nullptr) {
            cell.para.overlay(layer->para);
            cell.run.overlay(layer->run);
            cellProps.overlay(layer->cell);
            overlayCellBorders(edges.borders, layer->cell.borders);
          }
        }
      }
      pugi::xml_node tcPr = tcs[ci].child("w:tcPr");
      const detail::CellProps direct = detail::readCellProps(tcPr);
      cellProps.overlay(direct);
      overlayCellBorders(edges.borders, direct.borders);
      edges.column = column;
      edges.span = std::max(intAttr(tcPr.child("w:gridSpan"), "w:val").value_or(1), 1);
      column += edges.span;
      // A w:vMerge without "restart" continues the cell above.
      pugi::xml_node vMerge = tcPr.child("w:vMerge");
      edges.mergedAbove = vMerge && attr(vMerge, "w:val") != "restart";
      Cells values;
      values.verticalAlignment = verticalAlignmentCode(cellProps.verticalAlignment.value_or(""));
      if (const std::optional<detail::ShadingRef>& s = cellProps.shading) {
        values.shading.texture = textureCode(s->pattern);
        values.shading.foregroundPatternColor =
            colorValue(wordColor(s->color.value, s->color.themeColor, s->color.themeTint,
                                 s->color.themeShade, d_.theme, d_.colorMap));
        values.shading.backgroundPatternColor =
            colorValue(wordColor(s->fill.value, s->fill.themeColor, s->fill.themeTint,
                                 s->fill.themeShade, d_.theme, d_.colorMap));
      }
      cell.cell = static_cast<int32_t>(d_.cells.size());
      d_.cells.push_back(values);
      lastCell = cell.cell;
      blocks(tcs[ci], &cell);
    }
    if (lastCell < 0) continue;
    // The end-of-row mark: a paragraph of its own, formatted by the table
    // and the default paragraph style.
    CellContext rowEnd = whole;
    rowEnd.cell = lastCell;
    const detail::Style* normal = d_.styles.defaultParagraphStyle();
    detail::ParaProps props = d_.styles.defaultPara();
    props.overlay(whole.para);
    for (const detail::Style* s : d_.styles.chain(normal)) props.overlay(s->para);
    const auto start = static_cast<uint32_t>(s_.text.size());
    append(kCellMark, formatOf(paragraphRun(normal, &rowEnd), {}), true);
    finishParagraph(paragraphValues(props), &rowEnd, start);
  }
  d_.tables[tableIndex] = tableBorders(borders, cellEdges);
}

void StoryBuilder::blocks(pugi::xml_node container, const CellContext* cell) {
  // In a cell, the last paragraph (not one of a nested table) ends the cell.
  std::vector<pugi::xml_node> items;
  const auto gather = [&](auto& self, pugi::xml_node parent) -> void {
    forEachElement(parent, [&](pugi::xml_node c) {
      if (kindOf(c) != Ns::WordprocessingML) return;
      const std::string_view local = localName(c);
      if (local == "p" || local == "tbl")
        items.push_back(c);
      else if (local == "sdt")
        self(self, c.child("w:sdtContent"));
      else if (local == "customXml")
        self(self, c);
    });
  };
  gather(gather, container);
  size_t lastParagraph = items.size();
  if (cell)
    for (size_t i = items.size(); i-- > 0;)
      if (is(items[i], Ns::WordprocessingML, "p")) {
        lastParagraph = i;
        break;
      }
  for (size_t i = 0; i < items.size(); ++i) {
    if (is(items[i], Ns::WordprocessingML, "p"))
      paragraph(items[i], cell, cell && i == lastParagraph);
    else
      table(items[i]);
  }
  if (cell && lastParagraph == items.size()) {
    // A cell without a paragraph still ends with its mark.
    const detail::Style* normal = d_.styles.defaultParagraphStyle();
    detail::ParaProps props = d_.styles.defaultPara();
    props.overlay(cell->para);
    for (const detail::Style* s : d_.styles.chain(normal)) props.overlay(s->para);
    const auto start = static_cast<uint32_t>(s_.text.size());
    append(kCellMark, formatOf(paragraphRun(normal, cell), {}), true);
    finishParagraph(paragraphValues(props), cell, start);
  }
}

// ---------------------------------------------------------------------------
// Loading.

const Story* headerStory(DocumentData& d, const Part& part, bool footer) {
  if (auto it = d.storiesByPart.find(part.name()); it != d.storiesByPart.end()) return it->second;
  Story& story = d.otherStories.emplace_back();
  StoryBuilder builder(d, story, false);
  try {
    pugi::xml_node root = part.xml();
    if (is(root, Ns::WordprocessingML, "hdr") || is(root, Ns::WordprocessingML, "ftr"))
      builder.blocks(root, nullptr);
  } catch (const AutomationError&) {
    // A damaged header reads as an empty one.
    story = Story{};
  }
  if (story.paras.empty()) {
    story = Story{};
    StoryBuilder(d, story, false).emptyParagraph(footer ? "footer" : "header");
  }
  d.storiesByPart.emplace(part.name(), &story);
  return &story;
}

const Story* emptyStory(DocumentData& d, bool footer) {
  const Story*& slot = footer ? d.emptyFooter : d.emptyHeader;
  if (!slot) {
    Story& story = d.otherStories.emplace_back();
    StoryBuilder(d, story, false).emptyParagraph(footer ? "footer" : "header");
    slot = &story;
  }
  return slot;
}

// The header and footer stories of each section, linked to the section
// before where a section defines none.
void linkHeaders(DocumentData& d, const std::vector<pugi::xml_node>& sectPrs) {
  static constexpr std::string_view kTypes[3] = {"default", "first", "even"};
  for (size_t si = 0; si < d.sections.size(); ++si) {
    detail::SectionRec& sec = d.sections[si];
    for (int footer = 0; footer < 2; ++footer) {
      std::array<const Story*, 3>& slots = footer ? sec.footers : sec.headers;
      for (size_t k = 0; k < 3; ++k) {
        const Story* story = nullptr;
        pugi::xml_node sectPr = si < sectPrs.size() ? sectPrs[si] : pugi::xml_node{};
        for (pugi::xml_node ref :
             sectPr.children(footer ? "w:footerReference" : "w:headerReference")) {
          const std::string_view type = attr(ref, "w:type");
          if (type != kTypes[k] && !(k == 0 && type.empty())) continue;
          if (Part part = d.documentPart.relatedById(attr(ref, "r:id")))
            story = headerStory(d, part, footer != 0);
          break;
        }
        if (!story)
          story = si > 0 ? (footer ? d.sections[si - 1].footers[k] : d.sections[si - 1].headers[k])
                         : emptyStory(d, footer != 0);
        slots[k] = story;
      }
    }
  }
}

std::shared_ptr<DocumentData> load(Package package) {
  auto d = std::make_shared<DocumentData>(std::move(package));
  d->documentPart = d->package.mainPart();
  pugi::xml_node root = d->documentPart.xml();
  if (!root || !is(root, Ns::WordprocessingML, "document"))
    raise(wd::kCannotOpenFile, "The file appears to be corrupted: it is no Word document.");

  if (Part styles = d->documentPart.related(reltype::kStyles)) d->styles.read(styles);
  if (Part numbering = d->documentPart.related(reltype::kNumbering))
    d->numbering.read(numbering.xml());
  Part theme = d->documentPart.related(reltype::kTheme);
  d->theme = readTheme(theme ? theme.xml() : pugi::xml_node{});
  if (Part settings = d->documentPart.related(reltype::kSettings)) {
    pugi::xml_node s = settings.xml();
    d->gutterAtTop = onOffElement(s.child("w:gutterAtTop"));
    pugi::xml_node lang = s.child("w:themeFontLang");
    d->eastAsiaLanguage = attr(lang, "w:eastAsia");
    d->bidiLanguage = attr(lang, "w:bidi");
    if (pugi::xml_node mapping = s.child("w:clrSchemeMapping"))
      d->colorMap = ColorMap::fromAttributes(mapping);
  }

  pugi::xml_node body = root.child("w:body");
  StoryBuilder builder(*d, d->body, true);
  builder.blocks(body, nullptr);
  if (d->body.paras.empty()) builder.emptyParagraph("Normal");
  // The body's own section properties make the last section (Word's
  // defaults when there are none).
  pugi::xml_node last = firstElement(body, "w:sectPr");
  d->sections.push_back({readPageSetup(last, d->gutterAtTop), {}, {}});
  std::vector<pugi::xml_node> sectPrs = builder.sectionBreaks();
  sectPrs.push_back(last);
  linkHeaders(*d, sectPrs);
  return d;
}

OpenOptions wordOptions() {
  OpenOptions options;
  options.convertTo = ConvertTo::Docx;
  options.cannotOpenNumber = wd::kCannotOpenFile;
  options.errorSource = std::string(kErrorSource);
  return options;
}

// ---------------------------------------------------------------------------
// Values over ranges.

int32_t boolValue(bool b) { return b ? wd::kTrue : wd::kFalse; }
constexpr float kUndefinedSingle = static_cast<float>(wd::kUndefined);

// The spans whose characters a range's character formatting covers: the
// text of [start, end), its marks only when it holds no other text.
template <typename Fn>
void forEachSpan(const Story& s, size_t start, size_t end, Fn&& fn) {
  auto first = std::upper_bound(s.spans.begin(), s.spans.end(), start,
                                [](size_t v, const Span& sp) { return v < sp.end; });
  bool text = false;
  for (auto it = first; it != s.spans.end() && it->start < end; ++it) text = text || !it->mark;
  if (start == end && first != s.spans.end()) {
    // An empty range takes the formatting of the character after it.
    fn(*first, first->start, std::min<size_t>(first->start + 1, first->end));
    return;
  }
  for (auto it = first; it != s.spans.end() && it->start < end; ++it) {
    if (text && it->mark) continue;
    fn(*it, std::max<size_t>(it->start, start), std::min<size_t>(it->end, end));
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Range.

std::string Range::text() const {
  return toUtf8(std::u16string_view(story_->text).substr(start_, end_ - start_));
}

std::u16string Range::text16() const { return story_->text.substr(start_, end_ - start_); }

Font Range::font() const {
  // The names are compared by where they lie first: the characters of a
  // span mostly take one slot of one format.
  const std::string* name = nullptr;
  bool nameMixed = false;
  Common<float> size;
  Common<int32_t> bold, italic, underline, colour;
  forEachSpan(*story_, start_, end_, [&](const Span& sp, size_t a, size_t b) {
    const CharFormat& f = data_->formats[sp.format];
    for (size_t i = a; i < b && !nameMixed; ++i) {
      const std::string& n =
          f.fonts[static_cast<size_t>(fontSlotOf(story_->text[i], f.eastAsiaHint))];
      if (!name)
        name = &n;
      else if (name != &n && *name != n)
        nameMixed = true;
    }
    size.add(f.size);
    bold.add(boolValue(f.bold));
    italic.add(boolValue(f.italic));
    underline.add(f.underline);
    colour.add(colorIndexOf(f.color));
  });
  Font out;
  if (name && !nameMixed) out.name = *name;
  out.size = size.get(kUndefinedSingle, kDefaultFontSize);
  out.bold = bold.get(wd::kUndefined);
  out.italic = italic.get(wd::kUndefined);
  out.underline = underline.get(wd::kUndefined);
  out.colorIndex = colour.get(wd::kUndefined);
  return out;
}

Shading Range::shading() const {
  Common<int32_t> texture, fore, back;
  forEachSpan(*story_, start_, end_, [&](const Span& sp, size_t, size_t) {
    const Shading& s = data_->formats[sp.format].shading;
    texture.add(s.texture);
    fore.add(s.foregroundPatternColor);
    back.add(s.backgroundPatternColor);
  });
  Shading out;
  out.texture = texture.get(wd::kUndefined, wd::kTextureNone);
  out.foregroundPatternColor = fore.get(wd::kUndefined, wd::kColorAutomatic);
  out.backgroundPatternColor = back.get(wd::kUndefined, wd::kColorAutomatic);
  return out;
}

namespace {

// The paragraphs a range touches: [first, last].
std::pair<size_t, size_t> paragraphsOf(const Story& s, size_t start, size_t end) {
  const size_t first = s.paragraphAt(start);
  const size_t last = end > start ? s.paragraphAt(end - 1) : first;
  return {first, last};
}

}  // namespace

ParagraphFormat Range::paragraphFormat() const {
  Common<int32_t> alignment, rule;
  Common<float> spacing;
  const auto [first, last] = paragraphsOf(*story_, start_, end_);
  for (size_t i = first; i <= last && i < story_->paras.size(); ++i) {
    const ParagraphFormat& f = story_->paras[i].format;
    alignment.add(f.alignment);
    rule.add(f.lineSpacingRule);
    spacing.add(f.lineSpacing);
  }
  ParagraphFormat out;
  out.alignment = alignment.get(wd::kUndefined);
  out.lineSpacingRule = rule.get(wd::kUndefined);
  out.lineSpacing = spacing.get(kUndefinedSingle, 12);
  return out;
}

Cells Range::cells() const {
  Common<int32_t> alignment, texture, fore, back;
  const auto [first, last] = paragraphsOf(*story_, start_, end_);
  for (size_t i = first; i <= last && i < story_->paras.size(); ++i) {
    const int32_t cell = story_->paras[i].cell;
    if (cell < 0) raise(wd::kNotInTable, "There is no table at this location.");
    const Cells& c = data_->cells[static_cast<size_t>(cell)];
    alignment.add(c.verticalAlignment);
    texture.add(c.shading.texture);
    fore.add(c.shading.foregroundPatternColor);
    back.add(c.shading.backgroundPatternColor);
  }
  Cells out;
  out.verticalAlignment = alignment.get(wd::kUndefined);
  out.shading.texture = texture.get(wd::kUndefined);
  out.shading.foregroundPatternColor = fore.get(wd::kUndefined, wd::kColorAutomatic);
  out.shading.backgroundPatternColor = back.get(wd::kUndefined, wd::kColorAutomatic);
  return out;
}

bool Range::withinTable() const {
  if (story_->paras.empty()) return false;
  return story_->paras[story_->paragraphAt(start_)].cell >= 0;
}

TextColumns Range::textColumns() const {
  return data_->sections[static_cast<size_t>(section_)].setup.textColumns;
}

// ---------------------------------------------------------------------------
// Paragraph, section, header, table.

Range Paragraph::range() const {
  const ParaRec& p = data_->body.paras[index_];
  return Range(data_, &data_->body, p.start, p.end, p.section);
}

float Paragraph::lineUnitBefore() const { return data_->body.paras[index_].lineUnitBefore; }
float Paragraph::lineUnitAfter() const { return data_->body.paras[index_].lineUnitAfter; }
float Paragraph::characterUnitLeftIndent() const { return data_->body.paras[index_].leftChars; }
float Paragraph::characterUnitRightIndent() const { return data_->body.paras[index_].rightChars; }
float Paragraph::characterUnitFirstLineIndent() const {
  return data_->body.paras[index_].firstChars;
}

Range HeaderFooter::range() const { return Range(data_, story_, 0, story_->text.size(), section_); }

PageSetup Section::pageSetup() const { return data_->sections[static_cast<size_t>(index_)].setup; }

HeaderFooter Section::headers(int32_t index) const {
  if (index < 1 || index > 3) raiseNoMember();
  return HeaderFooter(data_, data_->sections[static_cast<size_t>(index_)].headers[index - 1],
                      index_);
}

HeaderFooter Section::footers(int32_t index) const {
  if (index < 1 || index > 3) raiseNoMember();
  return HeaderFooter(data_, data_->sections[static_cast<size_t>(index_)].footers[index - 1],
                      index_);
}

Borders Table::borders() const { return data_->tables[index_]; }

// ---------------------------------------------------------------------------
// Document.

Document Document::open(const std::filesystem::path& path) {
  return Document(load(Package::open(path, wordOptions())));
}

Document Document::fromBytes(std::string bytes, std::string name) {
  return Document(load(Package::fromBytes(std::move(bytes), wordOptions(), std::move(name))));
}

void Document::close() { data_.reset(); }

const std::shared_ptr<const DocumentData>& Document::data() const {
  if (!data_)
    raise(wd::kNoDocumentOpen, "This command is not available because no document is open.");
  return data_;
}

namespace {

size_t checkedIndex(int32_t index, size_t count) {
  if (index < 1 || static_cast<size_t>(index) > count) raiseNoMember();
  return static_cast<size_t>(index - 1);
}

int32_t countOf(size_t n) { return static_cast<int32_t>(std::min<size_t>(n, INT32_MAX)); }

}  // namespace

int32_t Document::sectionCount() const { return countOf(data()->sections.size()); }

Section Document::sections(int32_t index) const {
  return Section(data(), static_cast<int32_t>(checkedIndex(index, data()->sections.size())));
}

int32_t Document::paragraphCount() const { return countOf(data()->body.paras.size()); }

Paragraph Document::paragraphs(int32_t index) const {
  return Paragraph(data(), checkedIndex(index, data()->body.paras.size()));
}

int32_t Document::wordCount() const { return countOf(data()->body.wordList().size()); }

Range Document::words(int32_t index) const {
  const Story& body = data()->body;
  const auto [a, b] = body.wordList()[checkedIndex(index, body.wordList().size())];
  return Range(data(), &body, a, b, body.paras[body.paragraphAt(a)].section);
}

int32_t Document::sentenceCount() const { return countOf(data()->body.sentenceList().size()); }

Range Document::sentences(int32_t index) const {
  const Story& body = data()->body;
  const auto [a, b] = body.sentenceList()[checkedIndex(index, body.sentenceList().size())];
  return Range(data(), &body, a, b, body.paras[body.paragraphAt(a)].section);
}

int32_t Document::tableCount() const { return countOf(data()->tables.size()); }

Table Document::tables(int32_t index) const {
  return Table(data(), checkedIndex(index, data()->tables.size()));
}

Range Document::content() const {
  const Story& body = data()->body;
  return Range(data(), &body, 0, body.text.size(), 0);
}

}  // namespace bq::office::word
