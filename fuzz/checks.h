// The fuzzers' invariant checks: a broken invariant aborts with its name, so
// that libFuzzer keeps the input; a read of the Office models runs as the
// extractors' guarded steps run it, an AutomationError ending that read only;
// and the entry that turns an input into a package and reads it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/automation_error.h"
#include "fuzz/zip_pieces.h"

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

// Reads the package the input stands for (packageBytes) with `read`.
template <typename Read>
int readInput(const uint8_t* data, size_t size, std::span<const char* const> names, Read&& read) {
  std::string bytes = packageBytes(std::string_view(reinterpret_cast<const char*>(data), size), names);
  guarded([&] { read(std::move(bytes)); });
  return 0;
}

}  // namespace bqfuzz
