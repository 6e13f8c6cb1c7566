#include "platform/shell/worker_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>

#include "platform/shell/processes.h"

namespace bq::shell {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* call) {
  throw std::runtime_error(std::string(call) + ": " + std::strerror(errno));
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Reads what `fd` has into `buffer`; false at its end or on an error.
bool readSome(int fd, std::string& buffer) {
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
  }
}

std::optional<std::string> takeLine(std::string& buffer) {
  const size_t nl = buffer.find('\n');
  if (nl == std::string::npos) return std::nullopt;
  std::string line = buffer.substr(0, nl);
  buffer.erase(0, nl + 1);
  return line;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Forks a child that runs `body` and ends with its return value, or with 1
// when it throws. `closeInChild` lists the parent's descriptors that the
// child must not hold (other children's pipe ends).
pid_t forkChild(const std::vector<int>& closeInChild, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) fail("fork");
  if (pid > 0) return pid;
  for (int fd : closeInChild) ::close(fd);
  int status = 1;
  try {
    status = body();
  } catch (...) {
    status = 1;
  }
  std::fflush(nullptr);
  ::_exit(status);
}

// Ends what a killed worker left running (programs in process groups of
// their own): this process is their subreaper while the pool runs, so they
// are its children now.
void endOrphans(const std::vector<pid_t>& workers) {
  for (int child : childProcesses(static_cast<int>(::getpid()))) {
    const auto pid = static_cast<pid_t>(child);
    if (std::find(workers.begin(), workers.end(), pid) != workers.end()) continue;
    if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    waitFor(pid);
  }
}

struct Worker {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string buffer;
  std::optional<size_t> request;  // index of the request it holds
  Clock::time_point started;
};

class Pool {
 public:
  Pool(const WorkerPoolOptions& options, const std::function<void(WorkerChannel&)>& serve)
      : options_(options), serve_(serve) {}
  ~Pool() {
    // Workers still holding a request are left only when a callback threw.
    for (Worker& w : workers_) stop(w, w.request.has_value());
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  void run(const std::vector<std::string>& requests,
           const std::function<void(size_t, std::string)>& answered,
           const std::function<void(size_t, const WorkerLoss&)>& lost) {
    std::deque<size_t> pending;
    for (size_t i = 0; i < requests.size(); ++i) pending.push_back(i);
    size_t left = requests.size();
    const size_t count = std::min<size_t>(std::max(options_.workers, 1), requests.size());
    workers_.resize(count);
    for (Worker& w : workers_) start(w);
    while (left > 0) {
      for (Worker& w : workers_) {
        if (w.request || pending.empty()) continue;
        w.request = pending.front();
        pending.pop_front();
        w.started = Clock::now();
        std::string line = requests[*w.request];
        line += '\n';
        if (!writeAll(w.toChild, line)) {
          --left;
          finishDead(w, lost);
        }
      }
      // Only busy workers are watched: an idle one that has died would wake
      // the poll at once, again and again; its next request finds it dead.
      std::vector<pollfd> fds;
      for (Worker& w : workers_) fds.push_back({w.request ? w.fromChild : -1, POLLIN, 0});
      ::poll(fds.data(), fds.size(), 200);
      for (size_t i = 0; i < workers_.size(); ++i) {
        Worker& w = workers_[i];
        if (!w.request) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
          if (!readSome(w.fromChild, w.buffer)) {
            --left;
            finishDead(w, lost);
            continue;
          }
          if (auto line = takeLine(w.buffer)) {
            const size_t index = *w.request;
            w.request.reset();
            --left;
            answered(index, std::move(*line));
          }
        } else if (Clock::now() - w.started > options_.requestTimeout) {
          const size_t index = *w.request;
          w.request.reset();
          stop(w, true);
          start(w);
          --left;
          lost(index, WorkerLoss{WorkerLoss::Kind::kTimedOut, 0});
        }
      }
    }
  }

