#include "platform/office/theme/theme.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/office/opc/detail/xml_nodes.h"

namespace bq::office {
namespace {

// ---------------------------------------------------------------------------
// Numbers of the theme part.

std::optional<double> number(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// ST_Percentage and its kin: thousandths of a percent in Transitional
// ("60000"), a percentage in Strict ("60%"). As a fraction.
std::optional<double> percentage(std::string_view s) {
  if (!s.empty() && s.back() == '%') {
    std::optional<double> v = number(s.substr(0, s.size() - 1));
    return v ? std::optional<double>(*v / 100) : std::nullopt;
  }
  std::optional<double> v = number(s);
  return v ? std::optional<double>(*v / 100000) : std::nullopt;
}

// ST_Angle: sixty-thousandths of a degree. In degrees.
std::optional<double> angle(std::string_view s) {
  std::optional<double> v = number(s);
  return v ? std::optional<double>(*v / 60000) : std::nullopt;
}

std::string_view val(pugi::xml_node n) { return n.attribute("val").value(); }

// ---------------------------------------------------------------------------
// Colour spaces. Components are doubles from 0 to 1; hue in degrees.

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

uint8_t toByte(double v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0)); }

// The sRGB transfer function and its inverse.
double toLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double fromLinear(double c) {
  return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

struct Hsl {
  double h = 0, s = 0, l = 0;
};

Hsl toHsl(double r, double g, double b) {
  const double max = std::max({r, g, b}), min = std::min({r, g, b});
  Hsl out;
  out.l = (max + min) / 2;
  if (max == min) return out;
  const double d = max - min;
  out.s = out.l > 0.5 ? d / (2 - max - min) : d / (max + min);
  if (max == r)
    out.h = (g - b) / d + (g < b ? 6 : 0);
  else if (max == g)
    out.h = (b - r) / d + 2;
  else
    out.h = (r - g) / d + 4;
  out.h *= 60;
  return out;
}

double hueToChannel(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 1.0 / 2) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

void fromHsl(const Hsl& c, double& r, double& g, double& b) {
  if (c.s == 0) {
    r = g = b = c.l;
    return;
  }
  const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
  const double p = 2 * c.l - q;
  const double h = c.h / 360;
  r = hueToChannel(p, q, h + 1.0 / 3);
  g = hueToChannel(p, q, h);
  b = hueToChannel(p, q, h - 1.0 / 3);
}

// A colour while modifiers work on it, kept in the space of the last
// modifier so that a run of them loses nothing to rounding in between.
class Working {
 public:
  explicit Working(Rgb c) : a_{c.r / 255.0, c.g / 255.0, c.b / 255.0} {}

  // sRGB components.
  double* srgb() {
    to(Space::Srgb);
    return a_;
  }
  // Linear-light components.
  double* linear() {
    to(Space::Linear);
    return a_;
  }
  Hsl& hsl() {
    to(Space::Hsl);
    return hsl_;
  }
  Rgb rgb() {
    to(Space::Srgb);
    return Rgb{toByte(a_[0]), toByte(a_[1]), toByte(a_[2])};
  }

 private:
  enum class Space { Srgb, Linear, Hsl };
  void to(Space target) {
    if (space_ == target) return;
    // Through sRGB.
    if (space_ == Space::Linear) {
      for (double& c : a_) c = fromLinear(clamp01(c));
    } else if (space_ == Space::Hsl) {
      fromHsl(hsl_, a_[0], a_[1], a_[2]);
    }
    space_ = Space::Srgb;
    if (target == Space::Linear) {
      for (double& c : a_) c = toLinear(clamp01(c));
    } else if (target == Space::Hsl) {
      hsl_ = toHsl(a_[0], a_[1], a_[2]);
    }
    space_ = target;
  }

  Space space_ = Space::Srgb;
  double a_[3];
  Hsl hsl_;
};

double wrapHue(double h) {
  h = std::fmod(h, 360);
  return h < 0 ? h + 360 : h;
}

// ---------------------------------------------------------------------------
// Tables.

constexpr std::pair<std::string_view, SchemeColor> kSchemeNames[] = {
    {"dk1", SchemeColor::Dark1},           {"lt1", SchemeColor::Light1},
    {"dk2", SchemeColor::Dark2},           {"lt2", SchemeColor::Light2},
    {"dark1", SchemeColor::Dark1},         {"light1", SchemeColor::Light1},
    {"dark2", SchemeColor::Dark2},         {"light2", SchemeColor::Light2},
    {"accent1", SchemeColor::Accent1},     {"accent2", SchemeColor::Accent2},
    {"accent3", SchemeColor::Accent3},     {"accent4", SchemeColor::Accent4},
    {"accent5", SchemeColor::Accent5},     {"accent6", SchemeColor::Accent6},
    {"hlink", SchemeColor::Hyperlink},     {"folHlink", SchemeColor::FollowedHyperlink},
    {"hyperlink", SchemeColor::Hyperlink}, {"followedHyperlink", SchemeColor::FollowedHyperlink},
};

// The slots of a colour mapping (see ColorMap), with the attribute names of
// PresentationML and WordprocessingML and the default colour of each.
struct MapSlot {
  std::string_view drawingName;  // p:clrMap attribute and schemeClr value
  std::string_view wordName;     // w:clrSchemeMapping attribute
  std::string_view wordValue;    // w:themeColor value
  SchemeColor fallback;
};
constexpr MapSlot kMapSlots[12] = {
    {"bg1", "bg1", "background1", SchemeColor::Light1},
    {"tx1", "t1", "text1", SchemeColor::Dark1},
    {"bg2", "bg2", "background2", SchemeColor::Light2},
    {"tx2", "t2", "text2", SchemeColor::Dark2},
    {"accent1", "accent1", "accent1", SchemeColor::Accent1},
    {"accent2", "accent2", "accent2", SchemeColor::Accent2},
    {"accent3", "accent3", "accent3", SchemeColor::Accent3},
    {"accent4", "accent4", "accent4", SchemeColor::Accent4},
    {"accent5", "accent5", "accent5", SchemeColor::Accent5},
    {"accent6", "accent6", "accent6", SchemeColor::Accent6},
    {"hlink", "hyperlink", "hyperlink", SchemeColor::Hyperlink},
    {"folHlink", "followedHyperlink", "followedHyperlink", SchemeColor::FollowedHyperlink},
};

// The usual values of the Windows system colours that a:sysClr names, for
// an element without lastClr.
constexpr std::pair<std::string_view, uint32_t> kSystemColours[] = {
    {"windowText", 0x000000},
    {"window", 0xFFFFFF},
    {"menu", 0xF0F0F0},
    {"menuText", 0x000000},
    {"menuBar", 0xF0F0F0},
    {"menuHighlight", 0x3399FF},
    {"btnFace", 0xF0F0F0},
    {"btnText", 0x000000},
    {"btnShadow", 0xA0A0A0},
    {"btnHighlight", 0xFFFFFF},
    {"3dDkShadow", 0x696969},
    {"3dLight", 0xE3E3E3},
    {"highlight", 0x3399FF},
    {"highlightText", 0xFFFFFF},
    {"hotLight", 0x0066CC},
    {"grayText", 0x6D6D6D},
    {"infoBk", 0xFFFFE1},
    {"infoText", 0x000000},
    {"captionText", 0x000000},
    {"activeCaption", 0x99B4D1},
    {"inactiveCaption", 0xBFCDDB},
    {"inactiveCaptionText", 0x434E54},
    {"gradientActiveCaption", 0xB9D1EA},
    {"gradientInactiveCaption", 0xD7E4F2},
    {"activeBorder", 0xB4B4B4},
    {"inactiveBorder", 0xF4F7FC},
    {"windowFrame", 0x646464},
    {"scrollBar", 0xC8C8C8},
    {"appWorkspace", 0xABABAB},
    {"background", 0x000000},
};

// DrawingML's preset colours (ST_PresetColorVal): the CSS colour names. The
// standard also spells the dark, light and medium ones with "dk", "lt" and
// "med" ("dkBlue", "ltGray", "medOrchid"); presetColour expands those.
constexpr std::pair<std::string_view, uint32_t> kPresetColours[] = {
    {"aliceBlue", 0xF0F8FF},
    {"antiqueWhite", 0xFAEBD7},
    {"aqua", 0x00FFFF},
    {"aquamarine", 0x7FFFD4},
    {"azure", 0xF0FFFF},
    {"beige", 0xF5F5DC},
    {"bisque", 0xFFE4C4},
    {"black", 0x000000},
    {"blanchedAlmond", 0xFFEBCD},
    {"blue", 0x0000FF},
    {"blueViolet", 0x8A2BE2},
    {"brown", 0xA52A2A},
    {"burlyWood", 0xDEB887},
    {"cadetBlue", 0x5F9EA0},
    {"chartreuse", 0x7FFF00},
    {"chocolate", 0xD2691E},
    {"coral", 0xFF7F50},
    {"cornflowerBlue", 0x6495ED},
    {"cornsilk", 0xFFF8DC},
    {"crimson", 0xDC143C},
    {"cyan", 0x00FFFF},
    {"darkBlue", 0x00008B},
    {"darkCyan", 0x008B8B},
    {"darkGoldenrod", 0xB8860B},
    {"darkGray", 0xA9A9A9},
    {"darkGrey", 0xA9A9A9},
    {"darkGreen", 0x006400},
    {"darkKhaki", 0xBDB76B},
    {"darkMagenta", 0x8B008B},
    {"darkOliveGreen", 0x556B2F},
    {"darkOrange", 0xFF8C00},
    {"darkOrchid", 0x9932CC},
    {"darkRed", 0x8B0000},
    {"darkSalmon", 0xE9967A},
    {"darkSeaGreen", 0x8FBC8F},
    {"darkSlateBlue", 0x483D8B},
    {"darkSlateGray", 0x2F4F4F},
    {"darkSlateGrey", 0x2F4F4F},
    {"darkTurquoise", 0x00CED1},
    {"darkViolet", 0x9400D3},
    {"deepPink", 0xFF1493},
    {"deepSkyBlue", 0x00BFFF},
    {"dimGray", 0x696969},
    {"dimGrey", 0x696969},
    {"dodgerBlue", 0x1E90FF},
    {"firebrick", 0xB22222},
    {"floralWhite", 0xFFFAF0},
    {"forestGreen", 0x228B22},
    {"fuchsia", 0xFF00FF},
    {"gainsboro", 0xDCDCDC},
    {"ghostWhite", 0xF8F8FF},
    {"gold", 0xFFD700},
    {"goldenrod", 0xDAA520},
    {"gray", 0x808080},
    {"grey", 0x808080},
    {"green", 0x008000},
    {"greenYellow", 0xADFF2F},
    {"honeydew", 0xF0FFF0},
    {"hotPink", 0xFF69B4},
    {"indianRed", 0xCD5C5C},
    {"indigo", 0x4B0082},
    {"ivory", 0xFFFFF0},
    {"khaki", 0xF0E68C},
    {"lavender", 0xE6E6FA},
    {"lavenderBlush", 0xFFF0F5},
    {"lawnGreen", 0x7CFC00},
    {"lemonChiffon", 0xFFFACD},
    {"lightBlue", 0xADD8E6},
    {"lightCoral", 0xF08080},
    {"lightCyan", 0xE0FFFF},
    {"lightGoldenrodYellow", 0xFAFAD2},
    {"lightGray", 0xD3D3D3},
    {"lightGrey", 0xD3D3D3},
    {"lightGreen", 0x90EE90},
    {"lightPink", 0xFFB6C1},
    {"lightSalmon", 0xFFA07A},
    {"lightSeaGreen", 0x20B2AA},
    {"lightSkyBlue", 0x87CEFA},
    {"lightSlateGray", 0x778899},
    {"lightSlateGrey", 0x778899},
    {"lightSteelBlue", 0xB0C4DE},
    {"lightYellow", 0xFFFFE0},
    {"lime", 0x00FF00},
    {"limeGreen", 0x32CD32},
    {"linen", 0xFAF0E6},
    {"magenta", 0xFF00FF},
    {"maroon", 0x800000},
    {"mediumAquamarine", 0x66CDAA},
    {"mediumBlue", 0x0000CD},
    {"mediumOrchid", 0xBA55D3},
    {"mediumPurple", 0x9370DB},
    {"mediumSeaGreen", 0x3CB371},
    {"mediumSlateBlue", 0x7B68EE},
    {"mediumSpringGreen", 0x00FA9A},
    {"mediumTurquoise", 0x48D1CC},
    {"mediumVioletRed", 0xC71585},
    {"midnightBlue", 0x191970},
    {"mintCream", 0xF5FFFA},
    {"mistyRose", 0xFFE4E1},
    {"moccasin", 0xFFE4B5},
    {"navajoWhite", 0xFFDEAD},
    {"navy", 0x000080},
    {"oldLace", 0xFDF5E6},
    {"olive", 0x808000},
    {"oliveDrab", 0x6B8E23},
    {"orange", 0xFFA500},
    {"orangeRed", 0xFF4500},
    {"orchid", 0xDA70D6},
    {"paleGoldenrod", 0xEEE8AA},
    {"paleGreen", 0x98FB98},
    {"paleTurquoise", 0xAFEEEE},
    {"paleVioletRed", 0xDB7093},
    {"papayaWhip", 0xFFEFD5},
    {"peachPuff", 0xFFDAB9},
    {"peru", 0xCD853F},
    {"pink", 0xFFC0CB},
    {"plum", 0xDDA0DD},
    {"powderBlue", 0xB0E0E6},
    {"purple", 0x800080},
    {"red", 0xFF0000},
    {"rosyBrown", 0xBC8F8F},
    {"royalBlue", 0x4169E1},
    {"saddleBrown", 0x8B4513},
    {"salmon", 0xFA8072},
    {"sandyBrown", 0xF4A460},
    {"seaGreen", 0x2E8B57},
    {"seaShell", 0xFFF5EE},
    {"sienna", 0xA0522D},
    {"silver", 0xC0C0C0},
    {"skyBlue", 0x87CEEB},
    {"slateBlue", 0x6A5ACD},
    {"slateGray", 0x708090},
    {"slateGrey", 0x708090},
    {"snow", 0xFFFAFA},
    {"springGreen", 0x00FF7F},
    {"steelBlue", 0x4682B4},
    {"tan", 0xD2B48C},
    {"teal", 0x008080},
    {"thistle", 0xD8BFD8},
    {"tomato", 0xFF6347},
    {"turquoise", 0x40E0D0},
    {"violet", 0xEE82EE},
    {"wheat", 0xF5DEB3},
    {"white", 0xFFFFFF},
    {"whiteSmoke", 0xF5F5F5},
    {"yellow", 0xFFFF00},
    {"yellowGreen", 0x9ACD32},
};

template <size_t N>
std::optional<uint32_t> lookup(const std::pair<std::string_view, uint32_t> (&table)[N],
                               std::string_view name) {
  for (const auto& [n, v] : table)
    if (n == name) return v;
  return std::nullopt;
}

std::optional<Rgb> presetColour(std::string_view name) {
  std::optional<uint32_t> v = lookup(kPresetColours, name);
  if (!v) {
    for (auto [abbrev, full] : {std::pair<std::string_view, std::string_view>{"dk", "dark"},
                                {"lt", "light"},
                                {"med", "medium"}}) {
      if (name.substr(0, abbrev.size()) != abbrev) continue;
      std::string expanded(full);
      expanded += name.substr(abbrev.size());
      v = lookup(kPresetColours, expanded);
      break;
    }
  }
  return v ? std::optional<Rgb>(Rgb::fromValue(*v)) : std::nullopt;
}

bool isColourElement(pugi::xml_node n) {
  if (kindOf(n) != Ns::DrawingML) return false;
  const std::string_view local = localName(n);
  return local == "srgbClr" || local == "scrgbClr" || local == "hslClr" || local == "sysClr" ||
         local == "prstClr" || local == "schemeClr";
}

void tintLinear(Working& w, double tint) {
  const double t = clamp01(tint);
  double* c = w.linear();
  for (int i = 0; i < 3; ++i) c[i] = c[i] * t + (1 - t);
}

void shadeLinear(Working& w, double shade) {
  const double s = clamp01(shade);
  double* c = w.linear();
  for (int i = 0; i < 3; ++i) c[i] *= s;
}

// The modifiers whose value is a percentage `p` (as a fraction).
void applyPercentModifier(Working& w, double& alpha, std::string_view name, double p) {
  if (name == "hueMod") {
    w.hsl().h = wrapHue(w.hsl().h * p);
  } else if (name == "sat") {
    w.hsl().s = clamp01(p);
  } else if (name == "satMod") {
    w.hsl().s = clamp01(w.hsl().s * p);
  } else if (name == "satOff") {
    w.hsl().s = clamp01(w.hsl().s + p);
  } else if (name == "lum") {
    w.hsl().l = clamp01(p);
  } else if (name == "lumMod") {
    w.hsl().l = clamp01(w.hsl().l * p);
  } else if (name == "lumOff") {
    w.hsl().l = clamp01(w.hsl().l + p);
  } else if (name == "tint") {
    tintLinear(w, p);
  } else if (name == "shade") {
    shadeLinear(w, p);
  } else if (name == "alpha") {
    alpha = clamp01(p);
  } else if (name == "alphaMod") {
    alpha = clamp01(alpha * p);
  } else if (name == "alphaOff") {
    alpha = clamp01(alpha + p);
  } else {
    // red, redMod, redOff and the same for green and blue.
    static constexpr std::string_view kChannels[3] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i) {
      if (name.substr(0, kChannels[i].size()) != kChannels[i]) continue;
      const std::string_view kind = name.substr(kChannels[i].size());
      double& c = w.linear()[i];
      if (kind.empty())
        c = clamp01(p);
      else if (kind == "Mod")
        c = clamp01(c * p);
      else if (kind == "Off")
        c = clamp01(c + p);
      return;
    }
  }
}

FontCollection readFonts(pugi::xml_node collection) {
  FontCollection f;
  f.latin = collection.child("a:latin").attribute("typeface").value();
  f.eastAsia = collection.child("a:ea").attribute("typeface").value();
  f.complexScript = collection.child("a:cs").attribute("typeface").value();
  for (pugi::xml_node font : collection.children("a:font"))
    f.scripts.emplace_back(font.attribute("script").value(), font.attribute("typeface").value());
  return f;
}

}  // namespace

