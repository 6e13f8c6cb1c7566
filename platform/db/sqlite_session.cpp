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
#include "platform/db/types.h"

namespace bq::db {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kDefaultMemoryLimit = 64ull << 20;

// A session belongs to one thread at a time, so its database handle needs
// none of SQLite's own locking.
constexpr int kOpenOneThread = SQLITE_OPEN_NOMUTEX;

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

struct FileIdentity {
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  int64_t mtimeNs = 0;
  mode_t mode = 0;

  static FileIdentity of(const struct stat& st) {
    return {true,
            st.st_dev,
            st.st_ino,
            st.st_size,
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            st.st_mode};
  }
  bool sameAs(const FileIdentity& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
  }
};

// Memory from sqlite3_malloc, as sqlite3_deserialize wants it.
class SqliteBuffer {
 public:
  ~SqliteBuffer() { sqlite3_free(data_); }
  void reserve(sqlite3_uint64 cap) {
    auto* p =
        static_cast<unsigned char*>(sqlite3_realloc64(data_, std::max<sqlite3_uint64>(cap, 4096)));
    if (!p) raiseError(err::kOutOfMemory, kSealedSource);
    data_ = p;
    cap_ = std::max<sqlite3_uint64>(cap, 4096);
  }
  void append(std::span<const uint8_t> b) {
    if (size_ + b.size() > cap_) reserve(std::max<sqlite3_uint64>(cap_ * 2, size_ + b.size()));
    std::memcpy(data_ + size_, b.data(), b.size());
    size_ += b.size();
  }
  unsigned char* release() { return std::exchange(data_, nullptr); }
  sqlite3_uint64 size() const { return size_; }
  sqlite3_uint64 capacity() const { return cap_; }

 private:
  unsigned char* data_ = nullptr;
  sqlite3_uint64 size_ = 0;
  sqlite3_uint64 cap_ = 0;
};

class SqliteSession;

// A prepared statement that its session may use again: statements are kept
// by their text once their record set or command is done with them, so that
// a statement run once per row (the INSERT of every AddNew) is prepared once.
struct IdleStatement {
  std::string sql;
  sqlite3_stmt* stmt = nullptr;
  std::vector<ColumnInfo> columns;
};

class SqliteStatement final : public Statement {
 public:
  SqliteStatement(SqliteSession* session, sqlite3_stmt* stmt);
  // A statement taken from the session's idle ones (or new, to be kept there
  // afterwards under `sql`).
  SqliteStatement(SqliteSession* session, IdleStatement idle);
  SqliteStatement(SqliteSession* session, std::function<int64_t()> action);
  ~SqliteStatement() override;

  const std::vector<ColumnInfo>& columns() override { return columns_; }
  bool returnsRows() override { return !columns_.empty(); }
  bool next(Row& row) override;
  int64_t run() override;
  void restart() override;
  void end() override;
  sqlite3_stmt* handle() const { return stmt_; }

 private:
  void checkOpen() const {
    if (ended_) raiseAdo(adErrObjectClosed, kRecordsetSource);
  }

  void readColumns();
  // Before the first step of a statement that is not a query.
  void beforeChange();

  SqliteSession* session_;
  sqlite3_stmt* stmt_ = nullptr;
  std::string cacheKey_;  // "" when the statement is not kept for use again
  std::function<int64_t()> action_;
  bool ended_ = false;
  bool done_ = false;
  bool query_ = false;  // reads rows and changes nothing: deferred reads may wait
  std::vector<ColumnInfo> columns_;
};

class SqliteSession final : public Session {
 public:
  SqliteSession(Provider provider, std::string name, fs::path path)
      : provider_(provider), name_(std::move(name)), path_(std::move(path)) {
    configureSqliteOnce();
  }

  ~SqliteSession() override {
    try {
      close();
    } catch (...) {
      // The changes could not be written: close() kept them in a file beside
      // the database (unsavedError), and there is no one left to tell.
    }
    release();
  }

