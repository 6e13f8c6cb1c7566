// Column types: declared types of SQLite schemas and PostgreSQL types, as ADO
// type codes (DataTypeEnum) with the DefinedSize that ADO reports, and back.
//
// SQLite, declared type -> ADO (names compared without regard to case; a
// size in parentheses gives DefinedSize where the type has one). The names are
// those of the Jet SQL dialect, so that a schema written for the original
// engine reads the same here:
//
//   Text(n) Char(n) VarChar(n) NChar(n) NVarChar(n) Character(n)
//   String(n) Alphanumeric(n)                     adVarWChar 202, n (255 without n)
//   Text (no size) Memo LongText LongChar Note
//   NText Clob                                    adLongVarWChar 203
//   Byte TinyInt Integer1                         adUnsignedTinyInt 17
//   SmallInt Short Integer2 Int2                  adSmallInt 2
//   Integer Int Long Integer4 Int4 MediumInt
//   Counter AutoIncrement AutoNumber              adInteger 3
//   BigInt Int8 Integer8                          adBigInt 20
//   Real Single Float4 IEEESingle                 adSingle 4
//   Double Float Float8 IEEEDouble Number
//   Double Precision                              adDouble 5
//   Currency Money                                adCurrency 6
//   DateTime Date Time Timestamp                  adDate 7
//   Bit Boolean Bool Logical Logical1 YesNo       adBoolean 11
//   GUID UniqueIdentifier UUID                    adGUID 72
//   Decimal Numeric Dec                           adNumeric 131
//   Binary(n)                                     adBinary 128, n (255)
//   VarBinary(n)                                  adVarBinary 204, n (255)
//   LongBinary OLEObject General Image Blob
//   LongVarBinary                                 adLongVarBinary 205
//
// ("Text" without a size is a memo, as in Jet 4 through OLE DB; "Real" is the
// 4-byte Single, as in Jet.) Other names follow SQLite's affinity rules: a
// name containing INT is adInteger; CHAR, CLOB or TEXT adVarWChar (with a size)
// or adLongVarWChar; BLOB adLongVarBinary; REAL, FLOA or DOUB adDouble;
// anything else adNumeric. A column without a declared type (an expression)
// has no type here (adEmpty); the recordset takes it from the first value.
//
// PostgreSQL, type -> ADO: smallint 2, integer 3, bigint 20, real 4,
// double precision 5, numeric 131, money 6, boolean 11, varchar(n) 202 n,
// char(n) 130 n, text/name/json/xml and types this table does not know 203,
// bytea 205, date 133, time 134, timestamp and timestamptz 135, uuid 72.
//
// DefinedSize, as ADO reports it: 2 for adSmallInt and adBoolean, 4 for
// adInteger and adSingle, 8 for adDouble, adCurrency, adDate and adBigInt, 1
// for adUnsignedTinyInt, 16 for adGUID and adDBTimeStamp, 6 for adDBDate and
// adDBTime, 19 for adNumeric, the size for the sized text and binary types,
// 536870910 for adLongVarWChar and adLongVarChar (Jet's memo) and 1073741823
// for adLongVarBinary.
//
// Back, ADO type -> declared type for CREATE TABLE:
//
//   ADO type            SQLite                 PostgreSQL
//   2                   SmallInt               smallint
//   3                   Integer                integer
//   4                   Real                   real
//   5                   Double                 double precision
//   6                   Currency               money
//   7, 133, 135         DateTime               timestamp (7, 135), date (133)
//   134                 DateTime               time
//   11                  Boolean                boolean
//   17                  TinyInt                smallint
//   20                  BigInt                 bigint
//   72                  GUID                   uuid
//   14, 131             Decimal                numeric
//   128                 Binary(n)              bytea
//   204                 VarBinary(n)           bytea
//   205                 LongBinary             bytea
//   129, 200, 202       VarChar(n)             varchar(n)
//   130                 Char(n)                char(n)
//   201, 203            LongText               text
// Text columns get a case-insensitive collation (textCollation()). Any other
// code is declared as Integer / integer, as the backup module's schema copy
// declares unknown types as LONG.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bq::db {

struct FieldType {
  int32_t type = 0;
  int32_t definedSize = 0;
  friend bool operator==(const FieldType&, const FieldType&) = default;
};

// The ADO type of a SQLite declared type (as sqlite3_column_decltype gives it).
FieldType sqliteFieldType(std::string_view declared);

// The ADO type of a PostgreSQL column of type `oid` with type modifier `typmod`
// (as PQftype and PQfmod give them).
FieldType postgresFieldType(uint32_t oid, int32_t typmod);

// Declared type text for a column of ADO type `type` and size `definedSize`,
// without collation.
std::string sqliteDeclaredType(int32_t type, int32_t definedSize);
std::string postgresDeclaredType(int32_t type, int32_t definedSize);

// DefinedSize of a type whose size is fixed (0 for the sized ones).
int32_t fixedDefinedSize(int32_t type);

inline constexpr int32_t kMemoDefinedSize = 536870910;
inline constexpr int32_t kLongBinaryDefinedSize = 1073741823;

// Groups of ADO types.
bool isTextType(int32_t type);       // 129 130 200 201 202 203
bool isSizedTextType(int32_t type);  // 129 130 200 202
bool isBinaryType(int32_t type);     // 128 204 205
bool isLongType(int32_t type);       // 201 203 205
bool isWideTextType(int32_t type);   // 130 202 203: ActualSize counts 2 bytes per UTF-16 unit

// Name of the collation that makes text compare without regard to case:
// NOCASE in SQLite; in PostgreSQL bq_nocase, a nondeterministic ICU collation
// created by kPostgresCollationSql.
inline constexpr const char* kSqliteTextCollation = "NOCASE";
inline constexpr const char* kPostgresTextCollation = "bq_nocase";
inline constexpr const char* kPostgresCollationSql =
    "CREATE COLLATION IF NOT EXISTS bq_nocase "
    "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)";

}  // namespace bq::db
