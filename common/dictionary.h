// Dictionary<V>: the scripting runtime's dictionary as the system uses it.
//
// Keys are texts compared exactly (case-sensitive, byte for byte), kept in
// insertion order; lookup is O(1) on average. Removing a key is O(n): nothing
// in the system removes keys in a loop.
//
// KnowledgeSet is the knowledge-point set: a Dictionary whose items are the
// 16-bit integer 1.
//
// Thread safety: none; a dictionary belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/automation_error.h"

namespace bq {

template <typename V>
class Dictionary {
 public:
  using Entry = std::pair<std::string, V>;
  using const_iterator = typename std::deque<Entry>::const_iterator;

  Dictionary() = default;
  Dictionary(std::initializer_list<Entry> entries) {
    for (const auto& e : entries) set(e.first, e.second);
  }
  Dictionary(const Dictionary& other) : entries_(other.entries_) { reindex(); }
  Dictionary& operator=(const Dictionary& other) {
    if (this != &other) {
      entries_ = other.entries_;
      reindex();
    }
    return *this;
  }
  // Moving a deque keeps its elements where they are, so the index stays valid.
  Dictionary(Dictionary&&) noexcept = default;
  Dictionary& operator=(Dictionary&&) noexcept = default;

  size_t Count() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  bool Exists(std::string_view key) const { return index_.count(key) != 0; }

  // Add: fails with error 457 when the key is already there.
  void Add(std::string key, V item) {
    if (Exists(key)) raiseError(err::kKeyExists);
    append(std::move(key), std::move(item));
  }

  // Item let (d(key) = item): adds the key, or replaces its item.
  void set(std::string_view key, V item) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      entries_[it->second].second = std::move(item);
    } else {
      append(std::string(key), std::move(item));
    }
  }

  // Item get (d(key)): the item; a missing key is added with an empty item,
  // as the scripting runtime does.
  V& operator[](std::string_view key) {
    auto it = index_.find(key);
    if (it != index_.end()) return entries_[it->second].second;
    append(std::string(key), V{});
    return entries_.back().second;
  }

  // The item of `key`, or nullptr; never adds.
  const V* find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }

  // Remove: fails with error 5 when the key is not there.
  void Remove(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) raiseError(err::kInvalidCall);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(it->second));
    reindex();
  }

  void RemoveAll() {
    index_.clear();
    entries_.clear();
  }

  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const auto& e : entries_) keys.push_back(e.first);
    return keys;
  }

  std::vector<V> Items() const {
    std::vector<V> items;
    items.reserve(entries_.size());
    for (const auto& e : entries_) items.push_back(e.second);
    return items;
  }

  const Entry& at(size_t i) const { return entries_.at(i); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  friend bool operator==(const Dictionary& a, const Dictionary& b) { return a.entries_ == b.entries_; }

 private:
  void append(std::string key, V item) {
    entries_.emplace_back(std::move(key), std::move(item));
    index_.emplace(std::string_view(entries_.back().first), entries_.size() - 1);
  }

  void reindex() {
    index_.clear();
    index_.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(std::string_view(entries_[i].first), i);
  }

  // The keys of index_ point into entries_, whose elements never move:
  // a deque keeps its elements in place when it grows at the back.
  std::deque<Entry> entries_;
  std::unordered_map<std::string_view, size_t> index_;
};

using KnowledgeSet = Dictionary<int16_t>;

}  // namespace bq
