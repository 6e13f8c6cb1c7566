#include "platform/office/excel/excel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::excel {
namespace {

namespace fs = std::filesystem;
using testing::Entry;
using testing::kMain;
using testing::kRel;
using testing::kPkgRel;
using testing::errorOf;



// A workbook written for a test: its sheets (a chart sheet has empty xml),
// styles, shared strings and theme.
struct Book {
  struct Sheet {
    std::string name;
    std::string body;  // children of <worksheet>
    bool chart = false;
    bool raw = false;  // body is the whole part
  };
  std::vector<Sheet> sheets;
  std::string styles;  // children of <styleSheet>; no part when empty
  bool rawStyles = false;  // styles is the whole part
  std::string sst;     // children of <sst>; no part when empty
  std::string theme;   // the whole theme part; none when empty

  std::string bytes() const {
    std::string wbSheets, wbRels, overrides;
    std::vector<Entry> entries;
    for (size_t i = 0; i < sheets.size(); ++i) {
      const Sheet& s = sheets[i];
      std::string id = "rId" + std::to_string(i + 1);
      std::string file =
          (s.chart ? "chartsheets/sheet" : "worksheets/sheet") + std::to_string(i + 1) + ".xml";
      wbSheets += "<sheet name=\"" + s.name + "\" sheetId=\"" + std::to_string(i + 1) +
                  "\" r:id=\"" + id + "\"/>";
      wbRels += "<Relationship Id=\"" + id + "\" Type=\"" + kRel +
                (s.chart ? "/chartsheet" : "/worksheet") + "\" Target=\"" + file + "\"/>";
      std::string xml = s.raw     ? s.body
                        : s.chart ? "<chartsheet xmlns=\"" + kMain + "\"/>"
                                  : "<worksheet xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\">" +
                                        s.body + "</worksheet>";
      entries.push_back({"xl/" + file, xml});
    }
    if (!styles.empty()) {
      wbRels += "<Relationship Id=\"rS\" Type=\"" + kRel + "/styles\" Target=\"styles.xml\"/>";
      entries.push_back(
          {"xl/styles.xml",
           rawStyles ? styles : "<styleSheet xmlns=\"" + kMain + "\">" + styles + "</styleSheet>"});
    }
    if (!sst.empty()) {
      wbRels += "<Relationship Id=\"rT\" Type=\"" + kRel +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
      entries.push_back({"xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + sst + "</sst>"});
    }
    if (!theme.empty()) {
      wbRels += "<Relationship Id=\"rH\" Type=\"" + kRel + "/theme\" Target=\"theme/theme1.xml\"/>";
      entries.push_back({"xl/theme/theme1.xml", theme});
    }
    const std::vector<Entry> head = testing::workbookHead(wbSheets, wbRels);
    entries.insert(entries.begin(), head.begin(), head.end());
    return testing::zipBytes(entries);
  }
  Workbook open() const { return Workbook::fromBytes(bytes(), "test.xlsx"); }
};

Book oneSheet(const std::string& body, const std::string& styles = "",
              const std::string& sst = "") {
  Book b;
  b.sheets.push_back({"Sheet1", body});
  b.styles = styles;
  b.sst = sst;
  return b;
}

// ---------------------------------------------------------------------------
// Workbook and Worksheets.

TEST(ExcelWorkbookTest, WorksheetsByIndexAndNameSkippingChartSheets) {
  Book b;
  b.sheets = {{"Data", "<sheetData/>"},
              {"Chart1", "", true},
              {"Summary", "<sheetData/>"},
              {"Ärger", "<sheetData/>"},
              {"成绩表", "<sheetData/>"}};
  Workbook book = b.open();
  EXPECT_EQ(book.worksheetCount(), 4);
  EXPECT_EQ(book.worksheetNames(),
            (std::vector<std::string>{"Data", "Summary", "Ärger", "成绩表"}));
  EXPECT_EQ(book.worksheets(2).name(), "Summary");
  EXPECT_EQ(book.worksheets(2).index(), 2);
  EXPECT_EQ(book.worksheets("SUMMARY").index(), 2);
  EXPECT_EQ(book.worksheets("data").name(), "Data");
  EXPECT_EQ(book.worksheets("äRGER").index(), 3);  // Latin-1 capitals fold too
  EXPECT_EQ(book.worksheets("成绩表").index(), 4);

  for (int32_t bad : {0, -1, 5}) {
    AutomationError e = errorOf([&] { book.worksheets(bad); });
    EXPECT_EQ(e.number(), 9) << bad;
    EXPECT_EQ(e.description(), "Subscript out of range");
  }
  for (const char* bad : {"Chart1", "Nope", "", "Data "}) {
    AutomationError e = errorOf([&] { book.worksheets(bad); });
    EXPECT_EQ(e.number(), 9) << bad;
  }
}

TEST(ExcelWorkbookTest, OpensFromDiskAndStrictPackages) {
  testing::ScratchDir dir;
  for (bool strict : {false, true}) {
    SCOPED_TRACE(strict);
    fs::path file = dir / (strict ? "strict.xlsx" : "book.xlsx");
    testing::writeZip(file, testing::workbookEntries(strict));
    Workbook book = Workbook::open(file);
    Worksheet sheet = book.worksheets(1);
    EXPECT_EQ(sheet.range("A1").value(), (CellValue{CellValue::Kind::Number, 1, {}}));
    EXPECT_EQ(sheet.lastRow(), 1);
    EXPECT_EQ(sheet.lastColumn(), 1);
  }
}

TEST(ExcelWorkbookTest, FilesThatAreNoWorkbookFailWith1004) {
  testing::ScratchDir dir;
  fs::path text = dir / "notes.xlsx";
  testing::writeFile(text, "just some text, not a zip");
  EXPECT_EQ(errorOf([&] { Workbook::open(text); }).number(), 1004);

  // A package whose main part is a Word document.
  std::vector<Entry> doc = {
      {"[Content_Types].xml",
       R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>)"},
      {"_rels/.rels", "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"r\" Type=\"" +
                          kRel +
                          "/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
      {"word/document.xml",
       R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"/>)"}};
  AutomationError e = errorOf([&] { Workbook::fromBytes(testing::zipBytes(doc)); });
  EXPECT_EQ(e.number(), 1004);
  EXPECT_EQ(e.source(), "Excel");

  // No officeDocument relationship at all.
  std::vector<Entry> empty = {doc[0]};
  EXPECT_EQ(errorOf([&] { Workbook::fromBytes(testing::zipBytes(empty)); }).number(), 1004);
}

TEST(ExcelWorkbookTest, DamagedPartsFailWith1004) {
  // Styles that are not well-formed: the workbook cannot be opened.
  Book badStyles = oneSheet("<sheetData/>", "<fonts><font>");
  EXPECT_EQ(errorOf([&] { badStyles.open(); }).number(), 1004);

  Book badStrings = oneSheet("<sheetData/>", "", "<si><t>a</si>");
  EXPECT_EQ(errorOf([&] { badStrings.open(); }).number(), 1004);

  // A damaged worksheet fails when it is taken, each time; the others open.
  Book b;
  b.sheets = {{"Good", "<sheetData><row r=\"1\"><c r=\"A1\"><v>5</v></c></row></sheetData>"},
              {"Bad", "<worksheet xmlns=\"" + kMain + "\"><sheetData><row>", false, true},
              {"NotASheet", "<foo xmlns=\"" + kMain + "\"/>", false, true}};
  Workbook book = b.open();
  EXPECT_EQ(book.worksheets("Good").lastRow(), 1);
  for (int attempt = 0; attempt < 2; ++attempt)
    EXPECT_EQ(errorOf([&] { book.worksheets("Bad"); }).number(), 1004) << attempt;
  EXPECT_EQ(errorOf([&] { book.worksheets(3); }).number(), 1004);
}

// ---------------------------------------------------------------------------
// Cells.

const std::string kStrings =
    R"(<si><t>plain</t></si>)"
    R"(<si><r><t>Hel</t></r><r><rPr><b/><sz val="11"/><rFont val="Arial"/></rPr><t>lo</t></r><rPh><t>ignored</t></rPh></si>)"
    R"(<si><r><rPr><sz val="14"/><rFont val="宋体"/></rPr><t>同</t></r><r><rPr><sz val="14"/><rFont val="宋体"/></rPr><t>字</t></r></si>)";

TEST(ExcelCellTest, ValuesOfEveryKind) {
  Book b = oneSheet(
      R"(<sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="inlineStr"><is><t>inline</t></is></c></row>
<row r="2"><c r="A2"><v>3.5</v></c><c r="B2" t="b"><v>1</v></c><c r="C2" t="e"><v>#DIV/0!</v></c><c r="D2" t="b"><v>0</v></c></row>
<row r="3"><c r="A3"><f>SUM(A2:A2)</f><v>3.5</v></c><c r="B3" t="str"><f>"x"&amp;"y"</f><v>xy</v></c></row>
<row r="4"><c r="A4"><f t="shared" ref="A4:A5" si="0">A2*2</f><v>7</v></c></row>
<row r="5"><c r="A5"><f t="shared" si="0"/><v>7</v></c></row>
<row r="6"><c r="A6"><v>-1.25E+3</v></c><c><v>2</v></c><c r="D6"><v>4</v></c><c><v>5</v></c></row>
<row r="7"><c r="A7" t="s"><v>99</v></c><c r="B7" t="s"><v>-1</v></c><c r="C7"><v>abc</v></c></row>
</sheetData>)",
      "", kStrings);
  Worksheet s = b.open().worksheets(1);
  using K = CellValue::Kind;
  struct Case {
    const char* address;
    CellValue value;
  } cases[] = {
      {"A1", {K::String, 0, "plain"}},
      {"B1", {K::String, 0, "Hello"}},  // runs joined, phonetic text left out
      {"C1", {K::String, 0, "inline"}},
      {"A2", {K::Number, 3.5, {}}},
      {"B2", {K::Boolean, 1, {}}},
      {"C2", {K::Error, 0, "#DIV/0!"}},
      {"D2", {K::Boolean, 0, {}}},
      {"A3", {K::Number, 3.5, {}}},
      {"B3", {K::String, 0, "xy"}},
      {"A6", {K::Number, -1250, {}}},
      {"B6", {K::Number, 2, {}}},  // no reference: the column after the previous cell
      {"E6", {K::Number, 5, {}}},
      {"A7", {}},  // shared string index out of range
      {"B7", {}},
      {"C7", {}},  // a number that is no number
      {"Z99", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).value(), c.value);
  }
  EXPECT_EQ(s.range("A3").formula(), (Formula{"SUM(A2:A2)", std::nullopt}));
  EXPECT_EQ(s.range("B3").formula(), (Formula{"\"x\"&\"y\"", std::nullopt}));
  EXPECT_EQ(s.range("A4").formula(), (Formula{"A2*2", 0}));
  EXPECT_EQ(s.range("A5").formula(), (Formula{"", 0}));
  EXPECT_FALSE(s.range("A2").formula().has_value());
  EXPECT_FALSE(s.range("Q1").formula().has_value());
  // Range gives its first cell's value.
  EXPECT_EQ(s.range("A2:C3").value(), (CellValue{K::Number, 3.5, {}}));
  EXPECT_EQ(s.cells(2, 1).value(), (CellValue{K::Number, 3.5, {}}));
}

TEST(ExcelCellTest, ARepeatedReferenceReplacesTheEarlierCellInAnyOrder) {
  const std::string rows =
      R"(<row r="3"><c r="B3"><v>1</v></c><c r="A3"><v>2</v></c><c r="B3"><v>3</v></c></row>)"
      R"(<row r="1"><c r="A1"><v>4</v></c><c r="A1"><v>5</v></c></row>)";
  // Dense enough for the grid, and so sparse that cells are found by key.
  for (const std::string& far :
       {std::string(), std::string(R"(<row r="60000"><c r="C60000"><v>6</v></c></row>)")}) {
    SCOPED_TRACE(far.empty() ? "dense" : "sparse");
    Worksheet s = oneSheet("<sheetData>" + rows + far + "</sheetData>").open().worksheets(1);
    EXPECT_EQ(s.range("B3").value().number, 3);
    EXPECT_EQ(s.range("A3").value().number, 2);
    EXPECT_EQ(s.range("A1").value().number, 5);
    EXPECT_EQ(s.range("B1").value().kind, CellValue::Kind::Empty);
    EXPECT_EQ(s.lastRow(), far.empty() ? 3 : 60000);
    if (!far.empty()) {
      EXPECT_EQ(s.range("C60000").value().number, 6);
    }
  }
  // A sparse sheet written in order.
  Worksheet s = oneSheet(R"(<sheetData><row r="1"><c r="A1"><v>1</v></c></row>)"
                         R"(<row r="60000"><c r="C60000"><v>2</v></c></row></sheetData>)")
                    .open()
                    .worksheets(1);
  EXPECT_EQ(s.range("A1").value().number, 1);
  EXPECT_EQ(s.range("C60000").value().number, 2);
  EXPECT_EQ(s.range("B2").value().kind, CellValue::Kind::Empty);
}

TEST(ExcelCellTest, UsedExtentCountsValuesAndFormulasNotFormatting) {
  struct Case {
    const char* name;
    std::string sheetData;
    int32_t lastRow;
    int32_t lastColumn;
  } cases[] = {
      {"empty", "<sheetData/>", 0, 0},
      {"no sheetData", "", 0, 0},
      {"formatting only",
       R"(<sheetData><row r="3" s="1" customFormat="1"><c r="C3" s="1"/></row></sheetData>)", 0, 0},
      {"last row and last column from different cells",
       R"(<sheetData><row r="2"><c r="H2"><v>1</v></c></row><row r="5"><c r="A5"><v>1</v></c><c r="J5" s="1"/></row>
<row r="9"><c r="K9" s="1"/></row></sheetData>)",
       5, 8},
      {"formula without value",
       R"(<sheetData><row r="4"><c r="E4"><f>1+1</f></c></row></sheetData>)", 4, 5},
      {"empty value element", R"(<sheetData><row r="4"><c r="E4"><v></v></c></row></sheetData>)", 0,
       0},
      {"rows beyond the grid are skipped",
       R"(<sheetData><row r="1"><c r="B1"><v>1</v></c></row><row r="1048577"><c r="A1048577"><v>1</v></c></row></sheetData>)",
       1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Worksheet s = oneSheet(c.sheetData).open().worksheets(1);
    EXPECT_EQ(s.lastRow(), c.lastRow);
    EXPECT_EQ(s.lastColumn(), c.lastColumn);
  }
}

TEST(ExcelCellTest, InvalidAddressesFailWith1004) {
  Worksheet s = oneSheet("<sheetData/>").open().worksheets(1);
  for (const char* bad : {"@1", "A0", "A1:@5", "", "XFE1", "A1:XFD1048576"}) {
    AutomationError e = errorOf([&] { s.range(bad); });
    EXPECT_EQ(e.number(), 1004) << bad;
    EXPECT_EQ(e.description(), "Application-defined or object-defined error") << bad;
  }
  EXPECT_EQ(errorOf([&] { s.cells(0, 1); }).number(), 1004);
  EXPECT_EQ(errorOf([&] { s.cells(1, 16385); }).number(), 1004);
  EXPECT_EQ(errorOf([&] { s.range("A1").borders(3); }).number(), 1004);
}

// ---------------------------------------------------------------------------
// Styles.

const std::string kStyles = R"(
<numFmts count="2"><numFmt numFmtId="164" formatCode="0.00_ "/><numFmt numFmtId="165" formatCode="[Red]0"/></numFmts>
<fonts>
 <font><sz val="11"/><name val="Calibri"/></font>
 <font><b/><sz val="14"/><name val="宋体"/></font>
 <font><b val="0"/><sz val="9.5"/><name val="Arial"/></font>
</fonts>
<fills>
 <fill><patternFill patternType="none"/></fill>
 <fill><patternFill patternType="gray125"/></fill>
 <fill><patternFill patternType="solid"><fgColor rgb="FFFF0000"/><bgColor indexed="64"/></patternFill></fill>
 <fill><patternFill patternType="solid"><fgColor theme="4"/></patternFill></fill>
 <fill><patternFill patternType="solid"><fgColor indexed="13"/></patternFill></fill>
 <fill><patternFill patternType="darkGrid"><fgColor rgb="FF000000"/><bgColor rgb="FF00FF00"/></patternFill></fill>
 <fill><patternFill patternType="solid"><fgColor theme="0" tint="-0.5"/></patternFill></fill>
 <fill><gradientFill degree="90"><stop position="0"><color rgb="FF0000FF"/></stop><stop position="1"><color rgb="FFFFFFFF"/></stop></gradientFill></fill>
</fills>
<borders>
 <border><left/><right/><top/><bottom/><diagonal/></border>
 <border diagonalDown="1">
  <left style="thin"><color indexed="10"/></left>
  <right style="double"><color rgb="FF0000FF"/></right>
  <top style="medium"><color auto="1"/></top>
  <bottom style="hair"><color theme="1"/></bottom>
  <diagonal style="dashDot"><color indexed="64"/></diagonal>
 </border>
 <border><left style="dashed"/><right style="dashed"/><top style="dashed"/><bottom style="dashed"/></border>
</borders>
<cellStyleXfs><xf fontId="0"/></cellStyleXfs>
<cellXfs>
 <xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>
 <xf numFmtId="14" fontId="1" fillId="2" borderId="1"><alignment horizontal="center" vertical="top"/></xf>
 <xf numFmtId="164" fontId="2" fillId="3" borderId="0"/>
 <xf numFmtId="31" fontId="0" fillId="4" borderId="2"><alignment horizontal="centerContinuous" vertical="distributed"/></xf>
 <xf numFmtId="200" fontId="0" fillId="5" borderId="0"/>
 <xf numFmtId="165" fontId="0" fillId="1" borderId="0"/>
 <xf numFmtId="0" fontId="99" fillId="6" borderId="99"/>
 <xf numFmtId="0" fontId="0" fillId="7" borderId="0"/>
</cellXfs>
<cellStyles><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)";

const std::string kStyledSheet = R"(
<cols><col min="1" max="1" width="9.140625" customWidth="1"/><col min="2" max="3" width="20.7109375" customWidth="1"/>
<col min="4" max="4" width="30" hidden="1"/><col min="7" max="7" style="3"/></cols>
<sheetData>
<row r="1"><c r="A1" s="1"><v>1</v></c><c r="B1"><v>2</v></c><c r="C1" s="2"><v>3</v></c><c r="D1" s="3"/><c r="E1" s="4"/><c r="F1" s="5"/></row>
<row r="2"><c r="A2" s="6"/><c r="B2" s="999"/><c r="C2" s="7"/></row>
<row r="3" s="1" customFormat="1"><c r="A3"><v>1</v></c></row>
<row r="4" s="2"><c r="A4" t="s"><v>1</v></c><c r="B4" t="s"><v>2</v></c></row>
</sheetData>
<mergeCells count="1"><mergeCell ref="A6:B7"/></mergeCells>)";

