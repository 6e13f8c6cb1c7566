// The class face: every method reaches its module, and errors leave with the
// library's name as their source. The modules' own behaviour is tested beside them.
#include "BrightquillCom/brightquill_client.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "common/automation_error.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class BrightquillClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-client-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  BrightquillClient client_;
};

TEST_F(BrightquillClientTest, ListsScoresAndSplitsThroughTheModules) {
  fs::create_directories(dir_ / "sub");
  std::ofstream(dir_ / "a.txt") << "x";
  KnowledgeSet listed;
  client_.GetOperationZSD(dir_.string(), listed);
  EXPECT_EQ(client_.JoinOpZSD(listed), "a.txt,sub\\");

  KnowledgeSet split;
  client_.SplitOpZSD("a.txt,sub\\,", split);
  EXPECT_EQ(split, listed);
  EXPECT_DOUBLE_EQ(client_.GetOpScore("a,b,", "A,"), 2.0 / 3.0);

  std::ofstream(dir_ / "list.txt") << "a.txt,sub\\\r\nsecond line";
  std::string line;
  client_.GetOpZSDFromFile((dir_ / "list.txt").string(), line);
  EXPECT_EQ(line, "a.txt,sub\\");

  std::ofstream(dir_ / "m.eml") << "Subject: Hello\r\n";
  MailDictionary mail{{"old", {}}};
  client_.GetMailZSDFromPath(dir_.string(), mail);
  ASSERT_EQ(mail.Count(), 1u);
  EXPECT_EQ(mail.at(0).first, "HELLO");
}

TEST_F(BrightquillClientTest, ErrorsCarryTheLibraryAsSource) {
  std::string keep = "before";
  try {
    client_.GetOpZSDFromFile((dir_ / "missing.txt").string(), keep);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.source(), "BrightquillCom");
    EXPECT_EQ(e.description(), "File not found");
  }
  EXPECT_EQ(keep, "before");
}

}  // namespace
}  // namespace bq
