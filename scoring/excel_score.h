// GetExcelScore: runs the extractor of an answer kind on an answer file and
// scores its knowledge points against an expected set.
//
// Thread safety: no shared state of its own; "POWERPOINT" uses the calling
// thread's PowerPoint application.
#pragma once

#include <optional>
#include <string>

#include "common/dictionary.h"

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

}  // namespace bq