Worksheet styledSheet() {
  static const Book book = oneSheet(kStyledSheet, kStyles, kStrings);
  return book.open().worksheets(1);
}

// `xml` with every element name given the prefix `prefix`.
std::string withPrefix(const std::string& xml, const std::string& prefix) {
  std::string out;
  for (size_t i = 0; i < xml.size(); ++i) {
    out += xml[i];
    if (xml[i] != '<') continue;
    if (i + 1 < xml.size() && xml[i + 1] == '/') out += xml[++i];
    if (i + 1 < xml.size() && std::isalpha(static_cast<unsigned char>(xml[i + 1])))
      out += prefix + ":";
  }
  return out;
}

// The styled sheet written with Strict namespace names, prefixes of the
// producer's choosing, declarations below the root and markup that looks
// like cells inside comments reads as the plain one does.
TEST(ExcelStyleTest, StrictNamespacesAndOtherPrefixesReadTheSame) {
  const std::string strict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
  Book odd = oneSheet("", "", kStrings);
  odd.sheets[0].raw = true;
  odd.sheets[0].body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ss:worksheet xmlns:ss=\"" +
                       strict + "\"><!-- <c r=\"A1\" s=\"2\"><v>9</v></c> -->" +
                       withPrefix(kStyledSheet, "ss") + "</ss:worksheet>";
  // The cells' prefix bound again, to the Transitional namespace.
  const std::string data = "<ss:sheetData>";
  std::string& body = odd.sheets[0].body;
  body.replace(body.find(data), data.size(), "<ss:sheetData xmlns:ss=\"" + kMain + "\">");
  odd.rawStyles = true;
  odd.styles = "<t:styleSheet xmlns:t=\"" + strict + "\"><!-- <t:fonts/> -->" +
               withPrefix(kStyles, "t") + "</t:styleSheet>";
  const Worksheet plain = styledSheet();
  const Worksheet read = odd.open().worksheets(1);
  ASSERT_EQ(read.lastRow(), plain.lastRow());
  ASSERT_EQ(read.lastColumn(), plain.lastColumn());
  for (const char* address : {"A1", "B1", "C1", "D1", "E1", "F1", "A2", "B2", "C2", "A3", "C3",
                              "A4", "B4", "A6", "G9", "A1:B1", "A1:C2", "B1:C2"}) {
    SCOPED_TRACE(address);
    const Range a = plain.range(address), b = read.range(address);
    EXPECT_EQ(b.value(), a.value());
    EXPECT_EQ(b.font(), a.font());
    EXPECT_EQ(b.horizontalAlignment(), a.horizontalAlignment());
    EXPECT_EQ(b.verticalAlignment(), a.verticalAlignment());
    EXPECT_EQ(b.mergeCells(), a.mergeCells());
    EXPECT_EQ(b.interior(), a.interior());
    EXPECT_EQ(b.numberFormatLocal(), a.numberFormatLocal());
    EXPECT_EQ(b.columnWidth(), a.columnWidth());
    for (int32_t edge : {xl::kEdgeLeft, xl::kEdgeTop, xl::kEdgeRight, xl::kEdgeBottom,
                         xl::kInsideHorizontal, xl::kInsideVertical, xl::kDiagonalDown})
      EXPECT_EQ(b.borders(edge), a.borders(edge)) << "edge " << edge;
  }
  EXPECT_EQ(read.range("A1").font(), (Font{"宋体", 14.0, true})) << "not the default font";
}

