#include "scoring/extractors/excel_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using office::testing::Entry;
using office::testing::kMain;
using office::testing::kRel;
using office::testing::kPkgRel;
using office::testing::kXdr;
using office::testing::kA;
using office::testing::kC;


// A workbook written for a test. A worksheet may carry embedded charts (one
// chart part each, drawn in order as "图表 1", "图表 2", ...); a chart sheet
// is listed in the workbook without content.
struct Book {
  struct Sheet {
    std::string name;
    std::string body;  // children of <worksheet>
    std::vector<std::string> charts;
    bool chartSheet = false;
  };
  std::vector<Sheet> sheets;
  std::string styles;  // children of <styleSheet>
  std::string sst;     // children of <sst>

  std::vector<Entry> entries() const {
    std::string wbSheets, wbRels;
    std::vector<Entry> parts;
    for (size_t i = 0; i < sheets.size(); ++i) {
      const Sheet& s = sheets[i];
      const std::string n = std::to_string(i + 1);
      const std::string file =
          (s.chartSheet ? "chartsheets/sheet" : "worksheets/sheet") + n + ".xml";
      wbSheets += "<sheet name=\"" + s.name + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
      wbRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + kRel +
                (s.chartSheet ? "/chartsheet" : "/worksheet") + "\" Target=\"" + file + "\"/>";
      if (s.chartSheet) {
        parts.push_back({"xl/" + file, "<chartsheet xmlns=\"" + kMain + "\"/>"});
        continue;
      }
      const bool drawing = !s.charts.empty();
      parts.push_back(
          {"xl/" + file, "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\">" + s.body +
                             (drawing ? "<drawing r:id=\"rD\"/>" : "") + "</worksheet>"});
      if (!drawing) continue;
      parts.push_back({"xl/worksheets/_rels/sheet" + n + ".xml.rels",
                       "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"rD\" Type=\"" +
                           kRel + "/drawing\" Target=\"../drawings/drawing" + n +
                           ".xml\"/></Relationships>"});
      std::string anchors, rels;
      for (size_t c = 0; c < s.charts.size(); ++c) {
        const std::string k = std::to_string(c + 1);
        const std::string part = "chart" + n + "_" + k + ".xml";
        anchors +=
            "<xdr:twoCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff>"
            "<xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>8</xdr:col>"
            "<xdr:colOff>0</xdr:colOff><xdr:row>15</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>"
            "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"" +
            std::to_string(c + 2) + "\" name=\"图表 " + k +
            "\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" "
            "y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm><a:graphic><a:graphicData uri=\"" +
            kC + "\"><c:chart xmlns:c=\"" + kC + "\" r:id=\"rC" + k +
            "\"/></a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/>"
            "</xdr:twoCellAnchor>";
        rels += "<Relationship Id=\"rC" + k + "\" Type=\"" + kRel + "/chart\" Target=\"../charts/" +
                part + "\"/>";
        parts.push_back({"xl/charts/" + part, s.charts[c]});
      }
      parts.push_back({"xl/drawings/drawing" + n + ".xml",
                       "<xdr:wsDr xmlns:xdr=\"" + kXdr + "\" xmlns:a=\"" + kA + "\" xmlns:r=\"" +
                           kRel + "\">" + anchors + "</xdr:wsDr>"});
      parts.push_back({"xl/drawings/_rels/drawing" + n + ".xml.rels",
                       "<Relationships xmlns=\"" + kPkgRel + "\">" + rels + "</Relationships>"});
    }
    if (!styles.empty()) {
      wbRels += "<Relationship Id=\"rS\" Type=\"" + kRel + "/styles\" Target=\"styles.xml\"/>";
      parts.push_back(
          {"xl/styles.xml", "<styleSheet xmlns=\"" + kMain + "\">" + styles + "</styleSheet>"});
    }
    if (!sst.empty()) {
      wbRels += "<Relationship Id=\"rT\" Type=\"" + kRel +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
      parts.push_back({"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + sst + "</sst>"});
    }
    parts.insert(parts.begin(),
                 {{"[Content_Types].xml",
                   "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                   "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                   "<Default Extension=\"rels\" "
                   "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                   "</Types>"},
                  {"_rels/.rels",
                   "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"rId1\" Type=\"" +
                       kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                  {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                                          "\"><sheets>" + wbSheets + "</sheets></workbook>"},
                  {"xl/_rels/workbook.xml.rels",
                   "<Relationships xmlns=\"" + kPkgRel + "\">" + wbRels + "</Relationships>"}});
    return parts;
  }

  // The workbook written to `dir`, as a file the extractor opens.
  std::string write(const office::testing::ScratchDir& dir, const std::string& name) const {
    const fs::path file = dir / name;
    office::testing::writeZip(file, entries());
    return file.string();
  }
};

// The Normal font is 宋体 11 (8-pixel digits: default columns are 8.38 wide).
// Fonts: 0 宋体 11, 1 黑体 16 bold. Fills: 2 solid red. Borders: 1 thin on
// all four sides in indexed colour 8 (ColorIndex 1), 2 a double top line in
// indexed colour 10 (ColorIndex 3). Styles: 1 heading (黑体, red, centred
// both ways, border 1), 2 format "0.00_ " with border 1, 3 border 1 only,
// 4 border 2.
const std::string kStyles =
    R"(<numFmts count="1"><numFmt numFmtId="164" formatCode="0.00_ "/></numFmts>
<fonts><font><sz val="11"/><name val="宋体"/></font><font><b/><sz val="16"/><name val="黑体"/></font></fonts>
<fills><fill><patternFill/></fill><fill><patternFill patternType="gray125"/></fill>
<fill><patternFill patternType="solid"><fgColor rgb="FFFF0000"/></patternFill></fill></fills>
<borders><border/>
<border><left style="thin"><color indexed="8"/></left><right style="thin"><color indexed="8"/></right>
<top style="thin"><color indexed="8"/></top><bottom style="thin"><color indexed="8"/></bottom></border>
<border><top style="double"><color indexed="10"/></top></border></borders>
<cellStyleXfs><xf fontId="0"/></cellStyleXfs>
<cellXfs><xf fontId="0"/>
<xf fontId="1" fillId="2" borderId="1"><alignment horizontal="center" vertical="center"/></xf>
<xf numFmtId="164" fontId="0" borderId="1"/><xf fontId="0" borderId="1"/><xf fontId="0" borderId="2"/></cellXfs>
<cellStyles><cellStyle name="常规" xfId="0" builtinId="0"/></cellStyles>)";

const std::string kStrings =
    "<si><t>姓名</t></si><si><t>成绩</t></si><si><t>等级</t></si><si><t>张三</t></si>"
    "<si><t>优</t></si>";

// A score table of four columns: a red heading row whose last two cells are
// merged, and a row with text, a number in format "0.00_ ", a formula and an
// unbordered cell. Column A is 10 wide; E1 is formatted but empty.
const std::string kTable = R"(<cols><col min="1" max="1" width="10.625" customWidth="1"/></cols>
<sheetData>
<row r="1"><c r="A1" s="1" t="s"><v>0</v></c><c r="B1" s="1" t="s"><v>1</v></c><c r="C1" s="1" t="s"><v>2</v></c><c r="D1" s="1"/><c r="E1" s="2"/></row>
<row r="2"><c r="A2" s="3" t="s"><v>3</v></c><c r="B2" s="2"><v>92.5</v></c><c r="C2" s="3"><f>B2*2</f><v>185</v></c><c r="D2" t="s"><v>4</v></c></row>
</sheetData>
<mergeCells count="1"><mergeCell ref="C1:D1"/></mergeCells>)";

std::vector<std::string> keysOf(const KnowledgeSet& d) { return d.Keys(); }

KnowledgeSet readBook(const Book& book, const std::optional<std::string>& sheet = std::nullopt) {
  office::testing::ScratchDir dir;
  KnowledgeSet d;
  ReadExcel(book.write(dir, "answer.xlsx"), d, sheet);
  return d;
}

Book tableBook(const std::string& name = "成绩表", const std::string& body = kTable) {
  Book b;
  b.sheets.push_back({name, body, {}, false});
  b.styles = kStyles;
  b.sst = kStrings;
  return b;
}

// ---------------------------------------------------------------------------
// A worksheet read whole, in step order.

TEST(ReadExcelTest, ScoreTableGivesBordersThenCellsInOrder) {
  const std::vector<std::string> expected = {
      // Whole table A1:D2: left and top thin black; right and bottom mixed
      // (D2 has no border), so nothing; inside lines thin black.
      "边框线型,实线", "边框线宽,2", "边框颜色,1", "边框线色,1",
      // A1, the heading.
      "单元内容,姓名", "水平对齐,居中", "垂直对齐,居中", "单元合并,False", "字体名称,黑体",
      "字体大小,16", "字体加粗,True", "单元列宽,10", "数据表示格式,G/通用格式", "背景颜色,存在",
      "背景式样,1",
      // B1: the default column width; C1 starts the merged pair.
      "单元内容,成绩", "单元列宽,8.38", "单元内容,等级", "单元合并,True",
      // A2: the defaults of the Normal style.
      "单元内容,张三", "水平对齐,1", "垂直对齐,靠下", "字体名称,宋体", "字体大小,11",
      "字体加粗,False", "背景式样,-4142",
      // B2: "0.00_ " trimmed, then the one "_" dropped.
      "单元内容,92.5", "数据表示格式,0.00",
      // C2: the formula in R1C1 notation; D2.
      "单元内容,=RC[-1]*2", "单元内容,优"};
  KnowledgeSet d = readBook(tableBook());
  EXPECT_EQ(keysOf(d), expected);
  for (const auto& [key, item] : d) EXPECT_EQ(item, 1) << key;
}

TEST(ReadExcelTest, AddsToTheSetWithoutClearingIt) {
  office::testing::ScratchDir dir;
  const std::string file = tableBook().write(dir, "answer.xlsx");
  KnowledgeSet d;
  d.set("旧知识点", 1);
  d.set("单元内容,优", 5);
  ReadExcel(file, d);
  EXPECT_EQ(d.Count(), 31u);
  EXPECT_EQ(d.at(0).first, "旧知识点");
  EXPECT_EQ(d.at(1).first, "单元内容,优");
  EXPECT_EQ(*d.find("单元内容,优"), 1);  // set to 1 again
}

TEST(ReadExcelTest, RepeatedPointsAreSetToOneAsTheyAreFirstFound) {
  office::testing::ScratchDir dir;
  const std::string file = tableBook().write(dir, "answer.xlsx");
  KnowledgeSet d;
  d.set("字体大小,11", 7);     // found in A2, B2, C2 and D2
  d.set("单元合并,False", 3);  // in nearly every cell
  ReadExcel(file, d);
  EXPECT_EQ(*d.find("字体大小,11"), 1);
  EXPECT_EQ(*d.find("单元合并,False"), 1);
  EXPECT_EQ(d.at(0).first, "字体大小,11");
}

TEST(ReadExcelTest, ManyDistinctValuesOfOneKindAreAllAdded) {
  // 100 fonts of sizes 10 .. 109, each used by two cells of column A.
  std::string fonts, xfs, rows;
  for (int i = 0; i < 100; ++i) {
    fonts += "<font><sz val=\"" + std::to_string(10 + i) + "\"/><name val=\"F" + std::to_string(i) +
             "\"/></font>";
    xfs += "<xf fontId=\"" + std::to_string(i) + "\"/>";
  }
  for (int r = 1; r <= 200; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\" s=\"" +
            std::to_string((r - 1) % 100) + "\"><v>1</v></c></row>";
  Book b = tableBook("Sheet1", "<sheetData>" + rows + "</sheetData>");
  b.styles = "<fonts>" + fonts + "</fonts><cellXfs>" + xfs + "</cellXfs>";
  KnowledgeSet d = readBook(b);
  for (int i = 0; i < 100; ++i) {
    EXPECT_TRUE(d.Exists("字体大小," + std::to_string(10 + i))) << i;
    EXPECT_TRUE(d.Exists("字体名称,F" + std::to_string(i))) << i;
  }
}

// ---------------------------------------------------------------------------
// Borders: the two blocks.

TEST(ReadExcelTest, LeftPartBlockFromFourColumnsOn) {
  // A double top line over A..C only: over the whole table the top edge is
  // mixed; over the left part (first x + 1 columns) it is one line.
  const std::string four =
      R"(<sheetData><row r="1"><c r="A1" s="4"><v>1</v></c><c r="B1" s="4"><v>2</v></c><c r="C1" s="4"><v>3</v></c><c r="D1"><v>4</v></c></row></sheetData>)";
  KnowledgeSet d = readBook(tableBook("Sheet1", four));
  std::vector<std::string> keys = keysOf(d);
  ASSERT_GE(keys.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 5),
            (std::vector<std::string>{"边框线型,无", "边框线型,双线", "边框线宽,4", "边框颜色,3",
                                      "单元内容,1"}));

  // Three columns, the line over A..B only: one block, whose top edge is mixed.
  const std::string three =
      R"(<sheetData><row r="1"><c r="A1" s="4"><v>1</v></c><c r="B1" s="4"><v>2</v></c><c r="C1"><v>3</v></c></row></sheetData>)";
  d = readBook(tableBook("Sheet1", three));
  EXPECT_EQ(d.at(0).first, "边框线型,无");
  EXPECT_EQ(d.at(1).first, "单元内容,1");
  EXPECT_FALSE(d.Exists("边框线型,双线"));
}

TEST(ReadExcelTest, ColumnsPastZAreNoAddresses) {
  // 27 columns: "A1:[1" and "[1" are no addresses; the left part A1:N1 is.
  const std::string wide =
      R"(<sheetData><row r="1"><c r="A1"><v>1</v></c><c r="AA1"><v>27</v></c></row></sheetData>)";
  KnowledgeSet d = readBook(tableBook("Sheet1", wide));
  EXPECT_EQ(d.at(0).first, "边框线型,无");
  EXPECT_TRUE(d.Exists("单元内容,1"));
  EXPECT_FALSE(d.Exists("单元内容,27"));
}

// ---------------------------------------------------------------------------
// Charts.

std::string chartPart(const std::string& plot, const std::string& legend) {
  return "<c:chartSpace xmlns:c=\"" + kC + "\" xmlns:a=\"" + kA + "\" xmlns:r=\"" + kRel +
         "\"><c:chart><c:autoTitleDeleted val=\"1\"/><c:plotArea><c:layout/>" + plot +
         "</c:plotArea>" + legend + "<c:plotVisOnly val=\"1\"/></c:chart></c:chartSpace>";
}

std::string series(int idx, const std::string& tx, const std::string& val) {
  return "<c:ser><c:idx val=\"" + std::to_string(idx) + "\"/><c:order val=\"" +
         std::to_string(idx) + "\"/>" + tx + "<c:val><c:numRef><c:f>" + val +
         "</c:f></c:numRef></c:val></c:ser>";
}

std::string named(const std::string& ref, const std::string& text) {
  return "<c:tx><c:strRef><c:f>" + ref +
         "</c:f><c:strCache><c:ptCount val=\"1\"/><c:pt idx=\"0\"><c:v>" + text +
         "</c:v></c:pt></c:strCache></c:strRef></c:tx>";
}

const std::string kColumns =
    chartPart("<c:barChart><c:barDir val=\"col\"/><c:grouping val=\"clustered\"/>" +
                  series(0, named("Sheet1!$B$1", "销量"), "Sheet1!$B$2:$B$5") +
                  series(1, named("Sheet1!$C$1", "利润"), "Sheet1!$C$2:$C$5") +
                  "<c:axId val=\"1\"/><c:axId val=\"2\"/></c:barChart>",
              "<c:legend><c:legendPos val=\"b\"/><c:overlay val=\"0\"/></c:legend>");
// A pie without a legend whose one series has no name of its own.
const std::string kPie =
    chartPart("<c:pieChart><c:varyColors val=\"1\"/>" + series(0, "", "Sheet1!$B$2:$B$5") +
                  "<c:firstSliceAng val=\"0\"/></c:pieChart>",
              "");

TEST(ReadExcelTest, FirstEmbeddedChartOnly) {
  Book b;
  b.sheets.push_back({"Sheet1",
                      R"(<sheetData><row r="1"><c r="A1"><v>1</v></c></row></sheetData>)",
                      {kColumns, kPie},
                      false});
  b.styles = kStyles;
  KnowledgeSet d = readBook(b);
  std::vector<std::string> keys = keysOf(d);
  ASSERT_GE(keys.size(), 9u);
  // Location 1 gives a new chart sheet "Chart1"; Location 2 without a sheet
  // name is refused; Location 3 leaves the chart in its sheet.
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 9),
            (std::vector<std::string>{"图表类型,51", "绘制方式,2", "插入类型,Chart1",
                                      "插入类型,Sheet1 图表 1", "图例位置,-4107", "系列名称,销量",
                                      "系列名称,利润", "边框线型,无", "单元内容,1"}));
  EXPECT_FALSE(d.Exists("图表类型,5"));
  EXPECT_FALSE(d.Exists("系列名称,系列1"));
}

