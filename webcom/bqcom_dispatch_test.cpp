// BQCOM reached by name through the shared library, on drives in a temporary
// folder. The program runs in a process namespace of its own
// (webcom/testing/own_processes.h): FileUpLoad ends every LibreOffice it can
// see.
#include "webcom/bqcom_dispatch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/automation_error.h"
#include "webcom/testing/own_processes.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class BqcomDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every program of these tests is process 1 of its own namespace: the
    // folder's name cannot come from the process number.
    std::string tmpl = (fs::temp_directory_path() / "bq-dispatch-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    fs::create_directories(dir_ / "drives" / "c");
    fs::create_directories(dir_ / "drives" / "d" / "answers");
    fs::create_directories(dir_ / "drives" / "d" / "BqOperation");
    setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::remove_all(dir_);
  }

  // The error number of the call, 0 when it succeeds.
  int32_t failure(std::string_view name, ScriptArgs args) {
    try {
      BQCOM object;
      InvokeBqcom(object, name, args);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  fs::path dir_;
};

TEST_F(BqcomDispatch, TheInterfaceListsEveryMethodInOrderWithItsByReferenceParameters) {
  std::vector<std::string> names;
  for (const BqcomMember& m : BqcomMembers()) names.push_back(m.name);
  EXPECT_EQ(names, (std::vector<std::string>{"CreateOpDirs", "FileDownLoad", "FileUpLoad",
                                             "PreTest", "EndTest", "QuestionPane", "TermProc"}));
  const BqcomMember* upload = FindBqcomMember("fileupload");
  ASSERT_NE(upload, nullptr);
  ASSERT_EQ(upload->params.size(), 6u);
  EXPECT_STREQ(upload->params[3].name, "cClient");
  EXPECT_TRUE(upload->params[3].byRef);
  EXPECT_FALSE(FindBqcomMember("PreTest")->params[0].byRef);
  EXPECT_EQ(FindBqcomMember("Terminate"), nullptr);
}

TEST_F(BqcomDispatch, NamesInAnyCaseAndTheDispatchLayersChecks) {
  struct Case {
    const char* name;
    ScriptArgs args;
    int32_t number;
  };
  const Case cases[] = {
      {"PRETEST", {"C:\\BQTEST"}, 0},
      {"questionpane", {""}, 0},  // an empty text shows nothing
      {"PreTests", {"C:\\BQTEST"}, 438},
      {"", {}, 438},
      {"PreTest", {}, 449},
      {"CreateOpDirs", {"C:\\BQTEST"}, 449},
      {"PreTest", {"C:\\BQTEST", "x"}, 450},
      {"TermProc", {"x"}, 450},
      {"PreTest", {std::nullopt}, 13},
      {"CreateOpDirs", {"C:\\NoSuch\\BQTEST", ""}, 76},  // the method's own failure
  };
  for (const Case& c : cases) EXPECT_EQ(failure(c.name, c.args), c.number) << c.name;
  EXPECT_FALSE(fs::exists(dir_ / "drives" / "c" / "NoSuch"));
}

TEST_F(BqcomDispatch, ByValueArgumentsStayAndByReferenceOnesComeBackChanged) {
  ScriptArgs create = {"C:\\BQTEST", "a\\,a\\b.txt"};
  BQCOM object;
  InvokeBqcom(object, "CreateOpDirs", create);
  EXPECT_EQ(create, (ScriptArgs{"C:\\BQTEST", "a\\,a\\b.txt"}));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "drives" / "c" / "BqOperation" / "a" / "b.txt"));

  // The port is no number: every transfer fails at once, the listing is
  // still written, and cClient becomes the operation root of its drive.
  ScriptArgs upload = {"127.0.0.1", "x", "exam", "D:\\answers", "BQ1", "000000"};
  InvokeBqcom(object, "FileUpLoad", upload);
  EXPECT_EQ(upload, (ScriptArgs{"127.0.0.1", "x", "exam", "D:\\BqOperation", "BQ1", "000000"}));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "drives" / "d" / "BqOperation" / "opBQ1.txt"));

  // Changed before the failure: the caller still gets the new value.
  ScriptArgs noDrive = {"127.0.0.1", "x", "exam", "\\answers", "BQ1", "000000"};
  try {
    InvokeBqcom(object, "fileupload", noDrive);
    ADD_FAILURE() << "a cClient without a drive fails";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 76);
  }
  EXPECT_EQ(noDrive[3], "\\:\\BqOperation");
}

}  // namespace
}  // namespace bq

int main(int argc, char** argv) { return bq::testing::mainInOwnProcesses(argc, argv); }
