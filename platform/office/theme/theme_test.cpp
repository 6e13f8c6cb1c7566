#include "platform/office/theme/theme.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/office/opc/detail/xml_tree_testing.h"

namespace bq::office {
namespace {

using testing::parseWithBudget;

const std::string kA = "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";

// A parsed fragment, kept alive with its root element.
struct Fragment {
  XmlParse parse;
  pugi::xml_node root() const { return parse.tree->document.document_element(); }
};

Fragment parse(const std::string& xml) {
  Fragment f{parseWithBudget(xml)};
  EXPECT_TRUE(f.parse.tree) << f.parse.error;
  return f;
}

// The colour of `xml`, one colour element with the a: namespace declared.
std::optional<DrawingColor> colourOf(const std::string& xml,
                                     const Theme& theme = Theme::officeDefault(),
                                     const ColorMap& map = ColorMap{},
                                     std::optional<Rgb> placeholder = std::nullopt) {
  std::string withNs = xml;
  withNs.insert(withNs.find_first_of(" />"), " " + kA);
  Fragment f = parse(withNs);
  return resolveDrawingColor(f.root(), theme, map, placeholder);
}

std::string hex(Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06X", c.value());
  return buf;
}

TEST(ThemeTest, ParsesHexColours) {
  EXPECT_EQ(parseRgb("C0504D"), Rgb::fromValue(0xC0504D));
  EXPECT_EQ(parseRgb("ff3366cc"), Rgb::fromValue(0x3366CC));  // alpha byte ignored
  EXPECT_EQ(parseRgb("aBcDeF"), Rgb::fromValue(0xABCDEF));
  for (const char* bad : {"", "auto", "12345", "1234567", "GG0000", " 123456", "123456789"})
    EXPECT_FALSE(parseRgb(bad).has_value()) << bad;
}

TEST(ThemeTest, ReadsColourAndFontSchemes) {
  Fragment f = parse("<a:theme " + kA + R"( name="Exam"><a:themeElements>
<a:clrScheme name="x">
 <a:dk1><a:sysClr val="windowText" lastClr="101010"/></a:dk1>
 <a:lt1><a:sysClr val="window"/></a:lt1>
 <a:dk2><a:srgbClr val="44546A"/></a:dk2>
 <a:accent1><a:srgbClr val="4472C4"><a:lumMod val="50000"/></a:srgbClr></a:accent1>
 <a:accent2><a:srgbClr val="nonsense"/></a:accent2>
 <a:hlink><a:prstClr val="dkBlue"/></a:hlink>
</a:clrScheme>
<a:fontScheme name="Office">
 <a:majorFont><a:latin typeface="Calibri Light"/><a:ea typeface=""/><a:cs typeface=""/>
  <a:font script="Jpan" typeface="游ゴシック Light"/><a:font script="Hans" typeface="等线 Light"/></a:majorFont>
 <a:minorFont><a:latin typeface="Calibri"/><a:ea typeface="SimSun"/><a:cs typeface="Arial"/>
  <a:font script="Hans" typeface="等线"/></a:minorFont>
</a:fontScheme></a:themeElements></a:theme>)");
  const Theme theme = readTheme(f.root());
  EXPECT_EQ(theme.name, "Exam");
  const Theme& office = Theme::officeDefault();
  EXPECT_EQ(theme.color(SchemeColor::Dark1), Rgb::fromValue(0x101010));   // lastClr
  EXPECT_EQ(theme.color(SchemeColor::Light1), Rgb::fromValue(0xFFFFFF));  // the system colour
  EXPECT_EQ(theme.color(SchemeColor::Dark2), Rgb::fromValue(0x44546A));
  EXPECT_EQ(hex(theme.color(SchemeColor::Accent1)), "203864");
  // Missing or unreadable entries keep the default theme's colour.
  EXPECT_EQ(theme.color(SchemeColor::Accent2), office.color(SchemeColor::Accent2));
  EXPECT_EQ(theme.color(SchemeColor::Light2), office.color(SchemeColor::Light2));
  EXPECT_EQ(theme.color(SchemeColor::Hyperlink), Rgb::fromValue(0x00008B));

  EXPECT_EQ(theme.major.latin, "Calibri Light");
  EXPECT_EQ(theme.major.eastAsia, "");
  EXPECT_EQ(theme.major.script("Hans"), "等线 Light");
  EXPECT_EQ(theme.major.script("Hant"), "");
  EXPECT_EQ(theme.minor.latin, "Calibri");
  EXPECT_EQ(theme.minor.eastAsia, "SimSun");
  EXPECT_EQ(theme.minor.complexScript, "Arial");
  EXPECT_EQ(theme.minor.script("Hans"), "等线");

  // No theme part: the Office theme.
  const Theme none = readTheme({});
  EXPECT_EQ(none.colors, office.colors);
  EXPECT_EQ(none.minor.latin, "Calibri");
  EXPECT_EQ(none.major.script("Hans"), "宋体");
}

TEST(ThemeTest, ColourMappingsOfPresentationsAndDocuments) {
  const ColorMap plain;
  EXPECT_EQ(plain.resolve("bg1"), SchemeColor::Light1);
  EXPECT_EQ(plain.resolve("text1"), SchemeColor::Dark1);
  EXPECT_EQ(plain.resolve("background2"), SchemeColor::Light2);
  EXPECT_EQ(plain.resolve("tx2"), SchemeColor::Dark2);
  EXPECT_EQ(plain.resolve("dk1"), SchemeColor::Dark1);
  EXPECT_EQ(plain.resolve("light1"), SchemeColor::Light1);
  EXPECT_EQ(plain.resolve("followedHyperlink"), SchemeColor::FollowedHyperlink);
  EXPECT_EQ(plain.resolve("folHlink"), SchemeColor::FollowedHyperlink);
  EXPECT_FALSE(plain.resolve("phClr").has_value());
  EXPECT_FALSE(plain.resolve("none").has_value());

  // A dark presentation master: background 1 is the dark colour.
  Fragment p = parse(
      R"(<p:clrMap xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" bg1="dk1" tx1="lt1" bg2="dk2" tx2="lt2" accent1="accent2" hlink="nonsense"/>)");
  const ColorMap dark = ColorMap::fromAttributes(p.root());
  EXPECT_EQ(dark.resolve("bg1"), SchemeColor::Dark1);
  EXPECT_EQ(dark.resolve("tx1"), SchemeColor::Light1);
  EXPECT_EQ(dark.resolve("accent1"), SchemeColor::Accent2);
  EXPECT_EQ(dark.resolve("hlink"), SchemeColor::Hyperlink);  // unreadable: default
  EXPECT_EQ(dark.resolve("dk1"), SchemeColor::Dark1);        // direct names stay

  // Word's settings spell the same with its own names.
  Fragment w = parse(
      R"(<w:clrSchemeMapping xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" w:bg1="dark1" w:t1="light1" w:hyperlink="accent3"/>)");
  const ColorMap word = ColorMap::fromAttributes(w.root());
  EXPECT_EQ(word.resolve("background1"), SchemeColor::Dark1);
  EXPECT_EQ(word.resolve("text1"), SchemeColor::Light1);
  EXPECT_EQ(word.resolve("hyperlink"), SchemeColor::Accent3);
  EXPECT_EQ(word.resolve("text2"), SchemeColor::Dark2);
}

TEST(ThemeTest, WordThemeTintAndShade) {
  // Word 2007's palette on the Office theme: "Accent 1, lighter 40%" is
  // accent1 4F81BD with themeTint 99, which Word writes as 95B3D7.
  EXPECT_EQ(hex(applyThemeTint(Rgb::fromValue(0x4F81BD), 0x99)), "95B3D7");
  // The luminance rule: L * t + (1 - t), L * s, in HSL.
  EXPECT_EQ(applyThemeTint(Rgb::fromValue(0x4F81BD), 0x33),
            modulateLuminance(Rgb::fromValue(0x4F81BD), 0x33 / 255.0, 1 - 0x33 / 255.0));
  EXPECT_EQ(applyThemeShade(Rgb::fromValue(0xC0504D), 0xBF),
            modulateLuminance(Rgb::fromValue(0xC0504D), 0xBF / 255.0, 0));
  EXPECT_EQ(hex(applyThemeShade(Rgb::fromValue(0xFFFFFF), 0xD9)), "D9D9D9");
  EXPECT_EQ(hex(applyThemeTint(Rgb::fromValue(0x000000), 0x80)), "7F7F7F");
  // No change at FF; white and black at 00.
  EXPECT_EQ(applyThemeTint(Rgb::fromValue(0x4F81BD), 0xFF), Rgb::fromValue(0x4F81BD));
  EXPECT_EQ(applyThemeShade(Rgb::fromValue(0x4F81BD), 0xFF), Rgb::fromValue(0x4F81BD));
  EXPECT_EQ(applyThemeTint(Rgb::fromValue(0x4F81BD), 0x00), Rgb::fromValue(0xFFFFFF));
  EXPECT_EQ(applyThemeShade(Rgb::fromValue(0x4F81BD), 0x00), Rgb::fromValue(0x000000));
}

TEST(ThemeTest, ExcelTintIsTheLuminanceRule) {
  const Rgb c = Rgb::fromValue(0x4F81BD);
  EXPECT_EQ(applyTint(c, 0), c);
  EXPECT_EQ(applyTint(c, -0.5), modulateLuminance(c, 0.5, 0));
  EXPECT_EQ(applyTint(c, 0.4), modulateLuminance(c, 0.6, 0.4));
  EXPECT_EQ(applyTint(c, -1), Rgb::fromValue(0x000000));
  EXPECT_EQ(applyTint(c, 7), Rgb::fromValue(0xFFFFFF));  // clamped to 1
}

TEST(ThemeTest, DrawingColourModifiers) {
  struct Case {
    const char* xml;
    const char* rgb;
    double alpha = 1;
  } cases[] = {
      // Shade and tint mix on linear light: PowerPoint's 25% shade of FF99FF.
      {R"(<a:srgbClr val="FF99FF"><a:shade val="25000"/></a:srgbClr>)", "895089"},
      {R"(<a:srgbClr val="000000"><a:tint val="50000"/></a:srgbClr>)", "BCBCBC"},
      {R"(<a:srgbClr val="FF99FF"><a:shade val="25%"/></a:srgbClr>)", "895089"},  // Strict
      // Luminance in HSL: "Accent 1, lighter 40%" of PowerPoint.
      {R"(<a:srgbClr val="4F81BD"><a:lumMod val="60000"/><a:lumOff val="40000"/></a:srgbClr>)",
       "95B3D7"},
      {R"(<a:srgbClr val="4F81BD"><a:lumMod val="50000"/></a:srgbClr>)", "254061"},
      // In document order: the offset after the modulation, or before it.
      {R"(<a:srgbClr val="808080"><a:lumOff val="10000"/><a:lumMod val="50000"/></a:srgbClr>)",
       "4D4D4D"},
      {R"(<a:srgbClr val="808080"><a:lumMod val="50000"/><a:lumOff val="10000"/></a:srgbClr>)",
       "5A5A5A"},
      {R"(<a:srgbClr val="FF0000"><a:comp/></a:srgbClr>)", "00FFFF"},
      {R"(<a:srgbClr val="FF8000"><a:inv/></a:srgbClr>)", "007FFF"},
      {R"(<a:srgbClr val="FF0000"><a:hueOff val="7200000"/></a:srgbClr>)", "00FF00"},
      {R"(<a:srgbClr val="FF0000"><a:hueMod val="200000"/><a:hueOff val="3600000"/></a:srgbClr>)",
       "FFFF00"},
      {R"(<a:srgbClr val="C0504D"><a:satMod val="0"/></a:srgbClr>)", "878787"},
      // A grey has hue 0: saturated, it turns red.
      {R"(<a:srgbClr val="808080"><a:satOff val="100000"/></a:srgbClr>)", "FF0101"},
      {R"(<a:srgbClr val="FF0000"><a:gray/></a:srgbClr>)", "7F7F7F"},
      {R"(<a:srgbClr val="FF0000"><a:redMod val="0"/><a:greenOff val="100000"/></a:srgbClr>)",
       "00FF00"},
      // Opacity apart from the colour.
      {R"(<a:srgbClr val="123456"><a:alpha val="50000"/><a:alphaMod val="50000"/></a:srgbClr>)",
       "123456", 0.25},
      // Unknown and unreadable modifiers are skipped.
      {R"(<a:srgbClr val="123456"><a:shimmer val="1"/><a:lumMod val="x"/></a:srgbClr>)", "123456"},
      // The other colour models.
      {R"(<a:scrgbClr r="100000" g="0" b="21586"/>)", "FF0080"},
      {R"(<a:hslClr hue="14400000" sat="100000" lum="50000"/>)", "0000FF"},
      {R"(<a:prstClr val="medOrchid"/>)", "BA55D3"},
      {R"(<a:prstClr val="ltGoldenrodYellow"/>)", "FAFAD2"},
      {R"(<a:sysClr val="highlight"/>)", "3399FF"},
      {R"(<a:schemeClr val="accent1"><a:lumMod val="75000"/></a:schemeClr>)", "376092"},
      {R"(<a:schemeClr val="tx2"/>)", "1F497D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    std::optional<DrawingColor> got = colourOf(c.xml);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(hex(got->rgb), c.rgb);
    EXPECT_DOUBLE_EQ(got->alpha, c.alpha);
  }
}

TEST(ThemeTest, ColoursThatCannotBeResolved) {
  for (const char* xml :
       {R"(<a:srgbClr val="auto"/>)", R"(<a:prstClr val="octarine"/>)",
        R"(<a:schemeClr val="phClr"/>)", R"(<a:schemeClr val="none"/>)",
        R"(<a:sysClr val="nothingLikeIt"/>)", R"(<a:hslClr hue="1"/>)", R"(<a:solidFill/>)"}) {
    SCOPED_TRACE(xml);
    EXPECT_FALSE(colourOf(xml).has_value());
  }
  // The placeholder colour of a style matrix, with the modifiers applied to it.
  std::optional<DrawingColor> ph =
      colourOf(R"(<a:schemeClr val="phClr"><a:inv/></a:schemeClr>)", Theme::officeDefault(),
               ColorMap{}, Rgb::fromValue(0x00FF00));
  ASSERT_TRUE(ph.has_value());
  EXPECT_EQ(hex(ph->rgb), "FF00FF");
}

}  // namespace
}  // namespace bq::office
