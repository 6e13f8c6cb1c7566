#include "client/core/dispatcher.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

#include "client/core/objective_pages.h"
#include "client/core/operation_pages.h"
#include "client/core/preparation.h"
#include "client/core/typing_page.h"
#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "webcom/bqcom.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

// The page table, in the order the before-navigate step tests the names.
constexpr DispatchPage kPages[] = {
    {"judgement.asp", "02", OpenKind::kNone, "", "", ""},
    {"selection.asp", "01", OpenKind::kNone, "", "", ""},
    {"typewrite.asp", "04", OpenKind::kNone, "", "", ""},
    {"operation.asp", "05", OpenKind::kFixed, "Explorer.exe c:\\BqOperation", "", "op"},
    {"wordtest.asp", "06", OpenKind::kDocument, "c:\\bqtest\\wd", ".doc", "wd"},
    {"wordtable.asp", "07", OpenKind::kDocument, "c:\\bqtest\\wt", ".doc", "wt"},
    {"excel.asp", "08", OpenKind::kDocument, "c:\\bqtest\\Ex", ".xls", "ex"},
    {"powerpoint.asp", "11", OpenKind::kDocument, "c:\\bqtest\\ppt", ".ppt", "ppt"},
    {"e_mail.asp", "10", OpenKind::kProgramPage, "IEXPLORE.EXE ", "\\Login.asp", "eml"},
};

// The title viewer as the open button runs it, from the work folder.
constexpr std::string_view kViewerCommand = "c:\\bqtest\\QuestionPane.exe";

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Adds one second to a clock's counter; it stops at the largest value
// rather than wrapping (after 68 years).
void countTick(int32_t& ticks) {
  if (ticks < std::numeric_limits<int32_t>::max()) ++ticks;
}

// Runs `step`, ignoring its failure: the handlers of the status-text and
// command-state changes and the window's own steps go on (or stop) as if
// the step had done nothing.
template <typename Step>
bool ignoringFailure(Step&& step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string_view timerName(Timer timer) {
  switch (timer) {
    case Timer::kBusy: return "timTimer";
    case Timer::kExam: return "TimeK";
    case Timer::kTyping: return "timeHz";
  }
  return "";
}

int timerInterval(Timer timer) { return timer == Timer::kBusy ? 5 : 1000; }

std::span<const DispatchPage> dispatchPages() { return kPages; }

std::optional<OpenCommand> openCommandFor(std::string_view locationName, const AppValues& app) {
  for (const DispatchPage& page : kPages) {
    if (page.openKind == OpenKind::kNone || page.pageName != locationName) continue;
    OpenCommand open;
    switch (page.openKind) {
      case OpenKind::kFixed: open.command = std::string(page.command); break;
      case OpenKind::kDocument:
        open.command = std::string(page.command) + app.CardNumber + std::string(page.extension);
        break;
      case OpenKind::kProgramPage:
        open.command = std::string(page.command) + app.AppFolder + std::string(page.extension);
        break;
      case OpenKind::kNone: break;
    }
    open.titleFile = std::string(page.titlePrefix) + app.CardNumber + ".tg";
    return open;
  }
  return std::nullopt;
}

std::string startingAddress(std::string_view appFolder) {
  std::string folder(appFolder);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  return "File://" + folder + "/BqLogin.asp";
}

// --- The window ---------------------------------------------------------------

void Dispatcher::onLoad() {
  // Each step goes on after a failure of its own.
  startingAddress_ = startingAddress(app_.AppFolder);
  if (startingAddress_.empty()) return;
  ignoringFailure([&] { host_.setAddressText(startingAddress_); });
  ignoringFailure([&] { host_.addAddress(startingAddress_); });
  ignoringFailure([&] { host_.addressHistoryChanged(); });
  ignoringFailure([&] { host_.setTimer(Timer::kBusy, true); });
  ignoringFailure([&] { host_.navigate(startingAddress_); });
}

void Dispatcher::onToolbarButton(std::string_view key) {
  ignoringFailure([&] { host_.setTimer(Timer::kBusy, true); });
  ignoringFailure([&] {
    if (key == "Back") {
      host_.browserCommand(BrowserCommand::kBack);
    } else if (key == "Forward") {
      host_.browserCommand(BrowserCommand::kForward);
    } else if (key == "Refresh") {
      host_.browserCommand(BrowserCommand::kRefresh);
    } else if (key == "Home") {
      host_.browserCommand(BrowserCommand::kHome);
    } else if (key == "Search") {
      host_.browserCommand(BrowserCommand::kSearch);
    } else if (key == "Stop") {
      host_.setTimer(Timer::kBusy, false);
      host_.browserCommand(BrowserCommand::kStop);
      host_.setTitle(std::string(kTitleText));
    }
  });
}

void Dispatcher::onAddressClick() {
  if (suppressComboNavigate_) return;
  ignoringFailure([&] {
    host_.setTimer(Timer::kBusy, true);
    host_.navigate(host_.addressText());
  });
}

bool Dispatcher::onAddressKeyPress(int keyCode) {
  if (keyCode != 13) return false;
  onAddressClick();
  return true;
}

void Dispatcher::onBusyTick() {
  ignoringFailure([&] {
    if (host_.busy()) {
      host_.setTitle(std::string(kBusyTitleText));
    } else {
      host_.setTimer(Timer::kBusy, false);
      host_.setTitle(std::string(kTitleText));
    }
  });
}

void Dispatcher::onExamTick() { countTick(app_.ExamTicks); }

void Dispatcher::onTypingTick() { countTick(app_.TypingTicks); }

void Dispatcher::onClose() {
  for (const std::string& path : killPageFiles(app_)) host_.fileDeleted(path);
}

void Dispatcher::onMenuExit() {
  onClose();
  endProgram();
}

void Dispatcher::endProgram() {
  ended_ = true;
  host_.quit();
}

// --- The browser's events ---------------------------------------------------

void Dispatcher::onBeforeNavigate(const std::string& url) {
  for (const DispatchPage& page : kPages) {
    if (contains(url, page.pageName)) buildPage(page);
  }
}

void Dispatcher::buildPage(const DispatchPage& page) {
  bool written = false;
  try {
    if (page.code == "01") {
      written = BuildChoicePage(app_);
    } else if (page.code == "02") {
      written = BuildTrueFalsePage(app_);
    } else if (page.code == "04") {
      written = BuildTypingPage(app_);
    } else if (const OperationTopic* topic = findOperationTopic(page.code)) {
      written = BuildOperationPage(app_, topic->heading, page.code);
    }
  } catch (const AutomationError& e) {
    // No new file is written (an old one stays); the examinee learns why.
    showFailure("无法生成页面 " + std::string(page.pageName) + "。", e);
  }
  if (written) host_.fileWritten(app_.AppFolder + "\\" + std::string(page.pageName));
}

void Dispatcher::onNavigateComplete() {
  std::string url;
  ignoringFailure([&] { url = host_.locationURL(); });
  host_.setTitle(std::string(kTitleText));
  if (contains(url, "StdKnow.asp")) {
    prepare();
    if (ended_) return;
  }
  recomputeTimes();
  switchClocks(url);
  updateAddressHistory(url);
}

void Dispatcher::prepare() {
  if (prepareExam(app_) == Preparation::kEndProgram) {
    endProgram();
    return;
  }
  // Report what the work folder now holds, in listing order.
  try {
    const fs::path native = winpath::toNative(app_.WorkFolder);
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(native, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), winpath::listsBefore);
    for (const std::string& name : names) host_.fileWritten(app_.WorkFolder + "\\" + name);
  } catch (const AutomationError&) {
    // A work folder that cannot be mapped holds nothing to report.
  }
}

