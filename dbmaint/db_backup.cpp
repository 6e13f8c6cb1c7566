#include "dbmaint/db_backup.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "dbmaint/backup_file.h"
#include "dbmaint/db_common.h"
#include "dbmaint/record_copy.h"
#include "platform/db/ado.h"
#include "platform/db/value.h"
#include "platform/ui/ui.h"

namespace bq::dbmaint {
namespace {

constexpr const char* kNotPlainName =
    "the table name is not a plain identifier (ASCII letters, digits and _ only)";

// Rows between two redraws of a table's progress: about a hundred redraws.
struct TableProgress {
  explicit TableProgress(int64_t rows) : total(std::max<int64_t>(rows, 1)), step(total / 100 + 1) {}
  void after(int64_t count, PictureArg picture) const {
    if (count % step == 0)
      ShowProgress(picture,
                   static_cast<float>(static_cast<double>(count) / static_cast<double>(total)));
  }
  int64_t total;
  int64_t step;
};

// Opens `select` forward-only and read-only, and counts its rows first.
//
// A static cursor would count them as well, but would hold every row of the
// table in memory; the count query keeps the memory of a copy flat. Inside a
// transaction both statements see the same rows.
int64_t openCounted(db::Recordset& rs, db::Connection& c, const std::string& select) {
  int64_t rows = 0;
  {
    db::Recordset count = c.Execute("Select Count(*) From (" + select + ") bq_rows");
    rows = std::stoll(db::variantText(count.Fields()[0].Value()));
    count.Close();
  }
  rs.Open(select, c, db::adOpenForwardOnly, db::adLockReadOnly, db::adOptionUnspecified);
  return rows;
}

const std::string& item(const std::vector<std::string>& list, size_t i) {
  if (i >= list.size()) raiseError(err::kSubscript);
  return list[i];
}

float share(size_t i, size_t n) { return static_cast<float>(static_cast<double>(i) / n); }

void tableMessage(const char* heading, const std::string& table, const std::string& reason) {
  ui::MsgBox(std::string(heading) + "\r\n\r\n[" + table + "]\r\n" + reason, ui::vbExclamation);
}

bool regularFileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(winpath::toNative(path), ec);
}

// ---------------------------------------------------------------- backup

// The rows of a source record set read on a thread of their own, while the
// calling thread adds them to the destination: the values of the fields a
// RecordCopier copies, handed over kBatchRows rows (or kBatchBytes bytes of
// values) at a time, with at most kBatches batches waiting, so memory does
// not grow with the table. The record set belongs to the reading thread
// until the feed is destroyed, which stops and joins it.
class RowFeed {
 public:
  struct Row {
    std::vector<Variant> values;
    std::optional<AutomationError> unread;  // reading a value failed: the row is left out
    std::exception_ptr after;               // what moving on to the next row threw
  };

  RowFeed(db::Recordset& source, std::vector<int32_t> fields)
      : source_(source),
        fields_(std::move(fields)),
        thread_([this](std::stop_token stop) { read(stop); }) {}

