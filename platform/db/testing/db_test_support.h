// Helpers of the data-access tests: a private folder per test, a database of
// each provider, and the PostgreSQL server of the test fixture.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/db/connection.h"

namespace bq::db::dbtest {

namespace fs = std::filesystem;

inline constexpr const char* kPassword = "KVRMTX5830";
// Cheap Argon2 settings for tests that are not about the key derivation.
inline const SealParams kFastSeal{1, 8192, 4096};

// The URI of the test server: $BQ_PG_TEST_URI, or the first line of the file
// $BQ_PG_TEST_URI_FILE (written by pg_cluster.sh); "" when neither is set.
inline std::string postgresUri() {
  if (const char* uri = std::getenv("BQ_PG_TEST_URI"); uri && *uri) return uri;
  if (const char* file = std::getenv("BQ_PG_TEST_URI_FILE"); file && *file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
  }
  return {};
}

inline std::string providerName(Provider p) {
  switch (p) {
    case Provider::kSealed:
      return "Sealed";
    case Provider::kSqlite:
      return "SQLite";
    case Provider::kPostgres:
      return "Postgres";
  }
  return "?";
}

inline std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The providers a test binary covers: the PostgreSQL server of the test
// fixture when it is built with BQ_DB_TEST_POSTGRES, else both SQLite ones.
inline std::vector<Provider> testedProviders() {
#ifdef BQ_DB_TEST_POSTGRES
  return {Provider::kPostgres};
#else
  return {Provider::kSqlite, Provider::kSealed};
#endif
}

// A private folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/bq-db-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// An empty database of `provider` for one test: a plain SQLite file, a sealed
// file under kPassword, or a schema of its own on the test server (first in
// the search path, dropped afterwards).
class TestDatabase {
 public:
  explicit TestDatabase(Provider provider) : provider_(provider) {
    switch (provider) {
      case Provider::kSqlite: {
        const fs::path file = folder_ / "test.sqlite";
        std::ofstream(file).close();  // an empty file is an empty database
        connectionString_ = "Provider=SQLite;Data Source=" + file.string() + ";";
        break;
      }
      case Provider::kSealed: {
        const fs::path file = folder_ / "test.mdb";
        createSealedDatabase(file.string(), kPassword, kFastSeal);
        connectionString_ = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
                            ";Jet OLEDB:Database Password=" + kPassword + ";";
        break;
      }
      case Provider::kPostgres: {
        const std::string uri = postgresUri();
        if (uri.empty()) throw std::runtime_error("no test server: BQ_PG_TEST_URI(_FILE) unset");
        static int counter = 0;
        schema_ = "bq_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        Connection admin;
        admin.Open(uri);
        admin.Execute("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        admin.Execute("CREATE SCHEMA " + schema_);
        admin.Close();
        connectionString_ = uri + (uri.find('?') == std::string::npos ? "?" : "&") +
                            "options=-csearch_path%3D" + schema_;
        adminUri_ = uri;
        break;
      }
    }
  }
  ~TestDatabase() {
    if (schema_.empty()) return;
    try {
      Connection admin;
      admin.Open(adminUri_);
      admin.Execute("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
      admin.Close();
    } catch (const AutomationError&) {
    }
  }

  Connection open() const {
    Connection c;
    c.Open(connectionString_);
    return c;
  }
  Provider provider() const { return provider_; }
  const std::string& connectionString() const { return connectionString_; }
  const TempFolder& folder() const { return folder_; }

 private:
  Provider provider_;
  TempFolder folder_;
  std::string connectionString_;
  std::string schema_;
  std::string adminUri_;
};

// Runs `body` and returns the AutomationError it throws; fails the test when
// it throws none.
template <typename F>
AutomationError errorOf(F&& body) {
  try {
    body();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no AutomationError was thrown";
  return AutomationError(0, "", "");
}

}  // namespace bq::db::dbtest
