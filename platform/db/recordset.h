// Recordset, Fields and Field: ADO's record sets, as the subsystems use them.
//
// A Recordset is a handle, like the original's object references: copies
// refer to the same record set, which lives as long as any copy does. Fields
// returned by Fields() belong to the record set and stay valid until it is
// opened again.
//
// Cursors (Open's cursorType):
//   adOpenForwardOnly 0  rows are read as MoveNext asks for them; RecordCount
//                        is -1; MoveFirst, MovePrevious, MoveLast fail (3251)
//                        once the first row has been left.
//   adOpenKeyset 1,      every row is read (on Open for read-only record
//   adOpenStatic 3       sets; on the first read of an updatable one, so that
//                        a record set opened only to add rows reads none);
//                        RecordCount counts them; all moves work.
//   adOpenDynamic 2 is taken as keyset, as the Jet provider does; on a
//   connection whose CursorLocation is adUseClient every cursor is static.
// Lock types: adLockReadOnly 1 refuses changes (3251 "Current Recordset does
// not support updating..."); adLockOptimistic 3 (and 2, 4) allow them.
//
// Changes: AddNew, then Value assignments and AppendChunk, then Update runs
// one INSERT with bound parameters into the table the fields come from, and
// the new row (as the database stored it, defaults included) becomes the
// current row (keyset and static cursors add it at the end). On the SQLite
// providers a forward-only record set inside a transaction does not read the
// new row back at once: it reads it by its rowid when a field of it is first
// wanted, or before the connection runs anything that is not a query, so that
// a later change, commit or rollback never shows in it (a caller that only
// adds rows is spared one read per row). On PostgreSQL the INSERT is a
// statement prepared once for the connection, and a forward-only record set
// inside a transaction sends its rows without waiting for each answer: a
// refused row's error comes at a later Update (at most a few hundred rows
// on), at the first read of a field of the row added last, at Close, or at
// the next statement on the connection (CommitTrans), whichever is first;
// the Update that reports it leaves its own row pending, and the failed
// transaction refuses the rows after it, as the server does. Assigning to fields of the current
// row and Update runs an UPDATE of that row by the table's primary key (3251
// when the table has none among the fields). As in ADO, AddNew and the Move
// methods save a pending change first, and a failed Update leaves the change
// pending (CancelUpdate drops it); Close drops a pending change. Fields that
// do not come from one table column (expressions) cannot be assigned.
//
// Long data: GetChunk(n) returns the next n bytes (binary fields) or UTF-16
// code units (text fields; never half a surrogate pair) of the field's value,
// continuing where the previous call stopped, and Null once nothing is left
// (or for a Null value). AppendChunk's first call on a field replaces its
// value and further calls append. Reading or assigning another field's Value
// ends both, as in ADO.
//
// Values: see platform/db/value.h. Field names are matched without regard to
// case.
//
// Failures throw AutomationError: ADO's own errors with source
// "ADODB.Recordset" or "ADODB.Field" (3704 closed, 3705 open, 3021 no current
// record, 3265 no such field, 3251 not capable, 3001 bad argument, 3709 bad
// connection), or the provider's error.
//
// Thread safety: a record set belongs to one thread at a time, with its
// connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/variant.h"
#include "platform/db/ado.h"

namespace bq::db {

class Connection;
struct RecordsetState;

class Field {
 public:
  const std::string& Name() const;
  int32_t Type() const;
  int32_t DefinedSize() const;
  // Bytes of the current value: 2 per UTF-16 code unit for adVarWChar,
  // adWChar and adLongVarWChar; the byte count for binary fields;
  // DefinedSize for fixed-size types; 0 for Null.
  int64_t ActualSize() const;
  Variant Value() const;
  void setValue(const Variant& value);
  Variant GetChunk(int64_t size);
  // `data` is a ByteArray for binary fields, text for text fields.
  void AppendChunk(const Variant& data);

 private:
  friend struct RecordsetState;
  Field(RecordsetState* rs, size_t index) : rs_(rs), index_(index) {}
  RecordsetState* rs_;
  size_t index_;
};

class Fields {
 public:
  int32_t Count() const { return static_cast<int32_t>(fields_.size()); }
  // By position from 0; throws 3265 outside.
  Field& Item(int32_t index);
  // By name without regard to case; throws 3265 for an unknown name.
  Field& Item(std::string_view name);
  Field& operator[](int32_t index) { return Item(index); }
  Field& operator[](std::string_view name) { return Item(name); }
  Field& operator[](const char* name) { return Item(std::string_view(name)); }

  std::vector<Field>::iterator begin() { return fields_.begin(); }
  std::vector<Field>::iterator end() { return fields_.end(); }

 private:
  friend struct RecordsetState;
  std::vector<Field> fields_;
};

class Recordset {
 public:
  Recordset();

  // Opens `source` (a table name, or SQL text with "?" placeholders bound to
  // `parameters`) on `activeConnection`. Options are adCmdText, adCmdTable,
  // adCmdUnknown or -1.
  void Open(std::string_view source, const Connection& activeConnection,
            int32_t cursorType = adOpenForwardOnly, int32_t lockType = adLockReadOnly,
            int32_t options = adOptionUnspecified);
  void Open(std::string_view source, const Connection& activeConnection, int32_t cursorType,
            int32_t lockType, const std::vector<Variant>& parameters);
  void Close();

  int32_t State() const;
  int32_t CursorType() const;
  int32_t LockType() const;
  int32_t EditMode() const;
  const std::string& Source() const;

  // EOF and BOF (the names are taken by the C library's EOF macro).
  bool Eof() const;
  bool Bof() const;
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  // -1 for forward-only cursors.
  int64_t RecordCount() const;

  void AddNew();
  void Update();
  void CancelUpdate();

  db::Fields& Fields();

 private:
  friend class Connection;
  std::shared_ptr<RecordsetState> state_;
};

}  // namespace bq::db