void Dispatcher::recomputeTimes() {
  app_.ExamSecondsLeft = kExamAllowance - app_.ExamTicks;
  app_.TypingSecondsLeft = kTypingAllowance - app_.TypingTicks;
  openArmed_ = true;
  if (app_.TypingSecondsLeft <= 0) app_.TypingSecondsLeft = 0;
}

void Dispatcher::switchClocks(const std::string& url) {
  // Every test runs, in this order; a later one may undo an earlier one.
  if (contains(url, "Begin.asp")) {
    host_.setTimer(Timer::kExam, false);
    host_.setTimer(Timer::kTyping, false);
  }
  if (contains(url, "selection.asp")) {
    host_.setTimer(Timer::kExam, true);
    host_.setTimer(Timer::kTyping, false);
  }
  if (contains(url, "judgement.asp")) host_.setTimer(Timer::kTyping, false);
  if (contains(url, "typewrite.asp")) host_.setTimer(Timer::kTyping, true);
  for (std::string_view page : {"operation.asp", "wordtest.asp", "wordtable.asp", "excel.asp",
                                "powerpoint.asp", "e_mail.asp"}) {
    if (contains(url, page)) host_.setTimer(Timer::kTyping, false);
  }
}

void Dispatcher::updateAddressHistory(const std::string& address) {
  int found = -1;
  const int count = host_.addressCount();
  for (int i = 0; i < count; ++i) {
    if (host_.addressAt(i) == address) {
      found = i;
      break;
    }
  }
  suppressComboNavigate_ = true;
  try {
    if (found >= 0) host_.removeAddress(found);
    host_.insertAddress(0, address);
    host_.selectAddress(0);
  } catch (...) {
    suppressComboNavigate_ = false;
    throw;
  }
  suppressComboNavigate_ = false;
  host_.addressHistoryChanged();
}

void Dispatcher::onStatusTextChange() {
  ignoringFailure([&] {
    const std::string value = lcase(host_.activeValue());
    if (value.empty() || !contains(value, "bq") || len16(value) != 3) return;
    app_.CardNumber = value;
  });
}

void Dispatcher::onCommandStateChange() {
  // A value that cannot be read ends the handling: the value read before
  // belongs to another element and must not open anything.
  if (!ignoringFailure([&] { activeDefaultValue_ = host_.activeDefaultValue(); })) return;
  if (activeDefaultValue_ != kOpenButtonCaption) return;
  std::optional<OpenCommand> open;
  if (!ignoringFailure([&] { open = openCommandFor(host_.locationName(), app_); }) || !open) {
    return;
  }
  if (!openArmed_) return;
  ignoringFailure([&] { BQCOM().TermProc(); });
  launch(open->command);
  launch(std::string(kViewerCommand) + " " + open->titleFile);
  openArmed_ = false;
}

void Dispatcher::launch(const std::string& command) {
  // A program that cannot be started leaves the examinee with nothing to
  // work in: the message names the command and the shell's reason (the
  // program missing, what to install). The launch goes on as if it had run.
  try {
    host_.shellRun(command);
  } catch (const AutomationError& e) {
    ignoringFailure([&] { showFailure("无法启动 " + command + "。", e); });
  } catch (const std::exception&) {
  }
}

void Dispatcher::onDownloadComplete() {
  ignoringFailure([&] { host_.setTitle(std::string(kTitleText)); });
}

}  // namespace bq::client
