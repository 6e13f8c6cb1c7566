// bqdb: maintenance of exam databases and of the files kept in them.
//
//   bqdb build SRC OUT --password P [--no-stability]
//                                 the exam database made from the readable
//                                 source folder SRC (dbmaint/exam_source.h),
//                                 with the answer key computed from its
//                                 question documents and model answers
//                                 (tools/bqmark/answer_key.h), sealed under P;
//                                 prints the key's points per role and
//                                 question, and every task point LibreOffice
//                                 cannot keep
//   bqdb blocks compress IN OUT   IN's bytes as a block sequence
//   bqdb blocks expand IN OUT     the data of the block sequence IN, checked
//   bqdb seal PLAIN SEALED --password P
//                                 the SQLite database PLAIN as a sealed database
//   bqdb unseal SEALED PLAIN --password P
//                                 the SQLite image of the sealed database SEALED
//   bqdb query CONNECTION SQL [--param VALUE]...
//                                 runs SQL on the database that the ADO
//                                 connection string CONNECTION names, with "?"
//                                 placeholders bound to the values in order (as
//                                 text); prints each row as one JSON object per
//                                 line, column names as keys in column order.
//                                 Values: null, true/false, numbers (integers,
//                                 doubles, Currency and decimal columns as
//                                 exact decimal numbers), dates as text
//                                 "YYYY-MM-DD HH:MM:SS[.fff]", text as
//                                 strings, bytes as base64 strings (RFC 4648,
//                                 with padding). A statement without rows
//                                 prints nothing. Nothing is printed unless the
//                                 whole statement succeeds.
//   bqdb backup CONNECTION OUT --table T... [--where W] [--delete]
//                                 the tables T of the live database
//                                 CONNECTION written to the backup file OUT
//                                 (DbBackup, dbmaint/db_backup.h)
//   bqdb restore CONNECTION IN --table T... [--where W] [--keep-rows]
//                [--select-backup S...] [--select-live S...]
//                                 the tables T of the backup file (or sealed
//                                 database) IN written back to CONNECTION
//                                 (DbRestore)
//   For both, a sealed database is the live database when CONNECTION names
//   the Jet provider. The progress shows as two bars on standard error, the
//   messages there too, then one line per table; the exit status is 0 only
//   when every table was done.
//
// Paths may be Windows paths (C:\BQTEST\x.doc) or POSIX paths. OUT appears
// only when the command succeeds: it is written beside itself under a
// temporary name, flushed to disk and renamed into place, and on any failure
// the temporary file is removed and an existing OUT is left as it was. A
// failure prints one line "bqdb: <command>: <reason>" on stderr and exits 1.
//
// Each group of subcommands is added by its own add...Commands function.

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/db_backup.h"
#include "dbmaint/db_common.h"
#include "dbmaint/exam_database.h"
#include "platform/db/connection.h"
#include "platform/db/value.h"
#include "platform/ui/progress_canvas.h"
#include "tools/bqmark/answer_key.h"