  // The next row; false at the end. Rethrows what the reading thread could
  // not hand over as a row.
  bool next(Row& row) {
    if (at_ == current_.size()) {
      current_.clear();
      at_ = 0;
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !batches_.empty() || ended_; });
      if (batches_.empty()) {
        if (failure_) std::rethrow_exception(failure_);
        return false;
      }
      current_ = std::move(batches_.front());
      batches_.pop_front();
      changed_.notify_all();
    }
    row = std::move(current_[at_++]);
    return true;
  }

 private:
  static constexpr size_t kBatchRows = 256;
  static constexpr size_t kBatchBytes = 1u << 20;
  static constexpr size_t kBatches = 4;

  static size_t sizeOf(const Variant& v) {
    if (v.is<std::string>()) return v.as<std::string>().size();
    if (v.is<ByteArray>()) return v.as<ByteArray>().size();
    return sizeof(Variant);
  }

  // Hands `batch` over; false when the feed is being stopped.
  bool handOver(std::vector<Row>& batch, std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, stop, [&] { return batches_.size() < kBatches; });
    if (stop.stop_requested()) return false;
    batches_.push_back(std::move(batch));
    batch.clear();
    changed_.notify_all();
    return true;
  }

  void read(std::stop_token stop) {
    std::exception_ptr failure;
    try {
      std::vector<Row> batch;
      size_t bytes = 0;
      bool more = true;
      while (more && !stop.stop_requested() && !source_.Eof()) {
        Row row;
        row.values.reserve(fields_.size());
        try {
          for (int32_t j : fields_) {
            row.values.push_back(source_.Fields()[j].Value());
            bytes += sizeOf(row.values.back());
          }
        } catch (const AutomationError& e) {
          row.unread = e;
        }
        try {
          source_.MoveNext();
        } catch (...) {
          row.after = std::current_exception();
          more = false;
        }
        batch.push_back(std::move(row));
        if (batch.size() >= kBatchRows || bytes >= kBatchBytes) {
          if (!handOver(batch, stop)) return;
          bytes = 0;
        }
      }
      if (!batch.empty() && !handOver(batch, stop)) return;
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    failure_ = failure;
    ended_ = true;
    changed_.notify_all();
  }

  db::Recordset& source_;
  const std::vector<int32_t> fields_;
  std::vector<Row> current_;  // the batch being copied, from at_ on
  size_t at_ = 0;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::vector<Row>> batches_;
  bool ended_ = false;
  std::exception_ptr failure_;
  std::jthread thread_;  // last: it starts at once and uses the members above
};

struct CopiedTable {
  bool whole = false;  // every selected row went into the temporary database
};

// Copies the rows of `select` into table `table` of the temporary database.
CopiedTable copyIntoBackup(db::Connection& live, db::Connection& temp, const std::string& table,
                           const std::string& select, PictureArg SubDoingPic, TableResult& r) {
  CopiedTable copied;
  db::Recordset source;
  AutomationError why(0, "", "");
  int64_t rows = 0;
  if (!guarded([&] { rows = openCounted(source, live, select); }, &why)) {
    r.problem = why.description();
    return copied;
  }
  const TableProgress progress(rows);
  db::Recordset destination;
  // Forward-only: the copy only adds rows, and a keyset cursor would keep
  // every added row in memory.
  bool whole = guarded(
      [&] {
        destination.Open("Select * From " + table, temp, db::adOpenForwardOnly,
                         db::adLockOptimistic, db::adOptionUnspecified);
        // One transaction per table: the temporary database is written once.
        temp.BeginTrans();
      },
      &why);
  int64_t count = 0;
  if (whole) {
    RecordCopier copier(source, destination);
    const bool read = guarded(
        [&] {
          if (source.Eof()) return;
          // The source is read on another thread meanwhile (RowFeed).
          RowFeed feed(source, copier.sourceFields());
          RowFeed::Row row;
          while (feed.next(row)) {
            AutomationError failure(0, "", "");
            if (row.unread) {
              // As a record whose value could not be read while it was copied.
              if (whole) why = *row.unread;
              whole = false;
            } else if (copier.copyValues(row.values, &failure)) {
              ++r.rows;
            } else {
              // The record is left out; the next one must not inherit its pending change.
              if (whole) why = failure;
              whole = false;
              guarded([&] { destination.CancelUpdate(); });
            }
            if (row.after) std::rethrow_exception(row.after);
            progress.after(++count, SubDoingPic);
          }
        },
        &why);
    whole = whole && read;
    if (!guarded([&] { temp.CommitTrans(); }, &why)) {
      whole = false;
      r.rows = 0;
      guarded([&] { temp.RollbackTrans(); });
    }
  }
  guarded([&] { destination.Close(); });
  guarded([&] { source.Close(); });
  if (!whole) r.problem = why.description();
  copied.whole = whole;
  return copied;
}

