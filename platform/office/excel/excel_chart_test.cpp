#include "platform/office/excel/excel_chart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/excel/excel.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::excel {
namespace {

namespace fs = std::filesystem;
using testing::Entry;
using testing::kMain;
using testing::kRel;
using testing::kPkgRel;
using testing::kXdr;
using testing::kA;
using testing::kC;
using testing::errorOf;



// A chart part whose plot area holds `plot` and whose c:chart ends with
// `legend` (empty: no legend).
std::string chartPart(const std::string& plot, const std::string& legend = "") {
  return "<c:chartSpace xmlns:c=\"" + kC + "\" xmlns:a=\"" + kA + "\" xmlns:r=\"" + kRel +
         "\"><c:chart><c:autoTitleDeleted val=\"1\"/><c:plotArea><c:layout/>" + plot +
         "</c:plotArea>" + legend + "<c:plotVisOnly val=\"1\"/></c:chart></c:chartSpace>";
}

std::string legendAt(const std::string& pos) {
  return "<c:legend><c:legendPos val=\"" + pos + "\"/><c:overlay val=\"0\"/></c:legend>";
}

// A series: `tx` is the whole c:tx element (or empty), `val` the values' reference.
std::string ser(int idx, const std::string& tx, const std::string& val,
                const std::string& extra = "", const std::string& cat = "") {
  std::string s = "<c:ser><c:idx val=\"" + std::to_string(idx) + "\"/><c:order val=\"" +
                  std::to_string(idx) + "\"/>" + tx + extra;
  if (!cat.empty()) s += "<c:cat><c:strRef><c:f>" + cat + "</c:f></c:strRef></c:cat>";
  if (!val.empty()) s += "<c:val><c:numRef><c:f>" + val + "</c:f></c:numRef></c:val>";
  return s + "</c:ser>";
}

std::string txRef(const std::string& ref, const std::string& text) {
  return "<c:tx><c:strRef><c:f>" + ref +
         "</c:f><c:strCache><c:ptCount val=\"1\"/><c:pt idx=\"0\"><c:v>" + text +
         "</c:v></c:pt></c:strCache></c:strRef></c:tx>";
}

std::string anchor(const std::string& body) {
  return "<xdr:twoCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>1"
         "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>8</xdr:col><xdr:colOff>0"
         "</xdr:colOff><xdr:row>15</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>" +
         body + "<xdr:clientData/></xdr:twoCellAnchor>";
}

std::string chartFrame(const std::string& name, const std::string& rid) {
  return "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"" + name +
         "\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" y=\"0\"/>"
         "<a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm><a:graphic><a:graphicData uri=\"" +
         kC + "\"><c:chart xmlns:c=\"" + kC + "\" r:id=\"" + rid +
         "\"/></a:graphicData></a:graphic></xdr:graphicFrame>";
}

// A workbook with worksheet "Sheet1" whose drawing holds `anchors` (none
// when empty), the chart parts xl/charts/chartN.xml that the drawing's
// relationships rC1, rC2, ... name, and chart sheets after it.
struct ChartBook {
  std::string anchors;
  std::vector<std::string> charts;  // chart parts, for rC1, rC2, ...
  std::string drawingXml;           // the whole drawing part instead of anchors
  struct ChartSheet {
    std::string name;
    std::string chart;  // its chart part; empty: a chart sheet without drawing
  };
  std::vector<ChartSheet> chartSheets;