TEST(ReadExcelTest, ChartWithoutLegendAndWithAnUnnamedSeries) {
  Book b;
  b.sheets.push_back({"Pie", "<sheetData/>", {kPie}, false});
  b.styles = kStyles;
  // An empty sheet: the chart's points only.
  EXPECT_EQ(keysOf(readBook(b)),
            (std::vector<std::string>{"图表类型,5", "绘制方式,2", "插入类型,Chart1",
                                      "插入类型,Pie 图表 1", "系列名称,系列1"}));
}

// ---------------------------------------------------------------------------
// Sheets, files and failures.

TEST(ReadExcelTest, SheetSelectionAndChartSheets) {
  Book b = tableBook();
  b.sheets.push_back({"Chart1", "", {}, true});
  b.sheets.push_back({"Second",
                      R"(<sheetData><row r="1"><c r="A1" t="s"><v>4</v></c></row></sheetData>)",
                      {},
                      false});
  b.sheets.push_back({"Empty", "<sheetData/>", {}, false});

  KnowledgeSet all = readBook(b);
  EXPECT_EQ(all.Count(), 30u + 1);  // the second sheet adds "边框线型,无" only
  EXPECT_EQ(all.at(30).first, "边框线型,无");

  KnowledgeSet second = readBook(b, "second");  // without regard to case
  EXPECT_EQ(keysOf(second), (std::vector<std::string>{
                                "边框线型,无", "单元内容,优", "水平对齐,1", "垂直对齐,靠下",
                                "单元合并,False", "字体名称,宋体", "字体大小,11", "字体加粗,False",
                                "单元列宽,8.38", "数据表示格式,G/通用格式", "背景式样,-4142"}));

  EXPECT_EQ(readBook(b, std::string()).Count(), all.Count());  // empty: every sheet
  EXPECT_TRUE(readBook(b, "Empty").empty());
  EXPECT_TRUE(readBook(b, "Chart1").empty());  // no worksheet of that name
  EXPECT_TRUE(readBook(b, "Missing").empty());
}

