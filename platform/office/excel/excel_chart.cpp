#include "platform/office/excel/excel_chart.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>
#include <utility>

#include "common/automation_error.h"
#include "platform/office/excel/excel_rules.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office::excel {

namespace detail {

struct ChartData {
  std::shared_ptr<const void> owner;  // keeps the package alive
  Part workbook;
  Part part;               // the chart part; empty when the frame points at nothing
  std::string objectName;  // the graphic frame's name
  int32_t index = 0;       // within ChartObjects
  std::string name;        // Chart.Name
  int32_t placement = xl::kLocationAsObject;
  std::string sheetName;  // of the worksheet that holds an embedded chart
  CellTextReader cellText;

  bool loaded = false;
  pugi::xml_node chart;                // c:chartSpace/c:chart
  pugi::xml_node plotArea;             // c:chart/c:plotArea
  std::vector<pugi::xml_node> series;  // c:ser, in plot order

  void load();
};

struct ChartAccess {
  static Chart chart(std::shared_ptr<ChartData> d) { return Chart(std::move(d)); }
  static ChartObject object(std::shared_ptr<ChartData> d) { return ChartObject(std::move(d)); }
  static Series series(std::string name) { return Series(std::move(name)); }
  static Legend legend(int32_t position) { return Legend(position); }
};

}  // namespace detail

