#include "platform/office/word/word_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"

namespace bq::office::word {
namespace {

TEST(WordRulesTest, LineSpacing) {
  struct Case {
    std::optional<int32_t> line;
    const char* rule;
    int32_t code;
    float points;
  } cases[] = {
      {std::nullopt, "auto", wd::kLineSpaceSingle, 12},
      {240, "auto", wd::kLineSpaceSingle, 12},
      {360, "auto", wd::kLineSpace1pt5, 18},
      {480, "auto", wd::kLineSpaceDouble, 24},
      {276, "auto", wd::kLineSpaceMultiple, 13.8f},
      {300, "", wd::kLineSpaceMultiple, 15},  // no rule is auto
      {360, "atLeast", wd::kLineSpaceAtLeast, 18},
      {400, "exact", wd::kLineSpaceExactly, 20},
      {-400, "exact", wd::kLineSpaceExactly, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    const LineSpacing ls = lineSpacing(c.line, c.rule == std::string("") ? "auto" : c.rule);
    EXPECT_EQ(ls.rule, c.code);
    EXPECT_FLOAT_EQ(ls.points, c.points);
  }
}

TEST(WordRulesTest, EnumerationCodes) {
  EXPECT_EQ(alignmentCode(""), 0);
  EXPECT_EQ(alignmentCode("start"), 0);
  EXPECT_EQ(alignmentCode("end"), 2);
  EXPECT_EQ(alignmentCode("both"), 3);
  EXPECT_EQ(alignmentCode("distribute"), 4);
  EXPECT_EQ(alignmentCode("lowKashida"), 8);
  EXPECT_EQ(underlineCode("wave"), 11);
  EXPECT_EQ(underlineCode("dashLongHeavy"), 55);
  EXPECT_EQ(underlineCode("sparkly"), 0);
  EXPECT_EQ(borderLineStyle(""), 0);
  EXPECT_EQ(borderLineStyle("nil"), 0);
  EXPECT_EQ(borderLineStyle("thick"), 1);
  EXPECT_EQ(borderLineStyle("dashed"), 4);
  EXPECT_EQ(borderLineStyle("double"), 7);
  EXPECT_EQ(borderLineStyle("inset"), 24);
  EXPECT_EQ(borderLineStyle("apples"), 1);  // an art border
  EXPECT_EQ(borderLineWidth(4), 4);
  EXPECT_EQ(borderLineWidth(12), 12);
  EXPECT_EQ(borderLineWidth(10), 8);  // between 8 and 12: the lower
  EXPECT_EQ(borderLineWidth(0), 2);
  EXPECT_EQ(borderLineWidth(96), 48);
  EXPECT_EQ(verticalAlignmentCode("center"), 1);
  EXPECT_EQ(verticalAlignmentCode("bottom"), 3);
  EXPECT_EQ(verticalAlignmentCode(""), 0);
}

// Shading patterns against WdTextureIndex: pct12, pct37, pct62 and pct87 are
// Word's 12.5% ... 87.5% textures; a reverse diagonal runs down from the
// left, Word's diagonal down.
TEST(WordRulesTest, TexturesOfShadingPatterns) {
  struct Case {
    const char* shd;
    int32_t code;
  } cases[] = {
      {"clear", 0},
      {"solid", 1000},
      {"pct5", 50},
      {"pct12", 125},
      {"pct37", 375},
      {"pct50", 500},
      {"pct62", 625},
      {"pct87", 875},
      {"pct95", 950},
      {"horzStripe", -1},
      {"reverseDiagStripe", -3},
      {"diagStripe", -4},
      {"thinReverseDiagStripe", -9},
      {"thinDiagStripe", -10},
      {"thinDiagCross", -12},
      // Outside ST_Shd: no texture of Word's.
      {"pct100", 0},
      {"pct13", 0},
      {"pct", 0},
      {"sparkly", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(textureCode(c.shd), c.code) << c.shd;
}

// Where two cells' borders meet, the heavier one is drawn: width times the
// style's number, dotted and dashed lines weighing 1; then the later style of
// the list; then the darker colour; then the first of the two.
TEST(WordRulesTest, BorderConflicts) {
  const Rgb black{0, 0, 0}, red{255, 0, 0}, blue{0, 0, 255}, green{0, 128, 0};
  struct Case {
    BorderLine first, second;
    bool firstWins;
  } cases[] = {
      {{"single", 4, black}, {"double", 4, black}, false},  // 4 against 12
      {{"double", 4, black}, {"single", 4, black}, true},
      {{"single", 24, black}, {"double", 4, black}, true},   // 24 against 12
      {{"single", 12, black}, {"double", 4, black}, false},  // 12 each: the later style
      {{"dotted", 24, black}, {"single", 2, black}, false},  // a dotted line weighs 1
      {{"dotted", 8, black}, {"dashed", 8, black}, false},   // 1 each: dashed is later
      {{"triple", 4, black}, {"double", 12, black}, true},   // 40 against 36
      {{"thick", 6, black}, {"single", 12, black}, true},    // 12 each: thick is later
      {{"apples", 8, black}, {"single", 8, black}, true},    // art counts as single
      {{"single", 8, red}, {"single", 8, black}, false},     // the darker colour
      {{"single", 8, red}, {"single", 8, blue}, true},       // R + B + 2G ties; then B + 2G
      {{"single", 8, green}, {"single", 8, red}, false},
      {{"single", 8, blue}, {"single", 8, blue}, true},  // identical: the first
  };
  for (const Case& c : cases)
    EXPECT_EQ(firstBorderWins(c.first, c.second), c.firstWins)
        << c.first.style << " " << c.first.eighths << " / " << c.second.style << " "
        << c.second.eighths;
}

TEST(WordRulesTest, VmlShapesThatFloat) {
  EXPECT_TRUE(vmlStyleFloats("position:absolute;margin-left:10pt;width:20pt"));
  EXPECT_TRUE(vmlStyleFloats("width:20pt; Position : ABSOLUTE ;height:2pt"));
  EXPECT_FALSE(vmlStyleFloats("width:20pt;height:20pt"));
  EXPECT_FALSE(vmlStyleFloats("position:static;width:20pt"));
  EXPECT_FALSE(vmlStyleFloats("position:absolute;width:20pt;position:static"));
  EXPECT_FALSE(vmlStyleFloats("mso-position-horizontal:absolute;width:20pt"));
  EXPECT_FALSE(vmlStyleFloats(""));
}

TEST(WordRulesTest, PaperSizes) {
  struct Case {
    int32_t w, h, code;
  } cases[] = {
      {11906, 16838, 7}, {16838, 11906, 7},  // A4 either way
      {11905, 16837, 7},                     // python-docx's Mm(210) x Mm(297)
      {12240, 15840, 2}, {8391, 11906, 9},   {10318, 14570, 11},
      {12240, 20160, 4}, {11906, 16900, 41}, {1000, 1000, 41},
  };
  for (const Case& c : cases) EXPECT_EQ(paperSizeCode(c.w, c.h), c.code) << c.w << "x" << c.h;
}

TEST(WordRulesTest, ColoursAndTheirIndex) {
  const Theme& theme = Theme::officeDefault();
  const ColorMap map;
  const auto colour = [&](const char* v, const char* t = "", const char* tint = "",
                          const char* shade = "") {
    return wordColor(v, t, tint, shade, theme, map);
  };
  EXPECT_EQ(colorValue(colour("auto")), wd::kColorAutomatic);
  EXPECT_EQ(colorValue(colour("")), wd::kColorAutomatic);
  EXPECT_EQ(colorValue(colour("FFFF00")), 65535);
  EXPECT_EQ(colorValue(colour("000080")), 8388608);
  // Theme colours as Word's Color properties give them: accent 1, lighter
  // 40% is &HD400FF99; Heading 1 of Word 2007 (accent1, shade BF) &HD400BFFF.
  EXPECT_EQ(colorValue(colour("95B3D7", "accent1", "99")), -738132071);
  EXPECT_EQ(colorValue(colour("365F91", "accent1", "", "BF")), -738148353);
  EXPECT_EQ(colorValue(colour("000000", "text1")), static_cast<int32_t>(0xDD00FFFFu));
  // themeTint wins over themeShade.
  EXPECT_EQ(colour("", "accent1", "99", "BF").shade, 0xFF);

  struct Case {
    const char* value;
    int32_t index;
  } cases[] = {
      {"auto", 0},
      {"000000", 1},
      {"0000FF", 2},
      {"00FFFF", 3},
      {"00FF00", 4},
      {"FF00FF", 5},
      {"FF0000", 6},
      {"FFFF00", 7},
      {"FFFFFF", 8},
      {"000080", 9},
      {"008080", 10},
      {"008000", 11},
      {"800080", 12},
      {"800000", 13},
      {"808000", 14},
      {"808080", 15},
      {"C0C0C0", 16},
      // Outside the table: the nearest entry.
      {"0070C0", 10},
      {"FE0101", 6},
      {"7F7F7F", 15},
      {"C00000", 6},  // 63 from red, 64 from dark red
  };
  for (const Case& c : cases) EXPECT_EQ(colorIndexOf(colour(c.value)), c.index) << c.value;
  // The theme's accent 2 (C0504D) is nearest to gray 50%.
  EXPECT_EQ(colorIndexOf(colour("", "accent2")), 15);
}

TEST(WordRulesTest, FontsOfCharacters) {
  struct Case {
    char16_t c;
    bool hint;
    FontSlot slot;
  } cases[] = {
      {u'A', false, FontSlot::Ascii},         {u'A', true, FontSlot::Ascii},
      {u'é', false, FontSlot::HAnsi},         {u'“', false, FontSlot::HAnsi},
      {u'“', true, FontSlot::EastAsia},       {u'中', false, FontSlot::EastAsia},
      {u'。', false, FontSlot::EastAsia},     {u'，', false, FontSlot::EastAsia},
      {u'あ', false, FontSlot::EastAsia},     {u'한', false, FontSlot::EastAsia},
      {u'\xD840', false, FontSlot::EastAsia},  // a surrogate of an ideograph
      {u'ש', false, FontSlot::ComplexScript}, {u'ب', true, FontSlot::ComplexScript},
  };
  for (const Case& c : cases) EXPECT_EQ(fontSlotOf(c.c, c.hint), c.slot) << static_cast<int>(c.c);

  Theme theme;
  theme.minor.latin = "Calibri";
  theme.minor.scripts = {{"Hans", "等线"}, {"Jpan", "游明朝"}};
  theme.major.latin = "Calibri Light";
  theme.major.eastAsia = "黑体";
  EXPECT_EQ(themeFontName("minorHAnsi", theme, "zh-CN"), "Calibri");
  EXPECT_EQ(themeFontName("minorEastAsia", theme, "zh-CN"), "等线");
  EXPECT_EQ(themeFontName("minorEastAsia", theme, "ja-JP"), "游明朝");
  EXPECT_EQ(themeFontName("minorEastAsia", theme, "en-US"), "Calibri");  // no script font
  EXPECT_EQ(themeFontName("majorEastAsia", theme, "zh-CN"), "黑体");
  EXPECT_EQ(themeFontName("majorAscii", theme, ""), "Calibri Light");
  EXPECT_FALSE(themeFontName("minorSomething", theme, "").has_value());
  EXPECT_FALSE(themeFontName("Calibri", theme, "").has_value());
}

// The texts of the spans of `text`.
std::vector<std::string> pieces(std::u16string_view text,
                                const std::vector<std::pair<size_t, size_t>>& spans) {
  std::vector<std::string> out;
  for (auto [a, b] : spans) out.push_back(toUtf8(text.substr(a, b - a)));
  return out;
}

TEST(WordRulesTest, Words) {
  using V = std::vector<std::string>;
  struct Case {
    std::u16string text;
    V words;
  } cases[] = {
      // Trailing spaces stay with their word; punctuation is a word of its
      // own, and so is each mark.
      {u"Hello, world.\r", {"Hello", ", ", "world", ".", "\r"}},
      {u"  lead and  two  spaces\r", {"  ", "lead ", "and  ", "two  ", "spaces", "\r"}},
      {u"3.14 isn't e.g...\r", {"3.14 ", "isn't ", "e.g", ".", ".", ".", "\r"}},
      {u"a\tb\vc\r\r", {"a", "\t", "b", "\v", "c", "\r", "\r"}},
      // A cell's end mark and a section break.
      {u"x\r\a\r\ay\f", {"x", "\r\a", "\r\a", "y", "\f"}},
      // Chinese punctuation; the ideographs between go to the dictionary.
      {u"你好，世界！\r", {"你好", "，", "世界", "！", "\r"}},
      {u"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    const auto spans = wordSpans(c.text);
    EXPECT_EQ(pieces(c.text, spans), c.words);
    // The words cover the text, in order.
    size_t at = 0;
    for (auto [a, b] : spans) {
      EXPECT_EQ(a, at);
      at = b;
    }
    EXPECT_EQ(at, c.text.size());
  }
}

TEST(WordRulesTest, Sentences) {
  using V = std::vector<std::string>;
  struct Case {
    std::u16string text;
    V sentences;
  } cases[] = {
      {u"One. Two! Three?\r", {"One. ", "Two! ", "Three?\r"}},
      {u"Pi is 3.14 today. Yes\r", {"Pi is 3.14 today. ", "Yes\r"}},
      {u"He said \"Go.\" Then left...\r", {"He said \"Go.\" ", "Then left...\r"}},
      {u"春眠不觉晓，处处闻啼鸟。夜来风雨声！花落知多少？\r",
       {"春眠不觉晓，处处闻啼鸟。", "夜来风雨声！", "花落知多少？\r"}},
      {u"他说：“好。”我走了\r", {"他说：“好。”", "我走了\r"}},
      {u"\r\rNo end\r", {"\r", "\r", "No end\r"}},
      {u"cell.\r\a\r\a", {"cell.\r\a", "\r\a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(pieces(c.text, sentenceSpans(c.text)), c.sentences);
  }
}

}  // namespace
}  // namespace bq::office::word
