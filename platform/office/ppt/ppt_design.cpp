#include "platform/office/ppt/detail/ppt_design.h"

#include <string_view>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/opc/detail/xml_nodes.h"

namespace bq::office::ppt::detail {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// The placeholder types that share a master placeholder: titles, the
// footer-area fields by their own type, and every content type (body, obj,
// subTitle, chart, tbl, pic ...) the body.
std::string_view masterTypeOf(std::string_view type) {
  if (type == "title" || type == "ctrTitle") return "title";
  if (type == "dt" || type == "ftr" || type == "sldNum" || type == "hdr") return type;
  return "body";
}

// The placeholders of shape tree `tree`.
Placeholders placeholdersOf(pugi::xml_node tree) {
  Placeholders out;
  for (pugi::xml_node shape : tree.children())
    if (std::optional<Placeholder> ph = placeholderOf(shape)) out.emplace_back(std::move(*ph), shape);
  return out;
}

// Finds the placeholder among `candidates` that `ph` inherits from: the one
// with the same index, else the first of the same type, else the first of
// the same family (titles with titles, content with content).
pugi::xml_node findPlaceholder(const Placeholders& candidates, const Placeholder& ph) {
  pugi::xml_node sameType, sameFamily;
  for (const auto& [other, shape] : candidates) {
    if (ph.idx && other.idx == ph.idx) return shape;
    if (!sameType && other.type == ph.type) sameType = shape;
    if (!sameFamily && masterTypeOf(other.type) == masterTypeOf(ph.type)) sameFamily = shape;
  }
  return sameType ? sameType : sameFamily;
}

// The a:fillStyleLst (idx 1..999) or a:bgFillStyleLst (idx 1001..) entry of
// a style matrix reference; empty when the theme has none.
pugi::xml_node themeFillStyle(const SlideView& view, uint32_t idx) {
  if (!view.master || idx == 0) return {};
  pugi::xml_node scheme = view.master->themeRoot.child("a:themeElements").child("a:fmtScheme");
  pugi::xml_node list = scheme.child(idx >= 1000 ? "a:bgFillStyleLst" : "a:fillStyleLst");
  uint32_t n = idx >= 1000 ? idx - 1000 : idx;
  for (pugi::xml_node fill : list.children()) {
    if (--n == 0) return fill;
  }
  return {};
}

// The colour that stands for ForeColor of fill element `fill`: the solid
// colour, a gradient's first stop, a pattern's foreground.
std::optional<Rgb> foreColourOf(pugi::xml_node fill, const SlideView& view,
                                std::optional<Rgb> placeholder) {
  const std::string_view name = localName(fill);
  if (name == "solidFill") return view.color(firstColorElement(fill), placeholder);
  if (name == "gradFill")
    return view.color(firstColorElement(fill.child("a:gsLst").child("a:gs")), placeholder);
  if (name == "pattFill") return view.color(firstColorElement(fill.child("a:fgClr")), placeholder);
  return std::nullopt;
}

bool isFillElement(pugi::xml_node e) {
  if (kindOf(e) != Ns::DrawingML) return false;
  const std::string_view name = localName(e);
  return name == "noFill" || name == "solidFill" || name == "gradFill" || name == "blipFill" ||
         name == "pattFill" || name == "grpFill";
}

pugi::xml_node fillElementOf(pugi::xml_node properties) {
  for (pugi::xml_node child : properties.children())
    if (isFillElement(child)) return child;
  return {};
}

// FillFormat of a fill element; nothing for a:grpFill. `placeholder` is the
// colour a style reference gives phClr.
std::optional<FillFormat> fillFromElement(pugi::xml_node fill, const SlideView& view,
                                          std::optional<Rgb> placeholder) {
  FillFormat f;
  if (localName(fill) == "grpFill") return std::nullopt;
  if (localName(fill) == "noFill") {
    if (placeholder) f.foreColorRgb = rgbValue(placeholder->r, placeholder->g, placeholder->b);
    return f;
  }
  std::optional<int32_t> type = fillTypeOf(fill);
  if (!type) return std::nullopt;
  f.visible = pp::kTrue;
  f.type = *type;
  if (std::optional<Rgb> c = foreColourOf(fill, view, placeholder))
    f.foreColorRgb = rgbValue(c->r, c->g, c->b);
  return f;
}

// The fill of a group's own properties, for a child with a:grpFill: the
// nearest enclosing group that has a fill of its own.
FillFormat groupFill(pugi::xml_node shape, const SlideView& view) {
  for (pugi::xml_node g = shape.parent(); is(g, Ns::PresentationML, "grpSp"); g = g.parent()) {
    pugi::xml_node fill = fillElementOf(g.child("p:grpSpPr"));
    if (!fill) continue;
    if (std::optional<FillFormat> f = fillFromElement(fill, view, std::nullopt)) return *f;
  }
  return FillFormat{};
}

}  // namespace