  Provider provider() const override { return provider_; }
  const char* source() const override {
    return provider_ == Provider::kSealed ? kSealedSource : kSqliteSource;
  }
  bool isOpen() const override { return db_ != nullptr; }

  void openPlain(bool readOnly);
  void openSealed(std::string_view password, uint64_t memoryLimit, bool exclusive, bool readOnly);
  // zlib's level when the image is sealed again (kDefaultSealLevel, or 0 to 9).
  void setSealLevel(int level) { sealLevel_ = level; }
  // Opens the SQLite image `image` (taken over) in memory as the content of
  // a new sealed database, its text columns folded (foldTextColumns), to be
  // sealed under `keys` by sealImageTo.
  void openForSealing(SqliteBuffer& image, std::shared_ptr<const SealKeys> keys,
                      uint32_t chunkSize) {
    openImage(image);
    configure();
    probe();
    foldTextColumns();
    keys_ = std::move(keys);
    chunkSize_ = chunkSize;
  }
  // The image as it stands, sealed under the keys of the file it came from.
  void sealImageTo(const SealSink& sink);

  std::unique_ptr<Statement> prepare(std::string_view sql,
                                     std::span<const Variant> params) override;
  void resolveBaseColumns(std::vector<ColumnInfo>&) override {}
  std::vector<std::string> primaryKey(const ColumnInfo& column) override;
  std::string qualifiedName(const std::string& schema, const std::string& table) const override {
    if (schema.empty() || schema == "main") return sql::quoteIdentifier(table);
    return sql::quoteIdentifier(schema) + "." + sql::quoteIdentifier(table);
  }
  void setCommandTimeout(int32_t seconds) override { timeoutSeconds_ = std::max(seconds, 0); }
  std::string rowKeyFor(const ColumnInfo& column) override;
  int64_t insertKeyed(std::string_view sql, std::span<const Variant> params) override;
  bool readKeyed(std::string_view sql, int64_t key, Row& row) override;
  void forgetRowKeys() {
    rowKeys_.clear();
    lastRowKey_ = rowKeys_.end();
  }
  void deferRead(DeferredRead* read) override { deferred_.push_back(read); }
  void forgetRead(DeferredRead* read) override { std::erase(deferred_, read); }
  // Does the deferred reads, before a statement that is not a query runs.
  void readDeferred() {
    while (!deferred_.empty()) {
      DeferredRead* read = deferred_.back();
      deferred_.pop_back();
      read->readNow();
    }
  }
  void close() override;
  void attach(Statement* s) override { statements_.insert(s); }
  void detach(Statement* s) override { statements_.erase(s); }

  // Keeps a statement that is done with for use again (reset, no bindings).
  void keepIdle(IdleStatement idle);
  // Finalizes every idle statement (and the kept keyed INSERT).
  void dropIdle();

  // One step of `stmt` under the command timeout.
  int step(sqlite3_stmt* stmt) {
    timing_ = timeoutSeconds_ > 0;
    deadline_ = Clock::now() + std::chrono::seconds(timeoutSeconds_);
    int rc = sqlite3_step(stmt);
    timing_ = false;
    return rc;
  }

  [[noreturn]] void raise(int rc) const {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    int32_t number = kProviderFailed;
    switch (rc & 0xff) {
      case SQLITE_CONSTRAINT:
        number = kIntegrityViolation;
        break;
      case SQLITE_INTERRUPT:
        number = kQueryTimeout;
        message = kTimeoutText;
        break;
      case SQLITE_TOOBIG:
        number = kDataOverflow;
        break;
      case SQLITE_ERROR:
        number = message.rfind("no such table", 0) == 0 ? kNoSuchTable : kCommandFailed;
        break;
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
        message = "Unrecognized database format '" + name_ + "'. (" + message + ")";
        break;
      default:
        break;
    }
    throw AutomationError(number, source(), message);
  }

