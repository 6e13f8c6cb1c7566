#include "client/questionpane/question_window.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

namespace bq::questionpane {

std::unique_ptr<QWidget> createQuestionWindow(const QuestionText& question) {
  auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
  window->setWindowTitle(QString::fromUtf16(kWindowTitle));

  auto* view = new QPlainTextEdit(window.get());
  view->setObjectName(QStringLiteral("questionText"));
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  QFont font = view->font();
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("WenQuanYi Micro Hei"), font.family()});
  font.setPointSize(12);
  view->setFont(font);
  if (question.status != LoadStatus::kShown) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Text, QColor(0xC0, 0x00, 0x00));
    view->setPalette(palette);
  }
  view->setPlainText(question.text);

  auto* layout = new QVBoxLayout(window.get());
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(view);

  // Wide and low, in the top right corner, where it hides the least of the
  // document underneath.
  constexpr int kWidth = 560;
  constexpr int kHeight = 300;
  window->resize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const int width = std::min(kWidth, area.width());
    const int height = std::min(kHeight, area.height());
    window->resize(width, height);
    window->move(area.right() - width - 16, area.top() + 16);
  }
  return window;
}

}  // namespace bq::questionpane
