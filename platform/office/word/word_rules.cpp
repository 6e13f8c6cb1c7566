#include "platform/office/word/word_rules.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/office/shared/detail/text_util.h"

namespace bq::office::word {
namespace {

template <typename T, size_t N>
std::optional<T> lookup(const std::pair<std::string_view, T> (&table)[N], std::string_view key) {
  for (const auto& [k, v] : table)
    if (k == key) return v;
  return std::nullopt;
}

}  // namespace

// WdParagraphAlignment: wdAlignParagraphLeft 0, Center 1, Right 2, Justify
// 3, Distribute 4, JustifyMed 5, JustifyHi 7, JustifyLow 8, ThaiJustify 9.
int32_t alignmentCode(std::string_view jc) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"left", 0},        {"start", 0},      {"center", 1},         {"right", 2},
      {"end", 2},         {"both", 3},       {"distribute", 4},     {"mediumKashida", 5},
      {"highKashida", 7}, {"lowKashida", 8}, {"thaiDistribute", 9}, {"justify", 3},
  };
  return lookup(kTable, jc).value_or(0);
}

LineSpacing lineSpacing(std::optional<int32_t> line, std::string_view lineRule) {
  if (!line) return {wd::kLineSpaceSingle, 12};
  const float twips = static_cast<float>(*line);
  if (lineRule == "exact") return {wd::kLineSpaceExactly, std::abs(twips) / 20};
  if (lineRule == "atLeast") return {wd::kLineSpaceAtLeast, twips / 20};
  // "auto" (the default): 240ths of a line, reported as 12 points a line.
  const float points = twips / 20;
  switch (*line) {
    case 240:
      return {wd::kLineSpaceSingle, points};
    case 360:
      return {wd::kLineSpace1pt5, points};
    case 480:
      return {wd::kLineSpaceDouble, points};
    default:
      return {wd::kLineSpaceMultiple, points};
  }
}

// WdUnderline.
int32_t underlineCode(std::string_view u) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"none", 0},          {"single", 1},           {"words", 2},
      {"double", 3},        {"dotted", 4},           {"thick", 6},
      {"dash", 7},          {"dotDash", 9},          {"dotDotDash", 10},
      {"wave", 11},         {"dottedHeavy", 20},     {"dashedHeavy", 23},
      {"dashDotHeavy", 25}, {"dashDotDotHeavy", 26}, {"wavyHeavy", 27},
      {"dashLong", 39},     {"wavyDouble", 43},      {"dashLongHeavy", 55},
  };
  return lookup(kTable, u).value_or(0);
}

namespace {

// ST_ThemeColor in WdThemeColorIndex order.
constexpr std::string_view kThemeColours[] = {
    "dark1",       "light1",  "dark2",       "light2",  "accent1",   "accent2",
    "accent3",     "accent4", "accent5",     "accent6", "hyperlink", "followedHyperlink",
    "background1", "text1",   "background2", "text2",
};

std::optional<uint8_t> hexByte(std::string_view s) {
  unsigned v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size() || v > 0xFF) return std::nullopt;
  return static_cast<uint8_t>(v);
}

}  // namespace

// A theme colour replaces the value; Word applies themeTint when both it and
// themeShade are given; the RGB of a theme colour is the theme's, through the
// settings' colour mapping.
WordColor wordColor(std::string_view value, std::string_view themeColor, std::string_view themeTint,
                    std::string_view themeShade, const Theme& theme, const ColorMap& map) {
  WordColor c;
  for (size_t i = 0; i < std::size(kThemeColours); ++i) {
    if (themeColor != kThemeColours[i]) continue;
    std::optional<SchemeColor> scheme = map.resolve(themeColor);
    if (!scheme) break;
    c.kind = WordColor::Kind::Theme;
    c.themeIndex = static_cast<uint8_t>(i);
    c.rgb = theme.color(*scheme);
    if (std::optional<uint8_t> tint = hexByte(themeTint)) {
      c.tint = *tint;
      c.rgb = applyThemeTint(c.rgb, *tint);
    } else if (std::optional<uint8_t> shade = hexByte(themeShade)) {
      c.shade = *shade;
      c.rgb = applyThemeShade(c.rgb, *shade);
    }
    return c;
  }
  if (std::optional<Rgb> rgb = parseRgb(value); rgb && value.size() == 6) {
    c.kind = WordColor::Kind::Rgb;
    c.rgb = *rgb;
  }
  return c;
}

