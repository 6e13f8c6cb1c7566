// What backup and restore stand on: the stored connection settings of the
// live database, the connections opened from them, the temporary database
// and the copy of a live table's columns into it, and two file helpers.
//
// The live database is whatever ADO connection string the caller stores with
// SetConnStr (a sealed file with bMdb true, a plain SQLite file, a PostgreSQL
// server; platform/db/connection.h). The temporary database "dbsTemp.MDB" is a
// sealed file under the component password, in the folder of the library
// file that holds this code (see TempDatabasePath).
//
// Failures: as each function says; message boxes go through this thread's
// user-interface back end (platform/ui/ui.h).
//
// Thread safety: the stored settings and the database engine are per thread
// (thread_local); everything else is created for one call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/connection.h"
#include "platform/db/dao.h"

namespace bq::dbmaint {

// The password of every database this module creates or opens by file name.
inline constexpr const char* kComponentPassword = "PWQZHN4172";
inline constexpr const char* kTempDatabaseName = "dbsTemp.MDB";

// Message texts.
inline constexpr const char* kNoConnectionMessage = "请设置数据库连接串！";
inline constexpr const char* kBadFileMessage = "出错，无效的文件格式或文件不存在！";
inline constexpr const char* kLockedFileMessage = "文件被锁住，请设法手工删除并建议重启系统！";

// The stored connection settings of this thread.
struct ConnectionSettings {
  std::string ConnStr;  // "" means not set
  bool IsMdb = false;
};
const ConnectionSettings& connectionSettings();

// Stores `cn` and `bMdb` for this thread; nothing is checked or opened.
void SetConnStr(const std::string& cn, bool bMdb);

// A new connection to the live database: client-side cursors (static) when
// IsMdb, server-side otherwise. Throws what opening throws.
db::Connection OpenLiveConnection();

// A connection to the sealed database file at `path` under the component
// password; nothing (after the message kBadFileMessage) when it cannot be
// opened.
std::optional<db::Connection> OpenMdbConnection(const std::string& path);

// Replaces any file at `path` (DeleteFileOrWarn) with an empty sealed
// database under the component password. Throws DAO's errors (3204 when the
// old file is still there).
void CreateTempDatabase(const std::string& path);

// The database at `path`, opened exclusively for writing. Throws DAO's errors.
db::dao::Database OpenTempDatabase(const std::string& path);

// Creates table `table` in the temporary database at `tempPath` with the
// columns of the live table of that name ("Create Table" with the first six
// columns, then one "Alter Table ... Add" per further column), then runs
// RelaxTempSchema. Only opening the live connection throws; every later step
// that fails is skipped. A table name that is not a plain identifier is not
// used in any statement: the table is left out.
void CopyTableSchema(const std::string& tempPath, const std::string& table);

// Gives every field of every table of the temporary database whose name does
// not begin with "MS" a default (an empty text for text and memo fields, none
// for long binary fields, else 0), lets text fields hold "", and makes every
// field optional. Stops at the
// first property the database refuses; opening the database throws.
void RelaxTempSchema(const std::string& tempPath);

// "NAME TYPE NOT NULL" for a column of ADO type `type` and size `definedSize`.
std::string ColumnDefinition(const std::string& name, int32_t type, int32_t definedSize);

// The table definition statements for `columns` (name, ADO type, size).
struct ColumnLayout {
  std::string name;
  int32_t type = 0;
  int32_t definedSize = 0;
};
std::vector<std::string> TableDefinitionStatements(const std::string& table,
                                                   const std::vector<ColumnLayout>& columns);

// Deletes the file at `path` (a Windows or POSIX path). False only when the
// file exists and is in use (a database connection holds it) or may not be
// deleted; then a message box names it. Any other failure is silent and true.
bool DeleteFileOrWarn(const std::string& path);

// `path` without its last character when that is a path separator.
std::string StripTrailingSlash(const std::string& path);

// The path of the temporary database: "dbsTemp.MDB" in the folder of the
// library file (or program) that holds this code. Where that folder cannot
// be written (an installed library), the per-user folder
// $XDG_STATE_HOME/brightquill ($HOME/.local/state/brightquill), created on
// demand; $BQ_TEMP_DATABASE_FOLDER, when set, names the folder instead.
std::string TempDatabasePath();

}  // namespace bq::dbmaint
