#include "platform/db/dao.h"

#include <gtest/gtest.h>

#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"

namespace bq::db::dao {
namespace {

using dbtest::errorOf;
using dbtest::kFastSeal;

constexpr const char* kComponentPassword = "PWQZHN4172";
const std::string kLocale =
    std::string(";LANGID=0x0409;CP=1252;COUNTRY=0;PWD=") + kComponentPassword;
const std::string kConnect = std::string(";PWD=") + kComponentPassword;

class DaoTest : public ::testing::Test {
 protected:
  std::string jet() const {
    return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_ +
           ";Jet OLEDB:Database Password=" + kComponentPassword + ";";
  }
  // The temporary database as the backup module builds it: tables by SQL, one
  // of them with an ALTER for its seventh column, rows in one of them.
  void build() {
    Database db = engine_.CreateDatabase(path_, kLocale, 0, kFastSeal);
    db.Close();
    Connection c;
    c.Open(jet());
    c.Execute(
        "Create Table wordtest (id LONG NOT NULL, tg Memo NOT NULL, fj LongBinary NOT NULL, "
        "da Char(4) NOT NULL, Score Double NOT NULL, Born DateTime NOT NULL)");
    c.Execute("Alter Table wordtest Add tmlx Char(1) NOT NULL");
    c.Execute("Create Table MSysKeep (x Char(3) NOT NULL)");
    c.Execute("Create Table topics (topic_id Char(2) NOT NULL)");
    c.Execute("CREATE INDEX topics_id ON topics (topic_id)");
    c.Execute("INSERT INTO topics VALUES ('01'), ('02')");
    c.Close();
  }
  // RelaxTempSchema: a default for every field, none required.
  void relax() {
    Database db = engine_.OpenDatabase(path_, dbOpenExclusive, false, kConnect);
    std::vector<TableDef> defs = db.TableDefs();
    for (TableDef& t : defs) {
      if (t.Name().rfind("MS", 0) == 0) continue;
      for (Field& f : t.Fields()) {
        if (f.Type() == dbText || f.Type() == dbMemo) {
          f.setDefaultValue("\"\"");
          f.setAllowZeroLength(true);
        } else {
          f.setDefaultValue("0");
        }
        f.setRequired(false);
      }
    }
    db.Close();
  }

  dbtest::TempFolder folder_;
  std::string path_ = (folder_ / "dbsTemp.MDB").string();
  DBEngine engine_;
};

TEST_F(DaoTest, TableDefinitionsReadAsDaoTypes) {
  build();
  Database db = engine_.OpenDatabase(path_, dbOpenShared, true, kConnect);
  std::vector<TableDef> defs = db.TableDefs();
  ASSERT_EQ(defs.size(), 3u);
  EXPECT_EQ(defs[0].Name(), "MSysKeep");
  EXPECT_EQ(defs[1].Name(), "topics");
  TableDef& w = defs[2];
  struct Expect {
    const char* name;
    int16_t type;
    int32_t size;
  };
  const Expect fields[] = {{"id", dbLong, 4},  {"tg", dbMemo, 0},      {"fj", dbLongBinary, 0},
                           {"da", dbText, 4},  {"Score", dbDouble, 8}, {"Born", dbDate, 8},
                           {"tmlx", dbText, 1}};
  ASSERT_EQ(w.Fields().size(), std::size(fields));
  for (size_t i = 0; i < std::size(fields); ++i) {
    SCOPED_TRACE(fields[i].name);
    Field& f = w.Fields()[i];
    EXPECT_EQ(f.Name(), fields[i].name);
    EXPECT_EQ(f.Type(), fields[i].type);
    EXPECT_EQ(f.Size(), fields[i].size);
    EXPECT_TRUE(f.Required());
    EXPECT_EQ(f.DefaultValue(), "");
    EXPECT_EQ(f.AllowZeroLength(), fields[i].type == dbText || fields[i].type == dbMemo);
  }
  EXPECT_EQ(errorOf([&] { w.Fields("nothing"); }).number(), 3265);
  // Opened read-only: nothing can be written.
  EXPECT_THROW(db.Execute("INSERT INTO topics VALUES ('03')"), AutomationError);
  db.Close();
}

TEST_F(DaoTest, RelaxedTablesTakeRowsWithMissingValuesAndKeepTheirRows) {
  build();
  relax();
  Database db = engine_.OpenDatabase(path_, dbOpenExclusive, false, kConnect);
  std::vector<TableDef> defs = db.TableDefs();
  for (Field& f : defs[2].Fields()) {
    SCOPED_TRACE(f.Name());
    EXPECT_FALSE(f.Required());
    EXPECT_EQ(f.DefaultValue(), f.Type() == dbText || f.Type() == dbMemo ? "\"\"" : "0");
  }
  EXPECT_TRUE(defs[0].Fields()[0].Required());  // "MS" tables are left alone
  db.Close();

  Connection c;
  c.Open(jet());
  Recordset rs;
  rs.Open("Select * From wordtest", c, adOpenKeyset, adLockOptimistic);
  rs.AddNew();
  rs.Fields()["tg"].setValue(std::string(""));
  rs.Update();
  EXPECT_EQ(rs.Fields()["id"].Value(), Variant(int32_t{0}));
  EXPECT_EQ(rs.Fields()["da"].Value(), Variant(""));
  EXPECT_EQ(rs.Fields()["Born"].Value(), Variant(Date{0}));
  Recordset topics = c.Execute("SELECT count(*) FROM topics WHERE topic_id = '01'");
  EXPECT_EQ(variantText(topics.Fields()[0].Value()), "1");
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM sqlite_schema WHERE name = 'topics_id'")
                            .Fields()[0]
                            .Value()),
            "1");
  c.Close();
}

