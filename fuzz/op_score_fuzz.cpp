// Operation lists from arbitrary bytes. The input is cut at its first 0 byte
// into an expected list and an examinee's list.
//
// Checks:
// - GetOpScore equals the rule applied step by step (every item of the
//   examinee's list compared upper-cased with the expected items in order,
//   counting at the first equal one), and is -1 exactly when a list is too
//   short; it fails only with Overflow, and only for a list beyond 32767 items.
// - SplitOpZSD keeps no empty item and no comma inside an item; splitting the
//   JoinOpZSD of a set gives the same keys in the same order.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "common/text.h"
#include "scoring/knowledge/operation_list.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// The score as the rule's steps state it, with the quadratic inner loop.
double referenceScore(const std::string& cZSD, const std::string& cSome, bool& overflow) {
  overflow = false;
  if (cZSD.empty()) return -1;
  std::vector<std::string> e = bq::split(bq::replaceAll(cZSD, ";", ""), ",");
  std::vector<std::string> s = bq::split(bq::replaceAll(cSome, ";", ""), ",");
  if (e.size() > 32767 || s.size() > 32767) {
    overflow = true;
    return 0;
  }
  if (e.size() < 2 || s.size() < 2) return -1;
  int count = 0;
  for (const std::string& item : s) {
    for (const std::string& want : e) {
      if (bq::ucase(item) == bq::ucase(want)) {
        ++count;
        break;
      }
    }
  }
  return static_cast<double>(count) / static_cast<double>(e.size());
}

void checkSplitJoin(const std::string& s) {
  bq::KnowledgeSet d;
  bq::SplitOpZSD(s, d);
  size_t commas = 0;
  for (char c : s) commas += c == ',';
  check(d.Count() <= commas + 1);
  for (const auto& [key, item] : d) {
    check(!key.empty());
    check(key.find(',') == std::string::npos);
    check(item == 1);
  }
  const std::string joined = bq::JoinOpZSD(d);
  bq::KnowledgeSet again;
  bq::SplitOpZSD(joined, again);
  check(again == d);
  check(bq::JoinOpZSD(again) == joined);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string a(input.substr(0, cut));
  const std::string b(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1));

  bool overflow = false;
  const double expected = referenceScore(a, b, overflow);
  try {
    const double score = bq::GetOpScore(a, b);
    check(!overflow);
    check(score == expected);
    check(score == -1 || score >= 0);
  } catch (const bq::AutomationError& e) {
    check(overflow && e.number() == bq::err::kOverflow);
  }

  checkSplitJoin(a);
  checkSplitJoin(b);
  return 0;
}
