// ReadWord and ReadWordTable on a legacy Word 97 document (testdata/word/
// lo_exam.doc, which LibreOffice wrote from lo_exam.fodt): the model converts
// it with LibreOffice and reads what the conversion holds, as Word would
// read the binary file itself. The points are those of lo_exam.docx that
// survive the round trip through the binary format.
#include <gtest/gtest.h>

#include <string>

#include "common/dictionary.h"
#include "scoring/extractors/word_reader.h"

namespace {

TEST(WordLegacyTest, ReadsAWord97Document) {
  bq::KnowledgeSet word, table;
  bq::ReadWord("testdata/word/lo_exam.doc", word);
  bq::ReadWordTable("testdata/word/lo_exam.doc", table);
  for (const char* point :
       {"页眉正文,试卷页眉\r", "页眉对齐,1", "页眉字体大小,14", "页眉斜体,-1", "页脚正文,页脚\r",
        "页脚对齐,2", "页脚字体加粗,-1", "打印方向,1", "打印纸大小,7", "打印方向,0", "打印纸大小,2",
        "分栏宽度,198", "分栏间隔类型:-1,-1", "文本对齐,1", "行距类型,1", "行距类型,4",
        "行距数值,20", "文本,red", "文本,第二页。\r"})
    EXPECT_TRUE(word.Exists(point)) << point;
  for (const char* point : {"文本,甲\r\a", "单元格文本对齐,1", "单元格文本对齐,3",
                            "底纹背景色,14277081", "外框线型,1", "外框线宽,12", "内框线型,1"})
    EXPECT_TRUE(table.Exists(point)) << point;
}

}  // namespace
