#include "tools/bqmark/worker_pool.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>

#include "platform/office/resident_converter.h"

namespace bq::mark {
namespace {

using Clock = std::chrono::steady_clock;

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

// Ends what a killed worker left running (LibreOffice and its helper run in
// process groups of their own): this process is their subreaper while the
// pool runs, so they are its children now.
void endOrphans(const std::vector<pid_t>& workers) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  std::vector<std::pair<pid_t, pid_t>> orphans;  // pid, process group
  const pid_t me = ::getpid();
  while (dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    FILE* f = std::fopen(("/proc/" + std::string(e->d_name) + "/stat").c_str(), "r");
    if (!f) continue;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    // pid (comm) state ppid pgrp ...: the command may hold blanks and ")".
    const char* close = std::strrchr(line, ')');
    int ppid = 0, pgrp = 0;
    if (n == 0 || !close || std::sscanf(close + 1, " %*c %d %d", &ppid, &pgrp) != 2) continue;
    if (ppid != me) continue;
    if (std::find(workers.begin(), workers.end(), static_cast<pid_t>(pid)) != workers.end())
      continue;
    orphans.emplace_back(static_cast<pid_t>(pid), static_cast<pid_t>(pgrp));
  }
  ::closedir(proc);
  for (const auto& [pid, group] : orphans) {
    if (group == pid) ::kill(-group, SIGKILL);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

struct Worker {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string buffer;
  std::optional<size_t> job;  // index of the job it marks
  Clock::time_point started;
};

class Pool {
 public:
  Pool(const PoolOptions& options) : options_(options) {}
  ~Pool() {
    for (Worker& w : workers_) stop(w, false);
  }

  void run(const std::vector<Job>& jobs, const std::function<void(Result)>& done) {
    std::deque<size_t> pending;
    for (size_t i = 0; i < jobs.size(); ++i) pending.push_back(i);
    size_t left = jobs.size();
    const size_t count = std::min<size_t>(std::max(options_.workers, 1), jobs.size());
    workers_.resize(count);
    for (Worker& w : workers_) start(w);
    while (left > 0) {
      for (Worker& w : workers_) {
        if (w.job || pending.empty()) continue;
        w.job = pending.front();
        pending.pop_front();
        w.started = Clock::now();
        if (!writeAll(w.toChild, jsonLine(jobToJson(jobs[*w.job])))) {
          finishDead(w, jobs, done);
          --left;
        }
      }
      std::vector<pollfd> fds;
      for (Worker& w : workers_) fds.push_back({w.fromChild, POLLIN, 0});
      ::poll(fds.data(), fds.size(), 200);
      for (size_t i = 0; i < workers_.size(); ++i) {
        Worker& w = workers_[i];
        if (!w.job) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
          if (!readSome(w.fromChild, w.buffer)) {
            finishDead(w, jobs, done);
            --left;
            continue;
          }
          if (auto line = takeLine(w.buffer)) {
            Result r{jobs[*w.job], {}};
            try {
              r.mark = markFromJson(nlohmann::json::parse(*line));
            } catch (const std::exception& e) {
              r.mark.missing = r.job.expected;
              r.mark.note = std::string(kNoteWorkerDied) + "：" + e.what();
            }
            w.job.reset();
            --left;
            done(std::move(r));
          }
        } else if (Clock::now() - w.started > options_.jobTimeout) {
          Result r{jobs[*w.job], {}};
          r.mark.missing = r.job.expected;
          r.mark.note = std::string(kNoteTimedOut);
          w.job.reset();
          stop(w, true);
          start(w);
          --left;
          done(std::move(r));
        }
      }
    }
  }

 private:
  void start(Worker& w) {
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0)
      throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
      for (Worker& other : workers_) {
        if (other.toChild >= 0) ::close(other.toChild);
        if (other.fromChild >= 0) ::close(other.fromChild);
      }
      ::close(down[1]);
      ::close(up[0]);
      int status = 0;
      try {
        serveJobs(down[0], up[1], options_.residentOffice);
      } catch (...) {
        status = 1;
      }
      std::fflush(nullptr);
      ::_exit(status);
    }
    ::close(down[0]);
    ::close(up[1]);
    w = Worker{};
    w.pid = pid;
    w.toChild = down[1];
    w.fromChild = up[0];
  }

  // Ends the worker: closing its input ends a healthy one; `kill` ends it at once.
  void stop(Worker& w, bool kill) {
    if (w.pid < 0) return;
    if (kill) ::kill(w.pid, SIGKILL);
    ::close(w.toChild);
    ::close(w.fromChild);
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
    w.toChild = w.fromChild = -1;
    if (kill) endOrphans(workerPids());
  }

  std::vector<pid_t> workerPids() const {
    std::vector<pid_t> pids;
    for (const Worker& w : workers_)
      if (w.pid > 0) pids.push_back(w.pid);
    return pids;
  }

  void finishDead(Worker& w, const std::vector<Job>& jobs,
                  const std::function<void(Result)>& done) {
    Result r{jobs[*w.job], {}};
    w.job.reset();
    ::kill(w.pid, SIGKILL);
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(w.toChild);
    ::close(w.fromChild);
    w.pid = -1;
    endOrphans(workerPids());
    r.mark.missing = r.job.expected;
    r.mark.note = std::string(kNoteWorkerDied);
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
      r.mark.note += "（信号 " + std::to_string(WTERMSIG(status)) + "）";
    start(w);
    done(std::move(r));
  }

  PoolOptions options_;
  std::vector<Worker> workers_;
};

}  // namespace

void markOnPool(const std::vector<Job>& jobs, const PoolOptions& options,
                const std::function<void(Result)>& done) {
  if (jobs.empty()) return;
  // A worker that dies must not end the parent with SIGPIPE.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old {};
  ::sigaction(SIGPIPE, &ignore, &old);
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  {
    Pool pool(options);
    pool.run(jobs, done);
  }
  endOrphans({});
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  ::sigaction(SIGPIPE, &old, nullptr);
}

void serveJobs(int in, int out, bool residentOffice) {
  std::optional<office::ResidentConversionScope> resident;
  if (residentOffice) resident.emplace();
  Marker marker;
  std::string buffer;
  for (;;) {
    std::optional<std::string> line;
    while (!(line = takeLine(buffer))) {
      if (!readSome(in, buffer)) return;
    }
    const Job job = jobFromJson(nlohmann::json::parse(*line));
    const Mark mark = markJob(marker, job);
    if (!writeAll(out, jsonLine(markToJson(mark)))) return;
  }
}

}  // namespace bq::mark
