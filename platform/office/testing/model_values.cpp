// Our side of the differential test against LibreOffice (lo_differential.py):
// opens each file named on the command line with the Word, Excel or
// PowerPoint object model (by its extension) and prints, one JSON object a
// line, the values the knowledge points are made of:
//
//   {"file": "...", "model": "word", "loc": "p12", "prop": "alignment", "value": 1}
//
// A file the model cannot open prints one line with "error" instead. The
// values are the model's own (Word's, Excel's, PowerPoint's codes and units);
// lo_values.py prints LibreOffice's for the same places, and the comparer
// turns those into Office's before the two are joined.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "common/automation_error.h"
#include "platform/office/excel/excel.h"
#include "platform/office/ppt/ppt.h"
#include "platform/office/word/word.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
namespace word = bq::office::word;
namespace excel = bq::office::excel;
namespace ppt = bq::office::ppt;

// The cells read of each worksheet: A1 up to the last used row and column,
// at most this far (lo_values.py reads the same block).
constexpr int32_t kMaxRows = 120;
constexpr int32_t kMaxColumns = 30;
// Paragraphs read of each document.
constexpr int32_t kMaxParagraphs = 600;

class Printer {
 public:
  Printer(std::string file, std::string model) : file_(std::move(file)), model_(std::move(model)) {}

