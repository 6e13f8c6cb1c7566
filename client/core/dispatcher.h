// The exam client's logic behind its browser window: the window's load,
// toolbar, address box, timers and exit, and the dispatch of the browser's
// five events into the page generators, the exam preparation, the exam
// clocks, the card-number pickup and the open button.
//
// The page table (dispatchPages) names, for each generated page, its topic
// code, its generator, the heading of an operation page, and the open
// button's command and title file. Before a navigation the page whose name
// the target URL contains is written; after a completed navigation the exam
// is prepared on "StdKnow.asp", the remaining times are recomputed, the
// clocks switched and the address history updated.
//
// Failures: a page text that cannot be built is shown to the examinee in a
// message box and no page file is written (the navigation goes on and shows
// whatever is at that path). Card-number and open-button handling ignore
// every failure. The exam preparation shows its own failures
// (client/core/preparation.h); when it asks for the end of the program the
// host is told to quit and the navigation's remaining steps are skipped.
//
// Thread safety: none; every handler runs on the host's one thread, one at a time.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "client/core/app_values.h"
#include "client/core/browser_host.h"

namespace bq::client {

// The window title, and the title while the browser is busy.
inline constexpr std::string_view kTitleText = "岚屿克在线考试模拟试卷";
inline constexpr std::string_view kBusyTitleText = "正在工作，请稍候...";
// The caption of the operation pages' open button.
inline constexpr std::string_view kOpenButtonCaption = "请点击打开";
// The allowances of the exam clock and the typing clock, in seconds.
inline constexpr int32_t kExamAllowance = 9000;
inline constexpr int32_t kTypingAllowance = 600;

// What the open button of a page runs.
enum class OpenKind {
  kNone,      // no open button (objective and typing pages)
  kFixed,     // the command as it stands ("Explorer.exe c:\BqOperation")
  kDocument,  // command + card number + extension (a question document)
  kProgramPage,  // command + AppFolder + extension ("IEXPLORE.EXE " ... "\Login.asp")
};

// One row of the page table.
struct DispatchPage {
  std::string_view pageName;  // "selection.asp"
  std::string_view code;      // topic code, "01"
  OpenKind openKind = OpenKind::kNone;
  std::string_view command;    // see OpenKind
  std::string_view extension;  // see OpenKind
  std::string_view titlePrefix;  // title file: prefix + card number + ".tg"
};

// The nine generated pages in the order the before-navigate step tests them.
std::span<const DispatchPage> dispatchPages();

// The open button's command and title file for the operation page
// `locationName` (compared exactly), or nullopt for any other page.
struct OpenCommand {
  std::string command;
  std::string titleFile;
};
std::optional<OpenCommand> openCommandFor(std::string_view locationName, const AppValues& app);

// The sign-in page address for the program folder `appFolder`: "File://" +
// the folder with every backslash turned into "/" + "/BqLogin.asp".
std::string startingAddress(std::string_view appFolder);

class Dispatcher {
 public:
  Dispatcher(AppValues& app, BrowserHost& host) : app_(app), host_(host) {}

  // --- The window -------------------------------------------------------------
  // Load: puts the starting address into the address box and its list,
  // switches the busy timer on and navigates there.
  void onLoad();
  // A toolbar button by its key ("Back", "Forward", "Stop", "Refresh",
  // "Home", "Search"; compared exactly, others do nothing).
  void onToolbarButton(std::string_view key);
  // A click in the address box (choosing an entry from its list, or Enter).
  void onAddressClick();
  // A key pressed in the address box; Enter (13) acts as a click. Returns
  // whether the key was handled.
  bool onAddressKeyPress(int keyCode);
  // Ticks of the three timers; the host delivers them only while the timer is on.
  void onBusyTick();
  void onExamTick();
  void onTypingTick();
  // The window is closing (for any reason): the page files are deleted. The
  // close is never refused.
  void onClose();
  // The exit menu: page files deleted, window unloaded, program ended.
  void onMenuExit();

  // --- The browser's five events ------------------------------------------
  void onBeforeNavigate(const std::string& url);
  void onNavigateComplete();
  void onStatusTextChange();
  void onCommandStateChange();
  void onDownloadComplete();

  // The history update run at the end of each completed navigation.
  void updateAddressHistory(const std::string& address);

  const std::string& StartingAddress() const { return startingAddress_; }
  bool OpenArmed() const { return openArmed_; }
  const std::string& ActiveDefaultValue() const { return activeDefaultValue_; }
  bool SuppressComboNavigate() const { return suppressComboNavigate_; }
  // Whether the program has been told to end.
  bool ended() const { return ended_; }

 private:
  void buildPage(const DispatchPage& page);
  // Runs one of the open button's commands; a failure to start is shown.
  void launch(const std::string& command);
  void prepare();
  void recomputeTimes();
  void switchClocks(const std::string& url);
  void endProgram();

  AppValues& app_;
  BrowserHost& host_;
  std::string startingAddress_;
  bool suppressComboNavigate_ = false;
  std::string activeDefaultValue_;
  bool openArmed_ = false;
  bool ended_ = false;
};

}  // namespace bq::client
