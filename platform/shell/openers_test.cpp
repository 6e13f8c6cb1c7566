#include "platform/shell/openers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <optional>
#include <thread>
#include <tuple>

#include "common/automation_error.h"
#include "common/testing/scoped_env.h"
#include "platform/shell/shell.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;
using bq::testing::ScopedEnv;
using Words = std::vector<std::string>;

// A private folder with a PATH of its own holding only the programs a test
// puts there, so the machine's own xdg-open or file manager is never found.
class Openers : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-openers-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directories(bin());
    env_.emplace_back("PATH", bin().string());
    env_.emplace_back("BQ_OPEN", std::nullopt);
    env_.emplace_back("BQ_BROWSER", std::nullopt);
    env_.emplace_back("BQ_SOFFICE", std::nullopt);
    env_.emplace_back("XDG_CURRENT_DESKTOP", std::nullopt);
    env_.emplace_back("DESKTOP_SESSION", std::nullopt);
    env_.emplace_back("BQ_DRIVES", (dir_ / "drives").string());
    // LibreOffice's exam profile in the test's folder, never the user's.
    env_.emplace_back("BQ_OFFICE_PROFILE", (dir_ / "profile").string());
  }
  void TearDown() override {
    env_.clear();
    fs::remove_all(dir_);
  }

  fs::path bin() const { return dir_ / "bin"; }

  // An executable script that writes its arguments, one a line, into out.
  fs::path program(const fs::path& path) {
    fs::create_directories(path.parent_path());
    const fs::path out = dir_ / "out";
    std::ofstream(path) << "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s\\n' \"$@\" > " << out
                        << ".tmp && mv " << out << ".tmp " << out << "\n";
    fs::permissions(path, fs::perms(0755));
    return path;
  }

  fs::path file(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // The lines a started program wrote (at most 10 s).
  std::optional<Words> recorded() {
    const fs::path out = dir_ / "out";
    for (int i = 0; i < 1000; ++i) {
      if (fs::exists(out)) {
        std::ifstream f(out);
        Words lines;
        for (std::string line; std::getline(f, line);) lines.push_back(line);
        fs::remove(out);
        return lines;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

  static std::optional<AutomationError> failure(const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return e;
    }
    return std::nullopt;
  }

  fs::path dir_;
  std::list<ScopedEnv> env_;
};

// A zip local header followed by `rest` (enough for the content test).
std::string zip(const std::string& rest) { return std::string("PK\x03\x04", 4) + rest; }

TEST_F(Openers, OfficeDocumentsAreKnownByNameOrContent) {
  const std::string ole2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 compound file", 22);
  const std::vector<std::tuple<std::string, std::string, bool>> table = {
      {"wdbq1.doc", "anything", true},
      {"EXBQ1.XLS", "", true},
      {"pptbq1.PPTX", "", true},
      {"notes.odt", "", true},
      {"answer", zip("docProps/core.xml ... word/document.xml ... [Content_Types].xml"), true},
      {"answer.bin", ole2, true},
      {"answer.dat", zip(std::string("mimetype", 8) + "application/vnd.oasis.opendocument.text"),
       true},
      {"letter", "{\\rtf1\\ansi hello}", true},
      {"photos.zip", zip("a.jpg b.jpg"), false},
      {"readme.txt", "[Content_Types].xml mentioned in a text", false},
      {"empty", "", false},
  };
  for (const auto& [name, content, office] : table)
    EXPECT_EQ(isOfficeDocument(file("t/" + name, content)), office) << name;
  // A zip whose part names lie beyond the first 64 KiB (a large first part).
  EXPECT_TRUE(isOfficeDocument(
      file("big", zip(std::string(200 * 1024, 'x') + "[Content_Types].xml" + "end"))));
  EXPECT_FALSE(isOfficeDocument(dir_ / "missing"));
  EXPECT_TRUE(isOfficeDocument(dir_ / "missing.docx"));
  EXPECT_FALSE(isOfficeDocument(dir_ / "t"));
}

TEST_F(Openers, EachKindTakesTheFirstInstalledProgramOfTheTable) {
  const fs::path doc = file("wdbq1.doc", zip("[Content_Types].xml"));
  const fs::path text = file("notes.txt", "text");
  const std::string folder = (dir_ / "t").string();
  fs::create_directories(folder);
  const fs::path soffice = program(dir_ / "lo" / "soffice");
  ScopedEnv lo("BQ_SOFFICE", soffice.string());

  // Nothing of the desktop: Office documents go to LibreOffice, on the
  // exam's own profile.
  ScopedEnv profile("BQ_OFFICE_PROFILE", (dir_ / "exam profile").string());
  const std::string onExamProfile =
      "-env:UserInstallation=file://" + dir_.string() + "/exam%20profile";
  ProgramCommand c = openerFor(OpenKind::kDocument, doc.string());
  EXPECT_EQ(c.program, soffice);
  EXPECT_EQ(c.args, (Words{soffice.string(), onExamProfile, doc.string()}));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "exam profile" / "user" / "registrymodifications.xcu"));

  // A file manager, in the table's order.
  program(bin() / "thunar");
  EXPECT_EQ(openerFor(OpenKind::kFolder, folder).args, (Words{"thunar", folder}));
  program(bin() / "pcmanfm");
  EXPECT_EQ(openerFor(OpenKind::kFolder, folder).args, (Words{"pcmanfm", folder}));
  // xdg-open outside a desktop session: only for what the table has nothing for.
  program(bin() / "xdg-open");
  EXPECT_EQ(openerFor(OpenKind::kFolder, folder).args, (Words{"pcmanfm", folder}));
  EXPECT_EQ(openerFor(OpenKind::kDocument, doc.string()).program, soffice);
  EXPECT_EQ(openerFor(OpenKind::kDocument, text.string()).args, (Words{"xdg-open", text.string()}));
  // In a desktop session the desktop's opener comes first, but for Office
  // documents, which keep to the exam's LibreOffice.
  {
    ScopedEnv session("XDG_CURRENT_DESKTOP", "LXDE");
    EXPECT_EQ(openerFor(OpenKind::kFolder, folder).args, (Words{"xdg-open", folder}));
    EXPECT_EQ(openerFor(OpenKind::kDocument, text.string()).args,
              (Words{"xdg-open", text.string()}));
    EXPECT_EQ(openerFor(OpenKind::kDocument, doc.string()).args,
              (Words{soffice.string(), onExamProfile, doc.string()}));
  }

  // $BQ_OPEN before everything, its words split at blanks.
  ScopedEnv opener("BQ_OPEN", "  " + (bin() / "thunar").string() + "   --tab ");
  EXPECT_EQ(openerFor(OpenKind::kDocument, doc.string()).args,
            (Words{(bin() / "thunar").string(), "--tab", doc.string()}));
  EXPECT_EQ(openerFor(OpenKind::kFolder, folder).program, bin() / "thunar");

  // Web pages: $BQ_BROWSER, else the exam client in browser mode.
  const fs::path client = program(bin() / "BqTestMy");
  EXPECT_EQ(openerFor(OpenKind::kWebPage, "/p/Login.asp").args,
            (Words{client.string(), "--browse", "/p/Login.asp"}));
  EXPECT_EQ(openerFor(OpenKind::kWebPage, "").args, (Words{client.string(), "--browse"}));
  ScopedEnv browser("BQ_BROWSER", "firefox-esr --new-window");
  program(bin() / "firefox-esr");
  EXPECT_EQ(openerFor(OpenKind::kWebPage, "http://exam/a.asp").args,
            (Words{"firefox-esr", "--new-window", "http://exam/a.asp"}));
}

