// GetOleData on arbitrary field content, read from a real SQLite database.
//
// Whatever the field holds, the export must either write a file or fail with
// an AutomationError and leave the earlier file as it was; a field that the
// checked block-sequence reader accepts must export to exactly its data.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "dbmaint/block_stream.h"
#include "platform/db/connection.h"
#include "scoring/field_export.h"

namespace {

namespace fs = std::filesystem;

struct Harness {
  fs::path dir;
  bq::db::Connection db;

  Harness() {
    char tmpl[] = "/tmp/bq-field-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir = tmpl;
    std::ofstream(dir / "f.db");
    db.Open("Provider=SQLite;Data Source=" + (dir / "f.db").string() + ";");
    db.createTable("t", {{"id", bq::db::adInteger, 0, true, true},
                         {"fj", bq::db::adLongVarBinary, 0, false, false}});
  }
  ~Harness() {
    db.Close();
    fs::remove_all(dir);
  }
};

std::vector<uint8_t> content(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness h;
  const bq::ByteArray field(data, data + size);
  h.db.Execute("DELETE FROM t");
  h.db.Execute("INSERT INTO t (id, fj) VALUES (1, ?)", std::vector<bq::Variant>{field});
  bq::db::Recordset rs;
  rs.Open("SELECT fj FROM t WHERE id = 1", h.db);

  const fs::path out = h.dir / "out.doc";
  const std::vector<uint8_t> before{'o', 'l', 'd'};
  std::ofstream(out, std::ios::binary).write("old", 3);
  bool exported = false;
  try {
    exported = bq::GetOleData(rs, out.string(), "fj");
  } catch (const bq::AutomationError&) {
    if (content(out) != before) std::abort();  // a failure changed the file
  }
  try {
    std::vector<uint8_t> expected = bq::expandBlockSequence(field);
    if (!exported || content(out) != expected) std::abort();
  } catch (const bq::AutomationError&) {
    // The checked reader also refuses a stream with bytes after its end,
    // which the export accepts as the original did: nothing to compare.
  }
  return 0;
}
