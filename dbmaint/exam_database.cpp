#include "dbmaint/exam_database.h"

#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"
#include "platform/db/errors.h"

namespace bq {

namespace fs = std::filesystem;

namespace {

// The error `e` with `prefix` put before its description.
AutomationError prefixed(const std::string& prefix, const AutomationError& e) {
  return AutomationError(e.number(), e.source(), prefix + e.description());
}

std::string quoteName(std::string_view name) { return "\"" + std::string(name) + "\""; }

// Removes the file at `path` when it goes out of scope, whatever happened.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    if (!path_.empty()) {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  void set(fs::path path) { path_ = std::move(path); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Creates an empty sealed database under a fresh name beside `target`.
void createTemporaryDatabase(const fs::path& target, std::string_view password,
                             TemporaryFile& temp) {
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    fs::path candidate =
        target.parent_path() / ("." + target.filename().string() + ".build-" + suffix);
    try {
      db::createSealedDatabase(candidate.string(), password);
      temp.set(std::move(candidate));
      return;
    } catch (const AutomationError& e) {
      // 3204: another file took that name; any other failure is final.
      if (e.number() != 3204 || attempt == 15) throw;
    }
  }
}

// The value of `field` as it is stored.
Variant storedValue(const SourceValue& field) {
  if (field.storeAsBlocks) {
    if (const auto* bytes = std::get_if<ByteArray>(&field.value.value()))
      return Variant(compressBlockSequence(*bytes));
  }
  return field.value;
}

void createAndFill(db::Connection& c, const SourceTable& table) {
  std::vector<db::ColumnDefinition> columns;
  std::string names, marks;
  for (const SourceColumn& col : table.columns) {
    columns.push_back(examColumnDefinition(col));
    if (!names.empty()) {
      names += ", ";
      marks += ", ";
    }
    names += quoteName(col.name);
    marks += "?";
  }
  try {
    c.createTable(table.name, columns);
  } catch (const AutomationError& e) {
    throw prefixed(table.file + ": ", e);
  }
  const std::string insert =
      "INSERT INTO " + quoteName(table.name) + " (" + names + ") VALUES (" + marks + ")";
  std::vector<Variant> values;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    values.clear();
    for (const SourceValue& field : table.rows[r]) values.push_back(storedValue(field));
    try {
      c.Execute(insert, values);
    } catch (const AutomationError& e) {
      throw prefixed(table.file + ":" + std::to_string(table.rowLines[r]) + ": ", e);
    }
  }
}

// Copies the file `from` over `to` as a whole or not at all.
void replaceWith(const fs::path& from, const fs::path& to) {
  InputFile in(from);
  AtomicOutput out(to);
  std::vector<uint8_t> buffer(1 << 16);
  for (size_t n; (n = in.read(buffer)) != 0;) out.write(std::span(buffer.data(), n));
  out.commit();
}

}  // namespace

db::ColumnDefinition examColumnDefinition(const SourceColumn& column) {
  db::ColumnDefinition d;
  d.name = column.name;
  switch (column.type) {
    case SourceType::kChar:
      d.type = db::adWChar;
      d.definedSize = static_cast<int32_t>(column.size);
      break;
    case SourceType::kVarChar:
      d.type = db::adVarWChar;
      d.definedSize = static_cast<int32_t>(column.size);
      break;
    case SourceType::kMemo:
      d.type = db::adLongVarWChar;
      break;
    case SourceType::kLong:
      d.type = db::adInteger;
      break;
    case SourceType::kDouble:
      d.type = db::adDouble;
      break;
    case SourceType::kLongBinary:
      d.type = db::adLongVarBinary;
      break;
  }
  d.primaryKey = db::equalsNoCase(column.name, "id");
  return d;
}

void buildExamDatabase(const fs::path& sourceFolder, std::string_view outPath,
                       std::string_view password) {
  buildExamDatabase(readExamSource(sourceFolder), outPath, password);
}

void buildExamDatabase(const ExamSource& source, std::string_view outPath,
                       std::string_view password) {
  const std::string shown = "\"" + std::string(outPath) + "\": ";
  const fs::path target = winpath::toNative(outPath);
  std::error_code ec;
  if (fs::is_directory(target, ec))
    throw AutomationError(err::kPathFileAccess, kExamDatabaseSource,
                          "cannot write " + shown + runtimeErrorText(err::kPathFileAccess));

  TemporaryFile temp;  // outlives the connection, which may still write it
  try {
    createTemporaryDatabase(target, password, temp);
  } catch (const AutomationError& e) {
    throw prefixed("cannot write " + shown, e);
  }
  {
    db::Connection c;
    c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
           db::quoteConnectionValue(temp.path().string()) + ";Jet OLEDB:Database Password=" +
           db::quoteConnectionValue(password) + ";Mode=Share Exclusive;");
    for (const SourceTable& table : source.tables) createAndFill(c, table);
    try {
      c.Close();
    } catch (const AutomationError& e) {
      throw prefixed("cannot write " + shown, e);
    }
  }
  try {
    replaceWith(temp.path(), target);
  } catch (const AutomationError& e) {
    throw prefixed("cannot write " + shown, e);
  }
}

}  // namespace bq
