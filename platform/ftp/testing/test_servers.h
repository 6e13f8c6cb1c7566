// Test helpers: the FTP servers that ftp_server.sh started for this build
// folder, servers of a test's own on the same folder, a server that accepts
// connections and never answers, and the files on either side.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace bq::ftp::testing {

inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Writes `bytes` to `p`, making its folders.
inline void spit(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// The servers named by $BQ_FTP_TEST_STATE (ftp_server.sh's state folder).
struct TestServers {
  std::filesystem::path state;  // ftp_server.sh's state folder
  std::filesystem::path root;   // the folder both servers serve
  uint16_t port = 0;            // an ordinary server
  uint16_t noPassivePort = 0;   // one that refuses passive mode

  static TestServers fromEnvironment() {
    const char* state = std::getenv("BQ_FTP_TEST_STATE");
    if (!state || !*state) throw std::runtime_error("BQ_FTP_TEST_STATE is not set");
    TestServers s;
    s.state = state;
    std::string root;
    std::ifstream(std::filesystem::path(state) / "root") >> root;
    std::ifstream(std::filesystem::path(state) / "ports") >> s.port >> s.noPassivePort;
    s.root = root;
    if (root.empty() || s.port == 0 || s.noPassivePort == 0) {
      throw std::runtime_error(std::string("no FTP test servers in ") + state);
    }
    return s;
  }
};

// An FTP server process of the test's own (ftp_server.py with --kinds KIND:
// "normal", "nopassive" or "trickle"), on a free port of 127.0.0.1, serving
// the shared servers' folder. The servers of one process share one event
// loop; a test that aborts transfers or moves large files runs against a
// server of its own, so that it cannot hold up the tests on the shared ones.
// The constructor waits (bounded) until the server listens; the destructor
// ends it and waits for it.
class OwnServer {
 public:
  OwnServer(const TestServers& shared, const std::string& kind) {
    std::ifstream server(shared.state / "server");
    std::string python, script;
    std::getline(server, python);
    std::getline(server, script);
    if (python.empty() || script.empty()) {
      throw std::runtime_error("no server command in " + shared.state.string());
    }
    char dirTemplate[] = "/tmp/bq-own-ftp-XXXXXX";
    if (!mkdtemp(dirTemplate)) throw std::runtime_error("cannot make a folder for the server");
    dir_ = dirTemplate;
    const std::string portFile = (dir_ / "port").string();
    std::vector<std::string> args = {python,        script,   "--root",     shared.root.string(),
                                     "--port-file", portFile, "--lifetime", "600",
                                     "--kinds",     kind};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Its output (pyftpdlib's warnings) goes to a log beside the port file.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (dir_ / "log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      std::filesystem::remove_all(dir_);
      throw std::runtime_error("cannot start " + script);
    }
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::ifstream(portFile) >> port_;
      if (port_ != 0) break;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (port_ == 0) {
      const std::string output = slurp(dir_ / "log");
      stop();
      throw std::runtime_error("the " + kind + " FTP server did not start: " + output);
    }
  }
  ~OwnServer() { stop(); }
  OwnServer(const OwnServer&) = delete;
  OwnServer& operator=(const OwnServer&) = delete;

  uint16_t port() const { return port_; }

 private:
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      bool ended = false;
      for (int i = 0; i < 250 && !ended; ++i) {
        ended = waitpid(pid_, &status, WNOHANG) == pid_;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
      pid_ = -1;
    }
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  std::filesystem::path dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// A listening socket on 127.0.0.1 that never accepts: the kernel completes
// the connection, and no byte ever comes back.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        ::listen(fd_, 16) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(a.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace bq::ftp::testing
