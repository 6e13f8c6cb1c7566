// Differential fuzzer of the Office layer's two text fast paths against the
// tree readers they stand in for, on one XML part made of the input bytes:
//
//  - parseXml, which renames a part's names in its text before parsing
//    (TextCanonicaliser) where it can, against parseXmlByWalk, which parses
//    and renames by walking the tree: the same tree (every node, name, value
//    and attribute) or the same error text;
//  - parseXmlDeferred, which leaves the content of the root's children to
//    be parsed piece by piece, every piece expanded, against the same: the
//    same tree or the same error (an expansion never fails);
//  - readStylesFromText, which reads a style sheet in one pass over its text,
//    against readStyles on the parsed tree: wherever the text reader answers,
//    the part parses and the tree reader gives the same records. Where it
//    gives up, the workbook reads the tree, so its errors are the tree's.
//
// Any difference prints both sides and aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/office/excel/detail/excel_styles.h"
#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/opc/detail/xml_tree_testing.h"

namespace {

using namespace bq::office;
using excel::detail::Styles;

[[noreturn]] void differ(const char* what, const std::string& fast, const std::string& tree) {
  std::fprintf(stderr, "fast path and tree differ: %s\n--- fast:\n%s\n--- tree:\n%s\n", what,
               fast.c_str(), tree.c_str());
  std::abort();
}

bool sameRecords(const Styles& a, const Styles& b) {
  return a.fonts == b.fonts && a.fills == b.fills && a.borders == b.borders && a.xfs == b.xfs &&
         a.numFmts == b.numFmts && a.mdw == b.mdw && a.palette == b.palette &&
         a.indexed == b.indexed && a.theme == b.theme;
}

std::string summary(const Styles& s) {
  return std::to_string(s.fonts.size()) + " fonts, " + std::to_string(s.fills.size()) + " fills, " +
         std::to_string(s.borders.size()) + " borders, " + std::to_string(s.xfs.size()) + " xfs, " +
         std::to_string(s.numFmts.size()) + " number formats, mdw " + std::to_string(s.mdw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  const XmlParse fastParse = testing::parseWithBudget(bytes);
  const std::string fast = testing::outcome(fastParse);
  const std::string walk = testing::outcome(testing::parseByWalk(bytes));
  if (fast != walk) differ("parseXml against parseXmlByWalk", fast, walk);
  const std::string deferred = testing::outcome(testing::parseDeferredWhole(bytes));
  if (deferred != walk) differ("parseXmlDeferred against parseXmlByWalk", deferred, walk);

  Styles fromText;
  if (excel::detail::readStylesFromText(bytes, fromText)) {
    if (!fastParse.tree) differ("the text reader read a part the parser refuses", "read", fast);
    Styles fromTree;
    excel::detail::readStyles(fastParse.tree->document.document_element(), fromTree);
    if (!sameRecords(fromText, fromTree))
      differ("readStylesFromText against readStyles", summary(fromText), summary(fromTree));
  }
  return 0;
}