TEST(ReadExcelTest, UnreadableAnswersAddNothingAndDoNotFail) {
  office::testing::ScratchDir dir;
  KnowledgeSet d;
  d.set("kept", 1);
  ReadExcel((dir / "missing.xlsx").string(), d);
  office::testing::writeFile(dir / "text.xlsx", "not a workbook");
  ReadExcel((dir / "text.xlsx").string(), d);
  EXPECT_EQ(keysOf(d), std::vector<std::string>{"kept"});

  // A damaged second sheet: the first sheet's points stay.
  Book b = tableBook();
  b.sheets.push_back({"Bad", "<sheetData><row>", {}, false});
  KnowledgeSet partial = readBook(b);
  EXPECT_EQ(partial.Count(), 30u);
}

// The reading behind ReadExcel tells a workbook or worksheet that could not
// be opened from one that opened and held no point, and keeps the points
// read before a damaged sheet.
TEST(ReadExcelTest, ReadingTellsWhatCouldNotBeOpenedFromWhatHeldNothing) {
  office::testing::ScratchDir dir;
  Book b = tableBook();
  b.sheets.push_back({"Chart1", "", {}, true});
  b.sheets.push_back({"Empty", "<sheetData/>", {}, false});
  b.sheets.push_back({"Bad", "<sheetData><row>", {}, false});
  const std::string book = b.write(dir, "answer.xlsx");
  office::testing::writeFile(dir / "text.xlsx", "not a workbook");
  struct Case {
    std::string file;
    std::optional<std::string> sheet;
    bool opened;
    size_t points;
  } cases[] = {
      {book, std::nullopt, true, 30},  // the damaged sheet ends the reading
      {book, "empty", true, 0},
      {book, "Missing", false, 0},
      {book, "Chart1", false, 0},  // no worksheet of that name
      {book, "Bad", false, 0},
      {(dir / "missing.xlsx").string(), std::nullopt, false, 0},
      {(dir / "text.xlsx").string(), std::nullopt, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.sheet.value_or("(every sheet)"));
    const extract::Reading r = extract::readExcel(c.file, c.sheet);
    EXPECT_EQ(r.opened(), c.opened);
    EXPECT_EQ(r.points.Count(), c.points);
    if (!c.opened) {
      EXPECT_FALSE(r.openFailure->description().empty());
    }
  }
}

