// A private folder of the fuzzing process under the system's temporary
// folder: made empty when it is first used, removed with everything in it
// when the process exits.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace bqfuzz {

struct Sandbox {
  explicit Sandbox(const std::string& prefix)
      : path(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~Sandbox() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  std::filesystem::path path;
};

}  // namespace bqfuzz
