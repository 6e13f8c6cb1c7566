#include "platform/db/sqlite_session.h"

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
#include "platform/db/sqlite_session_impl.h"
#include "platform/db/types.h"

namespace bq::db {
namespace sqlite_impl {

// SQLite's settings for the whole process, made before its first use here.
// Its memory statistics take a lock around every allocation, and nothing
// reads them. (Once SQLite is in use, sqlite3_config changes nothing.)
void configureSqliteOnce() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)configured;
}

// True when the first word of `sql` (after blanks) is `word`, in any case.
bool startsWithWord(std::string_view sql, std::string_view word) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  if (sql.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (std::toupper(static_cast<unsigned char>(sql[i + k])) != word[k]) return false;
  }
  const size_t end = i + word.size();
  return end == sql.size() || !std::isalnum(static_cast<unsigned char>(sql[end]));
}

// True when `word` (upper case) occurs anywhere in `sql`, in any case: a
// cheap test before the statement is taken apart as a table definition.
bool mentions(std::string_view sql, std::string_view word) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (size_t i = 0; i + word.size() <= sql.size(); ++i) {
    if (upper(sql[i]) != word[0]) continue;
    size_t k = 1;
    while (k < word.size() && upper(sql[i + k]) == word[k]) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

// ---------------------------------------------------------------- statements

SqliteStatement::SqliteStatement(SqliteSession* session, sqlite3_stmt* stmt)
    : session_(session), stmt_(stmt) {
  session_->attach(this);
  readColumns();
  query_ = sqlite3_stmt_readonly(stmt_) != 0 && !columns_.empty();
}

SqliteStatement::SqliteStatement(SqliteSession* session, IdleStatement idle)
    : session_(session), stmt_(idle.stmt), cacheKey_(std::move(idle.sql)) {
  session_->attach(this);
  if (idle.columns.size() != static_cast<size_t>(sqlite3_column_count(stmt_)))
    readColumns();
  else
    columns_ = std::move(idle.columns);
  // Transaction statements (BEGIN, COMMIT ...) count as read-only; they have no columns.
  query_ = sqlite3_stmt_readonly(stmt_) != 0 && !columns_.empty();
}

void SqliteStatement::beforeChange() {
  if (!query_) session_->readDeferred();
}

void SqliteStatement::readColumns() {
  const int n = sqlite3_column_count(stmt_);
  for (int i = 0; i < n; ++i) {
    ColumnInfo c;
    const char* name = sqlite3_column_name(stmt_, i);
    c.name = name ? name : "";
    if (const char* decl = sqlite3_column_decltype(stmt_, i)) {
      FieldType ft = sqliteFieldType(decl);
      c.type = ft.type;
      c.definedSize = ft.definedSize;
    }
    if (const char* t = sqlite3_column_table_name(stmt_, i)) c.baseTable = t;
    if (const char* o = sqlite3_column_origin_name(stmt_, i)) c.baseColumn = o;
    if (const char* d = sqlite3_column_database_name(stmt_, i)) c.baseSchema = d;
    columns_.push_back(std::move(c));
  }
}

SqliteStatement::SqliteStatement(SqliteSession* session, std::function<int64_t()> action)
    : session_(session), action_(std::move(action)) {
  session_->attach(this);
}

SqliteStatement::~SqliteStatement() {
  if (ended_) return;
  session_->detach(this);
  if (stmt_ && !cacheKey_.empty()) {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    session_->keepIdle({std::move(cacheKey_), stmt_, std::move(columns_)});
  } else {
    sqlite3_finalize(stmt_);
  }
}

void SqliteStatement::end() {
  if (ended_) return;
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  ended_ = true;
  session_->detach(this);
}

bool SqliteStatement::next(Row& row) {
  checkOpen();
  if (action_ || done_) return false;
  beforeChange();
  const int rc = session_->step(stmt_);
  if (rc == SQLITE_DONE) {
    done_ = true;
    sqlite3_reset(stmt_);  // ends the read transaction at once
    return false;
  }
  if (rc != SQLITE_ROW) {
    sqlite3_reset(stmt_);
    done_ = true;
    session_->raise(rc);
  }
  const int n = sqlite3_column_count(stmt_);
  row.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    RawValue& v = row[static_cast<size_t>(i)];
    switch (sqlite3_column_type(stmt_, i)) {
      case SQLITE_INTEGER:
        v = RawValue::ofInteger(sqlite3_column_int64(stmt_, i));
        break;
      case SQLITE_FLOAT:
        v = RawValue::ofReal(sqlite3_column_double(stmt_, i));
        break;
      // Text and bytes go into the row's own strings: a row read again and
      // again (a forward-only cursor) keeps their memory.
      case SQLITE_TEXT: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        v.kind = RawValue::Kind::kText;
        v.bytes.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
        break;
      }
      case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
        v.kind = RawValue::Kind::kBlob;
        v.bytes.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
        break;
      }
      default:
        v = RawValue::null();
        break;
    }
  }
  return true;
}

