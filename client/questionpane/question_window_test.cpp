// Run with QT_QPA_PLATFORM=offscreen (CTest sets it) or on a real display.
#include "client/questionpane/question_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

namespace bq::questionpane {
namespace {

class QuestionWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "questionpane_test";
      static char* argv[] = {name, nullptr};
      static QApplication app(argc, argv);
    }
  }
};

TEST_F(QuestionWindowTest, StaysOnTopAndCannotBeEdited) {
  const QuestionText question{LoadStatus::kShown, QStringLiteral("第1题\n打开文档")};
  const std::unique_ptr<QWidget> window = createQuestionWindow(question);
  window->show();
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("试题内容"));
  const auto* view = window->findChild<QPlainTextEdit*>("questionText");
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_EQ(view->toPlainText(), question.text);
  // Shown whole on the screen it opens on.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(area.contains(window->geometry())) << window->geometry().x();
}

TEST_F(QuestionWindowTest, ShowsAMessageInPlaceOfTheQuestion) {
  const QuestionText missing{LoadStatus::kMissing, QStringLiteral("找不到试题文件“wdbq1.tg”。")};
  const std::unique_ptr<QWidget> window = createQuestionWindow(missing);
  const auto* view = window->findChild<QPlainTextEdit*>("questionText");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->toPlainText(), missing.text);
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

}  // namespace
}  // namespace bq::questionpane
