// The handles of the XML trees the package layer hands out (a part's root
// element and the nodes and attributes under it), named here for the headers
// that declare functions over them. Code that reads a tree includes
// detail/xml_nodes.h, which brings in the parser itself.
#pragma once

namespace pugi {
class xml_node;
class xml_attribute;
}  // namespace pugi
