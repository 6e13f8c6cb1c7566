// Bounds that a hostile or damaged Office file cannot make the readers
// exceed. They are checked before the memory they guard is taken: a file
// that would exceed one cannot be opened (or its part cannot be read), with
// an AutomationError that names the bound.
//
// The values leave room for every exam answer and every real-world document
// we have seen; a scored answer is a few hundred kilobytes.
#pragma once

#include <chrono>
#include <cstdint>

namespace bq::office::limits {

// Files: the package file itself and a legacy file handed to LibreOffice.
inline constexpr uint64_t kMaxFileBytes = 256ull << 20;

// Zip entries of a package, counted before anything is read.
inline constexpr uint64_t kMaxParts = 10'000;

// Sum of the declared uncompressed sizes of all entries.
inline constexpr uint64_t kMaxTotalUncompressedBytes = 512ull << 20;

// An entry larger than kRatioCheckedAbove may expand at most this many times
// its compressed size (deflate reaches about 1032:1 on runs of one byte; XML
// written by Office compresses 5:1 to 30:1).
inline constexpr uint64_t kMaxCompressionRatio = 200;
inline constexpr uint64_t kRatioCheckedAbove = 1ull << 20;

// Element nesting of an XML part (the root element is depth 1). Office's own
// documents stay below 30.
inline constexpr uint32_t kMaxXmlDepth = 256;

// Markup of the XML parts parsed from one package: the '<' and '=' bytes of
// each part, counted before it is parsed. A '<' makes at most one element
// and one text node (64 bytes each), a '=' at most one attribute (40 bytes),
// so this bounds the parsed trees at about 512 MiB even for parts made of
// nothing but "<a/>x". A worksheet of 100,000 filled cells has about 600,000.
inline constexpr uint64_t kMaxXmlMarkupPerPackage = 4'000'000;

// How long LibreOffice may take to convert one legacy file.
inline constexpr std::chrono::seconds kConversionTimeout{60};

}  // namespace bq::office::limits
