// Which Qt platforms can start in this process, decided before Qt is asked.
//
// Qt ends the process (qFatal) when none of the platforms it is given can
// start: a missing plugin, an X server that cannot be reached or refuses us,
// no Wayland compositor. The libraries must report that as an error instead,
// so ensureQtApplication hands Qt only the platforms that passed the same
// checks here: the plugin file is installed, and for xcb and wayland the
// display server accepts a connection (made with libxcb / libwayland-client
// as the plugins make it, loaded at run time so that the build needs neither).
// Other platforms (offscreen, minimal, vnc, eglfs ...) need no display and
// are taken when their plugin is installed.
//
// Thread safety: pure functions, apart from the connection attempts, which
// only read the environment.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bq::ui {

struct DisplayEnvironment {
  std::string qpaPlatform;    // QT_QPA_PLATFORM: "name[:args][;name[:args]...]"
  std::string sessionType;    // XDG_SESSION_TYPE
  bool waylandNamed = false;  // WAYLAND_DISPLAY or WAYLAND_SOCKET is set
  // Folders holding Qt's platform plugins (libq<name>*.so); empty: not checked.
  std::vector<std::filesystem::path> pluginDirs;
  std::function<bool()> x11Reachable;      // an X display accepts a connection
  std::function<bool()> waylandReachable;  // a Wayland compositor accepts one
};

struct PlatformChoice {
  // The entries to start Qt with, ';'-separated, in the order asked; "" when
  // none can start.
  std::string platforms;
  // Why entries were left out ("xcb: the X display cannot be reached; ...").
  std::string why;
};

// Of the entries of env.qpaPlatform, or when it is empty of "xcb;wayland"
// ("wayland;xcb" in a Wayland session; wayland only when a Wayland display is
// named), those that can start.
PlatformChoice usablePlatforms(const DisplayEnvironment& env);

// This process's environment, with the real connection probes.
DisplayEnvironment currentDisplayEnvironment(std::vector<std::filesystem::path> pluginDirs);

// Connects to the X display that $DISPLAY names and disconnects at once.
bool x11DisplayReachable();
// Connects to the Wayland display that $WAYLAND_DISPLAY names and disconnects.
// A display given as an inherited socket ($WAYLAND_SOCKET) is not probed,
// since a connection would use it up; it counts as reachable.
bool waylandDisplayReachable();

}  // namespace bq::ui
