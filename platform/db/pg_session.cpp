// PostgreSQL sessions over libpq.
//
// Statements are sent with PQsendQueryParams: "?" placeholders become $1, $2
// ..., values go as text (bytes as binary bytea) with their types left for the
// server to infer. Results come as text in fixed session settings (set at
// connection start: client_encoding UTF8, DateStyle ISO, TimeZone UTC,
// lc_monetary C, bytea_output hex, extra_float_digits 3), which makes them
// readable the same way on every server. A statement whose rows are not read
// yet is only described (PQprepare of the unnamed statement, then
// PQdescribePrepared), so that opening an updatable recordset on a big table
// to add rows reads none of them.
//
// Rows stream: a statement whose rows are read is sent in libpq's single-row
// mode, and each row is taken from the connection when it is wanted, so that
// reading a big table holds one row of it. The connection carries one such
// stream at a time: before it is used for anything else, the rows still to
// come are read into their statement (which then holds them), and a statement
// that ends before its last row has the rest read and dropped. The command
// timeout is kept here, not by the server: a statement is cancelled when its
// first row (or its whole result, when its rows are not read) has not come
// within the timeout, and a reader may then take as long as it likes over the
// remaining rows.
//
// INSERTs that the record sets send (insertReturning, queueInsert) are
// prepared once per text and parameter types and kept for the connection.
// Inside a transaction they are queued in libpq's pipeline mode: sent without
// waiting, their answers read together (every kQueueRows rows or kQueueBytes
// of values, and before anything else uses the connection). A refused row
// fails the transaction, so the rows queued after it are refused by the
// server too, and its error is raised once, at the next read of the answers.

#include <errno.h>
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <set>

#include "common/automation_error.h"
#include "platform/db/ado.h"
#include "platform/db/errors.h"
#include "platform/db/session.h"
#include "platform/db/sql_text.h"
#include "platform/db/types.h"

namespace bq::db {
namespace {

constexpr uint32_t kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23,
                   kOidOid = 26, kFloat4Oid = 700, kFloat8Oid = 701, kMoneyOid = 790;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string shortest(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? p : buf);
}

std::string shortest(float v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? p : buf);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr size_t kQueueRows = 256;
constexpr size_t kQueueBytes = size_t{1} << 20;
constexpr size_t kMaxPrepared = 64;  // prepared INSERTs kept; past it they are dropped all

// Row `index` of `r` as values of their OIDs' kinds.
void convertRow(const PGresult* r, int index, Row& row);

// Parameters as libpq takes them.
struct Params {
  std::vector<std::string> texts;
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  std::vector<Oid> types;

  explicit Params(std::span<const Variant> params) {
    texts.reserve(params.size());
    for (const Variant& p : params) {
      bool null = false;
      int format = 0;
      Oid type = 0;
      std::string text = std::visit(
          [&](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, Empty> || std::is_same_v<T, Null>) {
              null = true;
              return {};
            } else if constexpr (std::is_same_v<T, bool>) {
              return x ? "true" : "false";
            } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                                 std::is_same_v<T, int32_t>) {
              return std::to_string(x);
            } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
              return shortest(x);
            } else if constexpr (std::is_same_v<T, Currency>) {
              return formatCurrency(x);
            } else if constexpr (std::is_same_v<T, Date>) {
              return formatDate(x.days);
            } else if constexpr (std::is_same_v<T, std::string>) {
              return x;
            } else if constexpr (std::is_same_v<T, ByteArray>) {
              format = 1;
              type = kByteaOid;
              return std::string(x.begin(), x.end());
            } else {
              throw AutomationError(
                  adErrDataConversion, kConnectionSource,
                  adoErrorText(adErrDataConversion) + " (an array is no parameter value)");
            }
          },
          p.value());
      texts.push_back(std::move(text));
      values.push_back(null ? nullptr : reinterpret_cast<const char*>(1));  // set below
      lengths.push_back(static_cast<int>(texts.back().size()));
      formats.push_back(format);
      types.push_back(type);
    }
    for (size_t i = 0; i < texts.size(); ++i)
      if (values[i]) values[i] = texts[i].data();
  }
};

class PgSession;

class PgStatement final : public Statement {
 public:
  PgStatement(PgSession* session, std::string sql, std::span<const Variant> params);
  ~PgStatement() override;

