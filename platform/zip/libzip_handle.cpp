#include "platform/zip/libzip_handle.h"

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/zip/archive_bytes.h"

namespace bq::zip {
namespace {

// Takes the error's text and ends it.
std::string finishedText(zip_error_t& error) {
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

Opening refused(zip_error_t& error) {
  Opening o;
  o.fault = Opening::Fault::kRefused;
  o.libzipError = zip_error_code_zip(&error);
  o.why = finishedText(error);
  return o;
}

Opening fault(Opening::Fault f, uint64_t entries = 0) {
  Opening o;
  o.fault = f;
  o.entries = entries;
  return o;
}

// Opens `source` (freed when libzip refuses it) and checks the count.
Opening openSource(zip_source_t* source, zip_error_t& error, uint64_t maxEntries) {
  Opening o;
  o.archive.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
  if (!o.archive) {
    zip_source_free(source);  // closes a file it reads
    return refused(error);
  }
  zip_error_fini(&error);
  const zip_int64_t count = zip_get_num_entries(o.archive.get(), 0);
  if (count < 0) return fault(Opening::Fault::kNoCount);
  if (static_cast<uint64_t>(count) > maxEntries)
    return fault(Opening::Fault::kTooMany, static_cast<uint64_t>(count));
  return o;
}

}  // namespace

void ArchiveDiscard::operator()(zip_t* archive) const { zip_discard(archive); }
void EntryClose::operator()(zip_file_t* entry) const { zip_fclose(entry); }

Opening openArchive(UniqueFd fd, uint64_t size, uint64_t maxEntries) {
  const uint64_t claimed = zip64ClaimedEntries(ArchiveBytes::file(fd.get(), size));
  if (claimed > maxEntries) return fault(Opening::Fault::kClaimsTooMany, claimed);

  FILE* file = ::fdopen(fd.get(), "rb");
  if (!file) {
    Opening o = fault(Opening::Fault::kUnreadable);
    o.why = std::strerror(errno);
    return o;
  }
  fd.release();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
  if (!source) {
    std::fclose(file);
    return refused(error);
  }
  return openSource(source, error, maxEntries);
}

Opening openArchive(std::string_view bytes, uint64_t maxEntries) {
  const uint64_t claimed = zip64ClaimedEntries(ArchiveBytes::memory(bytes));
  if (claimed > maxEntries) return fault(Opening::Fault::kClaimsTooMany, claimed);

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) return refused(error);
  return openSource(source, error, maxEntries);
}

std::string libzipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  return finishedText(error);
}

}  // namespace bq::zip
