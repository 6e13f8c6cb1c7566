#include "client/questionpane/question_text.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace bq::questionpane {
namespace {

class QuestionTextTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString folder() const { return dir_.path(); }

  void write(const QString& relative, const QByteArray& bytes) {
    QFile file(QDir(folder()).filePath(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << relative.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  QTemporaryDir dir_;
};

TEST_F(QuestionTextTest, DecodesGbkAndNormalisesLineBreaks) {
  // "试题内容" in GBK, then CR LF, a lone CR and a final LF.
  write("wdbq1.tg", QByteArray("\xCA\xD4\xCC\xE2\xC4\xDA\xC8\xDD\r\nline 2\rline 3\n"));
  const QuestionText q = loadQuestionText(folder(), "wdbq1.tg");
  EXPECT_EQ(q.status, LoadStatus::kShown);
  EXPECT_EQ(q.text, QStringLiteral("试题内容\nline 2\nline 3\n"));
}

TEST_F(QuestionTextTest, FindsTheFileWhateverTheCaseOfTheName) {
  // The client writes "wdbq1.Tg" and asks for "wdbq1.tg".
  write("wdbq1.Tg", "word");
  for (const char* name : {"wdbq1.tg", "WDBQ1.TG", "wdbq1.Tg"}) {
    const QuestionText q = loadQuestionText(folder(), name);
    EXPECT_EQ(q.status, LoadStatus::kShown) << name;
    EXPECT_EQ(q.text, "word") << name;
  }
}

TEST_F(QuestionTextTest, ExactSpellingWinsOverAnotherCase) {
  write("Ex.tg", "upper");
  write("ex.tg", "lower");
  write("eX.tg", "mixed");
  EXPECT_EQ(loadQuestionText(folder(), "ex.tg").text, "lower");
  EXPECT_EQ(loadQuestionText(folder(), "Ex.tg").text, "upper");
  EXPECT_EQ(loadQuestionText(folder(), "eX.tg").text, "mixed");
}

TEST_F(QuestionTextTest, RefusesNamesThatLeaveTheFolder) {
  // Every one of these names a file that exists, outside the folder or below it.
  ASSERT_TRUE(QDir(folder()).mkpath("inner/sub"));
  const QString inner = QDir(folder()).filePath("inner");
  write("x.tg", "outside");
  write("inner/sub/x.tg", "below");
  write("inner/c:x.tg", "drive");
  const char* names[] = {"../x.tg",          "sub/x.tg",    "sub\\x.tg", "..\\x.tg", "c:x.tg",
                         "c:\\bqtest\\x.tg", "/etc/passwd", "..",        "."};
  for (const char* name : names) {
    const QuestionText q = loadQuestionText(inner, name);
    EXPECT_EQ(q.status, LoadStatus::kRefused) << name;
    EXPECT_TRUE(q.text.contains(QString::fromUtf8(name))) << name;
  }
  EXPECT_EQ(loadQuestionText(inner, "").status, LoadStatus::kNoName);
}

TEST_F(QuestionTextTest, MissingFileIsAMessageNamingIt) {
  const QuestionText q = loadQuestionText(folder(), "pptbq3.tg");
  EXPECT_EQ(q.status, LoadStatus::kMissing);
  EXPECT_TRUE(q.text.contains("pptbq3.tg"));
  EXPECT_EQ(loadQuestionText(QDir(folder()).filePath("no-such-folder"), "a.tg").status,
            LoadStatus::kMissing);
}

TEST_F(QuestionTextTest, FolderOfTheNameIsPassedOverForAFile) {
  ASSERT_TRUE(QDir(folder()).mkdir("op.tg"));
  EXPECT_EQ(loadQuestionText(folder(), "op.tg").status, LoadStatus::kUnreadable);
  write("OP.TG", "file");
  const QuestionText q = loadQuestionText(folder(), "op.tg");
  EXPECT_EQ(q.status, LoadStatus::kShown);
  EXPECT_EQ(q.text, "file");
}

TEST_F(QuestionTextTest, EmptyFileShowsAnEmptyText) {
  write("eml.tg", "");
  const QuestionText q = loadQuestionText(folder(), "eml.tg");
  EXPECT_EQ(q.status, LoadStatus::kShown);
  EXPECT_TRUE(q.text.isEmpty());
}

TEST_F(QuestionTextTest, RefusesAFileTooLargeToBeAQuestion) {
  write("big.tg", QByteArray(kMaxQuestionBytes, 'a'));
  EXPECT_EQ(loadQuestionText(folder(), "big.tg").status, LoadStatus::kShown);
  write("bigger.tg", QByteArray(kMaxQuestionBytes + 1, 'a'));
  EXPECT_EQ(loadQuestionText(folder(), "bigger.tg").status, LoadStatus::kTooLarge);
}

TEST_F(QuestionTextTest, LooksInTheGivenFolderNotTheWorkingFolder) {
  // The viewer is started from anywhere; only its own folder counts.
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  QFile stray(QDir(work.path()).filePath("wtbq2.tg"));
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
  stray.close();
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(work.path()));
  const LoadStatus status = loadQuestionText(folder(), "wtbq2.tg").status;
  QDir::setCurrent(previous);
  EXPECT_EQ(status, LoadStatus::kMissing);
}

}  // namespace
}  // namespace bq::questionpane