// ---------------------------------------------------------------- restore

// Deletes the temporary database at `path` (when not empty) on leaving the scope.
class TempDatabaseRemoval {
 public:
  explicit TempDatabaseRemoval(std::string path) : path_(std::move(path)) {}
  TempDatabaseRemoval(const TempDatabaseRemoval&) = delete;
  TempDatabaseRemoval& operator=(const TempDatabaseRemoval&) = delete;
  ~TempDatabaseRemoval() {
    if (path_.empty()) return;
    try {
      DeleteFileOrWarn(path_);
    } catch (...) {
      // Its message could not be shown; the file stays, to be replaced next time.
    }
  }

 private:
  std::string path_;
};

std::string refusedProblem(Expansion expansion) {
  switch (expansion) {
    case Expansion::kTooLarge:
      return "the backup file expands past the bound: nothing was restored";
    case Expansion::kNoSpace:
      return "no room to expand the backup file: nothing was restored";
    default:
      return "the backup file is damaged: nothing was restored";
  }
}

std::string quoted(const std::string& name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// Leaves the backup side only its stored tables, inside a transaction that
// the caller rolls back when the restore is done, so the file never changes.
//
// Reading a stored table costs time in proportion to the rows it holds,
// which the database's bounded size bounds. What is set aside computes its
// rows as they are read, at a cost the file chooses: views (a recursive one
// can take hours for few rows), virtual tables, and tables with columns
// generated when read. DbBackup never writes any of them. Selection texts of
// the caller's that name them then fail as a missing table would.
// False, with the reason in `why`, when they cannot be set aside.
bool keepOnlyStoredTables(db::Connection& backup, AutomationError* why) {
  return guarded(
      [&] {
        struct Item {
          std::string type, name;
          bool virtualTable;  // stored nowhere: a table without pages of its own
        };
        std::vector<Item> items;
        {
          db::Recordset rs = backup.Execute(
              "Select type, name, rootpage = 0 From sqlite_master Where type In ('table', 'view')");
          for (; !rs.Eof(); rs.MoveNext()) {
            const std::string type = db::variantText(rs.Fields()[0].Value());
            items.push_back({type, db::variantText(rs.Fields()[1].Value()),
                             type == "table" && db::variantText(rs.Fields()[2].Value()) == "1"});
          }
          rs.Close();
        }
        backup.BeginTrans();
        // Virtual tables first: dropping one drops the tables that keep its data.
        std::stable_partition(items.begin(), items.end(),
                              [](const Item& i) { return i.virtualTable; });
        for (const Item& item : items) {
          if (item.type == "view") {
            backup.Execute("Drop View If Exists " + quoted(item.name), nullptr,
                           db::adExecuteNoRecords);
            continue;
          }
          bool computed = item.virtualTable;
          if (!computed) {
            // A table dropped with a virtual table before it is gone.
            db::Recordset rs = backup.Execute(
                "Select Count(*) From sqlite_master Where type = 'table' And name = ?",
                std::vector<Variant>{item.name});
            const bool present = db::variantText(rs.Fields()[0].Value()) != "0";
            rs.Close();
            if (!present) continue;
            // Column kind 2 of table_xinfo: generated when read (3: stored).
            rs = backup.Execute("Select Count(*) From pragma_table_xinfo(?) Where hidden = 2",
                                std::vector<Variant>{item.name});
            computed = db::variantText(rs.Fields()[0].Value()) != "0";
            rs.Close();
          }
          if (computed) {
            backup.Execute("Drop Table If Exists " + quoted(item.name), nullptr,
                           db::adExecuteNoRecords);
          }
        }
      },
      why);
}

}  // namespace

bool MaintenanceReport::allDone() const {
  return ran && problem.empty() &&
         std::all_of(tables.begin(), tables.end(), [](const TableResult& t) { return t.done; });
}

