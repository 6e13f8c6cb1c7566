#include "platform/office/legacy/resident_converter.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "common/text.h"
#include "platform/office/legacy/detail/group_spawn.h"
#include "platform/office/legacy/uno_converter_script.h"

extern char** environ;

namespace bq::office {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

thread_local ResidentConverter* tCurrent = nullptr;

fs::path unoPython() {
  if (const char* configured = std::getenv("BQ_UNO_PYTHON"); configured && *configured)
    return configured;
  if (::access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
  return "python3";
}

// Writes all of `data`. A helper that has died fails the write (EPIPE) and
// does not end this process: SIGPIPE is held back for the calling thread
// while it writes, and one raised by the write is taken off again.
bool writeAll(int fd, std::string_view data) {
  sigset_t pipe, before;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe, &before);
  bool ok = true;
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  if (!ok && errno == EPIPE && !alreadyPending) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return ok;
}

std::string seconds(std::chrono::milliseconds t) {
  return t.count() % 1000 ? std::to_string(t.count()) + " ms"
                          : std::to_string(t.count() / 1000) + " s";
}

}  // namespace

ResidentConverter::ResidentConverter(std::chrono::milliseconds startTimeout)
    : startTimeout_(startTimeout) {}

ResidentConverter::~ResidentConverter() { stop(false); }

void ResidentConverter::start(const Failure& failure) {
  const fs::path soffice = findSoffice();
  if (soffice.empty())
    failure.raise(
        "a legacy binary Office file, which needs LibreOffice (soffice) to be read, and it is not "
        "installed");
  if (!folder_) {
    folder_ = std::make_unique<TempFolder>("bq-office-resident-", failure);
    std::ofstream(folder_->path() / "uno_converter.py") << kUnoConverterScript;
  }
  const fs::path& dir = folder_->path();
  // The pipe's name is unique on the machine: it names the private folder.
  const std::string pipeName = "bq-" + dir.filename().string();
  const std::vector<std::string> argv = {unoPython().string(), (dir / "uno_converter.py").string(),
                                         soffice.string(), pipeName,
                                         "file://" + percentEncodePath((dir / "profile").string())};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int down[2], up[2];
  if (::pipe2(down, O_CLOEXEC) != 0) failure.raise(std::string("pipe: ") + std::strerror(errno));
  if (::pipe2(up, O_CLOEXEC) != 0) {
    ::close(down[0]);
    ::close(down[1]);
    failure.raise(std::string("pipe: ") + std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, down[0], 0);
  posix_spawn_file_actions_adddup2(&actions, up[1], 1);
  const std::string log = (dir / "helper.log").string();
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  const GroupSpawnAttributes attr;
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, attr.get(), args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(down[0]);
  ::close(up[1]);
  if (rc != 0) {
    ::close(down[1]);
    ::close(up[0]);
    failure.raise("the LibreOffice helper (" + argv[0] + ") cannot be started (" +
                  std::strerror(rc) + ")");
  }
  pid_ = pid;
  toHelper_ = down[1];
  fromHelper_ = up[0];
  buffer_.clear();
  ++starts_;
  std::string line;
  bool timedOut = false;
  if (!readLine(startTimeout_, line, timedOut) || line != "ready") {
    stop(true);
    if (timedOut) failure.raise("LibreOffice did not start within " + seconds(startTimeout_));
    failure.raise("LibreOffice could not be started (" +
                  (line.starts_with("error\t") ? line.substr(6) : std::string("no answer")) + ")");
  }
}

void ResidentConverter::stop(bool kill) {
  if (pid_ < 0) return;
  ::close(toHelper_);  // a helper that reads its end ends LibreOffice and itself
  if (!kill) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid_)
        break;
      ::usleep(20'000);
    }
  }
  // Whatever is left of the group (LibreOffice itself, when the helper went
  // first) goes with it.
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(fromHelper_);
  pid_ = -1;
  toHelper_ = fromHelper_ = -1;
}

bool ResidentConverter::readLine(std::chrono::milliseconds timeout, std::string& line,
                                 bool& timedOut) {
  timedOut = false;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const size_t nl = buffer_.find('\n'); nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      return false;
    }
    pollfd p{fromHelper_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(fromHelper_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

void ResidentConverter::convert(const fs::path& input, const std::string& importFilter,
                                const fs::path& output, const std::string& exportFilter,
                                std::chrono::milliseconds timeout, const Failure& failure) {
  const std::string request =
      input.string() + "\t" + importFilter + "\t" + output.string() + "\t" + exportFilter + "\n";
  // A second try only when LibreOffice died under the first one.
  for (int attempt = 0;; ++attempt) {
    if (pid_ < 0) start(failure);
    std::string line;
    bool timedOut = false;
    if (writeAll(toHelper_, request) && readLine(timeout, line, timedOut)) {
      if (line == "ok") return;
      failure.raise("LibreOffice could not convert the file (" +
                    (line.starts_with("error\t") ? line.substr(6) : line) + ")");
    }
    stop(true);
    if (timedOut) failure.raise("LibreOffice did not convert the file within " + seconds(timeout));
    if (attempt == 1) failure.raise("LibreOffice ended while it converted the file");
  }
}

ResidentConversionScope::ResidentConversionScope() : previous_(tCurrent) { tCurrent = &converter_; }

ResidentConversionScope::~ResidentConversionScope() { tCurrent = previous_; }

ResidentConverter* residentConverter() { return tCurrent; }

}  // namespace bq::office
