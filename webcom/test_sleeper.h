// Test helper: real processes under the names the web component ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

extern char** environ;

namespace bq {

// A copy of sleep(1) named `exeName` in `dir`, running until it is ended or
// the object is destroyed (which ends and reaps it). With `holdOpen`, its
// standard input is that file, open for as long as it runs.
class Sleeper {
 public:
  Sleeper(const std::filesystem::path& dir, const std::string& exeName,
          const std::filesystem::path& holdOpen = {}) {
    namespace fs = std::filesystem;
    const fs::path exe = dir / exeName;
    if (!fs::exists(exe)) fs::copy_file("/bin/sleep", exe);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!holdOpen.empty())
      posix_spawn_file_actions_addopen(&actions, 0, holdOpen.c_str(), O_RDONLY, 0);
    std::string arg0 = exe.string(), seconds = "120";
    char* argv[] = {arg0.data(), seconds.data(), nullptr};
    int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + exe.string());
    // Until its exec is done the child still runs the test program, under
    // the test program's name.
    const fs::path link = "/proc/" + std::to_string(pid_) + "/exe";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      std::error_code ec;
      if (fs::read_symlink(link, ec).filename() == exeName) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    end();
    throw std::runtime_error(exeName + " did not start");
  }
  ~Sleeper() { end(); }
  Sleeper(const Sleeper&) = delete;
  Sleeper& operator=(const Sleeper&) = delete;

  // Waits up to 10 s for the process to end; true when it was killed.
  bool wasKilled() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  bool running() {
    int status = 0;
    return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
  }

 private:
  void end() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  pid_t pid_ = -1;
};

// Held by every test that ends processes by name or expects one to live on:
// such tests end one another's processes when CTest runs them side by side,
// so they take turns, across test programs, for as long as the lock lives.
class ProcessNamesLock {
 public:
  ProcessNamesLock()
      : fd_(open("/tmp/bq-process-names.lock", O_RDONLY | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock process names");
  }
  ~ProcessNamesLock() { close(fd_); }
  ProcessNamesLock(const ProcessNamesLock&) = delete;
  ProcessNamesLock& operator=(const ProcessNamesLock&) = delete;

 private:
  int fd_;
};

}  // namespace bq
