// What an extractor made of one answer file: the knowledge points it found,
// and whether it could open the file at all.
//
// The extractors' own entry points (ReadWord, ReadExcel, ReadPPT ...) never
// fail: a file the Office program could not open adds nothing, exactly like
// a file that opened and held no point. Callers that must tell the two apart
// (a marking front end choosing its note) read through the functions that
// return a Reading; the entry points are built on them.
//
// Thread safety: plain values.
#pragma once

#include <optional>
#include <utility>

#include "common/automation_error.h"
#include "common/dictionary.h"

namespace bq::extract {

struct Reading {
  // The points found, in the order the extractor added them (item 1 each).
  // Empty when the file could not be opened.
  KnowledgeSet points;
  // Why the file could not be opened (the object model's refusal: not found,
  // no Office file, a legacy file LibreOffice could not convert ...); empty
  // when it was opened, whatever it held. A failure after the open ends the
  // reading with the points found so far and is not reported here.
  std::optional<AutomationError> openFailure;

  bool opened() const { return !openFailure.has_value(); }
};

// Adds `points` to dObj as the extractor's own additions would have: each
// item set, new keys at the end in their order. Takes them over whole when
// dObj is empty.
inline void addPoints(KnowledgeSet& dObj, KnowledgeSet&& points) {
  if (dObj.empty()) {
    dObj = std::move(points);
    return;
  }
  for (const auto& [key, item] : points) dObj.set(key, item);
}

}  // namespace bq::extract