int32_t colorValue(const WordColor& colour) {
  switch (colour.kind) {
    case WordColor::Kind::Auto:
      return wd::kColorAutomatic;
    case WordColor::Kind::Rgb:
      return static_cast<int32_t>(colour.rgb.r | colour.rgb.g << 8 | colour.rgb.b << 16);
    case WordColor::Kind::Theme:
      break;
  }
  const uint32_t v = (0xD0u + colour.themeIndex) << 24 | uint32_t{colour.shade} << 8 | colour.tint;
  return static_cast<int32_t>(v);
}

int32_t colorIndexOf(const WordColor& colour) {
  if (colour.kind == WordColor::Kind::Auto) return 0;
  // WdColorIndex 1 .. 16.
  static constexpr uint32_t kTable[16] = {
      0x000000, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0xFFFF00, 0xFFFFFF,
      0x000080, 0x008080, 0x008000, 0x800080, 0x800000, 0x808000, 0x808080, 0xC0C0C0,
  };
  int32_t best = 1;
  int32_t least = -1;
  for (int32_t i = 0; i < 16; ++i) {
    const Rgb e = Rgb::fromValue(kTable[i]);
    const int32_t dr = e.r - colour.rgb.r, dg = e.g - colour.rgb.g, db = e.b - colour.rgb.b;
    const int32_t d = dr * dr + dg * dg + db * db;
    if (least < 0 || d < least) {
      least = d;
      best = i + 1;
    }
  }
  return best;
}

// WdTextureIndex: wdTextureSolid 1000, wdTextureNPercent N * 10 (12.5% is
// 125); the dark patterns horizontal -1, vertical -2, diagonal down -3,
// diagonal up -4, cross -5, diagonal cross -6; the light ones -7 .. -12 in
// the same order. ST_Shd lists the patterns in Word's own order, so its
// reverse diagonal (running down from the left) is Word's diagonal down.
int32_t textureCode(std::string_view shd) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"clear", 0},
      {"nil", 0},
      {"solid", 1000},
      {"pct5", 50},
      {"pct10", 100},
      {"pct12", 125},
      {"pct15", 150},
      {"pct20", 200},
      {"pct25", 250},
      {"pct30", 300},
      {"pct35", 350},
      {"pct37", 375},
      {"pct40", 400},
      {"pct45", 450},
      {"pct50", 500},
      {"pct55", 550},
      {"pct60", 600},
      {"pct62", 625},
      {"pct65", 650},
      {"pct70", 700},
      {"pct75", 750},
      {"pct80", 800},
      {"pct85", 850},
      {"pct87", 875},
      {"pct90", 900},
      {"pct95", 950},
      {"horzStripe", -1},
      {"vertStripe", -2},
      {"reverseDiagStripe", -3},
      {"diagStripe", -4},
      {"horzCross", -5},
      {"diagCross", -6},
      {"thinHorzStripe", -7},
      {"thinVertStripe", -8},
      {"thinReverseDiagStripe", -9},
      {"thinDiagStripe", -10},
      {"thinHorzCross", -11},
      {"thinDiagCross", -12},
  };
  return lookup(kTable, shd).value_or(wd::kTextureNone);
}

