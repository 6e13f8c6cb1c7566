#include "platform/db/dao.h"

#include <charconv>
#include <functional>

#include "common/automation_error.h"
#include "platform/db/ado.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/recordset.h"
#include "platform/db/sql_text.h"
#include "platform/db/sqlite_session.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq::db::dao {
namespace {

constexpr const char* kEngineSource = "DAO.DBEngine";
constexpr const char* kDatabaseSource = "DAO.Database";
constexpr const char* kFieldSource = "DAO.Field";

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The provider's error as DAO numbers it, where DAO has a number for it.
[[noreturn]] void raiseDao(const AutomationError& e, const char* source) {
  const std::string& text = e.description();
  int32_t number = 0;
  if (e.number() == kNotValidPassword)
    number = 3031;
  else if (startsWith(text, "Could not find file"))
    number = 3024;
  else if (startsWith(text, "Unrecognized database format"))
    number = 3343;
  else if (text.find("file already in use") != std::string::npos)
    number = 3045;
  if (number == 0) throw e;
  throw AutomationError(number, source, text);
}

template <typename F>
decltype(auto) asDao(const char* source, F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (const AutomationError& e) {
    raiseDao(e, source);
  }
}

std::string trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

struct TypeSize {
  int16_t type;
  int32_t size;
};

TypeSize daoType(const FieldType& ft) {
  switch (ft.type) {
    case adBoolean:
      return {dbBoolean, 1};
    case adUnsignedTinyInt:
      return {dbByte, 1};
    case adSmallInt:
      return {dbInteger, 2};
    case adInteger:
      return {dbLong, 4};
    case adCurrency:
      return {dbCurrency, 8};
    case adSingle:
      return {dbSingle, 4};
    case adDouble:
      return {dbDouble, 8};
    case adDate:
      return {dbDate, 8};
    case adBinary:
    case adVarBinary:
      return {dbBinary, ft.definedSize};
    case adVarWChar:
      return {dbText, ft.definedSize};
    case adLongVarBinary:
      return {dbLongBinary, 0};
    case adLongVarWChar:
      return {dbMemo, 0};
    case adGUID:
      return {dbGUID, 16};
    case adBigInt:
      return {dbBigInt, 8};
    default:
      return {dbDecimal, 16};
  }
}

// A DefaultValue in Jet's form as an SQL default; nothing for no default.
std::optional<std::string> sqlDefault(std::string_view jet, const std::string& where) {
  const std::string v = trim(jet);
  if (v.empty()) return std::nullopt;
  auto quoted = [&](char q) -> std::optional<std::string> {
    if (v.size() < 2 || v.front() != q || v.back() != q) return std::nullopt;
    std::string inner;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == q) {
        if (i + 2 >= v.size() || v[i + 1] != q) return std::nullopt;
        ++i;
      }
      inner += v[i];
    }
    std::string out = "'";
    for (char c : inner) {
      if (c == '\'') out += '\'';
      out += c;
    }
    return out + "'";
  };
  if (auto s = quoted('"')) return s;
  if (auto s = quoted('\'')) return s;
  {
    std::string_view digits = v;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
      digits.remove_prefix(1);
    double number = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (!digits.empty() && digits.find_first_not_of("0123456789.eE+-") == std::string_view::npos &&
        ec == std::errc() && p == digits.data() + digits.size())
      return v;
  }
  if (equalsNoCase(v, "True") || equalsNoCase(v, "Yes")) return "1";
  if (equalsNoCase(v, "False") || equalsNoCase(v, "No")) return "0";
  if (equalsNoCase(v, "Null")) return "NULL";
  if (equalsNoCase(v, "Now()")) return "CURRENT_TIMESTAMP";
  if (equalsNoCase(v, "Date()")) return "CURRENT_DATE";
  if (equalsNoCase(v, "Time()")) return "CURRENT_TIME";
  throw AutomationError(
      3388, kFieldSource,
      "Unknown function or expression '" + v + "' in the default value of '" + where + "'.");
}

// An SQL default as Jet writes it.
std::string jetDefault(const std::optional<std::string>& expr) {
  if (!expr) return {};
  const std::string& e = *expr;
  if (e.size() >= 2 && e.front() == '\'' && e.back() == '\'') {
    std::string out = "\"";
    for (size_t i = 1; i + 1 < e.size(); ++i) {
      if (e[i] == '\'' && i + 2 < e.size() && e[i + 1] == '\'') ++i;
      if (e[i] == '"') out += '"';
      out += e[i];
    }
    return out + "\"";
  }
  if (equalsNoCase(e, "CURRENT_TIMESTAMP")) return "Now()";
  if (equalsNoCase(e, "CURRENT_DATE")) return "Date()";
  if (equalsNoCase(e, "CURRENT_TIME")) return "Time()";
  if (equalsNoCase(e, "NULL")) return "Null";
  return e;
}

}  // namespace

struct DatabaseState : std::enable_shared_from_this<DatabaseState> {
  std::string name;
  Connection connection;

  Session& session() { return *sessionOf(connection); }

  void fill(Field& f, const std::string& table, const sql::ColumnDef& def) {
    f.db_ = shared_from_this();
    f.table_ = table;
    f.name_ = sql::unquote(def.name);
    const FieldType ft = sqliteFieldType(def.type);
    const TypeSize ts = daoType(ft);
    f.type_ = ts.type;
    f.size_ = ts.size;
    f.defaultValue_ = jetDefault(def.defaultExpr);
    f.required_ = def.notNull;
    f.allowZeroLength_ = (ts.type == dbText || ts.type == dbMemo) && !def.nonEmptyCheck;
  }