namespace {

// The temporary database, built afresh with the layouts of the tables.
void buildTempDatabase(PictureArg DoingPic, const std::string& tmp,
                       const std::vector<std::string>& aTbl) {
  DeleteFileOrWarn(tmp);
  setVisible(DoingPic, true);
  ShowProgress(DoingPic, 0);
  const size_t n = aTbl.size() > 0 ? aTbl.size() - 1 : 0;
  CreateTempDatabase(tmp);
  for (size_t i = 0; i < aTbl.size(); ++i) {
    CopyTableSchema(tmp, aTbl[i]);
    if (n > 0) ShowProgress(DoingPic, share(i, n));
  }
}

// The two ends of a backup's copy, each absent when it could not be opened.
struct BackupEnds {
  std::optional<db::Connection> live;
  std::optional<db::Connection> temp;
  AutomationError liveFailure{0, "", ""};
  // The live side keeps one snapshot from the first copied row to the last
  // deleted one, so that the rows deleted are those the copy saw.
  bool snapshot = false;
};

BackupEnds openBackupEnds(const std::string& tmp, bool deleting, MaintenanceReport& report) {
  BackupEnds ends;
  if (!guarded(
          [&] {
            ends.live = OpenLiveConnection();
            ends.live->setCommandTimeout(120);
          },
          &ends.liveFailure)) {
    ends.live.reset();
    report.problem = ends.liveFailure.description();
  }
  guarded([&] { ends.temp = OpenMdbConnection(tmp); });
  if (deleting && ends.live) {
    ends.snapshot = guarded([&] {
      ends.live->setIsolationLevel(db::adXactRepeatableRead);
      ends.live->BeginTrans();
    });
  }
  return ends;
}

// Copies the selected rows of every table; for each, whether all of them came.
std::vector<bool> copyTables(BackupEnds& ends, PictureArg DoingPic, PictureArg SubDoingPic,
                             const std::vector<std::string>& aTbl, const std::string& tmp,
                             const std::string& cWhere, MaintenanceReport& report) {
  const size_t count = aTbl.size();
  const size_t n = count > 0 ? count - 1 : 0;
  std::vector<bool> whole(count, false);
  for (size_t i = 0; i < count; ++i) {
    TableResult& r = report.tables[i];
    if (!isPlainIdentifier(aTbl[i])) {
      r.problem = kNotPlainName;
    } else if (!ends.live) {
      r.problem = "the live database cannot be opened: " + ends.liveFailure.description();
    } else if (!ends.temp) {
      r.problem = std::string("the temporary database cannot be opened: ") + tmp;
    } else {
      whole[i] = copyIntoBackup(*ends.live, *ends.temp, aTbl[i],
                                "Select * From " + aTbl[i] + cWhere, SubDoingPic, r)
                     .whole;
    }
    if (n > 0) guarded([&] { ShowProgress(DoingPic, share(i, n)); });
  }
  return whole;
}

// Saves the temporary database and packs it into the backup file; true when
// the backup file was written. Rows that never reached the temporary
// database's file must not become a backup file holding none of them in place
// of the previous one.
bool writeBackupFile(PictureArg DoingPic, std::optional<db::Connection>& temp,
                     const std::string& tmp, const std::string& cFile, std::vector<bool>& whole,
                     MaintenanceReport& report) {
  AutomationError why(0, "", "");
  const bool saved = !temp || guarded([&] { temp->Close(); }, &why);
  temp.reset();
  bool written = false;
  if (!saved) {
    std::fill(whole.begin(), whole.end(), false);
    for (TableResult& r : report.tables) {
      r.rows = 0;
      if (r.problem.empty())
        r.problem = "the temporary database was not saved: " + why.description();
    }
  } else {
    guarded([&] { written = CompressFile(DoingPic, tmp, cFile, &why); }, &why);
  }
  if (!written) {
    report.problem = "the backup file was not written: " + why.description();
    ui::MsgBox(
        std::string(kBackupNotWrittenMessage) + "\r\n\r\n[" + cFile + "]\r\n" + why.description(),
        ui::vbExclamation);
  }
  return written;
}

// A table backed up whose rows stay in the live database after all.
void notDeleted(MaintenanceReport& report, size_t i, const std::string& reason) {
  TableResult& r = report.tables[i];
  r.done = false;
  r.problem = "backed up, but not deleted: " + reason;
}

// Deletes from the live database the rows of every table backed up whole,
// each table in a transaction of its own inside the copy's snapshot, which is
// committed only when the backup file was written.
void deleteCopiedRows(BackupEnds& ends, const std::vector<std::string>& aTbl,
                      const std::string& cWhere, MaintenanceReport& report) {
  db::Connection& live = *ends.live;
  AutomationError why(0, "", "");
  for (size_t i = 0; i < aTbl.size(); ++i) {
    if (!report.tables[i].done) continue;
    std::string reason;
    if (!ends.snapshot) {
      reason = "no transaction could be started on the live database";
    } else {
      const bool deleted = guarded(
          [&] {
            live.BeginTrans();
            live.Execute("Delete From " + aTbl[i] + cWhere, nullptr,
                         db::adCmdText | db::adExecuteNoRecords);
            live.CommitTrans();
          },
          &why);
      if (!deleted) {
        if (live.transactionLevel() > 1) guarded([&] { live.RollbackTrans(); });
        reason = why.description();
      }
    }
    if (!reason.empty()) {
      notDeleted(report, i, reason);
      tableMessage(kRowsNotDeletedMessage, aTbl[i], reason);
    }
  }
  if (!ends.snapshot) return;
  const bool committed = report.fileWritten ? guarded([&] { live.CommitTrans(); }, &why)
                                            : (guarded([&] { live.RollbackTrans(); }), false);
  if (report.fileWritten && !committed) {
    guarded([&] { live.RollbackTrans(); });
    for (size_t i = 0; i < aTbl.size(); ++i) {
      if (!report.tables[i].done) continue;
      notDeleted(report, i, why.description());
      tableMessage(kRowsNotDeletedMessage, aTbl[i], why.description());
    }
  }
}

// Closes the live database. A sealed live database keeps its changes until
// it is written on close: rows deleted from it are deleted only then.
void closeLive(BackupEnds& ends, bool deleting, MaintenanceReport& report) {
  AutomationError why(0, "", "");
  if (!ends.live || guarded([&] { ends.live->Close(); }, &why) || !deleting) return;
  for (size_t i = 0; i < report.tables.size(); ++i)
    if (report.tables[i].done) notDeleted(report, i, why.description());
  ui::MsgBox(std::string(kLiveNotSavedMessage) + "\r\n" + why.description(), ui::vbExclamation);
}

}  // namespace

