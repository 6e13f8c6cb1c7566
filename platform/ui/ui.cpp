#include "platform/ui/ui.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "common/automation_error.h"
#include "platform/ui/progress_canvas.h"
#include "common/winpath.h"

namespace bq::ui {
namespace {

// Shows nothing and waits for nothing, so that the libraries run unattended
// (scripts, services, tests) exactly as they would with a user who always
// takes the default.
class ConsoleBackend final : public Backend {
 public:
  int messageBox(const MessageBoxRequest& request) override {
    const std::vector<int> buttons = messageBoxButtons(request.buttons);
    const int answer = defaultAnswer(request.buttons);
    std::string out = heading(request.title, request.prompt) + "\n ";
    for (int b : buttons) out += std::string(" [") + answerName(b) + "]";
    out += std::string(" -> ") + answerName(answer) + "\n";
    write(out);
    return answer;
  }

  std::string inputBox(const InputBoxRequest& request) override {
    write(heading(request.title, request.prompt) + "\n  -> \"" + request.defaultText + "\"\n");
    return request.defaultText;
  }

  void runModal(const PictureWindow& window) override {
    raiseNoDisplay(windowDescription(window.title), "this thread uses the console user interface");
  }

 private:
  static std::string heading(const std::string& title, const std::string& prompt) {
    std::string out = (title.empty() ? programName() : title) + ": ";
    // The original's prompts break lines with CR LF; a terminal wants LF.
    for (size_t i = 0; i < prompt.size(); ++i) {
      if (prompt[i] != '\r') {
        out += prompt[i];
      } else if (i + 1 >= prompt.size() || prompt[i + 1] != '\n') {
        out += '\n';
      }
    }
    return out;
  }

  // One write per box, so that boxes of different threads do not interleave.
  static void write(const std::string& text) {
    clearConsoleStatusLine(stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

// Stateless, so one instance serves every thread.
ConsoleBackend& console() {
  static ConsoleBackend instance;
  return instance;
}

thread_local std::shared_ptr<Backend> tBackend;

// The back end for one call, kept alive until the call returns.
std::shared_ptr<Backend> currentBackend() {
  if (tBackend) return tBackend;
  return std::shared_ptr<Backend>(std::shared_ptr<Backend>(), &console());  // not owning
}

}  // namespace

Backend& backend() { return tBackend ? *tBackend : console(); }

void setBackend(std::shared_ptr<Backend> b) { tBackend = std::move(b); }

bool backendIsSet() { return tBackend != nullptr; }

ScopedBackend::ScopedBackend(std::shared_ptr<Backend> b) : previous_(std::move(b)) {
  std::swap(previous_, tBackend);
}

ScopedBackend::~ScopedBackend() { tBackend = std::move(previous_); }

int MsgBox(const std::string& prompt, int buttons, const std::string& title) {
  return currentBackend()->messageBox({prompt, buttons, title});
}

std::string InputBox(const std::string& prompt, const std::string& title,
                     const std::string& defaultText) {
  return currentBackend()->inputBox({prompt, title, defaultText});
}

void runModal(const PictureWindow& window) { currentBackend()->runModal(window); }

void runModal(const TextWindow& window) { currentBackend()->runModalText(window); }

ScreenMetrics screenMetrics() { return currentBackend()->screenMetrics(); }

ScreenMetrics Backend::screenMetrics() {
  raiseNoDisplay("the screen", "this user interface has no windows");
}

void Backend::runModalText(const TextWindow& window) {
  raiseNoDisplay(windowDescription(window.title), "this user interface has no windows");
}

void DoEvents() { currentBackend()->doEvents(); }

std::optional<std::string> Backend::fileDialog(const FileDialogRequest& request) {
  std::string out = (request.title.empty() ? programName() : request.title) + ": " +
                    (request.save ? "save" : "open") + " \"" + request.fileName + "\"";
  std::optional<std::string> answer;
  if (!request.fileName.empty()) {
    std::error_code ec;
    std::filesystem::path chosen = std::filesystem::absolute(winpath::toNative(request.fileName), ec);
    if (!ec) answer = chosen.lexically_normal().string();
  }
  out += answer ? " -> \"" + *answer + "\"\n" : " -> Cancel\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
  return answer;
}

std::vector<int> messageBoxButtons(int buttons) {
  if (buttons < 0) raiseError(err::kInvalidCall);
  switch (buttons & 0xF) {
    case vbOKOnly:
      return {vbOK};
    case vbOKCancel:
      return {vbOK, vbCancel};
    case vbAbortRetryIgnore:
      return {vbAbort, vbRetry, vbIgnore};
    case vbYesNoCancel:
      return {vbYes, vbNo, vbCancel};
    case vbYesNo:
      return {vbYes, vbNo};
    case vbRetryCancel:
      return {vbRetry, vbCancel};
    default:
      raiseError(err::kInvalidCall);
  }
}

int defaultAnswer(int buttons) {
  const std::vector<int> set = messageBoxButtons(buttons);
  const size_t index = static_cast<size_t>((buttons >> 8) & 0x3);  // default button 1..4
  return index < set.size() ? set[index] : set.front();
}

const char* answerName(int answer) {
  switch (answer) {
    case vbOK:
      return "OK";
    case vbCancel:
      return "Cancel";
    case vbAbort:
      return "Abort";
    case vbRetry:
      return "Retry";
    case vbIgnore:
      return "Ignore";
    case vbYes:
      return "Yes";
    case vbNo:
      return "No";
    default:
      return "";
  }
}

std::string programName() { return program_invocation_short_name; }

void raiseNoDisplay(const std::string& what, const std::string& detail) {
  std::string description =
      runtimeErrorText(err::kCantCreateObject) + ": no display: " + what + " cannot be shown";
  if (!detail.empty()) description += " (" + detail + ")";
  throw AutomationError(err::kCantCreateObject, "", std::move(description));
}

std::string windowDescription(const std::string& title) {
  return title.empty() ? "the window" : "the window \"" + title + "\"";
}

}  // namespace bq::ui
