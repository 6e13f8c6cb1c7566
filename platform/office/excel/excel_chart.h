// Charts of the Excel object model: the embedded chart objects of a
// worksheet (ChartObjects), the charts of chart sheets, and the members of a
// chart that the workbook extractor reads.
//
//   std::vector<ChartObject> objects = sheet.chartObjects();   // drawing order
//   Chart chart = sheet.chartObjects(1).chart();              // ChartObjects(1).Chart
//   int32_t type = chart.chartType();                          // 51 for clustered columns
//   int32_t by = chart.plotBy();                               // xlRows 1 / xlColumns 2
//   int32_t pos = chart.legend().position();                   // throws without a legend
//   std::string s1 = chart.seriesCollection(1).name();
//   std::string moved = chart.location(xl::kLocationAsNewSheet).name();   // "Chart1"
//
// Where things come from. A worksheet's chart objects are the graphic frames
// at the top level of its drawing part (x:drawing) whose graphic is a
// DrawingML chart (c:chart), in the order the drawing lists them, which is
// Excel's z-order and ChartObjects index. Charts inside a group shape, and
// the chart types of Office 2016 (chartex parts), are not in the collection.
// A chart sheet's chart is the one chart frame of its drawing. The rules that
// turn a chart part into values (chartType, plotBy, legend position, series
// names, names after Location) are each in one function of excel_chart.cpp,
// with the Excel behaviour they reproduce beside them.
//
// Failures. Everything throws AutomationError, source "Excel", number 1004
// (Excel's "Application-defined or object-defined error" family, which is
// what every failed chart read raises through automation): an index outside
// ChartObjects ("Unable to get the ChartObjects property of the Worksheet
// class"); a chart whose part is missing or damaged (when chart() is called);
// a chart with no plot Excel knows (chartType); a chart without a legend
// (legend(): "Unable to get the Legend property of the Chart class"); a
// series index outside the collection ("Invalid Parameter"); a Location Excel
// refuses. A drawing part that is not well-formed makes chartObjects() throw.
//
// Lifetime. Handles share the workbook's data and stay valid after the
// Workbook and Worksheet objects are gone. Chart parts are parsed on first
// use. Location does not change the workbook: this model is read-only, and
// each call answers for the chart as the file stores it.
//
// Thread safety: a workbook and its handles belong to one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/office/excel/excel_rules.h"
#include "platform/office/opc/package.h"

namespace bq::office::excel {

namespace xl {
// XlChartType (the values Chart.ChartType reports).
inline constexpr int32_t kXYScatter = -4169;
inline constexpr int32_t kRadar = -4151;
inline constexpr int32_t kDoughnut = -4120;
inline constexpr int32_t k3DPie = -4102;
inline constexpr int32_t k3DLine = -4101;
inline constexpr int32_t k3DColumn = -4100;
inline constexpr int32_t k3DArea = -4098;
inline constexpr int32_t kArea = 1;
inline constexpr int32_t kLine = 4;
inline constexpr int32_t kPie = 5;
inline constexpr int32_t kBubble = 15;
inline constexpr int32_t kColumnClustered = 51;
inline constexpr int32_t kColumnStacked = 52;
inline constexpr int32_t kColumnStacked100 = 53;
inline constexpr int32_t k3DColumnClustered = 54;
inline constexpr int32_t k3DColumnStacked = 55;
inline constexpr int32_t k3DColumnStacked100 = 56;
inline constexpr int32_t kBarClustered = 57;
inline constexpr int32_t kBarStacked = 58;
inline constexpr int32_t kBarStacked100 = 59;
inline constexpr int32_t k3DBarClustered = 60;
inline constexpr int32_t k3DBarStacked = 61;
inline constexpr int32_t k3DBarStacked100 = 62;
inline constexpr int32_t kLineStacked = 63;
inline constexpr int32_t kLineStacked100 = 64;
inline constexpr int32_t kLineMarkers = 65;
inline constexpr int32_t kLineMarkersStacked = 66;
inline constexpr int32_t kLineMarkersStacked100 = 67;
inline constexpr int32_t kPieOfPie = 68;
inline constexpr int32_t kPieExploded = 69;
inline constexpr int32_t k3DPieExploded = 70;
inline constexpr int32_t kBarOfPie = 71;
inline constexpr int32_t kXYScatterSmooth = 72;
inline constexpr int32_t kXYScatterSmoothNoMarkers = 73;
inline constexpr int32_t kXYScatterLines = 74;
inline constexpr int32_t kXYScatterLinesNoMarkers = 75;
inline constexpr int32_t kAreaStacked = 76;
inline constexpr int32_t kAreaStacked100 = 77;
inline constexpr int32_t k3DAreaStacked = 78;
inline constexpr int32_t k3DAreaStacked100 = 79;
inline constexpr int32_t kDoughnutExploded = 80;
inline constexpr int32_t kRadarMarkers = 81;
inline constexpr int32_t kRadarFilled = 82;
inline constexpr int32_t kSurface = 83;
inline constexpr int32_t kSurfaceWireframe = 84;
inline constexpr int32_t kSurfaceTopView = 85;
inline constexpr int32_t kSurfaceTopViewWireframe = 86;
inline constexpr int32_t kBubble3DEffect = 87;
inline constexpr int32_t kStockHLC = 88;
inline constexpr int32_t kStockOHLC = 89;
inline constexpr int32_t kStockVHLC = 90;
inline constexpr int32_t kStockVOHLC = 91;
// XlRowCol (Chart.PlotBy).
inline constexpr int32_t kRows = 1;
inline constexpr int32_t kColumns = 2;
// XlLegendPosition.
inline constexpr int32_t kLegendPositionBottom = -4107;
inline constexpr int32_t kLegendPositionCorner = 2;
inline constexpr int32_t kLegendPositionLeft = -4131;
inline constexpr int32_t kLegendPositionRight = -4152;
inline constexpr int32_t kLegendPositionTop = -4160;
// XlChartLocation.
inline constexpr int32_t kLocationAsNewSheet = 1;
inline constexpr int32_t kLocationAsObject = 2;
inline constexpr int32_t kLocationAutomatic = 3;
}  // namespace xl

// The name Excel of the Chinese locale gives series number `n` (1-based)
// of a chart when the series has no name of its own: "系列1", "系列2", ...
std::string defaultSeriesName(int32_t n);

// Legend.Position of a c:legendPos@val (ST_LegendPos: "b", "tr", "l", "r",
// "t"); an absent or empty value is the schema's default "r"; nothing for
// a value outside the type.
std::optional<int32_t> legendPositionCode(std::string_view legendPos);

namespace detail {
struct ChartData;
struct ChartAccess;
}  // namespace detail

// Series of Chart.SeriesCollection.
class Series {
 public:
  // Series.Name: the series' title (its literal text, or the text of the
  // cells it names: the cached text when the chart part holds it, else the
  // cells' own text as Excel reads it on load), else defaultSeriesName of
  // its collection index.
  const std::string& name() const { return name_; }

