// The fuzzers' invariant checks: a broken invariant aborts with its name, so
// that libFuzzer keeps the input; a read of the Office models runs as the
// extractors' guarded steps run it, an AutomationError ending that read only.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "common/automation_error.h"

namespace bqfuzz {

inline void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

template <typename F>
void guarded(F&& read) {
  try {
    read();
  } catch (const bq::AutomationError& e) {
    check(e.number() != 0, "error without a number");
  }
}

}  // namespace bqfuzz
