// The Qt back end: message boxes, input boxes and the system's windows as Qt
// widgets (target bq_ui_qt; this header needs no Qt headers).
//
// A program with its own Qt event loop creates its QApplication and calls
// installQtBackend() on its user-interface thread. A library that must show a
// window where the caller set no back end calls runModalOnDisplay(), which
// starts Qt itself when a display is available; message boxes never start Qt.
//
// Every dialog runs modally in its own event loop (QDialog::exec) on the
// calling thread, so events of the program's other windows and timers still
// run while it waits.
//
// Thread safety: Qt widgets live on the thread that created the QApplication.
// QtBackend's methods called on any other thread (or with no QApplication)
// throw AutomationError 429 instead of touching Qt.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace bq::ui {

class QtBackend final : public Backend {
 public:
  // A QMessageBox with the style's buttons, default button and icon; the
  // title (the program's name when empty) and the prompt as plain text. Escape
  // and the window's close button answer Cancel where the box has one, OK in
  // an OK-only box, and Qt's choice otherwise.
  int messageBox(const MessageBoxRequest& request) override;
  // A QInputDialog with the prompt and the default text; "" when cancelled.
  std::string inputBox(const InputBoxRequest& request) override;
  // A dialog of the picture's size showing the picture, with the window's
  // title and a close button, on top of other windows when alwaysOnTop. A
  // left double-click anywhere calls onDoubleClick; the window's close button
  // and Escape close it without calling it. An exception from the handler
  // closes the window and is rethrown here once the modal loop has ended.
  // Throws AutomationError 481 for a picture that cannot be decoded (checked
  // before anything is shown).
  void runModal(const PictureWindow& window) override;
  // The primary screen: its size in device-independent pixels and its
  // twips per pixel from its logical resolution (1440 / dots per inch,
  // rounded).
  ScreenMetrics screenMetrics() override;
  // A window with a read-only text box (QPlainTextEdit) and nothing else,
  // with the title and a close button, on top of other windows when
  // alwaysOnTop. The outer window takes window.placement before it is shown
  // (where the window system adds a frame, the inside is made smaller so that
  // the outer size stays); exec() then shows and activates it. Escape and the
  // close button close it.
  void runModalText(const TextWindow& window) override;
  // A QFileDialog in save or open mode with the title, the filter turned
  // into Qt's name filters ("Text (*.txt *.text)"), the initial file name,
  // and the flags cdlOFNOverwritePrompt (asks before replacing a file) and
  // cdlOFNFileMustExist (open: only existing files); nothing when cancelled.
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  // Processes the pending events of the Qt application's thread.
  void doEvents() override;
};

// The Qt name filters for a dialog filter in the platform's syntax.
std::vector<std::string> qtNameFilters(const std::string& filter);

// Makes sure this process has a QApplication, creating one when there is none
// and a display is available: a platform of $QT_QPA_PLATFORM (for example
// "offscreen"), else the X display of $DISPLAY or the Wayland display of
// $WAYLAND_DISPLAY, each checked before Qt is asked (platform/ui/display.h),
// so that Qt never ends the process. Safe to call from several threads at
// once: one application is made, on the thread of the first call, which then
// owns the Qt back end (calls from other threads succeed, but their windows
// fail with 429). The process's C locale is left as it was: Qt sets it from
// the environment while it starts, and it is put back at once (the texts the
// libraries make never depend on it: common/text.h generalNumberText).
// Throws AutomationError 429 "... no display: windows cannot be shown (WHY)"
// when no platform can start, and 429 when the program's own Qt application
// is a QCoreApplication or QGuiApplication, which cannot show widgets.
// REQUIRES: the first call is made on a thread that lives as long as the
// process (normally the main thread). The application it creates lives until
// the process ends; Qt cannot be torn down safely from exit handlers.
void ensureQtApplication();

// ensureQtApplication(), then sets a QtBackend as this thread's back end.
void installQtBackend();

// The same for a text window and for the screen.
void runModalOnDisplay(const TextWindow& window);
ScreenMetrics screenMetricsOnDisplay();

// Runs the events waiting in this thread's Qt event loop (the original's
// DoEvents), when Qt runs on this thread; does nothing otherwise. Routines
// that wait for something call it between their checks, so that the
// program's windows and timers go on working meanwhile.
void doEvents();

// Shows `window` through this thread's back end when one was set (a program's
// Qt back end, a test's recorder); otherwise through Qt, started on demand by
// ensureQtApplication, never through the console. Throws what they throw;
// without a display, AutomationError 429 naming the window.
void runModalOnDisplay(const PictureWindow& window);

}  // namespace bq::ui
