#include "webcom/ftp_transfer.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
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
    {"\\wt", ".doc"}, {"\\wd", ".doc"}, {"\\ex", ".xls"},
    {"\\ppt", ".ppt"}, {"\\eml", nullptr}, {"\\op", nullptr},
};

// Whether position `i` (0-based) of cFlag selects its kind.
bool Selected(const std::string& cFlag, size_t i) { return mid16(cFlag, i + 1, 1) == "1"; }

// Dir(path) <> "": a directory search with the default attributes finds a
// visible file (not a folder) at `path`.
bool DirFindsFile(const std::string& path) {
  const fs::path native = winpath::toNative(path);
  std::error_code ec;
  return fs::is_regular_file(native, ec) && !winpath::isHidden(native.filename().string());
}

// A path as one word of an operation text.
std::string Word(const std::string& path) {
  if (path.find_first_of(" \t") == std::string::npos) return path;
  return "\"" + path + "\"";
}

// FtpGetFile and FtpPutFile, which differ only in the operation text.
bool Transfer(const std::string& cIP, const std::string& cPort, const std::string& operation) {
  TransferFlags& flags = ThisThreadTransferFlags();
  FrmFTP& form = FrmFTP::ThisThread();
  try {
    flags.TransferDone = false;
    flags.TransferFailed = false;
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

// Fetches cServer + name into cClient + name unless that file exists.
void Fetch(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
           const std::string& name) {
  const std::string local = cClient + name;
  if (DirFindsFile(local)) return;
  FtpGetFile(cIP, cPort, cServer + name, local);
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
  return Transfer(cIP, cPort, "GET " + Word(remote) + " " + Word(local));
}

bool FtpPutFile(const std::string& cIP, const std::string& cPort, const std::string& local,
                const std::string& remote) {
  return Transfer(cIP, cPort, "Put " + Word(local) + " " + Word(remote));
}

void FileDownLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                  std::string& cID, std::string& cFlag) {
  if (len16(cFlag) != 6) return;
  ThisThreadTransferFlags().UnloadAfterTransfer = true;
  for (size_t i = 0; i < 6; ++i) {
    if (!Selected(cFlag, i)) continue;
    const std::string stem = kKinds[i].prefix + cID;
    if (kKinds[i].document) Fetch(cIP, cPort, cServer, cClient, stem + kKinds[i].document);
    Fetch(cIP, cPort, cServer, cClient, stem + ".tg");
  }
  Fetch(cIP, cPort, cServer, cClient, "\\BQ.AVI");
  Fetch(cIP, cPort, cServer, cClient, "\\QuestionPane.Exe");
}

void FileUpLoad(std::string& cIP, std::string& cPort, std::string& cServer, std::string& cClient,
                std::string& cID, std::string& cFlag) {
  if (len16(cFlag) != 6) return;
  // Closes the examinee's documents; what was not saved is lost, as intended.
  EndProcessesByName("Excel.exe");
  EndProcessesByName("WinWord.exe");
  EndProcessesByName("Powerpnt.exe");
  ThisThreadTransferFlags().UnloadAfterTransfer = true;

  for (size_t i = 0; i < 4; ++i) {
    if (!Selected(cFlag, i)) continue;
    const std::string name = kKinds[i].prefix + cID + kKinds[i].document;
    if (DirFindsFile(cClient + name)) FtpPutFile(cIP, cPort, cClient + name, cServer + name);
  }

  // The folder listing, always, from the operation root of cClient's drive.
  const std::string name = "\\op" + cID + ".txt";
  const bool onADrive = OperationRoot(cClient).has_value();
  cClient = left16(cClient, 1) + ":\\BqOperation";
  if (!onADrive) raiseError(err::kPathNotFound);
  KnowledgeSet listing;
  GetOperationZSD(cClient, listing);
  writeAnsiLine(winpath::toNative(cClient + name), JoinOpZSD(listing));
  if (DirFindsFile(cClient + name)) FtpPutFile(cIP, cPort, cClient + name, cServer + name);
}

}  // namespace bq
