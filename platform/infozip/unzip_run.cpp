// Wiz_SingleEntryUnzip over libzip: opens the archive with its directory
// bounded, selects the entries, checks the declared sizes, then lists,
// tests or extracts them one by one.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"
#include "platform/infozip/central_directory.h"
#include "platform/infozip/limits.h"
#include "platform/infozip/run_support.h"
#include "platform/infozip/runs.h"
#include "platform/zip/libzip_handle.h"
#include "platform/zip/unique_fd.h"

namespace bq::infozip {
namespace {

namespace fs = std::filesystem;
namespace ur = unzip_result;

using EntryFile = zip::EntryHandle;

constexpr size_t kBufferSize = 256 * 1024;
constexpr int32_t kPasswordBufferSize = 256;

struct Entry {
  zip_uint64_t index = 0;
  std::string name;  // UTF-8, as stored
  uint64_t size = 0;
  uint64_t compressedSize = 0;
  time_t mtime = 0;
  uint32_t crc = 0;
  uint16_t method = 0;
  uint16_t encryption = 0;  // ZIP_EM_*
  bool encrypted = false;
  bool folder = false;
  bool symlink = false;
  uint32_t unixMode = 0;  // 0 when the entry carries no Unix mode
};

// How reading one entry ended.
enum class Read {
  kOk,
  kNoPassword,     // the password routine gave none
  kWrongPassword,  // no password given opened it
  kUnsupported,    // compression or encryption method libzip cannot read
  kBadData,        // the compressed data is damaged
  kBadCrc,
  kTooLong,        // more data than the declared size
  kTooShort,
  kDiskFull,
  kWriteFailed,
};

std::string pad(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

std::string methodName(uint16_t method) {
  switch (method) {
    case ZIP_CM_STORE: return "Stored";
    case ZIP_CM_DEFLATE: return "Defl:N";
    case ZIP_CM_DEFLATE64: return "Def64";
    case ZIP_CM_BZIP2: return "BZip2";
    case ZIP_CM_LZMA: return "LZMA";
    case ZIP_CM_XZ: return "XZ";
    default: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "Unk:%03u", method);
      return buf;
    }
  }
}

int percentSaved(uint64_t size, uint64_t compressed) {
  if (size == 0 || compressed >= size) return 0;
  return static_cast<int>((200 * (size - compressed) + size) / (2 * size));
}

std::string dateTime(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min);
  return buf;
}

// Text entries for line-end conversion: no control characters but tab, line
// ends, form feed and the old end-of-file mark.
bool looksLikeText(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1a) return false;
  }
  return true;
}

// Line ends of a text entry made CR LF, across the pieces of one entry.
class LineEnds {
 public:
  void convert(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(in.size() + in.size() / 16 + 2);
    for (uint8_t b : in) {
      if (pendingCr_ && b != '\n') out.push_back('\n');
      pendingCr_ = false;
      if (b == '\n') {
        if (out.empty() || out.back() != '\r') out.push_back('\r');
        out.push_back('\n');
        continue;
      }
      out.push_back(b);
      if (b == '\r') pendingCr_ = true;
    }
  }
  bool finish(std::vector<uint8_t>& out) {
    out.clear();
    if (pendingCr_) out.push_back('\n');
    pendingCr_ = false;
    return !out.empty();
  }

 private:
  bool pendingCr_ = false;
};

int32_t clamp32(uint64_t v) {
  return static_cast<int32_t>(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max()));
}