  // Runs `sql` (no parameters, no rows wanted).
  void exec(const std::string& sql) {
    auto st = prepareRaw(sql);
    st->run();
  }

  // Rows of a query with text parameters, as text.
  std::vector<std::vector<std::string>> query(const std::string& sql,
                                              std::vector<Variant> params = {}) {
    auto st = prepareStatement(sql, params);
    std::vector<std::vector<std::string>> rows;
    Row row;
    while (st->next(row)) {
      std::vector<std::string> texts;
      for (const RawValue& v : row)
        texts.push_back(v.kind == RawValue::Kind::kInteger ? std::to_string(v.integer) : v.bytes);
      rows.push_back(std::move(texts));
    }
    return rows;
  }

  void rebuild(const std::string& table, const std::function<void(sql::CreateTable&)>& change);

  sqlite3* db() const { return db_; }

 private:
  friend class SqliteStatement;

  std::unique_ptr<SqliteStatement> prepareRaw(std::string_view sql);
  std::unique_ptr<SqliteStatement> prepareStatement(std::string_view sql,
                                                    std::span<const Variant> params);
  std::string rewriteDdl(std::string_view sql, std::function<int64_t()>& action);
  void probe();
  void configure();
  int openLocked(bool exclusive);
  void unpackToFile(SealedReader& reader);
  void openImage(SqliteBuffer& image);
  void foldTextColumns();
  void writeSealed();
  std::string keepUnsaved();
  AutomationError unsavedError(const AutomationError& failure);
  void release();
  [[noreturn]] void fileFailure(const char* what, int errnum) const;

  static int onProgress(void* p) {
    auto* s = static_cast<SqliteSession*>(p);
    return s->timing_ && Clock::now() > s->deadline_ ? 1 : 0;
  }
  static int onCommit(void* p) {
    static_cast<SqliteSession*>(p)->dirty_ = true;
    return 0;
  }

