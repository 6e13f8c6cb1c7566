#include "platform/infozip/unzip_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/automation_error.h"
#include "common/winpath.h"

namespace bq::infozip {

namespace fs = std::filesystem;

bool looksLikeText(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1a) return false;
  }
  return true;
}

void LineEnds::convert(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(in.size() + in.size() / 16 + 2);
  for (uint8_t b : in) {
    if (pendingCr_ && b != '\n') out.push_back('\n');
    pendingCr_ = false;
    if (b == '\n') {
      if (out.empty() || out.back() != '\r') out.push_back('\r');
      out.push_back('\n');
      continue;
    }
    out.push_back(b);
    if (b == '\r') pendingCr_ = true;
  }
}

bool LineEnds::finish(std::vector<uint8_t>& out) {
  out.clear();
  if (pendingCr_) out.push_back('\n');
  pendingCr_ = false;
  return !out.empty();
}

EntryOutput::EntryOutput(const fs::path& target, bool exists) : path_(target) {
  if (exists) {
    atomic_.emplace(target, AtomicOutput::Durability::kUnflushed);
    return;
  }
  fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) winpath::raiseOpenError(errno, target);
}

EntryOutput::~EntryOutput() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
}

void EntryOutput::write(std::span<const uint8_t> bytes) {
  if (atomic_) {
    atomic_->write(bytes);
    return;
  }
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      raiseFileError(errno);
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
}

void EntryOutput::commit(time_t mtime) {
  struct timespec times[2];
  times[0].tv_sec = mtime;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (atomic_) {
    atomic_->commit();
    ::utimensat(AT_FDCWD, path_.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return;
  }
  ::futimens(fd_, times);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) {
    const int errnum = errno;
    ::unlink(path_.c_str());
    raiseFileError(errnum);
  }
}

}  // namespace bq::infozip