// ---------------------------------------------------------------------------

std::optional<Rgb> parseRgb(std::string_view hex) {
  if (hex.size() == 8) hex.remove_prefix(2);  // the alpha byte
  if (hex.size() != 6) return std::nullopt;
  uint32_t value = 0;
  for (char c : hex) {
    uint32_t digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<uint32_t>(c - 'a' + 10);
    else
      return std::nullopt;
    value = value * 16 + digit;
  }
  return Rgb::fromValue(value);
}

std::optional<SchemeColor> schemeColorByName(std::string_view name) {
  for (const auto& [n, c] : kSchemeNames)
    if (n == name) return c;
  return std::nullopt;
}

std::string_view FontCollection::script(std::string_view tag) const {
  for (const auto& [s, typeface] : scripts)
    if (s == tag) return typeface;
  return {};
}

const Theme& Theme::officeDefault() {
  static const Theme theme = [] {
    Theme t;
    t.name = "Office Theme";
    static constexpr uint32_t kColours[kSchemeColors] = {
        0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1, 0x4F81BD, 0xC0504D,
        0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080,
    };
    for (size_t i = 0; i < kSchemeColors; ++i) t.colors[i] = Rgb::fromValue(kColours[i]);
    t.major.latin = "Cambria";
    t.minor.latin = "Calibri";
    t.major.scripts = {
        {"Jpan", "ＭＳ ゴシック"}, {"Hang", "맑은 고딕"}, {"Hans", "宋体"}, {"Hant", "新細明體"}};
    t.minor.scripts = {
        {"Jpan", "ＭＳ 明朝"}, {"Hang", "맑은 고딕"}, {"Hans", "宋体"}, {"Hant", "新細明體"}};
    return t;
  }();
  return theme;
}

