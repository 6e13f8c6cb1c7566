#include "platform/infozip/unzip_entry_reader.h"

#include <zip.h>

#include <cstring>

#include "common/ansi.h"
#include "common/automation_error.h"

namespace bq::infozip {
namespace {

constexpr size_t kBufferSize = 256 * 1024;
constexpr int32_t kPasswordBufferSize = 256;

}  // namespace

zip::EntryHandle EntryReader::open(const UnzipEntry& e, Read& status) {
  status = Read::kOk;
  // Methods libzip cannot read are refused before it is asked: its error
  // paths for them do not free everything.
  if (!zip_compression_method_supported(e.method, 0) ||
      (e.encrypted && !zip_encryption_method_supported(e.encryption, 0))) {
    status = Read::kUnsupported;
    return nullptr;
  }
  if (!e.encrypted) {
    zip::EntryHandle f(zip_fopen_index(archive_, e.index, 0));
    if (!f) status = openStatus();
    return f;
  }
  if (havePassword_) {
    zip::EntryHandle f(zip_fopen_index_encrypted(archive_, e.index, 0, password_.c_str()));
    if (f) return f;
    status = openStatus();
    if (status != Read::kWrongPassword) return f;
  }
  return askPassword(e, status);
}

zip::EntryHandle EntryReader::askPassword(const UnzipEntry& e, Read& status) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!f_.password) {
      status = Read::kNoPassword;
      return nullptr;
    }
    std::vector<char> buffer(kPasswordBufferSize + 1, '\0');
    const char* prompt =
        attempt == 0 && !havePassword_ ? "Enter password for: " : "Password incorrect--reenter: ";
    if (f_.password(buffer.data(), kPasswordBufferSize, prompt, toAnsi(e.name).c_str()) != 0) {
      status = Read::kNoPassword;
      return nullptr;
    }
    std::string answer(buffer.data(), ::strnlen(buffer.data(), kPasswordBufferSize));
    zip::EntryHandle f(zip_fopen_index_encrypted(archive_, e.index, 0, answer.c_str()));
    if (f) {
      password_ = answer;
      havePassword_ = true;
      return f;
    }
    status = openStatus();
    if (status != Read::kWrongPassword) return nullptr;
  }
  status = Read::kWrongPassword;
  return nullptr;
}

Read EntryReader::openStatus() {
  zip_error_t* ze = zip_get_error(archive_);
  const int code = zip_error_code_zip(ze);
  why_ = zip_error_strerror(ze);
  zip_error_clear(archive_);
  return statusOf(code);
}

Read EntryReader::statusOf(int code) {
  switch (code) {
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_NOPASSWD:
      return Read::kWrongPassword;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP:
      return Read::kUnsupported;
    case ZIP_ER_CRC:
      return Read::kBadCrc;
    default:
      return Read::kBadData;
  }
}

Read EntryReader::read(const UnzipEntry& e, const Sink& sink) {
  Read status;
  zip::EntryHandle f = open(e, status);
  if (!f) return status;
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  uint64_t total = 0;
  try {
    for (;;) {
      const uint64_t want = std::min<uint64_t>(buffer_.size(), e.size - total + 1);
      const zip_int64_t n = zip_fread(f.get(), buffer_.data(), want);
      if (n < 0) {
        zip_error_t* ze = zip_file_get_error(f.get());
        why_ = zip_error_strerror(ze);
        return statusOf(zip_error_code_zip(ze));
      }
      if (n == 0) break;
      total += static_cast<uint64_t>(n);
      if (total > e.size) return Read::kTooLong;
      sink(std::span<const uint8_t>(buffer_.data(), static_cast<size_t>(n)));
    }
  } catch (const AutomationError& x) {
    why_ = x.description();
    return x.number() == err::kDiskFull ? Read::kDiskFull : Read::kWriteFailed;
  }
  return total == e.size ? Read::kOk : Read::kTooShort;
}

}  // namespace bq::infozip
