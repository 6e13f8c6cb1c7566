#include "scoring/knowledge/operation_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "common/read_limits.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A fresh folder under the temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "bq_oplist_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::vector<std::string> keysOf(const KnowledgeSet& d) { return d.Keys(); }

// A list of `n` items "x1,x2,...".
std::string listOf(size_t n) {
  std::string s;
  for (size_t i = 1; i <= n; ++i) {
    if (i > 1) s += ',';
    s += 'x' + std::to_string(i);
  }
  return s;
}

// --- GetOpScore -------------------------------------------------------------

struct ScoreCase {
  const char* expected;
  const char* some;
  double score;
};

TEST(GetOpScore, ScoresAsTheRuleSays) {
  const ScoreCase cases[] = {
      // Case does not matter; the two empty last items match each other.
      {"a,b,", "A,", 2.0 / 3},
      {"a,b", "b,a", 1},
      // Every repeated item counts again, even past the expected count.
      {"a,b", "b,b", 1},
      {"a,b", "a,a,a", 1.5},
      // One item without a comma is too short on either side.
      {"a", "a,b", -1},
      {"a,b", "a", -1},
      {"a,", "a,", 1},
      {"", "a,b", -1},
      // ";" is dropped before splitting, also inside items and alone.
      {"a;,b;,", "a,b,", 1},
      {"a;b,c", "ab,x", 0.5},
      {";", "a,b", -1},
      {"a,b", ";", -1},
      // Empty items in the middle take part.
      {"a,,b", ",x", 1.0 / 3},
      // Upper-casing goes beyond ASCII.
      {"ä,straße", "Ä,STRAßE", 1},
      // Exact otherwise: no trimming.
      {"a,b", " a,b ", 0},
  };
  for (const ScoreCase& c : cases) {
    EXPECT_DOUBLE_EQ(GetOpScore(c.expected, c.some), c.score)
        << "expected \"" << c.expected << "\", some \"" << c.some << "\"";
  }
}

TEST(GetOpScore, ListsBeyondSixteenBitsOverflow) {
  const std::string atLimit = listOf(32767);
  const std::string overLimit = listOf(32768);
  // The largest lists still score.
  EXPECT_DOUBLE_EQ(GetOpScore(atLimit, atLimit), 1);
  struct {
    const std::string& expected;
    const std::string& some;
  } const overflowing[] = {
      {overLimit, "a,b"},
      {"a,b", overLimit},
      // Both bounds are taken before the short list would give -1.
      {"a", overLimit},
      {overLimit, ""},
  };
  for (const auto& c : overflowing) {
    try {
      GetOpScore(c.expected, c.some);
      ADD_FAILURE() << "no error for lists of " << c.expected.size() << " and " << c.some.size()
                    << " bytes";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kOverflow);
      EXPECT_EQ(e.description(), "Overflow");
    }
  }
}

// --- SplitOpZSD and JoinOpZSD ----------------------------------------------

TEST(SplitOpZSD, DropsEmptyItemsAndJoinsBack) {
  KnowledgeSet d;
  SplitOpZSD(",a,,b,", d);
  EXPECT_THAT(keysOf(d), ElementsAre("a", "b"));
  EXPECT_EQ(JoinOpZSD(d), "a,b");
  for (const auto& [key, item] : d) EXPECT_EQ(item, 1) << key;
}

TEST(SplitOpZSD, AddsToWhatIsThere) {
  KnowledgeSet d;
  d.set("b", 7);
  SplitOpZSD("a,b,a,A", d);
  EXPECT_THAT(keysOf(d), ElementsAre("b", "a", "A"));
  EXPECT_EQ(*d.find("b"), 1);
  SplitOpZSD("", d);
  SplitOpZSD(",,,", d);
  EXPECT_EQ(JoinOpZSD(d), "b,a,A");
  EXPECT_EQ(JoinOpZSD(KnowledgeSet{}), "");
}

// --- GetOperationZSD --------------------------------------------------------