Theme readTheme(pugi::xml_node root) {
  Theme theme = Theme::officeDefault();
  if (!root) return theme;
  theme.name = root.attribute("name").value();
  pugi::xml_node elements = root.child("a:themeElements");
  pugi::xml_node scheme = elements.child("a:clrScheme");
  static constexpr std::string_view kEntries[kSchemeColors] = {
      "dk1",     "lt1",     "dk2",     "lt2",     "accent1", "accent2",
      "accent3", "accent4", "accent5", "accent6", "hlink",   "folHlink",
  };
  // Scheme colours cannot refer to the scheme: a schemeClr entry resolves
  // against the defaults, as if the scheme were still being built.
  const Theme& defaults = Theme::officeDefault();
  for (size_t i = 0; i < kSchemeColors; ++i) {
    pugi::xml_node entry = scheme.child(("a:" + std::string(kEntries[i])).c_str());
    if (std::optional<DrawingColor> c =
            resolveDrawingColor(firstColorElement(entry), defaults, ColorMap{}))
      theme.colors[i] = c->rgb;
  }
  pugi::xml_node fonts = elements.child("a:fontScheme");
  theme.major = readFonts(fonts.child("a:majorFont"));
  theme.minor = readFonts(fonts.child("a:minorFont"));
  return theme;
}

