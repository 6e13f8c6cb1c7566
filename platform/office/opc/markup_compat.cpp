#include "platform/office/opc/detail/markup_compat.h"

#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/office/opc/detail/xml_syntax.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office {
namespace {

// A namespace as markup compatibility compares it: by kind, and for a
// namespace outside the table by its URI; with a local name, an element
// name of mc:ProcessContent ("*" for every element of the namespace).
struct Name {
  Ns kind = Ns::None;
  std::string_view uri;    // of an Unknown kind
  std::string_view local;  // empty for a namespace alone
  bool operator==(const Name&) const = default;
};

struct NameHash {
  size_t operator()(const Name& n) const {
    const std::hash<std::string_view> h;
    return h(n.uri) * 31 + h(n.local) * 7 + static_cast<size_t>(n.kind);
  }
};

// Keys in scope, each as often as it was added; taken out again in the
// reverse order. Lookups cost the same however many are in scope, so that a
// hostile part with thousands of declarations takes no longer to resolve
// than to parse.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class Scoped {
 public:
  size_t mark() const { return log_.size(); }
  void add(const Key& key, Value value) {
    map_[key].push_back(value);
    log_.push_back(key);
  }
  void undo(size_t mark) {
    while (log_.size() > mark) {
      auto it = map_.find(log_.back());
      it->second.pop_back();
      if (it->second.empty()) map_.erase(it);
      log_.pop_back();
    }
  }
  bool empty() const { return log_.empty(); }
  // The value added last for `key`, or null.
  const Value* find(const Key& key) const {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second.back();
  }

 private:
  std::unordered_map<Key, std::vector<Value>, Hash> map_;
  std::vector<Key> log_;
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
    size_t prefixes, names;
  };

  void content(pugi::xml_node parent);
  Mark enter(pugi::xml_node element);
  void leave(Mark m) {
    prefixes_.undo(m.prefixes);
    names_.undo(m.names);
  }
  // The namespace `prefix` is bound to in scope ("" for the default one);
  // false when it is bound to none.
  bool resolve(std::string_view prefix, Name& name) const;
  bool processed(pugi::xml_node element) const;
  // Moves the children of `from` before `before`, in order.
  static void unwrap(pugi::xml_node from, pugi::xml_node before);

  NsSet understood_;
  MarkupCompatibility found_;
  Scoped<std::string_view, std::string_view> prefixes_;  // prefix: URI
  Scoped<Name, char, NameHash> names_;                   // ignorable namespaces, processed names
};

bool Resolver::resolve(std::string_view prefix, Name& name) const {
  const std::string_view* uri = prefixes_.find(prefix);
  if (!uri || uri->empty()) return false;
  name.kind = namespaceKind(*uri);
  name.uri = name.kind == Ns::Unknown ? *uri : std::string_view();
  return true;
}

Resolver::Mark Resolver::enter(pugi::xml_node element) {
  const Mark mark{prefixes_.mark(), names_.mark()};
  if (!found_.processContent) return mark;
  pugi::xml_attribute ignorable, process;
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (name == "xmlns")
      prefixes_.add({}, a.value());
    else if (name.starts_with("xmlns:"))
      prefixes_.add(name.substr(6), a.value());
    else if (name == "mc:Ignorable" && !ignorable)
      ignorable = a;
    else if (name == "mc:ProcessContent" && !process)
      process = a;
  }
  // Prefixes name namespaces declared in scope; one that is not declared
  // names nothing.
  for (std::string_view token : splitBlanks(ignorable.value())) {
    Name n;
    if (resolve(token, n)) names_.add(n, 1);
  }
  for (std::string_view token : splitBlanks(process.value())) {
    const size_t colon = token.find(':');
    if (colon == std::string_view::npos) continue;
    Name n;
    n.local = token.substr(colon + 1);
    if (!n.local.empty() && resolve(token.substr(0, colon), n)) names_.add(n, 1);
  }
  return mark;
}

bool Resolver::processed(pugi::xml_node element) const {
  if (names_.empty()) return false;
  const Ns kind = kindOf(element);
  if (kind == Ns::None || understood_.contains(kind)) return false;
  Name n{kind, {}, {}};
  // "?prefix:local", the prefix as written ("?:local" for a default one).
  if (kind == Ns::Unknown) {
    const std::string_view name = element.name();
    if (!resolve(name.substr(1, name.find(':') - 1), n)) return false;
  }
  if (!names_.find(n)) return false;  // not ignorable
  n.local = localName(element);
  if (names_.find(n)) return true;
  n.local = "*";
  return names_.find(n) != nullptr;
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
