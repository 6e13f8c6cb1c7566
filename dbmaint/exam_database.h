// The exam database made from its readable source (exam_source.h): the sealed
// database that the exam client opens through the Jet provider.
//
// Every table of the source becomes a table of the same name with its columns
// in declared order:
//
//   source type   column                      ADO type
//   Char(n)       Char(n), case-insensitive   adWChar 130 (read back as 202)
//   VarChar(n)    VarChar(n), case-insensitive adVarWChar 202
//   Memo          LongText, case-insensitive  adLongVarWChar 203
//   Long          Integer                     adInteger 3
//   Double        Double                      adDouble 5
//   LongBinary    LongBinary                  adLongVarBinary 205
//
// A column named "id" (any case) is the table's primary key. Rows go in in
// source order, every value bound as a parameter; the bytes of a question
// file (SourceValue::storeAsBlocks) are stored as their compressed block
// sequence, which is what the question-file export expands.
//
// Thread safety: no shared state; builds of different outputs may run
// concurrently.
#pragma once

#include <filesystem>
#include <string_view>

#include "dbmaint/exam_source.h"
#include "platform/db/connection.h"

namespace bq {

// Source of the errors that the builder raises itself.
inline constexpr const char* kExamDatabaseSource = "ExamDatabase";

// The column definition that a source column becomes.
db::ColumnDefinition examColumnDefinition(const SourceColumn& column);

// Reads the source in `sourceFolder` (readExamSource) and writes it as a
// sealed database under `password` to `outPath` (a Windows or POSIX path).
//
// The database is built in a sealed temporary file beside `outPath`
// (".NAME.build-XXXXXXXX"), which then replaces `outPath` as a whole. On
// success `outPath` holds the new database and nothing else is left beside
// it. On any failure `outPath` is left as it was (missing or with its old
// content), the temporary file is removed, and AutomationError is thrown:
//   - the reader's errors, unchanged ("tables/selection.tsv:12: ...");
//   - a row the database refuses (a duplicate id), with the table file and
//     the row's line: "tables/wordtest.tsv:4: <database's message>";
//   - a file that cannot be written, with its path:
//     "cannot write \"OUT\": Path not found".
// `outPath` being an existing folder fails before anything is written.
void buildExamDatabase(const std::filesystem::path& sourceFolder, std::string_view outPath,
                       std::string_view password);

// The same for a source already read, e.g. one a test has changed.
void buildExamDatabase(const ExamSource& source, std::string_view outPath,
                       std::string_view password);

}  // namespace bq