// Where one entry's bytes go. A file that exists is replaced as a whole or
// not at all (written beside it and renamed into place); a new one is
// created under its name, never through a link, and removed again when the
// entry fails. Either way a failed entry leaves no partial file.
class EntryOutput {
 public:
  EntryOutput(const fs::path& target, bool exists) : path_(target) {
    if (exists) {
      atomic_.emplace(target, AtomicOutput::Durability::kUnflushed);
      return;
    }
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) winpath::raiseOpenError(errno, target);
  }
  ~EntryOutput() {
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(path_.c_str());
    }
  }
  EntryOutput(const EntryOutput&) = delete;
  EntryOutput& operator=(const EntryOutput&) = delete;

  void write(std::span<const uint8_t> bytes) {
    if (atomic_) {
      atomic_->write(bytes);
      return;
    }
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        raiseFileError(errno);
      }
      bytes = bytes.subspan(static_cast<size_t>(n));
    }
  }

  // Puts the file in place with the entry's time.
  void commit(time_t mtime) {
    struct timespec times[2];
    times[0].tv_sec = mtime;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (atomic_) {
      atomic_->commit();
      ::utimensat(AT_FDCWD, path_.c_str(), times, AT_SYMLINK_NOFOLLOW);
      return;
    }
    ::futimens(fd_, times);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
      const int errnum = errno;
      ::unlink(path_.c_str());
      raiseFileError(errnum);
    }
  }

 private:
  fs::path path_;
  std::optional<AtomicOutput> atomic_;
  int fd_ = -1;
};

class UnzipRun {
 public:
  UnzipRun(int32_t includeCount, const char* const* include, int32_t excludeCount,
           const char* const* exclude, const UnzipOptions& o, UnzipUserFunctions& f)
      : o_(o), f_(f), out_(f.print) {
    for (int32_t i = 0; include && i < includeCount; ++i)
      if (include[i]) include_.push_back(fromInterface(include[i]));
    for (int32_t i = 0; exclude && i < excludeCount; ++i)
      if (exclude[i]) exclude_.push_back(fromInterface(exclude[i]));
  }

  int32_t run() {
    int32_t opened = open();
    if (opened != ur::kOk) return opened;
    fillTotals();
    info("Archive:  " + zipText_);
    if (o_.nzflag) return showComment();
    if (entries_.empty()) {
      warn("warning [" + zipText_ + "]:  zipfile is empty");
      return ur::kWarning;
    }
    int32_t selected = select();
    if (selected != ur::kOk) return selected;
    if (o_.nvflag) return list();
    int32_t bounded = checkBounds();
    if (bounded != ur::kOk) return bounded;
    if (o_.ntflag) return test();
    if (o_.ncflag) return toPrint();
    return extract();
  }

 private:
  // --- Messages -----------------------------------------------------------
  void info(std::string_view line) const {
    if (o_.fQuiet == 0) out_.line(line);
  }
  void warn(std::string_view line) const { out_.line(line); }

  // --- Opening ------------------------------------------------------------
  int32_t open() {
    zipText_ = fromInterface(o_.lpszZipFN);
    if (zipText_.empty()) {
      warn("unzip:  no zip file name given");
      return ur::kParameters;
    }
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
      warn("unzip:  cannot find or open " + zipText_ + ", " + zipText_ + ".zip or " + zipText_ +
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
      case zip::Opening::Fault::kNone: break;
      case zip::Opening::Fault::kClaimsTooMany:
      case zip::Opening::Fault::kTooMany: return tooManyEntries(opening.entries);
      // libzip's -1, as the count it is not.
      case zip::Opening::Fault::kNoCount: return tooManyEntries(static_cast<uint64_t>(-1));
      case zip::Opening::Fault::kUnreadable: return openFailed(ZIP_ER_OPEN);
      case zip::Opening::Fault::kRefused: return openFailed(opening.libzipError);
    }
    za_ = std::move(opening.archive);
    const auto count = static_cast<zip_int64_t>(zip_get_num_entries(za_.get(), 0));
    for (zip_int64_t i = 0; i < count; ++i) {
      if (!readEntryHeader(static_cast<zip_uint64_t>(i))) {
        warn("error [" + zipText_ + "]:  entry " + std::to_string(i + 1) +
             " of the zip directory cannot be read");
        return ur::kBadArchive;
      }
    }
    return ur::kOk;
  }