  const std::vector<ColumnInfo>& columns() override;
  bool returnsRows() override {
    checkOpen();
    if (!started_) start();
    return givesRows_;
  }
  bool next(Row& row) override;
  int64_t run() override;
  void restart() override;
  void end() override;

  // The session needs the connection: the rows still to come are read into
  // this statement (`keep`) or dropped.
  void settle(bool keep);

 private:
  void checkOpen() const {
    if (ended_) raiseAdo(adErrObjectClosed, kRecordsetSource);
  }
  // Sends the statement for its rows, and waits for the first.
  void start();
  // Takes a result that came from the connection while streaming: false when
  // it ended the stream (the last result has been read off the connection).
  void take(Result r, bool keep);
  void takeColumns(const PGresult* r);
  void convert(const PGresult* r, int index, Row& row) const;

  PgSession* session_;
  std::string sql_;
  Params params_;
  bool ended_ = false;
  bool haveColumns_ = false;
  std::vector<ColumnInfo> columns_;

  bool started_ = false;
  bool givesRows_ = false;
  bool streaming_ = false;  // more results are to come from the connection
  Result result_;           // the result being read (one row while streaming)
  int row_ = 0;             // the next row of result_
  std::deque<Row> held_;    // rows read off the connection before they were wanted
  Result failure_;          // the error that ended the rows, raised after held_
  std::string tuples_;      // PQcmdTuples of the statement's last result
};

class PgSession final : public Session {
 public:
  ~PgSession() override { close(); }

  void connect(const ConnectionString& cs, std::string_view userId, std::string_view password);

  Provider provider() const override { return Provider::kPostgres; }
  const char* source() const override { return kPostgresSource; }
  bool isOpen() const override { return conn_ != nullptr; }

  std::unique_ptr<Statement> prepare(std::string_view sql,
                                     std::span<const Variant> params) override {
    if (!conn_) raiseAdo(adErrObjectClosed, kConnectionSource);
    int count = 0;
    std::string numbered = sql::numberPlaceholders(sql, count);
    if (params.size() < static_cast<size_t>(count))
      throw AutomationError(kParameterMissing, source(),
                            "No value given for one or more required parameters.");
    if (params.size() > static_cast<size_t>(count))
      throw AutomationError(kCommandFailed, source(),
                            "The statement takes " + std::to_string(count) + " parameters, not " +
                                std::to_string(params.size()) + ".");
    if (sql::isBlank(sql, sql::Dialect::kPostgres))
      throw AutomationError(kNoCommand, source(),
                            "Command text was not set for the command object.");
    return std::make_unique<PgStatement>(this, std::move(numbered), params);
  }

  void resolveBaseColumns(std::vector<ColumnInfo>& columns) override;
  std::vector<std::string> primaryKey(const ColumnInfo& column) override;
  std::string qualifiedName(const std::string& schema, const std::string& table) const override {
    return (schema.empty() ? "" : sql::quoteIdentifier(schema) + ".") + sql::quoteIdentifier(table);
  }
  void setCommandTimeout(int32_t seconds) override { timeout_ = std::max(seconds, 0); }

  void close() override {
    // Statements end after the connection: rows still on it go with it.
    PGconn* conn = conn_;
    conn_ = nullptr;
    streaming_ = nullptr;
    pipeline_ = false;
    queued_.clear();
    lastOf_.clear();
    deferred_.clear();
    rows_.clear();
    queuedFailure_.reset();
    prepared_.clear();
    for (Statement* s : std::set<Statement*>(statements_)) s->end();
    if (conn) PQfinish(conn);
  }
  void attach(Statement* s) override { statements_.insert(s); }
  void detach(Statement* s) override { statements_.erase(s); }

  // Sends `sql` with `params` and returns its whole result; throws the
  // server's error.
  Result execute(const std::string& sql, const Params& params) {
    send(sql, params, false);
    await();
    Result last;
    while (Result r{PQgetResult(conn_)}) last = std::move(r);
    check(last.get());
    return last;
  }

  // Sends `sql` with `params` for its rows, one result a row, and waits until
  // the first has come; `s` is the statement that takes them.
  void stream(PgStatement* s, const std::string& sql, const Params& params) {
    send(sql, params, true);
    streaming_ = s;
    await();
  }
  // The next result of the stream (null once it has ended); blocks.
  Result nextResult() { return Result(PQgetResult(conn_)); }
  void streamEnded(PgStatement* s) {
    if (streaming_ == s) streaming_ = nullptr;
  }