  Provider provider_;
  std::string name_;
  fs::path path_;
  sqlite3* db_ = nullptr;
  std::set<Statement*> statements_;
  std::vector<IdleStatement> idle_;  // most recently kept last
  std::vector<DeferredRead*> deferred_;
  // The row key name of each table asked about ("" none), by schema and name;
  // forgotten when the schema changes.
  std::map<std::pair<std::string, std::string>, std::string> rowKeys_;
  std::map<std::pair<std::string, std::string>, std::string>::iterator lastRowKey_ = rowKeys_.end();
  // The statement of the last keyed INSERT and its text, kept for the next
  // row: a copy adds every row of a table with the same statement.
  sqlite3_stmt* keyedInsert_ = nullptr;
  std::string keyedInsertSql_;
  int32_t timeoutSeconds_ = 30;
  bool timing_ = false;
  Clock::time_point deadline_;
  // Sealed files only.
  std::shared_ptr<const SealKeys> keys_;
  uint32_t chunkSize_ = 0;
  int sealLevel_ = kDefaultSealLevel;
  FileIdentity identity_;
  fs::path tempDir_;
  int imageFd_ = -1;      // the image in tempDir_, read when it is sealed again
  fs::path unsavedPath_;  // where a failed Close() kept the changes
  bool dirty_ = false;
  int lockFd_ = -1;  // the sealed file, locked shared or exclusive while open
  bool exclusive_ = false;
};

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

// Takes the share lock of a sealed file on `fd`; false when another
// connection holds a lock that excludes it.
bool lockSealed(int fd, bool exclusive) {
  while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void SqliteSession::openSealed(std::string_view password, uint64_t memoryLimit, bool exclusive,
                               bool readOnly) {
  const int fd = openLocked(exclusive);
  SealedReader reader(
      [this, fd](std::span<uint8_t> buf) -> size_t {
        for (;;) {
          ssize_t n = ::read(fd, buf.data(), buf.size());
          if (n >= 0) return static_cast<size_t>(n);
          if (errno != EINTR) fileFailure("read", errno);
        }
      },
      password, UnsealLimits{}, name_);
  keys_ = reader.keys();
  chunkSize_ = reader.chunkSize();
  struct ReleaseOnFailure {
    SqliteSession* s;
    bool armed = true;
    ~ReleaseOnFailure() {
      if (armed) s->release();
    }
  } guard{this};
  if (reader.imageSize() <= memoryLimit) {
    SqliteBuffer image;
    image.reserve(reader.imageSize());
    reader.readImage([&](std::span<const uint8_t> b) { image.append(b); });
    openImage(image);
  } else {
    unpackToFile(reader);
  }
  configure();
  probe();
  if (!tempDir_.empty()) {
    // The private image is scratch: the sealed file is the copy that lasts,
    // written whole on close, so the image needs no flushes and no journal
    // on disk (a rollback still works from memory).
    exec("PRAGMA synchronous = OFF");
    exec("PRAGMA journal_mode = MEMORY");
  }
  foldTextColumns();
  if (readOnly) exec("PRAGMA query_only = ON");
  guard.armed = false;
}

// Opens the sealed file for reading and takes its share lock (lockFd_); the
// descriptor, or the provider's error with the session released.
int SqliteSession::openLocked(bool exclusive) {
  // Through a symbolic link, the file it names is the one to replace on Close.
  std::error_code ec;
  if (fs::path real = fs::canonical(path_, ec); !ec) path_ = real;
  // O_NONBLOCK keeps the open from waiting on a pipe with no writer; the
  // file type is checked right after.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) fileFailure("open", errno);
  lockFd_ = fd;
  exclusive_ = exclusive;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int errnum = errno;
    release();
    fileFailure("open", errnum);
  }
  if (!S_ISREG(st.st_mode)) {
    release();
    fileFailure("open", ENOENT);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!lockSealed(fd, exclusive)) {
    release();
    throw AutomationError(kProviderFailed, source(),
                          "Could not use '" + name_ + "'; file already in use.");
  }
  identity_ = FileIdentity::of(st);
  return fd;
}

// A big image goes to a private file (tempDir_) instead of memory.
void SqliteSession::unpackToFile(SealedReader& reader) {
  std::string folder = (fs::temp_directory_path() / "bq-sealed-XXXXXX").string();
  if (!::mkdtemp(folder.data())) fileFailure("unpack", errno);
  tempDir_ = folder;
  const fs::path image = tempDir_ / "image.db";
  const int out = ::open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) fileFailure("unpack", errno);
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } outCloser{out};
  reader.readImage([&](std::span<const uint8_t> b) {
    while (!b.empty()) {
      ssize_t n = ::write(out, b.data(), b.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        fileFailure("unpack", errno);
      }
      b = b.subspan(static_cast<size_t>(n));
    }
  });
  // Read through a descriptor of our own when sealed again, whatever becomes
  // of the name.
  imageFd_ = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
  if (imageFd_ < 0) fileFailure("unpack", errno);
  int rc = sqlite3_open_v2(image.c_str(), &db_, SQLITE_OPEN_READWRITE | kOpenOneThread, nullptr);
  if (rc != SQLITE_OK) raiseError(err::kOutOfMemory, kSealedSource);
}