ColorMap::ColorMap() {
  for (size_t i = 0; i < map_.size(); ++i) map_[i] = kMapSlots[i].fallback;
}

ColorMap ColorMap::fromAttributes(pugi::xml_node mapping) {
  ColorMap m;
  for (pugi::xml_attribute a : mapping.attributes()) {
    const std::string_view name = localName(a);
    for (size_t i = 0; i < m.map_.size(); ++i) {
      if (name != kMapSlots[i].drawingName && name != kMapSlots[i].wordName) continue;
      if (std::optional<SchemeColor> c = schemeColorByName(a.value())) m.map_[i] = *c;
      break;
    }
  }
  return m;
}

std::optional<SchemeColor> ColorMap::resolve(std::string_view name) const {
  for (size_t i = 0; i < map_.size(); ++i)
    if (name == kMapSlots[i].drawingName || name == kMapSlots[i].wordValue) return map_[i];
  return schemeColorByName(name);
}

pugi::xml_node firstColorElement(pugi::xml_node parent) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && isColourElement(child)) return child;
  return {};
}

std::optional<DrawingColor> resolveDrawingColor(pugi::xml_node element, const Theme& theme,
                                                const ColorMap& map,
                                                std::optional<Rgb> placeholder) {
  if (!isColourElement(element)) return std::nullopt;
  const std::string_view kind = localName(element);
  std::optional<Rgb> base;
  if (kind == "srgbClr") {
    base = parseRgb(val(element));
  } else if (kind == "sysClr") {
    base = parseRgb(element.attribute("lastClr").value());
    if (!base)
      if (std::optional<uint32_t> v = lookup(kSystemColours, val(element)))
        base = Rgb::fromValue(*v);
  } else if (kind == "prstClr") {
    base = presetColour(val(element));
  } else if (kind == "schemeClr") {
    if (val(element) == "phClr")
      base = placeholder;
    else if (std::optional<SchemeColor> c = map.resolve(val(element)))
      base = theme.color(*c);
  } else if (kind == "scrgbClr") {
    // Linear-light percentages.
    std::optional<double> r = percentage(element.attribute("r").value());
    std::optional<double> g = percentage(element.attribute("g").value());
    std::optional<double> b = percentage(element.attribute("b").value());
    if (r && g && b)
      base = Rgb{toByte(fromLinear(clamp01(*r))), toByte(fromLinear(clamp01(*g))),
                 toByte(fromLinear(clamp01(*b)))};
  } else {  // hslClr
    std::optional<double> h = angle(element.attribute("hue").value());
    std::optional<double> s = percentage(element.attribute("sat").value());
    std::optional<double> l = percentage(element.attribute("lum").value());
    if (h && s && l) {
      double r, g, b;
      fromHsl(Hsl{wrapHue(*h), clamp01(*s), clamp01(*l)}, r, g, b);
      base = Rgb{toByte(r), toByte(g), toByte(b)};
    }
  }
  if (!base) return std::nullopt;
  return applyColorModifiers(DrawingColor{*base, 1}, element);
}

