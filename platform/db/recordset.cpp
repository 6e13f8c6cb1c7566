#include "platform/db/recordset.h"

#include <algorithm>
#include <limits>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/recordset_state.h"
#include "platform/db/sql_text.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq::db {
namespace {

// A stored value as a parameter that finds it again.
Variant rawParameter(const RawValue& r) {
  switch (r.kind) {
    case RawValue::Kind::kNull:
      return Null{};
    case RawValue::Kind::kInteger:
      if (r.integer >= std::numeric_limits<int32_t>::min() &&
          r.integer <= std::numeric_limits<int32_t>::max())
        return static_cast<int32_t>(r.integer);
      return std::to_string(r.integer);
    case RawValue::Kind::kReal:
      return r.real;
    case RawValue::Kind::kText:
      return r.bytes;
    case RawValue::Kind::kBlob:
      return ByteArray(r.bytes.begin(), r.bytes.end());
  }
  return Null{};
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

[[noreturn]] void notAssignable(const std::string& name) {
  throw AutomationError(
      adErrFeatureNotAvailable, kFieldSource,
      "Field '" + name + "' cannot be updated: it does not come from a table column.");
}

}  // namespace

// ---------------------------------------------------------------- state

RecordsetState::~RecordsetState() { dropDeferred(); }

void RecordsetState::dropDeferred() {
  if (currentDeferred && session) session->forgetRead(this);
  currentDeferred = false;
  currentQueued = false;
  currentLost = false;
}

void RecordsetState::readNow() {
  if (!currentDeferred) return;
  currentDeferred = false;
  Row returned;
  bool found = false;
  try {
    if (currentQueued)
      found = session->queuedRow(this, returned);
    else
      found = session->readKeyed(target.keyedSelect, currentKey, returned);
  } catch (const AutomationError&) {
    found = false;
  }
  // Found only after a statement failed so badly that the database rolled
  // back the transaction that added it.
  currentLost = !found || returned.size() != target.base.size();
  if (currentLost) return;
  Row row(columns.size());
  for (size_t k = 0; k < target.base.size(); ++k) row[target.base[k]] = std::move(returned[k]);
  current = std::move(row);
}

void RecordsetState::start(std::shared_ptr<Session> s, std::unique_ptr<Statement> st,
                           std::string src, int32_t cursor, int32_t lock) {
  dropDeferred();
  target = {};
  session = std::move(s);
  statement = std::move(st);
  source = std::move(src);
  cursorType = cursor;
  lockType = lock;
  materialised = cursor != adOpenForwardOnly;
  fetched = false;
  rows.clear();
  position = 0;
  current.clear();
  haveCurrent = false;
  typesResolved = false;
  baseResolved = false;
  editMode = adEditNone;
  appendField = -1;
  chunkField = -1;
  insertSql.clear();
  insertFields.clear();
  open = true;
  // Read-only record sets read at once (PostgreSQL then needs no separate
  // description); updatable ones wait until a row is wanted.
  columns.clear();
  if (lock == adLockReadOnly) ensureFetched();
  columns = statement->columns();
  fields.fields_.clear();
  for (size_t i = 0; i < columns.size(); ++i) fields.fields_.push_back(Field(this, i));
  edits.assign(columns.size(), std::nullopt);
  if (fetched) {
    typesResolved = false;
    resolveTypes();
  }
}

void RecordsetState::close() {
  dropDeferred();
  open = false;
  statement.reset();
  rows.clear();
  current.clear();
  haveCurrent = false;
  editMode = adEditNone;
  edits.assign(columns.size(), std::nullopt);
  chunkField = appendField = -1;
  chunkText.clear();
  chunkBytes.clear();
}

void RecordsetState::checkOpen() {
  if (!open) raiseAdo(adErrObjectClosed, kRecordsetSource);
  if (!session->isOpen()) {
    close();
    raiseAdo(adErrObjectClosed, kRecordsetSource);
  }
}

void RecordsetState::ensureFetched() {
  if (fetched) return;
  if (materialised) {
    Row row;
    while (statement->next(row)) rows.push_back(std::move(row));
    position = 0;
  } else {
    dropDeferred();
    haveCurrent = statement->next(current);
    position = 0;
  }
  fetched = true;
  if (!columns.empty()) resolveTypes();
}

void RecordsetState::resolveTypes() {
  if (typesResolved) return;
  const bool untyped = std::any_of(columns.begin(), columns.end(),
                                   [](const ColumnInfo& c) { return c.type == adEmpty; });
  if (!untyped) {
    typesResolved = true;
    return;
  }
  if (!fetched) {
    ensureFetched();
    return;
  }
  // Columns without a declared type (expressions) take the type of their first value.
  for (size_t i = 0; i < columns.size(); ++i) {
    ColumnInfo& c = columns[i];
    if (c.type != adEmpty) continue;
    const RawValue* sample = nullptr;
    if (materialised) {
      for (const Row& r : rows)
        if (!r[i].isNull()) {
          sample = &r[i];
          break;
        }
    } else if (haveCurrent && !current[i].isNull()) {
      sample = &current[i];
    }
    int32_t type = adVarWChar;
    if (sample) {
      switch (sample->kind) {
        case RawValue::Kind::kInteger:
          type = sample->integer >= std::numeric_limits<int32_t>::min() &&
                         sample->integer <= std::numeric_limits<int32_t>::max()
                     ? adInteger
                     : adBigInt;
          break;
        case RawValue::Kind::kReal:
          type = adDouble;
          break;
        case RawValue::Kind::kText:
          type = adLongVarWChar;
          break;
        case RawValue::Kind::kBlob:
          type = adLongVarBinary;
          break;
        default:
          break;
      }
    }
    c.type = type;
    c.definedSize = fixedDefinedSize(type);
  }
  typesResolved = true;
}

void RecordsetState::resolveBase() {
  if (baseResolved) return;
  session->resolveBaseColumns(columns);
  baseResolved = true;
}

const Row* RecordsetState::currentRow() {
  if (materialised)
    return position >= 0 && position < static_cast<int64_t>(rows.size())
               ? &rows[static_cast<size_t>(position)]
               : nullptr;
  if (currentDeferred && currentQueued) {
    // The row is read with the answers queued before it; an error among
    // them is raised here rather than shown as a missing record.
    readNow();
    currentQueued = false;
    session->flushQueued();
  } else if (currentDeferred) {
    session->forgetRead(this);
    readNow();
  }
  return haveCurrent && !currentLost ? &current : nullptr;
}

bool RecordsetState::eof() {
  checkOpen();
  ensureFetched();
  if (materialised) return rows.empty() || position >= static_cast<int64_t>(rows.size());
  return !haveCurrent;
}

bool RecordsetState::bof() {
  checkOpen();
  ensureFetched();
  if (materialised) return rows.empty() || position < 0;
  return !haveCurrent && position == 0;
}

void RecordsetState::moveNext() {
  checkOpen();
  ensureFetched();
  if (editMode != adEditNone) update();
  if (eof()) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  endChunksExcept(-1);
  if (materialised) {
    ++position;
  } else {
    dropDeferred();
    haveCurrent = statement->next(current);
    ++position;
  }
}

void RecordsetState::endChunksExcept(int field) {
  if (chunkField != field) {
    chunkField = -1;
    chunkText.clear();
    chunkBytes.clear();
  }
  if (appendField != field) appendField = -1;
}

void RecordsetState::checkUpdatable() const {
  if (lockType == adLockReadOnly) raiseNotUpdatable();
}

void RecordsetState::addNew() {
  checkOpen();
  checkUpdatable();
  if (editMode != adEditNone) update();
  if (materialised) ensureFetched();
  resolveBase();
  editMode = adEditAdd;
  edits.assign(columns.size(), std::nullopt);
  endChunksExcept(-1);
}

void RecordsetState::cancelUpdate() {
  checkOpen();
  editMode = adEditNone;
  edits.assign(columns.size(), std::nullopt);
  appendField = -1;
}

const RecordsetState::UpdateTarget& RecordsetState::updateTarget() {
  if (target.known) {
    // Only fields of the target's table take values.
    for (size_t i = 0, b = 0; i < columns.size(); ++i) {
      if (b < target.base.size() && target.base[b] == i)
        ++b;
      else if (edits[i])
        notAssignable(columns[i].name);
    }
    return target;
  }
  UpdateTarget t;
  for (const ColumnInfo& c : columns)
    if (!c.baseTable.empty() && !c.baseColumn.empty()) {
      t.first = &c;
      break;
    }
  if (!t.first) raiseNotUpdatable();
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnInfo& c = columns[i];
    if (c.baseTable == t.first->baseTable && c.baseSchema == t.first->baseSchema &&
        !c.baseColumn.empty())
      t.base.push_back(i);
    else if (edits[i])
      notAssignable(c.name);
  }
  t.table = session->qualifiedName(t.first->baseSchema, t.first->baseTable);
  for (size_t i : t.base) {
    if (!t.returning.empty()) t.returning += ", ";
    t.returning += sql::quoteIdentifier(columns[i].baseColumn);
  }
  t.known = true;
  target = std::move(t);
  return target;
}

