// SQLite sessions: plain SQLite files and sealed database files. Internal to
// platform/db.
//
// Both stand in for the Jet engine, so both read Jet's SQL for tables:
// - CREATE TABLE gives text columns (adVarWChar, adLongVarWChar) COLLATE
//   NOCASE unless they name a collation, and declares Jet's text type names
//   that SQLite would not store as text ("Memo", "String(n)" ...) under a name
//   that it does ("LongText", "VarChar(n)"), so that text such as "007" stays
//   text;
// - ALTER TABLE ... ADD [COLUMN] does the same for its column, and a column
//   that is NOT NULL without a DEFAULT (which SQLite refuses to add) is added
//   by rebuilding the table (rebuildSqliteTable).
//
// Sealed files compare text without regard to case in every text column,
// whatever made the file: on opening, each table with a text column that has
// no collation or BINARY is rebuilt (rebuildSqliteTable) with those columns
// COLLATE NOCASE, keeping their declared types, the rows, indexes and
// triggers. A table whose unique keys hold values that differ only in case,
// or whose definition cannot be rebuilt, keeps its comparison. The rebuild
// alone does not make the database count as changed.
//
// Sealed files: the image is decrypted into memory (or into a 0600 file in a
// private temporary folder when it is larger than the limit, by default
// 64 MiB, or the connection string's "Sealed Image Memory Limit" in bytes)
// and the connection works on that private copy. Close() seals the image again
// under the same salt and replaces the file atomically, but only when a write
// transaction committed since it was opened. When the file on disk is no
// longer the one that was opened (another program replaced it), Close() fails
// instead of overwriting it. The file keeps its permission bits.
//
// A Close() that cannot seal the changes into the file (replaced, folder not
// writable, disk full) fails, and keeps them, sealed under the same password,
// in "NAME.unsaved-XXXXXX" beside the file (else in the temporary folder);
// its error's description ends with "The changes are kept in 'PATH'.". The
// connection stays open, so Close() may be tried again: the same copy is
// then brought up to date, and removed once the file itself is saved.
#pragma once

#include <functional>
#include <string>

#include "platform/db/session.h"
#include "platform/db/sql_text.h"

namespace bq::db {

// Rebuilds `table` of the SQLite session `session` with the definition that
// `change` makes of the current one: a new table is created, the rows of the
// columns that both have are copied, the old table is dropped, the new one
// renamed, and the table's indexes and triggers created again, all inside one
// savepoint. Throws the provider's error (the session's data unchanged) when
// any step fails, for example when a NOT NULL column would receive nulls.
// Throws kProviderFailed for a table whose definition uses named constraints.
void rebuildSqliteTable(Session& session, const std::string& table,
                        const std::function<void(sql::CreateTable&)>& change);

// The CREATE TABLE text of `table` (matched without regard to case), or ""
// when there is no such table.
std::string sqliteTableSql(Session& session, const std::string& table);

}  // namespace bq::db