int64_t SqliteStatement::run() {
  checkOpen();
  if (action_) return action_();
  beforeChange();
  const sqlite3_int64 before = sqlite3_total_changes64(session_->db());
  for (;;) {
    const int rc = session_->step(stmt_);
    if (rc == SQLITE_ROW) continue;
    if (rc == SQLITE_DONE) break;
    sqlite3_reset(stmt_);
    session_->raise(rc);
  }
  sqlite3_reset(stmt_);
  done_ = true;
  return sqlite3_total_changes64(session_->db()) - before;
}

void SqliteStatement::restart() {
  checkOpen();
  if (stmt_) sqlite3_reset(stmt_);
  done_ = false;
}

// ---------------------------------------------------------------- binding

// Binds `value` to parameter `index`. Text and bytes are copied unless
// `copy` is false: then `value` must outlive the statement's use of it.
void bindValue(SqliteSession& session, sqlite3_stmt* stmt, int index, const Variant& value,
               bool copy = true) {
  const sqlite3_destructor_type lifetime = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  int rc = std::visit(
      [&](const auto& x) -> int {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Empty> || std::is_same_v<T, Null>)
          return sqlite3_bind_null(stmt, index);
        else if constexpr (std::is_same_v<T, bool>)
          return sqlite3_bind_int(stmt, index, x ? 1 : 0);
        else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                           std::is_same_v<T, int32_t>)
          return sqlite3_bind_int64(stmt, index, x);
        else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
          return sqlite3_bind_double(stmt, index, static_cast<double>(x));
        else if constexpr (std::is_same_v<T, Currency>)
          return sqlite3_bind_double(stmt, index, static_cast<double>(x.scaled) / 10000.0);
        else if constexpr (std::is_same_v<T, Date>) {
          const std::string text = formatDate(x.days);
          return sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        } else if constexpr (std::is_same_v<T, std::string>)
          return sqlite3_bind_text64(stmt, index, x.data(), x.size(), lifetime, SQLITE_UTF8);
        else if constexpr (std::is_same_v<T, ByteArray>)
          return x.empty() ? sqlite3_bind_zeroblob(stmt, index, 0)
                           : sqlite3_bind_blob64(stmt, index, x.data(), x.size(), lifetime);
        else
          throw AutomationError(
              adErrDataConversion, kConnectionSource,
              adoErrorText(adErrDataConversion) + " (an array is no parameter value)");
      },
      value.value());
  if (rc != SQLITE_OK) session.raise(rc);
}

// ---------------------------------------------------------------- session

void SqliteSession::fileFailure(const char* what, int errnum) const {
  if (errnum == ENOENT || errnum == ENOTDIR)
    throw AutomationError(kProviderFailed, source(), "Could not find file '" + name_ + "'.");
  throw AutomationError(
      kProviderFailed, source(),
      std::string("Could not ") + what + " '" + name_ + "': " + std::strerror(errnum) + ".");
}

void SqliteSession::configure() {
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, 5000);
  sqlite3_progress_handler(db_, 1000, &SqliteSession::onProgress, this);
  sqlite3_commit_hook(db_, &SqliteSession::onCommit, this);
}

void SqliteSession::probe() {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_schema", -1, &st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_ROW) {
    if ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT)
      throw AutomationError(kProviderFailed, source(),
                            "Unrecognized database format '" + name_ + "'.");
    raise(rc);
  }
  dirty_ = false;
}

void SqliteSession::openPlain(bool readOnly) {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) fileFailure("open", errno);
  if (!S_ISREG(st.st_mode)) fileFailure("open", ENOENT);
  // A relative name that looks like a URI must stay a file name.
  std::string file = path_.is_absolute() ? path_.string() : "./" + path_.string();
  int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | kOpenOneThread, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    release();
    throw AutomationError(kProviderFailed, source(), "Could not open '" + name_ + "': " + message);
  }
  configure();
  try {
    probe();
    if (readOnly) exec("PRAGMA query_only = ON");
  } catch (...) {
    release();
    throw;
  }
}

void SqliteSession::keepIdle(IdleStatement idle) {
  constexpr size_t kIdleLimit = 16;
  if (!db_) {
    sqlite3_finalize(idle.stmt);
    return;
  }
  if (idle_.size() >= kIdleLimit) {
    sqlite3_finalize(idle_.front().stmt);
    idle_.erase(idle_.begin());
  }
  idle_.push_back(std::move(idle));
}

void SqliteSession::dropIdle() {
  for (IdleStatement& idle : idle_) sqlite3_finalize(idle.stmt);
  idle_.clear();
  sqlite3_finalize(keyedInsert_);
  keyedInsert_ = nullptr;
  keyedInsertSql_.clear();
}

