// A stand-in for another program's main window, for the window tests: a
// top-level X window with a given WM_CLASS, mapped on $DISPLAY until the
// program is ended or its lifetime passes.
//
//   bq_x11_standin CLASS INSTANCE SECONDS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bq_x11_standin CLASS INSTANCE SECONDS\n");
    return 2;
  }
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "bq_x11_standin: no display\n");
    return 1;
  }
  const int screen = DefaultScreen(d);
  Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 300, 300, 200, 100, 0,
                                 BlackPixel(d, screen), WhitePixel(d, screen));
  std::string resClass = argv[1], resName = argv[2];
  XClassHint hint{resName.data(), resClass.data()};
  XSetClassHint(d, w, &hint);
  XStoreName(d, w, "stand-in");
  XMapWindow(d, w);
  XFlush(d);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[3]));
  pollfd p{ConnectionNumber(d), POLLIN, 0};
  while (std::chrono::steady_clock::now() < until) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
    }
    poll(&p, 1, 100);
  }
  XCloseDisplay(d);
  return 0;
}
