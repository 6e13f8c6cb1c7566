// The viewer's window: the question text, read-only, in a window that stays
// above the Office program or folder window the examinee works in.
//
// REQUIRES: a QApplication exists on the calling thread.
#pragma once

#include <QWidget>
#include <memory>

#include "client/questionpane/question_text.h"

namespace bq::questionpane {

// The window title.
inline constexpr char16_t kWindowTitle[] = u"试题内容";

// A top-level window, not yet shown, titled kWindowTitle, that shows
// `question.text` in a read-only text view (object name "questionText");
// a message (any status but kShown) is set off in red. The window stays on
// top of other windows and sits at the top right of the primary screen.
std::unique_ptr<QWidget> createQuestionWindow(const QuestionText& question);

}  // namespace bq::questionpane