  std::string bytes() const {
    std::vector<Entry> entries;
    std::string wbSheets = "<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>";
    std::string wbRels = "<Relationship Id=\"rId1\" Type=\"" + kRel +
                         "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    const bool drawing = !anchors.empty() || !drawingXml.empty();
    entries.push_back({"xl/worksheets/sheet1.xml",
                       "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                           "\"><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>" +
                           (drawing ? "<drawing r:id=\"rD\"/>" : "") + "</worksheet>"});
    if (drawing) {
      entries.push_back({"xl/worksheets/_rels/sheet1.xml.rels",
                         "<Relationships xmlns=\"" + kPkgRel +
                             "\"><Relationship Id=\"rD\" Type=\"" + kRel +
                             "/drawing\" Target=\"../drawings/drawing1.xml\"/></Relationships>"});
      entries.push_back({"xl/drawings/drawing1.xml",
                         !drawingXml.empty()
                             ? drawingXml
                             : "<xdr:wsDr xmlns:xdr=\"" + kXdr + "\" xmlns:a=\"" + kA +
                                   "\" xmlns:r=\"" + kRel + "\">" + anchors + "</xdr:wsDr>"});
      std::string rels;
      for (size_t i = 0; i < charts.size(); ++i)
        rels += "<Relationship Id=\"rC" + std::to_string(i + 1) + "\" Type=\"" + kRel +
                "/chart\" Target=\"../charts/chart" + std::to_string(i + 1) + ".xml\"/>";
      entries.push_back({"xl/drawings/_rels/drawing1.xml.rels",
                         "<Relationships xmlns=\"" + kPkgRel + "\">" + rels + "</Relationships>"});
      for (size_t i = 0; i < charts.size(); ++i)
        if (!charts[i].empty())
          entries.push_back({"xl/charts/chart" + std::to_string(i + 1) + ".xml", charts[i]});
    }
    for (size_t i = 0; i < chartSheets.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      wbSheets += "<sheet name=\"" + chartSheets[i].name + "\" sheetId=\"" + std::to_string(i + 2) +
                  "\" r:id=\"rCs" + n + "\"/>";
      wbRels += "<Relationship Id=\"rCs" + n + "\" Type=\"" + kRel +
                "/chartsheet\" Target=\"chartsheets/sheet" + n + ".xml\"/>";
      const bool has = !chartSheets[i].chart.empty();
      entries.push_back({"xl/chartsheets/sheet" + n + ".xml",
                         "<chartsheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\">" +
                             (has ? "<drawing r:id=\"rD\"/>" : "") + "</chartsheet>"});
      if (!has) continue;
      entries.push_back(
          {"xl/chartsheets/_rels/sheet" + n + ".xml.rels",
           "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"rD\" Type=\"" + kRel +
               "/drawing\" Target=\"../drawings/cs" + n + ".xml\"/></Relationships>"});
      entries.push_back(
          {"xl/drawings/cs" + n + ".xml",
           "<xdr:wsDr xmlns:xdr=\"" + kXdr + "\" xmlns:a=\"" + kA + "\" xmlns:r=\"" + kRel +
               "\"><xdr:absoluteAnchor><xdr:pos x=\"0\" y=\"0\"/><xdr:ext cx=\"1\" cy=\"1\"/>" +
               chartFrame("Chart 1", "rC1") + "<xdr:clientData/></xdr:absoluteAnchor></xdr:wsDr>"});
      entries.push_back({"xl/drawings/_rels/cs" + n + ".xml.rels",
                         "<Relationships xmlns=\"" + kPkgRel +
                             "\"><Relationship Id=\"rC1\" Type=\"" + kRel +
                             "/chart\" Target=\"../charts/cs" + n + ".xml\"/></Relationships>"});
      entries.push_back({"xl/charts/cs" + n + ".xml", chartSheets[i].chart});
    }
    const std::vector<Entry> head = testing::workbookHead(wbSheets, wbRels);
    entries.insert(entries.begin(), head.begin(), head.end());
    return testing::zipBytes(entries);
  }
  Workbook open() const { return Workbook::fromBytes(bytes(), "chart.xlsx"); }
};

// One embedded chart named "图表 1" with chart part `chart`.
ChartBook oneChart(const std::string& chart) {
  ChartBook b;
  b.anchors = anchor(chartFrame("图表 1", "rC1"));
  b.charts = {chart};
  return b;
}

Chart onlyChart(const std::string& plot, const std::string& legend = "") {
  return oneChart(chartPart(plot, legend)).open().worksheets(1).chartObjects(1).chart();
}

// ---------------------------------------------------------------------------
// The three charts of an exam answer.

TEST(ExcelChartTest, ClusteredColumnsWithLegendAtTheBottomAndNamedSeries) {
  const std::string plot =
      "<c:barChart><c:barDir val=\"col\"/><c:grouping val=\"clustered\"/>"
      "<c:varyColors val=\"0\"/>" +
      ser(0, txRef("Sheet1!$B$1", "销量"), "Sheet1!$B$2:$B$5") +
      ser(1, txRef("Sheet1!$C$1", "利润"), "Sheet1!$C$2:$C$5") +
      "<c:axId val=\"1\"/><c:axId val=\"2\"/></c:barChart>";
  Workbook book = oneChart(chartPart(plot, legendAt("b"))).open();
  Worksheet sheet = book.worksheets(1);
  std::vector<ChartObject> objects = sheet.chartObjects();
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].name(), "图表 1");
  EXPECT_EQ(objects[0].index(), 1);
  Chart chart = sheet.chartObjects(1).chart();
  EXPECT_EQ(chart.chartType(), 51);  // xlColumnClustered
  EXPECT_EQ(chart.plotBy(), 2);      // xlColumns: each series down a column
  EXPECT_TRUE(chart.hasLegend());
  EXPECT_EQ(chart.legend().position(), -4107);  // xlLegendPositionBottom
  ASSERT_EQ(chart.seriesCount(), 2);
  EXPECT_EQ(chart.seriesCollection(1).name(), "销量");
  EXPECT_EQ(chart.seriesCollection(2).name(), "利润");
  EXPECT_EQ(chart.name(), "Sheet1 图表 1");
  EXPECT_EQ(chart.placement(), 2);  // xlLocationAsObject
}

