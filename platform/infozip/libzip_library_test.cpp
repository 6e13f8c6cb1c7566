// The libzip implementation through the interface, as the zip and unzip
// tools behave: options, results, messages, and hostile archives.
#include "platform/infozip/libzip_library.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <deque>
#include <optional>

#include "common/ansi.h"
#include "platform/infozip/test_archives.h"
#include "platform/infozip/testing/small_file_system.h"

namespace bq::infozip {
namespace {

using namespace bq::infozip::testing;
using bq::testing::runWithSmallFileSystem;
using bq::testing::SmallFileSystemRun;
namespace ur = unzip_result;
namespace zr = zip_result;

// --- Routines that keep what they were given -------------------------------
thread_local std::string tOut;
thread_local std::deque<int32_t> tReplies;
thread_local std::vector<std::string> tAsked;
thread_local std::deque<std::optional<std::string>> tPasswords;
thread_local int tMessages = 0;
thread_local int tServiceLeft = -1;  // entries before the service routine says stop

int32_t print(const char* text, uint32_t length) {
  tOut.append(text, length);
  return 0;
}
int32_t replaceRoutine(char* name) {
  tAsked.push_back(fromAnsi(name));
  if (tReplies.empty()) return replace::kNo;
  const int32_t r = tReplies.front();
  tReplies.pop_front();
  return r;
}
int32_t passwordRoutine(char* buffer, int32_t size, const char*, const char*) {
  if (tPasswords.empty() || !tPasswords.front()) return 1;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", tPasswords.front()->c_str());
  tPasswords.pop_front();
  return 0;
}
void message(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, char,
             const char*, const char*, uint32_t, char) {
  ++tMessages;
}
int32_t service(const char*, uint32_t) { return tServiceLeft-- == 0 ? 1 : 0; }

std::string out() { return fromAnsi(tOut); }

class Unzipping : public ::testing::Test {
 protected:
  void SetUp() override {
    tOut.clear();
    tReplies.clear();
    tAsked.clear();
    tPasswords.clear();
    tMessages = 0;
    tServiceLeft = -1;
    options.ndflag = 1;
    options.noflag = 1;
  }

  int32_t unzip(const fs::path& zip, const std::vector<std::string>& include = {},
                const std::vector<std::string>& exclude = {}) {
    tOut.clear();
    std::array<const char*, kNameListSize> in{}, ex{};
    for (size_t i = 0; i < include.size(); ++i) in[i] = include[i].c_str();
    for (size_t i = 0; i < exclude.size(); ++i) ex[i] = exclude[i].c_str();
    const std::string zipName = zip.string(), dirName = target.string();
    options.lpszZipFN = zipName.c_str();
    options.lpszExtractDir = dirName.c_str();
    UnzipUserFunctions f;
    f.print = print;
    f.replace = replaceRoutine;
    f.password = passwordRoutine;
    f.sendApplicationMessage = message;
    f.serviceApplication = service;
    return makeLibzipLibrary()->Wiz_SingleEntryUnzip(
        static_cast<int32_t>(include.size()), in.data(), static_cast<int32_t>(exclude.size()),
        ex.data(), options, f);
  }

