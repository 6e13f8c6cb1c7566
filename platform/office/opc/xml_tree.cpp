#include "platform/office/opc/detail/xml_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/office/opc/detail/tag_lexer.h"
#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/detail/xml_syntax.h"
#include "platform/office/shared/detail/text_util.h"
#include "platform/office/shared/limits.h"

namespace bq::office {
namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

// A name with at most one colon, with something on either side of it. XML
// itself allows names such as ":" or "a:b:c", which no namespace-aware
// reader (and no Office program) takes.
bool isQualifiedName(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) return !name.empty();
  return colon > 0 && colon + 1 < name.size() &&
         name.find(':', colon + 1) == std::string_view::npos;
}

struct Declaration {
  std::string_view prefix;
  Ns kind;
  uint32_t depth;
};

// The kind of namespace that `prefix` names under the declarations in
// scope, the innermost first.
Ns resolveIn(const std::vector<Declaration>& scope, std::string_view prefix) {
  if (prefix == "xml") return Ns::Xml;
  for (auto it = scope.rbegin(); it != scope.rend(); ++it)
    if (it->prefix == prefix) return it->kind;
  return prefix.empty() ? Ns::None : Ns::Unknown;
}

// pugixml takes several top-level elements, or text beside the root, as
// siblings; XML allows one root element and nothing else but comments and
// processing instructions.
bool hasOneRoot(const pugi::xml_document& doc, std::string& error) {
  int roots = 0;
  for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling()) {
    const pugi::xml_node_type type = top.type();
    if (type == pugi::node_element) ++roots;
    if ((type == pugi::node_element && roots > 1) || type == pugi::node_pcdata ||
        type == pugi::node_cdata) {
      error = "not well-formed XML (content after the root element at byte " +
              std::to_string(top.offset_debug()) + ")";
      return false;
    }
  }
  return true;
}

// Rewrites names to canonical prefixes, keeping track of the namespace
// declarations in scope.
class Canonicaliser {
 public:
  // False (and error() set) when the tree nests too deeply, a name is no
  // qualified name, an element repeats an attribute, or memory ran out.
  // REQUIRES: the document has one root (hasOneRoot).
  bool run(pugi::xml_document& doc);
  const std::string& error() const { return error_; }

 private:
  Ns resolve(std::string_view prefix) const;
  bool enter(pugi::xml_node element, uint32_t depth);
  void leave(uint32_t depth);
  bool rename(std::string_view name, Ns kind, std::string_view prefix, std::string_view local);
  bool uniqueAttributes(pugi::xml_node element, ptrdiff_t at);

  std::vector<Declaration> scope_;
  std::string scratch_;
  std::string error_;
};

Ns Canonicaliser::resolve(std::string_view prefix) const { return resolveIn(scope_, prefix); }

// Sets scratch_ to the canonical form of `name` (with `prefix` as written);
// true when it differs. Unknown namespaces keep their prefix behind a "?", so
// that two of them stay apart.
bool Canonicaliser::rename(std::string_view name, Ns kind, std::string_view prefix,
                           std::string_view local) {
  // A name already canonical stays as it is.
  if (kind == Ns::None ? prefix.empty() : kind != Ns::Unknown && !prefix.empty() &&
                                  prefix == canonicalPrefix(kind))
    return false;
  scratch_.clear();
  if (kind != Ns::None) {
    scratch_ += canonicalPrefix(kind);
    if (kind == Ns::Unknown) scratch_ += prefix;
    scratch_ += ':';
  }
  scratch_ += local;
  return scratch_ != name;
}

// pugixml does not check that an element's attributes differ by name, which
// XML requires; after the renaming, two prefixes of one namespace collide too.
bool Canonicaliser::uniqueAttributes(pugi::xml_node element, ptrdiff_t at) {
  // Most elements have a handful: compare those pairwise, sort the rest.
  std::array<std::string_view, 8> few;
  std::vector<std::string_view> many;
  size_t count = 0;
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    if (count < few.size()) {
      few[count] = a.name();
    } else {
      if (many.empty()) many.assign(few.begin(), few.end());
      many.push_back(a.name());
    }
    ++count;
  }
  std::string_view twin;
  if (many.empty()) {
    for (size_t i = 0; i < count && twin.empty(); ++i)
      for (size_t j = i + 1; j < count; ++j)
        if (few[i] == few[j]) {
          twin = few[i];
          break;
        }
  } else {
    std::sort(many.begin(), many.end());
    auto it = std::adjacent_find(many.begin(), many.end());
    if (it != many.end()) twin = *it;
  }
  if (twin.empty()) return true;
  error_ = "not well-formed XML (attribute \"" + std::string(twin) + "\" given twice at byte " +
           std::to_string(at) + ")";
  return false;
}

