// The readable source of an exam database: the papers kept as text in the
// repository, from which `bqdb build` makes the sealed database that the exam
// client opens.
//
// A source is a folder:
//
//   tables/<table>.tsv   one file for each table of the exam database, all of
//                        them (see examTables() below), the optional tables
//                        (optionalExamTables()) when wanted, and no other file
//   anything else        the question files that LongBinary fields name
//
// A table file is UTF-8 text (a leading byte-order mark is skipped; lines end
// in LF or CR LF). Its first line declares the columns, one field per column,
// each "name:Type"; every further line is one row with one field per column.
// Fields are separated by a single TAB. For example, tables/topics.tsv:
//
//   topic_id:Char(2)<TAB>topic_name:VarChar(50)<TAB>topic_table:VarChar(50)
//   01<TAB>选择题<TAB>selection
//
// Column names are letters, digits and "_", not starting with a digit; two
// names of one table may not differ only in case. Types, without regard to
// case of the type name:
//
//   Char(n), VarChar(n)  text of at most n characters (UTF-16 code units, as
//                        the database engine counts them), 1 <= n <= 255
//   Memo                 text of any length
//   Long                 32-bit signed integer, decimal ("-12")
//   Double               number in decimal or exponent form ("2.5", "1e3")
//   LongBinary           bytes of a file: "@" and the file's path relative to
//                        the source folder, "/" between folders, no "." or
//                        ".." parts ("@files/wordtest/festival.docx")
//
// Inside a field, a backslash starts an escape: \t TAB, \n LF, \r CR, \\ one
// backslash. A field that is exactly \N is the database's Null (in a column
// of any type). Any other backslash sequence is an error, and so is a raw
// control character other than the TAB between fields: a line break in a
// question text is written \r\n, as the original's texts hold it. Everything
// else is taken as it stands, quotes, angle brackets, "&", "," and a leading
// "@" in a text column included. An empty field is the empty text in a text
// column and an error in a Long, Double or LongBinary column. Empty lines
// are errors; the last line may or may not end with a line break.
//
// The reader also checks what the exam client's queries need: every table of
// examTables() present, with the columns named there (matched without regard
// to case) of the kind named there; further columns are allowed.
//
// Errors. Every fault throws AutomationError with source "ExamSource" and a
// description that starts with the table file's path relative to the source
// folder and, for a fault inside the file, the 1-based line:
//   "tables/selection.tsv:12: 5 fields, 11 expected"
//   "tables/wordtest.tsv:3: field 3 (fj): cannot read \"files/a.docx\": File not found"
// A fault of the text is number kExamSourceError; a file or folder that
// cannot be read keeps the run-time error number of the cause (53 "File not
// found", 76 "Path not found", 70 "Permission denied", 75 for a folder where
// a file is expected).
//
// Thread safety: no shared state; readers of different folders may run
// concurrently. The reader only reads the folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "common/variant.h"

namespace bq {

// Error number of a malformed source: 5, "Invalid procedure call or argument".
inline constexpr int32_t kExamSourceError = err::kInvalidCall;

enum class SourceType { kChar, kVarChar, kMemo, kLong, kDouble, kLongBinary };

struct SourceColumn {
  std::string name;  // as declared
  SourceType type = SourceType::kMemo;
  uint32_t size = 0;  // n of Char(n) and VarChar(n); 0 for the other types

  // The declared type in its canonical spelling: "Char(2)", "VarChar(50)",
  // "Memo", "Long", "Double", "LongBinary". This is the type text a table
  // definition of the database takes.
  std::string declaration() const;
  bool isText() const {
    return type == SourceType::kChar || type == SourceType::kVarChar || type == SourceType::kMemo;
  }
};

// One field of a row. `value` holds, by the column's type and the field:
// Null for \N; otherwise std::string (Char, VarChar, Memo), int32_t (Long),
// double (Double) or ByteArray (LongBinary: the named file's bytes as they
// are on disk).
struct SourceValue {
  Variant value;
  // LongBinary only: the file named by the field, as written after "@".
  std::string file;
  // True for a file's bytes: the database keeps them as a compressed block
  // sequence (compressBlockSequence, dbmaint/block_stream.h), which is what
  // the question-file export expands, so the builder compresses `value`
  // before it stores it.
  bool storeAsBlocks = false;
};

struct SourceTable {
  std::string name;  // as the exam database names it: "topics", "Operation", "E_mail"
  std::string file;  // the table file relative to the source folder: "tables/Operation.tsv"
  std::vector<SourceColumn> columns;
  std::vector<std::vector<SourceValue>> rows;  // each with columns.size() fields
  std::vector<size_t> rowLines;                // 1-based line of each row in `file`

  // Index of the column `name` (without regard to case), if there is one.
  std::optional<size_t> columnIndex(std::string_view name) const;
};

struct ExamSource {
  std::filesystem::path folder;
  std::vector<SourceTable> tables;  // in the order of examTables(), then optionalExamTables()

  // The table `name` (without regard to case), or nullptr.
  const SourceTable* table(std::string_view name) const;
};

// What the exam client reads of a table: its name and the columns its
// queries use, each with the kind of type it must have.
enum class ColumnKind { kText, kLong, kLongBinary };
struct RequiredColumn {
  std::string_view name;
  ColumnKind kind;
};
struct ExamTableLayout {
  std::string_view name;
  std::span<const RequiredColumn> columns;
};

// The tables of the exam database in their fixed order: topics, test_paper,
// selection, judgement, typewrite, Operation, wordtest, wordtable, exceltest,
// powerpoint, E_mail.
std::span<const ExamTableLayout> examTables();

// Tables a source may hold besides those (the client reads none of them):
// model_answer (topic_id, tpid, model: the model answer file of an operation
// question, from which `bqdb build` computes the expected knowledge points).
// They follow examTables() in ExamSource::tables when present.
std::span<const ExamTableLayout> optionalExamTables();

// Reads and checks the source in `folder`. The caller owns the result.
// On any fault throws AutomationError as described above and returns nothing.
ExamSource readExamSource(const std::filesystem::path& folder);

// Reads one table file whose text is `text`. `file` is its path relative to
// `folder`, used in messages; LongBinary fields are read relative to
// `folder`. Checks the format only, not the columns of examTables().
// Throws as readExamSource does.
SourceTable parseSourceTable(std::string_view text, std::string_view tableName,
                             std::string_view file, const std::filesystem::path& folder);

// `text` written as a field of a text column: TAB, LF, CR and backslash
// escaped. Invalid UTF-8 and control characters other than these three
// cannot be written and throw AutomationError kExamSourceError. A text that is exactly "\N" comes
// back as "\\N", so it is not read as Null.
std::string escapeSourceField(std::string_view text);

}  // namespace bq