  Result describe(const std::string& sql, const Params& params) {
    settle();
    Result p(PQprepare(conn_, "", sql.c_str(), static_cast<int>(params.types.size()),
                       params.types.data()));
    check(p.get());
    Result d(PQdescribePrepared(conn_, ""));
    check(d.get());
    return d;
  }

  // Rows of a catalog query with text parameters.
  Result catalog(const std::string& sql, std::vector<Variant> values) {
    Params params(values);
    return execute(sql, params);
  }

  [[noreturn]] void raise(const PGresult* r) const { throw errorOf(r); }

  AutomationError errorOf(const PGresult* r) const {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string message = primary ? primary : trimmed(conn_ ? PQerrorMessage(conn_) : "");
    if (message.empty()) message = "The server did not answer.";
    const std::string code = state ? state : "";
    int32_t number = kCommandFailed;
    if (code.rfind("23", 0) == 0)
      number = kIntegrityViolation;
    else if (code == "57014")
      number = kQueryTimeout;
    if (code == "57014" && timedOut_)
      message = "Query timeout expired: the statement ran past the command timeout of " +
                std::to_string(timeout_) + " seconds";
    else if (code == "42P01")
      number = kNoSuchTable;
    else if (code == "22001")
      number = kDataOverflow;
    else if (code.rfind("28", 0) == 0)
      number = kNotValidPassword;
    else if (code.empty() || code.rfind("08", 0) == 0 || code.rfind("57P", 0) == 0)
      number = kProviderFailed;
    return AutomationError(number, source(),
                           code.empty() ? message : message + " (SQLSTATE " + code + ")");
  }

  bool insertReturning(std::string_view sql, std::span<const Variant> params, Row& row) override;
  bool queuesInserts() override {
    return conn_ && (pipeline_ || (!streaming_ && PQtransactionStatus(conn_) == PQTRANS_INTRANS));
  }
  void queueInsert(std::string_view sql, std::span<const Variant> params,
                   DeferredRead* reader) override;
  bool queuedRow(DeferredRead* reader, Row& row) override;
  void flushQueued() override {
    drainQueued();
    raiseQueued();
  }
  void dropQueued() override {
    drainQueued();
    queuedFailure_.reset();
  }
  void deferRead(DeferredRead* read) override { deferred_.insert(read); }
  void forgetRead(DeferredRead* read) override {
    deferred_.erase(read);
    rows_.erase(read);
    lastOf_.erase(read);
  }

 private:
  void check(const PGresult* r) const {
    const ExecStatusType s = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_SINGLE_TUPLE) return;
    if (s == PGRES_EMPTY_QUERY)
      throw AutomationError(kNoCommand, source(),
                            "Command text was not set for the command object.");
    raise(r);
  }

  // The stream on the connection gives it up.
  void settle() {
    drainQueued();
    raiseQueued();
    if (streaming_) streaming_->settle(true);
    streaming_ = nullptr;
  }

  void send(const std::string& sql, const Params& params, bool oneRowAtATime) {
    settle();
    timedOut_ = false;
    if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params.values.size()),
                           params.types.data(), params.values.data(), params.lengths.data(),
                           params.formats.data(), 0))
      raise(nullptr);
    if (oneRowAtATime) PQsetSingleRowMode(conn_);
  }

  // Waits until a result can be read without blocking; past the command
  // timeout the statement is cancelled (the server then answers with SQLSTATE
  // 57014). A connection that fails leaves the waiting to PQgetResult, which
  // reports it.
  void await() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeout_);
    bool cancelled = timeout_ == 0;
    while (PQisBusy(conn_)) {
      int wait = -1;
      if (!cancelled) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
          cancelled = true;
          timedOut_ = true;
          if (PGcancel* c = PQgetCancel(conn_)) {
            char error[256];
            PQcancel(c, error, sizeof error);
            PQfreeCancel(c);
          }
          continue;
        }
        wait = static_cast<int>(std::min<int64_t>(left.count(), 60'000));
      }
      pollfd p{PQsocket(conn_), POLLIN, 0};
      if (p.fd < 0) return;
      const int n = ::poll(&p, 1, wait);
      if (n < 0 && errno != EINTR) return;
      if (n > 0 && !PQconsumeInput(conn_)) return;
    }
  }

  // Reads the answers of the queued INSERTs and leaves pipeline mode: the
  // rows their readers want into rows_, the first error into queuedFailure_.
  void drainQueued();
  void raiseQueued() {
    if (!queuedFailure_) return;
    AutomationError e = std::move(*queuedFailure_);
    queuedFailure_.reset();
    throw e;
  }
  // The name of the prepared statement of `sql` with `params`' types,
  // preparing it now when it has none.
  // REQUIRES: the connection is free (no stream, not in pipeline mode).
  const std::string& preparedInsert(std::pair<std::string, std::vector<Oid>> key);

  PGconn* conn_ = nullptr;
  std::set<Statement*> statements_;
  bool pipeline_ = false;
  std::vector<DeferredRead*> queued_;                 // whose each queued INSERT is, in order
  size_t queuedBytes_ = 0;                            // their values' bytes
  std::map<DeferredRead*, size_t> lastOf_;            // reader: its last INSERT in queued_
  std::set<DeferredRead*> deferred_;                  // readers whose rows are still wanted
  std::map<DeferredRead*, std::optional<Row>> rows_;  // their rows, once read
  std::optional<AutomationError> queuedFailure_;
  std::map<std::pair<std::string, std::vector<Oid>>, std::string> prepared_;
  int preparedCount_ = 0;
  PgStatement* streaming_ = nullptr;  // the statement whose rows are on the connection
  int32_t timeout_ = 30;
  bool timedOut_ = false;  // the statement sent last was cancelled for the timeout
  std::map<uint32_t, std::pair<std::string, std::string>> tables_;  // oid: schema, name
  std::map<std::pair<uint32_t, int>, std::string> tableColumns_;    // (oid, attnum): name
};