// WdLineStyle.
int32_t borderLineStyle(std::string_view val) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"nil", 0},
      {"none", 0},
      {"single", 1},
      {"thick", 1},
      {"dotted", 2},
      {"dashSmallGap", 3},
      {"dashed", 4},
      {"dotDash", 5},
      {"dotDotDash", 6},
      {"double", 7},
      {"triple", 8},
      {"thinThickSmallGap", 9},
      {"thickThinSmallGap", 10},
      {"thinThickThinSmallGap", 11},
      {"thinThickMediumGap", 12},
      {"thickThinMediumGap", 13},
      {"thinThickThinMediumGap", 14},
      {"thinThickLargeGap", 15},
      {"thickThinLargeGap", 16},
      {"thinThickThinLargeGap", 17},
      {"wave", 18},
      {"doubleWave", 19},
      {"dashDotStroked", 20},
      {"threeDEmboss", 21},
      {"threeDEngrave", 22},
      {"outset", 23},
      {"inset", 24},
  };
  if (val.empty()) return wd::kLineStyleNone;
  return lookup(kTable, val).value_or(1);
}

int32_t borderLineWidth(int32_t eighths) {
  static constexpr int32_t kWidths[] = {2, 4, 6, 8, 12, 18, 24, 36, 48};
  int32_t best = kWidths[0];
  for (int32_t w : kWidths)
    if (std::abs(w - eighths) < std::abs(best - eighths)) best = w;
  return best;
}

namespace {

// The border numbers of the conflict rule as Office documents them (its
// variation of the standard's list, which numbers the styles 1 .. 25): Word's
// own codes of the styles (brcType), dotted 6 and dashed 7 among them, which
// only order ties, as those two weigh 1.
int32_t borderNumber(std::string_view style) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"single", 1},
      {"thick", 2},
      {"double", 3},
      {"dotted", 6},
      {"dashed", 7},
      {"dotDash", 8},
      {"dotDotDash", 9},
      {"triple", 10},
      {"thinThickSmallGap", 11},
      {"thickThinSmallGap", 12},
      {"thinThickThinSmallGap", 13},
      {"thinThickMediumGap", 14},
      {"thickThinMediumGap", 15},
      {"thinThickThinMediumGap", 16},
      {"thinThickLargeGap", 17},
      {"thickThinLargeGap", 18},
      {"thinThickThinLargeGap", 19},
      {"wave", 20},
      {"doubleWave", 21},
      {"dashSmallGap", 22},
      {"dashDotStroked", 23},
      {"threeDEmboss", 24},
      {"threeDEngrave", 25},
      {"outset", 26},
      {"inset", 27},
  };
  // Art borders (apples, ...) count as single, as they do for LineStyle.
  return lookup(kTable, style).value_or(1);
}

int64_t borderWeight(const BorderLine& line) {
  if (line.style == "dotted" || line.style == "dashed") return 1;
  return int64_t{line.eighths} * borderNumber(line.style);
}

}  // namespace

bool firstBorderWins(const BorderLine& first, const BorderLine& second) {
  if (const int64_t a = borderWeight(first), b = borderWeight(second); a != b) return a > b;
  if (const int32_t a = borderNumber(first.style), b = borderNumber(second.style); a != b)
    return a > b;
  const auto brightness = [](const Rgb& c, int step) {
    const int32_t r = c.r, g = c.g, b = c.b;
    return step == 0 ? r + b + 2 * g : step == 1 ? b + 2 * g : g;
  };
  for (int step = 0; step < 3; ++step)
    if (const int32_t a = brightness(first.colour, step), b = brightness(second.colour, step);
        a != b)
      return a < b;
  return true;
}

// The style is CSS: declarations "name: value" separated by ";", the last
// of a name counting.
bool vmlStyleFloats(std::string_view style) {
  const auto trim = [](std::string_view v) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = v.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return std::string_view{};
    return v.substr(first, v.find_last_not_of(kBlanks) - first + 1);
  };
  bool absolute = false;
  while (!style.empty()) {
    const size_t end = std::min(style.find(';'), style.size());
    const std::string_view declaration = style.substr(0, end);
    style.remove_prefix(std::min(end + 1, style.size()));
    const size_t colon = declaration.find(':');
    if (colon != std::string_view::npos &&
        equalsNoCase(trim(declaration.substr(0, colon)), "position"))
      absolute = equalsNoCase(trim(declaration.substr(colon + 1)), "absolute");
  }
  return absolute;
}