std::unique_ptr<SqliteStatement> SqliteSession::prepareRaw(std::string_view sql) {
  if (!db_) raiseAdo(adErrObjectClosed, kConnectionSource);
  for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
    if (it->sql != sql) continue;
    IdleStatement idle = std::move(*it);
    idle_.erase(std::next(it).base());
    return std::make_unique<SqliteStatement>(this, std::move(idle));
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), 0, &stmt, &tail);
  if (rc != SQLITE_OK) raise(rc);
  if (!stmt)
    throw AutomationError(kNoCommand, source(), "Command text was not set for the command object.");
  const size_t used = static_cast<size_t>(tail - sql.data());
  if (!sql::isBlank(sql.substr(used), sql::Dialect::kSqlite)) {
    sqlite3_finalize(stmt);
    throw AutomationError(kCommandFailed, source(), "Characters found after end of SQL statement.");
  }
  // Statements that read or change rows are kept for use again; a change of
  // the schema makes the kept ones prepare themselves again when they run,
  // but their columns may have changed, so it drops them.
  if (sqlite3_stmt_readonly(stmt) == 0 && !startsWithWord(sql, "INSERT") &&
      !startsWithWord(sql, "UPDATE") && !startsWithWord(sql, "DELETE")) {
    dropIdle();
    forgetRowKeys();
    return std::make_unique<SqliteStatement>(this, stmt);
  }
  return std::make_unique<SqliteStatement>(this, IdleStatement{std::string(sql), stmt, {}});
}

std::unique_ptr<SqliteStatement> SqliteSession::prepareStatement(std::string_view sql,
                                                                 std::span<const Variant> params) {
  auto st = prepareRaw(sql);
  const int count = sqlite3_bind_parameter_count(st->handle());
  if (params.size() < static_cast<size_t>(count))
    throw AutomationError(kParameterMissing, source(),
                          "No value given for one or more required parameters.");
  if (params.size() > static_cast<size_t>(count))
    throw AutomationError(kCommandFailed, source(),
                          "The statement takes " + std::to_string(count) + " parameters, not " +
                              std::to_string(params.size()) + ".");
  for (int i = 0; i < count; ++i)
    bindValue(*this, st->handle(), i + 1, params[static_cast<size_t>(i)]);
  return st;
}

std::unique_ptr<Statement> SqliteSession::prepare(std::string_view text,
                                                  std::span<const Variant> params) {
  if (!db_) raiseAdo(adErrObjectClosed, kConnectionSource);
  // A statement kept for use again was no table definition.
  for (const IdleStatement& idle : idle_)
    if (idle.sql == text) return prepareStatement(text, params);
  std::function<int64_t()> action;
  const std::string sql = mentions(text, "CREATE") || mentions(text, "ALTER")
                              ? rewriteDdl(text, action)
                              : std::string(text);
  if (action) {
    if (!params.empty())
      throw AutomationError(
          kCommandFailed, source(),
          "The statement takes 0 parameters, not " + std::to_string(params.size()) + ".");
    return std::make_unique<SqliteStatement>(this, std::move(action));
  }
  return prepareStatement(sql, params);
}

std::string SqliteSession::rowKeyFor(const ColumnInfo& column) {
  if (!db_ || sqlite3_get_autocommit(db_) || column.baseTable.empty()) return {};
  const std::string_view schema =
      column.baseSchema.empty() ? std::string_view("main") : std::string_view(column.baseSchema);
  // Asked for every row added: the table asked about last answers at once.
  if (lastRowKey_ != rowKeys_.end() && lastRowKey_->first.first == schema &&
      lastRowKey_->first.second == column.baseTable)
    return lastRowKey_->second;
  auto [known, added] = rowKeys_.try_emplace({std::string(schema), column.baseTable});
  lastRowKey_ = known;
  if (!added) return known->second;
  const auto kind = query("SELECT type, wr FROM pragma_table_list WHERE schema = ? AND name = ?",
                          {std::string(schema), column.baseTable});
  // Views, virtual tables and WITHOUT ROWID tables have no rowid.
  if (kind.size() != 1 || kind[0][0] != "table" || kind[0][1] != "0") return {};
  std::set<std::string> taken;
  for (const auto& row : query("SELECT upper(name) FROM pragma_table_xinfo(?, ?)",
                               {column.baseTable, std::string(schema)}))
    taken.insert(row[0]);
  // A column of the name hides the rowid behind it.
  for (const char* name : {"ROWID", "_ROWID_", "OID"}) {
    if (!taken.contains(name)) {
      known->second = name;
      break;
    }
  }
  return known->second;
}

