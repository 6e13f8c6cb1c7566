#include "platform/db/connection.h"

#include <sys/stat.h>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/db/errors.h"
#include "platform/db/recordset_state.h"
#include "platform/db/sql_text.h"
#include "platform/db/types.h"

namespace bq::db {
namespace {

bool isSimpleName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

std::string nameFor(Provider provider, std::string_view name) {
  if (provider == Provider::kPostgres && isSimpleName(name)) return std::string(name);
  return sql::quoteIdentifier(name);
}

// The statement text for `command`: a bare table name reads the whole table.
std::string commandSql(Provider provider, std::string_view command) {
  if (auto table = sql::tableNameOf(command)) {
    const bool bare = provider == Provider::kPostgres && !table->quoted;
    return "SELECT * FROM " + (bare ? table->name : sql::quoteIdentifier(table->name));
  }
  return std::string(command);
}

}  // namespace

Connection::Connection() : state_(std::make_shared<ConnectionState>()) {}

void Connection::Open(std::string_view connectionString, std::string_view userId,
                      std::string_view password, int32_t options) {
  if (state_->isOpen()) raiseAdo(adErrObjectOpen, kConnectionSource);
  if (options != adOptionUnspecified && options != 0) {
    if (options & adAsyncConnect) raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
    raiseAdo(adErrInvalidArgument, kConnectionSource);
  }
  const ConnectionString cs = ConnectionString::parse(connectionString);
  std::shared_ptr<Session> session = cs.provider() == Provider::kPostgres
                                         ? openPostgresSession(cs, userId, password)
                                         : openSqliteSession(cs);
  session->setCommandTimeout(state_->commandTimeout);
  state_->session = std::move(session);
  state_->transactionLevel = 0;
}

Recordset Connection::Execute(std::string_view commandText, int64_t* recordsAffected,
                              int32_t options) {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  const bool noRecords = options != adOptionUnspecified && (options & adExecuteNoRecords);
  if (!noRecords) return Execute(commandText, std::vector<Variant>{}, recordsAffected);
  Session& session = *state_->session;
  session.setCommandTimeout(state_->commandTimeout);
  auto statement = session.prepare(commandSql(session.provider(), commandText), {});
  const int64_t n = statement->run();
  if (recordsAffected) *recordsAffected = n;
  return Recordset();
}

Recordset Connection::Execute(std::string_view commandText, const std::vector<Variant>& parameters,
                              int64_t* recordsAffected) {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  Session& session = *state_->session;
  session.setCommandTimeout(state_->commandTimeout);
  auto statement = session.prepare(commandSql(session.provider(), commandText), parameters);
  Recordset result;
  if (statement->returnsRows()) {
    result.state_->start(state_->session, std::move(statement), std::string(commandText),
                         adOpenForwardOnly, adLockReadOnly);
    if (recordsAffected) *recordsAffected = -1;
    return result;
  }
  const int64_t n = statement->run();
  if (recordsAffected) *recordsAffected = n;
  return result;
}

int32_t Connection::BeginTrans() {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  const int32_t level = state_->transactionLevel + 1;
  if (level > 1) {
    Execute("SAVEPOINT bq_trans_" + std::to_string(level), nullptr, adExecuteNoRecords);
  } else if (provider() == Provider::kPostgres) {
    const char* isolation = state_->isolationLevel >= adXactSerializable     ? "SERIALIZABLE"
                            : state_->isolationLevel >= adXactRepeatableRead ? "REPEATABLE READ"
                                                                             : "READ COMMITTED";
    Execute(std::string("BEGIN ISOLATION LEVEL ") + isolation, nullptr, adExecuteNoRecords);
  } else {
    Execute("BEGIN", nullptr, adExecuteNoRecords);
  }
  state_->transactionLevel = level;
  return level;
}

void Connection::CommitTrans() {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  const int32_t level = state_->transactionLevel;
  if (level == 0) raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  if (level > 1)
    Execute("RELEASE SAVEPOINT bq_trans_" + std::to_string(level), nullptr, adExecuteNoRecords);
  else
    Execute("COMMIT", nullptr, adExecuteNoRecords);
  state_->transactionLevel = level - 1;
}

void Connection::RollbackTrans() {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  const int32_t level = state_->transactionLevel;
  if (level == 0) raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  // The level ends whatever the database answers: a failed rollback has
  // nothing left to undo at that level.
  state_->transactionLevel = level - 1;
  // INSERTs still queued are undone with the rest; their errors no longer matter.
  state_->session->dropQueued();
  if (level > 1) {
    const std::string name = "bq_trans_" + std::to_string(level);
    Execute("ROLLBACK TO SAVEPOINT " + name, nullptr, adExecuteNoRecords);
    Execute("RELEASE SAVEPOINT " + name, nullptr, adExecuteNoRecords);
  } else {
    Execute("ROLLBACK", nullptr, adExecuteNoRecords);
  }
}

int32_t Connection::transactionLevel() const {
  return state_->isOpen() ? state_->transactionLevel : 0;
}

int32_t Connection::IsolationLevel() const { return state_->isolationLevel; }

void Connection::setIsolationLevel(int32_t level) {
  if (level != adXactReadCommitted && level != adXactRepeatableRead && level != adXactSerializable)
    raiseAdo(adErrInvalidArgument, kConnectionSource);
  state_->isolationLevel = level;
}

void Connection::Close() {
  if (!state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  state_->session->close();
  state_->session.reset();
  state_->transactionLevel = 0;
}

int32_t Connection::State() const { return state_->isOpen() ? adStateOpen : adStateClosed; }

int32_t Connection::CommandTimeout() const { return state_->commandTimeout; }

void Connection::setCommandTimeout(int32_t seconds) {
  if (seconds < 0) raiseAdo(adErrInvalidArgument, kConnectionSource);
  state_->commandTimeout = seconds;
  if (state_->isOpen()) state_->session->setCommandTimeout(seconds);
}

int32_t Connection::CursorLocation() const { return state_->cursorLocation; }

void Connection::setCursorLocation(int32_t location) {
  if (location != adUseServer && location != adUseClient)
    raiseAdo(adErrInvalidArgument, kConnectionSource);
  state_->cursorLocation = location;
}

Provider Connection::provider() const { return sessionOf(*this)->provider(); }

void Connection::createTable(std::string_view table, const std::vector<ColumnDefinition>& columns) {
  const Provider p = provider();
  if (p == Provider::kPostgres) {
    for (const ColumnDefinition& c : columns) {
      if (isTextType(c.type)) {
        Execute(kPostgresCollationSql, nullptr, adExecuteNoRecords);
        break;
      }
    }
  }
  Execute(createTableSql(p, table, columns), nullptr, adExecuteNoRecords);
}

std::string createTableSql(Provider provider, std::string_view table,
                           const std::vector<ColumnDefinition>& columns) {
  if (columns.empty()) raiseAdo(adErrInvalidArgument, kConnectionSource);
  std::string sql = "CREATE TABLE " + nameFor(provider, table) + " (";
  std::string key;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDefinition& c = columns[i];
    if (i) sql += ", ";
    sql += nameFor(provider, c.name) + " ";
    if (provider == Provider::kPostgres) {
      sql += postgresDeclaredType(c.type, c.definedSize);
      if (isTextType(c.type)) sql += std::string(" COLLATE ") + kPostgresTextCollation;
    } else {
      sql += sqliteDeclaredType(c.type, c.definedSize);
      if (isTextType(c.type)) sql += std::string(" COLLATE ") + kSqliteTextCollation;
    }
    if (c.required) sql += " NOT NULL";
    if (c.primaryKey) key += (key.empty() ? "" : ", ") + nameFor(provider, c.name);
  }
  if (!key.empty()) sql += ", PRIMARY KEY (" + key + ")";
  return sql + ")";
}

void createSealedDatabase(std::string_view path, std::string_view password,
                          const SealParams& params) {
  const auto native = winpath::toNative(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) == 0)
    throw AutomationError(3204, "DAO.DBEngine", "Database already exists.");
  const std::vector<uint8_t> sealed = sealImage({}, password, params);
  AtomicOutput out(native);
  out.write(sealed);
  out.commit();
}

std::shared_ptr<Session> sessionOf(const Connection& c) {
  if (!c.state_->isOpen()) raiseAdo(adErrObjectClosed, kConnectionSource);
  return c.state_->session;
}

}  // namespace bq::db
