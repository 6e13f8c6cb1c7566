// The table definitions a SQLite session rewrites: Jet's text types stored
// as text, text columns compared without regard to case, tables rebuilt.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/db/ado.h"
#include "platform/db/errors.h"
#include "platform/db/sealed.h"
#include "platform/db/sqlite_session.h"
#include "platform/db/sqlite_session_impl.h"
#include "platform/db/types.h"

namespace bq::db {
namespace sqlite_impl {

// A text column of a table that is compared with regard to case: declared
// with a text type and no collation, or BINARY.
bool comparesWithCase(const sql::ColumnDef& def) {
  if (def.type.empty() || !isTextType(sqliteFieldType(def.type).type)) return false;
  return def.collation.empty() || equalsNoCase(sql::unquote(def.collation), "BINARY");
}

// The Jet engine compares text without regard to case in every table, so a
// sealed database does as well, whatever program made it: each table with a
// text column that compares with case is rebuilt with those columns COLLATE
// NOCASE (their declared types, the rows and their values, indexes and
// triggers stay as they are). A table that cannot be rebuilt so keeps its
// comparison: one whose unique keys hold values that differ only in case, or
// whose definition the rebuild does not read (named constraints, WITHOUT
// ROWID and the like). The rebuild alone does not count as a change: the
// file is not written for it, though a changed database is written with it.
void SqliteSession::foldTextColumns() {
  const auto tables = query(
      "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND sql IS NOT NULL "
      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
  const bool wasDirty = dirty_;
  for (const auto& row : tables) {
    const auto def = sql::parseCreateTable(row[1]);
    if (!def) continue;
    bool needed = false;
    for (const std::string& item : def->items) {
      if (sql::isTableConstraint(item)) continue;
      const auto column = sql::parseColumnDef(item);
      needed = needed || (column && comparesWithCase(*column));
    }
    if (!needed) continue;
    try {
      rebuild(row[0], [](sql::CreateTable& t) {
        for (std::string& item : t.items) {
          if (sql::isTableConstraint(item)) continue;
          auto column = sql::parseColumnDef(item);
          if (!column || !comparesWithCase(*column)) continue;
          column->collation = kSqliteTextCollation;
          item = sql::formatColumnDef(*column);
        }
      });
    } catch (const AutomationError&) {
      // Rows that differ only in case under a unique key: the table keeps
      // comparing with case rather than lose a row.
    }
  }
  dirty_ = wasDirty;
}

// Jet's text types that SQLite would not store as text get a name that it
// does; text columns compare without regard to case. True when `def` changed.
bool adjustColumn(sql::ColumnDef& def) {
  if (def.type.empty()) return false;
  const FieldType ft = sqliteFieldType(def.type);
  if (!isTextType(ft.type)) return false;
  bool changed = false;
  std::string upper = def.type;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find("CHAR") == std::string::npos && upper.find("CLOB") == std::string::npos &&
      upper.find("TEXT") == std::string::npos) {
    def.type = sqliteDeclaredType(ft.type, ft.definedSize);
    changed = true;
  }
  if (def.collation.empty()) {
    def.collation = kSqliteTextCollation;
    changed = true;
  }
  return changed;
}

void insertColumn(sql::CreateTable& t, const std::string& column) {
  auto at = std::find_if(t.items.begin(), t.items.end(),
                         [](const std::string& item) { return sql::isTableConstraint(item); });
  t.items.insert(at, column);
}

std::string SqliteSession::rewriteDdl(std::string_view text, std::function<int64_t()>& action) {
  if (auto create = sql::parseCreateTable(text)) {
    bool changed = false;
    for (std::string& item : create->items) {
      if (sql::isTableConstraint(item)) continue;
      auto def = sql::parseColumnDef(item);
      if (def && adjustColumn(*def)) {
        item = sql::formatColumnDef(*def);
        changed = true;
      }
    }
    return changed ? sql::joinCreateTable(*create) : std::string(text);
  }
  if (auto alter = sql::parseAlterAdd(text)) {
    auto def = sql::parseColumnDef(alter->column);
    if (!def) return std::string(text);
    adjustColumn(*def);
    const std::string column = sql::formatColumnDef(*def);
    if (def->notNull && !def->defaultExpr) {
      // SQLite adds no NOT NULL column without a default: rebuild the table with it.
      action = [this, table = alter->table, column] {
        rebuild(table, [&](sql::CreateTable& t) { insertColumn(t, column); });
        return int64_t{0};
      };
      return {};
    }
    return "ALTER TABLE " + sql::quoteIdentifier(alter->table) + " ADD COLUMN " + column;
  }
  return std::string(text);
}

void SqliteSession::rebuild(const std::string& tableName,
                            const std::function<void(sql::CreateTable&)>& change) {
  auto rows =
      query("SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE",
            {tableName});
  if (rows.empty()) throw AutomationError(kNoSuchTable, source(), "no such table: " + tableName);
  const std::string table = rows[0][0];
  auto def = sql::parseCreateTable(rows[0][1]);
  std::vector<std::string> oldColumns;
  for (const auto& r : query("SELECT name FROM pragma_table_info(?)", {table}))
    oldColumns.push_back(r[0]);
  if (!def)
    throw AutomationError(kProviderFailed, source(),
                          "The definition of table '" + table + "' cannot be changed.");
  for (const std::string& item : def->items) {
    if (!sql::isTableConstraint(item) && !sql::parseColumnDef(item))
      throw AutomationError(kProviderFailed, source(),
                            "The definition of table '" + table + "' cannot be changed.");
  }
  change(*def);
  std::string common;
  for (const std::string& item : def->items) {
    if (sql::isTableConstraint(item)) continue;
    const std::string name = sql::unquote(sql::parseColumnDef(item)->name);
    for (const std::string& old : oldColumns) {
      if (old == name) {
        if (!common.empty()) common += ", ";
        common += sql::quoteIdentifier(name);
      }
    }
  }
  std::vector<std::string> extras;
  for (const auto& r :
       query("SELECT sql FROM sqlite_schema WHERE tbl_name = ? AND type IN ('index', "
             "'trigger') AND sql IS NOT NULL",
             {table}))
    extras.push_back(r[0]);

  const std::string temp = "bq_rebuild_" + table;
  def->head = "CREATE TABLE " + sql::quoteIdentifier(temp) + " (";
  exec("SAVEPOINT bq_rebuild");
  try {
    exec("PRAGMA legacy_alter_table = ON");
    exec(sql::joinCreateTable(*def));
    if (!common.empty())
      exec("INSERT INTO " + sql::quoteIdentifier(temp) + " (" + common + ") SELECT " + common +
           " FROM " + sql::quoteIdentifier(table));
    exec("DROP TABLE " + sql::quoteIdentifier(table));
    exec("ALTER TABLE " + sql::quoteIdentifier(temp) + " RENAME TO " + sql::quoteIdentifier(table));
    for (const std::string& extra : extras) exec(extra);
    exec("RELEASE bq_rebuild");
    exec("PRAGMA legacy_alter_table = OFF");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK TO bq_rebuild; RELEASE bq_rebuild; PRAGMA legacy_alter_table = OFF",
                 nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace sqlite_impl

using namespace sqlite_impl;

void rebuildSqliteTable(Session& session, const std::string& table,
                        const std::function<void(sql::CreateTable&)>& change) {
  asSqlite(session).rebuild(table, change);
}

std::string sqliteTableSql(Session& session, const std::string& table) {
  auto rows = asSqlite(session).query(
      "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE", {table});
  return rows.empty() ? std::string() : rows[0][0];
}

}  // namespace bq::db
