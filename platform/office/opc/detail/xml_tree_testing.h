// Test helpers that compare the two ways xml_tree.h parses a part.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/shared/limits.h"

namespace bq::office::testing {

// Everything a model can see of a parse: the error, or every node with its
// name, value and attributes, in document order.
inline std::string outcome(const XmlParse& p) {
  if (!p.tree) return "error: " + p.error;
  std::string out;
  struct Walker : pugi::xml_tree_walker {
    std::string* out;
    bool for_each(pugi::xml_node& n) override {
      *out += std::to_string(depth()) + ":" + std::to_string(n.type()) + "<" + n.name() + ">[" +
              n.value() + "]";
      for (pugi::xml_attribute a : n.attributes())
        *out += std::string(" ") + a.name() + "=[" + a.value() + "]";
      *out += '\n';
      return true;
    }
  } walker;
  walker.out = &out;
  p.tree->document.traverse(walker);
  return out;
}

// The parse a model gets (the text pass where it applies) and the tree walk
// alone, each with a fresh budget.
inline XmlParse parseWithBudget(const std::string& xml) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  return parseXml(xml, budget);
}
inline XmlParse parseByWalk(const std::string& xml) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  return parseXmlByWalk(xml, budget);
}

// The deferred parse with every child of the root expanded: the whole tree,
// or the error of the parse or of the first expansion that fails.
inline XmlParse parseDeferredWhole(const std::string& xml) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  XmlParse p = parseXmlDeferred(xml, budget);
  if (!p.tree) return p;
  for (pugi::xml_node child = p.tree->document.document_element().first_child(); child;
       child = child.next_sibling()) {
    std::string error;
    if (!expandXml(*p.tree, child, error)) {
      p.tree.reset();
      p.error = "expanding: " + error;
      break;
    }
  }
  return p;
}

}  // namespace bq::office::testing