 private:
  void start(Worker& w) {
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0) fail("pipe");
    if (::pipe2(up, O_CLOEXEC) != 0) {
      const int saved = errno;
      ::close(down[0]);
      ::close(down[1]);
      errno = saved;
      fail("pipe");
    }
    std::vector<int> parentEnds = {down[1], up[0]};
    for (const Worker& other : workers_) {
      if (other.toChild >= 0) parentEnds.push_back(other.toChild);
      if (other.fromChild >= 0) parentEnds.push_back(other.fromChild);
    }
    pid_t pid = -1;
    try {
      pid = forkChild(parentEnds, [&] {
        WorkerChannel channel(down[0], up[1]);
        serve_(channel);
        return 0;
      });
    } catch (...) {
      for (int fd : {down[0], down[1], up[0], up[1]}) ::close(fd);
      throw;
    }
    ::close(down[0]);
    ::close(up[1]);
    w = Worker{};
    w.pid = pid;
    w.toChild = down[1];
    w.fromChild = up[0];
  }

  // Ends the worker: closing its input ends a healthy one; `kill` ends it at
  // once. Returns its wait status.
  int stop(Worker& w, bool kill) {
    if (w.pid < 0) return 0;
    if (kill) ::kill(w.pid, SIGKILL);
    ::close(w.toChild);
    ::close(w.fromChild);
    const int status = waitFor(w.pid);
    w.pid = -1;
    w.toChild = w.fromChild = -1;
    if (kill) endOrphans(workerPids());
    return status;
  }

  std::vector<pid_t> workerPids() const {
    std::vector<pid_t> pids;
    for (const Worker& w : workers_)
      if (w.pid > 0) pids.push_back(w.pid);
    return pids;
  }

  void finishDead(Worker& w, const std::function<void(size_t, const WorkerLoss&)>& lost) {
    const size_t index = *w.request;
    w.request.reset();
    const int status = stop(w, true);
    WorkerLoss why{WorkerLoss::Kind::kDied, 0};
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) why.signal = WTERMSIG(status);
    start(w);
    lost(index, why);
  }

  WorkerPoolOptions options_;
  const std::function<void(WorkerChannel&)>& serve_;
  std::vector<Worker> workers_;
};

// Ignores SIGPIPE and makes this process the subreaper of its descendants
// while it lives.
class PoolScope {
 public:
  PoolScope() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old_);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  }
  ~PoolScope() {
    endOrphans({});
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ::sigaction(SIGPIPE, &old_, nullptr);
  }
  PoolScope(const PoolScope&) = delete;
  PoolScope& operator=(const PoolScope&) = delete;

 private:
  struct sigaction old_ {};
};

}  // namespace

std::optional<std::string> WorkerChannel::nextRequest() {
  std::optional<std::string> line;
  while (!(line = takeLine(buffer_))) {
    if (!readSome(in_, buffer_)) return std::nullopt;
  }
  return line;
}

bool WorkerChannel::answer(std::string_view line) {
  std::string text(line);
  text += '\n';
  return writeAll(out_, text);
}

void runOnWorkers(const std::vector<std::string>& requests, const WorkerPoolOptions& options,
                  const std::function<void(WorkerChannel&)>& serve,
                  const std::function<void(size_t, std::string)>& answered,
                  const std::function<void(size_t, const WorkerLoss&)>& lost) {
  if (requests.empty()) return;
  PoolScope scope;
  Pool pool(options, serve);
  pool.run(requests, answered, lost);
}

void runChildProcesses(int count, const std::function<std::string()>& work,
                       const std::function<bool(const ChildEnd&)>& ended) {
  struct Child {
    int output = -1;  // read end of the pipe its result comes on
    std::string buffer;
  };
  std::map<pid_t, Child> children;
  // When `ended` throws, the children still running are ended.
  struct Guard {
    std::map<pid_t, Child>& children;
    ~Guard() {
      for (auto& [pid, child] : children) {
        ::kill(pid, SIGKILL);
        ::close(child.output);
        waitFor(pid);
      }
    }
  } guard{children};

  auto spawn = [&] {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) fail("pipe");
    std::vector<int> parentEnds = {p[0]};
    for (const auto& [pid, child] : children) parentEnds.push_back(child.output);
    pid_t pid = -1;
    try {
      pid = forkChild(parentEnds, [&] {
        const std::string result = work();
        return writeAll(p[1], result) ? 0 : 1;
      });
    } catch (...) {
      ::close(p[0]);
      ::close(p[1]);
      throw;
    }
    ::close(p[1]);
    children[pid].output = p[0];
  };
  for (int i = 0; i < std::max(count, 1); ++i) spawn();

  // A child has ended when its pipe closes: the pipe is closed on exec, so
  // the programs it starts do not hold it open.
  while (!children.empty()) {
    std::vector<pollfd> fds;
    std::vector<pid_t> pids;
    for (const auto& [pid, child] : children) {
      fds.push_back({child.output, POLLIN, 0});
      pids.push_back(pid);
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Child& child = children[pids[i]];
      if (readSome(child.output, child.buffer)) continue;
      ::close(child.output);
      const int status = waitFor(pids[i]);
      ChildEnd end;
      if (WIFSIGNALED(status)) {
        end.exitCode = -1;
        end.signal = WTERMSIG(status);
      } else {
        end.exitCode = WEXITSTATUS(status);
        if (end.exitCode == 0) end.output = std::move(child.buffer);
      }
      children.erase(pids[i]);
      if (ended(end)) spawn();
    }
  }
}

}  // namespace bq::shell
