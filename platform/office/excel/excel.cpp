#include "platform/office/excel/excel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <span>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "common/automation_error.h"
#include "platform/office/excel/detail/excel_formula.h"
#include "platform/office/excel/detail/excel_styles.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/package.h"

namespace bq::office::excel {

namespace detail {

// The font of one rich-text run; empty members come from the cell's font.
struct RunFont {
  std::optional<std::string> name;
  std::optional<double> size;
  std::optional<bool> bold;
};

struct RichText {
  std::string text;
  std::vector<RunFont> runs;  // runs with non-empty text; none for plain text
};

struct CellRec {
  CellValue value;
  std::vector<RunFont> runs;
  std::optional<Formula> formula;
  size_t xf = 0;
  bool content = false;
};

struct ColInfo {
  int32_t min = 0, max = 0;
  std::optional<double> width;
  bool hidden = false;
  std::optional<size_t> style;
};

struct WorkbookData;

struct SheetData {
  WorkbookData* book = nullptr;
  std::string name;
  int32_t index = 0;
  Part part;
  bool loaded = false;
  // The cells in file order (a repeated reference replaces the earlier
  // cell) with their keys. A sheet whose cells fill enough of their extent
  // has a grid: (row - 1) * gridColumns + column - 1 gives the index + 1, 0
  // for no cell; another finds them by key.
  std::vector<CellRec> cellRecs;
  std::vector<int64_t> cellKeys;
  std::unordered_map<int64_t, uint32_t> cellIndex;
  std::vector<uint32_t> grid;
  int32_t gridRows = 0, gridColumns = 0;
  std::map<int32_t, size_t> rowStyles;  // rows with customFormat
  std::vector<ColInfo> cols;
  std::vector<RangeRef> merges;
  // The first cell and text of each shared formula, by f@si.
  std::map<int32_t, std::pair<CellRef, std::string>> sharedFormulas;
  // The range of each array formula and the cell that holds its text.
  std::vector<std::pair<RangeRef, CellRef>> arrayFormulas;
  std::optional<double> defaultColWidth;
  int32_t baseColWidth = 8;
  int32_t lastRow = 0, lastColumn = 0;

  // ColumnWidth of each column (by column - 1), worked out on first use.
  mutable std::vector<std::optional<double>> columnWidths;

  void load();
  void indexCells();  // cellIndex from cellKeys
  double columnWidth(int32_t column) const;
  const CellRec* cell(int32_t row, int32_t column) const;
  size_t xfAt(int32_t row, int32_t column) const;

 private:
  // The steps of load().
  struct CellsRead {
    int32_t maxRow = 0, maxColumn = 0;  // the extent of every c element
    bool indexed = false;               // cellIndex is made (cells came out of order)
  };
  void readSheetFormat(pugi::xml_node format);
  void readColumns(pugi::xml_node colsElement);
  void readSheetData(pugi::xml_node sheetData, CellsRead& read);
  CellRec readCell(pugi::xml_node c, int32_t row, int32_t& column);
  void readFormula(pugi::xml_node f, int32_t row, int32_t column, CellRec& rec);
  void readValue(std::string_view type, pugi::xml_node v, pugi::xml_node inlineText,
                 CellRec& rec) const;
  void addCell(int64_t key, CellRec rec, CellsRead& read);
  void placeCells(const CellsRead& read);
};

struct WorkbookData {
  Package package;
  Part workbookPart;
  Styles styles;
  std::vector<RichText> sharedStrings;
  std::vector<std::unique_ptr<SheetData>> sheets;
  bool date1904 = false;  // workbookPr@date1904: date serials count from 1904
  // The workbooks of the external links, by book index - 1; read when a
  // formula first needs them.
  std::optional<std::vector<ExternalBook>> externalBooks;

  explicit WorkbookData(Package p) : package(std::move(p)) {}