namespace {

using detail::ChartAccess;
using detail::ChartData;

// Every chart read that fails raises Excel's 1004 through automation.
constexpr int32_t kChartError = 1004;

[[noreturn]] void raise(std::string description) {
  throw AutomationError(kChartError, std::string(kErrorSource), std::move(description));
}

std::string_view nameOf(pugi::xml_node node) { return node.name(); }

std::string_view valOf(pugi::xml_node parent, const char* child) {
  return parent.child(child).attribute("val").value();
}

// CT_Boolean: present without val means true; absent gives `absent`.
bool boolOf(pugi::xml_node node, bool absent) {
  if (!node) return absent;
  pugi::xml_attribute val = node.attribute("val");
  if (!val) return true;
  std::string_view v = val.value();
  return !(v == "0" || v == "false");
}

std::optional<int64_t> toInt(std::string_view s) {
  int64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// The chart groups of a plot area (c:barChart, c:pie3DChart, ...), in order.
std::vector<pugi::xml_node> chartGroups(pugi::xml_node plotArea) {
  std::vector<pugi::xml_node> groups;
  forEachElement(plotArea, [&](pugi::xml_node n) {
    std::string_view local = localName(n);
    if (kindOf(n) == Ns::Chart && local.size() > 5 && local.ends_with("Chart")) groups.push_back(n);
  });
  return groups;
}

std::vector<pugi::xml_node> seriesOf(pugi::xml_node group) {
  std::vector<pugi::xml_node> series;
  forEachElement(group, [&](pugi::xml_node n) {
    if (nameOf(n) == "c:ser") series.push_back(n);
  });
  return series;
}

// A series shows markers unless its marker symbol is "none".
bool seriesShowsMarkers(pugi::xml_node ser) {
  return valOf(ser.child("c:marker"), "c:symbol") != "none";
}

enum Stack : size_t { kClustered = 0, kStacked = 1, kPercent = 2, kStandard = 3 };

Stack stackOf(pugi::xml_node group, Stack absent) {
  std::string_view g = valOf(group, "c:grouping");
  if (g == "clustered") return kClustered;
  if (g == "stacked") return kStacked;
  if (g == "percentStacked") return kPercent;
  if (g == "standard") return kStandard;
  return absent;
}

// Chart.ChartType. Excel reports the type of the chart's first chart group
// (a combination chart reports its first group's type), except that a stock
// chart is a stock chart whatever groups come with it (the volume columns of
// xlStockVHLC come first). Within a group the options Excel writes decide:
// bar direction, grouping and (3-D) bar shape; for lines, scatter and radar
// whether the first series shows markers (a marker symbol "none" hides them),
// lines (a:ln with a:noFill hides them) and smoothing; for pies and
// doughnuts whether the first series is exploded. The schema defaults apply
// to options that are absent (bars clustered, lines and areas standard,
// scatter style "marker", radar style "standard", shape "box").
int32_t chartTypeOf(pugi::xml_node plotArea) {
  const std::vector<pugi::xml_node> groups = chartGroups(plotArea);
  for (pugi::xml_node g : groups)
    if (nameOf(g) == "c:stockChart") {
      const bool volume = std::any_of(groups.begin(), groups.end(),
                                      [](pugi::xml_node o) { return nameOf(o) == "c:barChart"; });
      const bool open = seriesOf(g).size() >= 4;
      if (volume) return open ? xl::kStockVOHLC : xl::kStockVHLC;
      return open ? xl::kStockOHLC : xl::kStockHLC;
    }
  if (groups.empty()) raise("Unable to get the ChartType property of the Chart class");
  const pugi::xml_node g = groups.front();
  const std::string_view kind = nameOf(g);
  const std::vector<pugi::xml_node> series = seriesOf(g);
  const pugi::xml_node first = series.empty() ? pugi::xml_node() : series.front();
  const bool horizontal = valOf(g, "c:barDir") == "bar";

  if (kind == "c:barChart") {
    static constexpr int32_t kCol[4] = {xl::kColumnClustered, xl::kColumnStacked,
                                        xl::kColumnStacked100, xl::kColumnClustered};
    static constexpr int32_t kBar[4] = {xl::kBarClustered, xl::kBarStacked, xl::kBarStacked100,
                                        xl::kBarClustered};
    return (horizontal ? kBar : kCol)[stackOf(g, kClustered)];
  }
  if (kind == "c:bar3DChart") {
    // [shape][bar direction: column, bar][clustered, stacked, 100%, standard]
    static constexpr int32_t kTable[4][2][4] = {
        {{54, 55, 56, -4100}, {60, 61, 62, 60}},       // box
        {{92, 93, 94, 98}, {95, 96, 97, 95}},          // cylinder
        {{99, 100, 101, 105}, {102, 103, 104, 102}},   // cone, coneToMax
        {{106, 107, 108, 112}, {109, 110, 111, 109}},  // pyramid, pyramidToMax
    };
    std::string_view shape = valOf(g, "c:shape");
    if (shape.empty() && first) shape = valOf(first, "c:shape");
    size_t s = 0;
    if (shape == "cylinder")
      s = 1;
    else if (shape == "cone" || shape == "coneToMax")
      s = 2;
    else if (shape == "pyramid" || shape == "pyramidToMax")
      s = 3;
    return kTable[s][horizontal ? 1 : 0][stackOf(g, kClustered)];
  }
  if (kind == "c:lineChart") {
    bool markers = boolOf(g.child("c:marker"), true) && (!first || seriesShowsMarkers(first));
    static constexpr int32_t kPlain[4] = {xl::kLine, xl::kLineStacked, xl::kLineStacked100,
                                          xl::kLine};
    static constexpr int32_t kMarked[4] = {xl::kLineMarkers, xl::kLineMarkersStacked,
                                           xl::kLineMarkersStacked100, xl::kLineMarkers};
    return (markers ? kMarked : kPlain)[stackOf(g, kStandard)];
  }
  if (kind == "c:line3DChart") return xl::k3DLine;
  if (kind == "c:areaChart" || kind == "c:area3DChart") {
    static constexpr int32_t kFlat[4] = {xl::kArea, xl::kAreaStacked, xl::kAreaStacked100,
                                         xl::kArea};
    static constexpr int32_t kDeep[4] = {xl::k3DArea, xl::k3DAreaStacked, xl::k3DAreaStacked100,
                                         xl::k3DArea};
    return (kind == "c:areaChart" ? kFlat : kDeep)[stackOf(g, kStandard)];
  }
  const bool exploded = first && toInt(valOf(first, "c:explosion")).value_or(0) > 0;
  if (kind == "c:pieChart") return exploded ? xl::kPieExploded : xl::kPie;
  if (kind == "c:pie3DChart") return exploded ? xl::k3DPieExploded : xl::k3DPie;
  if (kind == "c:doughnutChart") return exploded ? xl::kDoughnutExploded : xl::kDoughnut;
  if (kind == "c:ofPieChart")
    return valOf(g, "c:ofPieType") == "bar" ? xl::kBarOfPie : xl::kPieOfPie;
  if (kind == "c:scatterChart") {
    std::string_view style = valOf(g, "c:scatterStyle");
    if (style.empty()) style = "marker";
    bool line = !(style == "marker" || style == "none");
    bool smooth = style.starts_with("smooth");
    bool markers = !(style == "line" || style == "smooth");
    if (first) {
      if (pugi::xml_node ln = first.child("c:spPr").child("a:ln")) line = !ln.child("a:noFill");
      if (pugi::xml_node sm = first.child("c:smooth")) smooth = boolOf(sm, false);
      if (first.child("c:marker")) markers = seriesShowsMarkers(first);
    }
    if (!line) return xl::kXYScatter;
    if (smooth) return markers ? xl::kXYScatterSmooth : xl::kXYScatterSmoothNoMarkers;
    return markers ? xl::kXYScatterLines : xl::kXYScatterLinesNoMarkers;
  }
  if (kind == "c:radarChart") {
    std::string_view style = valOf(g, "c:radarStyle");
    if (style == "filled") return xl::kRadarFilled;
    if (style == "marker" && (!first || seriesShowsMarkers(first))) return xl::kRadarMarkers;
    return xl::kRadar;
  }
  const bool wireframe = boolOf(g.child("c:wireframe"), false);
  if (kind == "c:surfaceChart")
    return wireframe ? xl::kSurfaceTopViewWireframe : xl::kSurfaceTopView;
  if (kind == "c:surface3DChart") return wireframe ? xl::kSurfaceWireframe : xl::kSurface;
  if (kind == "c:bubbleChart") {
    bool threeD =
        boolOf(g.child("c:bubble3D"), false) || (first && boolOf(first.child("c:bubble3D"), false));
    return threeD ? xl::kBubble3DEffect : xl::kBubble;
  }
  raise("Unable to get the ChartType property of the Chart class");
}

// The cells a data reference (c:f) names: the first area after the sheet
// name; nothing for references this model cannot place (names, whole rows
// or columns, literal arrays).
std::optional<RangeRef> referenceOf(pugi::xml_node ref) {
  std::string_view f = ref.child("c:f").text().get();
  while (!f.empty() && (f.front() == '(' || f.front() == ' ')) f.remove_prefix(1);
  if (size_t comma = f.find(','); comma != std::string_view::npos) f = f.substr(0, comma);
  while (!f.empty() && (f.back() == ')' || f.back() == ' ')) f.remove_suffix(1);
  if (size_t bang = f.rfind('!'); bang != std::string_view::npos) f = f.substr(bang + 1);
  return parseAddress(f);
}

std::optional<RangeRef> dataRefOf(pugi::xml_node ser, const char* a, const char* b) {
  pugi::xml_node holder = ser.child(a) ? ser.child(a) : ser.child(b);
  for (pugi::xml_node ref : {holder.child("c:numRef"), holder.child("c:strRef")})
    if (ref) return referenceOf(ref);
  return std::nullopt;
}

// Chart.PlotBy. Excel plots by columns when each series takes its values
// from a column of cells and by rows when from a row; it reads that from
// the series' references. The first series whose values reference cells
// decides: values running down one column give xlColumns, along one row
// xlRows; a single value cell is placed by the series' name cell (above it:
// columns; beside it: rows), else by its category cell (beside it: columns;
// above it: rows). A chart none of whose series can be placed so (literal
// values, names) reports xlColumns, Excel's default for new charts.
int32_t plotByOf(const std::vector<pugi::xml_node>& series) {
  for (pugi::xml_node ser : series) {
    std::optional<RangeRef> val = dataRefOf(ser, "c:val", "c:yVal");
    if (!val) continue;
    const bool oneColumn = val->first.column == val->last.column;
    const bool oneRow = val->first.row == val->last.row;
    if (oneColumn && !oneRow) return xl::kColumns;
    if (oneRow && !oneColumn) return xl::kRows;
    if (!oneRow || !oneColumn) continue;
    if (std::optional<RangeRef> tx = referenceOf(ser.child("c:tx").child("c:strRef"))) {
      if (tx->first.column == val->first.column && tx->first.row != val->first.row)
        return xl::kColumns;
      if (tx->first.row == val->first.row && tx->first.column != val->first.column)
        return xl::kRows;
    }
    if (std::optional<RangeRef> cat = dataRefOf(ser, "c:cat", "c:xVal")) {
      if (cat->first.row == val->first.row && cat->first.column != val->first.column)
        return xl::kColumns;
      if (cat->first.column == val->first.column && cat->first.row != val->first.row)
        return xl::kRows;
    }
  }
  return xl::kColumns;
}

// A reference to cells of a named sheet, as a series title's c:f holds it:
// "Sheet1!$B$1", "'成绩 表'!B1:C1" (a quoted name doubles its quotes),
// within optional parentheses. A reference without a sheet names the sheet
// of the chart, `ownSheet`. Nothing for anything else (external books,
// defined names, several areas).
std::optional<std::pair<std::string, RangeRef>> sheetReferenceOf(std::string_view f,
                                                                 const std::string& ownSheet) {
  while (!f.empty() && (f.front() == '(' || f.front() == ' ')) f.remove_prefix(1);
  while (!f.empty() && (f.back() == ')' || f.back() == ' ')) f.remove_suffix(1);
  std::string sheet;
  if (!f.empty() && f.front() == '\'') {
    size_t i = 1;
    for (;; ++i) {
      if (i >= f.size()) return std::nullopt;
      if (f[i] != '\'') {
        sheet += f[i];
      } else if (i + 1 < f.size() && f[i + 1] == '\'') {
        sheet += '\'';
        ++i;
      } else {
        break;
      }
    }
    f.remove_prefix(i + 1);
    if (f.empty() || f.front() != '!') return std::nullopt;
    f.remove_prefix(1);
  } else if (size_t bang = f.find('!'); bang != std::string_view::npos) {
    sheet = f.substr(0, bang);
    f.remove_prefix(bang + 1);
  } else {
    sheet = ownSheet;
  }
  if (sheet.empty() || sheet.front() == '[') return std::nullopt;
  std::optional<RangeRef> cells = parseAddress(f);
  if (!cells) return std::nullopt;
  return std::make_pair(std::move(sheet), *cells);
}

// Series.Name from the series' c:tx: a literal text, or the text of the
// cells it names (several cells joined by a space, as Excel joins them):
// the text Excel cached, when the chart part holds a cache; else the cells'
// own text, which Excel reads from the sheet when it loads a file written
// without caches (openpyxl writes every reference so). Nothing for a series
// without a title, and for a reference this model cannot place (a sheet the
// workbook lacks, a defined name): it then takes its default name.
std::optional<std::string> seriesTitle(pugi::xml_node ser, const ChartData& chart) {
  pugi::xml_node tx = ser.child("c:tx");
  if (!tx) return std::nullopt;
  if (pugi::xml_node v = tx.child("c:v")) return std::string(v.text().get());
  pugi::xml_node strRef = tx.child("c:strRef");
  pugi::xml_node cache = strRef.child("c:strCache");
  if (!cache) {
    if (!strRef || !chart.cellText) return std::nullopt;
    auto ref = sheetReferenceOf(strRef.child("c:f").text().get(), chart.sheetName);
    if (!ref) return std::nullopt;
    return chart.cellText(ref->first, ref->second);
  }
  std::vector<std::pair<int64_t, std::string_view>> points;
  for (pugi::xml_node pt : cache.children("c:pt"))
    points.emplace_back(toInt(pt.attribute("idx").value()).value_or(0),
                        pt.child("c:v").text().get());
  std::stable_sort(points.begin(), points.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) text += ' ';
    text += points[i].second;
  }
  return text;
}

// The names of every sheet of the workbook, worksheets and chart sheets.
std::vector<std::string> allSheetNames(Part workbook) {
  std::vector<std::string> names;
  for (pugi::xml_node s : workbook.xml().child("x:sheets").children("x:sheet"))
    names.emplace_back(s.attribute("name").value());
  return names;
}

bool sheetIsOfType(Part workbook, pugi::xml_node sheet, std::string_view type) {
  const Relationship* rel = workbook.relationship(sheet.attribute("r:id").value());
  return rel && sameRelationshipType(rel->type, type);
}

// The chart frames at the top level of a drawing part, in order.
std::vector<std::shared_ptr<ChartData>> chartFrames(Part drawing) {
  std::vector<std::shared_ptr<ChartData>> frames;
  pugi::xml_node root = drawing.xml();
  if (!is(root, Ns::SpreadsheetDrawing, "wsDr")) return frames;
  forEachElement(root, [&](pugi::xml_node anchor) {
    std::string_view a = nameOf(anchor);
    if (a != "xdr:twoCellAnchor" && a != "xdr:oneCellAnchor" && a != "xdr:absoluteAnchor") return;
    forEachElement(anchor, [&](pugi::xml_node frame) {
      if (nameOf(frame) != "xdr:graphicFrame") return;
      pugi::xml_node ref = firstElement(frame.child("a:graphic").child("a:graphicData"), "c:chart");
      if (!ref) return;
      auto d = std::make_shared<ChartData>();
      d->objectName =
          frame.child("xdr:nvGraphicFramePr").child("xdr:cNvPr").attribute("name").value();
      d->part = drawing.relatedById(ref.attribute("r:id").value());
      frames.push_back(std::move(d));
    });
  });
  return frames;
}

Part drawingOf(Part sheet) {
  pugi::xml_node d = sheet.xml().child("x:drawing");
  return d ? sheet.relatedById(d.attribute("r:id").value()) : Part();
}

}  // namespace

