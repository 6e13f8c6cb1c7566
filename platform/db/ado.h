// The ADO enumeration values that the data-access layer takes and reports.
//
// Callers pass the numbers the original passed (cursor type 3, lock type 1,
// options -1 ...); the names are here for the port's own code and tests.
#pragma once

#include <cstdint>

namespace bq::db {

// DataTypeEnum: Field::Type().
inline constexpr int32_t adEmpty = 0;
inline constexpr int32_t adSmallInt = 2;
inline constexpr int32_t adInteger = 3;
inline constexpr int32_t adSingle = 4;
inline constexpr int32_t adDouble = 5;
inline constexpr int32_t adCurrency = 6;
inline constexpr int32_t adDate = 7;
inline constexpr int32_t adBoolean = 11;
inline constexpr int32_t adDecimal = 14;
inline constexpr int32_t adUnsignedTinyInt = 17;
inline constexpr int32_t adBigInt = 20;
inline constexpr int32_t adGUID = 72;
inline constexpr int32_t adBinary = 128;
inline constexpr int32_t adChar = 129;
inline constexpr int32_t adWChar = 130;
inline constexpr int32_t adNumeric = 131;
inline constexpr int32_t adDBDate = 133;
inline constexpr int32_t adDBTime = 134;
inline constexpr int32_t adDBTimeStamp = 135;
inline constexpr int32_t adVarChar = 200;
inline constexpr int32_t adLongVarChar = 201;
inline constexpr int32_t adVarWChar = 202;
inline constexpr int32_t adLongVarWChar = 203;
inline constexpr int32_t adVarBinary = 204;
inline constexpr int32_t adLongVarBinary = 205;

// CursorTypeEnum.
inline constexpr int32_t adOpenUnspecified = -1;
inline constexpr int32_t adOpenForwardOnly = 0;
inline constexpr int32_t adOpenKeyset = 1;
inline constexpr int32_t adOpenDynamic = 2;
inline constexpr int32_t adOpenStatic = 3;

// LockTypeEnum.
inline constexpr int32_t adLockUnspecified = -1;
inline constexpr int32_t adLockReadOnly = 1;
inline constexpr int32_t adLockPessimistic = 2;
inline constexpr int32_t adLockOptimistic = 3;
inline constexpr int32_t adLockBatchOptimistic = 4;

// CursorLocationEnum.
inline constexpr int32_t adUseServer = 2;
inline constexpr int32_t adUseClient = 3;

// ObjectStateEnum.
inline constexpr int32_t adStateClosed = 0;
inline constexpr int32_t adStateOpen = 1;

// IsolationLevelEnum.
inline constexpr int32_t adXactReadCommitted = 0x1000;
inline constexpr int32_t adXactRepeatableRead = 0x10000;
inline constexpr int32_t adXactSerializable = 0x100000;

// EditModeEnum.
inline constexpr int32_t adEditNone = 0;
inline constexpr int32_t adEditInProgress = 1;
inline constexpr int32_t adEditAdd = 2;

// Options of Open and Execute (CommandTypeEnum and ExecuteOptionEnum bits).
inline constexpr int32_t adOptionUnspecified = -1;
inline constexpr int32_t adCmdText = 1;
inline constexpr int32_t adCmdTable = 2;
inline constexpr int32_t adCmdUnknown = 8;
inline constexpr int32_t adAsyncExecute = 0x10;
inline constexpr int32_t adAsyncFetch = 0x20;
inline constexpr int32_t adExecuteNoRecords = 0x80;
inline constexpr int32_t adAsyncConnect = 0x10;  // ConnectOptionEnum

}  // namespace bq::db