bool Canonicaliser::enter(pugi::xml_node element, uint32_t depth) {
  if (depth > limits::kMaxXmlDepth) {
    error_ = "elements nest deeper than " + std::to_string(limits::kMaxXmlDepth) + " levels";
    return false;
  }
  // Before the renaming, while the name still lies in the parsed bytes.
  const ptrdiff_t at = element.offset_debug();
  // One walk checks the attribute names and takes the declarations; a
  // declaration taken before a failure does not matter, as the parse fails.
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    std::string_view aname = a.name();
    if (!isQualifiedName(aname)) {
      error_ = "not well-formed XML (attribute name \"" + std::string(aname) +
               "\" is no qualified name at byte " + std::to_string(at) + ")";
      return false;
    }
    if (aname.size() >= 5 && aname.starts_with("xmlns")) {
      if (aname.size() == 5)
        scope_.push_back({"", namespaceKind(a.value()), depth});
      else if (aname[5] == ':')
        scope_.push_back({aname.substr(6), namespaceKind(a.value()), depth});
    }
  }
  std::string_view name = element.name();
  if (!isQualifiedName(name)) {
    error_ = "not well-formed XML (element name \"" + std::string(name) +
             "\" is no qualified name at byte " + std::to_string(at) + ")";
    return false;
  }
  size_t colon = name.find(':');
  std::string_view prefix =
      colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
  const Ns kind = resolve(prefix);
  // Decided before the rename, which may overwrite the old name in place.
  const bool isChoice = kind == Ns::MarkupCompatibility && local == "Choice";
  if (rename(name, kind, prefix, local) && !element.set_name(scratch_.c_str())) {
    error_ = "out of memory";
    return false;
  }
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    std::string_view aname = a.name();
    size_t c = aname.find(':');
    // Unprefixed attributes are in no namespace; declarations stay as written.
    if (c == std::string_view::npos || aname.starts_with("xmlns:")) continue;
    if (rename(aname, resolve(aname.substr(0, c)), aname.substr(0, c), aname.substr(c + 1)) &&
        !a.set_name(scratch_.c_str())) {
      error_ = "out of memory";
      return false;
    }
  }
  if (element.first_attribute() && element.first_attribute().next_attribute() &&
      !uniqueAttributes(element, at))
    return false;
  // mc:Choice names the namespaces it needs by prefix; the prefixes only
  // mean something here, so write the canonical ones.
  if (isChoice) {
    if (pugi::xml_attribute needed = element.attribute("Requires")) {
      std::string value;
      for (std::string_view p : splitBlanks(needed.value())) {
        Ns k = resolve(p);
        if (!value.empty()) value += ' ';
        value += k == Ns::None ? std::string_view("?") : canonicalPrefix(k);
      }
      if (!needed.set_value(value.c_str())) {
        error_ = "out of memory";
        return false;
      }
    }
  }
  return true;
}

void Canonicaliser::leave(uint32_t depth) {
  while (!scope_.empty() && scope_.back().depth >= depth) scope_.pop_back();
}

bool Canonicaliser::run(pugi::xml_document& doc) {
  pugi::xml_node node = doc.first_child();
  uint32_t depth = 1;
  while (node) {
    if (node.type() == pugi::node_element) {
      if (!enter(node, depth)) return false;
      if (pugi::xml_node child = node.first_child()) {
        node = child;
        ++depth;
        continue;
      }
    }
    // Climb until there is a next sibling, leaving each element on the way.
    for (;;) {
      if (node.type() == pugi::node_element) leave(depth);
      if (pugi::xml_node next = node.next_sibling()) {
        node = next;
        break;
      }
      node = node.parent();
      if (--depth == 0) {
        node = pugi::xml_node();
        break;
      }
    }
  }
  return true;
}