TEST(ExcelChartTest, PieWithoutLegendFailsOnLegendAsExcelDoes) {
  const std::string plot = "<c:pieChart><c:varyColors val=\"1\"/>" +
                           ser(0, "<c:tx><c:v>份额</c:v></c:tx>", "Sheet1!$B$2:$E$2") +
                           "<c:firstSliceAng val=\"0\"/></c:pieChart>";
  Chart chart = onlyChart(plot);
  EXPECT_EQ(chart.chartType(), 5);  // xlPie
  EXPECT_EQ(chart.plotBy(), 1);     // xlRows: the values run along row 2
  EXPECT_FALSE(chart.hasLegend());
  AutomationError e = errorOf([&] { chart.legend(); });
  EXPECT_EQ(e.number(), 1004);
  EXPECT_EQ(e.source(), "Excel");
  EXPECT_EQ(e.description(), "Unable to get the Legend property of the Chart class");
  ASSERT_EQ(chart.seriesCount(), 1);
  EXPECT_EQ(chart.seriesCollection(1).name(), "份额");
}

TEST(ExcelChartTest, LineWithUnnamedSeriesTakesTheChineseDefaultNames) {
  const std::string noMarker = "<c:marker><c:symbol val=\"none\"/></c:marker>";
  const std::string plot =
      "<c:lineChart><c:grouping val=\"standard\"/>" + ser(0, "", "Sheet1!$A$1:$A$4", noMarker) +
      ser(1, "", "Sheet1!$B$1:$B$4", noMarker) + "<c:marker val=\"1\"/></c:lineChart>";
  Chart chart = onlyChart(plot, legendAt("r"));
  EXPECT_EQ(chart.chartType(), 4);  // xlLine
  EXPECT_EQ(chart.legend().position(), -4152);
  ASSERT_EQ(chart.seriesCount(), 2);
  EXPECT_EQ(chart.seriesCollection(1).name(), "系列1");
  EXPECT_EQ(chart.seriesCollection(2).name(), "系列2");
  EXPECT_EQ(defaultSeriesName(12), "系列12");
}

// ---------------------------------------------------------------------------
// ChartType.

