#include "dbmaint/db_common.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"
#include "platform/db/ado.h"
#include "platform/db/connection.h"
#include "platform/shell/processes.h"
#include "platform/ui/ui.h"

namespace bq::dbmaint {
namespace {

namespace fs = std::filesystem;

thread_local ConnectionSettings tSettings;

// The thread's database engine, made on first use.
db::dao::DBEngine& engine() {
  thread_local db::dao::DBEngine instance;
  return instance;
}

// The locale and password argument of a new database.
std::string createArgument() {
  return std::string(";LANGID=0x0409;CP=1252;COUNTRY=0;PWD=") + kComponentPassword;
}

// The component password protects nothing: it is written in the library for
// anyone to read. A costly key derivation would only slow every open of the
// temporary database, so it gets the cheapest one.
const db::SealParams kTempSeal{1, 8192, 64u << 10};

// The image of a sealed database is worked on in memory while it is small;
// a backup's temporary database grows with the tables copied into it, so it
// is worked on in a private file from the start and memory stays flat.
//
// Of the databases opened here only the temporary database changes, and its
// seal is what keeps a backup file small: the blocks it is packed into find
// nothing to compress in an encrypted image. zlib's fastest level seals it
// in less than half the time of the default for a file about 4% larger.
std::string mdbConnectionString(const std::string& path) {
  return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
         ";Jet OLEDB:Database Password=" + kComponentPassword +
         ";Sealed Image Memory Limit=0;Sealed Compression Level=1;";
}

fs::path perUserFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
    return fs::path(state) / "brightquill";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "state" / "brightquill";
}

}  // namespace

const ConnectionSettings& connectionSettings() { return tSettings; }

void SetConnStr(const std::string& cn, bool bMdb) {
  tSettings.ConnStr = cn;
  tSettings.IsMdb = bMdb;
}

db::Connection OpenLiveConnection() {
  db::Connection c;
  c.setCursorLocation(tSettings.IsMdb ? db::adUseClient : db::adUseServer);
  c.Open(tSettings.ConnStr, "", "", db::adOptionUnspecified);
  return c;
}

std::optional<db::Connection> OpenMdbConnection(const std::string& path) {
  try {
    db::Connection c;
    c.setCursorLocation(db::adUseServer);
    c.Open(mdbConnectionString(path), "", "", db::adOptionUnspecified);
    return c;
  } catch (const AutomationError&) {
    ui::MsgBox(kBadFileMessage, ui::vbOKOnly);
    return std::nullopt;
  }
}

void CreateTempDatabase(const std::string& path) {
  if (fs::exists(winpath::toNative(path))) DeleteFileOrWarn(path);
  engine().CreateDatabase(path, createArgument(), 0, kTempSeal).Close();
}

db::dao::Database OpenTempDatabase(const std::string& path) {
  return engine().OpenDatabase(path, db::dao::dbOpenExclusive, false,
                               std::string(";PWD=") + kComponentPassword);
}

std::string ColumnDefinition(const std::string& name, int32_t type, int32_t definedSize) {
  switch (type) {
    case db::adDouble:
      return name + " Double NOT NULL";
    case db::adDate:
    case db::adDBTimeStamp:
      return name + " DateTime NOT NULL";
    case db::adChar:
    case db::adVarChar:
    case db::adVarWChar:
      return name + " Char(" + std::to_string(definedSize) + ") NOT NULL";
    case db::adLongVarChar:
    case db::adLongVarWChar:
      return name + " Memo NOT NULL";
    case db::adLongVarBinary:
      return name + " LongBinary NOT NULL";
    default:
      return name + " LONG NOT NULL";
  }
}

std::vector<std::string> TableDefinitionStatements(const std::string& table,
                                                   const std::vector<ColumnLayout>& columns) {
  constexpr size_t kCreated = 6;  // columns in the Create Table statement
  std::vector<std::string> statements;
  if (columns.empty()) return statements;
  std::string create = "Create Table " + table + " (";
  for (size_t i = 0; i < columns.size() && i < kCreated; ++i) {
    if (i) create += ", ";
    create += ColumnDefinition(columns[i].name, columns[i].type, columns[i].definedSize);
  }
  statements.push_back(create + ")");
  for (size_t i = kCreated; i < columns.size(); ++i) {
    statements.push_back(
        "Alter Table " + table + " Add " +
        ColumnDefinition(columns[i].name, columns[i].type, columns[i].definedSize));
  }
  return statements;
}