void detail::ChartData::load() {
  if (loaded) return;
  if (!part) raise("the chart part of \"" + name + "\" is missing");
  pugi::xml_node root = part.xml();  // throws 1004 for a damaged part
  if (!is(root, Ns::Chart, "chartSpace")) raise("part " + part.name() + " is no chart");
  chart = firstElement(root, "c:chart");
  plotArea = firstElement(chart, "c:plotArea");
  if (!chart || !plotArea) raise("part " + part.name() + " holds no plot area");
  // SeriesCollection is in plot order (c:order) over all chart groups.
  std::vector<std::pair<int64_t, pugi::xml_node>> ordered;
  for (pugi::xml_node g : chartGroups(plotArea))
    for (pugi::xml_node ser : seriesOf(g))
      ordered.emplace_back(toInt(valOf(ser, "c:order")).value_or(INT32_MAX), ser);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [order, ser] : ordered) series.push_back(ser);
  loaded = true;
}

std::string defaultSeriesName(int32_t n) { return "系列" + std::to_string(n); }

// Legend.Position from the stored legendPos; Excel keeps that value also
// for a legend dragged to a place of its own (a manual layout), so the
// layout is not read.
std::optional<int32_t> legendPositionCode(std::string_view legendPos) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"b", xl::kLegendPositionBottom}, {"tr", xl::kLegendPositionCorner},
      {"l", xl::kLegendPositionLeft},   {"r", xl::kLegendPositionRight},
      {"t", xl::kLegendPositionTop},    {"", xl::kLegendPositionRight},
  };
  for (const auto& [pos, code] : kTable)
    if (pos == legendPos) return code;
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Chart.