// ---------------------------------------------------------------- statements

PgStatement::PgStatement(PgSession* session, std::string sql, std::span<const Variant> params)
    : session_(session), sql_(std::move(sql)), params_(params) {
  session_->attach(this);
}

PgStatement::~PgStatement() {
  if (!ended_) end();
}

void PgStatement::end() {
  if (ended_) return;
  if (streaming_ && session_->isOpen()) settle(false);
  ended_ = true;
  streaming_ = false;
  session_->streamEnded(this);
  result_.reset();
  failure_.reset();
  held_.clear();
  session_->detach(this);
}

void PgStatement::restart() {
  checkOpen();
  if (streaming_) settle(false);
  session_->streamEnded(this);
  started_ = false;
  result_.reset();
  failure_.reset();
  held_.clear();
  row_ = 0;
}

void PgStatement::takeColumns(const PGresult* r) {
  columns_.clear();
  const int n = PQnfields(r);
  for (int i = 0; i < n; ++i) {
    ColumnInfo c;
    c.name = PQfname(r, i);
    const FieldType ft = postgresFieldType(PQftype(r, i), PQfmod(r, i));
    c.type = ft.type;
    c.definedSize = ft.definedSize;
    c.tableOid = PQftable(r, i);
    c.tableColumn = PQftablecol(r, i);
    columns_.push_back(std::move(c));
  }
  haveColumns_ = true;
}

const std::vector<ColumnInfo>& PgStatement::columns() {
  if (!haveColumns_) {
    checkOpen();
    Result d = session_->describe(sql_, params_);
    takeColumns(d.get());
  }
  return columns_;
}

void PgStatement::start() {
  started_ = true;
  streaming_ = true;
  held_.clear();
  failure_.reset();
  row_ = 0;
  session_->stream(this, sql_, params_);
  Result first = session_->nextResult();
  const ExecStatusType status = first ? PQresultStatus(first.get()) : PGRES_FATAL_ERROR;
  givesRows_ = status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK;
  if (givesRows_ && !haveColumns_) takeColumns(first.get());
  take(std::move(first), true);
  if (failure_) {
    Result f = std::move(failure_);
    started_ = false;
    session_->raise(f.get());
  }
}