TEST(ExcelStyleTest, Fonts) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    Font font;
  } cases[] = {
      {"A1", {"宋体", 14.0, true}},
      {"B1", {"Calibri", 11.0, false}},
      {"C1", {"Arial", 9.5, false}},     // <b val="0"/>
      {"A2", {"Calibri", 11.0, false}},  // a font index beyond the list: the default
      {"B2", {"Calibri", 11.0, false}},  // a style index beyond the list: the default
      {"C3", {"宋体", 14.0, true}},      // no cell: the row's format
      {"B4", {"宋体", 14.0, false}},     // runs agree with each other
      // Runs "Hel" (no properties: the cell's Calibri 11) and "lo" (Arial 11 bold).
      {"A4", {std::nullopt, 11.0, std::nullopt}},
      {"A1:B1", {std::nullopt, std::nullopt, std::nullopt}},
      {"B1:B2", {"Calibri", 11.0, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).font(), c.font);
  }
}

TEST(ExcelStyleTest, Alignment) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    std::optional<int32_t> horizontal;
    std::optional<int32_t> vertical;
  } cases[] = {
      {"A1", -4108, -4160},
      {"B1", 1, -4107},
      {"D1", 7, -4117},
      {"G9", 7, -4117},      // an empty cell in a column with a style
      {"B3", -4108, -4160},  // the row's format
      {"A4", 1, -4107},      // row style without customFormat does not apply
      {"A1:B1", std::nullopt, std::nullopt},
      {"B1:C1", 1, -4107},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).horizontalAlignment(), c.horizontal);
    EXPECT_EQ(s.range(c.address).verticalAlignment(), c.vertical);
  }
}