  // The external links' books, read on the first call.
  std::span<const ExternalBook> books();
};

}  // namespace detail

namespace {

// The workbook an external link part names (externalLink/externalBook@r:id,
// a relationship of TargetMode External); an empty book for a link part
// that is missing, damaged or of another kind (DDE, OLE).
ExternalBook readExternalLink(const Part& link) {
  try {
    pugi::xml_node root = link.xml();
    if (!root || !is(root, Ns::SpreadsheetML, "externalLink")) return {};
    pugi::xml_node book = root.child("x:externalBook");
    if (!book) return {};
    const Relationship* rel = link.relationship(book.attribute("r:id").value());
    if (!rel || !rel->external) return {};
    return externalBookOf(rel->target);
  } catch (const AutomationError&) {
    return {};  // the link's index stays in the formula
  }
}

}  // namespace

std::span<const ExternalBook> detail::WorkbookData::books() {
  if (!externalBooks) {
    externalBooks.emplace();
    // The workbook part is parsed already (load() read it).
    for (pugi::xml_node ref : workbookPart.xml().child("x:externalReferences").children())
      if (std::string_view(ref.name()) == "x:externalReference")
        externalBooks->push_back(
            readExternalLink(workbookPart.relatedById(ref.attribute("r:id").value())));
  }
  return *externalBooks;
}

namespace {

using detail::boolProperty;
using detail::CellRec;
using detail::ColorSpec;
using detail::indexAttr;
using detail::indexValue;
using detail::named;
using detail::RichText;
using detail::RunFont;
using detail::SheetData;
using detail::Styles;
using detail::takeFirst;
using detail::toDouble;
using detail::toInt;
using detail::WorkbookData;

[[noreturn]] void raise(int32_t number, std::string description) {
  throw AutomationError(number, std::string(kErrorSource), std::move(description));
}

[[noreturn]] void raiseBadAddress() { raise(kBadAddressNumber, std::string(kBadAddressText)); }

int64_t cellKey(int32_t row, int32_t column) { return int64_t{row} << 16 | column; }

bool boolAttr(pugi::xml_node node, const char* name) {
  std::string_view v = node.attribute(name).value();
  return v == "1" || v == "true";
}

// The ColorIndex Excel reports for a colour of the style sheet. Indexed
// colours 8..63 are the palette itself (ColorIndex = indexed - 7); the
// system colours 64 and 65 and automatic colours report
// xlColorIndexAutomatic; every other colour, tint applied, reports the
// nearest palette entry.
int32_t colorIndexOf(const ColorSpec& c, const Styles& s) {
  Rgb rgb;
  switch (c.kind) {
    case ColorSpec::Kind::Absent:
    case ColorSpec::Kind::Auto:
      return xl::kAutomatic;
    case ColorSpec::Kind::Indexed:
      if (c.index < 0 || c.index > 63) return xl::kAutomatic;
      if (c.index >= 8 && c.tint == 0) return c.index - 7;
      rgb = s.indexed[static_cast<size_t>(c.index)];
      break;
    case ColorSpec::Kind::Rgb:
      rgb = c.rgb;
      break;
    case ColorSpec::Kind::Theme:
      if (c.index < 0 || c.index >= 12) return xl::kAutomatic;
      rgb = s.theme[static_cast<size_t>(c.index)];
      break;
  }
  const Rgb tinted = applyTint(rgb, c.tint);
  // The sides of a border mostly share one colour.
  if (s.lastNearest && s.lastNearest->first == tinted) return s.lastNearest->second;
  if (!s.matcher) s.matcher.emplace(s.palette);
  const int32_t index = s.matcher->nearest(tinted);
  s.lastNearest.emplace(tinted, index);
  return index;
}

RunFont readRunFont(pugi::xml_node rPr) {
  RunFont f;
  if (pugi::xml_node name = rPr.child("x:rFont")) f.name = name.attribute("val").value();
  if (std::optional<double> sz = toDouble(rPr.child("x:sz").attribute("val").value());
      sz && *sz > 0)
    f.size = *sz;
  f.bold = boolProperty(rPr.child("x:b"));
  return f;
}

// CT_Rst (a shared string or an inline string): the plain text, or the runs
// joined; phonetic runs (rPh) are not part of the value.
RichText readRichText(pugi::xml_node node) {
  RichText rt;
  for (pugi::xml_node child : node.children()) {
    if (std::string_view(child.name()) == "x:t") {
      rt.text += child.text().get();
    } else if (std::string_view(child.name()) == "x:r") {
      std::string_view text = child.child("x:t").text().get();
      rt.text += text;
      if (text.empty()) continue;
      pugi::xml_node rPr = child.child("x:rPr");
      rt.runs.push_back(rPr ? readRunFont(rPr) : RunFont{});
    }
  }
  return rt;
}

// The theme's colour scheme in SpreadsheetML's theme-index order: Excel
// numbers lt1, dk1, lt2, dk2 as 0..3 although the scheme lists dk1, lt1,
// dk2, lt2; then accent1..6, hlink, folHlink.
std::array<Rgb, 12> themeColours(const Theme& theme) {
  std::array<Rgb, 12> colours{};
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = theme.colors[i];
  std::swap(colours[0], colours[1]);
  std::swap(colours[2], colours[3]);
  return colours;
}

// Worksheet names compare as Excel compares them, without regard to case:
// ASCII, Latin-1, Greek and Cyrillic capitals fold to small letters.
std::string foldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : static_cast<char>(c);
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < name.size()) {
      uint32_t cp = (uint32_t{c} & 0x1F) << 6 | (static_cast<unsigned char>(name[i + 1]) & 0x3F);
      if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3AB) ||
          (cp >= 0x410 && cp <= 0x42F))
        cp += 32;
      else if (cp >= 0x400 && cp <= 0x40F)
        cp += 80;
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
      i += 2;
      continue;
    }
    out += name[i++];
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Sheet content.

void detail::SheetData::load() {
  if (loaded) return;
  pugi::xml_node root = part.xml();  // throws for a damaged part, again on each call
  if (!root) {                       // a worksheet whose part is missing reads as empty
    loaded = true;
    return;
  }
  if (!is(root, Ns::SpreadsheetML, "worksheet"))
    raise(kCannotOpenFile, part.name() + ": not a worksheet");
  CellsRead read;
  forEachElement(root, [&](pugi::xml_node top) {
    std::string_view topName = top.name();
    if (topName == "x:sheetFormatPr") {
      readSheetFormat(top);
    } else if (topName == "x:cols") {
      readColumns(top);
    } else if (topName == "x:mergeCells") {
      for (pugi::xml_node m : top.children("x:mergeCell"))
        if (std::optional<RangeRef> r = parseAddress(m.attribute("ref").value()))
          merges.push_back(*r);
    } else if (topName == "x:sheetData") {
      readSheetData(top, read);
    }
  });
  placeCells(read);
  loaded = true;
}

