#include "platform/db/errors.h"

namespace bq::db {

std::string adoErrorText(int32_t number) {
  switch (number) {
    case adErrInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case adErrNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case adErrIllegalOperation:
      return "Operation is not allowed in this context.";
    case adErrFeatureNotAvailable:
      return "Object or provider is not capable of performing requested operation.";
    case adErrItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case adErrDataConversion:
      return "Application uses a value of the wrong type for the current operation.";
    case adErrObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case adErrObjectOpen:
      return "Operation is not allowed when the object is open.";
    case adErrProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case adErrInvalidConnection:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    default:
      return "Unspecified error";
  }
}

void raiseAdo(int32_t number, const char* source) {
  throw AutomationError(number, source, adoErrorText(number));
}

void raiseNotUpdatable() {
  throw AutomationError(adErrFeatureNotAvailable, kRecordsetSource,
                        "Current Recordset does not support updating. This may be a limitation "
                        "of the provider, or of the selected locktype.");
}

}  // namespace bq::db
