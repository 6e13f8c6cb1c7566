#include "platform/ftp/inet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"

namespace bq::ftp {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kDefaultTimeout{30'000};
constexpr std::chrono::milliseconds kLongestTimeout{24LL * 3600 * 1000};
// A transfer that moves less than this many bytes a second, over a period of
// the wait bound, has stalled in all but name: a server that trickles a file
// would otherwise hold the caller for ever.
constexpr long kLowestSpeed = 1024;
constexpr uint64_t kDefaultSizeLimit = 256ull << 20;
constexpr uint64_t kLargestSizeLimit = 1ull << 40;
constexpr long kBufferSize = 256 * 1024;

[[noreturn]] void invalidCall(const std::string& why) {
  throw AutomationError(err::kInvalidCall, "", runtimeErrorText(err::kInvalidCall) + ": " + why);
}

[[noreturn]] void invalidProperty(const std::string& why) {
  throw AutomationError(kInvalidPropertyValue, "", "Invalid property value: " + why);
}

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool upperEquals(std::string_view word, std::string_view upper) {
  return std::equal(word.begin(), word.end(), upper.begin(), upper.end(), [](char a, char b) {
    return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
  });
}

// A host as an FTP URL may carry it: a name or IPv4 address, or an IPv6
// literal (bracketed or not). Anything else (blanks, "/", "@", "%" ...)
// would change what the URL means.
std::optional<std::string> urlHost(const std::string& host) {
  if (host.empty()) return std::nullopt;
  std::string_view h = host;
  const bool bracketed = h.size() > 2 && h.front() == '[' && h.back() == ']';
  if (bracketed) h = h.substr(1, h.size() - 2);
  bool colon = false;
  for (char c : h) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_' || c == ':';
    if (!ok) return std::nullopt;
    colon = colon || c == ':';
  }
  if (bracketed && !colon) return std::nullopt;
  if (colon) return "[" + std::string(h) + "]";
  return std::string(h);
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

}  // namespace

void InternetTransfer::MultiDeleter::operator()(void* multi) const {
  curl_multi_cleanup(static_cast<CURLM*>(multi));
}

Operation parseOperation(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i >= text.size()) break;
    std::string word;
    if (text[i] == '"') {
      const size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos)
        invalidCall("unclosed quote in \"" + std::string(text) + "\"");
      word = text.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      const size_t from = i;
      while (i < text.size() && !isBlank(text[i])) ++i;
      word = text.substr(from, i - from);
    }
    words.push_back(std::move(word));
  }
  if (words.empty()) invalidCall("no operation");
  Operation op;
  if (upperEquals(words[0], "GET")) {
    op.verb = Operation::Verb::kGet;
  } else if (upperEquals(words[0], "PUT")) {
    op.verb = Operation::Verb::kPut;
  } else {
    invalidCall("the operation " + words[0] + " is not supported (GET and PUT are)");
  }
  if (words.size() != 3 || words[1].empty() || words[2].empty()) {
    invalidCall(words[0] + " takes two paths: \"" + std::string(text) + "\"");
  }
  if (op.verb == Operation::Verb::kGet) {
    op.remote = words[1];
    op.local = words[2];
  } else {
    op.local = words[1];
    op.remote = words[2];
  }
  return op;
}

std::string ftpUrl(const std::string& host, uint16_t port, std::string_view remote) {
  std::string path(remote);
  std::replace(path.begin(), path.end(), '\\', '/');
  const std::optional<std::string> h = urlHost(host);
  return "ftp://" + (h ? *h : host) + ":" + std::to_string(port) + "/" + percentEncodePath(path);
}

std::chrono::milliseconds transferTimeout() {
  const char* v = std::getenv("BQ_FTP_TIMEOUT");
  if (!v || !*v) return kDefaultTimeout;
  char* end = nullptr;
  const double seconds = std::strtod(v, &end);
  while (end && isBlank(*end)) ++end;
  if (!end || *end != '\0' || !std::isfinite(seconds) || seconds <= 0) return kDefaultTimeout;
  const double ms = std::ceil(seconds * 1000);
  if (ms >= static_cast<double>(kLongestTimeout.count())) return kLongestTimeout;
  return std::chrono::milliseconds(static_cast<int64_t>(ms));
}

