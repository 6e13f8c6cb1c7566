// The question title window on a real X server (Xvfb, started by the xvfb
// fixture) through Qt's xcb platform: its placement, size and topmost state
// as the X server reports them, the text with its line breaks, the workbook
// opened once, and a click that places a stand-in for LibreOffice Calc's
// main window (a small X program of the tests with Calc's window class).
//
// With BQ_SCREENSHOT_DIR set, the screen with the window on it is saved
// there as question_pane.png.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/shell/processes.h"
#include "platform/ui/qt_backend.h"
#include "platform/ui/x11_windows.h"
#include "webcom/frm_title.h"
#include "webcom/testing/open_recorder.h"

extern char** environ;

namespace bq {
namespace {

namespace fs = std::filesystem;
using ui::PixelRect;

// The stand-in's window, started and ended by the test.
class StandIn {
 public:
  explicit StandIn(const std::string& windowClass) {
    std::string exe = BQ_X11_STANDIN, cls = windowClass, name = "libreoffice", secs = "60";
    char* argv[] = {exe.data(), cls.data(), name.data(), secs.data(), nullptr};
    if (posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }
  ~StandIn() { end(); }
  void end() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
};

template <typename F>
auto waitFor(F&& f, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + bound;
  auto v = f();
  while (!v && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    v = f();
  }
  return v;
}

QWidget* shownTitleWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName() == QStringLiteral("bqTextWindow")) return w;
  }
  return nullptr;
}

// Runs `atWindow` once the title window is shown and active (or after 3 s
// shown), then closes it; a window still open after 20 s is closed anyway.
void whenShown(const std::function<void(QWidget&)>& atWindow) {
  auto* poll = new QTimer;
  auto seen = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, [poll, seen, atWindow] {
    QWidget* w = shownTitleWindow();
    if (!w) return;
    if (!*seen) *seen = std::chrono::steady_clock::now();
    if (!w->isActiveWindow() && std::chrono::steady_clock::now() - **seen < std::chrono::seconds(3))
      return;
    poll->stop();
    poll->deleteLater();
    atWindow(*w);
    w->close();
  });
  poll->start();
  QTimer::singleShot(20000, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
  });
}

class TitleOnX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* state = std::getenv("BQ_XVFB_TEST_STATE");
    ASSERT_TRUE(state && *state);
    std::string display;
    std::ifstream(fs::path(state) / "display") >> display;
    ASSERT_FALSE(display.empty()) << "no X server in " << state;
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    char tmpl[] = "/tmp/bq-title-x11-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
    workbook_ = dir_ / "drives" / "c" / "tmpftp" / "download" / "exbq1.xls";
    fs::create_directories(workbook_.parent_path());
    std::ofstream(workbook_) << "workbook";
    ui::ensureQtApplication();
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::remove_all(dir_);
  }

  fs::path dir_;
  fs::path workbook_;
};

TEST_F(TitleOnX11, PlacedOnTopAtTheCornerAndTheClickBringsCalcOver) {
  testing::OpenRecorder opener(dir_);
  const std::string calcClass = shell::linuxWindowClass(FrmTitle::kSpreadsheetWindowClass);
  ASSERT_EQ(calcClass, "libreoffice-calc");
  StandIn calc(calcClass);
  const std::optional<uint32_t> calcWindow =
      waitFor([&] { return ui::x11::findTopLevelWindow(calcClass); });
  ASSERT_TRUE(calcWindow) << "the stand-in's window did not appear";

  std::optional<ui::x11::WindowFacts> title, placed;
  QString text;
  QRect textBox;
  bool active = false;
  whenShown([&](QWidget& w) {
    title = ui::x11::describeWindow(static_cast<uint32_t>(w.winId()));
    active = w.isActiveWindow();
    if (auto* txt = w.findChild<QPlainTextEdit*>(QStringLiteral("txt"))) {
      text = txt->toPlainText();
      textBox = txt->geometry();
    }
    if (const char* dir = std::getenv("BQ_SCREENSHOT_DIR")) {
      QGuiApplication::primaryScreen()->grabWindow(0).save(
          QString::fromStdString((fs::path(dir) / "question_pane.png").string()));
    }
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    placed = ui::x11::describeWindow(*calcWindow);
  });
  QuestionPane("第一题：合并单元格~打开C:|BqOperation|exbq1.xls，完成后保存。");

  ASSERT_TRUE(title);
  EXPECT_EQ(title->geometry, (PixelRect{0, 0, 439, 192}));
  EXPECT_TRUE(title->above) << "topmost";
  EXPECT_TRUE(title->viewable);
  EXPECT_TRUE(active) << "the modal show activates the window";
  EXPECT_EQ(text.toStdString(), "第一题：合并单元格\n打开C:\\BqOperation\\exbq1.xls，完成后保存。");
  EXPECT_EQ(textBox, QRect(0, 20, 431, 166));
  EXPECT_EQ(opener.opened(1), std::vector<std::string>{workbook_.string()});

  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->geometry, (PixelRect{0, 0, 15360, 11520})) << "screen twips as pixels";
  EXPECT_TRUE(placed->above);
  EXPECT_TRUE(placed->viewable);
  EXPECT_TRUE(placed->topOfStack);

  // Shown again on this thread: the workbook is not opened again.
  whenShown([](QWidget&) {});
  QuestionPane("again");
  EXPECT_EQ(opener.opened(2, std::chrono::milliseconds(500)).size(), 1u);
}

TEST_F(TitleOnX11, AClickWithoutCalcChangesNothing) {
  std::optional<std::vector<QRect>> before, after;
  auto geometries = [] {
    std::vector<QRect> out;
    for (QWidget* w : QApplication::topLevelWidgets()) out.push_back(w->frameGeometry());
    return out;
  };
  whenShown([&](QWidget& w) {
    before = geometries();
    QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    after = geometries();
  });
  QuestionPane("x");
  ASSERT_TRUE(before && after);
  EXPECT_EQ(*before, *after);
  EXPECT_FALSE(ui::x11::findTopLevelWindow("libreoffice-calc"));
}

}  // namespace
}  // namespace bq
