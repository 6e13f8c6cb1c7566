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

struct RecordsetState {
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

  // A pending change.
  int32_t editMode = adEditNone;
  // The INSERT statement of the last row added, and which fields it assigns.
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
  const Row* currentRow() const;
  bool eof();
  bool bof();
  void moveNext();
  void addNew();
  void update();
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