// Another spreadsheet program wraps records in mc:AlternateContent whose
// Choice needs its own namespace; the Fallback's records keep their places
// in the lists the cells' indexes count in.
TEST(ExcelStyleTest, RecordsInAlternateContentKeepTheirIndexes) {
  const auto wrapped = [](const std::string& record, const std::string& extended) {
    return "<mc:AlternateContent><mc:Choice xmlns:hs=\"urn:example:hs\" Requires=\"hs\">" +
           extended + "</mc:Choice><mc:Fallback>" + record + "</mc:Fallback></mc:AlternateContent>";
  };
  const std::string mc =
      "\" xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">";
  Book b =
      oneSheet("<worksheet xmlns=\"" + kMain + mc +
               "<sheetData><row r=\"1\"><c r=\"A1\" s=\"1\"/><c r=\"B1\" s=\"2\"/></row>" +
               wrapped("<row r=\"2\"><c r=\"A2\" s=\"2\"><v>7</v></c></row>", "<row r=\"2\"/>") +
               "</sheetData></worksheet>");
  b.sheets[0].raw = true;
  b.rawStyles = true;
  b.styles = "<styleSheet xmlns=\"" + kMain + mc +
             "<fonts>"
             "<font><sz val=\"11\"/><name val=\"Calibri\"/></font>" +
             wrapped("<font><b/><sz val=\"18\"/><name val=\"Dotum\"/></font>",
                     "<font><sz val=\"9\"/><name val=\"Gulim\"/></font>") +
             wrapped("<font><sz val=\"14\"/><name val=\"Dotum\"/></font>", "<font/>") +
             "</fonts><cellXfs><xf fontId=\"0\"/>" +
             wrapped("<xf fontId=\"1\"><alignment horizontal=\"center\"/></xf>", "<xf/>") +
             "<xf fontId=\"2\"><alignment horizontal=\"right\"/></xf></cellXfs></styleSheet>";
  const Worksheet s = b.open().worksheets(1);
  EXPECT_EQ(s.range("A1").font(), (Font{"Dotum", 18.0, true}));
  EXPECT_EQ(s.range("A1").horizontalAlignment(), xl::kCenter);
  EXPECT_EQ(s.range("B1").font(), (Font{"Dotum", 14.0, false}));
  EXPECT_EQ(s.range("B1").horizontalAlignment(), xl::kRight);
  EXPECT_EQ(s.range("A2").value(), (CellValue{CellValue::Kind::Number, 7, {}}));
  EXPECT_EQ(s.range("A2").font(), (Font{"Dotum", 14.0, false}));
}