// The modifiers of DrawingML colours (EG_ColorTransform), in the order the
// element lists them. Office renders the luminance, saturation and hue ones
// in HSL, tint, shade and the channel ones on linear light, inv on the sRGB
// channels, and gray as the luminance of linear light (Rec. 709 weights).
DrawingColor applyColorModifiers(DrawingColor colour, pugi::xml_node element) {
  Working w(colour.rgb);
  double alpha = colour.alpha;
  for (pugi::xml_node m = element.first_child(); m; m = m.next_sibling()) {
    if (m.type() != pugi::node_element || kindOf(m) != Ns::DrawingML) continue;
    const std::string_view name = localName(m);
    const std::string_view value = val(m);
    if (name == "comp") {
      w.hsl().h = wrapHue(w.hsl().h + 180);
    } else if (name == "inv") {
      double* c = w.srgb();
      for (int i = 0; i < 3; ++i) c[i] = 1 - c[i];
    } else if (name == "gray") {
      double* c = w.linear();
      c[0] = c[1] = c[2] = 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    } else if (name == "gamma" || name == "invGamma") {
      double* c = w.srgb();
      for (int i = 0; i < 3; ++i) c[i] = name == "gamma" ? toLinear(c[i]) : fromLinear(c[i]);
    } else if (name == "hue" || name == "hueOff") {
      if (std::optional<double> deg = angle(value))
        w.hsl().h = wrapHue(name == "hue" ? *deg : w.hsl().h + *deg);
    } else if (std::optional<double> p = percentage(value)) {
      applyPercentModifier(w, alpha, name, *p);
    }
  }
  return DrawingColor{w.rgb(), alpha};
}

