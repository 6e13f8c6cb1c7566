#include "platform/office/xml_tree.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "platform/office/limits.h"
#include "platform/office/namespaces.h"
#include "platform/office/text_util.h"

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

// Rewrites names to canonical prefixes, keeping track of the namespace
// declarations in scope.
class Canonicaliser {
 public:
  // False (and error() set) when the tree nests too deeply or memory ran out.
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

Ns Canonicaliser::resolve(std::string_view prefix) const {
  if (prefix == "xml") return Ns::Xml;
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it)
    if (it->prefix == prefix) return it->kind;
  return prefix.empty() ? Ns::None : Ns::Unknown;
}

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
  // pugixml takes several top-level elements, or text beside the root, as
  // siblings; XML allows one root element and nothing else but comments and
  // processing instructions.
  int roots = 0;
  for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling()) {
    const pugi::xml_node_type type = top.type();
    if (type == pugi::node_element) ++roots;
    if ((type == pugi::node_element && roots > 1) || type == pugi::node_pcdata ||
        type == pugi::node_cdata) {
      error_ = "not well-formed XML (content after the root element at byte " +
               std::to_string(top.offset_debug()) + ")";
      return false;
    }
  }
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

}  // namespace

XmlParse parseXml(std::string bytes, uint64_t& markupLeft) {
  XmlParse result;
  const uint64_t markup = static_cast<uint64_t>(
      std::count_if(bytes.begin(), bytes.end(), [](char c) { return c == '<' || c == '='; }));
  if (markup > markupLeft) {
    result.error = "the XML markup of the parts read exceeds " +
                   std::to_string(limits::kMaxXmlMarkupPerPackage) + " tags and attributes";
    return result;
  }
  markupLeft -= markup;

  auto tree = std::make_unique<XmlTree>();
  tree->bytes = std::move(bytes);
  pugi::xml_parse_result parsed = tree->document.load_buffer_inplace(
      tree->bytes.data(), tree->bytes.size(), kParseOptions, pugi::encoding_auto);
  if (!parsed) {
    result.error = std::string("not well-formed XML (") + parsed.description() + " at byte " +
                   std::to_string(parsed.offset) + ")";
    return result;
  }
  Canonicaliser canonicaliser;
  if (!canonicaliser.run(tree->document)) {
    result.error = canonicaliser.error();
    return result;
  }
  result.tree = std::move(tree);
  return result;
}

}  // namespace bq::office