  TempFolder temp;
  const fs::path dir = temp.path();
  const fs::path target = dir / "out";
  UnzipOptions options;
};

TEST_F(Unzipping, ResultsOfMissingDamagedAndEmptyArchives) {
  makeArchive(dir / "good.zip", {{"a.txt", std::string(3000, 'a')}, {"b.txt", "bbb"}});
  const std::string good = readFile(dir / "good.zip");
  writeFile(dir / "text.zip", "just some text, no archive at all");
  writeFile(dir / "empty.zip", std::string("PK\5\6", 4) + std::string(18, '\0'));
  writeFile(dir / "truncated.zip", good.substr(0, good.size() / 2));
  // A Zip64 directory claiming a billion entries.
  std::string claim = good;
  const size_t eocd = claim.rfind("PK\5\6");
  std::string record("PK\6\6", 4);
  record += std::string(20, '\0');
  for (int part = 0; part < 2; ++part) {
    for (int i = 0; i < 8; ++i) record += static_cast<char>(((1000000000ull >> (8 * i)) & 0xff));
  }
  record.resize(56, '\0');
  std::string locator("PK\6\7", 4);
  locator += std::string(4, '\0');
  for (int i = 0; i < 8; ++i) locator += static_cast<char>(((eocd >> (8 * i)) & 0xff));
  locator += std::string("\1\0\0\0", 4);
  claim = claim.substr(0, eocd) + record + locator + claim.substr(eocd);
  writeFile(dir / "claim.zip", claim);
  // A compression method nobody knows (found by the fuzzer: libzip's own
  // refusal of it does not free everything, so it is refused before).
  makeArchive(dir / "method.zip", {{"m.txt", "data", 0100644, true}});
  patch(dir / "method.zip", 8, 77, 2);
  patch(dir / "method.zip", centralRecord(dir / "method.zip") + 10, 77, 2);

  struct Case {
    const char* name;
    int32_t result;
    const char* says;
  };
  const Case cases[] = {
      {"missing.zip", ur::kNoArchive, "cannot find or open"},
      {"text.zip", ur::kNoArchive, "End-of-central-directory signature not found"},
      {"empty.zip", ur::kWarning, "zipfile is empty"},
      {"truncated.zip", ur::kNoArchive, "cannot find zipfile directory"},
      {"claim.zip", ur::kBomb, "claims 1000000000 entries"},
      {"method.zip", ur::kUnsupported, "unsupported compression method 77"},
      {"good", ur::kOk, "inflating: a.txt"},  // ".zip" is added when missing
  };
  for (const Case& c : cases) {
    fs::remove_all(target);
    EXPECT_EQ(unzip(dir / c.name), c.result) << c.name << ": " << out();
    EXPECT_NE(out().find(c.says), std::string::npos) << c.name << ": " << out();
  }
  EXPECT_EQ(readFile(target / "a.txt"), std::string(3000, 'a'));
}

TEST_F(Unzipping, ADamagedEntryLeavesNoPartialFileAndKeepsTheOldOne) {
  makeArchive(dir / "d.zip", {{"ok.txt", "fine"}, {"bad.txt", randomBytes(200000, 7)}});
  std::string bytes = readFile(dir / "d.zip");
  const size_t data = bytes.find("bad.txt") + 7;  // the local header's name ends the header
  for (size_t i = data + 5000; i < data + 5100; ++i) bytes[i] = static_cast<char>(~bytes[i]);
  writeFile(dir / "d.zip", bytes);
  writeFile(target / "bad.txt", "the earlier file");
  EXPECT_EQ(unzip(dir / "d.zip"), ur::kError) << out();
  EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"bad.txt", "the earlier file"},
                                                              {"ok.txt", "fine"}}));
  options.ntflag = 1;
  EXPECT_EQ(unzip(dir / "d.zip"), ur::kError);
  EXPECT_NE(out().find("At least one error was detected"), std::string::npos) << out();
}

