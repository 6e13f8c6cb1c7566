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
// the thread it was set for. The free functions below may be called on any
// thread and use that thread's back end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bq::ui {

// Button and icon styles of a message box (the original's vbMsgBoxStyle values).
// A style is the sum of one button set (0..5), at most one icon and at most
// one default button; other flags of the original (modality, help button,
// right-to-left reading) are accepted and have no effect.
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
  std::string title;  // empty: the program's name
  std::string defaultText;
};

// A save or open file dialog as the common-dialog object asks for it
// (platform/ui/common_dialog.h).
struct FileDialogRequest {
  bool save = false;       // ShowSave; else ShowOpen
  std::string title;       // empty: the back end's own title
  std::string filter;      // the dialog filter syntax: "Text|*.txt|All|*.*"
  int32_t flags = 0;       // cdlOFN* flags
  std::string fileName;    // the initial file name
};

// What a shown window can be asked to do from its event handlers. The object
// is owned by the back end and valid only during the handler call.
class WindowControl {
 public:
  virtual ~WindowControl() = default;
  // Unloads the window: a modal display ends and runModal returns once the
  // handler has returned. Calling it again does nothing.
  virtual void close() = 0;
};

// A window of the system's own that shows a picture (the end-of-test window):
// no controls; the picture fills the window, which takes the picture's size.
struct PictureWindow {
  std::string title;
  std::vector<uint8_t> picture;  // JPEG or PNG bytes
  bool alwaysOnTop = false;
  // A double-click anywhere on the window. Runs on the window's thread. An
  // exception it throws closes the window and leaves runModal.
  std::function<void(WindowControl&)> onDoubleClick;
};

// A rectangle in pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The screen as the original's Screen object describes it: its size in
// pixels and how many twips (1/1440 inch) a pixel is, at the screen's
// logical resolution (15 at 96 dots per inch).
struct ScreenMetrics {
  int widthPixels = 0;
  int heightPixels = 0;
  int twipsPerPixelX = 15;
  int twipsPerPixelY = 15;
  int widthTwips() const { return widthPixels * twipsPerPixelX; }
  int heightTwips() const { return heightPixels * twipsPerPixelY; }
};

// A window of the system's own that shows a text in a text box (the question
// title window). The text box shows the text on several lines and cannot be
// edited; the rest of the window is empty.
struct TextWindow {
  std::string title;
  std::string text;  // line breaks as CR LF (or LF)
  // The outer window in screen pixels, set before the window is shown, so
  // that placing it does not activate it; showing it modally does.
  PixelRect placement;
  bool alwaysOnTop = false;
  // Where the text box goes in the window, from the window's outer size in
  // pixels; asked whenever that size changes. A negative size counts as 0.
  std::function<PixelRect(int outerWidth, int outerHeight)> layoutText;
  // Every activation of the window; the first comes when it is shown.
  std::function<void(WindowControl&)> onActivate;
  // A click (left button) on the window outside the text box.
  std::function<void(WindowControl&)> onClick;
  // Handlers run on the window's thread; an exception from one closes the
  // window and leaves runModal.
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The answer (vbOK ...) of a message box. Throws AutomationError 5 when
  // request.buttons names no button set (see messageBoxButtons).
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // The text entered in an input box; "" when it is cancelled.
  virtual std::string inputBox(const InputBoxRequest& request) = 0;
  // Shows `window` modally and returns when it is closed (by WindowControl::close
  // from a handler, or by the user where the window offers it). Throws
  // AutomationError when this back end cannot show windows (429) or when the
  // picture is not a JPEG or PNG image it can decode (481, see picture.h).
  virtual void runModal(const PictureWindow& window) = 0;
  // The screen that windows appear on. The default, for back ends without
  // windows, throws AutomationError 429 (no display).
  virtual ScreenMetrics screenMetrics();
  // Shows `window` modally and returns when it is closed (by the user, or by
  // WindowControl::close from a handler). The default throws 429.
  virtual void runModalText(const TextWindow& window);
  // The full name of the file chosen in a save or open dialog; nothing when
  // the dialog is cancelled. By default, the console's answer: the initial
  // file name made absolute (a drive path mapped), or nothing when it is
  // empty; the request is written to standard error.
  virtual std::optional<std::string> fileDialog(const FileDialogRequest& request);
  // Lets the thread's pending window messages and events run (DoEvents). By
  // default there are none.
  virtual void doEvents() {}
};

// This thread's back end (the console back end unless one was set). The
// reference stays valid until setBackend is next called on this thread.
Backend& backend();

// Sets this thread's back end; nullptr restores the console back end.
void setBackend(std::shared_ptr<Backend> b);

// True when setBackend gave this thread a back end of its own (not the console).
bool backendIsSet();

// Sets this thread's back end for the object's lifetime, then restores the
// one that was set before. Construct and destroy it on the same thread.
class ScopedBackend {
 public:
  explicit ScopedBackend(std::shared_ptr<Backend> b);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend&) = delete;
  ScopedBackend& operator=(const ScopedBackend&) = delete;

 private:
  std::shared_ptr<Backend> previous_;
};

// MsgBox(prompt, buttons, title) and InputBox(prompt, title, default) through
// this thread's back end.
int MsgBox(const std::string& prompt, int buttons = vbOKOnly, const std::string& title = "");
std::string InputBox(const std::string& prompt, const std::string& title = "",
                     const std::string& defaultText = "");

// Shows `window` modally through this thread's back end. The back end stays
// alive for the whole display even if a handler sets another one.
void runModal(const PictureWindow& window);
// The same for a text window, and the screen, through this thread's back end.
void runModal(const TextWindow& window);
ScreenMetrics screenMetrics();

// DoEvents: lets this thread's pending window messages and events run.
void DoEvents();

// --- Helpers shared by the back ends -------------------------------------

// The answers of the buttons of message box style `buttons`, in the order the
// box shows them (vbYesNoCancel: vbYes, vbNo, vbCancel). Throws
// AutomationError 5 "Invalid procedure call or argument" for a negative style
// or a button set above vbRetryCancel.
std::vector<int> messageBoxButtons(int buttons);

// The answer of the default button of style `buttons`: the first button, or
// the second or third with vbDefaultButton2 / vbDefaultButton3 when the set
// has that many buttons (otherwise the first, as the original platform did).
// Throws as messageBoxButtons.
int defaultAnswer(int buttons);

// The button text of an answer: "OK", "Cancel", "Abort", "Retry", "Ignore",
// "Yes", "No"; "" for any other number.
const char* answerName(int answer);

// The title a box shows when its title is empty: the program's file name.
std::string programName();

// Throws AutomationError 429 (source empty) saying that `what` cannot be
// shown because no display is available; `detail`, when not empty, says why
// (for example which display could not be reached). Description:
// "ActiveX component can't create object: no display: WHAT cannot be shown[ (DETAIL)]".
[[noreturn]] void raiseNoDisplay(const std::string& what, const std::string& detail = "");

// `the window "TITLE"`, or `the window` for an empty title: the WHAT of
// raiseNoDisplay for a window.
std::string windowDescription(const std::string& title);

}  // namespace bq::ui
