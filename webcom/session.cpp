#include "webcom/session.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/dictionary.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"
#include "platform/shell/registry.h"
#include "scoring/knowledge/operation_list.h"
#include "webcom/frm_ftp.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kGreeting = "岚屿克祝您好运！";
constexpr const char* kExplorerAdvancedKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// The process table's rows are numbered 0 to 32767 with a 16-bit counter.
constexpr size_t kMaxProcessRows = 32768;

// The folders and files the session creates and deletes lie on the mapped
// drives: a page may not reach the examinee's own files through a POSIX
// path, or through a link inside a drive that leads out of it (75).
fs::path OnDrive(const std::string& path) { return winpath::toNativeOnDrive(path); }

// FileSystemObject.FolderExists. An empty path names no folder (mapped, it
// would read as the working folder); a path off the drives fails with 75.
bool FolderExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return fs::is_directory(OnDrive(path), ec);
}

// FileSystemObject.CreateFolder: creates the last level of `path` only.
void CreateFolder(const std::string& path) {
  if (path.empty()) raiseError(err::kInvalidCall);
  const fs::path native = OnDrive(path);
  std::error_code ec;
  const fs::path parent = native.parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) raiseError(err::kPathNotFound);
  if (fs::symlink_status(native, ec).type() != fs::file_type::not_found)
    raiseError(err::kFileAlreadyExists);
  if (!fs::create_directory(native, ec) && ec) raiseFileError(ec.value());
}

// The text file of a file item: one line of greeting in the ANSI code page,
// replacing whatever file was there. A missing folder on the way is 76.
void WriteGreetingFile(const std::string& path) { writeAnsiLine(OnDrive(path), kGreeting); }

// Whether the operation-list item `key` names a place inside the operation
// root. The list comes from the exam pages, which run whatever the server
// sends; an item such as "..\..\x", "C:\x", "\x" or "/etc/x" would otherwise
// create or overwrite files anywhere on the disk, so such an item is refused
// with 75 before anything is made for it. A colon never occurs in a Windows
// file name: it would be a drive or a stream.
bool StaysInsideRoot(std::string_view key) {
  if (!key.empty() && (key.front() == '\\' || key.front() == '/')) return false;
  if (key.find(':') != std::string_view::npos) return false;
  size_t from = 0;
  while (from <= key.size()) {
    size_t to = key.find_first_of("\\/", from);
    if (to == std::string_view::npos) to = key.size();
    if (key.substr(from, to - from) == "..") return false;
    from = to + 1;
  }
  return true;
}

// Runs one step of PreTest, whose steps are each guarded on their own: an
// automation or file-system error ends the step, and the caller goes on.
template <typename F>
void Guarded(F&& step) {
  try {
    step();
  } catch (const AutomationError&) {
  } catch (const fs::filesystem_error&) {
  }
}

// Gives the owner full access to `dir` and every folder below it (not
// through symbolic links), so that their entries can be removed. Folders that
// cannot be changed or listed are passed over.
void MakeTreeWritable(const fs::path& dir) {
  std::vector<fs::path> pending{dir};
  while (!pending.empty()) {
    fs::path d = std::move(pending.back());
    pending.pop_back();
    std::error_code ec;
    fs::permissions(d, fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow,
                    ec);
    for (fs::directory_iterator it(d, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeEc;
      if (it->symlink_status(typeEc).type() == fs::file_type::directory)
        pending.push_back(it->path());
    }
  }
}

// FileSystemObject.DeleteFolder / DeleteFile with force: removes `native`
// and everything below it. A folder without write permission would keep its
// entries on Linux where the read-only attribute would not on Windows, so
// the tree is made writable when a first attempt fails. A symbolic link is
// removed itself, never what it points to.
void DeleteForced(const fs::path& native) {
  std::error_code ec;
  fs::remove_all(native, ec);
  if (!ec) return;
  MakeTreeWritable(native);
  fs::remove_all(native);
}

fs::path Comparable(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  if (ec) c = fs::absolute(p, ec).lexically_normal();
  return c;
}

// Whether `folder` is `limit` or one of the folders above it.
bool IsAtOrAbove(const fs::path& folder, const fs::path& limit) {
  auto l = limit.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++l) {
    if (f->empty() && std::next(f) == folder.end()) break;  // a trailing separator
    if (l == limit.end() || *f != *l) return false;
  }
  return true;
}

