#include "platform/office/testing/tree_walk.h"

#include <pugixml.hpp>
#include <string>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/shared/limits.h"

namespace bq::office::testing {
namespace {

// Walks every element of the part (without recursion) and the branches of
// its AlternateContent sections.
size_t walk(pugi::xml_node root, Check check) {
  size_t elements = 0;
  pugi::xml_node node = root;
  while (node) {
    if (node.type() == pugi::node_element) {
      ++elements;
      check(*node.name() != '\0', "element without a name");
      if (is(node, Ns::MarkupCompatibility, "AlternateContent")) {
        chosenBranch(node);
        chosenBranch(node, NsSet{Ns::PowerPoint2010, Ns::WordprocessingShape});
      }
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != root && !node.next_sibling()) node = node.parent();
    node = node == root ? pugi::xml_node() : node.next_sibling();
  }
  size_t direct = 0;
  forEachElement(root, [&](pugi::xml_node) { ++direct; });
  return elements + direct;
}

}  // namespace

size_t walkPart(const Part& part, Check check) { return walk(part.xml(), check); }

void walkXml(std::string_view text, Check check) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  XmlParse parse = parseXml(std::string(text), budget);
  check(parse.tree ? parse.error.empty() : !parse.error.empty(), "parse status");
  if (parse.tree) walk(parse.tree->document.document_element(), check);
}

}  // namespace bq::office::testing
