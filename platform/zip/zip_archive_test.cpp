#include "platform/zip/zip_archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/zip/archive_bytes.h"
#include "platform/zip/testing/zip_bytes.h"

namespace bq::zip {
namespace {

using testing::Entry;

const Failure kFailure{1004, "ZipTest", "t.zip"};
// The bounds of an Office package.
const Bounds kBounds{10'000, 512ull << 20, 200, 1ull << 20};

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// The description of the error that `fn` throws; fails the test when it
// throws none or another number.
template <typename Fn>
std::string failureOf(Fn&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 1004);
    EXPECT_EQ(e.source(), "ZipTest");
    EXPECT_TRUE(e.description().starts_with("t.zip: ")) << e.description();
    return e.description();
  }
  ADD_FAILURE() << "no error";
  return {};
}

TEST(ZipArchive, ReadsStoredAndDeflatedEntriesInDirectoryOrder) {
  const std::vector<Entry> ok = {
      {"a.xml", "<a/>"},
      {"empty", ""},
      {"dir/", ""},
      {"stored.bin", randomBytes(70000, 1), true},
      {"deflated.txt", randomBytes(200000, 2) + std::string(100000, 'z')},
  };
  ZipArchive zip = ZipArchive::fromBytes(testing::zipBytes(ok), kBounds, kFailure);
  ASSERT_EQ(zip.entries().size(), ok.size());
  for (size_t i = 0; i < ok.size(); ++i) {
    EXPECT_EQ(zip.entries()[i].name, ok[i].name);
    EXPECT_EQ(zip.entries()[i].size, ok[i].data.size());
    EXPECT_EQ(zip.read(zip.entries()[i], kFailure), ok[i].data) << ok[i].name;
  }
}

TEST(ZipArchive, RefusesMoreEntriesThanAllowed) {
  std::vector<Entry> entries;
  for (uint64_t i = 0; i < kBounds.maxEntries; ++i) entries.push_back({std::to_string(i), ""});
  EXPECT_EQ(ZipArchive::fromBytes(testing::zipBytes(entries), kBounds, kFailure).entries().size(),
            kBounds.maxEntries);
  entries.push_back({"one-too-many", ""});
  const std::string bytes = testing::zipBytes(entries);
  EXPECT_NE(failureOf([&] {
              ZipArchive::fromBytes(bytes, kBounds, kFailure);
            }).find("holds 10001 entries, more than the 10000 allowed"),
            std::string::npos);
}

TEST(ZipArchive, RefusesAZipBombBeforeDecompressingIt) {
  // 100 MiB of zeros deflate to about 100 KiB.
  const std::string bytes = testing::zipBytes(
      {{"[Content_Types].xml", "<Types/>"}, {"bomb.xml", std::string(100u << 20, '\0')}});
  EXPECT_LT(bytes.size(), 1u << 20);
  const std::string why = failureOf([&] { ZipArchive::fromBytes(bytes, kBounds, kFailure); });
  EXPECT_NE(why.find("the entry \"bomb.xml\" expands"), std::string::npos) << why;
  EXPECT_NE(why.find("more than the 200 allowed"), std::string::npos) << why;
}

TEST(ZipArchive, RefusesDeclaredSizesThatAddUpTooHigh) {
  // Two incompressible 3 MiB entries whose records claim 300 MiB each: each
  // passes the ratio bound (100:1), together they exceed the total.
  std::string bytes = testing::zipBytes(
      {{"a", randomBytes(3u << 20, 3), true}, {"b", randomBytes(3u << 20, 4), true}});
  ZipArchive::fromBytes(bytes, kBounds, kFailure);
  testing::putLe32(bytes, testing::centralRecordOf(bytes, "a") + 24, 300u << 20);
  ZipArchive::fromBytes(bytes, kBounds, kFailure);  // one alone is within bounds
  testing::putLe32(bytes, testing::centralRecordOf(bytes, "b") + 24, 300u << 20);
  EXPECT_NE(failureOf([&] {
              ZipArchive::fromBytes(bytes, kBounds, kFailure);
            }).find("the parts expand to more than 536870912 bytes"),
            std::string::npos);
}

TEST(ZipArchive, AnEntryMustHoldExactlyItsDeclaredSize) {
  const std::string data = randomBytes(1000, 5);
  struct Case {
    uint32_t declared;
    bool store;
    const char* expected;
  };
  const Case cases[] = {
      {999, true, "is damaged"},   {1001, true, "is damaged"}, {999, false, "is damaged"},
      {1001, false, "is damaged"}, {0, false, "is damaged"},   {1u << 20, true, "is damaged"},
  };
  for (const Case& c : cases) {
    std::string bytes = testing::zipBytes({{"e", data, c.store}});
    testing::putLe32(bytes, testing::centralRecordOf(bytes, "e") + 24, c.declared);
    testing::putLe32(bytes, testing::localHeaderOf(bytes, "e") + 22, c.declared);
    ZipArchive zip = ZipArchive::fromBytes(bytes, kBounds, kFailure);
    ASSERT_EQ(zip.entries()[0].size, c.declared);
    std::string why = failureOf([&] { zip.read(zip.entries()[0], kFailure); });
    EXPECT_NE(why.find(c.expected), std::string::npos) << c.declared << ": " << why;
  }
}

TEST(ZipArchive, DetectsDamagedData) {
  const std::string data = randomBytes(5000, 6);
  for (bool store : {true, false}) {
    std::string bytes = testing::zipBytes({{"e", data, store}});
    const size_t local = testing::localHeaderOf(bytes, "e");
    bytes[local + 30 + 1 + 100] ^= 0x55;  // a byte of the data
    ZipArchive zip = ZipArchive::fromBytes(bytes, kBounds, kFailure);
    std::string why = failureOf([&] { zip.read(zip.entries()[0], kFailure); });
    EXPECT_NE(why.find("the entry \"e\" is damaged"), std::string::npos) << why;
  }
}

TEST(ZipArchive, AWrongChecksumIsDamage) {
  const std::string data = randomBytes(3000, 7) + std::string(3000, 'x');
  for (bool store : {true, false}) {
    std::string bytes = testing::zipBytes({{"e", data, store}});
    const uint32_t crc =
        static_cast<uint32_t>(readLe(bytes, testing::centralRecordOf(bytes, "e") + 16, 4) ^ 1u);
    testing::putLe32(bytes, testing::centralRecordOf(bytes, "e") + 16, crc);
    testing::putLe32(bytes, testing::localHeaderOf(bytes, "e") + 14, crc);
    ZipArchive zip = ZipArchive::fromBytes(bytes, kBounds, kFailure);
    std::string why = failureOf([&] { zip.read(zip.entries()[0], kFailure); });
    EXPECT_NE(why.find("the entry \"e\" is damaged"), std::string::npos) << why;
  }
}

// Methods other than stored and deflated go through libzip's own streams,
// with the same checks.
TEST(ZipArchive, ReadsOtherCompressionMethods) {
  if (!zip_compression_method_supported(ZIP_CM_BZIP2, 1)) GTEST_SKIP() << "libzip without bzip2";
  const std::string data = randomBytes(2000, 8) + std::string(5000, 'y');
  std::vector<Entry> entries{{"a", data, false, ZIP_CM_BZIP2}, {"b", "plain", true}};
  ZipArchive zip = ZipArchive::fromBytes(testing::zipBytes(entries), kBounds, kFailure);
  EXPECT_EQ(zip.read(zip.entries()[0], kFailure), data);
  EXPECT_EQ(zip.read(zip.entries()[1], kFailure), "plain");

  std::string bytes = testing::zipBytes(entries);
  testing::putLe32(bytes, testing::centralRecordOf(bytes, "a") + 24, 6999);
  testing::putLe32(bytes, testing::localHeaderOf(bytes, "a") + 22, 6999);
  ZipArchive shorter = ZipArchive::fromBytes(bytes, kBounds, kFailure);
  std::string why = failureOf([&] { shorter.read(shorter.entries()[0], kFailure); });
  EXPECT_NE(why.find("is damaged"), std::string::npos) << why;
}

TEST(ZipArchive, TruncatedArchivesAreRefused) {
  const std::string whole = testing::zipBytes(testing::workbookEntries());
  for (size_t cut : {size_t{1}, size_t{4}, size_t{30}, size_t{200}, whole.size() / 2,
                     whole.size() - 23, whole.size() - 22, whole.size() - 1}) {
    std::string why =
        failureOf([&] { ZipArchive::fromBytes(whole.substr(0, cut), kBounds, kFailure); });
    EXPECT_NE(why.find("not a readable zip archive"), std::string::npos) << cut << ": " << why;
  }
}

TEST(ZipArchive, AZip64DirectoryClaimingTooManyEntriesIsRefusedBeforeLibzipReadsIt) {
  const uint64_t claimed = uint64_t{1} << 40;
  const std::string bytes = testing::zip64ClaimBytes();
  EXPECT_NE(failureOf([&] {
              ZipArchive::fromBytes(bytes, kBounds, kFailure);
            }).find("claims 1099511627776 entries"),
            std::string::npos);

  // A plain archive has no Zip64 record; a record pointing outside the file counts for nothing.
  const std::string plain = testing::zipBytes(testing::workbookEntries());
  auto readAt = [&](const std::string& s) {
    return
        [&s](uint64_t at, uint64_t n) { return at >= s.size() ? std::string() : s.substr(at, n); };
  };
  EXPECT_EQ(zip64ClaimedEntries(plain, plain.size(), readAt(plain)), 0u);
  EXPECT_EQ(zip64ClaimedEntries(bytes, bytes.size(), readAt(bytes)), claimed);
  std::string outside = bytes;
  testing::putLe32(outside, outside.size() - 22 - 20 + 8, 0x7FFFFFFF);
  EXPECT_EQ(zip64ClaimedEntries(outside, outside.size(), readAt(outside)), 0u);

  // The record is found behind a comment of 'P's and a false end record, and
  // in a tail that begins with its locator (the first place one can lie).
  const std::string commented = bytes + "PPPK\5\6PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP";
  EXPECT_EQ(zip64ClaimedEntries(commented, commented.size(), readAt(commented)), claimed);
  const std::string tail = bytes.substr(bytes.size() - 22 - 20);
  EXPECT_EQ(zip64ClaimedEntries(tail, bytes.size(), readAt(bytes)), claimed);
  EXPECT_EQ(zip64ClaimedEntries(tail.substr(1), bytes.size(), readAt(bytes)), 0u);
}

// What libzip lists of `bytes` (name, sizes, method, CRC), or nothing when
// it does not open them: the peer of the directory read without it.
std::optional<std::vector<ZipEntry>> libzipEntries(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* za = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!za) {
    zip_source_free(source);
    return std::nullopt;
  }
  std::vector<ZipEntry> entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    entries.push_back({st.name, static_cast<uint64_t>(i), st.size, st.comp_size, st.comp_method,
                       st.crc, st.encryption_method == ZIP_EM_NONE});
  }
  zip_discard(za);
  return entries;
}

