#include "platform/office/excel/excel_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace bq::office::excel {
namespace {

TEST(ExcelAddressTest, ParsesWhatRangeAccepts) {
  struct Case {
    const char* text;
    RangeRef expected;
  } cases[] = {
      {"A1", {{1, 1}, {1, 1}}},
      {"$A$1", {{1, 1}, {1, 1}}},
      {"a1", {{1, 1}, {1, 1}}},
      {"B2:D7", {{2, 2}, {7, 4}}},
      {"d7:b2", {{2, 2}, {7, 4}}},  // corners in any order
      {"B7:D2", {{2, 2}, {7, 4}}},
      {"$B2:D$7", {{2, 2}, {7, 4}}},
      {"XFD1048576", {{1048576, 16384}, {1048576, 16384}}},
      {"AA10", {{10, 27}, {10, 27}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<RangeRef> r = parseAddress(c.text);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, c.expected);
  }
}

TEST(ExcelAddressTest, RefusesWhatRangeRefuses) {
  for (const char* text :
       {"",     "@1",  // column 0: the letter before A, which a zero extent builds
        "A0",   "XFE1", "A1048577", "1A",        "A",    "1",        " A1",
        "A1 ",  "A1:",  ":A1",      "A:A",       "1:1",  "A1:B2:C3", "Sheet1!A1",
        "A$$1", "$$A1", "AAAA1",    "A12345678", "R1C1", "A-1",      "A1.5"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parseAddress(text).has_value());
  }
}

TEST(ExcelAddressTest, ColumnLetters) {
  struct Case {
    int32_t column;
    const char* letters;
  } cases[] = {{1, "A"},   {26, "Z"},   {27, "AA"},   {52, "AZ"},
               {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
  for (const Case& c : cases) EXPECT_EQ(columnLetters(c.column), c.letters) << c.column;
}

TEST(ExcelRulesTest, AlignmentCodes) {
  struct Case {
    const char* value;
    int32_t horizontal;
    int32_t vertical;
  } cases[] = {
      {"", 1, -4107},  // defaults: general, bottom
      {"left", -4131, -4107},
      {"center", -4108, -4108},
      {"right", -4152, -4107},
      {"top", 1, -4160},
      {"bottom", 1, -4107},
      {"fill", 5, -4107},
      {"justify", -4130, -4130},
      {"centerContinuous", 7, -4107},
      {"distributed", -4117, -4117},
      {"Center", 1, -4107},  // names are case-sensitive in the schema
      {"bogus", 1, -4107},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(horizontalAlignmentCode(c.value), c.horizontal);
    EXPECT_EQ(verticalAlignmentCode(c.value), c.vertical);
  }
}

TEST(ExcelRulesTest, BorderLineStyleAndWeight) {
  struct Case {
    const char* style;
    int32_t lineStyle;
    int32_t weight;
  } cases[] = {
      {"thin", 1, 2},
      {"medium", 1, -4138},
      {"thick", 1, 4},
      {"hair", 1, 1},
      {"dashed", -4115, 2},
      {"dotted", -4118, 2},
      {"double", -4119, 4},
      {"dashDot", 4, 2},
      {"dashDotDot", 5, 2},
      {"slantDashDot", 13, -4138},
      {"mediumDashed", -4115, -4138},
      {"mediumDashDot", 4, -4138},
      {"mediumDashDotDot", 5, -4138},
      {"none", -4142, 2},
      {"", -4142, 2},
      {"Thin", -4142, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    LineCodes codes = borderLineCodes(c.style);
    EXPECT_EQ(codes.lineStyle, c.lineStyle);
    EXPECT_EQ(codes.weight, c.weight);
  }
}

TEST(ExcelRulesTest, PatternCodes) {
  struct Case {
    const char* type;
    int32_t code;
  } cases[] = {
      {"", -4142},
      {"none", -4142},
      {"solid", 1},
      {"mediumGray", -4125},
      {"darkGray", -4126},
      {"lightGray", -4124},
      {"darkHorizontal", -4128},
      {"darkVertical", -4166},
      {"darkDown", -4121},
      {"darkUp", -4162},
      {"darkGrid", 9},
      {"darkTrellis", 10},
      {"lightHorizontal", 11},
      {"lightVertical", 12},
      {"lightDown", 13},
      {"lightUp", 14},
      {"lightGrid", 15},
      {"lightTrellis", 16},
      {"gray125", 17},
      {"gray0625", 18},
      {"Solid", -4142},
  };
  for (const Case& c : cases) EXPECT_EQ(patternCode(c.type), c.code) << c.type;
}

TEST(ExcelRulesTest, ParsesRgb) {
  EXPECT_EQ(parseRgb("FFFF0000"), (Rgb{255, 0, 0}));
  EXPECT_EQ(parseRgb("00ff00"), (Rgb{0, 255, 0}));
  EXPECT_EQ(parseRgb("801F497D"), (Rgb{0x1F, 0x49, 0x7D}));  // alpha ignored
  EXPECT_EQ(parseRgb("aBcDeF"), (Rgb{0xAB, 0xCD, 0xEF}));
  for (const char* bad : {"", "FFF", "FF00000", "GG0000", "FF00 00", "FFFF00000", "FF00:0",
                          "FF00@0", "FF00`0", "FF00g0", "FF00/0", "FFFF0\xC1"})
    EXPECT_FALSE(parseRgb(bad).has_value()) << bad;
}

TEST(ExcelRulesTest, NearestPaletteIndex) {
  const Palette& p = defaultPalette();
  struct Case {
    Rgb colour;
    int32_t index;
  } cases[] = {
      {{0, 0, 0}, 1},
      {{255, 255, 255}, 2},
      {{255, 0, 0}, 3},
      {{254, 1, 1}, 3},
      {{0, 0, 255}, 5},          // also entry 32: the lower index wins
      {{0x99, 0x33, 0x66}, 18},  // also entry 54
      {{0x80, 0x80, 0x80}, 16},
      {{0x33, 0x33, 0x33}, 56},
      // Office 2007 accent 1; the nearest by squared distance is 666699 (2554)
      // ahead of 3366FF (5869) and 808080 (6123).
      {{0x4F, 0x81, 0xBD}, 47},
  };
  for (const Case& c : cases)
    EXPECT_EQ(nearestColorIndex(p, c.colour), c.index)
        << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b);

  Palette custom = p;
  custom[40] = Rgb{0x12, 0x34, 0x56};
  EXPECT_EQ(nearestColorIndex(custom, Rgb{0x12, 0x34, 0x56}), 41);

  // Against the plain search, over random colours and a palette with
  // repeated entries (the default one repeats eight).
  auto nearest = [&](Rgb c) {
    int32_t best = 1;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < p.size(); ++i) {
      const int64_t dr = p[i].r - c.r, dg = p[i].g - c.g, db = p[i].b - c.b;
      if (dr * dr + dg * dg + db * db < bestDistance) {
        bestDistance = dr * dr + dg * dg + db * db;
        best = static_cast<int32_t>(i + 1);
      }
    }
    return best;
  };
  std::mt19937 random(11);
  for (int i = 0; i < 5000; ++i) {
    const Rgb c{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                static_cast<uint8_t>(random())};
    ASSERT_EQ(nearestColorIndex(p, c), nearest(c)) << i;
  }
}

TEST(ExcelRulesTest, Tint) {
  struct Case {
    Rgb colour;
    double tint;
    Rgb expected;
  } cases[] = {
      {{255, 255, 255}, 0, {255, 255, 255}},
      {{255, 255, 255}, -0.5, {128, 128, 128}},  // L 1 -> 0.5
      {{0, 0, 0}, 0.5, {128, 128, 128}},         // L 0 -> 0.5
      {{0, 0, 0}, 0.25, {64, 64, 64}},
      {{255, 0, 0}, 0.4, {255, 102, 102}},  // L 0.5 -> 0.7
      {{255, 0, 0}, -0.25, {191, 0, 0}},    // L 0.5 -> 0.375
      {{10, 20, 30}, -1, {0, 0, 0}},
      {{10, 20, 30}, 1, {255, 255, 255}},
  };
  for (const Case& c : cases) {
    Rgb got = applyTint(c.colour, c.tint);
    EXPECT_EQ(got, c.expected) << c.tint << " gives " << int(got.r) << "," << int(got.g) << ","
                               << int(got.b);
  }
}

TEST(ExcelRulesTest, BuiltinNumberFormatsOfTheChineseLocale) {
  struct Case {
    int32_t id;
    const char* local;
  } cases[] = {
      {0, "G/通用格式"},
      {1, "0"},
      {4, "#,##0.00"},
      {9, "0%"},
      {10, "0.00%"},
      {14, "yyyy/m/d"},
      {22, "yyyy/m/d h:mm"},
      {31, "yyyy\"年\"m\"月\"d\"日\""},
      {32, "h\"时\"mm\"分\""},
      {38, "#,##0 ;[红色](#,##0)"},
      {49, "@"},
      {58, "m\"月\"d\"日\""},
  };
  for (const Case& c : cases) EXPECT_EQ(builtinNumberFormatLocal(c.id), c.local) << c.id;
  for (int32_t id : {-1, 23, 26, 59, 163, 164, 1000})
    EXPECT_FALSE(builtinNumberFormatLocal(id).has_value()) << id;
}

TEST(ExcelRulesTest, CustomFormatsShowTheirKeywordsInChinese) {
  struct Case {
    const char* stored;
    const char* local;
  } cases[] = {
      {"0.00_);[Red]\\(0.00\\)", "0.00_);[红色]\\(0.00\\)"},
      {"[RED]0;[blue]-0;[Color10]0;[color 3]@", "[红色]0;[蓝色]-0;[颜色10]0;[color 3]@"},
      {"[Black][Cyan][Green][Magenta][White][Yellow]0",
       "[黑色][蓝绿色][绿色][洋红色][白色][黄色]0"},
      {"General;[Red]-General", "G/通用格式;[红色]-G/通用格式"},
      {"general\" general \"", "G/通用格式\" general \""},  // quoted text stays
      {"\\General", "\\General"},                           // an escaped G is a literal
      {"_G* 0", "_G* 0"},
      {"[>100][Red]0;[<=-5]0", "[>100][红色]0;[<=-5]0"},
      {"[$-804]yyyy\"年\"m\"月\";[DBNum1]0;[h]:mm", "[$-804]yyyy\"年\"m\"月\";[DBNum1]0;[h]:mm"},
      {"\"[Red]\"0", "\"[Red]\"0"},
      {"0.00_ ", "0.00_ "},
      {"[Red", "[Red"},  // unclosed bracket: kept
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(localizedNumberFormat(c.stored), c.local) << c.stored;
}

TEST(ExcelRulesTest, MaxDigitWidth) {
  EXPECT_EQ(maxDigitWidth("Calibri", 11), 7);
  EXPECT_EQ(maxDigitWidth("calibri", 11), 7);
  EXPECT_EQ(maxDigitWidth("宋体", 11), 8);
  EXPECT_EQ(maxDigitWidth("Arial", 10), 7);
  // Not in the table: 10 pt is 13 pixels, Verdana's digits 0.636 em.
  EXPECT_EQ(maxDigitWidth("Verdana", 10), 8);
  // A font we know nothing of: half-em digits; 11 pt is 15 pixels.
  EXPECT_EQ(maxDigitWidth("Some CJK Font", 11), 8);
  EXPECT_GE(maxDigitWidth("X", 0), 1);
  EXPECT_GE(maxDigitWidth("X", -5), 1);
}

TEST(ExcelRulesTest, ColumnWidths) {
  struct Case {
    double stored;
    int32_t mdw;
    double expected;
  } cases[] = {
      {9.140625, 7, 8.43},  // Excel's standard width with Calibri 11
      {9, 8, 8.38},         // 72 pixels with 宋体 11
      {20.7109375, 7, 20},  // 145 pixels
      {1, 7, 0.58},         // 7 pixels, narrower than a digit and the padding
      {0, 7, 0},
      {-3, 7, 0},
      // Wider than Excel's widest column, for any digit width.
      {255.7109375, 7, 255},
      {300, 7, 255},
      {1e300, 2, 255},
      {256, 13, 255},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(columnWidthFromStored(c.stored, c.mdw), c.expected) << c.stored;

  EXPECT_DOUBLE_EQ(columnWidthFromBase(8, 7), 8.43);    // 61 -> 64 pixels
  EXPECT_DOUBLE_EQ(columnWidthFromBase(8, 8), 8.38);    // 69 -> 72 pixels
  EXPECT_DOUBLE_EQ(columnWidthFromBase(10, 7), 10.71);  // 75 -> 80 pixels
  EXPECT_DOUBLE_EQ(columnWidthFromBase(255, 7), 255);   // 1790 -> 1792 pixels: 255.29
}

}  // namespace
}  // namespace bq::office::excel
