// Error numbers, texts and sources of the data-access layer, in one table.
//
// ADO's own errors carry 0x800A0000 + the ErrorValueEnum value (3706 becomes
// 0x800A0E7A, written as the signed number -2146824582), with ADO's text and
// the source "ADODB.Connection", "ADODB.Recordset" or "ADODB.Field". Errors of
// a provider carry the OLE DB result code that the provider would return
// (0x80040E14 for a statement the database refuses, 0x80040E4D for a wrong
// database password ...) with the database's own text and the provider's
// source:
//
//   sealed files (the Jet provider)  "BQ Sealed Database Engine"
//   plain SQLite files               "BQ OLE DB Provider for SQLite"
//   PostgreSQL                       "BQ OLE DB Provider for PostgreSQL"
//
// SQLite errors show SQLite's message; PostgreSQL errors show the server's
// primary message followed by " (SQLSTATE xxxxx)". The numbers:
//
//   cause                                SQLite           PostgreSQL SQLSTATE
//   kIntegrityViolation  constraint      SQLITE_CONSTRAINT class 23
//   kQueryTimeout        CommandTimeout  SQLITE_INTERRUPT  57014
//   kNoSuchTable         missing table   "no such table"   42P01
//   kDataOverflow        too long        SQLITE_TOOBIG     22001
//   kNotValidPassword    password        (sealed files)    class 28, failed login
//   kCommandFailed       refused SQL     other SQLITE_ERROR any other
//   kProviderFailed      the database    everything else   class 08, 57P, no answer
//                        cannot be used
//
// and, from the layer itself, kParameterMissing (fewer values than
// placeholders), kNoCommand (empty statement), kMultipleStepErrors (a value
// that does not convert for its field), kConcurrencyViolation (the row to
// update is gone) and kBadConnectionString.
//
// Thread safety: constants and pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "common/automation_error.h"

namespace bq::db {

// ErrorValueEnum values (ADO's own errors) as ADO reports them.
inline constexpr int32_t adoNumber(int32_t value) {
  return static_cast<int32_t>(0x800A0000u | static_cast<uint32_t>(value));
}
inline constexpr int32_t adErrInvalidArgument = adoNumber(3001);
inline constexpr int32_t adErrNoCurrentRecord = adoNumber(3021);
inline constexpr int32_t adErrIllegalOperation = adoNumber(3219);
inline constexpr int32_t adErrFeatureNotAvailable = adoNumber(3251);
inline constexpr int32_t adErrItemNotFound = adoNumber(3265);
inline constexpr int32_t adErrDataConversion = adoNumber(3421);
inline constexpr int32_t adErrObjectClosed = adoNumber(3704);
inline constexpr int32_t adErrObjectOpen = adoNumber(3705);
inline constexpr int32_t adErrProviderNotFound = adoNumber(3706);
inline constexpr int32_t adErrInvalidConnection = adoNumber(3709);

// OLE DB result codes that the providers report.
inline constexpr int32_t kProviderFailed = static_cast<int32_t>(0x80004005u);  // E_FAIL
inline constexpr int32_t kNoCommand = static_cast<int32_t>(0x80040E0Cu);       // DB_E_NOCOMMAND
inline constexpr int32_t kParameterMissing =
    static_cast<int32_t>(0x80040E10u);  // DB_E_PARAMNOTOPTIONAL
inline constexpr int32_t kCommandFailed =
    static_cast<int32_t>(0x80040E14u);  // DB_E_ERRORSINCOMMAND
inline constexpr int32_t kMultipleStepErrors =
    static_cast<int32_t>(0x80040E21u);  // DB_E_ERRORSOCCURRED
inline constexpr int32_t kIntegrityViolation =
    static_cast<int32_t>(0x80040E2Fu);  // DB_E_INTEGRITYVIOLATION
inline constexpr int32_t kQueryTimeout =
    static_cast<int32_t>(0x80040E31u);  // DB_E_ABORTLIMITREACHED
inline constexpr int32_t kConcurrencyViolation =
    static_cast<int32_t>(0x80040E38u);  // DB_E_CONCURRENCYVIOLATION
inline constexpr int32_t kNoSuchTable = static_cast<int32_t>(0x80040E37u);  // DB_E_NOTABLE
inline constexpr int32_t kNotValidPassword =
    static_cast<int32_t>(0x80040E4Du);                                       // DB_SEC_E_AUTH_FAILED
inline constexpr int32_t kDataOverflow = static_cast<int32_t>(0x80040E57u);  // DB_E_DATAOVERFLOW
inline constexpr int32_t kBadConnectionString =
    static_cast<int32_t>(0x80040E73u);  // DB_E_BADINITSTRING

// Sources.
inline constexpr const char* kConnectionSource = "ADODB.Connection";
inline constexpr const char* kRecordsetSource = "ADODB.Recordset";
inline constexpr const char* kFieldSource = "ADODB.Field";
inline constexpr const char* kSealedSource = "BQ Sealed Database Engine";
inline constexpr const char* kSqliteSource = "BQ OLE DB Provider for SQLite";
inline constexpr const char* kPostgresSource = "BQ OLE DB Provider for PostgreSQL";

// ADO's text for one of the adErr... numbers above.
std::string adoErrorText(int32_t number);

// Throws ADO's error `number` with its text and `source`.
[[noreturn]] void raiseAdo(int32_t number, const char* source);

// The 3251 error of an update on a recordset that cannot be updated.
[[noreturn]] void raiseNotUpdatable();

// The text of kNotValidPassword, as the Jet engine words it.
inline constexpr const char* kNotValidPasswordText = "Not a valid password.";
inline constexpr const char* kTimeoutText = "Query timeout expired";
// kConcurrencyViolation: an INSERT or UPDATE that reached no row.
inline constexpr const char* kRowNotLocatedText =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";
inline constexpr const char* kMultipleStepText =
    "Multiple-step operation generated errors. Check each status value.";

}  // namespace bq::db