const std::vector<Entry> kPlainEntries = {
    {"[Content_Types].xml", "<Types/>"},
    {"dir/", ""},
    {"empty.xml", ""},
    {"stored.bin", randomBytes(3000, 11), true},
    {"word/document.xml", std::string(20000, 'w')},
};

TEST(PlainDirectory, ListsWhatLibzipListsAndWhereEachLocalHeaderIs) {
  const std::string bytes = testing::zipBytes(kPlainEntries);
  const auto plain = readPlainDirectory(bytes);
  const auto peer = libzipEntries(bytes);
  ASSERT_TRUE(plain && peer);
  ASSERT_EQ(plain->size(), peer->size());
  for (size_t i = 0; i < peer->size(); ++i) {
    const ZipEntry &ours = (*plain)[i].entry, &theirs = (*peer)[i];
    SCOPED_TRACE(theirs.name);
    EXPECT_EQ(ours.name, theirs.name);
    EXPECT_EQ(ours.index, i);
    EXPECT_EQ(ours.size, theirs.size);
    EXPECT_EQ(ours.compressedSize, theirs.compressedSize);
    EXPECT_EQ(ours.method, theirs.method);
    EXPECT_EQ(ours.crc, theirs.crc);
    EXPECT_TRUE(ours.plain);
    EXPECT_EQ((*plain)[i].localHeader, testing::localHeaderOf(bytes, theirs.name));
  }
}

