#include "platform/shell/processes.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace bq::shell {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Longer link targets or first words than this are not names anyone runs.
constexpr size_t kMaxText = 64 * 1024;

std::string_view lastComponent(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The target of /proc/PID/exe, empty when it cannot be read (another user's
// process, a kernel thread, a zombie, or one that has just ended).
std::string exeTarget(const std::string& procDir) {
  const std::string link = procDir + "/exe";
  std::string buf(256, '\0');
  while (true) {
    ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      break;
    }
    if (buf.size() >= kMaxText) return {};
    buf.resize(buf.size() * 2);
  }
  // The kernel marks a file that was removed (or replaced, as an update
  // does) while it runs; the process still runs under the old name.
  constexpr std::string_view kDeleted = " (deleted)";
  if (buf.size() > kDeleted.size() && buf.ends_with(kDeleted))
    buf.resize(buf.size() - kDeleted.size());
  return buf;
}

// The first NUL-terminated word of /proc/PID/cmdline (argv[0]); empty for
// kernel threads, zombies and processes that have just ended.
std::string firstCommandWord(const std::string& procDir) {
  int fd = ::open((procDir + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string word;
  char chunk[512];
  while (word.size() < kMaxText) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::string_view got(chunk, static_cast<size_t>(n));
    size_t nul = got.find('\0');
    word.append(got.substr(0, nul));
    if (nul != std::string_view::npos) break;
  }
  ::close(fd);
  return word;
}

// The parent's identifier from /proc/PID/stat ("pid (comm) state ppid ...",
// where comm may hold blanks and parentheses); 0 when it cannot be read.
int parentOf(const std::string& procDir) {
  int fd = ::open((procDir + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[1024];
  ssize_t n;
  do {
    n = ::read(fd, buf, sizeof buf);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return 0;
  std::string_view stat(buf, static_cast<size_t>(n));
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos || close + 4 >= stat.size()) return 0;
  stat.remove_prefix(close + 4);  // ") S "
  int ppid = 0;
  std::from_chars(stat.data(), stat.data() + stat.size(), ppid);
  return ppid;
}

bool parsePid(std::string_view name, int& pid) {
  if (name.empty() ||
      !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
  return ec == std::errc() && end == name.data() + name.size() && pid > 0;
}

// Windows program names the system ends by name, and the Linux programs that
// stand in for them here. Explorer has no entry on purpose: its folder windows
// belong to the desktop's file manager, which must never be ended.
struct Alias {
  std::string_view windowsName;
  std::string_view linuxName;
};
constexpr Alias kAliases[] = {
    {"EXCEL.EXE", "SOFFICE.BIN"},         {"WINWORD.EXE", "SOFFICE.BIN"},
    {"POWERPNT.EXE", "SOFFICE.BIN"},      {"IEXPLORE.EXE", "BQTESTMY"},
    {"QUESTIONPANE.EXE", "QUESTIONPANE"},
};

}  // namespace

std::vector<ProcessEntry> processSnapshot() {
  std::vector<ProcessEntry> out;
  DirHandle proc(::opendir("/proc"));
  if (!proc) return out;
  std::vector<int> pids;
  while (dirent* e = ::readdir(proc.get())) {
    int pid = 0;
    if (parsePid(e->d_name, pid)) pids.push_back(pid);
  }
  proc.reset();
  std::sort(pids.begin(), pids.end());
  for (int pid : pids) {
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string name(lastComponent(exeTarget(dir)));
    if (name.empty()) name = lastComponent(firstCommandWord(dir));
    if (name.empty()) continue;
    out.push_back(ProcessEntry{pid, std::move(name), parentOf(dir)});
  }
  return out;
}

std::vector<int> childProcesses(int parent) {
  std::vector<int> out;
  DirHandle proc(::opendir("/proc"));
  if (!proc) return out;
  while (dirent* e = ::readdir(proc.get())) {
    int pid = 0;
    if (parsePid(e->d_name, pid) && parentOf("/proc/" + std::to_string(pid)) == parent)
      out.push_back(pid);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<ProcessEntry> descendantsOf(const std::vector<ProcessEntry>& snapshot, int root) {
  std::unordered_map<int, std::vector<size_t>> children;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (snapshot[i].pid != snapshot[i].ppid) children[snapshot[i].ppid].push_back(i);
  std::vector<bool> chosen(snapshot.size(), false);
  std::vector<int> pending{root};
  while (!pending.empty()) {
    const int parent = pending.back();
    pending.pop_back();
    auto it = children.find(parent);
    if (it == children.end()) continue;
    for (size_t i : it->second) {
      if (chosen[i] || snapshot[i].pid == root) continue;  // a cycle of a damaged list
      chosen[i] = true;
      pending.push_back(snapshot[i].pid);
    }
  }
  std::vector<ProcessEntry> out;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (chosen[i]) out.push_back(snapshot[i]);
  return out;
}

std::vector<ProcessEntry> endableProcesses() {
  const char* scope = std::getenv("BQ_PROCESS_SCOPE");
  if (!scope || !*scope) return processSnapshot();
  int root = 0;
  if (!parsePid(scope, root)) return {};
  return descendantsOf(processSnapshot(), root);
}

int currentProcessId() { return static_cast<int>(::getpid()); }

std::string hostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

bool terminateProcess(int pid) {
  // kill() reads 0 and negative numbers as process groups (-1: every process
  // we may signal); none of them is one process.
  if (pid <= 0) return false;
  return ::kill(pid, SIGKILL) == 0;
}

std::vector<std::string> linuxCounterparts(std::string_view upperName) {
  std::string name(upperName);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::vector<std::string> out;
  for (const Alias& a : kAliases)
    if (a.windowsName == name) out.emplace_back(a.linuxName);
  return out;
}

std::string linuxWindowClass(std::string_view windowsClass) {
  struct WindowClass {
    std::string_view windowsClass;  // upper-cased
    std::string_view linuxClass;
  };
  static constexpr WindowClass kClasses[] = {{"XLMAIN", "libreoffice-calc"}};
  std::string name(windowsClass);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const WindowClass& w : kClasses)
    if (w.windowsClass == name) return std::string(w.linuxClass);
  return "";
}

std::filesystem::path moduleFolder(const void* address) {
  namespace fs = std::filesystem;
  Dl_info info{};
  if (::dladdr(address, &info) != 0 && info.dli_fname && *info.dli_fname) {
    std::error_code ec;
    fs::path file = fs::canonical(info.dli_fname, ec);
    if (!ec) return file.parent_path();
  }
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

}  // namespace bq::shell
