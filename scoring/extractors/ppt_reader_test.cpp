// OpenPPTApp, ReadPPT, ClosePPT and GetExcelScore POWERPOINT on the test
// presentations (testdata/ppt/make_decks.py and make_pptxgen.js; the
// expected points follow from their comments).
#include "scoring/extractors/ppt_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/automation_error.h"
#include "scoring/excel_score.h"

namespace bq {
namespace {

const std::string kDir = "testdata/ppt/";

// Each test starts and ends without an application on its thread.
class PptReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ppt::SetApplicationFactory({});
    if (ppt::SharedApplication()) ClosePPT();
  }
};

KnowledgeSet read(const std::string& deck) {
  KnowledgeSet set;
  ReadPPT(kDir + deck, set);
  return set;
}

KnowledgeSet setOf(const std::vector<std::string>& keys) {
  KnowledgeSet d;
  for (const auto& k : keys) d.set(k, 1);
  return d;
}

std::string listOf(const KnowledgeSet& set) {
  std::string out;
  for (const auto& [key, item] : set) out += "  " + key + "\n";
  return out;
}

// The points of the model answer (answer.pptx), in the order ReadPPT adds
// them, written from make_decks.py's comments.
const std::vector<std::string> kAnswer = {
    "应用摸板,Office 主题", "切换方式:3849,2,-1,0,0",
    // slide 1, Title Slide: the title (44 pt Arial/黑体, black, no fill:
    // white fore colour) ...
    "幻灯片版式,1", "文本,考试演示文稿", "文本字体,Arial", "文本字体,黑体", "文本大小,44", "文本加粗,0",
    "文本斜体,0", "文本下划线,0", "文本阴影,0", "动作按钮:1,0,,0", "动画效果:0,0,0,0,0", "自选图形1,0,1",
    "自选图形颜色,存在", "影片和声音",
    // ... and the grey subtitle.
    "文本颜色,存在", "文本,副标题文字", "文本字体,Times New Roman", "文本字体,宋体", "文本大小,32",
    // slide 2, Title and Content: the body's two levels differ in size.
    "幻灯片版式,16", "文本,目录", "文本,第一章\r第一节", "文本大小,-2",
    // slide 3, Two Content.
    "幻灯片版式,29", "文本,两栏", "文本,左栏", "文本,右栏", "文本大小,20",
    // slide 4, Title Only; slide 5, Blank, with a picture whose text frame
    // is refused (文本颜色 already there).
    "幻灯片版式,11", "文本,只有标题", "幻灯片版式,12", "插入图片,存在",
};

TEST_F(PptReaderTest, ReadsEveryPointOfAModelAnswerInOrder) {
  OpenPPTApp();
  const KnowledgeSet set = read("answer.pptx");
  EXPECT_EQ(set.Keys(), kAnswer) << listOf(set);
  for (const auto& [key, item] : set) EXPECT_EQ(item, 1);
  EXPECT_EQ(ppt::SharedApplication()->presentationCount(), 0) << "the presentation is closed";
}

TEST_F(PptReaderTest, GetExcelScoreScoresAModelAnswerAndAChangedOne) {
  OpenPPTApp();
  KnowledgeSet expected = setOf(kAnswer);
  KnowledgeSet d1, d2;
  EXPECT_DOUBLE_EQ(GetExcelScore("PowerPoint", expected, kDir + "answer.pptx", d1, d2), 1.0);
  EXPECT_EQ(d1.Count(), kAnswer.size());
  EXPECT_TRUE(d2.empty());

  KnowledgeSet e1, e2;
  const double n = static_cast<double>(kAnswer.size());
  EXPECT_DOUBLE_EQ(GetExcelScore("POWERPOINT", expected, kDir + "answer_changed.pptx", e1, e2), (n - 2) / n);
  EXPECT_EQ(e2.Keys(), (std::vector<std::string>{"切换方式:3849,2,-1,0,0", "文本,副标题文字"}));
}