namespace {

using UpdateTarget = RecordsetState::UpdateTarget;

// The INSERT of a new row with the fields given (the table's defaults for
// the others), without RETURNING; the values go to `params`.
std::string insertStatement(const RecordsetState& s, const UpdateTarget& t,
                            std::vector<Variant>& params) {
  std::string names, marks;
  for (size_t i : t.base) {
    if (!s.edits[i]) continue;
    if (!names.empty()) {
      names += ", ";
      marks += ", ";
    }
    names += sql::quoteIdentifier(s.columns[i].baseColumn);
    marks += "?";
    params.push_back(*s.edits[i]);
  }
  return "INSERT INTO " + t.table +
         (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")");
}

// The UPDATE of row `old`, found by its primary key, with the changed
// fields, without RETURNING; the values go to `params`.
std::string updateStatement(const RecordsetState& s, const UpdateTarget& t, const Row& old,
                            std::vector<Variant>& params) {
  std::string sets;
  for (size_t i : t.base) {
    if (!s.edits[i]) continue;
    if (!sets.empty()) sets += ", ";
    sets += sql::quoteIdentifier(s.columns[i].baseColumn) + " = ?";
    params.push_back(*s.edits[i]);
  }
  const std::vector<std::string> key = s.session->primaryKey(*t.first);
  if (key.empty()) raiseNotUpdatable();
  std::string where;
  for (const std::string& k : key) {
    auto it = std::find_if(t.base.begin(), t.base.end(),
                           [&](size_t i) { return s.columns[i].baseColumn == k; });
    if (it == t.base.end()) raiseNotUpdatable();
    if (!where.empty()) where += " AND ";
    where += sql::quoteIdentifier(k) + " = ?";
    params.push_back(rawParameter(old[*it]));
  }
  return "UPDATE " + t.table + " SET " + sets + " WHERE " + where;
}

// Runs the statement; the row it returns, or kConcurrencyViolation when it
// reached none.
Row runReturning(Session& session, const std::string& text, const std::vector<Variant>& params) {
  auto st = session.prepare(text, params);
  Row returned;
  if (!st->next(returned)) {
    throw AutomationError(kConcurrencyViolation, session.source(), kRowNotLocatedText);
  }
  Row extra;
  while (st->next(extra)) {
  }
  return returned;
}

}  // namespace

