// The session routines against a real drives folder, the real registry file
// and real processes: copies of sleep(1) under the names the routines look
// for, started and reaped by the tests.
//
// The process tests end, like the routines they test, the processes whose
// names match (soffice.bin, IEXPLORE.EXE, BQTESTMY, QUESTIONPANE ...); as
// every test program, only among the processes they started themselves
// (common/testing/process_scope.cpp).
#include "webcom/session.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/shell/registry.h"
#include "platform/ui/recorder.h"
#include "platform/ui/ui.h"
#include "webcom/end_picture.h"
#include "webcom/frm_ftp.h"
#include "webcom/test_sleeper.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAdvanced =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void touch(const fs::path& p, const std::string& bytes = "x") {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Everything below `dir`: relative path to "<dir>" or the file's bytes.
std::map<std::string, std::string> tree(const fs::path& dir) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string rel = fs::relative(it->path(), dir).string();
    out[rel] = it->is_directory() ? std::string("<dir>") : slurp(it->path());
  }
  return out;
}

std::vector<std::string> names(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : winpath::listDirectory(dir)) out.push_back(e.name);
  return out;
}

// Calls `f` and returns the number of the AutomationError it throws, or 0.
template <typename F>
int32_t errorOf(F&& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-webcom-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    drives_ = dir_ / "drives";
    setenv("BQ_DRIVES", drives_.c_str(), 1);
    c_ = winpath::toNative("C:\\");
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_directory(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  fs::path dir_, drives_, c_;
};

// --- CreateOpDirs --------------------------------------------------------

TEST_F(Session, CreateOpDirsOnAnExistingFolderChangesNothing) {
  fs::create_directories(c_ / "BQTEST" / "old");
  touch(c_ / "BQTEST" / "keep.txt", "kept");
  const auto before = tree(drives_);
  // The folder is found without regard to case, as on Windows.
  CreateOpDirs("c:\\bqtest", "a\\,a\\b.txt");
  EXPECT_EQ(tree(drives_), before);
  EXPECT_FALSE(fs::exists(drives_ / "registry")) << "no registry write";
  EXPECT_EQ(shell::registry::getDword(kAdvanced, "HideFileExt"), std::nullopt);
}

TEST_F(Session, AnEmptyListMakesTheFolderAndTheBareRootAndShowsExtensions) {
  ASSERT_TRUE(shell::registry::setDword(kAdvanced, "HideFileExt", 1));
  CreateOpDirs("C:\\BQTEST", "");
  EXPECT_TRUE(fs::is_directory(c_ / "BQTEST"));
  EXPECT_TRUE(fs::is_directory(c_ / "BqOperation"));
  EXPECT_TRUE(fs::is_empty(c_ / "BQTEST"));
  EXPECT_TRUE(fs::is_empty(c_ / "BqOperation"));
  EXPECT_EQ(shell::registry::getDword(kAdvanced, "HideFileExt"), 0u);
}

TEST_F(Session, ListItemsAreMadeInOrderAsFoldersAndGreetingFiles) {
  // A root left from before is used as it is; a file of the list replaces
  // the one that stands there.
  fs::create_directories(c_ / "BqOperation" / "a");
  touch(c_ / "BqOperation" / "a" / "b.txt", "an older and longer content");
  CreateOpDirs("C:\\BQTEST", "a\\,a\\b.txt,,a\\,a\\c\\,a\\c\\d.doc");

  const fs::path root = c_ / "BqOperation";
  EXPECT_EQ(names(root), std::vector<std::string>{"a"});
  EXPECT_EQ(names(root / "a"), (std::vector<std::string>{"b.txt", "c"}));
  EXPECT_EQ(names(root / "a" / "c"), std::vector<std::string>{"d.doc"});
  const std::string greeting = toAnsi("岚屿克祝您好运！") + "\r\n";
  EXPECT_NE(greeting, std::string("岚屿克祝您好运！") + "\r\n") << "written in the ANSI code page";
  EXPECT_EQ(slurp(root / "a" / "b.txt"), greeting);
  EXPECT_EQ(slurp(root / "a" / "c" / "d.doc"), greeting);
  EXPECT_EQ(shell::registry::getDword(kAdvanced, "HideFileExt"), 0u);
}

TEST_F(Session, TheRootFollowsTheDriveOfCPath) {
  fs::create_directories(winpath::toNative("D:\\Exams\\2024"));
  CreateOpDirs("d:\\Exams\\2024\\Room 3", "x.txt");
  EXPECT_TRUE(fs::is_directory(drives_ / "d" / "Exams" / "2024" / "Room 3"));
  EXPECT_TRUE(fs::is_regular_file(drives_ / "d" / "BqOperation" / "x.txt"));
  EXPECT_FALSE(fs::exists(c_ / "BqOperation"));
  EXPECT_EQ(*OperationRoot("d:\\anything"), "d:\\BqOperation");
}

TEST_F(Session, AFailingStepEndsTheCallAndKeepsWhatWasDone) {
  struct Case {
    const char* cPath;
    const char* list;
    int32_t error;
    std::vector<const char*> made;     // below drive c, after the call
    std::vector<const char*> notMade;  // below drive c
  };
  const Case cases[] = {
      // The parent of cPath must exist: nothing at all is made.
      {"C:\\NoSuch\\BQTEST", "a\\", 76, {}, {"NoSuch", "BqOperation"}},
      {"", "a\\", 5, {}, {"BqOperation"}},
      // A list names parents before children.
      {"C:\\T1",
       "x\\,x\\y\\z\\,after.txt",
       76,
       {"T1", "BqOperation/x"},
       {"BqOperation/x/y", "BqOperation/after.txt"}},
      {"C:\\T2", "no\\such.txt", 76, {"T2", "BqOperation"}, {"BqOperation/no"}},
      // A file where a folder is to be made.
      {"C:\\T3", "f,f\\", 58, {"T3", "BqOperation/f"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cPath) + " " + c.list);
    fs::remove_all(c_ / "BqOperation");
    EXPECT_EQ(errorOf([&] { CreateOpDirs(c.cPath, c.list); }), c.error);
    for (const char* p : c.made) EXPECT_TRUE(fs::exists(c_ / p)) << p;
    for (const char* p : c.notMade) EXPECT_FALSE(fs::exists(c_ / p)) << p;
    EXPECT_EQ(shell::registry::getDword(kAdvanced, "HideFileExt"), std::nullopt);
  }
}

// The session creates and deletes only on the mapped drives: a page cannot
// reach the examinee's own folders through a POSIX path, nor through a link
// inside a drive that leads out of it.
TEST_F(Session, FoldersOffTheDrivesAreNeverCreatedNorCleared) {
  const fs::path home = dir_ / "home";
  fs::create_directories(home / "Documents" / "thesis");
  touch(home / "Documents" / "thesis" / "chapter1.doc");
  touch(home / "Documents" / "notes.txt");
  fs::create_directories(c_);
  fs::create_directory_symlink(home / "Documents", c_ / "BQTEST");
  fs::create_directories(c_ / "BqOperation");
  fs::create_directory_symlink(home, c_ / "BqOperation" / "out");
  const auto before = tree(home);

  for (const std::string& cPath :
       {(home / "Documents").string(), (home / "New").string(), std::string("relative\\BQTEST"),
        std::string("C:\\BQTEST"), std::string("C:\\BQTEST\\thesis\\x")}) {
    SCOPED_TRACE(cPath);
    PreTest(cPath);
    EXPECT_TRUE(fs::exists(c_ / "BqOperation")) << "nothing at all happens";
    EXPECT_EQ(errorOf([&] { CreateOpDirs(cPath, "a\\,b.txt"); }), 75);
    EXPECT_EQ(tree(home), before);
  }
  // Items through a link out of the drive are refused as well.
  EXPECT_EQ(errorOf([&] { CreateOpDirs("C:\\T1", "out\\made\\"); }), 75);
  EXPECT_EQ(errorOf([&] { CreateOpDirs("C:\\T2", "out\\made.txt"); }), 75);
  EXPECT_EQ(tree(home), before);
  EXPECT_TRUE(fs::is_directory(c_ / "T2"));
}

TEST_F(Session, ItemsThatWouldLeaveTheRootAreRefused) {
  const fs::path outside = dir_ / "outside";
  fs::create_directories(outside);
  const std::string escapes[] = {
      "..\\escape.txt",
      "a\\..\\..\\escape.txt",
      "..\\escape\\",
      "..",
      "C:\\escape.txt",
      "D:escape.txt",
      "\\escape.txt",
      "/escape.txt",
      (outside / "escape.txt").string(),
      "a/../../escape.txt",
  };
  int n = 0;
  for (const std::string& item : escapes) {
    SCOPED_TRACE(item);
    const std::string cPath = "C:\\T" + std::to_string(++n);
    EXPECT_EQ(errorOf([&] { CreateOpDirs(cPath, "first\\,a\\," + item + ",later.txt"); }), 75);
    // The items before it stay made; nothing of it or after it is.
    EXPECT_TRUE(fs::is_directory(c_ / "BqOperation" / "first"));
    EXPECT_FALSE(fs::exists(c_ / "BqOperation" / "later.txt"));
    EXPECT_FALSE(fs::exists(c_ / "escape.txt"));
    EXPECT_FALSE(fs::exists(c_ / "escape"));
    EXPECT_FALSE(fs::exists(drives_ / "d" / "escape.txt"));
    EXPECT_TRUE(fs::is_empty(outside));
  }
  EXPECT_EQ(shell::registry::getDword(kAdvanced, "HideFileExt"), std::nullopt);

  // Names that merely contain dots stay inside.
  CreateOpDirs("C:\\Dots", "..a\\,..a\\b..txt,.\\c.txt");
  EXPECT_TRUE(fs::is_regular_file(c_ / "BqOperation" / "..a" / "b..txt"));
  EXPECT_TRUE(fs::is_regular_file(c_ / "BqOperation" / "c.txt"));
}

// --- PreTest -------------------------------------------------------------

TEST_F(Session, PreTestWithoutTheFolderLeavesTheRoot) {
  fs::create_directories(c_ / "BqOperation" / "sub");
  touch(c_ / "NotAFolder");
  const auto before = tree(drives_);
  PreTest("C:\\NoSuch");
  PreTest("C:\\NotAFolder");
  PreTest("");
  EXPECT_EQ(tree(drives_), before);
}

TEST_F(Session, PreTestDeletesTheFolderTheRootAndEverythingInThem) {
  const fs::path t = c_ / "BQTEST";
  fs::create_directories(t / "sub" / "deeper");
  touch(t / "sub" / "deeper" / "f.doc");
  touch(t / "wtbq1.tg");
  touch(t / ".hidden");  // not listed, goes with the folder
  fs::create_directories(t / ".hiddenDir" / "x");
  // Read-only entries go too: a folder whose entries may not be changed, and
  // a file that may not be written.
  fs::create_directories(t / "ro" / "inner");
  touch(t / "ro" / "inner" / "r.txt");
  fs::permissions(t / "ro" / "inner" / "r.txt", fs::perms::owner_read);
  fs::permissions(t / "ro" / "inner", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(t / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  // Links are removed, never what they point to.
  const fs::path outside = dir_ / "outside";
  fs::create_directories(outside / "dir");
  touch(outside / "dir" / "precious");
  touch(outside / "file");
  fs::create_directory_symlink(outside / "dir", t / "linkToDir");
  fs::create_symlink(outside / "file", t / "linkToFile");
  fs::create_symlink(outside / "nothing", t / "dangling");
  fs::create_directories(c_ / "BqOperation" / "a");
  touch(c_ / "BqOperation" / "a" / "b.txt");
  touch(c_ / "Other.txt");

  PreTest("c:\\bqtest");
  EXPECT_FALSE(fs::exists(fs::symlink_status(t)));
  EXPECT_FALSE(fs::exists(c_ / "BqOperation"));
  EXPECT_TRUE(fs::exists(c_ / "Other.txt"));
  EXPECT_TRUE(fs::exists(outside / "dir" / "precious"));
  EXPECT_TRUE(fs::exists(outside / "file"));
}

TEST_F(Session, PreTestDeletesAFileThatAnotherProcessHoldsOpen) {
  const fs::path t = c_ / "BQTEST";
  fs::create_directories(t / "sub");
  touch(t / "held.doc", "in use");
  touch(t / "sub" / "other.xls");
  Sleeper holder(dir_, "holder", t / "held.doc");
  PreTest("C:\\BQTEST");
  EXPECT_TRUE(holder.running());
  EXPECT_FALSE(fs::exists(t));
}

// A folder on which a file system is mounted cannot be removed, whoever asks.
// Mounting needs a mount namespace of our own: the test gets one, as root or
// through a user namespace, and skips where neither is allowed.
bool privateMountNamespace(std::string& why) {
  if (unshare(CLONE_NEWNS) != 0) {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      why = std::string("no mount namespace: ") + strerror(errno);
      return false;
    }
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    why = std::string("cannot make mounts private: ") + strerror(errno);
    return false;
  }
  return true;
}

TEST_F(Session, PreTestGoesOnPastAnEntryThatCannotBeRemoved) {
  const fs::path t = c_ / "BQTEST";
  fs::create_directories(t / "a_first");
  fs::create_directories(t / "m_mounted");
  fs::create_directories(t / "z_last");
  touch(t / "a_first" / "f");
  touch(t / "z_last" / "f");
  touch(t / "file.txt");
  fs::create_directories(c_ / "BqOperation");
  std::string why;
  if (!privateMountNamespace(why)) GTEST_SKIP() << why;
  if (mount("tmpfs", (t / "m_mounted").c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs: " << strerror(errno);
  touch(t / "m_mounted" / "inside");

  PreTest("C:\\BQTEST");
  EXPECT_EQ(names(t), std::vector<std::string>{"m_mounted"});
  EXPECT_TRUE(fs::is_empty(t / "m_mounted")) << "its entries went";
  EXPECT_FALSE(fs::exists(c_ / "BqOperation")) << "the root is deleted all the same";
  umount2((t / "m_mounted").c_str(), MNT_DETACH);
}

TEST_F(Session, PreTestNeverClearsADriveOrTheDrivesFolder) {
  fs::create_directories(c_ / "Windows");
  touch(c_ / "Windows" / "win.ini");
  fs::create_directories(c_ / "BqOperation" / "a");
  PreTest("C:\\");
  EXPECT_TRUE(fs::exists(c_ / "Windows" / "win.ini"));
  EXPECT_FALSE(fs::exists(c_ / "BqOperation")) << "the operation root still goes";

  fs::create_directories(c_ / "BqOperation");
  PreTest("C:");
  EXPECT_TRUE(fs::exists(c_ / "Windows" / "win.ini"));
  EXPECT_FALSE(fs::exists(c_ / "BqOperation"));

  fs::create_directories(c_ / "BqOperation");
  fs::create_directories(drives_ / "registry");
  const auto before = tree(dir_);
  PreTest(drives_.string());
  PreTest((drives_ / "registry" / "..").string());
  PreTest(dir_.string());  // a folder above the drives folder
  EXPECT_EQ(tree(dir_), before);
}

// The mapping allows a drive's folder to be a symbolic link to a real folder;
// the drive's root is still never cleared, whether named as such or reached
// through a link inside the drive that leads back to it.
TEST_F(Session, PreTestNeverClearsADriveWhoseFolderIsALink) {
  const fs::path real = dir_ / "real-c";
  fs::create_directories(real / "Windows");
  touch(real / "Windows" / "win.ini");
  touch(real / "boot.ini");
  fs::create_directory_symlink(real, real / "Loop");
  fs::remove(drives_ / "c");  // made empty by the fixture
  fs::create_directory_symlink(real, drives_ / "c");

  for (const char* cPath : {"C:\\", "C:", "c:\\Windows\\..", "C:\\Loop", "C:\\Loop\\."}) {
    SCOPED_TRACE(cPath);
    fs::create_directories(real / "BqOperation" / "a");
    PreTest(cPath);
    EXPECT_TRUE(fs::exists(real / "Windows" / "win.ini"));
    EXPECT_TRUE(fs::exists(real / "boot.ini"));
    EXPECT_TRUE(fs::is_symlink(drives_ / "c")) << "the drive's own link stays";
    EXPECT_TRUE(fs::is_symlink(real / "Loop"));
    EXPECT_FALSE(fs::exists(real / "BqOperation")) << "the operation root still goes";
  }

  // A folder on the linked drive is cleared as on any other.
  fs::create_directories(real / "BQTEST" / "sub");
  touch(real / "BQTEST" / "sub" / "f.doc");
  PreTest("C:\\BQTEST");
  EXPECT_FALSE(fs::exists(real / "BQTEST"));
  EXPECT_TRUE(fs::exists(real / "boot.ini"));
}

// --- Ending processes ----------------------------------------------------

TEST_F(Session, EndProcessesByNameEndsEveryNameThatContainsItWhateverTheCase) {
  ProcessNamesLock lock;
  Sleeper excel(dir_, "EXCEL.EXE");
  Sleeper myExcel(dir_, "myExcel.exe");
  Sleeper office(dir_, "soffice.bin");
  Sleeper word(dir_, "WORD.EXE");
  Sleeper excelish(dir_, "EXCEL");  // does not contain "EXCEL.EXE"
  EndProcessesByName("Excel.exe");
  EXPECT_TRUE(excel.wasKilled());
  EXPECT_TRUE(myExcel.wasKilled());
  EXPECT_TRUE(office.wasKilled()) << "LibreOffice stands in for Excel";
  EXPECT_TRUE(word.running());
  EXPECT_TRUE(excelish.running());
}

// A process this test did not start (here: one whose parent has gone, as a
// developer's own LibreOffice or viewer) is never ended by a test, whatever
// its name.
TEST_F(Session, ATestEndsOnlyTheProcessesItStarted) {
  ProcessNamesLock lock;
  const fs::path exe = dir_ / "EXCEL.EXE";
  fs::copy_file("/bin/sleep", exe);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t middle = fork();
  ASSERT_GE(middle, 0);
  if (middle == 0) {
    // The middle process starts the stranger and leaves it an orphan.
    std::string arg0 = exe.string(), seconds = "120";
    char* argv[] = {arg0.data(), seconds.data(), nullptr};
    pid_t stranger = -1;
    posix_spawn(&stranger, exe.c_str(), nullptr, nullptr, argv, environ);
    (void)!write(pipeFds[1], &stranger, sizeof stranger);
    _exit(0);
  }
  pid_t stranger = -1;
  ASSERT_EQ(read(pipeFds[0], &stranger, sizeof stranger), static_cast<ssize_t>(sizeof stranger));
  close(pipeFds[0]);
  close(pipeFds[1]);
  waitpid(middle, nullptr, 0);
  ASSERT_GT(stranger, 0);
  // Its exec done, it runs under the name the test looks for.
  const fs::path link = "/proc/" + std::to_string(stranger) + "/exe";
  for (int i = 0; i < 1000; ++i) {
    std::error_code ec;
    if (fs::read_symlink(link, ec).filename() == "EXCEL.EXE") break;
    usleep(5000);
  }
  Sleeper own(dir_, "EXCEL.EXE");
  EndProcessesByName("Excel.exe");
  EXPECT_TRUE(own.wasKilled());
  // Ended, it would be a zombie of whoever adopted it, or gone.
  std::ifstream stat("/proc/" + std::to_string(stranger) + "/stat");
  std::string fields;
  std::getline(stat, fields);
  const size_t close = fields.rfind(')');
  ASSERT_NE(close, std::string::npos) << "a process the test did not start was ended";
  EXPECT_EQ(fields.substr(close + 2, 1), "S") << "a process the test did not start was ended";
  kill(stranger, SIGKILL);  // started by this test after all
}

TEST_F(Session, TermProcEndsTheQuestionViewers) {
  ProcessNamesLock lock;
  TermProc();  // none running: nothing to do, no error
  Sleeper viewer(dir_, "QuestionPane.exe");
  Sleeper linuxViewer(dir_, "questionpane");
  Sleeper other(dir_, "Question.exe");
  TermProc();
  EXPECT_TRUE(viewer.wasKilled());
  EXPECT_TRUE(linuxViewer.wasKilled());
  EXPECT_TRUE(other.running());
}

TEST(ProcessesToEnd, TheProcessTableHoldsAtMost32768Rows) {
  std::vector<shell::ProcessEntry> table;
  for (int pid = 1; pid <= 32768; ++pid)
    table.push_back({pid, pid == 32768 ? "iexplore.exe" : "bash"});
  EXPECT_EQ(ProcessesToEnd(table, "IEXPLORE.EXE"), std::vector<int>{32768});
  table.push_back({32769, "iexplore.exe"});
  EXPECT_EQ(errorOf([&] { ProcessesToEnd(table, "IEXPLORE.EXE"); }), 6);
  EXPECT_TRUE(ProcessesToEnd({{1, "bash"}, {2, "x"}}, "").empty()) << "an empty name ends nothing";
}

// --- EndTest -------------------------------------------------------------

TEST_F(Session, EndTestShowsThePictureAndItsDoubleClickEndsTheBrowser) {
  ProcessNamesLock lock;
  Sleeper browser(dir_, "IEXPLORE.EXE");
  Sleeper bystander(dir_, "notepad.exe");
  auto rec = std::make_shared<ui::Recorder>();
  rec->actOnWindow(ui::Recorder::WindowAction::kDoubleClick);
  ui::ScopedBackend scope(rec);

  EndTest("C:\\BQTEST");
  ASSERT_EQ(rec->shown().size(), 1u);
  const auto& w = rec->shown()[0];
  EXPECT_EQ(w.kind, ui::Recorder::Kind::kWindow);
  EXPECT_EQ(w.title, "考试结束");
  EXPECT_EQ(w.width, 480);
  EXPECT_EQ(w.height, 300);
  EXPECT_EQ(w.end, ui::Recorder::WindowEnd::kClosedByHandler);
  EXPECT_TRUE(browser.wasKilled());
  EXPECT_TRUE(bystander.running());
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded()) << "the double-click unloads the form";

  // Closed by other means, the window ends nothing; the next EndTest loads the form again.
  Sleeper second(dir_, "IEXPLORE.EXE");
  rec->actOnWindow(ui::Recorder::WindowAction::kClose);
  EndTest("");
  EXPECT_EQ(rec->shown().at(1).end, ui::Recorder::WindowEnd::kClosedByUser);
  EXPECT_TRUE(second.running());
}

TEST_F(Session, EndTestWithoutADisplayFails) {
  ProcessNamesLock lock;
  ui::setBackend(nullptr);
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(v);
  Sleeper browser(dir_, "IEXPLORE.EXE");
  EXPECT_EQ(errorOf([] { EndTest("C:\\BQTEST"); }), 429);
  EXPECT_TRUE(browser.running());

  // A back end that cannot show windows fails the same way.
  auto rec = std::make_shared<ui::Recorder>();
  rec->actOnWindow(ui::Recorder::WindowAction::kThrow);
  ui::ScopedBackend scope(rec);
  EXPECT_EQ(errorOf([] { EndTest("C:\\BQTEST"); }), 429);
  EXPECT_TRUE(browser.running());
}

}  // namespace
}  // namespace bq