TEST(GetOperationZSD, ListsFilesAndFoldersRelativeToTheRoot) {
  TempDir tmp;
  writeFile(tmp.path() / "file.txt", "x");
  writeFile(tmp.path() / "sub" / "inner.txt", "x");
  writeFile(tmp.path() / ".hidden", "x");
  writeFile(tmp.path() / "sub" / ".hidden2", "x");
  fs::create_directory(tmp.path() / ".hiddendir");
  writeFile(tmp.path() / ".hiddendir" / "unseen.txt", "x");
  KnowledgeSet d;
  GetOperationZSD(tmp.path().string(), d);
  EXPECT_THAT(keysOf(d), ElementsAre("file.txt", "sub\\", "sub\\inner.txt"));
}

TEST(GetOperationZSD, EmptyOrMissingRootAddsNothing) {
  TempDir tmp;
  KnowledgeSet d;
  d.set("kept", 1);
  GetOperationZSD(tmp.path().string(), d);
  GetOperationZSD((tmp.path() / "missing").string(), d);
  writeFile(tmp.path() / "plain", "x");
  GetOperationZSD((tmp.path() / "plain").string(), d);
  EXPECT_THAT(keysOf(d), ElementsAre("kept"));
}

TEST(GetOperationZSD, BreadthFirstInListingOrder) {
  TempDir tmp;
  const fs::path& r = tmp.path();
  fs::create_directories(r / "b");
  fs::create_directories(r / "A" / "y");
  writeFile(r / "a1", "x");
  writeFile(r / "é", "x");
  writeFile(r / "A" / "z", "x");
  writeFile(r / "A" / "y" / "deep", "x");
  writeFile(r / "b" / "c", "x");
  fs::create_directories(r / "b" / "empty");
  KnowledgeSet d;
  d.set("b\\", 1);  // already there: keeps its place
  GetOperationZSD(r.string(), d);
  EXPECT_THAT(keysOf(d), ElementsAreArray({"b\\", "A\\", "a1", "é", "A\\y\\", "A\\z", "b\\c",
                                           "b\\empty\\", "A\\y\\deep"}));
}

TEST(GetOperationZSD, WindowsDrivePathMatchesWithoutCase) {
  TempDir tmp;
  ScopedEnv drives("BQ_DRIVES", tmp.path().string());
  const fs::path root = tmp.path() / "c" / "BqOperation";
  writeFile(root / "Doc1.doc", "x");
  writeFile(root / "Old" / "Note.TXT", "x");
  for (const char* cPath : {"c:\\bqoperation", "C:\\BQOPERATION\\", "C:/BqOperation"}) {
    KnowledgeSet d;
    GetOperationZSD(cPath, d);
    EXPECT_THAT(keysOf(d), ElementsAre("Doc1.doc", "Old\\", "Old\\Note.TXT")) << cPath;
  }
}

TEST(GetOperationZSD, LinksToFoldersAreListedButNotEntered) {
  TempDir tmp;
  const fs::path& r = tmp.path();
  writeFile(r / "d" / "f", "x");
  fs::create_directory_symlink(r, r / "d" / "loop");  // a cycle back to the root
  fs::create_directory_symlink(r / "d", r / "link");
  fs::create_symlink(r / "d" / "f", r / "filelink");
  fs::create_symlink(r / "nowhere", r / "dangling");
  KnowledgeSet d;
  GetOperationZSD(r.string(), d);
  EXPECT_THAT(keysOf(d), ElementsAre("d\\", "dangling", "filelink", "link\\", "d\\f", "d\\loop\\"));
}

// A chain of folders deeper than the walk's bound ends it with 7; dZSD
// stays as it was. One level less is walked whole.
TEST(GetOperationZSD, AChainOfFoldersBeyondTheDepthBoundFails) {
  TempDir tmp;
  fs::path deep = tmp.path();
  for (uint32_t i = 0; i <= limits::kMaxWalkDepth; ++i) deep /= "d";
  fs::create_directories(deep);
  KnowledgeSet d;
  GetOperationZSD((tmp.path() / "d").string(), d);
  EXPECT_EQ(d.Count(), limits::kMaxWalkDepth);
  d.set("before", 1);
  try {
    GetOperationZSD(tmp.path().string(), d);
    ADD_FAILURE() << "accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kOutOfMemory);
    EXPECT_NE(e.description().find("deeper than 256 folders"), std::string::npos)
        << e.description();
  }
  EXPECT_EQ(d.Count(), limits::kMaxWalkDepth + 1);
}

// --- GetOpZSDFromFile -------------------------------------------------------

