#include "platform/ui/display.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <system_error>
#include <utility>

namespace bq::ui {
namespace {

namespace fs = std::filesystem;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

struct DlClose {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, DlClose>;

std::vector<std::string> split(const std::string& list, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(sep, start);
    std::string part = list.substr(start, end == std::string::npos ? end : end - start);
    if (!part.empty()) parts.push_back(std::move(part));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool pluginInstalled(const std::vector<fs::path>& dirs, const std::string& name) {
  if (dirs.empty()) return true;
  const std::string prefix = "libq" + name;
  for (const fs::path& dir : dirs) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string file = it->path().filename().string();
      if (file.starts_with(prefix) && file.ends_with(".so")) return true;
    }
  }
  return false;
}

}  // namespace

PlatformChoice usablePlatforms(const DisplayEnvironment& e) {
  std::vector<std::string> asked = split(e.qpaPlatform, ';');
  if (asked.empty()) {
    if (e.sessionType == "wayland" && e.waylandNamed) {
      asked = {"wayland", "xcb"};
    } else {
      asked = {"xcb"};
      if (e.waylandNamed) asked.push_back("wayland");
    }
  }
  PlatformChoice choice;
  auto leaveOut = [&](const std::string& name, const std::string& reason) {
    choice.why += (choice.why.empty() ? "" : "; ") + name + ": " + reason;
  };
  for (const std::string& entry : asked) {
    const std::string name = entry.substr(0, entry.find(':'));
    if (!pluginInstalled(e.pluginDirs, name)) {
      leaveOut(name, "the Qt platform plugin is not installed");
    } else if (name == "xcb" && !(e.x11Reachable && e.x11Reachable())) {
      leaveOut(name, "no X display can be reached");
    } else if (name.starts_with("wayland") && !(e.waylandReachable && e.waylandReachable())) {
      leaveOut(name, "no Wayland display can be reached");
    } else {
      choice.platforms += (choice.platforms.empty() ? "" : ";") + entry;
    }
  }
  return choice;
}

DisplayEnvironment currentDisplayEnvironment(std::vector<fs::path> pluginDirs) {
  DisplayEnvironment e;
  e.qpaPlatform = env("QT_QPA_PLATFORM");
  e.sessionType = env("XDG_SESSION_TYPE");
  e.waylandNamed = !env("WAYLAND_DISPLAY").empty() || !env("WAYLAND_SOCKET").empty();
  e.pluginDirs = std::move(pluginDirs);
  e.x11Reachable = x11DisplayReachable;
  e.waylandReachable = waylandDisplayReachable;
  return e;
}

bool x11DisplayReachable() {
  // Without a display name libxcb fails at once; say so without loading it.
  if (env("DISPLAY").empty()) return false;
  Library lib(dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL));
  if (!lib) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(lib.get(), "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(lib.get(), "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(lib.get(), "xcb_disconnect"));
  if (!connect || !hasError || !disconnect) return false;
  void* connection = connect(nullptr, nullptr);
  const bool ok = connection && hasError(connection) == 0;
  disconnect(connection);  // also required for a connection in error
  return ok;
}

bool waylandDisplayReachable() {
  if (!env("WAYLAND_SOCKET").empty()) return true;
  if (env("WAYLAND_DISPLAY").empty()) return false;
  Library lib(dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL));
  if (!lib) return false;
  using Connect = void* (*)(const char*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(lib.get(), "wl_display_connect"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(lib.get(), "wl_display_disconnect"));
  if (!connect || !disconnect) return false;
  void* display = connect(nullptr);
  if (!display) return false;
  disconnect(display);
  return true;
}

}  // namespace bq::ui
