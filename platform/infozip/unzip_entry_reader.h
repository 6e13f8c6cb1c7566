// Reading the entries of an unzip run's archive: opened with the password
// that opened an earlier entry, else with the answers of the password
// routine, and inflated into a sink never past the declared size plus one
// byte. Internal to platform/infozip.
//
// Thread safety: a reader belongs to one run.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/infozip/infozip.h"
#include "platform/infozip/unzip_archive.h"
#include "platform/zip/libzip_handle.h"

namespace bq::infozip {

// How reading one entry ended.
enum class Read {
  kOk,
  kNoPassword,     // the password routine gave none
  kWrongPassword,  // no password given opened it
  kUnsupported,    // compression or encryption method libzip cannot read
  kBadData,        // the compressed data is damaged
  kBadCrc,
  kTooLong,  // more data than the declared size
  kTooShort,
  kDiskFull,
  kWriteFailed,
};

class EntryReader {
 public:
  using Sink = std::function<void(std::span<const uint8_t>)>;

  // Reads entries of `archive`, asking `functions.password`; the text of
  // each failure (libzip's or the sink's) goes to `why`.
  EntryReader(zip_t* archive, UnzipUserFunctions& functions, std::string& why)
      : archive_(archive), f_(functions), why_(why) {}

  // Inflates `e` into `sink`, never more than its declared size plus one
  // byte; the sink may throw AutomationError (a failed write).
  Read read(const UnzipEntry& e, const Sink& sink);

 private:
  // Opens the entry; for an encrypted one the password that opened an
  // earlier entry first, then at most two answers of the password routine.
  zip::EntryHandle open(const UnzipEntry& e, Read& status);
  zip::EntryHandle askPassword(const UnzipEntry& e, Read& status);
  Read openStatus();
  static Read statusOf(int code);

  zip_t* archive_;
  UnzipUserFunctions& f_;
  std::string& why_;
  std::string password_;
  bool havePassword_ = false;
  std::vector<uint8_t> buffer_;
};

}  // namespace bq::infozip
