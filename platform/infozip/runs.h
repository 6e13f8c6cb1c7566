// The zip and unzip runs of the libzip implementation (libzip_library.h
// describes what they do). Internal to platform/infozip.
#pragma once

#include <cstdint>
#include <string>

#include "platform/infozip/infozip.h"

namespace bq::infozip {

// What ZpInit and ZpSetOptions left for the next ZpArchive: the routines and
// a copy of the options whose texts live in `rootDir` and `date`.
struct ZipSettings {
  ZipUserFunctions functions;
  ZipOptions options;
  std::string rootDir;  // UTF-8
};

int32_t runZip(const ZipSettings& settings, int32_t argc, const char* zipName,
               const ZipNames& names);

int32_t runUnzip(int32_t includeCount, const char* const* include, int32_t excludeCount,
                 const char* const* exclude, const UnzipOptions& options,
                 UnzipUserFunctions& functions);

}  // namespace bq::infozip
