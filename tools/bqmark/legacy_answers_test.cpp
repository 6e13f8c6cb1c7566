// A legacy answer that scores nothing is read, and so converted by
// LibreOffice, once: the reading that scores it also tells whether it held
// any point, so the note needs no second read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "scoring/answer_files.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

// While it lives, LibreOffice is started through a script that counts the
// starts ($BQ_SOFFICE).
class CountedOffice {
 public:
  CountedOffice(const fs::path& folder, const fs::path& real) : count_(folder / "starts") {
    if (const char* before = std::getenv("BQ_SOFFICE")) previous_ = before;
    const fs::path script = folder / "soffice";
    std::ofstream(script) << "#!/bin/sh\necho >> '" << count_.string() << "'\nexec '"
                          << real.string() << "' \"$@\"\n";
    fs::permissions(script, fs::perms::owner_all);
    ::setenv("BQ_SOFFICE", script.c_str(), 1);
  }
  ~CountedOffice() {
    if (previous_)
      ::setenv("BQ_SOFFICE", previous_->c_str(), 1);
    else
      ::unsetenv("BQ_SOFFICE");
  }
  CountedOffice(const CountedOffice&) = delete;
  CountedOffice& operator=(const CountedOffice&) = delete;

  int starts() const {
    std::ifstream in(count_);
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
  }

 private:
  fs::path count_;
  std::optional<std::string> previous_;
};

TEST(LegacyAnswers, AZeroScoringAnswerIsConvertedOnce) {
  const fs::path soffice = scoring::officeProgram();
  if (soffice.empty()) GTEST_SKIP() << "LibreOffice is not installed";
  const scoring::PrivateFolder folder("bqmark-legacy-", {53, "test", "folder"});
  CountedOffice office(folder.path(), soffice);
  // Neither answer has the task's point: both score 0.
  const std::vector<KeyPoint> key = {{"文本,答卷里没有这句话", Role::kTask, true}};
  Marker marker;

  // A Word 97 document with points of its own: no note.
  const fs::path tea = fs::path(BQ_LEGACY_TESTDATA) / "tea.doc";
  const Mark read = marker.markAnswer(Kind::kWordTest, tea, key);
  EXPECT_EQ(read.score, 0);
  EXPECT_EQ(read.taskScore, 0);
  EXPECT_EQ(read.note, "");
  EXPECT_EQ(office.starts(), 1);

  // A legacy file that LibreOffice cannot import: the note of an answer
  // without points, as before.
  const fs::path damaged = folder.path() / "wdS1.doc";
  std::ofstream(damaged, std::ios::binary)
      << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << std::string(4096, 'x');
  const Mark unread = marker.markAnswer(Kind::kWordTest, damaged, key);
  EXPECT_EQ(unread.score, 0);
  EXPECT_EQ(unread.taskScore, 0);
  EXPECT_EQ(unread.note, kNoteNoPoints);
  EXPECT_EQ(office.starts(), 2);

  // Every read of the library converts anew: the second read that marking
  // once took to choose the note cost a second conversion.
  EXPECT_FALSE(marker.expectedPoints(Kind::kWordTest, tea).empty());
  EXPECT_EQ(office.starts(), 3);
}

// The LibreOffice that a worker keeps running through the library's
// interface is the one the library's readers convert with.
TEST(LegacyAnswers, AResidentOfficeConvertsEveryAnswerOfItsThread) {
  const fs::path soffice = scoring::officeProgram();
  if (soffice.empty()) GTEST_SKIP() << "LibreOffice is not installed";
  const scoring::PrivateFolder folder("bqmark-legacy-", {53, "test", "folder"});
  CountedOffice office(folder.path(), soffice);
  const std::vector<KeyPoint> key = {{"文本,答卷里没有这句话", Role::kTask, true}};
  const fs::path tea = fs::path(BQ_LEGACY_TESTDATA) / "tea.doc";
  {
    const scoring::ResidentOffice resident;
    EXPECT_TRUE(scoring::hasResidentOffice());
    Marker marker;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(marker.markAnswer(Kind::kWordTest, tea, key).note, "");
    EXPECT_EQ(office.starts(), 1);
  }
  EXPECT_FALSE(scoring::hasResidentOffice());
}

}  // namespace
}  // namespace bq::mark