 private:
  friend struct detail::ChartAccess;
  explicit Series(std::string name) : name_(std::move(name)) {}
  std::string name_;
};

// Chart.Legend.
class Legend {
 public:
  // Legend.Position, one of xl::kLegendPosition*.
  int32_t position() const { return position_; }

 private:
  friend struct detail::ChartAccess;
  explicit Legend(int32_t position) : position_(position) {}
  int32_t position_;
};

class Chart {
 public:
  // Chart.Name: for an embedded chart the sheet name, a space and the chart
  // object's name ("Sheet1 图表 1"); for a chart sheet the sheet's name.
  const std::string& name() const;

  // Where the chart is: xl::kLocationAsObject (embedded in a worksheet) or
  // xl::kLocationAsNewSheet (a chart sheet).
  int32_t placement() const;

  // Chart.ChartType (XlChartType). Throws 1004 when the plot area holds no
  // chart group Excel knows.
  int32_t chartType() const;

  // Chart.PlotBy: xl::kColumns when each series takes its values from a
  // column of cells, xl::kRows when from a row.
  int32_t plotBy() const;

  // Chart.HasLegend and Chart.Legend; legend() throws 1004 when the chart
  // has no legend, as Excel does.
  bool hasLegend() const;
  Legend legend() const;

  // SeriesCollection.Count and SeriesCollection(index), 1-based, in plot
  // order; an index outside 1..Count throws 1004 "Invalid Parameter".
  int32_t seriesCount() const;
  Series seriesCollection(int32_t index) const;

  // Chart.Location(Where, Name): the chart that the move gives.
  // xl::kLocationAsNewSheet moves it to a new chart sheet named `name`, or,
  // without a name, "Chart" and the smallest number that no sheet of the
  // workbook carries (without regard to case); a name already taken throws
  // 1004. xl::kLocationAsObject needs the name of an existing worksheet and
  // throws 1004 without one. xl::kLocationAutomatic leaves the chart where
  // it is. Any other Where throws 1004.
  Chart location(int32_t where, std::optional<std::string> name = std::nullopt) const;

 private:
  friend struct detail::ChartAccess;
  explicit Chart(std::shared_ptr<detail::ChartData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::ChartData> data_;
};

// ChartObjects(index) of a worksheet.
class ChartObject {
 public:
  // ChartObject.Name as stored in the drawing ("图表 1", "Chart 1").
  const std::string& name() const;
  // ChartObject.Index, 1-based within the sheet's ChartObjects.
  int32_t index() const;
  // ChartObject.Chart. Throws 1004 when the chart part is missing or damaged.
  Chart chart() const;

 private:
  friend struct detail::ChartAccess;
  explicit ChartObject(std::shared_ptr<detail::ChartData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::ChartData> data_;
};

namespace detail {
// For excel.cpp, which owns the workbook data. `owner` keeps the package
// alive for as long as a handle lives.

// The text of the cells `cells` of worksheet `sheet` (named without regard
// to case), as Excel shows each, joined by a blank; nothing when the
// workbook has no such worksheet. Throws 1004 when the sheet is damaged.
using CellTextReader =
    std::function<std::optional<std::string>(std::string_view sheet, const RangeRef& cells)>;

// The chart objects of the worksheet in part `sheet` of the workbook whose
// main part is `workbook`. Throws 1004 when the sheet's drawing is damaged.
std::vector<ChartObject> chartObjectsOf(std::shared_ptr<const void> owner, Part workbook,
                                        Part sheet, const std::string& sheetName,
                                        CellTextReader cellText);
// The names of the workbook's chart sheets, in workbook order.
std::vector<std::string> chartSheetNames(Part workbook);
// The chart of chart sheet `index` (1-based among chart sheets). REQUIRES:
// 1 <= index <= chartSheetNames(workbook).size(). Throws 1004 when the
// sheet has no chart or its part is damaged.
Chart chartSheetChart(std::shared_ptr<const void> owner, Part workbook, int32_t index,
                      CellTextReader cellText);
}  // namespace detail

}  // namespace bq::office::excel