uint64_t transferSizeLimit() {
  const char* v = std::getenv("BQ_FTP_MAX_MIB");
  if (!v || !*v) return kDefaultSizeLimit;
  char* end = nullptr;
  const double mib = std::strtod(v, &end);
  while (end && isBlank(*end)) ++end;
  if (!end || *end != '\0' || !std::isfinite(mib) || mib <= 0) return kDefaultSizeLimit;
  const double bytes = std::floor(mib * (1 << 20));
  if (bytes >= static_cast<double>(kLargestSizeLimit)) return kLargestSizeLimit;
  return std::max<uint64_t>(1, static_cast<uint64_t>(bytes));
}

// One operation: its easy handle and its local file.
struct InternetTransfer::Transfer {
  Operation op;
  fs::path local;
  std::string url;
  std::chrono::milliseconds timeout{};
  uint64_t sizeLimit = 0;
  uint64_t received = 0;  // GET: bytes of the current attempt
  std::unique_ptr<CURL, EasyDeleter> easy;
  std::unique_ptr<AtomicOutput> out;  // GET
  std::unique_ptr<InputFile> in;      // PUT
  uintmax_t inSize = 0;
  bool activeMode = false;
  bool connectedReported = false;
  std::string localFailure;  // why the local file failed us inside a callback
  char errorBuffer[CURL_ERROR_SIZE] = {};

  static size_t onWrite(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const size_t n = size * count;
    try {
      t->received += n;
      if (t->received > t->sizeLimit) t->raiseTooLarge();
      t->out->write(std::span(reinterpret_cast<const uint8_t*>(data), n));
    } catch (const AutomationError& e) {
      t->localFailure = e.description();
      return 0;  // curl ends the transfer with a write error
    }
    return n;
  }

  static size_t onRead(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    try {
      return t->in->read(std::span(reinterpret_cast<uint8_t*>(data), size * count));
    } catch (const AutomationError& e) {
      t->localFailure = e.description();
      return CURL_READFUNC_ABORT;
    }
  }

  // The error of a file past the size bound: the remote file fetched, or
  // the local file to send.
  [[noreturn]] void raiseTooLarge() const {
    if (op.verb == Operation::Verb::kGet) {
      raiseReadLimit(ReadLimit{sizeLimit, "file fetched"}, op.remote);
    }
    raiseReadLimit(ReadLimit{sizeLimit, "file to send"}, local.string());
  }

  // Opens the local side afresh (for the first attempt and for the retry in
  // active mode, which must start from an empty file or the first byte).
  void openLocal() {
    out.reset();
    in.reset();
    received = 0;
    if (op.verb == Operation::Verb::kGet) {
      out = std::make_unique<AtomicOutput>(local);
    } else {
      in = std::make_unique<InputFile>(local);
      std::error_code ec;
      inSize = fs::file_size(local, ec);
      if (ec) raiseFileError(ec.value());
      if (inSize > sizeLimit) raiseTooLarge();
    }
  }
};

InternetTransfer::InternetTransfer() {
  initCurlOnce();
  multi_.reset(curl_multi_init());
  if (!multi_) throw AutomationError(err::kOutOfMemory, "", "Out of memory");
}

InternetTransfer::~InternetTransfer() {
  *alive_ = false;
  Cancel();
}

bool InternetTransfer::StillExecuting() const { return transfer_ != nullptr; }

void InternetTransfer::Execute(const std::string& url, const std::string& operation) {
  if (transfer_) {
    throw AutomationError(kStillExecuting, "", "Still executing last request");
  }
  if (!url.empty()) invalidProperty("the URL argument is not used; set RemoteHost");
  if (Protocol != icFTP) invalidProperty("only the FTP protocol (2) is supported");
  const std::optional<std::string> host = urlHost(RemoteHost);
  if (!host) invalidProperty("RemoteHost \"" + RemoteHost + "\" is no host name or address");
  if (RemotePort == 0) invalidProperty("RemotePort 0");

  auto t = std::make_unique<Transfer>();
  t->op = parseOperation(operation);
  t->local = winpath::toNative(t->op.local);
  t->url = ftpUrl(*host, RemotePort, t->op.remote);
  t->timeout = transferTimeout();
  t->sizeLimit = transferSizeLimit();
  t->openLocal();

  pending_.clear();
  ++generation_;
  responseCode_ = 0;
  responseInfo_.clear();
  transfer_ = std::move(t);
  start(false);
  pending_.push_back(icConnecting);
}

