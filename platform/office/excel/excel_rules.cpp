#include "platform/office/excel/excel_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <utility>

#include "platform/office/shared/detail/text_util.h"

namespace bq::office::excel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// One corner: "$"? letters "$"? digits, the whole of `text`.
std::optional<CellRef> parseCorner(std::string_view text) {
  size_t at = 0;
  if (at < text.size() && text[at] == '$') ++at;
  int64_t column = 0;
  size_t letters = 0;
  while (at < text.size() && upper(text[at]) >= 'A' && upper(text[at]) <= 'Z') {
    column = column * 26 + (upper(text[at]) - 'A' + 1);
    if (++letters > 3) return std::nullopt;
    ++at;
  }
  if (letters == 0) return std::nullopt;
  if (at < text.size() && text[at] == '$') ++at;
  int64_t row = 0;
  size_t digits = 0;
  while (at < text.size() && isDigit(text[at])) {
    row = row * 10 + (text[at] - '0');
    if (++digits > 7) return std::nullopt;
    ++at;
  }
  if (digits == 0 || at != text.size()) return std::nullopt;
  if (column < 1 || column > kMaxColumns || row < 1 || row > kMaxRows) return std::nullopt;
  return CellRef{static_cast<int32_t>(row), static_cast<int32_t>(column)};
}

}  // namespace

std::optional<RangeRef> parseAddress(std::string_view address) {
  size_t colon = address.find(':');
  std::optional<CellRef> a = parseCorner(address.substr(0, colon));
  if (!a) return std::nullopt;
  if (colon == std::string_view::npos) return RangeRef{*a, *a};
  std::optional<CellRef> b = parseCorner(address.substr(colon + 1));
  if (!b) return std::nullopt;
  return RangeRef{{std::min(a->row, b->row), std::min(a->column, b->column)},
                  {std::max(a->row, b->row), std::max(a->column, b->column)}};
}

std::string columnLetters(int32_t column) {
  std::string letters;
  while (column > 0) {
    int32_t digit = (column - 1) % 26;
    letters.insert(letters.begin(), static_cast<char>('A' + digit));
    column = (column - 1) / 26;
  }
  return letters;
}

// ST_HorizontalAlignment to XlHAlign. "centerContinuous" is Excel's "centre
// across selection". Unknown values read as general, as Excel shows a cell
// whose alignment it does not know.
std::optional<int32_t> horizontalAlignmentCode(std::string_view horizontal) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"general", xl::kGeneral},
      {"left", xl::kLeft},
      {"center", xl::kCenter},
      {"right", xl::kRight},
      {"fill", xl::kFill},
      {"justify", xl::kJustify},
      {"centerContinuous", xl::kCenterAcrossSelection},
      {"distributed", xl::kDistributed},
  };
  if (horizontal.empty()) return xl::kGeneral;
  for (const auto& [name, code] : kTable)
    if (name == horizontal) return code;
  return xl::kGeneral;
}

// ST_VerticalAlignment to XlVAlign; the default of a cell is bottom.
std::optional<int32_t> verticalAlignmentCode(std::string_view vertical) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"top", xl::kTop},         {"center", xl::kCenter},           {"bottom", xl::kBottom},
      {"justify", xl::kJustify}, {"distributed", xl::kDistributed},
  };
  for (const auto& [name, code] : kTable)
    if (name == vertical) return code;
  return xl::kBottom;
}