TEST_F(Unzipping, EntriesNeverLeaveTheExtractionFolder) {
  makeArchive(dir / "evil.zip", {{"../evil1.txt", "1"},
                                 {"../../evil2.txt", "2"},
                                 {"/abs_evil.txt", "3"},
                                 {"C:\\drive_evil.txt", "4"},
                                 {"a/../../up.txt", "5"},
                                 {"link", "/etc", 0120777},
                                 {"link/inside.txt", "6"},
                                 {"ok.txt", "7"}});
  EXPECT_EQ(unzip(dir / "evil.zip"), ur::kWarning) << out();
  EXPECT_EQ(tree(dir), (std::map<std::string, std::string>{{"evil.zip", readFile(dir / "evil.zip")},
                                                           {"out", "/"},
                                                           {"out/evil1.txt", "1"},
                                                           {"out/evil2.txt", "2"},
                                                           {"out/abs_evil.txt", "3"},
                                                           {"out/drive_evil.txt", "4"},
                                                           {"out/a", "/"},
                                                           {"out/a/up.txt", "5"},
                                                           {"out/link", "/"},
                                                           {"out/link/inside.txt", "6"},
                                                           {"out/ok.txt", "7"}}));
  const std::string said = out();
  EXPECT_NE(said.find("stripped absolute path spec from /abs_evil.txt"), std::string::npos);
  EXPECT_NE(said.find("skipped \"../\" path component(s) in ../evil1.txt"), std::string::npos);
  EXPECT_NE(said.find("link                      symbolic link refused"), std::string::npos) << said;
}

TEST_F(Unzipping, ALinkAlreadyOnDiskIsNeverFollowed) {
  fs::create_directories(dir / "outside");
  fs::create_directories(target);
  fs::create_directory_symlink(dir / "outside", target / "sub");
  makeArchive(dir / "l.zip", {{"sub/x.txt", "x"}, {"SUB/y.txt", "y"}, {"z.txt", "z"}});
  EXPECT_EQ(unzip(dir / "l.zip"), ur::kWarning) << out();
  EXPECT_TRUE(fs::is_empty(dir / "outside"));
  EXPECT_EQ(readFile(target / "z.txt"), "z");
  EXPECT_NE(out().find("path leads through the symbolic link sub"), std::string::npos) << out();

  // A symbolic link stored by Debian's zip (-y) is not made either.
  fs::create_directories(dir / "src");
  fs::create_symlink("/etc/hostname", dir / "src" / "l");
  writeFile(dir / "src" / "f.txt", "f");
  Ran z = run("cd " + sh(dir) + " && zip -q -y -r peer.zip src");
  ASSERT_EQ(z.status, 0) << z.output;
  fs::remove_all(target);
  EXPECT_EQ(unzip(dir / "peer.zip"), ur::kWarning) << out();
  EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"src", "/"}, {"src/f.txt", "f"}}));
}

