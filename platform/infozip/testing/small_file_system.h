// A small file system for tests of what happens when the disk is short:
// a tmpfs of a given size mounted on a folder, seen only by a child process
// (a mount namespace of its own; a user namespace too where the process may
// not mount otherwise). Test code only.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace bq::testing {

struct SmallFileSystemRun {
  bool mounted = false;  // false: no namespace or mount here; skip the test
  std::string failure;   // what the body reported ("" when it passed)
};

namespace detail {
inline bool writeText(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

inline bool enterMountNamespace() {
  if (::unshare(CLONE_NEWNS) == 0) return true;
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  // Files are made under the same identity as outside.
  writeText("/proc/self/setgroups", "deny");
  return writeText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
         writeText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
}
}  // namespace detail

// Runs `body` in a child process that sees a tmpfs of `bytes` bytes on the
// existing folder `folder`. The body's gtest expectations stay in the child:
// it reports by what it returns ("" when all went well). Bounded: the child
// is waited for, and it ends when the body returns.
inline SmallFileSystemRun runWithSmallFileSystem(const std::filesystem::path& folder,
                                                 uint64_t bytes,
                                                 const std::function<std::string()>& body) {
  constexpr int kNoMount = 77;
  int fds[2];
  SmallFileSystemRun result;
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string options = "size=" + std::to_string(bytes);
    if (!detail::enterMountNamespace() ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
      ::_exit(kNoMount);
    std::string failure;
    try {
      failure = body();
    } catch (const std::exception& e) {
      failure = std::string("the body threw: ") + e.what();
    }
    if (!failure.empty()) {
      const ssize_t written = ::write(fds[1], failure.data(), failure.size());
      (void)written;
    }
    ::_exit(failure.empty() ? 0 : 1);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return result;
  }
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
    result.failure.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.mounted = !(WIFEXITED(status) && WEXITSTATUS(status) == kNoMount);
  if (result.mounted && result.failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    result.failure = "the child ended with status " + std::to_string(status);
  return result;
}

}  // namespace bq::testing
