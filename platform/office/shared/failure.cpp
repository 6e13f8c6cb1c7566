#include "platform/office/shared/failure.h"

namespace bq::office {

AutomationError Failure::make(std::string_view reason) const {
  std::string description = subject;
  description += ": ";
  description += reason;
  return AutomationError(number, source, std::move(description));
}

void Failure::raise(std::string_view reason) const { throw make(reason); }

}  // namespace bq::office
