// How the package layer reports a file it cannot open or read: one
// AutomationError whose number and source the caller chose (see
// OpenOptions in package.h) and whose description names the file and the
// cause.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/automation_error.h"

namespace bq::office {

struct Failure {
  int32_t number = 0;
  std::string source;
  std::string subject;  // the file, as the caller named it

  // AutomationError(number, source, subject + ": " + reason).
  AutomationError make(std::string_view reason) const;
  // Throws make(reason).
  [[noreturn]] void raise(std::string_view reason) const;
};

}  // namespace bq::office
