#include "platform/shell/openers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "common/automation_error.h"
#include "platform/shell/office_profile.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;

// The exam client, which is this desktop's web browser.
constexpr char kExamClient[] = "BqTestMy";
constexpr char kBrowseOption[] = "--browse";

// The desktop's opener: it knows which program the desktop associates with a
// file, and the desktop's file manager for folders.
constexpr char kDesktopOpener[] = "xdg-open";

// File managers that open a folder given as their last argument, for
// machines without a desktop opener, in order of preference.
constexpr std::array<const char*, 7> kFileManagers = {"pcmanfm", "thunar",  "nautilus",  "nemo",
                                                      "caja",    "dolphin", "pcmanfm-qt"};

// The names of Office documents, lower-cased.
constexpr std::array<std::string_view, 28> kOfficeExtensions = {
    ".doc", ".docx", ".docm", ".dot", ".dotx", ".dotm", ".xls",  ".xlsx", ".xlsm", ".xlsb",
    ".xlt", ".xltx", ".xltm", ".ppt", ".pptx", ".pptm", ".pps",  ".ppsx", ".pot",  ".potx",
    ".rtf", ".odt",  ".ods",  ".odp", ".odg",  ".fodt", ".fods", ".fodp"};

// How much of a file's start and end is looked at for its kind: a zip
// package names its parts in the central directory at its end, and most put
// the content-types part or the mimetype first.
constexpr size_t kSniffBytes = 64 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool runnableFile(const fs::path& file) {
  struct stat st;
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// A program word that resolves, or nothing.
std::optional<fs::path> installed(const std::string& word) {
  try {
    return resolveProgram(word);
  } catch (const AutomationError&) {
    return std::nullopt;
  }
}

ProgramCommand withTarget(fs::path program, std::vector<std::string> args,
                          const std::string& target) {
  if (!target.empty()) args.push_back(target);
  return ProgramCommand{std::move(program), std::move(args)};
}

// The command of a variable such as $BQ_OPEN, resolved; nothing when unset.
std::optional<ProgramCommand> fromVariable(const char* variable, const std::string& target) {
  std::vector<std::string> words = commandFromVariable(variable);
  if (words.empty()) return std::nullopt;
  fs::path program;
  try {
    program = resolveProgram(words[0]);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), "", e.description() + " ($" + variable + ")");
  }
  return withTarget(std::move(program), std::move(words), target);
}

std::optional<ProgramCommand> firstInstalled(std::initializer_list<const char*> names,
                                             const std::string& target) {
  for (const char* name : names)
    if (std::optional<fs::path> program = installed(name))
      return withTarget(std::move(*program), {name}, target);
  return std::nullopt;
}

// The exam client in browser mode: the program file beside the running
// program (the client itself, or a tool installed with it), else in $PATH.
std::optional<ProgramCommand> examClientBrowser(const std::string& target) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  std::optional<fs::path> program;
  if (!ec && runnableFile(self.parent_path() / kExamClient)) {
    program = self.parent_path() / kExamClient;
  } else {
    program = installed(kExamClient);
  }
  if (!program) return std::nullopt;
  return withTarget(*program, {program->string(), kBrowseOption}, target);
}

