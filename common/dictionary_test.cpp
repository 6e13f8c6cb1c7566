#include "common/dictionary.h"

#include <gtest/gtest.h>

namespace bq {
namespace {

TEST(Dictionary, KeepsInsertionOrderAndExactKeys) {
  KnowledgeSet d;
  d.set("字体名称,宋体", 1);
  d.set("b", 1);
  d.set("B", 1);
  d.set("a", 1);
  d.set("b", 1);  // already there: stays in its place
  EXPECT_EQ(d.Count(), 4u);
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"字体名称,宋体", "b", "B", "a"}));
  EXPECT_TRUE(d.Exists("B"));
  EXPECT_FALSE(d.Exists("A"));
}

TEST(Dictionary, AddRefusesAnExistingKey) {
  KnowledgeSet d;
  d.Add("k", 1);
  try {
    d.Add("k", 1);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 457);
    EXPECT_EQ(e.description(), "This key is already associated with an element of this collection");
  }
}

TEST(Dictionary, ReadingAMissingKeyAddsItEmpty) {
  Dictionary<int16_t> d;
  EXPECT_EQ(d["x"], 0);
  EXPECT_TRUE(d.Exists("x"));
  EXPECT_EQ(d.find("y"), nullptr);
  EXPECT_FALSE(d.Exists("y"));
}

TEST(Dictionary, SurvivesGrowthCopyMoveAndRemoval) {
  // Many keys force the deque to grow; lookups must still find every key
  // (the index holds views into the stored keys).
  Dictionary<int> d;
  for (int i = 0; i < 5000; ++i) d.set("key" + std::to_string(i), i);
  Dictionary<int> copy = d;
  Dictionary<int> moved = std::move(d);
  for (int i = 0; i < 5000; i += 499) {
    ASSERT_NE(copy.find("key" + std::to_string(i)), nullptr);
    EXPECT_EQ(*copy.find("key" + std::to_string(i)), i);
    EXPECT_EQ(*moved.find("key" + std::to_string(i)), i);
  }
  moved.Remove("key0");
  EXPECT_FALSE(moved.Exists("key0"));
  EXPECT_EQ(*moved.find("key4999"), 4999);
  EXPECT_EQ(moved.at(0).first, "key1");
  EXPECT_THROW(moved.Remove("nope"), AutomationError);
  moved.RemoveAll();
  EXPECT_EQ(moved.Count(), 0u);
  EXPECT_EQ(copy.Count(), 5000u);
}

}  // namespace
}  // namespace bq