// Folders that PreTest never clears, whatever a page asks: a drive's root
// folder, the drives folder and the folders above it, the file system's root.
// On Windows such a request would mostly fail for want of rights; as the
// owner of these folders we would succeed.
//
// `native` is a mapped drive path (OnDrive), <drives>/x/... as the mapping
// spells it. A drive's folder may itself be a symbolic link to a real folder,
// and a link inside the drive may lead back to the drive's root, so the test
// is made twice: in the drives' own terms first (the mapping resolves "." and
// ".." by name and never climbs above a drive), then on where the path really
// leads.
bool MayClear(const fs::path& native) {
  const fs::path drives = winpath::drivesRoot().lexically_normal();
  const fs::path mapped = native.lexically_normal();
  const fs::path onDrive = mapped.lexically_relative(drives);
  size_t levels = 0;  // below the drives folder: 1 is a drive's root
  for (const fs::path& part : onDrive) {
    if (part == "..") return false;  // not below the drives folder at all
    if (!part.empty() && part != ".") ++levels;
  }
  if (levels < 2) return false;

  const fs::path folder = Comparable(mapped);
  const fs::path drivesReal = Comparable(drives);
  const fs::path driveReal = Comparable(drives / *onDrive.begin());
  if (folder == folder.root_path()) return false;
  if (folder == driveReal || folder.parent_path() == drivesReal) return false;
  if (IsAtOrAbove(folder, drivesReal) || IsAtOrAbove(folder, driveReal)) return false;
  return true;
}

}  // namespace

std::optional<std::string> OperationRoot(const std::string& cPath) {
  if (cPath.empty()) return std::nullopt;
  const char x = cPath.front();
  if (!((x >= 'A' && x <= 'Z') || (x >= 'a' && x <= 'z'))) return std::nullopt;
  return std::string(1, x) + ":\\BqOperation";
}

void CreateOpDirs(const std::string& cPath, const std::string& cZSD) {
  if (cPath.empty()) raiseError(err::kInvalidCall);
  if (FolderExists(cPath)) return;
  CreateFolder(cPath);

  // cPath is a drive path (OnDrive), so its first character is the drive.
  std::optional<std::string> root = OperationRoot(cPath);
  if (!root) raiseError(err::kPathNotFound);
  if (!FolderExists(*root)) CreateFolder(*root);
  if (root->back() != '\\') *root += '\\';

  KnowledgeSet items;
  SplitOpZSD(cZSD, items);
  for (size_t i = 0; i < items.Count(); ++i) {
    const std::string& key = items.at(i).first;
    if (!StaysInsideRoot(key)) raiseError(err::kPathFileAccess);
    const std::string full = *root + key;
    if (key.back() == '\\') {
      if (!FolderExists(full)) CreateFolder(full);
    } else {
      WriteGreetingFile(full);
    }
  }

  // The result is not examined: the list is made whether or not Explorer
  // will show the extensions.
  shell::registry::setDword(kExplorerAdvancedKey, "HideFileExt", 0);
}

void PreTest(const std::string& cPath) {
  // Off the drives (75) nothing is deleted, not even the operation root.
  fs::path folder;
  try {
    if (!FolderExists(cPath)) return;
    folder = OnDrive(cPath);
  } catch (const AutomationError&) {
    return;
  }

  if (MayClear(folder)) {
    // The entries a directory search reports: hidden ones are not among
    // them and go with the folder itself below.
    std::vector<winpath::DirEntry> entries;
    Guarded([&] { entries = winpath::listDirectory(folder); });
    for (const winpath::DirEntry& e : entries) {
      Guarded([&] {
        const fs::path full = folder / e.name;
        std::error_code ec;
        if (e.isDirectory) {
          if (fs::is_directory(full, ec)) DeleteForced(full);
        } else if (fs::exists(full, ec) && !fs::is_directory(full, ec)) {
          fs::remove(full);
        }
      });
    }
    Guarded([&] {
      std::error_code ec;
      if (fs::is_directory(folder, ec)) DeleteForced(folder);
    });
  }

  Guarded([&] {
    std::optional<std::string> root = OperationRoot(cPath);
    if (root && FolderExists(*root)) DeleteForced(OnDrive(*root));
  });
}

void EndTest(const std::string& /*cPath*/) { FrmFTP::ThisThread().ShowModal(); }

void TermProc() { EndProcessesByName("QuestionPane.exe"); }

std::vector<int> ProcessesToEnd(const std::vector<shell::ProcessEntry>& snapshot,
                                const std::string& name) {
  if (snapshot.size() > kMaxProcessRows) raiseError(err::kOverflow);
  const std::string wanted = ucase(name);
  // The original's substring search finds an empty name in every process,
  // itself included; no caller means that.
  if (wanted.empty()) return {};
  const std::vector<std::string> counterparts = shell::linuxCounterparts(wanted);
  std::vector<int> pids;
  for (const shell::ProcessEntry& p : snapshot) {
    const std::string exe = ucase(p.exeFile);
    bool match = exe.find(wanted) != std::string::npos ||
                 std::any_of(counterparts.begin(), counterparts.end(), [&](const std::string& c) {
                   return exe.find(c) != std::string::npos;
                 });
    if (match) pids.push_back(p.pid);
  }
  return pids;
}

void EndProcessesByName(const std::string& name) {
  for (int pid : ProcessesToEnd(shell::endableProcesses(), name)) shell::terminateProcess(pid);
}

}  // namespace bq