TextStyleKind textStyleOf(const Placeholder& ph) {
  const std::string_view type = masterTypeOf(ph.type);
  if (type == "title") return TextStyleKind::Title;
  if (type == "body") return TextStyleKind::Body;
  return TextStyleKind::Other;
}

std::optional<Placeholder> placeholderOf(pugi::xml_node shape) {
  for (pugi::xml_node nv = shape.first_child(); nv; nv = nv.next_sibling()) {
    if (!localName(nv).starts_with("nv")) continue;
    pugi::xml_node ph = nv.child("p:nvPr").child("p:ph");
    if (!ph) return std::nullopt;
    Placeholder p;
    p.type = ph.attribute("type") ? ph.attribute("type").value() : "obj";
    if (pugi::xml_attribute idx = ph.attribute("idx")) p.idx = idx.as_uint();
    return p;
  }
  return std::nullopt;
}

pugi::xml_node shapePropertiesOf(pugi::xml_node shape) {
  if (pugi::xml_node p = shape.child("p:spPr")) return p;
  return shape.child("p:grpSpPr");
}

pugi::xml_node SlideView::layoutPlaceholder(const Placeholder& ph) const {
  return layout ? findPlaceholder(layout->placeholders, ph) : pugi::xml_node();
}

pugi::xml_node SlideView::masterPlaceholder(const Placeholder& ph) const {
  if (!master) return {};
  Placeholder family = ph;
  family.type = std::string(masterTypeOf(ph.type));
  family.idx.reset();  // the master's indexes are its own
  return findPlaceholder(master->placeholders, family);
}

std::optional<Rgb> SlideView::color(pugi::xml_node e, std::optional<Rgb> placeholder) const {
  std::optional<DrawingColor> c = resolveDrawingColor(e, theme(), colors, placeholder);
  if (!c) return std::nullopt;
  return c->rgb;
}

std::string Designs::designName(const Part& part) { return master(part).theme.name; }

const Master& Designs::master(const Part& part) {
  std::unique_ptr<Master>& slot = masters_[part.name()];
  if (slot) return *slot;
  auto m = std::make_unique<Master>();
  m->part = part;
  m->root = part.xml();
  m->spTree = m->root.child("p:cSld").child("p:spTree");
  m->placeholders = placeholdersOf(m->spTree);
  if (Part theme = part.related(reltype::kTheme)) {
    m->themeRoot = theme.xml();
    m->theme = readTheme(m->themeRoot);
  } else {
    m->theme = Theme::officeDefault();
  }
  m->colors = ColorMap::fromAttributes(m->root.child("p:clrMap"));
  pugi::xml_node styles = m->root.child("p:txStyles");
  m->titleStyle = styles.child("p:titleStyle");
  m->bodyStyle = styles.child("p:bodyStyle");
  m->otherStyle = styles.child("p:otherStyle");
  slot = std::move(m);
  return *slot;
}