TEST(ExcelChartTest, ChartTypeFromPlotAndOptions) {
  const std::string s = ser(0, "", "Sheet1!$B$2:$B$5");
  const std::string noMarker = "<c:marker><c:symbol val=\"none\"/></c:marker>";
  const std::string noLine = "<c:spPr><a:ln><a:noFill/></a:ln></c:spPr>";
  struct Case {
    const char* what;
    std::string plot;
    int32_t type;
  };
  const std::vector<Case> cases = {
      {"bar chart without options", "<c:barChart>" + s + "</c:barChart>", 51},
      {"stacked columns",
       "<c:barChart><c:barDir val=\"col\"/><c:grouping val=\"stacked\"/>" + s + "</c:barChart>",
       52},
      {"100% columns", "<c:barChart><c:grouping val=\"percentStacked\"/>" + s + "</c:barChart>",
       53},
      {"clustered bars",
       "<c:barChart><c:barDir val=\"bar\"/><c:grouping val=\"clustered\"/>" + s + "</c:barChart>",
       57},
      {"stacked bars",
       "<c:barChart><c:barDir val=\"bar\"/><c:grouping val=\"stacked\"/>" + s + "</c:barChart>",
       58},
      {"100% bars",
       "<c:barChart><c:barDir val=\"bar\"/><c:grouping val=\"percentStacked\"/>" + s +
           "</c:barChart>",
       59},
      {"3-D clustered columns",
       "<c:bar3DChart><c:barDir val=\"col\"/><c:grouping val=\"clustered\"/>" + s +
           "<c:shape val=\"box\"/></c:bar3DChart>",
       54},
      {"3-D columns",
       "<c:bar3DChart><c:barDir val=\"col\"/><c:grouping val=\"standard\"/>" + s +
           "</c:bar3DChart>",
       -4100},
      {"3-D stacked bars",
       "<c:bar3DChart><c:barDir val=\"bar\"/><c:grouping val=\"stacked\"/>" + s + "</c:bar3DChart>",
       61},
      {"clustered cylinder columns",
       "<c:bar3DChart><c:barDir val=\"col\"/><c:grouping val=\"clustered\"/>" + s +
           "<c:shape val=\"cylinder\"/></c:bar3DChart>",
       92},
      {"cone bars, shape on the series",
       "<c:bar3DChart><c:barDir val=\"bar\"/><c:grouping val=\"percentStacked\"/>" +
           ser(0, "", "Sheet1!$B$2:$B$5", "<c:shape val=\"cone\"/>") + "</c:bar3DChart>",
       104},
      {"3-D pyramid columns",
       "<c:bar3DChart><c:grouping val=\"standard\"/>" + s +
           "<c:shape val=\"pyramid\"/></c:bar3DChart>",
       112},
      {"line with markers",
       "<c:lineChart><c:grouping val=\"standard\"/>" + s + "<c:marker val=\"1\"/></c:lineChart>",
       65},
      {"stacked line",
       "<c:lineChart><c:grouping val=\"stacked\"/>" + ser(0, "", "Sheet1!$B$2:$B$5", noMarker) +
           "</c:lineChart>",
       63},
      {"100% line with markers",
       "<c:lineChart><c:grouping val=\"percentStacked\"/>" + s + "</c:lineChart>", 67},
      {"line, markers off for the group",
       "<c:lineChart><c:grouping val=\"standard\"/>" + s + "<c:marker val=\"0\"/></c:lineChart>",
       4},
      {"3-D line", "<c:line3DChart><c:grouping val=\"standard\"/>" + s + "</c:line3DChart>", -4101},
      {"exploded pie",
       "<c:pieChart>" + ser(0, "", "Sheet1!$B$2:$B$5", "<c:explosion val=\"25\"/>") +
           "</c:pieChart>",
       69},
      {"3-D pie", "<c:pie3DChart>" + s + "</c:pie3DChart>", -4102},
      {"exploded 3-D pie",
       "<c:pie3DChart>" + ser(0, "", "Sheet1!$B$2:$B$5", "<c:explosion val=\"10\"/>") +
           "</c:pie3DChart>",
       70},
      {"pie of pie", "<c:ofPieChart><c:ofPieType val=\"pie\"/>" + s + "</c:ofPieChart>", 68},
      {"bar of pie", "<c:ofPieChart><c:ofPieType val=\"bar\"/>" + s + "</c:ofPieChart>", 71},
      {"doughnut", "<c:doughnutChart>" + s + "<c:holeSize val=\"50\"/></c:doughnutChart>", -4120},
      {"area", "<c:areaChart><c:grouping val=\"standard\"/>" + s + "</c:areaChart>", 1},
      {"stacked area", "<c:areaChart><c:grouping val=\"stacked\"/>" + s + "</c:areaChart>", 76},
      {"3-D 100% area",
       "<c:area3DChart><c:grouping val=\"percentStacked\"/>" + s + "</c:area3DChart>", 79},
      {"scatter, markers only",
       "<c:scatterChart><c:scatterStyle val=\"lineMarker\"/>" + ser(0, "", "", noLine) +
           "</c:scatterChart>",
       -4169},
      {"scatter with straight lines",
       "<c:scatterChart><c:scatterStyle val=\"lineMarker\"/>" +
           ser(0, "", "", "<c:smooth val=\"0\"/>") + "</c:scatterChart>",
       74},
      {"scatter, smooth lines, no markers",
       "<c:scatterChart><c:scatterStyle val=\"smoothMarker\"/>" +
           ser(0, "", "", noMarker + "<c:smooth val=\"1\"/>") + "</c:scatterChart>",
       73},
      {"scatter by style alone",
       "<c:scatterChart><c:scatterStyle val=\"smoothMarker\"/></c:scatterChart>", 72},
      {"radar",
       "<c:radarChart><c:radarStyle val=\"marker\"/>" + ser(0, "", "", noMarker) +
           "</c:radarChart>",
       -4151},
      {"radar with markers", "<c:radarChart><c:radarStyle val=\"marker\"/>" + s + "</c:radarChart>",
       81},
      {"filled radar", "<c:radarChart><c:radarStyle val=\"filled\"/>" + s + "</c:radarChart>", 82},
      {"3-D surface", "<c:surface3DChart>" + s + "</c:surface3DChart>", 83},
      {"wireframe surface, top view",
       "<c:surfaceChart><c:wireframe val=\"1\"/>" + s + "</c:surfaceChart>", 86},
      {"bubble", "<c:bubbleChart>" + s + "</c:bubbleChart>", 15},
      {"3-D bubble", "<c:bubbleChart>" + s + "<c:bubble3D val=\"1\"/></c:bubbleChart>", 87},
      {"stock, 3 series", "<c:stockChart>" + s + s + s + "</c:stockChart>", 88},
      {"stock, 4 series", "<c:stockChart>" + s + s + s + s + "</c:stockChart>", 89},
      {"volume then stock, 4 series",
       "<c:barChart>" + s + "</c:barChart><c:stockChart>" + s + s + s + s + "</c:stockChart>", 91},
      {"combination: the first group",
       "<c:lineChart><c:grouping val=\"standard\"/>" + s + "</c:lineChart><c:barChart>" + s +
           "</c:barChart>",
       65},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(onlyChart(c.plot).chartType(), c.type);
  }
}

