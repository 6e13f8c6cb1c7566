#include "platform/ui/qt_progress_canvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <cmath>

namespace bq::ui {
namespace {

QColor qColor(OleColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Shows the canvas's image as it stands.
class PictureBox final : public QWidget {
 public:
  PictureBox(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setObjectName(QStringLiteral("bqProgressCanvas"));
    setFixedSize(image.size());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
  }

 private:
  const QImage& image_;
};

}  // namespace

struct QtProgressCanvas::State {
  QImage image;
  QPointer<QWidget> widget;
  QFont font{QStringLiteral("SimSun")};
  OleColor foreColor = RGB(0, 0, 0);
  OleColor backColor = RGB(255, 255, 255);
  int drawMode = vbCopyPen;
  double currentX = 0;
  double currentY = 0;

  QFont drawingFont() const {
    QFont f = font;
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
  }
};

QtProgressCanvas::QtProgressCanvas(int width, int height, QWidget* parent)
    : state_(std::make_unique<State>()) {
  state_->image = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  state_->image.fill(qColor(state_->backColor));
  state_->font.setPointSizeF(9);
  state_->widget = new PictureBox(state_->image, parent);
  state_->widget->hide();
}

// The widget shows the canvas's image, so it goes with the canvas, parent or not.
QtProgressCanvas::~QtProgressCanvas() { delete state_->widget.data(); }

QWidget* QtProgressCanvas::widget() const { return state_->widget; }
const QImage& QtProgressCanvas::image() const { return state_->image; }

bool QtProgressCanvas::Visible() const { return state_->widget && state_->widget->isVisible(); }

void QtProgressCanvas::setVisible(bool visible) {
  if (state_->widget) state_->widget->setVisible(visible);
}

void QtProgressCanvas::setFontName(const std::string& name) {
  state_->font.setFamily(QString::fromStdString(name));
}

void QtProgressCanvas::setFontSize(double points) { state_->font.setPointSizeF(points); }

void QtProgressCanvas::setForeColor(OleColor color) { state_->foreColor = color; }

void QtProgressCanvas::setBackColor(OleColor color) {
  state_->backColor = color;
  state_->image.fill(qColor(color));
}

OleColor QtProgressCanvas::BackColor() const { return state_->backColor; }

double QtProgressCanvas::TextWidth(const std::string& text) {
  return QFontMetricsF(state_->drawingFont()).horizontalAdvance(QString::fromStdString(text));
}

double QtProgressCanvas::TextHeight(const std::string&) {
  return QFontMetricsF(state_->drawingFont()).height();
}

double QtProgressCanvas::Width() const { return state_->image.width(); }
double QtProgressCanvas::Height() const { return state_->image.height(); }

void QtProgressCanvas::setDrawMode(int mode) { state_->drawMode = mode; }

void QtProgressCanvas::fillBox(double x1, double y1, double x2, double y2, OleColor color) {
  QPainter painter(&state_->image);
  if (state_->drawMode == vbNotXorPen)
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  // Whole pixels, both corners included, as the original's boxes covered them.
  const QRect box(QPoint(static_cast<int>(std::lround(std::min(x1, x2))),
                         static_cast<int>(std::lround(std::min(y1, y2)))),
                  QPoint(static_cast<int>(std::lround(std::max(x1, x2))),
                         static_cast<int>(std::lround(std::max(y1, y2)))));
  painter.fillRect(box, qColor(color));
}

void QtProgressCanvas::setCurrentX(double x) { state_->currentX = x; }
void QtProgressCanvas::setCurrentY(double y) { state_->currentY = y; }

void QtProgressCanvas::Print(const std::string& text) {
  QPainter painter(&state_->image);
  const QFont font = state_->drawingFont();
  painter.setFont(font);
  painter.setPen(qColor(state_->foreColor));
  const QFontMetricsF metrics(font);
  const QString s = QString::fromStdString(text);
  painter.drawText(QPointF(state_->currentX, state_->currentY + metrics.ascent()), s);
  // The next Print goes below, at the left edge, as the original's did.
  state_->currentX = 0;
  state_->currentY += metrics.height();
}

void QtProgressCanvas::Refresh() {
  if (state_->widget && state_->widget->isVisible()) state_->widget->repaint();
}

}  // namespace bq::ui