void InternetTransfer::start(bool activeMode) {
  Transfer& t = *transfer_;
  t.activeMode = activeMode;
  t.easy.reset(curl_easy_init());
  if (!t.easy) throw AutomationError(err::kOutOfMemory, "", "Out of memory");
  CURL* e = t.easy.get();
  const long timeoutMs = static_cast<long>(t.timeout.count());
  curl_easy_setopt(e, CURLOPT_URL, t.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, std::max(1L, (timeoutMs + 999) / 1000));
  curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, timeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, kLowestSpeed);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, std::max(1L, (timeoutMs + 999) / 1000));
  curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);  // binary
  if (activeMode) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
  if (t.op.verb == Operation::Verb::kGet) {
    // A size the server announces ends the fetch before its data; the
    // write callback counts for the servers that announce none.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.sizeLimit));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  } else {
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Transfer::onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, &t);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(t.inSize));
  }
  if (curl_multi_add_handle(multi_.get(), e) != CURLM_OK) {
    throw AutomationError(err::kOutOfMemory, "", "Out of memory");
  }
}

void InternetTransfer::Cancel() {
  pending_.clear();
  ++generation_;
  if (!transfer_) return;
  curl_multi_remove_handle(multi_.get(), transfer_->easy.get());
  transfer_.reset();  // a fetch's temporary file goes with it
}

void InternetTransfer::ProcessEvents(std::chrono::milliseconds maxWait) {
  if (transfer_ && pending_.empty()) {
    CURLM* m = multi_.get();
    int running = 0;
    curl_multi_perform(m, &running);
    if (running > 0) {
      curl_multi_poll(m, nullptr, 0, static_cast<int>(std::max<int64_t>(0, maxWait.count())),
                      nullptr);
      curl_multi_perform(m, &running);
    }
    Transfer& t = *transfer_;
    if (!t.connectedReported) {
      curl_off_t connectTime = 0;
      curl_easy_getinfo(t.easy.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
      if (connectTime > 0) {
        t.connectedReported = true;
        pending_.push_back(icConnected);
      }
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &queued)) {
      if (msg->msg == CURLMSG_DONE && transfer_ && msg->easy_handle == transfer_->easy.get()) {
        finish(msg->data.result);
        break;
      }
    }
  }
  deliver();
}

void InternetTransfer::finish(int code) {
  Transfer& t = *transfer_;
  const auto result = static_cast<CURLcode>(code);
  curl_easy_getinfo(t.easy.get(), CURLINFO_RESPONSE_CODE, &responseCode_);
  curl_multi_remove_handle(multi_.get(), t.easy.get());

  // The server would not open a passive data connection, or the one it
  // offered could not be reached: once more in active mode.
  const bool passiveFailed =
      result == CURLE_FTP_WEIRD_PASV_REPLY || result == CURLE_FTP_WEIRD_227_FORMAT ||
      result == CURLE_FTP_CANT_GET_HOST || (result == CURLE_COULDNT_CONNECT && t.connectedReported);
  if (passiveFailed && !t.activeMode) {
    try {
      t.openLocal();
      start(true);
      return;
    } catch (const AutomationError& e) {
      t.localFailure = e.description();
    }
  }

  std::string failure;
  if (result == CURLE_OK) {
    if (t.out) {
      try {
        t.out->commit();
      } catch (const AutomationError& e) {
        failure = e.description();
      }
    }
  } else if (!t.localFailure.empty()) {
    failure = t.localFailure;
  } else if (result == CURLE_FILESIZE_EXCEEDED) {
    try {
      t.raiseTooLarge();
    } catch (const AutomationError& e) {
      failure = e.description();
    }
  } else {
    failure = t.errorBuffer[0] ? std::string(t.errorBuffer) : curl_easy_strerror(result);
  }
  if (result != CURLE_OK && failure.empty()) failure = curl_easy_strerror(result);
  transfer_.reset();
  responseInfo_ = failure;
  pending_.push_back(failure.empty() ? icResponseCompleted : icError);
}

void InternetTransfer::deliver() {
  // The handler may cancel, execute anew or destroy the control: take the
  // states out first and stop as soon as the control is gone.
  std::vector<int16_t> states;
  states.swap(pending_);
  const std::shared_ptr<bool> alive = alive_;
  const uint64_t generation = generation_;
  for (int16_t state : states) {
    if (StateChanged) StateChanged(state);
    if (!*alive || generation_ != generation) return;
  }
}

}  // namespace bq::ftp