void detail::SheetData::readSheetFormat(pugi::xml_node format) {
  if (std::optional<double> w = toDouble(format.attribute("defaultColWidth").value()); w && *w >= 0)
    defaultColWidth = *w;
  if (std::optional<int64_t> b = toInt(format.attribute("baseColWidth").value());
      b && *b >= 0 && *b <= 255)
    baseColWidth = static_cast<int32_t>(*b);
}

void detail::SheetData::readColumns(pugi::xml_node colsElement) {
  for (pugi::xml_node c : colsElement.children("x:col")) {
    ColInfo info;
    info.min = static_cast<int32_t>(
        std::clamp<int64_t>(toInt(c.attribute("min").value()).value_or(0), 0, kMaxColumns));
    info.max = static_cast<int32_t>(
        std::clamp<int64_t>(toInt(c.attribute("max").value()).value_or(0), 0, kMaxColumns));
    if (info.min < 1 || info.max < info.min) continue;
    if (std::optional<double> w = toDouble(c.attribute("width").value()); w && *w >= 0)
      info.width = *w;
    info.hidden = boolAttr(c, "hidden");
    if (c.attribute("style")) info.style = indexAttr(c, "style");
    cols.push_back(info);
  }
}

// The rows of x:sheetData: each cell, in file order; a row or cell without
// its reference follows the one before it.
void detail::SheetData::readSheetData(pugi::xml_node sheetData, CellsRead& read) {
  int32_t row = 0;
  for (pugi::xml_node r : sheetData.children("x:row")) {
    std::optional<int64_t> rn = toInt(r.attribute("r").value());
    row = rn ? static_cast<int32_t>(std::clamp<int64_t>(*rn, 0, kMaxRows + 1)) : row + 1;
    if (row < 1 || row > kMaxRows) continue;
    if (boolAttr(r, "customFormat")) rowStyles[row] = indexAttr(r, "s");
    int32_t column = 0;
    for (pugi::xml_node c : r.children("x:c")) {
      CellRec rec = readCell(c, row, column);
      if (column > kMaxColumns) break;
      if (rec.content) {
        lastRow = std::max(lastRow, row);
        lastColumn = std::max(lastColumn, column);
      }
      addCell(cellKey(row, column), std::move(rec), read);
      read.maxRow = std::max(read.maxRow, row);
      read.maxColumn = std::max(read.maxColumn, column);
    }
  }
}

// One x:c element of row `row`; `column` is the column of the cell before
// it on entry and this cell's on return.
detail::CellRec detail::SheetData::readCell(pugi::xml_node c, int32_t row, int32_t& column) {
  // One pass over the cell's attributes and children.
  const char* address = nullptr;
  const char* style = nullptr;
  const char* typeText = nullptr;
  for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute()) {
    const char* name = a.name();
    if (named(name, "r"))
      takeFirst(address, a.value());
    else if (named(name, "s"))
      takeFirst(style, a.value());
    else if (named(name, "t"))
      takeFirst(typeText, a.value());
  }
  pugi::xml_node v, f, inlineText;
  for (pugi::xml_node child = c.first_child(); child; child = child.next_sibling()) {
    const char* name = child.name();
    if (named(name, "x:v"))
      takeFirst(v, child);
    else if (named(name, "x:f"))
      takeFirst(f, child);
    else if (named(name, "x:is"))
      takeFirst(inlineText, child);
  }
  std::optional<RangeRef> ref = parseAddress(address ? address : "");
  column = ref && ref->first == ref->last ? ref->first.column : column + 1;
  CellRec rec;
  if (column > kMaxColumns) return rec;
  rec.xf = indexValue(style);
  if (f) readFormula(f, row, column, rec);
  readValue(typeText ? typeText : "", v, inlineText, rec);
  return rec;
}

// The formula of a cell (x:f), noting the first cell of a shared formula and
// the range of an array formula.
void detail::SheetData::readFormula(pugi::xml_node f, int32_t row, int32_t column, CellRec& rec) {
  Formula formula;
  formula.text = f.text().get();
  const std::string_view kind = f.attribute("t").value();
  if (kind == "shared") {
    if (std::optional<int64_t> si = toInt(f.attribute("si").value());
        si && *si >= 0 && *si <= INT32_MAX)
      formula.sharedIndex = static_cast<int32_t>(*si);
  } else if (kind == "array" && !formula.text.empty()) {
    if (std::optional<RangeRef> area = parseAddress(f.attribute("ref").value()))
      if (area->first != area->last) arrayFormulas.emplace_back(*area, CellRef{row, column});
  }
  if (formula.sharedIndex && !formula.text.empty())
    sharedFormulas.try_emplace(*formula.sharedIndex, CellRef{row, column}, formula.text);
  rec.formula = std::move(formula);
  rec.content = true;
}

