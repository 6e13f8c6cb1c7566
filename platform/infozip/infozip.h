// The call interface of the Info-ZIP libraries zip32 and unzip32: the
// records the archive classes fill, the routines the libraries call back,
// and the five entry points, as the classic libraries export them.
//
// Texts crossing the interface (archive and folder names, the name lists, the
// texts handed to the routines) are zero-terminated text in the system's ANSI
// code page (common/ansi.h); the libraries convert on their side. Paths may be
// drive paths ("C:\BQTEST\a.txt"), which map through common/winpath.h.
//
// Each thread reaches one library (library()): the libzip implementation
// (platform/infozip/libzip_library.h) unless a test set another, such as the
// recording one (platform/infozip/recorder.h). The routines registered with
// ZpInit and passed to Wiz_SingleEntryUnzip are called on the calling thread
// while ZpArchive or Wiz_SingleEntryUnzip runs, never later.
//
// Thread safety: a library object belongs to the thread it was set for; the
// per-thread selection needs no locks.
#pragma once

#include <cstdint>
#include <memory>

namespace bq::infozip {

// ---------------------------------------------------------------------------
// zip32

// Print notification: `length` characters of `text` (zero-terminated at
// text[length]). Returns 0.
using ZipPrintRoutine = int32_t (*)(const char* text, uint32_t length);
// Password request: writes a zero-terminated password into `buffer` (of
// `size` bytes) and returns 0, or returns anything else for none. `prompt`
// says what is asked ("Enter password: ", "Verify password: "), `name` the
// archive.
using ZipPasswordRoutine = int32_t (*)(char* buffer, int32_t size, const char* prompt,
                                       const char* name);
// Comment request: may change the zero-terminated comment in `comment`.
using ZipCommentRoutine = char* (*)(char* comment);
// Service routine: called before each file is archived; non-zero stops the run.
using ZipServiceRoutine = int32_t (*)(const char* name, uint32_t size);

// The notification table handed to ZpInit (ZIPUSERFUNCTIONS).
struct ZipUserFunctions {
  ZipPrintRoutine print = nullptr;
  ZipPasswordRoutine password = nullptr;
  ZipCommentRoutine comment = nullptr;
  ZipServiceRoutine service = nullptr;
};

// The option record handed to ZpSetOptions (ZPOPT), in the libraries' order.
// The libzip implementation honours fEncrypt, fNoDirEntries, fQuiet,
// fJunkDir, fRecurse, fUpdate, fFreshen, fLevel and szRootDir (see
// libzip_library.h); the other fields are accepted and have no effect.
struct ZipOptions {
  int32_t fSuffix = 0;        // 1
  int32_t fEncrypt = 0;       // 2  encrypt (password through the password routine)
  int32_t fSystem = 0;        // 3  include system and hidden files
  int32_t fVolume = 0;        // 4
  int32_t fExtra = 0;         // 5
  int32_t fNoDirEntries = 0;  // 6  no entries for folders
  int32_t fExcludeDate = 0;   // 7
  int32_t fIncludeDate = 0;   // 8
  int32_t fVerbose = 0;       // 9
  int32_t fQuiet = 0;         // 10 no informational messages
  int32_t fCRLF_LF = 0;       // 11
  int32_t fLF_CRLF = 0;       // 12
  int32_t fJunkDir = 0;       // 13 store file names without their folders
  int32_t fRecurse = 0;       // 14 recurse into folders
  int32_t fGrow = 0;          // 15
  int32_t fForce = 0;         // 16
  int32_t fMove = 0;          // 17
  int32_t fDeleteEntries = 0; // 18
  int32_t fUpdate = 0;        // 19 add new files, replace older entries only
  int32_t fFreshen = 0;       // 20 replace older entries only, add nothing
  int32_t fJunkSFX = 0;       // 21
  int32_t fLatestTime = 0;    // 22
  int32_t fComment = 0;       // 23
  int32_t fOffsets = 0;       // 24
  int32_t fPrivilege = 0;     // 25
  int32_t fEncryption = 0;    // 26
  int32_t fRepair = 0;        // 27
  uint8_t fLevel = 0;         // 28 compression level: '0'..'9' (or 0..9); 0 the default (6)
  const char* Date = nullptr;       // 29
  const char* szRootDir = nullptr;  // 30 the folder relative names are taken in
};

// The name list handed to ZpArchive (ZIPnames).
inline constexpr int kNameListSize = 100;
struct ZipNames {
  const char* s[kNameListSize] = {};
};

// Result codes of ZpArchive: the zip tool's exit codes.
namespace zip_result {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFormat = 3;        // the existing archive is damaged or no zip file
inline constexpr int32_t kMemory = 4;
inline constexpr int32_t kInterrupted = 9;   // the service routine stopped the run
inline constexpr int32_t kTempFile = 10;
inline constexpr int32_t kRead = 11;         // reading or seeking the existing archive failed
inline constexpr int32_t kNothingToDo = 12;
inline constexpr int32_t kWrite = 14;        // writing the archive failed
inline constexpr int32_t kCreate = 15;       // the archive cannot be created
inline constexpr int32_t kParameters = 16;
inline constexpr int32_t kOpenFile = 18;     // a named file could not be read (the others are archived)
}  // namespace zip_result

// ---------------------------------------------------------------------------
// unzip32

// Print: `length` characters of `text` (zero-terminated at text[length]).
// Line ends come as pieces of their own ("\n"). Returns 0.
using UnzipPrintRoutine = int32_t (*)(const char* text, uint32_t length);
using UnzipSoundRoutine = void (*)();
// Overwrite question for the existing file `name` (a writable buffer of at
// least kNameBufferSize bytes, zero-terminated). Answers one of replace::.
using UnzipReplaceRoutine = int32_t (*)(char* name);
// Password request: as ZipPasswordRoutine; `prompt` is "Enter password for: "
// or "Password incorrect--reenter: ", `name` the entry.
using UnzipPasswordRoutine = int32_t (*)(char* buffer, int32_t size, const char* prompt,
                                         const char* name);
// One entry of a listing: sizes, compression factor in percent, date and
// time, the case-conversion flag, the entry's name and method name, CRC and
// whether it is encrypted.
using UnzipMessageRoutine = void (*)(uint32_t size, uint32_t compressedSize, uint32_t factor,
                                     uint32_t month, uint32_t day, uint32_t year, uint32_t hour,
                                     uint32_t minute, char caseFlag, const char* name,
                                     const char* method, uint32_t crc, char encrypted);
// Service routine: called before each entry; non-zero stops the run (80).
using UnzipServiceRoutine = int32_t (*)(const char* name, uint32_t size);

// The request table handed to Wiz_SingleEntryUnzip (USERFUNCTIONS). The last
// five fields are filled by the run (totals of the archive).
struct UnzipUserFunctions {
  UnzipPrintRoutine print = nullptr;
  UnzipSoundRoutine sound = nullptr;
  UnzipReplaceRoutine replace = nullptr;
  UnzipPasswordRoutine password = nullptr;
  UnzipMessageRoutine sendApplicationMessage = nullptr;
  UnzipServiceRoutine serviceApplication = nullptr;
  int32_t TotalSizeComp = 0;
  int32_t TotalSize = 0;
  int32_t CompFactor = 0;
  int32_t NumMembers = 0;
  int32_t cchComment = 0;
};

// The option record (DCL), in the libraries' order; every field is honoured
// (see libzip_library.h).
struct UnzipOptions {
  int32_t ExtractOnlyNewer = 0;   // 1  extract new files and files newer than the ones on disk
  int32_t SpaceToUnderscore = 0;  // 2  spaces in names become underscores
  int32_t PromptToOverwrite = 0;  // 3  ask through the replace routine before overwriting
  int32_t fQuiet = 0;             // 4  0 all messages, 1 fewer, 2 errors and warnings only
  int32_t ncflag = 0;             // 5  entries' contents to the print routine, nothing to disk
  int32_t ntflag = 0;             // 6  test the archive
  int32_t nvflag = 0;             // 7  list the archive
  int32_t nfflag = 0;             // 8  freshen: replace older files on disk only
  int32_t nzflag = 0;             // 9  show the archive comment
  int32_t ndflag = 0;             // 10 recreate the stored folders (0: every entry in the target)
  int32_t noflag = 0;             // 11 overwrite existing files without asking
  int32_t naflag = 0;             // 12 text entries get CR LF line ends
  int32_t nZIflag = 0;            // 13 verbose listing
  int32_t C_flag = 0;             // 14 name lists match without regard to case
  int32_t fPrivilege = 0;         // 15
  const char* lpszZipFN = nullptr;       // 16 the archive
  const char* lpszExtractDir = nullptr;  // 17 the target folder (null or empty: current folder)
};

// The version record filled by UzpVersion2 (UzpVer2): 64 bytes.
struct UnzipVersion {
  int32_t structlen = 0;  // the caller sets sizeof(UnzipVersion)
  int32_t flag = 0;       // bit 0 beta, bit 1 zlib used
  char betalevel[10] = {};
  char date[20] = {};
  char zlibver[10] = {};  // the zlib version text
  uint8_t unzip[4] = {};  // major, minor, patch level, 0
  uint8_t zipinfo[4] = {};
  uint8_t os2dll[4] = {};
  uint8_t windll[4] = {};
};
static_assert(sizeof(UnzipVersion) == 64);

// Answers of the replace routine (IDM_REPLACE_*).
namespace replace {
inline constexpr int32_t kNo = 100;
inline constexpr int32_t kText = 101;
inline constexpr int32_t kYes = 102;
inline constexpr int32_t kAll = 103;
inline constexpr int32_t kNone = 104;
}  // namespace replace

// Size of the name buffer handed to the replace routine.
inline constexpr int32_t kNameBufferSize = 4096;

// Result codes of Wiz_SingleEntryUnzip: the unzip tool's exit codes.
namespace unzip_result {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kWarning = 1;      // some entries skipped; the rest done
inline constexpr int32_t kError = 2;        // an entry is damaged (bad CRC, bad data)
inline constexpr int32_t kBadArchive = 3;   // the archive's structure is damaged
inline constexpr int32_t kMemory = 4;
inline constexpr int32_t kNoArchive = 9;    // not found, or not a zip archive
inline constexpr int32_t kParameters = 10;
inline constexpr int32_t kNoMatch = 11;     // no entry matched the include list
inline constexpr int32_t kBomb = 12;        // refused: would expand beyond the bounds
inline constexpr int32_t kDiskFull = 50;
inline constexpr int32_t kEndOfFile = 51;
inline constexpr int32_t kAborted = 80;     // the service routine stopped the run
inline constexpr int32_t kUnsupported = 81; // every failed entry uses an unsupported method
inline constexpr int32_t kBadPassword = 82; // no entry done for want of the right password
}  // namespace unzip_result

// ---------------------------------------------------------------------------

// One library: the entry points of zip32 and unzip32. An entry point that
// cannot be reached (a library or function missing) throws AutomationError
// 53 "File not found: NAME" or 453 "Can't find DLL entry point NAME in
// LIBRARY", as a call by name does.
class Library {
 public:
  virtual ~Library() = default;

