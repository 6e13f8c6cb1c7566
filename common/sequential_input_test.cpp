#include "common/sequential_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/automation_error.h"

namespace bq {
namespace {

using Items = std::vector<std::string>;

// Every item of `text`, read the way the extractors read: until eof().
Items readAll(const std::string& text) {
  SequentialInput in(text);
  Items items;
  while (!in.eof()) items.push_back(in.readItem());
  return items;
}

TEST(SequentialInput, ReadsItemsAsTheOriginalInputDid) {
  struct Case {
    const char* what;
    std::string text;
    Items items;
  } cases[] = {
      {"items end at commas and at every kind of line end",
       "a,b\r\nc\rd\ne",
       {"a", "b", "c", "d", "e"}},
      {"a separator at the very end is consumed", "a\r\n", {"a"}},
      {"likewise a final comma", "a,", {"a"}},
      {"blanks before a line end make an empty item", "a,  \t", {"a", ""}},
      {"blank lines are empty items", "a\r\n\r\n\nb", {"a", "", "", "b"}},
      {"an empty first item", ",a", {"", "a"}},
      {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
      {"blanks around an unquoted item go", " \tSubject: Hello  \t\r\nx", {"Subject: Hello", "x"}},
      {"inner blanks stay", "a  b", {"a  b"}},
      {"quotes inside an unquoted item stay", "filename=\"a.txt\"\r\n", {"filename=\"a.txt\""}},
      {"a quoted item holds commas and line breaks", "\"a,b\r\nc\",d", {"a,b\r\nc", "d"}},
      {"a quoted item keeps its blanks", "  \"  x  \"", {"  x  "}},
      {"after the closing quote, text up to the separator is dropped",
       "\"a\" junk\"q,b\r\nc",
       {"a", "b", "c"}},
      {"after the closing quote, CR LF is one separator", "\"a\"\r\n\"b\"", {"a", "b"}},
      {"an empty quoted item", "\"\",x", {"", "x"}},
      {"a quote never closed runs to the end", "a\r\n\"b,c\r\nd", {"a", "b,c\r\nd"}},
      {"a lone quote", "\"", {""}},
      {"decoded text: separators found between multi-byte characters",
       "主题: 你好,附件\r\n",
       {"主题: 你好", "附件"}},
  };
  for (const auto& c : cases) EXPECT_EQ(readAll(c.text), c.items) << c.what;
}

TEST(SequentialInput, ReadingAtTheEndFailsWithInputPastEnd) {
  for (const std::string text : {"", "a\r\n", "\"open"}) {
    SequentialInput in(text);
    while (!in.eof()) in.readItem();
    try {
      in.readItem();
      FAIL() << "no error after reading \"" << text << "\"";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 62);
      EXPECT_EQ(e.description(), "Input past end of file");
    }
    EXPECT_TRUE(in.eof()) << "a failed read changes nothing";
  }
}

}  // namespace
}  // namespace bq