// The value of a cell by its type (c@t): an inline or shared string, a
// Boolean, an error, a formula's text result, or a number.
void detail::SheetData::readValue(std::string_view type, pugi::xml_node v,
                                  pugi::xml_node inlineText, CellRec& rec) const {
  CellValue& value = rec.value;
  if (type == "inlineStr") {
    RichText rt = readRichText(inlineText);
    value = {CellValue::Kind::String, 0, std::move(rt.text)};
    rec.runs = std::move(rt.runs);
    rec.content = rec.content || inlineText;
    return;
  }
  if (!v) return;
  const std::string_view text = v.text().get();
  if (type == "s") {
    std::optional<int64_t> idx = toInt(text);
    if (idx && *idx >= 0 && static_cast<size_t>(*idx) < book->sharedStrings.size()) {
      const RichText& rt = book->sharedStrings[static_cast<size_t>(*idx)];
      value = {CellValue::Kind::String, 0, rt.text};
      rec.runs = rt.runs;
      rec.content = true;
    }
  } else if (type == "b") {
    value = {CellValue::Kind::Boolean, text == "1" || text == "true" ? 1.0 : 0.0, {}};
    rec.content = true;
  } else if (type == "e") {
    value = {CellValue::Kind::Error, 0, std::string(text)};
    rec.content = true;
  } else if (type == "str" || type == "d") {
    value = {CellValue::Kind::String, 0, std::string(text)};
    rec.content = rec.content || !text.empty();
  } else if (std::optional<double> n = toDouble(text)) {
    value = {CellValue::Kind::Number, *n, {}};
    rec.content = true;
  }
}

// Keeps a cell under its key; a repeated reference replaces the earlier cell.
void detail::SheetData::addCell(int64_t key, CellRec rec, CellsRead& read) {
  if (!read.indexed && (cellKeys.empty() || key > cellKeys.back())) {
    // Cells in order, as producers write them: a new one for certain.
    cellKeys.push_back(key);
    cellRecs.push_back(std::move(rec));
    return;
  }
  if (!read.indexed) indexCells();
  read.indexed = true;
  auto [it, added] = cellIndex.try_emplace(key, static_cast<uint32_t>(cellRecs.size()));
  if (added) {
    cellKeys.push_back(key);
    cellRecs.push_back(std::move(rec));
  } else {
    cellRecs[it->second] = std::move(rec);
  }
}

// A sheet whose cells fill enough of their extent is looked up by a grid;
// another by its key index.
void detail::SheetData::placeCells(const CellsRead& read) {
  const int64_t area = int64_t{read.maxRow} * read.maxColumn;
  if (area > 0 && area <= std::max<int64_t>(65536, 4 * static_cast<int64_t>(cellRecs.size()))) {
    gridRows = read.maxRow;
    gridColumns = read.maxColumn;
    grid.assign(static_cast<size_t>(area), 0);
    for (size_t i = 0; i < cellKeys.size(); ++i) {
      const int64_t key = cellKeys[i];
      const auto r = static_cast<int32_t>(key >> 16), c = static_cast<int32_t>(key & 0xFFFF);
      grid[static_cast<size_t>(int64_t{r - 1} * gridColumns + (c - 1))] =
          static_cast<uint32_t>(i + 1);
    }
  } else if (!read.indexed) {
    indexCells();
  }
}

void detail::SheetData::indexCells() {
  cellIndex.reserve(cellKeys.size());
  for (size_t i = 0; i < cellKeys.size(); ++i)
    cellIndex.emplace(cellKeys[i], static_cast<uint32_t>(i));
}

const CellRec* detail::SheetData::cell(int32_t row, int32_t column) const {
  if (!grid.empty()) {
    if (row < 1 || column < 1 || row > gridRows || column > gridColumns) return nullptr;
    const uint32_t i = grid[static_cast<size_t>(int64_t{row - 1} * gridColumns + (column - 1))];
    return i == 0 ? nullptr : &cellRecs[i - 1];
  }
  auto it = cellIndex.find(cellKey(row, column));
  return it == cellIndex.end() ? nullptr : &cellRecs[it->second];
}

double detail::SheetData::columnWidth(int32_t column) const {
  const auto at = static_cast<size_t>(column - 1);
  if (at >= columnWidths.size()) columnWidths.resize(at + 1);
  std::optional<double>& width = columnWidths[at];
  if (width) return *width;
  const int32_t mdw = book->styles.mdw;
  const ColInfo* info = nullptr;
  for (const ColInfo& col : cols)
    if (column >= col.min && column <= col.max) {
      info = &col;
      break;
    }
  if (info && info->hidden)
    width = 0.0;
  else if (info && info->width)
    width = columnWidthFromStored(*info->width, mdw);
  else if (defaultColWidth)
    width = columnWidthFromStored(*defaultColWidth, mdw);
  else
    width = columnWidthFromBase(baseColWidth, mdw);
  return *width;
}

// A cell without a c element takes the style of its row when the row has a
// format of its own, else that of its column.
size_t detail::SheetData::xfAt(int32_t row, int32_t column) const {
  if (const CellRec* c = cell(row, column)) return c->xf;
  if (auto it = rowStyles.find(row); it != rowStyles.end()) return it->second;
  for (const ColInfo& col : cols)
    if (column >= col.min && column <= col.max && col.style) return *col.style;
  return 0;
}

// ---------------------------------------------------------------------------
// Range.

namespace {

// A value of cell (row, column) as the formula bar shows a constant: text
// as is, TRUE/FALSE, an error by its name, a number by the kind of its
// number format; "" for an empty cell.
std::string constantText(const SheetData& sheet, int32_t row, int32_t column,
                         const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::Empty:
      return {};
    case CellValue::Kind::String:
    case CellValue::Kind::Error:
      return value.text;
    case CellValue::Kind::Boolean:
      return value.number != 0 ? "TRUE" : "FALSE";
    case CellValue::Kind::Number:
      break;
  }
  const Styles& s = sheet.book->styles;
  const int32_t id = s.xf(sheet.xfAt(row, column)).numFmtId;
  std::optional<std::string_view> code;
  if (auto it = s.numFmts.find(id); it != s.numFmts.end()) code = it->second;
  return numberFormulaText(value.number, numberKind(id, code), sheet.book->date1904);
}