void RecordsetState::update() {
  checkOpen();
  if (editMode == adEditNone) return;
  checkUpdatable();
  resolveBase();
  const UpdateTarget& t = updateTarget();
  std::vector<Variant> params;
  const Row* old = nullptr;
  Row returned;
  if (editMode == adEditAdd) {
    // Rows added one after another assign the same fields: the statement
    // text is made once for them, and their values move into its parameters
    // (and back if it fails: a failed Update leaves the change pending).
    bool same = !insertSql.empty();
    for (size_t i : t.base) same = same && insertFields[i] == edits[i].has_value();
    if (same) {
      params.reserve(t.base.size());
      for (size_t i : t.base)
        if (edits[i]) params.push_back(std::move(*edits[i]));
    } else {
      insertSql = insertStatement(*this, t, params);
      insertFields.assign(columns.size(), false);
      for (size_t i : t.base) insertFields[i] = edits[i].has_value();
    }
    try {
      if (!materialised && (addKeyed(params) || addQueued(params, t))) return;
      const std::string text = insertSql + " RETURNING " + t.returning;
      if (!session->insertReturning(text, params, returned))
        returned = runReturning(*session, text, params);
    } catch (...) {
      if (same) {
        size_t k = 0;
        for (size_t i : t.base)
          if (edits[i]) *edits[i] = std::move(params[k++]);
      }
      throw;
    }
  } else {
    if (std::none_of(edits.begin(), edits.end(), [](const auto& e) { return e.has_value(); })) {
      editMode = adEditNone;
      return;
    }
    old = currentRow();
    if (!old) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
    returned = runReturning(
        *session, updateStatement(*this, t, *old, params) + " RETURNING " + t.returning, params);
  }

  // The row as it now stands: the table's fields as returned, the others
  // as they were.
  Row row(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    auto it = std::find(t.base.begin(), t.base.end(), i);
    if (it != t.base.end())
      row[i] = returned[static_cast<size_t>(it - t.base.begin())];
    else if (old)
      row[i] = (*old)[i];
  }
  if (editMode == adEditAdd) {
    if (materialised) {
      rows.push_back(std::move(row));
      position = static_cast<int64_t>(rows.size()) - 1;
    } else {
      dropDeferred();
      current = std::move(row);
      haveCurrent = true;
      fetched = true;
    }
  } else if (materialised) {
    rows[static_cast<size_t>(position)] = std::move(row);
  } else {
    current = std::move(row);
  }
  endEdit();
}

