// The document theme shared by the Word, Excel and PowerPoint object models:
// the colour scheme and font scheme of a theme part (a:theme), the mapping
// of the names documents use for theme colours onto the scheme, and the
// colour rules by which Office turns a theme colour and its modifiers into
// the RGB it renders.
//
//   Theme theme = readTheme(themePart.xml());            // defaults where absent
//   Rgb accent = theme.color(SchemeColor::Accent1);
//   std::string_view latin = theme.minor.latin;           // "Calibri"
//   std::string_view hans = theme.minor.script("Hans");   // "宋体"
//   std::optional<DrawingColor> c =
//       resolveDrawingColor(solidFill.first_child(), theme, ColorMap{});
//
// Colours. All rules work on 8-bit sRGB. The luminance, saturation and hue
// rules (lumMod, lumOff, satMod, hueOff ..., Excel's tint, Word's themeTint
// and themeShade) work in HSL with every component from 0 to 1; DrawingML's
// tint, shade and the red/green/blue modifiers work on linear light (the sRGB
// transfer function undone), as Office renders them: a 25% shade of FF99FF is
// 895089, not 402640. Results are rounded to the nearest byte.
//
// Failures: none. What a theme part lacks or writes wrongly keeps the value
// of the default Office theme (colours) or stays empty (fonts); a modifier
// with a value that is no number is skipped.
//
// Thread safety: all functions are pure; the tables are constant.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/office/opc/xml_handles.h"

namespace bq::office {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
  // 0xRRGGBB.
  uint32_t value() const { return uint32_t{r} << 16 | uint32_t{g} << 8 | b; }
  static Rgb fromValue(uint32_t rrggbb) {
    return Rgb{static_cast<uint8_t>(rrggbb >> 16), static_cast<uint8_t>(rrggbb >> 8),
               static_cast<uint8_t>(rrggbb)};
  }
};

// "3366CC" or, with an alpha byte that is ignored, "FF3366CC"; hexadecimal
// digits in either case. Nothing for other texts ("auto", "", "12345").
std::optional<Rgb> parseRgb(std::string_view hex);

// The twelve colours of a colour scheme, in the scheme's own order.
enum class SchemeColor : uint8_t {
  Dark1,
  Light1,
  Dark2,
  Light2,
  Accent1,
  Accent2,
  Accent3,
  Accent4,
  Accent5,
  Accent6,
  Hyperlink,
  FollowedHyperlink,
};
inline constexpr size_t kSchemeColors = 12;

// The scheme colour a name stands for without any mapping: DrawingML's
// ST_ColorSchemeIndex ("dk1", "lt1", "dk2", "lt2", "accent1".."accent6",
// "hlink", "folHlink") or WordprocessingML's ("dark1", "light1", "dark2",
// "light2", "accent1".., "hyperlink", "followedHyperlink"). Nothing for the
// mapped names (bg1, tx1, background1, text1 ...) and anything else.
std::optional<SchemeColor> schemeColorByName(std::string_view name);

// One of the two font collections of a font scheme (a:majorFont,
// a:minorFont): the typefaces for Latin, East Asian and complex-script text,
// and the typefaces per script (a:font script="Hans" typeface="宋体").
// Empty texts where the theme names none.
struct FontCollection {
  std::string latin;
  std::string eastAsia;
  std::string complexScript;
  std::vector<std::pair<std::string, std::string>> scripts;  // script tag, typeface

  // The typeface for script tag `script` ("Hans", "Jpan", "Arab" ...;
  // exact comparison), "" when the collection has none.
  std::string_view script(std::string_view tag) const;
};

struct Theme {
  std::string name;  // a:theme@name
  std::array<Rgb, kSchemeColors> colors{};
  FontCollection major;  // headings
  FontCollection minor;  // body text

  Rgb color(SchemeColor c) const { return colors[static_cast<size_t>(c)]; }

  // The theme Office 2007 to 2010 applied to new documents, which the
  // applications use for a document that has no theme part: the Office
  // colours (1F497D, EEECE1, 4F81BD ...) and Cambria / Calibri, with the
  // script fonts of that theme (宋体 for Hans).
  static const Theme& officeDefault();
};

