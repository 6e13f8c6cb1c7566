#include "scoring/extractors/ppt_reader.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "scoring/extractors/guarded_step.h"

namespace bq {
namespace {

namespace pp = office::ppt;
using extract::ReadOnce;
using extract::step;

// PpWindowState's ppWindowMinimized.
constexpr int32_t kWindowMinimized = 2;
// MsoShapeType's msoMedia.
constexpr int32_t kMsoMedia = 16;

thread_local std::shared_ptr<pp::Application> tApplication;
thread_local ppt::ApplicationFactory tFactory;

void add(KnowledgeSet& d, const std::string& point) { d.set(point, 1); }

// A composite item: the label, then each value that can be read followed by
// "," (the last without), each read guarded on its own; added whatever it
// holds at the end.
class Composite {
 public:
  explicit Composite(std::string label) : text_(std::move(label)) {}

  template <typename Read>
  Composite& value(Read&& read, bool last = false) {
    step([&] {
      std::string v = read();
      text_ += v;
      if (!last) text_ += ',';
    });
    return *this;
  }

  void addTo(KnowledgeSet& d) const { add(d, text_); }

 private:
  std::string text_;
};

std::string whole(int32_t v) { return std::to_string(v); }

// A conditional step: the point is added when `test` holds, and also when
// it cannot be read.
template <typename Test>
void addUnless(KnowledgeSet& d, const std::string& point, Test&& test) {
  bool holds = true;
  try {
    holds = test();
  } catch (const AutomationError&) {
  }
  if (holds) add(d, point);
}

void readShape(const pp::Slide& slide, int32_t index, KnowledgeSet& dObj) {
  std::optional<pp::Shape> found;
  step([&] { found.emplace(slide.shapes(index)); });
  if (!found) return;
  const pp::Shape& shape = *found;

  step([&] {
    if (ucase(shape.name()).find("PICTURE") != std::string::npos) add(dObj, "插入图片,存在");
  });
  // PowerPoint refuses every read of the text of a shape without a text
  // frame: for such a shape the text steps would each fail and add nothing,
  // and the colour test, which cannot be read, passes. Asking once spares
  // the refusals.
  bool textFrame = true;
  step([&] { textFrame = shape.hasTextFrame(); });
  // The values several steps read are read once for them.
  ReadOnce text([&] { return shape.textRange(); });
  if (textFrame) {
    addUnless(dObj, "文本颜色,存在", [&] { return text().font.colorRgb != 0; });
    step([&] { add(dObj, "文本," + trimSpaces(text().text)); });
    step([&] { add(dObj, "文本字体," + text().font.nameAscii); });
    step([&] { add(dObj, "文本字体," + text().font.nameFarEast); });
    step([&] { add(dObj, "文本大小," + ppt::SingleText(text().font.size)); });
    step([&] { add(dObj, "文本加粗," + whole(text().font.bold)); });
    step([&] { add(dObj, "文本斜体," + whole(text().font.italic)); });
    step([&] { add(dObj, "文本下划线," + whole(text().font.underline)); });
    step([&] { add(dObj, "文本阴影," + whole(text().font.shadow)); });
  } else {
    add(dObj, "文本颜色,存在");
  }

  ReadOnce autoShape([&] { return shape.autoShapeType(); });
  ReadOnce action([&] { return shape.actionSettings(1); });
  Composite("动作按钮:")
      .value([&] { return whole(autoShape()); })
      .value([&] { return whole(action().action); })
      .value([&] { return action().soundEffectName; })
      .value([&] { return whole(action().animateAction); }, true)
      .addTo(dObj);

  ReadOnce animation([&] { return shape.animationSettings(); });
  Composite("动画效果:")
      .value([&] { return whole(animation().textLevelEffect); })
      .value([&] { return whole(animation().animateTextInReverse); })
      .value([&] { return whole(animation().entryEffect); })
      .value([&] { return whole(animation().textUnitEffect); })
      .value([&] { return whole(animation().afterEffect); }, true)
      .addTo(dObj);

  ReadOnce fill([&] { return shape.fill(); });
  Composite("自选图形")
      .value([&] { return whole(autoShape()); })
      .value([&] { return whole(fill().visible); })
      .value([&] { return whole(fill().type); }, true)
      .addTo(dObj);

  addUnless(dObj, "自选图形颜色,存在", [&] { return fill().foreColorRgb != 0; });

  // Both media values are refused for a shape that is no media (Type 16):
  // the item is then the label alone.
  Composite media("影片和声音");
  bool isMedia = true;
  step([&] { isMedia = shape.type() == kMsoMedia; });
  if (isMedia) {
    media.value([&] { return whole(shape.mediaType()); })
        .value([&] { return whole(shape.soundFormatType()); }, true);
  }
  media.addTo(dObj);
}

}  // namespace

namespace ppt {

void SetApplicationFactory(ApplicationFactory factory) { tFactory = std::move(factory); }

std::shared_ptr<pp::Application> SharedApplication() { return tApplication; }

std::string SingleText(float value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
  return buf;
}

void ReadSlide(const pp::Slide& slide, KnowledgeSet& dObj) {
  step([&] {
    for (const pp::Hyperlink& link : slide.hyperlinks()) {
      if (!link.address.empty()) add(dObj, "超链接地址," + link.address);
      if (!link.subAddress.empty()) add(dObj, "超链接子地址," + link.subAddress);
    }
  });
  int32_t count = 0;
  step([&] { count = slide.shapeCount(); });
  for (int32_t i = 1; i <= count; ++i) readShape(slide, i, dObj);
}

void ReadPresentation(const pp::Presentation& pres, KnowledgeSet& dObj) {
  step([&] { add(dObj, "应用摸板," + pres.templateName()); });

  ReadOnce transition([&] { return pres.range().slideShowTransition(); });
  Composite("切换方式:")
      .value([&] { return whole(transition().entryEffect); })
      .value([&] { return whole(transition().speed); })
      .value([&] { return whole(transition().advanceOnClick); })
      .value([&] { return whole(transition().advanceOnTime); })
      .value([&] { return whole(transition().soundEffectType); }, true)
      .addTo(dObj);

  int32_t count = 0;
  step([&] { count = pres.slideCount(); });
  for (int32_t i = 1; i <= count; ++i) {
    std::optional<pp::Slide> slide;
    step([&] { slide.emplace(pres.slides(i)); });
    if (!slide) continue;
    step([&] { add(dObj, "幻灯片版式," + whole(slide->layout())); });
    ReadSlide(*slide, dObj);
  }
}

}  // namespace ppt

void OpenPPTApp() {
  std::shared_ptr<pp::Application> created;
  for (int i = 0; i < ppt::kOpenPPTAppTries && !created; ++i) {
    try {
      created = tFactory ? tFactory() : pp::Application::create();
    } catch (const AutomationError&) {
    }
  }
  tApplication = std::move(created);
  if (!tApplication) return;
  step([&] { tApplication->setVisible(1); });
  step([&] { tApplication->setWindowState(kWindowMinimized); });
}

namespace extract {

Reading readPPT(const std::string& cFile) {
  Reading reading;
  const std::shared_ptr<pp::Application> app = tApplication;
  if (!app) {
    reading.openFailure =
        AutomationError(err::kObjectNotSet, {}, runtimeErrorText(err::kObjectNotSet));
    return reading;
  }
  std::optional<pp::Presentation> pres;
  try {
    pres.emplace(
        app->open(winpath::toNative(cFile), pp::pp::kFalse, pp::pp::kFalse, pp::pp::kTrue));
  } catch (const AutomationError& e) {
    reading.openFailure = e;
    return reading;
  }
  try {
    ppt::ReadPresentation(*pres, reading.points);
    pres->close();
  } catch (const AutomationError&) {
    // The presentation is closed on this path too, so that nothing stays
    // open in the application.
    step([&] { pres->close(); });
  }
  return reading;
}

}  // namespace extract

void ReadPPT(const std::string& cFile, KnowledgeSet& dObj) {
  extract::addPoints(dObj, std::move(extract::readPPT(cFile).points));
}

void ClosePPT() {
  if (!tApplication) raiseError(err::kObjectNotSet);
  tApplication->quit();
  tApplication.reset();
}

}  // namespace bq
