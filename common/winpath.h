// Windows paths on a Linux file system, and folder listings in the order the
// original's file system gave them.
//
// A drive path "X:\a\b" maps to <drives>/x/a/b, where <drives> is $BQ_DRIVES
// or, without it, $XDG_DATA_HOME/brightquill/drives ($HOME/.local/share/...
// when XDG_DATA_HOME is unset). The drive's folder is created on first use.
// Each component that exists is matched without regard to case (the first
// match in listing order wins when several differ only in case); components
// that do not exist are taken as written. "." and ".." are resolved by name.
// A POSIX absolute path passes through with "\" turned into "/"; a relative
// path likewise, relative to the working folder.
//
// Listings leave out "." and ".." and hidden entries (a name beginning with
// "."), and come sorted by the names' upper-cased UTF-16 code units, which is
// the order an NTFS folder lists in. They never follow the order of readdir.
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bq::winpath {

// The folder that holds the drive folders.
std::filesystem::path drivesRoot();

// The native path for `path`, a Windows or POSIX path (see above).
std::filesystem::path toNative(std::string_view path);

// The native path for the drive path `path` ("X:\..."), for the routines
// that create or delete folders on the examinee's disk (PreTest,
// CreateOpDirs) and the local side of the FTP transfers (FileDownLoad,
// FileUpLoad): they may act only inside the mapped drives. Throws
// AutomationError 75 "Path/File access error" for any other path (a POSIX
// path, a relative one, "\\server\share"), for a path holding a NUL, and for
// a drive path whose existing part leads out of its drive's folder through a
// symbolic link.
std::filesystem::path toNativeOnDrive(std::string_view path);

// True when `name` counts as hidden.
bool isHidden(std::string_view name);

// Strict weak order of names as an NTFS folder lists them.
bool listsBefore(std::string_view a, std::string_view b);

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // the directory attribute: a folder, or a link to one
  bool isLink = false;       // a symbolic link (to whatever)
};

// The visible entries of the folder `dir` (a native path), in listing order.
// A folder that does not exist (or is not a folder) lists as empty, as the
// original's directory search found nothing there. A folder that exists but
// cannot be read fails with the run-time error for the cause (70 "Permission
// denied", 75 "Path/File access error", ...).
std::vector<DirEntry> listDirectory(const std::filesystem::path& dir);

// Throws the run-time error for a failed open of the native path `path` with
// POSIX error `errnum`: as bq::raiseFileError, except that a missing file
// whose folder is missing as well is 76 "Path not found", as on Windows.
[[noreturn]] void raiseOpenError(int errnum, const std::filesystem::path& path);

}  // namespace bq::winpath