void CopyTableSchema(const std::string& tempPath, const std::string& table) {
  db::Connection live = OpenLiveConnection();
  // The table name comes from the caller and goes into statement texts.
  if (!isPlainIdentifier(table)) {
    guarded([&] { live.Close(); });
    return;
  }
  std::vector<ColumnLayout> columns;
  db::Recordset rs;
  const bool opened = guarded([&] {
    rs.Open(table, live, db::adOpenForwardOnly, db::adLockReadOnly, db::adOptionUnspecified);
  });
  if (!opened) {
    guarded([&] { live.Close(); });
    return;
  }
  guarded([&] {
    const int32_t n = rs.Fields().Count();
    for (int32_t i = 0; i < n; ++i) {
      db::Field& f = rs.Fields()[i];
      columns.push_back({f.Name(), f.Type(), f.DefinedSize()});
    }
  });
  guarded([&] { rs.Close(); });
  guarded([&] { live.Close(); });

  std::optional<db::Connection> temp = OpenMdbConnection(tempPath);
  if (temp) {
    for (const std::string& statement : TableDefinitionStatements(table, columns)) {
      guarded([&] { temp->Execute(statement, nullptr, db::adCmdText | db::adExecuteNoRecords); });
    }
    guarded([&] { temp->Close(); });
  }
  guarded([&] { RelaxTempSchema(tempPath); });
}

void RelaxTempSchema(const std::string& tempPath) {
  db::dao::Database db = OpenTempDatabase(tempPath);
  guarded([&] {
    std::vector<db::dao::TableDef> defs = db.TableDefs();
    for (db::dao::TableDef& def : defs) {
      if (def.Name().compare(0, 2, "MS") == 0) continue;
      for (db::dao::Field& field : def.Fields()) {
        if (field.Type() == db::dao::dbText || field.Type() == db::dao::dbMemo) {
          field.setDefaultValue("\"\"");
          field.setAllowZeroLength(true);
        } else if (field.Type() != db::dao::dbLongBinary) {
          field.setDefaultValue("0");
        }
        // A long binary field gets no default: a number there is no binary
        // value, and the restore could not write it back. It stays Null.
        field.setRequired(false);
      }
    }
  });
  db.Close();
}

bool DeleteFileOrWarn(const std::string& path) {
  bool result = true;
  const fs::path native = winpath::toNative(path);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(native, ec);
  if (ec || !fs::exists(status) || fs::is_directory(status)) return result;
  // A file that a connection holds is in use, as the original's locked file
  // was; unlinking it would leave the connection writing to a file that no
  // longer has a name.
  const bool inUse = db::sealedFileInUse(native);
  if (inUse || !fs::remove(native, ec)) {
    const std::errc why = inUse ? std::errc::device_or_resource_busy : std::errc(ec.value());
    if (why == std::errc::permission_denied || why == std::errc::operation_not_permitted ||
        why == std::errc::device_or_resource_busy || why == std::errc::read_only_file_system) {
      ui::MsgBox("[" + path + "]\r\n\r\n" + kLockedFileMessage, ui::vbInformation);
      result = false;
    }
  }
  return result;
}

std::string StripTrailingSlash(const std::string& path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
    return path.substr(0, path.size() - 1);
  return path;
}

std::string TempDatabasePath() {
  fs::path folder;
  if (const char* chosen = std::getenv("BQ_TEMP_DATABASE_FOLDER"); chosen && *chosen) {
    folder = chosen;
  } else {
    folder = shell::moduleFolder(reinterpret_cast<const void*>(&TempDatabasePath));
    if (folder.empty() || !canWriteIn(folder)) {
      // Backed-up rows lie in the temporary database: the folder is the user's alone.
      folder = perUserFolder();
      std::error_code ec;
      if (fs::create_directories(folder, ec))
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
  }
  return StripTrailingSlash(folder.string()) + "/" + kTempDatabaseName;
}

}  // namespace bq::dbmaint