TEST(ExcelChartTest, ChartTypeOfAPlotWithoutChartGroupFailsWith1004) {
  for (const std::string& plot : {std::string(), std::string("<c:fooChart/>")}) {
    Chart chart = onlyChart(plot);
    AutomationError e = errorOf([&] { chart.chartType(); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(chart.seriesCount(), 0);
    EXPECT_EQ(chart.plotBy(), 2);
  }
}

// ---------------------------------------------------------------------------
// PlotBy, legend, series.

TEST(ExcelChartTest, PlotByFromTheSeriesReferences) {
  struct Case {
    const char* what;
    std::string series;
    int32_t plotBy;
  };
  const std::vector<Case> cases = {
      {"values down a column", ser(0, "", "Sheet1!$C$2:$C$9"), 2},
      {"values along a row, quoted sheet", ser(0, "", "'My data'!$B$3:$F$3"), 1},
      {"one value, name above it", ser(0, txRef("Sheet1!$B$1", "a"), "Sheet1!$B$2"), 2},
      {"one value, name left of it", ser(0, txRef("Sheet1!$A$2", "a"), "Sheet1!$B$2"), 1},
      {"one value, category left of it", ser(0, "", "Sheet1!$B$2", "", "Sheet1!$A$2"), 2},
      {"one value, category above it", ser(0, "", "Sheet1!$B$2", "", "Sheet1!$B$1"), 1},
      {"first series unplaceable, second by rows",
       ser(0, "", "Sheet1!$B$2:$C$3") + ser(1, "", "Sheet1!$B$4:$E$4"), 1},
      {"literal values only",
       "<c:ser><c:idx val=\"0\"/><c:order val=\"0\"/><c:val><c:numLit>"
       "<c:ptCount val=\"1\"/></c:numLit></c:val></c:ser>",
       2},
      {"a reference that names no cells", ser(0, "", "Sheet1!Total"), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(onlyChart("<c:barChart>" + c.series + "</c:barChart>").plotBy(), c.plotBy);
  }
}

TEST(ExcelChartTest, LegendPositionCodes) {
  EXPECT_EQ(legendPositionCode("b"), -4107);
  EXPECT_EQ(legendPositionCode("tr"), 2);
  EXPECT_EQ(legendPositionCode("l"), -4131);
  EXPECT_EQ(legendPositionCode("r"), -4152);
  EXPECT_EQ(legendPositionCode("t"), -4160);
  EXPECT_EQ(legendPositionCode(""), -4152);
  EXPECT_EQ(legendPositionCode("B"), std::nullopt);
  EXPECT_EQ(legendPositionCode("top"), std::nullopt);

  const std::string plot = "<c:pieChart>" + ser(0, "", "Sheet1!$B$2:$B$5") + "</c:pieChart>";
  EXPECT_EQ(onlyChart(plot, legendAt("t")).legend().position(), -4160);
  EXPECT_EQ(onlyChart(plot, legendAt("tr")).legend().position(), 2);
  // No legendPos: the schema's default; a value outside the type reads so too.
  EXPECT_EQ(onlyChart(plot, "<c:legend><c:overlay val=\"0\"/></c:legend>").legend().position(),
            -4152);
  EXPECT_EQ(onlyChart(plot, legendAt("middle")).legend().position(), -4152);
}

TEST(ExcelChartTest, SeriesInPlotOrderAcrossGroups) {
  auto ordered = [](int idx, int order, const std::string& name) {
    return "<c:ser><c:idx val=\"" + std::to_string(idx) + "\"/><c:order val=\"" +
           std::to_string(order) + "\"/><c:tx><c:v>" + name + "</c:v></c:tx></c:ser>";
  };
  Chart chart = onlyChart("<c:barChart>" + ordered(0, 2, "C") + ordered(1, 0, "A") +
                          "</c:barChart><c:lineChart>" + ordered(2, 1, "B") + "</c:lineChart>");
  ASSERT_EQ(chart.seriesCount(), 3);
  EXPECT_EQ(chart.seriesCollection(1).name(), "A");
  EXPECT_EQ(chart.seriesCollection(2).name(), "B");
  EXPECT_EQ(chart.seriesCollection(3).name(), "C");
  for (int32_t bad : {0, 4, -1}) {
    AutomationError e = errorOf([&] { chart.seriesCollection(bad); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.description(), "Invalid Parameter");
  }
}

// Sheet1's A1 holds the number 1. A cache is what Excel shows, even where
// the cells now say otherwise; without one, the cells are read.
TEST(ExcelChartTest, SeriesNamesFromCachedTextCellsLiteralsAndDefaults) {
  const std::string twoCells =
      "<c:tx><c:strRef><c:f>Sheet1!$A$1:$B$1</c:f><c:strCache><c:ptCount val=\"2\"/>"
      "<c:pt idx=\"1\"><c:v>二季度</c:v></c:pt><c:pt idx=\"0\"><c:v>2024</c:v></c:pt>"
      "</c:strCache></c:strRef></c:tx>";
  auto noCache = [](const std::string& f) {
    return "<c:tx><c:strRef><c:f>" + f + "</c:f></c:strRef></c:tx>";
  };
  const std::string emptyCell =
      "<c:tx><c:strRef><c:f>Sheet1!$A$1</c:f><c:strCache><c:ptCount val=\"1\"/>"
      "</c:strCache></c:strRef></c:tx>";
  Chart chart = onlyChart(
      "<c:barChart>" + ser(0, twoCells, "") + ser(1, noCache("Sheet1!$A$1"), "") +
      ser(2, emptyCell, "") + ser(3, noCache("('sheet1'!A1:B1)"), "") + ser(4, noCache("A1"), "") +
      ser(5, noCache("'Other'!$A$1"), "") + ser(6, noCache("[1]Sheet1!$A$1"), "") +
      ser(7, noCache("'Sheet1!A1"), "") + ser(8, noCache("MyName"), "") + "</c:barChart>");
  const std::vector<std::string> names = {"2024 二季度", "1",     "",      "1 ",   "1",
                                          "系列6",       "系列7", "系列8", "系列9"};
  ASSERT_EQ(chart.seriesCount(), static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(chart.seriesCollection(static_cast<int32_t>(i) + 1).name(), names[i]) << i;
}

// ---------------------------------------------------------------------------
// ChartObjects.

TEST(ExcelChartTest, ChartObjectsInDrawingOrderOnlyTopLevelChartFrames) {
  const std::string shape =
      "<xdr:sp macro=\"\" textlink=\"\"><xdr:nvSpPr><xdr:cNvPr id=\"3\" name=\"Rectangle 2\"/>"
      "<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr/></xdr:sp>";
  const std::string pictureFrame =
      "<xdr:graphicFrame><xdr:nvGraphicFramePr><xdr:cNvPr id=\"4\" name=\"Table\"/>"
      "</xdr:nvGraphicFramePr><a:graphic><a:graphicData uri=\"x\"/></a:graphic></xdr:graphicFrame>";
  const std::string grouped = "<xdr:grpSp>" + chartFrame("Grouped", "rC3") + "</xdr:grpSp>";
  ChartBook b;
  b.anchors = anchor(shape) + anchor(chartFrame("Chart 7", "rC1")) + anchor(pictureFrame) +
              anchor(grouped) + anchor(chartFrame("图表 2", "rC2"));
  const std::string plot = "<c:pieChart>" + ser(0, "", "Sheet1!$B$2:$B$5") + "</c:pieChart>";
  b.charts = {chartPart(plot), chartPart("<c:areaChart>" + ser(0, "", "") + "</c:areaChart>"),
              chartPart(plot)};
  Worksheet sheet = b.open().worksheets("Sheet1");
  std::vector<ChartObject> objects = sheet.chartObjects();
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].name(), "Chart 7");
  EXPECT_EQ(objects[1].name(), "图表 2");
  EXPECT_EQ(objects[1].index(), 2);
  EXPECT_EQ(sheet.chartObjects(2).chart().chartType(), 1);
  EXPECT_EQ(sheet.chartObjects(2).chart().name(), "Sheet1 图表 2");
  for (int32_t bad : {0, 3}) {
    AutomationError e = errorOf([&] { sheet.chartObjects(bad); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.description(), "Unable to get the ChartObjects property of the Worksheet class");
  }
}

TEST(ExcelChartTest, SheetWithoutDrawingHasNoChartObjects) {
  Worksheet sheet = ChartBook{}.open().worksheets(1);
  EXPECT_TRUE(sheet.chartObjects().empty());
  EXPECT_EQ(errorOf([&] { sheet.chartObjects(1); }).number(), 1004);
}

TEST(ExcelChartTest, HandlesOutliveTheWorkbook) {
  std::optional<Chart> chart;
  {
    Workbook book = oneChart(chartPart("<c:pieChart>" + ser(0, "", "") + "</c:pieChart>")).open();
    chart = book.worksheets(1).chartObjects(1).chart();
  }
  EXPECT_EQ(chart->chartType(), 5);
  EXPECT_EQ(chart->seriesCollection(1).name(), "系列1");
}

// ---------------------------------------------------------------------------
// Location and chart sheets.

TEST(ExcelChartTest, LocationAsNewSheetObjectAndAutomatic) {
  ChartBook b = oneChart(chartPart("<c:pieChart>" + ser(0, "", "") + "</c:pieChart>"));
  Chart chart = b.open().worksheets(1).chartObjects(1).chart();
  Chart moved = chart.location(xl::kLocationAsNewSheet);
  EXPECT_EQ(moved.name(), "Chart1");
  EXPECT_EQ(moved.placement(), 1);
  EXPECT_EQ(moved.chartType(), 5);
  EXPECT_EQ(chart.location(1, "销售图").name(), "销售图");
  EXPECT_EQ(chart.location(xl::kLocationAsObject, "sheet1").name(), "Sheet1 图表 1");
  EXPECT_EQ(chart.location(xl::kLocationAutomatic).name(), "Sheet1 图表 1");
  EXPECT_EQ(chart.location(xl::kLocationAutomatic).placement(), 2);
  // The model is read-only: the chart itself has not moved.
  EXPECT_EQ(chart.name(), "Sheet1 图表 1");

  struct Bad {
    const char* what;
    int32_t where;
    std::optional<std::string> name;
  };
  const std::vector<Bad> bad = {
      {"as object without a sheet name", 2, std::nullopt},
      {"as object in a sheet that does not exist", 2, "Sheet9"},
      {"new sheet with a name taken", 1, "SHEET1"},
      {"new sheet with an empty name", 1, ""},
      {"no such placement", 0, std::nullopt},
      {"no such placement either", 4, std::nullopt},
  };
  for (const Bad& c : bad) {
    SCOPED_TRACE(c.what);
    AutomationError e = errorOf([&] { chart.location(c.where, c.name); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.source(), "Excel");
  }
}

TEST(ExcelChartTest, ChartSheetsAndTheNamesANewChartSheetAvoids) {
  const std::string pie = chartPart("<c:pieChart>" + ser(0, "", "") + "</c:pieChart>");
  const std::string bars = chartPart(
      "<c:barChart><c:barDir val=\"bar\"/>" + ser(0, "", "Sheet1!$A$1:$A$3") + "</c:barChart>",
      legendAt("l"));
  ChartBook b = oneChart(pie);
  b.chartSheets = {{"Chart1", bars}, {"chart2", pie}, {"Empty", ""}};
  Workbook book = b.open();
  EXPECT_EQ(book.worksheetCount(), 1);
  EXPECT_EQ(book.chartSheetNames(), (std::vector<std::string>{"Chart1", "chart2", "Empty"}));
  Chart sheetChart = book.charts(1);
  EXPECT_EQ(sheetChart.name(), "Chart1");
  EXPECT_EQ(sheetChart.placement(), 1);
  EXPECT_EQ(sheetChart.chartType(), 57);
  EXPECT_EQ(sheetChart.legend().position(), -4131);
  EXPECT_EQ(book.charts("CHART2").chartType(), 5);
  // Chart1 and chart2 are taken, without regard to case.
  EXPECT_EQ(book.worksheets(1).chartObjects(1).chart().location(1).name(), "Chart3");
  // Back from a chart sheet into a worksheet; a chart sheet is no place for it.
  EXPECT_EQ(sheetChart.location(2, "Sheet1").name(), "Sheet1 Chart 1");
  EXPECT_EQ(errorOf([&] { sheetChart.location(2, "chart2"); }).number(), 1004);

  EXPECT_EQ(errorOf([&] { book.charts(0); }).number(), 9);
  EXPECT_EQ(errorOf([&] { book.charts(4); }).number(), 9);
  EXPECT_EQ(errorOf([&] { book.charts("Sheet1"); }).number(), 9);
  EXPECT_EQ(errorOf([&] { book.charts("Empty"); }).number(), 1004);
}

// ---------------------------------------------------------------------------
// Damaged charts.

TEST(ExcelChartTest, DamagedChartPartsFailWith1004WhenTheChartIsTaken) {
  struct Case {
    const char* what;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"missing part", ""},
      {"not well-formed", "<c:chartSpace xmlns:c=\"" + kC + "\"><c:chart>"},
      {"no chart space", "<worksheet xmlns=\"" + kMain + "\"/>"},
      {"no plot area", "<c:chartSpace xmlns:c=\"" + kC + "\"><c:chart/></c:chartSpace>"},
      {"binary junk", std::string("\x00\x01\xff<", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Worksheet sheet = oneChart(c.part).open().worksheets(1);
    std::vector<ChartObject> objects = sheet.chartObjects();
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].name(), "图表 1");
    AutomationError e = errorOf([&] { objects[0].chart(); });
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.source(), "Excel");
    EXPECT_FALSE(e.description().empty());
  }
}

TEST(ExcelChartTest, DamagedDrawingFailsChartObjectsWith1004) {
  ChartBook b;
  b.drawingXml = "<xdr:wsDr xmlns:xdr=\"" + kXdr + "\"><xdr:twoCellAnchor>";
  Worksheet sheet = b.open().worksheets(1);
  EXPECT_EQ(errorOf([&] { sheet.chartObjects(); }).number(), 1004);
  EXPECT_EQ(errorOf([&] { sheet.chartObjects(1); }).number(), 1004);
  // The cells of the sheet still read.
  EXPECT_EQ(sheet.lastRow(), 1);
}

TEST(ExcelChartTest, DrawingOfAnotherKindHoldsNoChartObjects) {
  ChartBook b;
  b.drawingXml = "<wsDr xmlns=\"urn:other\"><twoCellAnchor/></wsDr>";
  EXPECT_TRUE(b.open().worksheets(1).chartObjects().empty());
}

}  // namespace
}  // namespace bq::office::excel