  int32_t tooManyEntries(uint64_t claimed) const {
    warn("error [" + zipText_ + "]:  the zip directory claims " + std::to_string(claimed) +
         " entries, more than the " + std::to_string(limits::kMaxEntries) +
         " allowed (possible zip bomb)");
    return ur::kBomb;
  }

  int32_t openFailed(int error) const {
    const std::string why = zip::libzipErrorText(error);
    switch (error) {
      case ZIP_ER_NOZIP:
        warn("  End-of-central-directory signature not found.  Either this file is not");
        warn("  a zipfile, or it constitutes one disk of a multi-part archive.");
        warn("unzip:  cannot find zipfile directory in " + zipText_ + ".");
        return ur::kNoArchive;
      case ZIP_ER_MEMORY:
        warn("error [" + zipText_ + "]:  not enough memory");
        return ur::kMemory;
      case ZIP_ER_MULTIDISK:
        warn("error [" + zipText_ + "]:  multi-part archives are not supported");
        return ur::kBadArchive;
      default:
        warn("error [" + zipText_ + "]:  zipfile structure is damaged (" + why + ")");
        return ur::kBadArchive;
    }
  }

  bool readEntryHeader(zip_uint64_t index) {
    zip_stat_t zs;
    zip_stat_init(&zs);
    if (zip_stat_index(za_.get(), index, ZIP_FL_ENC_RAW, &zs) != 0 || !zs.name) return false;
    Entry e;
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
    if (zip_file_get_external_attributes(za_.get(), index, 0, &opsys, &attributes) == 0 &&
        opsys == ZIP_OPSYS_UNIX) {
      e.unixMode = attributes >> 16;
      e.symlink = S_ISLNK(e.unixMode);
    }
    entries_.push_back(std::move(e));
    return true;
  }

  void fillTotals() {
    uint64_t size = 0, compressed = 0;
    for (const Entry& e : entries_) {
      size += e.size;
      compressed += e.compressedSize;
    }
    int length = 0;
    zip_get_archive_comment(za_.get(), &length, 0);
    f_.TotalSizeComp = clamp32(compressed);
    f_.TotalSize = clamp32(size);
    f_.CompFactor = percentSaved(size, compressed);
    f_.NumMembers = clamp32(entries_.size());
    f_.cchComment = length;
  }

  int32_t showComment() const {
    int length = 0;
    const char* comment = zip_get_archive_comment(za_.get(), &length, 0);
    if (comment && length > 0 && o_.fQuiet < 2) out_.line(std::string(comment, length));
    return ur::kOk;
  }

  // --- Selection ----------------------------------------------------------
  int32_t select() {
    const bool ignoreCase = o_.C_flag != 0;
    std::vector<bool> matched(include_.size(), false);
    for (const Entry& e : entries_) {
      bool in = include_.empty();
      for (size_t p = 0; p < include_.size(); ++p) {
        if (wildcardMatch(include_[p], e.name, ignoreCase)) {
          matched[p] = true;
          in = true;
        }
      }
      for (const std::string& x : exclude_) {
        if (wildcardMatch(x, e.name, ignoreCase)) in = false;
      }
      if (in) selected_.push_back(&e);
    }
    for (size_t p = 0; p < include_.size(); ++p) {
      if (!matched[p]) warn("caution: filename not matched:  " + include_[p]);
    }
    return selected_.empty() ? ur::kNoMatch : ur::kOk;
  }

  // --- Bounds -------------------------------------------------------------
  int32_t checkBounds() {
    for (const Entry* e : selected_) {
      if (e->folder || e->symlink) continue;
      declaredTotal_ += e->size;
    }
    if (declaredTotal_ > limits::kMaxTotalBytes) {
      warn("error:  " + zipText_ + " would expand to " + std::to_string(declaredTotal_) +
           " bytes, more than the " + std::to_string(limits::kMaxTotalBytes) +
           " allowed (possible zip bomb)");
      return ur::kBomb;
    }
    return checkLayout();
  }

