#include "client/questionpane/question_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <string_view>

#include "common/ansi.h"

namespace bq::questionpane {
namespace {

QuestionText failure(LoadStatus status, const QString& message) { return {status, message}; }

// The entries of `dir` whose names equal `name` without regard to case, the
// exact spelling first.
QStringList matchingEntries(const QDir& dir, const QString& name) {
  QStringList matches;
  const QStringList entries = dir.entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) != 0) continue;
    if (entry == name) {
      matches.prepend(entry);
    } else {
      matches.append(entry);
    }
  }
  return matches;
}

}  // namespace

bool isBareFileName(const QString& name) {
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
  for (const QChar c : name)
    if (c == u'/' || c == u'\\' || c == u':') return false;
  return true;
}

QuestionText loadQuestionText(const QString& folder, const QString& name) {
  if (name.isEmpty())
    return failure(LoadStatus::kNoName, QStringLiteral("没有指定要显示的试题文件。"));
  if (!isBareFileName(name))
    return failure(
        LoadStatus::kRefused,
        QStringLiteral("试题文件名“%1”无效：只能打开本程序所在文件夹中的试题文件。").arg(name));

  const QDir dir(folder);
  const QStringList matches = matchingEntries(dir, name);
  if (matches.isEmpty())
    return failure(LoadStatus::kMissing, QStringLiteral("找不到试题文件“%1”。").arg(name));

  // A folder that happens to carry the name is passed over for a file of the
  // same name in another case.
  QString path;
  for (const QString& entry : matches) {
    if (QFileInfo(dir.filePath(entry)).isFile()) {
      path = dir.filePath(entry);
      break;
    }
  }
  const QString unreadable = QStringLiteral("无法读取试题文件“%1”。").arg(name);
  if (path.isEmpty()) return failure(LoadStatus::kUnreadable, unreadable);

  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return failure(LoadStatus::kUnreadable, unreadable);
  const QString tooLarge = QStringLiteral("试题文件“%1”太大，无法显示。").arg(name);
  if (file.size() > kMaxQuestionBytes) return failure(LoadStatus::kTooLarge, tooLarge);
  // The size check above does not hold for a file that grows while we read.
  const QByteArray bytes = file.read(kMaxQuestionBytes + 1);
  if (file.error() != QFileDevice::NoError) return failure(LoadStatus::kUnreadable, unreadable);
  if (bytes.size() > kMaxQuestionBytes) return failure(LoadStatus::kTooLarge, tooLarge);

  const std::string utf8 =
      fromAnsi(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  QString text = QString::fromStdString(utf8);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(u'\r', u'\n');
  return {LoadStatus::kShown, text};
}

}  // namespace bq::questionpane
