// The guard of the extractors' steps: each knowledge point is read and
// added by a step of its own, and a read that the object model refuses
// (AutomationError, as the Office program would refuse it) ends that step
// only; the next step runs. Nothing but AutomationError is swallowed.
//
// Thread safety: no state.
#pragma once

#include <utility>

#include "common/automation_error.h"

namespace bq::extract {

template <typename F>
void step(F&& body) {
  try {
    std::forward<F>(body)();
  } catch (const AutomationError&) {
  }
}

}  // namespace bq::extract
