// Run with QT_QPA_PLATFORM=offscreen (CTest sets it) or on a real display.
#include "platform/ui/qt_backend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "common/automation_error.h"
#include "platform/ui/recorder.h"

namespace bq::ui {
namespace {

using std::chrono::steady_clock;

constexpr int kSafetyMs = 10000;

std::vector<uint8_t> encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, 100));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

QImage solid(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

QWidget* pictureWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String("bqPictureWindow") && w->isVisible()) return w;
  }
  return nullptr;
}

template <typename T>
T* modal() {
  return qobject_cast<T*>(QApplication::activeModalWidget());
}

class QtBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensureQtApplication(); }

  // Runs `show` (which enters a modal loop) while `step` is called every
  // 10 ms. When the loop has not ended after kSafetyMs, the test fails and
  // every dialog is ended, so that a fault never hangs the run.
  void whileModal(const std::function<void()>& show, const std::function<void()>& step) {
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, step);
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] {
      ADD_FAILURE() << "the modal display did not end within " << kSafetyMs << " ms";
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->done(0);
      }
    });
    poll.start();
    safety.start(kSafetyMs);
    const auto start = steady_clock::now();
    show();
    EXPECT_LT(steady_clock::now() - start, std::chrono::milliseconds(kSafetyMs));
  }

  QtBackend qt_;
};

class PictureFormats : public QtBackendTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PictureFormats, DoubleClickRunsTheHandlerWhichClosesTheWindow) {
  const QColor navy(0, 0, 128);
  PictureWindow window;
  window.title = "考试结束";
  window.picture = encode(solid(64, 48, navy), GetParam());
  window.alwaysOnTop = true;
  int calls = 0;
  window.onDoubleClick = [&](WindowControl& control) {
    if (++calls == 2) control.close();  // the first double-click leaves it open
  };
  int step = 0;
  whileModal([&] { qt_.runModal(window); },
             [&] {
               QWidget* w = pictureWindow();
               if (!w) return;
               if (step == 0) {
                 EXPECT_EQ(w->size(), QSize(64, 48));
                 EXPECT_EQ(w->windowTitle(), QStringLiteral("考试结束"));
                 EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
                 const QColor shown = w->grab().toImage().pixelColor(32, 24);
                 EXPECT_NEAR(shown.blue(), 128, 8) << "the picture fills the window";
                 EXPECT_NEAR(shown.red(), 0, 8);
                 QTest::mouseDClick(w, Qt::RightButton, {}, QPoint(3, 3));
                 EXPECT_EQ(calls, 0) << "only the left button double-clicks";
                 QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(60, 40));
                 EXPECT_EQ(calls, 1);
               } else if (step == 1) {
                 QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(1, 1));
               }
               ++step;
             });
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(step, 2) << "the window stayed open after the first double-click";
  EXPECT_EQ(pictureWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(QtBackend, PictureFormats, ::testing::Values("PNG", "JPEG"));

TEST_F(QtBackendTest, ClosingTheWindowRunsNoHandler) {
  PictureWindow window{"", encode(solid(10, 10, Qt::white), "PNG"), false,
                       [](WindowControl&) { ADD_FAILURE() << "handler ran"; }};
  whileModal([&] { qt_.runModal(window); },
             [] {
               if (QWidget* w = pictureWindow()) {
                 EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
                 w->close();
               }
             });
  EXPECT_EQ(pictureWindow(), nullptr);
}

TEST_F(QtBackendTest, AHandlersErrorClosesTheWindowAndReachesTheCaller) {
  PictureWindow window{"w", encode(solid(10, 10, Qt::white), "JPEG"), false,
                       [](WindowControl&) { throw AutomationError(53, "h", "File not found"); }};
  int32_t number = 0;
  whileModal(
      [&] {
        try {
          qt_.runModal(window);
        } catch (const AutomationError& e) {
          number = e.number();
        }
      },
      [] {
        if (QWidget* w = pictureWindow()) QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(5, 5));
      });
  EXPECT_EQ(number, 53);
  EXPECT_EQ(pictureWindow(), nullptr);
}

TEST_F(QtBackendTest, PicturesThatCannotBeDecodedAreRefusedBeforeShowing) {
  std::vector<uint8_t> damaged = encode(solid(20, 20, Qt::red), "PNG");
  std::fill(damaged.begin() + 33, damaged.end(), uint8_t{0x5A});  // keep the header only
  struct Case {
    std::vector<uint8_t> bytes;
    const char* description;
  } cases[] = {
      {damaged, "Invalid picture: the PNG data cannot be decoded"},
      {{'B', 'M', 0, 0}, "Invalid picture: the data is neither a PNG nor a JPEG image"},
  };
  for (const Case& c : cases) {
    PictureWindow window{"w", c.bytes, false, nullptr};
    try {
      qt_.runModal(window);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 481);
      EXPECT_EQ(e.description(), c.description);
    }
  }
  EXPECT_EQ(pictureWindow(), nullptr);
}