  // Registers the notification routines for later ZpArchive calls of this
  // library object. Returns 1.
  virtual int32_t ZpInit(const ZipUserFunctions& functions) = 0;
  // Keeps a copy of the options (texts included) for later ZpArchive calls.
  // Returns 1.
  virtual int32_t ZpSetOptions(const ZipOptions& options) = 0;
  // Archives the first `argc` names of `names` into `zipName`; a zip result.
  virtual int32_t ZpArchive(int32_t argc, const char* zipName, const ZipNames& names) = 0;

  // Fills `version` (the caller set its structlen). Returns 0.
  virtual int32_t UzpVersion2(UnzipVersion& version) = 0;
  // Extracts (tests, lists) the archive of `options`: the entries matching
  // one of the first `includeCount` names of `include` (every entry when 0)
  // and none of the first `excludeCount` names of `exclude` (wildcards
  // * ? [...]). Each list holds kNameListSize pointers. An unzip result.
  virtual int32_t Wiz_SingleEntryUnzip(int32_t includeCount, const char* const* include,
                                       int32_t excludeCount, const char* const* exclude,
                                       const UnzipOptions& options,
                                       UnzipUserFunctions& functions) = 0;
};

// This thread's library: the libzip implementation, made on first use,
// unless setLibrary gave the thread another. The reference stays valid
// until setLibrary is next called on this thread.
Library& library();

// Sets this thread's library; nullptr restores the libzip implementation.
void setLibrary(std::shared_ptr<Library> lib);

// Sets this thread's library for the object's lifetime, then restores the
// one set before. Construct and destroy it on the same thread.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(std::shared_ptr<Library> lib);
  ~ScopedLibrary();
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

 private:
  std::shared_ptr<Library> previous_;
};

}  // namespace bq::infozip
