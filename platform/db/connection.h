// Connection: ADO's connection to a database, over three providers (see
// connection_string.h for the connection strings):
//
//   Microsoft.Jet.OLEDB.4.0  a sealed database file (sealed.h: a SQLite image,
//                            compressed and encrypted under the password in
//                            "Jet OLEDB:Database Password")
//   SQLite                   a plain SQLite file
//   PostgreSQL               a PostgreSQL server through libpq
//
// Paths in "Data Source" may be Windows paths (C:\BQTEST\x.mdb) or POSIX
// paths; they go through bq::winpath::toNative. Opening never creates a file:
// a missing one fails with "Could not find file 'NAME'.". Keys read besides
// those of connection_string.h:
//   Mode                         "Share Exclusive" (or 12): no other connection
//                                may open the sealed file meanwhile (others
//                                fail with "Could not use 'NAME'; file
//                                already in use."); "Read" (or 1): statements
//                                that write fail. Other modes share.
//   Sealed Image Memory Limit    bytes of image kept in memory (sealed files;
//                                default 64 MiB; a larger image goes to a
//                                private temporary file)
//   Sealed Compression Level     zlib's level, 0 to 9, when a changed sealed
//                                file is sealed again on Close (default 6)
// Every connection to a sealed file holds a shared lock on it (flock), an
// exclusive one with Mode=Share Exclusive.
//
// PostgreSQL results are read whole into memory when their statement runs;
// a record set opened for changes runs its query only when a row is read.
//
// SQL is the database's own (SQLite's or PostgreSQL's); on both SQLite
// providers CREATE TABLE and ALTER TABLE ... ADD read Jet's type names and
// give text columns COLLATE NOCASE (sqlite_session.h). Placeholders are "?"
// on every provider; values passed as parameters are never pasted into the
// SQL text.
//
// A sealed database compares text without regard to case in every text
// column, whatever program made the file (sqlite_session.h). Elsewhere, text
// compares without regard to case in tables made by createTable():
// SQLite text columns are declared COLLATE NOCASE (ASCII letters), PostgreSQL
// text columns COLLATE bq_nocase, a nondeterministic ICU collation at
// strength 2 (all scripts; created on first use, which needs the CREATE
// privilege on the schema). PostgreSQL refuses LIKE on such columns before
// version 18; compare lower(column) LIKE lower(?) there.
//
// Connection is a handle: copies refer to the same connection, and record
// sets opened on it keep the database open while they live. Close() ends it
// for all of them (their later use throws 3704). Dropping the last handle
// without Close() closes as well; a sealed database that cannot be written
// then keeps its changes in a file beside it, as a failed Close() does
// (sqlite_session.h), but no one is told: call Close() to learn of it.
//
// Failures throw AutomationError: ADO's own errors (3705 already open, 3704
// closed, 3706 provider not found, 3709 unusable connection, 3001 bad
// argument) with source "ADODB.Connection", the provider's errors as in
// errors.h, and kBadConnectionString for a malformed string.
//
// Thread safety: a connection belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "platform/db/ado.h"
#include "platform/db/connection_string.h"
#include "platform/db/recordset.h"
#include "platform/db/sealed.h"

namespace bq::db {

class Session;
struct ConnectionState;

// A column for createTable().
struct ColumnDefinition {
  std::string name;
  int32_t type = adVarWChar;  // ADO type code
  int32_t definedSize = 0;    // for sized text and binary types; 0 gives 255
  bool required = false;      // NOT NULL
  bool primaryKey = false;    // part of the primary key
};

class Connection {
 public:
  Connection();

  // REQUIRES: the connection is closed (else 3705). `userId` and `password`
  // replace those of the string for PostgreSQL; the other providers ignore
  // them. Options -1 (or 0); adAsyncConnect is not supported (3251).
  void Open(std::string_view connectionString, std::string_view userId = {},
            std::string_view password = {}, int32_t options = adOptionUnspecified);

  // Runs `commandText`. A statement that returns rows gives an open
  // forward-only, read-only record set on them; any other statement a
  // closed one, with the number of rows it changed in *recordsAffected
  // (-1 for row-returning statements). A table name runs as
  // "SELECT * FROM name". Options: -1, adCmdText, adCmdTable, adCmdUnknown,
  // with adExecuteNoRecords to run without a record set.
  Recordset Execute(std::string_view commandText, int64_t* recordsAffected = nullptr,
                    int32_t options = adOptionUnspecified);
  // The same with "?" placeholders bound to `parameters`, in order.
  Recordset Execute(std::string_view commandText, const std::vector<Variant>& parameters,
                    int64_t* recordsAffected = nullptr);