TEST_F(PptReaderTest, WithoutAnApplicationNothingIsReadAndClosingFails) {
  KnowledgeSet set = setOf({"kept"});
  ReadPPT(kDir + "answer.pptx", set);
  EXPECT_EQ(set.Keys(), std::vector<std::string>{"kept"});

  KnowledgeSet expected = setOf({"应用摸板,Office 主题"});
  KnowledgeSet d1, d2;
  EXPECT_DOUBLE_EQ(GetExcelScore("POWERPOINT", expected, kDir + "answer.pptx", d1, d2), 0.0);
  EXPECT_EQ(d2.Count(), 1u);

  try {
    ClosePPT();
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
    EXPECT_EQ(e.description(), "Object variable or With block variable not set");
  }
  OpenPPTApp();
  ClosePPT();
  EXPECT_EQ(ppt::SharedApplication(), nullptr);
  EXPECT_THROW(ClosePPT(), AutomationError);
}

TEST_F(PptReaderTest, FilesThatCannotBeOpenedLeaveTheSetAlone) {
  OpenPPTApp();
  for (const char* file : {"missing.pptx", "make_decks.py", ""}) {
    KnowledgeSet set = setOf({"kept"});
    ReadPPT(kDir + file, set);
    EXPECT_EQ(set.Keys(), std::vector<std::string>{"kept"}) << file;
  }
  EXPECT_EQ(ppt::SharedApplication()->presentationCount(), 0);
}

TEST_F(PptReaderTest, OpeningAgainReplacesTheApplicationWithoutQuittingIt) {
  OpenPPTApp();
  auto first = ppt::SharedApplication();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->visible(), 1);
  EXPECT_EQ(first->windowState(), 2);
  OpenPPTApp();
  auto second = ppt::SharedApplication();
  EXPECT_NE(second, first);
  EXPECT_EQ(first->presentationCount(), 0) << "the old application was not quit";
  ClosePPT();
  EXPECT_THROW(second->presentationCount(), AutomationError);
}

TEST_F(PptReaderTest, CreationIsTriedAFewTimes) {
  int calls = 0;
  ppt::SetApplicationFactory([&]() -> std::shared_ptr<office::ppt::Application> {
    ++calls;
    throw AutomationError(429, "", "ActiveX component can't create object");
  });
  OpenPPTApp();
  EXPECT_EQ(calls, ppt::kOpenPPTAppTries);
  EXPECT_EQ(ppt::SharedApplication(), nullptr);
  EXPECT_TRUE(read("answer.pptx").empty());
  EXPECT_THROW(ClosePPT(), AutomationError);

  calls = 0;
  ppt::SetApplicationFactory([&] {
    if (++calls < 3) throw AutomationError(429, "", "ActiveX component can't create object");
    return office::ppt::Application::create();
  });
  OpenPPTApp();
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(read("answer.pptx").empty());
}

TEST_F(PptReaderTest, EachThreadHasItsOwnApplication) {
  OpenPPTApp();
  bool otherHadOne = true;
  size_t otherPoints = 1;
  std::thread([&] {
    otherHadOne = ppt::SharedApplication() != nullptr;
    otherPoints = read("answer.pptx").Count();
  }).join();
  EXPECT_FALSE(otherHadOne);
  EXPECT_EQ(otherPoints, 0u);
  EXPECT_NE(ppt::SharedApplication(), nullptr);
}

