// Lengths in attributes, as ISO/IEC 29500 (Transitional) allows them to be
// written: a plain number in the attribute's own unit, or a universal
// measure (ST_UniversalMeasure: a decimal number followed by mm, cm, in, pt,
// pc or pi), which the Office programs take in that unit as they load the
// file. The measure types of WordprocessingML (ST_TwipsMeasure,
// ST_SignedTwipsMeasure, ST_HpsMeasure, ST_SignedHpsMeasure) are such
// unions; every model reads its lengths through lengthValue, so that each
// reads them alike.
//
// Thread safety: all functions are pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace bq::office {

// The units of plain numbers, as how many make an inch.
inline constexpr int64_t kTwipsPerInch = 1440;      // ST_TwipsMeasure, ST_SignedTwipsMeasure
inline constexpr int64_t kHalfPointsPerInch = 144;  // ST_HpsMeasure, ST_SignedHpsMeasure

// The length `text` in units of which `unitsPerInch` make an inch: a plain
// integer as it stands; a plain number with a fraction ("240.0", which some
// producers write) and a universal measure ("-1.5cm", "14pt") rounded to the
// nearest unit, halves away from zero, and nothing when that is beyond
// +-2^53 units. A sign is taken in every type, as for plain numbers. Nothing
// for any other text (blanks or a "+" around a universal measure, "1.cm",
// ".5in", "3 pt", "2em"). REQUIRES: unitsPerInch > 0.
std::optional<int64_t> lengthValue(std::string_view text, int64_t unitsPerInch);

}  // namespace bq::office