  // Refuses an archive whose entries share bytes (the non-recursive bomb).
  // How much an entry expands is no sign of one: text, logs and the XML of
  // Office files deflate a thousandfold, and every entry is stopped at its
  // declared size anyway.
  int32_t checkLayout() {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      warn("error [" + zipText_ + "]:  cannot read the zip directory (" + std::strerror(errno) +
           ")");
      return ur::kBadArchive;
    }
    struct FdCloser {
      int fd;
      ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    ::fstat(fd, &st);
    const auto size = static_cast<uint64_t>(st.st_size);
    // The directory that libzip read: the same records with the same names
    // and compressed sizes.
    const auto libzipsOwn = [&](const std::vector<CentralRecord>& records) {
      if (records.size() != entries_.size()) return false;
      for (size_t i = 0; i < records.size(); ++i) {
        const char* raw = zip_get_name(za_.get(), entries_[i].index, ZIP_FL_ENC_RAW);
        if (!raw || records[i].rawName != raw ||
            records[i].compressedSize != entries_[i].compressedSize)
          return false;
      }
      return true;
    };
    const std::optional<std::vector<CentralRecord>> records =
        readCentralDirectory(fd, size, limits::kMaxEntries, libzipsOwn);
    if (!records) {
      warn("error [" + zipText_ + "]:  the zip directory cannot be read consistently");
      return ur::kBadArchive;
    }
    if (const auto overlap = overlappingRecords(fd, size, *records)) {
      warn("error [" + zipText_ + "]:  " + entries_[overlap->first].name + " and " +
           entries_[overlap->second].name + " share bytes of the archive");
      warn("error: invalid zip file with overlapped components (possible zip bomb)");
      return ur::kBomb;
    }
    return ur::kOk;
  }

