// The archive classes against real archives: ours read by Debian's unzip and
// zip -T, Debian zip's archives extracted by ours, and hostile archives
// refused cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "archive/archive_methods.h"
#include "archive/cg_unzip_files.h"
#include "archive/cg_zip_files.h"
#include "archive/zip_module.h"
#include "common/automation_error.h"
#include "platform/infozip/infozip.h"
#include "platform/infozip/test_archives.h"
#include "platform/ui/recorder.h"

namespace bq::archive {
namespace {

namespace fs = std::filesystem;
using namespace bq::infozip::testing;

class ArchivePeers : public ::testing::Test {
 protected:
  TempFolder temp_;

  // The sample tree: Chinese names, an empty file, an empty folder, a
  // binary file two folders down, and a hidden file.
  fs::path sampleTree() {
    const fs::path src = dir_ / "src";
    writeFile(src / "报告.txt", "第一行\r\n第二行\r\n");
    writeFile(src / "empty.txt", "");
    writeFile(src / "sub" / "deep" / "b.bin", randomBytes(100000, 1));
    writeFile(src / "sub" / "text.txt", std::string(20000, 'a') + "\n");
    fs::create_directories(src / "空文件夹");
    writeFile(src / ".hidden", "not archived");
    return src;
  }

  const fs::path dir_ = temp_.path();
  std::shared_ptr<ui::Recorder> ui_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend uiScope_{ui_};
};

TEST_F(ArchivePeers, OurArchiveIsReadByDebiansUnzipAndZip) {
  const fs::path src = sampleTree();
  CGZipFiles z;
  z.RootDirectory(dir_.string());
  z.ZipFileName("out.zip");  // relative names are taken in the root folder
  z.AddFile("src");
  z.RecurseFolders(true);
  ASSERT_EQ(z.MakeZipFile(), 0) << z.GetLastMessage();
  const std::string msg = z.GetLastMessage();
  EXPECT_NE(msg.find("\tzip warning: name not matched: querty\n"), std::string::npos) << msg;
  EXPECT_NE(msg.find("  adding: src/报告.txt (deflated"), std::string::npos) << msg;
  EXPECT_NE(msg.find("  adding: src/empty.txt (stored 0%)"), std::string::npos) << msg;

  const fs::path zip = dir_ / "out.zip";
  Ran t = run("unzip -t " + sh(zip));
  EXPECT_EQ(t.status, 0) << t.output;
  Ran zt = run("zip -T " + sh(zip));
  EXPECT_EQ(zt.status, 0) << zt.output;
  EXPECT_NE(zt.output.find("OK"), std::string::npos) << zt.output;
  Ran names = run("unzip -Z1 " + sh(zip));
  EXPECT_EQ(names.output,
            "src/\nsrc/empty.txt\nsrc/sub/\nsrc/sub/deep/\nsrc/sub/deep/b.bin\nsrc/sub/text.txt\n"
            "src/报告.txt\nsrc/空文件夹/\n");
  const fs::path out = dir_ / "peer";
  Ran x = run("unzip -q " + sh(zip) + " -d " + sh(out));
  ASSERT_EQ(x.status, 0) << x.output;
  auto expected = tree(src);
  expected.erase(".hidden");
  EXPECT_EQ(tree(out / "src"), expected);
}

TEST_F(ArchivePeers, UpdatingKeepsTheOtherEntriesAndAFailedRunKeepsTheArchive) {
  writeFile(dir_ / "a.txt", "first");
  writeFile(dir_ / "b.txt", "second");
  const fs::path zip = dir_ / "up.zip";
  ASSERT_TRUE(Zip(zip.string(), (dir_ / "a.txt").string()));
  ASSERT_TRUE(Zip(zip.string(), (dir_ / "b.txt").string()));
  const std::string stored = dir_.relative_path().string();
  Ran names = run("unzip -Z1 " + sh(zip));
  EXPECT_EQ(names.output, stored + "/a.txt\n" + stored + "/b.txt\n");

  // Nothing to do (only the placeholder): 12, and the archive is untouched.
  const std::string before = readFile(zip);
  CGZipFiles nothing;
  nothing.ZipFileName(zip.string());
  EXPECT_EQ(nothing.MakeZipFile(), infozip::zip_result::kNothingToDo);
  EXPECT_NE(nothing.GetLastMessage().find("zip error: Nothing to do!"), std::string::npos);
  EXPECT_EQ(readFile(zip), before);

  // A damaged archive is refused and left as it was.
  const fs::path bad = dir_ / "bad.zip";
  writeFile(bad, "PK\x05\x06 this is no archive");
  EXPECT_FALSE(Zip(bad.string(), (dir_ / "a.txt").string()));
  EXPECT_EQ(ui_->shown().back().prompt, "压缩不成功，请检查！");
  EXPECT_EQ(readFile(bad), "PK\x05\x06 this is no archive");

  // UpdatingZip replaces only entries older than their file.
  writeFile(dir_ / "a.txt", "changed");
  struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 10, 0}};
  ::utimensat(AT_FDCWD, (dir_ / "a.txt").c_str(), times, 0);
  CGZipFiles up;
  up.ZipFileName(zip.string());
  up.UpdatingZip(true);
  up.AddFile((dir_ / "a.txt").string());
  up.AddFile((dir_ / "b.txt").string());
  EXPECT_EQ(up.MakeZipFile(), 0);
  EXPECT_NE(up.GetLastMessage().find("updating: " + stored + "/a.txt"), std::string::npos)
      << up.GetLastMessage();
  EXPECT_EQ(up.GetLastMessage().find("b.txt"), std::string::npos)
      << "b.txt is up to date: " << up.GetLastMessage();
  Ran p = run("unzip -p " + sh(zip) + " " + sh(stored + "/a.txt"));
  EXPECT_EQ(p.output, "changed");
}

