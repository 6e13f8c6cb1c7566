#include "platform/office/ppt/detail/ppt_text.h"

#include <string_view>
#include <vector>

#include "platform/office/opc/detail/xml_nodes.h"

namespace bq::office::ppt::detail {

namespace {

// PowerPoint's size for text whose styles name none (18 points), in
// hundredths of a point.
constexpr int32_t kDefaultSize = 1800;

// One step of the inheritance: character properties (a:defRPr, a:rPr,
// a:endParaRPr) or a style's font reference.
struct Layer {
  pugi::xml_node props;
  pugi::xml_node fontRef;
};

// What the layers say of one character, before theme fonts are resolved.
struct Resolved {
  std::string latin, eastAsia;
  int32_t size = kDefaultSize;
  bool bold = false, italic = false, underline = false, shadow = false;
  pugi::xml_node colour;  // a colour element
  std::optional<Rgb> fontRefColour;
  std::string lang, altLang;
};

bool boolValue(pugi::xml_attribute a) {
  std::string_view v = a.value();
  return v == "1" || v == "true";
}

// The colour element of a text fill (a:solidFill; a gradient's first stop;
// a pattern's foreground); empty for no fill and other elements.
pugi::xml_node textFillColour(pugi::xml_node props) {
  if (pugi::xml_node f = props.child("a:solidFill")) return firstColorElement(f);
  if (pugi::xml_node f = props.child("a:gradFill"))
    return firstColorElement(f.child("a:gsLst").child("a:gs"));
  if (pugi::xml_node f = props.child("a:pattFill")) return firstColorElement(f.child("a:fgClr"));
  return {};
}

void apply(const Layer& layer, const SlideView& view, Resolved& r) {
  if (pugi::xml_node ref = layer.fontRef) {
    const std::string_view idx = ref.attribute("idx").value();
    if (idx == "major" || idx == "minor") {
      const bool major = idx == "major";
      r.latin = major ? "+mj-lt" : "+mn-lt";
      r.eastAsia = major ? "+mj-ea" : "+mn-ea";
    }
    if (pugi::xml_node c = firstColorElement(ref)) {
      r.colour = {};
      r.fontRefColour = view.color(c);
    }
    return;
  }
  pugi::xml_node p = layer.props;
  if (!p) return;
  if (pugi::xml_node latin = p.child("a:latin")) r.latin = latin.attribute("typeface").value();
  if (pugi::xml_node ea = p.child("a:ea")) r.eastAsia = ea.attribute("typeface").value();
  if (pugi::xml_attribute sz = p.attribute("sz")) {
    const int32_t v = sz.as_int();
    if (v > 0) r.size = v;
  }
  if (pugi::xml_attribute b = p.attribute("b")) r.bold = boolValue(b);
  if (pugi::xml_attribute i = p.attribute("i")) r.italic = boolValue(i);
  if (pugi::xml_attribute u = p.attribute("u")) r.underline = underlined(u.value());
  if (pugi::xml_node effects = p.child("a:effectLst")) r.shadow = static_cast<bool>(effects.child("a:outerShdw"));
  if (pugi::xml_node c = textFillColour(p)) {
    r.colour = c;
    r.fontRefColour.reset();
  }
  if (pugi::xml_attribute lang = p.attribute("lang")) r.lang = lang.value();
  if (pugi::xml_attribute alt = p.attribute("altLang")) r.altLang = alt.value();
}

// The ISO 15924 script of the East Asian fonts for language tag `lang`, or
// "" when it is no East Asian language.
std::string_view eastAsianScript(std::string_view lang) {
  if (lang.starts_with("zh")) {
    if (lang.find("TW") != std::string_view::npos || lang.find("HK") != std::string_view::npos ||
        lang.find("MO") != std::string_view::npos || lang.find("Hant") != std::string_view::npos)
      return "Hant";
    return "Hans";
  }
  if (lang.starts_with("ja")) return "Jpan";
  if (lang.starts_with("ko")) return "Hang";
  return "";
}

// A typeface name with theme fonts resolved: "+mj-lt" is the major Latin
// font, "+mn-ea" the minor East Asian font (or, empty in the theme, the
// theme's font for `script`).
std::string typeface(std::string_view name, const Theme& theme, std::string_view script) {
  if (name.size() != 6 || name[0] != '+') return std::string(name);
  const FontCollection* fonts = nullptr;
  if (name.starts_with("+mj-")) fonts = &theme.major;
  else if (name.starts_with("+mn-")) fonts = &theme.minor;
  else return std::string(name);
  const std::string_view kind = name.substr(4);
  if (kind == "lt") return fonts->latin;
  if (kind == "cs") return fonts->complexScript;
  if (kind == "ea") {
    if (!fonts->eastAsia.empty()) return fonts->eastAsia;
    return std::string(fonts->script(script));
  }
  return std::string(name);
}

// The layers of paragraph level `level` (0-based) of a list style
// (a:lstStyle, p:titleStyle, p:defaultTextStyle ...).
void addListStyle(pugi::xml_node style, int32_t level, std::vector<Layer>& out) {
  if (!style) return;
  out.push_back({style.child("a:defPPr").child("a:defRPr"), {}});
  const std::string name = "a:lvl" + std::to_string(level + 1) + "pPr";
  out.push_back({style.child(name.c_str()).child("a:defRPr"), {}});
}

class Chain {
 public:
  Chain(pugi::xml_node shape, const std::optional<Placeholder>& ph, const SlideView& view)
      : shape_(shape), ph_(ph), view_(view) {
    if (ph) {
      masterPh_ = view.masterPlaceholder(*ph);
      layoutPh_ = view.layoutPlaceholder(*ph);
    }
  }