int32_t verticalAlignmentCode(std::string_view vAlign) {
  if (vAlign == "center" || vAlign == "both") return wd::kCellAlignVerticalCenter;
  if (vAlign == "bottom") return wd::kCellAlignVerticalBottom;
  return wd::kCellAlignVerticalTop;
}

namespace {

struct Paper {
  int32_t code;
  int32_t width, height;  // twips, portrait
};

constexpr int32_t mm(double millimetres) {
  return static_cast<int32_t>(millimetres * 1440 / 25.4 + 0.5);
}
constexpr int32_t in(double inches) { return static_cast<int32_t>(inches * 1440 + 0.5); }

// WdPaperSize by page size, the common sizes first; where two names share a
// size, the lower code.
constexpr Paper kPapers[] = {
    {7, mm(210), mm(297)},       // A4
    {2, in(8.5), in(11)},        // Letter
    {9, mm(148), mm(210)},       // A5
    {6, mm(297), mm(420)},       // A3
    {11, mm(182), mm(257)},      // B5 (JIS)
    {10, mm(257), mm(364)},      // B4 (JIS)
    {4, in(8.5), in(14)},        // Legal
    {5, in(7.25), in(10.5)},     // Executive
    {18, in(8.5), in(13)},       // Folio
    {21, mm(215), mm(275)},      // Quarto
    {22, in(5.5), in(8.5)},      // Statement
    {0, in(10), in(14)},         // 10x14
    {1, in(11), in(17)},         // 11x17 (Tabloid, Ledger)
    {12, in(17), in(22)},        // C sheet
    {13, in(22), in(34)},        // D sheet
    {14, in(34), in(44)},        // E sheet
    {16, in(8.5), in(12)},       // Fanfold German standard
    {17, in(14.875), in(11)},    // Fanfold US
    {24, in(3.875), in(8.875)},  // Envelope #9
    {25, in(4.125), in(9.5)},    // Envelope #10
    {26, in(4.5), in(10.375)},   // Envelope #11
    {27, in(4.75), in(11)},      // Envelope #12
    {28, in(5), in(11.5)},       // Envelope #14
    {29, mm(250), mm(353)},      // Envelope B4
    {30, mm(176), mm(250)},      // Envelope B5
    {31, mm(125), mm(176)},      // Envelope B6
    {32, mm(324), mm(458)},      // Envelope C3
    {33, mm(229), mm(324)},      // Envelope C4
    {34, mm(162), mm(229)},      // Envelope C5
    {35, mm(114), mm(162)},      // Envelope C6
    {36, mm(114), mm(229)},      // Envelope C65
    {37, mm(110), mm(220)},      // Envelope DL
    {38, mm(110), mm(230)},      // Envelope Italy
    {39, in(3.875), in(7.5)},    // Envelope Monarch
    {40, in(3.625), in(6.5)},    // Envelope Personal
};

}  // namespace

int32_t paperSizeCode(int32_t width, int32_t height) {
  constexpr int32_t kTolerance = 20;  // a point
  const auto near = [](int32_t a, int32_t b) { return std::abs(a - b) <= kTolerance; };
  for (const Paper& p : kPapers)
    if ((near(width, p.width) && near(height, p.height)) ||
        (near(width, p.height) && near(height, p.width)))
      return p.code;
  return wd::kPaperCustom;
}

