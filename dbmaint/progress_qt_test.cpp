// The progress display on a real Qt canvas: the done part navy, the text
// under it white. Run with QT_QPA_PLATFORM=offscreen (CTest sets it); the
// screenshot is kept as progress_qt_test.png in the working folder of the
// build for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdlib>

#include "dbmaint/progress.h"
#include "platform/ui/qt_backend.h"
#include "platform/ui/qt_progress_canvas.h"

namespace bq::dbmaint {
namespace {

const QColor kNavy(0, 0, 128);
const QColor kWhite(255, 255, 255);

TEST(ProgressOnQt, TheDonePartIsNavyAndTheTextUnderItWhite) {
  ui::ensureQtApplication();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  ui::QtProgressCanvas canvas(320, 24, &window);
  layout->addWidget(canvas.widget());
  window.show();
  canvas.setVisible(true);
  ShowProgress(&canvas, 0.4f);
  EXPECT_TRUE(canvas.Visible());

  const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const char* keep = std::getenv("BQ_SCREENSHOT_DIR");
  shot.save(QString::fromUtf8(keep ? keep : ".") + "/progress_qt_test.png");
  ASSERT_EQ(shot.size(), QSize(320, 24));

  const int edge = 128;  // 40% of 320
  EXPECT_EQ(shot.pixelColor(2, 1), kNavy);
  EXPECT_EQ(shot.pixelColor(edge - 2, 22), kNavy);
  EXPECT_EQ(shot.pixelColor(edge + 2, 1), kWhite);
  EXPECT_EQ(shot.pixelColor(317, 22), kWhite);

  // The text is centred and crosses the edge: white strokes on the left of
  // it, navy strokes on the right, and no third colour anywhere.
  int whiteInBar = 0, navyOnWhite = 0, other = 0;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      if (c != kNavy && c != kWhite) ++other;
      if (x < edge && c == kWhite) ++whiteInBar;
      if (x > edge && c == kNavy) ++navyOnWhite;
    }
  }
  EXPECT_GT(whiteInBar, 20);
  EXPECT_GT(navyOnWhite, 20);
  EXPECT_EQ(other, 0);

  // Nothing done: the text alone, navy on white.
  ShowProgress(&canvas, 0);
  EXPECT_EQ(canvas.image().pixelColor(2, 1), kWhite);
}

}  // namespace
}  // namespace bq::dbmaint
