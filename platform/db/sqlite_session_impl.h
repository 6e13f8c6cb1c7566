// The SQLite session's parts, shared by the files that implement it:
// sqlite_session.cpp (the session, its statements and their values),
// sqlite_sealed_file.cpp (a sealed file's life: opened, unpacked, written
// back on close, kept aside when it cannot be) and sqlite_rewrite.cpp (the
// table definitions it rewrites: Jet's text types, case-blind text columns,
// rebuilt tables). Internal to platform/db.
#pragma once

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
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/db/ado.h"
#include "platform/db/errors.h"
#include "platform/db/sealed.h"
#include "platform/db/session.h"
#include "platform/db/sql_text.h"
#include "platform/db/types.h"

namespace bq::db::sqlite_impl {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kDefaultMemoryLimit = 64ull << 20;

// A session belongs to one thread at a time, so its database handle needs
// none of SQLite's own locking.
constexpr int kOpenOneThread = SQLITE_OPEN_NOMUTEX;

// SQLite's settings for the whole process, made before its first use here.
void configureSqliteOnce();
// True when the first word of `sql` (after blanks) is `word`, in any case.
bool startsWithWord(std::string_view sql, std::string_view word);
// True when `word` (upper case) occurs anywhere in `sql`, in any case.
bool mentions(std::string_view sql, std::string_view word);
// Takes the share lock of a sealed file on `fd`; false when another
// connection holds a lock that excludes it.
bool lockSealed(int fd, bool exclusive);

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
    if (timing_) deadline_ = Clock::now() + std::chrono::seconds(timeoutSeconds_);
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

// The SQLite session behind a connection; ADO's "feature not available"
// for a connection of another provider.
SqliteSession& asSqlite(Session& s);

}  // namespace bq::db::sqlite_impl