TEST_F(Unzipping, ZipBombsAreRefused) {
  // Entries that share their bytes: refused before anything is written, as
  // Debian's unzip refuses them.
  // A hundred records of one entry of 1 MiB of zeros: 100 MiB from 2 KiB.
  makeOverlappingArchive(dir / "overlap.zip", std::string(1 << 20, '\0'), 100);
  // The quoted overlap: a stored entry whose data run on through the next
  // entry's local header and data (and whose CRC is theirs).
  makeArchive(dir / "quoted.zip",
              {{"a.txt", "aaaa", 0100644, true}, {"b.txt", "bbbb", 0100644, true}});
  std::string quoted = readFile(dir / "quoted.zip");
  const size_t aData = 30 + 5 + le(quoted, 28, 2), bHeader = aData + 4;
  const size_t bEnd = bHeader + 30 + 5 + le(quoted, bHeader + 28, 2) + 4;
  const uint32_t crc = static_cast<uint32_t>(crc32(
      0, reinterpret_cast<const Bytef*>(quoted.data() + aData), static_cast<uInt>(bEnd - aData)));
  const size_t aCentral = quoted.find("PK\1\2");
  for (const auto& [at, value] :
       std::vector<std::pair<size_t, uint64_t>>{{14, crc},
                                                {18, bEnd - aData},
                                                {22, bEnd - aData},
                                                {aCentral + 16, crc},
                                                {aCentral + 20, bEnd - aData},
                                                {aCentral + 24, bEnd - aData}}) {
    put(quoted, at, value, 4);
  }
  writeFile(dir / "quoted.zip", quoted);
  for (const char* name : {"overlap.zip", "quoted.zip"}) {
    SCOPED_TRACE(name);
    fs::remove_all(target);
    EXPECT_EQ(unzip(dir / name), ur::kBomb) << out();
    EXPECT_NE(out().find("invalid zip file with overlapped components (possible zip bomb)"),
              std::string::npos)
        << out();
    EXPECT_TRUE(!fs::exists(target) || fs::is_empty(target));
    options.ntflag = 1;
    EXPECT_EQ(unzip(dir / name), ur::kBomb) << out();
    options.ntflag = 0;
    const Ran peer = run("unzip -o " + sh(dir / name) + " -d " + sh(dir / "peer"));
    EXPECT_EQ(peer.status, ur::kBomb) << peer.output;
  }
  EXPECT_NE(out().find("a.txt and b.txt share bytes of the archive"), std::string::npos) << out();
  fs::remove_all(dir / "peer");

  // An entry that inflates past the size its directory declares.
  makeArchive(dir / "lie.zip", {{"big.txt", std::string(100000, 'a')}});
  const size_t central = centralRecord(dir / "lie.zip");
  patch32(dir / "lie.zip", central + 24, 1000);  // uncompressed size in the directory
  patch32(dir / "lie.zip", 22, 1000);            // and in the local header
  EXPECT_EQ(unzip(dir / "lie.zip"), ur::kError) << out();
  EXPECT_NE(out().find("expands beyond its declared size of 1000 bytes"), std::string::npos)
      << out();
  EXPECT_FALSE(fs::exists(target / "big.txt"));

  // Sizes declared past the total bound (each within the ratio).
  makeArchive(dir / "total.zip",
              {{"a", "a", 0100644, true}, {"b", "b", 0100644, true}, {"c", "c", 0100644, true}});
  std::string bytes = readFile(dir / "total.zip");
  for (size_t at = bytes.find("PK\1\2"); at != std::string::npos; at = bytes.find("PK\1\2", at + 4)) {
    patch32(dir / "total.zip", at + 20, 0xC0000000u);
    patch32(dir / "total.zip", at + 24, 0xC0000000u);
  }
  EXPECT_EQ(unzip(dir / "total.zip"), ur::kBomb) << out();
  EXPECT_NE(out().find("more than the 8589934592 allowed (possible zip bomb)"), std::string::npos)
      << out();
  EXPECT_FALSE(fs::exists(target / "a"));
}

// Text of repeated words, logs and the XML of spreadsheets deflate about a
// thousandfold; such archives are no bombs, and only the room they need is
// checked (50 when the target is short of it).
TEST_F(Unzipping, ArchivesThatDeflateAThousandfoldAreExtracted) {
  std::string words;
  while (words.size() < (3u << 20)) words += "the examinee saved the document again ";
  makeArchive(
      dir / "ratio.zip",
      {{"small.txt", "s"}, {"zeros.bin", std::string(4 << 20, '\0')}, {"words.txt", words}});
  EXPECT_EQ(unzip(dir / "ratio.zip"), ur::kOk) << out();
  EXPECT_EQ(readFile(target / "zeros.bin"), std::string(4 << 20, '\0'));
  EXPECT_EQ(readFile(target / "words.txt"), words);

  fs::remove_all(target);
  fs::create_directories(target);
  makeArchive(dir / "fits.zip", {{"fits.txt", words.substr(0, 1 << 20)}});
  const SmallFileSystemRun small = runWithSmallFileSystem(target, 3 << 20, [&] {
    // 7 MiB and the 1 MiB reserve do not fit 3 MiB; 1 MiB does.
    if (unzip(dir / "ratio.zip") != ur::kDiskFull) return "ratio.zip: " + out();
    if (out().find("not enough free space to extract") == std::string::npos) return out();
    if (!fs::is_empty(target)) return std::string("ratio.zip: something was written");
    if (unzip(dir / "fits.zip") != ur::kOk) return "fits.zip: " + out();
    return std::string();
  });
  if (!small.mounted) GTEST_SKIP() << "no mount namespace for a small file system here";
  EXPECT_EQ(small.failure, "");
}