bool RecordsetState::addKeyed(const std::vector<Variant>& params) {
  const std::string key = session->rowKeyFor(*target.first);
  if (key.empty()) return false;
  if (target.keyName != key) {
    target.keyedSelect =
        "SELECT " + target.returning + " FROM " + target.table + " WHERE " + key + " = ?";
    target.keyName = key;
  }
  // The row added before stays current until this one is in; the INSERT must
  // not read it first.
  const bool hadDeferred = currentDeferred;
  if (hadDeferred) session->forgetRead(this);
  try {
    currentKey = session->insertKeyed(insertSql, params);
  } catch (...) {
    if (hadDeferred) session->deferRead(this);
    throw;
  }
  currentDeferred = true;
  currentLost = false;
  session->deferRead(this);
  haveCurrent = true;
  fetched = true;
  endEdit();
  return true;
}

bool RecordsetState::addQueued(const std::vector<Variant>& params, const UpdateTarget& t) {
  if (!session->queuesInserts()) return false;
  // The row added before is replaced by this one: its answer is not wanted.
  dropDeferred();
  try {
    session->queueInsert(insertSql + " RETURNING " + t.returning, params, this);
  } catch (...) {
    session->forgetRead(this);
    haveCurrent = false;
    throw;
  }
  currentDeferred = true;
  currentQueued = true;
  haveCurrent = true;
  fetched = true;
  endEdit();
  return true;
}

void RecordsetState::endEdit() {
  editMode = adEditNone;
  edits.assign(columns.size(), std::nullopt);
  appendField = -1;
}

Variant RecordsetState::value(size_t field) {
  checkOpen();
  endChunksExcept(static_cast<int>(field));
  if (editMode != adEditNone && edits[field]) return *edits[field];
  if (editMode == adEditAdd) return Null{};
  ensureFetched();
  resolveTypes();
  const Row* row = currentRow();
  if (!row) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  return toVariant((*row)[field], columns[field].type);
}

