#include "scoring/excel_score.h"

#include <cstdint>
#include <limits>

#include "common/automation_error.h"
#include "common/text.h"
#include "scoring/extractors/excel_reader.h"
#include "scoring/extractors/ppt_reader.h"
#include "scoring/extractors/word_reader.h"

namespace bq {
namespace {

// The count of oZSD's keys, a 16-bit integer.
int16_t keyCount(const KnowledgeSet& oZSD) {
  if (oZSD.Count() > static_cast<size_t>(std::numeric_limits<int16_t>::max()))
    raiseError(err::kOverflow);
  return static_cast<int16_t>(oZSD.Count());
}

}  // namespace

namespace scoring {

std::optional<extract::Reading> readAnswer(const std::string& cFunc, const std::string& cFN,
                                           const std::optional<std::string>& cSheet) {
  const std::string kind = ucase(cFunc);
  if (kind == "EXCEL") return extract::readExcel(cFN, cSheet);
  if (kind == "WORDTABLE") return extract::readWordTable(cFN);
  if (kind == "WORDTEST") return extract::readWord(cFN);
  if (kind == "POWERPOINT") return extract::readPPT(cFN);
  return std::nullopt;
}

double scorePoints(KnowledgeSet& oZSD, const KnowledgeSet& points, KnowledgeSet& d1,
                   KnowledgeSet& d2) {
  const int16_t n = keyCount(oZSD);
  if (n <= 0) return -1;
  // A snapshot of the keys: d1 or d2 may be the very dictionary oZSD is.
  int16_t count = 0;
  for (const std::string& key : oZSD.Keys()) {
    const int16_t* item = points.find(key);
    if (item != nullptr && *item == 1) {
      ++count;  // never past n, so never past the 16-bit range
      d1.set(key, 1);
    } else {
      d2.set(key, 1);
    }
  }
  return static_cast<double>(count) / n;
}

}  // namespace scoring

double GetExcelScore(const std::string& cFunc, KnowledgeSet& oZSD, const std::string& cFN,
                     KnowledgeSet& d1, KnowledgeSet& d2, const std::optional<std::string>& cSheet) {
  if (cFN.empty()) return -1;
  if (keyCount(oZSD) <= 0) return -1;
  const std::optional<extract::Reading> reading = scoring::readAnswer(cFunc, cFN, cSheet);
  if (!reading) return -1;
  return scoring::scorePoints(oZSD, reading->points, d1, d2);
}

}  // namespace bq
