// Spawn attributes for a LibreOffice started by the Office layer: the child
// leads a process group of its own (so that it and everything it starts can
// be ended together), with no signal blocked and the usual termination
// signals at their default action, whatever the calling thread had set.
#pragma once

#include <signal.h>
#include <spawn.h>

namespace bq::office {

class GroupSpawnAttributes {
 public:
  GroupSpawnAttributes() {
    posix_spawnattr_init(&attr_);
    posix_spawnattr_setflags(&attr_,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr_, 0);
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setsigmask(&attr_, &mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
      sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
  }
  ~GroupSpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  GroupSpawnAttributes(const GroupSpawnAttributes&) = delete;
  GroupSpawnAttributes& operator=(const GroupSpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

}  // namespace bq::office
