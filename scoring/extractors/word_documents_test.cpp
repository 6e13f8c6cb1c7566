// ReadWord, ReadWordTable and GetExcelScore on documents made by real
// producers (python-docx and LibreOffice; testdata/word/make_documents.py).
// Each case lists knowledge points that the content of the file settles,
// written from what the script puts there and from the values Word reports
// for it: twips / 20 for lengths (1440 is 72 points), the WdParagraphAlignment,
// WdLineSpacing, WdUnderline, WdColorIndex, WdTextureIndex and WdLineStyle
// codes, colour integers red + 256 green + 65536 blue, -1 for true, and
// 9999999 where a value is mixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/dictionary.h"
#include "common/text.h"
#include "scoring/excel_score.h"
#include "scoring/extractors/word_reader.h"

namespace {

const std::string kDir = "testdata/word/";

struct Case {
  const char* file;
  bool table;  // ReadWordTable, else ReadWord
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

bq::KnowledgeSet read(const std::string& file, bool table) {
  bq::KnowledgeSet set;
  if (table)
    bq::ReadWordTable(kDir + file, set);
  else
    bq::ReadWord(kDir + file, set);
  return set;
}

std::string listOf(const bq::KnowledgeSet& set) {
  std::string out;
  for (const auto& [key, item] : set) out += "  " + key + "\n";
  return out;
}

// The long paragraph of exam.docx (130 characters) and its first 120.
std::string longParagraph(size_t repeats) {
  std::string s = "长段落";
  for (size_t i = 0; i < repeats; ++i) s += "春风又绿江南岸明月何时照我还";
  return s;
}
const std::string kLong = longParagraph(9) + "。";
const std::string kLong120 = longParagraph(8) + "春风又绿江";

const std::vector<Case>& cases() {
  static const std::vector<Case> kCases = {
      {"exam.docx",
       false,
       {// Section 1: header 考试页眉 centred, 黑体 12 italic; footer 第一节页脚
        // right, 楷体 9 bold; A4 landscape with a 567-twip gutter.
        "页眉正文,考试页眉\r", "页眉对齐,1", "页眉字体,黑体", "页眉字体大小,12", "页眉斜体,-1",
        "页眉字体加粗,0", "页脚正文,第一节页脚\r", "页脚对齐,2", "页脚字体,楷体", "页脚字体大小,9",
        "页脚斜体,0", "页脚字体加粗,-1", "打印方向,1", "打印上页边距,72", "打印下页边距,72",
        "打印左页边距,90", "打印右页边距,90", "打印装订线位置,0", "打印装订线边距,28.35",
        "打印页眉边距,42.55", "打印页脚边距,49.6", "打印纸大小,7",
        // Section 2: its own header, left, 宋体 10.5; Letter portrait.
        "页眉正文,第二节页眉\r", "页眉对齐,0", "页眉字体,宋体", "页眉字体大小,10.5", "页眉斜体,0",
        "打印方向,0", "打印纸大小,2", "打印页眉边距,36", "打印页脚边距,36", "打印装订线边距,0",
        // Every alignment and line spacing.
        "文本对齐,0", "文本对齐,1", "文本对齐,2", "文本对齐,3", "文本对齐,4", "行距类型,0",
        "行距数值,12", "行距类型,1", "行距数值,18", "行距类型,2", "行距数值,24", "行距类型,3",
        "行距类型,4", "行距数值,20", "行距类型,5", "行距数值,15",
        // Indents and spacing in characters and lines.
        "段首行缩进,2", "段首行缩进,0", "段悬挂缩进,-2", "段左缩进,2", "段左缩进,0", "段右缩进,1.5",
        "段前行数,0.5", "段后行数,1", "段前行数,0",
        // Columns: one of 633.55 points, 21.25 apart; two of 198, 36 apart,
        // with a line; two uneven ones of 150 and 235.3, 30 apart.
        "分栏宽度,633", "分栏间隔,21", "分栏间隔类型:-1,0", "分栏宽度,198", "分栏间隔,36",
        "分栏间隔类型:-1,-1", "分栏宽度,150", "分栏宽度,235", "分栏间隔,30", "分栏间隔类型:0,0",
        // Words: underlines, colours in and outside the table and a theme
        // colour, shading, bold, the theme's fonts for Latin and Chinese.
        "文本,single", "文本下划线,1", "文本下划线,3", "文本下划线,11", "文本下划线,4",
        "文本下划线,0", "文本,red", "文本颜色,6", "文本颜色,2", "文本颜色,10", "文本颜色,15",
        "文本颜色,0", "文本,shaded", "底纹背景色,65535", "底纹背景色,65280", "底纹前景色,255",
        "底纹类型,250", "底纹背景色,-738132071", "底纹背景色,-16777216", "底纹前景色,-16777216",
        "底纹类型,0", "文本加粗,-1", "文本加粗,0", "文本斜体,0", "文本字体,Cambria",
        "文本字体,宋体", "文本大小,10.5", "文本,，", "文本,。", "文本,！", "文本,？", "文本,fox",
        "文本,.", "文本,3.14", "文本,合格", "文本,\r", "文本,\r\a", "文本,\f",
        // Sentences, trimmed; the long paragraph cut to 120 characters.
        "文本,春眠不觉晓，处处闻啼鸟。", "文本,夜来风雨声！", "文本,花落知多少？\r",
        "文本,The quick fox.", "文本,It runs fast!", "文本,Does it?", "文本,Yes 3.14 is the pi.\r",
        "文本," + kLong120},
       {"文本,The quick fox. ", "文本," + kLong, "段首行缩进,-2", "页眉字体加粗,-1", "文本,fox.",
        "文本,3", "文本,14"}},
      {"exam.docx",
       true,
       {"文本,左对齐单倍行距。\r", "文本对齐,0", "文本对齐,1", "文本对齐,2", "文本对齐,3",
        "文本对齐,4", "字体名称,宋体", "字体名称,Cambria", "字体大小,10.5", "字体加粗,0",
        "字体颜色,0",
        // Bold over part of a paragraph, colours that differ.
        "文本,加粗和常规。\r", "字体加粗,9999999", "字体颜色,9999999",
        "文本,春眠不觉晓，处处闻啼鸟。夜来风雨声！花落知多少？\r", "文本," + kLong120,
        // Cells: the grey header cells, bold, centred both ways; the cell of
        // 90 at the bottom with a 50% pattern; the others plain at the top.
        "文本,姓名\r\a", "字体加粗,-1", "单元格文本对齐,1", "底纹背景色,14277081",
        "底纹前景色,-16777216", "底纹类型,0", "文本,90\r\a", "单元格文本对齐,3",
        "底纹背景色,16777215", "底纹前景色,8388608", "底纹类型,500", "单元格文本对齐,0",
        "底纹背景色,-16777216", "文本,合格\r\a", "文本,\r\a",
        // Table 1: double red outside, dotted blue inside; table 2: only a top
        // line, so the outside style differs, and no inside lines.
        "外框线型,7", "外框线宽,12", "外框颜色,6", "内框线型,2", "内框线宽,4", "内框颜色,2",
        "外框线型,9999999", "外框线宽,4", "外框颜色,0", "内框线型,0", "内框颜色,0"},
       {"文本," + kLong, "文本,左对齐单倍行距。", "单元格文本对齐,9999999"}},
      // LibreOffice's document (lo_exam.fodt): A4 landscape and Letter page
      // styles, the header and footer of the first, two columns with a line
      // on the second; LibreOffice writes the Latin font Liberation Serif
      // and, for Chinese text, the East Asian font it had.
      {"lo_exam.docx",
       false,
       {"页眉正文,试卷页眉\r", "页眉对齐,1", "页眉字体大小,14", "页眉斜体,-1", "页眉字体加粗,0",
        "页脚正文,页脚\r", "页脚对齐,2", "页脚字体加粗,-1", "页眉正文,\r", "页脚正文,\r",
        "打印方向,1", "打印纸大小,7", "打印上页边距,87.25", "打印下页边距,84.95",
        "打印左页边距,70.85", "打印页眉边距,56.7", "打印方向,0", "打印纸大小,2", "分栏宽度,198",
        "分栏间隔,36", "分栏间隔类型:-1,-1", "分栏间隔类型:-1,0", "文本对齐,1", "行距类型,1",
        "行距数值,18", "行距类型,2", "行距类型,3", "行距类型,4", "行距数值,20",
        // The words' spaces are in plain runs of their own: a word takes its
        // space, so red, underline and shading are mixed over "red " and
        // "shaded ".
        "文本,red", "文本颜色,9999999", "文本下划线,9999999", "文本,shaded", "底纹背景色,9999999",
        "文本字体,Liberation Serif", "文本大小,12", "文本,两端对齐。\r", "文本,第二页。\r"},
       {"文本颜色,6", "文本下划线,1", "底纹背景色,65535"}},
      {"lo_exam.docx",
       true,
       {"文本,甲\r\a", "单元格文本对齐,1", "底纹背景色,14277081", "文本,乙\r\a", "单元格文本对齐,3",
        "字体加粗,9999999", "外框线型,1", "外框线宽,12", "外框颜色,1", "内框线型,1", "内框线宽,12",
        "内框颜色,1"},
       {}},
  };
  return kCases;
}

TEST(WordDocumentsTest, KnowledgePointsOfRealDocuments) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(std::string(c.file) + (c.table ? " (table)" : ""));
    const bq::KnowledgeSet set = read(c.file, c.table);
    for (const std::string& point : c.present)
      EXPECT_TRUE(set.Exists(point)) << "missing " << point << "\nread:\n" << listOf(set);
    for (const std::string& point : c.absent) EXPECT_FALSE(set.Exists(point)) << point;
    // Text items are never longer than 120 characters after their label.
    for (const auto& [key, item] : set) {
      if (key.rfind("文本,", 0) == 0) {
        EXPECT_LE(bq::len16(key), 3u + 120u) << key;
      }
      EXPECT_EQ(item, 1);
    }
  }
}

