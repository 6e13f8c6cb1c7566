#include "platform/shell/shell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "common/automation_error.h"
#include "common/testing/scoped_env.h"
#include "common/text.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsAsTheWindowsRuntimeDoes) {
  const std::vector<std::pair<std::string, Words>> table = {
      {"", {}},
      {" \t ", {}},
      {"  prog  a\tb  ", {"prog", "a", "b"}},
      {R"("C:\Program Files\x.exe" a b)", {R"(C:\Program Files\x.exe)", "a", "b"}},
      {R"(C:\"Program Files"\x.exe)", {R"(C:\Program Files\x.exe)"}},
      {R"("C:\dir\" arg)", {R"(C:\dir\)", "arg"}},  // no escapes in the program word
      {R"(p C:\a\b.txt \\server\share)", {"p", R"(C:\a\b.txt)", R"(\\server\share)"}},
      {R"(p "two words" x"y z"w)", {"p", "two words", "xy zw"}},
      {R"(p a\"b a\\"b c" d)", {"p", R"(a"b)", R"(a\b c)", "d"}},
      {R"(p a\\\"b "c\\")", {"p", R"(a\"b)", R"(c\)"}},
      {R"(p "" "a""b")", {"p", "", R"(a"b)"}},
      {R"(p "unclosed quote)", {"p", "unclosed quote"}},
      {"p 题目.tg", {"p", "题目.tg"}},
  };
  for (const auto& [line, words] : table) EXPECT_EQ(splitCommandLine(line), words) << line;
}

using bq::testing::ScopedEnv;

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-shell-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    out_ = dir_ / "out";
    drives_.emplace("BQ_DRIVES", (dir_ / "drives").string());
    open_.emplace("BQ_OPEN", std::nullopt);
    browser_.emplace("BQ_BROWSER", std::nullopt);
    // Every started program writes its arguments, one a line, into out_.
    recorder_ = dir_ / "rec.sh";
    script(recorder_, "printf '%s\\n' \"$@\" > " + out_.string() + ".tmp && mv " + out_.string() +
                          ".tmp " + out_.string());
  }
  void TearDown() override {
    browser_.reset();
    open_.reset();
    drives_.reset();
    fs::remove_all(dir_);
  }

  // Writes an executable shell script.
  void script(const fs::path& path, const std::string& body, fs::perms perms = fs::perms(0755)) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, perms);
  }

  // The lines the recorder wrote, once it has written them (at most 10 s).
  std::optional<Words> recorded() {
    for (int i = 0; i < 1000; ++i) {
      if (fs::exists(out_)) {
        std::ifstream f(out_);
        Words lines;
        for (std::string line; std::getline(f, line);) lines.push_back(line);
        fs::remove(out_);
        return lines;
      }
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }

  static int32_t failure(const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  fs::path dir_;
  fs::path out_;
  fs::path recorder_;
  std::optional<ScopedEnv> drives_, open_, browser_;
};

TEST_F(Shell, RunReturnsWhileTheProgramRunsAndLeavesNoChildBehind) {
  // The program waits for a file that is created only after run() returned,
  // then reports its standard streams, its session and a descriptor of ours.
  const fs::path go = dir_ / "go";
  const fs::path prog = dir_ / "detached.sh";
  std::string body = R"(i=0
while [ ! -e @GO@ ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done
read -r pid comm state ppid pgrp sid rest < /proc/$$/stat
streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)
{ echo "$streams"; [ $sid != @SID@ ] && echo own-session
  [ -e /proc/$$/fd/200 ] && echo inherited || echo closed; } > @OUT@.tmp
mv @OUT@.tmp @OUT@)";
  body = replaceAll(body, "@GO@", go.string());
  body = replaceAll(body, "@SID@", std::to_string(getsid(0)));
  script(prog, replaceAll(body, "@OUT@", out_.string()));
  int leak = ::open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_EQ(dup2(leak, 200), 200);
  close(leak);

  run(prog.string());
  close(200);
  EXPECT_FALSE(fs::exists(out_)) << "run() waited for the program";
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was left to reap";
  EXPECT_EQ(errno, ECHILD);
  std::ofstream(go).put('x');
  EXPECT_EQ(recorded(), (Words{"/dev/null", "/dev/null", "/dev/null", "own-session", "closed"}));
}

