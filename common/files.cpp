#include "common/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/winpath.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// The process's file mode mask. Read from /proc rather than set and reset
// with umask(), which would change it for every thread for a moment.
mode_t processUmask() {
  static const mode_t mask = [] {
    mode_t m = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
      char line[256];
      while (std::fgets(line, sizeof line, f)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
          m = static_cast<mode_t>(value);
          break;
        }
      }
      std::fclose(f);
    }
    return m;
  }();
  return mask;
}

}  // namespace

InputFile::InputFile(fs::path path) : path_(std::move(path)) {
  // O_NONBLOCK keeps the open itself from waiting on a pipe with no writer.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) winpath::raiseOpenError(errno, path_);
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    raiseError(err::kPathFileAccess);
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

InputFile::~InputFile() { ::close(fd_); }

size_t InputFile::read(std::span<uint8_t> buf) {
  for (;;) {
    ssize_t n = ::read(fd_, buf.data(), buf.size());
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) raiseFileError(errno);
  }
}

AtomicOutput::AtomicOutput(fs::path target, Durability durability)
    : target_(std::move(target)), durability_(durability) {
  if (target_.filename().empty()) raiseFileError(EISDIR);
  fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
  std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) winpath::raiseOpenError(errno, target_);
  temp_ = pattern;
  // mkstemp makes the file private; give it the mode a new file would get.
  if (::fchmod(fd_, 0666 & ~processUmask()) != 0) {
    int errnum = errno;
    ::close(fd_);
    ::unlink(temp_.c_str());
    raiseFileError(errnum);
  }
}

AtomicOutput::~AtomicOutput() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_.c_str());
}

void AtomicOutput::write(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      raiseFileError(errno);
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
}

void AtomicOutput::commit() {
  if (durability_ == Durability::kFlushed && ::fsync(fd_) != 0) raiseFileError(errno);
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) raiseFileError(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) raiseFileError(errno);
  committed_ = true;
  // The rename itself is made durable by flushing the folder; the new file
  // is in place either way, so a failure here is not reported.
  if (durability_ == Durability::kUnflushed) return;
  fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::string readAt(int fd, uint64_t offset, uint64_t length) {
  std::string out(length, '\0');
  size_t got = 0;
  while (got < length) {
    ssize_t n = ::pread(fd, out.data() + got, length - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return out;
}

bool canWriteIn(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

void writeAnsiLine(const fs::path& path, std::string_view utf8Line) {
  const std::string bytes = toAnsi(utf8Line) + "\r\n";
  AtomicOutput out(path);
  out.write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  out.commit();
}

namespace {

std::string readAll(const fs::path& path, uint64_t maxBytes, const ReadLimit* limit) {
  InputFile in(path);
  std::string bytes;
  size_t used = 0;
  while (true) {
    if (bytes.size() - used < 65536) bytes.resize(bytes.size() + 65536);
    size_t n = in.read(
        std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()) + used, bytes.size() - used));
    if (n == 0) break;
    used += n;
    if (used > maxBytes) raiseReadLimit(*limit, path.string());
  }
  bytes.resize(used);
  return bytes;
}

// "16 MiB", "512 KiB", "100 bytes".
std::string sizeText(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string readWholeFile(const fs::path& path) { return readAll(path, UINT64_MAX, nullptr); }

std::string readWholeFile(const fs::path& path, const ReadLimit& limit) {
  return readAll(path, limit.maxBytes, &limit);
}

void raiseReadLimit(const ReadLimit& limit, std::string_view name) {
  throw AutomationError(err::kOutOfMemory, {},
                        runtimeErrorText(err::kOutOfMemory) + " (the " + limit.what + " '" +
                            std::string(name) + "' is larger than " + sizeText(limit.maxBytes) +
                            ")");
}

}  // namespace bq