// The canonical prefix of `kind` with its colon ("x:"); "" for no namespace.
std::string_view prefixWithColon(Ns kind) {
  static const auto kTable = [] {
    std::array<std::string, kNsKinds> table;
    for (size_t k = 0; k < table.size(); ++k) {
      const std::string_view prefix = canonicalPrefix(static_cast<Ns>(k));
      if (!prefix.empty()) table[k] = std::string(prefix) + ":";
    }
    return table;
  }();
  return kTable[static_cast<size_t>(kind)];
}

using xml_syntax::sameText;

// The same renaming done on the text before parsing, in one pass, for the
// parts that allow it (nearly all): no element is visited after parsing.
// The pass reads tags as pugixml does (with the tag lexer, tag_lexer.h) and
// gives up, leaving the part to Canonicaliser, on anything it does not
// handle the same way: another encoding than UTF-8, a NUL byte, a document
// type declaration, a name in a namespace outside the table (whose canonical
// form "?p:name" is no XML name), a namespace declaration with a reference or
// a blank in its URI, and every fault the walk would report (those the walk
// then reports at their place in the text as written). It also gives up on
// every fault of the markup that pugixml refuses inside an element, so that
// text it passes parses, piece by piece too (see Child). Comments, processing
// instructions and CDATA sections are copied unread, so renaming never
// reaches into them.
//
// The pass runs over every tag of every part read, so it is kept lean: a
// prefix is looked up in the declarations in scope once until they change,
// short attribute values are skipped inline and long ones with memchr, and
// nothing is allocated per tag.
class TextCanonicaliser {
 public:
  enum class Outcome { Canonical, Rewritten, NeedsWalk };

  // A child element of the root, and the content between its tags in the
  // canonical text: [contentAt, contentEnd), empty when the content is not
  // to be parsed apart. Content is set apart only where parsing it alone
  // gives what parsing it in place gives: when it holds an element and does
  // not begin with a byte order mark.
  struct Child {
    size_t contentAt = 0, contentEnd = 0;
  };

  // `children`: note the root's child elements (children()).
  explicit TextCanonicaliser(bool children = false) : noteChildren_(children) {}

  // Whether `bytes` are canonical as they stand, or `out` now holds their
  // canonical text, or the part needs the walk. The scanning stops at the NUL
  // that ends a std::string's characters (and gives up if there is another).
  Outcome run(const std::string& bytes, std::string& out);
  const std::vector<Child>& children() const { return children_; }

 private:
  static constexpr size_t kNone = std::string_view::npos;

  using Name = xml_syntax::Name;
  struct Attribute {
    Name name;
    size_t valueAt = 0, valueEnd = 0;  // between the quotes
    size_t canonicalAt = 0;            // in names_, when renamed
    size_t canonicalSize = 0;
    Ns kind = Ns::None;        // when renamed
    bool declaration = false;  // xmlns or xmlns:p
    bool renamed = false;
  };
  struct Open {
    Name name;
    Ns kind;
    bool renamed;
    size_t scopeMark;  // scope_.size() before its declarations
  };
  // What a prefix names under the declarations in scope, and whether it is
  // that namespace's canonical prefix already.
  // Packed in one integer, the kind in the low byte: a binding is looked up
  // for nearly every name, and as a pair of bytes it went through memory
  // in halves and was read back whole, which stalls.
  struct Binding {
    uint16_t bits = 0;
    Binding() = default;
    Binding(Ns kind, bool canonical)
        : bits(static_cast<uint16_t>(static_cast<uint8_t>(kind) | (canonical ? 0x100u : 0u))) {}
    Ns kind() const { return static_cast<Ns>(bits & 0xFFu); }
    bool canonical() const { return (bits & 0x100u) != 0; }
  };
  // The bindings of the last prefixes looked up, valid while the
  // declarations in scope stay as they are.
  struct CachedBinding {
    const char* prefix = nullptr;
    size_t size = kNone;
    Binding binding{};
  };

  std::string_view text(size_t at, size_t size) const { return in_.substr(at, size); }
  std::string_view text(const Name& n) const { return xml_syntax::textOf(in_, n); }
  std::string_view prefixOf(const Name& n) const { return xml_syntax::prefixOf(in_, n); }
  std::string_view localOf(const Name& n) const { return xml_syntax::localOf(in_, n); }
  std::string_view canonicalName(const Attribute& a) const {
    return a.renamed ? std::string_view(names_).substr(a.canonicalAt, a.canonicalSize)
                     : text(a.name);
  }

