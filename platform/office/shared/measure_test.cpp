#include "platform/office/shared/detail/measure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace bq::office {
namespace {

TEST(Measure, PlainNumbersAndUniversalMeasuresInTheAttributesUnit) {
  struct Case {
    const char* text;
    int64_t unitsPerInch;
    std::optional<int64_t> value;
  };
  const Case cases[] = {
      // Plain numbers read as before: integers as they stand (any size),
      // fractions rounded.
      {"240", kTwipsPerInch, 240},
      {"-720", kTwipsPerInch, -720},
      {"99999999999", kTwipsPerInch, 99999999999},
      {"240.5", kTwipsPerInch, 241},
      {" +12.4 ", kHalfPointsPerInch, 12},
      // Every unit of ST_UniversalMeasure.
      {"1in", kTwipsPerInch, 1440},
      {"18pt", kTwipsPerInch, 360},
      {"14pt", kHalfPointsPerInch, 28},
      {"10.5pt", kHalfPointsPerInch, 21},
      {"1pc", kTwipsPerInch, 240},
      {"1pi", kTwipsPerInch, 240},
      {"25.4mm", kTwipsPerInch, 1440},
      {"2.5cm", kTwipsPerInch, 1417},    // 1417.32
      {"21cm", kTwipsPerInch, 11906},    // 11905.51
      {"29.7cm", kTwipsPerInch, 16838},  // 16837.80
      {"-0.5in", kTwipsPerInch, -720},
      {"0.0125in", kHalfPointsPerInch, 2},  // 1.8
      {"007pt", kTwipsPerInch, 140},
      // Not in the schema's pattern.
      {"1.in", kTwipsPerInch, std::nullopt},
      {".5in", kTwipsPerInch, std::nullopt},
      {"+1in", kTwipsPerInch, std::nullopt},
      {" 1in", kTwipsPerInch, std::nullopt},
      {"1 in", kTwipsPerInch, std::nullopt},
      {"1IN", kTwipsPerInch, std::nullopt},
      {"1e2pt", kTwipsPerInch, std::nullopt},
      {"2em", kTwipsPerInch, std::nullopt},
      {"in", kTwipsPerInch, std::nullopt},
      {"-in", kTwipsPerInch, std::nullopt},
      {"", kTwipsPerInch, std::nullopt},
      // Beyond any length a file means.
      {"99999999999999999999in", kTwipsPerInch, std::nullopt},
      {"1e300", kTwipsPerInch, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lengthValue(c.text, c.unitsPerInch), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace bq::office
