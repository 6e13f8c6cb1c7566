// The package fuzzer's walks over the trees the package layer hands out,
// behind a header that names no parser type: the fuzzer, outside the Office
// layer, reaches the trees through these alone.
//
// Thread safety: pure functions over the given part or text.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/office/opc/package.h"

namespace bq::office::testing {

// Told each invariant a walk checks: `ok` false when it is broken, `what`
// naming it.
using Check = void (*)(bool ok, const char* what);

// Walks every element of the tree of `part` (Part::xml(), which throws as it
// does) without recursion, and the branches of its AlternateContent
// sections; the number of elements walked (the root's children counted once
// more).
size_t walkPart(const Part& part, Check check);

// Parses `text` as a part alone, with the markup budget of a package, checks
// that the parse gives a tree or an error and never both, and walks the tree
// as walkPart does.
void walkXml(std::string_view text, Check check);

}  // namespace bq::office::testing