  Binding bind(std::string_view prefix) {
    // Most names of a part share one or two prefixes.
    if (prefix.size() == last_.size && sameText(last_.prefix, prefix.data(), prefix.size()))
      return last_.binding;
    last_ = {prefix.data(), prefix.size(), bindCached(prefix)};
    return last_.binding;
  }
  Binding bindCached(std::string_view prefix);
  void scopeChanged() {
    for (CachedBinding& c : cache_) c.size = kNone;
    last_.size = kNone;
  }
  bool startTag(size_t& p);
  bool plainStartTag(size_t& p);
  bool readAttributes(xml_syntax::StartTagLexer& tag);
  bool declare(uint32_t depth);
  bool renameAttributes(bool& renamed);
  bool uniqueAttributes() const;
  const Attribute* choiceRequires(const Name& name, Ns kind) const;
  bool writeAttributes(bool renamed, const Attribute* needs);
  bool writeRequires(const Attribute& a);
  void closeScope(size_t mark) {
    if (scope_.size() == mark) return;
    scope_.resize(mark);
    scopeChanged();
  }
  bool endTag(size_t& p);
  void noteStart(uint32_t depth, size_t p);
  // Where offset `p` of the text as written lies in the canonical text.
  size_t outAt(size_t p) const { return changed_ ? written_ + (p - copied_) : p; }
  // Writes in_[copied_, from), then `text` in place of in_[from, to).
  void replace(size_t from, size_t to, std::string_view text);
  // Gives `name` the canonical prefix of `kind`: only the prefix and its
  // colon are written anew.
  void replaceName(const Name& name, Ns kind) {
    replace(name.at, name.colon == kNone ? name.at : name.colon + 1, prefixWithColon(kind));
  }

  std::string_view in_;
  std::string* out_ = nullptr;
  size_t written_ = 0;  // bytes of *out_ in use
  size_t copied_ = 0;   // in_[0, copied_) is written (once changed_)
  bool changed_ = false;
  std::vector<Declaration> scope_;
  std::array<CachedBinding, 4> cache_;
  CachedBinding last_;
  std::vector<Open> open_;
  std::vector<Attribute> attributes_;
  // What the attributes of the tag being read hold beside plain names.
  struct {
    bool declarations, prefixed;
  } marks_{};
  std::string names_;  // canonical attribute names of the current tag
  // The root's children, while noteChildren_.
  bool noteChildren_;
  std::vector<Child> children_;
  // Where the open child's content starts, as written and in the canonical text.
  size_t childContentIn_ = 0, childContentOut_ = 0;
  bool childHasElements_ = false;
};

TextCanonicaliser::Binding TextCanonicaliser::bindCached(std::string_view prefix) {
  CachedBinding& slot = cache_[(prefix.size() + (prefix.empty() ? 0 : prefix[0])) & 3];
  if (slot.size == prefix.size() && sameText(slot.prefix, prefix.data(), prefix.size()))
    return slot.binding;
  const Ns kind = resolveIn(scope_, prefix);
  const bool canonical =
      kind == Ns::None ? prefix.empty() : kind != Ns::Unknown && prefix == canonicalPrefix(kind);
  slot = {prefix.data(), prefix.size(), {kind, canonical}};
  return slot.binding;
}

void TextCanonicaliser::replace(size_t from, size_t to, std::string_view text) {
  const size_t kept = from - copied_;
  const size_t need = written_ + kept + text.size();
  if (need > out_->size()) {
    // Renaming lengthens the text by a few bytes a name.
    out_->resize(std::max(need, in_.size() + in_.size() / 4 + 64));
  }
  char* w = out_->data() + written_;
  // An empty piece may have no data at all, which memcpy must not be given.
  if (kept != 0) std::memcpy(w, in_.data() + copied_, kept);
  if (!text.empty()) std::memcpy(w + kept, text.data(), text.size());
  written_ = need;
  copied_ = to;
  changed_ = true;
}

