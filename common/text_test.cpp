#include "common/text.h"

#include <gtest/gtest.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace bq {
namespace {

// "𠀀" (U+20000) is one character but two UTF-16 code units, as the original counted it.
const std::string kWide = "\xF0\xA0\x80\x80";

TEST(Text, CountsAndCutsUtf16CodeUnits) {
  EXPECT_EQ(len16(""), 0u);
  EXPECT_EQ(len16("abc"), 3u);
  EXPECT_EQ(len16("准考证号"), 4u);
  EXPECT_EQ(len16("a" + kWide), 3u);
  // Ill-formed bytes count as the replacement characters they become.
  for (const std::string bad : {"a\xFF", "\xC3", "\xE6\x88", "\xF0\xA0\x80x", "\xED\xA0\x80"})
    EXPECT_EQ(len16(bad), toUtf16(bad).size()) << bad;

  EXPECT_EQ(left16("准考证号", 2), "准考");
  EXPECT_EQ(left16("ab", 5), "ab");
  EXPECT_EQ(right16("准考证号", 3), "考证号");
  EXPECT_EQ(right16("ab", 5), "ab");
  EXPECT_EQ(mid16("准考证号", 2, 2), "考证");
  EXPECT_EQ(mid16("准考证号", 3), "证号");
  EXPECT_EQ(mid16("abc", 4), "");
  // A cut through a surrogate pair cannot be written as UTF-8: the half becomes U+FFFD.
  EXPECT_EQ(left16(kWide + "x", 1), "\xEF\xBF\xBD");
  EXPECT_EQ(right16("x" + kWide, 2), kWide);
}

TEST(Text, FindsByUtf16Position) {
  EXPECT_EQ(instr16("x-sender: a@b", "sender"), 3u);
  EXPECT_EQ(instr16("准考证号bq1", "bq"), 5u);
  EXPECT_EQ(instr16("abcabc", "abc", 2), 4u);
  EXPECT_EQ(instr16("abc", "z"), 0u);
  EXPECT_EQ(instr16("abc", "", 2), 2u);
}

TEST(Text, TrimsSpacesOnly) {
  EXPECT_EQ(trimSpaces("  a b  "), "a b");
  EXPECT_EQ(trimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(trimSpaces("   "), "");
  EXPECT_EQ(ltrimSpaces("  a "), "a ");
  EXPECT_EQ(rtrimSpaces("  a "), "  a");
  // A full-width space (U+3000) is not a space to the original's Trim.
  EXPECT_EQ(trimSpaces("\xE3\x80\x80"
                       "a"),
            "\xE3\x80\x80"
            "a");
}

TEST(Text, ChangesCaseOneCharacterAtATime) {
  struct Case {
    std::string in, upper, lower;
  } cases[] = {
      {"abcXYZ09", "ABCXYZ09", "abcxyz09"},
      {"Straße", "STRAßE", "straße"},  // no expansion to "SS": the length is kept
      {"ÀÉÎõü", "ÀÉÎÕÜ", "àéîõü"},
      {"Ωμέγα", "ΩΜΈΓΑ", "ωμέγα"},
      {"全角ＡＢｃ", "全角ＡＢＣ", "全角ａｂｃ"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ucase(c.in), c.upper) << c.in;
    EXPECT_EQ(lcase(c.in), c.lower) << c.in;
    EXPECT_EQ(len16(ucase(c.in)), len16(c.in)) << c.in;
  }
}

TEST(Text, SplitKeepsEmptyItemsButNotForEmptyText) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split("", ","), V{});
  EXPECT_EQ(split(",", ","), (V{"", ""}));
  EXPECT_EQ(split("a,,b,", ","), (V{"a", "", "b", ""}));
  EXPECT_EQ(split("a", ","), (V{"a"}));
  EXPECT_EQ(split("a--b", "--"), (V{"a", "b"}));
}

TEST(Text, ReplacesEveryOccurrence) {
  EXPECT_EQ(replaceAll("a;b;;c;", ";", ""), "abc");
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replaceAll("", ";", ""), "");
}

// The number texts of the system are printf's "%.*G" of the C locale,
// made without the C locale (which Qt, or the host program, may change).
TEST(Text, GeneralNumberTextIsPrintfsGOfTheCLocale) {
  const struct {
    double v;
    int digits;
    const char* text;
  } table[] = {
      {10.5, 15, "10.5"},      {8.43, 15, "8.43"},
      {0.1 + 0.2, 15, "0.3"},  {1e15, 15, "1E+15"},
      {1.5e-5, 15, "1.5E-05"}, {123456789012345678.0, 15, "1.23456789012346E+17"},
      {-0.0, 15, "-0"},        {0, 15, "0"},
      {2.5, 1, "2"},           {1.0 / 3, 7, "0.3333333"},
      {-1250, 15, "-1250"},    {std::numeric_limits<double>::infinity(), 15, "INF"},
  };
  for (const auto& c : table) EXPECT_EQ(generalNumberText(c.v, c.digits), c.text) << c.v;
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const double v =
        std::ldexp(static_cast<double>(rng() >> 11) * 0x1p-53, static_cast<int>(rng() % 120) - 60) *
        (rng() % 2 ? -1 : 1);
    for (int digits : {7, 15}) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*G", digits, v);
      ASSERT_EQ(generalNumberText(v, digits), buf) << v;
    }
  }
}