// A desktop session runs: its xdg-open knows the desktop's file manager and
// associations. Outside one (a bare X server, a window manager alone) xdg-open
// only guesses: a folder may go to a web browser that refuses to start, or to
// nothing at all, without a word.
bool desktopSession() {
  for (const char* variable : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
    if (const char* v = std::getenv(variable); v && *v) return true;
  return false;
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The first and last kSniffBytes of the file (all of it when shorter).
std::optional<std::string> fileEnds(const fs::path& native) {
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const auto readAt = [&](off_t offset, size_t count) {
      std::string part(count, '\0');
      ssize_t n = ::pread(fd, part.data(), count, offset);
      part.resize(n > 0 ? static_cast<size_t>(n) : 0);
      return part;
    };
    const size_t size = static_cast<size_t>(st.st_size);
    bytes = readAt(0, std::min(size, kSniffBytes));
    if (size > kSniffBytes) {
      const size_t tail = std::min(size - kSniffBytes, kSniffBytes);
      bytes += readAt(static_cast<off_t>(size - tail), tail);
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

void raiseStartError(int32_t number, const std::string& what) {
  throw AutomationError(number, "", runtimeErrorText(number) + ": " + what);
}

std::vector<std::string> commandFromVariable(const char* variable) {
  std::vector<std::string> words;
  const char* value = std::getenv(variable);
  if (!value) return words;
  std::string_view v = value;
  size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && isBlank(v[i])) ++i;
    size_t start = i;
    while (i < v.size() && !isBlank(v[i])) ++i;
    if (i > start) words.emplace_back(v.substr(start, i - start));
  }
  return words;
}

fs::path searchPath(const std::string& name) {
  if (name.empty()) raiseStartError(err::kFileNotFound, "(no program named)");
  const char* env = std::getenv("PATH");
  std::string_view dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
  bool sawFile = false;
  size_t from = 0;
  while (from <= dirs.size()) {
    size_t to = dirs.find(':', from);
    if (to == std::string_view::npos) to = dirs.size();
    std::string_view dir = dirs.substr(from, to - from);
    from = to + 1;
    fs::path candidate = fs::path(dir.empty() ? "." : std::string(dir)) / name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    sawFile = true;
  }
  raiseStartError(sawFile ? err::kPermissionDenied : err::kFileNotFound, name);
}

fs::path resolveProgram(const std::string& word) {
  if (word.find('/') == std::string::npos) return searchPath(word);
  struct stat st;
  if (::stat(word.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) raiseStartError(err::kFileNotFound, word);
    raiseStartError(fileErrorNumber(errno), word);
  }
  if (!S_ISREG(st.st_mode) || ::access(word.c_str(), X_OK) != 0)
    raiseStartError(err::kPermissionDenied, word);
  return word;
}

fs::path libreOfficeProgram() {
  if (const char* configured = std::getenv("BQ_SOFFICE"); configured && *configured)
    return fs::path(configured);
  if (std::optional<fs::path> inPath = installed("soffice")) return *inPath;
  const fs::path debian = "/usr/lib/libreoffice/program/soffice";
  return runnableFile(debian) ? debian : fs::path();
}

bool isOfficeDocument(const fs::path& native) {
  const std::string ext = lowerAscii(native.extension().string());
  for (std::string_view office : kOfficeExtensions)
    if (ext == office) return true;
  const std::optional<std::string> bytes = fileEnds(native);
  if (!bytes) return false;
  const std::string_view b = *bytes;
  if (b.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") || b.starts_with("{\\rtf")) return true;
  if (!b.starts_with("PK\x03\x04")) return false;
  return contains(b, "[Content_Types].xml") ||
         (contains(b, "mimetype") && contains(b, "application/vnd.oasis.opendocument"));
}

ProgramCommand openerFor(OpenKind kind, const std::string& target) {
  const std::string shown = target.empty() ? std::string("(nothing)") : target;
  switch (kind) {
    case OpenKind::kDocument: {
      if (auto command = fromVariable("BQ_OPEN", target)) return std::move(*command);
      // Office documents go to LibreOffice on the exam's own profile, in a
      // desktop session too: the desktop's opener would start it on the
      // user's profile, whose first Save can put the answer elsewhere.
      const bool office = isOfficeDocument(target);
      const fs::path soffice = office ? libreOfficeProgram() : fs::path();
      if (!soffice.empty()) {
        try {
          const fs::path profile = prepareExamOfficeProfile(soffice);
          return withTarget(
              soffice, {soffice.string(), "-env:UserInstallation=" + fileUrl(profile)}, target);
        } catch (const AutomationError&) {
          // No profile can be written: the document still opens.
          return withTarget(soffice, {soffice.string()}, target);
        }
      }
      if (desktopSession())
        if (auto command = firstInstalled({kDesktopOpener}, target)) return std::move(*command);
      if (office)
        raiseStartError(err::kFileNotFound, "LibreOffice (soffice), which opens " + shown +
                                                ", is not installed (Debian: libreoffice-writer, "
                                                "libreoffice-calc, libreoffice-impress)");
      // Outside a desktop session xdg-open guesses by the file's type alone.
      if (auto command = firstInstalled({kDesktopOpener}, target)) return std::move(*command);
      raiseStartError(err::kFileNotFound, "no program is installed to open " + shown +
                                              " (install xdg-utils on a desktop, or set BQ_OPEN)");
    }
    case OpenKind::kFolder: {
      if (auto command = fromVariable("BQ_OPEN", target)) return std::move(*command);
      if (desktopSession())
        if (auto command = firstInstalled({kDesktopOpener}, target)) return std::move(*command);
      for (const char* manager : kFileManagers)
        if (auto command = firstInstalled({manager}, target)) return std::move(*command);
      raiseStartError(err::kFileNotFound, "no file manager is installed to open the folder " +
                                              shown +
                                              " (install one, such as Debian's pcmanfm, or "
                                              "xdg-utils on a desktop; or set BQ_OPEN)");
    }
    case OpenKind::kWebPage: {
      if (auto command = fromVariable("BQ_BROWSER", target)) return std::move(*command);
      if (auto command = examClientBrowser(target)) return std::move(*command);
      raiseStartError(err::kFileNotFound, std::string("the exam client ") + kExamClient +
                                              ", which shows " + shown +
                                              ", is neither beside this program nor in PATH "
                                              "(or set BQ_BROWSER)");
    }
  }
  raiseError(err::kInvalidCall);
}

}  // namespace bq::shell
