// Wiz_SingleEntryUnzip over libzip: opens the archive with its directory
// bounded (unzip_archive.h), selects the entries, checks the declared sizes,
// then lists, tests or extracts them one by one (unzip_entry_reader.h reads
// an entry, unzip_destination.h and unzip_output.h place and write it).

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <zip.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/infozip/limits.h"
#include "platform/infozip/run_support.h"
#include "platform/infozip/runs.h"
#include "platform/infozip/unzip_archive.h"
#include "platform/infozip/unzip_destination.h"
#include "platform/infozip/unzip_entry_reader.h"
#include "platform/infozip/unzip_output.h"

namespace bq::infozip {
namespace {

namespace fs = std::filesystem;
namespace ur = unzip_result;
using Entry = UnzipEntry;

std::string pad(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

std::string methodName(uint16_t method) {
  switch (method) {
    case ZIP_CM_STORE:
      return "Stored";
    case ZIP_CM_DEFLATE:
      return "Defl:N";
    case ZIP_CM_DEFLATE64:
      return "Def64";
    case ZIP_CM_BZIP2:
      return "BZip2";
    case ZIP_CM_LZMA:
      return "LZMA";
    case ZIP_CM_XZ:
      return "XZ";
    default: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "Unk:%03u", method);
      return buf;
    }
  }
}

std::string dateTime(time_t t) {
  struct tm tm {};
  localtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min);
  return buf;
}

int32_t clamp32(uint64_t v) {
  return static_cast<int32_t>(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max()));
}

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08" PRIx32, v);
  return buf;
}