TEST(WordDocumentsTest, CellItemsOnlyForParagraphsInTables) {
  // lo_exam.docx's paragraphs outside its table add no cell items: every
  // vertical alignment read comes from the two cells.
  const bq::KnowledgeSet set = read("lo_exam.docx", true);
  std::vector<std::string> alignments;
  for (const auto& [key, item] : set)
    if (key.rfind("单元格文本对齐,", 0) == 0) alignments.push_back(key);
  EXPECT_EQ(alignments, (std::vector<std::string>{"单元格文本对齐,1", "单元格文本对齐,3"}));
}

TEST(WordDocumentsTest, FilesWordCannotOpenAddNothing) {
  bq::KnowledgeSet set;
  set.set("kept", 1);
  bq::ReadWord(kDir + "make_documents.py", set);
  bq::ReadWordTable(kDir + "no such file.docx", set);
  EXPECT_EQ(set.Keys(), std::vector<std::string>{"kept"});
}

// GetExcelScore of the model answer against its own points is 1; of the
// changed answer, the changed points are missing, exactly.
TEST(WordDocumentsTest, ScoresTheModelAnswerAndAChangedOne) {
  struct Kind {
    const char* name;
    bool table;
    std::vector<std::string> missing;
  } kinds[] = {
      {"WORDTEST",
       false,
       {"页眉斜体,-1", "段悬挂缩进,-2", "分栏间隔类型:-1,-1", "文本颜色,6", "文本,Does it?",
        "文本,it"}},
      {"wordtable",
       true,
       {"文本,The quick fox. It runs fast! Does it? Yes 3.14 is the pi.\r", "外框线宽,12"}},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.name);
    bq::KnowledgeSet expected = read("exam.docx", k.table);
    ASSERT_GT(expected.Count(), 50u);
    bq::KnowledgeSet d1, d2;
    EXPECT_EQ(bq::GetExcelScore(k.name, expected, kDir + "exam.docx", d1, d2), 1.0);
    EXPECT_EQ(d1.Count(), expected.Count());
    EXPECT_TRUE(d2.empty());

    bq::KnowledgeSet m1, m2;
    const double score = bq::GetExcelScore(k.name, expected, kDir + "exam_changed.docx", m1, m2);
    std::vector<std::string> missing = m2.Keys();
    std::vector<std::string> wanted = k.missing;
    std::sort(missing.begin(), missing.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(missing, wanted);
    EXPECT_DOUBLE_EQ(score, static_cast<double>(expected.Count() - wanted.size()) /
                                static_cast<double>(expected.Count()));
  }
}

}  // namespace
