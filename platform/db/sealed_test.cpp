#include "platform/db/sealed.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/db/value.h"

namespace bq::db {
namespace {

using dbtest::errorOf;
using dbtest::kFastSeal;
using dbtest::kPassword;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes sample(size_t n, unsigned seed = 3) {
  std::mt19937 rng(seed);
  Bytes b(n);
  // Half random, half repetitive: compresses, but not to nothing.
  for (size_t i = 0; i < n; ++i) b[i] = (i / 700) % 2 ? static_cast<uint8_t>(rng()) : 'a' + i % 7;
  return b;
}

uint64_t getLe(const Bytes& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
  return v;
}

TEST(Sealed, ImagesOfEverySizeComeBackWhole) {
  // Sizes about the compressor's pieces of 1 MiB as well.
  for (size_t size : {0u, 1u, 4095u, 4096u, 200000u, 1048575u, 1048576u, 1048577u, 3157000u}) {
    SCOPED_TRACE(size);
    const Bytes image = sample(size);
    const Bytes sealed = sealImage(image, kPassword, kFastSeal);
    EXPECT_EQ(std::memcmp(sealed.data(), "BQSEALDB", 8), 0);
    EXPECT_EQ(getLe(sealed, 8, 2), 1u);
    EXPECT_EQ(getLe(sealed, 12, 4), kFastSeal.chunkSize);
    EXPECT_EQ(getLe(sealed, 16, 8), kFastSeal.opsLimit);
    EXPECT_EQ(getLe(sealed, 24, 8), kFastSeal.memLimit);
    EXPECT_EQ(getLe(sealed, 32, 8), size);
    // Chunks of C + 17 bytes but the last.
    const size_t body = sealed.size() - kSealedHeaderSize;
    EXPECT_GT(body % (kFastSeal.chunkSize + 17), 17u);
    EXPECT_EQ(unsealImage(sealed, kPassword), image);
  }
}

// Written in slices that do not fall on the compressor's pieces, at every
// kind of level.
TEST(Sealed, AnImageWrittenInSlicesComesBackAtEveryLevel) {
  const Bytes image = sample(2600000, 5);
  for (int level : {0, 1, 9, kDefaultSealLevel}) {
    SCOPED_TRACE(level);
    Bytes sealed;
    SealedWriter writer(
        SealKeys::derive(kPassword, kFastSeal), image.size(), kFastSeal.chunkSize,
        [&](std::span<const uint8_t> b) { sealed.insert(sealed.end(), b.begin(), b.end()); },
        level);
    for (size_t at = 0; at < image.size(); at += 99991)
      writer.write(
          std::span<const uint8_t>(image).subspan(at, std::min<size_t>(99991, image.size() - at)));
    writer.finish();
    EXPECT_EQ(sealed.size() > image.size(), level == 0);
    EXPECT_EQ(unsealImage(sealed, kPassword), image);
  }
}

TEST(Sealed, EachSealingUsesAFreshSaltAndStream) {
  const Bytes image = sample(1000);
  const Bytes a = sealImage(image, kPassword, kFastSeal);
  const Bytes b = sealImage(image, kPassword, kFastSeal);
  EXPECT_NE(Bytes(a.begin() + 40, a.begin() + 80), Bytes(b.begin() + 40, b.begin() + 80));
  EXPECT_NE(Bytes(a.begin() + 96, a.end()), Bytes(b.begin() + 96, b.end()));
}

TEST(Sealed, AWrongPasswordIsToldApartFromDamage) {
  const Bytes sealed = sealImage(sample(5000), kPassword, kFastSeal);
  for (const char* wrong : {"", "kvrmtx5830", "KVRMTX583", "KVRMTX5830 "}) {
    SCOPED_TRACE(wrong);
    const AutomationError e = errorOf([&] { unsealImage(sealed, wrong); });
    EXPECT_EQ(e.number(), kNotValidPassword);
    EXPECT_EQ(e.number(), -2147217843);
    EXPECT_EQ(e.description(), "Not a valid password.");
    EXPECT_EQ(e.source(), kSealedSource);
  }
}

// Every damage is found before any of the image is handed out.
TEST(Sealed, DamagedFilesFailWithTheirPlace) {
  const Bytes good = sealImage(sample(20000), kPassword, kFastSeal);
  const size_t chunk = kFastSeal.chunkSize + 17;
  const size_t chunks = (good.size() - kSealedHeaderSize + chunk - 1) / chunk;
  ASSERT_GE(chunks, 2u);
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    int32_t number;
    const char* text;
  };
  auto flip = [&](size_t at) {
    Bytes b = good;
    b[at] ^= 0x20;
    return b;
  };
  auto cut = [&](size_t size) {
    return Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
  };
  const Case cases[] = {
      {"empty file", [&] { return Bytes{}; }, kProviderFailed, "Unrecognized database format"},
      {"header cut short", [&] { return cut(95); }, kProviderFailed,
       "Unrecognized database format"},
      {"magic", [&] { return flip(0); }, kProviderFailed, "Unrecognized database format"},
      {"version", [&] { return flip(8); }, kProviderFailed, "Unrecognized database format"},
      {"reserved", [&] { return flip(11); }, kProviderFailed, "Unrecognized database format"},
      {"chunk size", [&] { return flip(14); }, kNotValidPassword, "Not a valid password."},
      {"opslimit out of bounds", [&] { return flip(23); }, kProviderFailed,
       "Unrecognized database format"},
      {"memlimit", [&] { return flip(26); }, kNotValidPassword, "Not a valid password."},
      {"image size", [&] { return flip(33); }, kNotValidPassword, "Not a valid password."},
      {"salt", [&] { return flip(45); }, kNotValidPassword, "Not a valid password."},
      {"stream header", [&] { return flip(60); }, kNotValidPassword, "Not a valid password."},
      {"key check", [&] { return flip(85); }, kNotValidPassword, "Not a valid password."},
      {"first chunk", [&] { return flip(kSealedHeaderSize + 3); }, kProviderFailed,
       "chunk 1 at byte offset 96"},
      {"last chunk's tag", [&] { return flip(good.size() - 1); }, kProviderFailed, "is damaged"},
      {"no final chunk", [&] { return cut(kSealedHeaderSize + chunk); }, kProviderFailed,
       "ends before its final chunk"},
      {"cut inside a chunk", [&] { return cut(kSealedHeaderSize + chunk + 40); }, kProviderFailed,
       "chunk 2"},
      {"last byte missing", [&] { return cut(good.size() - 1); }, kProviderFailed, "is damaged"},
      {"a byte appended",
       [&] {
         Bytes b = good;
         b.push_back(0);
         return b;
       },
       kProviderFailed, "is damaged"},
      {"chunks swapped",
       [&] {
         Bytes b = good;
         std::swap_ranges(b.begin() + kSealedHeaderSize,
                          b.begin() + static_cast<std::ptrdiff_t>(kSealedHeaderSize + chunk),
                          b.begin() + static_cast<std::ptrdiff_t>(kSealedHeaderSize + chunk));
         return b;
       },
       kProviderFailed, "chunk 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes damaged = c.make();
    const AutomationError e = errorOf([&] { unsealImage(damaged, kPassword, {}, "x.mdb"); });
    EXPECT_EQ(e.number(), c.number) << e.description();
    EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
  }
}

TEST(Sealed, NothingMayFollowAFullFinalChunk) {
  // Find an image whose compressed stream fills its last chunk exactly.
  const SealParams params{1, 8192, 64};
  std::mt19937 rng(9);
  Bytes image;
  for (size_t n = 1; n < 400; ++n) {
    image.push_back(static_cast<uint8_t>(rng()));  // incompressible: the stream grows with it
    const Bytes sealed = sealImage(image, kPassword, params);
    if ((sealed.size() - kSealedHeaderSize) % (64 + 17) != 0) continue;
    Bytes longer = sealed;
    longer.push_back(0);
    EXPECT_NE(errorOf([&] { unsealImage(longer, kPassword); })
                  .description()
                  .find("data follows the final chunk"),
              std::string::npos);
    return;
  }
  FAIL() << "no image filled its last chunk";
}

TEST(Sealed, AHeaderAskingForTooMuchIsRefusedBeforeAnyWork) {
  Bytes sealed = sealImage(sample(100), kPassword, kFastSeal);
  // memlimit 2^40: far beyond the default limit.
  for (int i = 24; i < 32; ++i) sealed[static_cast<size_t>(i)] = i == 29 ? 1 : 0;
  const auto start = std::chrono::steady_clock::now();
  const AutomationError e = errorOf([&] { unsealImage(sealed, kPassword); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(e.description(), "Unrecognized database format '(memory)'.");
  UnsealLimits tight;
  tight.maxImageSize = 99;
  const Bytes other = sealImage(sample(100), kPassword, kFastSeal);
  EXPECT_EQ(errorOf([&] { unsealImage(other, kPassword, tight); }).number(), kProviderFailed);
}

TEST(Sealed, RandomBytesNeverGetThrough) {
  std::mt19937 rng(11);
  const Bytes good = sealImage(sample(3000), kPassword, kFastSeal);
  for (int round = 0; round < 200; ++round) {
    Bytes b = good;
    const int flips = 1 + round % 4;
    for (int i = 0; i < flips; ++i) b[rng() % b.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    if (round % 3 == 0) b.resize(rng() % b.size());
    if (b == good) continue;
    EXPECT_THROW(unsealImage(b, kPassword), AutomationError);
  }
}

// ------------------------------------------------------------ sealed databases

class SealedDb : public ::testing::Test {
 protected:
  std::string connect(const std::string& file, const std::string& password = kPassword,
                      const std::string& extra = "") const {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file +
           ";Jet OLEDB:Database Password=" + password + ";" + extra;
  }
  dbtest::TempFolder folder_;
  std::string file_ = (folder_ / "BqTest.MDB").string();
};

TEST_F(SealedDb, ChangesLastAndAnUnchangedDatabaseIsNotWritten) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  EXPECT_EQ(errorOf([&] { createSealedDatabase(file_, kPassword, kFastSeal); }).number(), 3204);
  ::chmod(file_.c_str(), 0640);
  Connection c;
  c.Open(connect(file_));
  c.Execute("CREATE TABLE t (a Long, b Memo)");
  c.Execute("INSERT INTO t VALUES (1, '007')");
  c.Close();

  struct stat before;
  ASSERT_EQ(::stat(file_.c_str(), &before), 0);
  EXPECT_EQ(before.st_mode & 0777, 0640u);
  c.Open(connect(file_));
  Recordset rs = c.Execute("SELECT b FROM t");
  EXPECT_EQ(rs.Fields()[0].Value(), Variant("007"));  // a memo keeps its text
  c.Close();
  struct stat after;
  ASSERT_EQ(::stat(file_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "reading alone rewrote the file";

  // A transaction left open is rolled back, not written.
  c.Open(connect(file_));
  c.Execute("BEGIN");
  c.Execute("DELETE FROM t");
  c.Close();
  c.Open(connect(file_));
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM t").Fields()[0].Value()), "1");
  c.Close();
}

TEST_F(SealedDb, OpeningFailsClearly) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  const std::string plain = (folder_ / "plain.sqlite").string();
  dbtest::writeBytes(plain, Bytes{'S', 'Q', 'L'});
  struct Case {
    std::string connection;
    int32_t number;
    std::string text;
  };
  const Case cases[] = {
      {connect(file_, "wrong"), kNotValidPassword, "Not a valid password."},
      {connect(file_, ""), kNotValidPassword, "Not a valid password."},
      {connect((folder_ / "none.mdb").string()), kProviderFailed,
       "Could not find file '" + (folder_ / "none.mdb").string() + "'."},
      {connect(plain), kProviderFailed, "Unrecognized database format '" + plain + "'."},
      {connect(folder_.path().string()), kProviderFailed, "Could not find file"},
      {"Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + file_, adErrProviderNotFound,
       "Provider cannot be found. It may not be properly installed."},
      {"Provider=SQLite;Data Source=" + plain, kProviderFailed, "Unrecognized database format"},
      {connect(file_, kPassword, "Sealed Image Memory Limit=lots;"), kBadConnectionString,
       "OLE DB"},
      {connect(file_, kPassword, "Sealed Compression Level=10;"), kBadConnectionString,
       "(Sealed Compression Level)"},
      {connect(file_, kPassword, "Sealed Compression Level=fast;"), kBadConnectionString,
       "(Sealed Compression Level)"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.connection);
    Connection c;
    const AutomationError e = errorOf([&] { c.Open(k.connection); });
    EXPECT_EQ(e.number(), k.number) << e.description();
    EXPECT_NE(e.description().find(k.text), std::string::npos) << e.description();
    EXPECT_EQ(c.State(), adStateClosed);
  }
}

TEST_F(SealedDb, ABigImageWorksInAPrivateFile) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  const std::string big = connect(file_, kPassword, "Sealed Image Memory Limit=0;");
  const ByteArray blob(300000, 0x5A);
  {
    Connection c;
    c.Open(big);
    c.Execute("CREATE TABLE f (fj LongBinary)");
    c.Execute("INSERT INTO f VALUES (?)", {blob});
    c.Close();
  }
  Connection c;
  c.Open(big);
  EXPECT_EQ(c.Execute("SELECT fj FROM f").Fields()[0].Value(), Variant(blob));
  c.Close();
  Connection inMemory;
  inMemory.Open(connect(file_));
  EXPECT_EQ(inMemory.Execute("SELECT length(fj) FROM f").Fields()[0].Value(),
            Variant(int32_t{300000}));
  inMemory.Close();
}

TEST_F(SealedDb, AChangedFileIsSealedAtTheCompressionLevelAsked) {
  const ByteArray blob(300000, 0x5A);
  struct Case {
    const char* level;
    bool stored;  // level 0 stores the image as it is
  };
  for (const Case k : {Case{"", false}, Case{"Sealed Compression Level=0;", true},
                       Case{"Sealed Compression Level=1;", false}}) {
    SCOPED_TRACE(k.level);
    std::filesystem::remove(file_);
    createSealedDatabase(file_, kPassword, kFastSeal);
    Connection c;
    c.Open(connect(file_, kPassword, k.level));
    c.Execute("CREATE TABLE f (fj LongBinary)");
    c.Execute("INSERT INTO f VALUES (?)", {blob});
    c.Close();
    EXPECT_EQ(std::filesystem::file_size(file_) > blob.size(), k.stored);
    c.Open(connect(file_));
    EXPECT_EQ(c.Execute("SELECT fj FROM f").Fields()[0].Value(), Variant(blob));
    c.Close();
  }
}

TEST_F(SealedDb, AFileReplacedWhileOpenIsNotOverwritten) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  Connection c;
  c.Open(connect(file_));
  c.Execute("CREATE TABLE t (a Long)");
  const Bytes other = sealImage({}, "someone else", kFastSeal);
  const std::string moved = file_ + ".new";
  dbtest::writeBytes(moved, other);
  ASSERT_EQ(std::rename(moved.c_str(), file_.c_str()), 0);
  const AutomationError e = errorOf([&] { c.Close(); });
  EXPECT_EQ(e.number(), kProviderFailed);
  EXPECT_NE(e.description().find("another program replaced the file"), std::string::npos);
  EXPECT_EQ(c.State(), adStateOpen);
  EXPECT_EQ(dbtest::readBytes(file_), other);
}

// The path a failed Close() names in "The changes are kept in 'PATH'.".
std::string keptIn(const AutomationError& e) {
  const std::string marker = "The changes are kept in '";
  const size_t at = e.description().find(marker);
  if (at == std::string::npos) return {};
  const size_t from = at + marker.size();
  return e.description().substr(from, e.description().rfind('\'') - from);
}

// A re-seal that fails loses nothing: the changes are sealed beside the
// file, a second failure brings that copy up to date, and dropping the
// connection afterwards neither crashes nor removes it.
TEST_F(SealedDb, AFailedSaveKeepsTheChangesBesideTheFile) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  std::string kept;
  {
    Connection c;
    c.Open(connect(file_));
    c.Execute("CREATE TABLE t (a Long)");
    c.Execute("INSERT INTO t VALUES (7)");
    const std::string moved = file_ + ".new";
    dbtest::writeBytes(moved, sealImage({}, "someone else", kFastSeal));
    ASSERT_EQ(std::rename(moved.c_str(), file_.c_str()), 0);
    const AutomationError first = errorOf([&] { c.Close(); });
    kept = keptIn(first);
    ASSERT_FALSE(kept.empty()) << first.description();
    EXPECT_EQ(fs::path(kept).parent_path(), folder_.path());
    c.Execute("INSERT INTO t VALUES (8)");
    EXPECT_EQ(keptIn(errorOf([&] { c.Close(); })), kept);
  }
  Connection r;
  r.Open(connect(kept));
  EXPECT_EQ(variantText(r.Execute("SELECT sum(a) FROM t").Fields()[0].Value()), "15");
  r.Close();
  EXPECT_TRUE(fs::exists(kept));
}

// The private file of a big image may lose its name (a cleaner of the
// temporary folder): the image is still sealed into the database on Close.
TEST_F(SealedDb, ABigImageIsSavedAfterItsPrivateFileLostItsName) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  const std::string big = connect(file_, kPassword, "Sealed Image Memory Limit=0;");
  Connection c;
  c.Open(connect(file_));
  c.Execute("CREATE TABLE t (a Long)");
  c.Close();
  c.Open(big);  // an image of more than 0 bytes: in a private file
  c.Execute("INSERT INTO t VALUES (5)");
  int removed = 0;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(fd.path(), ec);
    if (!ec && target.filename() == "image.db" &&
        target.parent_path().filename().string().starts_with("bq-sealed-"))
      removed += fs::remove(target, ec) ? 1 : 0;
  }
  ASSERT_EQ(removed, 1);
  EXPECT_NO_THROW(c.Close());
  c.Open(connect(file_));
  EXPECT_EQ(variantText(c.Execute("SELECT a FROM t").Fields()[0].Value()), "5");
  c.Close();
}