  // The character formatting of run properties `rPr` in paragraph `p`.
  Font fontOf(pugi::xml_node p, pugi::xml_node rPr) const {
    int32_t level = p.child("a:pPr").attribute("lvl").as_int(0);
    if (level < 0 || level > 8) level = 0;
    std::vector<Layer> layers;
    if (ph_) {
      if (view_.master) {
        switch (textStyleOf(*ph_)) {
          case TextStyleKind::Title:
            addListStyle(view_.master->titleStyle, level, layers);
            break;
          case TextStyleKind::Body:
            addListStyle(view_.master->bodyStyle, level, layers);
            break;
          case TextStyleKind::Other:
            addListStyle(view_.master->otherStyle, level, layers);
            break;
        }
      }
      addListStyle(masterPh_.child("p:txBody").child("a:lstStyle"), level, layers);
      addListStyle(layoutPh_.child("p:txBody").child("a:lstStyle"), level, layers);
    } else {
      addListStyle(view_.defaultTextStyle, level, layers);
    }
    if (pugi::xml_node ref = shape_.child("p:style").child("a:fontRef")) layers.push_back({{}, ref});
    addListStyle(shape_.child("p:txBody").child("a:lstStyle"), level, layers);
    layers.push_back({rPr, {}});

    Resolved r;
    for (const Layer& layer : layers) apply(layer, view_, r);

    const Theme& theme = view_.theme();
    std::string_view script = eastAsianScript(r.altLang);
    if (script.empty()) script = eastAsianScript(r.lang);
    if (script.empty()) script = "Hans";
    Font f;
    f.nameAscii = typeface(r.latin.empty() ? "+mn-lt" : r.latin, theme, script);
    f.nameFarEast = typeface(r.eastAsia.empty() ? "+mn-ea" : r.eastAsia, theme, script);
    f.size = static_cast<float>(r.size) / 100.0f;
    f.bold = triState(r.bold);
    f.italic = triState(r.italic);
    f.underline = triState(r.underline);
    f.shadow = triState(r.shadow);
    std::optional<Rgb> colour = r.fontRefColour;
    if (r.colour) colour = view_.color(r.colour);
    if (rPr.child("a:hlinkClick")) {
      // PowerPoint draws every hyperlink in the theme's hyperlink colour,
      // whatever colour the run names.
      if (std::optional<SchemeColor> h = view_.colors.resolve("hlink")) colour = theme.color(*h);
    }
    if (!colour) {
      // Text without a colour anywhere is text 1.
      if (std::optional<SchemeColor> tx = view_.colors.resolve("tx1")) colour = theme.color(*tx);
    }
    if (colour) f.colorRgb = rgbValue(colour->r, colour->g, colour->b);
    return f;
  }

