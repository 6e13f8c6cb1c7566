#include "scoring/extractors/excel_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "scoring/extractors/guarded_step.h"

namespace bq {
namespace {

namespace excel = office::excel;

using extract::step;

void add(KnowledgeSet& d, const std::string& point) { d.set(point, 1); }

std::string boolText(bool b) { return b ? "True" : "False"; }

// One border block: the six edges of `range`, each guarded on its own.
void readBorders(const excel::Range& range, KnowledgeSet& dObj) {
  for (int32_t edge : xls::kBorderEdges) {
    step([&] {
      const excel::Border border = range.borders(edge);
      // Mixed styles over the range read as Null: no point for this edge.
      if (!border.lineStyle) return;
      const int32_t style = *border.lineStyle;
      add(dObj, "边框线型," + xls::BorderStyleText(style));
      if (style == excel::xl::kNone) return;
      if (border.weight) add(dObj, "边框线宽," + std::to_string(*border.weight));
      if (border.colorIndex) {
        const bool outer =
            edge != excel::xl::kInsideHorizontal && edge != excel::xl::kInsideVertical;
        add(dObj, (outer ? "边框颜色," : "边框线色,") + std::to_string(*border.colorIndex));
      }
    });
  }
}

void readChart(const excel::Worksheet& sheet, KnowledgeSet& dObj) {
  std::optional<excel::ChartObject> object = xls::FirstChartObject(sheet);
  if (!object) return;
  std::optional<excel::Chart> chart;
  step([&] { chart = object->chart(); });
  if (!chart) return;
  step([&] { add(dObj, "图表类型," + std::to_string(chart->chartType())); });
  step([&] { add(dObj, "绘制方式," + std::to_string(chart->plotBy())); });
  for (int32_t where : {excel::xl::kLocationAsNewSheet, excel::xl::kLocationAsObject,
                        excel::xl::kLocationAutomatic})
    step([&] { add(dObj, "插入类型," + chart->location(where).name()); });
  step([&] { add(dObj, "图例位置," + std::to_string(chart->legend().position())); });
  for (int32_t i = 1; i <= 1000; ++i) {
    const std::string name = xls::SeriesName(i, *chart);
    if (name.empty()) break;
    add(dObj, "系列名称," + name);
  }
}

// The values whose points a sheet has added. A sheet repeats its alignments,
// fonts, widths and formats cell after cell, and adding a point that is
// there already changes nothing (its item is 1 either way), so each is
// formed and added once. Past kMax values a kind is no longer remembered and
// its points are simply added again.
template <typename T>
class Added {
 public:
  // True the first time `value` is offered.
  bool first(const T& value) {
    if (std::find(values_.begin(), values_.end(), value) != values_.end()) return false;
    if (values_.size() < kMax) values_.push_back(value);
    return true;
  }