TextCanonicaliser::Outcome TextCanonicaliser::run(const std::string& bytes, std::string& out) {
  const std::string_view in = bytes;
  in_ = in;
  out_ = &out;
  size_t at = 0;
  if (!xml_syntax::readsAsUtf8(in, at)) return Outcome::NeedsWalk;
  // pugixml ends names, values and the text at a NUL.
  if (std::memchr(in.data(), '\0', in.size()) != nullptr) return Outcome::NeedsWalk;
  for (;;) {
    // Most tags follow one another directly.
    size_t lt = at;
    if (lt >= in.size() || in[lt] != '<') {
      const void* found = std::memchr(in.data() + at, '<', in.size() - std::min(at, in.size()));
      if (!found) break;
      lt = static_cast<size_t>(static_cast<const char*>(found) - in.data());
    }
    at = lt + 1;
    if (at >= in.size()) return Outcome::NeedsWalk;
    size_t end = kNone;
    switch (in[at]) {
      case '?': {
        // As pugixml, which skips processing instructions.
        std::string_view target;
        if (!xml_syntax::skipInstruction(in, at, target)) return Outcome::NeedsWalk;
        break;
      }
      case '!':
        if (in.substr(at).starts_with("!--")) {
          end = in.find("-->", at + 3);
          if (end == kNone) return Outcome::NeedsWalk;
          at = end + 3;
        } else if (in.substr(at).starts_with("![CDATA[")) {
          end = in.find("]]>", at + 8);
          if (end == kNone) return Outcome::NeedsWalk;
          at = end + 3;
          childHasElements_ = true;  // a CDATA node of its own, as an element
        } else {
          return Outcome::NeedsWalk;  // a document type declaration, or a fault
        }
        break;
      case '/':
        ++at;
        if (!endTag(at)) return Outcome::NeedsWalk;
        break;
      default:
        if (!startTag(at)) return Outcome::NeedsWalk;
        break;
    }
  }
  if (!open_.empty()) return Outcome::NeedsWalk;
  if (!changed_) return Outcome::Canonical;
  replace(in.size(), in.size(), "");
  out.resize(written_);
  return Outcome::Rewritten;
}

// `p` is at the name after "</"; moves past the '>'.
bool TextCanonicaliser::endTag(size_t& p) {
  if (open_.empty()) return false;
  const size_t lt = p - 2;
  const Open& open = open_.back();
  const size_t at = p;
  if (!xml_syntax::endTag(in_, p, text(open.name))) return false;
  if (noteChildren_ && open_.size() == 2) {
    // A child of the root closes: its content is set apart where that is
    // safe (see Child).
    Child& child = children_.back();
    const std::string_view content = text(childContentIn_, lt - childContentIn_);
    if (childHasElements_ && !content.starts_with("\xEF\xBB\xBF")) {
      child.contentAt = childContentOut_;
      child.contentEnd = outAt(lt);
    }
  }
  if (open.renamed) {
    const size_t colon = open.name.colon == kNone ? kNone : at + (open.name.colon - open.name.at);
    replaceName(Name{at, open.name.size, colon, open.name.qualified}, open.kind);
  }
  closeScope(open.scopeMark);
  open_.pop_back();
  return true;
}

void TextCanonicaliser::noteStart(uint32_t depth, size_t p) {
  if (!noteChildren_) return;
  if (depth == 2) {
    children_.emplace_back();
    childContentIn_ = p;
    childContentOut_ = outAt(p);
    childHasElements_ = false;
  } else if (depth > 2) {
    childHasElements_ = true;
  }
}

// The start tag at `p` when it is plain (nearly all are): no namespace
// declaration, at most eight attributes whose prefixes are canonical, no
// mc:Choice, no fault; then moves past the '>' and returns true. Otherwise
// returns false having changed nothing, and startTag reads the tag.
bool TextCanonicaliser::plainStartTag(size_t& p) {
  xml_syntax::StartTagLexer tag(in_, p);
  Name name;
  if (!tag.name(name)) return false;
  const Binding element = bind(prefixOf(name));
  if (element.kind() == Ns::Unknown || element.kind() == Ns::MarkupCompatibility) return false;

  // The attribute names so far, for the check that they differ (left
  // uninitialised: most tags have one or two).
  const char* namesAt[8];
  size_t namesSize[8];
  size_t count = 0;
  for (xml_syntax::AttributeText a; tag.attribute(a);) {
    if (count == std::size(namesAt) || xml_syntax::isDeclaration(in_, a.name)) return false;
    if (a.name.colon != kNone && !bind(prefixOf(a.name)).canonical()) return false;
    const std::string_view aname = text(a.name);
    for (size_t i = 0; i < count; ++i)
      if (namesSize[i] == aname.size() && sameText(namesAt[i], aname.data(), aname.size()))
        return false;
    namesAt[count] = aname.data();
    namesSize[count++] = aname.size();
  }
  if (!tag.ended()) return false;
  const auto depth = static_cast<uint32_t>(open_.size() + 1);
  if (depth > limits::kMaxXmlDepth) return false;

  const bool renamed = !element.canonical();
  if (renamed) replaceName(name, element.kind());
  p = tag.end();
  noteStart(depth, p);
  if (!tag.empty()) open_.push_back({name, element.kind(), renamed, scope_.size()});
  return true;
}