FontSlot fontSlotOf(char16_t c, bool eastAsiaHint) {
  if (c < 0x80) return FontSlot::Ascii;
  const auto within = [c](char16_t lo, char16_t hi) { return c >= lo && c <= hi; };
  if (within(0x0590, 0x07BF) || within(0x0E00, 0x0E7F) || within(0xFB1D, 0xFDFF) ||
      within(0xFE70, 0xFEFF))
    return FontSlot::ComplexScript;
  if (within(0x1100, 0x11FF) || within(0x2E80, 0x2FFF) || within(0x3000, 0x9FFF) ||
      within(0xA000, 0xA4CF) || within(0xAC00, 0xD7AF) || within(0xD800, 0xDFFF) ||
      within(0xF900, 0xFAFF) || within(0xFE30, 0xFE4F) || within(0xFF00, 0xFFEF))
    return FontSlot::EastAsia;
  return eastAsiaHint ? FontSlot::EastAsia : FontSlot::HAnsi;
}

std::string_view scriptOfLanguage(std::string_view language) {
  static constexpr std::pair<std::string_view, std::string_view> kTable[] = {
      {"zh-CN", "Hans"}, {"zh-SG", "Hans"}, {"zh-TW", "Hant"}, {"zh-HK", "Hant"}, {"zh-MO", "Hant"},
      {"ja-JP", "Jpan"}, {"ko-KR", "Hang"}, {"he-IL", "Hebr"}, {"th-TH", "Thai"},
  };
  if (std::optional<std::string_view> s = lookup(kTable, language)) return *s;
  if (language.substr(0, 3) == "ar-" || language == "ar") return "Arab";
  return {};
}

std::optional<std::string> themeFontName(std::string_view reference, const Theme& theme,
                                         std::string_view language) {
  const FontCollection* collection = nullptr;
  std::string_view slot;
  if (reference.substr(0, 5) == "major") {
    collection = &theme.major;
    slot = reference.substr(5);
  } else if (reference.substr(0, 5) == "minor") {
    collection = &theme.minor;
    slot = reference.substr(5);
  } else {
    return std::nullopt;
  }
  std::string_view name;
  if (slot == "Ascii" || slot == "HAnsi") {
    name = collection->latin;
  } else if (slot == "EastAsia" || slot == "Bidi") {
    name = slot == "Bidi" ? collection->complexScript : collection->eastAsia;
    if (name.empty()) name = collection->script(scriptOfLanguage(language));
    if (name.empty()) name = collection->latin;
  } else {
    return std::nullopt;
  }
  return std::string(name);
}

std::optional<std::u16string_view> specialText(std::string_view local, std::string_view brType) {
  static constexpr std::pair<std::string_view, std::u16string_view> kTable[] = {
      {"tab", u"\t"},
      {"ptab", u"\t"},
      {"cr", u"\v"},
      {"noBreakHyphen", u"\x1E"},
      {"softHyphen", u"\x1F"},
      {"footnoteReference", u"\x02"},
      {"endnoteReference", u"\x02"},
      {"commentReference", u"\x05"},
      {"drawing", u"\x01"},
      {"object", u"\x01"},
      {"pict", u"\x01"},
      {"sym", u"("},
  };
  if (local == "br") {
    if (brType == "page") return u"\f";
    if (brType == "column") return u"\x0E";
    return u"\v";
  }
  return lookup(kTable, local);
}

// ---------------------------------------------------------------------------
// Words and sentences.