 private:
  static constexpr size_t kMax = 64;
  std::vector<T> values_;
};

struct SheetPoints {
  Added<int32_t> horizontal, vertical, pattern;
  Added<bool> merged, bold;
  Added<uint64_t> size, width;  // the bits of the double
  Added<std::string> fontName, format;
  bool colour = false;
  std::string key;  // the point being formed
};

// Adds `label` + `value`.
void add(KnowledgeSet& d, std::string& key, std::string_view label, std::string_view value) {
  key.assign(label);
  key += value;
  d.set(key, 1);
}

void readCell(const excel::Range& cell, KnowledgeSet& dObj, SheetPoints& seen) {
  std::string& key = seen.key;
  // The font and the interior are each read once for the steps that use
  // them; a read that fails is tried again by the next step, which then
  // fails as it would have on its own.
  std::optional<excel::Font> font;
  const auto cellFont = [&]() -> const excel::Font& {
    if (!font) font = cell.font();
    return *font;
  };
  std::optional<excel::Interior> interior;
  const auto cellInterior = [&]() -> const excel::Interior& {
    if (!interior) interior = cell.interior();
    return *interior;
  };
  step([&] {
    const std::string formula = cell.formulaR1C1();
    if (!formula.empty()) add(dObj, key, "单元内容,", formula);
  });
  step([&] {
    if (auto h = cell.horizontalAlignment(); h && seen.horizontal.first(*h))
      add(dObj, key, "水平对齐,", xls::AlignmentText(*h));
  });
  step([&] {
    if (auto v = cell.verticalAlignment(); v && seen.vertical.first(*v))
      add(dObj, key, "垂直对齐,", xls::AlignmentText(*v));
  });
  step([&] {
    if (auto m = cell.mergeCells(); m && seen.merged.first(*m))
      add(dObj, key, "单元合并,", boolText(*m));
  });
  step([&] {
    const std::string name = xls::TrimNull(cellFont().name);
    if (!name.empty() && seen.fontName.first(name)) add(dObj, key, "字体名称,", name);
  });
  step([&] {
    if (auto size = cellFont().size; size && seen.size.first(std::bit_cast<uint64_t>(*size)))
      add(dObj, key, "字体大小,", xls::DoubleText(*size));
  });
  step([&] {
    if (auto bold = cellFont().bold; bold && seen.bold.first(*bold))
      add(dObj, key, "字体加粗,", boolText(*bold));
  });
  step([&] {
    if (auto width = cell.columnWidth(); width && seen.width.first(std::bit_cast<uint64_t>(*width)))
      add(dObj, key, "单元列宽,", xls::DoubleText(*width));
  });
  step([&] {
    std::optional<std::string> local = cell.numberFormatLocal();
    if (!local) return;
    std::string format = trimSpaces(*local);
    if (!format.empty() && format.back() == '_') format.pop_back();
    if (seen.format.first(format)) add(dObj, key, "数据表示格式,", format);
  });
  step([&] {
    std::optional<int32_t> colour = cellInterior().colorIndex;
    if (colour && *colour != excel::xl::kNone && !seen.colour) {
      seen.colour = true;
      add(dObj, "背景颜色,存在");
    }
  });
  step([&] {
    if (auto pattern = cellInterior().pattern; pattern && seen.pattern.first(*pattern))
      add(dObj, key, "背景式样,", std::to_string(*pattern));
  });
}

}  // namespace

namespace xls {

std::string ColumnLetter(int32_t n) {
  const int32_t code = 64 + n;
  if (code < 0 || code > 127) return "?";
  return std::string(1, static_cast<char>(code));
}

std::string DoubleText(double value) { return generalNumberText(value, 15); }

std::string BorderStyleText(int32_t code) {
  switch (code) {
    case excel::xl::kDouble:
      return "双线";
    case excel::xl::kContinuous:
      return "实线";
    case excel::xl::kNone:
      return "无";
    default:
      return std::to_string(code);
  }
}

std::string AlignmentText(int32_t code) {
  switch (code) {
    case excel::xl::kCenter:
      return "居中";
    case excel::xl::kBottom:
      return "靠下";
    default:
      return std::to_string(code);
  }
}

std::string TrimNull(const std::optional<std::string>& value) {
  return value ? trimSpaces(*value) : std::string();
}

std::optional<excel::ChartObject> FirstChartObject(const excel::Worksheet& sheet) {
  try {
    return sheet.chartObjects(1);
  } catch (const AutomationError&) {
    return std::nullopt;
  }
}

std::string SeriesName(int32_t i, const excel::Chart& chart) {
  try {
    return chart.seriesCollection(i).name();
  } catch (const AutomationError&) {
    return {};
  }
}

void UsedExtent(const excel::Worksheet& sheet, int32_t& lastRow, int16_t& lastColumn) {
  step([&] {
    if (int32_t row = sheet.lastRow(); row > 0) lastRow = row;
  });
  step([&] {
    // Excel's grid has 16384 columns: the column always fits the 16-bit output.
    if (int32_t column = sheet.lastColumn(); column > 0) lastColumn = static_cast<int16_t>(column);
  });
}

void ReadSheet(const excel::Worksheet& sheet, KnowledgeSet& dObj) {
  readChart(sheet, dObj);

  int32_t lastRow = 0;
  int16_t lastColumn = 0;
  UsedExtent(sheet, lastRow, lastColumn);

  step([&] {
    readBorders(sheet.range("A1:" + ColumnLetter(lastColumn) + std::to_string(lastRow)), dObj);
  });

  // The left part: the first x + 1 columns, from four used columns on.
  const auto x = static_cast<int32_t>(std::trunc(static_cast<double>(lastColumn) / 2));
  if (x <= lastColumn - 1 && x > 1) {
    step([&] {
      readBorders(sheet.range("A1:" + ColumnLetter(x + 1) + std::to_string(lastRow)), dObj);
    });
  }

  // The original counted the rows in a 16-bit integer; a larger extent is read
  // up to that count rather than not at all.
  const int32_t rows = std::min(lastRow, kMaxCellRows);
  SheetPoints seen;
  std::string address;
  for (int32_t i = 1; i <= rows; ++i) {
    for (int32_t j = 1; j <= lastColumn; ++j) {
      step([&] {
        address = ColumnLetter(j);
        address += std::to_string(i);
        readCell(sheet.range(address), dObj, seen);
      });
    }
  }
}

}  // namespace xls

namespace extract {

Reading readExcel(const std::string& cFile, const std::optional<std::string>& cTbl) {
  // The workbook is never written back: the object model is read-only, which
  // stands for closing without saving changes.
  Reading reading;
  std::optional<excel::Workbook> book;
  std::optional<excel::Worksheet> named;
  try {
    book.emplace(excel::Workbook::open(winpath::toNative(cFile)));
    if (cTbl && !cTbl->empty()) named.emplace(book->worksheets(std::string_view(*cTbl)));
  } catch (const AutomationError& e) {
    reading.openFailure = e;
    return reading;
  }
  // A failure past the open ends the reading with the points found so far.
  guarded([&] {
    if (named) {
      xls::ReadSheet(*named, reading.points);
    } else {
      const int32_t count = book->worksheetCount();
      for (int32_t i = 1; i <= count; ++i) xls::ReadSheet(book->worksheets(i), reading.points);
    }
  });
  return reading;
}

}  // namespace extract

void ReadExcel(const std::string& cFile, KnowledgeSet& dObj,
               const std::optional<std::string>& cTbl) {
  extract::addPoints(dObj, std::move(extract::readExcel(cFile, cTbl).points));
}

}  // namespace bq