// `p` is at the character after '<'; moves past the '>'.
bool TextCanonicaliser::startTag(size_t& p) {
  if (plainStartTag(p)) return true;
  xml_syntax::StartTagLexer tag(in_, p);
  Name name;
  if (!tag.name(name) || !readAttributes(tag)) return false;
  p = tag.end();
  const auto depth = static_cast<uint32_t>(open_.size() + 1);
  if (depth > limits::kMaxXmlDepth) return false;
  const size_t scopeMark = scope_.size();
  if (marks_.declarations && !declare(depth)) return false;
  const Binding element = bind(prefixOf(name));
  if (element.kind() == Ns::Unknown) return false;
  bool attributesRenamed = false;
  if (marks_.prefixed && !renameAttributes(attributesRenamed)) return false;
  if (attributes_.size() > 1 && !uniqueAttributes()) return false;

  const bool renamed = !element.canonical();
  if (renamed) replaceName(name, element.kind());
  if (!writeAttributes(attributesRenamed, choiceRequires(name, element.kind()))) return false;
  noteStart(depth, p);
  if (tag.empty())
    closeScope(scopeMark);
  else
    open_.push_back({name, element.kind(), renamed, scopeMark});
  return true;
}

// Reads the attributes of `tag` into attributes_, to the end of the tag;
// false at a fault.
bool TextCanonicaliser::readAttributes(xml_syntax::StartTagLexer& tag) {
  attributes_.clear();
  marks_ = {};
  for (xml_syntax::AttributeText written; tag.attribute(written);) {
    Attribute& a = attributes_.emplace_back();
    a.name = written.name;
    a.valueAt = written.valueAt;
    a.valueEnd = written.valueEnd;
    if (xml_syntax::isDeclaration(in_, a.name))
      marks_.declarations = a.declaration = true;
    else if (a.name.colon != kNone)
      marks_.prefixed = true;
  }
  return tag.ended();
}

// Brings the tag's namespace declarations into scope at `depth`; false for
// a URI with a reference or a blank, which the parser would convert.
bool TextCanonicaliser::declare(uint32_t depth) {
  for (const Attribute& a : attributes_) {
    if (!a.declaration) continue;
    const std::string_view uri = text(a.valueAt, a.valueEnd - a.valueAt);
    if (xml_syntax::marksOf(uri) & xml_syntax::kDecoded) return false;
    scope_.push_back({a.name.size == 5 ? std::string_view() : text(a.name).substr(6),
                      namespaceKind(uri), depth});
  }
  scopeChanged();
  return true;
}

// Sets the canonical names of the prefixed attributes whose prefix is not
// canonical apart in names_, and `renamed` when there are any; false for
// a prefix of a namespace outside the table. Unprefixed attributes are in
// no namespace; declarations stay as written.
bool TextCanonicaliser::renameAttributes(bool& renamed) {
  names_.clear();
  for (Attribute& a : attributes_) {
    if (a.name.colon == kNone || a.declaration) continue;
    const Binding binding = bind(prefixOf(a.name));
    if (binding.kind() == Ns::Unknown) return false;
    if (binding.canonical()) continue;
    a.renamed = renamed = true;
    a.kind = binding.kind();
    a.canonicalAt = names_.size();
    names_ += prefixWithColon(binding.kind());
    names_ += localOf(a.name);
    a.canonicalSize = names_.size() - a.canonicalAt;
  }
  return true;
}