// ST_BorderStyle to Border.LineStyle (XlLineStyle) and Border.Weight
// (XlBorderWeight), as Excel reports an edge drawn in each of the styles of
// its Format Cells dialog: the line style carries the dash pattern, the
// weight the thickness. "double" is reported with the thick weight; an edge
// without a line reports xlLineStyleNone with the thin weight. Values from
// Excel's XlLineStyle and XlBorderWeight enumerations.
LineCodes borderLineCodes(std::string_view style) {
  static constexpr struct {
    std::string_view name;
    LineCodes codes;
  } kTable[] = {
      {"thin", {xl::kContinuous, xl::kThin}},
      {"medium", {xl::kContinuous, xl::kMedium}},
      {"thick", {xl::kContinuous, xl::kThick}},
      {"hair", {xl::kContinuous, xl::kHairline}},
      {"dashed", {xl::kDash, xl::kThin}},
      {"dotted", {xl::kDot, xl::kThin}},
      {"double", {xl::kDouble, xl::kThick}},
      {"dashDot", {xl::kDashDot, xl::kThin}},
      {"dashDotDot", {xl::kDashDotDot, xl::kThin}},
      {"slantDashDot", {xl::kSlantDashDot, xl::kMedium}},
      {"mediumDashed", {xl::kDash, xl::kMedium}},
      {"mediumDashDot", {xl::kDashDot, xl::kMedium}},
      {"mediumDashDotDot", {xl::kDashDotDot, xl::kMedium}},
  };
  for (const auto& entry : kTable)
    if (entry.name == style) return entry.codes;
  return {xl::kNone, xl::kThin};
}

// ST_PatternType to Interior.Pattern (XlPattern). The file's pattern names
// follow the order of Excel's pattern picker; the XlPattern values are those
// of Excel's object library.
int32_t patternCode(std::string_view patternType) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"solid", 1},         {"mediumGray", -4125},     {"darkGray", -4126},
      {"lightGray", -4124}, {"darkHorizontal", -4128}, {"darkVertical", -4166},
      {"darkDown", -4121},  {"darkUp", -4162},         {"darkGrid", 9},
      {"darkTrellis", 10},  {"lightHorizontal", 11},   {"lightVertical", 12},
      {"lightDown", 13},    {"lightUp", 14},           {"lightGrid", 15},
      {"lightTrellis", 16}, {"gray125", 17},           {"gray0625", 18},
  };
  for (const auto& [name, code] : kTable)
    if (name == patternType) return code;
  return xl::kNone;
}

// The default palette of Excel 97 and later (indexed colours 8..63, which
// are ColorIndex 1..56).
const Palette& defaultPalette() {
  static constexpr uint32_t kColours[56] = {
      0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
      0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
      0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
      0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
      0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
      0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
      0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
  };
  static const Palette palette = [] {
    Palette p{};
    for (size_t i = 0; i < p.size(); ++i)
      p[i] = Rgb{static_cast<uint8_t>(kColours[i] >> 16), static_cast<uint8_t>(kColours[i] >> 8),
                 static_cast<uint8_t>(kColours[i])};
    return p;
  }();
  return palette;
}

// Excel reports the ColorIndex of a colour outside the palette as the index
// of the palette colour it would fall back to: the nearest one. Distance is
// the squared Euclidean distance in RGB; the first of equals wins, as Excel
// returns the lower index for the palette's duplicate entries.
int32_t nearestColorIndex(const Palette& palette, Rgb colour) {
  return PaletteMatcher(palette).nearest(colour);
}

PaletteMatcher::PaletteMatcher(const Palette& palette) {
  for (size_t i = 0; i < palette.size(); ++i) {
    r_[i] = palette[i].r;
    g_[i] = palette[i].g;
    b_[i] = palette[i].b;
  }
}

int32_t PaletteMatcher::nearest(Rgb colour) const {
  // The distances (at most 3 * 255^2 each) and their least, then the first
  // entry at that distance.
  std::array<int32_t, std::tuple_size_v<Palette>> distance;
  for (size_t i = 0; i < distance.size(); ++i) {
    const int32_t dr = r_[i] - colour.r, dg = g_[i] - colour.g, db = b_[i] - colour.b;
    distance[i] = dr * dr + dg * dg + db * db;
  }
  int32_t least = distance[0];
  for (int32_t d : distance) least = std::min(least, d);
  size_t i = 0;
  while (distance[i] != least) ++i;
  return static_cast<int32_t>(i + 1);
}

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The Chinese name of the colour keyword `word` (the text inside [ ]), or
// nothing when it is none.
std::optional<std::string> localColourName(std::string_view word) {
  static constexpr std::pair<std::string_view, std::string_view> kColours[] = {
      {"Black", "黑色"},     {"Blue", "蓝色"}, {"Cyan", "蓝绿色"}, {"Green", "绿色"},
      {"Magenta", "洋红色"}, {"Red", "红色"},  {"White", "白色"},  {"Yellow", "黄色"},
  };
  for (const auto& [english, local] : kColours)
    if (equalsIgnoringCase(word, english)) return std::string(local);
  if (word.size() > 5 && equalsIgnoringCase(word.substr(0, 5), "Color")) {
    std::string_view digits = word.substr(5);
    if (digits.size() <= 2 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return "颜色" + std::string(digits);
  }
  return std::nullopt;
}

}  // namespace