TEST_F(ArchivePeers, DebiansArchivesAreExtractedByOurs) {
  sampleTree();
  fs::remove(dir_ / "src" / ".hidden");
  Ran z = run("cd " + sh(dir_) + " && zip -q -r in.zip src");
  ASSERT_EQ(z.status, 0) << z.output;
  CGUnzipFiles u;
  u.MessageLevel(All);
  EXPECT_EQ(u.Unzip((dir_ / "in.zip").string(), (dir_ / "out").string()), 0)
      << u.GetLastMessage();
  EXPECT_EQ(tree(dir_ / "out" / "src"), tree(dir_ / "src"));
  const std::string msg = u.GetLastMessage();
  EXPECT_NE(msg.find("  inflating: src/sub/deep/b.bin\r\n"), std::string::npos) << msg;
  EXPECT_NE(msg.find("   creating: src/空文件夹/\r\n"), std::string::npos) << msg;
}

// Python's zipfile as a second peer, both ways, and a LibreOffice document
// (an Office file is a zip package) extracted by ours.
TEST_F(ArchivePeers, PythonsZipfileAndLibreOfficeDocuments) {
  const fs::path src = sampleTree();
  fs::remove(src / ".hidden");
  CGZipFiles z;
  z.ZipFileName((dir_ / "ours.zip").string());
  z.RootDirectory(dir_.string());
  z.AddFile("src");
  z.RecurseFolders(true);
  ASSERT_EQ(z.MakeZipFile(), 0) << z.GetLastMessage();

  // zipfile reads our names (UTF-8 flagged where not ASCII) and bytes.
  const fs::path script = dir_ / "peer.py";
  writeFile(script,
            "import sys, zipfile, os\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "assert z.testzip() is None\n"
            "for i in z.infolist():\n"
            "    ascii = all(ord(c) < 128 for c in i.filename)\n"
            "    assert ascii or i.flag_bits & 0x800, i.filename\n"
            "    if not i.is_dir():\n"
            "        sys.stdout.write('%s %d %d\\n' % (i.filename, i.file_size, sum(z.read(i))))\n"
            "w = zipfile.ZipFile(sys.argv[2], 'w')\n"
            "w.writestr(zipfile.ZipInfo('py/数据.txt'), '甲乙丙\\r\\n'.encode('utf-8'),\n"
            "           zipfile.ZIP_DEFLATED)\n"
            "w.writestr('py/stored.bin', bytes(range(256)) * 40, zipfile.ZIP_STORED)\n"
            "w.writestr('py/空/', b'')\n"
            "w.close()\n");
  Ran py = run("/usr/bin/python3 " + sh(script) + " " + sh(dir_ / "ours.zip") + " " +
               sh(dir_ / "py.zip"));
  ASSERT_EQ(py.status, 0) << py.output;
  std::string expected;
  for (const auto& [name, bytes] : tree(src)) {
    if (bytes == "/") continue;  // a folder
    int sum = 0;
    for (unsigned char c : bytes) sum += c;
    expected += "src/" + name + " " + std::to_string(bytes.size()) + " " + std::to_string(sum) + "\n";
  }
  EXPECT_EQ(py.output.size(), expected.size()) << py.output << "\nexpected:\n" << expected;
  for (size_t at = 0, next; (next = expected.find('\n', at)) != std::string::npos; at = next + 1)
    EXPECT_NE(py.output.find(expected.substr(at, next - at + 1)), std::string::npos)
        << expected.substr(at, next - at);

  // zipfile's archive extracted by ours, byte for byte.
  CGUnzipFiles u;
  EXPECT_EQ(u.Unzip((dir_ / "py.zip").string(), (dir_ / "pyout").string()), 0)
      << u.GetLastMessage();
  EXPECT_EQ(readFile(dir_ / "pyout" / "py" / "数据.txt"), "甲乙丙\r\n");
  std::string ramp;
  for (int k = 0; k < 40; ++k)
    for (int c = 0; c < 256; ++c) ramp += static_cast<char>(c);
  EXPECT_EQ(readFile(dir_ / "pyout" / "py" / "stored.bin"), ramp);
  EXPECT_TRUE(fs::is_directory(dir_ / "pyout" / "py" / "空"));

  // A document LibreOffice wrote: every part comes out as Debian's unzip
  // extracts it.
  const fs::path doc = fs::path(BQ_SOURCE_DIR) / "scoring/extractors/testdata/word/lo_exam.docx";
  CGUnzipFiles d;
  EXPECT_EQ(d.Unzip(doc.string(), (dir_ / "docout").string()), 0) << d.GetLastMessage();
  Ran x = run("unzip -q " + sh(doc) + " -d " + sh(dir_ / "docpeer"));
  ASSERT_EQ(x.status, 0) << x.output;
  const auto parts = tree(dir_ / "docout");
  EXPECT_GT(parts.size(), 5u);
  EXPECT_EQ(parts, tree(dir_ / "docpeer"));
}

