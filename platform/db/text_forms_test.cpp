// Connection strings, SQL text, declared types and value conversions.
#include <gtest/gtest.h>

#include "platform/db/ado.h"
#include "platform/db/connection_string.h"
#include "platform/db/errors.h"
#include "platform/db/sql_text.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq::db {
namespace {

using dbtest::errorOf;

// ------------------------------------------------------------ connection strings

TEST(ConnectionStringTest, ReadsKeysValuesAndProviders) {
  struct Case {
    const char* text;
    Provider provider;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"PROViDER=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\a\\BqTest.MDB;Jet OLEDB:Database "
       "Password=KVRMTX5830;",
       Provider::kSealed, "jet oledb:database password", "KVRMTX5830"},
      {"Data Source = x.mdb ; provider = microsoft.jet.oledb.4.0", Provider::kSealed, "DATA SOURCE",
       "x.mdb"},
      {"Provider=SQLite;Data  Source=\"a;b.db\"", Provider::kSqlite, "Data Source", "a;b.db"},
      {"Provider=SQLite;Data Source='it''s.db';;", Provider::kSqlite, "data source", "it's.db"},
      {"Provider=PostgreSQL;Password=\"p\"\"w\";User ID=u", Provider::kPostgres, "password",
       "p\"w"},
      {"Provider=PostgreSQL;A==B=c", Provider::kPostgres, "a=b", "c"},
      {"Provider=SQLite;Mode=Read;Mode=Share Deny None", Provider::kSqlite, "mode",
       "Share Deny None"},
      {"Provider=SQLite;Data Source=", Provider::kSqlite, "data source", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ConnectionString cs = ConnectionString::parse(c.text);
    EXPECT_EQ(cs.provider(), c.provider);
    EXPECT_EQ(cs.get(c.key).value_or("(none)"), c.value);
  }
  const ConnectionString uri = ConnectionString::parse("  postgresql://u@127.0.0.1:5/db?x=1 ");
  EXPECT_EQ(uri.provider(), Provider::kPostgres);
  EXPECT_EQ(uri.uri(), "postgresql://u@127.0.0.1:5/db?x=1");
}

TEST(ConnectionStringTest, RefusesWhatIsNotAConnectionString) {
  struct Case {
    const char* text;
    int32_t number;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source", kBadConnectionString},
      {"Provider=SQLite;=x", kBadConnectionString},
      {"Provider=SQLite;Data Source=\"open", kBadConnectionString},
      {"Provider=SQLite;Data Source=\"a\"b", kBadConnectionString},
      {"Data Source=x.mdb", adErrProviderNotFound},
      {"Provider=MSDASQL;DSN=x", adErrProviderNotFound},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=x", adErrProviderNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AutomationError e = errorOf([&] { ConnectionString::parse(c.text); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.source(), kConnectionSource);
  }
  EXPECT_EQ(adErrProviderNotFound, static_cast<int32_t>(0x800A0E7A));
  EXPECT_EQ(errorOf([] { ConnectionString::parse("Provider=x"); }).description(),
            "Provider cannot be found. It may not be properly installed.");
}

// ------------------------------------------------------------ SQL text

// Every kind of token of both dialects, as kind letters and texts.
TEST(SqlTextTest, TokenizesEachKindOfToken) {
  const struct {
    const char* sql;
    sql::Dialect dialect;
    const char* tokens;
  } cases[] = {
      {"SELECT a1, \"b\"\"c\" FROM [t x] -- note", sql::Dialect::kSqlite,
       "W[SELECT] S[ ] W[a1] p[,] S[ ] Q[\"b\"\"c\"] S[ ] W[FROM] S[ ] Q[[t x]] S[ ] C[-- note] "},
      {"x = 'it''s' /* a */ AND y<>?2", sql::Dialect::kSqlite,
       "W[x] S[ ] p[=] S[ ] s['it''s'] S[ ] C[/* a */] S[ ] W[AND] S[ ] W[y] p[<>] P[?2] "},
      {":name @v $w `q` 1.5e-3 .5", sql::Dialect::kSqlite,
       "P[:name] S[ ] P[@v] S[ ] P[$w] S[ ] Q[`q`] S[ ] N[1.5e-3] S[ ] N[.5] "},
      {"E'a\\'b' $1 $tag$ x $tag$ /* a /* b */ c */ ::int", sql::Dialect::kPostgres,
       "s[E'a\\'b'] S[ ] P[$1] S[ ] s[$tag$ x $tag$] S[ ] C[/* a /* b */ c */] S[ ] p[::] W[int] "},
      {"'open", sql::Dialect::kSqlite, "s['open] "},
  };
  const char* kinds = "SCWQsNPp";  // in the order of Token::Kind
  for (const auto& c : cases) {
    std::string got;
    for (const sql::Token& t : sql::tokenize(c.sql, c.dialect))
      got += std::string(1, kinds[static_cast<int>(t.kind)]) + "[" + std::string(t.text) + "] ";
    EXPECT_EQ(got, c.tokens) << c.sql;
  }
}

TEST(SqlTextTest, NumbersOnlyRealPlaceholders) {
  struct Case {
    const char* in;
    const char* out;
    int count;
  };
  const Case cases[] = {
      {"SELECT * FROM t WHERE a = ? AND b = ?", "SELECT * FROM t WHERE a = $1 AND b = $2", 2},
      {"SELECT '?', \"?\", E'\\'?', $$?$$, $x$ ? $x$ -- ?\n/* ? /* ? */ ? */ , ?",
       "SELECT '?', \"?\", E'\\'?', $$?$$, $x$ ? $x$ -- ?\n/* ? /* ? */ ? */ , $1", 1},
      {"SELECT 'it''s ?' || ?", "SELECT 'it''s ?' || $1", 1},
      {"SELECT a::text FROM t WHERE id = $2", "SELECT a::text FROM t WHERE id = $2", 2},
  };
  for (const Case& c : cases) {
    int count = -1;
    EXPECT_EQ(sql::numberPlaceholders(c.in, count), c.out);
    EXPECT_EQ(count, c.count) << c.in;
  }
}

TEST(SqlTextTest, TellsTableNamesFromStatements) {
  EXPECT_EQ(sql::tableNameOf(" topics ")->name, "topics");
  EXPECT_EQ(sql::tableNameOf("[Test Paper]")->name, "Test Paper");
  EXPECT_TRUE(sql::tableNameOf("\"a\"\"b\"")->quoted);
  EXPECT_EQ(sql::tableNameOf("\"a\"\"b\"")->name, "a\"b");
  for (const char* s : {"select * from t", "VACUUM", "t1, t2", "", "'t'"})
    EXPECT_FALSE(sql::tableNameOf(s)) << s;
}

TEST(SqlTextTest, TakesColumnDefinitionsApartAndBack) {
  auto t = sql::parseCreateTable(
      "CREATE TABLE IF NOT EXISTS main.\"x y\" (id INTEGER PRIMARY KEY AUTOINCREMENT, "
      "name VarChar(20) COLLATE NOCASE NOT NULL DEFAULT 'a,b', n Decimal(10, 2) DEFAULT -1, "
      "r INTEGER REFERENCES o(id) ON DELETE SET NULL, CHECK (n > 0)) WITHOUT ROWID");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->table, "x y");
  ASSERT_EQ(t->items.size(), 5u);
  EXPECT_TRUE(sql::isTableConstraint(t->items[4]));
  EXPECT_EQ(t->tail, ") WITHOUT ROWID");
  auto name = sql::parseColumnDef(t->items[1]);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->type, "VarChar(20)");
  EXPECT_EQ(name->collation, "NOCASE");
  EXPECT_TRUE(name->notNull);
  EXPECT_EQ(name->defaultExpr.value_or(""), "'a,b'");
  auto n = sql::parseColumnDef(t->items[2]);
  EXPECT_EQ(n->type, "Decimal(10, 2)");
  EXPECT_EQ(n->defaultExpr.value_or(""), "-1");
  auto r = sql::parseColumnDef(t->items[3]);
  EXPECT_FALSE(r->notNull);
  EXPECT_EQ(r->rest, "REFERENCES o(id) ON DELETE SET NULL");
  auto id = sql::parseColumnDef(t->items[0]);
  EXPECT_EQ(id->rest, "PRIMARY KEY AUTOINCREMENT");

  sql::ColumnDef def = *name;
  def.notNull = false;
  def.defaultExpr.reset();
  def.nonEmptyCheck = true;
  const std::string text = sql::formatColumnDef(def);
  EXPECT_EQ(text, "name VarChar(20) COLLATE NOCASE CHECK (\"name\" <> '')");
  EXPECT_TRUE(sql::parseColumnDef(text)->nonEmptyCheck);
  EXPECT_FALSE(sql::parseColumnDef("CONSTRAINT c CHECK (a > 0)"));
  EXPECT_FALSE(sql::parseCreateTable("CREATE TABLE t AS SELECT 1"));
  auto add = sql::parseAlterAdd("Alter Table [T 1] Add Column Extra Char(5) NOT NULL;");
  ASSERT_TRUE(add);
  EXPECT_EQ(add->table, "T 1");
  EXPECT_EQ(add->column, "Extra Char(5) NOT NULL");
}

