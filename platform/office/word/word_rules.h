// The rules by which the Word object model turns document content into the
// values Word reports through automation: the wd enumeration codes of
// alignment, line spacing, underlines, borders, textures and paper sizes,
// the 16-colour index, Word's colour integers, the fonts that characters
// take, the text Word gives to the special content of a run, and the way it
// counts words and sentences. Each rule lives in one function or table here,
// with the Word behaviour it reproduces beside it, so that the object model
// (word.h) only looks things up.
//
// Lengths in the file are twentieths of a point (twips) unless noted.
//
// Thread safety: all functions are pure; the tables are constant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/office/theme/theme.h"

namespace bq::office::word {

// The source of every error the Word object model raises.
inline constexpr std::string_view kErrorSource = "Microsoft Word";

// Word's values and error numbers (Word's object library).
namespace wd {
// wdUndefined: a property that differs within the range read.
inline constexpr int32_t kUndefined = 9999999;
// True and False as Word's Long properties report them.
inline constexpr int32_t kTrue = -1;
inline constexpr int32_t kFalse = 0;
// wdColorAutomatic.
inline constexpr int32_t kColorAutomatic = -16777216;
// WdGutterStyle.
inline constexpr int32_t kGutterPosLeft = 0;
inline constexpr int32_t kGutterPosTop = 1;
inline constexpr int32_t kGutterPosRight = 2;
// WdOrientation.
inline constexpr int32_t kOrientPortrait = 0;
inline constexpr int32_t kOrientLandscape = 1;
// WdLineSpacing.
inline constexpr int32_t kLineSpaceSingle = 0;
inline constexpr int32_t kLineSpace1pt5 = 1;
inline constexpr int32_t kLineSpaceDouble = 2;
inline constexpr int32_t kLineSpaceAtLeast = 3;
inline constexpr int32_t kLineSpaceExactly = 4;
inline constexpr int32_t kLineSpaceMultiple = 5;
// WdCellVerticalAlignment.
inline constexpr int32_t kCellAlignVerticalTop = 0;
inline constexpr int32_t kCellAlignVerticalCenter = 1;
inline constexpr int32_t kCellAlignVerticalBottom = 3;
// WdLineStyle / WdLineWidth values used as defaults.
inline constexpr int32_t kLineStyleNone = 0;
inline constexpr int32_t kLineWidth050pt = 4;
// WdTextureIndex.
inline constexpr int32_t kTextureNone = 0;
// WdPaperSize.
inline constexpr int32_t kPaperCustom = 41;

// Error numbers.
inline constexpr int32_t kCannotOpenFile = 5792;  // "The file appears to be corrupted."
inline constexpr int32_t kNoSuchMember =
    5941;  // "The requested member of the collection does not exist."
inline constexpr int32_t kNotInTable = 5907;  // "There is no table at this location."
inline constexpr int32_t kNoDocumentOpen =
    4248;  // "This command is not available because no document is open."
}  // namespace wd

// ParagraphFormat.Alignment (WdParagraphAlignment) of w:jc@val; left for an
// absent or unknown value. "start" and "end" are the Strict names of left
// and right.
int32_t alignmentCode(std::string_view jc);

// LineSpacingRule and LineSpacing (points) of w:spacing@line and @lineRule.
// Word reports an "auto" rule of 240 as single, 360 as 1.5 lines, 480 as
// double, and any other as multiple; its LineSpacing is then 12 points per
// line (line / 20). "exact" and "atLeast" give exactly / at least with line
// in twips. No line at all is single spacing.
struct LineSpacing {
  int32_t rule;
  float points;
};
LineSpacing lineSpacing(std::optional<int32_t> line, std::string_view lineRule);

// Font.Underline (WdUnderline) of w:u@val; none for an absent or unknown value.
int32_t underlineCode(std::string_view u);

// A colour of the file as Word holds it: automatic, an RGB, or a theme colour
// with its tint or shade.
struct WordColor {
  enum class Kind : uint8_t { Auto, Rgb, Theme };
  Kind kind = Kind::Auto;
  Rgb rgb;                            // Rgb; for Theme, the RGB the theme gives
  uint8_t themeIndex = 0;             // Theme: WdThemeColorIndex
  uint8_t tint = 0xFF, shade = 0xFF;  // Theme: themeTint, themeShade (FF: none)
  bool operator==(const WordColor&) const = default;
};

// The colour of a w:color element (val, themeColor, themeTint, themeShade)
// or of the fill / pattern colour of a w:shd element (fill, themeFill,
// themeFillTint, themeFillShade; color, themeColor ...): `value` "auto",
// "RRGGBB" or absent; a theme colour (ST_ThemeColor) wins over the value and
// is resolved through `map` and `theme` with Word's tint (preferred when
// both are given) or shade. A value that is neither gives automatic.
WordColor wordColor(std::string_view value, std::string_view themeColor, std::string_view themeTint,
                    std::string_view themeShade, const Theme& theme, const ColorMap& map);

// Word's colour integer of a colour (Shading.BackgroundPatternColor and
// kin): wdColorAutomatic for automatic; red + 256 * green + 65536 * blue for
// an RGB; for a theme colour the integer Word's Color properties give it:
// &HD0 + the WdThemeColorIndex in the high byte, then 00, the shade and the
// tint (FF each when there is none): accent 1 lighter 40% is &HD400FF99.
int32_t colorValue(const WordColor& colour);

// Font.ColorIndex (WdColorIndex) of a colour: wdAuto (0) for automatic; the
// entry of Word's 16-colour table (black 1, blue 2 ... gray 25% 16) that the
// colour equals, else the nearest entry by squared distance in RGB (the
// lower index among equals), as the colour index Word keeps beside every
// 24-bit colour for its older formats.
int32_t colorIndexOf(const WordColor& colour);

// Shading.Texture (WdTextureIndex) of w:shd@val: clear and nil none, solid
// 1000, pctN N * 10 (pct12, pct37, pct62 and pct87 are Word's 12.5% ...
// 87.5%: 125 ... 875), the stripes and crosses Word's dark (-1 .. -6) and
// light (-7 .. -12) patterns. Values outside ST_Shd: none.
int32_t textureCode(std::string_view shd);

// Border.LineStyle (WdLineStyle) of a border's ST_Border value: none and nil
// give wdLineStyleNone; single and thick single; the dashes, doubles, thin-
// thick combinations, waves, 3-D and inset/outset their own codes; art
// borders (apples, ...) count as single.
int32_t borderLineStyle(std::string_view val);
// Border.LineWidth (WdLineWidth, eighths of a point) of a border's w:sz:
// the nearest width Word offers (2, 4, 6, 8, 12, 18, 24, 36, 48).
int32_t borderLineWidth(int32_t eighths);

// A border line as Word weighs it where two cells meet: its ST_Border style
// (a line, not none or nil), its width in eighths of a point (w:sz) and its
// colour (automatic counts as black).
struct BorderLine {
  std::string_view style;
  int32_t eighths = 4;
  Rgb colour;
};

// Where the borders of two neighbouring cells meet (one's bottom and the
// next row's top, one's right and the next cell's left), Word draws one of
// them, by the rule of ECMA-376 Part 1, 17.4.66 with the numbers Office
// documents for it: the heavier line, its weight the width in eighths times
// the style's number (single 1, thick 2, double 3, dotDash 8 ... inset 27:
// Word's codes of the styles; art borders as single; dotted and dashed lines
// weigh 1 whatever their width); at equal weight the style of the higher
// number; then the darker colour (the smaller R + B + 2G, then B + 2G, then
// G); when all of that ties, the first. Whether `first` is drawn over
// `second`.
bool firstBorderWins(const BorderLine& first, const BorderLine& second);

// Whether a VML shape (the v:shape, v:rect, v:line, v:group ... of a
// w:pict or w:object) whose CSS style attribute is `style` floats: its
// position property is absolute (names and values without regard to case
// or the blanks around them). Word places any other shape in line with the
// text.
bool vmlStyleFloats(std::string_view style);

// Cell.VerticalAlignment (WdCellVerticalAlignment) of w:vAlign@val; top for
// an absent or unknown value ("both" counts as center).
int32_t verticalAlignmentCode(std::string_view vAlign);

// PageSetup.PaperSize (WdPaperSize) of a page of `width` by `height` twips:
// the paper whose size it is (either orientation), within a point each way,
// else wdPaperCustom.
int32_t paperSizeCode(int32_t width, int32_t height);

// The four font slots of w:rFonts, and which one a character takes: the
// ASCII font for U+0000..U+007F, the East Asian font for the East Asian
// ranges (CJK, kana, Hangul, full-width forms, CJK punctuation and the
// surrogates of the supplementary ideographs), the complex-script font for
// Hebrew, Arabic, Syriac, Thaana and Thai, and the high-ANSI font for the
// rest, which a hint of eastAsia moves to the East Asian font for the
// characters both scripts share (Latin-1 punctuation, general punctuation,
// letter-like symbols, ...).
enum class FontSlot : uint8_t { Ascii, HAnsi, EastAsia, ComplexScript };
FontSlot fontSlotOf(char16_t c, bool eastAsiaHint);

// The script tag of a language (w:lang, w:themeFontLang: "zh-CN") under
// which a theme's font collection lists the typeface for it: Hans, Hant,
// Jpan, Hang, Arab, Hebr, Thai; "" for languages without one.
std::string_view scriptOfLanguage(std::string_view language);

// The typeface a theme font reference (ST_Theme: "minorHAnsi",
// "majorEastAsia", "minorBidi" ...) names: the major or minor collection's
// Latin, East Asian or complex-script typeface; where the theme leaves that
// empty, the typeface the collection lists for the script of `language`;
// where that is empty too, the collection's Latin typeface. Nothing for an
// unknown reference.
std::optional<std::string> themeFontName(std::string_view reference, const Theme& theme,
                                         std::string_view language);

// The typefaces Word gives text when neither the styles nor the run name
// one: Times New Roman, and for East Asian text the Chinese edition's 宋体.
inline constexpr std::string_view kDefaultFont = "Times New Roman";
inline constexpr std::string_view kDefaultEastAsianFont = "宋体";
// Font.Size (points) when neither the styles nor the run give one.
inline constexpr float kDefaultFontSize = 10;

// Range.Text of the special content of a run, by the element's local name:
// w:tab and w:ptab a tab, w:br a vertical tab (11) or for type "page" a
// form feed (12) and for "column" 14, w:cr a vertical tab, the non-breaking
// and soft hyphens 30 and 31, a footnote or endnote reference 2, a comment
// reference 5, an inline picture or object 1, a symbol (w:sym) "(" as Word
// gives every symbol character. Nothing for other elements.
std::optional<std::u16string_view> specialText(std::string_view local, std::string_view brType);

// The marks Word ends paragraphs with in Range.Text.
inline constexpr std::u16string_view kParagraphMark = u"\r";
inline constexpr std::u16string_view kCellMark = u"\r\a";    // the end of a table cell
inline constexpr std::u16string_view kSectionBreak = u"\f";  // a paragraph that ends a section

// Words as Word counts them (Range.Words), over the text of one story:
// [start, end) offsets into `text`, in order, covering all of it. ICU's word
// breaker (with its dictionary for Chinese and Japanese) cuts the text; a
// word keeps the spaces (U+0020) that follow it; every punctuation mark and
// every other character that is not a letter, digit or ideograph is a word
// of its own; a paragraph mark, a cell mark (CR BEL) and a section break are
// words of their own.
std::vector<std::pair<size_t, size_t>> wordSpans(std::u16string_view text);

// Sentences as Word counts them (Range.Sentences): a sentence runs to a run
// of 。！？.!? (a "." only when no letter or digit follows it), takes the
// closing quotes and brackets after it and then its spaces; a paragraph end
// also ends a sentence, and its mark belongs to the sentence it ends (an
// empty paragraph is a sentence of its own mark).
std::vector<std::pair<size_t, size_t>> sentenceSpans(std::u16string_view text);

}  // namespace bq::office::word