TEST_F(Unzipping, ListingTestingAndPrinting) {
  makeArchive(dir / "l.zip", {{"dir/", ""}, {"dir/报告.txt", "第一\n"}, {"s.bin", "stored", 0100644, true}},
              nullptr, "archive comment");
  options.nvflag = 1;
  EXPECT_EQ(unzip(dir / "l.zip"), ur::kOk);
  EXPECT_NE(out().find("  Length      Date    Time    Name\n"), std::string::npos) << out();
  EXPECT_NE(out().find("dir/报告.txt\n"), std::string::npos) << out();
  EXPECT_NE(out().find("3 files\n"), std::string::npos) << out();
  EXPECT_EQ(tMessages, 3);
  options.nZIflag = 1;
  unzip(dir / "l.zip");
  EXPECT_NE(out().find("Stored"), std::string::npos) << out();
  EXPECT_FALSE(fs::exists(target / "s.bin"));

  options = UnzipOptions();
  options.ntflag = 1;
  EXPECT_EQ(unzip(dir / "l.zip"), ur::kOk);
  EXPECT_NE(out().find("    testing: s.bin                    OK\n"), std::string::npos) << out();
  EXPECT_NE(out().find("No errors detected in compressed data of"), std::string::npos);

  options = UnzipOptions();
  options.ncflag = 1;
  options.fQuiet = 2;
  EXPECT_EQ(unzip(dir / "l.zip"), ur::kOk);
  EXPECT_EQ(tOut, "第一\nstored") << "contents as they are";

  options = UnzipOptions();
  options.nzflag = 1;
  EXPECT_EQ(unzip(dir / "l.zip"), ur::kOk);
  EXPECT_NE(out().find("archive comment\n"), std::string::npos) << out();
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(Unzipping, MessageLevels) {
  makeArchive(dir / "m.zip", {{"a.txt", "a"}});
  struct Case {
    int32_t quiet;
    bool archiveLine;
  };
  for (const Case& c : {Case{0, true}, Case{1, false}, Case{2, false}}) {
    options.fQuiet = c.quiet;
    EXPECT_EQ(unzip(dir / "m.zip", {"a.txt", "nothere"}), ur::kOk);
    EXPECT_EQ(out().find("Archive:  "), c.archiveLine ? 0 : std::string::npos) << out();
    // Warnings come at every level.
    EXPECT_NE(out().find("caution: filename not matched:  nothere"), std::string::npos) << out();
  }
}

TEST_F(Unzipping, SelectionConversionAndNames) {
  makeArchive(dir / "s.zip", {{"Text File.txt", "a\nb\r\nc\rd"},
                              {"bin.dat", std::string("x\n\0y", 4)},
                              {"skip.log", "no"}});
  options.naflag = 1;
  options.SpaceToUnderscore = 1;
  EXPECT_EQ(unzip(dir / "s.zip", {"*.TXT"}), ur::kNoMatch) << "case counts without C_flag";
  options.C_flag = 1;
  EXPECT_EQ(unzip(dir / "s.zip", {"*.TXT", "*.dat", "*.log"}, {"skip*"}), ur::kOk) << out();
  EXPECT_EQ(tree(target), (std::map<std::string, std::string>{
                              {"Text_File.txt", "a\r\nb\r\nc\r\nd"},
                              {"bin.dat", std::string("x\n\0y", 4)}}));
}

TEST_F(Unzipping, ExistingFiles) {
  makeArchive(dir / "e.zip", {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
  auto reset = [&] {
    fs::remove_all(target);
    writeFile(target / "a.txt", "old a");
    writeFile(target / "b.txt", "old b");
  };
  struct Case {
    const char* what;
    int32_t prompt, overwrite, freshen, update;
    std::vector<int32_t> replies;
    std::map<std::string, std::string> after;
    size_t asked;
  };
  const Case cases[] = {
      {"keep without asking", 0, 0, 0, 0, {}, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}, 0},
      {"overwrite", 0, 1, 0, 0, {}, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}, 0},
      {"yes, no", 1, 1, 0, 0, {replace::kYes, replace::kNo},
       {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}, 2},
      {"all", 1, 0, 0, 0, {replace::kAll}, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}, 1},
      {"none", 1, 1, 0, 0, {replace::kNone}, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}, 1},
      // The files on disk are newer than the entries: freshen and update keep them.
      {"freshen", 0, 0, 1, 0, {}, {{"a.txt", "old a"}, {"b.txt", "old b"}}, 0},
      {"update", 0, 0, 0, 1, {}, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}, 0},
  };
  for (const Case& c : cases) {
    reset();
    tAsked.clear();
    tReplies.assign(c.replies.begin(), c.replies.end());
    options.PromptToOverwrite = c.prompt;
    options.noflag = c.overwrite;
    options.nfflag = c.freshen;
    options.ExtractOnlyNewer = c.update;
    EXPECT_EQ(unzip(dir / "e.zip"), ur::kOk) << c.what << ": " << out();
    EXPECT_EQ(tree(target), c.after) << c.what;
    EXPECT_EQ(tAsked.size(), c.asked) << c.what;
    if (!tAsked.empty()) {
      EXPECT_EQ(tAsked[0], "a.txt");
    }
  }
  // Older files on disk are replaced by freshen.
  reset();
  struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, (target / "a.txt").c_str(), old, 0);
  options = UnzipOptions();
  options.nfflag = 1;
  EXPECT_EQ(unzip(dir / "e.zip"), ur::kOk);
  EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"a.txt", "new a"}, {"b.txt", "old b"}}));
}