TEST_F(Shell, RunMapsTheProgramPathAndDrivePathArguments) {
  script(dir_ / "drives" / "c" / "Tools Dir" / "Rec.sh", "exec " + recorder_.string() + " \"$@\"");
  run(R"("c:\TOOLS DIR\rec.sh" C:\Data\in.txt "two words" a\"b /already/native rel\x.txt d:\)");
  EXPECT_EQ(recorded(), (Words{(dir_ / "drives/c/Data/in.txt").string(), "two words", R"(a"b)",
                               "/already/native", R"(rel\x.txt)", (dir_ / "drives/d").string()}));

  // A program name without a path comes from PATH.
  ScopedEnv path("PATH", dir_.string() + ":/usr/bin:/bin");
  run("rec.sh from-path");
  EXPECT_EQ(recorded(), (Words{"from-path"}));
}

TEST_F(Shell, FailuresToStartAreReported) {
  std::ofstream(dir_ / "plain") << "text";
  std::ofstream(dir_ / "QuestionPane.exe") << "not executable yet";
  std::ofstream(dir_ / "garbage") << "\x01\x02 no format the kernel knows";
  fs::permissions(dir_ / "garbage", fs::perms(0755));
  script(dir_ / "nointerp.sh", "");
  std::ofstream(dir_ / "nointerp.sh") << "#!/nonexistent/interpreter\n";

  const std::vector<std::pair<std::string, int32_t>> table = {
      {"", 5},
      {"  \t", 5},
      {(dir_ / "missing.sh").string(), 53},
      {R"(C:\nowhere\prog.exe arg)", 53},
      {"bq-no-such-program-anywhere", 53},
      {(dir_ / "plain").string(), 70},
      {(dir_ / "QuestionPane.exe").string() + " bq1.tg", 70},
      {(dir_ / "nointerp.sh").string(), 53},  // found, but exec() cannot find the interpreter
      {(dir_ / "garbage").string(), 75},
  };
  for (const auto& [command, number] : table)
    EXPECT_EQ(failure([&] { run(command); }), number) << command;
}

TEST_F(Shell, DocumentsAndFoldersOpenWithTheOpener) {
  ScopedEnv opener("BQ_OPEN", recorder_.string() + "  --new-window ");
  const fs::path root = dir_ / "drives" / "c" / "bqoperation";
  fs::create_directories(root);
  std::ofstream(dir_ / "drives" / "c" / "wdbq1.doc") << "document";

  open(R"(C:\BqOperation)");
  EXPECT_EQ(recorded(), (Words{"--new-window", root.string()}));
  run(R"(Explorer.exe c:\BQOPERATION)");
  EXPECT_EQ(recorded(), (Words{"--new-window", root.string()}));
  run(R"(C:\WDBQ1.DOC)");
  EXPECT_EQ(recorded(), (Words{"--new-window", (dir_ / "drives/c/wdbq1.doc").string()}));
  run(R"(c:\bqoperation ignored words)");
  EXPECT_EQ(recorded(), (Words{"--new-window", root.string()}));

  EXPECT_EQ(failure([] { open(R"(C:\BqOperation\missing.doc)"); }), 53);
  EXPECT_EQ(failure([] { open(R"(C:\NoFolder\missing.doc)"); }), 76);
  EXPECT_EQ(failure([] { run(R"(Explorer.exe C:\NoFolder)"); }), 53);
  EXPECT_EQ(failure([] { open(""); }), 5);
  ScopedEnv broken("BQ_OPEN", (dir_ / "no-opener").string());
  EXPECT_EQ(failure([] { open(R"(C:\BqOperation)"); }), 53);
}

TEST_F(Shell, IexploreOpensTheExamBrowser) {
  ScopedEnv browser("BQ_BROWSER", recorder_.string() + " --page");
  run("IEXPLORE.EXE " + dir_.string() + R"(\Login.asp)");
  EXPECT_EQ(recorded(), (Words{"--page", (dir_ / "Login.asp").string()}));
  run(R"(iexplore.exe C:\Program Files\BQ\Login.asp)");
  EXPECT_EQ(recorded(), (Words{"--page", (dir_ / "drives/c/Program Files/BQ/Login.asp").string()}));
  run("IEXPLORE.EXE http://exam.local/a.asp?x=1&y=C:\\z");
  EXPECT_EQ(recorded(), (Words{"--page", "http://exam.local/a.asp?x=1&y=C:\\z"}));
  run("IEXPLORE.EXE");
  EXPECT_EQ(recorded(), (Words{"--page"}));
}

}  // namespace
}  // namespace bq::shell
