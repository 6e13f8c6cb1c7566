// The state behind Connection and Recordset handles. Internal to platform/db.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/recordset.h"
#include "platform/db/session.h"

namespace bq::db {

struct ConnectionState {
  std::shared_ptr<Session> session;
  int32_t commandTimeout = 30;
  int32_t cursorLocation = adUseServer;
  int32_t isolationLevel = adXactReadCommitted;
  int32_t transactionLevel = 0;

  bool isOpen() const { return session && session->isOpen(); }
};

struct RecordsetState final : DeferredRead {
  RecordsetState() = default;
  RecordsetState(const RecordsetState&) = delete;
  RecordsetState& operator=(const RecordsetState&) = delete;
  ~RecordsetState();

  std::shared_ptr<Session> session;
  std::unique_ptr<Statement> statement;
  std::vector<ColumnInfo> columns;
  db::Fields fields;
  std::string source;
  int32_t cursorType = adOpenForwardOnly;
  int32_t lockType = adLockReadOnly;
  bool open = false;

  // Rows. Keyset and static cursors hold them all (position -1 is before the
  // first, rows.size() after the last); forward-only cursors the current one.
  bool materialised = false;
  bool fetched = false;
  std::vector<Row> rows;
  int64_t position = 0;
  Row current;
  bool haveCurrent = false;
  bool typesResolved = false;
  bool baseResolved = false;

  // The row a forward-only record set added last, when the session put off
  // reading it (Session::rowKeyFor): `current` is read by its key when first
  // wanted, or before the session changes anything.
  bool currentDeferred = false;
  bool currentLost = false;  // the deferred row could not be read: no current record
  int64_t currentKey = 0;
  bool currentQueued = false;  // deferred as a queued INSERT (Session::queueInsert), not by key

  // Where Update writes: the table of the first field that comes from one,
  // the fields of that table (by index), and the list of their columns that
  // the statement returns. Worked out on the first Update.
  struct UpdateTarget {
    bool known = false;
    const ColumnInfo* first = nullptr;
    std::vector<size_t> base;
    std::string table;
    std::string returning;
    std::string keyedSelect;  // the row of a key, for deferred reads ("" until needed)
    std::string keyName;      // the key that keyedSelect selects by
  };
  UpdateTarget target;

  // A pending change.
  int32_t editMode = adEditNone;
  // The INSERT statement of the last row added (without RETURNING), and which
  // fields it assigns.
  std::string insertSql;
  std::vector<bool> insertFields;
  std::vector<std::optional<Variant>> edits;
  int appendField = -1;

  // GetChunk progress.
  int chunkField = -1;
  size_t chunkPos = 0;
  std::u16string chunkText;
  ByteArray chunkBytes;
  bool chunkNull = false;

  // Opens on `statement` (already prepared on `session`).
  void start(std::shared_ptr<Session> s, std::unique_ptr<Statement> st, std::string src,
             int32_t cursor, int32_t lock);
  void close();

  void checkOpen();
  void ensureFetched();
  void resolveTypes();
  void resolveBase();
  const UpdateTarget& updateTarget();
  // The current row (reading a deferred one); null when there is none.
  const Row* currentRow();
  // Forgets the deferred read of the current row (it is replaced or dropped).
  void dropDeferred();
  void readNow() override;
  bool eof();
  bool bof();
  void moveNext();
  void addNew();
  void update();
  // Adds the pending new row by a keyed INSERT whose row is read when wanted;
  // false when the session cannot (the caller returns it from the INSERT).
  bool addKeyed(const std::vector<Variant>& params);
  // Queues the pending new row's INSERT, its row read when wanted; false
  // when the session cannot queue it now.
  bool addQueued(const std::vector<Variant>& params, const UpdateTarget& t);
  void endEdit();
  void cancelUpdate();
  void checkUpdatable() const;
  void endChunksExcept(int field);

  Variant value(size_t field);
  void setValue(size_t field, const Variant& v);
  Variant getChunk(size_t field, int64_t size);
  void appendChunk(size_t field, const Variant& data);
  int64_t actualSize(size_t field);
};

}  // namespace bq::db
