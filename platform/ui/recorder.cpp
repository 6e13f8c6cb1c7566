#include "platform/ui/recorder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/automation_error.h"
#include "platform/ui/picture.h"

namespace bq::ui {
namespace {

class RecordedControl final : public WindowControl {
 public:
  void close() override { closed = true; }
  bool closed = false;
};

}  // namespace

void Recorder::answerMessageBox(int answer) {
  if (answerName(answer)[0] == '\0') {
    throw AutomationError(err::kInvalidCall, "Recorder",
                          "no message box answers " + std::to_string(answer));
  }
  answers_.push_back(answer);
}

void Recorder::answerInputBox(std::string text) { texts_.push_back(std::move(text)); }

void Recorder::actOnWindow(WindowAction action) { actions_.push_back(action); }

void Recorder::actOnTextWindow(TextWindowScript script) { textScripts_.push_back(script); }

void Recorder::answerFileDialog(std::optional<std::string> fileName) {
  files_.push_back(std::move(fileName));
}

std::optional<std::string> Recorder::fileDialog(const FileDialogRequest& request) {
  Shown s;
  s.kind = Kind::kFileDialog;
  s.title = request.title;
  s.save = request.save;
  s.filter = request.filter;
  s.flags = request.flags;
  s.defaultText = request.fileName;
  std::optional<std::string> answer;
  if (files_.empty()) {
    answer = Backend::fileDialog(request);
  } else {
    s.scripted = true;
    answer = std::move(files_.front());
    files_.pop_front();
  }
  s.text = answer.value_or("");
  shown_.push_back(std::move(s));
  return answer;
}

int Recorder::messageBox(const MessageBoxRequest& request) {
  const std::vector<int> buttons = messageBoxButtons(request.buttons);  // refuses a bad style
  Shown s;
  s.kind = Kind::kMessageBox;
  s.title = request.title;
  s.prompt = request.prompt;
  s.buttons = request.buttons;
  if (answers_.empty()) {
    s.answer = defaultAnswer(request.buttons);
  } else {
    s.scripted = true;
    s.answer = answers_.front();
    answers_.pop_front();
  }
  shown_.push_back(s);
  if (std::find(buttons.begin(), buttons.end(), s.answer) == buttons.end()) {
    std::string names;
    for (int b : buttons) names += std::string(names.empty() ? "" : ", ") + answerName(b);
    throw AutomationError(err::kInvalidCall, "Recorder",
                          std::string("the scripted answer ") + answerName(s.answer) +
                              " is not a button of the message box (" + names + ")");
  }
  return s.answer;
}

std::string Recorder::inputBox(const InputBoxRequest& request) {
  Shown s;
  s.kind = Kind::kInputBox;
  s.title = request.title;
  s.prompt = request.prompt;
  s.defaultText = request.defaultText;
  if (texts_.empty()) {
    s.text = request.defaultText;
  } else {
    s.scripted = true;
    s.text = std::move(texts_.front());
    texts_.pop_front();
  }
  shown_.push_back(s);
  return s.text;
}

void Recorder::runModal(const PictureWindow& window) {
  const PictureInfo picture = readPictureInfo(window.picture);
  Shown s;
  s.kind = Kind::kWindow;
  s.title = window.title;
  s.width = picture.width;
  s.height = picture.height;
  s.alwaysOnTop = window.alwaysOnTop;
  s.end = WindowEnd::kFailed;
  WindowAction action = WindowAction::kThrow;  // what the console does
  if (!actions_.empty()) {
    s.scripted = true;
    action = actions_.front();
    actions_.pop_front();
  }
  // The handler may show more (a message box, another window): keep the
  // index, not a reference into the growing log.
  const size_t index = shown_.size();
  shown_.push_back(std::move(s));
  switch (action) {
    case WindowAction::kThrow:
      raiseNoDisplay(windowDescription(window.title),
                     shown_[index].scripted ? "scripted failure" : "no scripted action");
    case WindowAction::kClose:
      shown_[index].end = WindowEnd::kClosedByUser;
      return;
    case WindowAction::kDoubleClick: {
      RecordedControl control;
      if (window.onDoubleClick) window.onDoubleClick(control);  // kFailed stays if it throws
      shown_[index].end = control.closed ? WindowEnd::kClosedByHandler : WindowEnd::kStayedOpen;
      return;
    }
  }
}

void Recorder::runModalText(const TextWindow& window) {
  Shown s;
  s.kind = Kind::kTextWindow;
  s.title = window.title;
  s.text = window.text;
  s.placement = window.placement;
  s.alwaysOnTop = window.alwaysOnTop;
  if (window.layoutText) {
    s.textBox = window.layoutText(window.placement.width, window.placement.height);
  }
  s.end = WindowEnd::kFailed;
  const bool scripted = !textScripts_.empty();
  TextWindowScript script;
  if (scripted) {
    s.scripted = true;
    script = textScripts_.front();
    textScripts_.pop_front();
  }
  const size_t index = shown_.size();
  shown_.push_back(std::move(s));
  if (!scripted) raiseNoDisplay(windowDescription(window.title), "no scripted action");
  RecordedControl control;
  for (int i = 0; i < script.activations && !control.closed; ++i) {
    ++shown_[index].activations;
    if (window.onActivate) window.onActivate(control);
  }
  if (script.click && !control.closed) {
    shown_[index].clicked = true;
    if (window.onClick) window.onClick(control);
  }
  shown_[index].end = control.closed ? WindowEnd::kClosedByHandler : WindowEnd::kClosedByUser;
}

}  // namespace bq::ui