// The theme of the theme part whose root element is `root` (a:theme, with
// canonical prefixes). A colour the scheme lacks or writes wrongly keeps its
// officeDefault() value (an a:sysClr counts by its lastClr; a scheme colour
// given by a:scrgbClr, a:hslClr or a:prstClr counts too, with its modifiers);
// fonts come from the theme alone. An empty node gives officeDefault().
Theme readTheme(pugi::xml_node root);

// Which scheme colour each name of a document's colour mapping stands for:
// PresentationML's p:clrMap and p:clrMapOvr (attributes bg1, tx1, bg2, tx2,
// accent1..6, hlink, folHlink with values dk1, lt1 ...) and
// WordprocessingML's w:clrSchemeMapping in the settings (attributes bg1, t1,
// bg2, t2, accent1..6, hyperlink, followedHyperlink with values dark1,
// light1 ...). Without a mapping, background 1 is Light1, text 1 Dark1,
// background 2 Light2, text 2 Dark2 and every other name its own colour.
class ColorMap {
 public:
  ColorMap();
  // The mapping of the attributes of `mapping`; an attribute that is missing
  // or names no scheme colour keeps the default.
  static ColorMap fromAttributes(pugi::xml_node mapping);

  // The scheme colour that `name` refers to: "bg1"/"background1",
  // "tx1"/"text1", "bg2"/"background2", "tx2"/"text2" through the mapping;
  // "accent1".."accent6", "hlink"/"hyperlink", "folHlink"/"followedHyperlink"
  // through the mapping too; the direct names ("dk1", "dark1", "lt1" ...)
  // as themselves. Nothing for "phClr", "none" and anything else.
  std::optional<SchemeColor> resolve(std::string_view name) const;

 private:
  // Indexed by the mapped names: bg1, tx1, bg2, tx2, accent1..6, hlink, folHlink.
  std::array<SchemeColor, 12> map_;
};

// A colour as DrawingML renders it: the colour and its opacity (1 opaque),
// which the modifiers alpha, alphaMod and alphaOff change and nothing else.
struct DrawingColor {
  Rgb rgb;
  double alpha = 1;
  bool operator==(const DrawingColor&) const = default;
};

// The colour of a DrawingML colour element `element`: a:srgbClr, a:scrgbClr,
// a:hslClr, a:sysClr (by lastClr, else the system colour's usual value),
// a:prstClr, or a:schemeClr (through `map` and `theme`; "phClr" is
// `placeholder`), with its modifier children applied in document order.
// Nothing for any other element, an unknown scheme or preset name, a
// placeholder colour without `placeholder`, or a value that cannot be read.
std::optional<DrawingColor> resolveDrawingColor(pugi::xml_node element, const Theme& theme,
                                                const ColorMap& map,
                                                std::optional<Rgb> placeholder = std::nullopt);

// The first colour element among the children of `parent` (a:solidFill,
// a:fgClr, a:clrScheme entries ...); empty if none.
pugi::xml_node firstColorElement(pugi::xml_node parent);

// The modifier children of colour element `element` (a:lumMod, a:tint ...)
// applied to `colour` in document order; unknown children are skipped.
DrawingColor applyColorModifiers(DrawingColor colour, pugi::xml_node element);

// The single colour rules, each as Office applies it.

// Luminance in HSL scaled and moved: L' = clamp(L * mod + off, 0, 1). This
// is DrawingML's lumMod/lumOff, and every luminance rule below is one of it.
Rgb modulateLuminance(Rgb colour, double mod, double off);
// SpreadsheetML's tint (-1..1): a negative tint darkens (L * (1 + tint)), a
// positive one lightens (L * (1 - tint) + tint).
Rgb applyTint(Rgb colour, double tint);
// WordprocessingML's themeTint (0..255, "BF" in the file): L * t/255 + (1 -
// t/255); themeShade: L * s/255. Word applies the tint when both are given.
Rgb applyThemeTint(Rgb colour, uint8_t tint);
Rgb applyThemeShade(Rgb colour, uint8_t shade);
// DrawingML's tint and shade (fractions 0..1 of the input colour), on
// linear light: tint mixes with white, shade with black.
Rgb applyDrawingTint(Rgb colour, double tint);
Rgb applyDrawingShade(Rgb colour, double shade);

}  // namespace bq::office