void RecordsetState::setValue(size_t field, const Variant& v) {
  checkOpen();
  checkUpdatable();
  endChunksExcept(static_cast<int>(field));
  appendField = -1;
  resolveBase();
  if (columns[field].baseColumn.empty()) notAssignable(columns[field].name);
  if (editMode == adEditNone) {
    ensureFetched();
    if (!currentRow()) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
    editMode = adEditInProgress;
    edits.assign(columns.size(), std::nullopt);
  }
  resolveTypes();
  const ColumnInfo& c = columns[field];
  edits[field] = coerceForField(v, c.type, c.definedSize, c.name);
}

Variant RecordsetState::getChunk(size_t field, int64_t size) {
  checkOpen();
  resolveTypes();
  const int32_t type = columns[field].type;
  if (!isTextType(type) && !isBinaryType(type)) raiseAdo(adErrFeatureNotAvailable, kFieldSource);
  if (size < 0) raiseAdo(adErrInvalidArgument, kFieldSource);
  if (chunkField != static_cast<int>(field)) {
    Variant v = value(field);
    chunkField = static_cast<int>(field);
    chunkPos = 0;
    chunkNull = v.isNull();
    chunkText.clear();
    chunkBytes.clear();
    if (!chunkNull) {
      if (isTextType(type))
        chunkText = toUtf16(v.as<std::string>());
      else
        chunkBytes = std::move(v.as<ByteArray>());
    }
  } else if (!fetched || (editMode == adEditNone && !currentRow())) {
    raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  }
  if (chunkNull) return Null{};
  if (isTextType(type)) {
    const size_t remaining = chunkText.size() - chunkPos;
    if (remaining == 0) return Null{};
    size_t take = std::min<size_t>(remaining, static_cast<size_t>(size));
    // Never end a piece between the halves of a surrogate pair.
    if (take > 0 && take < remaining && isHighSurrogate(chunkText[chunkPos + take - 1]))
      take += take == 1 ? 1 : -1;
    std::string piece = toUtf8(std::u16string_view(chunkText).substr(chunkPos, take));
    chunkPos += take;
    return piece;
  }
  const size_t remaining = chunkBytes.size() - chunkPos;
  if (remaining == 0) return Null{};
  const size_t take = std::min<size_t>(remaining, static_cast<size_t>(size));
  ByteArray piece(chunkBytes.begin() + static_cast<std::ptrdiff_t>(chunkPos),
                  chunkBytes.begin() + static_cast<std::ptrdiff_t>(chunkPos + take));
  chunkPos += take;
  return piece;
}

void RecordsetState::appendChunk(size_t field, const Variant& data) {
  checkOpen();
  checkUpdatable();
  resolveTypes();
  const ColumnInfo& c = columns[field];
  if (!isTextType(c.type) && !isBinaryType(c.type))
    raiseAdo(adErrFeatureNotAvailable, kFieldSource);
  resolveBase();
  if (c.baseColumn.empty()) notAssignable(c.name);
  if (isBinaryType(c.type) ? !data.is<ByteArray>() : !data.is<std::string>())
    throw AutomationError(kMultipleStepErrors, kFieldSource,
                          std::string(kMultipleStepText) + " (Field '" + c.name +
                              "': AppendChunk takes " + (isBinaryType(c.type) ? "bytes" : "text") +
                              ".)");
  if (editMode == adEditNone) {
    ensureFetched();
    if (!currentRow()) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
    editMode = adEditInProgress;
    edits.assign(columns.size(), std::nullopt);
  }
  endChunksExcept(static_cast<int>(field));
  std::optional<Variant>& target = edits[field];
  if (appendField != static_cast<int>(field) || !target || target->isNull()) {
    target = coerceForField(data, c.type, c.definedSize, c.name);
  } else if (data.is<ByteArray>()) {
    ByteArray& bytes = target->as<ByteArray>();
    bytes.insert(bytes.end(), data.as<ByteArray>().begin(), data.as<ByteArray>().end());
    if (c.type != adLongVarBinary) target = coerceForField(*target, c.type, c.definedSize, c.name);
  } else {
    target->as<std::string>() += data.as<std::string>();
    if (isSizedTextType(c.type)) target = coerceForField(*target, c.type, c.definedSize, c.name);
  }
  appendField = static_cast<int>(field);
}

