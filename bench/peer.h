// What the benchmarks share for running their peer: a Python script run with
// $BQ_PYTHON (default /usr/bin/python3), its standard output captured.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bqbench {

inline std::string python() {
  const char* p = std::getenv("BQ_PYTHON");
  return p && *p ? p : "/usr/bin/python3";
}

inline std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs `command` and returns its standard output; empty when it fails.
inline std::string capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (pclose(pipe) != 0) out.clear();
  return out;
}

}  // namespace bqbench
