// Helpers of the archive tests: files and trees, archives made with libzip,
// and the zip and unzip commands run as peers. Test code only.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace bq::infozip::testing {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  std::string output;  // standard output and error
};

// Runs a shell command; its exit status and everything it printed.
inline Ran run(const std::string& command) {
  Ran r;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A path quoted for the shell.
inline std::string sh(const fs::path& p) { return "'" + p.string() + "'"; }

inline void writeFile(const fs::path& p, const std::string& bytes) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Every file and folder below `root`, as "rel/path" -> content ("/" for
// folders, "->target" for symbolic links).
inline std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    if (e.is_symlink()) {
      out[rel] = "->" + fs::read_symlink(e.path()).string();
    } else {
      out[rel] = e.is_directory() ? "/" : readFile(e.path());
    }
  }
  return out;
}

// One entry of an archive made for a test.
struct Made {
  std::string name;
  std::string data;
  uint32_t unixMode = 0100644;
  bool store = false;
};

// An archive of `entries` written with libzip: deflated at level 9 unless
// stored; with `password`, AES-256; with `comment`, that archive comment.
inline void makeArchive(const fs::path& path, const std::vector<Made>& entries,
                        const char* password = nullptr, const char* comment = nullptr) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(za, nullptr);
  for (const Made& m : entries) {
    zip_source_t* src = zip_source_buffer(za, m.data.data(), m.data.size(), 0);
    zip_int64_t i = zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(i, 0) << m.name;
    const auto index = static_cast<zip_uint64_t>(i);
    zip_set_file_compression(za, index, m.store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    zip_file_set_external_attributes(za, index, 0, ZIP_OPSYS_UNIX, m.unixMode << 16);
    if (password) zip_file_set_encryption(za, index, ZIP_EM_AES_256, password);
  }
  if (comment) zip_set_archive_comment(za, comment, static_cast<zip_uint16_t>(strlen(comment)));
  ASSERT_EQ(zip_close(za), 0);
}

// Overwrites the little-endian field of `width` bytes at `offset` of the file.
inline void patch(const fs::path& path, size_t offset, uint32_t value, size_t width) {
  std::string bytes = readFile(path);
  ASSERT_LE(offset + width, bytes.size());
  for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
inline void patch32(const fs::path& path, size_t offset, uint32_t value) {
  patch(path, offset, value, 4);
}

// The little-endian field of `width` bytes at `offset` of `bytes`.
inline uint64_t le(const std::string& bytes, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = width; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return v;
}

// Puts `value` into the little-endian field of `width` bytes at `offset` of `bytes`.
inline void put(std::string& bytes, size_t offset, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i)
    bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// The full overlap of the non-recursive zip bomb: an archive whose `copies`
// directory records (named k0, k1, ...) all point at the one local entry of
// `kernel`.
inline void makeOverlappingArchive(const fs::path& path, const std::string& kernel, int copies) {
  makeArchive(path, {{"k", kernel}});
  const std::string one = readFile(path);
  const size_t central = one.find("PK\1\2"), end = one.rfind("PK\5\6");
  ASSERT_NE(central, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const std::string record = one.substr(central, end - central);  // the name "k" at 46
  std::string directory;
  for (int i = 0; i < copies; ++i) {
    const std::string name = "k" + std::to_string(i);
    std::string r = record.substr(0, 46) + name + record.substr(47);
    put(r, 28, name.size(), 2);
    directory += r;
  }
  std::string tail = one.substr(end);
  put(tail, 8, static_cast<uint64_t>(copies), 2);
  put(tail, 10, static_cast<uint64_t>(copies), 2);
  put(tail, 12, directory.size(), 4);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << one.substr(0, central) + directory + tail;
}

// Offset of the central directory record of the first entry ("PK\1\2").
inline size_t centralRecord(const fs::path& path) { return readFile(path).find("PK\1\2"); }

// A per-test folder below the test's temporary folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    path_ = fs::path(::testing::TempDir()) /
            ("bq_zip_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace bq::infozip::testing
