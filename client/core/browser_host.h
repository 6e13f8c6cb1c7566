// What the exam client's logic needs of the window that hosts its browser:
// the browser's location, busy flag and document reads, the title, the
// address box, the three timers, the shell object and the end of the program.
//
// The Qt window (client/qt) implements it with a web engine view; the
// headless runner (client/core/headless.h) implements it from a file of
// events and reports every effect. The logic itself is the Dispatcher
// (client/core/dispatcher.h), which calls a host only on the thread that
// delivers the host's events.
#pragma once

#include <string>
#include <string_view>

namespace bq::client {

// The window's three timers.
enum class Timer {
  kBusy,    // timTimer, 5 ms: the busy indicator in the title
  kExam,    // TimeK, 1000 ms: the exam clock
  kTyping,  // timeHz, 1000 ms: the typing clock
};

// The timer's control name ("timTimer", "TimeK", "timeHz").
std::string_view timerName(Timer timer);
// Its interval in milliseconds (5, 1000, 1000).
int timerInterval(Timer timer);

// The browser's navigation commands behind the toolbar.
enum class BrowserCommand { kBack, kForward, kStop, kRefresh, kHome, kSearch };

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;

  // --- The browser and its document ---------------------------------------
  // The address of the page on display (LocationURL).
  virtual std::string locationURL() = 0;
  // The name of the page on display (LocationName): for a file, its name
  // ("excel.asp"); for other pages, their title.
  virtual std::string locationName() = 0;
  // Whether the browser is still loading (Busy).
  virtual bool busy() = 0;
  // The value / defaultValue of the document's active element. Throw
  // AutomationError when there is no document, no active element, or the
  // element has no such property.
  virtual std::string activeValue() = 0;
  virtual std::string activeDefaultValue() = 0;
  // Starts a navigation to `url` (a file path, "File://..." address or URL).
  virtual void navigate(const std::string& url) = 0;
  // The toolbar's browser commands. May throw; the caller ignores failures.
  virtual void browserCommand(BrowserCommand command) = 0;

  // --- The window -----------------------------------------------------------
  virtual void setTitle(const std::string& text) = 0;
  virtual void setTimer(Timer timer, bool on) = 0;
  virtual bool timerOn(Timer timer) = 0;

  // The address box: its text and its list (the navigation history, newest
  // first). Changing the list or the selection never navigates by itself.
  virtual std::string addressText() = 0;
  virtual void setAddressText(const std::string& text) = 0;
  virtual int addressCount() = 0;
  virtual std::string addressAt(int index) = 0;
  virtual void addAddress(const std::string& text) = 0;  // at the end
  virtual void insertAddress(int index, const std::string& text) = 0;
  virtual void removeAddress(int index) = 0;
  // Selects entry `index`: the box then shows its text.
  virtual void selectAddress(int index) = 0;
  // Called once a history update is complete (the headless runner reports it).
  virtual void addressHistoryChanged() {}

  // ShellObject.Run(command): starts a program or opens a document without
  // waiting. Throws AutomationError when it cannot be started.
  virtual void shellRun(const std::string& command) = 0;

  // The program ends (after the window has been unloaded).
  virtual void quit() = 0;

  // --- Files the client wrote or deleted (for hosts that report them) ------
  // `path` is the path as the client used it (Windows form).
  virtual void fileWritten(const std::string& path) { (void)path; }
  virtual void fileDeleted(const std::string& path) { (void)path; }
};

}  // namespace bq::client
