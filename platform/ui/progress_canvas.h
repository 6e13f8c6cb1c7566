// Progress canvases: the picture controls that callers hand the backup and
// restore methods, reduced to the members the progress display draws with.
//
// A canvas is drawn on the way a picture control with a persistent image is:
// setting BackColor clears it to that colour; fillBox paints a filled box in
// the current DrawMode (vbCopyPen paints the colour, vbNotXorPen combines it
// with what is there, so that a dark box over dark text turns the text
// light); Print writes text in ForeColor with its top left corner at
// (CurrentX, CurrentY); Refresh shows the result. Coordinates are in the
// canvas's own units (Width and Height say how many); the caller measures
// text with TextWidth and TextHeight in the same units.
//
// Back ends:
//   - QtProgressCanvas (platform/ui/qt_progress_canvas.h): a widget with a
//     real raster image.
//   - ConsoleProgressCanvas: a labelled progress bar on standard error.
//   - RecordingProgressCanvas: keeps what was shown, for tests and bqcall.
// The console and recording canvases do not keep pixels: they follow what a
// progress display draws (the last text printed, and the part of the width
// that the last not-xor box covers) on a model of 1000 x 100 units in which
// every UTF-16 code unit of a text is 10 units wide and a line 20 units high.
//
// Thread safety: a canvas belongs to the thread that draws on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bq::ui {

// An OLE colour: red in the low byte, then green, then blue (RGB()).
using OleColor = uint32_t;
constexpr OleColor RGB(uint8_t red, uint8_t green, uint8_t blue) {
  return OleColor{red} | OleColor{green} << 8 | OleColor{blue} << 16;
}

// DrawMode values.
inline constexpr int vbNotXorPen = 10;
inline constexpr int vbCopyPen = 13;

class ProgressCanvas {
 public:
  virtual ~ProgressCanvas() = default;

  virtual bool Visible() const = 0;
  virtual void setVisible(bool visible) = 0;
  virtual void setFontName(const std::string& name) = 0;
  virtual void setFontSize(double points) = 0;
  virtual void setForeColor(OleColor color) = 0;
  // Clears the whole canvas to `color`.
  virtual void setBackColor(OleColor color) = 0;
  virtual OleColor BackColor() const = 0;
  virtual double TextWidth(const std::string& text) = 0;
  virtual double TextHeight(const std::string& text) = 0;
  virtual double Width() const = 0;
  virtual double Height() const = 0;
  // vbCopyPen or vbNotXorPen; other modes of the original draw as vbCopyPen.
  virtual void setDrawMode(int mode) = 0;
  // The filled box from corner (x1, y1) to corner (x2, y2) in `color`, drawn
  // in the current DrawMode (the original's Line (x1, y1)-(x2, y2), color, BF).
  virtual void fillBox(double x1, double y1, double x2, double y2, OleColor color) = 0;
  virtual void setCurrentX(double x) = 0;
  virtual void setCurrentY(double y) = 0;
  virtual void Print(const std::string& text) = 0;
  virtual void Refresh() = 0;
};

// What a progress display shows on a canvas without pixels: the base of the
// console and recording canvases.
class ModelCanvas : public ProgressCanvas {
 public:
  static constexpr double kWidth = 1000;
  static constexpr double kHeight = 100;

  bool Visible() const override { return visible_; }
  void setVisible(bool visible) override { visible_ = visible; }
  void setFontName(const std::string&) override {}
  void setFontSize(double) override {}
  void setForeColor(OleColor) override {}
  void setBackColor(OleColor color) override;
  OleColor BackColor() const override { return backColor_; }
  double TextWidth(const std::string& text) override;
  double TextHeight(const std::string&) override { return 20; }
  double Width() const override { return kWidth; }
  double Height() const override { return kHeight; }
  void setDrawMode(int mode) override { drawMode_ = mode; }
  void fillBox(double x1, double y1, double x2, double y2, OleColor color) override;
  void setCurrentX(double) override {}
  void setCurrentY(double) override {}
  void Print(const std::string& text) override { text_ = text; }
  void Refresh() override {}

  // The last text printed since the canvas was last cleared ("" when none).
  const std::string& text() const { return text_; }
  // The share of the width (0 to 1) that the last not-xor box covers.
  double bar() const { return bar_; }

 private:
  bool visible_ = false;
  OleColor backColor_ = RGB(255, 255, 255);
  int drawMode_ = vbCopyPen;
  std::string text_;
  double bar_ = 0;
};

// A progress bar on a terminal, labelled with the control's name. On a
// terminal every visible console canvas of the process shares one status
// line, redrawn in place ("DoingPic [#####.....] 已进行 50%, 请稍侯 ...."); the
// console message boxes clear it before they write. When `out` is no
// terminal, each Refresh that shows a new text writes one line
// "LABEL: TEXT", so a log gets at most one line per percent.
class ConsoleProgressCanvas final : public ModelCanvas {
 public:
  explicit ConsoleProgressCanvas(std::string label, std::FILE* out = stderr);
  ~ConsoleProgressCanvas() override;
  ConsoleProgressCanvas(const ConsoleProgressCanvas&) = delete;
  ConsoleProgressCanvas& operator=(const ConsoleProgressCanvas&) = delete;

  void setVisible(bool visible) override;
  void Refresh() override;

  const std::string& label() const { return label_; }
  // The canvas's part of the status line: label, bar of `cells` cells, text.
  std::string statusText(int cells = 20) const;

 private:
  std::string label_;
  std::FILE* out_;
  bool terminal_;
  std::string lastLogged_;
};

// Keeps every change of visibility and every Refresh, with the text and bar
// shown then.
class RecordingProgressCanvas final : public ModelCanvas {
 public:
  struct Event {
    enum class Kind { kVisible, kDrawn };
    Kind kind = Kind::kDrawn;
    bool visible = false;  // kVisible: the new visibility
    std::string text;      // kDrawn: the text shown
    double bar = 0;        // kDrawn: the share of the width shown as done
  };

  void setVisible(bool visible) override;
  void Refresh() override;
  const std::vector<Event>& events() const { return events_; }

 private:
  std::vector<Event> events_;
};

// Whether `out` writes to a terminal (not a file or a pipe).
bool isTerminal(std::FILE* out);

// Clears the console status line when one is shown on the terminal `out`, so
// that a message can be written there; the canvases draw it again at their
// next Refresh.
void clearConsoleStatusLine(std::FILE* out);

}  // namespace bq::ui