TEST_F(QtBackendTest, MessageBoxesAnswerTheButtonPressed) {
  struct Case {
    std::string title;
    int style;
    std::function<void(QMessageBox*)> press;
    QMessageBox::Icon icon;
    int buttons;
    int answer;
  };
  const auto enter = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); };
  const auto escape = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); };
  const Case cases[] = {
      {"确认", vbYesNo + vbQuestion + vbDefaultButton2, enter, QMessageBox::Question, 2, vbNo},
      {"t", vbYesNoCancel + vbDefaultButton3, enter, QMessageBox::NoIcon, 3, vbCancel},
      {"t", vbAbortRetryIgnore + vbCritical,
       [](QMessageBox* box) { box->button(QMessageBox::Retry)->click(); }, QMessageBox::Critical, 3,
       vbRetry},
      {"t", vbOKCancel + vbExclamation, escape, QMessageBox::Warning, 2, vbCancel},
      {"", vbOKOnly + vbInformation, escape, QMessageBox::Information, 1, vbOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    int answer = 0;
    whileModal(
        [&] {
          answer = qt_.messageBox({"第一行\r\n第二行", c.style, c.title});
        },
        [&] {
          QMessageBox* box = modal<QMessageBox>();
          if (!box || !box->isVisible()) return;
          EXPECT_EQ(box->text(), QStringLiteral("第一行\n第二行"));
          EXPECT_EQ(box->textFormat(), Qt::PlainText);
          EXPECT_EQ(box->windowTitle().toStdString(),
                    c.title.empty() ? "qt_backend_test" : c.title);
          EXPECT_EQ(box->icon(), c.icon);
          EXPECT_EQ(box->buttons().size(), c.buttons);
          c.press(box);
        });
    EXPECT_EQ(answer, c.answer);
  }
}

TEST_F(QtBackendTest, InputBoxGivesTheTextOrNothing) {
  for (bool accept : {true, false}) {
    std::string text = "unset";
    whileModal(
        [&] {
          text = qt_.inputBox({"名字?", "登记", "默认"});
        },
        [&] {
          QInputDialog* dialog = modal<QInputDialog>();
          if (!dialog || !dialog->isVisible()) return;
          EXPECT_EQ(dialog->labelText(), QStringLiteral("名字?"));
          EXPECT_EQ(dialog->textValue(), QStringLiteral("默认"));
          dialog->setTextValue(QStringLiteral("张三"));
          if (accept) {
            dialog->accept();
          } else {
            dialog->reject();
          }
        });
    EXPECT_EQ(text, accept ? "张三" : "");
  }
}

TEST(QtNameFilters, TranslateTheDialogFilterSyntax) {
  EXPECT_EQ(qtNameFilters("文本文件|*.txt|Word|*.doc;*.docx"),
            (std::vector<std::string>{"文本文件 (*.txt)", "Word (*.doc *.docx)"}));
  EXPECT_TRUE(qtNameFilters("").empty());
}

TEST_F(QtBackendTest, FileDialogGivesTheChosenFileOrNothing) {
  const std::string dir = ::testing::TempDir();
  for (bool accept : {true, false}) {
    std::optional<std::string> chosen = "unset";
    FileDialogRequest request;
    request.save = true;
    request.title = "另存为";
    request.filter = "文本|*.txt|全部|*.*";
    request.fileName = dir + "start.txt";
    whileModal([&] { chosen = qt_.fileDialog(request); },
               [&] {
                 QFileDialog* dialog = modal<QFileDialog>();
                 if (!dialog || !dialog->isVisible()) return;
                 EXPECT_EQ(dialog->windowTitle(), QStringLiteral("另存为"));
                 EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
                 EXPECT_EQ(dialog->nameFilters(),
                           (QStringList{QStringLiteral("文本 (*.txt)"), QStringLiteral("全部 (*.*)")}));
                 if (accept) {
                   dialog->selectFile(QString::fromStdString(dir + "chosen.txt"));
                   QMetaObject::invokeMethod(dialog, "accept");
                 } else {
                   dialog->reject();
                 }
               });
    if (accept) {
      ASSERT_TRUE(chosen.has_value());
      EXPECT_EQ(std::filesystem::path(*chosen).filename(), "chosen.txt");
    } else {
      EXPECT_FALSE(chosen.has_value());
    }
  }
}

TEST_F(QtBackendTest, OtherThreadsAreRefusedInsteadOfTouchingWidgets) {
  std::string error;
  std::thread([&] {
    try {
      QtBackend().runModal({"w", encode(solid(4, 4, Qt::white), "PNG"), false, nullptr});
    } catch (const AutomationError& e) {
      error = std::to_string(e.number()) + " " + e.description();
    }
  }).join();
  EXPECT_EQ(error,
            "429 ActiveX component can't create object: the window \"w\" cannot be shown (the Qt "
            "user interface belongs to another thread)");
}

