#include "platform/ui/display.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace bq::ui {
namespace {

namespace fs = std::filesystem;

class Platforms : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-platforms-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    for (const char* f : {"libqxcb.so", "libqoffscreen.so", "libqwayland-generic.so"}) {
      std::ofstream(dir_ / f) << "";
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  DisplayEnvironment env(std::string qpa, bool x11, bool wayland) {
    DisplayEnvironment e;
    e.qpaPlatform = std::move(qpa);
    e.pluginDirs = {dir_ / "missing", dir_};
    e.x11Reachable = [x11] { return x11; };
    e.waylandReachable = [wayland] { return wayland; };
    e.waylandNamed = true;
    return e;
  }
  fs::path dir_;
};

TEST_F(Platforms, KeepsOnlyWhatCanStart) {
  struct Case {
    const char* name;
    std::string qpa;
    bool x11, wayland;
    std::string platforms, why;
  };
  const Case cases[] = {
      {"default on X", "", true, false, "xcb", "wayland: no Wayland display can be reached"},
      {"default on both", "", true, true, "xcb;wayland", ""},
      {"no display", "", false, false, "",
       "xcb: no X display can be reached; wayland: no Wayland display can be reached"},
      {"offscreen with arguments", "offscreen:fontengine=freetype", false, false,
       "offscreen:fontengine=freetype", ""},
      {"fallback list", "xcb;offscreen", false, false, "offscreen",
       "xcb: no X display can be reached"},
      {"plugin missing", "nosuch;eglfs", true, true, "",
       "nosuch: the Qt platform plugin is not installed; "
       "eglfs: the Qt platform plugin is not installed"},
      {"empty entries", ";;", true, false, "xcb", "wayland: no Wayland display can be reached"},
      {"wayland asked", "wayland", true, false, "", "wayland: no Wayland display can be reached"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PlatformChoice choice = usablePlatforms(env(c.qpa, c.x11, c.wayland));
    EXPECT_EQ(choice.platforms, c.platforms);
    EXPECT_EQ(choice.why, c.why);
  }
}

TEST_F(Platforms, DefaultOrderFollowsTheSession) {
  DisplayEnvironment e = env("", true, true);
  e.sessionType = "wayland";
  EXPECT_EQ(usablePlatforms(e).platforms, "wayland;xcb");
  e.waylandNamed = false;  // no Wayland display named: X only, even in a Wayland session
  EXPECT_EQ(usablePlatforms(e).platforms, "xcb");
  e.pluginDirs = {dir_ / "missing"};
  EXPECT_EQ(usablePlatforms(e).why, "xcb: the Qt platform plugin is not installed");
  e.pluginDirs.clear();  // not checked
  EXPECT_EQ(usablePlatforms(e).platforms, "xcb");
}

class Env {
 public:
  Env(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~Env() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DisplayProbe, WithoutADisplayNothingIsReachable) {
  Env display("DISPLAY", nullptr);
  Env wayland("WAYLAND_DISPLAY", nullptr);
  Env socket("WAYLAND_SOCKET", nullptr);
  EXPECT_FALSE(x11DisplayReachable());
  EXPECT_FALSE(waylandDisplayReachable());
  char tmpl[] = "/tmp/bq-wayland-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  Env runtime("XDG_RUNTIME_DIR", tmpl);
  Env named("WAYLAND_DISPLAY", "wayland-bq-none");
  EXPECT_FALSE(waylandDisplayReachable()) << "a named compositor that is not running";
  fs::remove_all(tmpl);
}

// A server that accepts the connection and hangs up is no X server: the
// probe says so and returns instead of waiting for a reply.
TEST(DisplayProbe, APeerThatIsNoXServerIsNotReachable) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);
  ASSERT_GE(port, 6000) << "X displays are counted from port 6000";
  std::thread server([listener] {
    const int peer = accept(listener, nullptr, nullptr);
    if (peer >= 0) close(peer);
  });
  Env display("DISPLAY", ("127.0.0.1:" + std::to_string(port - 6000)).c_str());
  const auto start = std::chrono::steady_clock::now();
  const bool reachable = x11DisplayReachable();
  EXPECT_FALSE(reachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  shutdown(listener, SHUT_RDWR);  // ends accept() if libxcb never connected
  server.join();
  close(listener);
}

}  // namespace
}  // namespace bq::ui
