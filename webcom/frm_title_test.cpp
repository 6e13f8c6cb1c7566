// The title window's rules through the recording back end: the text's
// substitutions, the placement and text box in pixels from the screen in
// twips, the workbook opened on the first activation only, and a click
// where there is no X display.
#include "webcom/frm_title.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "common/automation_error.h"
#include "platform/ui/recorder.h"
#include "webcom/testing/open_recorder.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using ui::PixelRect;
using ui::Recorder;

class Title : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-webcom-title-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
    unsetenv("DISPLAY");  // a click finds no spreadsheet window anywhere
    workbook_ = dir_ / "drives" / "c" / "tmpftp" / "download" / "exbq1.xls";
    fs::create_directories(workbook_.parent_path());
    std::ofstream(workbook_) << "workbook";
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::remove_all(dir_);
  }

  fs::path dir_;
  fs::path workbook_;
};

TEST_F(Title, TheTextIsShownWithItsSubstitutionsPlacedOnTopAtTheCorner) {
  auto rec = std::make_shared<Recorder>();
  rec->actOnTextWindow({.activations = 1, .click = true});
  ui::ScopedBackend scope(rec);
  QuestionPane("");
  EXPECT_TRUE(rec->shown().empty()) << "an empty text shows nothing";

  QuestionPane("第一题~打开C:|BqOperation|a.xls|~~end|");
  ASSERT_EQ(rec->shown().size(), 1u);
  const Recorder::Shown& s = rec->shown()[0];
  EXPECT_EQ(s.text, "第一题\r\n打开C:\\BqOperation\\a.xls\\\r\n\r\nend\\");
  EXPECT_EQ(s.title, FrmTitle::kCaption);
  EXPECT_EQ(s.placement, (PixelRect{0, 0, 439, 192}));
  EXPECT_TRUE(s.alwaysOnTop);
  EXPECT_EQ(s.textBox, (PixelRect{0, 20, 431, 166}));
  EXPECT_TRUE(s.clicked);
  EXPECT_EQ(s.end, Recorder::WindowEnd::kClosedByUser);
  EXPECT_FALSE(FrmTitle::ThisThread().IsLoaded()) << "closing unloads it";
}

TEST_F(Title, OnlyTheFirstActivationOfTheThreadsFormOpensTheWorkbook) {
  testing::OpenRecorder opener(dir_);
  auto rec = std::make_shared<Recorder>();
  rec->actOnTextWindow({.activations = 3});
  rec->actOnTextWindow({.activations = 2});
  ui::ScopedBackend scope(rec);
  QuestionPane("a");
  QuestionPane("b");
  EXPECT_EQ(opener.opened(1), std::vector<std::string>{workbook_.string()});
  EXPECT_EQ(opener.opened(2, std::chrono::milliseconds(300)).size(), 1u);
}

TEST_F(Title, PlacementRoundsTheQuotientsHalfToEven) {
  struct Case {
    ui::ScreenMetrics screen;
    PixelRect placement;
  };
  const std::vector<Case> cases = {
      {{1024, 768, 15, 15}, {0, 0, 439, 192}},
      {{1280, 1024, 15, 15}, {0, 0, 549, 256}},
      {{1024, 770, 15, 15}, {0, 0, 439, 192}},  // 192.5 rounds to 192
      {{1024, 778, 15, 15}, {0, 0, 439, 194}},  // 194.5 rounds to 194
      {{1920, 1080, 12, 12}, {0, 0, 658, 216}},
  };
  for (const Case& c : cases) {
    auto rec = std::make_shared<Recorder>();
    rec->setScreen(c.screen);
    rec->actOnTextWindow({.activations = 0});
    ui::ScopedBackend scope(rec);
    QuestionPane("x");
    EXPECT_EQ(rec->shown().at(0).placement, c.placement) << c.screen.widthPixels;
  }
}

TEST_F(Title, TheTextBoxNeverGetsANegativeSize) {
  const ui::ScreenMetrics screen{1024, 768, 15, 15};
  EXPECT_EQ(FrmTitle::TextBoxLayout(439, 192, screen), (PixelRect{0, 20, 431, 166}));
  EXPECT_EQ(FrmTitle::TextBoxLayout(8, 26, screen), (PixelRect{0, 20, 0, 0}));
  EXPECT_EQ(FrmTitle::TextBoxLayout(0, 0, screen), (PixelRect{0, 20, 0, 0}));
  EXPECT_EQ(FrmTitle::TextBoxLayout(100, 100, {1024, 768, 12, 12}),
            (PixelRect{0, 25, 90, 68}));
}

TEST_F(Title, WithoutADisplayTheCallFails) {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM"}) {
    unsetenv(v);
  }
  int32_t number = 0;
  try {
    QuestionPane("x");
  } catch (const AutomationError& e) {
    number = e.number();
  }
  EXPECT_EQ(number, err::kCantCreateObject);
  EXPECT_FALSE(FrmTitle::ThisThread().IsLoaded());
}

}  // namespace
}  // namespace bq