TEST(ExcelStyleTest, InteriorColourIndexAndPattern) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    std::optional<int32_t> colorIndex;
    std::optional<int32_t> pattern;
  } cases[] = {
      {"B1", -4142, -4142},  // no fill
      {"A1", 3, 1},          // solid FF0000
      {"C1", 47, 1},         // theme 4 of the default theme, 4F81BD: nearest 666699
      {"D1", 6, 1},          // indexed 13 is ColorIndex 6
      {"E1", 4, 9},          // darkGrid: the cell colour is the background 00FF00
      {"F1", -4105, 17},     // gray125 without colours
      {"A2", 16, 1},         // theme 0 (lt1, white) darkened by half: 808080
      {"C2", 5, 4000},       // linear gradient, first stop 0000FF
      {"A1:B1", std::nullopt, std::nullopt},
      {"Z1:Z2", -4142, -4142},  // (row 3 carries a solid fill of its own)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    Interior i = s.range(c.address).interior();
    EXPECT_EQ(i.colorIndex, c.colorIndex);
    EXPECT_EQ(i.pattern, c.pattern);
  }
}

TEST(ExcelStyleTest, NumberFormatLocal) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    std::optional<std::string> format;
  } cases[] = {
      {"B1", "G/通用格式"},
      {"A1", "yyyy/m/d"},
      {"C1", "0.00_ "},  // custom codes as stored
      {"D1", "yyyy\"年\"m\"月\"d\"日\""},
      {"E1", "G/通用格式"},  // an id with neither a built-in nor a numFmt
      {"F1", "[红色]0"},
      {"A1:B1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).numberFormatLocal(), c.format);
  }
}