int64_t SqliteSession::insertKeyed(std::string_view sql, std::span<const Variant> params) {
  if (!db_) raiseAdo(adErrObjectClosed, kConnectionSource);
  readDeferred();
  if (!keyedInsert_ || keyedInsertSql_ != sql) {
    sqlite3_finalize(keyedInsert_);
    keyedInsert_ = nullptr;
    keyedInsertSql_.clear();
    // The record set's own INSERT: one statement, no table definition.
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &keyedInsert_, nullptr);
    if (rc != SQLITE_OK) raise(rc);
    keyedInsertSql_ = sql;
  }
  sqlite3_stmt* st = keyedInsert_;
  if (static_cast<size_t>(sqlite3_bind_parameter_count(st)) != params.size())
    raiseAdo(adErrInvalidArgument, kConnectionSource);
  // The values outlive the step: bound without copies, unbound after it.
  struct Unbind {
    sqlite3_stmt* st;
    ~Unbind() {
      sqlite3_reset(st);
      sqlite3_clear_bindings(st);
    }
  } unbind{st};
  for (size_t i = 0; i < params.size(); ++i)
    bindValue(*this, st, static_cast<int>(i) + 1, params[i], false);
  const int rc = step(st);
  if (rc != SQLITE_DONE) {
    sqlite3_reset(st);
    raise(rc);
  }
  if (sqlite3_changes64(db_) != 1)
    throw AutomationError(kConcurrencyViolation, source(), kRowNotLocatedText);
  return sqlite3_last_insert_rowid(db_);
}

bool SqliteSession::readKeyed(std::string_view sql, int64_t key, Row& row) {
  auto st = prepareRaw(sql);
  const int rc = sqlite3_bind_int64(st->handle(), 1, key);
  if (rc != SQLITE_OK) raise(rc);
  return st->next(row);
}

std::vector<std::string> SqliteSession::primaryKey(const ColumnInfo& column) {
  std::vector<std::pair<int, std::string>> keys;
  for (const auto& row :
       query("SELECT pk, name FROM pragma_table_info(?, ?) WHERE pk > 0",
             {column.baseTable, column.baseSchema.empty() ? "main" : column.baseSchema}))
    keys.emplace_back(std::stoi(row[0]), row[1]);
  std::sort(keys.begin(), keys.end());
  std::vector<std::string> names;
  for (auto& k : keys) names.push_back(std::move(k.second));
  return names;
}

struct ShareMode {
  bool exclusive = false;
  bool readOnly = false;
};

// ADO's Mode: "Read" (1), "Share Exclusive" (12), or both joined with "|"; the others share.
ShareMode shareModeOf(const std::string& text) {
  ShareMode m;
  if (text.empty()) return m;
  int number = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec == std::errc() && p == text.data() + text.size()) {
    m.readOnly = (number & 3) == 1;
    m.exclusive = (number & 0xF0) == 0 && (number & 12) == 12;
    return m;
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t bar = text.find('|', start);
    std::string word =
        text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    while (!word.empty() && word.front() == ' ') word.erase(0, 1);
    while (!word.empty() && word.back() == ' ') word.pop_back();
    if (equalsNoCase(word, "Read")) m.readOnly = true;
    if (equalsNoCase(word, "Share Exclusive")) m.exclusive = true;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return m;
}

SqliteSession& asSqlite(Session& s) {
  auto* p = dynamic_cast<SqliteSession*>(&s);
  if (!p) raiseAdo(adErrFeatureNotAvailable, kConnectionSource);
  return *p;
}

}  // namespace sqlite_impl

using namespace sqlite_impl;

std::shared_ptr<Session> openSqliteSession(const ConnectionString& cs) {
  const std::string name = cs.get("Data Source").value_or("");
  const ShareMode mode = shareModeOf(cs.get("Mode").value_or(""));
  auto session = std::make_shared<SqliteSession>(
      cs.provider(), name, name.empty() ? fs::path() : winpath::toNative(name));
  if (cs.provider() == Provider::kSealed) {
    // A whole number that `key` may give, within [least, most].
    const auto number = [&](const char* key, auto value, auto least, auto most) {
      if (auto text = cs.get(key)) {
        auto [p, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (ec != std::errc() || p != text->data() + text->size() || value < least || value > most)
          throw AutomationError(kBadConnectionString, kConnectionSource,
                                "Format of the initialization string does not conform to the OLE "
                                "DB specification. (" +
                                    std::string(key) + ")");
      }
      return value;
    };
    const uint64_t limit = number("Sealed Image Memory Limit", kDefaultMemoryLimit, uint64_t{0},
                                  std::numeric_limits<uint64_t>::max());
    session->setSealLevel(number("Sealed Compression Level", kDefaultSealLevel, 0, 9));
    session->openSealed(cs.get("Jet OLEDB:Database Password").value_or(""), limit, mode.exclusive,
                        mode.readOnly);
  } else {
    session->openPlain(mode.readOnly);
  }
  return session;
}

}  // namespace bq::db