MaintenanceReport DbBackup(PictureArg DoingPic, PictureArg SubDoingPic,
                           const std::vector<std::string>& aTbl, const std::string& cFile,
                           const std::string& cWhere, bool bDel) {
  MaintenanceReport report;
  if (connectionSettings().ConnStr.empty()) {
    ui::MsgBox(kNoConnectionMessage, ui::vbOKOnly);
    report.problem = kNoConnectionMessage;
    return report;
  }
  report.ran = true;
  for (const std::string& t : aTbl) report.tables.push_back({t, false, 0, {}});
  const std::string tmp = TempDatabasePath();
  buildTempDatabase(DoingPic, tmp, aTbl);
  setVisible(SubDoingPic, true);

  // From here on every step is guarded.
  const bool deleting = bDel && !cWhere.empty();
  BackupEnds ends = openBackupEnds(tmp, deleting, report);
  std::vector<bool> whole = copyTables(ends, DoingPic, SubDoingPic, aTbl, tmp, cWhere, report);
  guarded([&] { setVisible(SubDoingPic, false); });
  report.fileWritten = writeBackupFile(DoingPic, ends.temp, tmp, cFile, whole, report);
  for (size_t i = 0; i < aTbl.size(); ++i) report.tables[i].done = whole[i] && report.fileWritten;
  if (deleting && ends.live) deleteCopiedRows(ends, aTbl, cWhere, report);
  closeLive(ends, deleting, report);
  guarded([&] { setVisible(DoingPic, false); });
  return report;
}

