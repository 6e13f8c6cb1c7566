// DAO: the database engine's view of a sealed database, as the backup module
// uses it: create a database, open it exclusively, walk its table
// definitions and change a field's DefaultValue, Required and AllowZeroLength.
//
// The database is a sealed file (sealed.h) worked on through the Jet provider
// (connection.h). SQLite cannot change a column in place, so each property
// change rebuilds the table with the changed column definition
// (rebuildSqliteTable: rows, indexes and triggers are kept); it takes effect
// at once, as in DAO. A field's properties map onto its column definition:
//
//   Required          NOT NULL
//   DefaultValue      DEFAULT; written in Jet's form: "" is no default, a
//                     quoted text ("abc", with "" for a quote, or 'abc'), a
//                     number, True/False/Yes/No, Null, or Now(), Date(), Time()
//                     (CURRENT_TIMESTAMP, CURRENT_DATE, CURRENT_TIME). Read
//                     back in the same form; texts come back in double quotes.
//   AllowZeroLength   text and memo fields only: false adds
//                     CHECK ("name" <> ''), true removes it. A field made by
//                     SQL DDL has none, so it allows "" (Jet reports False for
//                     such fields but does not enforce it either).
//
// Field types are DAO's (dbText 10, dbMemo 12, dbLong 4 ...), from the
// declared column types as types.h reads them.
//
// Failures throw AutomationError with DAO's numbers where DAO has one: 3204
// "Database already exists.", 3024 "Could not find file 'NAME'.", 3031 "Not a
// valid password.", 3343 "Unrecognized database format 'NAME'.", 3045 "Could
// not use 'NAME'; file already in use.", 3265 "Item not found in this
// collection.", 3219 "Invalid operation.", 3388 for a default value it cannot
// read; other failures carry the provider's error. Source "DAO.DBEngine",
// "DAO.Database" or "DAO.Field".
//
// Thread safety: a Database and what it hands out belong to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/sealed.h"

namespace bq::db::dao {

// DataTypeEnum of DAO.
inline constexpr int16_t dbBoolean = 1;
inline constexpr int16_t dbByte = 2;
inline constexpr int16_t dbInteger = 3;
inline constexpr int16_t dbLong = 4;
inline constexpr int16_t dbCurrency = 5;
inline constexpr int16_t dbSingle = 6;
inline constexpr int16_t dbDouble = 7;
inline constexpr int16_t dbDate = 8;
inline constexpr int16_t dbBinary = 9;
inline constexpr int16_t dbText = 10;
inline constexpr int16_t dbLongBinary = 11;
inline constexpr int16_t dbMemo = 12;
inline constexpr int16_t dbGUID = 15;
inline constexpr int16_t dbBigInt = 16;
inline constexpr int16_t dbDecimal = 20;

// OpenDatabase options.
inline constexpr int32_t dbOpenShared = 0;
inline constexpr int32_t dbOpenExclusive = 1;

struct DatabaseState;

class Field {
 public:
  const std::string& Name() const { return name_; }
  int16_t Type() const { return type_; }
  int32_t Size() const { return size_; }
  const std::string& DefaultValue() const { return defaultValue_; }
  bool Required() const { return required_; }
  bool AllowZeroLength() const { return allowZeroLength_; }

  void setDefaultValue(std::string_view value);
  void setRequired(bool required);
  void setAllowZeroLength(bool allow);

 private:
  friend struct DatabaseState;
  std::shared_ptr<DatabaseState> db_;
  std::string table_;
  std::string name_;
  int16_t type_ = 0;
  int32_t size_ = 0;
  std::string defaultValue_;
  bool required_ = false;
  bool allowZeroLength_ = true;
};

class TableDef {
 public:
  const std::string& Name() const { return name_; }
  // The fields in column order.
  std::vector<Field>& Fields() { return fields_; }
  // By name without regard to case; throws 3265.
  Field& Fields(std::string_view name);

 private:
  friend struct DatabaseState;
  std::string name_;
  std::vector<Field> fields_;
};

class Database {
 public:
  // The table definitions, read now, in name order.
  std::vector<TableDef> TableDefs();
  // Runs a statement that returns no rows.
  void Execute(std::string_view sql);
  // Writes a changed database and closes it; see Connection::Close.
  void Close();
  const std::string& Name() const;

 private:
  friend class DBEngine;
  std::shared_ptr<DatabaseState> state_;
};

class DBEngine {
 public:
  // Creates the sealed database `name` and opens it exclusively. `locale` is
  // DAO's locale argument; its ";PWD=..." part is the password (the language
  // settings are taken as given: the database compares text as the
  // connection layer does). `params` chooses the key derivation's cost.
  Database CreateDatabase(std::string_view name, std::string_view locale, int32_t options = 0,
                          const SealParams& params = {});
  // Opens the sealed database `name`; options dbOpenExclusive (1) or
  // dbOpenShared (0); `connect` is ";PWD=password".
  Database OpenDatabase(std::string_view name, int32_t options, bool readOnly,
                        std::string_view connect);
};

// The value of "PWD=" in a DAO locale or connect argument (";"-separated,
// key without regard to case); "" when there is none.
std::string passwordOf(std::string_view argument);

}  // namespace bq::db::dao
