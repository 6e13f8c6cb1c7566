#include "webcom/ftp_transfer.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/automation_error.h"
#include "common/dictionary.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"
#include "platform/ftp/inet.h"
#include "platform/ui/qt_backend.h"
#include "scoring/knowledge/operation_list.h"
#include "webcom/frm_ftp.h"
#include "webcom/session.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// How long one turn of the wait gives the network before the thread's other
// events run again.
constexpr std::chrono::milliseconds kWaitSlice{20};

thread_local std::function<void(const std::string&)> tObserver;

// The files of each kind, by position in cFlag: the prefix, the document's
// extension (none for kinds with only a question text), and whether the
// document is sent back.
struct Kind {
  const char* prefix;
  const char* document;
};
constexpr Kind kKinds[6] = {
    {"\\wt", ".doc"},  {"\\wd", ".doc"},   {"\\ex", ".xls"},
    {"\\ppt", ".ppt"}, {"\\eml", nullptr}, {"\\op", nullptr},
};

// Whether position `i` (0-based) of cFlag selects its kind.
bool Selected(const std::string& cFlag, size_t i) { return mid16(cFlag, i + 1, 1) == "1"; }

// Dir(path) <> "": a directory search with the default attributes finds a
// visible file (not a folder) at the native path `native`.
bool DirFindsFile(const fs::path& native) {
  std::error_code ec;
  return fs::is_regular_file(native, ec) && !winpath::isHidden(native.filename().string());
}

// The paper's identifier becomes part of every local and remote file name
// ("\wt" + cID + ".doc"). The pages come from the exam server: an identifier
// with a path separator, "..", or a NUL (which would cut the name short)
// could name any file, so it is refused with 75 before anything happens.
void CheckPaperId(const std::string& cID) {
  if (cID.find_first_of(std::string_view("\\/\0", 3)) != std::string::npos ||
      cID.find("..") != std::string::npos) {
    raiseError(err::kPathFileAccess);
  }
}

// One file of a transfer: its name ("\wtBQ1.doc"), its local path as the
// operation text names it, and where that lies.
struct LocalFile {
  std::string name;
  std::string path;
  fs::path native;
};

// The local side of the transfers lies on the mapped drives, as the session's
// folders do: a page may not write the server's files into, nor send files
// from, the examinee's own folders through a POSIX path or a link inside a
// drive that leads out of it. Fails with 75 (winpath::toNativeOnDrive).
LocalFile OnDrive(const std::string& folder, const std::string& name) {
  LocalFile f{name, folder + name, {}};
  f.native = winpath::toNativeOnDrive(f.path);
  return f;
}

// A path as one word of an operation text.
std::string Word(const std::string& path) {
  if (path.find_first_of(" \t") == std::string::npos) return path;
  return "\"" + path + "\"";
}

// FtpGetFile and FtpPutFile, which differ only in the operation text. The
// text must read back as the paths it was made of: a quote inside a path
// would otherwise let the words shift, and the control act on another local
// file than the one named.
bool Transfer(const std::string& cIP, const std::string& cPort, const std::string& operation,
              const std::string& local, const std::string& remote) {
  TransferFlags& flags = ThisThreadTransferFlags();
  FrmFTP& form = FrmFTP::ThisThread();
  try {
    flags.TransferDone = false;
    flags.TransferFailed = false;
    const ftp::Operation parsed = ftp::parseOperation(operation);
    if (parsed.local != local || parsed.remote != remote) {
      throw AutomationError(err::kInvalidCall, "", "the operation text does not read back");
    }
    ftp::InternetTransfer& inet = form.Inet();
    inet.RemoteHost = cIP;
    inet.RemotePort = PortNumber(cPort);
    inet.Protocol = ftp::icFTP;
    if (tObserver) tObserver(operation);
    inet.Execute("", operation);
    // The control's notifications arrive from ProcessEvents, on this thread.
    // Its bounds end every transfer with state 12 or 11; a window unloaded
    // meanwhile (by page script) takes its transfer with it.
    while (!flags.TransferDone) {
      if (flags.TransferFailed) {
        throw AutomationError(err::kDeviceIO, "", "the transfer failed: " + inet.ResponseInfo());
      }
      ftp::InternetTransfer* live = form.LoadedInet();
      if (!live) throw AutomationError(err::kObjectNotSet, "", "the transfer window was unloaded");
      live->ProcessEvents(kWaitSlice);
      ui::doEvents();
    }
    return true;
  } catch (const AutomationError&) {
    if (ftp::InternetTransfer* live = form.LoadedInet()) live->Cancel();
    form.Unload();
    return false;
  }
}

}  // namespace

