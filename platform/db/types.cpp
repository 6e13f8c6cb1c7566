#include "platform/db/types.h"

#include <cctype>
#include <charconv>
#include <string>

#include "platform/db/ado.h"

namespace bq::db {
namespace {

struct SqliteName {
  const char* name;
  int32_t type;
  bool sized;  // takes "(n)" as DefinedSize
};

// Declared type names of the Jet dialect and their common synonyms.
constexpr SqliteName kSqliteNames[] = {
    {"TEXT", adVarWChar, true},  // without a size: memo (see sqliteFieldType)
    {"CHAR", adVarWChar, true},
    {"VARCHAR", adVarWChar, true},
    {"NCHAR", adVarWChar, true},
    {"NVARCHAR", adVarWChar, true},
    {"CHARACTER", adVarWChar, true},
    {"CHARACTER VARYING", adVarWChar, true},
    {"NATIONAL CHARACTER", adVarWChar, true},
    {"NATIONAL CHAR", adVarWChar, true},
    {"STRING", adVarWChar, true},
    {"ALPHANUMERIC", adVarWChar, true},
    {"MEMO", adLongVarWChar, false},
    {"LONGTEXT", adLongVarWChar, false},
    {"LONG TEXT", adLongVarWChar, false},
    {"LONGCHAR", adLongVarWChar, false},
    {"NOTE", adLongVarWChar, false},
    {"NTEXT", adLongVarWChar, false},
    {"CLOB", adLongVarWChar, false},
    {"BYTE", adUnsignedTinyInt, false},
    {"TINYINT", adUnsignedTinyInt, false},
    {"INTEGER1", adUnsignedTinyInt, false},
    {"SMALLINT", adSmallInt, false},
    {"SHORT", adSmallInt, false},
    {"INTEGER2", adSmallInt, false},
    {"INT2", adSmallInt, false},
    {"INTEGER", adInteger, false},
    {"INT", adInteger, false},
    {"LONG", adInteger, false},
    {"INTEGER4", adInteger, false},
    {"INT4", adInteger, false},
    {"MEDIUMINT", adInteger, false},
    {"COUNTER", adInteger, false},
    {"AUTOINCREMENT", adInteger, false},
    {"AUTONUMBER", adInteger, false},
    {"BIGINT", adBigInt, false},
    {"INT8", adBigInt, false},
    {"INTEGER8", adBigInt, false},
    {"REAL", adSingle, false},
    {"SINGLE", adSingle, false},
    {"FLOAT4", adSingle, false},
    {"IEEESINGLE", adSingle, false},
    {"DOUBLE", adDouble, false},
    {"DOUBLE PRECISION", adDouble, false},
    {"FLOAT", adDouble, false},
    {"FLOAT8", adDouble, false},
    {"IEEEDOUBLE", adDouble, false},
    {"NUMBER", adDouble, false},
    {"CURRENCY", adCurrency, false},
    {"MONEY", adCurrency, false},
    {"DATETIME", adDate, false},
    {"DATE", adDate, false},
    {"TIME", adDate, false},
    {"TIMESTAMP", adDate, false},
    {"BIT", adBoolean, false},
    {"BOOLEAN", adBoolean, false},
    {"BOOL", adBoolean, false},
    {"LOGICAL", adBoolean, false},
    {"LOGICAL1", adBoolean, false},
    {"YESNO", adBoolean, false},
    {"GUID", adGUID, false},
    {"UNIQUEIDENTIFIER", adGUID, false},
    {"UUID", adGUID, false},
    {"DECIMAL", adNumeric, false},
    {"NUMERIC", adNumeric, false},
    {"DEC", adNumeric, false},
    {"BINARY", adBinary, true},
    {"VARBINARY", adVarBinary, true},
    {"LONGBINARY", adLongVarBinary, false},
    {"OLEOBJECT", adLongVarBinary, false},
    {"GENERAL", adLongVarBinary, false},
    {"IMAGE", adLongVarBinary, false},
    {"BLOB", adLongVarBinary, false},
    {"LONGVARBINARY", adLongVarBinary, false},
};

bool contains(std::string_view hay, std::string_view needle) {
  return hay.find(needle) != std::string_view::npos;
}

FieldType withSize(int32_t type, int32_t size) {
  return {type, size > 0 ? size : fixedDefinedSize(type)};
}

// PostgreSQL type OIDs (pg_type.h).
enum : uint32_t {
  kBool = 16,
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kOid = 26,
  kFloat4 = 700,
  kFloat8 = 701,
  kMoney = 790,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestamptz = 1184,
  kNumeric = 1700,
  kUuid = 2950,
};

}  // namespace

int32_t fixedDefinedSize(int32_t type) {
  switch (type) {
    case adSmallInt:
    case adBoolean:
      return 2;
    case adInteger:
    case adSingle:
      return 4;
    case adDouble:
    case adCurrency:
    case adDate:
    case adBigInt:
      return 8;
    case adUnsignedTinyInt:
      return 1;
    case adGUID:
    case adDBTimeStamp:
      return 16;
    case adDBDate:
    case adDBTime:
      return 6;
    case adNumeric:
    case adDecimal:
      return 19;
    case adLongVarChar:
    case adLongVarWChar:
      return kMemoDefinedSize;
    case adLongVarBinary:
      return kLongBinaryDefinedSize;
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adBinary:
    case adVarBinary:
      return 255;
    default:
      return 0;
  }
}

FieldType sqliteFieldType(std::string_view declared) {
  // Split "Name words (args)" into the upper-cased name with single blanks and the first argument.
  std::string name;
  int32_t size = 0;
  bool hasSize = false;
  size_t i = 0;
  bool blank = false;
  for (; i < declared.size() && declared[i] != '('; ++i) {
    char c = declared[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = !name.empty();
      continue;
    }
    if (blank) name += ' ';
    blank = false;
    name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (i < declared.size()) {
    size_t j = i + 1;
    while (j < declared.size() && std::isspace(static_cast<unsigned char>(declared[j]))) ++j;
    long long n = 0;
    auto [p, ec] = std::from_chars(declared.data() + j, declared.data() + declared.size(), n);
    if (ec == std::errc() && n > 0 && n <= kMemoDefinedSize) {
      size = static_cast<int32_t>(n);
      hasSize = true;
    }
  }
  if (name.empty()) return {adEmpty, 0};
  for (const SqliteName& entry : kSqliteNames) {
    if (name != entry.name) continue;
    if (entry.type == adVarWChar && name == "TEXT" && !hasSize) return withSize(adLongVarWChar, 0);
    return withSize(entry.type, entry.sized && hasSize ? size : 0);
  }
  // SQLite's affinity rules for names of other dialects.
  if (contains(name, "INT")) return withSize(adInteger, 0);
  if (contains(name, "CHAR") || contains(name, "CLOB") || contains(name, "TEXT"))
    return hasSize ? withSize(adVarWChar, size) : withSize(adLongVarWChar, 0);
  if (contains(name, "BLOB")) return withSize(adLongVarBinary, 0);
  if (contains(name, "REAL") || contains(name, "FLOA") || contains(name, "DOUB"))
    return withSize(adDouble, 0);
  return withSize(adNumeric, 0);
}

FieldType postgresFieldType(uint32_t oid, int32_t typmod) {
  // varchar and char carry their length + 4 in the modifier.
  const int32_t length = typmod >= 4 ? typmod - 4 : 0;
  switch (oid) {
    case kBool:
      return withSize(adBoolean, 0);
    case kBytea:
      return withSize(adLongVarBinary, 0);
    case kInt8:
      return withSize(adBigInt, 0);
    case kInt2:
      return withSize(adSmallInt, 0);
    case kInt4:
      return withSize(adInteger, 0);
    case kOid:
      return withSize(adBigInt, 0);
    case kFloat4:
      return withSize(adSingle, 0);
    case kFloat8:
      return withSize(adDouble, 0);
    case kMoney:
      return withSize(adCurrency, 0);
    case kBpchar:
      return withSize(adWChar, length);
    case kVarchar:
      return length > 0 ? withSize(adVarWChar, length) : withSize(adLongVarWChar, 0);
    case kDate:
      return withSize(adDBDate, 0);
    case kTime:
      return withSize(adDBTime, 0);
    case kTimestamp:
    case kTimestamptz:
      return withSize(adDBTimeStamp, 0);
    case kNumeric:
      return withSize(adNumeric, 0);
    case kUuid:
      return withSize(adGUID, 0);
    default:
      return withSize(adLongVarWChar, 0);
  }
}

std::string sqliteDeclaredType(int32_t type, int32_t definedSize) {
  const std::string n = std::to_string(definedSize > 0 ? definedSize : 255);
  switch (type) {
    case adSmallInt:
      return "SmallInt";
    case adInteger:
      return "Integer";
    case adSingle:
      return "Real";
    case adDouble:
      return "Double";
    case adCurrency:
      return "Currency";
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return "DateTime";
    case adBoolean:
      return "Boolean";
    case adUnsignedTinyInt:
      return "TinyInt";
    case adBigInt:
      return "BigInt";
    case adGUID:
      return "GUID";
    case adDecimal:
    case adNumeric:
      return "Decimal";
    case adBinary:
      return "Binary(" + n + ")";
    case adVarBinary:
      return "VarBinary(" + n + ")";
    case adLongVarBinary:
      return "LongBinary";
    case adChar:
    case adVarChar:
    case adVarWChar:
      return "VarChar(" + n + ")";
    case adWChar:
      return "Char(" + n + ")";
    case adLongVarChar:
    case adLongVarWChar:
      return "LongText";
    default:
      return "Integer";
  }
}

std::string postgresDeclaredType(int32_t type, int32_t definedSize) {
  const std::string n = std::to_string(definedSize > 0 ? definedSize : 255);
  switch (type) {
    case adSmallInt:
    case adUnsignedTinyInt:
      return "smallint";
    case adInteger:
      return "integer";
    case adSingle:
      return "real";
    case adDouble:
      return "double precision";
    case adCurrency:
      return "money";
    case adDate:
    case adDBTimeStamp:
      return "timestamp";
    case adDBDate:
      return "date";
    case adDBTime:
      return "time";
    case adBoolean:
      return "boolean";
    case adBigInt:
      return "bigint";
    case adGUID:
      return "uuid";
    case adDecimal:
    case adNumeric:
      return "numeric";
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      return "bytea";
    case adChar:
    case adVarChar:
    case adVarWChar:
      return "varchar(" + n + ")";
    case adWChar:
      return "char(" + n + ")";
    case adLongVarChar:
    case adLongVarWChar:
      return "text";
    default:
      return "integer";
  }
}

bool isTextType(int32_t type) {
  return type == adChar || type == adWChar || type == adVarChar || type == adLongVarChar ||
         type == adVarWChar || type == adLongVarWChar;
}
bool isSizedTextType(int32_t type) {
  return type == adChar || type == adWChar || type == adVarChar || type == adVarWChar;
}
bool isBinaryType(int32_t type) {
  return type == adBinary || type == adVarBinary || type == adLongVarBinary;
}
bool isLongType(int32_t type) {
  return type == adLongVarChar || type == adLongVarWChar || type == adLongVarBinary;
}
bool isWideTextType(int32_t type) {
  return type == adWChar || type == adVarWChar || type == adLongVarWChar;
}

}  // namespace bq::db
