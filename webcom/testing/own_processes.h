// Test helper: runs a test program in a process namespace of its own, so that
// the routines that end processes by name (FileUpLoad ends every LibreOffice)
// see and end only the processes the program starts, never those of other
// programs on the machine.
//
// The program's main calls runInOwnProcesses(body) (or is
// mainInOwnProcesses, for GoogleTest programs): it makes a PID and mount
// namespace (as root directly, else through a user namespace), mounts a /proc
// of its own there and runs body in the namespace's first process, returning
// its exit code (the calling process ends with it). Where no namespace can be
// made, body runs as it is and its result is returned; ownProcessesWhyNot()
// then says why, for the tests that must be skipped.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace bq::testing {

inline std::string& ownProcessesWhyNotRef() {
  static std::string why = "not started through runInOwnProcesses";
  return why;
}

// Empty when the program runs in its own namespace.
inline const std::string& ownProcessesWhyNot() { return ownProcessesWhyNotRef(); }

namespace detail {
inline bool writeFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}
}  // namespace detail

inline int runInOwnProcesses(const std::function<int()>& body) {
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS) != 0) {
      ownProcessesWhyNotRef() = std::string("no process namespace: ") + std::strerror(errno);
      return body();
    }
    detail::writeFile("/proc/self/setgroups", "deny");
    if (!detail::writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !detail::writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
      ownProcessesWhyNotRef() = "cannot map the user into a user namespace";
      return body();
    }
  }
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    ownProcessesWhyNotRef() = std::string("fork: ") + std::strerror(errno);
    return body();
  }
  if (child == 0) {
    // The first process of the new namespace: a /proc that shows it alone.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
      std::fprintf(stderr, "cannot mount a /proc of our own: %s\n", std::strerror(errno));
      std::fflush(nullptr);
      ::_exit(1);
    }
    ownProcessesWhyNotRef().clear();
    // The namespace shows only this program's processes; the scope of ending
    // processes by name (the outer process, unknown in here) becomes this one.
    ::setenv("BQ_PROCESS_SCOPE", std::to_string(::getpid()).c_str(), 1);
    const int rc = body();
    std::fflush(nullptr);
    std::exit(rc);  // exit handlers (the leak checker's among them) run here
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // This process stays outside the namespace, but every process it would
  // start now lands inside it, where nobody is left to be their first
  // process: it ends here, without exit handlers (the leak checker's would
  // start one).
  std::fflush(nullptr);
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status)
                            : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
}

// The main of a GoogleTest program whose tests run in a namespace of their
// own; listing the tests needs none.
inline int mainInOwnProcesses(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  return runInOwnProcesses([] { return RUN_ALL_TESTS(); });
}

}  // namespace bq::testing