TEST_F(ArchivePeers, EncryptedArchivesAskThePasswordOncePerRun) {
  writeFile(dir_ / "src" / "a.txt", "secret a");
  writeFile(dir_ / "src" / "b.txt", std::string(5000, 'b'));
  Ran z = run("cd " + sh(dir_) + " && zip -q -P s3cret-pw -r enc.zip src");
  ASSERT_EQ(z.status, 0) << z.output;
  makeArchive(dir_ / "aes.zip", {{"src/a.txt", "secret a"}, {"src/b.txt", std::string(5000, 'b')}},
              "s3cret-pw");
  for (const char* name : {"enc.zip", "aes.zip"}) {
    SCOPED_TRACE(name);
    fs::remove_all(dir_ / "out");
    ui_ = std::make_shared<ui::Recorder>();
    ui::ScopedBackend scope(ui_);
    ui_->answerInputBox("s3cret-pw");
    CGUnzipFiles u;
    EXPECT_EQ(u.Unzip((dir_ / name).string(), (dir_ / "out").string()), 0) << u.GetLastMessage();
    EXPECT_EQ(readFile(dir_ / "out" / "src" / "a.txt"), "secret a");
    EXPECT_EQ(readFile(dir_ / "out" / "src" / "b.txt"), std::string(5000, 'b'));
    EXPECT_EQ(ui_->shown().size(), 1u) << "the password that opened a.txt opens b.txt";
  }

  // A wrong answer, then an empty one: nothing extracted, asked no more.
  // The traditional encryption checks a password against one byte of a
  // random header, so a wrong one passes that check now and then (its data
  // then fail their CRC instead): the archive is made again until the peer
  // refuses "wrong" as the password of both files.
  bool refusedByPeer = false;
  for (int attempt = 0; attempt < 20 && !refusedByPeer; ++attempt) {
    fs::remove(dir_ / "enc.zip");
    ASSERT_EQ(run("cd " + sh(dir_) + " && zip -q -P s3cret-pw -r enc.zip src").status, 0);
    fs::remove_all(dir_ / "peerout");
    const Ran peer = run("unzip -P wrong " + sh(dir_ / "enc.zip") + " -d " + sh(dir_ / "peerout"));
    const std::string& o = peer.output;
    const size_t first = o.find("incorrect password");
    refusedByPeer = first != std::string::npos &&
                    o.find("incorrect password", first + 1) != std::string::npos;
  }
  ASSERT_TRUE(refusedByPeer);
  fs::remove_all(dir_ / "out");
  ui_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope(ui_);
  ui_->answerInputBox("wrong");
  CGUnzipFiles u;
  EXPECT_EQ(u.Unzip((dir_ / "enc.zip").string(), (dir_ / "out").string()),
            infozip::unzip_result::kBadPassword);
  EXPECT_EQ(ui_->shown().size(), 2u);  // "wrong", then the refused empty answer
  EXPECT_FALSE(fs::exists(dir_ / "out" / "src" / "a.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "src" / "b.txt"));
  EXPECT_NE(u.GetLastMessage().find("   skipping: src/a.txt"), std::string::npos) << u.GetLastMessage();
}

// Text of repeated words deflates a thousandfold: our own archive of it
// comes back whole, as Debian's unzip extracts it.
TEST_F(ArchivePeers, OurArchiveOfRepeatedWordsIsExtracted) {
  // Twenty files, 50 MiB: ten of repeated words, ten of random bytes.
  std::string words;
  while (words.size() < (5u << 19)) words += "考试 answer saved again; ";
  for (int i = 0; i < 10; ++i) {
    writeFile(dir_ / "src" / ("words" + std::to_string(i) + ".txt"), words);
    writeFile(dir_ / "src" / ("random" + std::to_string(i) + ".bin"),
              randomBytes(5u << 19, static_cast<unsigned>(i)));
  }
  CGZipFiles z;
  z.ZipFileName((dir_ / "words.zip").string());
  z.RootDirectory(dir_.string());
  z.AddFile("src");
  z.RecurseFolders(true);
  ASSERT_EQ(z.MakeZipFile(), 0) << z.GetLastMessage();

  // The files by name, size and hash (a difference would print 50 MiB).
  const auto digest = [](const fs::path& root) {
    std::map<std::string, std::string> d;
    for (const auto& [name, bytes] : tree(root))
      d[name] =
          std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>()(bytes));
    return d;
  };
  const auto expected = digest(dir_ / "src");
  ASSERT_EQ(expected.size(), 20u);
  CGUnzipFiles u;
  EXPECT_EQ(u.Unzip((dir_ / "words.zip").string(), (dir_ / "out").string()), 0)
      << u.GetLastMessage();
  EXPECT_EQ(digest(dir_ / "out" / "src"), expected);
  Ran x = run("unzip -q " + sh(dir_ / "words.zip") + " -d " + sh(dir_ / "peer"));
  ASSERT_EQ(x.status, 0) << x.output;
  EXPECT_EQ(digest(dir_ / "peer" / "src"), expected);
  EXPECT_TRUE(Unzip((dir_ / "words.zip").string(), (dir_ / "flat").string()));
  EXPECT_TRUE(ui_->shown().empty());
}

TEST_F(ArchivePeers, ScoringClassUnzipDropsFoldersAndReplacesFilesOfTheName) {
  writeFile(dir_ / "a" / "b.txt", "from the archive");
  Ran z = run("cd " + sh(dir_) + " && zip -q -r in.zip a");
  ASSERT_EQ(z.status, 0) << z.output;
  writeFile(dir_ / "target" / "B.TXT", "old");  // the same name on Windows
  EXPECT_TRUE(Unzip((dir_ / "in.zip").string(), (dir_ / "target").string()));
  EXPECT_EQ(tree(dir_ / "target"), (std::map<std::string, std::string>{{"B.TXT", "from the archive"}}));
  EXPECT_TRUE(ui_->shown().empty());

  EXPECT_FALSE(Unzip((dir_ / "missing.zip").string(), (dir_ / "target").string()));
  EXPECT_EQ(ui_->shown().back().prompt, "解压缩不成功，请检查！");
}

}  // namespace
}  // namespace bq::archive