Rgb modulateLuminance(Rgb colour, double mod, double off) {
  if (mod == 1 && off == 0) return colour;
  Working w(colour);
  Hsl& h = w.hsl();
  h.l = clamp01(h.l * mod + off);
  return w.rgb();
}

// The tint of SpreadsheetML colours, as Excel renders tinted theme and
// indexed colours.
Rgb applyTint(Rgb colour, double tint) {
  if (tint == 0 || !std::isfinite(tint)) return colour;
  tint = std::clamp(tint, -1.0, 1.0);
  return tint < 0 ? modulateLuminance(colour, 1 + tint, 0)
                  : modulateLuminance(colour, 1 - tint, tint);
}

// Word's themeTint and themeShade on a theme colour (the file also holds the
// RGB Word computed, which Word itself recomputes from the theme).
Rgb applyThemeTint(Rgb colour, uint8_t tint) {
  const double t = tint / 255.0;
  return modulateLuminance(colour, t, 1 - t);
}

Rgb applyThemeShade(Rgb colour, uint8_t shade) {
  return modulateLuminance(colour, shade / 255.0, 0);
}

Rgb applyDrawingTint(Rgb colour, double tint) {
  Working w(colour);
  tintLinear(w, tint);
  return w.rgb();
}

Rgb applyDrawingShade(Rgb colour, double shade) {
  Working w(colour);
  shadeLinear(w, shade);
  return w.rgb();
}

}  // namespace bq::office