// ------------------------------------------------------------ declared types

TEST(TypesTest, DeclaredTypesReadAsJetTypes) {
  struct Case {
    const char* declared;
    FieldType type;
  };
  const Case cases[] = {
      {"Char(20)", {adVarWChar, 20}},
      {"TEXT ( 50 )", {adVarWChar, 50}},
      {"text", {adLongVarWChar, kMemoDefinedSize}},
      {"VarChar", {adVarWChar, 255}},
      {"national character varying(9)", {adVarWChar, 9}},
      {"Memo", {adLongVarWChar, kMemoDefinedSize}},
      {"LONG", {adInteger, 4}},
      {"Integer", {adInteger, 4}},
      {"SHORT", {adSmallInt, 2}},
      {"Byte", {adUnsignedTinyInt, 1}},
      {"Real", {adSingle, 4}},
      {"Float", {adDouble, 8}},
      {"double precision", {adDouble, 8}},
      {"Currency", {adCurrency, 8}},
      {"DateTime", {adDate, 8}},
      {"YesNo", {adBoolean, 2}},
      {"Counter", {adInteger, 4}},
      {"GUID", {adGUID, 16}},
      {"Decimal(10,2)", {adNumeric, 19}},
      {"Binary(16)", {adBinary, 16}},
      {"LongBinary", {adLongVarBinary, kLongBinaryDefinedSize}},
      {"OLEObject", {adLongVarBinary, kLongBinaryDefinedSize}},
      {"UNSIGNED BIG INT", {adInteger, 4}},  // SQLite's affinity rules from here
      {"NVARCHAR2(7)", {adVarWChar, 7}},
      {"CLOBBER", {adLongVarWChar, kMemoDefinedSize}},
      {"FLOATING", {adDouble, 8}},
      {"whatever", {adNumeric, 19}},
      {"", {adEmpty, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(sqliteFieldType(c.declared), c.type) << c.declared;
  // Every declared type written for a type reads back as that type, or as
  // the type Jet would read it as.
  for (int32_t t : {adSmallInt, adInteger, adSingle, adDouble, adCurrency, adDate, adBoolean,
                    adUnsignedTinyInt, adBigInt, adGUID, adNumeric, adBinary, adVarBinary,
                    adLongVarBinary, adVarWChar, adLongVarWChar}) {
    EXPECT_EQ(sqliteFieldType(sqliteDeclaredType(t, 12)).type, t) << t;
  }
  EXPECT_EQ(postgresFieldType(1043, 24).type, adVarWChar);
  EXPECT_EQ(postgresFieldType(1043, 24).definedSize, 20);
  EXPECT_EQ(postgresFieldType(1043, -1).type, adLongVarWChar);
  EXPECT_EQ(postgresFieldType(3802, -1).type, adLongVarWChar);  // jsonb: text
}

// ------------------------------------------------------------ values

TEST(ValueTest, DatesAreDayNumbers) {
  struct Case {
    double days;
    const char* text;
  };
  const Case cases[] = {
      {0, "1899-12-30 00:00:00"},
      {1, "1899-12-31 00:00:00"},
      {45000.75, "2023-03-15 18:00:00"},
      {-1.25, "1899-12-29 06:00:00"},
      {-0.5, "1899-12-30 12:00:00"},
      {2.0 + 1.0 / 86400000, "1900-01-01 00:00:00.001"},
      {60, "1900-02-28 00:00:00"},
      {2958465, "9999-12-31 00:00:00"},
      {-657434, "0100-01-01 00:00:00"},
      {2958465.99999999, "9999-12-31 23:59:59.999"},
      {1.5 + 61.25 / 86400, "1899-12-31 12:01:01.250"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatDate(c.days), c.text) << c.days;
    EXPECT_EQ(formatDate(*parseDate(c.text)), c.text);
  }
  EXPECT_EQ(*parseDate("2023-03-15T18:00:00.000+00"), 45000.75);
  EXPECT_EQ(*parseDate("2023-03-15 18:00:00Z"), 45000.75);
  EXPECT_EQ(*parseDate("18:00"), 0.75);
  EXPECT_EQ(formatDate(0.999999999999), "1899-12-31 00:00:00");  // rounds to the next day
  for (const char* bad : {"2023-02-29", "2023-13-01", "99-01-01 00:00:00", "2023-01-01 24:00:00",
                          "2023-01-01x", "noon", "", "10000-01-01"})
    EXPECT_FALSE(parseDate(bad)) << bad;
  EXPECT_THROW(formatDate(1e9), AutomationError);
}

TEST(ValueTest, CurrencyIsExactToFourDecimals) {
  struct Case {
    const char* text;
    int64_t scaled;
  };
  const Case cases[] = {
      {"12.5", 125000},   {"-0.0001", -1},     {"1.00005", 10000},  // half to even
      {"1.00015", 10002}, {"1.000051", 10001}, {"922337203685477.5807", INT64_MAX},
      {"1e2", 1000000},   {"+3", 30000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parseCurrency(c.text).value_or(Currency{-99}).scaled, c.scaled) << c.text;
  for (const char* bad : {"922337203685477.5808", "1.2.3", "", "$1", "abc"})
    EXPECT_FALSE(parseCurrency(bad)) << bad;
  EXPECT_EQ(formatCurrency(Currency{125000}), "12.5");
  EXPECT_EQ(formatCurrency(Currency{-1}), "-0.0001");
  EXPECT_EQ(formatCurrency(Currency{INT64_MIN}), "-922337203685477.5808");
}

TEST(ValueTest, AssignmentsConvertAsTheOriginalDid) {
  struct Case {
    Variant in;
    int32_t type;
    int32_t size;
    Variant out;  // Empty: the assignment fails
  };
  const Case cases[] = {
      {2.5, adInteger, 0, int32_t{2}},
      {3.5, adInteger, 0, int32_t{4}},
      {std::string(" 42 "), adSmallInt, 0, int16_t{42}},
      {true, adInteger, 0, int32_t{-1}},
      {Currency{25000}, adSmallInt, 0, int16_t{2}},
      {int32_t{32768}, adSmallInt, 0, Variant{}},
      {int32_t{-1}, adUnsignedTinyInt, 0, Variant{}},
      {std::string("True"), adBoolean, 0, true},
      {std::string("0"), adBoolean, 0, false},
      {std::string("yes"), adBoolean, 0, Variant{}},
      {1.23456789, adCurrency, 0, Currency{12346}},
      {std::string("2023-03-15 18:00"), adDate, 0, Date{45000.75}},
      {std::string("soon"), adDate, 0, Variant{}},
      {int32_t{7}, adVarWChar, 1, std::string("7")},
      {0.1, adVarWChar, 0, std::string("0.1")},
      {Date{45000.75}, adLongVarWChar, 0, std::string("2023-03-15 18:00:00")},
      {std::string("𝄞𝄞x"), adVarWChar, 5, std::string("𝄞𝄞x")},
      {std::string("𝄞𝄞xy"), adVarWChar, 5, Variant{}},
      {ByteArray{1}, adVarWChar, 5, Variant{}},
      {std::string("ab"), adLongVarBinary, 0, Variant{}},
      {ByteArray{1, 2, 3}, adBinary, 2, Variant{}},
      {std::string("6f9619ff8b86d011b42d00c04fc964ff"), adGUID, 0,
       std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {std::string("{6F9619FF-8B86-D011-B42D-00C04FC964F}"), adGUID, 0, Variant{}},
      {2.5, adBigInt, 0, std::string("2")},
      {std::string("-12.30"), adNumeric, 0, std::string("-12.30")},
      {std::string("12,30"), adNumeric, 0, Variant{}},
      {Empty{}, adInteger, 0, Null{}},
      {VariantArray{}, adInteger, 0, Variant{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(variantText(c.in.isArray() ? Variant("(array)") : c.in) + " to " +
                 std::to_string(c.type));
    if (c.out.isEmpty()) {
      EXPECT_EQ(errorOf([&] { coerceForField(c.in, c.type, c.size, "f"); }).number(),
                kMultipleStepErrors);
    } else {
      EXPECT_EQ(coerceForField(c.in, c.type, c.size, "f"), c.out);
    }
  }
}

TEST(ValueTest, StoredValuesThatDoNotFitTheirFieldFailWhenRead) {
  using K = RawValue::Kind;
  EXPECT_EQ(toVariant(RawValue::ofInteger(70000), adInteger), Variant(int32_t{70000}));
  EXPECT_EQ(errorOf([] { toVariant(RawValue::ofInteger(70000), adSmallInt); }).number(),
            adErrDataConversion);
  EXPECT_EQ(errorOf([] { toVariant(RawValue::ofText("abc"), adDouble); }).number(),
            adErrDataConversion);
  EXPECT_EQ(errorOf([] { toVariant(RawValue::ofText("2023-02-30"), adDate); }).number(),
            adErrDataConversion);
  EXPECT_EQ(toVariant(RawValue::ofText("1234.57"), adCurrency), Variant(Currency{12345700}));
  EXPECT_EQ(toVariant(RawValue::ofInteger(5), adLongVarWChar), Variant("5"));
  EXPECT_EQ(toVariant(RawValue::ofText("t"), adBoolean), Variant(true));
  EXPECT_EQ(toVariant(RawValue{K::kNull, 0, 0, {}}, adInteger), Variant(Null{}));
  EXPECT_EQ(toVariant(RawValue::ofBlob(std::string(16, '\x11')), adGUID),
            Variant("{11111111-1111-1111-1111-111111111111}"));
}

}  // namespace
}  // namespace bq::db