const std::string& Chart::name() const { return data_->name; }
int32_t Chart::placement() const { return data_->placement; }
int32_t Chart::chartType() const { return chartTypeOf(data_->plotArea); }
int32_t Chart::plotBy() const { return plotByOf(data_->series); }
bool Chart::hasLegend() const { return static_cast<bool>(firstElement(data_->chart, "c:legend")); }

// A legendPos outside ST_LegendPos reads as the default, right.
Legend Chart::legend() const {
  pugi::xml_node legend = firstElement(data_->chart, "c:legend");
  if (!legend) raise("Unable to get the Legend property of the Chart class");
  return ChartAccess::legend(
      legendPositionCode(valOf(legend, "c:legendPos")).value_or(xl::kLegendPositionRight));
}

int32_t Chart::seriesCount() const { return static_cast<int32_t>(data_->series.size()); }

// An unnamed series is named after its place in the collection.
Series Chart::seriesCollection(int32_t index) const {
  if (index < 1 || index > seriesCount()) raise("Invalid Parameter");
  std::optional<std::string> title =
      seriesTitle(data_->series[static_cast<size_t>(index - 1)], *data_);
  return ChartAccess::series(title ? std::move(*title) : defaultSeriesName(index));
}

// Chart.Location. The new chart sheet's default name follows Excel's
// "Chart1", "Chart2", ... (the Chinese-locale Excel names chart sheets so
// too), taking the first number no sheet of the workbook uses. A chart
// moved into a worksheet keeps its object name there.
Chart Chart::location(int32_t where, std::optional<std::string> name) const {
  const std::vector<std::string> names = allSheetNames(data_->workbook);
  auto taken = [&](std::string_view n) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& s) { return equalsNoCase(s, n); });
  };
  auto moved = std::make_shared<ChartData>(*data_);
  switch (where) {
    case xl::kLocationAsNewSheet:
      if (name) {
        if (name->empty() || taken(*name)) raise("Method 'Location' of object '_Chart' failed");
        moved->name = *name;
      } else {
        for (int32_t n = 1;; ++n)
          if (std::string candidate = "Chart" + std::to_string(n); !taken(candidate)) {
            moved->name = std::move(candidate);
            break;
          }
      }
      moved->placement = xl::kLocationAsNewSheet;
      return Chart(std::move(moved));
    case xl::kLocationAsObject: {
      if (!name) raise("Method 'Location' of object '_Chart' failed");
      bool found = false;
      for (pugi::xml_node s : data_->workbook.xml().child("x:sheets").children("x:sheet"))
        if (equalsNoCase(s.attribute("name").value(), *name) &&
            sheetIsOfType(data_->workbook, s, reltype::kWorksheet)) {
          moved->name = std::string(s.attribute("name").value()) + " " + data_->objectName;
          found = true;
        }
      if (!found) raise("Method 'Location' of object '_Chart' failed");
      moved->placement = xl::kLocationAsObject;
      return Chart(std::move(moved));
    }
    case xl::kLocationAutomatic:
      return *this;
    default:
      raise("Method 'Location' of object '_Chart' failed");
  }
}

