#include "platform/ui/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace bq::ui::x11 {
namespace {

constexpr int kLargestSize = 32767;

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// A connection to $DISPLAY for one call, with X errors absorbed while it is
// open (the process's previous handler is put back afterwards).
class Connection {
 public:
  Connection() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return;
    display_ = XOpenDisplay(name);
    if (display_) previous_ = XSetErrorHandler(&ignoreErrors);
  }
  ~Connection() {
    if (!display_) return;
    XSync(display_, False);
    XSetErrorHandler(previous_);
    XCloseDisplay(display_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Display* get() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

 private:
  Display* display_ = nullptr;
  XErrorHandler previous_ = nullptr;
};

struct XFreeDeleter {
  void operator()(void* p) const {
    if (p) XFree(p);
  }
};

// The children of `w`, bottom of the stacking order first.
std::vector<Window> children(Display* d, Window w, Window* parent = nullptr) {
  Window root = 0, par = 0;
  Window* list = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(d, w, &root, &par, &list, &n)) return {};
  std::unique_ptr<Window, XFreeDeleter> owned(list);
  if (parent) *parent = par;
  return std::vector<Window>(list, list + n);
}

bool sameAscii(const char* a, const std::string& b) {
  if (!a) return false;
  const std::string s = a;
  return std::equal(s.begin(), s.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

std::vector<std::string> classOf(Display* d, Window w) {
  XClassHint hint{};
  if (!XGetClassHint(d, w, &hint)) return {};
  std::vector<std::string> out{hint.res_name ? hint.res_name : "",
                               hint.res_class ? hint.res_class : ""};
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return out;
}

bool hasClass(Display* d, Window w, const std::string& windowClass) {
  for (const std::string& name : classOf(d, w)) {
    if (sameAscii(name.c_str(), windowClass)) return true;
  }
  return false;
}

std::vector<Atom> atomList(Display* d, Window w, Atom property) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, property, 0, 1024, False, XA_ATOM, &type, &format, &count, &after,
                         &data) != Success) {
    return {};
  }
  std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
  if (type != XA_ATOM || format != 32 || !data) return {};
  const auto* atoms = reinterpret_cast<const unsigned long*>(data);  // 32-bit items come as longs
  return std::vector<Atom>(atoms, atoms + count);
}

// Whether a window manager that follows the extended hints runs.
bool windowManagerRuns(const Connection& c) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(c.get(), c.root(), c.atom("_NET_SUPPORTING_WM_CHECK"), 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &after, &data) != Success) {
    return false;
  }
  std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
  return type == XA_WINDOW && count == 1;
}

std::optional<Window> find(const Connection& c, const std::string& windowClass) {
  if (windowClass.empty()) return std::nullopt;
  Display* d = c.get();
  std::vector<Window> top = children(d, c.root());
  for (auto it = top.rbegin(); it != top.rend(); ++it) {
    if (hasClass(d, *it, windowClass)) return *it;
    // A window manager's frame: the client window is inside it.
    std::vector<Window> inner = children(d, *it);
    for (auto in = inner.rbegin(); in != inner.rend(); ++in) {
      if (hasClass(d, *in, windowClass)) return *in;
    }
  }
  return std::nullopt;
}

void keepAbove(const Connection& c, Window w) {
  Display* d = c.get();
  const Atom state = c.atom("_NET_WM_STATE");
  const Atom above = c.atom("_NET_WM_STATE_ABOVE");
  if (windowManagerRuns(c)) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = state;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // _NET_WM_STATE_ADD
    e.xclient.data.l[1] = static_cast<long>(above);
    e.xclient.data.l[3] = 1;  // a normal application asks
    XSendEvent(d, c.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }
  // Without a window manager nobody answers the request: the state is set
  // on the window itself, where a window manager started later finds it.
  std::vector<Atom> atoms = atomList(d, w, state);
  if (std::find(atoms.begin(), atoms.end(), above) == atoms.end()) {
    const unsigned long item = above;
    XChangeProperty(d, w, state, XA_ATOM, 32, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(&item), 1);
  }
}

}  // namespace

std::optional<uint32_t> findTopLevelWindow(const std::string& windowClass) {
  Connection c;
  if (!c.get()) return std::nullopt;
  std::optional<Window> w = find(c, windowClass);
  if (!w) return std::nullopt;
  return static_cast<uint32_t>(*w);
}

Placement placeTopLevelWindow(const std::string& windowClass, const PixelRect& rect) {
  Connection c;
  if (!c.get()) return Placement::kNoDisplay;
  std::optional<Window> w = find(c, windowClass);
  if (!w) return Placement::kNotFound;
  Display* d = c.get();
  auto size = [](int v) { return static_cast<unsigned>(std::clamp(v, 1, kLargestSize)); };
  XMoveResizeWindow(d, *w, rect.x, rect.y, size(rect.width), size(rect.height));
  keepAbove(c, *w);
  XMapRaised(d, *w);
  return Placement::kPlaced;
}

std::optional<WindowFacts> describeWindow(uint32_t id) {
  Connection c;
  if (!c.get()) return std::nullopt;
  Display* d = c.get();
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, id, &a)) return std::nullopt;
  WindowFacts f;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, id, c.root(), 0, 0, &x, &y, &child);
  f.geometry = {x, y, a.width, a.height};
  f.viewable = a.map_state == IsViewable;
  const std::vector<Atom> state = atomList(d, id, c.atom("_NET_WM_STATE"));
  f.above = std::find(state.begin(), state.end(), c.atom("_NET_WM_STATE_ABOVE")) != state.end();
  f.wmClass = classOf(d, id);
  // Its ancestor among the root's children, and whether that one is last.
  Window top = id;
  for (int depth = 0; depth < 16; ++depth) {
    Window parent = 0;
    children(d, top, &parent);
    if (parent == 0 || parent == c.root()) break;
    top = parent;
  }
  const std::vector<Window> stack = children(d, c.root());
  f.topOfStack = !stack.empty() && stack.back() == top;
  return f;
}

}  // namespace bq::ui::x11