// The attribute whose value names the namespaces an mc:Choice element
// needs (the first named Requires once renamed); null for other elements.
const TextCanonicaliser::Attribute* TextCanonicaliser::choiceRequires(const Name& name,
                                                                      Ns kind) const {
  if (kind != Ns::MarkupCompatibility || localOf(name) != "Choice") return nullptr;
  for (const Attribute& a : attributes_)
    if (canonicalName(a) == "Requires") return &a;
  return nullptr;
}

// Writes the renamed attribute names (when `renamed`) and the value of
// `needs`, in the order they stand.
bool TextCanonicaliser::writeAttributes(bool renamed, const Attribute* needs) {
  if (!renamed && !needs) return true;
  for (const Attribute& a : attributes_) {
    if (a.renamed) replaceName(a.name, a.kind);
    if (&a == needs && !writeRequires(a)) return false;
  }
  return true;
}

// mc:Choice names the namespaces it needs by prefix: the canonical ones are
// written.
bool TextCanonicaliser::writeRequires(const Attribute& a) {
  const std::string_view value = text(a.valueAt, a.valueEnd - a.valueAt);
  if (value.find('&') != kNone) return false;
  std::string prefixes;
  for (std::string_view token : splitBlanks(value)) {
    const Ns k = resolveIn(scope_, token);
    if (!prefixes.empty()) prefixes += ' ';
    prefixes += k == Ns::None ? std::string_view("?") : canonicalPrefix(k);
  }
  if (prefixes != value) replace(a.valueAt, a.valueEnd, prefixes);
  return true;
}

// As Canonicaliser::uniqueAttributes, on the canonical names.
bool TextCanonicaliser::uniqueAttributes() const {
  const size_t count = attributes_.size();
  if (count <= 8) {
    for (size_t i = 0; i < count; ++i) {
      const std::string_view a = canonicalName(attributes_[i]);
      for (size_t j = i + 1; j < count; ++j) {
        const std::string_view b = canonicalName(attributes_[j]);
        if (a.size() == b.size() && a.back() == b.back() && sameText(a.data(), b.data(), a.size()))
          return false;
      }
    }
    return true;
  }
  std::vector<std::string_view> names;
  names.reserve(count);
  for (const Attribute& a : attributes_) names.push_back(canonicalName(a));
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) == names.end();
}

// Parses `bytes` in place into a tree with one root; null and `error` set
// when they are not well-formed.
std::unique_ptr<XmlTree> parseTree(std::string bytes, std::string& error) {
  auto tree = std::make_unique<XmlTree>();
  tree->bytes = std::move(bytes);
  pugi::xml_parse_result parsed = tree->document.load_buffer_inplace(
      tree->bytes.data(), tree->bytes.size(), kParseOptions, pugi::encoding_auto);
  if (!parsed) {
    error = std::string("not well-formed XML (") + parsed.description() + " at byte " +
            std::to_string(parsed.offset) + ")";
    return nullptr;
  }
  if (!hasOneRoot(tree->document, error)) return nullptr;
  return tree;
}

}  // namespace

bool takeXmlMarkup(std::string_view bytes, uint64_t& markupLeft, std::string& error) {
  // Counted in runs of at most 255 bytes into a byte-wide counter, which the
  // compiler turns into vector instructions.
  uint64_t markup = 0;
  for (size_t at = 0; at < bytes.size();) {
    const size_t end = std::min(bytes.size(), at + 255);
    uint8_t run = 0;
    for (; at < end; ++at) run += static_cast<uint8_t>((bytes[at] == '<') + (bytes[at] == '='));
    markup += run;
  }
  if (markup > markupLeft) {
    error = "the XML markup of the parts read exceeds " +
            std::to_string(limits::kMaxXmlMarkupPerPackage) + " tags and attributes";
    return false;
  }
  markupLeft -= markup;
  return true;
}

namespace {

XmlParse parseAndWalk(std::string bytes) {
  XmlParse result;
  std::unique_ptr<XmlTree> tree = parseTree(std::move(bytes), result.error);
  if (!tree) return result;
  Canonicaliser canonicaliser;
  if (!canonicaliser.run(tree->document)) {
    result.error = canonicaliser.error();
    return result;
  }
  result.tree = std::move(tree);
  return result;
}

}  // namespace