// ---------------------------------------------------------------------------
// The xls module's small routines.

TEST(XlsModuleTest, CodeTexts) {
  struct Case {
    int32_t code;
    const char* border;
    const char* alignment;
  } cases[] = {
      {-4119, "双线", "-4119"},  {1, "实线", "1"},
      {-4142, "无", "-4142"},    {-4108, "-4108", "居中"},
      {-4107, "-4107", "靠下"},  {-4131, "-4131", "-4131"},
      {-4115, "-4115", "-4115"}, {0, "0", "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xls::BorderStyleText(c.code), c.border) << c.code;
    EXPECT_EQ(xls::AlignmentText(c.code), c.alignment) << c.code;
  }
}

TEST(XlsModuleTest, ValueForms) {
  EXPECT_EQ(xls::TrimNull(std::nullopt), "");
  EXPECT_EQ(xls::TrimNull(std::string("  宋体 ")), "宋体");
  EXPECT_EQ(xls::TrimNull(std::string("\t宋体")), "\t宋体");  // spaces only

  struct {
    double value;
    const char* text;
  } numbers[] = {{12, "12"}, {10.5, "10.5"}, {8.38, "8.38"}, {0.1 + 0.2, "0.3"}, {-3, "-3"}};
  for (const auto& n : numbers) EXPECT_EQ(xls::DoubleText(n.value), n.text);

  EXPECT_EQ(xls::ColumnLetter(1), "A");
  EXPECT_EQ(xls::ColumnLetter(26), "Z");
  EXPECT_EQ(xls::ColumnLetter(0), "@");
  EXPECT_EQ(xls::ColumnLetter(27), "[");
  EXPECT_EQ(xls::ColumnLetter(100), "?");
}

TEST(XlsModuleTest, ChartAndExtentHelpersSwallowFailures) {
  Book b;
  b.sheets.push_back({"Sheet1", "<sheetData/>", {kPie}, false});
  b.sheets.push_back(
      {"Plain",
       R"(<sheetData><row r="3"><c r="B3"><v>1</v></c></row><row r="5"><c r="A5"><v>2</v></c></row></sheetData>)",
       {},
       false});
  const auto book = office::excel::Workbook::fromBytes(office::testing::zipBytes(b.entries()));

  auto chart = xls::FirstChartObject(book.worksheets(1));
  ASSERT_TRUE(chart.has_value());
  EXPECT_EQ(xls::SeriesName(1, chart->chart()), "系列1");
  EXPECT_EQ(xls::SeriesName(2, chart->chart()), "");
  EXPECT_EQ(xls::SeriesName(0, chart->chart()), "");
  EXPECT_FALSE(xls::FirstChartObject(book.worksheets(2)).has_value());

  int32_t rows = 0;
  int16_t columns = 0;
  xls::UsedExtent(book.worksheets(2), rows, columns);
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(columns, 2);
  rows = 7;
  columns = 9;
  xls::UsedExtent(book.worksheets(1), rows, columns);  // finds nothing: kept
  EXPECT_EQ(rows, 7);
  EXPECT_EQ(columns, 9);
}

}  // namespace
}  // namespace bq
