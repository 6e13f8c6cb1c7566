#include "scoring/excel_score.h"

#include <cstdint>
#include <limits>

#include "common/automation_error.h"
#include "common/text.h"
#include "scoring/extractors/excel_reader.h"
#include "scoring/extractors/ppt_reader.h"
#include "scoring/extractors/word_reader.h"

namespace bq {

double GetExcelScore(const std::string& cFunc, KnowledgeSet& oZSD, const std::string& cFN,
                     KnowledgeSet& d1, KnowledgeSet& d2, const std::optional<std::string>& cSheet) {
  if (cFN.empty()) return -1;
  // The count is a 16-bit integer.
  if (oZSD.Count() > static_cast<size_t>(std::numeric_limits<int16_t>::max()))
    raiseError(err::kOverflow);
  const auto n = static_cast<int16_t>(oZSD.Count());
  if (n <= 0) return -1;

  KnowledgeSet set;
  const std::string kind = ucase(cFunc);
  if (kind == "EXCEL") {
    ReadExcel(cFN, set, cSheet);
  } else if (kind == "WORDTABLE") {
    ReadWordTable(cFN, set);
  } else if (kind == "WORDTEST") {
    ReadWord(cFN, set);
  } else if (kind == "POWERPOINT") {
    ReadPPT(cFN, set);
  } else {
    return -1;
  }

  // A snapshot of the keys: d1 or d2 may be the very dictionary oZSD is.
  int16_t count = 0;
  for (const std::string& key : oZSD.Keys()) {
    const int16_t* item = set.find(key);
    if (item != nullptr && *item == 1) {
      ++count;  // never past n, so never past the 16-bit range
      d1.set(key, 1);
    } else {
      d2.set(key, 1);
    }
  }
  return static_cast<double>(count) / n;
}

}  // namespace bq