// Where an entry goes on disk, once its folder is there.
struct Placement {
  fs::path folder;
  std::string actual;  // its file name on disk (an existing name matched without regard to case)
  fs::path target;
  std::string shown;  // below the extraction folder, as messages show it
  bool exists = false;
  struct stat st {};
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
    if (archive_.entries().empty()) {
      warn("warning [" + zipText_ + "]:  zipfile is empty");
      return ur::kWarning;
    }
    int32_t selected = select();
    if (selected != ur::kOk) return selected;
    if (o_.nvflag) return list();
    int32_t bounded = checkBounds();
    if (bounded != ur::kOk) return bounded;
    reader_.emplace(archive_.handle(), f_, why_);
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
    return archive_.open(zipText_, out_);
  }

  void fillTotals() {
    uint64_t size = 0, compressed = 0;
    for (const Entry& e : archive_.entries()) {
      size += e.size;
      compressed += e.compressedSize;
    }
    f_.TotalSizeComp = clamp32(compressed);
    f_.TotalSize = clamp32(size);
    f_.CompFactor = percentSaved(size, compressed);
    f_.NumMembers = clamp32(archive_.entries().size());
    f_.cchComment = static_cast<int32_t>(archive_.comment().size());
  }

  int32_t showComment() const {
    const std::string_view comment = archive_.comment();
    if (!comment.empty() && o_.fQuiet < 2) out_.line(comment);
    return ur::kOk;
  }

  // --- Selection ----------------------------------------------------------
  int32_t select() {
    const bool ignoreCase = o_.C_flag != 0;
    std::vector<bool> matched(include_.size(), false);
    for (const Entry& e : archive_.entries()) {
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
    return archive_.checkLayout(out_);
  }

  // --- Outcomes -----------------------------------------------------------
  // Reports a read that did not end well and counts it.
  void failed(const Entry& e, Read status) {
    switch (status) {
      case Read::kOk:
        return;
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
    for (const Entry* e : selected_) {
      size += e->size;
      compressed += e->compressedSize;
      listLine(*e, verbose);
    }
    const size_t n = selected_.size();
    const std::string files = std::to_string(n) + (n == 1 ? " file" : " files");
    char buf[128];
    if (verbose) {
      info("--------          -------  ---                            -------");
      std::snprintf(buf, sizeof buf,
                    "%8" PRIu64 "         %8" PRIu64 " %3d%%                            ", size,
                    compressed, percentSaved(size, compressed));
    } else {
      info("---------                     -------");
      std::snprintf(buf, sizeof buf, "%9" PRIu64 "                     ", size);
    }
    info(buf + files);
    return ur::kOk;
  }

  // One entry's line of the listing, and its call of the message routine.
  void listLine(const Entry& e, bool verbose) const {
    char buf[128];
    if (verbose) {
      std::snprintf(buf, sizeof buf, "%8" PRIu64 "  %-6s %8" PRIu64 " %3d%% %s %08" PRIx32 "  ",
                    e.size, methodName(e.method).c_str(), e.compressedSize,
                    percentSaved(e.size, e.compressedSize), dateTime(e.mtime).c_str(), e.crc);
    } else {
      std::snprintf(buf, sizeof buf, "%9" PRIu64 "  %s   ", e.size, dateTime(e.mtime).c_str());
    }
    out_.line(buf + e.name);
    if (!f_.sendApplicationMessage) return;
    struct tm tm {};
    localtime_r(&e.mtime, &tm);
    f_.sendApplicationMessage(
        static_cast<uint32_t>(e.size), static_cast<uint32_t>(e.compressedSize),
        static_cast<uint32_t>(percentSaved(e.size, e.compressedSize)),
        static_cast<uint32_t>(tm.tm_mon + 1), static_cast<uint32_t>(tm.tm_mday),
        static_cast<uint32_t>(tm.tm_year + 1900), static_cast<uint32_t>(tm.tm_hour),
        static_cast<uint32_t>(tm.tm_min), ' ', toAnsi(e.name).c_str(), methodName(e.method).c_str(),
        e.crc, e.encrypted ? 1 : 0);
  }

  // --- Testing ------------------------------------------------------------
  int32_t test() {
    for (const Entry* e : selected_) {
      if (e->folder) continue;
      if (stopped(*e)) return aborted();
      Read status = reader_->read(*e, [](std::span<const uint8_t>) {});
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
      Read status = reader_->read(*e, [&](std::span<const uint8_t> bytes) {
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
    const int32_t prepared = prepareDestination();
    if (prepared != ur::kOk) return prepared;
    for (const Entry* e : selected_) {
      if (stopped(*e)) return aborted();
      if (!extractOne(*e)) return ur::kDiskFull;
    }
    return result();
  }

  // The extraction folder, made when missing, with room for the declared
  // sizes.
  int32_t prepareDestination() {
    const std::string dirText = fromInterface(o_.lpszExtractDir);
    const fs::path root = dirText.empty() ? fs::path(".") : winpath::toNative(dirText);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
      fs::create_directories(root, ec);
      if (!fs::is_directory(root, ec)) {
        warn("checkdir:  cannot create extraction directory: " + dirText);
        return ur::kBadArchive;
      }
    }
    struct statvfs vfs {};
    if (::statvfs(root.c_str(), &vfs) == 0) {
      const uint64_t free = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
      if (declaredTotal_ + limits::kFreeSpaceReserve > free) {
        warn("error:  not enough free space to extract " + zipText_ + ": " +
             std::to_string(declaredTotal_) + " bytes needed, " + std::to_string(free) +
             " available");
        return ur::kDiskFull;
      }
    }
    destination_.emplace(root);
    return ur::kOk;
  }

  // False when the disk is full (the run stops).
  bool extractOne(const Entry& e) {
    const TargetPath t = targetOf(e);
    if (t.empty()) return true;
    if (e.symlink) {
      skip(e.name, "symbolic link refused");
      return true;
    }
    std::optional<Placement> place = placeEntry(e, t);
    if (!place) return true;
    if (!mayWrite(e, place->exists, place->st, place->shown)) return true;
    return writeEntry(e, *place);
  }

  // Where the entry goes below the extraction folder, with a warning for
  // what of its name was left out.
  TargetPath targetOf(const Entry& e) {
    TargetPath t = targetPath(e.name, o_.ndflag != 0, o_.SpaceToUnderscore != 0);
    if (t.strippedAbsolute) {
      warn("warning:  stripped absolute path spec from " + e.name);
      ++warnings_;
    }
    if (t.strippedParent) {
      warn("warning:  skipped \"../\" path component(s) in " + e.name);
      ++warnings_;
    }
    return t;
  }

  void skip(const std::string& shown, std::string_view why) {
    warn("   skipping: " + pad(shown, 24) + "  " + std::string(why));
    ++warnings_;
  }

  // The entry's folder, made where missing, and the file it becomes there;
  // nothing when the entry is a folder or is skipped.
  std::optional<Placement> placeEntry(const Entry& e, const TargetPath& t) {
    std::string problem;
    bool created = false;
    std::optional<fs::path> folder = destination_->folderFor(t.folders, created, problem);
    if (!folder) {
      skip(e.name, problem);
      return std::nullopt;
    }
    if (t.file.empty()) {
      if (created) info("   creating: " + e.name);
      return std::nullopt;
    }
    Placement place;
    place.folder = *folder;
    place.actual = destination_->actualName(*folder, t.file);
    place.target = *folder / place.actual;
    place.shown = Destination::relativeText(t.folders, place.actual);
    place.exists = ::lstat(place.target.c_str(), &place.st) == 0;
    if (place.exists && S_ISDIR(place.st.st_mode)) {
      skip(place.shown, "a folder of that name exists");
      return std::nullopt;
    }
    return place;
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
    if (o_.PromptToOverwrite && f_.replace) return askReplace(shown);
    return o_.noflag != 0;
  }

  // The replace routine's answer for `shown`.
  bool askReplace(const std::string& shown) {
    std::string ansi = toAnsi(shown);
    std::vector<char> buffer(std::max<size_t>(kNameBufferSize, ansi.size() + 1), '\0');
    std::memcpy(buffer.data(), ansi.data(), ansi.size());
    switch (f_.replace(buffer.data())) {
      case replace::kYes:
        return true;
      case replace::kAll:
        replaceAll_ = true;
        return true;
      case replace::kNone:
        replaceNone_ = true;
        return false;
      default:
        return false;
    }
  }

  // Writes the entry to its place: the output opened, the content written,
  // the file put in place with its time, then its execute bits. False when
  // the disk is full.
  bool writeEntry(const Entry& e, const Placement& place) {
    // The line ends when the entry is done, so that an error follows on a line of its own.
    const bool shownLine = o_.fQuiet == 0;
    if (shownLine) {
      out_.piece(std::string(e.method == ZIP_CM_STORE ? " extracting: " : "  inflating: ") +
                 place.shown);
    }
    std::optional<EntryOutput> file;
    try {
      file.emplace(place.target, place.exists);
    } catch (const AutomationError& x) {
      if (shownLine) out_.piece("\n");
      return cannotCreate(place.shown, x);
    }
    Read status = writeContent(e, *file);
    if (status == Read::kOk) status = putInPlace(e, *file);
    if (shownLine) out_.piece("\n");
    if (status != Read::kOk) {
      file.reset();  // removes the partial file; an earlier file stays as it was
      failed(e, status);
      return status != Read::kDiskFull;
    }
    destination_->noteCreated(place.folder, place.actual);
    if (e.unixMode & 0111) Destination::addExecuteBits(place.target);
    ++done_;
    return true;
  }

  // Reports an output that could not be made; false when the disk is full.
  bool cannotCreate(const std::string& shown, const AutomationError& x) {
    ++errors_;
    if (x.number() == err::kDiskFull) {
      warn("error:  disk full writing " + shown);
      return false;
    }
    warn("error:  cannot create " + shown + " (" + x.description() + ")");
    return true;
  }

  // The entry's content into `file`, text given CR LF line ends when asked.
  Read writeContent(const Entry& e, EntryOutput& file) {
    bool text = false, decided = false;
    LineEnds lineEnds;
    std::vector<uint8_t> converted;
    Read status = reader_->read(e, [&](std::span<const uint8_t> bytes) {
      if (o_.naflag && !decided) {
        text = looksLikeText(bytes);
        decided = true;
      }
      if (!text) {
        file.write(bytes);
        return;
      }
      lineEnds.convert(bytes, converted);
      file.write(converted);
    });
    if (status == Read::kOk && text && lineEnds.finish(converted))
      status = written([&] { file.write(converted); });
    return status;
  }

  // The file in place with the entry's time.
  Read putInPlace(const Entry& e, EntryOutput& file) {
    return written([&] { file.commit(e.mtime); });
  }

  // How a write to the output ended.
  template <typename Write>
  Read written(Write&& write) {
    try {
      write();
      return Read::kOk;
    } catch (const AutomationError& x) {
      why_ = x.description();
      return x.number() == err::kDiskFull ? Read::kDiskFull : Read::kWriteFailed;
    }
  }

  const UnzipOptions& o_;
  UnzipUserFunctions& f_;
  Printer out_;
  std::vector<std::string> include_, exclude_;
  std::string zipText_;
  UnzipArchive archive_;
  std::vector<const Entry*> selected_;
  uint64_t declaredTotal_ = 0;
  std::string why_;  // libzip's or the output's text of the last failure
  std::optional<EntryReader> reader_;
  std::optional<Destination> destination_;
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