TEST_F(QtBackendTest, RunModalOnDisplayPrefersTheThreadsBackend) {
  PictureWindow window{"w", encode(solid(8, 8, Qt::white), "PNG"), false,
                       [](WindowControl& c) { c.close(); }};
  {
    auto rec = std::make_shared<Recorder>();
    rec->actOnWindow(Recorder::WindowAction::kDoubleClick);
    ScopedBackend scope(rec);
    runModalOnDisplay(window);  // would block in Qt: nothing double-clicks here
    ASSERT_EQ(rec->shown().size(), 1u);
    EXPECT_EQ(rec->shown()[0].end, Recorder::WindowEnd::kClosedByHandler);
  }
  ASSERT_FALSE(backendIsSet());
  bool shownByQt = false;
  whileModal([&] { runModalOnDisplay(window); },
             [&] {
               if (QWidget* w = pictureWindow()) {
                 shownByQt = true;
                 QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(2, 2));
               }
             });
  EXPECT_TRUE(shownByQt) << "not the console, which cannot show windows";
  EXPECT_FALSE(backendIsSet()) << "Qt was used for the window only";

  installQtBackend();
  EXPECT_NE(dynamic_cast<QtBackend*>(&backend()), nullptr);
  setBackend(nullptr);
}

// In the child: ensureQtApplication; exits 0 on AutomationError 429, printing
// its description, and 3 when Qt started.
[[noreturn]] void ensureQtApplicationOrExit() {
  try {
    ensureQtApplication();
  } catch (const AutomationError& e) {
    std::fprintf(stderr, "[%s]\n", e.description().c_str());
    std::_Exit(e.number() == 429 ? 0 : 2);
  }
  std::_Exit(3);
}

// Starting Qt is tried in a fresh process each (gtest's threadsafe death-test
// style runs the test again in a child): it must end in an error, never in
// Qt ending the process.
class StartingQt : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  // In the child: the environment `env` (name, value or nullptr), then
  // ensureQtApplicationOrExit.
  [[noreturn]] static void start(std::initializer_list<std::pair<const char*, const char*>> env) {
    for (const auto& [name, value] : env) {
      if (value) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
    ensureQtApplicationOrExit();
  }
};

TEST_F(StartingQt, WithoutADisplayIsAnError) {
  EXPECT_EXIT(start({{"QT_QPA_PLATFORM", nullptr},
                     {"DISPLAY", nullptr},
                     {"WAYLAND_DISPLAY", nullptr},
                     {"WAYLAND_SOCKET", nullptr}}),
              ::testing::ExitedWithCode(0),
              "\\[ActiveX component can't create object: no display: windows cannot be shown "
              "\\(xcb: no X display can be reached\\)\\]");
  EXPECT_EXIT(start({{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":9999"}}),
              ::testing::ExitedWithCode(0), "xcb: no X display can be reached");
  EXPECT_EXIT(start({{"QT_QPA_PLATFORM", "nosuchplatform"}}), ::testing::ExitedWithCode(0),
              "nosuchplatform: the Qt platform plugin is not installed");
}

// In the child: exits 0 when starting Qt kept the C locale the program chose
// although the environment names another.
[[noreturn]] void startUnderTheCLocale() {
  setenv("LC_ALL", "C.UTF-8", 1);
  std::setlocale(LC_ALL, "C");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ensureQtApplication();
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  std::fprintf(stderr, "[locale %s]\n", locale.c_str());
  const bool started = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  std::_Exit(locale == "C" && started ? 0 : 1);
}

TEST_F(StartingQt, LeavesTheCLocaleAsItWas) {
  EXPECT_EXIT(startUnderTheCLocale(), ::testing::ExitedWithCode(0), "\\[locale C\\]");
}

// In the child: many threads ask for Qt at the same moment; exits 0 when
// every call returned and one application was made, which every thread found.
[[noreturn]] void startFromManyThreads() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt warns for each application made on a thread other than the first
  // that used Qt: with one application, never.
  static std::atomic<int> made{0};
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.contains(QStringLiteral("QApplication was not created in the main() thread")))
      made.fetch_add(1);
  });
  constexpr int kThreads = 8;
  std::atomic<int> ready{0}, returned{0}, early{0};
  std::vector<QCoreApplication*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      try {
        ensureQtApplication();
        // Returned before the application was whole, a thread would race its
        // construction.
        if (QCoreApplication::startingUp()) early.fetch_add(1);
        seen[static_cast<size_t>(i)] = QCoreApplication::instance();
        returned.fetch_add(1);
      } catch (...) {
      }
    });
  for (std::thread& t : threads) t.join();
  QCoreApplication* app = QCoreApplication::instance();
  const auto others = std::count_if(seen.begin(), seen.end(), [&](auto* a) { return a != app; });
  std::fprintf(stderr, "[returned %d, %d early, %d saw another application, %d more made]\n",
               returned.load(), early.load(), static_cast<int>(others), made.load());
  std::_Exit(returned.load() == kThreads && early.load() == 0 && others == 0 && made.load() == 0 &&
                     qobject_cast<QApplication*>(app)
                 ? 0
                 : 1);
}

TEST_F(StartingQt, FromManyThreadsAtOnceMakesOneApplication) {
  for (int round = 0; round < 10; ++round)
    EXPECT_EXIT(startFromManyThreads(), ::testing::ExitedWithCode(0),
                "\\[returned 8, 0 early, 0 saw another application, 0 more made\\]");
}

}  // namespace
}  // namespace bq::ui