void SqliteSession::openImage(SqliteBuffer& image) {
  int rc = sqlite3_open_v2(":memory:", &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | kOpenOneThread, nullptr);
  if (rc != SQLITE_OK) {
    release();
    raiseError(err::kOutOfMemory, kSealedSource);
  }
  const sqlite3_uint64 size = image.size(), cap = image.capacity();
  rc = sqlite3_deserialize(db_, "main", image.release(), static_cast<sqlite3_int64>(size),
                           static_cast<sqlite3_int64>(cap),
                           SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  if (rc != SQLITE_OK) {
    release();
    raiseError(err::kOutOfMemory, kSealedSource);
  }
}

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

void SqliteSession::release() {
  for (Statement* s : std::set<Statement*>(statements_)) s->end();
  dropIdle();
  deferred_.clear();
  forgetRowKeys();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
  if (imageFd_ >= 0) ::close(imageFd_);
  imageFd_ = -1;
  if (!tempDir_.empty()) {
    std::error_code ec;
    fs::remove_all(tempDir_, ec);
    tempDir_.clear();
  }
}

void SqliteSession::close() {
  if (!db_) {
    release();
    return;
  }
  for (Statement* s : std::set<Statement*>(statements_)) s->end();
  dropIdle();
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (provider_ == Provider::kSealed && dirty_) {
    try {
      writeSealed();
    } catch (const AutomationError& e) {
      throw unsavedError(e);
    }
    // Saved after all: the copy an earlier attempt kept is out of date.
    if (!unsavedPath_.empty()) ::unlink(unsavedPath_.c_str());
  }
  release();
}

void SqliteSession::sealImageTo(const SealSink& sink) {
  if (imageFd_ < 0) {
    sqlite3_int64 size = 0;
    unsigned char* copy = nullptr;
    unsigned char* p = sqlite3_serialize(db_, "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (!p && size > 0) {
      p = copy = sqlite3_serialize(db_, "main", &size, 0);
      if (!p) raiseError(err::kOutOfMemory);
    }
    struct Free {
      unsigned char* p;
      ~Free() { sqlite3_free(p); }
    } freeCopy{copy};
    SealedWriter writer(keys_, static_cast<uint64_t>(size), chunkSize_, sink, sealLevel_);
    if (size > 0) writer.write(std::span<const uint8_t>(p, static_cast<size_t>(size)));
    writer.finish();
    return;
  }
  struct stat st;
  if (::fstat(imageFd_, &st) != 0) raiseFileError(errno);
  const auto size = static_cast<uint64_t>(st.st_size);
  SealedWriter writer(keys_, size, chunkSize_, sink, sealLevel_);
  std::vector<uint8_t> buf(1 << 20);
  uint64_t done = 0;
  while (done < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - done));
    const ssize_t n = ::pread(imageFd_, buf.data(), want, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raiseFileError(errno);
    if (n == 0) raiseError(err::kInputPastEnd);
    writer.write(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
    done += static_cast<uint64_t>(n);
  }
  writer.finish();
}

void SqliteSession::writeSealed() {
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && identity_.known && !identity_.sameAs(FileIdentity::of(st)))
    throw AutomationError(
        kProviderFailed, source(),
        "Could not save '" + name_ + "': another program replaced the file after it was opened.");
  try {
    AtomicOutput out(path_);
    sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
    out.commit();
  } catch (const AutomationError& e) {
    if (e.source() == kSealedSource) throw;
    throw AutomationError(kProviderFailed, source(),
                          "Could not save '" + name_ + "': " + e.description());
  } catch (const std::exception& e) {
    throw AutomationError(kProviderFailed, source(), "Could not save '" + name_ + "': " + e.what());
  }
  if (identity_.known) ::chmod(path_.c_str(), identity_.mode & 07777);
  if (::stat(path_.c_str(), &st) == 0) identity_ = FileIdentity::of(st);
  // The lock held the replaced file; take it on the new one.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && lockSealed(fd, exclusive_)) {
    ::close(lockFd_);
    lockFd_ = fd;
  } else if (fd >= 0) {
    ::close(fd);
  }
  dirty_ = false;
}

