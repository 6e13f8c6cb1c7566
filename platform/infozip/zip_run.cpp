// ZpArchive over libzip: collects the named files, then adds or replaces
// their entries and lets libzip write the new archive beside the old one.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/infozip/run_support.h"
#include "platform/infozip/runs.h"
#include "platform/zip/libzip_handle.h"

namespace bq::infozip {
namespace {

namespace fs = std::filesystem;
namespace zr = zip_result;

// Dropped unless zip_close wrote it (and freed it: then released).
using ZipHandle = zip::ArchiveHandle;

bool isAbsoluteName(std::string_view s) {
  if (s.size() >= 2 && s[1] == ':') return true;
  return !s.empty() && (s[0] == '/' || s[0] == '\\');
}

// The time a file has in a zip entry: DOS times count in two-second steps,
// and zip rounds odd seconds up.
time_t dosTime(time_t t) { return (t & 1) ? t + 1 : t; }

std::string libzipText(zip_error_t* error) { return zip_error_strerror(error); }

struct Item {
  fs::path native;
  std::string stored;  // "a/b.txt"; folders without their trailing "/"
  bool folder = false;
  struct stat st {};
};

struct Written {
  std::string stored;  // as shown: folders with "/"
  bool updated = false;
};

class ZipRun {
 public:
  explicit ZipRun(const ZipSettings& s) : s_(s), out_(s.functions.print) {}

  int32_t run(int32_t argc, const char* zipName, const ZipNames& names) {
    const std::string zipText = fromInterface(zipName);
    if (zipText.empty()) {
      out_.line("zip error: Invalid command arguments (no zip file name)");
      return zr::kParameters;
    }
    const fs::path zipPath = resolve(zipText);
    const int32_t count = std::min(std::max(argc, 0), kNameListSize);
    for (int32_t i = 0; i < count; ++i) {
      if (names.s[i]) collect(fromInterface(names.s[i]));
    }
    struct stat zipStat {};
    const bool exists = ::stat(zipPath.c_str(), &zipStat) == 0;
    if (exists) dropArchiveItself(zipStat);
    if (items_.empty()) return nothingToDo(zipText);

    int error = 0;
    ZipHandle za(zip_open(zipPath.c_str(), exists ? 0 : ZIP_CREATE, &error));
    if (!za) {
      const std::string why = zip::libzipErrorText(error);
      if (error == ZIP_ER_NOZIP || error == ZIP_ER_INCONS) {
        out_.line("zip error: Zip file structure invalid (" + zipText + ")");
        return zr::kFormat;
      }
      if (error == ZIP_ER_MEMORY) return zr::kMemory;
      out_.line("zip error: Could not open zip file (" + zipText + "): " + why);
      return exists ? zr::kRead : zr::kCreate;
    }

    std::string password;
    if (s_.options.fEncrypt) {
      int32_t asked = askPassword(zipName, password);
      if (asked != zr::kOk) return asked;
    }

    std::vector<Written> written;
    for (const Item& item : items_) {
      if (s_.functions.service &&
          s_.functions.service(toAnsi(item.stored).c_str(),
                               static_cast<uint32_t>(item.folder ? 0 : item.st.st_size)) != 0) {
        out_.line("zip error: Interrupted (aborting)");
        return zr::kInterrupted;
      }
      zip_int64_t found = zip_name_locate(za.get(), entryName(item).c_str(), 0);
      if (!wanted(za.get(), item, found)) continue;
      int32_t added = add(za.get(), item, found, password);
      if (added != zr::kOk) return added;
      written.push_back({entryName(item), found >= 0});
    }
    if (written.empty()) {
      if (exists) return result_;
      return nothingToDo(zipText);
    }
    if (zip_close(za.get()) != 0) {
      zip_error_t* ze = zip_get_error(za.get());
      const int code = zip_error_code_zip(ze);
      const std::string why = libzipText(ze);
      if (code == ZIP_ER_TMPOPEN) {
        out_.line("zip I/O error: " + why);
        out_.line("zip error: Could not create output file (" + zipText + ")");
        return zr::kCreate;
      }
      if (code == ZIP_ER_OPEN || code == ZIP_ER_READ) {
        out_.line("zip error: Input file read failure (" + why + ")");
        return zr::kRead;
      }
      if (code == ZIP_ER_MEMORY) return zr::kMemory;
      out_.line("zip I/O error: " + why);
      out_.line("zip error: Output file write failure (" + zipText + ")");
      return zr::kWrite;
    }
    za.release();  // zip_close freed it
    storeWhatDidNotShrink(zipPath, written, !password.empty());
    report(zipPath, written);
    return result_;
  }

 private:
  // A name as the run reads it: relative names are taken in the root folder.
  fs::path resolve(const std::string& given) const {
    if (isAbsoluteName(given) || s_.rootDir.empty()) return winpath::toNative(given);
    return winpath::toNative(s_.rootDir + "\\" + given);
  }

  bool junk() const { return s_.options.fJunkDir != 0; }

  static std::string entryName(const Item& item) {
    return item.folder ? item.stored + "/" : item.stored;
  }

