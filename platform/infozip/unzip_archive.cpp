#include "platform/infozip/unzip_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "common/winpath.h"
#include "platform/infozip/central_directory.h"
#include "platform/infozip/infozip.h"
#include "platform/infozip/limits.h"
#include "platform/zip/archive_bytes.h"
#include "platform/zip/unique_fd.h"

namespace bq::infozip {

namespace fs = std::filesystem;
namespace ur = unzip_result;

int32_t UnzipArchive::open(const std::string& zipText, const Printer& out) {
  zipText_ = zipText;
  fs::path path;
  for (const std::string& candidate : {zipText_, zipText_ + ".zip", zipText_ + ".ZIP"}) {
    fs::path p = winpath::toNative(candidate);
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      path = p;
      break;
    }
  }
  path_ = path;
  UniqueFd fd(path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    out.line("unzip:  cannot find or open " + zipText_ + ", " + zipText_ + ".zip or " + zipText_ +
             ".ZIP.");
    return ur::kNoArchive;
  }
  struct stat st {};
  ::fstat(fd.get(), &st);
  // A Zip64 directory may claim any number of entries, and the directory
  // reader allocates for what it claims: a claim past the bound is refused
  // before libzip reads it.
  zip::Opening opening =
      zip::openArchive(std::move(fd), static_cast<uint64_t>(st.st_size), limits::kMaxEntries);
  switch (opening.fault) {
    case zip::Opening::Fault::kNone:
      break;
    case zip::Opening::Fault::kClaimsTooMany:
    case zip::Opening::Fault::kTooMany:
      return tooManyEntries(opening.entries, out);
    // libzip's -1, as the count it is not.
    case zip::Opening::Fault::kNoCount:
      return tooManyEntries(static_cast<uint64_t>(-1), out);
    case zip::Opening::Fault::kUnreadable:
      return openFailed(ZIP_ER_OPEN, out);
    case zip::Opening::Fault::kRefused:
      return openFailed(opening.libzipError, out);
  }
  archive_ = std::move(opening.archive);
  const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    if (!readEntryHeader(static_cast<zip_uint64_t>(i))) {
      out.line("error [" + zipText_ + "]:  entry " + std::to_string(i + 1) +
               " of the zip directory cannot be read");
      return ur::kBadArchive;
    }
  }
  return ur::kOk;
}

int32_t UnzipArchive::tooManyEntries(uint64_t claimed, const Printer& out) const {
  out.line("error [" + zipText_ + "]:  the zip directory claims " + std::to_string(claimed) +
           " entries, more than the " + std::to_string(limits::kMaxEntries) +
           " allowed (possible zip bomb)");
  return ur::kBomb;
}

int32_t UnzipArchive::openFailed(int error, const Printer& out) const {
  const std::string why = zip::libzipErrorText(error);
  switch (error) {
    case ZIP_ER_NOZIP:
      out.line("  End-of-central-directory signature not found.  Either this file is not");
      out.line("  a zipfile, or it constitutes one disk of a multi-part archive.");
      out.line("unzip:  cannot find zipfile directory in " + zipText_ + ".");
      return ur::kNoArchive;
    case ZIP_ER_MEMORY:
      out.line("error [" + zipText_ + "]:  not enough memory");
      return ur::kMemory;
    case ZIP_ER_MULTIDISK:
      out.line("error [" + zipText_ + "]:  multi-part archives are not supported");
      return ur::kBadArchive;
    default:
      out.line("error [" + zipText_ + "]:  zipfile structure is damaged (" + why + ")");
      return ur::kBadArchive;
  }
}

bool UnzipArchive::readEntryHeader(uint64_t index) {
  zip_stat_t zs;
  zip_stat_init(&zs);
  if (zip_stat_index(archive_.get(), index, ZIP_FL_ENC_RAW, &zs) != 0 || !zs.name) return false;
  UnzipEntry e;
  e.index = index;
  e.name = decodeEntryName(zs.name);
  e.size = (zs.valid & ZIP_STAT_SIZE) ? zs.size : 0;
  e.compressedSize = (zs.valid & ZIP_STAT_COMP_SIZE) ? zs.comp_size : 0;
  e.mtime = (zs.valid & ZIP_STAT_MTIME) ? zs.mtime : 0;
  e.crc = (zs.valid & ZIP_STAT_CRC) ? zs.crc : 0;
  e.method = (zs.valid & ZIP_STAT_COMP_METHOD) ? zs.comp_method : 0;
  e.encryption = (zs.valid & ZIP_STAT_ENCRYPTION_METHOD) ? zs.encryption_method : ZIP_EM_NONE;
  e.encrypted = e.encryption != ZIP_EM_NONE;
  e.folder = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive_.get(), index, 0, &opsys, &attributes) == 0 &&
      opsys == ZIP_OPSYS_UNIX) {
    e.unixMode = attributes >> 16;
    e.symlink = S_ISLNK(e.unixMode);
  }
  entries_.push_back(std::move(e));
  return true;
}

std::string_view UnzipArchive::comment() const {
  int length = 0;
  const char* comment = zip_get_archive_comment(archive_.get(), &length, 0);
  if (!comment || length <= 0) return {};
  return std::string_view(comment, static_cast<size_t>(length));
}

int32_t UnzipArchive::checkLayout(const Printer& out) const {
  // How much an entry expands is no sign of a bomb: text, logs and the XML
  // of Office files deflate a thousandfold, and every entry is stopped at
  // its declared size anyway.
  const UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    out.line("error [" + zipText_ + "]:  cannot read the zip directory (" + std::strerror(errno) +
             ")");
    return ur::kBadArchive;
  }
  struct stat st {};
  ::fstat(fd.get(), &st);
  const zip::ArchiveBytes bytes =
      zip::ArchiveBytes::file(fd.get(), static_cast<uint64_t>(st.st_size));
  // The directory that libzip read: the same records with the same names
  // and compressed sizes.
  const auto libzipsOwn = [&](const std::vector<CentralRecord>& records) {
    if (records.size() != entries_.size()) return false;
    for (size_t i = 0; i < records.size(); ++i) {
      const char* raw = zip_get_name(archive_.get(), entries_[i].index, ZIP_FL_ENC_RAW);
      if (!raw || records[i].rawName != raw ||
          records[i].compressedSize != entries_[i].compressedSize)
        return false;
    }
    return true;
  };
  const std::optional<std::vector<CentralRecord>> records =
      readCentralDirectory(bytes, limits::kMaxEntries, libzipsOwn);
  if (!records) {
    out.line("error [" + zipText_ + "]:  the zip directory cannot be read consistently");
    return ur::kBadArchive;
  }
  if (const auto overlap = overlappingRecords(bytes, *records)) {
    out.line("error [" + zipText_ + "]:  " + entries_[overlap->first].name + " and " +
             entries_[overlap->second].name + " share bytes of the archive");
    out.line("error: invalid zip file with overlapped components (possible zip bomb)");
    return ur::kBomb;
  }
  return ur::kOk;
}

}  // namespace bq::infozip
