// What the benchmarks need to run their Python peer: the interpreter
// ($BQ_PYTHON, default /usr/bin/python3), shell quoting, and a command's
// standard output.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bqbench {

inline std::string python() {
  const char* p = std::getenv("BQ_PYTHON");
  return p && *p ? p : "/usr/bin/python3";
}

// `s` in single quotes (no single quote may occur in it).
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

// The best time of a side and what it found (points, parts ...), so that an
// empty read cannot pass for a fast one.
struct Timing {
  double seconds = 1e9;
  size_t count = 0;
};

// The best of `runs` calls of `read`, which returns what it found.
template <typename Read>
Timing bestOf(int runs, Read&& read) {
  Timing t;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const size_t count = read();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    t.seconds = std::min(t.seconds, took.count());
    t.count = count;
  }
  return t;
}

// The timing a Python peer prints as "best <seconds> <what> <count>"; exits
// with `failure` on standard error when it prints none.
inline Timing peerTiming(const std::string& command, const char* failure) {
  Timing t;
  const std::string out = capture(command);
  if (std::sscanf(out.c_str(), "best %lf %*s %zu", &t.seconds, &t.count) != 2) {
    std::fprintf(stderr, "%s (%s)\n", failure, python().c_str());
    std::exit(1);
  }
  return t;
}

}  // namespace bqbench
