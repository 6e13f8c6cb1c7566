// Feeds arbitrary bytes to the PowerPoint object model and the presentation
// extractor: opens them as a presentation, reads of every slide and shape
// what the extractor reads (layout, transition, hyperlinks, text and font,
// action and animation settings, fill, media) and then runs the extractor's
// presentation reading on it.
//
// Input that starts with "PK" is taken as a zip file as it stands. Any other
// input is cut at NUL bytes into the contents of a fixed list of part names
// and zipped (stored, so that the fuzzer reaches the XML past the zip
// layer's checksums).
//
// Only AutomationError may leave the model, and the values it reports stay
// within their enumerations.
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "fuzz/checks.h"
#include "fuzz/zip_pieces.h"
#include "platform/office/ppt/ppt.h"
#include "scoring/extractors/ppt_reader.h"

namespace {

using namespace bq::office::ppt;

constexpr int32_t kSlidesRead = 8;
constexpr int32_t kShapesRead = 64;

using bqfuzz::check;
using bqfuzz::guarded;

constexpr const char* kNames[] = {
    "[Content_Types].xml",
    "_rels/.rels",
    "ppt/presentation.xml",
    "ppt/_rels/presentation.xml.rels",
    "ppt/slides/slide1.xml",
    "ppt/slides/_rels/slide1.xml.rels",
    "ppt/slides/slide2.xml",
    "ppt/slides/_rels/slide2.xml.rels",
    "ppt/slideLayouts/slideLayout1.xml",
    "ppt/slideLayouts/_rels/slideLayout1.xml.rels",
    "ppt/slideMasters/slideMaster1.xml",
    "ppt/slideMasters/_rels/slideMaster1.xml.rels",
    "ppt/theme/theme1.xml",
};


bool triState(int32_t v) { return v == -1 || v == 0 || v == -2; }

void readTransition(const SlideShowTransition& t) {
  check(t.entryEffect == -2 || (t.entryEffect >= 0 && t.entryEffect <= 3933), "EntryEffect");
  check(t.speed == -2 || (t.speed >= 1 && t.speed <= 3), "Speed");
  check(triState(t.advanceOnClick) && triState(t.advanceOnTime), "Advance");
  check(t.soundEffectType == -2 || (t.soundEffectType >= 0 && t.soundEffectType <= 2), "SoundEffect.Type");
}

void readShape(const Shape& shape) {
  guarded([&] { shape.name(); });
  guarded([&] {
    const int32_t t = shape.autoShapeType();
    check(t == -2 || (t >= 1 && t <= 183), "AutoShapeType");
  });
  guarded([&] {
    const TextRange range = shape.textRange();
    check(shape.hasTextFrame(), "a text range without a text frame");
    const Font& f = range.font;
    check(f.size == -2 || f.size > 0, "Font.Size");
    check(triState(f.bold) && triState(f.italic) && triState(f.underline) && triState(f.shadow),
          "font tri-states");
    check(f.colorRgb >= 0 && f.colorRgb <= 0xFFFFFF, "Font.Color.RGB");
  });
  for (int32_t i : {1, 2, 3}) {
    guarded([&] {
      const ActionSetting a = shape.actionSettings(i);
      check(a.action >= 0 && a.action <= 12, "Action");
      check(triState(a.animateAction), "AnimateAction");
    });
  }
  guarded([&] {
    const AnimationSettings a = shape.animationSettings();
    check(a.textLevelEffect == -2 || (a.textLevelEffect >= 0 && a.textLevelEffect <= 16), "TextLevelEffect");
    check(triState(a.animateTextInReverse), "AnimateTextInReverse");
    check(a.textUnitEffect >= 0 && a.textUnitEffect <= 2, "TextUnitEffect");
    check(a.afterEffect >= 0 && a.afterEffect <= 3, "AfterEffect");
  });
  guarded([&] {
    const FillFormat f = shape.fill();
    check(triState(f.visible), "Fill.Visible");
    check(f.type == -2 || (f.type >= 1 && f.type <= 6), "Fill.Type");
  });
  guarded([&] { shape.mediaType(); });
  guarded([&] { shape.soundFormatType(); });
}

void readPresentation(std::string bytes) {
  Presentation pres = Presentation::fromBytes(std::move(bytes));
  guarded([&] { pres.templateName(); });
  guarded([&] { readTransition(pres.range().slideShowTransition()); });
  const int32_t count = pres.slideCount();
  for (int32_t i = 1; i <= std::min(count, kSlidesRead); ++i) {
    guarded([&] {
      Slide slide = pres.slides(i);
      guarded([&] {
        const int32_t layout = slide.layout();
        check(layout >= 1 && layout <= 36, "Layout");
      });
      guarded([&] { readTransition(slide.slideShowTransition()); });
      guarded([&] { slide.hyperlinks(); });
      int32_t shapes = 0;
      guarded([&] { shapes = slide.shapeCount(); });
      for (int32_t j = 1; j <= std::min(shapes, kShapesRead); ++j)
        guarded([&] { readShape(slide.shapes(j)); });
      guarded([&] { slide.shapes(shapes + 1); });
    });
  }
  guarded([&] { pres.slides(count + 1); });
  // The extractor's own reading, every step guarded as in ReadPPT.
  bq::KnowledgeSet points;
  bq::ppt::ReadPresentation(pres, points);
  for (const auto& [key, item] : points) check(item == 1, "item");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return bqfuzz::readInput(data, size, kNames, readPresentation);
}