TEST_F(DaoTest, FieldPropertiesChangeTheColumnAtOnce) {
  build();
  Database db = engine_.OpenDatabase(path_, dbOpenExclusive, false, kConnect);
  TableDef topics = db.TableDefs()[1];
  Field& id = topics.Fields("TOPIC_ID");
  id.setAllowZeroLength(false);
  EXPECT_FALSE(id.AllowZeroLength());
  EXPECT_THROW(db.Execute("INSERT INTO topics VALUES ('')"), AutomationError);
  id.setDefaultValue("\"say \"\"hi\"\"\"");
  EXPECT_EQ(id.DefaultValue(), "\"say \"\"hi\"\"\"");
  id.setRequired(false);
  db.Execute("INSERT INTO topics DEFAULT VALUES");
  EXPECT_FALSE(db.TableDefs()[1].Fields()[0].AllowZeroLength());

  TableDef w = db.TableDefs()[2];
  EXPECT_EQ(errorOf([&] { w.Fields("Score").setAllowZeroLength(true); }).number(), 3219);
  EXPECT_EQ(errorOf([&] { w.Fields("Score").setDefaultValue("Rnd()"); }).number(), 3388);
  w.Fields("Born").setDefaultValue("Now()");
  EXPECT_EQ(w.Fields("Born").DefaultValue(), "Now()");
  w.Fields("Score").setDefaultValue("-1.5");
  EXPECT_EQ(w.Fields("Score").DefaultValue(), "-1.5");
  w.Fields("Score").setDefaultValue("");
  EXPECT_EQ(w.Fields("Score").DefaultValue(), "");
  db.Close();

  Connection c;
  c.Open(jet());
  Recordset rs = c.Execute("SELECT topic_id FROM topics WHERE topic_id = 'SAY \"HI\"'");
  EXPECT_FALSE(rs.Eof());
  c.Close();
}

TEST_F(DaoTest, OpeningFailsWithDaoNumbers) {
  build();
  EXPECT_EQ(errorOf([&] { engine_.CreateDatabase(path_, kLocale, 0, kFastSeal); }).number(), 3204);
  EXPECT_EQ(errorOf([&] { engine_.OpenDatabase(path_, 1, false, ";PWD=wrong"); }).number(), 3031);
  EXPECT_EQ(errorOf([&] { engine_.OpenDatabase(path_ + "x", 1, false, kConnect); }).number(), 3024);
  Database exclusive = engine_.OpenDatabase(path_, dbOpenExclusive, false, kConnect);
  EXPECT_EQ(errorOf([&] { engine_.OpenDatabase(path_, dbOpenShared, false, kConnect); }).number(),
            3045);
  Connection c;
  const AutomationError busy = errorOf([&] { c.Open(jet()); });
  EXPECT_EQ(busy.number(), kProviderFailed);
  EXPECT_EQ(busy.description(), "Could not use '" + path_ + "'; file already in use.");
  // Written and closed, the file is free again, and the lock followed the new file.
  exclusive.Execute("CREATE TABLE more (x Long)");
  exclusive.Close();
  c.Open(jet());
  Database shared = engine_.OpenDatabase(path_, dbOpenShared, false, kConnect);
  EXPECT_EQ(shared.TableDefs().size(), 4u);
  shared.Close();
  c.Close();
  EXPECT_EQ(passwordOf(";LANGID=0x0409;CP=1252;pwd=a b"), "a b");
  EXPECT_EQ(passwordOf(";LANGID=0x0409"), "");
}

}  // namespace
}  // namespace bq::db::dao