constexpr int64_t kMaxRangeCells = 4'194'304;

// One property over the cells of a range: null when a cell has it null or
// when two cells differ.
template <typename T>
class Uniform {
 public:
  void add(const std::optional<T>& v) {
    if (first_) {
      value_ = v;
      first_ = false;
    } else if (value_ && value_ != v) {
      value_.reset();
    }
  }
  const std::optional<T>& result() const { return value_; }
  // Null whatever is added from now on.
  bool settled() const { return !first_ && !value_; }

 private:
  std::optional<T> value_;
  bool first_ = true;
};

template <typename Fn>
void forEachCell(const RangeRef& ref, Fn&& fn) {
  for (int32_t r = ref.first.row; r <= ref.last.row; ++r)
    for (int32_t c = ref.first.column; c <= ref.last.column; ++c) fn(r, c);
}

// forEachCell until `done()` says the rest cannot change the result.
template <typename Fn, typename Done>
void forEachCellUntil(const RangeRef& ref, Fn&& fn, Done&& done) {
  for (int32_t r = ref.first.row; r <= ref.last.row; ++r)
    for (int32_t c = ref.first.column; c <= ref.last.column; ++c) {
      fn(r, c);
      if (done()) return;
    }
}

// Characters.Font of one cell: the cell's font, or over the runs of its
// rich text each run's own (a run without properties has the cell's).
Font cellFont(const SheetData& sheet, int32_t row, int32_t column) {
  const detail::FontRec& base = *sheet.book->styles.xfInfo(sheet.xfAt(row, column)).font;
  const CellRec* c = sheet.cell(row, column);
  if (!c || c->runs.empty()) return Font{base.name, base.size, base.bold};
  Uniform<std::string> name;
  Uniform<double> size;
  Uniform<bool> bold;
  for (const RunFont& run : c->runs) {
    name.add(run.name.value_or(base.name));
    size.add(run.size.value_or(base.size));
    bold.add(run.bold.value_or(base.bold));
  }
  return Font{name.result(), size.result(), bold.result()};
}

Border sideBorder(const detail::SideRec& side, const Styles& s) {
  LineCodes codes = borderLineCodes(side.style);
  int32_t colour = codes.lineStyle == xl::kNone ? xl::kNone : colorIndexOf(side.color, s);
  return Border{codes.lineStyle, codes.weight, colour};
}

const detail::BorderRec& borderAt(const SheetData& sheet, int32_t row, int32_t column) {
  const Styles& s = sheet.book->styles;
  return s.border(s.xf(sheet.xfAt(row, column)).borderId);
}

const detail::BorderInfo& borderInfoAt(const SheetData& sheet, int32_t row, int32_t column) {
  const Styles& s = sheet.book->styles;
  return s.borderInfo(s.xf(sheet.xfAt(row, column)).borderId);
}

// In the order of BorderInfo::sides.
enum class Side { Left, Right, Top, Bottom };

// The line on side `side` of cell (row, column): its own, else the facing
// side of the neighbour that shares the edge, as Excel draws it.
Border edgeOf(const SheetData& sheet, int32_t row, int32_t column, Side side) {
  const detail::BorderInfo& info = borderInfoAt(sheet, row, column);
  const auto at = static_cast<size_t>(side);
  if (info.drawn[at]) return info.sides[at];
  int32_t r = row, c = column;
  Side facing = side;
  switch (side) {
    case Side::Left:
      c -= 1;
      facing = Side::Right;
      break;
    case Side::Right:
      c += 1;
      facing = Side::Left;
      break;
    case Side::Top:
      r -= 1;
      facing = Side::Bottom;
      break;
    case Side::Bottom:
      r += 1;
      facing = Side::Top;
      break;
  }
  if (r < 1 || c < 1 || r > kMaxRows || c > kMaxColumns) return info.sides[at];
  return borderInfoAt(sheet, r, c).sides[static_cast<size_t>(facing)];
}

struct BorderAcc {
  Uniform<int32_t> lineStyle, weight, colorIndex;
  void add(const Border& b) {
    lineStyle.add(b.lineStyle);
    weight.add(b.weight);
    colorIndex.add(b.colorIndex);
  }
  Border result() const { return {lineStyle.result(), weight.result(), colorIndex.result()}; }
  // Every property already differs within the range: the rest of it is not read.
  bool settled() const { return lineStyle.settled() && weight.settled() && colorIndex.settled(); }
};

}  // namespace

const detail::XfInfo& detail::Styles::xfInfo(size_t i) const {
  if (xfInfos.empty()) xfInfos.resize(xfs.size() + 1);
  std::optional<XfInfo>& slot = xfInfos[std::min(i, xfs.size())];
  if (slot) return *slot;
  const XfRec& x = xf(i);
  XfInfo info;
  info.font = &font(x.fontId);
  info.horizontal = horizontalAlignmentCode(x.horizontal);
  info.vertical = verticalAlignmentCode(x.vertical);
  // A format the style sheet defines (also one that redefines a built-in id)
  // reads as a Chinese Excel shows its code; a built-in id as a Chinese Excel
  // names it; an id neither knows as General.
  if (auto it = numFmts.find(x.numFmtId); it != numFmts.end())
    info.numberFormatLocal = localizedNumberFormat(it->second);
  else
    info.numberFormatLocal = builtinNumberFormatLocal(x.numFmtId).value_or(kGeneralLocal);
  // Interior: no fill reports xlNone for both colour and pattern; a solid
  // fill's colour is its foreground, a pattern's cell colour is its
  // background; a gradient reports the colour of its first stop.
  const FillRec& f = fill(x.fillId);
  if (f.gradient != 0) {
    info.interiorPattern = f.gradient;
    info.interiorColour = colorIndexOf(f.gradientColor, *this);
  } else {
    const int32_t code = patternCode(f.patternType);
    info.interiorPattern = code;
    info.interiorColour = code == xl::kNone
                              ? xl::kNone
                              : colorIndexOf(code == xl::kPatternSolid ? f.fg : f.bg, *this);
  }
  slot = std::move(info);
  return *slot;
}