// ---------------------------------------------------------------------------
// ChartObject.

const std::string& ChartObject::name() const { return data_->objectName; }
int32_t ChartObject::index() const { return data_->index; }

Chart ChartObject::chart() const {
  data_->load();
  return ChartAccess::chart(data_);
}

// ---------------------------------------------------------------------------
// Reached from excel.cpp.

std::vector<ChartObject> detail::chartObjectsOf(std::shared_ptr<const void> owner, Part workbook,
                                                Part sheet, const std::string& sheetName,
                                                CellTextReader cellText) {
  std::vector<ChartObject> objects;
  Part drawing = drawingOf(sheet);
  if (!drawing) return objects;
  for (std::shared_ptr<ChartData>& d : chartFrames(drawing)) {
    d->owner = owner;
    d->workbook = workbook;
    d->index = static_cast<int32_t>(objects.size()) + 1;
    d->name = sheetName + " " + d->objectName;
    d->placement = xl::kLocationAsObject;
    d->sheetName = sheetName;
    d->cellText = cellText;
    objects.push_back(ChartAccess::object(std::move(d)));
  }
  return objects;
}

std::vector<std::string> detail::chartSheetNames(Part workbook) {
  std::vector<std::string> names;
  for (pugi::xml_node s : workbook.xml().child("x:sheets").children("x:sheet"))
    if (sheetIsOfType(workbook, s, reltype::kChartsheet))
      names.emplace_back(s.attribute("name").value());
  return names;
}

Chart detail::chartSheetChart(std::shared_ptr<const void> owner, Part workbook, int32_t index,
                              CellTextReader cellText) {
  int32_t seen = 0;
  for (pugi::xml_node s : workbook.xml().child("x:sheets").children("x:sheet")) {
    if (!sheetIsOfType(workbook, s, reltype::kChartsheet) || ++seen != index) continue;
    const std::string name = s.attribute("name").value();
    Part sheet = workbook.relatedById(s.attribute("r:id").value());
    Part drawing = sheet ? drawingOf(sheet) : Part();
    std::vector<std::shared_ptr<ChartData>> frames;
    if (drawing) frames = chartFrames(drawing);
    if (frames.empty()) raise("chart sheet \"" + name + "\" holds no chart");
    std::shared_ptr<ChartData> d = std::move(frames.front());
    d->owner = std::move(owner);
    d->workbook = workbook;
    d->index = 1;
    d->name = name;
    d->placement = xl::kLocationAsNewSheet;
    d->cellText = std::move(cellText);
    d->load();
    return ChartAccess::chart(std::move(d));
  }
  raise("Subscript out of range");
}

}  // namespace bq::office::excel