std::string localizedNumberFormat(std::string_view code) {
  std::string out;
  out.reserve(code.size() + 8);
  for (size_t i = 0; i < code.size();) {
    const char c = code[i];
    if (c == '"') {  // quoted text, up to the closing quote
      size_t end = code.find('"', i + 1);
      end = end == std::string_view::npos ? code.size() : end + 1;
      out.append(code.substr(i, end - i));
      i = end;
    } else if (c == '\\' || c == '_' || c == '*') {  // the next character is literal
      out += c;
      ++i;
      if (i < code.size()) {
        size_t n = 1;
        while (i + n < code.size() && (static_cast<unsigned char>(code[i + n]) & 0xC0) == 0x80) ++n;
        out.append(code.substr(i, n));
        i += n;
      }
    } else if (c == '[') {
      size_t end = code.find(']', i + 1);
      if (end == std::string_view::npos) {
        out.append(code.substr(i));
        break;
      }
      if (auto local = localColourName(code.substr(i + 1, end - i - 1)))
        out += "[" + *local + "]";
      else
        out.append(code.substr(i, end + 1 - i));
      i = end + 1;
    } else if ((c == 'G' || c == 'g') && equalsIgnoringCase(code.substr(i, 7), "General")) {
      out += kGeneralLocal;
      i += 7;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

// Built-in number formats (numFmtId without a numFmt element) as the
// NumberFormatLocal of a Chinese (PRC) Excel: the ids every language shares,
// with the Chinese General, colour names and date order, and the zh-CN ids
// 27..36 and 50..58 with their 年/月/日 and 上午/下午 forms. Ids 5..8 and
// 41..44 are the currency and accounting formats of the Chinese locale.
std::optional<std::string_view> builtinNumberFormatLocal(int32_t id) {
  static constexpr std::pair<int32_t, std::string_view> kTable[] = {
      {0, kGeneralLocal},
      {1, "0"},
      {2, "0.00"},
      {3, "#,##0"},
      {4, "#,##0.00"},
      {5, "\"¥\"#,##0;\"¥\"\\-#,##0"},
      {6, "\"¥\"#,##0;[红色]\"¥\"\\-#,##0"},
      {7, "\"¥\"#,##0.00;\"¥\"\\-#,##0.00"},
      {8, "\"¥\"#,##0.00;[红色]\"¥\"\\-#,##0.00"},
      {9, "0%"},
      {10, "0.00%"},
      {11, "0.00E+00"},
      {12, "# ?/?"},
      {13,
       "# ?"
       "?/??"},  // split: "??/" would be a trigraph
      {14, "yyyy/m/d"},
      {15, "d-mmm-yy"},
      {16, "d-mmm"},
      {17, "mmm-yy"},
      {18, "h:mm AM/PM"},
      {19, "h:mm:ss AM/PM"},
      {20, "h:mm"},
      {21, "h:mm:ss"},
      {22, "yyyy/m/d h:mm"},
      {27, "yyyy\"年\"m\"月\""},
      {28, "m\"月\"d\"日\""},
      {29, "m\"月\"d\"日\""},
      {30, "m-d-yy"},
      {31, "yyyy\"年\"m\"月\"d\"日\""},
      {32, "h\"时\"mm\"分\""},
      {33, "h\"时\"mm\"分\"ss\"秒\""},
      {34, "上午/下午h\"时\"mm\"分\""},
      {35, "上午/下午h\"时\"mm\"分\"ss\"秒\""},
      {36, "yyyy\"年\"m\"月\""},
      {37, "#,##0 ;(#,##0)"},
      {38, "#,##0 ;[红色](#,##0)"},
      {39, "#,##0.00;(#,##0.00)"},
      {40, "#,##0.00;[红色](#,##0.00)"},
      {41, "_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ "},
      {42, "_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ "},
      {43, "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ "},
      {44, "_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"??_ ;_ @_ "},
      {45, "mm:ss"},
      {46, "[h]:mm:ss"},
      {47, "mm:ss.0"},
      {48, "##0.0E+0"},
      {49, "@"},
      {50, "yyyy\"年\"m\"月\""},
      {51, "m\"月\"d\"日\""},
      {52, "yyyy\"年\"m\"月\""},
      {53, "m\"月\"d\"日\""},
      {54, "m\"月\"d\"日\""},
      {55, "上午/下午h\"时\"mm\"分\""},
      {56, "上午/下午h\"时\"mm\"分\"ss\"秒\""},
      {57, "yyyy\"年\"m\"月\""},
      {58, "m\"月\"d\"日\""},
  };
  for (const auto& [key, code] : kTable)
    if (key == id) return code;
  return std::nullopt;
}

// Excel measures column widths in the width of the widest digit of the
// Normal style's font as Windows renders it at 96 dpi. Fonts it is known for
// are in the table (Calibri 11 gives 7 pixels, 宋体 11 gives 8, which makes a
// Chinese Excel's standard width 8.38); other fonts and sizes take the
// font's digit advance (a share of the em) at the size in whole pixels.
int32_t maxDigitWidth(std::string_view name, double size) {
  static constexpr struct {
    std::string_view name;
    double size;
    int32_t pixels;
  } kKnown[] = {
      {"Calibri", 11, 7}, {"Calibri", 10, 7},  {"Arial", 10, 7},           {"Arial", 11, 8},
      {"宋体", 11, 8},    {"宋体", 12, 8},     {"SimSun", 11, 8},          {"SimSun", 12, 8},
      {"等线", 11, 8},    {"DengXian", 11, 8}, {"Times New Roman", 12, 8},
  };
  for (const auto& k : kKnown)
    if (k.size == size && equalsNoCase(k.name, name)) return k.pixels;
  static constexpr std::pair<std::string_view, double> kAdvance[] = {
      {"Calibri", 0.47},  {"Arial", 0.556},  {"Times New Roman", 0.5},
      {"Verdana", 0.636}, {"Tahoma", 0.546},
  };
  double advance = 0.5;  // CJK fonts have half-em digits
  for (const auto& [font, share] : kAdvance)
    if (equalsNoCase(font, name)) advance = share;
  double pixels = std::round(std::clamp(size, 1.0, 409.0) * 96.0 / 72.0);
  return std::max<int32_t>(1, static_cast<int32_t>(std::floor(pixels * advance + 0.5)));
}

namespace {
double roundHundredths(double v) { return std::floor(v * 100 + 0.5) / 100; }
}  // namespace

// A stored width holds the digits plus 5 pixels of padding (2 each side and
// the grid line); Excel snaps it to whole pixels and reports the digits
// without the padding, to 2 decimals. Columns narrower than one digit plus
// the padding report their pixels as a share of that.
double columnWidthFromStored(double width, int32_t mdw) {
  if (!(width > 0) || mdw <= 0) return 0;
  width = std::min(width, 255.0 + 5.0);
  double pixels = std::trunc(((256 * width + std::trunc(128.0 / mdw)) / 256) * mdw);
  if (pixels <= 0) return 0;
  if (pixels < mdw + 5) return roundHundredths(pixels / (mdw + 5));
  // Excel holds no column wider than 255 characters.
  return std::min(roundHundredths((pixels - 5) / mdw), 255.0);
}

// Without defaultColWidth, a column is baseColWidth digits plus the padding,
// rounded up to a multiple of 8 pixels.
double columnWidthFromBase(int32_t baseColWidth, int32_t mdw) {
  if (mdw <= 0) return 0;
  int64_t pixels = int64_t{std::clamp(baseColWidth, 0, 255)} * mdw + 5;
  pixels = (pixels + 7) / 8 * 8;
  return std::min(roundHundredths(static_cast<double>(pixels - 5) / mdw), 255.0);
}

}  // namespace bq::office::excel
