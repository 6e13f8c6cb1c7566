#include "platform/shell/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/shell/openers.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string upperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool hasDrive(std::string_view s) { return s.size() >= 2 && s[1] == ':' && isAsciiLetter(s[0]); }

// "X:\..." or "X:/...": the arguments that are mapped to native paths.
bool isDrivePath(std::string_view s) {
  return hasDrive(s) && s.size() >= 3 && (s[2] == '\\' || s[2] == '/');
}

// A program word is a path (mapped) rather than a name (searched in PATH).
bool looksLikePath(std::string_view s) {
  return hasDrive(s) || s.find_first_of("\\/") != std::string_view::npos;
}

// The last component of a Windows or POSIX path.
std::string_view fileName(std::string_view s) {
  size_t sep = s.find_last_of("\\/");
  return sep == std::string_view::npos ? s : s.substr(sep + 1);
}

// A file name the original would only ever have run, never opened as a
// document: no extension, or a Windows program's.
bool isProgramName(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return true;
  std::string ext = upperAscii(name.substr(dot));
  return ext == ".EXE" || ext == ".COM" || ext == ".BAT" || ext == ".CMD";
}

// "scheme:..." with a scheme of two or more characters (so "C:\x" is none).
bool isUrl(std::string_view s) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2 || !isAsciiLetter(s[0])) return false;
  for (char c : s.substr(0, colon))
    if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
      return false;
  return true;
}

std::string joinWords(const std::vector<std::string>& words, size_t from) {
  std::string out;
  for (size_t i = from; i < words.size(); ++i) {
    if (i > from) out += ' ';
    out += words[i];
  }
  return out;
}

[[noreturn]] void reportAndExit(int errFd, int errnum) {
  ssize_t ignored = ::write(errFd, &errnum, sizeof errnum);
  (void)ignored;
  ::_exit(127);
}

// Runs in the child of fork(): only async-signal-safe calls from here on, as
// the caller may have other threads. Leaves a grandchild in a session of its
// own that runs the program; the child itself exits at once, so the caller's
// wait for it is short and the grandchild, orphaned, is reaped by init (or
// the nearest subreaper), never by us.
[[noreturn]] void detachAndExec(const char* path, char* const argv[], char* const envp[],
                                int errFd) noexcept {
  if (errFd < 3) {
    // The caller had its standard streams closed; keep the pipe clear of them.
    int moved = ::fcntl(errFd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) ::_exit(127);
    errFd = moved;
  }
  if (::setsid() < 0) reportAndExit(errFd, errno);
  pid_t pid = ::fork();
  if (pid < 0) reportAndExit(errFd, errno);
  if (pid > 0) ::_exit(0);

  // A program starts with the signals it would get from a fresh session: the
  // caller's blocked or ignored signals (SIGPIPE, typically) are not its own.
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);

  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
  // The program inherits none of the caller's descriptors (CreateProcess as
  // the shell calls it inherits no handles); the error pipe is CLOEXEC too.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  ::execve(path, argv, envp);
  reportAndExit(errFd, errno);
}

// Starts `program` with `args` (args[0] is argv[0]) detached, and returns once
// it runs. Throws the run-time error for the errno of a failed exec.
void startDetached(const fs::path& program, const std::vector<std::string>& args) {
  // Everything the child needs is prepared before fork().
  const std::string path = program.string();
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  char* const* envp = environ;

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) raiseFileError(errno);
  pid_t child = ::fork();
  if (child < 0) {
    int errnum = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    raiseFileError(errnum);
  }
  if (child == 0) {
    ::close(fds[0]);
    detachAndExec(path.c_str(), argv.data(), envp, fds[1]);
  }
  ::close(fds[1]);
  // End of file: the program was executed (CLOEXEC closed the pipe) and the
  // intermediate child has exited. An errno: it could not be started.
  int childErrno = 0;
  size_t got = 0;
  while (got < sizeof childErrno) {
    ssize_t n = ::read(fds[0], reinterpret_cast<char*>(&childErrno) + got, sizeof childErrno - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fds[0]);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (got == sizeof childErrno)
    raiseStartError(childErrno == ENOENT ? err::kFileNotFound : fileErrorNumber(childErrno), path);
}