// Each departure from the plain form leaves the directory to libzip, which
// opens the archive or refuses it as it always did.
TEST(PlainDirectory, LeavesAnythingElseToLibzip) {
  const std::string plain = testing::zipBytes(kPlainEntries);
  const size_t eocd = plain.size() - 22;
  const size_t central = testing::centralRecordOf(plain, "stored.bin");
  auto patched = [&](size_t at, std::string_view with) {
    std::string s = plain;
    s.replace(at, with.size(), with);
    return s;
  };
  auto withEntries = [](std::vector<Entry> entries) { return testing::zipBytes(entries); };
  std::vector<Entry> bzip2 = kPlainEntries, unicode = kPlainEntries, endLike = kPlainEntries;
  bzip2.push_back({"b.bin", "bbbb", false, ZIP_CM_BZIP2});
  unicode.push_back({"文档.xml", "<a/>"});
  unicode.push_back({"tab\there", "<a/>"});
  endLike.push_back({"last.bin", "PK\5\6 an end record's signature in the data", true});
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"an archive comment", patched(eocd + 20, std::string("\4\0", 2)) + "note"},
      {"a comment length past the end", patched(eocd + 20, std::string("\4\0", 2))},
      {"an encrypted entry", patched(central + 8, std::string("\1", 1))},
      {"an entry comment", patched(central + 32, std::string("\1", 1))},
      {"another method", withEntries(bzip2)},
      {"names that are not printable ASCII", withEntries(unicode)},
      {"a second end record in the tail", withEntries(endLike)},
      {"more entries than records", patched(eocd + 8, std::string("\6\0\6\0", 4))},
      {"fewer entries than records", patched(eocd + 8, std::string("\4\0\4\0", 4))},
      {"a directory that is not where it says", patched(eocd + 16, std::string("\1", 1))},
      {"a second disk", patched(eocd + 4, std::string("\1", 1))},
      {"a Zip64 size", patched(central + 20, std::string(4, '\xFF'))},
      {"a truncated end record", plain.substr(0, plain.size() - 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(readPlainDirectory(c.bytes));
    const auto peer = libzipEntries(c.bytes);
    try {
      ZipArchive zip = ZipArchive::fromBytes(c.bytes, kBounds, kFailure);
      ASSERT_TRUE(peer) << "opened what libzip refuses";
      ASSERT_EQ(zip.entries().size(), peer->size());
      for (size_t i = 0; i < peer->size(); ++i) EXPECT_EQ(zip.entries()[i].name, (*peer)[i].name);
    } catch (const AutomationError& e) {
      EXPECT_FALSE(peer) << "refused what libzip opens: " << e.description();
    }
  }
}

