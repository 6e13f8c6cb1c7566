// The text that the question-text viewer shows.
//
// The client writes each operation question's text into its work folder as a
// file in the system's ANSI code page ("wdbq1.Tg") and starts the viewer from
// the same folder with the bare file name ("QuestionPane.exe wdbq1.tg"). The
// viewer reads that file from its own folder, whatever the case of the name,
// and shows it; anything that goes wrong becomes a message shown in its place.
//
// Thread safety: none needed; the function touches only the file system.
#pragma once

#include <QString>
#include <QtGlobal>

namespace bq::questionpane {

enum class LoadStatus {
  kShown,       // `text` is the question
  kNoName,      // no file was named
  kRefused,     // the name has a folder part, a drive or is "." / ".."
  kMissing,     // no file of that name in the folder
  kUnreadable,  // the name is a folder, or the file cannot be read
  kTooLarge,    // larger than kMaxQuestionBytes
};

struct QuestionText {
  LoadStatus status = LoadStatus::kShown;
  // The question (line breaks as "\n"), or the message that stands in its place.
  QString text;
};

// A question text is a few hundred bytes; anything this large is not one.
inline constexpr qint64 kMaxQuestionBytes = 1 << 20;

// True for a bare file name: not empty, not "." or "..", and without "/",
// "\" or ":" (so neither a folder part nor a Windows drive).
bool isBareFileName(const QString& name);

// Reads the file `name` in `folder` and decodes it from the ANSI code page
// (common/ansi.h; bytes the code page cannot decode become "?"). The name is
// matched without regard to case; a name that matches exactly wins over one
// that differs in case. CR LF and lone CR become "\n". Never throws: each
// failure is a status with a message in Chinese that names the file.
QuestionText loadQuestionText(const QString& folder, const QString& name);

}  // namespace bq::questionpane
