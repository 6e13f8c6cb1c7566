#include "platform/office/excel/detail/excel_formula.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/excel/excel.h"
#include "platform/office/opc/package.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::excel {
namespace {

CellRef at(std::string_view address) { return parseAddress(address).value().first; }

TEST(ExcelFormulaTest, A1ToR1C1) {
  struct Case {
    const char* cell;
    const char* a1;
    const char* r1c1;
  } cases[] = {
      {"B3", "A1+B2", "=R[-2]C[-1]+R[-1]C"},
      {"B3", "SUM($A$1:A2)", "=SUM(R1C1:R[-1]C[-1])"},
      {"B3", "Sheet2!C3*2", "=Sheet2!RC[1]*2"},
      {"B3", "'My Sheet'!$A1", "='My Sheet'!R[-2]C1"},
      {"B3", "\"A1\"&B1", "=\"A1\"&R[-2]C"},
      {"B3", "A$1", "=R1C[-1]"},
      {"B3", "B3", "=RC"},
      {"A2", "=A1", "=R[-1]C"},  // a leading "=" is not doubled
      {"B1", "SUM(A:A)", "=SUM(C[-1])"},
      {"B1", "SUM($A:$C)", "=SUM(C1:C3)"},
      {"B1", "SUM(A:$A)", "=SUM(C[-1]:C1)"},
      {"B3", "SUM(1:1)", "=SUM(R[-2])"},
      {"B3", "SUM($1:$2)", "=SUM(R1:R2)"},
      {"B3", "SUM(3:3)", "=SUM(R)"},
      {"B3", "SUM(2:4)", "=SUM(R[-1]:R[1])"},
      {"A1", "#REF!+1", "=#REF!+1"},
      {"A1", "Sheet2!#REF!*A2", "=Sheet2!#REF!*R[1]C"},
      {"A1", "IFERROR(A2,#N/A)", "=IFERROR(R[1]C,#N/A)"},
      {"C1", "SUM(Table1[Qty])", "=SUM(Table1[Qty])"},
      {"B2", "Table1[[#This Row],[Qty]]*A1", "=Table1[[#This Row],[Qty]]*R[-1]C[-1]"},
      {"C1", "IF(A1>0,TRUE,FALSE)", "=IF(RC[-2]>0,TRUE,FALSE)"},
      {"C1", "_xlfn.CONCAT(A1,B1)", "=CONCAT(RC[-2],RC[-1])"},
      {"A1", "1.5E+3*A2", "=1.5E+3*R[1]C"},
      {"B1", "Rate*A1", "=Rate*RC[-1]"},  // a defined name
      {"A2", "LOG10(A1)", "=LOG10(R[-1]C)"},
      {"D5", "SUM(A1:B2 B1:C3)", "=SUM(R[-4]C[-3]:R[-3]C[-2] R[-4]C[-2]:R[-2]C[-1])"},
      {"A1", "'It''s'!A1", "='It''s'!RC"},
      {"B2", "成绩!B2*2", "=成绩!RC*2"},
      {"A1", "XFD1048576", "=R[1048575]C[16383]"},
      {"A1", "{1,2;3,4}", "={1,2;3,4}"},
      {"A1", "[1]Sheet1!$A$1", "=[1]Sheet1!R1C1"},
      {"C3", "SUM(a1:b2)", "=SUM(R[-2]C[-2]:R[-1]C[-1])"},
      {"B1", "\"say \"\"hi\"\" to A1\"&A1", "=\"say \"\"hi\"\" to A1\"&RC[-1]"},
      {"A1", "AAAA1+ABC1", "=AAAA1+RC[730]"},  // four letters: a name, not a cell
      {"B1", "SUM(A1#)", "=SUM(RC[-1]#)"},
      {"A1", "SUM(Sheet1:Sheet3!B2)", "=SUM(Sheet1:Sheet3!R[1]C[1])"},
      {"C2", "ROUND(A2 / B2, 2) * 100", "=ROUND(RC[-2] / RC[-1], 2) * 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cell) + " " + c.a1);
    EXPECT_EQ(formulaToR1C1(c.a1, at(c.cell)), c.r1c1);
  }
}

TEST(ExcelFormulaTest, ExternalLinkTargetsAsExcelShowsTheBook) {
  struct Case {
    const char* target;
    const char* folder;
    const char* name;
  } cases[] = {
      {"file:///C:\\Users\\x\\Book2.xlsx", "C:\\Users\\x\\", "Book2.xlsx"},
      {"file:///C:/Users/x/Book2.xlsx", "C:\\Users\\x\\", "Book2.xlsx"},
      {"FILE:///c:/Book2.xlsx", "c:\\", "Book2.xlsx"},
      {"file://server/share/Book2.xlsx", "\\\\server\\share\\", "Book2.xlsx"},
      {"\\\\server\\share\\Book2.xlsx", "\\\\server\\share\\", "Book2.xlsx"},
      {"/C:/Users/x/Book2.xlsx", "C:\\Users\\x\\", "Book2.xlsx"},
      {"C:\\Users\\x\\Book2.xlsx", "C:\\Users\\x\\", "Book2.xlsx"},
      {"/Users/x/Book2.xlsx", "\\Users\\x\\", "Book2.xlsx"},  // no drive: as stored
      {"file:///Users/x/Book2.xlsx", "\\Users\\x\\", "Book2.xlsx"},
      {"Book2.xlsx", "", "Book2.xlsx"},
      {"../data/Book2.xlsx", "..\\data\\", "Book2.xlsx"},
      {"file:///C:/My%20Docs/%E6%88%90%E7%BB%A9.xlsx", "C:\\My Docs\\", "成绩.xlsx"},
      {"file:///C:/100%25/a%zz.xlsx", "C:\\100%25\\", "a%zz.xlsx"},  // a bad escape: as stored
      {"file:///C:/a%FF.xlsx", "C:\\", "a%FF.xlsx"},                 // no UTF-8: as stored
      {"https://host.example/sites/x/Shared%20Documents/Book2.xlsx",
       "https://host.example/sites/x/Shared Documents/", "Book2.xlsx"},
      {"file:///C:/dir/", "", ""},  // a folder names no book
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(externalBookOf(c.target), (ExternalBook{c.folder, c.name}));
  }
}

TEST(ExcelFormulaTest, BookIndexesNameTheLinkedWorkbook) {
  const std::vector<ExternalBook> books = {
      {"C:\\dir\\", "Book2.xlsx"},  // [1]: a path
      {"", "Book3.xlsx"},           // [2]: a name alone
      {"", "My Book.xlsx"},         // [3]: a name Excel quotes
      {"C:\\Bob's\\", "O'Neil.xlsx"},
      {},  // [5]: a link without a workbook (damaged, DDE)
  };
  struct Case {
    const char* cell;
    const char* a1;
    const char* r1c1;
    const char* formula;
  } cases[] = {
      {"B1", "[1]Sheet1!A1", "='C:\\dir\\[Book2.xlsx]Sheet1'!RC[-1]",
       "='C:\\dir\\[Book2.xlsx]Sheet1'!A1"},
      {"B1", "SUM([2]Sheet1!$A$1:$A$3)*2", "=SUM([Book3.xlsx]Sheet1!R1C1:R3C1)*2",
       "=SUM([Book3.xlsx]Sheet1!$A$1:$A$3)*2"},
      {"A2", "'[2]My Sheet'!A1", "='[Book3.xlsx]My Sheet'!R[-1]C", "='[Book3.xlsx]My Sheet'!A1"},
      {"A1", "'[2]It''s'!B2+1", "='[Book3.xlsx]It''s'!R[1]C[1]+1", "='[Book3.xlsx]It''s'!B2+1"},
      {"A1", "[3]Sheet1!A1", "='[My Book.xlsx]Sheet1'!RC", "='[My Book.xlsx]Sheet1'!A1"},
      {"A1", "[4]Data!A1", "='C:\\Bob''s\\[O''Neil.xlsx]Data'!RC",
       "='C:\\Bob''s\\[O''Neil.xlsx]Data'!A1"},
      {"A1", "SUM([1]Jan:Mar!B2)", "=SUM('C:\\dir\\[Book2.xlsx]Jan:Mar'!R[1]C[1])",
       "=SUM('C:\\dir\\[Book2.xlsx]Jan:Mar'!B2)"},
      {"A1", "'[1]Jan 1:Mar 1'!B2", "='C:\\dir\\[Book2.xlsx]Jan 1:Mar 1'!R[1]C[1]",
       "='C:\\dir\\[Book2.xlsx]Jan 1:Mar 1'!B2"},
      // A defined name of the other workbook: the book without brackets.
      {"A1", "[1]!Rate*A2", "='C:\\dir\\Book2.xlsx'!Rate*R[1]C", "='C:\\dir\\Book2.xlsx'!Rate*A2"},
      {"A1", "[2]!Rate", "=Book3.xlsx!Rate", "=Book3.xlsx!Rate"},
      // Index 0 is the workbook itself.
      {"A1", "[0]!Rate+[0]Sheet2!A1", "=Rate+Sheet2!RC", "=Rate+Sheet2!A1"},
      {"A1", "'[0]My Sheet'!A2", "='My Sheet'!R[1]C", "='My Sheet'!A2"},
      // No usable link: the stored index stays.
      {"A1", "[5]Sheet1!A1", "=[5]Sheet1!RC", "=[5]Sheet1!A1"},
      {"A1", "[6]Sheet1!A1+'[9]My Sheet'!A1", "=[6]Sheet1!RC+'[9]My Sheet'!RC",
       "=[6]Sheet1!A1+'[9]My Sheet'!A1"},
      // Brackets that hold no book index.
      {"C1", "SUM(Table1[Qty])+Table1[[#This Row],[1]]",
       "=SUM(Table1[Qty])+Table1[[#This Row],[1]]", "=SUM(Table1[Qty])+Table1[[#This Row],[1]]"},
      {"A1", "\"[1]Sheet1!A1\"&'[1]x'", "=\"[1]Sheet1!A1\"&'[1]x'", "=\"[1]Sheet1!A1\"&'[1]x'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cell) + " " + c.a1);
    EXPECT_EQ(formulaToR1C1(c.a1, at(c.cell), books), c.r1c1);
    EXPECT_EQ(formulaToA1(c.a1, books), c.formula);
  }
  // Without the links (and when shifting a shared formula) the index stays.
  EXPECT_EQ(formulaToR1C1("[1]Sheet1!A1", at("B1")), "=[1]Sheet1!RC[-1]");
  EXPECT_EQ(shiftFormula("[1]Sheet1!A1", 1, 1), "[1]Sheet1!B2");
  EXPECT_EQ(formulaToA1("_xlfn.CONCAT([2]S!A1)", books), "=CONCAT([Book3.xlsx]S!A1)");

  // A source of books is asked on the first index that needs them, once.
  struct Counted {
    std::span<const ExternalBook> books;
    int asked = 0;
  } counted{books};
  const ExternalBookSource source{[](void* c) {
                                    auto* counter = static_cast<Counted*>(c);
                                    ++counter->asked;
                                    return counter->books;
                                  },
                                  &counted};
  EXPECT_EQ(formulaToR1C1("SUM(Table1[[#This Row],[1]])+'[0]S'!A1", at("A1"), source),
            "=SUM(Table1[[#This Row],[1]])+'S'!RC");
  EXPECT_EQ(counted.asked, 0);
  EXPECT_EQ(formulaToA1("[2]S!A1+[1]S!A1", source),
            "=[Book3.xlsx]S!A1+'C:\\dir\\[Book2.xlsx]S'!A1");
  EXPECT_EQ(counted.asked, 1);
}

TEST(ExcelFormulaTest, ShiftMovesRelativePartsOnly) {
  struct Case {
    const char* a1;
    int32_t rows, columns;
    const char* shifted;
  } cases[] = {
      {"A1*$B$1", 2, 1, "B3*$B$1"},
      {"SUM($A1:A$1)", 1, 1, "SUM($A2:B$1)"},
      {"=A1", 0, 1, "=B1"},
      {"A1", -1, 0, "#REF!"},
      {"Sheet2!A1+1", 0, -1, "Sheet2!#REF!+1"},
      {"SUM(A1:B2)", -1, 0, "SUM(#REF!)"},
      {"SUM(A:A)", 5, 2, "SUM(C:C)"},
      {"SUM(1:1)", 3, 7, "SUM(4:4)"},
      {"SUM($A:B)", 0, 1, "SUM($A:C)"},
      {"\"A1\"&A1", 1, 0, "\"A1\"&A2"},
      {"XFD1+1", 0, 1, "#REF!+1"},
      {"'My Sheet'!B2", -1, -1, "'My Sheet'!A1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a1);
    EXPECT_EQ(shiftFormula(c.a1, c.rows, c.columns), c.shifted);
  }
}

TEST(ExcelFormulaTest, DamagedFormulaTextIsRefused) {
  struct Case {
    const char* a1;
    const char* fault;
  } cases[] = {
      {"\"abc", "unterminated string at offset 0"},
      {"A1&\"abc", "unterminated string at offset 3"},
      {"'My Sheet!A1", "unterminated quoted sheet name at offset 0"},
      {"SUM(Table1[Qty)", "unclosed \"[\" at offset 10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a1);
    try {
      formulaToR1C1(c.a1, {1, 1});
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 1004);
      EXPECT_EQ(e.source(), "Excel");
      EXPECT_NE(e.description().find(c.fault), std::string::npos) << e.description();
    }
    EXPECT_THROW(shiftFormula(c.a1, 1, 1), AutomationError);
  }
}

TEST(ExcelFormulaTest, NumberKindOfFormats) {
  struct Case {
    int32_t id;
    std::optional<std::string_view> code;
    NumberKind kind;
  } cases[] = {
      {0, std::nullopt, NumberKind::Plain},
      {2, std::nullopt, NumberKind::Plain},
      {9, std::nullopt, NumberKind::Percent},
      {10, std::nullopt, NumberKind::Percent},
      {14, std::nullopt, NumberKind::Date},
      {22, std::nullopt, NumberKind::Date},
      {31, std::nullopt, NumberKind::Date},
      {45, std::nullopt, NumberKind::Date},
      {49, std::nullopt, NumberKind::Plain},
      {164, "0.0%", NumberKind::Percent},
      {164, "0.00%;[Red]-0.00%", NumberKind::Percent},
      {164, "0\\%", NumberKind::Plain},
      {164, "yyyy\"年\"m\"月\"d\"日\"", NumberKind::Date},
      {164, "m/d/yyyy", NumberKind::Date},
      {164, "[h]:mm", NumberKind::Date},
      {164, "\"days\" 0", NumberKind::Plain},
      {164, "[Red]0.00", NumberKind::Plain},
      {164, "[$-804]General", NumberKind::Plain},
      {164, "0.00E+00", NumberKind::Plain},
      {164, "#,##0_);[Red](#,##0)", NumberKind::Plain},
      {14, "0.00", NumberKind::Plain},  // the workbook redefines a built-in id
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " " + std::string(c.code.value_or("(built-in)")));
    EXPECT_EQ(numberKind(c.id, c.code), c.kind);
  }
}

TEST(ExcelFormulaTest, NumbersAsTheFormulaBarShowsThem) {
  struct Case {
    double value;
    NumberKind kind;
    const char* text;
  } cases[] = {
      {3.5, NumberKind::Plain, "3.5"},
      {-1250, NumberKind::Plain, "-1250"},
      {0, NumberKind::Plain, "0"},
      {-0.0, NumberKind::Plain, "0"},
      {1.0 / 3, NumberKind::Plain, "0.333333333333333"},
      {0.1 + 0.2, NumberKind::Plain, "0.3"},
      {999999999999999, NumberKind::Plain, "999999999999999"},
      {1e15, NumberKind::Plain, "1E+15"},
      {123456789012345678.0, NumberKind::Plain, "1.23456789012346E+17"},
      {0.0001, NumberKind::Plain, "0.0001"},
      {0.00001, NumberKind::Plain, "1E-05"},
      {0.25, NumberKind::Percent, "25%"},
      {0.125, NumberKind::Percent, "12.5%"},
      {1, NumberKind::Percent, "100%"},
      {0.07, NumberKind::Percent, "7%"},
      {-0.5, NumberKind::Percent, "-50%"},
      {45306, NumberKind::Date, "1/15/2024"},
      {45306.75, NumberKind::Date, "1/15/2024 6:00:00 PM"},
      {44197, NumberKind::Date, "1/1/2021"},
      {36526, NumberKind::Date, "1/1/2000"},
      {0.4375, NumberKind::Date, "10:30:00 AM"},
      {0.5, NumberKind::Date, "12:00:00 PM"},
      {0, NumberKind::Date, "12:00:00 AM"},
      {1.0 / 86400, NumberKind::Date, "12:00:01 AM"},
      {1, NumberKind::Date, "1/1/1900"},
      {59, NumberKind::Date, "2/28/1900"},
      {60, NumberKind::Date, "2/29/1900"},  // the day Excel counts in 1900
      {61, NumberKind::Date, "3/1/1900"},
      {2958465, NumberKind::Date, "12/31/9999"},
      {2958466, NumberKind::Date, "2958466"},  // past the last date: a number
      {-1, NumberKind::Date, "-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(numberFormulaText(c.value, c.kind), c.text);
  }
}

// ---------------------------------------------------------------------------
// Range.FormulaR1C1 over a workbook.

Workbook bookWith(const std::string& sheetData, const std::string& styles, bool date1904 = false) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  std::vector<testing::Entry> entries = testing::workbookEntries();
  for (testing::Entry& e : entries) {
    if (e.name == "xl/workbook.xml" && date1904) {
      const size_t sheets = e.data.find("<sheets>");
      e.data.insert(sheets, "<workbookPr date1904=\"true\"/>");
    } else if (e.name == "xl/worksheets/sheet1.xml")
      e.data =
          "<worksheet xmlns=\"" + main + "\"><sheetData>" + sheetData + "</sheetData></worksheet>";
    else if (e.name == "xl/styles.xml")
      e.data = "<styleSheet xmlns=\"" + main + "\">" + styles + "</styleSheet>";
  }
  return Workbook::fromBytes(testing::zipBytes(entries), "formulas.xlsx");
}

const char* kStyles =
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.0%\"/></numFmts>"
    "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"9\"/><xf numFmtId=\"14\"/>"
    "<xf numFmtId=\"164\"/></cellXfs>";

const char* kSheet =
    // A column of numbers; B doubles each by one shared formula.
    "<row r=\"1\"><c r=\"A1\"><v>10</v></c>"
    "<c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" si=\"0\">A1*2</f><v>20</v></c>"
    "<c r=\"C1\"><f t=\"shared\" ref=\"C1:E1\" si=\"1\">$A$1+A1</f><v>20</v></c>"
    "<c r=\"D1\"><f t=\"shared\" si=\"1\"/><v>30</v></c>"
    "<c r=\"E1\"><f t=\"shared\" si=\"1\"/><v>40</v></c>"
    "<c r=\"F1\"><f t=\"shared\" si=\"2\"/><v>0</v></c>"  // above its group's first cell
    "<c r=\"G1\"><f t=\"shared\" si=\"9\"/><v>5</v></c>"  // a group without a first cell
    "<c r=\"H1\" t=\"inlineStr\"><is><t>hello</t></is></c>"
    "<c r=\"I1\" t=\"str\"><f>\"x\"&amp;\"y\"</f><v>xy</v></c></row>"
    "<row r=\"2\"><c r=\"A2\"><v>20</v></c>"
    "<c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>40</v></c>"
    "<c r=\"C2\"><f t=\"shared\" ref=\"C2:C3\" si=\"3\">A1</f><v>10</v></c>"
    "<c r=\"F2\"><f t=\"shared\" ref=\"F1:F2\" si=\"2\">E1</f><v>40</v></c>"
    "<c r=\"H2\" t=\"b\"><v>1</v></c>"
    "<c r=\"I2\" t=\"str\"><f>\"abc</f><v>abc</v></c></row>"
    "<row r=\"3\"><c r=\"A3\"><v>30</v></c>"
    "<c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>60</v></c>"
    "<c r=\"C3\"><f t=\"shared\" si=\"3\"/><v>20</v></c>"
    "<c r=\"H3\" t=\"e\"><v>#N/A</v></c></row>"
    "<row r=\"4\"><c r=\"H4\" s=\"1\"><v>0.25</v></c></row>"
    "<row r=\"5\"><c r=\"H5\" s=\"2\"><v>45306</v></c></row>"
    "<row r=\"6\"><c r=\"H6\" s=\"3\"><v>3.5</v></c></row>"
    "<row r=\"7\"><c r=\"H7\" s=\"1\"/></row>";

// Plain numbers read as printf's "%.15G" writes them: at the edges of the
// fixed and exponent forms, where 15 digits round up a place, and for
// numbers of every size and sign.
TEST(ExcelFormulaTest, PlainNumbersAreWrittenAsPrintfWritesThem) {
  auto printed = [](double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return std::string(buf);
  };
  std::vector<double> values = {1.0,
                                0.1,
                                1e15,
                                1e-5,
                                9.9999e-5,
                                1e-4,
                                123456789012345.0,
                                999999999999999.0,
                                999999999999999.5,
                                0.000123456789012345678,
                                1.5e300,
                                2.5e-300,
                                4.9e-324,
                                0.3333333333333333,
                                0.6666666666666666,
                                5e-5,
                                0.30000000000000004};
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    double v;
    uint64_t bits = random();
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(static_cast<double>(static_cast<int64_t>(random() % 2000000) - 1000000) /
                     static_cast<double>(1 << (random() % 12)));
  }
  for (double v : values) {
    if (v == 0) continue;
    ASSERT_EQ(numberFormulaText(v, NumberKind::Plain), printed(v)) << v;
    ASSERT_EQ(numberFormulaText(-v, NumberKind::Plain), printed(-v)) << -v;
  }
}

TEST(ExcelRangeFormulaR1C1Test, FormulasSharedFormulasAndConstants) {
  Worksheet s = bookWith(kSheet, kStyles).worksheets(1);
  struct Case {
    const char* cell;
    const char* text;
  } cases[] = {
      {"A1", "10"},
      {"B1", "=RC[-1]*2"},
      {"B2", "=RC[-1]*2"},  // the same R1C1 text all down the group
      {"B3", "=RC[-1]*2"},
      {"C1", "=R1C1+RC[-2]"},
      {"D1", "=R1C1+RC[-2]"},
      {"E1", "=R1C1+RC[-2]"},
      {"C2", "=R[-1]C[-2]"},
      {"C3", "=R[-1]C[-2]"},
      {"F2", "=R[-1]C[-1]"},
      {"F1", "=#REF!"},  // moved above row 1
      {"G1", "5"},       // no formula to share: the value
      {"H1", "hello"},
      {"H2", "TRUE"},
      {"H3", "#N/A"},
      {"H4", "25%"},
      {"H5", "1/15/2024"},
      {"H6", "350%"},
      {"H7", ""},  // formatted, empty
      {"I1", "=\"x\"&\"y\""},
      {"Z99", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(s.range(c.cell).formulaR1C1(), c.text);
  }
}

// Every cell of an array formula's range shows its first cell's formula;
// the 1904 date system moves every date by 1462 days and makes serial 0 a
// date.
TEST(ExcelRangeFormulaR1C1Test, ArrayFormulasAndThe1904DateSystem) {
  const char* sheet =
      "<row r=\"1\"><c r=\"A1\"><v>10</v></c>"
      "<c r=\"B1\"><f t=\"array\" ref=\"B1:B3\">A1:A3*2</f><v>20</v></c>"
      "<c r=\"C1\"><f t=\"array\" ref=\"C1\">SUM(A1:A3*2)</f><v>120</v></c>"
      "<c r=\"D1\" s=\"2\"><v>0</v></c><c r=\"E1\" s=\"2\"><v>1461</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>20</v></c><c r=\"B2\"><v>40</v></c>"
      "<c r=\"D2\" s=\"2\"><v>43844.75</v></c><c r=\"E2\" s=\"2\"><v>2957003</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>30</v></c><c r=\"B3\"><v>60</v></c>"
      "<c r=\"D3\" s=\"2\"><v>2957004</v></c><c r=\"E3\" s=\"2\"><v>0.5</v></c></row>"
      "<row r=\"4\"><c r=\"B4\"><v>7</v></c></row>";
  Worksheet s = bookWith(sheet, kStyles, true).worksheets(1);
  struct Case {
    const char* cell;
    const char* text;
  } cases[] = {
      {"B1", "=RC[-1]:R[2]C[-1]*2"},
      {"B2", "=R[-1]C[-1]:R[1]C[-1]*2"},  // the same A1 text, A1:A3*2, in each cell
      {"B3", "=R[-2]C[-1]:RC[-1]*2"},
      {"B4", "7"},  // below the array
      {"C1", "=SUM(RC[-2]:R[2]C[-2]*2)"},
      {"D1", "1/1/1904"},
      {"E1", "1/1/1908"},
      {"D2", "1/15/2024 6:00:00 PM"},
      {"E2", "12/31/9999"},
      {"D3", "2957004"},
      {"E3", "1/1/1904 12:00:00 PM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(s.range(c.cell).formulaR1C1(), c.text);
  }
  // The same serials in the 1900 system.
  Worksheet s1900 = bookWith(sheet, kStyles).worksheets(1);
  EXPECT_EQ(s1900.range("D1").formulaR1C1(), "12:00:00 AM");
  EXPECT_EQ(s1900.range("E1").formulaR1C1(), "12/31/1903");
  EXPECT_EQ(s1900.range("D2").formulaR1C1(), "1/14/2020 6:00:00 PM");
}

// A workbook whose formulas refer to external links 1 to 5: a path, a file
// name, a link part that is not well-formed, a link without its part, and a
// DDE link; index 6 has no link at all.
Workbook bookWithLinks(const std::string& sheetData) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
  auto link = [&](const std::string& body) {
    return "<externalLink xmlns=\"" + main + "\" xmlns:r=\"" + rel + "\">" + body +
           "</externalLink>";
  };
  auto target = [&](const std::string& to) {
    return "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
           "/externalLinkPath\" Target=\"" + to + "\" TargetMode=\"External\"/></Relationships>";
  };
  std::vector<testing::Entry> entries = testing::workbookEntries();
  for (testing::Entry& e : entries) {
    if (e.name == "xl/workbook.xml") {
      std::string refs = "<externalReferences>";
      for (int i = 1; i <= 5; ++i)
        refs += "<externalReference r:id=\"rL" + std::to_string(i) + "\"/>";
      e.data.insert(e.data.find("</workbook>"), refs + "</externalReferences>");
    } else if (e.name == "xl/_rels/workbook.xml.rels") {
      std::string rels;
      for (int i = 1; i <= 5; ++i)
        rels += "<Relationship Id=\"rL" + std::to_string(i) + "\" Type=\"" + rel +
                "/externalLink\" Target=\"externalLinks/externalLink" + std::to_string(i) +
                ".xml\"/>";
      e.data.insert(e.data.find("</Relationships>"), rels);
    } else if (e.name == "xl/worksheets/sheet1.xml") {
      e.data =
          "<worksheet xmlns=\"" + main + "\"><sheetData>" + sheetData + "</sheetData></worksheet>";
    }
  }
  const std::string book =
      "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"Sheet1\"/>"
      "</sheetNames></externalBook>";
  entries.push_back({"xl/externalLinks/externalLink1.xml", link(book)});
  entries.push_back({"xl/externalLinks/_rels/externalLink1.xml.rels",
                     target("file:///C:\\Users\\x\\Book2.xlsx")});
  entries.push_back({"xl/externalLinks/externalLink2.xml", link(book)});
  entries.push_back({"xl/externalLinks/_rels/externalLink2.xml.rels", target("Book 3.xlsx")});
  entries.push_back({"xl/externalLinks/externalLink3.xml", "<externalLink><externalBook"});
  // externalLink4.xml is missing.
  entries.push_back({"xl/externalLinks/externalLink5.xml",
                     link("<ddeLink ddeService=\"Excel\" ddeTopic=\"Book9\"/>")});
  return Workbook::fromBytes(testing::zipBytes(entries), "links.xlsx");
}

TEST(ExcelRangeFormulaR1C1Test, ReferencesIntoOtherWorkbooksNameThem) {
  Worksheet s =
      bookWithLinks(
          "<row r=\"1\"><c r=\"A1\"><f>[1]Sheet1!A1*2</f><v>2</v></c>"
          "<c r=\"B1\"><f t=\"shared\" ref=\"B1:B2\" si=\"0\">'[2]Sheet1'!A1</f><v>1</v></c>"
          "<c r=\"C1\"><f>[3]Sheet1!A1+[4]Sheet1!A1+[5]!'x'+[6]Sheet1!A1</f><v>0</v></c>"
          "</row><row r=\"2\"><c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>")
          .worksheets(1);
  EXPECT_EQ(s.range("A1").formulaR1C1(), "='C:\\Users\\x\\[Book2.xlsx]Sheet1'!RC*2");
  EXPECT_EQ(s.range("A1").formulaA1(), "='C:\\Users\\x\\[Book2.xlsx]Sheet1'!A1*2");
  EXPECT_EQ(s.range("B1").formulaR1C1(), "='[Book 3.xlsx]Sheet1'!RC[-1]");
  EXPECT_EQ(s.range("B2").formulaR1C1(), "='[Book 3.xlsx]Sheet1'!RC[-1]");  // shared
  EXPECT_EQ(s.range("B2").formulaA1(), "='[Book 3.xlsx]Sheet1'!A2");
  // Damaged, missing and DDE links and an index past them keep the index.
  EXPECT_EQ(s.range("C1").formulaR1C1(),
            "=[3]Sheet1!RC[-2]+[4]Sheet1!RC[-2]+[5]!'x'+[6]Sheet1!RC[-2]");
  // Formula of a constant is the constant, as FormulaR1C1.
  EXPECT_EQ(s.range("D1").formulaA1(), "");
}

TEST(ExcelRangeFormulaR1C1Test, LinkPartsAreReadOnlyForABookIndex) {
  Workbook book = bookWithLinks(
      "<row r=\"1\"><c r=\"A1\"><f>SUM(B1:B2)</f><v>0</v></c>"
      "<c r=\"B1\"><f>Table1[Qty]</f><v>0</v></c><c r=\"C1\"><f>[2]Sheet1!A1</f><v>0</v></c>"
      "</row>");
  Worksheet s = book.worksheets(1);
  auto linksRead = [](const PartReadLog& log) {
    return std::count_if(log.entries().begin(), log.entries().end(), [](const std::string& e) {
      return e.find("externalLink") != std::string::npos;
    });
  };
  {
    PartReadLog log;
    EXPECT_EQ(s.range("A1").formulaR1C1(), "=SUM(RC[1]:R[1]C[1])");
    EXPECT_EQ(s.range("B1").formulaR1C1(), "=Table1[Qty]");
    EXPECT_EQ(linksRead(log), 0);
  }
  {
    PartReadLog log;
    EXPECT_EQ(s.range("C1").formulaR1C1(), "='[Book 3.xlsx]Sheet1'!RC[-2]");
    EXPECT_GT(linksRead(log), 0);
  }
  {
    PartReadLog log;  // read once per workbook
    EXPECT_EQ(s.range("C1").formulaR1C1(), "='[Book 3.xlsx]Sheet1'!RC[-2]");
    EXPECT_EQ(linksRead(log), 0);
  }
}

TEST(ExcelRangeFormulaR1C1Test, DamagedFormulaRaises1004) {
  Worksheet s = bookWith(kSheet, kStyles).worksheets(1);
  try {
    s.range("I2").formulaR1C1();
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 1004);
    EXPECT_NE(e.description().find("unterminated string"), std::string::npos);
  }
  // The cell's value is still there for Value.
  EXPECT_EQ(s.range("I2").value().text, "abc");
}

TEST(ExcelRangeFormulaR1C1Test, MultiCellRangeGivesAnArray) {
  Worksheet s = bookWith(kSheet, kStyles).worksheets(1);
  try {
    s.range("A1:B2").formulaR1C1();
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 13);
  }
  EXPECT_EQ(s.range("A1:B2").formulaR1C1Array(),
            (std::vector<std::vector<std::string>>{{"10", "=RC[-1]*2"}, {"20", "=RC[-1]*2"}}));
  EXPECT_EQ(s.range("H1").formulaR1C1Array(), (std::vector<std::vector<std::string>>{{"hello"}}));
}

}  // namespace
}  // namespace bq::office::excel