void PgStatement::take(Result r, bool keep) {
  if (!r) {
    streaming_ = false;
    session_->streamEnded(this);
    return;
  }
  const ExecStatusType status = PQresultStatus(r.get());
  if (status == PGRES_SINGLE_TUPLE) {
    if (!keep) return;
    if (result_ && row_ < PQntuples(result_.get())) {
      Row row;
      convert(r.get(), 0, row);
      held_.push_back(std::move(row));
    } else if (held_.empty()) {
      result_ = std::move(r);
      row_ = 0;
    } else {
      Row row;
      convert(r.get(), 0, row);
      held_.push_back(std::move(row));
    }
    return;
  }
  // The last result: the rows' end, the command's, or an error. What follows
  // it is read now, so that the connection is free.
  if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
    tuples_ = PQcmdTuples(r.get());
    if (keep && !result_) result_ = std::move(r);
  } else if (keep && !failure_) {
    failure_ = std::move(r);
  }
  while (Result rest{session_->nextResult()}) {
  }
  streaming_ = false;
  session_->streamEnded(this);
}

void PgStatement::settle(bool keep) {
  while (streaming_) take(session_->nextResult(), keep);
}

void PgStatement::convert(const PGresult* r, int index, Row& row) const {
  convertRow(r, index, row);
}

void convertRow(const PGresult* r, int index, Row& row) {
  const int n = PQnfields(r);
  row.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    RawValue& v = row[static_cast<size_t>(i)];
    if (PQgetisnull(r, index, i)) {
      v = RawValue::null();
      continue;
    }
    const char* text = PQgetvalue(r, index, i);
    const size_t len = static_cast<size_t>(PQgetlength(r, index, i));
    switch (PQftype(r, i)) {
      case kBoolOid:
        v = RawValue::ofInteger(text[0] == 't' ? 1 : 0);
        break;
      case kInt2Oid:
      case kInt4Oid:
      case kInt8Oid:
      case kOidOid: {
        int64_t x = 0;
        std::from_chars(text, text + len, x);
        v = RawValue::ofInteger(x);
        break;
      }
      case kFloat4Oid:
      case kFloat8Oid:
        v = RawValue::ofReal(std::strtod(text, nullptr));
        break;
      case kByteaOid: {
        std::string bytes;
        if (len >= 2 && text[0] == '\\' && text[1] == 'x') {
          bytes.reserve((len - 2) / 2);
          for (size_t j = 2; j + 1 < len; j += 2)
            bytes += static_cast<char>(hexValue(text[j]) * 16 + hexValue(text[j + 1]));
        }
        v = RawValue::ofBlob(std::move(bytes));
        break;
      }
      case kMoneyOid: {
        // "-$1,234.56" in the C locale: keep the sign and the digits.
        std::string amount;
        for (size_t j = 0; j < len; ++j)
          if (text[j] != '$' && text[j] != ',') amount += text[j];
        v = RawValue::ofText(std::move(amount));
        break;
      }
      default:
        v = RawValue::ofText(std::string(text, len));
        break;
    }
  }
}

bool PgStatement::next(Row& row) {
  checkOpen();
  if (!started_) start();
  for (;;) {
    if (result_ && row_ < PQntuples(result_.get())) {
      convert(result_.get(), row_++, row);
      return true;
    }
    if (!held_.empty()) {
      row = std::move(held_.front());
      held_.pop_front();
      return true;
    }
    if (failure_) {
      Result f = std::move(failure_);
      session_->raise(f.get());
    }
    if (!streaming_) return false;
    result_.reset();
    take(session_->nextResult(), true);
  }
}

int64_t PgStatement::run() {
  checkOpen();
  if (!started_) {
    // Rows not wanted: the whole result at once.
    result_ = session_->execute(sql_, params_);
    started_ = true;
    tuples_ = PQcmdTuples(result_.get());
    if (!haveColumns_) takeColumns(result_.get());
  } else {
    settle(false);
    if (failure_) {
      Result f = std::move(failure_);
      session_->raise(f.get());
    }
  }
  if (result_) row_ = PQntuples(result_.get());
  held_.clear();
  int64_t n = 0;
  std::from_chars(tuples_.data(), tuples_.data() + tuples_.size(), n);
  return n;
}

// ---------------------------------------------------------------- session

const std::string& PgSession::preparedInsert(std::pair<std::string, std::vector<Oid>> key) {
  if (auto it = prepared_.find(key); it != prepared_.end()) return it->second;
  if (prepared_.size() >= kMaxPrepared) {
    Result r(PQexec(conn_, "DEALLOCATE ALL"));
    check(r.get());
    prepared_.clear();
  }
  std::string name = "bq_insert_" + std::to_string(++preparedCount_);
  Result p(PQprepare(conn_, name.c_str(), key.first.c_str(), static_cast<int>(key.second.size()),
                     key.second.data()));
  check(p.get());
  return prepared_.emplace(std::move(key), std::move(name)).first->second;
}

