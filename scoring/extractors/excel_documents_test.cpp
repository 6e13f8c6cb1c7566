// ReadExcel and GetExcelScore on workbooks made by real producers (openpyxl
// and LibreOffice; testdata/excel/make_workbooks.py). Each case lists
// knowledge points that the content of the file settles, written from what
// the script puts there and from the values Excel reports for it: a thin line
// is line style 1 weight 2, black is colour index 1, a stored column width of
// 12 in the 7-pixel digit of Calibri 11 is 11.29, the default width 8.43, the
// general format "G/通用格式", and so on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/dictionary.h"
#include "scoring/excel_score.h"
#include "scoring/extractors/excel_reader.h"

namespace {

const std::string kDir = "testdata/excel/";

struct Case {
  const char* file;
  const char* sheet;  // empty: every worksheet
  std::vector<std::string> present;
  std::vector<std::string> absent;       // exact points that must not be there
  std::vector<std::string> absentLabel;  // labels no point may begin with
};

bq::KnowledgeSet read(const Case& c) {
  bq::KnowledgeSet set;
  if (*c.sheet) {
    bq::ReadExcel(kDir + c.file, set, std::string(c.sheet));
  } else {
    bq::ReadExcel(kDir + c.file, set);
  }
  return set;
}

std::string listOf(const bq::KnowledgeSet& set) {
  std::string out;
  for (const auto& [key, item] : set) out += "  " + key + "\n";
  return out;
}

const std::vector<Case>& cases() {
  static const std::vector<Case> kCases = {
      // The scored table A1:E6: every cell boxed thin black; five columns, so
      // the left part A1:C6 is read as well, with the same lines.
      {"styles.xlsx",
       "成绩表",
       {"边框线型,实线", "边框线宽,2", "边框颜色,1", "边框线色,1",
        // constants and formulas (relative, absolute, mixed)
        "单元内容,姓名", "单元内容,张三", "单元内容,80", "单元内容,100", "单元内容,合计",
        "单元内容,=RC[-2]+RC[-1]", "单元内容,=RC[-1]/R6C4", "单元内容,=R[-4]C2+R1C[1]",
        "单元内容,=SUM(R[-4]C:R[-1]C)",
        // the header row: 宋体 12 bold, centred both ways, solid yellow fill
        "水平对齐,居中", "垂直对齐,居中", "字体名称,宋体", "字体大小,12", "字体加粗,True",
        "背景颜色,存在", "背景式样,1",
        // names left, 合计 right and top; the rest as the defaults give them
        "水平对齐,-4131", "水平对齐,-4152", "垂直对齐,-4160", "水平对齐,1", "垂直对齐,靠下",
        "单元合并,False", "字体名称,Calibri", "字体大小,11", "字体加粗,False", "字体名称,Arial",
        "字体大小,10.5",
        // widths 12 and 10 stored, Calibri 11
        "单元列宽,11.29", "单元列宽,9.29",
        // formats: "0.00_ " loses the blank and the "_", "0.0__" one "_"
        "数据表示格式,G/通用格式", "数据表示格式,0.00", "数据表示格式,0.00%", "数据表示格式,0.0_",
        // no fill, and the medium grey pattern of C6
        "背景式样,-4142", "背景式样,-4125"},
       {"单元合并,True", "数据表示格式,0.00_", "数据表示格式,0.0__", "数据表示格式,0.00_ ",
        "单元列宽,8.43", "边框线型,无"},
       {"图表类型,", "系列名称,", "图例位置,"}},
      // Merged areas A1:C1 and A2:B3; constants as the formula bar shows them.
      {"styles.xlsx",
       "合并",
       {"单元合并,True", "单元合并,False", "单元内容,标题", "单元内容,左", "单元内容,1",
        "单元内容,TRUE", "单元内容,25%", "单元内容,3.5", "数据表示格式,0%",
        "数据表示格式,G/通用格式", "单元列宽,8.43", "边框线型,无", "水平对齐,居中"},
       {},
       {"边框线宽,", "边框颜色,", "边框线色,", "背景颜色,", "图表类型,"}},
      // Clustered columns, series by columns, legend at the bottom, two
      // series named by literal text.
      {"styles.xlsx",
       "图表",
       {"图表类型,51", "绘制方式,2", "图例位置,-4107", "系列名称,收入", "系列名称,支出",
        "单元内容,月份", "单元内容,一月", "单元内容,14"},
       {"系列名称,系列1", "系列名称,系列3"},
       {}},
      // A pie without a legend, its one series without a name.
      {"styles.xlsx",
       "饼图",
       {"图表类型,5", "绘制方式,2", "系列名称,系列1", "单元内容,甲"},
       {"系列名称,系列2"},
       {"图例位置,"}},
      // Every worksheet: points of all of them in one set.
      {"styles.xlsx",
       "",
       {"字体名称,宋体", "单元合并,True", "图表类型,51", "图表类型,5", "系列名称,收入",
        "系列名称,系列1", "图例位置,-4107", "单元内容,=RC[-1]/R6C4"},
       {},
       {}},
      // The borders workbook: one sheet per line style, 2 x 2 boxed tables.
      {"borders.xlsx",
       "thin",
       {"边框线型,实线", "边框线宽,2", "边框颜色,1", "边框线色,1"},
       {"边框线型,无"},
       {}},
      {"borders.xlsx",
       "medium",
       {"边框线型,实线", "边框线宽,-4138", "边框颜色,3", "边框线色,3"},
       {},
       {}},
      {"borders.xlsx",
       "thick",
       {"边框线型,实线", "边框线宽,4", "边框颜色,5", "边框线色,5"},
       {},
       {}},
      {"borders.xlsx",
       "double",
       {"边框线型,双线", "边框线宽,4", "边框颜色,4", "边框线色,4"},
       {},
       {}},
      {"borders.xlsx", "hair", {"边框线型,实线", "边框线宽,1", "边框颜色,6", "边框线色,6"}, {}, {}},
      {"borders.xlsx",
       "dotted",
       {"边框线型,-4118", "边框线宽,2", "边框颜色,7", "边框线色,7"},
       {},
       {}},
      {"borders.xlsx",
       "dashed",
       {"边框线型,-4115", "边框线宽,2", "边框颜色,8", "边框线色,8"},
       {},
       {}},
      {"borders.xlsx", "dashDot", {"边框线型,4", "边框线宽,2", "边框颜色,1"}, {}, {}},
      {"borders.xlsx", "dashDotDot", {"边框线型,5", "边框线宽,2", "边框颜色,1"}, {}, {}},
      {"borders.xlsx", "mediumDashed", {"边框线型,-4115", "边框线宽,-4138", "边框颜色,1"}, {}, {}},
      {"borders.xlsx", "mediumDashDot", {"边框线型,4", "边框线宽,-4138", "边框颜色,1"}, {}, {}},
      {"borders.xlsx", "mediumDashDotDot", {"边框线型,5", "边框线宽,-4138", "边框颜色,1"}, {}, {}},
      {"borders.xlsx", "slantDashDot", {"边框线型,13", "边框线宽,-4138", "边框颜色,1"}, {}, {}},
      {"borders.xlsx",
       "automatic",
       {"边框线型,实线", "边框线宽,2", "边框颜色,-4105", "边框线色,-4105"},
       {},
       {}},
      {"borders.xlsx", "none", {"边框线型,无"}, {}, {"边框线宽,", "边框颜色,", "边框线色,"}},
      // Thick red outline, thin blue inside. Four columns: the left part
      // A1:C3 has the thin blue line between C and D as its right edge.
      {"borders.xlsx",
       "outline4",
       {"边框线型,实线", "边框线宽,4", "边框颜色,3", "边框线宽,2", "边框线色,5", "边框颜色,5"},
       {},
       {}},
      // Three columns: no left part, so blue is only an inside colour.
      {"borders.xlsx",
       "outline3",
       {"边框线型,实线", "边框线宽,4", "边框颜色,3", "边框线宽,2", "边框线色,5"},
       {"边框颜色,5"},
       {}},
      // LibreOffice: a chart whose series names are cached from the cells.
      {"lo_chart.xlsx",
       "数据",
       {"图表类型,51", "绘制方式,2", "图例位置,-4152", "系列名称,北区", "系列名称,南区",
        "单元内容,季度", "单元内容,一季度"},
       {"系列名称,系列1"},
       {}},
      // openpyxl: series names that refer to cells, with no cached text;
      // Excel reads them from the cells when it loads the file.
      {"ref_names.xlsx",
       "成绩表",
       {"图表类型,51", "系列名称,成绩", "系列名称,排名"},
       {"系列名称,系列1", "系列名称,系列2"},
       {}},
      // The names on another sheet (a quoted name with an apostrophe), two
      // cells joined by a blank, a number as the cell shows it.
      {"ref_names.xlsx",
       "引用",
       {"系列名称,成绩", "系列名称,甲 乙", "系列名称,2024"},
       {"系列名称,系列1", "系列名称,系列2", "系列名称,系列3"},
       {}},
      // LibreOffice: rich text of two fonts (Arial and DejaVu Serif), a
      // styled cell, a merged pair and formulas.
      {"lo_richtext.xlsx",
       "富文本",
       {"单元内容,Plain Serif", "单元内容,Title", "单元内容,3.5", "单元内容,=RC[-2]*RC[-1]",
        "单元内容,=R2C1+RC[-2]", "字体名称,DejaVu Sans Mono", "字体大小,14", "字体加粗,True",
        "水平对齐,居中", "垂直对齐,居中", "单元合并,True", "单元合并,False", "字体名称,Arial",
        "字体大小,10"},
       {"字体名称,DejaVu Serif"},
       {"图表类型,"}},
      // openpyxl, 1904 date system: dates counted from 1904, custom formats
      // with their colours and General in Chinese, an array formula shown in
      // each of its three cells.
      {"formats.xlsx",
       "格式",
       {"单元内容,1/15/2024", "数据表示格式,yyyy/m/d", "单元内容,-12.5",
        "数据表示格式,0.00_);[红色]\\(0.00\\)", "单元内容,50%", "数据表示格式,[蓝色]0%;[红色]-0%",
        "单元内容,7", "数据表示格式,G/通用格式;[红色]-G/通用格式", "单元内容,1/1/1904 12:00:00 PM",
        "数据表示格式,yyyy/m/d h:mm", "单元内容,=R[1]C[-1]:R[3]C[-1]*2",
        "单元内容,=RC[-1]:R[2]C[-1]*2", "单元内容,=R[-1]C[-1]:R[1]C[-1]*2"},
       {"单元内容,43844", "单元内容,1/14/2020", "单元内容,12:00:00 PM",
        "数据表示格式,0.00_);[Red]\\(0.00\\)"},
       {}},
      // The same workbook written by LibreOffice: [RED] in capitals, the array
      // formula's other cells holding their values.
      {"lo_formats.xlsx",
       "格式",
       {"单元内容,1/15/2024", "数据表示格式,yyyy/m/d", "数据表示格式,0.00_);[红色]\\(0.00\\)",
        "单元内容,50%", "单元内容,7", "单元内容,1/1/1904 12:00:00 PM",
        "单元内容,=R[1]C[-1]:R[3]C[-1]*2", "单元内容,=RC[-1]:R[2]C[-1]*2",
        "单元内容,=R[-1]C[-1]:R[1]C[-1]*2"},
       {"数据表示格式,0.00_);[RED]\\(0.00\\)", "单元内容,1", "单元内容,14", "单元内容,-25"},
       {}},
      // 28 columns: Z is the last column letter; AA and AB are no addresses,
      // so their cells add nothing and the whole-table border block (with
      // AB's thick red right edge) neither; the left part A1:O2 is read.
      // A5 is formatted below the table and not visited.
      {"edges.xlsx",
       "宽表",
       {"单元内容,列1", "单元内容,Z列", "单元内容,26", "边框线型,实线", "边框线宽,2", "边框颜色,1",
        "边框线色,1"},
       {"单元内容,超出", "单元内容,最后", "单元内容,27", "单元内容,28", "边框线宽,4", "边框颜色,3",
        "字体名称,Courier New", "字体大小,20"},
       {"图表类型,"}},
      // Two charts: only the first (columns, legend at the bottom) is read,
      // and its series names stop at the second one's empty name.
      {"edges.xlsx",
       "两图",
       {"图表类型,51", "图例位置,-4107", "系列名称,甲", "单元内容,类别"},
       {"系列名称,丙", "系列名称,系列2", "系列名称,乙", "图表类型,4", "图例位置,-4160"},
       {}},
      // A chart without series: its type and legend, no series name.
      {"edges.xlsx",
       "无系列",
       {"图表类型,51", "图例位置,-4152", "单元内容,空图"},
       {},
       {"系列名称,"}},
      // LibreOffice: a CSV text, values only.
      {"lo_csv.xlsx",
       "",
       {"单元内容,编号", "单元内容,名称", "单元内容,数量", "单元内容,苹果", "单元内容,12",
        "单元内容,7.5", "单元合并,False", "水平对齐,1", "垂直对齐,靠下", "背景式样,-4142"},
       {},
       {"图表类型,", "背景颜色,"}},
  };
  return kCases;
}

class ExcelDocuments : public ::testing::TestWithParam<size_t> {};

TEST_P(ExcelDocuments, HoldsTheExpectedPoints) {
  const Case& c = cases()[GetParam()];
  const bq::KnowledgeSet set = read(c);
  for (const std::string& point : c.present) {
    EXPECT_TRUE(set.Exists(point)) << c.file << " " << c.sheet << ": missing " << point << "\ngot:\n"
                                   << listOf(set);
  }
  for (const std::string& point : c.absent) {
    EXPECT_FALSE(set.Exists(point)) << c.file << " " << c.sheet << ": unexpected " << point;
  }
  for (const std::string& label : c.absentLabel) {
    for (const auto& [key, item] : set) {
      EXPECT_FALSE(key.starts_with(label)) << c.file << " " << c.sheet << ": unexpected " << key;
    }
  }
  for (const auto& [key, item] : set) EXPECT_EQ(item, 1) << key;
}

INSTANTIATE_TEST_SUITE_P(Workbooks, ExcelDocuments, ::testing::Range<size_t>(0, cases().size()),
                         [](const auto& info) {
                           const Case& c = cases()[info.param];
                           std::string name = c.file;
                           name = name.substr(0, name.find('.')) + "_" + std::to_string(info.param);
                           return name;
                         });

TEST(ExcelDocuments, EmptyWorksheetAddsNothing) {
  bq::KnowledgeSet set;
  bq::ReadExcel(kDir + "styles.xlsx", set, std::string("空表"));
  EXPECT_EQ(set.Count(), 0u) << listOf(set);
}

TEST(ExcelDocuments, MissingWorksheetAddsNothing) {
  bq::KnowledgeSet set;
  set.set("before", 1);
  bq::ReadExcel(kDir + "styles.xlsx", set, std::string("没有这张表"));
  EXPECT_EQ(set.Count(), 1u) << listOf(set);
}

// The expected set of the scored table: what a correct answer holds.
bq::KnowledgeSet expectedTable() {
  bq::KnowledgeSet e;
  for (const char* p : {"单元内容,=RC[-2]+RC[-1]", "单元内容,=RC[-1]/R6C4", "单元内容,=SUM(R[-4]C:R[-1]C)",
                        "字体名称,宋体", "字体大小,12", "字体加粗,True", "背景颜色,存在",
                        "边框线型,实线", "边框颜色,1", "数据表示格式,0.00%", "单元列宽,11.29"}) {
    e.set(p, 1);
  }
  return e;
}

TEST(ExcelDocuments, CorrectAnswerScoresOne) {
  bq::KnowledgeSet expected = expectedTable(), d1, d2;
  EXPECT_DOUBLE_EQ(
      bq::GetExcelScore("excel", expected, kDir + "styles.xlsx", d1, d2, std::string("成绩表")), 1.0)
      << "unmatched:\n"
      << listOf(d2);
  EXPECT_EQ(d1.Count(), expected.Count());
  EXPECT_EQ(d2.Count(), 0u);
}

TEST(ExcelDocuments, ChangedAnswerScoresLess) {
  // styles_changed.xlsx: D6 relative where $D$6 belongs, headers not bold.
  bq::KnowledgeSet expected = expectedTable(), d1, d2;
  const double score =
      bq::GetExcelScore("EXCEL", expected, kDir + "styles_changed.xlsx", d1, d2, std::string("成绩表"));
  EXPECT_DOUBLE_EQ(score, 9.0 / 11.0);
  EXPECT_TRUE(d2.Exists("单元内容,=RC[-1]/R6C4"));
  EXPECT_TRUE(d2.Exists("字体加粗,True"));
  EXPECT_EQ(d1.Count() + d2.Count(), expected.Count());
}

// The answer's chart names its series by the header cells, as openpyxl
// and other producers write it without cached text: the names still score.
TEST(ExcelDocuments, SeriesNamedByCellsScore) {
  bq::KnowledgeSet expected, d1, d2;
  expected.set("系列名称,成绩", 1);
  expected.set("系列名称,排名", 1);
  EXPECT_DOUBLE_EQ(
      bq::GetExcelScore("EXCEL", expected, kDir + "ref_names.xlsx", d1, d2, std::string("成绩表")),
      1.0)
      << listOf(d2);
}

TEST(ExcelDocuments, MissingFileScoresZero) {
  bq::KnowledgeSet expected = expectedTable(), d1, d2;
  EXPECT_EQ(bq::GetExcelScore("Excel", expected, kDir + "no_such.xlsx", d1, d2), 0.0);
  EXPECT_EQ(d2.Count(), expected.Count());
}

}  // namespace