namespace {

// The expanded backup (or the plain database given), open with only its
// stored tables in sight; absent, with the reason in `report`, when it
// cannot be read safely.
std::optional<db::Connection> openBackupSide(const std::string& path, const std::string& cFile,
                                             MaintenanceReport& report) {
  std::optional<db::Connection> backup;
  if (!CheckDatabaseImage(path)) {
    report.problem = "the database is too large to be opened: nothing was restored";
    return backup;
  }
  backup = OpenMdbConnection(path);
  AutomationError why(0, "", "");
  if (backup && !keepOnlyStoredTables(*backup, &why)) {
    guarded([&] { backup->Close(); });
    backup.reset();
    report.problem = "the backup holds what cannot be read safely: " + why.description();
    ui::MsgBox(
        std::string(kUnsafeBackupMessage) + "\r\n\r\n[" + cFile + "]\r\n" + why.description(),
        ui::vbOKOnly);
  }
  return backup;
}

// What one table's restore reads and writes. The column lists are looked up
// where they are used, so that a short list fails that table's read or write.
struct RestoreStep {
  const std::string& table;
  size_t index;
  const std::optional<std::vector<std::string>>& backupColumns;
  const std::optional<std::vector<std::string>>& liveColumns;
  const std::string& cWhere;
  bool keepLiveRows;

  std::string select() const {
    return backupColumns ? "Select " + item(*backupColumns, index) + cWhere
                         : "Select * From " + table + cWhere;
  }
  std::string destination() const {
    return liveColumns ? "Select " + item(*liveColumns, index) : "Select * From " + table;
  }
};

// Replaces (or adds to) the live rows of one table by those of `source`, in
// one transaction; the rows written, or throws with the table left as it was.
int64_t restoreRows(db::Connection& live, db::Recordset& source, int64_t rows,
                    const RestoreStep& step, PictureArg SubDoingPic) {
  const TableProgress progress(rows);
  int64_t written = 0;
  live.BeginTrans();
  if (!step.keepLiveRows)
    live.Execute("Delete From " + step.table, nullptr, db::adExecuteNoRecords);
  db::Recordset destination;
  destination.Open(step.destination(), live, db::adOpenForwardOnly, db::adLockOptimistic,
                   db::adOptionUnspecified);
  RecordCopier copier(source, destination);
  if (!source.Eof()) {
    // The backup side is read on another thread meanwhile (RowFeed).
    RowFeed feed(source, copier.sourceFields());
    RowFeed::Row row;
    while (feed.next(row)) {
      AutomationError failure(0, "", "");
      if (row.unread) throw *row.unread;
      if (!copier.copyValues(row.values, &failure)) throw failure;
      progress.after(++written, SubDoingPic);
      if (row.after) std::rethrow_exception(row.after);
    }
  }
  destination.Close();
  live.CommitTrans();
  return written;
}

// Restores one table; false when the backup side could not give it.
bool restoreTable(std::optional<db::Connection>& backup, db::Connection& live,
                  const RestoreStep& step, const std::string& cFile, PictureArg SubDoingPic,
                  const std::string& refusal, TableResult& r) {
  AutomationError why(0, "", "");
  db::Recordset source;
  int64_t rows = 0;
  const bool readable =
      backup && guarded([&] { rows = openCounted(source, *backup, step.select()); }, &why);
  if (!readable) {
    // As before: a table the backup cannot give is left alone, without a message.
    r.problem = backup            ? "the backup side cannot be read: " + why.description()
                : refusal.empty() ? std::string("the file is no backup and no database: ") + cFile
                                  : refusal;
    return false;
  }
  int64_t written = 0;
  if (guarded([&] { written = restoreRows(live, source, rows, step, SubDoingPic); }, &why)) {
    r.done = true;
    r.rows = written;
  } else {
    if (live.transactionLevel() > 0) guarded([&] { live.RollbackTrans(); });
    r.problem = why.description();
    tableMessage(kTableNotRestoredMessage, step.table, why.description());
  }
  guarded([&] { source.Close(); });
  return true;
}

}  // namespace