  void notMatched(const std::string& given) {
    out_.line("\tzip warning: name not matched: " + given);
  }

  void collect(const std::string& given) {
    size_t cut = given.find_last_of("/\\");
    std::string last = cut == std::string::npos ? given : given.substr(cut + 1);
    if (hasWildcard(last) && last.find('[') == std::string::npos) {
      collectMatches(given, cut, last);
      return;
    }
    fs::path native = resolve(given);
    struct stat st {};
    if (given.empty() || ::stat(native.c_str(), &st) != 0) {
      notMatched(given);
      return;
    }
    const std::string stored = storedName(given, junk());
    if (S_ISDIR(st.st_mode)) {
      addFolder(native, stored, st);
    } else {
      addFile(native, stored, st, given);
    }
  }

  // A name whose last component holds "*" or "?": the matching files of its
  // folder, compared without regard to case as Windows does.
  void collectMatches(const std::string& given, size_t cut, const std::string& pattern) {
    const std::string folderText = cut == std::string::npos ? "" : given.substr(0, cut + 1);
    const fs::path folder = folderText.empty() ? resolve(".") : resolve(folderText);
    bool any = false;
    std::vector<winpath::DirEntry> entries;
    try {
      entries = winpath::listDirectory(folder);
    } catch (const AutomationError&) {
    }
    for (const auto& e : entries) {
      if (!wildcardMatch(pattern, e.name, true)) continue;
      any = true;
      const std::string name = folderText + e.name;
      struct stat st {};
      const fs::path native = folder / e.name;
      if (::stat(native.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        addFolder(native, storedName(name, junk()), st);
      } else {
        addFile(native, storedName(name, junk()), st, name);
      }
    }
    if (!any) notMatched(given);
  }

  void addFolder(const fs::path& native, const std::string& stored, const struct stat& st) {
    if (!junk() && !s_.options.fNoDirEntries && !stored.empty()) {
      push({native, stored, true, st});
    }
    if (!s_.options.fRecurse) return;
    struct stat link {};
    if (::lstat(native.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && !stored.empty()) return;
    std::vector<winpath::DirEntry> entries;
    try {
      entries = winpath::listDirectory(native);
    } catch (const AutomationError&) {
      out_.line("\tzip warning: could not read folder: " + native.string());
      result_ = zr::kOpenFile;
      return;
    }
    for (const auto& e : entries) {
      const fs::path child = native / e.name;
      const std::string childStored = junk() || stored.empty() ? e.name : stored + "/" + e.name;
      struct stat cst {};
      if (::stat(child.c_str(), &cst) != 0) {
        out_.line("\tzip warning: could not open for reading: " + child.string());
        result_ = zr::kOpenFile;
        continue;
      }
      if (S_ISDIR(cst.st_mode)) {
        if (e.isLink) {  // stored as a folder, never walked: a link cycle cannot make the run endless
          if (!junk() && !s_.options.fNoDirEntries) push({child, childStored, true, cst});
          continue;
        }
        addFolder(child, childStored, cst);
      } else {
        addFile(child, childStored, cst, child.string());
      }
    }
  }

  void addFile(const fs::path& native, const std::string& stored, const struct stat& st,
               const std::string& shown) {
    int fd = S_ISREG(st.st_mode) ? ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) : -1;
    if (fd < 0 || stored.empty()) {
      out_.line("\tzip warning: could not open for reading: " + shown);
      result_ = zr::kOpenFile;
      return;
    }
    ::close(fd);
    push({native, stored, false, st});
  }

  void push(Item item) {
    if (!storedNames_.insert(entryName(item)).second) return;  // named twice: archived once
    items_.push_back(std::move(item));
  }

  void dropArchiveItself(const struct stat& zipStat) {
    std::erase_if(items_, [&](const Item& i) {
      return !i.folder && i.st.st_dev == zipStat.st_dev && i.st.st_ino == zipStat.st_ino;
    });
  }

  int32_t nothingToDo(const std::string& zipText) {
    out_.line("");
    out_.line("zip error: Nothing to do! (" + zipText + ")");
    return zr::kNothingToDo;
  }

  int32_t askPassword(const char* zipName, std::string& password) {
    std::string first, second;
    if (!ask("Enter password: ", zipName, first) || first.empty()) {
      out_.line("zip error: Interrupted (no password entered)");
      return zr::kInterrupted;
    }
    if (!ask("Verify password: ", zipName, second) || second != first) {
      out_.line("zip error: Invalid command arguments (password verification failed)");
      return zr::kParameters;
    }
    password = first;
    return zr::kOk;
  }

  bool ask(const char* prompt, const char* zipName, std::string& answer) {
    if (!s_.functions.password) return false;
    std::vector<char> buffer(257, '\0');
    if (s_.functions.password(buffer.data(), 256, prompt, zipName ? zipName : "") != 0) {
      return false;
    }
    answer.assign(buffer.data(), ::strnlen(buffer.data(), 256));
    return true;
  }

  // Whether `item` is written, given the entry `found` of its name (-1: none).
  bool wanted(zip_t* za, const Item& item, zip_int64_t found) const {
    const bool update = s_.options.fUpdate || s_.options.fFreshen;
    if (found < 0) return !s_.options.fFreshen;
    if (item.folder) return false;  // a folder's entry stays as it is
    if (!update) return true;
    zip_stat_t zs;
    if (zip_stat_index(za, static_cast<zip_uint64_t>(found), 0, &zs) != 0 ||
        !(zs.valid & ZIP_STAT_MTIME)) {
      return true;
    }
    return dosTime(item.st.st_mtime) > zs.mtime;
  }

  int32_t add(zip_t* za, const Item& item, zip_int64_t found, const std::string& password) {
    zip_int64_t index = found;
    if (item.folder) {
      index = zip_dir_add(za, item.stored.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* src = zip_source_file(za, item.native.c_str(), 0, -1);
      if (!src) return failedAdd(za, item);
      if (found >= 0) {
        if (zip_file_replace(za, static_cast<zip_uint64_t>(found), src, ZIP_FL_ENC_UTF_8) != 0) {
          zip_source_free(src);
          return failedAdd(za, item);
        }
      } else {
        index = zip_file_add(za, item.stored.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
          zip_source_free(src);
          return failedAdd(za, item);
        }
      }
    }
    if (index < 0) return failedAdd(za, item);
    const auto i = static_cast<zip_uint64_t>(index);
    const int level = compressionLevel();
    if (item.folder || item.st.st_size == 0 || level == 0) {
      zip_set_file_compression(za, i, ZIP_CM_STORE, 0);
    } else {
      zip_set_file_compression(za, i, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(level));
    }
    zip_file_set_mtime(za, i, dosTime(item.st.st_mtime), 0);
    zip_uint32_t dosAttributes = item.folder ? 0x10 : 0;
    if (!(item.st.st_mode & S_IWUSR)) dosAttributes |= 0x01;
    zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX,
                                     (static_cast<zip_uint32_t>(item.st.st_mode) << 16) |
                                         dosAttributes);
    if (!password.empty() && !item.folder &&
        zip_file_set_encryption(za, i, ZIP_EM_TRAD_PKWARE, password.c_str()) != 0) {
      return failedAdd(za, item);
    }
    return zr::kOk;
  }

  int32_t failedAdd(zip_t* za, const Item& item) {
    out_.line("zip error: cannot add " + entryName(item) + " (" +
              libzipText(zip_get_error(za)) + ")");
    return zr::kWrite;
  }

  int compressionLevel() const {
    const uint8_t l = s_.options.fLevel;
    if (l >= '0' && l <= '9') return l - '0';
    if (l >= 1 && l <= 9) return l;
    return 6;
  }

  // Entries that deflate made no smaller are stored instead, as zip does:
  // a second pass that copies the other entries as they are. The archive
  // written first stays when the pass fails.
  static void storeWhatDidNotShrink(const fs::path& zipPath, const std::vector<Written>& written,
                                    bool encrypted) {
    if (encrypted) return;  // re-storing would need the password again
    int error = 0;
    ZipHandle za(zip_open(zipPath.c_str(), 0, &error));
    if (!za) return;
    bool changed = false;
    for (const Written& w : written) {
      zip_stat_t zs;
      zip_int64_t index = zip_name_locate(za.get(), w.stored.c_str(), 0);
      if (index < 0 || zip_stat_index(za.get(), static_cast<zip_uint64_t>(index), 0, &zs) != 0) {
        continue;
      }
      if (zs.comp_method != ZIP_CM_STORE && zs.size > 0 && zs.comp_size >= zs.size) {
        zip_set_file_compression(za.get(), static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        changed = true;
      }
    }
    if (changed && zip_close(za.get()) == 0) za.release();
  }

  // The messages zip prints per entry, with the sizes the archive now holds.
  void report(const fs::path& zipPath, const std::vector<Written>& written) const {
    if (s_.options.fQuiet || !s_.functions.print) return;
    int error = 0;
    ZipHandle za(zip_open(zipPath.c_str(), ZIP_RDONLY, &error));
    for (const Written& w : written) {
      zip_stat_t zs;
      zip_stat_init(&zs);
      bool known = za && zip_stat(za.get(), w.stored.c_str(), 0, &zs) == 0;
      std::string how = "(stored 0%)";
      if (known && zs.comp_method != ZIP_CM_STORE) {
        how = "(deflated " + std::to_string(percentSaved(zs.size, zs.comp_size)) + "%)";
      }
      out_.piece(std::string(w.updated ? "updating: " : "  adding: ") + w.stored);
      out_.piece(" " + how);
      out_.piece("\n");
    }
  }

  const ZipSettings& s_;
  Printer out_;
  std::vector<Item> items_;
  std::unordered_set<std::string> storedNames_;
  int32_t result_ = zr::kOk;
};

}  // namespace

int32_t runZip(const ZipSettings& settings, int32_t argc, const char* zipName,
               const ZipNames& names) {
  return ZipRun(settings).run(argc, zipName, names);
}

}  // namespace bq::infozip