TEST_F(Unzipping, TheServiceRoutineStopsTheRun) {
  makeArchive(dir / "s.zip", {{"a.txt", "a"}, {"b.txt", "b"}});
  tServiceLeft = 1;
  EXPECT_EQ(unzip(dir / "s.zip"), ur::kAborted);
  EXPECT_EQ(tree(target), (std::map<std::string, std::string>{{"a.txt", "a"}}));
}

// --- Zip ---------------------------------------------------------------------

class Zipping : public ::testing::Test {
 protected:
  int32_t zip(const fs::path& archive, const std::vector<std::string>& names, ZipOptions o = {},
              ZipPasswordRoutine password = nullptr, ZipServiceRoutine stop = nullptr) {
    tOut.clear();
    auto lib = makeLibzipLibrary();
    ZipUserFunctions f;
    f.print = print;
    f.password = password;
    f.service = stop;
    lib->ZpInit(f);
    const std::string root = dir.string();
    o.szRootDir = root.c_str();
    lib->ZpSetOptions(o);
    ZipNames list;
    for (size_t i = 0; i < names.size(); ++i) list.s[i] = names[i].c_str();
    const std::string name = archive.string();
    return lib->ZpArchive(static_cast<int32_t>(names.size()), name.c_str(), list);
  }

  std::string listing(const fs::path& archive) {
    return run("unzip -Z1 " + sh(archive)).output;
  }

  TempFolder temp;
  const fs::path dir = temp.path();
};