int64_t RecordsetState::actualSize(size_t field) {
  checkOpen();
  resolveTypes();
  const ColumnInfo& c = columns[field];
  if (editMode != adEditNone && edits[field]) {
    const Variant& v = *edits[field];
    if (v.isNull()) return 0;
    if (v.is<ByteArray>()) return static_cast<int64_t>(v.as<ByteArray>().size());
    if (v.is<std::string>())
      return isWideTextType(c.type) ? 2 * static_cast<int64_t>(len16(v.as<std::string>()))
                                    : static_cast<int64_t>(v.as<std::string>().size());
    return c.definedSize;
  }
  if (editMode == adEditAdd) return 0;
  ensureFetched();
  const Row* row = currentRow();
  if (!row) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  const RawValue& raw = (*row)[field];
  if (raw.isNull()) return 0;
  if (isBinaryType(c.type)) return static_cast<int64_t>(raw.bytes.size());
  if (isTextType(c.type)) {
    // Stored text is the value itself; a number stored in a text column reads as its text.
    const bool stored = raw.kind == RawValue::Kind::kText || raw.kind == RawValue::Kind::kBlob;
    const std::string converted = stored ? std::string() : variantText(toVariant(raw, c.type));
    const std::string_view text = stored ? std::string_view(raw.bytes) : converted;
    return isWideTextType(c.type) ? 2 * static_cast<int64_t>(len16(text))
                                  : static_cast<int64_t>(text.size());
  }
  return c.definedSize;
}

// ---------------------------------------------------------------- Field, Fields

const std::string& Field::Name() const { return rs_->columns[index_].name; }
int32_t Field::Type() const {
  rs_->checkOpen();
  rs_->resolveTypes();
  return rs_->columns[index_].type;
}
int32_t Field::DefinedSize() const {
  rs_->checkOpen();
  rs_->resolveTypes();
  return rs_->columns[index_].definedSize;
}
int64_t Field::ActualSize() const { return rs_->actualSize(index_); }
Variant Field::Value() const { return rs_->value(index_); }
void Field::setValue(const Variant& value) { rs_->setValue(index_, value); }
Variant Field::GetChunk(int64_t size) { return rs_->getChunk(index_, size); }
void Field::AppendChunk(const Variant& data) { rs_->appendChunk(index_, data); }

Field& Fields::Item(int32_t index) {
  if (index < 0 || index >= Count()) raiseAdo(adErrItemNotFound, kRecordsetSource);
  return fields_[static_cast<size_t>(index)];
}

Field& Fields::Item(std::string_view name) {
  const std::string wanted = ucase(name);
  for (Field& f : fields_)
    if (ucase(f.Name()) == wanted) return f;
  raiseAdo(adErrItemNotFound, kRecordsetSource);
}

// ---------------------------------------------------------------- Recordset

Recordset::Recordset() : state_(std::make_shared<RecordsetState>()) {}

void Recordset::Open(std::string_view source, const Connection& activeConnection,
                     int32_t cursorType, int32_t lockType, int32_t options) {
  const int32_t kind = options == adOptionUnspecified ? adCmdUnknown : (options & 0x0F);
  if (kind != adCmdText && kind != adCmdTable && kind != adCmdUnknown && kind != 0)
    raiseAdo(adErrInvalidArgument, kRecordsetSource);
  if (kind == adCmdTable && !sql::tableNameOf(source))
    raiseAdo(adErrInvalidArgument, kRecordsetSource);
  Open(source, activeConnection, cursorType, lockType, std::vector<Variant>{});
}

