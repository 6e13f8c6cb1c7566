// The names and namespace kinds of namespaces.h, read from the nodes of the
// trees the package layer hands out, and the walks over their children that
// every model makes. Defined in namespaces.cpp, beside the tables they read,
// so that a name check stays one call.
//
// Thread safety: all functions are pure.
#pragma once

#include <array>
#include <cstddef>
#include <pugixml.hpp>
#include <string_view>

#include "platform/office/opc/namespaces.h"

namespace bq::office {

// Names in parts handed out by Package (namespaces.h).
std::string_view localName(pugi::xml_node node);
std::string_view localName(pugi::xml_attribute attribute);
Ns kindOf(pugi::xml_node node);            // None for an empty handle
Ns kindOf(pugi::xml_attribute attribute);  // None for an empty handle
bool is(pugi::xml_node node, Ns kind, std::string_view local);

// mc:AlternateContent. Markup-compatibility sections offer alternatives: a
// list of mc:Choice elements, each usable by a reader that understands the
// namespaces its Requires attribute names, and an optional mc:Fallback.
// Package resolves them in every part it hands out (markup_compat.h), with
// the namespaces its model understands, by this rule.

// The branch of the AlternateContent element `ac` that a reader
// understanding `understood` takes: the first mc:Choice all of whose Requires
// namespaces are in `understood`, else the mc:Fallback; an empty handle when
// there is neither, or when `ac` is not an mc:AlternateContent.
pugi::xml_node chosenBranch(pugi::xml_node ac, NsSet understood = NsSet::standard());

// Calls fn(child) for each element child of `parent` in order.
template <typename Fn>
void forEachElement(pugi::xml_node parent, Fn&& fn);

// The first element child of `parent` named `name`; empty if none.
pugi::xml_node firstElement(pugi::xml_node parent, std::string_view name);

// The first child of `parent` named as each of `names` (as parent.child(name)
// finds it; empty where there is none), found in one pass over the children:
// for a reader that takes several properties of one element.
template <size_t N>
std::array<pugi::xml_node, N> firstChildren(pugi::xml_node parent,
                                            const std::array<std::string_view, N>& names);

// ---------------------------------------------------------------------------

template <typename Fn>
void forEachElement(pugi::xml_node parent, Fn&& fn) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) fn(child);
}

template <size_t N>
std::array<pugi::xml_node, N> firstChildren(pugi::xml_node parent,
                                            const std::array<std::string_view, N>& names) {
  std::array<pugi::xml_node, N> found;
  size_t left = N;
  for (pugi::xml_node child = parent.first_child(); child && left != 0;
       child = child.next_sibling()) {
    const std::string_view name = child.name();
    for (size_t i = 0; i < N; ++i) {
      if (found[i] || name != names[i]) continue;
      found[i] = child;
      --left;
      break;
    }
  }
  return found;
}

}  // namespace bq::office