// A plain SQLite file as another program writes it: text columns without
// a collation, one with BINARY, and a unique key whose values differ only in
// case.
void writeForeignDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const char* sql =
      "CREATE TABLE test_paper (uid VARCHAR(10), topic_id TEXT COLLATE BINARY, tpid INTEGER, "
      "answer TEXT);"
      "CREATE INDEX paper_uid ON test_paper (uid);"
      "INSERT INTO test_paper VALUES ('BQ8', '01', 3, 'ac'), ('bq9', '02', 007, NULL);"
      "CREATE TABLE codes (code TEXT PRIMARY KEY, note TEXT);"
      "INSERT INTO codes VALUES ('a', 'small'), ('A', 'capital');";
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

std::string scalar(Connection& c, const std::string& sql) {
  return variantText(c.Execute(sql).Fields()[0].Value());
}

// Text compares without regard to case in a sealed database whatever made
// it, as in the Access databases the client was made for; the rows stay as
// they were, and opening alone never rewrites the file.
TEST_F(SealedDb, TextComparesWithoutCaseHoweverTheFileWasMade) {
  const std::string plain = (folder_ / "foreign.sqlite").string();
  writeForeignDatabase(plain);
  // Sealed as it stands (an older bqdb, or any program that seals images).
  dbtest::writeBytes(file_, sealImage(dbtest::readBytes(plain), kPassword, kFastSeal));
  struct stat before;
  ASSERT_EQ(::stat(file_.c_str(), &before), 0);
  Connection c;
  c.Open(connect(file_, kPassword, "Mode=Read;"));
  EXPECT_EQ(scalar(c, "SELECT tpid FROM test_paper WHERE uid = 'bq8'"), "3");
  EXPECT_EQ(scalar(c, "SELECT count(*) FROM test_paper WHERE uid IN ('BQ9', 'bq8')"), "2");
  EXPECT_EQ(scalar(c,
                   "SELECT group_concat(uid || '/' || typeof(tpid) || '/' || "
                   "ifnull(answer, 'null'), ' ') FROM test_paper"),
            "BQ8/integer/ac bq9/integer/null");
  // Folding "a" and "A" into one key would lose a row: that table keeps its
  // comparison and both rows.
  EXPECT_EQ(scalar(c, "SELECT count(*) FROM codes"), "2");
  EXPECT_EQ(scalar(c, "SELECT note FROM codes WHERE code = 'A'"), "capital");
  c.Close();
  struct stat after;
  ASSERT_EQ(::stat(file_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "reading alone rewrote the file";

  // bqdb seal's step: the sealed file itself carries the collation; the
  // plain file is left as it was.
  const auto plainBytes = dbtest::readBytes(plain);
  sealDatabaseFile(plain, file_, kPassword, kFastSeal);
  EXPECT_EQ(dbtest::readBytes(plain), plainBytes);
  const std::string unsealed = (folder_ / "unsealed.sqlite").string();
  unsealDatabaseFile(file_, unsealed, kPassword);
  Connection u;
  u.Open("Provider=SQLite;Data Source=" + unsealed + ";");
  EXPECT_NE(scalar(u, "SELECT sql FROM sqlite_schema WHERE name = 'test_paper'")
                .find("uid VARCHAR(10) COLLATE NOCASE"),
            std::string::npos);
  EXPECT_EQ(scalar(u, "SELECT count(*) FROM test_paper WHERE uid = 'bq8'"), "1");
  EXPECT_EQ(scalar(u, "SELECT count(*) FROM sqlite_schema WHERE name = 'paper_uid'"), "1");
  u.Close();
}

TEST_F(SealedDb, JetTableStatementsWorkOnSqlite) {
  createSealedDatabase(file_, kPassword, kFastSeal);
  Connection c;
  c.Open(connect(file_));
  // The backup module's schema copy: six columns, then one ALTER per column.
  c.Execute(
      "Create Table T1 (Name Char(20) NOT NULL, Score Double NOT NULL, Born DateTime NOT NULL, "
      "Note Memo NOT NULL, Photo LongBinary NOT NULL, Id LONG NOT NULL)");
  c.Execute("Alter Table T1 Add Extra Char(5) NOT NULL");
  c.Execute("CREATE INDEX t1_name ON T1 (Name)");
  Recordset rs;
  rs.Open("T1", c, adOpenKeyset, adLockOptimistic);
  ASSERT_EQ(rs.Fields().Count(), 7);
  const int32_t types[] = {adVarWChar,      adDouble,  adDate,    adLongVarWChar,
                           adLongVarBinary, adInteger, adVarWChar};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rs.Fields()[i].Type(), types[i]) << i;
  EXPECT_EQ(rs.Fields()["Extra"].DefinedSize(), 5);
  rs.AddNew();
  const Variant values[] = {std::string("Ann"), 1.5,        Date{45000},     std::string("0012"),
                            ByteArray{1},       int32_t{3}, std::string("x")};
  for (int i = 0; i < 7; ++i) rs.Fields()[i].setValue(values[i]);
  rs.Update();
  rs.Close();
  // A required column cannot be added to a table with rows; nothing changes.
  const AutomationError e = errorOf([&] { c.Execute("Alter Table T1 Add More Char(5) NOT NULL"); });
  EXPECT_EQ(e.number(), kIntegrityViolation) << e.description();
  c.Execute("Alter Table T1 Add More Char(5)");
  Recordset check = c.Execute("SELECT * FROM t1 WHERE name = 'ANN'");
  EXPECT_EQ(check.Fields().Count(), 8);
  EXPECT_EQ(check.Fields()["note"].Value(), Variant("0012"));
  EXPECT_EQ(check.Fields()["extra"].Value(), Variant("x"));
  EXPECT_EQ(variantText(c.Execute("SELECT count(*) FROM sqlite_schema WHERE name = 't1_name'")
                            .Fields()[0]
                            .Value()),
            "1");
  c.Close();
}

}  // namespace
}  // namespace bq::db
