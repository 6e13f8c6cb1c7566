// A read-only PowerPoint object model over a .pptx/.pptm package (or a
// legacy .ppt that LibreOffice converts): the members the presentation
// extractor reads, with the values PowerPoint reports through automation.
//
//   auto app = Application::create();                  // "PowerPoint.Application"
//   Presentation pres = app->open(path);                // Presentations.Open
//   std::string design = pres.templateName();
//   SlideShowTransition t = pres.range().slideShowTransition();
//   Slide slide = pres.slides(1);
//   Shape shape = slide.shapes(2);
//   float size = shape.textRange().font.size;         // TextFrame.TextRange.Font.Size
//   pres.close();
//
// Values. PowerPoint's tri-state values are whole numbers: true -1, false 0,
// mixed -2. A text property that differs over the runs of a text range is
// "" for names, -2 for numbers; the colour of a mixed range is the colour of
// its first character. The rules that turn file content into values are in
// ppt_rules.h; the theme's fonts and colours come from theme.h.
//
// Failures. Everything throws AutomationError, source "PowerPoint": a file
// that cannot be opened -2147467259 (with the package layer's description;
// a missing file keeps the package layer's number, 53 or 76); a read PowerPoint
// refuses -2147024809 "The specified value is out of range." (the text frame
// of a picture, a line, a group or a graphic frame; the media type of a shape
// that is no media; the sound format of a movie; an index outside a
// collection; Slides.Range of a presentation without slides); a slide part
// that is damaged (XML not well-formed, a bound of limits.h exceeded)
// -2147467259 when the slide is first read. A presentation, slide or shape
// used after the presentation was closed or the application quit fails with
// -2147417848 "The object invoked has disconnected from its clients."
//
// Lifetime. Slide and Shape handles share the presentation's data; slides
// are parsed on first use.
//
// Thread safety: an application and everything taken from it belong to one
// thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/office/ppt/ppt_rules.h"
#include "platform/office/ppt/ppt_values.h"

namespace bq::office::ppt {

namespace detail {
struct ApplicationState;
struct PresentationData;
struct SlideData;
struct ShapeData;
}  // namespace detail

class Shape {
 public:
  std::string name() const;
  int32_t id() const;  // cNvPr@id
  // Shape.AutoShapeType: the preset's code for an AutoShape, 138
  // (msoShapeNotPrimitive) for custom geometry, 1 (rectangle) for a picture,
  // -2 (mixed) for lines, connectors, groups and graphic frames.
  int32_t autoShapeType() const;
  // Shape.Type (MsoShapeType): 16 (msoMedia) for a sound or a movie.
  int32_t type() const;
  bool hasTextFrame() const;
  // TextFrame.TextRange; throws -2147024809 when the shape has no text frame.
  TextRange textRange() const;
  // ActionSettings(index), index 1 or 2; another index throws.
  ActionSetting actionSettings(int32_t index) const;
  AnimationSettings animationSettings() const;
  FillFormat fill() const;
  // MediaType and SoundFormat.Type; throw -2147024809 for a shape that is no
  // media (and SoundFormat for a movie).
  int32_t mediaType() const;
  int32_t soundFormatType() const;

 private:
  friend class Slide;
  Shape(std::shared_ptr<detail::SlideData> slide, size_t index)
      : slide_(std::move(slide)), index_(index) {}
  const detail::ShapeData& data() const;
  std::shared_ptr<detail::SlideData> slide_;
  size_t index_;
};

class Slide {
 public:
  int32_t slideIndex() const;
  uint32_t slideId() const;
  // Slide.Layout (PpSlideLayout).
  int32_t layout() const;
  SlideShowTransition slideShowTransition() const;
  // Hyperlinks, in the order of the shapes (a shape's own click and
  // mouse-over links, then those of its text runs; groups in their order).
  std::vector<Hyperlink> hyperlinks() const;
  // Shapes.Count and Shapes.Item(index), 1-based, in z-order.
  int32_t shapeCount() const;
  Shape shapes(int32_t index) const;

 private:
  friend class Presentation;
  explicit Slide(std::shared_ptr<detail::SlideData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::SlideData> data_;
};

// Slides.Range() of every slide.
class SlideRange {
 public:
  // Each property the common value of the slides, or -2 where they differ.
  SlideShowTransition slideShowTransition() const;

 private:
  friend class Presentation;
  explicit SlideRange(std::vector<Slide> slides) : slides_(std::move(slides)) {}
  std::vector<Slide> slides_;
};

class Application;

class Presentation {
 public:
  // A presentation opened without an application (for fuzzing and tests).
  static Presentation open(const std::filesystem::path& path);
  static Presentation fromBytes(std::string bytes, std::string name = "(in memory)");

  // TemplateName: the name of the first slide master's design (its theme's
  // name), "" when it has none.
  std::string templateName() const;
  int32_t slideCount() const;
  Slide slides(int32_t index) const;  // 1-based
  // Slides.Range(); throws -2147024809 when there are no slides.
  SlideRange range() const;
  // Close: the presentation leaves its application's Presentations; every
  // later use of it, its slides or shapes fails.
  void close();

 private:
  friend class Application;
  explicit Presentation(std::shared_ptr<detail::PresentationData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::PresentationData> data_;
};

// The application object of PowerPoint's automation. The model is read in
// this process: creating the application starts nothing.
class Application {
 public:
  static std::shared_ptr<Application> create();
  ~Application();

  int32_t visible() const;
  void setVisible(int32_t value);
  int32_t windowState() const;  // PpWindowState
  void setWindowState(int32_t value);

  // Presentations.Open(FileName, ReadOnly, Untitled, WithWindow): opens by
  // content; the flags are kept by PowerPoint's rules but change nothing in
  // a read-only model. Throws as Presentation::open; after Quit, -2147417848.
  Presentation open(const std::filesystem::path& path, int32_t readOnly = pp::kFalse,
                    int32_t untitled = pp::kFalse, int32_t withWindow = pp::kTrue);
  // Presentations.Count.
  int32_t presentationCount() const;
  // Quit: closes every open presentation; the application cannot be used
  // any more.
  void quit();

 private:
  Application();
  std::shared_ptr<detail::ApplicationState> state_;
};

}  // namespace bq::office::ppt
