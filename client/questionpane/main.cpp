// QuestionPane: shows an operation question's text beside the examinee's work.
//
//   questionpane NAME
//
// NAME is a bare file name in the program's own folder (the client copies
// the viewer into its work folder, beside the question texts). Arguments after
// the first are joined to it with spaces, as the whole command tail once was
// the name.
#include <QApplication>
#include <QStringList>

#include "client/questionpane/question_text.h"
#include "client/questionpane/question_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  const QString name = args.join(u' ').trimmed();
  const bq::questionpane::QuestionText question =
      bq::questionpane::loadQuestionText(QCoreApplication::applicationDirPath(), name);
  const std::unique_ptr<QWidget> window = bq::questionpane::createQuestionWindow(question);
  window->show();
  return QApplication::exec();
}
