// Test helpers: the FTP servers that ftp_server.sh started for this build
// folder, a server that accepts connections and never answers, and the
// files on either side.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

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
  std::filesystem::path root;  // the folder both servers serve
  uint16_t port = 0;           // an ordinary server
  uint16_t noPassivePort = 0;  // one that refuses passive mode

  static TestServers fromEnvironment() {
    const char* state = std::getenv("BQ_FTP_TEST_STATE");
    if (!state || !*state) throw std::runtime_error("BQ_FTP_TEST_STATE is not set");
    TestServers s;
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
