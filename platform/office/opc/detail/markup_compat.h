// Markup compatibility (ISO/IEC 29500-3) applied to a parsed part, once, as
// an Office application applies it while it loads the part: the readers of
// the three models then see only the markup their application would act on,
// wherever in the part it stands (style sheets, sheets, drawings, slides,
// documents), and read it with plain child() and children().
//
// - mc:AlternateContent is replaced by the content of the branch that
//   chosenBranch (namespaces.h) takes for the namespaces the model
//   understands: the first mc:Choice whose Requires namespaces it all
//   understands, else the mc:Fallback, else nothing. Declaring a namespace
//   ignorable (mc:Ignorable) does not make a Choice that requires it usable.
// - An element of a namespace the model does not understand, which an
//   mc:Ignorable in scope declares ignorable and an mc:ProcessContent in
//   scope names ("prefix:local" or "prefix:*"), is replaced by its content.
//   Ignorable elements that are not named there stay in the tree: the readers
//   pass over names they do not know, which is what ignoring them means.
//   The prefixes of both attributes are resolved through the namespace
//   declarations in scope where the attribute stands (the renaming of
//   namespaces.h leaves their values as written).
//
// Thread safety: the functions change only the tree they are given.
#pragma once

#include <pugixml.hpp>
#include <string_view>

#include "platform/office/opc/detail/xml_nodes.h"

namespace bq::office {

// What the text of a part holds of markup compatibility, seen without
// parsing it, so that the parts without any are not walked.
struct MarkupCompatibility {
  bool alternateContent = false;  // may hold mc:AlternateContent
  bool processContent = false;    // may hold mc:ProcessContent
  bool any() const { return alternateContent || processContent; }
};

// Of a part's bytes. Text that is not read as UTF-8 (UTF-16, Latin-1) may
// hold either.
MarkupCompatibility markupCompatibilityIn(std::string_view bytes);

// Resolves markup compatibility, as described above, in the content of
// `node` (its descendants; `node` itself stays). Declarations and
// mc:Ignorable / mc:ProcessContent attributes of `node` and its ancestors
// are in scope. `found` says what the part holds: without ProcessContent no
// attribute is looked at. REQUIRES: the tree's nesting is within
// limits::kMaxXmlDepth (the parser's bound).
void resolveMarkupCompatibility(pugi::xml_node node, NsSet understood, MarkupCompatibility found);

// For a tree whose root's children are parsed on demand (xml_tree.h): whether
// root child `child` must have its content before the root's content is
// resolved, because resolving replaces it by that content. Then the content
// of the other children is resolved as each is parsed.
bool replacedByContent(pugi::xml_node child, NsSet understood, MarkupCompatibility found);

}  // namespace bq::office