// Opens the existing native path with the program the opener table gives.
void openNative(const fs::path& native) {
  std::error_code ec;
  const OpenKind kind = fs::is_directory(native, ec) ? OpenKind::kFolder : OpenKind::kDocument;
  ProgramCommand command = openerFor(kind, native.string());
  startDetached(command.program, command.args);
}

// "IEXPLORE.EXE X": X in the exam browser.
void openInBrowser(const std::string& target) {
  bool localPath = !target.empty() && !isUrl(target) &&
                   (hasDrive(target) || target[0] == '/' || target[0] == '\\');
  ProgramCommand command =
      openerFor(OpenKind::kWebPage, localPath ? winpath::toNative(target).string() : target);
  startDetached(command.program, command.args);
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = line.size();
  auto skipBlanks = [&] {
    while (i < n && isBlank(line[i])) ++i;
  };
  skipBlanks();
  if (i == n) return words;

  // The program word: quotes group, backslashes are plain characters.
  std::string word;
  bool quoted = false;
  for (; i < n; ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && isBlank(line[i])) {
      break;
    } else {
      word += line[i];
    }
  }
  words.push_back(std::move(word));

  // The arguments: backslashes are plain unless a quote follows them.
  while (true) {
    skipBlanks();
    if (i == n) break;
    word.clear();
    quoted = false;
    while (i < n) {
      char c = line[i];
      if (c == '\\') {
        size_t run = 0;
        for (; i < n && line[i] == '\\'; ++i) ++run;
        if (i < n && line[i] == '"') {
          word.append(run / 2, '\\');
          if (run % 2 == 1) {
            word += '"';
            ++i;
          }
        } else {
          word.append(run, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          word += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else if (!quoted && isBlank(c)) {
        break;
      } else {
        word += c;
        ++i;
      }
    }
    words.push_back(word);
  }
  return words;
}

void run(const std::string& command) {
  std::vector<std::string> words = splitCommandLine(command);
  if (words.empty()) raiseError(err::kInvalidCall);
  const std::string& program = words[0];
  const std::string name = upperAscii(fileName(program));

  if (name == "EXPLORER.EXE" || name == "EXPLORER") {
    std::string folder = joinWords(words, 1);
    // Without a folder Explorer shows the computer's drives.
    shell::open(folder.empty() ? winpath::drivesRoot().string() : folder);
    return;
  }
  if (name == "IEXPLORE.EXE" || name == "IEXPLORE") {
    openInBrowser(joinWords(words, 1));
    return;
  }

  fs::path native;
  if (looksLikePath(program)) {
    native = winpath::toNative(program);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0)
      raiseStartError(
          errno == ENOENT || errno == ENOTDIR ? err::kFileNotFound : fileErrorNumber(errno),
          program);
    bool runnable = S_ISREG(st.st_mode) && ::access(native.c_str(), X_OK) == 0;
    if (!runnable) {
      // A folder or a document opens as the shell's OPEN verb opens it; the
      // further words mean nothing to it and are left out.
      if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !isProgramName(fileName(program)))) {
        openNative(native);
        return;
      }
      raiseStartError(err::kPermissionDenied, program);
    }
  } else {
    native = searchPath(program);
  }

  std::vector<std::string> args;
  args.reserve(words.size());
  args.push_back(looksLikePath(program) ? native.string() : program);
  for (size_t i = 1; i < words.size(); ++i)
    args.push_back(isDrivePath(words[i]) ? winpath::toNative(words[i]).string() : words[i]);
  startDetached(native, args);
}

void open(const std::string& path) {
  if (path.empty()) raiseError(err::kInvalidCall);
  fs::path native = winpath::toNative(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) winpath::raiseOpenError(errno, native);
  openNative(native);
}

}  // namespace bq::shell