namespace {

namespace fs = std::filesystem;

// Runs `body` and turns any failure into the one-line message and exit code 1.
int runCommand(const std::string& name, const std::function<void()>& body) {
  try {
    body();
    return 0;
  } catch (const bq::AutomationError& e) {
    std::fprintf(stderr, "bqdb: %s: %s\n", name.c_str(), e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bqdb: %s: %s\n", name.c_str(), e.what());
  }
  return 1;
}

using StreamFunction = bq::BlockStreamCounts (*)(const bq::ByteSource&, const bq::ByteSink&);

// Runs `step` on `path`; a failure is told with the path and what was being done.
template <typename F>
decltype(auto) onFile(const char* action, const std::string& path, F&& step) {
  try {
    return std::forward<F>(step)();
  } catch (const bq::AutomationError& e) {
    throw bq::AutomationError(e.number(), e.source(),
                              std::string(action) + " \"" + path + "\": " + e.description());
  }
}

// IN through `transform` into OUT, replacing OUT only on success.
void transformFile(const std::string& in, const std::string& out, StreamFunction transform) {
  bq::InputFile input =
      onFile("cannot open", in, [&] { return bq::InputFile(bq::winpath::toNative(in)); });
  bq::AtomicOutput output =
      onFile("cannot write", out, [&] { return bq::AtomicOutput(bq::winpath::toNative(out)); });
  transform(
      [&](std::span<uint8_t> buf) {
        return onFile("cannot read", in, [&] { return input.read(buf); });
      },
      [&](std::span<const uint8_t> bytes) {
        onFile("cannot write", out, [&] { output.write(bytes); });
      });
  onFile("cannot replace", out, [&] { output.commit(); });
}

void addBlocksCommands(CLI::App& app, int& status) {
  CLI::App* blocks =
      app.add_subcommand("blocks", "Compressed block files (question files, backup bodies)");
  blocks->require_subcommand(1);

  struct Direction {
    const char* name;
    const char* help;
    StreamFunction transform;
  };
  static const Direction directions[] = {
      {"compress", "Write IN's bytes to OUT as a sequence of compressed blocks",
       &bq::compressBlockStream},
      {"expand", "Write the data of the compressed blocks in IN to OUT; any damaged block fails",
       &bq::expandBlockStream},
  };
  for (const Direction& d : directions) {
    CLI::App* sub = blocks->add_subcommand(d.name, d.help);
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    sub->add_option("IN", *in, "File to read")->required();
    sub->add_option("OUT", *out, "File to write (replaced only on success)")->required();
    sub->callback([&status, d, in, out] {
      status = runCommand(std::string("blocks ") + d.name,
                          [&] { transformFile(*in, *out, d.transform); });
    });
  }
}

void addBuildCommand(CLI::App& app, int& status) {
  CLI::App* sub =
      app.add_subcommand("build", "Build the sealed exam database OUT from the source folder SRC");
  auto src = std::make_shared<std::string>();
  auto out = std::make_shared<std::string>();
  auto password = std::make_shared<std::string>();
  sub->add_option("SRC", *src, "Source folder (tables/*.tsv and the question files)")->required();
  sub->add_option("OUT", *out, "Database to write (replaced only on success)")->required();
  sub->add_option("--password", *password, "Password of the sealed database")->required();
  auto noStability = std::make_shared<bool>(false);
  sub->add_flag("--no-stability", *noStability,
                "Do not open and save the documents with LibreOffice to find the answer key's "
                "unstable points");
  sub->callback([&status, src, out, password, noStability] {
    status = runCommand("build", [&] {
      // The answer key is computed from the question documents and model
      // answers by the scoring library's extractors (tools/bqmark/answer_key.h).
      bq::ExamSource source = bq::readExamSource(bq::winpath::toNative(*src));
      bq::mark::KeyBuildOptions options;
      options.stabilityCheck = !*noStability;
      options.report = [](const std::string& line) {
        std::printf("bqdb: build: %s\n", line.c_str());
        std::fflush(stdout);
      };
      source.tables.push_back(bq::mark::answerKeyTable(source, options));
      bq::buildExamDatabase(source, *out, *password);
    });
  });
}

void addSealCommands(CLI::App& app, int& status) {
  struct Direction {
    const char* name;
    const char* help;
    const char* in;
    const char* out;
    void (*run)(const std::string&, const std::string&, const std::string&);
  };
  static const Direction directions[] = {
      {"seal", "Write the SQLite database PLAIN to SEALED as a sealed database", "PLAIN", "SEALED",
       [](const std::string& in, const std::string& out, const std::string& password) {
         bq::db::sealDatabaseFile(in, out, password);
       }},
      {"unseal", "Write the SQLite image of the sealed database SEALED to PLAIN", "SEALED", "PLAIN",
       [](const std::string& in, const std::string& out, const std::string& password) {
         bq::db::unsealDatabaseFile(in, out, password);
       }},
  };
  for (const Direction& d : directions) {
    CLI::App* sub = app.add_subcommand(d.name, d.help);
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto password = std::make_shared<std::string>();
    sub->add_option(d.in, *in, "Database to read")->required();
    sub->add_option(d.out, *out, "Database to write (replaced only on success)")->required();
    sub->add_option("--password", *password, "Password of the sealed database")->required();
    sub->callback([&status, d, in, out, password] {
      status = runCommand(d.name, [&] { d.run(*in, *out, *password); });
    });
  }
}

std::string base64(const bq::ByteArray& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint32_t>(bytes[i]) << 16 |
                       (i + 1 < bytes.size() ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                       (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    out += digits[n >> 18 & 63];
    out += digits[n >> 12 & 63];
    out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

// True when `s` is a number as JSON writes one.
bool isJsonNumber(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  if (s[i] == '0' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))
    return false;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  }
  return i == s.size();
}

std::string jsonString(const std::string& s) {
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string jsonValue(const bq::Variant& v, int32_t type) {
  using bq::db::formatCurrency;
  return std::visit(
      [&](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bq::Empty> || std::is_same_v<T, bq::Null>)
          return "null";
        else if constexpr (std::is_same_v<T, bool>)
          return x ? "true" : "false";
        else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                           std::is_same_v<T, int32_t>)
          return std::to_string(x);
        else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          if (!std::isfinite(x)) return jsonString(bq::db::variantText(v));
          return nlohmann::json(x).dump();
        } else if constexpr (std::is_same_v<T, bq::Currency>)
          return formatCurrency(x);
        else if constexpr (std::is_same_v<T, bq::Date>)
          return jsonString(bq::db::formatDate(x.days));
        else if constexpr (std::is_same_v<T, std::string>) {
          const bool numeric =
              type == bq::db::adBigInt || type == bq::db::adNumeric || type == bq::db::adDecimal;
          return numeric && isJsonNumber(x) ? x : jsonString(x);
        } else if constexpr (std::is_same_v<T, bq::ByteArray>)
          return "\"" + base64(x) + "\"";
        else
          return "null";
      },
      v.value());
}

void addQueryCommand(CLI::App& app, int& status) {
  CLI::App* sub =
      app.add_subcommand("query", "Run SQL on a database and print its rows as JSON lines");
  auto connection = std::make_shared<std::string>();
  auto sql = std::make_shared<std::string>();
  auto params = std::make_shared<std::vector<std::string>>();
  sub->add_option("CONNECTION", *connection, "ADO connection string")->required();
  sub->add_option("SQL", *sql, "Statement, with ? placeholders")->required();
  sub->add_option("--param", *params, "Value of the next placeholder (text)");
  sub->callback([&status, connection, sql, params] {
    status = runCommand("query", [&] {
      bq::db::Connection c;
      c.Open(*connection);
      std::vector<bq::Variant> values(params->begin(), params->end());
      bq::db::Recordset rs = c.Execute(*sql, values);
      std::string out;
      if (rs.State() == bq::db::adStateOpen) {
        bq::db::Fields& fields = rs.Fields();
        for (; !rs.Eof(); rs.MoveNext()) {
          out += '{';
          for (int32_t i = 0; i < fields.Count(); ++i) {
            bq::db::Field& f = fields[i];
            if (i) out += ',';
            out += jsonString(f.Name()) + ':' + jsonValue(f.Value(), f.Type());
          }
          out += "}\n";
        }
        rs.Close();
      }
      c.Close();
      std::fwrite(out.data(), 1, out.size(), stdout);
    });
  });
}

// Prints the outcome of every table; 0 when all were done.
int tableOutcome(const char* command, const bq::dbmaint::MaintenanceReport& report) {
  for (const auto& t : report.tables) {
    if (t.done)
      std::fprintf(stderr, "bqdb: %s: %s: %lld rows\n", command, t.table.c_str(),
                   static_cast<long long>(t.rows));
    else
      std::fprintf(stderr, "bqdb: %s: %s: not done: %s\n", command, t.table.c_str(),
                   t.problem.c_str());
  }
  if (!report.problem.empty())
    std::fprintf(stderr, "bqdb: %s: %s\n", command, report.problem.c_str());
  return report.allDone() ? 0 : 1;
}

// Stores CONNECTION as the live database; a sealed file is an MDB.
void useLiveDatabase(const std::string& connection) {
  const bool mdb =
      bq::db::ConnectionString::parse(connection).provider() == bq::db::Provider::kSealed;
  bq::dbmaint::SetConnStr(connection, mdb);
}

void addMaintenanceCommands(CLI::App& app, int& status) {
  struct Options {
    std::string connection, file, where;
    std::vector<std::string> tables, selectBackup, selectLive;
    bool flag = false;
  };
  auto backup = std::make_shared<Options>();
  CLI::App* b =
      app.add_subcommand("backup", "Back up tables of a live database into a backup file");
  b->add_option("CONNECTION", backup->connection, "ADO connection string of the live database")
      ->required();
  b->add_option("OUT", backup->file, "Backup file to write (replaced only when complete)")
      ->required();
  b->add_option("--table", backup->tables, "Table to back up (plain name; repeat for more)")
      ->required();
  b->add_option("--where", backup->where,
                "SQL appended to each table's query and delete, as it stands (begin it with a "
                "space: \" Where ...\")");
  b->add_flag("--delete", backup->flag,
              "Delete the backed-up rows (only with --where, only for tables backed up whole)");
  b->callback([&status, backup] {
    int outcome = 0;
    status = runCommand("backup", [&] {
      useLiveDatabase(backup->connection);
      bq::ui::ConsoleProgressCanvas all("all"), table("table");
      outcome =
          tableOutcome("backup", bq::dbmaint::DbBackup(&all, &table, backup->tables, backup->file,
                                                       backup->where, backup->flag));
    });
    if (status == 0) status = outcome;
  });

  auto restore = std::make_shared<Options>();
  CLI::App* r =
      app.add_subcommand("restore", "Restore tables of a backup file into a live database");
  r->add_option("CONNECTION", restore->connection, "ADO connection string of the live database")
      ->required();
  r->add_option("IN", restore->file, "Backup file, or sealed database, to read")->required();
  r->add_option("--table", restore->tables, "Table to restore (plain name; repeat for more)")
      ->required();
  r->add_option("--where", restore->where,
                "SQL appended to each backup-side query, as it stands (begin it with a space)");
  r->add_flag("--keep-rows", restore->flag, "Keep the live rows and add the backup rows to them");
  r->add_option("--select-backup", restore->selectBackup,
                "Text after \"Select \" of the backup-side query, one per --table");
  r->add_option("--select-live", restore->selectLive,
                "Text after \"Select \" of the live-side query, one per --table");
  r->callback([&status, restore] {
    int outcome = 0;
    status = runCommand("restore", [&] {
      for (const auto* list : {&restore->selectBackup, &restore->selectLive}) {
        if (!list->empty() && list->size() != restore->tables.size())
          throw std::runtime_error("--select-backup and --select-live need one text per --table");
      }
      auto optional = [](const std::vector<std::string>& v) {
        return v.empty() ? std::nullopt : std::optional<std::vector<std::string>>(v);
      };
      useLiveDatabase(restore->connection);
      bq::ui::ConsoleProgressCanvas all("all"), table("table");
      outcome = tableOutcome(
          "restore",
          bq::dbmaint::DbRestore(&all, &table, restore->tables, restore->file, restore->where,
                                 restore->flag, optional(restore->selectBackup),
                                 optional(restore->selectLive)));
    });
    if (status == 0) status = outcome;
  });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"bqdb: exam database maintenance"};
  app.require_subcommand(1);
  int status = 0;
  addBlocksCommands(app, status);
  addBuildCommand(app, status);
  addSealCommands(app, status);
  addQueryCommand(app, status);
  addMaintenanceCommands(app, status);
  CLI11_PARSE(app, argc, argv);
  return status;
}