  void value(const std::string& loc, const std::string& prop, json v) {
    json line = {{"file", file_}, {"model", model_}, {"loc", loc}, {"prop", prop}, {"value", v}};
    std::puts(line.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
  }
  void error(const std::string& what) {
    json line = {{"file", file_}, {"model", model_}, {"error", what}};
    std::puts(line.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
  }

  // Prints the value `read` gives, or nothing when the model refuses it (a
  // read Office would refuse too: the comparer sees the value missing).
  template <typename Read>
  void guarded(const std::string& loc, const std::string& prop, Read&& read) {
    try {
      value(loc, prop, read());
    } catch (const bq::AutomationError&) {
    }
  }

 private:
  std::string file_, model_;
};

template <typename T>
json optional(const std::optional<T>& v) {
  return v ? json(*v) : json(nullptr);
}

void printFont(Printer& out, const std::string& loc, const word::Font& f) {
  out.value(loc, "font.name", f.name);
  out.value(loc, "font.size", f.size);
  out.value(loc, "font.bold", f.bold);
  out.value(loc, "font.italic", f.italic);
  out.value(loc, "font.underline", f.underline);
  out.value(loc, "font.colorIndex", f.colorIndex);
}

void readWord(const fs::path& path, Printer& out) {
  const word::Document doc = word::Document::open(path);
  const int32_t sections = doc.sectionCount();
  out.value("doc", "sectionCount", sections);
  for (int32_t i = 1; i <= sections; ++i) {
    const std::string loc = "sec" + std::to_string(i);
    const word::Section section = doc.sections(i);
    const word::PageSetup s = section.pageSetup();
    out.value(loc, "pageWidth", s.pageWidth);
    out.value(loc, "pageHeight", s.pageHeight);
    out.value(loc, "orientation", s.orientation);
    out.value(loc, "paperSize", s.paperSize);
    out.value(loc, "topMargin", s.topMargin);
    out.value(loc, "bottomMargin", s.bottomMargin);
    out.value(loc, "leftMargin", s.leftMargin);
    out.value(loc, "rightMargin", s.rightMargin);
    out.value(loc, "headerDistance", s.headerDistance);
    out.value(loc, "footerDistance", s.footerDistance);
    out.value(loc, "columns", s.textColumns.count());
    out.guarded(loc, "header.text", [&] { return section.headers(1).range().text(); });
    out.guarded(loc, "footer.text", [&] { return section.footers(1).range().text(); });
  }
  const int32_t paragraphs = std::min(doc.paragraphCount(), kMaxParagraphs);
  for (int32_t i = 1; i <= paragraphs; ++i) {
    const std::string loc = "p" + std::to_string(i);
    const word::Range range = doc.paragraphs(i).range();
    out.value(loc, "text", range.text());
    const bool inTable = range.withinTable();
    out.value(loc, "inTable", inTable);
    out.guarded(loc, "alignment", [&] { return range.paragraphFormat().alignment; });
    out.guarded(loc, "lineSpacingRule", [&] { return range.paragraphFormat().lineSpacingRule; });
    out.guarded(loc, "lineSpacing", [&] { return range.paragraphFormat().lineSpacing; });
    try {
      printFont(out, loc, range.font());
    } catch (const bq::AutomationError&) {
    }
    if (inTable) {
      out.guarded(loc, "cell.verticalAlignment", [&] { return range.cells().verticalAlignment; });
      out.guarded(loc, "cell.backgroundPatternColor",
                  [&] { return range.cells().shading.backgroundPatternColor; });
    }
  }
  const int32_t tables = doc.tableCount();
  out.value("doc", "tableCount", tables);
  for (int32_t i = 1; i <= tables; ++i) {
    const std::string loc = "table" + std::to_string(i);
    const word::Borders b = doc.tables(i).borders();
    out.value(loc, "outsideLineStyle", b.outsideLineStyle);
    out.value(loc, "outsideLineWidth", b.outsideLineWidth);
    out.value(loc, "outsideColorIndex", b.outsideColorIndex);
    out.value(loc, "insideLineStyle", b.insideLineStyle);
    out.value(loc, "insideLineWidth", b.insideLineWidth);
    out.value(loc, "insideColorIndex", b.insideColorIndex);
  }
}

std::string columnName(int32_t column) {
  std::string name;
  for (; column > 0; column = (column - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
  return name;
}

json cellValue(const excel::CellValue& v) {
  switch (v.kind) {
    case excel::CellValue::Kind::Empty:
      return nullptr;
    case excel::CellValue::Kind::Number:
    case excel::CellValue::Kind::Boolean:
      return v.number;
    case excel::CellValue::Kind::String:
      return v.text;
    case excel::CellValue::Kind::Error:
      return json{{"error", v.text}};
  }
  return nullptr;
}

void readExcel(const fs::path& path, Printer& out) {
  const excel::Workbook book = excel::Workbook::open(path);
  const std::vector<std::string> names = book.worksheetNames();
  out.value("book", "worksheetNames", names);
  for (int32_t i = 1; i <= static_cast<int32_t>(names.size()); ++i) {
    const std::string& name = names[static_cast<size_t>(i - 1)];
    excel::Worksheet sheet = book.worksheets(i);
    const int32_t lastRow = sheet.lastRow(), lastColumn = sheet.lastColumn();
    out.value(name, "lastRow", lastRow);
    out.value(name, "lastColumn", lastColumn);
    for (int32_t r = 1; r <= std::min(lastRow, kMaxRows); ++r) {
      for (int32_t c = 1; c <= std::min(lastColumn, kMaxColumns); ++c) {
        const std::string loc = name + "!" + columnName(c) + std::to_string(r);
        const excel::Range cell = sheet.cells(r, c);
        out.guarded(loc, "value", [&] { return cellValue(cell.value()); });
        // HasFormula as the formula bar shows it: every cell of an array
        // formula has one.
        std::optional<std::string> r1c1;
        try {
          r1c1 = cell.formulaR1C1();
        } catch (const bq::AutomationError&) {
        }
        const excel::CellValue constant = cell.value();
        const bool hasFormula =
            cell.formula().has_value() ||
            (r1c1 && !r1c1->empty() && r1c1->front() == '=' &&
             !(constant.kind == excel::CellValue::Kind::String && constant.text == *r1c1));
        out.value(loc, "hasFormula", hasFormula);
        if (hasFormula && r1c1) out.value(loc, "formulaR1C1", *r1c1);
        try {
          const excel::Font f = cell.font();
          out.value(loc, "font.name", optional(f.name));
          out.value(loc, "font.size", optional(f.size));
          out.value(loc, "font.bold", optional(f.bold));
        } catch (const bq::AutomationError&) {
        }
        out.guarded(loc, "horizontalAlignment",
                    [&] { return optional(cell.horizontalAlignment()); });
        out.guarded(loc, "verticalAlignment", [&] { return optional(cell.verticalAlignment()); });
        out.guarded(loc, "mergeCells", [&] { return optional(cell.mergeCells()); });
        out.guarded(loc, "interior.colorIndex",
                    [&] { return optional(cell.interior().colorIndex); });
        out.guarded(loc, "interior.pattern", [&] { return optional(cell.interior().pattern); });
        out.guarded(loc, "numberFormatLocal", [&] { return optional(cell.numberFormatLocal()); });
        for (int32_t edge : {excel::xl::kEdgeLeft, excel::xl::kEdgeTop, excel::xl::kEdgeBottom,
                             excel::xl::kEdgeRight}) {
          const std::string side = "border" + std::to_string(edge);
          try {
            const excel::Border b = cell.borders(edge);
            out.value(loc, side + ".lineStyle", optional(b.lineStyle));
            out.value(loc, side + ".weight", optional(b.weight));
          } catch (const bq::AutomationError&) {
          }
        }
      }
    }
  }
}

void readPpt(const fs::path& path, Printer& out) {
  ppt::Presentation pres = ppt::Presentation::open(path);
  const int32_t slides = pres.slideCount();
  out.value("deck", "slideCount", slides);
  for (int32_t i = 1; i <= slides; ++i) {
    const std::string sloc = "s" + std::to_string(i);
    const ppt::Slide slide = pres.slides(i);
    out.value(sloc, "layout", slide.layout());
    const ppt::SlideShowTransition t = slide.slideShowTransition();
    out.value(sloc, "transition.entryEffect", t.entryEffect);
    out.value(sloc, "transition.speed", t.speed);
    out.value(sloc, "transition.advanceOnClick", t.advanceOnClick);
    out.value(sloc, "transition.advanceOnTime", t.advanceOnTime);
    out.value(sloc, "transition.soundEffectType", t.soundEffectType);
    const int32_t shapes = slide.shapeCount();
    out.value(sloc, "shapeCount", shapes);
    for (int32_t j = 1; j <= shapes; ++j) {
      const ppt::Shape shape = slide.shapes(j);
      // Shapes are joined by name (LibreOffice keeps cNvPr's name).
      const std::string loc = sloc + "/" + std::to_string(j);
      out.value(loc, "name", shape.name());
      out.guarded(loc, "autoShapeType", [&] { return shape.autoShapeType(); });
      out.value(loc, "hasTextFrame", shape.hasTextFrame());
      if (shape.hasTextFrame()) {
        try {
          const ppt::TextRange text = shape.textRange();
          out.value(loc, "text", text.text);
          out.value(loc, "font.nameAscii", text.font.nameAscii);
          out.value(loc, "font.nameFarEast", text.font.nameFarEast);
          out.value(loc, "font.size", text.font.size);
          out.value(loc, "font.bold", text.font.bold);
          out.value(loc, "font.italic", text.font.italic);
          out.value(loc, "font.underline", text.font.underline);
          out.value(loc, "font.shadow", text.font.shadow);
          out.value(loc, "font.colorRgb", text.font.colorRgb);
        } catch (const bq::AutomationError&) {
        }
      }
      try {
        const ppt::FillFormat fill = shape.fill();
        out.value(loc, "fill.visible", fill.visible);
        out.value(loc, "fill.type", fill.type);
        out.value(loc, "fill.foreColorRgb", fill.foreColorRgb);
      } catch (const bq::AutomationError&) {
      }
    }
  }
  pres.close();
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    const std::string ext = lower(path.extension().string());
    const std::string model = ext == ".docx" || ext == ".docm"   ? "word"
                              : ext == ".xlsx" || ext == ".xlsm" ? "excel"
                              : ext == ".pptx" || ext == ".pptm" ? "ppt"
                                                                 : "";
    Printer out(path.string(), model);
    try {
      if (model == "word")
        readWord(path, out);
      else if (model == "excel")
        readExcel(path, out);
      else if (model == "ppt")
        readPpt(path, out);
      else
        out.error("not an Office Open XML document");
    } catch (const std::exception& e) {
      out.error(e.what());
    }
    std::fflush(stdout);
  }
  return 0;
}
