#include "platform/office/markup_compat.h"

#include <string_view>
#include <vector>

#include "platform/office/text_util.h"
#include "platform/office/xml_syntax.h"

namespace bq::office {
namespace {

// A namespace as markup compatibility compares it: by kind, and for a
// namespace outside the table by its URI.
struct Namespace {
  Ns kind = Ns::None;
  std::string_view uri;  // of an Unknown kind
  bool operator==(const Namespace&) const = default;
};

// One name of an mc:Ignorable (local empty) or mc:ProcessContent attribute.
struct Rule {
  bool process = false;
  Namespace ns;
  std::string_view local;  // "*" for every element of the namespace
};

struct Declaration {
  std::string_view prefix;  // empty for the default namespace
  std::string_view uri;
};

class Resolver {
 public:
  Resolver(NsSet understood, MarkupCompatibility found) : understood_(understood), found_(found) {}

  void run(pugi::xml_node node) {
    if (found_.processContent) {
      // The scope of `node`: its ancestors' declarations and attributes
      // first.
      std::vector<pugi::xml_node> chain;
      for (pugi::xml_node n = node; n.type() == pugi::node_element; n = n.parent())
        chain.push_back(n);
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) enter(*it);
    }
    content(node);
  }

 private:
  struct Mark {
    size_t declarations, rules;
  };

  void content(pugi::xml_node parent);
  Mark enter(pugi::xml_node element);
  void leave(Mark m) {
    declarations_.resize(m.declarations);
    rules_.resize(m.rules);
  }
  std::string_view uriOf(std::string_view prefix) const;
  Namespace namespaceOf(pugi::xml_node element) const;
  bool processed(pugi::xml_node element) const;
  // Moves the children of `from` before `before`, in order.
  static void unwrap(pugi::xml_node from, pugi::xml_node before);

  NsSet understood_;
  MarkupCompatibility found_;
  std::vector<Declaration> declarations_;
  std::vector<Rule> rules_;
};

std::string_view Resolver::uriOf(std::string_view prefix) const {
  for (auto it = declarations_.rbegin(); it != declarations_.rend(); ++it)
    if (it->prefix == prefix) return it->uri;
  return {};
}

Namespace Resolver::namespaceOf(pugi::xml_node element) const {
  const Ns kind = kindOf(element);
  if (kind != Ns::Unknown) return {kind, {}};
  // "?prefix:local", the prefix as written ("?:local" for a default one).
  const std::string_view name = element.name();
  const size_t colon = name.find(':');
  return {kind, uriOf(name.substr(1, colon - 1))};
}

Resolver::Mark Resolver::enter(pugi::xml_node element) {
  const Mark mark{declarations_.size(), rules_.size()};
  if (!found_.processContent) return mark;
  pugi::xml_attribute ignorable, process;
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (name == "xmlns")
      declarations_.push_back({{}, a.value()});
    else if (name.starts_with("xmlns:"))
      declarations_.push_back({name.substr(6), a.value()});
    else if (name == "mc:Ignorable" && !ignorable)
      ignorable = a;
    else if (name == "mc:ProcessContent" && !process)
      process = a;
  }
  // Prefixes name namespaces declared in scope; one that is not declared
  // names nothing.
  const auto resolve = [&](std::string_view prefix, Namespace& ns) {
    const std::string_view uri = uriOf(prefix);
    if (uri.empty()) return false;
    ns.kind = namespaceKind(uri);
    if (ns.kind == Ns::Unknown) ns.uri = uri;
    return true;
  };
  for (std::string_view token : splitBlanks(ignorable.value())) {
    Rule r;
    if (resolve(token, r.ns)) rules_.push_back(r);
  }
  for (std::string_view token : splitBlanks(process.value())) {
    const size_t colon = token.find(':');
    if (colon == std::string_view::npos) continue;
    Rule r{true, {}, token.substr(colon + 1)};
    if (resolve(token.substr(0, colon), r.ns)) rules_.push_back(r);
  }
  return mark;
}

bool Resolver::processed(pugi::xml_node element) const {
  if (rules_.empty()) return false;
  const Ns kind = kindOf(element);
  if (kind == Ns::None || understood_.contains(kind)) return false;
  const Namespace ns = namespaceOf(element);
  const std::string_view local = localName(element);
  bool ignorable = false, named = false;
  for (const Rule& r : rules_) {
    if (r.ns != ns) continue;
    if (!r.process)
      ignorable = true;
    else if (r.local == "*" || r.local == local)
      named = true;
  }
  return ignorable && named;
}

void Resolver::unwrap(pugi::xml_node from, pugi::xml_node before) {
  pugi::xml_node parent = before.parent();
  while (pugi::xml_node c = from.first_child()) parent.insert_move_before(c, before);
}

void Resolver::content(pugi::xml_node parent) {
  // Depth is bounded by the part's nesting limit.
  for (pugi::xml_node child = parent.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    if (child.type() != pugi::node_element) {
      child = next;
      continue;
    }
    const Mark mark = enter(child);
    if (is(child, Ns::MarkupCompatibility, "AlternateContent")) {
      if (pugi::xml_node branch = chosenBranch(child, understood_)) {
        const Mark inner = enter(branch);
        content(branch);
        leave(inner);
        unwrap(branch, child);
      }
      leave(mark);
      parent.remove_child(child);
    } else {
      content(child);
      const bool replace = processed(child);
      leave(mark);
      if (replace) {
        unwrap(child, child);
        parent.remove_child(child);
      }
    }
    child = next;
  }
}

}  // namespace

MarkupCompatibility markupCompatibilityIn(std::string_view bytes) {
  size_t start = 0;
  if (!xml_syntax::readsAsUtf8(bytes, start)) return {true, true};
  // Element and attribute names are written out: no reference can stand
  // for them.
  return {bytes.find("AlternateContent") != std::string_view::npos,
          bytes.find("ProcessContent") != std::string_view::npos};
}

void resolveMarkupCompatibility(pugi::xml_node node, NsSet understood, MarkupCompatibility found) {
  if (!found.any() || !node) return;
  Resolver(understood, found).run(node);
}

bool replacedByContent(pugi::xml_node child, NsSet understood, MarkupCompatibility found) {
  if (found.alternateContent && is(child, Ns::MarkupCompatibility, "AlternateContent")) return true;
  if (!found.processContent) return false;
  // Whether mc:ProcessContent names it is known once the scope is walked:
  // every element of a namespace not understood may be.
  const Ns kind = kindOf(child);
  return kind != Ns::None && !understood.contains(kind);
}

}  // namespace bq::office
