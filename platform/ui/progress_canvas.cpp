#include "platform/ui/progress_canvas.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "common/text.h"

namespace bq::ui {
namespace {

// The console canvases of this thread, in the order they were made, and
// whether their status line stands on the terminal now.
struct StatusLine {
  std::vector<ConsoleProgressCanvas*> canvases;
  std::FILE* shownOn = nullptr;
  std::string shown;  // what stands on the line now
};

StatusLine& statusLine() {
  thread_local StatusLine line;
  return line;
}

void writeAll(std::FILE* out, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

void drawStatusLine(std::FILE* out) {
  StatusLine& line = statusLine();
  std::string text = "\r\033[K";
  bool any = false;
  for (const ConsoleProgressCanvas* c : line.canvases) {
    if (!c->Visible()) continue;
    if (any) text += "  ";
    text += c->statusText();
    any = true;
  }
  // A redraw that changes nothing is not written.
  if (line.shownOn == out && text == line.shown) return;
  writeAll(out, text);
  line.shownOn = any ? out : nullptr;
  line.shown = any ? text : std::string();
}

}  // namespace

// ---------------------------------------------------------------- model

void ModelCanvas::setBackColor(OleColor color) {
  backColor_ = color;
  text_.clear();
  bar_ = 0;
}

double ModelCanvas::TextWidth(const std::string& text) {
  return 10.0 * static_cast<double>(len16(text));
}

void ModelCanvas::fillBox(double x1, double, double x2, double, OleColor color) {
  // A not-xor box in any colour but the background's shows as the done part;
  // one in the background colour changes nothing.
  if (drawMode_ != vbNotXorPen || color == backColor_) return;
  const double covered = std::abs(x2 - x1);
  bar_ = std::clamp(covered / kWidth, 0.0, 1.0);
}

// ---------------------------------------------------------------- console

ConsoleProgressCanvas::ConsoleProgressCanvas(std::string label, std::FILE* out)
    : label_(std::move(label)), out_(out), terminal_(isTerminal(out)) {
  statusLine().canvases.push_back(this);
}

ConsoleProgressCanvas::~ConsoleProgressCanvas() {
  auto& all = statusLine().canvases;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

std::string ConsoleProgressCanvas::statusText(int cells) const {
  const int done = static_cast<int>(std::lround(bar() * cells));
  std::string s = label_ + " [";
  s.append(static_cast<size_t>(done), '#');
  s.append(static_cast<size_t>(cells - done), '.');
  s += "] " + text();
  return s;
}

void ConsoleProgressCanvas::setVisible(bool visible) {
  const bool was = Visible();
  ModelCanvas::setVisible(visible);
  if (terminal_ && was && !visible) {
    // The finished bar stays readable above whatever follows.
    if (statusLine().shownOn == out_) writeAll(out_, "\n");
    statusLine().shownOn = nullptr;
    lastLogged_.clear();
  }
}

void ConsoleProgressCanvas::Refresh() {
  if (!Visible()) return;
  if (terminal_) {
    drawStatusLine(out_);
    return;
  }
  if (text() == lastLogged_ || text().empty()) return;
  lastLogged_ = text();
  writeAll(out_, label_ + ": " + text() + "\n");
}

bool isTerminal(std::FILE* out) { return ::isatty(::fileno(out)) == 1; }

void clearConsoleStatusLine(std::FILE* out) {
  StatusLine& line = statusLine();
  if (line.shownOn != out) return;
  writeAll(out, "\r\033[K");
  line.shownOn = nullptr;
}

// ---------------------------------------------------------------- recording

void RecordingProgressCanvas::setVisible(bool visible) {
  if (visible != Visible()) {
    Event e;
    e.kind = Event::Kind::kVisible;
    e.visible = visible;
    events_.push_back(std::move(e));
  }
  ModelCanvas::setVisible(visible);
}

void RecordingProgressCanvas::Refresh() {
  Event e;
  e.kind = Event::Kind::kDrawn;
  e.text = text();
  e.bar = bar();
  events_.push_back(std::move(e));
}

}  // namespace bq::ui