void Recordset::Open(std::string_view source, const Connection& activeConnection,
                     int32_t cursorType, int32_t lockType, const std::vector<Variant>& parameters) {
  if (state_->open) raiseAdo(adErrObjectOpen, kRecordsetSource);
  ConnectionState& conn = *activeConnection.state_;
  if (!conn.isOpen()) raiseAdo(adErrInvalidConnection, kRecordsetSource);
  if (cursorType == adOpenUnspecified) cursorType = adOpenForwardOnly;
  if (cursorType == adOpenDynamic) cursorType = adOpenKeyset;
  if (cursorType != adOpenForwardOnly && cursorType != adOpenKeyset && cursorType != adOpenStatic)
    raiseAdo(adErrInvalidArgument, kRecordsetSource);
  if (conn.cursorLocation == adUseClient) cursorType = adOpenStatic;
  if (lockType == adLockUnspecified) lockType = adLockReadOnly;
  if (lockType == adLockPessimistic || lockType == adLockBatchOptimistic)
    lockType = adLockOptimistic;
  if (lockType != adLockReadOnly && lockType != adLockOptimistic)
    raiseAdo(adErrInvalidArgument, kRecordsetSource);

  std::string text(source);
  if (auto table = sql::tableNameOf(source)) {
    const bool bare = conn.session->provider() == Provider::kPostgres && !table->quoted;
    text = "SELECT * FROM " + (bare ? table->name : sql::quoteIdentifier(table->name));
  }
  conn.session->setCommandTimeout(conn.commandTimeout);
  auto statement = conn.session->prepare(text, parameters);
  state_->start(conn.session, std::move(statement), std::string(source), cursorType, lockType);
}

void Recordset::Close() {
  if (!state_->open) raiseAdo(adErrObjectClosed, kRecordsetSource);
  // Rows this record set queued are answered before it closes: a refused one
  // fails the Close.
  const bool queued = state_->currentDeferred && state_->currentQueued;
  state_->close();
  if (queued && state_->session->isOpen()) state_->session->flushQueued();
}

int32_t Recordset::State() const {
  return state_->open && state_->session->isOpen() ? adStateOpen : adStateClosed;
}
int32_t Recordset::CursorType() const { return state_->cursorType; }
int32_t Recordset::LockType() const { return state_->lockType; }
int32_t Recordset::EditMode() const {
  state_->checkOpen();
  return state_->editMode;
}
const std::string& Recordset::Source() const { return state_->source; }

bool Recordset::Eof() const { return state_->eof(); }
bool Recordset::Bof() const { return state_->bof(); }
void Recordset::MoveNext() { state_->moveNext(); }

void Recordset::MovePrevious() {
  RecordsetState& s = *state_;
  s.checkOpen();
  if (!s.materialised) raiseAdo(adErrFeatureNotAvailable, kRecordsetSource);
  s.ensureFetched();
  if (s.editMode != adEditNone) s.update();
  if (s.bof()) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  s.endChunksExcept(-1);
  --s.position;
}

void Recordset::MoveFirst() {
  RecordsetState& s = *state_;
  s.checkOpen();
  s.ensureFetched();
  if (s.editMode != adEditNone) s.update();
  if (!s.materialised) {
    if (s.position != 0) raiseAdo(adErrFeatureNotAvailable, kRecordsetSource);
    return;
  }
  s.endChunksExcept(-1);
  s.position = 0;
}

void Recordset::MoveLast() {
  RecordsetState& s = *state_;
  s.checkOpen();
  if (!s.materialised) raiseAdo(adErrFeatureNotAvailable, kRecordsetSource);
  s.ensureFetched();
  if (s.editMode != adEditNone) s.update();
  if (s.rows.empty()) raiseAdo(adErrNoCurrentRecord, kRecordsetSource);
  s.endChunksExcept(-1);
  s.position = static_cast<int64_t>(s.rows.size()) - 1;
}

int64_t Recordset::RecordCount() const {
  RecordsetState& s = *state_;
  s.checkOpen();
  if (!s.materialised) return -1;
  s.ensureFetched();
  return static_cast<int64_t>(s.rows.size());
}

void Recordset::AddNew() { state_->addNew(); }
void Recordset::Update() { state_->update(); }
void Recordset::CancelUpdate() { state_->cancelUpdate(); }

db::Fields& Recordset::Fields() {
  state_->checkOpen();
  return state_->fields;
}

}  // namespace bq::db
