#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "dbmaint/block_stream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class Bqdb : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-bqdb-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directory(dir_ / "work");
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    fs::remove_all(dir_);
  }

  // Runs bqdb with `args`; its exit code, and its stderr in err_.
  int run(const std::vector<std::string>& args) {
    std::string cmd = BQDB_PATH;
    for (const auto& a : args) cmd += " '" + a + "'";
    int ws = std::system((cmd + " 2>'" + (dir_ / "err").string() + "'").c_str());
    Bytes err = readFile(dir_ / "err");
    err_.assign(err.begin(), err.end());
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  }
  static Bytes readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  static void writeFile(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  fs::path work(const char* name) const { return dir_ / "work" / name; }
  // What the work folder holds, to see that nothing was left behind.
  std::vector<std::string> workFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / "work"))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::string err_;
};

Bytes sampleData(size_t n) {
  std::mt19937 rng(5);
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = i % 3000 < 1500 ? static_cast<uint8_t>(rng()) : 'a' + i % 26;
  return b;
}

TEST_F(Bqdb, CompressesAndExpandsFilesBothWays) {
  for (size_t size : {0, 70000}) {
    SCOPED_TRACE(size);
    const Bytes data = sampleData(size);
    writeFile(work("in.bin"), data);
    ASSERT_EQ(run({"blocks", "compress", work("in.bin"), work("in.blk")}), 0) << err_;
    EXPECT_EQ(readFile(work("in.blk")), bq::compressBlockSequence(data));
    ASSERT_EQ(run({"blocks", "expand", work("in.blk"), work("out.bin")}), 0) << err_;
    EXPECT_EQ(readFile(work("out.bin")), data);
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"in.bin", "in.blk", "out.bin"}));
    fs::remove(work("out.bin"));
  }
}

TEST_F(Bqdb, TakesWindowsPathsAndReplacesAnExistingOutput) {
  setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
  const fs::path folder = dir_ / "drives" / "c" / "BQTEST";
  fs::create_directories(folder);
  const Bytes data = sampleData(20000);
  writeFile(folder / "wdbq1.doc", data);
  writeFile(folder / "wdbq1.blk", Bytes(5, 'x'));
  ASSERT_EQ(run({"blocks", "compress", "c:\\bqtest\\WDBQ1.DOC", "C:\\BQTEST\\wdbq1.blk"}), 0)
      << err_;
  EXPECT_EQ(readFile(folder / "wdbq1.blk"), bq::compressBlockSequence(data));
}

TEST_F(Bqdb, FailuresLeaveNoOutputAndKeepAnExistingOne) {
  const Bytes sound = bq::compressBlockSequence(sampleData(40000));
  Bytes damaged = sound;
  damaged[damaged.size() - 20] ^= 0x55;  // in the stream of the third block
  writeFile(work("bad.blk"), damaged);
  writeFile(work("cut.blk"), Bytes(sound.begin(), sound.end() - 1));
  fs::create_directory(work("sub"));

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"blocks", "expand", work("bad.blk"), work("out.bin")}, "Damaged compressed block 3 at"},
      {{"blocks", "expand", work("cut.blk"), work("out.bin")}, "Damaged compressed block 3 at"},
      {{"blocks", "compress", work("none"), work("out.bin")}, "cannot open"},
      {{"blocks", "compress", work("bad.blk"), work("no/out.bin")}, "no/out.bin"},
      {{"blocks", "compress", work("bad.blk"), work("sub")}, "cannot replace"},
  };
  const Bytes old{'o', 'l', 'd'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    for (bool existing : {false, true}) {
      if (existing) writeFile(work("out.bin"), old);
      const auto before = workFiles();
      EXPECT_EQ(run(c.args), 1);
      EXPECT_EQ(err_.rfind("bqdb: blocks ", 0), 0u) << err_;
      EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
      EXPECT_EQ(workFiles(), before) << "no output and no temporary file";
      EXPECT_EQ(readFile(work("out.bin")), existing ? old : Bytes{});
      fs::remove(work("out.bin"));
    }
  }
}

}  // namespace