  // --- Reading one entry --------------------------------------------------
  // Opens the entry; for an encrypted one the password that opened an
  // earlier entry first, then at most two answers of the password routine.
  EntryFile openEntry(const Entry& e, Read& status) {
    status = Read::kOk;
    // Methods libzip cannot read are refused before it is asked: its error
    // paths for them do not free everything.
    if (!zip_compression_method_supported(e.method, 0) ||
        (e.encrypted && !zip_encryption_method_supported(e.encryption, 0))) {
      status = Read::kUnsupported;
      return nullptr;
    }
    if (!e.encrypted) {
      EntryFile f(zip_fopen_index(za_.get(), e.index, 0));
      if (!f) status = openStatus();
      return f;
    }
    if (havePassword_) {
      EntryFile f(zip_fopen_index_encrypted(za_.get(), e.index, 0, password_.c_str()));
      if (f) return f;
      status = openStatus();
      if (status != Read::kWrongPassword) return f;
    }
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
      EntryFile f(zip_fopen_index_encrypted(za_.get(), e.index, 0, answer.c_str()));
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

  Read openStatus() {
    zip_error_t* ze = zip_get_error(za_.get());
    const int code = zip_error_code_zip(ze);
    why_ = zip_error_strerror(ze);
    zip_error_clear(za_.get());
    return statusOf(code);
  }

  static Read statusOf(int code) {
    switch (code) {
      case ZIP_ER_WRONGPASSWD:
      case ZIP_ER_NOPASSWD: return Read::kWrongPassword;
      case ZIP_ER_COMPNOTSUPP:
      case ZIP_ER_ENCRNOTSUPP: return Read::kUnsupported;
      case ZIP_ER_CRC: return Read::kBadCrc;
      default: return Read::kBadData;
    }
  }

  // Inflates the entry into `sink`, never more than its declared size plus
  // one byte; the sink may throw AutomationError (a failed write).
  Read readEntry(const Entry& e, const std::function<void(std::span<const uint8_t>)>& sink) {
    Read status;
    EntryFile f = openEntry(e, status);
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

  // Reports a read that did not end well and counts it.
  void failed(const Entry& e, Read status) {
    switch (status) {
      case Read::kOk: return;
      case Read::kNoPassword:
        warn("   skipping: " + pad(e.name, 24) + "  unable to get password");
        ++badPassword_;
        return;
      case Read::kWrongPassword:
        warn("   skipping: " + pad(e.name, 24) + "  incorrect password");
        ++badPassword_;
        return;
      case Read::kUnsupported:
        warn("   skipping: " + pad(e.name, 24) + "  unsupported compression method " +
             std::to_string(e.method));
        ++unsupported_;
        return;
      case Read::kBadCrc:
        warn(e.name + "  bad CRC " + hex(e.crc) + "  (" + why_ + ")");
        break;
      case Read::kTooLong:
        warn("error:  " + e.name + " expands beyond its declared size of " +
             std::to_string(e.size) + " bytes (possible zip bomb)");
        break;
      case Read::kTooShort:
        warn("error:  " + e.name + " ends before its declared size of " + std::to_string(e.size) +
             " bytes");
        break;
      case Read::kBadData:
        warn("error:  invalid compressed data in " + e.name + " (" + why_ + ")");
        break;
      case Read::kDiskFull:
        warn("error:  disk full writing " + e.name);
        break;
      case Read::kWriteFailed:
        warn("error:  cannot write " + e.name + " (" + why_ + ")");
        break;
    }
    ++errors_;
  }

  static std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08" PRIx32, v);
    return buf;
  }

  bool stopped(const Entry& e) const {
    return f_.serviceApplication &&
           f_.serviceApplication(toAnsi(e.name).c_str(), static_cast<uint32_t>(e.size)) != 0;
  }

  int32_t aborted() const {
    warn("unzip:  stopped by the caller");
    return ur::kAborted;
  }

  int32_t result() const {
    if (errors_) return ur::kError;
    if (done_ == 0 && badPassword_ && !warnings_ && !unsupported_) return ur::kBadPassword;
    if (done_ == 0 && unsupported_ && !warnings_ && !badPassword_) return ur::kUnsupported;
    if (warnings_ || badPassword_ || unsupported_) return ur::kWarning;
    return ur::kOk;
  }

  // --- Listing ------------------------------------------------------------
  int32_t list() {
    const bool verbose = o_.nZIflag != 0;
    if (verbose) {
      info(" Length   Method    Size  Cmpr    Date    Time   CRC-32   Name");
      info("--------  ------  ------- ---- ---------- ----- --------  ----");
    } else {
      info("  Length      Date    Time    Name");
      info("---------  ---------- -----   ----");
    }
    uint64_t size = 0, compressed = 0;
    char buf[128];
    for (const Entry* e : selected_) {
      size += e->size;
      compressed += e->compressedSize;
      if (verbose) {
        std::snprintf(buf, sizeof buf, "%8" PRIu64 "  %-6s %8" PRIu64 " %3d%% %s %08" PRIx32 "  ",
                      e->size, methodName(e->method).c_str(), e->compressedSize,
                      percentSaved(e->size, e->compressedSize), dateTime(e->mtime).c_str(),
                      e->crc);
      } else {
        std::snprintf(buf, sizeof buf, "%9" PRIu64 "  %s   ", e->size, dateTime(e->mtime).c_str());
      }
      out_.line(buf + e->name);
      if (f_.sendApplicationMessage) {
        struct tm tm {};
        localtime_r(&e->mtime, &tm);
        f_.sendApplicationMessage(
            static_cast<uint32_t>(e->size), static_cast<uint32_t>(e->compressedSize),
            static_cast<uint32_t>(percentSaved(e->size, e->compressedSize)),
            static_cast<uint32_t>(tm.tm_mon + 1), static_cast<uint32_t>(tm.tm_mday),
            static_cast<uint32_t>(tm.tm_year + 1900), static_cast<uint32_t>(tm.tm_hour),
            static_cast<uint32_t>(tm.tm_min), ' ', toAnsi(e->name).c_str(),
            methodName(e->method).c_str(), e->crc, e->encrypted ? 1 : 0);
      }
    }
    const size_t n = selected_.size();
    const std::string files = std::to_string(n) + (n == 1 ? " file" : " files");
    if (verbose) {
      info("--------          -------  ---                            -------");
      std::snprintf(buf, sizeof buf, "%8" PRIu64 "         %8" PRIu64 " %3d%%                            ",
                    size, compressed, percentSaved(size, compressed));
    } else {
      info("---------                     -------");
      std::snprintf(buf, sizeof buf, "%9" PRIu64 "                     ", size);
    }
    info(buf + files);
    return ur::kOk;
  }

  // --- Testing ------------------------------------------------------------
  int32_t test() {
    for (const Entry* e : selected_) {
      if (e->folder) continue;
      if (stopped(*e)) return aborted();
      Read status = readEntry(*e, [](std::span<const uint8_t>) {});
      if (status == Read::kOk) {
        info("    testing: " + pad(e->name, 22) + "   OK");
        ++done_;
      } else {
        failed(*e, status);
      }
    }
    if (errors_) {
      warn("At least one error was detected in " + zipText_ + ".");
    } else if (o_.fQuiet < 2) {
      out_.line("No errors detected in compressed data of " + zipText_ + ".");
    }
    return result();
  }

  // --- Contents to the print routine -------------------------------------
  int32_t toPrint() {
    for (const Entry* e : selected_) {
      if (e->folder) continue;
      if (stopped(*e)) return aborted();
      info("  inflating: " + e->name);
      Read status = readEntry(*e, [&](std::span<const uint8_t> bytes) {
        out_.raw(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      });
      if (status == Read::kOk) {
        ++done_;
      } else {
        failed(*e, status);
      }
    }
    return result();
  }

  // --- Extraction ---------------------------------------------------------
  int32_t extract() {
    const std::string dirText = fromInterface(o_.lpszExtractDir);
    root_ = dirText.empty() ? fs::path(".") : winpath::toNative(dirText);
    std::error_code ec;
    if (!fs::is_directory(root_, ec)) {
      fs::create_directories(root_, ec);
      if (!fs::is_directory(root_, ec)) {
        warn("checkdir:  cannot create extraction directory: " + dirText);
        return ur::kBadArchive;
      }
    }
    struct statvfs vfs {};
    if (::statvfs(root_.c_str(), &vfs) == 0) {
      const uint64_t free = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
      if (declaredTotal_ + limits::kFreeSpaceReserve > free) {
        warn("error:  not enough free space to extract " + zipText_ + ": " +
             std::to_string(declaredTotal_) + " bytes needed, " + std::to_string(free) +
             " available");
        return ur::kDiskFull;
      }
    }
    for (const Entry* e : selected_) {
      if (stopped(*e)) return aborted();
      if (!extractOne(*e)) return ur::kDiskFull;
    }
    return result();
  }

  // False when the disk is full (the run stops).
  bool extractOne(const Entry& e) {
    const TargetPath t = targetPath(e.name, o_.ndflag != 0, o_.SpaceToUnderscore != 0);
    if (t.strippedAbsolute) {
      warn("warning:  stripped absolute path spec from " + e.name);
      ++warnings_;
    }
    if (t.strippedParent) {
      warn("warning:  skipped \"../\" path component(s) in " + e.name);
      ++warnings_;
    }
    if (t.empty()) return true;
    if (e.symlink) {
      warn("   skipping: " + pad(e.name, 24) + "  symbolic link refused");
      ++warnings_;
      return true;
    }
    std::string problem;
    bool created = false;
    std::optional<fs::path> folder = folderFor(t.folders, created, problem);
    if (!folder) {
      warn("   skipping: " + pad(e.name, 24) + "  " + problem);
      ++warnings_;
      return true;
    }
    if (t.file.empty()) {
      if (created) info("   creating: " + e.name);
      return true;
    }
    const std::string actual = actualName(*folder, t.file);
    const fs::path target = *folder / actual;
    const std::string shown = relativeText(t.folders, actual);
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
      warn("   skipping: " + pad(shown, 24) + "  a folder of that name exists");
      ++warnings_;
      return true;
    }
    if (!mayWrite(e, exists, st, shown)) return true;

    // The line ends when the entry is done, so that an error follows on a line of its own.
    const bool shownLine = o_.fQuiet == 0;
    if (shownLine) {
      out_.piece(std::string(e.method == ZIP_CM_STORE ? " extracting: " : "  inflating: ") + shown);
    }
    std::optional<EntryOutput> file;
    try {
      file.emplace(target, exists);
    } catch (const AutomationError& x) {
      if (shownLine) out_.piece("\n");
      if (x.number() == err::kDiskFull) {
        warn("error:  disk full writing " + shown);
        ++errors_;
        return false;
      }
      warn("error:  cannot create " + shown + " (" + x.description() + ")");
      ++errors_;
      return true;
    }
    bool text = false, decided = false;
    LineEnds lineEnds;
    std::vector<uint8_t> converted;
    Read status = readEntry(e, [&](std::span<const uint8_t> bytes) {
      if (o_.naflag && !decided) {
        text = looksLikeText(bytes);
        decided = true;
      }
      if (!text) {
        file->write(bytes);
        return;
      }
      lineEnds.convert(bytes, converted);
      file->write(converted);
    });
    if (status == Read::kOk && text && lineEnds.finish(converted)) {
      try {
        file->write(converted);
      } catch (const AutomationError& x) {
        status = x.number() == err::kDiskFull ? Read::kDiskFull : Read::kWriteFailed;
        why_ = x.description();
      }
    }
    if (status == Read::kOk) {
      try {
        file->commit(e.mtime);
      } catch (const AutomationError& x) {
        status = x.number() == err::kDiskFull ? Read::kDiskFull : Read::kWriteFailed;
        why_ = x.description();
      }
    }
    if (shownLine) out_.piece("\n");
    if (status != Read::kOk) {
      file.reset();  // removes the partial file; an earlier file stays as it was
      failed(e, status);
      return status != Read::kDiskFull;
    }
    noteCreated(*folder, actual);
    if (e.unixMode & 0111) addExecuteBits(target);
    ++done_;
    return true;
  }

  // Whether an entry may be written where `exists` tells if a file is.
  bool mayWrite(const Entry& e, bool exists, const struct stat& st, const std::string& shown) {
    if (!exists) return !o_.nfflag;  // freshening creates nothing
    if (o_.nfflag || o_.ExtractOnlyNewer) {
      // DOS times count in two-second steps.
      if (e.mtime <= st.st_mtime + 1) return false;
      if (!o_.PromptToOverwrite) return true;
    }
    if (replaceAll_) return true;
    if (replaceNone_) return false;
    if (o_.PromptToOverwrite && f_.replace) {
      std::string ansi = toAnsi(shown);
      std::vector<char> buffer(std::max<size_t>(kNameBufferSize, ansi.size() + 1), '\0');
      std::memcpy(buffer.data(), ansi.data(), ansi.size());
      switch (f_.replace(buffer.data())) {
        case replace::kYes: return true;
        case replace::kAll: replaceAll_ = true; return true;
        case replace::kNone: replaceNone_ = true; return false;
        default: return false;
      }
    }
    return o_.noflag != 0;
  }

  // The execute bits of an entry that has them, where the file can be read.
  static void addExecuteBits(const fs::path& target) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      ::chmod(target.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
    }
  }

