#include "common/winpath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "common/automation_error.h"
#include "common/text.h"

namespace bq::winpath {
namespace {

namespace fs = std::filesystem;

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The component of `dir` equal to `name` without regard to case, if any.
std::string matchComponent(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::symlink_status(dir / name, ec).type() != fs::file_type::not_found && !ec) return name;
  DirHandle d(opendir(dir.c_str()));
  if (!d) return name;
  std::u16string want = ucase16(toUtf16(name));
  std::string best;
  while (dirent* e = readdir(d.get())) {
    std::string_view candidate = e->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (ucase16(toUtf16(candidate)) != want) continue;
    if (best.empty() || listsBefore(candidate, best)) best = candidate;
  }
  return best.empty() ? name : best;
}

bool isDirectoryEntry(const fs::path& dir, const dirent* e, bool& isLink) {
  isLink = false;
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
  struct stat st;
  fs::path full = dir / e->d_name;
  if (lstat(full.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    isLink = true;
    if (stat(full.c_str(), &st) != 0) return false;  // a dangling link is a file
  }
  return S_ISDIR(st.st_mode);
}

}  // namespace

fs::path drivesRoot() {
  if (const char* d = std::getenv("BQ_DRIVES"); d && *d) return fs::path(d);
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return fs::path(x) / "brightquill" / "drives";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "brightquill" / "drives";
}

fs::path toNative(std::string_view path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  fs::path base;
  std::string_view rest = p;
  bool drive = p.size() >= 2 && p[1] == ':' &&
               ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
  if (drive) {
    char letter = static_cast<char>(p[0] | 0x20);
    base = drivesRoot() / std::string(1, letter);
    std::error_code ec;
    fs::create_directories(base, ec);
    rest = std::string_view(p).substr(2);
  } else if (!p.empty() && p[0] == '/') {
    base = "/";
  } else {
    base = ".";
  }
  const fs::path root = base;
  bool matching = true;  // components are matched until one does not exist
  size_t from = 0;
  while (from <= rest.size()) {
    size_t to = rest.find('/', from);
    if (to == std::string_view::npos) to = rest.size();
    std::string part(rest.substr(from, to - from));
    from = to + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      // Never climb above a drive's root, as Windows does not.
      if (drive && base == root) continue;
      base = base.parent_path().empty() ? base : base.parent_path();
      continue;
    }
    if (matching) {
      std::string found = matchComponent(base, part);
      std::error_code ec;
      if (!fs::exists(base / found, ec)) matching = false;
      base /= found;
    } else {
      base /= part;
    }
  }
  if (!drive && p.size() > 0 && p[0] != '/' && base.string().rfind("./", 0) == 0)
    return fs::path(base.string().substr(2));
  return base;
}

fs::path toNativeOnDrive(std::string_view path) {
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (!drive) raiseError(err::kPathFileAccess);
  // A NUL would cut the name short where the system reads it: the file used
  // would not be the one named.
  if (path.find('\0') != std::string_view::npos) raiseError(err::kPathFileAccess);
  const fs::path native = toNative(path);
  // Where the path really leads, links resolved, must lie in the drive's
  // folder (itself possibly reached through a link).
  std::error_code ec, driveEc;
  const fs::path real = fs::weakly_canonical(native, ec);
  const fs::path driveFolder = fs::weakly_canonical(
      drivesRoot() / std::string(1, static_cast<char>(path[0] | 0x20)), driveEc);
  if (ec || driveEc) raiseError(err::kPathFileAccess);
  auto r = real.begin();
  for (auto d = driveFolder.begin(); d != driveFolder.end(); ++d, ++r) {
    if (d->empty() && std::next(d) == driveFolder.end()) break;  // a trailing separator
    if (r == real.end() || *r != *d) raiseError(err::kPathFileAccess);
  }
  return native;
}

bool isHidden(std::string_view name) { return !name.empty() && name[0] == '.'; }

bool listsBefore(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      char x = asciiUpper(a[i]), y = asciiUpper(b[i]);
      if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
  }
  return ucase16(toUtf16(a)) < ucase16(toUtf16(b));
}

std::vector<DirEntry> listDirectory(const fs::path& dir) {
  std::vector<DirEntry> out;
  DirHandle d(opendir(dir.c_str()));
  if (!d) {
    if (errno == ENOENT || errno == ENOTDIR) return out;
    raiseFileError(errno);
  }
  struct Keyed {
    std::u16string key;
    DirEntry entry;
  };
  std::vector<Keyed> keyed;
  while (true) {
    errno = 0;
    dirent* e = readdir(d.get());
    if (!e) {
      if (errno != 0) raiseFileError(errno);
      break;
    }
    std::string_view name = e->d_name;
    if (name == "." || name == ".." || isHidden(name)) continue;
    DirEntry entry;
    entry.name = name;
    entry.isDirectory = isDirectoryEntry(dir, e, entry.isLink);
    std::u16string key = toUtf16(name);
    for (char16_t& c : key) {
      if (c < 0x80) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      }
    }
    if (!isAscii(name)) key = ucase16(key);
    keyed.push_back({std::move(key), std::move(entry)});
  }
  // Names that differ only in case (possible here, not on Windows) are put in
  // byte order, so that every listing of the same folder is the same.
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.key != b.key ? a.key < b.key : a.entry.name < b.entry.name;
  });
  out.reserve(keyed.size());
  for (auto& k : keyed) out.push_back(std::move(k.entry));
  return out;
}

void raiseOpenError(int errnum, const fs::path& path) {
  if (errnum == ENOENT) {
    std::error_code ec;
    fs::path parent = path.parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) raiseError(err::kPathNotFound);
  }
  raiseFileError(errnum);
}

}  // namespace bq::winpath