struct Case {
  const char* deck;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

TEST_F(PptReaderTest, PointsOfTheTestPresentations) {
  const Case cases[] = {
      // A picture named "Picture 2": the picture point, and the text colour
      // point because PowerPoint refuses a picture's text frame.
      {"picture.pptx", {"插入图片,存在", "文本颜色,存在", "自选图形1,0,1"}, {"文本,"}},
      {"black_text.pptx", {"文本,黑色"}, {"文本颜色,存在"}},
      {"red_text.pptx", {"文本,红色", "文本颜色,存在"}, {}},
      // No hyperlinks, no transitions.
      {"layouts.pptx", {"切换方式:0,3,-1,0,0", "幻灯片版式,1", "幻灯片版式,12"}, {}},
      {"transitions_mixed.pptx", {"切换方式:-2,-2,-1,-2,-2"}, {}},
      {"transitions_same.pptx", {"应用摸板,Blends", "切换方式:770,1,0,-1,1"}, {}},
      {"text.pptx",
       {"超链接地址,http://www.example.com/index.html", "超链接子地址,top", "文本,斜体下划线",
        "文本字体,", "文本大小,-2", "文本加粗,-2", "文本阴影,-1", "文本字体,ＭＳ ゴシック", "文本,"},
       {}},
      // A jump to a slide has no address, only the sub-address.
      {"actions.pptx",
       {"超链接地址,http://www.example.com/", "超链接子地址,257,2,第二页", "超链接子地址,258,3,幻灯片 3",
        "动作按钮:130,1,applause.wav,-1", "动作按钮:126,3,,0", "动作按钮:132,6,,0", "动作按钮:1,7,,0",
        "动作按钮:125,7,,0", "动作按钮:5,0,chimes.wav,0", "幻灯片版式,11"},
       {}},
      {"animations.pptx",
       {"动画效果:0,0,0,0,0", "动画效果:1,-1,3329,0,2", "动画效果:0,0,1793,0,0", "动画效果:16,0,2818,2,1",
        "动画效果:16,0,-2,0,3"},
       {}},
      // A movie has no sound format: its value and comma are left out, the
      // comma before it stays.
      {"media.pptx", {"影片和声音2,1", "影片和声音3,", "影片和声音"}, {}},
      {"fills.pptx",
       {"自选图形1,-1,1", "自选图形9,-1,1", "自选图形5,0,1", "自选图形51,-1,3", "自选图形4,-1,2",
        "自选图形1,-1,4", "自选图形1,-1,6", "自选图形10,-1,3", "自选图形21,-1,5", "自选图形138,-1,1",
        "自选图形-2,0,1", "自选图形-2,-1,-2", "动作按钮:-2,0,,0", "插入图片,存在"},
       {}},
      // pptxgenjs: a custom layout, Calibri's theme, typefaces on every run.
      {"pptxgen.pptx",
       {"应用摸板,Office Theme", "幻灯片版式,32", "超链接地址,http://www.example.com/",
        "超链接子地址,257,2,幻灯片 2", "文本,黑色文本", "文本字体,Arial", "文本大小,20", "文本,红色文本",
        "文本字体,微软雅黑", "文本加粗,-1", "自选图形5,-1,1", "自选图形9,0,1", "插入图片,存在",
        "动作按钮:130,0,,0"},
       {}},
      // LibreOffice: its "Title Slide" layout is of type tx, the Title and
      // Content slide went to a blank layout; slides 2 and 3 wipe in from
      // the left (2819), all slowly.
      {"lo_deck.pptx",
       {"应用摸板,Office 主题", "切换方式:-2,1,-1,0,0", "幻灯片版式,2", "幻灯片版式,12", "幻灯片版式,11",
        "超链接地址,http://www.example.com/", "文本,LibreOffice 演示", "文本,红色文本", "文本大小,24",
        "自选图形9,-1,1", "插入图片,存在"},
       {}},
  };
  OpenPPTApp();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deck);
    const KnowledgeSet set = read(c.deck);
    for (const std::string& p : c.present) EXPECT_TRUE((set.find(p) != nullptr)) << p << "\n" << listOf(set);
    for (const std::string& p : c.absent) EXPECT_FALSE((set.find(p) != nullptr)) << p;
  }
  // Nothing of a deck without hyperlinks is a hyperlink point.
  for (const auto& [key, item] : read("layouts.pptx")) EXPECT_FALSE(key.starts_with("超链接")) << key;
}

TEST_F(PptReaderTest, ADamagedSlideReadsNothingAndTheOthersAreRead) {
  OpenPPTApp();
  const KnowledgeSet set = read("damaged.pptx");
  // The range cannot be read: the transition item is its label alone.
  EXPECT_NE(set.find("切换方式:"), nullptr) << listOf(set);
  for (const char* point : {"幻灯片版式,1", "幻灯片版式,16", "幻灯片版式,11", "幻灯片版式,12", "文本,只有标题"})
    EXPECT_NE(set.find(point), nullptr) << point;
  for (const char* point : {"幻灯片版式,29", "文本,两栏", "文本,左栏"}) EXPECT_EQ(set.find(point), nullptr) << point;
  EXPECT_EQ(ppt::SharedApplication()->presentationCount(), 0);
}

TEST(PptSingleTextTest, ShortestFormOfSevenDigits) {
  EXPECT_EQ(ppt::SingleText(72), "72");
  EXPECT_EQ(ppt::SingleText(10.5f), "10.5");
  EXPECT_EQ(ppt::SingleText(-2), "-2");
  EXPECT_EQ(ppt::SingleText(0.1f), "0.1");
  EXPECT_EQ(ppt::SingleText(13.33f), "13.33");
}

}  // namespace
}  // namespace bq
