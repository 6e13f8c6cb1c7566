#include "platform/ui/common_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "common/automation_error.h"
#include "platform/ui/recorder.h"

namespace bq::ui {
namespace {

namespace fs = std::filesystem;

// Restores the process's current folder, which a confirmed dialog changes.
class KeepCurrentFolder {
 public:
  KeepCurrentFolder() : saved_(fs::current_path()) {}
  ~KeepCurrentFolder() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

TEST(DialogFilter, ParsesDescriptionsAndPatterns) {
  struct Case {
    std::string filter;
    std::vector<FilterItem> items;
  };
  const Case cases[] = {
      {"", {}},
      {"描述|*.txt", {{"描述", {"*.txt"}}}},
      {"Word|*.doc; *.docx|All|*.*", {{"Word", {"*.doc", "*.docx"}}, {"All", {"*.*"}}}},
      {"Lonely", {{"Lonely", {"*"}}}},
      {"A|*.a|B", {{"A", {"*.a"}}, {"B", {"*"}}}},
  };
  for (const Case& c : cases) {
    const std::vector<FilterItem> got = parseFilter(c.filter);
    ASSERT_EQ(got.size(), c.items.size()) << c.filter;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].description, c.items[i].description) << c.filter;
      EXPECT_EQ(got[i].patterns, c.items[i].patterns) << c.filter;
    }
  }
}

TEST(FileDialog, ConfirmedChoiceSetsFileNameAndCurrentFolder) {
  KeepCurrentFolder keep;
  const fs::path dir = fs::temp_directory_path() / ("bq_dialog_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  auto rec = std::make_shared<Recorder>();
  rec->answerFileDialog((dir / "answer.txt").string());
  ScopedBackend scope(rec);
  FileDialog d;
  d.DialogTitle("保存");
  d.Filter("文本|*.txt");
  d.FileName("start.txt");
  d.CancelError(true);
  d.ShowSave();
  EXPECT_EQ(d.FileName(), (dir / "answer.txt").string());
  EXPECT_EQ(fs::current_path(), fs::canonical(dir));
  ASSERT_EQ(rec->shown().size(), 1u);
  const Recorder::Shown& s = rec->shown()[0];
  EXPECT_EQ(s.kind, Recorder::Kind::kFileDialog);
  EXPECT_TRUE(s.save);
  EXPECT_EQ(s.title, "保存");
  EXPECT_EQ(s.filter, "文本|*.txt");
  EXPECT_EQ(s.defaultText, "start.txt");
  fs::remove_all(dir);
}

TEST(FileDialog, NoChangeDirKeepsTheCurrentFolder) {
  KeepCurrentFolder keep;
  const fs::path before = fs::current_path();
  auto rec = std::make_shared<Recorder>();
  rec->answerFileDialog("/tmp/x.txt");
  ScopedBackend scope(rec);
  FileDialog d;
  d.Flags(cdlOFNNoChangeDir);
  d.ShowOpen();
  EXPECT_EQ(d.FileName(), "/tmp/x.txt");
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_FALSE(rec->shown().at(0).save);
}

TEST(FileDialog, CancelRaisesTheCancelErrorOnlyWhenAskedTo) {
  auto rec = std::make_shared<Recorder>();
  rec->answerFileDialog(std::nullopt);
  rec->answerFileDialog(std::nullopt);
  ScopedBackend scope(rec);
  FileDialog d;
  d.FileName("kept.txt");
  d.ShowOpen();  // no error without CancelError
  EXPECT_EQ(d.FileName(), "kept.txt");
  d.CancelError(true);
  try {
    d.ShowOpen();
    FAIL() << "no cancel error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kCancelSelected);
    EXPECT_EQ(e.description(), "Cancel was selected.");
  }
  EXPECT_EQ(d.FileName(), "kept.txt");
}

TEST(FileDialog, ConsoleConfirmsTheInitialNameAndCancelsWithoutOne) {
  KeepCurrentFolder keep;
  FileDialog d;
  d.Flags(cdlOFNNoChangeDir);
  d.CancelError(true);
  d.FileName("relative.txt");
  d.ShowSave();
  EXPECT_EQ(d.FileName(), (fs::current_path() / "relative.txt").string());
  d.FileName("");
  EXPECT_THROW(d.ShowSave(), AutomationError);
}

}  // namespace
}  // namespace bq::ui
