#include "platform/shell/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/automation_error.h"

namespace bq::shell::registry {
namespace {

namespace fs = std::filesystem;

const std::string kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-registry-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    if (const char* old = getenv("BQ_DRIVES")) oldDrives_ = old;
    setenv("BQ_DRIVES", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (oldDrives_) {
      setenv("BQ_DRIVES", oldDrives_->c_str(), 1);
    } else {
      unsetenv("BQ_DRIVES");
    }
    fs::remove_all(dir_);
  }
  fs::path file() const { return dir_ / "registry" / "HKCU.json"; }
  void store(const std::string& text) {
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << text;
  }
  std::string stored() const {
    std::ifstream f(file(), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  fs::path dir_;
  std::optional<std::string> oldDrives_;
};

TEST_F(Registry, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  EXPECT_EQ(getDword(kAdvanced, "HideFileExt"), std::nullopt) << "no file yet";
  ASSERT_TRUE(setDword(kAdvanced, "HideFileExt", 1));
  ASSERT_TRUE(setDword("\\SOFTWARE\\microsoft\\windows\\currentversion\\explorer\\advanced\\",
                       "HIDEFILEEXT", 0));
  ASSERT_TRUE(setDword(kAdvanced, "Größe", 0xFFFFFFFFu));
  ASSERT_TRUE(setDword("Software\\Other", "HideFileExt", 5));

  EXPECT_EQ(getDword(kAdvanced, "hidefileext"), 0u) << "overwritten through other spellings";
  EXPECT_EQ(getDword(kAdvanced, "GRÖSSE"), std::nullopt)
      << "simple case mapping: ß has no upper case";
  EXPECT_EQ(getDword(kAdvanced, "GRÖßE"), 0xFFFFFFFFu);
  EXPECT_EQ(getDword("software\\other", "HideFileExt"), 5u);
  EXPECT_EQ(getDword(kAdvanced, "ShowSuperHidden"), std::nullopt);
  EXPECT_EQ(getDword("Software\\Missing", "HideFileExt"), std::nullopt);

  const std::string text = stored();
  EXPECT_NE(text.find("\"HideFileExt\""), std::string::npos);
  EXPECT_EQ(text.find("HIDEFILEEXT"), std::string::npos);
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos);
}

TEST_F(Registry, DamagedFilesReadAsEmptyAndAreReplacedOnWrite) {
  const std::vector<std::string> table = {
      "",
      "{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": 1}}",  // cut short
      "\xff\xfe{}",
      "[1, 2]",
      "{\"K\": 5}",
      "{\"K\": {\"V\": 7}}",
      "{\"K\": {\"V\": {\"type\": \"REG_SZ\", \"data\": 7}}}",
      "{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": \"7\"}}}",
      "{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": -1}}}",
      "{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": 4294967296}}}",
      "{\"K\": {\"V\": {\"type\": \"REG_DWORD\"}}}",
  };
  for (const std::string& text : table) {
    store(text);
    EXPECT_EQ(getDword("K", "V"), std::nullopt) << text;
    EXPECT_TRUE(setDword("k", "v", 3)) << text;
    EXPECT_EQ(getDword("K", "V"), 3u) << text;
  }
}

// What a write cannot carry over (a damaged file, a key of the wrong shape)
// is moved aside whole first, never dropped; a good file is not.
TEST_F(Registry, AWriteKeepsADamagedFileAside) {
  struct Case {
    std::string text;
    bool asideExpected;
  };
  const std::vector<Case> table = {
      {"{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": 1}}, \"Other\": {", true},
      {"not json", true},
      {"{\"K\": 5, \"Other\": {\"W\": {\"type\": \"REG_DWORD\", \"data\": 9}}}", true},
      {"{\"K\": {\"V\": 7}}", false},
      {"{\"Other\": {}}", false},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.text);
    fs::remove_all(file().parent_path());
    store(c.text);
    ASSERT_TRUE(setDword("K", "V", 3));
    EXPECT_EQ(getDword("K", "V"), 3u);
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(file().parent_path()))
      if (e.path().filename().string().starts_with("HKCU.json.damaged-")) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), c.asideExpected ? 1u : 0u);
    if (!c.asideExpected) continue;
    std::ifstream f(aside[0], std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    EXPECT_EQ(ss.str(), c.text);
  }
  // The good keys of a file with one damaged key stay in the new one.
  store("{\"K\": 5, \"Other\": {\"W\": {\"type\": \"REG_DWORD\", \"data\": 9}}}");
  ASSERT_TRUE(setDword("K", "V", 3));
  EXPECT_EQ(getDword("Other", "W"), 9u);
}

// A registry file past its bound is neither read nor replaced.
TEST_F(Registry, AFileBeyondItsBoundIsNotRead) {
  store("{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": 1}}}" + std::string(2 << 20, ' '));
  const std::string before = stored();
  try {
    getDword("K", "V");
    ADD_FAILURE() << "read";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 7);
    EXPECT_NE(e.description().find("registry file"), std::string::npos) << e.description();
  }
  EXPECT_FALSE(setDword("K", "V", 2));
  EXPECT_EQ(stored(), before);
}

TEST_F(Registry, WriteFailuresReturnFalse) {
  store("{\"K\": {\"V\": {\"type\": \"REG_DWORD\", \"data\": 1}}}");
  EXPECT_FALSE(setDword("K", "\xc3(", 2)) << "a name that is not UTF-8";
  EXPECT_EQ(getDword("K", "V"), 1u) << "the file is untouched";

  fs::remove(file());
  fs::create_directory(file());
  EXPECT_FALSE(setDword("K", "V", 2)) << "the registry file is a folder";
  try {
    getDword("K", "V");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 75);
  }
}

}  // namespace
}  // namespace bq::shell::registry