MaintenanceReport DbRestore(PictureArg DoingPic, PictureArg SubDoingPic,
                            const std::vector<std::string>& aTbl, std::string cFile,
                            const std::string& cWhere, bool bDelNotAllowed,
                            const std::optional<std::vector<std::string>>& aSel1,
                            const std::optional<std::vector<std::string>>& aSel2) {
  MaintenanceReport report;
  if (connectionSettings().ConnStr.empty()) {
    ui::MsgBox(kNoConnectionMessage, ui::vbOKOnly);
    report.problem = kNoConnectionMessage;
    return report;
  }
  const size_t count = aTbl.size();
  const size_t n = count > 0 ? count - 1 : 0;
  for (const std::string& t : aTbl) report.tables.push_back({t, false, 0, {}});
  if (cFile.empty() || !regularFileExists(cFile)) {
    report.problem = "no file to restore from: " + cFile;
    return report;
  }
  report.ran = true;
  setVisible(DoingPic, true);
  ShowProgress(DoingPic, 0);
  setVisible(SubDoingPic, true);

  std::string path = cFile;
  const Expansion expansion = ExpandFile(DoingPic, path);
  // The expanded database holds the backed-up rows and may be large: it goes
  // when the restore ends, however it ends. (Declared before the connection
  // to it, so that it outlives that connection.)
  const TempDatabaseRemoval removal(expansion == Expansion::kExpanded ? path : std::string());
  if (expansion != Expansion::kNotBackupFile && expansion != Expansion::kExpanded) {
    report.problem = refusedProblem(expansion);
    for (TableResult& r : report.tables) r.problem = report.problem;
    setVisible(DoingPic, false);
    setVisible(SubDoingPic, false);
    return report;
  }
  std::optional<db::Connection> backup = openBackupSide(path, cFile, report);
  db::Connection live = OpenLiveConnection();
  live.setCommandTimeout(300);
  live.setCursorLocation(db::adUseServer);

  for (size_t i = 0; i < count; ++i) {
    const std::string& table = aTbl[i];
    TableResult& r = report.tables[i];
    if (!isPlainIdentifier(table)) {
      r.problem = kNotPlainName;
      continue;
    }
    const bool read = restoreTable(backup, live, {table, i, aSel1, aSel2, cWhere, bDelNotAllowed},
                                   cFile, SubDoingPic, report.problem, r);
    if (read && n > 0) guarded([&] { ShowProgress(DoingPic, share(i, n)); });
  }
  if (backup) {
    // What keepOnlyStoredTables set aside comes back: the file stays as it was.
    guarded([&] { backup->RollbackTrans(); });
    guarded([&] { backup->Close(); });
  }
  AutomationError why(0, "", "");
  if (!guarded([&] { live.Close(); }, &why)) {
    // A sealed live database keeps the restored rows until it is written on close.
    for (TableResult& r : report.tables) {
      if (!r.done) continue;
      r.done = false;
      r.problem = "restored, but not saved: " + why.description();
    }
    ui::MsgBox(std::string(kLiveNotSavedMessage) + "\r\n" + why.description(), ui::vbExclamation);
  }
  setVisible(DoingPic, false);
  setVisible(SubDoingPic, false);
  return report;
}

}  // namespace bq::dbmaint