void PgSession::queueInsert(std::string_view sql, std::span<const Variant> params,
                            DeferredRead* reader) {
  if (!conn_) raiseAdo(adErrObjectClosed, kConnectionSource);
  int count = 0;
  std::string numbered = sql::numberPlaceholders(sql, count);
  if (params.size() != static_cast<size_t>(count))
    throw AutomationError(kCommandFailed, source(),
                          "The statement takes " + std::to_string(count) + " parameters, not " +
                              std::to_string(params.size()) + ".");
  Params values(params);
  std::pair<std::string, std::vector<Oid>> key(std::move(numbered), values.types);
  auto it = prepared_.find(key);
  if (!pipeline_ || it == prepared_.end()) settle();
  const std::string& name = it != prepared_.end() ? it->second : preparedInsert(std::move(key));
  timedOut_ = false;
  if (!pipeline_) {
    if (!PQenterPipelineMode(conn_)) raise(nullptr);
    pipeline_ = true;
  }
  if (!PQsendQueryPrepared(conn_, name.c_str(), count, values.values.data(), values.lengths.data(),
                           values.formats.data(), 0)) {
    const AutomationError e = errorOf(nullptr);
    drainQueued();
    throw e;
  }
  deferred_.insert(reader);
  lastOf_[reader] = queued_.size();
  queued_.push_back(reader);
  for (int n : values.lengths) queuedBytes_ += static_cast<size_t>(n);
  if (queued_.size() >= kQueueRows || queuedBytes_ >= kQueueBytes) flushQueued();
}

