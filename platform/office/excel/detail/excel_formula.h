// Formula text as Excel's Range.FormulaR1C1 (and Range.Formula) reports it:
// the A1-notation formulas a workbook stores, rewritten in R1C1 notation
// relative to the formula's own cell, shared formulas expanded to the cells
// that use them, and constants written the way the formula bar shows them.
//
//   formulaToR1C1("SUM($A$1:A2)", {3, 2})   -> "=SUM(R1C1:R[-1]C[-1])"
//   formulaToR1C1("[1]S!A1", {1, 2}, books)  -> "='C:\dir\[Book2.xlsx]S'!RC[-1]"
//   shiftFormula("A1*$B$1", 2, 1)            -> "B3*$B$1"
//   numberFormulaText(0.25, NumberKind::Percent) -> "25%"
//
// The formulas are read by a small tokenizer, not a parser: it rewrites
// references and leaves everything else as stored: string literals, quoted
// and unquoted sheet names, function and defined names, numbers, error constants (#REF!),
// structured references (Table1[Column], [@Qty]) and array constants. Functions that newer files
// store with the future-function prefixes "_xlfn." / "_xlws." read without
// them, as the formula bar shows them.
//
// References rewritten: cells (B2, $B$2, $B2, B$2), ranges of cells
// (A1:B2), whole columns (A:C, $A:$A) and whole rows (1:3, $1:$1); in R1C1
// an absolute part is "R<n>"/"C<n>", a relative one "R[<offset>]"/"C[<offset>]",
// or plain "R"/"C" for offset 0; a whole-column or whole-row range whose two
// ends read the same collapses to one ("A:A" at B1 is "C[-1]").
//
// References into another workbook. A file stores them with the 1-based
// index of the workbook's external link (<externalReferences> of
// workbook.xml): [1]Sheet1!A1, '[1]My Sheet'!A1, [1]Sheet1:Sheet3!A1 and
// [1]!Name (a defined name of that workbook). Excel shows the workbook
// there, and since automation opens the answer alone, the other workbook is
// closed: its path and name as the link's target holds them,
// ='C:\dir\[Book2.xlsx]Sheet1'!A1, ='C:\dir\Book2.xlsx'!Name; quoted when
// there is a folder, when the stored prefix was quoted, or when the book name
// holds a character outside letters, digits, "_" and "." (an apostrophe
// doubled). Index 0 is the workbook itself: the prefix is left out. An index
// without a usable link (`books` too short, an empty name) keeps the stored
// text ([1]Sheet1!...), as before the links were read.
//
// Damaged text. A formula whose string literal, quoted sheet name or
// bracket is not closed cannot be tokenized; Excel would not load it as a
// formula. These functions throw AutomationError 1004 (source "Excel") whose
// description names the fault and its byte offset; they never return a
// guess.
//
// Thread safety: all functions are pure.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/office/excel/excel_rules.h"

namespace bq::office::excel {

// The workbook an external link names, as Excel shows it for a closed
// workbook: `folder` with its last separator ("C:\dir\", or empty) and the
// file `name` ("Book2.xlsx"; empty when the link names none).
struct ExternalBook {
  std::string folder;
  std::string name;
  bool operator==(const ExternalBook&) const = default;
};

// The workbook of an external link's relationship target (TargetMode
// "External"), with %XX escapes decoded (when they make UTF-8):
//   file:///C:\dir\Book2.xlsx, file:///C:/dir/Book2.xlsx, /C:/dir/Book2.xlsx,
//   C:\dir\Book2.xlsx          -> {"C:\dir\", "Book2.xlsx"}
//   file://server/share/B.xlsx  -> {"\\server\share\", "B.xlsx"}
//   /dir/Book2.xlsx             -> {"\dir\", "Book2.xlsx"}
//   Book2.xlsx                  -> {"", "Book2.xlsx"}
//   ../dir/Book2.xlsx           -> {"..\dir\", "Book2.xlsx"}
//   https://host/dir/B.xlsx     -> {"https://host/dir/", "B.xlsx"}
// Excel completes a path without a drive (/dir/...) with the drive, and a
// relative one with the folder, of the workbook holding the link: the
// folder the answer was opened from on the examinee's machine, which the
// file does not hold. The path is shown as the file holds it instead.
ExternalBook externalBookOf(std::string_view target);

// The stored formula `a1` (A1 notation, with or without a leading "=") of
// the cell `at`, in R1C1 notation with a leading "="; book index N names
// books[N - 1].
// REQUIRES: `at` lies in the grid.
std::string formulaToR1C1(std::string_view a1, CellRef at,
                          std::span<const ExternalBook> books = {});

// The stored formula `a1` as Range.Formula shows it: A1 notation with a
// leading "=", book indexes named by `books`, the future-function prefixes
// left out.
std::string formulaToA1(std::string_view a1, std::span<const ExternalBook> books = {});

// The same with the books asked of `books` on the first book index the
// formula holds, and only then: a workbook reads its external links for
// the first formula that names one.
struct ExternalBookSource {
  std::span<const ExternalBook> (*load)(void* context);
  void* context;
};
std::string formulaToR1C1(std::string_view a1, CellRef at, const ExternalBookSource& books);
std::string formulaToA1(std::string_view a1, const ExternalBookSource& books);

// The stored formula `a1` moved by `rows` rows and `columns` columns, as a
// shared formula's first cell reads at a cell of its group: relative parts
// move, absolute parts stay; a reference that leaves the grid becomes
// "#REF!" (a whole range when either end leaves it). No leading "=" is
// added; one present is kept; book indexes stay as stored.
std::string shiftFormula(std::string_view a1, int32_t rows, int32_t columns);

// How a number format makes the formula bar show a number constant.
enum class NumberKind {
  Plain,    // shortest decimal: 3.5, -1250, 0.333333333333333
  Percent,  // the number times 100 with "%": 25%, 12.5%
  Date,     // a date and/or time: 1/15/2024, 10:30:00 AM, 1/15/2024 6:00:00 PM
};
// The kind of number format `numFmtId`; `code` is the format code when the
// workbook defines that id itself, nothing for a built-in id. Dates are the
// built-in date and time ids (14-22, 27-36, 45-47, 50-58) and codes holding a
// y, m, d, h or s outside quotes, escapes and [colour] brackets; percentages
// the built-in ids 9 and 10 and codes holding a "%" outside them.
NumberKind numberKind(int32_t numFmtId, std::optional<std::string_view> code);

// A number constant as FormulaR1C1 reports it: at most 15 significant
// digits, no trailing zeros, "E+nn"/"E-nn" where the exponent is below -4 or
// above 14. Dates follow Excel's 1900 date system (serial 60 is the
// 29 February 1900 Excel counts) in the US form m/d/yyyy h:mm:ss AM/PM, the
// time rounded to the second, the date left out for serials below 1 and the
// time for whole serials; a date serial outside 0..2958465 (12/31/9999)
// reads as a plain number. With `date1904` (workbookPr@date1904) serials count
// from 1/1/1904 = 0 instead, and serial 0 is that date.
std::string numberFormulaText(double value, NumberKind kind, bool date1904 = false);

}  // namespace bq::office::excel