  // Transactions. BeginTrans starts one and returns its nesting level (1 for
  // the outermost); a nested one is a savepoint, so that CommitTrans and
  // RollbackTrans end the innermost level only. The outermost transaction
  // runs at IsolationLevel on PostgreSQL (SQLite transactions are always
  // serializable). Close() rolls back whatever is still open, as does the
  // end of the process, so a table changed inside a transaction keeps its
  // old rows unless the commit was reached. CommitTrans or RollbackTrans
  // without a transaction throws 3251 "... not capable"; a commit the
  // database refuses throws its error and the transaction stays open.
  int32_t BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  // The nesting level of the open transaction, 0 when there is none.
  int32_t transactionLevel() const;
  // adXactReadCommitted (the default), adXactRepeatableRead or
  // adXactSerializable; applies to the next outermost BeginTrans.
  int32_t IsolationLevel() const;
  void setIsolationLevel(int32_t level);

  // Closes the connection and every record set on it. A changed sealed
  // database is written first; when that fails the connection stays open and
  // the error is thrown. Closing a closed connection throws 3704.
  void Close();

  int32_t State() const;
  // Seconds a statement may run before it fails with kQueryTimeout ("Query
  // timeout expired"); 0 waits without end. Default 30.
  int32_t CommandTimeout() const;
  void setCommandTimeout(int32_t seconds);
  // adUseServer (2, the default) or adUseClient (3: record sets are static).
  int32_t CursorLocation() const;
  void setCursorLocation(int32_t location);

  // REQUIRES: open (else 3704).
  Provider provider() const;

  // Creates `table` with `columns` in the provider's dialect (createTableSql);
  // on PostgreSQL creates the bq_nocase collation first when needed.
  void createTable(std::string_view table, const std::vector<ColumnDefinition>& columns);

 private:
  friend class Recordset;
  friend std::shared_ptr<Session> sessionOf(const Connection& c);
  std::shared_ptr<ConnectionState> state_;
};

// The CREATE TABLE statement for `columns` on `provider`: declared types as
// in types.h, text columns with the case-insensitive collation, NOT NULL for
// required columns, a PRIMARY KEY constraint for the key columns. Names are
// quoted, except simple PostgreSQL names (letters, digits, "_"), which are
// left for the server to fold to lower case as the queries that use them do.
std::string createTableSql(Provider provider, std::string_view table,
                           const std::vector<ColumnDefinition>& columns);

// Creates an empty sealed database at `path` (a Windows or POSIX path),
// written atomically. Fails with 3204 "Database already exists." (source
// "DAO.DBEngine") when the file exists, and with the run-time file errors
// when it cannot be written.
void createSealedDatabase(std::string_view path, std::string_view password,
                          const SealParams& params = {});

// Seals the plain SQLite database `plainPath` into `sealedPath` under
// `password`, replacing `sealedPath` atomically. The image is the database's
// consistent content as SQLite serialises it (a database in WAL mode is
// sealed in rollback mode, since a sealed image has no WAL beside it), with
// its text columns made to compare without regard to case as the sealed
// provider does (sqlite_session.h); `plainPath` is not changed.
// Failures: "Could not find file", "Unrecognized database format" (not a
// SQLite database), the run-time file errors of the output; `sealedPath` is
// then left as it was.
void sealDatabaseFile(std::string_view plainPath, std::string_view sealedPath,
                      std::string_view password, const SealParams& params = {});

// Writes the SQLite image of the sealed database `sealedPath` to `plainPath`,
// replacing it atomically; the image is checked whole (sealed.h) before the
// output takes its place. Failures as for opening the sealed database and the
// run-time file errors of the output; `plainPath` is then left as it was.
void unsealDatabaseFile(std::string_view sealedPath, std::string_view plainPath,
                        std::string_view password);

// True when a connection (of this process or another) holds the sealed
// database file `file`: every connection to a sealed database keeps a lock on
// it. False for a file that cannot be opened.
bool sealedFileInUse(const std::filesystem::path& file);

// The session behind an open connection (for the DAO layer); throws 3704 when closed.
std::shared_ptr<Session> sessionOf(const Connection& c);

}  // namespace bq::db
