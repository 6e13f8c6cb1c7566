// Backup and restore of chosen tables of the live database (the one stored
// with SetConnStr, dbmaint/db_common.h).
//
// DbBackup builds the temporary database with the same tables, copies the
// selected rows into it record by record (dbmaint/record_copy.h) and packs it
// into a backup file (dbmaint/backup_file.h). With bDel and a condition, the
// backed-up rows are then deleted from the live database: only for tables
// whose every selected row was copied, only once the backup file is in
// place, each table's delete whole or not at all, and only rows that the
// copy saw (the live side holds one transaction, at repeatable read on
// PostgreSQL, from the first row copied to the last row deleted).
//
// DbRestore expands a backup file into the temporary database (or opens a
// plain sealed database under the component password directly) and, table
// by table, deletes the live rows (unless bDelNotAllowed) and adds the
// backup rows. Each table is restored inside one transaction: when the
// backup side cannot be read, the live side refuses a record or the process
// ends before the table's commit, the live table keeps its old rows; a
// message names the table and the reason, and the next table follows.
//
// The backup side is not trusted: a backup file or database is bounded as
// dbmaint/backup_file.h says, only its stored tables are read (views,
// virtual tables and tables with columns computed when read are set aside
// for the run, and the file is not changed), and the temporary database a
// backup file was expanded into is deleted when DbRestore ends, whatever
// its result.
//
// Table names go into the statements only when they are plain identifiers
// (ASCII letters, digits, "_"); any other name is left out. cWhere, aSel1 and
// aSel2 are SQL of the caller's, appended as they stand: these are an
// administrator's tools, and the caller is trusted with the live database.
//
// Progress goes to the two picture controls; nullptr stands for an argument
// that is no picture control and fails as the first use of it does
// (AutomationError 424).
//
// Failures: the messages of the steps (kNoConnectionMessage, kBadFileMessage,
// the messages of dbmaint/backup_file.h and those below) go through this
// thread's user-interface back end. What the methods do not handle reaches
// the caller as AutomationError: for DbBackup a failure to replace or create
// the temporary database or to open the live database for the schema copy;
// for DbRestore a failure to read the file or write the temporary database,
// or to open the live database.
//
// Both copy record by record with the source's rows read on a second thread
// (a bounded number of rows ahead) while the calling thread writes them; the
// backup file's blocks are compressed on every core (dbmaint/block_stream.h).
// Progress, messages and the connections' ownership stay with the calling
// thread.
//
// Thread safety: uses this thread's stored settings and temporary database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbmaint/progress.h"

namespace bq::dbmaint {

// What became of one table.
struct TableResult {
  std::string table;
  bool done = false;    // every selected row backed up (and deleted) / restored
  int64_t rows = 0;     // rows copied into the backup / written to the live table
  std::string problem;  // why it is not done
};

struct MaintenanceReport {
  bool ran = false;          // false: no connection string, or no file to restore
  bool fileWritten = false;  // DbBackup: the backup file is in place
  std::vector<TableResult> tables;
  std::string problem;  // what stopped the whole run, when something did

  bool allDone() const;
};

// Message texts of our own, each followed by the reason where one is known.
inline constexpr const char* kBackupNotWrittenMessage =
    "出错，备份文件没有写成，原有的备份文件保持不变！";
inline constexpr const char* kTableNotRestoredMessage = "以下数据表没有恢复，原有记录保持不变：";
inline constexpr const char* kRowsNotDeletedMessage = "以下数据表的记录没有从数据库中删除：";
inline constexpr const char* kLiveNotSavedMessage = "出错，数据库的改动没有保存：";
inline constexpr const char* kUnsafeBackupMessage =
    "出错，备份中有无法安全读取的内容，没有恢复任何数据！";

MaintenanceReport DbBackup(PictureArg DoingPic, PictureArg SubDoingPic,
                           const std::vector<std::string>& aTbl, const std::string& cFile,
                           const std::string& cWhere = "", bool bDel = false);

MaintenanceReport DbRestore(PictureArg DoingPic, PictureArg SubDoingPic,
                            const std::vector<std::string>& aTbl, std::string cFile,
                            const std::string& cWhere = "", bool bDelNotAllowed = false,
                            const std::optional<std::vector<std::string>>& aSel1 = std::nullopt,
                            const std::optional<std::vector<std::string>>& aSel2 = std::nullopt);

}  // namespace bq::dbmaint
