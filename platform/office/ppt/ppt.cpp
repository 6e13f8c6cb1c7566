#include "platform/office/ppt/ppt.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <utility>

#include "common/automation_error.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/package.h"
#include "platform/office/ppt/detail/ppt_design.h"
#include "platform/office/ppt/detail/ppt_text.h"
#include "platform/office/ppt/detail/ppt_timing.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office::ppt {

namespace {

// The extensions this model understands in markup compatibility:
// PowerPoint 2010's (its transitions, media) and Office 2010's drawing
// extensions. Choices that need later versions (PowerPoint 2013's
// transitions) give way to their fallback, as in a PowerPoint that does not
// know them.
const NsSet kUnderstood = NsSet::standard() | NsSet{Ns::PowerPoint2010, Ns::Drawing2010};

[[noreturn]] void raise(int32_t number, std::string description) {
  throw AutomationError(number, std::string(kErrorSource), std::move(description));
}

[[noreturn]] void raiseOutOfRange() { raise(kOutOfRangeNumber, std::string(kOutOfRangeText)); }

// What PowerPoint's objects raise once their presentation is closed or the
// application has quit (RPC_E_DISCONNECTED).
[[noreturn]] void raiseDisconnected() {
  raise(-2147417848, "The object invoked has disconnected from its clients.");
}

OpenOptions pptOptions() {
  OpenOptions options;
  options.convertTo = ConvertTo::Pptx;
  options.cannotOpenNumber = kCannotOpenNumber;
  options.errorSource = std::string(kErrorSource);
  options.understood = kUnderstood;
  return options;
}

int32_t intAttr(pugi::xml_node node, const char* name, int32_t absent) {
  pugi::xml_attribute a = node.attribute(name);
  if (!a) return absent;
  std::string_view v = a.value();
  int32_t out = absent;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  if (ec != std::errc() || end != v.data() + v.size()) return absent;
  return out;
}

bool boolAttr(pugi::xml_node node, const char* name, bool absent) {
  pugi::xml_attribute a = node.attribute(name);
  if (!a) return absent;
  std::string_view v = a.value();
  return v == "1" || v == "true";
}

}  // namespace

namespace detail {

struct ApplicationState {
  int32_t visible = pp::kFalse;
  int32_t windowState = 1;  // ppWindowNormal
  bool quit = false;
  std::vector<std::shared_ptr<PresentationData>> open;
};

enum class ShapeKind { Shape, Picture, Connector, Group, GraphicFrame, Other };

struct ShapeData {
  pugi::xml_node node;
  ShapeKind kind = ShapeKind::Other;
  std::string name;
  int32_t id = 0;
  std::optional<Placeholder> ph;
  // Worked out on first use.
  mutable std::optional<TextRange> text;
  mutable std::optional<FillFormat> fill;
  mutable std::optional<AnimationSettings> animation;
};

// Owned by its presentation; handles reach it through shared pointers that
// share the presentation's ownership, so that a slide handle keeps the
// presentation alive without a cycle.
struct SlideData {
  PresentationData* pres = nullptr;
  int32_t index = 0;
  uint32_t id = 0;
  Part part;
  bool loaded = false;
  pugi::xml_node root;
  SlideView view;
  std::vector<ShapeData> shapes;
  TimingReading timing;
  std::optional<SlideShowTransition> transition;  // worked out on first use

  void load();
  void check() const;
};

struct PresentationData {
  Package package;
  Part main;
  std::string templateName;
  std::vector<std::unique_ptr<SlideData>> slides;
  Designs designs;
  std::weak_ptr<ApplicationState> app;
  bool closed = false;

