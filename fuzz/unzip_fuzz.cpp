// Feeds arbitrary bytes to the unzip side of the Info-ZIP interface as an
// archive file: lists it, tests it and extracts it into a private folder,
// answering every password request once ("pw") and every overwrite question
// with yes.
//
// Invariants: no run crashes or ends with a result outside unzip's codes, and
// nothing is ever written outside the extraction folder (the sandbox holds
// only the archive and that folder afterwards), whatever the names, links or
// sizes the archive claims.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "fuzz/sandbox.h"
#include "platform/infozip/libzip_library.h"

namespace {

namespace fs = std::filesystem;
namespace iz = bq::infozip;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

int passwordsLeft = 0;

int32_t print(const char* text, uint32_t length) {
  check(text != nullptr && text[length] == '\0', "print text not terminated at its length");
  return 0;
}
int32_t replaceYes(char* name) {
  check(name != nullptr, "replace without a name");
  return iz::replace::kYes;
}
int32_t password(char* buffer, int32_t size, const char*, const char*) {
  if (passwordsLeft-- <= 0 || size < 3) return 1;
  buffer[0] = 'p';
  buffer[1] = 'w';
  buffer[2] = '\0';
  return 0;
}
void message(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, char,
             const char* name, const char*, uint32_t, char) {
  check(name != nullptr, "entry message without a name");
}

// The private folder of this process.
const fs::path& sandbox() {
  static const bqfuzz::Sandbox box("bq_unzip_fuzz_");
  return box.path;
}

int32_t runOnce(const iz::UnzipOptions& base, const std::string& zip, const std::string& out) {
  static const std::shared_ptr<iz::Library> lib = iz::makeLibzipLibrary();
  iz::UnzipOptions o = base;
  o.lpszZipFN = zip.c_str();
  o.lpszExtractDir = out.c_str();
  iz::UnzipUserFunctions f;
  f.print = print;
  f.replace = replaceYes;
  f.password = password;
  f.sendApplicationMessage = message;
  std::array<const char*, iz::kNameListSize> none{};
  passwordsLeft = 1;
  const int32_t r = lib->Wiz_SingleEntryUnzip(0, none.data(), 0, none.data(), o, f);
  static const std::set<int32_t> known = {0, 1, 2, 3, 4, 9, 10, 11, 12, 50, 51, 80, 81, 82};
  check(known.count(r) == 1, "result outside unzip's codes");
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path zip = sandbox() / "in.zip";
  const fs::path out = sandbox() / "out";
  {
    std::ofstream f(zip, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  iz::UnzipOptions list;
  list.nvflag = 1;
  list.nZIflag = 1;
  runOnce(list, zip.string(), out.string());
  iz::UnzipOptions test;
  test.ntflag = 1;
  runOnce(test, zip.string(), out.string());
  iz::UnzipOptions extract;
  extract.ndflag = 1;
  extract.noflag = 1;
  extract.naflag = size > 0 && (data[0] & 1);
  extract.PromptToOverwrite = size > 0 && (data[0] & 2);
  runOnce(extract, zip.string(), out.string());
  // Twice, so that existing files, folders and links meet the same names.
  runOnce(extract, zip.string(), out.string());

  for (const auto& e : fs::directory_iterator(sandbox())) {
    check(e.path() == zip || e.path() == out,
          "something was written outside the extraction folder");
  }
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(out, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    check(!it->is_symlink(), "an extraction made a symbolic link");
  }
  fs::remove_all(out);
  return 0;
}
