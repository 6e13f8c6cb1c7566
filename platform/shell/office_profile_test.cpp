#include "platform/shell/office_profile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "common/automation_error.h"
#include "common/testing/scoped_env.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;
using bq::testing::ScopedEnv;

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string readText(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ExamOfficeProfile, SettingsAreMergedIntoWhatLibreOfficeKeeps) {
  const std::string fresh = examProfileSettings("", "7.4", 1765000000, 0);
  EXPECT_TRUE(fresh.starts_with("<?xml")) << fresh;
  EXPECT_TRUE(fresh.ends_with("</oor:items>\n"));
  for (const char* item :
       {"<item oor:path=\"/org.openoffice.Office.Common/Save/Document\"><prop "
        "oor:name=\"WarnAlienFormat\" oor:op=\"fuse\"><value>false</value></prop></item>",
        "oor:name=\"ShowTipOfTheDay\" oor:op=\"fuse\"><value>false</value>",
        "oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>7.4</value>",
        "oor:name=\"LastTimeDonateShown\" oor:op=\"fuse\"><value>1765000000</value>",
        "<item oor:path=\"/org.openoffice.Office.Recovery/AutoSave\"><prop oor:name=\"Enabled\" "
        "oor:op=\"fuse\"><value>true</value>",
        "oor:name=\"UserAutoSaveEnabled\" oor:op=\"fuse\"><value>false</value>"})
    EXPECT_NE(fresh.find(item), std::string::npos) << item;
  EXPECT_EQ(fresh.find("TimeIntervall"), std::string::npos);

  // What LibreOffice or the user keeps stays; ours replace their old values,
  // once, however often the profile is prepared.
  const std::string kept =
      "<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"ooSetupConnectionURL\" "
      "oor:op=\"fuse\"><value>pipe,name=x;urp;</value></prop></item>";
  std::string old = fresh;
  old.replace(old.find("<value>false</value>"), 20, "<value>true</value>");  // WarnAlienFormat
  old.insert(old.find("</oor:items>"), kept + "\n");
  std::string merged = examProfileSettings(old, "7.4", 1765000100, 15);
  merged = examProfileSettings(merged, "", 1765000200, 15);
  EXPECT_NE(merged.find(kept), std::string::npos);
  EXPECT_EQ(count(merged, "WarnAlienFormat"), 1u);
  EXPECT_NE(merged.find("WarnAlienFormat\" oor:op=\"fuse\"><value>false"), std::string::npos);
  EXPECT_EQ(count(merged, "LastTimeDonateShown"), 1u);
  EXPECT_NE(merged.find("<value>1765000200</value>"), std::string::npos);
  EXPECT_NE(merged.find("ooSetupLastVersion\" oor:op=\"fuse\"><value>7.4"), std::string::npos);
  EXPECT_NE(merged.find("UserAutoSaveEnabled\" oor:op=\"fuse\"><value>true"), std::string::npos);
  EXPECT_NE(merged.find("TimeIntervall\" oor:op=\"fuse\"><value>15"), std::string::npos);
  EXPECT_EQ(count(merged, "<oor:items"), 1u);
  EXPECT_EQ(count(merged, "</oor:items>"), 1u);
  // A damaged file is made anew.
  EXPECT_EQ(examProfileSettings("<oor:items", "7.4", 1765000000, 0), fresh);
}

TEST(ExamOfficeProfile, PreparedBesideTheClientsStateWithTheInstalledVersion) {
  char tmpl[] = "/tmp/bq-profile-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  // An installation of its own: program/soffice and share/registry/main.xcd.
  fs::create_directories(dir / "lo" / "program");
  fs::create_directories(dir / "lo" / "share" / "registry");
  std::ofstream(dir / "lo" / "program" / "soffice") << "#!/bin/sh\n";
  std::ofstream(dir / "lo" / "share" / "registry" / "main.xcd")
      << "<prop oor:name=\"ooSetupVersion\" oor:type=\"xs:string\"/>\n"
         "<prop oor:name=\"ooSetupVersion\">\n  <value>7.6</value>\n</prop>\n";
  EXPECT_EQ(libreOfficeVersion(dir / "lo" / "program" / "soffice"), "7.6");
  EXPECT_EQ(libreOfficeVersion(dir / "none" / "soffice"), "");

  ScopedEnv profile("BQ_OFFICE_PROFILE", std::nullopt);
  ScopedEnv state("XDG_STATE_HOME", (dir / "state").string());
  ScopedEnv autosave("BQ_OFFICE_AUTOSAVE_MINUTES", "5");
  EXPECT_EQ(examOfficeProfile(), dir / "state" / "brightquill" / "libreoffice");
  const fs::path made = prepareExamOfficeProfile(dir / "lo" / "program" / "soffice");
  EXPECT_EQ(made, examOfficeProfile());
  const std::string text = readText(made / "user" / "registrymodifications.xcu");
  EXPECT_NE(text.find("<value>7.6</value>"), std::string::npos);
  EXPECT_NE(text.find("TimeIntervall\" oor:op=\"fuse\"><value>5"), std::string::npos);
  {
    ScopedEnv own("BQ_OFFICE_PROFILE", (dir / "own profile").string());
    EXPECT_EQ(examOfficeProfile(), dir / "own profile");
  }
  // A folder that cannot be made is an error the opener can fall back from.
  std::ofstream(dir / "file") << "x";
  ScopedEnv blocked("BQ_OFFICE_PROFILE", (dir / "file" / "profile").string());
  EXPECT_THROW(prepareExamOfficeProfile(dir / "lo" / "program" / "soffice"), AutomationError);
  fs::remove_all(dir);
}

TEST(ExamOfficeProfile, FileUrlEncodesWhatAUrlCannotHold) {
  EXPECT_EQ(fileUrl("/home/stu/.local/state/brightquill/libreoffice"),
            "file:///home/stu/.local/state/brightquill/libreoffice");
  EXPECT_EQ(fileUrl("/tmp/a b/考生#1"), "file:///tmp/a%20b/%E8%80%83%E7%94%9F%231");
}

}  // namespace
}  // namespace bq::shell