 private:
  pugi::xml_node shape_;
  const std::optional<Placeholder>& ph_;
  const SlideView& view_;
  pugi::xml_node masterPh_, layoutPh_;
};

// The runs of a paragraph that carry characters, with their text: a:r and
// a:fld by their a:t, a:br as VT.
template <typename Fn>
void forEachRun(pugi::xml_node p, Fn&& fn) {
  forEachElement(p, [&](pugi::xml_node e) {
    if (kindOf(e) != Ns::DrawingML) return;
    const std::string_view name = localName(e);
    if (name == "r" || name == "fld") fn(e.child("a:rPr"), std::string_view(e.child("a:t").text().get()));
    else if (name == "br") fn(e.child("a:rPr"), std::string_view("\v"));
  });
}

}  // namespace

std::string plainText(pugi::xml_node txBody) {
  std::string text;
  bool first = true;
  for (pugi::xml_node p : txBody.children("a:p")) {
    if (!first) text += '\r';
    first = false;
    forEachRun(p, [&](pugi::xml_node, std::string_view t) { text += t; });
  }
  return text;
}

TextRange readTextRange(pugi::xml_node shape, const std::optional<Placeholder>& ph,
                        const SlideView& view) {
  TextRange range;
  const Chain chain(shape, ph, view);
  pugi::xml_node body = shape.child("p:txBody");
  range.text = plainText(body);

  bool any = false;
  std::string ascii, farEast;
  bool asciiMixed = false, farEastMixed = false;
  std::optional<float> size;
  bool sizeMixed = false;
  Combined bold, italic, underline, shadow;
  for (pugi::xml_node p : body.children("a:p")) {
    forEachRun(p, [&](pugi::xml_node rPr, std::string_view t) {
      if (t.empty()) return;
      const Font f = chain.fontOf(p, rPr);
      if (!any) {
        any = true;
        ascii = f.nameAscii;
        farEast = f.nameFarEast;
        size = f.size;
        range.font.colorRgb = f.colorRgb;
      } else {
        asciiMixed = asciiMixed || ascii != f.nameAscii;
        farEastMixed = farEastMixed || farEast != f.nameFarEast;
        sizeMixed = sizeMixed || *size != f.size;
      }
      bold.add(f.bold);
      italic.add(f.italic);
      underline.add(f.underline);
      shadow.add(f.shadow);
    });
  }
  if (!any) {
    // No characters: the formatting where typing would begin.
    pugi::xml_node p = body.child("a:p");
    pugi::xml_node rPr = p.child("a:r") ? p.child("a:r").child("a:rPr") : p.child("a:endParaRPr");
    range.font = chain.fontOf(p, rPr);
    return range;
  }
  range.font.nameAscii = asciiMixed ? "" : ascii;
  range.font.nameFarEast = farEastMixed ? "" : farEast;
  range.font.size = sizeMixed ? static_cast<float>(pp::kMixed) : *size;
  range.font.bold = bold.value(pp::kFalse);
  range.font.italic = italic.value(pp::kFalse);
  range.font.underline = underline.value(pp::kFalse);
  range.font.shadow = shadow.value(pp::kFalse);
  return range;
}

}  // namespace bq::office::ppt::detail