// Keeps the changed image, sealed under the same password, in a file of
// its own beside the database ("NAME.unsaved-XXXXXX"), else in the
// temporary folder; the same file again at a later failure of this session.
// Returns its path, or "" when it could not be written anywhere.
std::string SqliteSession::keepUnsaved() {
  std::vector<fs::path> places;
  if (!unsavedPath_.empty()) places.push_back(unsavedPath_);
  std::error_code ec;
  places.push_back(path_.string() + ".unsaved-XXXXXX");
  places.push_back(fs::temp_directory_path(ec) / (path_.filename().string() + ".unsaved-XXXXXX"));
  for (const fs::path& place : places) {
    std::string target = place.string();
    bool made = false;
    if (target.ends_with("XXXXXX")) {
      const int fd = ::mkstemp(target.data());
      if (fd < 0) continue;
      ::close(fd);
      made = true;
    }
    try {
      AtomicOutput out(target);
      sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
      out.commit();
      ::chmod(target.c_str(), 0600);
      unsavedPath_ = target;
      return target;
    } catch (...) {
      if (made) ::unlink(target.c_str());
    }
  }
  return {};
}

// The failure of a Close() that could not seal the changes into the file,
// with where they were kept instead.
AutomationError SqliteSession::unsavedError(const AutomationError& failure) {
  const std::string kept = keepUnsaved();
  std::string text = failure.description();
  if (!text.empty() && text.back() != '.') text += '.';
  text += kept.empty() ? " The changes could not be kept elsewhere either."
                       : " The changes are kept in '" + kept + "'.";
  return AutomationError(failure.number(), failure.source(), std::move(text));
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

}  // namespace

void rebuildSqliteTable(Session& session, const std::string& table,
                        const std::function<void(sql::CreateTable&)>& change) {
  asSqlite(session).rebuild(table, change);
}

std::string sqliteTableSql(Session& session, const std::string& table) {
  auto rows = asSqlite(session).query(
      "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE", {table});
  return rows.empty() ? std::string() : rows[0][0];
}

void sealDatabaseFile(std::string_view plainPath, std::string_view sealedPath,
                      std::string_view password, const SealParams& params) {
  const std::string name(plainPath);
  SqliteSession plain(Provider::kSqlite, name, winpath::toNative(plainPath));
  plain.openPlain(true);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(plain.db(), "main", &size, 0);
  if (!image && size > 0) raiseError(err::kOutOfMemory, kSqliteSource);
  struct Free {
    unsigned char* p;
    ~Free() { sqlite3_free(p); }
  } freeImage{image};
  // Bytes 18 and 19 hold the journal format: 2 is WAL, 1 the rollback journal.
  if (size >= 20 && image[18] == 2 && image[19] == 2) image[18] = image[19] = 1;
  // The sealed copy compares text as the provider does (foldTextColumns);
  // the plain file is not changed.
  SqliteSession sealed(Provider::kSealed, std::string(sealedPath), winpath::toNative(sealedPath));
  {
    SqliteBuffer buffer;
    buffer.reserve(static_cast<sqlite3_uint64>(size));
    buffer.append(std::span<const uint8_t>(image, static_cast<size_t>(size)));
    sealed.openForSealing(buffer, SealKeys::derive(password, params), params.chunkSize);
  }
  AtomicOutput out(winpath::toNative(sealedPath));
  sealed.sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
  out.commit();
}

void unsealDatabaseFile(std::string_view sealedPath, std::string_view plainPath,
                        std::string_view password) {
  const std::string name(sealedPath);
  InputFile in = [&] {
    try {
      return InputFile(winpath::toNative(sealedPath));
    } catch (const AutomationError& e) {
      if (e.number() == err::kFileNotFound || e.number() == err::kPathNotFound)
        throw AutomationError(kProviderFailed, kSealedSource,
                              "Could not find file '" + name + "'.");
      throw;
    }
  }();
  SealedReader reader([&](std::span<uint8_t> b) { return in.read(b); }, password, UnsealLimits{},
                      name);
  AtomicOutput out(winpath::toNative(plainPath));
  reader.readImage([&](std::span<const uint8_t> b) { out.write(b); });
  out.commit();
}

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

bool sealedFileInUse(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = false;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    held = errno == EWOULDBLOCK;
    break;
  }
  ::close(fd);
  return held;
}

}  // namespace bq::db
