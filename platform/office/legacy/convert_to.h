// The format a legacy binary Office file is converted to (the package
// layer's OpenOptions, legacy_conversion.h).
#pragma once

namespace bq::office {

// None refuses legacy files.
enum class ConvertTo { None, Docx, Xlsx, Pptx };

}  // namespace bq::office
