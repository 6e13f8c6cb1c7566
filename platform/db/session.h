// The database behind a Connection: one SQLite database (plain or sealed) or
// one PostgreSQL session. Internal to platform/db; Connection and Recordset
// are the public face.
//
// A Session owns its database handle and every Statement prepared on it: when
// the session closes, its statements are closed with it and any later use of
// them throws adErrObjectClosed.
//
// Thread safety: a session and its statements belong to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "platform/db/connection_string.h"
#include "platform/db/errors.h"
#include "platform/db/value.h"

namespace bq::db {

// A result column.
struct ColumnInfo {
  std::string name;
  int32_t type = 0;  // ADO type; 0 when the column has none (taken from the first value)
  int32_t definedSize = 0;
  // Where the column comes from, for updates: table and column names as the
  // database spells them (empty for expressions). PostgreSQL fills these only
  // on Session::resolveBaseColumns().
  std::string baseSchema;
  std::string baseTable;
  std::string baseColumn;
  uint32_t tableOid = 0;  // PostgreSQL
  int tableColumn = 0;    // PostgreSQL
};

using Row = std::vector<RawValue>;

// A read of a row that its record set put off until the row is wanted
// (Session::deferRead).
class DeferredRead {
 public:
  // Reads the row now. Must not throw: a row that cannot be read is marked so.
  virtual void readNow() = 0;

 protected:
  ~DeferredRead() = default;
};

class Statement {
 public:
  virtual ~Statement() = default;
  // The result columns (none for a statement that returns no rows).
  virtual const std::vector<ColumnInfo>& columns() = 0;
  // True when the statement gives rows (PostgreSQL runs it to know).
  virtual bool returnsRows() = 0;
  // The next row into `row`; false at the end. The statement runs on the first call.
  virtual bool next(Row& row) = 0;
  // Runs the statement to its end and returns the rows it changed.
  virtual int64_t run() = 0;
  // Starts the rows over (the statement runs again on the next next()).
  virtual void restart() = 0;
  // Releases the database's statement; afterwards next(), run() and restart()
  // throw adErrObjectClosed. Called by the session when it closes.
  virtual void end() = 0;
};

class Session {
 public:
  virtual ~Session() = default;
  virtual Provider provider() const = 0;
  // The provider's source text for errors.
  virtual const char* source() const = 0;
  virtual bool isOpen() const = 0;

  // Prepares `sql` with "?" placeholders bound to `params`. Throws the
  // provider's error when the database refuses the statement.
  virtual std::unique_ptr<Statement> prepare(std::string_view sql,
                                             std::span<const Variant> params) = 0;

  // Fills the base table and column of `columns` where the database knows them.
  virtual void resolveBaseColumns(std::vector<ColumnInfo>& columns) = 0;
  // The primary key columns of the base table of `column`, in key order.
  virtual std::vector<std::string> primaryKey(const ColumnInfo& column) = 0;
  // The table `schema`.`table` quoted for SQL.
  virtual std::string qualifiedName(const std::string& schema, const std::string& table) const = 0;

  // Seconds a statement may run; 0 without limit.
  virtual void setCommandTimeout(int32_t seconds) = 0;

  // Closes the database: a changed sealed database is sealed and written
  // first. On a failure to write, throws and stays open.
  virtual void close() = 0;

  // Row keys. A provider whose rows carry a key that finds them again cheaply
  // (SQLite's rowid) adds a row without returning it, and the record set reads
  // it by its key only when it is wanted: most added rows are never read.
  //
  // The name that selects the row key of the table of `column`, or "" when a
  // row added to that table now could not be found so, and must be returned
  // by the INSERT itself: the provider keeps no row keys, the table has none
  // or its columns hide every name of it, or no transaction is open (only a
  // transaction's write lock keeps other connections off the new row until
  // it is read, and a commit or rollback reads it first, see deferRead).
  virtual std::string rowKeyFor(const ColumnInfo& /*column*/) { return {}; }
  // Runs the INSERT `sql` (without RETURNING) with `params`; the row key of
  // the row it added. Throws the provider's error, or kConcurrencyViolation
  // when it added no row (a trigger ignored it).
  // REQUIRES: rowKeyFor() gave a name for the table.
  virtual int64_t insertKeyed(std::string_view /*sql*/, std::span<const Variant> /*params*/) {
    raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  }
  // Runs the query `sql`, whose one "?" is a row key, with `key`; false when
  // it gives no row, else its first row in `row`.
  virtual bool readKeyed(std::string_view /*sql*/, int64_t /*key*/, Row& /*row*/) {
    raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  }
  // Has `read` done (readNow) before the session next runs a statement that
  // is not a query: before anything on this connection can change the row or
  // end the transaction. forgetRead() withdraws it; the session forgets it
  // when it closes.
  virtual void deferRead(DeferredRead* /*read*/) {}
  virtual void forgetRead(DeferredRead* /*read*/) {}

  // Prepared INSERTs. A provider that keeps a prepared statement for each
  // INSERT text runs it here and returns true, with the row that the
  // statement's RETURNING list gave in `row`; false when it does not (the
  // caller prepares the statement itself). Throws the provider's error, or
  // kConcurrencyViolation when it added no row.
  virtual bool insertReturning(std::string_view /*sql*/, std::span<const Variant> /*params*/,
                               Row& /*row*/) {
    return false;
  }
  // Queued INSERTs. Inside a transaction a provider may send an INSERT with a
  // RETURNING list without waiting for its answer, and read the answers of
  // many at once: before the session runs any other statement, when a row of
  // them is wanted (queuedRow), at flushQueued, and every so many rows.
  // True when an INSERT sent now may be queued so.
  virtual bool queuesInserts() { return false; }
  // Queues the INSERT `sql` with `params` for `reader`, which must be
  // deferred (deferRead) until it takes the row (queuedRow). Throws the error
  // of a queued INSERT whose answer was read since the last error raised,
  // before this one is sent; or this one's, or one before it, when the
  // answers are read at once: the row was then not added.
  virtual void queueInsert(std::string_view /*sql*/, std::span<const Variant> /*params*/,
                           DeferredRead* /*reader*/) {
    raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  }
  // The row of `reader`'s last queued INSERT, reading the queued answers;
  // false when that INSERT added none (its error is raised by flushQueued or
  // the session's next statement). Does not throw.
  virtual bool queuedRow(DeferredRead* /*reader*/, Row& /*row*/) { return false; }
  // Reads every queued answer; throws the first error among them not raised yet.
  virtual void flushQueued() {}
  // Forgets the queued INSERTs and their errors: a rollback undoes them.
  virtual void dropQueued() {}

  // Statements keep a pointer to the session and register here so that
  // close() can end them.
  virtual void attach(Statement* s) = 0;
  virtual void detach(Statement* s) = 0;
};

// Opens the database that `cs` names. `userId` and `password` override the
// string's user and password (PostgreSQL).
std::shared_ptr<Session> openSqliteSession(const ConnectionString& cs);
std::shared_ptr<Session> openPostgresSession(const ConnectionString& cs, std::string_view userId,
                                             std::string_view password);

}  // namespace bq::db
