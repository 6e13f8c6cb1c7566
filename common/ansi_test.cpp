#include "common/ansi.h"

#include <gtest/gtest.h>

namespace bq {
namespace {

TEST(Ansi, WritesAndReadsGbkByDefault) {
  ASSERT_EQ(ansiCodePageName(), "CP936");
  // "字体名称," in GBK: each Chinese character is two bytes, the comma one.
  const std::string gbk = "\xD7\xD6\xCC\xE5\xC3\xFB\xB3\xC6,";
  EXPECT_EQ(toAnsi("字体名称,"), gbk);
  EXPECT_EQ(fromAnsi(gbk), "字体名称,");
  EXPECT_EQ(toAnsi("plain ASCII\r\n"), "plain ASCII\r\n");
  EXPECT_EQ(fromAnsi(""), "");
  EXPECT_EQ(toAnsi("\xE2\x82\xAC"), "\x80");  // the euro sign of code page 936
}

TEST(Ansi, UnmappableCharactersBecomeQuestionMarks) {
  // Hebrew alef and an emoji have no place in GBK.
  EXPECT_EQ(toAnsi("a\xD7\x90" "b"), "a?b");
  EXPECT_EQ(toAnsi("\xF0\x9F\x98\x80!"), "?!");
  // Broken UTF-8 costs one "?" and does not swallow the next character.
  EXPECT_EQ(toAnsi("\xE5\xAD" "x"), "?x");
}

TEST(Ansi, UndecodableBytesBecomeQuestionMarks) {
  // 0xFF is no GBK lead byte; a lead byte at the very end has no trail byte.
  EXPECT_EQ(fromAnsi("a\xFF" "b"), "a?b");
  EXPECT_EQ(fromAnsi("ab\xD7"), "ab?");
}

}  // namespace
}  // namespace bq
