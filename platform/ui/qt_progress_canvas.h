// A picture control drawn with Qt: the progress canvas of a program with a
// Qt user interface (target bq_ui_qt; this header needs no Qt headers).
//
// The canvas keeps its drawing in a raster image, as a picture control with
// a persistent image does, and shows it in a widget that the program places
// in its window. Coordinates are pixels. The not-xor pen is the raster
// operation NOT (source XOR destination), so a navy box over navy text on
// white turns the text white. Text is drawn without anti-aliasing, so that
// it stays two-coloured under the pen.
//
// Thread safety: create, draw on and destroy the canvas on the Qt
// application's thread (REQUIRES: a QApplication exists, see
// ensureQtApplication in qt_backend.h).
#pragma once

#include <memory>
#include <string>

#include "platform/ui/progress_canvas.h"

class QWidget;
class QImage;

namespace bq::ui {

class QtProgressCanvas final : public ProgressCanvas {
 public:
  // A canvas of `width` x `height` pixels, hidden, in `parent` (or a window
  // of its own). The widget is deleted with the canvas.
  QtProgressCanvas(int width, int height, QWidget* parent = nullptr);
  ~QtProgressCanvas() override;
  QtProgressCanvas(const QtProgressCanvas&) = delete;
  QtProgressCanvas& operator=(const QtProgressCanvas&) = delete;

  // The widget that shows the canvas.
  QWidget* widget() const;
  // The drawing as it stands.
  const QImage& image() const;

  bool Visible() const override;
  void setVisible(bool visible) override;
  void setFontName(const std::string& name) override;
  void setFontSize(double points) override;
  void setForeColor(OleColor color) override;
  void setBackColor(OleColor color) override;
  OleColor BackColor() const override;
  double TextWidth(const std::string& text) override;
  double TextHeight(const std::string& text) override;
  double Width() const override;
  double Height() const override;
  void setDrawMode(int mode) override;
  void fillBox(double x1, double y1, double x2, double y2, OleColor color) override;
  void setCurrentX(double x) override;
  void setCurrentY(double y) override;
  void Print(const std::string& text) override;
  void Refresh() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace bq::ui