const detail::BorderInfo& detail::Styles::borderInfo(size_t i) const {
  if (borderInfos.empty()) borderInfos.resize(borders.size() + 1);
  std::optional<BorderInfo>& slot = borderInfos[std::min(i, borders.size())];
  if (slot) return *slot;
  const BorderRec& b = border(i);
  BorderInfo info;
  const SideRec* sides[] = {&b.left, &b.right, &b.top, &b.bottom, &b.diagonal};
  for (size_t k = 0; k < 5; ++k) info.sides[k] = sideBorder(*sides[k], *this);
  for (size_t k = 0; k < 4; ++k) info.drawn[k] = info.sides[k].lineStyle != xl::kNone;
  slot = std::move(info);
  return *slot;
}

CellValue Range::value() const {
  const CellRec* c = sheet_->cell(ref_.first.row, ref_.first.column);
  return c ? c->value : CellValue{};
}

std::optional<Formula> Range::formula() const {
  const CellRec* c = sheet_->cell(ref_.first.row, ref_.first.column);
  return c ? c->formula : std::nullopt;
}

// A formula cell gives its formula (a cell of a shared group the group's
// first formula, moved to it); a cell whose formula text is missing, or whose
// group has no first cell, gives its value as a constant.
std::string Range::formulaText(bool r1c1) const {
  if (ref_.first != ref_.last) raise(err::kTypeMismatch, "Type mismatch");
  const int32_t row = ref_.first.row, column = ref_.first.column;
  auto print = [&](std::string_view a1) {
    // The external links are read on the first book index a formula holds.
    const ExternalBookSource books{
        [](void* book) { return static_cast<WorkbookData*>(book)->books(); }, sheet_->book};
    return r1c1 ? formulaToR1C1(a1, ref_.first, books) : formulaToA1(a1, books);
  };
  const CellRec* c = sheet_->cell(row, column);
  // Every cell of an array formula's range shows the formula of its first
  // cell (the same A1 text in each, so R1C1 relative to the cell asked).
  if (!c || !c->formula)
    for (const auto& [area, master] : sheet_->arrayFormulas)
      if (master != ref_.first && row >= area.first.row && row <= area.last.row &&
          column >= area.first.column && column <= area.last.column)
        if (const CellRec* m = sheet_->cell(master.row, master.column); m && m->formula)
          return print(m->formula->text);
  if (!c) return {};
  if (c->formula) {
    if (!c->formula->text.empty()) return print(c->formula->text);
    if (c->formula->sharedIndex)
      if (auto it = sheet_->sharedFormulas.find(*c->formula->sharedIndex);
          it != sheet_->sharedFormulas.end()) {
        const auto& [master, text] = it->second;
        return print(shiftFormula(text, row - master.row, column - master.column));
      }
  }
  return constantText(*sheet_, row, column, c->value);
}

std::string Range::formulaR1C1() const { return formulaText(true); }
std::string Range::formulaA1() const { return formulaText(false); }

std::vector<std::vector<std::string>> Range::formulaR1C1Array() const {
  std::vector<std::vector<std::string>> rows;
  for (int32_t r = ref_.first.row; r <= ref_.last.row; ++r) {
    std::vector<std::string>& cells = rows.emplace_back();
    for (int32_t c = ref_.first.column; c <= ref_.last.column; ++c)
      cells.push_back(Range(sheet_, RangeRef{{r, c}, {r, c}}).formulaR1C1());
  }
  return rows;
}

Font Range::font() const {
  // One cell (the usual question): its font as it stands.
  if (ref_.first == ref_.last) return cellFont(*sheet_, ref_.first.row, ref_.first.column);
  Uniform<std::string> name;
  Uniform<double> size;
  Uniform<bool> bold;
  forEachCell(ref_, [&](int32_t r, int32_t c) {
    Font f = cellFont(*sheet_, r, c);
    name.add(f.name);
    size.add(f.size);
    bold.add(f.bold);
  });
  return Font{name.result(), size.result(), bold.result()};
}

std::optional<int32_t> Range::horizontalAlignment() const {
  const Styles& s = sheet_->book->styles;
  Uniform<int32_t> u;
  forEachCell(ref_, [&](int32_t r, int32_t c) { u.add(s.xfInfo(sheet_->xfAt(r, c)).horizontal); });
  return u.result();
}

std::optional<int32_t> Range::verticalAlignment() const {
  const Styles& s = sheet_->book->styles;
  Uniform<int32_t> u;
  forEachCell(ref_, [&](int32_t r, int32_t c) { u.add(s.xfInfo(sheet_->xfAt(r, c)).vertical); });
  return u.result();
}

