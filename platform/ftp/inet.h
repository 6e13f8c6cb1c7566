// The Internet transfer control (InetCtlsObjects.Inet) as the web component
// uses it: FTP only, one whole file per operation, over libcurl.
//
// Use: set RemoteHost, RemotePort and Protocol (icFTP), then Execute an
// operation text:
//   "GET remote local"   fetch the remote file into the local file;
//   "PUT local remote"   send the local file to the remote name.
// The verb is taken without regard to case ("Put" is PUT). Words are
// separated by blanks; a word that holds blanks is written in double quotes.
// Remote paths have "\" sent as "/"; a remote path is relative to the login
// folder unless it begins with "\" or "/". Local paths are Windows or POSIX
// paths, mapped with common/winpath.h.
//
// Execute starts the operation and returns at once; the operation moves on
// only inside ProcessEvents, which the caller runs in its wait loop (the
// original control worked while the caller's thread pumped its messages).
// StateChanged is called from ProcessEvents, on the calling thread, with the
// control's state numbers: icConnecting when the operation starts,
// icConnected once the server's connection is made, then exactly one of
// icResponseCompleted (the whole file moved) or icError (it did not; see
// ResponseInfo). The handler may Cancel, Execute anew, or destroy the control.
//
// The session: anonymous login (curl's default user and password, as such
// controls log in when no user is set), binary transfers, passive mode
// (EPSV, then PASV) with one retry in active mode (PORT) when the server
// refuses passive mode or its data connection cannot be made. Each operation
// opens its own connection.
//
// Bounded waits: connecting and every server answer are bounded by the
// environment variable BQ_FTP_TIMEOUT, in seconds (default 30; read at each
// Execute), and so is the data: a period of that length in which less than
// 1 KiB a second moves (silence included) ends the operation with icError.
//
// Bounded files: no file larger than BQ_FTP_MAX_MIB mebibytes (default 256;
// read at each Execute) moves. A fetch fails with icError as soon as the
// server announces a larger size or sends a byte past the bound (ResponseInfo
// "Out of memory (the file fetched 'REMOTE' is larger than N MiB)"); a larger
// file to send is refused by Execute.
//
// A fetched file is written beside the local file (".NAME.XXXXXX" in its
// folder) and renamed into place, flushed to disk, only when the whole file
// has arrived; a failed or cancelled fetch leaves the local path as it was.
//
// Thread safety: a control belongs to the thread that made it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bq::ftp {

// ProtocolConstants.
inline constexpr int16_t icUnknown = 0;
inline constexpr int16_t icDefault = 1;
inline constexpr int16_t icFTP = 2;
inline constexpr int16_t icHTTP = 4;

// StateConstants.
inline constexpr int16_t icNone = 0;
inline constexpr int16_t icConnecting = 3;
inline constexpr int16_t icConnected = 4;
inline constexpr int16_t icError = 11;
inline constexpr int16_t icResponseCompleted = 12;

// Execute while an operation is still running.
inline constexpr int32_t kStillExecuting = 35764;
// A property that cannot be used (run-time error 380).
inline constexpr int32_t kInvalidPropertyValue = 380;

// An operation text taken apart.
struct Operation {
  enum class Verb { kGet, kPut };
  Verb verb = Verb::kGet;
  std::string remote;  // as written, "\" not yet turned
  std::string local;   // as written, not yet mapped
};

// Takes an operation text apart (see the header comment). Throws
// AutomationError 5 "Invalid procedure call or argument" naming the fault for
// a verb other than GET or PUT, a wrong number of words or an unclosed quote.
Operation parseOperation(std::string_view text);

// The ftp:// URL of `remote` on host:port: "\" turned into "/", every byte
// outside the unreserved characters and "/" percent-encoded; an IPv6 literal
// host in brackets.
std::string ftpUrl(const std::string& host, uint16_t port, std::string_view remote);

// The wait bound in milliseconds: BQ_FTP_TIMEOUT seconds (a positive decimal
// number, fractions allowed, at most a day), else 30 s.
std::chrono::milliseconds transferTimeout();

// The size bound in bytes: BQ_FTP_MAX_MIB mebibytes (a positive decimal
// number, fractions allowed, at most 1 TiB, at least one byte), else 256 MiB.
uint64_t transferSizeLimit();

class InternetTransfer {
 public:
  InternetTransfer();
  ~InternetTransfer();
  InternetTransfer(const InternetTransfer&) = delete;
  InternetTransfer& operator=(const InternetTransfer&) = delete;

  std::string RemoteHost;
  uint16_t RemotePort = 21;
  int16_t Protocol = icFTP;
  std::function<void(int16_t state)> StateChanged;

  // Starts `operation` (`url` must be empty: the host and port come from the
  // properties). Throws AutomationError, with nothing started, for:
  //   35764 "Still executing last request" while an operation runs;
  //   380 "Invalid property value": no RemoteHost, a host with characters no
  //       host name or address has, RemotePort 0, a protocol other than FTP,
  //       or a URL argument;
  //   5 for an operation text parseOperation refuses;
  //   the file error of the local file: for GET a folder that cannot take the
  //   new file (76 when it is missing), for PUT a file that cannot be read
  //   (53 when it is missing, 75 for a folder);
  //   7 "Out of memory (the file to send '...' is larger than N MiB)" for PUT
  //   of a file past the size bound.
  void Execute(const std::string& url, const std::string& operation);

  // True from Execute until the operation has ended (before its final state
  // is delivered).
  bool StillExecuting() const;

  // Ends the current operation at once, delivering nothing more; a fetch
  // leaves no file. Does nothing when none runs.
  void Cancel();

  // Moves the current operation on, waiting up to `maxWait` for the network,
  // and delivers the state changes that happened. Returns at once when no
  // operation runs.
  void ProcessEvents(std::chrono::milliseconds maxWait);

  // The last FTP reply code of the server (0 before any), and the text of the
  // last failure ("" after a success).
  long ResponseCode() const { return responseCode_; }
  const std::string& ResponseInfo() const { return responseInfo_; }

 private:
  struct Transfer;

  void start(bool activeMode);
  void finish(int result);
  void deliver();

  struct MultiDeleter {
    void operator()(void* multi) const;
  };

  std::unique_ptr<void, MultiDeleter> multi_;  // CURLM
  std::unique_ptr<Transfer> transfer_;
  std::vector<int16_t> pending_;
  // Counts Execute and Cancel calls, so that states of an operation a
  // handler has replaced or cancelled are not delivered.
  uint64_t generation_ = 0;
  long responseCode_ = 0;
  std::string responseInfo_;
  // Cleared by the destructor: a StateChanged handler may destroy the control.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace bq::ftp
