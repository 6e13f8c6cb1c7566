// The user interface of the libraries and the client: message boxes, the
// input box, and the system's own windows, through one back end per thread.
//
// Back ends:
//   - console (the default on every thread): messages and prompts go to
//     standard error; a message box answers its default button, the input box
//     its default text; nothing waits. Windows cannot be shown: runModal
//     throws AutomationError 429 "ActiveX component can't create object" with
//     a description that says no display is available.
//   - recorder (tests): keeps every request in order and answers from a
//     script (platform/ui/recorder.h).
//   - Qt (its own target, bq_ui_qt; platform/ui/qt_backend.h): registered by
//     programs that run a Qt event loop, or created on demand where a display
//     (or QT_QPA_PLATFORM=offscreen) is available.
// The libraries never start Qt for a message box.
//
// Thread safety: each thread has its own back end; a back end is used only on
// the thread it was set for.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bq::ui {

// Button and icon styles of a message box (the original's vbMsgBoxStyle values).
inline constexpr int vbOKOnly = 0;
inline constexpr int vbOKCancel = 1;
inline constexpr int vbAbortRetryIgnore = 2;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int vbRetryCancel = 5;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;
inline constexpr int vbDefaultButton2 = 256;
inline constexpr int vbDefaultButton3 = 512;

// Answers of a message box (vbMsgBoxResult).
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbAbort = 3;
inline constexpr int vbRetry = 4;
inline constexpr int vbIgnore = 5;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

struct MessageBoxRequest {
  std::string prompt;
  int buttons = vbOKOnly;  // buttons + icon + default button
  std::string title;       // empty: the program's name
};

struct InputBoxRequest {
  std::string prompt;
  std::string title;
  std::string defaultText;
};

// What a shown window can be asked to do from its event handlers.
class WindowControl {
 public:
  virtual ~WindowControl() = default;
  // Unloads the window: a modal display ends and runModal returns.
  virtual void close() = 0;
};

// A window of the system's own that shows a picture (the end-of-test window):
// no controls; the picture fills the window, which takes the picture's size.
struct PictureWindow {
  std::string title;
  std::vector<uint8_t> picture;  // JPEG or PNG bytes
  bool alwaysOnTop = false;
  // A double-click anywhere on the window. Runs on the window's thread.
  std::function<void(WindowControl&)> onDoubleClick;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The answer (vbOK ...) of a message box.
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // The text entered in an input box; "" when it is cancelled.
  virtual std::string inputBox(const InputBoxRequest& request) = 0;
  // Shows `window` modally and returns when it is closed (by WindowControl::close
  // from a handler, or by the user where the window offers it). Throws
  // AutomationError when this back end cannot show windows.
  virtual void runModal(const PictureWindow& window) = 0;
};

// This thread's back end (the console back end unless one was set).
Backend& backend();

// Sets this thread's back end; nullptr restores the console back end.
void setBackend(std::shared_ptr<Backend> b);

// MsgBox(prompt, buttons, title) and InputBox(prompt, title, default) through
// this thread's back end.
int MsgBox(const std::string& prompt, int buttons = vbOKOnly, const std::string& title = "");
std::string InputBox(const std::string& prompt, const std::string& title = "",
                     const std::string& defaultText = "");

}  // namespace bq::ui
