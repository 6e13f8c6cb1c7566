#include "dbmaint/progress.h"

#include <cmath>
#include <string>

#include "common/automation_error.h"

namespace bq::dbmaint {
namespace {

constexpr ui::OleColor kNavy = ui::RGB(0, 0, 128);
constexpr ui::OleColor kWhite = ui::RGB(255, 255, 255);

}  // namespace

ui::ProgressCanvas& pictureOf(PictureArg picture) {
  if (!picture) raiseError(err::kObjectRequired);
  return *picture;
}

void setVisible(PictureArg picture, bool visible) { pictureOf(picture).setVisible(visible); }

int progressPercent(float fraction) {
  const float hundredths = fraction * 100.0f;
  return static_cast<int>(std::floor(static_cast<double>(hundredths) + 0.5));
}

void ShowProgress(PictureArg picture, float fraction) {
  ui::ProgressCanvas& c = pictureOf(picture);
  const std::string text = "已进行 " + std::to_string(progressPercent(fraction)) + "%, 请稍侯 ....";
  c.setFontName("宋体");
  c.setFontSize(9);
  c.setForeColor(kNavy);
  c.setBackColor(kWhite);
  const double w = c.TextWidth(text);
  const double h = c.TextHeight(text);
  // Whole units, halves to the even neighbour, as the original's Long variables took them.
  const double x = std::nearbyint(c.Width() / 2 - w / 2);
  const double y = std::nearbyint(c.Height() / 2 - h / 2);
  c.setDrawMode(ui::vbCopyPen);
  c.fillBox(x, y, x + w, y + h, kWhite);
  c.setCurrentX(x);
  c.setCurrentY(y);
  c.Print(text);
  c.setDrawMode(ui::vbNotXorPen);
  if (fraction > 0)
    c.fillBox(0, 0, c.Width() * fraction, c.Height(), kNavy);
  else
    c.fillBox(0, 0, c.Width(), c.Height(), kWhite);
  c.Refresh();
}

}  // namespace bq::dbmaint
