// The design a slide is drawn with, inside the PowerPoint object model: its
// slide layout, the layout's slide master, the master's theme and the colour
// mapping in force, and what a slide's shapes inherit from them (the
// placeholders of the layout and master, the master's text styles, the
// presentation's default text style). Fills are resolved here too.
//
// Masters and layouts are read once per presentation and shared by the
// slides that use them.
//
// Thread safety: belongs to its presentation's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "platform/office/opc/package.h"
#include "platform/office/ppt/ppt_values.h"
#include "platform/office/theme/theme.h"

namespace bq::office::ppt::detail {

// A placeholder's p:ph: its type (absent: "obj") and index.
struct Placeholder {
  std::string type;
  std::optional<uint32_t> idx;
};

// Which of the master's text styles a placeholder's text starts from.
enum class TextStyleKind { Title, Body, Other };
TextStyleKind textStyleOf(const Placeholder& ph);

// The placeholders of a layout or master shape tree, in order.
using Placeholders = std::vector<std::pair<Placeholder, pugi::xml_node>>;

struct Master {
  Part part;
  pugi::xml_node root;
  Placeholders placeholders;
  Theme theme;
  pugi::xml_node themeRoot;  // a:theme, for its fill styles; empty without a theme part
  ColorMap colors;
  pugi::xml_node spTree;
  pugi::xml_node titleStyle, bodyStyle, otherStyle;
};

struct Layout {
  Part part;
  pugi::xml_node root;
  const Master* master = nullptr;
  int32_t type = pp::kLayoutCustom;
  pugi::xml_node spTree;
  Placeholders placeholders;
};

// What one slide is drawn with.
struct SlideView {
  const Layout* layout = nullptr;  // null for a slide without a layout
  const Master* master = nullptr;  // null without a master
  ColorMap colors;                 // the master's mapping, or the slide's or layout's override
  pugi::xml_node defaultTextStyle;  // p:presentation's p:defaultTextStyle

  const Theme& theme() const { return master ? master->theme : Theme::officeDefault(); }
  // The placeholder shape of the layout, and of the master, that slide
  // placeholder `ph` inherits from; empty when there is none.
  pugi::xml_node layoutPlaceholder(const Placeholder& ph) const;
  pugi::xml_node masterPlaceholder(const Placeholder& ph) const;
  // The colour of DrawingML colour element `e` (phClr is `placeholder`).
  std::optional<Rgb> color(pugi::xml_node e, std::optional<Rgb> placeholder = std::nullopt) const;
};

// The masters and layouts of one presentation.
class Designs {
 public:
  void setDefaultTextStyle(pugi::xml_node style) { defaultTextStyle_ = style; }

  // The design name of the slide master part `master`: its theme's name.
  std::string designName(const Part& master);
  // The view of the slide part `slide` (whose root is `sld`). Throws
  // AutomationError when the layout, master or theme part is damaged.
  SlideView viewOf(const Part& slide, pugi::xml_node sld);

 private:
  const Master& master(const Part& part);
  const Layout& layout(const Part& part);

  pugi::xml_node defaultTextStyle_;
  std::map<std::string, std::unique_ptr<Master>> masters_;
  std::map<std::string, std::unique_ptr<Layout>> layouts_;
};

// The p:ph of a shape element (p:sp, p:pic ...), if it is a placeholder.
std::optional<Placeholder> placeholderOf(pugi::xml_node shape);
// The shape properties (p:spPr, p:grpSpPr) of a shape element.
pugi::xml_node shapePropertiesOf(pugi::xml_node shape);

// Shape.Fill of shape element `shape` (placeholder `ph`, if it is one)
// drawn with `view` (see ppt.cpp for what each kind of shape reports).
FillFormat fillOf(pugi::xml_node shape, const std::optional<Placeholder>& ph, const SlideView& view);

}  // namespace bq::office::ppt::detail
