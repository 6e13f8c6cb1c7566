#include "platform/infozip/run_support.h"

#include <gtest/gtest.h>

#include "common/ansi.h"

namespace bq::infozip {
namespace {

TEST(Wildcards, MatchAsUnzipDoes) {
  struct Case {
    const char* pattern;
    const char* name;
    bool ignoreCase;
    bool matches;
  };
  const Case cases[] = {
      {"*.txt", "a.txt", false, true},         {"*.txt", "dir/a.txt", false, true},
      {"*.txt", "a.TXT", false, false},        {"*.txt", "a.TXT", true, true},
      {"a?c", "abc", false, true},             {"a?c", "ac", false, false},
      {"[ab]*", "b1", false, true},            {"[!ab]*", "b1", false, false},
      {"[a-c]x", "bx", false, true},           {"[a-c]x", "dx", false, false},
      {"报告*", "报告一.doc", false, true},     {"*", "", false, true},
      {"a[", "a[", false, true},               {"exact.doc", "exact.doc", false, true},
      {"*a*b*c", "xaybzc", false, true},       {"*a*b*c", "xaybz", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wildcardMatch(c.pattern, c.name, c.ignoreCase), c.matches)
        << c.pattern << " ~ " << c.name;
  }
}

TEST(Names, StoredAsZipStoresThem) {
  struct Case {
    const char* given;
    bool junk;
    const char* stored;
  };
  const Case cases[] = {
      {"C:\\BQTEST\\wd.doc", false, "BQTEST/wd.doc"},
      {"/tmp/x/a.txt", false, "tmp/x/a.txt"},
      {"sub\\.\\a.txt", false, "sub/a.txt"},
      {"..\\..\\up.txt", false, "up.txt"},
      {"a//b", false, "a/b"},
      {"C:\\BQTEST\\wd.doc", true, "wd.doc"},
      {"C:\\", false, ""},
      {"报告\\文档.doc", false, "报告/文档.doc"},
  };
  for (const Case& c : cases) EXPECT_EQ(storedName(c.given, c.junk), c.stored) << c.given;
}

TEST(Names, TargetsNeverLeaveTheExtractionFolder) {
  struct Case {
    const char* stored;
    bool keepFolders;
    std::vector<std::string> folders;
    std::string file;
    bool absolute;
    bool parent;
  };
  const Case cases[] = {
      {"a/b.txt", true, {"a"}, "b.txt", false, false},
      {"a/b.txt", false, {}, "b.txt", false, false},
      {"a\\b.txt", true, {"a"}, "b.txt", false, false},
      {"../../etc/passwd", true, {"etc"}, "passwd", false, true},
      {"/etc/passwd", true, {"etc"}, "passwd", true, false},
      {"C:\\Windows\\x.dll", true, {"Windows"}, "x.dll", true, false},
      {"a/../../b", true, {"a"}, "b", false, true},
      {"dir/", true, {"dir"}, "", false, false},
      {"dir/", false, {}, "", false, false},
      {"../", true, {}, "", false, true},
      {"./a", true, {}, "a", false, false},
  };
  for (const Case& c : cases) {
    TargetPath t = targetPath(c.stored, c.keepFolders, false);
    EXPECT_EQ(t.folders, c.folders) << c.stored;
    EXPECT_EQ(t.file, c.file) << c.stored;
    EXPECT_EQ(t.strippedAbsolute, c.absolute) << c.stored;
    EXPECT_EQ(t.strippedParent, c.parent) << c.stored;
  }
  EXPECT_EQ(targetPath("my dir/a b.txt", true, true).file, "a_b.txt");
  EXPECT_EQ(targetPath("my dir/a b.txt", true, true).folders, std::vector<std::string>{"my_dir"});
}

TEST(Names, EntryNamesInUtf8OrTheAnsiCodePage) {
  EXPECT_EQ(decodeEntryName("plain/a.txt"), "plain/a.txt");
  EXPECT_EQ(decodeEntryName("报告.txt"), "报告.txt");
  EXPECT_EQ(decodeEntryName(toAnsi("报告.txt")), "报告.txt");  // GBK without the UTF-8 flag
}

}  // namespace
}  // namespace bq::infozip