// The data is found past the local header as libzip finds it; a local
// header or data outside the archive is damage, not a crash.
TEST(PlainDirectory, LocalHeadersAndDataOutsideTheArchiveAreDamage) {
  const std::string plain = testing::zipBytes(kPlainEntries);
  const size_t central = testing::centralRecordOf(plain, "stored.bin");
  struct Case {
    uint32_t localHeader;
    const char* expected;
  };
  const Case cases[] = {
      {static_cast<uint32_t>(plain.size() + 100), "cannot be read"},
      {static_cast<uint32_t>(plain.size() - 10), "cannot be read"},
      {static_cast<uint32_t>(plain.size() - 40), "is damaged (its data ends after"},
      {static_cast<uint32_t>(testing::localHeaderOf(plain, "word/document.xml")), "is damaged"},
  };
  for (const Case& c : cases) {
    std::string bytes = plain;
    testing::putLe32(bytes, central + 42, c.localHeader);
    ASSERT_TRUE(readPlainDirectory(bytes));
    ZipArchive zip = ZipArchive::fromBytes(bytes, kBounds, kFailure);
    EXPECT_EQ(zip.read(zip.entries()[4], kFailure), kPlainEntries[4].data);
    const std::string why = failureOf([&] { zip.read(zip.entries()[3], kFailure); });
    EXPECT_NE(why.find("the entry \"stored.bin\" " + std::string(c.expected)), std::string::npos)
        << c.localHeader << ": " << why;
  }
}