TEST_F(Zipping, NamesWildcardsAndOptions) {
  writeFile(dir / "w" / "a.TXT", "a");
  writeFile(dir / "w" / "b.txt", "b");
  writeFile(dir / "w" / "c.doc", "c");
  writeFile(dir / "w" / "sub" / "d.txt", "d");
  fs::create_directory_symlink(dir / "w", dir / "w" / "sub" / "loop");
  struct Case {
    const char* what;
    std::vector<std::string> names;
    int32_t junk, recurse, noDirs, level;
    int32_t result;
    std::string entries;
  };
  const Case cases[] = {
      {"wildcards without regard to case", {"w/*.txt"}, 0, 0, 0, 0, 0, "w/a.TXT\nw/b.txt\n"},
      {"a folder alone", {"w"}, 0, 0, 0, 0, 0, "w/\n"},
      {"recursion; a linked folder is not walked",
       {"w"}, 0, 1, 0, 0, 0, "w/\nw/a.TXT\nw/b.txt\nw/c.doc\nw/sub/\nw/sub/d.txt\nw/sub/loop/\n"},
      {"junk folders", {"w/sub/d.txt", "w/c.doc"}, 1, 0, 0, 0, 0, "d.txt\nc.doc\n"},
      {"no folder entries", {"w/sub"}, 0, 1, 1, 0, 0, "w/sub/d.txt\n"},
      {"nothing matched", {"querty", "nothing*"}, 0, 0, 0, 0, zr::kNothingToDo, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    ZipOptions o;
    o.fJunkDir = c.junk;
    o.fRecurse = c.recurse;
    o.fNoDirEntries = c.noDirs;
    const fs::path archive = dir / ("t" + std::to_string(n++) + ".zip");
    EXPECT_EQ(zip(archive, c.names, o), c.result) << c.what << ": " << out();
    if (c.result == 0) {
      EXPECT_EQ(listing(archive), c.entries) << c.what;
    }
  }
  EXPECT_NE(out().find("\tzip warning: name not matched: querty\n"), std::string::npos);
  EXPECT_NE(out().find("zip error: Nothing to do! ("), std::string::npos);
}

TEST_F(Zipping, LevelFreshenEncryptionAndFailures) {
  writeFile(dir / "a.txt", std::string(10000, 'a'));
  writeFile(dir / "b.txt", "b");
  ZipOptions stored;
  stored.fLevel = '0';
  ASSERT_EQ(zip(dir / "s.zip", {"a.txt"}, stored), 0);
  EXPECT_NE(run("unzip -v " + sh(dir / "s.zip")).output.find("Stored"), std::string::npos);
  EXPECT_NE(out().find("  adding: a.txt (stored 0%)"), std::string::npos) << out();

  ZipOptions freshen;
  freshen.fFreshen = 1;
  writeFile(dir / "a.txt", "changed");
  struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 10, 0}};
  ::utimensat(AT_FDCWD, (dir / "a.txt").c_str(), later, 0);
  EXPECT_EQ(zip(dir / "s.zip", {"a.txt", "b.txt"}, freshen), 0) << out();
  EXPECT_EQ(listing(dir / "s.zip"), "a.txt\n") << "freshen adds nothing";
  EXPECT_EQ(run("unzip -p " + sh(dir / "s.zip")).output, "changed");

  ZipOptions encrypt;
  encrypt.fEncrypt = 1;
  tPasswords = {std::string("pw"), std::string("pw")};
  EXPECT_EQ(zip(dir / "e.zip", {"b.txt"}, encrypt, passwordRoutine), 0) << out();
  EXPECT_EQ(run("unzip -P pw -p " + sh(dir / "e.zip")).output, "b");
  tPasswords = {std::string("pw"), std::string("other")};
  EXPECT_EQ(zip(dir / "e2.zip", {"b.txt"}, encrypt, passwordRoutine), zr::kParameters);
  EXPECT_FALSE(fs::exists(dir / "e2.zip"));

  tServiceLeft = 0;
  EXPECT_EQ(zip(dir / "stop.zip", {"a.txt"}, {}, nullptr, service), zr::kInterrupted);
  EXPECT_FALSE(fs::exists(dir / "stop.zip"));

  EXPECT_EQ(zip(dir / "no" / "such" / "x.zip", {"a.txt"}), zr::kCreate) << out();

  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(zip(dir / "f.zip", {"fifo", "b.txt"}), zr::kOpenFile) << out();
  EXPECT_EQ(listing(dir / "f.zip"), "b.txt\n");
  EXPECT_NE(out().find("\tzip warning: could not open for reading: fifo"), std::string::npos);
}

}  // namespace
}  // namespace bq::infozip
