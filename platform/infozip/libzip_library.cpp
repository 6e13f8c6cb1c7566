#include "platform/infozip/libzip_library.h"

#include <zlib.h>

#include <cstring>
#include <utility>

#include "platform/infozip/run_support.h"
#include "platform/infozip/runs.h"

namespace bq::infozip {
namespace {

class LibzipLibrary final : public Library {
 public:
  int32_t ZpInit(const ZipUserFunctions& functions) override {
    settings_.functions = functions;
    return 1;
  }

  int32_t ZpSetOptions(const ZipOptions& options) override {
    settings_.options = options;
    settings_.rootDir = fromInterface(options.szRootDir);
    // The copy keeps no pointers into the caller's texts.
    settings_.options.Date = nullptr;
    settings_.options.szRootDir = nullptr;
    return 1;
  }

  int32_t ZpArchive(int32_t argc, const char* zipName, const ZipNames& names) override {
    return runZip(settings_, argc, zipName, names);
  }

  int32_t UzpVersion2(UnzipVersion& version) override {
    version.flag = 2;  // zlib
    std::memset(version.betalevel, 0, sizeof version.betalevel);
    std::strncpy(version.date, "20 April 2009", sizeof version.date - 1);
    std::strncpy(version.zlibver, zlibVersion(), sizeof version.zlibver - 1);
    const uint8_t v[4] = {6, 0, 0, 0};
    std::memcpy(version.unzip, v, 4);
    std::memcpy(version.zipinfo, v, 4);
    std::memcpy(version.windll, v, 4);
    return 0;
  }

  int32_t Wiz_SingleEntryUnzip(int32_t includeCount, const char* const* include,
                               int32_t excludeCount, const char* const* exclude,
                               const UnzipOptions& options,
                               UnzipUserFunctions& functions) override {
    return runUnzip(includeCount, include, excludeCount, exclude, options, functions);
  }

 private:
  ZipSettings settings_;
};

thread_local std::shared_ptr<Library> tLibrary;

}  // namespace

std::shared_ptr<Library> makeLibzipLibrary() { return std::make_shared<LibzipLibrary>(); }

Library& library() {
  if (!tLibrary) tLibrary = makeLibzipLibrary();
  return *tLibrary;
}

void setLibrary(std::shared_ptr<Library> lib) { tLibrary = std::move(lib); }

ScopedLibrary::ScopedLibrary(std::shared_ptr<Library> lib) : previous_(std::move(lib)) {
  std::swap(previous_, tLibrary);
}

ScopedLibrary::~ScopedLibrary() { tLibrary = std::move(previous_); }

}  // namespace bq::infozip