namespace {

struct BreakIteratorClose {
  void operator()(UBreakIterator* b) const { ubrk_close(b); }
};

// One word breaker per thread: opening one loads its rules.
UBreakIterator* wordBreaker() {
  thread_local std::unique_ptr<UBreakIterator, BreakIteratorClose> breaker = [] {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* b = ubrk_open(UBRK_WORD, "zh_CN", nullptr, 0, &status);
    return std::unique_ptr<UBreakIterator, BreakIteratorClose>(U_SUCCESS(status) ? b : nullptr);
  }();
  return breaker.get();
}

bool isParagraphEnd(char16_t c) { return c == u'\r' || c == u'\f'; }

// The end of the mark at `i` (a CR followed by BEL is one cell mark).
size_t markEnd(std::u16string_view text, size_t i) {
  return text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\a' ? i + 2 : i + 1;
}

// The words of one paragraph's text (without its mark), offset by `base`.
void paragraphWords(std::u16string_view text, size_t base,
                    std::vector<std::pair<size_t, size_t>>& out) {
  const size_t first = out.size();
  const auto push = [&](size_t a, size_t b) {
    // Spaces go with the word before them in the paragraph.
    bool spaces = true;
    for (size_t i = a; i < b; ++i) spaces = spaces && text[i] == u' ';
    if (spaces && out.size() > first) {
      out.back().second = base + b;
      return;
    }
    out.emplace_back(base + a, base + b);
  };
  // Every code point from a to b a word of its own, runs of spaces together.
  const auto pushEach = [&](size_t a, size_t b) {
    while (a < b) {
      size_t next = a;
      if (text[a] == u' ') {
        while (next < b && text[next] == u' ') ++next;
      } else {
        U16_FWD_1(text.data(), next, b);
      }
      push(a, next);
      a = next;
    }
  };
  UBreakIterator* breaker = wordBreaker();
  UErrorCode status = U_ZERO_ERROR;
  if (breaker != nullptr)
    ubrk_setText(breaker, reinterpret_cast<const UChar*>(text.data()),
                 static_cast<int32_t>(text.size()), &status);
  if (breaker == nullptr || U_FAILURE(status)) {
    pushEach(0, text.size());
    return;
  }
  int32_t start = ubrk_first(breaker);
  for (int32_t end = ubrk_next(breaker); end != UBRK_DONE; start = end, end = ubrk_next(breaker)) {
    const auto a = static_cast<size_t>(start), b = static_cast<size_t>(end);
    // Letters, numbers, kana and ideographs make words; everything else
    // (punctuation, symbols, controls, other blanks) goes one by one.
    if (ubrk_getRuleStatus(breaker) >= UBRK_WORD_NUMBER)
      push(a, b);
    else
      pushEach(a, b);
  }
  // The breaker keeps a pointer to the text; leave it none.
  ubrk_setText(breaker, nullptr, 0, &status);
}

bool isSentenceEnd(char16_t c) {
  return c == u'。' || c == u'！' || c == u'？' || c == u'!' || c == u'?' || c == u'.' ||
         c == u'．' || c == u'｡';
}

bool isClosing(char16_t c) {
  static constexpr std::u16string_view kClosing = u"\"')]}”’」』）】》〉〕］｝";
  return kClosing.find(c) != std::u16string_view::npos;
}

bool isAsciiAlnum(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

}  // namespace

std::vector<std::pair<size_t, size_t>> wordSpans(std::u16string_view text) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t mark = pos;
    while (mark < text.size() && !isParagraphEnd(text[mark])) ++mark;
    paragraphWords(text.substr(pos, mark - pos), pos, out);
    if (mark == text.size()) break;
    const size_t end = markEnd(text, mark);
    out.emplace_back(mark, end);
    pos = end;
  }
  return out;
}

std::vector<std::pair<size_t, size_t>> sentenceSpans(std::u16string_view text) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t mark = pos;
    while (mark < text.size() && !isParagraphEnd(text[mark])) ++mark;
    size_t start = pos;
    for (size_t i = pos; i < mark;) {
      const bool ends =
          isSentenceEnd(text[i]) && !(text[i] == u'.' && i + 1 < mark && isAsciiAlnum(text[i + 1]));
      if (!ends) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < mark && isSentenceEnd(text[j])) ++j;
      while (j < mark && isClosing(text[j])) ++j;
      while (j < mark && text[j] == u' ') ++j;
      if (j < mark) {
        out.emplace_back(start, j);
        start = j;
      }
      i = j;
    }
    const size_t end = mark == text.size() ? mark : markEnd(text, mark);
    if (end > start) out.emplace_back(start, end);
    pos = end;
  }
  return out;
}

}  // namespace bq::office::word
