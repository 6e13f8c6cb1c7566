// Parsing of one XML part: pugixml over the part's bytes, kept in memory,
// with every name given its canonical prefix (namespaces.h) and the nesting
// and names checked, either by one pass over the text before parsing or, for
// the parts that pass leaves alone, by one walk over the tree after it.
//
// pugixml's parser does not recurse, so a hostile nest cannot overflow the
// stack while parsing; the text pass and the walk are iterative too and stop
// at limits::kMaxXmlDepth. Freeing a document frees its memory pages without
// walking the tree. Memory is bounded before parsing: the part's '<' and '='
// bytes are taken from the package's markup budget, and a part that would
// exceed it is not parsed.
//
// Text nodes are kept as written, also when they hold only blanks and are
// the only child of their element (a run's " " in w:t or a:t); blanks
// between elements are dropped. Line ends are normalised to LF and entity
// references expanded, as XML requires. Document type declarations are
// skipped and never expanded.
//
// Thread safety: a tree belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace bq::office {

struct XmlTree {
  std::string bytes;  // parsed in place: names and texts point into it
  pugi::xml_document document;
  // Of a tree from parseXmlDeferred: the canonical text of the whole part,
  // and where in it the content of each child element of the root lies
  // that is not parsed yet (by the child's node).
  std::string text;
  std::unordered_map<const void*, std::pair<size_t, size_t>> deferred;
};

struct XmlParse {
  std::unique_ptr<XmlTree> tree;  // null when the part cannot be used
  std::string error;              // then: what is wrong, with the byte offset where known
};

// Parses `bytes`, taking its markup from `markupLeft`.
XmlParse parseXml(std::string bytes, uint64_t& markupLeft);

// The same, with every name renamed by walking the parsed tree. parseXml
// renames most parts in the text before parsing, which is faster, and walks
// the tree only for the rest; both give the same tree or the same error.
// Exposed so that tests and the differential fuzzer
// (fuzz/xml_fast_paths_fuzz.cpp) can compare the two.
XmlParse parseXmlByWalk(std::string bytes, uint64_t& markupLeft);

// The same, except that the content (children and text) of the root's child
// elements may be left unparsed until expandXml asks for it, for a reader
// that takes a few children of a large part (a style sheet). The markup
// taken and the checks made are parseXml's: a part it accepts is one that
// parseXml accepts, and a child once expanded is the child parseXml gives.
XmlParse parseXmlDeferred(std::string bytes, uint64_t& markupLeft);

// Parses the content of `child`, a child element of the root of `tree`,
// where parseXmlDeferred left it out; nothing to do for other nodes. False,
// with `error` set, when it does not parse (which the checks of
// parseXmlDeferred leave no room for).
bool expandXml(XmlTree& tree, pugi::xml_node child, std::string& error);

// Takes the markup of `bytes` (their '<' and '=' bytes) from `markupLeft`,
// as parseXml does before parsing; false, with `error` set and `markupLeft`
// unchanged, when it is not enough. For readers that scan a part's text
// without parsing it: they are held to the same budget.
bool takeXmlMarkup(std::string_view bytes, uint64_t& markupLeft, std::string& error);

}  // namespace bq::office