TEST(ExcelStyleTest, Borders) {
  Worksheet s = styledSheet();
  using namespace xl;
  struct Case {
    const char* address;
    int32_t edge;
    Border border;
  } cases[] = {
      {"A1", kEdgeLeft, {1, 2, 3}},          // thin, indexed 10
      {"A1", kEdgeRight, {-4119, 4, 5}},     // double, 0000FF
      {"A1", kEdgeTop, {1, -4138, -4105}},   // medium, automatic colour
      {"A1", kEdgeBottom, {1, 1, 1}},        // hair, theme 1 (dk1, black)
      {"A1", kDiagonalDown, {4, 2, -4105}},  // dashDot, system colour 64
      {"A1", kDiagonalUp, {-4142, 2, -4142}},
      {"A1", kInsideVertical, {-4142, 2, -4142}},  // one cell has no inside lines
      {"B1", kEdgeLeft, {-4119, 4, 5}},            // drawn by A1's right side
      {"A2", kEdgeTop, {1, 1, 1}},                 // drawn by A1's bottom
      {"B1", kEdgeRight, {-4142, 2, -4142}},
      {"D1", kEdgeBottom, {-4115, 2, -4105}},  // dashed without colour
      {"A1:B1", kInsideVertical, {-4119, 4, 5}},
      {"A1:B1", kEdgeTop, {std::nullopt, std::nullopt, std::nullopt}},
      {"A1:A2", kInsideHorizontal, {1, 1, 1}},
      {"B1:C2", kEdgeRight, {std::nullopt, 2, std::nullopt}},  // C1 meets D1's dashed left side
      {"E5:F9", kEdgeLeft, {-4142, 2, -4142}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " edge " + std::to_string(c.edge));
    EXPECT_EQ(s.range(c.address).borders(c.edge), c.border);
  }
}

