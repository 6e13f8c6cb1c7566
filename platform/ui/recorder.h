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
  enum class Kind { kMessageBox, kInputBox, kWindow, kFileDialog };
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
    std::string text;          // input boxes: the text returned
    WindowEnd end = WindowEnd::kNotAWindow;
    bool save = false;         // file dialogs: ShowSave (else ShowOpen)
    std::string filter;        // file dialogs; the initial file name is in defaultText,
    int flags = 0;             // the chosen one in text ("" when cancelled)
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
  // Scripts the answer of the next file dialog: the chosen file's full name,
  // or nothing for a cancelled dialog.
  void answerFileDialog(std::optional<std::string> fileName);

  // Everything shown, oldest first.
  const std::vector<Shown>& shown() const { return shown_; }
  // Scripted answers of all kinds not used yet.
  size_t pending() const {
    return answers_.size() + texts_.size() + actions_.size() + files_.size();
  }
  // How often DoEvents ran.
  int doEventsCalls() const { return doEvents_; }

  int messageBox(const MessageBoxRequest& request) override;
  std::string inputBox(const InputBoxRequest& request) override;
  void runModal(const PictureWindow& window) override;
  // With no scripted answer left, answers as the console does.
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
  void doEvents() override { ++doEvents_; }

 private:
  std::deque<int> answers_;
  std::deque<std::string> texts_;
  std::deque<WindowAction> actions_;
  std::deque<std::optional<std::string>> files_;
  int doEvents_ = 0;
  std::vector<Shown> shown_;
};

}  // namespace bq::ui