  explicit PresentationData(Package p) : package(std::move(p)) {}
  // Quit closes every presentation of the application.
  void check() const {
    if (closed) raiseDisconnected();
  }
};

void SlideData::check() const { pres->check(); }

namespace {

ShapeKind kindOfElement(pugi::xml_node e) {
  if (kindOf(e) != Ns::PresentationML) return ShapeKind::Other;
  const std::string_view name = localName(e);
  if (name == "sp") return ShapeKind::Shape;
  if (name == "pic") return ShapeKind::Picture;
  if (name == "cxnSp") return ShapeKind::Connector;
  if (name == "grpSp") return ShapeKind::Group;
  if (name == "graphicFrame") return ShapeKind::GraphicFrame;
  return ShapeKind::Other;
}

// The non-visual properties element (p:nvSpPr, p:nvPicPr ...) of a shape.
pugi::xml_node nonVisual(pugi::xml_node shape) {
  for (pugi::xml_node child = shape.first_child(); child; child = child.next_sibling())
    if (localName(child).starts_with("nv")) return child;
  return {};
}

// The shapes of a shape tree (p:spTree or p:grpSp) in z-order; calls fn(element).
template <typename Fn>
void forEachShape(pugi::xml_node tree, Fn&& fn) {
  forEachElement(
      tree, [&](pugi::xml_node e) {
        const std::string_view name = localName(e);
        if (kindOf(e) == Ns::PresentationML &&
            (name == "nvGrpSpPr" || name == "grpSpPr" || name == "extLst"))
          return;
        fn(e);
      });
}

ShapeData readShape(pugi::xml_node e) {
  ShapeData s;
  s.node = e;
  s.kind = kindOfElement(e);
  pugi::xml_node cNvPr = nonVisual(e).child("p:cNvPr");
  s.name = cNvPr.attribute("name").value();
  s.id = intAttr(cNvPr, "id", 0);
  s.ph = placeholderOf(e);
  return s;
}

}  // namespace

void SlideData::load() {
  if (loaded) return;
  root = part.xml();
  if (!is(root, Ns::PresentationML, "sld"))
    raise(kCannotOpenNumber, part.name() + ": no slide");
  view = pres->designs.viewOf(part, root);
  forEachShape(root.child("p:cSld").child("p:spTree"),
               [&](pugi::xml_node e) { shapes.push_back(readShape(e)); });
  timing = readTiming(root);
  loaded = true;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Presentation

namespace {

using detail::PresentationData;
using detail::ShapeData;
using detail::ShapeKind;
using detail::SlideData;

std::shared_ptr<PresentationData> load(Package package) {
  auto data = std::make_shared<PresentationData>(std::move(package));
  data->main = data->package.mainPart();
  pugi::xml_node root = data->main.xml();
  if (!root || !is(root, Ns::PresentationML, "presentation"))
    raise(kCannotOpenNumber, data->main.name() + ": no presentation");
  data->designs.setDefaultTextStyle(root.child("p:defaultTextStyle"));
  int32_t index = 0;
  for (pugi::xml_node sld : root.child("p:sldIdLst").children("p:sldId")) {
    const Relationship* rel = data->main.relationship(sld.attribute("r:id").value());
    if (!rel || !sameRelationshipType(rel->type, reltype::kSlide)) continue;
    Part part = data->main.relatedById(rel->id);
    if (!part) continue;
    auto slide = std::make_unique<SlideData>();
    slide->index = ++index;
    slide->id = sld.attribute("id").as_uint();
    slide->part = part;
    data->slides.push_back(std::move(slide));
  }
  for (auto& slide : data->slides) slide->pres = data.get();
  // The design of the first slide master: the name of its theme.
  for (pugi::xml_node m : root.child("p:sldMasterIdLst").children("p:sldMasterId")) {
    if (Part master = data->main.relatedById(m.attribute("r:id").value())) {
      data->templateName = data->designs.designName(master);
      break;
    }
  }
  return data;
}

}  // namespace

Presentation Presentation::open(const std::filesystem::path& path) {
  return Presentation(load(Package::open(path, pptOptions())));
}

Presentation Presentation::fromBytes(std::string bytes, std::string name) {
  return Presentation(load(Package::fromBytes(std::move(bytes), pptOptions(), std::move(name))));
}

std::string Presentation::templateName() const {
  data_->check();
  return data_->templateName;
}

int32_t Presentation::slideCount() const {
  data_->check();
  return static_cast<int32_t>(data_->slides.size());
}

Slide Presentation::slides(int32_t index) const {
  data_->check();
  if (index < 1 || index > slideCount()) raiseOutOfRange();
  return Slide(std::shared_ptr<SlideData>(data_, data_->slides[static_cast<size_t>(index - 1)].get()));
}

SlideRange Presentation::range() const {
  data_->check();
  if (data_->slides.empty()) raiseOutOfRange();
  std::vector<Slide> all;
  for (const auto& s : data_->slides) all.push_back(Slide(std::shared_ptr<SlideData>(data_, s.get())));
  return SlideRange(std::move(all));
}

void Presentation::close() {
  data_->check();
  data_->closed = true;
  if (auto app = data_->app.lock())
    std::erase(app->open, data_);
}

// ---------------------------------------------------------------------------
// Slides

namespace {

SlideData& loaded(const std::shared_ptr<SlideData>& slide) {
  slide->check();
  slide->load();
  return *slide;
}

}  // namespace

int32_t Slide::slideIndex() const {
  data_->check();
  return data_->index;
}

uint32_t Slide::slideId() const {
  data_->check();
  return data_->id;
}

int32_t Slide::layout() const {
  const SlideData& s = loaded(data_);
  return s.view.layout ? s.view.layout->type : pp::kLayoutCustom;
}

namespace {

SlideShowTransition transitionOf(pugi::xml_node sld) {
  SlideShowTransition t;
  pugi::xml_node tr = firstElement(sld, "p:transition");
  if (!tr) return t;
  t.speed = transitionSpeed(tr.attribute("spd").value());
  t.advanceOnClick = triState(boolAttr(tr, "advClick", true));
  t.advanceOnTime = triState(static_cast<bool>(tr.attribute("advTm")));
  forEachElement(tr, [&](pugi::xml_node e) {
    if (is(e, Ns::PresentationML, "sndAc")) {
      if (e.child("p:stSnd"))
        t.soundEffectType = pp::kSoundFile;
      else if (e.child("p:endSnd"))
        t.soundEffectType = pp::kSoundStopPrevious;
      return;
    }
    if (t.entryEffect == pp::kEffectNone) t.entryEffect = transitionEntryEffect(e);
  });
  return t;
}

}  // namespace

SlideShowTransition Slide::slideShowTransition() const {
  SlideData& s = loaded(data_);
  if (!s.transition) s.transition = transitionOf(s.root);
  return *s.transition;
}

SlideShowTransition SlideRange::slideShowTransition() const {
  Combined effect, speed, click, time, sound;
  for (const Slide& slide : slides_) {
    const SlideShowTransition t = slide.slideShowTransition();
    effect.add(t.entryEffect);
    speed.add(t.speed);
    click.add(t.advanceOnClick);
    time.add(t.advanceOnTime);
    sound.add(t.soundEffectType);
  }
  SlideShowTransition out;
  out.entryEffect = effect.value(out.entryEffect);
  out.speed = speed.value(out.speed);
  out.advanceOnClick = click.value(out.advanceOnClick);
  out.advanceOnTime = time.value(out.advanceOnTime);
  out.soundEffectType = sound.value(out.soundEffectType);
  return out;
}

int32_t Slide::shapeCount() const { return static_cast<int32_t>(loaded(data_).shapes.size()); }

Shape Slide::shapes(int32_t index) const {
  if (index < 1 || index > shapeCount()) raiseOutOfRange();
  return Shape(data_, static_cast<size_t>(index - 1));
}

// ---------------------------------------------------------------------------
// Shapes

namespace {

using detail::Placeholder;

bool isLineShape(const ShapeData& s) {
  if (s.kind == ShapeKind::Connector) return true;
  if (s.kind != ShapeKind::Shape) return false;
  pugi::xml_node geometry = detail::shapePropertiesOf(s.node).child("a:prstGeom");
  return geometry && isLinePreset(geometry.attribute("prst").value());
}

// The preset geometry of a shape, or of the placeholders it inherits from.
pugi::xml_node geometryOf(const ShapeData& s, const detail::SlideView& view) {
  pugi::xml_node spPr = detail::shapePropertiesOf(s.node);
  if (pugi::xml_node g = spPr.child("a:prstGeom")) return g;
  if (pugi::xml_node g = spPr.child("a:custGeom")) return g;
  if (s.ph) {
    for (pugi::xml_node inherited : {view.layoutPlaceholder(*s.ph), view.masterPlaceholder(*s.ph)}) {
      pugi::xml_node props = detail::shapePropertiesOf(inherited);
      if (pugi::xml_node g = props.child("a:prstGeom")) return g;
      if (pugi::xml_node g = props.child("a:custGeom")) return g;
    }
  }
  return {};
}

// The hyperlink element of a shape for a mouse click (1) or mouse over (2).
pugi::xml_node hyperlinkElement(pugi::xml_node shape, int32_t index) {
  pugi::xml_node cNvPr = detail::nonVisual(shape).child("p:cNvPr");
  return cNvPr.child(index == 1 ? "a:hlinkClick" : "a:hlinkHover");
}

ActionSetting actionOf(pugi::xml_node link) {
  ActionSetting a;
  if (!link) return a;
  a.action = actionOfHyperlink(link.attribute("action").value(), link.attribute("r:id").value());
  if (pugi::xml_node snd = link.child("a:snd")) {
    a.soundEffectType = pp::kSoundFile;
    a.soundEffectName = snd.attribute("name").value();
  } else if (boolAttr(link, "endSnd", false)) {
    a.soundEffectType = pp::kSoundStopPrevious;
  }
  a.animateAction = triState(boolAttr(link, "highlightClick", false));
  return a;
}

// The media element of a picture's p:nvPr (a:videoFile, a:audioFile ...).
pugi::xml_node mediaElement(const ShapeData& s) {
  if (s.kind != ShapeKind::Picture) return {};
  pugi::xml_node media;
  forEachElement(detail::nonVisual(s.node).child("p:nvPr"), [&](pugi::xml_node e) {
    if (!media && mediaTypeOf(e)) media = e;
  });
  return media;
}

// The content type of the part a media element links or embeds; for a file
// outside the package, the type its extension stands for.
std::string mediaContentType(pugi::xml_node media, const Part& slide) {
  const char* id = media.attribute("r:link").value();
  if (!*id) id = media.attribute("r:embed").value();
  const Relationship* rel = slide.relationship(id);
  if (!rel) return {};
  if (!rel->external) {
    if (Part target = slide.relatedById(id)) return target.contentType();
  }
  const std::string target = asciiLower(rel->target);
  if (target.ends_with(".wav")) return "audio/wav";
  if (target.ends_with(".mid") || target.ends_with(".midi")) return "audio/midi";
  return {};
}

}  // namespace

const ShapeData& Shape::data() const {
  loaded(slide_);
  return slide_->shapes[index_];
}

std::string Shape::name() const { return data().name; }

int32_t Shape::id() const { return data().id; }

// AutoShapeType: what PowerPoint's AutoShape of the geometry is. A picture
// is a rectangle (PowerPoint 2007 and later draw pictures in a shape, which
// may be another preset); custom geometry is not primitive; lines,
// connectors, groups and graphic frames (tables, charts, diagrams, objects)
// are no AutoShapes and report the mixed value.
int32_t Shape::autoShapeType() const {
  const ShapeData& s = data();
  switch (s.kind) {
    case ShapeKind::Shape:
    case ShapeKind::Picture: {
      if (isLineShape(s)) return pp::kMixed;
      pugi::xml_node geometry = geometryOf(s, slide_->view);
      if (is(geometry, Ns::DrawingML, "custGeom")) return pp::kShapeNotPrimitive;
      if (!geometry) return pp::kShapeRectangle;
      return autoShapeTypeOfPreset(geometry.attribute("prst").value());
    }
    default:
      return pp::kMixed;
  }
}

// Shape.Type (MsoShapeType): placeholders 14, text boxes 17, other
// AutoShapes 1 and custom geometry 5 (freeform); pictures 13, or 16 when
// they hold a sound or a movie; lines and connectors 9; groups 6; graphic
// frames by what they hold: table 19, chart 3, diagram 24, else an embedded
// object 7; anything else (ink) 22 (msoInk).
int32_t Shape::type() const {
  const ShapeData& s = data();
  switch (s.kind) {
    case ShapeKind::Shape:
      if (isLineShape(s)) return 9;
      if (s.ph) return 14;
      if (boolAttr(detail::nonVisual(s.node).child("p:cNvSpPr"), "txBox", false)) return 17;
      return is(geometryOf(s, slide_->view), Ns::DrawingML, "custGeom") ? 5 : 1;
    case ShapeKind::Picture:
      return mediaElement(s) ? 16 : 13;
    case ShapeKind::Connector:
      return 9;
    case ShapeKind::Group:
      return 6;
    case ShapeKind::GraphicFrame: {
      const std::string_view uri =
          s.node.child("a:graphic").child("a:graphicData").attribute("uri").value();
      if (uri.ends_with("/table")) return 19;
      if (uri.ends_with("/chart")) return 3;
      if (uri.ends_with("/diagram")) return 24;
      return 7;
    }
    case ShapeKind::Other:
      break;
  }
  return 22;
}

// HasTextFrame: AutoShapes, text boxes and placeholders have one; pictures,
// lines, connectors, groups and graphic frames do not.
bool Shape::hasTextFrame() const {
  const ShapeData& s = data();
  return s.kind == ShapeKind::Shape && !isLineShape(s);
}

TextRange Shape::textRange() const {
  const ShapeData& s = data();
  if (!hasTextFrame()) raiseOutOfRange();
  if (!s.text) s.text = detail::readTextRange(s.node, s.ph, slide_->view);
  return *s.text;
}

ActionSetting Shape::actionSettings(int32_t index) const {
  const ShapeData& s = data();
  if (index != 1 && index != 2) raiseOutOfRange();
  return actionOf(hyperlinkElement(s.node, index));
}

AnimationSettings Shape::animationSettings() const {
  const ShapeData& s = data();
  if (!s.animation) {
    const bool hasText = hasTextFrame() && !detail::plainText(s.node.child("p:txBody")).empty();
    s.animation = animationOf(slide_->timing, s.id, hasText);
  }
  return *s.animation;
}

FillFormat Shape::fill() const {
  const ShapeData& s = data();
  if (!s.fill) s.fill = detail::fillOf(s.node, s.ph, slide_->view);
  return *s.fill;
}

int32_t Shape::mediaType() const {
  std::optional<int32_t> type = mediaTypeOf(mediaElement(data()));
  if (!type) raiseOutOfRange();
  return *type;
}

int32_t Shape::soundFormatType() const {
  pugi::xml_node media = mediaElement(data());
  std::optional<int32_t> format = soundFormatOf(media, mediaContentType(media, slide_->part));
  if (!format) raiseOutOfRange();
  return *format;
}

// ---------------------------------------------------------------------------
// Hyperlinks

namespace {

// The title of a slide as a hyperlink names it: the text of its title
// placeholder with its breaks as blanks; "" when it has none.
std::string slideTitle(SlideData& slide) {
  slide.load();
  for (const ShapeData& s : slide.shapes) {
    if (!s.ph || (s.ph->type != "title" && s.ph->type != "ctrTitle")) continue;
    std::string text = detail::plainText(s.node.child("p:txBody"));
    for (char& c : text)
      if (c == '\r' || c == '\v') c = ' ';
    return text;
  }
  return {};
}

// Address and SubAddress of a hyperlink element of slide `slide`. A link
// outside the presentation is its target, with what follows a "#" as the
// sub-address; a jump to a slide of the presentation has no address and the
// slide's sub-address (ppt_rules.h).
Hyperlink hyperlinkOf(pugi::xml_node link, SlideData& slide) {
  Hyperlink h;
  const char* id = link.attribute("r:id").value();
  const Relationship* rel = slide.part.relationship(id);
  if (!rel) return h;
  if (!rel->external && sameRelationshipType(rel->type, reltype::kSlide)) {
    for (const auto& other : slide.pres->slides) {
      if (other->part.name() != rel->targetPart && !equalsNoCase(other->part.name(), rel->targetPart))
        continue;
      h.subAddress = slideSubAddress(other->id, other->index, slideTitle(*other));
      return h;
    }
    return h;
  }
  const std::string& target = rel->target;
  const size_t hash = target.find('#');
  h.address = target.substr(0, hash);
  if (hash != std::string::npos) h.subAddress = target.substr(hash + 1);
  return h;
}

void collectHyperlinks(pugi::xml_node shape, SlideData& slide, std::vector<Hyperlink>& out) {
  auto take = [&](pugi::xml_node link) {
    if (!link) return;
    if (actionOfHyperlink(link.attribute("action").value(), link.attribute("r:id").value()) !=
        pp::kActionHyperlink)
      return;
    out.push_back(hyperlinkOf(link, slide));
  };
  if (is(shape, Ns::PresentationML, "grpSp")) {
    take(hyperlinkElement(shape, 1));
    take(hyperlinkElement(shape, 2));
    detail::forEachShape(shape, [&](pugi::xml_node child) { collectHyperlinks(child, slide, out); });
    return;
  }
  take(hyperlinkElement(shape, 1));
  take(hyperlinkElement(shape, 2));
  for (pugi::xml_node p : shape.child("p:txBody").children("a:p")) {
    forEachElement(p, [&](pugi::xml_node run) {
      pugi::xml_node rPr = run.child("a:rPr");
      take(rPr.child("a:hlinkClick"));
      take(rPr.child("a:hlinkMouseOver"));
    });
  }
}

}  // namespace

std::vector<Hyperlink> Slide::hyperlinks() const {
  SlideData& s = loaded(data_);
  std::vector<Hyperlink> out;
  for (const ShapeData& shape : s.shapes) collectHyperlinks(shape.node, s, out);
  return out;
}

// ---------------------------------------------------------------------------
// Application

Application::Application() : state_(std::make_shared<detail::ApplicationState>()) {}

Application::~Application() = default;

std::shared_ptr<Application> Application::create() {
  return std::shared_ptr<Application>(new Application());
}

int32_t Application::visible() const { return state_->visible; }
void Application::setVisible(int32_t value) {
  if (state_->quit) raiseDisconnected();
  state_->visible = value;
}
int32_t Application::windowState() const { return state_->windowState; }
void Application::setWindowState(int32_t value) {
  if (state_->quit) raiseDisconnected();
  state_->windowState = value;
}

Presentation Application::open(const std::filesystem::path& path, int32_t, int32_t, int32_t) {
  if (state_->quit) raiseDisconnected();
  Presentation p = Presentation::open(path);
  p.data_->app = state_;
  state_->open.push_back(p.data_);
  return p;
}

int32_t Application::presentationCount() const {
  if (state_->quit) raiseDisconnected();
  return static_cast<int32_t>(state_->open.size());
}

void Application::quit() {
  if (state_->quit) raiseDisconnected();
  for (auto& p : state_->open) p->closed = true;
  state_->open.clear();
  state_->quit = true;
}

}  // namespace bq::office::ppt
