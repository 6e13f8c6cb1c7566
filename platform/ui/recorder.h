// A back end for tests: answers from a script and keeps a log of everything
// shown.
//
// Each request takes the next scripted answer of its own kind (message box,
// input box, window), in the order they were scripted; with none left it
// answers as the console back end does (the default button, the default text,
// and for a window AutomationError 429 "no display"), writing nothing.
//
// A window's scripted action:
//   - kDoubleClick: calls the window's onDoubleClick with a WindowControl.
//     When the handler calls close(), runModal returns (kClosedByHandler).
//     When it does not, the window would stay open for ever; the recorder
//     logs kStayedOpen and returns instead of waiting, so a test sees the
//     fault in the log. An exception from the handler is logged as kFailed
//     and leaves runModal.
//   - kClose: the user closes the window; no handler runs (kClosedByUser).
//   - kThrow: the back end cannot show the window: AutomationError 429 as
//     the console raises it (kFailed).
// A text window (runModalText) takes the next scripted TextWindowScript: the
// window is logged with its text, placement and the text box that layoutText
// gives for the placement's size, then activated `activations` times, then
// clicked when `click` is set, then closed by the user (kClosedByUser), or
// by a handler that called close() (kClosedByHandler; what was left of the
// script is not run). Without a script it throws 429 as the console does.
// screenMetrics() answers the screen set with setScreen (1024 x 768 pixels
// at 15 twips per pixel unless set).
//
// A picture that readPictureInfo refuses throws its 481 error before
// anything is logged or any scripted action is used, as a back end that
// cannot draw it would.
//
// Usage:
//   auto rec = std::make_shared<bq::ui::Recorder>();
//   rec->answerMessageBox(bq::ui::vbNo);
//   bq::ui::ScopedBackend scope(rec);
//   CodeUnderTest();
//   EXPECT_EQ(rec->shown().at(0).prompt, "...");
//
// Thread safety: like every back end, used on the thread it was set for; the
// test reads the log on that thread or after the work is joined.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace bq::ui {

class Recorder final : public Backend {
 public:
  enum class Kind { kMessageBox, kInputBox, kWindow, kTextWindow, kFileDialog };
  enum class WindowAction { kDoubleClick, kClose, kThrow };
  enum class WindowEnd { kNotAWindow, kClosedByHandler, kClosedByUser, kStayedOpen, kFailed };

  // One request, as it was made and as it was answered.
  struct Shown {
    Kind kind = Kind::kMessageBox;
    std::string title;        // as passed (empty stays empty)
    std::string prompt;       // message and input boxes
    int buttons = 0;          // message boxes: the whole style
    std::string defaultText;  // input boxes
    int width = 0;            // windows: the picture's size in pixels
    int height = 0;
    bool alwaysOnTop = false;  // windows
    bool scripted = false;     // answered from the script, not by default
    int answer = 0;            // message boxes: the answer returned
    std::string text;          // input boxes: the text returned; text windows: the text
    PixelRect placement;       // text windows
    PixelRect textBox;         // text windows: the text box for the placement's size
    int activations = 0;       // text windows: activations made
    bool clicked = false;      // text windows
    WindowEnd end = WindowEnd::kNotAWindow;
    bool save = false;         // file dialogs: ShowSave (else ShowOpen)
    std::string filter;        // file dialogs; the initial file name is in defaultText,
    int flags = 0;             // the chosen one in text ("" when cancelled)
  };

  struct TextWindowScript {
    int activations = 1;
    bool click = false;
  };

  // Scripts the answer of the next message box that has no scripted answer
  // yet. Throws AutomationError 5 for a number that is no answer (vbOK to
  // vbNo). A message box whose buttons do not include the scripted answer
  // throws AutomationError 5 naming both (the request is logged first).
  void answerMessageBox(int answer);
  // Scripts the text of the next input box ("" is a cancelled box).
  void answerInputBox(std::string text);
  // Scripts what happens to the next window.
  void actOnWindow(WindowAction action);
  // Scripts what happens to the next text window.
  void actOnTextWindow(TextWindowScript script);
  void setScreen(ScreenMetrics screen) { screen_ = screen; }
  // Scripts the answer of the next file dialog: the chosen file's full name,
  // or nothing for a cancelled dialog.
  void answerFileDialog(std::optional<std::string> fileName);

  // Everything shown, oldest first.
  const std::vector<Shown>& shown() const { return shown_; }
  // Scripted answers of all kinds not used yet.
  size_t pending() const {
    return answers_.size() + texts_.size() + actions_.size() + textScripts_.size() +
           files_.size();
  }
  // How often DoEvents ran.
  int doEventsCalls() const { return doEvents_; }

  int messageBox(const MessageBoxRequest& request) override;
  std::string inputBox(const InputBoxRequest& request) override;
  void runModal(const PictureWindow& window) override;
  ScreenMetrics screenMetrics() override { return screen_; }
  void runModalText(const TextWindow& window) override;
  // With no scripted answer left, answers as the console does.
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void doEvents() override { ++doEvents_; }

 private:
  std::deque<TextWindowScript> textScripts_;
  ScreenMetrics screen_{1024, 768, 15, 15};
  std::deque<int> answers_;
  std::deque<std::string> texts_;
  std::deque<WindowAction> actions_;
  std::deque<std::optional<std::string>> files_;
  int doEvents_ = 0;
  std::vector<Shown> shown_;
};

}  // namespace bq::ui
