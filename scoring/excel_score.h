// GetExcelScore: runs the extractor of an answer kind on an answer file and
// scores its knowledge points against an expected set.
//
// Thread safety: no shared state of its own; "POWERPOINT" uses the calling
// thread's PowerPoint application.
#pragma once

#include <optional>
#include <string>

#include "common/dictionary.h"
#include "scoring/extractors/reading.h"

namespace bq {

// The share of the keys of oZSD that the extractor of kind cFunc (upper-cased
// first) finds in the file cFN: each matched key is added to d1, each other
// key to d2 (neither is cleared; item 1). "EXCEL" runs ReadExcel with cSheet
// as the sheet name; "WORDTABLE" runs ReadWordTable and "WORDTEST" ReadWord;
// "POWERPOINT" runs ReadPPT with the thread's PowerPoint application
// (OpenPPTApp first: without it the presentation reads nothing and scores 0).
// Returns -1 without reading anything when cFN is empty,
// oZSD is empty, or cFunc is no answer kind. An answer file the extractor
// cannot read scores 0.
//
// Failures (d1 and d2 keep what was stored before): 6 "Overflow" when oZSD
// holds more than 32767 keys.
double GetExcelScore(const std::string& cFunc, KnowledgeSet& oZSD, const std::string& cFN,
                     KnowledgeSet& d1, KnowledgeSet& d2,
                     const std::optional<std::string>& cSheet = std::nullopt);

// GetExcelScore's two halves, for callers that need what the extractor read
// (every point of the file, and whether it could be opened) besides the
// score: GetExcelScore is readAnswer followed by scorePoints.
namespace scoring {

// The reading of the extractor of kind cFunc (upper-cased first; cSheet for
// "EXCEL", as GetExcelScore) on the file cFN; nullopt, without reading, when
// cFunc is no answer kind. Never fails: a file that cannot be opened gives
// a reading with its open failure.
std::optional<extract::Reading> readAnswer(const std::string& cFunc, const std::string& cFN,
                                           const std::optional<std::string>& cSheet = std::nullopt);

// The share of the keys of oZSD that `points` holds with item 1, each such
// key added to d1 and every other key to d2, as GetExcelScore scores; -1 when
// oZSD is empty. Fails with 6 "Overflow" (d1 and d2 untouched) when oZSD
// holds more than 32767 keys.
double scorePoints(KnowledgeSet& oZSD, const KnowledgeSet& points, KnowledgeSet& d1,
                   KnowledgeSet& d2);

}  // namespace scoring

}  // namespace bq
