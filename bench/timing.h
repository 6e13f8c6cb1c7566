// The timing of a benchmark side: the best of its runs and what it found
// (points, parts ...), so that an empty read cannot pass for a fast one;
// from a run in this process or from a Python peer that times itself.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/peer.h"

namespace bqbench {

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