TEST_F(Openers, NothingToOpenWithSaysWhatToInstall) {
  const fs::path text = file("notes.txt", "text");
  const fs::path soffice = program(dir_ / "lo" / "soffice");
  ScopedEnv lo("BQ_SOFFICE", soffice.string());
  const std::vector<
      std::tuple<OpenKind, std::string, std::optional<std::string>, int32_t, std::string>>
      table = {
          {OpenKind::kDocument, text.string(), std::nullopt, 53,
           "File not found: no program is installed to open " + text.string() +
               " (install xdg-utils on a desktop, or set BQ_OPEN)"},
          {OpenKind::kFolder, dir_.string(), std::nullopt, 53,
           "File not found: no file manager is installed to open the folder " + dir_.string() +
               " (install one, such as Debian's pcmanfm, or xdg-utils on a desktop; or set "
               "BQ_OPEN)"},
          {OpenKind::kWebPage, "/p/Login.asp", std::nullopt, 53,
           "File not found: the exam client BqTestMy, which shows /p/Login.asp, is neither "
           "beside this program nor in PATH (or set BQ_BROWSER)"},
          {OpenKind::kDocument, text.string(), "no-such-opener -x", 53,
           "File not found: no-such-opener ($BQ_OPEN)"},
          {OpenKind::kFolder, dir_.string(), text.string(), 70,
           "Permission denied: " + text.string() + " ($BQ_OPEN)"},
      };
  for (const auto& [kind, target, bqOpen, number, text] : table) {
    ScopedEnv opener("BQ_OPEN", bqOpen);
    const std::optional<AutomationError> e = failure([&] { openerFor(kind, target); });
    ASSERT_TRUE(e) << target;
    EXPECT_EQ(e->number(), number) << target;
    EXPECT_EQ(e->description(), text);
  }
}

TEST_F(Openers, TheShellOpensThroughTheTable) {
  // The open button's three commands, on a machine with LibreOffice, a file
  // manager and the exam client but no desktop opener.
  const fs::path soffice = program(dir_ / "lo" / "soffice");
  ScopedEnv lo("BQ_SOFFICE", soffice.string());
  program(bin() / "pcmanfm");
  const fs::path client = program(bin() / "BqTestMy");
  const fs::path work = dir_ / "drives" / "c" / "bqtest";
  fs::create_directories(dir_ / "drives" / "c" / "BqOperation");
  file("drives/c/bqtest/wdbq1.doc", zip("[Content_Types].xml"));

  run(R"(c:\bqtest\wdbq1.doc)");
  EXPECT_EQ(recorded(), (Words{"-env:UserInstallation=file://" + (dir_ / "profile").string(),
                               (work / "wdbq1.doc").string()}));
  run(R"(Explorer.exe c:\BqOperation)");
  EXPECT_EQ(recorded(), (Words{(dir_ / "drives/c/BqOperation").string()}));
  run("IEXPLORE.EXE " + dir_.string() + R"(\Login.asp)");
  EXPECT_EQ(recorded(), (Words{"--browse", (dir_ / "Login.asp").string()}));

  // What cannot be started is named in the error.
  fs::remove(client);
  const std::vector<std::pair<std::string, std::string>> failures = {
      {"bq-no-such-program-anywhere a b", "File not found: bq-no-such-program-anywhere"},
      {R"(C:\nowhere\prog.exe arg)", R"(File not found: C:\nowhere\prog.exe)"},
      {"IEXPLORE.EXE",
       "File not found: the exam client BqTestMy, which shows (nothing), is "
       "neither beside this program nor in PATH (or set BQ_BROWSER)"}};
  for (const auto& [command, text] : failures) {
    const std::optional<AutomationError> e = failure([&] { run(command); });
    ASSERT_TRUE(e) << command;
    EXPECT_EQ(e->description(), text);
  }
}

}  // namespace
}  // namespace bq::shell
