// ReadPPT on a legacy .ppt: LibreOffice converts it (seconds), the model
// reads the result. lo_deck.ppt is LibreOffice's own PowerPoint 97 file of
// the deck testdata/ppt/make_decks.py describes; read back, its slides keep
// their layouts (LibreOffice's Title Slide of type tx, a blank and a Title
// Only layout), texts and hyperlink, and the design is named as LibreOffice
// names an imported one.
#include <gtest/gtest.h>

#include <string>

#include "scoring/extractors/ppt_reader.h"

namespace bq {
namespace {

TEST(PptLegacyTest, ALegacyPresentationIsConvertedAndRead) {
  OpenPPTApp();
  KnowledgeSet set;
  ReadPPT("testdata/ppt/lo_deck.ppt", set);
  for (const char* point : {"应用摸板,Office Theme", "幻灯片版式,2", "幻灯片版式,12", "幻灯片版式,11",
                            "文本,LibreOffice 演示", "文本,红色文本", "文本大小,24",
                            "超链接地址,http://www.example.com/"})
    EXPECT_NE(set.find(point), nullptr) << point;
  EXPECT_EQ(ppt::SharedApplication()->presentationCount(), 0);
  ClosePPT();
}

}  // namespace
}  // namespace bq