// True when every cell of the range lies in a merged area, False when none
// does, Null otherwise.
std::optional<bool> Range::mergeCells() const {
  Uniform<bool> u;
  forEachCell(ref_, [&](int32_t r, int32_t c) {
    bool merged = std::any_of(sheet_->merges.begin(), sheet_->merges.end(), [&](const RangeRef& m) {
      return r >= m.first.row && r <= m.last.row && c >= m.first.column && c <= m.last.column;
    });
    u.add(merged);
  });
  return u.result();
}

// Interior of a cell: see Styles::xfInfo.
Interior Range::interior() const {
  const Styles& s = sheet_->book->styles;
  Uniform<int32_t> colour, pattern;
  forEachCell(ref_, [&](int32_t r, int32_t c) {
    const detail::XfInfo& info = s.xfInfo(sheet_->xfAt(r, c));
    pattern.add(info.interiorPattern);
    colour.add(info.interiorColour);
  });
  return Interior{colour.result(), pattern.result()};
}

// The format text: see Styles::xfInfo.
std::optional<std::string> Range::numberFormatLocal() const {
  const Styles& s = sheet_->book->styles;
  Uniform<std::string> u;
  forEachCell(ref_,
              [&](int32_t r, int32_t c) { u.add(s.xfInfo(sheet_->xfAt(r, c)).numberFormatLocal); });
  return u.result();
}

std::optional<double> Range::columnWidth() const {
  Uniform<double> u;
  for (int32_t column = ref_.first.column; column <= ref_.last.column; ++column)
    u.add(sheet_->columnWidth(column));
  return u.result();
}

Border Range::borders(int32_t index) const {
  const Styles& s = sheet_->book->styles;
  const RangeRef& g = ref_;
  BorderAcc acc;
  switch (index) {
    case xl::kEdgeLeft:
      for (int32_t r = g.first.row; r <= g.last.row && !acc.settled(); ++r)
        acc.add(edgeOf(*sheet_, r, g.first.column, Side::Left));
      break;
    case xl::kEdgeRight:
      for (int32_t r = g.first.row; r <= g.last.row && !acc.settled(); ++r)
        acc.add(edgeOf(*sheet_, r, g.last.column, Side::Right));
      break;
    case xl::kEdgeTop:
      for (int32_t c = g.first.column; c <= g.last.column && !acc.settled(); ++c)
        acc.add(edgeOf(*sheet_, g.first.row, c, Side::Top));
      break;
    case xl::kEdgeBottom:
      for (int32_t c = g.first.column; c <= g.last.column && !acc.settled(); ++c)
        acc.add(edgeOf(*sheet_, g.last.row, c, Side::Bottom));
      break;
    case xl::kInsideVertical:
      if (g.first.column == g.last.column) return sideBorder({}, s);
      forEachCellUntil(
          {g.first, {g.last.row, g.last.column - 1}},
          [&](int32_t r, int32_t c) { acc.add(edgeOf(*sheet_, r, c, Side::Right)); },
          [&] { return acc.settled(); });
      break;
    case xl::kInsideHorizontal:
      if (g.first.row == g.last.row) return sideBorder({}, s);
      forEachCellUntil(
          {g.first, {g.last.row - 1, g.last.column}},
          [&](int32_t r, int32_t c) { acc.add(edgeOf(*sheet_, r, c, Side::Bottom)); },
          [&] { return acc.settled(); });
      break;
    case xl::kDiagonalDown:
    case xl::kDiagonalUp:
      forEachCellUntil(
          g,
          [&](int32_t r, int32_t c) {
            const detail::BorderRec& b = borderAt(*sheet_, r, c);
            bool drawn = index == xl::kDiagonalDown ? b.diagonalDown : b.diagonalUp;
            acc.add(drawn ? borderInfoAt(*sheet_, r, c).sides[4] : sideBorder({}, s));
          },
          [&] { return acc.settled(); });
      break;
    default:
      raiseBadAddress();
  }
  return acc.result();
}

// ---------------------------------------------------------------------------
// Worksheet and Workbook.

namespace {

// A series title's cells hold a heading: more than this many cells are not
// read (Excel itself cuts a series name at 255 characters).
constexpr int64_t kMaxTitleCells = 256;

// The cells a chart's text reference names, as Excel reads them when it
// loads a workbook whose chart holds no cached text: each cell's value as
// the formula bar shows a constant (a formula cell by the value stored with
// it), joined by a blank. `book` outlives the reader: the chart handles
// that call it keep the workbook data alive.
detail::CellTextReader cellTextReader(WorkbookData* book) {
  return [book](std::string_view sheetName, const RangeRef& cells) -> std::optional<std::string> {
    const std::string wanted = foldName(sheetName);
    for (const auto& sheet : book->sheets) {
      if (foldName(sheet->name) != wanted) continue;
      sheet->load();
      std::string text;
      int64_t n = 0;
      forEachCellUntil(
          cells,
          [&](int32_t r, int32_t c) {
            if (n++ > 0) text += ' ';
            if (const CellRec* rec = sheet->cell(r, c))
              text += constantText(*sheet, r, c, rec->value);
          },
          [&] { return n >= kMaxTitleCells; });
      return text;
    }
    return std::nullopt;
  };
}

}  // namespace

const std::string& Worksheet::name() const { return sheet_->name; }
int32_t Worksheet::index() const { return sheet_->index; }
int32_t Worksheet::lastRow() const { return sheet_->lastRow; }
int32_t Worksheet::lastColumn() const { return sheet_->lastColumn; }

