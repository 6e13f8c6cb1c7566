// ADO connection strings: "Key=Value;Key=Value;..." and the provider they name.
//
// Keys are compared without regard to case (ASCII) and with runs of blanks
// inside them taken as one blank ("data  source" is "Data Source"); blanks
// around keys and values are dropped. A value may be quoted with " or ',
// inside which the quote character written twice stands for itself and ";"
// loses its meaning; after the closing quote only blanks may follow. "==" in
// a key stands for "=". Empty pairs (";;") are skipped. When a key appears
// more than once, the last value counts.
//
// Providers, by the value of "Provider" (compared without regard to case):
//   Microsoft.Jet.OLEDB.4.0   a sealed database file (Data Source, and the
//                             password in "Jet OLEDB:Database Password")
//   SQLite                    a plain SQLite file (Data Source)
//   PostgreSQL                a server (Host, Port, Database, User ID,
//                             Password, Connect Timeout)
// A string that begins with "postgresql://" or "postgres://" is a libpq URI
// and names PostgreSQL without any Provider key. Keys that the provider does
// not use are ignored, as OLE DB providers ignore them.
//
// Failures: a pair without "=" or a badly quoted value throws
// kBadConnectionString ("Format of the initialization string does not
// conform to the OLE DB specification."); a missing or unknown provider
// throws adErrProviderNotFound (3706).
//
// Thread safety: value types and pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bq::db {

enum class Provider { kSealed, kSqlite, kPostgres };

class ConnectionString {
 public:
  // Parses `text`; throws as described above.
  static ConnectionString parse(std::string_view text);

  Provider provider() const { return provider_; }
  // The value of `key`, or nothing when the key is absent.
  std::optional<std::string> get(std::string_view key) const;
  // The URI of the postgresql:// form; empty for the key-value form.
  const std::string& uri() const { return uri_; }
  // Every pair in written order, keys normalised as described above.
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  Provider provider_ = Provider::kSealed;
  std::string uri_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The pairs of `text` (no provider check); throws kBadConnectionString.
std::vector<std::pair<std::string, std::string>> parseConnectionPairs(std::string_view text);

// `value` quoted for a connection string ("..." with each " doubled), so
// that ";", "=", quotes and outer blanks in a path or password keep no
// meaning there: parse() gives `value` back whole.
std::string quoteConnectionValue(std::string_view value);

// True when `a` and `b` are equal apart from ASCII case.
bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace bq::db
