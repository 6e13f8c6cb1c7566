#include "platform/office/legacy/legacy_conversion.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/text.h"
#include "platform/office/legacy/detail/group_spawn.h"
#include "platform/office/legacy/resident_converter.h"
#include "platform/office/legacy/soffice.h"
#include "platform/shell/openers.h"
#include "platform/zip/unique_fd.h"

extern char** environ;

namespace bq::office {
namespace {

namespace fs = std::filesystem;

struct Format {
  const char* extension;  // of the private copy handed to LibreOffice
  const char* filter;     // LibreOffice's import filter
  const char* target;     // --convert-to
  const char* exporter;   // the export filter --convert-to chooses for `target`
};

Format formatFor(ConvertTo target) {
  switch (target) {
    case ConvertTo::Docx:
      return {"doc", "MS Word 97", "docx", "MS Word 2007 XML"};
    case ConvertTo::Xlsx:
      return {"xls", "MS Excel 97", "xlsx", "Calc MS Excel 2007 XML"};
    case ConvertTo::Pptx:
      return {"ppt", "MS PowerPoint 97", "pptx", "Impress MS PowerPoint 2007 XML"};
    case ConvertTo::None:
      break;
  }
  return {"", "", "", ""};
}

// A file: URL for the local path `p`.
std::string fileUrl(const fs::path& p) { return "file://" + percentEncodePath(p.string()); }

void copyFromFd(int fd, const fs::path& to, const Failure& failure) {
  UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out)
    failure.raise("cannot copy the file for conversion (" + std::string(std::strerror(errno)) +
                  ")");
  std::vector<char> buffer(1 << 16);
  off_t offset = 0;
  for (;;) {
    ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure.raise("the file cannot be read (" + std::string(std::strerror(errno)) + ")");
    if (n == 0) break;
    offset += n;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.get(), buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0)
        failure.raise("cannot copy the file for conversion (" + std::string(std::strerror(errno)) +
                      ")");
      done += w;
    }
  }
}

// The last line LibreOffice printed that says something.
std::string lastLogLine(const fs::path& log) {
  std::ifstream in(log);
  std::string line, last;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    // Its complaint about a missing Java is noise for a conversion.
    if (!line.empty() && line.find("javaldx") == std::string::npos) last = line;
  }
  if (last.size() > 200) last.resize(200);
  return last.empty() ? "no message" : last;
}

void pause(long nanoseconds) {
  timespec ts{0, nanoseconds};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace

ProcessOutcome runBounded(const std::vector<std::string>& argv, const fs::path& log,
                          std::chrono::milliseconds timeout) {
  ProcessOutcome outcome;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  const GroupSpawnAttributes attr;

  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, attr.get(), args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    outcome.spawnError = rc;
    return outcome;
  }

  // Wait without reaping, so that the group id cannot be reused before the
  // group is killed.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  long step = 5'000'000;
  bool reapable = true;
  for (;;) {
    siginfo_t info{};
    int r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (r == 0 && info.si_pid == pid) break;
    if (r != 0 && errno != EINTR) {
      reapable = false;  // reaped elsewhere (SIGCHLD ignored): nothing left to kill safely
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      outcome.timedOut = true;
      break;
    }
    pause(step);
    step = std::min(step * 2, 50'000'000L);
  }
  if (!reapable) return outcome;
  ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.waitStatus = status;
  return outcome;
}

ConvertedFile convertLegacyFile(int sourceFd, ConvertTo target, std::chrono::milliseconds timeout,
                                const Failure& failure) {
  const fs::path soffice = findSoffice();
  if (soffice.empty())
    failure.raise(
        "a legacy binary Office file, which needs LibreOffice (soffice) to be read, and it is not "
        "installed");
  const Format format = formatFor(target);
  TempFolder folder("bq-office-", failure);
  const fs::path input = folder.path() / (std::string("source.") + format.extension);
  const fs::path outDir = folder.path() / "out";
  const fs::path log = folder.path() / "convert.log";
  copyFromFd(sourceFd, input, failure);
  std::error_code ec;
  fs::create_directory(outDir, ec);
  if (ec) failure.raise("cannot make a temporary folder (" + ec.message() + ")");
  fs::path converted = outDir / (std::string("source.") + format.target);

  // A marking process keeps one LibreOffice running for all its files.
  if (ResidentConverter* resident = residentConverter()) {
    resident->convert(input, format.filter, converted, format.exporter, timeout, failure);
    if (!fs::is_regular_file(converted, ec))
      failure.raise("LibreOffice could not convert the file (no file written)");
    return ConvertedFile{std::move(folder), std::move(converted)};
  }

  const std::vector<std::string> argv = {
      soffice.string(),
      "-env:UserInstallation=" + fileUrl(folder.path() / "profile"),
      "--headless",
      "--norestore",
      "--nologo",
      "--nolockcheck",
      std::string("--infilter=") + format.filter,
      "--convert-to",
      format.target,
      "--outdir",
      outDir.string(),
      input.string()};
  const ProcessOutcome outcome = runBounded(argv, log, timeout);
  if (outcome.spawnError)
    failure.raise("LibreOffice (" + soffice.string() + ") cannot be started (" +
                  std::strerror(outcome.spawnError) + ")");
  if (outcome.timedOut)
    failure.raise("LibreOffice did not convert the file within " +
                  (timeout.count() % 1000 ? std::to_string(timeout.count()) + " ms"
                                          : std::to_string(timeout.count() / 1000) + " s"));
  if (!fs::is_regular_file(converted, ec))
    failure.raise("LibreOffice could not convert the file (" + lastLogLine(log) + ")");
  return ConvertedFile{std::move(folder), std::move(converted)};
}

}  // namespace bq::office