Range Worksheet::range(std::string_view address) const {
  std::optional<RangeRef> ref = parseAddress(address);
  if (!ref || ref->cellCount() > kMaxRangeCells) raiseBadAddress();
  return Range(sheet_, *ref);
}

std::vector<ChartObject> Worksheet::chartObjects() const {
  return detail::chartObjectsOf(sheet_, sheet_->book->workbookPart, sheet_->part, sheet_->name,
                                cellTextReader(sheet_->book));
}

ChartObject Worksheet::chartObjects(int32_t index) const {
  std::vector<ChartObject> all = chartObjects();
  if (index < 1 || index > static_cast<int32_t>(all.size()))
    raise(kBadAddressNumber, "Unable to get the ChartObjects property of the Worksheet class");
  return all[static_cast<size_t>(index - 1)];
}

Range Worksheet::cells(int32_t row, int32_t column) const {
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) raiseBadAddress();
  return Range(sheet_, RangeRef{{row, column}, {row, column}});
}

namespace {

std::shared_ptr<WorkbookData> load(Package package) {
  auto data = std::make_shared<WorkbookData>(std::move(package));
  data->workbookPart = data->package.mainPart();
  pugi::xml_node root = data->workbookPart.xml();
  if (!root || !is(root, Ns::SpreadsheetML, "workbook"))
    raise(kCannotOpenFile, "the file is not an Excel workbook");
  {
    const std::string_view v = root.child("x:workbookPr").attribute("date1904").value();
    data->date1904 = v == "1" || v == "true";
  }

  if (Part sst = data->workbookPart.related(reltype::kSharedStrings))
    for (pugi::xml_node si : sst.xml().children("x:si"))
      data->sharedStrings.push_back(readRichText(si));
  // Without a theme part, the default Office theme.
  Part theme = data->workbookPart.related(reltype::kTheme);
  data->styles.theme = themeColours(readTheme(theme ? theme.xml() : pugi::xml_node{}));
  for (size_t i = 0; i < 64; ++i) {
    // Indexed colours 0..7 repeat the first eight palette entries.
    data->styles.indexed[i] = defaultPalette()[i < 8 ? i : i - 8];
  }
  if (Part styles = data->workbookPart.related(reltype::kStyles)) {
    // The style sheet of a formatted workbook is its largest part after the
    // sheets, and every record in it is used: read from the text, it costs
    // no tree.
    Styles& target = data->styles;
    if (!styles.scan([&target](const std::string& bytes) {
          return detail::readStylesFromText(bytes, target);
        }))
      detail::readStyles(styles.xml(), target);
  } else {
    data->styles.mdw = maxDigitWidth("Calibri", 11);
  }

  int32_t index = 0;
  for (pugi::xml_node sheet : root.child("x:sheets").children("x:sheet")) {
    const char* id = sheet.attribute("r:id").value();
    const Relationship* rel = data->workbookPart.relationship(id);
    if (!rel || !sameRelationshipType(rel->type, reltype::kWorksheet)) continue;
    auto s = std::make_unique<SheetData>();
    s->book = data.get();
    s->name = sheet.attribute("name").value();
    s->index = ++index;
    s->part = data->workbookPart.relatedById(id);
    data->sheets.push_back(std::move(s));
  }
  return data;
}

OpenOptions excelOptions() {
  OpenOptions options;
  options.convertTo = ConvertTo::Xlsx;
  options.cannotOpenNumber = kCannotOpenFile;
  options.errorSource = std::string(kErrorSource);
  return options;
}

}  // namespace

Workbook Workbook::open(const std::filesystem::path& path) {
  return Workbook(load(Package::open(path, excelOptions())));
}

Workbook Workbook::fromBytes(std::string bytes, std::string name) {
  return Workbook(load(Package::fromBytes(std::move(bytes), excelOptions(), std::move(name))));
}

int32_t Workbook::worksheetCount() const { return static_cast<int32_t>(data_->sheets.size()); }

std::vector<std::string> Workbook::worksheetNames() const {
  std::vector<std::string> names;
  for (const auto& s : data_->sheets) names.push_back(s->name);
  return names;
}

Worksheet Workbook::worksheets(int32_t index) const {
  if (index < 1 || index > worksheetCount()) raise(err::kSubscript, "Subscript out of range");
  SheetData* sheet = data_->sheets[static_cast<size_t>(index - 1)].get();
  sheet->load();
  return Worksheet(std::shared_ptr<SheetData>(data_, sheet));
}

Worksheet Workbook::worksheets(std::string_view name) const {
  const std::string wanted = foldName(name);
  for (const auto& s : data_->sheets)
    if (foldName(s->name) == wanted) return worksheets(s->index);
  raise(err::kSubscript, "Subscript out of range");
}

std::vector<std::string> Workbook::chartSheetNames() const {
  return detail::chartSheetNames(data_->workbookPart);
}

Chart Workbook::charts(int32_t index) const {
  if (index < 1 || index > static_cast<int32_t>(chartSheetNames().size()))
    raise(err::kSubscript, "Subscript out of range");
  return detail::chartSheetChart(data_, data_->workbookPart, index, cellTextReader(data_.get()));
}

Chart Workbook::charts(std::string_view name) const {
  const std::string wanted = foldName(name);
  const std::vector<std::string> names = chartSheetNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (foldName(names[i]) == wanted) return charts(static_cast<int32_t>(i) + 1);
  raise(err::kSubscript, "Subscript out of range");
}

}  // namespace bq::office::excel
