// Test helper: a recording opener. While the object lives, $BQ_OPEN is a
// script that appends each path the shell layer opens, one per line, to a
// log file; the previous $BQ_OPEN comes back afterwards.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace bq::testing {

class OpenRecorder {
 public:
  explicit OpenRecorder(const std::filesystem::path& dir)
      : script_(dir / "record-open.sh"), log_(dir / "opened.log") {
    std::ofstream(script_) << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << log_.string() << "'\n";
    std::filesystem::permissions(script_, std::filesystem::perms(0755));
    if (const char* v = std::getenv("BQ_OPEN")) previous_ = v;
    setenv("BQ_OPEN", script_.c_str(), 1);
  }
  ~OpenRecorder() {
    if (previous_) {
      setenv("BQ_OPEN", previous_->c_str(), 1);
    } else {
      unsetenv("BQ_OPEN");
    }
  }
  OpenRecorder(const OpenRecorder&) = delete;
  OpenRecorder& operator=(const OpenRecorder&) = delete;

  // The paths opened so far. The opener runs detached: waits up to `wait`
  // for at least `atLeast` of them.
  std::vector<std::string> opened(size_t atLeast = 0,
                                  std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (true) {
      std::vector<std::string> lines;
      std::ifstream in(log_);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      if (lines.size() >= atLeast || std::chrono::steady_clock::now() >= until) return lines;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 private:
  std::filesystem::path script_;
  std::filesystem::path log_;
  std::optional<std::string> previous_;
};

}  // namespace bq::testing
