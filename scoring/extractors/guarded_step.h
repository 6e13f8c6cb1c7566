// The guard of the extractors' steps: each knowledge point is read and
// added by a step of its own, and a read that the object model refuses
// (AutomationError, as the Office program would refuse it) ends that step
// only; the next step runs. Nothing but AutomationError is swallowed.
//
// Thread safety: no state.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include "common/automation_error.h"

namespace bq::extract {

template <typename F>
void step(F&& body) {
  guarded(std::forward<F>(body));
}

// A value that several steps read, read once: the first step that asks
// reads it; a read that fails leaves nothing behind, so the next step reads
// it again and fails as it would have on its own.
template <typename Read>
class ReadOnce {
 public:
  explicit ReadOnce(Read read) : read_(std::move(read)) {}
  const auto& operator()() {
    if (!value_) value_.emplace(read_());
    return *value_;
  }

 private:
  Read read_;
  std::optional<std::invoke_result_t<Read&>> value_;
};

}  // namespace bq::extract
