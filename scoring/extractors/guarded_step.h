// The guarded step of the extractors: a read the Office object model refuses
// (AutomationError) ends the step only, and the extraction goes on with the
// next. Nothing else is swallowed.
#pragma once

#include <utility>

#include "common/automation_error.h"

namespace bq {

template <typename F>
void step(F&& body) {
  try {
    std::forward<F>(body)();
  } catch (const AutomationError&) {
  }
}

}  // namespace bq