TEST(Text, RoundTripsUtf16AndRepairsBrokenUtf8) {
  std::string s = "准考证 bq1 " + kWide;
  EXPECT_EQ(toUtf8(toUtf16(s)), s);
  EXPECT_EQ(toUtf8(toUtf16("a\xFF"
                           "b")),
            "a\xEF\xBF\xBD"
            "b");
}

// The conversions as ICU's macros write them, one character at a time: the
// peer of the sized, in-place ones.
std::u16string referenceToUtf16(std::string_view utf8) {
  std::u16string out;
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  int32_t i = 0;
  const auto n = static_cast<int32_t>(utf8.size());
  while (i < n) {
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0) c = 0xFFFD;
    char16_t units[2];
    int32_t length = 0;
    U16_APPEND_UNSAFE(units, length, c);
    out.append(units, static_cast<size_t>(length));
  }
  return out;
}

std::string referenceToUtf8(std::u16string_view utf16) {
  std::string out;
  size_t i = 0;
  while (i < utf16.size()) {
    UChar32 c;
    U16_NEXT(utf16.data(), i, utf16.size(), c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    uint8_t bytes[4];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
  }
  return out;
}

// Random texts drawn where the conversions branch: ASCII, two- and
// three-byte characters, pairs, lone halves of pairs on either side and at
// the ends; in UTF-8 also cut, overlong, surrogate and out-of-range
// sequences and stray continuation bytes.
TEST(Text, ConversionsGiveWhatIcusMacrosGiveOneCharacterAtATime) {
  std::mt19937 gen(20261208);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(gen() % n); };
  const char16_t kUnits[] = {u'a',   u'~',   0x7F,   0x80,   0x7FF,  0x800,  0x4E2D, 0xD7FF,
                             0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  const std::string kBytes[] = {"a",
                                "\x7F",
                                "\xC3\xA9",
                                "\xE4\xB8\xAD",
                                "\xF0\x9F\x98\x80",
                                "\xC3",
                                "\xE4\xB8",
                                "\xF0\x9F\x98",
                                "\xC0\xAF",
                                "\xE0\x80\xAF",
                                "\xED\xA0\x80",
                                "\xF4\x90\x80\x80",
                                "\x80",
                                "\xBF",
                                "\xF5",
                                "\xFF",
                                "\xEF\xBF\xBD",
                                "\xF4\x8F\xBF\xBF"};
  for (int round = 0; round < 20000; ++round) {
    std::u16string units;
    std::string bytes;
    const uint32_t length = pick(round % 4 == 0 ? 160 : 8);  // short ones and past 64 units
    const bool ascii = round % 5 == 0;
    for (uint32_t i = 0; i < length; ++i) {
      if (ascii) {
        units += static_cast<char16_t>(pick(0x80));
        bytes += static_cast<char>(pick(0x80));
        continue;
      }
      const bool anyUnit = pick(4) == 0;
      units += anyUnit ? static_cast<char16_t>(pick(0x10000)) : kUnits[pick(std::size(kUnits))];
      bytes +=
          anyUnit ? std::string(1, static_cast<char>(pick(256))) : kBytes[pick(std::size(kBytes))];
    }
    ASSERT_EQ(toUtf8(units), referenceToUtf8(units)) << round;
    ASSERT_EQ(toUtf16(bytes), referenceToUtf16(bytes)) << round;
  }
}

}  // namespace
}  // namespace bq

TEST(Text, LeadingNumberReadsAsValDid) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"12abc", 12},  {"  7.6x", 7.6},      {"abc", 0},   {"-3e2z", -300},
      {"1 2 3", 123}, {"\t-1.5", -1.5},     {"+4", 4},    {".5", 0.5},
      {"1e", 1},      {"2d3", 2000},        {"&H10", 16}, {"&HFFFF", -1},
      {"&O17", 15},   {"&HFFFFF", 1048575}, {"", 0},      {"-", 0},
      {"1,5", 1},     {"1e999", HUGE_VAL},
  };
  for (const Case& c : cases) EXPECT_EQ(bq::leadingNumber(c.text), c.value) << c.text;
}

TEST(Text, PlainIdentifiers) {
  EXPECT_TRUE(bq::isPlainIdentifier("T_1"));
  EXPECT_FALSE(bq::isPlainIdentifier(""));
  EXPECT_FALSE(bq::isPlainIdentifier("T 1"));
  EXPECT_FALSE(bq::isPlainIdentifier("表"));
  EXPECT_FALSE(bq::isPlainIdentifier("T;"));
}