  static std::string relativeText(const std::vector<std::string>& folders,
                                  const std::string& file) {
    std::string out;
    for (const std::string& f : folders) out += f + "/";
    return out + file;
  }

  // The folder below the extraction folder for `parts`, made where missing.
  // Never passes through a symbolic link: an archive cannot reach outside
  // the extraction folder through a link already on disk.
  std::optional<fs::path> folderFor(const std::vector<std::string>& parts, bool& created,
                                    std::string& problem) {
    fs::path current = root_;
    for (const std::string& part : parts) {
      const std::string actual = actualName(current, part);
      fs::path next = current / actual;
      if (verified_.count(next.native())) {
        current = std::move(next);
        continue;
      }
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0) {
        if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) {
          problem = std::string("cannot create folder (") + std::strerror(errno) + ")";
          return std::nullopt;
        }
        if (::lstat(next.c_str(), &st) != 0) {
          problem = "cannot create folder";
          return std::nullopt;
        }
        noteCreated(current, actual);
        created = true;
      }
      if (S_ISLNK(st.st_mode)) {
        problem = "path leads through the symbolic link " + actual;
        return std::nullopt;
      }
      if (!S_ISDIR(st.st_mode)) {
        problem = "a file is in the way of its folder";
        return std::nullopt;
      }
      verified_.insert(next.native());
      current = std::move(next);
    }
    return current;
  }

  // Names of one folder on disk, matched without regard to case as on
  // Windows: the exact name first, else the first in listing order.
  struct Listing {
    std::unordered_set<std::string> exact;
    std::unordered_map<std::u16string, std::string> byUpper;
  };

  Listing& listing(const fs::path& folder) {
    auto [it, added] = listings_.try_emplace(folder.native());
    if (!added) return it->second;
    Listing& l = it->second;
    if (DIR* d = ::opendir(folder.c_str())) {
      while (dirent* de = ::readdir(d)) {
        std::string name = de->d_name;
        if (name == "." || name == "..") continue;
        add(l, name);
      }
      ::closedir(d);
    }
    return l;
  }

  static void add(Listing& l, const std::string& name) {
    l.exact.insert(name);
    std::u16string key = ucase16(toUtf16(name));
    auto [it, added] = l.byUpper.try_emplace(std::move(key), name);
    if (!added && winpath::listsBefore(name, it->second)) it->second = name;
  }

  std::string actualName(const fs::path& folder, const std::string& name) {
    Listing& l = listing(folder);
    if (l.exact.count(name)) return name;
    auto it = l.byUpper.find(ucase16(toUtf16(name)));
    return it == l.byUpper.end() ? name : it->second;
  }

  void noteCreated(const fs::path& folder, const std::string& name) {
    add(listing(folder), name);
  }

  const UnzipOptions& o_;
  UnzipUserFunctions& f_;
  Printer out_;
  std::vector<std::string> include_, exclude_;
  std::string zipText_;
  fs::path path_;  // of the archive
  zip::ArchiveHandle za_;
  std::vector<Entry> entries_;
  std::vector<const Entry*> selected_;
  uint64_t declaredTotal_ = 0;
  std::vector<uint8_t> buffer_;
  std::string password_;
  bool havePassword_ = false;
  std::string why_;
  fs::path root_;
  std::unordered_set<std::string> verified_;
  std::map<std::string, Listing> listings_;
  bool replaceAll_ = false, replaceNone_ = false;
  int done_ = 0, warnings_ = 0, errors_ = 0, badPassword_ = 0, unsupported_ = 0;
};

}  // namespace

int32_t runUnzip(int32_t includeCount, const char* const* include, int32_t excludeCount,
                 const char* const* exclude, const UnzipOptions& options,
                 UnzipUserFunctions& functions) {
  return UnzipRun(includeCount, include, excludeCount, exclude, options, functions).run();
}

}  // namespace bq::infozip