class GetOpZSDFromFileTest : public ::testing::Test {
 protected:
  GetOpZSDFromFileTest() : codePage_("BQ_ANSI_CODEPAGE", std::nullopt) {}
  std::string file(const std::string& name, const std::string& bytes) {
    writeFile(tmp_.path() / name, bytes);
    return (tmp_.path() / name).string();
  }
  ScopedEnv codePage_;
  TempDir tmp_;
};

TEST_F(GetOpZSDFromFileTest, ReadsTheFirstLineOnly) {
  const std::string longLine(200'000, 'w');
  const struct {
    const char* name;
    std::string bytes;
    std::string line;
  } cases[] = {
      {"crlf", "a\\,b\\x.doc\r\nsecond\r\n", "a\\,b\\x.doc"},
      {"lf", "one\ntwo", "one"},
      {"cr", "one\rtwo", "one"},
      {"noend", "only", "only"},
      {"blankfirst", "\r\nnext", ""},
      {"gbk", "\xD6\xD0\xCE\xC4\\,b\r\n\xB2\xBB", "中文\\,b"},
      // Longer than one read, with the break far in.
      {"long", longLine + "\nrest", longLine},
  };
  for (const auto& c : cases) {
    std::string cZSD = "old";
    GetOpZSDFromFile(file(c.name, c.bytes), cZSD);
    EXPECT_EQ(cZSD, c.line) << c.name;
  }
}

TEST_F(GetOpZSDFromFileTest, FailuresKeepThePreviousText) {
  fs::create_directory(tmp_.path() / "folder");
  const struct {
    std::string path;
    int32_t number;
    const char* description;
  } cases[] = {
      {file("empty", ""), err::kInputPastEnd, "Input past end of file"},
      {(tmp_.path() / "missing.txt").string(), err::kFileNotFound, "File not found"},
      {(tmp_.path() / "nofolder" / "missing.txt").string(), err::kPathNotFound, "Path not found"},
      {(tmp_.path() / "folder").string(), err::kPathFileAccess, "Path/File access error"},
  };
  for (const auto& c : cases) {
    std::string cZSD = "old";
    try {
      GetOpZSDFromFile(c.path, cZSD);
      ADD_FAILURE() << "no error for " << c.path;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), c.number) << c.path;
      EXPECT_EQ(e.description(), c.description) << c.path;
    }
    EXPECT_EQ(cZSD, "old") << c.path;
  }
}

// A first line without end is read only up to its bound.
TEST_F(GetOpZSDFromFileTest, AFirstLineBeyondItsBoundFails) {
  const std::string path = file("endless", "x");
  fs::resize_file(path, limits::kOperationListLine.maxBytes + (1 << 20));
  std::string cZSD = "old";
  try {
    GetOpZSDFromFile(path, cZSD);
    ADD_FAILURE() << "accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kOutOfMemory);
    EXPECT_NE(e.description().find("first line of the operation list"), std::string::npos)
        << e.description();
  }
  EXPECT_EQ(cZSD, "old");
}

TEST_F(GetOpZSDFromFileTest, WindowsPathMatchesWithoutCase) {
  ScopedEnv drives("BQ_DRIVES", tmp_.path().string());
  file("c/BQTEST/opBQ1.TXT", "x\\,y\\\r\n");
  std::string cZSD;
  GetOpZSDFromFile("C:\\bqtest\\opbq1.txt", cZSD);
  EXPECT_EQ(cZSD, "x\\,y\\");
}

// --- ArrayUpperBound --------------------------------------------------------

TEST(ArrayUpperBound, HighestIndexOrMinusOne) {
  const Variant three = VariantArray{Variant(1), Variant("b"), Variant()};
  const struct {
    Variant v;
    std::optional<int32_t> dimension;
    int32_t bound;
  } cases[] = {
      {three, std::nullopt, 2},
      {three, 1, 2},
      {three, 2, -1},
      {three, 0, -1},
      {ByteArray(5, 0), std::nullopt, 4},
      {VariantArray{}, std::nullopt, -1},
      {ByteArray{}, std::nullopt, -1},
      {Variant(), std::nullopt, -1},
      {Variant("a,b"), std::nullopt, -1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ArrayUpperBound(cases[i].v, cases[i].dimension), cases[i].bound) << "case " << i;
  }
}

}  // namespace
}  // namespace bq
