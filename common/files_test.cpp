#include "common/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "common/automation_error.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string content(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  int32_t failure(const fs::path& p) {
    try {
      readWholeFile(p);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }
  fs::path dir_;
};

TEST_F(Files, ReadsWholeFilesAndRefusesWhatIsNoFile) {
  std::string big(200000, 'x');
  big[123456] = '\0';
  std::ofstream(dir_ / "big", std::ios::binary) << big;
  EXPECT_EQ(readWholeFile(dir_ / "big"), big);
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(failure(dir_ / "pipe"), 75) << "a pipe with no writer must not block";
  EXPECT_EQ(failure(dir_), 75);
  EXPECT_EQ(failure(dir_ / "missing"), 53);
  EXPECT_EQ(failure(dir_ / "nofolder" / "missing"), 76);
}

TEST_F(Files, ABoundedReadTakesNoMoreThanItsBound) {
  const ReadLimit limit{100, "test file"};
  std::ofstream(dir_ / "full", std::ios::binary) << std::string(100, 'a');
  std::ofstream(dir_ / "over", std::ios::binary) << std::string(101, 'a');
  EXPECT_EQ(readWholeFile(dir_ / "full", limit), std::string(100, 'a'));
  try {
    readWholeFile(dir_ / "over", limit);
    ADD_FAILURE() << "accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), "Out of memory (the test file '" + (dir_ / "over").string() +
                                   "' is larger than 100 bytes)");
  }
  // A device without end is no file at all.
  EXPECT_THROW(readWholeFile("/dev/zero", limit), AutomationError);
}

TEST_F(Files, ReplacesTheTargetOnlyOnCommit) {
  const fs::path target = dir_ / "out.bin";
  std::ofstream(target) << "old";
  {
    AtomicOutput out(target);
    out.write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("new"), 3));
  }  // abandoned
  EXPECT_EQ(content(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "the temporary file is gone";
  {
    AtomicOutput out(target);
    out.write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("new"), 3));
    out.commit();
  }
  EXPECT_EQ(content(target), "new");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(target).permissions()), 0666 & ~mask)
      << "the mode of a new file, not mkstemp's private one";
  try {
    AtomicOutput out(dir_ / "nofolder" / "x");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 76);
  }
}

}  // namespace
}  // namespace bq