const Layout& Designs::layout(const Part& part) {
  std::unique_ptr<Layout>& slot = layouts_[part.name()];
  if (slot) return *slot;
  auto l = std::make_unique<Layout>();
  l->part = part;
  l->root = part.xml();
  l->spTree = l->root.child("p:cSld").child("p:spTree");
  l->placeholders = placeholdersOf(l->spTree);
  pugi::xml_attribute type = l->root.attribute("type");
  l->type = slideLayoutOfType(type ? type.value() : "cust");
  if (Part m = part.related(reltype::kSlideMaster)) l->master = &master(m);
  slot = std::move(l);
  return *slot;
}

SlideView Designs::viewOf(const Part& slide, pugi::xml_node sld) {
  SlideView view;
  view.defaultTextStyle = defaultTextStyle_;
  if (Part l = slide.related(reltype::kSlideLayout)) {
    view.layout = &layout(l);
    view.master = view.layout->master;
  }
  if (view.master) view.colors = view.master->colors;
  for (pugi::xml_node owner : {view.layout ? view.layout->root : pugi::xml_node(), sld}) {
    if (pugi::xml_node over = owner.child("p:clrMapOvr").child("a:overrideClrMapping"))
      view.colors = ColorMap::fromAttributes(over);
  }
  return view;
}

// Shape.Fill. A shape's own fill (p:spPr) counts first: no fill is an
// invisible fill, a:grpFill the group's; then the slide background
// (useBgFill), then the theme fill its style references (idx 0 is no fill;
// phClr is the reference's colour); a placeholder without either takes the
// fill of its layout placeholder, then its master placeholder. A group
// reports each property over its members, mixed where they differ.
// ForeColor of an invisible fill is the style's colour when there is one,
// else white, the colour PowerPoint shows for a fill that was never set.
FillFormat fillOf(pugi::xml_node shape, const std::optional<Placeholder>& ph, const SlideView& view) {
  if (is(shape, Ns::PresentationML, "grpSp")) {
    Combined visible, type;
    std::optional<int32_t> fore;
    for (pugi::xml_node child : shape.children()) {
      const std::string_view name = localName(child);
      if (name == "nvGrpSpPr" || name == "grpSpPr" || name == "extLst") continue;
      const FillFormat f = fillOf(child, placeholderOf(child), view);
      visible.add(f.visible);
      type.add(f.type);
      if (!fore) fore = f.foreColorRgb;
    }
    FillFormat out;
    out.visible = visible.value(out.visible);
    out.type = type.value(out.type);
    if (fore) out.foreColorRgb = *fore;
    return out;
  }

  pugi::xml_node style = shape.child("p:style");
  std::optional<Rgb> styleColour;
  pugi::xml_node fillRef = style.child("a:fillRef");
  if (fillRef) styleColour = view.color(firstColorElement(fillRef));

  if (pugi::xml_node fill = fillElementOf(shapePropertiesOf(shape))) {
    if (localName(fill) == "grpFill") return groupFill(shape, view);
    if (std::optional<FillFormat> f = fillFromElement(fill, view, styleColour)) return *f;
  }
  if (std::string_view(shape.attribute("useBgFill").value()) == "1") {
    FillFormat f;
    f.visible = pp::kTrue;
    f.type = pp::kFillBackground;
    return f;
  }
  if (fillRef) {
    const uint32_t idx = fillRef.attribute("idx").as_uint();
    if (pugi::xml_node themed = themeFillStyle(view, idx))
      if (std::optional<FillFormat> f = fillFromElement(themed, view, styleColour)) return *f;
    FillFormat none;
    if (styleColour) none.foreColorRgb = rgbValue(styleColour->r, styleColour->g, styleColour->b);
    return none;
  }
  if (ph) {
    for (pugi::xml_node inherited : {view.layoutPlaceholder(*ph), view.masterPlaceholder(*ph)}) {
      pugi::xml_node fill = fillElementOf(shapePropertiesOf(inherited));
      if (!fill) continue;
      if (std::optional<FillFormat> f = fillFromElement(fill, view, std::nullopt)) return *f;
    }
  }
  FillFormat none;
  none.foreColorRgb = kWhite;
  return none;
}

}  // namespace bq::office::ppt::detail
