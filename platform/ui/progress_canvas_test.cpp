#include "platform/ui/progress_canvas.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace bq::ui {
namespace {

constexpr OleColor kNavy = RGB(0, 0, 128);
constexpr OleColor kWhite = RGB(255, 255, 255);

// The drawing of one progress state, as the backup module draws it.
void draw(ProgressCanvas& c, const std::string& text, double fraction) {
  c.setBackColor(kWhite);
  c.setDrawMode(vbCopyPen);
  c.fillBox(10, 10, 20, 20, kWhite);
  c.Print(text);
  c.setDrawMode(vbNotXorPen);
  if (fraction > 0)
    c.fillBox(0, 0, c.Width() * fraction, c.Height(), kNavy);
  else
    c.fillBox(0, 0, c.Width(), c.Height(), kWhite);
  c.Refresh();
}

TEST(ProgressCanvas, ColoursAndTextModel) {
  EXPECT_EQ(RGB(0, 0, 128), 0x800000u);
  RecordingProgressCanvas c;
  EXPECT_EQ(c.TextWidth("已进行 5%"), 60);  // UTF-16 code units x 10
  draw(c, "a", 0.25);
  EXPECT_EQ(c.text(), "a");
  EXPECT_DOUBLE_EQ(c.bar(), 0.25);
  draw(c, "b", 0);  // a box in the background colour shows nothing done
  EXPECT_DOUBLE_EQ(c.bar(), 0);
  c.setBackColor(kWhite);  // clears
  EXPECT_EQ(c.text(), "");
}

TEST(ProgressCanvas, RecorderKeepsVisibilityChangesAndDrawings) {
  RecordingProgressCanvas c;
  c.setVisible(true);
  c.setVisible(true);  // no change, nothing kept
  draw(c, "x", 0.5);
  c.setVisible(false);
  using K = RecordingProgressCanvas::Event::Kind;
  ASSERT_EQ(c.events().size(), 3u);
  EXPECT_EQ(c.events()[0].kind, K::kVisible);
  EXPECT_TRUE(c.events()[0].visible);
  EXPECT_EQ(c.events()[1].kind, K::kDrawn);
  EXPECT_EQ(c.events()[1].text, "x");
  EXPECT_DOUBLE_EQ(c.events()[1].bar, 0.5);
  EXPECT_FALSE(c.events()[2].visible);
}

TEST(ProgressCanvas, ConsoleLogsOneLinePerNewTextWhenNotATerminal) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    ConsoleProgressCanvas c("SubDoingPic", out);
    draw(c, "hidden", 0.1);  // not visible: nothing
    c.setVisible(true);
    draw(c, "已进行 10%", 0.1);
    draw(c, "已进行 10%", 0.1);  // same text: no new line
    draw(c, "已进行 20%", 0.2);
    EXPECT_EQ(c.statusText(10), "SubDoingPic [##........] 已进行 20%");
  }
  std::rewind(out);
  char buf[256] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(buf, n), "SubDoingPic: 已进行 10%\nSubDoingPic: 已进行 20%\n");
}

}  // namespace
}  // namespace bq::ui