TransferFlags& ThisThreadTransferFlags() {
  thread_local TransferFlags flags;
  return flags;
}

void SetTransferObserver(std::function<void(const std::string&)> observer) {
  tObserver = std::move(observer);
}

uint16_t PortNumber(const std::string& cPort) {
  std::string_view s = cPort;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  // Digits with an optional sign and fraction; no exponent, hex or blanks inside.
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  size_t digits = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 || i != s.size()) raiseError(err::kTypeMismatch);
  const double value = std::nearbyint(std::strtod(std::string(s).c_str(), nullptr));
  if (!(value >= 0 && value <= 65535)) raiseError(err::kOverflow);
  return static_cast<uint16_t>(value);
}

bool FtpGetFile(const std::string& cIP, const std::string& cPort, const std::string& remote,
                const std::string& local) {
  return Transfer(cIP, cPort, "GET " + Word(remote) + " " + Word(local), local, remote);
}

bool FtpPutFile(const std::string& cIP, const std::string& cPort, const std::string& local,
                const std::string& remote) {
  return Transfer(cIP, cPort, "Put " + Word(local) + " " + Word(remote), local, remote);
}

void FileDownLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                  std::string& cID, std::string& cFlag) {
  if (len16(cFlag) != 6) return;
  CheckPaperId(cID);
  std::vector<LocalFile> files;
  for (size_t i = 0; i < 6; ++i) {
    if (!Selected(cFlag, i)) continue;
    const std::string stem = kKinds[i].prefix + cID;
    if (kKinds[i].document) files.push_back(OnDrive(cClient, stem + kKinds[i].document));
    files.push_back(OnDrive(cClient, stem + ".tg"));
  }
  files.push_back(OnDrive(cClient, "\\BQ.AVI"));
  files.push_back(OnDrive(cClient, "\\QuestionPane.Exe"));

  ThisThreadTransferFlags().UnloadAfterTransfer = true;
  for (const LocalFile& f : files) {
    // An existing local file is never fetched again.
    if (!DirFindsFile(f.native)) FtpGetFile(cIP, cPort, cServer + f.name, f.path);
  }
}

void FileUpLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                std::string& cID, std::string& cFlag) {
  if (len16(cFlag) != 6) return;
  // Every local path is checked before anything happens (no program ended,
  // nothing sent, cClient as it was). A cClient that names no drive at all
  // has no operation root: the call fails at the listing below, as it always
  // did, and its documents, which would be read off the drives, are not sent.
  CheckPaperId(cID);
  const std::optional<std::string> root = OperationRoot(cClient);
  std::vector<LocalFile> documents;
  std::optional<LocalFile> listingFile;
  if (root) {
    winpath::toNativeOnDrive(cClient);
    for (size_t i = 0; i < 4; ++i) {
      if (Selected(cFlag, i)) {
        documents.push_back(OnDrive(cClient, kKinds[i].prefix + cID + kKinds[i].document));
      }
    }
    listingFile = OnDrive(*root, "\\op" + cID + ".txt");
  }

  // Closes the examinee's documents; what was not saved is lost, as intended.
  EndProcessesByName("Excel.exe");
  EndProcessesByName("WinWord.exe");
  EndProcessesByName("Powerpnt.exe");
  ThisThreadTransferFlags().UnloadAfterTransfer = true;

  for (const LocalFile& f : documents) {
    if (DirFindsFile(f.native)) FtpPutFile(cIP, cPort, f.path, cServer + f.name);
  }

  // The folder listing, always, from the operation root of cClient's drive.
  cClient = left16(cClient, 1) + ":\\BqOperation";
  if (!root) raiseError(err::kPathNotFound);
  KnowledgeSet listing;
  GetOperationZSD(cClient, listing);
  writeAnsiLine(listingFile->native, JoinOpZSD(listing));
  if (DirFindsFile(listingFile->native)) {
    FtpPutFile(cIP, cPort, listingFile->path, cServer + listingFile->name);
  }
}

}  // namespace bq
