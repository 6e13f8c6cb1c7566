// SQL text as the data-access layer needs to read it: tokens, placeholders,
// table names as recordset sources, and the column definitions of CREATE
// TABLE statements (for the SQLite providers, which give text columns a
// case-insensitive collation and rebuild tables whose columns change).
//
// Internal to platform/db. Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bq::db::sql {

enum class Dialect { kSqlite, kPostgres };

struct Token {
  enum class Kind { kSpace, kComment, kWord, kQuoted, kString, kNumber, kParam, kPunct };
  Kind kind;
  std::string_view text;
  bool significant() const { return kind != Kind::kSpace && kind != Kind::kComment; }
};

// The tokens of `sql`; a string or comment left open runs to the end.
std::vector<Token> tokenize(std::string_view sql, Dialect dialect);

// True when `sql` holds nothing but blanks, comments and semicolons.
bool isBlank(std::string_view sql, Dialect dialect);

// `sql` with every "?" placeholder numbered $1, $2, ... for PostgreSQL, and
// the number of placeholders in `count`.
std::string numberPlaceholders(std::string_view sql, int& count);

// When `source` is a bare table name (an identifier, or one in [brackets] or
// "quotes"), the name; otherwise nothing.
struct TableName {
  std::string name;
  bool quoted = false;  // written in brackets or quotes: keep its case
};
std::optional<TableName> tableNameOf(std::string_view source);

// An identifier quoted for SQL ("a""b").
std::string quoteIdentifier(std::string_view name);
// The name an identifier token stands for (quotes and brackets removed).
std::string unquote(std::string_view token);

// A CREATE TABLE statement cut into its head ("CREATE TABLE name ("), its
// items (column definitions and table constraints, as written) and its tail
// (")" and anything after).
struct CreateTable {
  std::string head;
  std::string table;
  std::vector<std::string> items;
  std::string tail;
};
std::optional<CreateTable> parseCreateTable(std::string_view sql);
std::string joinCreateTable(const CreateTable& t);

// True when the item is a table constraint rather than a column definition.
bool isTableConstraint(std::string_view item);

// One column definition, taken apart.
struct ColumnDef {
  std::string name;       // as written (quoted or not)
  std::string type;       // declared type as written, "" when none
  std::string collation;  // after COLLATE, "" when none
  bool notNull = false;
  std::optional<std::string> defaultExpr;  // after DEFAULT, as written
  bool nonEmptyCheck = false;              // CHECK ("name" <> '')
  std::string rest;                        // every other constraint, as written
};
std::optional<ColumnDef> parseColumnDef(std::string_view item);
std::string formatColumnDef(const ColumnDef& def);

// The check that keeps a text column from holding "" (a field that does not
// allow zero-length text).
std::string nonEmptyCheck(std::string_view columnName);

// ALTER TABLE name ADD [COLUMN] definition.
struct AlterAdd {
  std::string table;
  std::string column;  // the definition as written
};
std::optional<AlterAdd> parseAlterAdd(std::string_view sql);

}  // namespace bq::db::sql
