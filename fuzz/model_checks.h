// What the Office model fuzzers share: aborting on a broken invariant, the
// extractors' way of running one read (only AutomationError may leave it,
// and it must carry a number), and the entry that turns an input into a
// package and reads it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "fuzz/zip_pieces.h"

namespace bqfuzz {

inline void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

// Runs one read the way the extractors' guarded steps do: an
// AutomationError ends that read only.
template <typename F>
void guarded(F&& read) {
  try {
    std::forward<F>(read)();
  } catch (const bq::AutomationError& e) {
    check(e.number() != 0, "error without a number");
  }
}

// Reads the package the input stands for (packageOf) with `read`.
template <typename Read>
int readInput(const uint8_t* data, size_t size, std::span<const char* const> names, Read&& read) {
  std::vector<std::string> pieces;
  std::string bytes =
      packageOf(std::string_view(reinterpret_cast<const char*>(data), size), names, pieces);
  guarded([&] { read(std::move(bytes)); });
  return 0;
}

}  // namespace bqfuzz