// Regression: an entry without data whose local header claims a name longer
// than the rest of the archive made the plain reading throw out_of_range, and
// one whose local header lies outside the archive was refused; libzip reads
// both as empty without looking for the header (and checks the CRC of
// nothing as ZipArchive always does).
TEST(PlainDirectory, AnEntryWithoutDataReadsEmptyWhereverItsLocalHeaderLies) {
  const std::string plain = testing::zipBytes({{"a.xml", "<a/>"}, {"empty.bin", "", true}});
  const size_t local = testing::localHeaderOf(plain, "empty.bin");
  const size_t central = testing::centralRecordOf(plain, "empty.bin");
  std::string longName = plain, outside = plain, badCrc = plain;
  longName[local + 26] = longName[local + 27] = '\xFF';
  testing::putLe32(outside, central + 42, static_cast<uint32_t>(plain.size() + 1000));
  testing::putLe32(badCrc, central + 16, 0x12345678);
  const struct {
    const std::string& bytes;
    bool crcMatches;
  } cases[] = {{longName, true}, {outside, true}, {badCrc, false}};
  for (const auto& [bytes, crcMatches] : cases) {
    ASSERT_TRUE(readPlainDirectory(bytes));
    for (const auto reader :
         {ZipArchive::DirectoryReader::kPlainWhenPossible, ZipArchive::DirectoryReader::kLibzip}) {
      ZipArchive zip = ZipArchive::fromBytes(bytes, kBounds, kFailure, reader);
      EXPECT_EQ(zip.read(zip.entries()[0], kFailure), "<a/>");
      if (crcMatches)
        EXPECT_EQ(zip.read(zip.entries()[1], kFailure), "");
      else
        EXPECT_NE(failureOf([&] { zip.read(zip.entries()[1], kFailure); }).find("CRC error"),
                  std::string::npos);
    }
  }
}

TEST(ZipArchive, OpensFromAFileDescriptor) {
  testing::ScratchDir dir;
  testing::writeZip(dir / "a.zip", testing::workbookEntries());
  UniqueFd fd(::open((dir / "a.zip").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(fd);
  const uint64_t size = testing::readFile(dir / "a.zip").size();
  ZipArchive zip = ZipArchive::fromFile(std::move(fd), size, kBounds, kFailure);
  ASSERT_EQ(zip.entries().size(), testing::workbookEntries().size());
  EXPECT_EQ(zip.read(zip.entries()[2], kFailure), testing::workbookEntries()[2].data);
  std::filesystem::remove(dir / "a.zip");
  EXPECT_EQ(zip.read(zip.entries()[4], kFailure), testing::workbookEntries()[4].data)
      << "the open file stays readable after it is removed";
}

}  // namespace
}  // namespace bq::zip