TEST(ExcelStyleTest, MergeCells) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    std::optional<bool> merged;
  } cases[] = {
      {"A6", true},     {"B7", true},    {"C6", false},
      {"A5", false},    {"A6:B7", true}, {"A6:C6", std::nullopt},
      {"C1:D2", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).mergeCells(), c.merged);
  }
}

TEST(ExcelStyleTest, ColumnWidths) {
  Worksheet s = styledSheet();
  struct Case {
    const char* address;
    std::optional<double> width;
  } cases[] = {
      {"A1", 8.43},  // Normal font Calibri 11: 7-pixel digits
      {"B5", 20},
      {"B1:C9", 20},
      {"D1", 0},     // hidden
      {"E1", 8.43},  // no col element, no default width: baseColWidth 8
      {"G1", 8.43},  // a col element with a style but no width
      {"A1:B1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(s.range(c.address).columnWidth(), c.width);
  }
}

TEST(ExcelStyleTest, ColumnWidthsFollowTheNormalFontAndSheetDefaults) {
  const std::string songti =
      R"(<fonts><font><sz val="11"/><name val="宋体"/></font></fonts>
<cellStyleXfs><xf fontId="0"/></cellStyleXfs><cellXfs><xf fontId="0"/></cellXfs>
<cellStyles><cellStyle name="常规" xfId="0" builtinId="0"/></cellStyles>)";
  struct Case {
    const char* name;
    std::string sheet;
    double width;
  } cases[] = {
      {"defaultColWidth",
       R"(<sheetFormatPr defaultColWidth="9" defaultRowHeight="13.5"/><sheetData/>)", 8.38},
      {"baseColWidth", R"(<sheetFormatPr baseColWidth="10" defaultRowHeight="13.5"/><sheetData/>)",
       10.38},
      {"nothing stored", "<sheetData/>", 8.38},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Worksheet s = oneSheet(c.sheet, songti).open().worksheets(1);
    EXPECT_EQ(s.range("C3").columnWidth(), c.width);
  }
}