namespace {

// The parse after the pass over the text gave `outcome` (and `rewritten`).
XmlParse parseAfterPass(std::string bytes, std::string rewritten,
                        TextCanonicaliser::Outcome outcome) {
  XmlParse result;
  switch (outcome) {
    case TextCanonicaliser::Outcome::Canonical:
      // What the walk would find: the same parse, and nothing to rename.
      result.tree = parseTree(std::move(bytes), result.error);
      return result;
    case TextCanonicaliser::Outcome::Rewritten:
      if ((result.tree = parseTree(std::move(rewritten), result.error))) return result;
      // A fault is reported where it lies in the bytes as written.
      result.error.clear();
      break;
    case TextCanonicaliser::Outcome::NeedsWalk:
      break;
  }
  return parseAndWalk(std::move(bytes));
}

// The tree of canonical `text` without the contents that `children` set
// apart, which it keeps for expandXml; null when nothing is set apart or
// the rest does not parse as the pass expects.
std::unique_ptr<XmlTree> parseWithoutContents(
    std::string& text, const std::vector<TextCanonicaliser::Child>& children) {
  size_t apart = 0;
  for (const TextCanonicaliser::Child& c : children) apart += c.contentEnd - c.contentAt;
  if (apart == 0) return nullptr;
  std::string rest;
  rest.reserve(text.size() - apart);
  size_t from = 0;
  for (const TextCanonicaliser::Child& c : children) {
    if (c.contentEnd == c.contentAt) continue;
    rest.append(text, from, c.contentAt - from);
    from = c.contentEnd;
  }
  rest.append(text, from);
  std::string error;
  std::unique_ptr<XmlTree> tree = parseTree(std::move(rest), error);
  if (!tree) return nullptr;
  size_t i = 0;
  for (pugi::xml_node child = tree->document.document_element().first_child(); child;
       child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (i == children.size()) return nullptr;
    const TextCanonicaliser::Child& c = children[i++];
    if (c.contentEnd != c.contentAt)
      tree->deferred.emplace(child.internal_object(), std::make_pair(c.contentAt, c.contentEnd));
  }
  if (i != children.size()) return nullptr;
  tree->text = std::move(text);
  return tree;
}

}  // namespace

XmlParse parseXml(std::string bytes, uint64_t& markupLeft) {
  XmlParse result;
  if (!takeXmlMarkup(bytes, markupLeft, result.error)) return result;
  std::string rewritten;
  const TextCanonicaliser::Outcome outcome = TextCanonicaliser().run(bytes, rewritten);
  return parseAfterPass(std::move(bytes), std::move(rewritten), outcome);
}

XmlParse parseXmlDeferred(std::string bytes, uint64_t& markupLeft) {
  XmlParse result;
  if (!takeXmlMarkup(bytes, markupLeft, result.error)) return result;
  std::string rewritten;
  TextCanonicaliser pass(true);
  const TextCanonicaliser::Outcome outcome = pass.run(bytes, rewritten);
  if (outcome != TextCanonicaliser::Outcome::NeedsWalk) {
    std::string& text = outcome == TextCanonicaliser::Outcome::Canonical ? bytes : rewritten;
    if ((result.tree = parseWithoutContents(text, pass.children()))) return result;
  }
  return parseAfterPass(std::move(bytes), std::move(rewritten), outcome);
}

bool expandXml(XmlTree& tree, pugi::xml_node child, std::string& error) {
  auto it = tree.deferred.find(child.internal_object());
  if (it == tree.deferred.end()) return true;
  const auto [at, end] = it->second;
  tree.deferred.erase(it);
  // Parsed as a fragment (text and several elements at its top), from a
  // copy that pugixml keeps with the document.
  const pugi::xml_parse_result parsed = child.append_buffer(
      tree.text.data() + at, end - at, kParseOptions | pugi::parse_fragment, pugi::encoding_utf8);
  if (parsed) return true;
  error = std::string("not well-formed XML (") + parsed.description() + " at byte " +
          std::to_string(at + static_cast<size_t>(parsed.offset)) + ")";
  return false;
}

XmlParse parseXmlByWalk(std::string bytes, uint64_t& markupLeft) {
  XmlParse result;
  if (!takeXmlMarkup(bytes, markupLeft, result.error)) return result;
  return parseAndWalk(std::move(bytes));
}

}  // namespace bq::office