void PgSession::drainQueued() {
  if (!pipeline_ || !conn_) return;
  const auto fail = [&](AutomationError e) {
    if (!queuedFailure_) queuedFailure_ = std::move(e);
  };
  if (!PQpipelineSync(conn_)) fail(errorOf(nullptr));
  for (size_t i = 0; i < queued_.size(); ++i) {
    DeferredRead* owner = queued_[i];
    auto last = lastOf_.find(owner);
    const bool wanted = last != lastOf_.end() && last->second == i && deferred_.count(owner);
    if (wanted) rows_[owner].reset();
    // The row (in a result of its own when libpq kept single-row mode), the
    // end and the null that ends them; a broken connection gives fewer.
    bool added = false, ended = false;
    for (int k = 0; k < 8; ++k) {
      await();
      Result r(PQgetResult(conn_));
      if (!r) break;
      const ExecStatusType status = PQresultStatus(r.get());
      if ((status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE) && PQntuples(r.get()) > 0) {
        if (wanted && !added) convertRow(r.get(), 0, rows_[owner].emplace());
        added = true;
      } else if (status == PGRES_TUPLES_OK) {
        ended = true;
      } else if (status == PGRES_PIPELINE_SYNC) {
        break;
      } else if (status != PGRES_PIPELINE_ABORTED) {
        fail(errorOf(r.get()));
      }
    }
    if (ended && !added) fail(AutomationError(kConcurrencyViolation, source(), kRowNotLocatedText));
  }
  for (int k = 0; k < 4; ++k) {
    await();
    Result r(PQgetResult(conn_));
    if (!r || PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
  }
  if (!PQexitPipelineMode(conn_)) fail(errorOf(nullptr));
  pipeline_ = false;
  queued_.clear();
  lastOf_.clear();
  queuedBytes_ = 0;
}

bool PgSession::queuedRow(DeferredRead* reader, Row& row) {
  try {
    drainQueued();
  } catch (...) {
    pipeline_ = false;
  }
  deferred_.erase(reader);
  auto it = rows_.find(reader);
  if (it == rows_.end()) return false;
  const bool found = it->second.has_value();
  if (found) row = std::move(*it->second);
  rows_.erase(it);
  return found;
}

bool PgSession::insertReturning(std::string_view sql, std::span<const Variant> params, Row& row) {
  struct Reader final : DeferredRead {
    void readNow() override {}
  } reader;
  try {
    queueInsert(sql, params, &reader);
  } catch (...) {
    forgetRead(&reader);
    throw;
  }
  const bool found = queuedRow(&reader, row);
  forgetRead(&reader);
  raiseQueued();
  if (!found) throw AutomationError(kConcurrencyViolation, source(), kRowNotLocatedText);
  return true;
}

void PgSession::connect(const ConnectionString& cs, std::string_view userId,
                        std::string_view password) {
  std::vector<std::pair<std::string, std::string>> settings;
  settings.emplace_back("connect_timeout", "15");
  if (!cs.uri().empty()) {
    settings.emplace_back("dbname", cs.uri());
  } else {
    auto take = [&](const char* keyword, std::initializer_list<const char*> keys) {
      for (const char* key : keys) {
        if (auto v = cs.get(key)) {
          settings.emplace_back(keyword, *v);
          return;
        }
      }
    };
    take("host", {"Host", "Server", "Data Source"});
    take("port", {"Port"});
    take("dbname", {"Database", "Initial Catalog"});
    take("user", {"User ID", "UID", "User", "Username"});
    take("password", {"Password", "PWD"});
    take("connect_timeout", {"Connect Timeout", "Timeout"});
    take("sslmode", {"SSL Mode", "SslMode"});
  }
  if (!userId.empty()) settings.emplace_back("user", std::string(userId));
  if (!password.empty()) settings.emplace_back("password", std::string(password));
  settings.emplace_back("client_encoding", "UTF8");
  std::vector<const char*> keys, values;
  for (const auto& [k, v] : settings) {
    keys.push_back(k.c_str());
    values.push_back(v.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), cs.uri().empty() ? 0 : 1);
  if (!conn_) raiseError(err::kOutOfMemory, kPostgresSource);
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string message = trimmed(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    const bool badPassword = message.find("password authentication failed") != std::string::npos;
    throw AutomationError(badPassword ? kNotValidPassword : kProviderFailed, kPostgresSource,
                          message);
  }
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  // Fixed settings, so that results read the same on every server; a SET
  // rather than the "options" keyword keeps options that the caller gave.
  Result r(PQexec(conn_,
                  "SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'; SET lc_monetary = 'C'; "
                  "SET bytea_output = 'hex'; SET extra_float_digits = 3; "
                  "SET IntervalStyle = 'postgres'"));
  if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
    const std::string message = trimmed(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw AutomationError(kProviderFailed, kPostgresSource, message);
  }
}

void PgSession::resolveBaseColumns(std::vector<ColumnInfo>& columns) {
  for (ColumnInfo& c : columns) {
    if (c.tableOid == 0 || c.tableColumn <= 0) continue;
    if (!tables_.count(c.tableOid)) {
      Result r = catalog(
          "SELECT n.nspname, c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
          "ON n.oid = c.relnamespace WHERE c.oid = $1::oid",
          {std::to_string(c.tableOid)});
      if (PQntuples(r.get()) != 1) continue;
      tables_[c.tableOid] = {PQgetvalue(r.get(), 0, 0), PQgetvalue(r.get(), 0, 1)};
      Result a = catalog(
          "SELECT attnum, attname FROM pg_catalog.pg_attribute WHERE attrelid = $1::oid AND attnum "
          "> 0",
          {std::to_string(c.tableOid)});
      for (int i = 0; i < PQntuples(a.get()); ++i)
        tableColumns_[{c.tableOid, std::atoi(PQgetvalue(a.get(), i, 0))}] =
            PQgetvalue(a.get(), i, 1);
    }
    auto t = tables_.find(c.tableOid);
    auto col = tableColumns_.find({c.tableOid, c.tableColumn});
    if (t == tables_.end() || col == tableColumns_.end()) continue;
    c.baseSchema = t->second.first;
    c.baseTable = t->second.second;
    c.baseColumn = col->second;
  }
}

std::vector<std::string> PgSession::primaryKey(const ColumnInfo& column) {
  Result r = catalog(
      "SELECT a.attname FROM pg_catalog.pg_index i JOIN pg_catalog.pg_attribute a "
      "ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey) "
      "WHERE i.indrelid = $1::oid AND i.indisprimary "
      "ORDER BY array_position(i.indkey::int2[], a.attnum)",
      {std::to_string(column.tableOid)});
  std::vector<std::string> names;
  for (int i = 0; i < PQntuples(r.get()); ++i) names.emplace_back(PQgetvalue(r.get(), i, 0));
  return names;
}

}  // namespace

std::shared_ptr<Session> openPostgresSession(const ConnectionString& cs, std::string_view userId,
                                             std::string_view password) {
  auto session = std::make_shared<PgSession>();
  session->connect(cs, userId, password);
  return session;
}

}  // namespace bq::db