TEST(ExcelStyleTest, ThemeAndPaletteOfTheWorkbook) {
  Book b = oneSheet(
      R"(<sheetData><row r="1"><c r="A1" s="1"/><c r="B1" s="2"/><c r="C1" s="3"/></row></sheetData>)",
      R"(<fills><fill><patternFill/></fill><fill><patternFill patternType="gray125"/></fill>
<fill><patternFill patternType="solid"><fgColor theme="4"/></patternFill></fill>
<fill><patternFill patternType="solid"><fgColor rgb="FF123456"/></patternFill></fill>
<fill><patternFill patternType="solid"><fgColor indexed="2"/></patternFill></fill></fills>
<cellXfs><xf/><xf fillId="2"/><xf fillId="3"/><xf fillId="4"/></cellXfs>
<colors><indexedColors>
<rgbColor rgb="FF000000"/><rgbColor rgb="FFFFFFFF"/><rgbColor rgb="FF123456"/><rgbColor rgb="FF00FF00"/>
<rgbColor rgb="FF0000FF"/><rgbColor rgb="FFFFFF00"/><rgbColor rgb="FFFF00FF"/><rgbColor rgb="FF00FFFF"/>
<rgbColor rgb="FF000000"/><rgbColor rgb="FFFFFFFF"/><rgbColor rgb="FF123456"/>
</indexedColors></colors>)");
  b.theme =
      R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="T"><a:themeElements>
<a:clrScheme name="T"><a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1><a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1>
<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2><a:accent1><a:srgbClr val="00FF00"/></a:accent1>
</a:clrScheme></a:themeElements></a:theme>)";
  Worksheet s = b.open().worksheets(1);
  EXPECT_EQ(s.range("A1").interior().colorIndex, 4);  // accent1 of this theme is green
  // indexedColors puts 123456 at palette entry 10, ColorIndex 3, which the
  // colour now matches exactly.
  EXPECT_EQ(s.range("B1").interior().colorIndex, 3);
  EXPECT_EQ(s.range("C1").interior().colorIndex, 3);  // indexed 2 is 123456 here too
}

}  // namespace
}  // namespace bq::office::excel