  TableDef readTable(const std::string& table) {
    TableDef t;
    t.name_ = table;
    const auto create = sql::parseCreateTable(sqliteTableSql(session(), table));
    if (create) {
      for (const std::string& item : create->items) {
        if (sql::isTableConstraint(item)) continue;
        if (auto def = sql::parseColumnDef(item)) {
          Field f;
          fill(f, table, *def);
          t.fields_.push_back(std::move(f));
          continue;
        }
        t.fields_.clear();
        break;
      }
    }
    if (t.fields_.empty()) {
      // A definition this layer cannot take apart: read what SQLite says of it.
      Recordset rs = connection.Execute(
          "SELECT name, type, \"notnull\", dflt_value FROM pragma_table_info(?)", {table});
      for (; !rs.Eof(); rs.MoveNext()) {
        sql::ColumnDef def;
        def.name = variantText(rs.Fields()[0].Value());
        def.type = variantText(rs.Fields()[1].Value());
        def.notNull = variantText(rs.Fields()[2].Value()) == "1";
        if (!rs.Fields()[3].Value().isNull()) def.defaultExpr = variantText(rs.Fields()[3].Value());
        Field f;
        fill(f, table, def);
        t.fields_.push_back(std::move(f));
      }
    }
    return t;
  }

  void change(Field& f, const std::function<void(sql::ColumnDef&)>& edit) {
    bool found = false;
    asDao(kFieldSource, [&] {
      rebuildSqliteTable(session(), f.table_, [&](sql::CreateTable& t) {
        for (std::string& item : t.items) {
          if (sql::isTableConstraint(item)) continue;
          auto def = sql::parseColumnDef(item);
          if (!def || !equalsNoCase(sql::unquote(def->name), f.name_)) continue;
          edit(*def);
          item = sql::formatColumnDef(*def);
          found = true;
        }
        if (!found) throw AutomationError(3265, kFieldSource, "Item not found in this collection.");
      });
    });
    TableDef now = readTable(f.table_);
    Field& updated = now.Fields(f.name_);
    f.defaultValue_ = updated.defaultValue_;
    f.required_ = updated.required_;
    f.allowZeroLength_ = updated.allowZeroLength_;
  }
};

Field& TableDef::Fields(std::string_view name) {
  for (Field& f : fields_)
    if (equalsNoCase(f.Name(), name)) return f;
  throw AutomationError(3265, kDatabaseSource, "Item not found in this collection.");
}

void Field::setDefaultValue(std::string_view value) {
  const std::string where = table_ + "." + name_;
  const std::optional<std::string> expr = sqlDefault(value, where);
  db_->change(*this, [&](sql::ColumnDef& d) { d.defaultExpr = expr; });
}

void Field::setRequired(bool required) {
  db_->change(*this, [&](sql::ColumnDef& d) { d.notNull = required; });
}

void Field::setAllowZeroLength(bool allow) {
  if (type_ != dbText && type_ != dbMemo)
    throw AutomationError(3219, kFieldSource, "Invalid operation.");
  db_->change(*this, [&](sql::ColumnDef& d) { d.nonEmptyCheck = !allow; });
}

std::vector<TableDef> Database::TableDefs() {
  std::vector<std::string> names;
  asDao(kDatabaseSource, [&] {
    Recordset rs = state_->connection.Execute(
        "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE "
        "'\\' "
        "ORDER BY name COLLATE NOCASE");
    for (; !rs.Eof(); rs.MoveNext()) names.push_back(variantText(rs.Fields()[0].Value()));
  });
  std::vector<TableDef> defs;
  for (const std::string& n : names) defs.push_back(state_->readTable(n));
  return defs;
}

void Database::Execute(std::string_view sql) {
  asDao(kDatabaseSource, [&] { state_->connection.Execute(sql, nullptr, adExecuteNoRecords); });
}

void Database::Close() {
  asDao(kDatabaseSource, [&] { state_->connection.Close(); });
}

const std::string& Database::Name() const { return state_->name; }

Database DBEngine::CreateDatabase(std::string_view name, std::string_view locale, int32_t options,
                                  const SealParams& params) {
  (void)options;
  const std::string password = passwordOf(locale);
  asDao(kEngineSource, [&] { createSealedDatabase(name, password, params); });
  return OpenDatabase(name, dbOpenExclusive, false, ";PWD=" + password);
}

Database DBEngine::OpenDatabase(std::string_view name, int32_t options, bool readOnly,
                                std::string_view connect) {
  std::string mode = (options & dbOpenExclusive) ? "Share Exclusive" : "Share Deny None";
  if (readOnly) mode += "|Read";
  Database db;
  db.state_ = std::make_shared<DatabaseState>();
  db.state_->name = std::string(name);
  asDao(kEngineSource, [&] {
    db.state_->connection.Open(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + quoteConnectionValue(name) +
        ";Jet OLEDB:Database Password=" + quoteConnectionValue(passwordOf(connect)) +
        ";Mode=" + mode + ";");
  });
  return db;
}

std::string passwordOf(std::string_view argument) {
  size_t start = 0;
  for (;;) {
    const size_t semi = argument.find(';', start);
    const std::string part =
        trim(argument.substr(start, semi == std::string_view::npos ? semi : semi - start));
    if (part.size() >= 4 && equalsNoCase(std::string_view(part).substr(0, 4), "PWD="))
      return part.substr(4);
    if (semi == std::string_view::npos) return {};
    start = semi + 1;
  }
}

}  // namespace bq::db::dao
