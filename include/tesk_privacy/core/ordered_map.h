// OrderedMap: a map from text keys to values that iterates in the order the
// keys were first inserted, as a Python dict does. The reversible mapping,
// operators by entity type and model-label tables keep the order they were
// written in, so printing or merging them gives that order back.
//
//   OrderedMap<int> m{{"b", 1}, {"a", 2}};
//   m.insert_or_assign("b", 3);   // "b" keeps its place: b=3, a=2
//   m["c"] = 4;                   // appended: b=3, a=2, c=4
//
// Lookups go through a hash index; erase() costs time linear in the size.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tesk_privacy {

template <typename V>
class OrderedMap {
 public:
  using key_type = std::string;
  using mapped_type = V;
  using value_type = std::pair<std::string, V>;

  OrderedMap() = default;
  // A repeated key keeps its first place and its last value.
  OrderedMap(std::initializer_list<value_type> entries) {
    for (const auto& [key, value] : entries) insert_or_assign(key, value);
  }

  // Inserts a default value for a missing key.
  V& operator[](const std::string& key) { return try_emplace(key).first->second; }
  // Throws std::out_of_range naming the key when it is missing.
  const V& at(const std::string& key) const {
    auto it = index_.find(key);
    if (it == index_.end()) throw std::out_of_range("KeyError: '" + key + "'");
    return items_[it->second].second;
  }
  V& at(const std::string& key) { return const_cast<V&>(std::as_const(*this).at(key)); }
  const V* find(const std::string& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &items_[it->second].second;
  }
  V* find(const std::string& key) { return const_cast<V*>(std::as_const(*this).find(key)); }
  bool contains(const std::string& key) const { return index_.count(key) != 0; }
  size_t count(const std::string& key) const { return index_.count(key); }
  // Place of a key in iteration order.
  std::optional<size_t> position(const std::string& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? std::nullopt : std::optional<size_t>(it->second);
  }

  // Replaces the value in place, or appends the entry. True when appended.
  std::pair<value_type*, bool> insert_or_assign(const std::string& key, V value) {
    auto [entry, added] = try_emplace(key);
    entry->second = std::move(value);
    return {entry, added};
  }
  // Appends the entry unless the key is present, which is left as it is.
  template <typename... Args>
  std::pair<value_type*, bool> try_emplace(const std::string& key, Args&&... args) {
    auto [it, added] = index_.try_emplace(key, items_.size());
    if (added) {
      items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                          std::forward_as_tuple(std::forward<Args>(args)...));
    }
    return {&items_[it->second], added};
  }
  std::pair<value_type*, bool> emplace(const std::string& key, V value) { return try_emplace(key, std::move(value)); }
  size_t erase(const std::string& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return 0;
    const size_t at = it->second;
    index_.erase(it);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
    for (auto& [k, i] : index_) {
      if (i > at) --i;
    }
    return 1;
  }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() {
    items_.clear();
    index_.clear();
  }
  void reserve(size_t n) {
    items_.reserve(n);
    index_.reserve(n);
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Equal when both hold the same entries, in whatever order.
  bool operator==(const OrderedMap& other) const {
    if (size() != other.size()) return false;
    for (const auto& [k, v] : items_) {
      const V* o = other.find(k);
      if (o == nullptr || !(*o == v)) return false;
    }
    return true;
  }

 private:
  std::vector<value_type> items_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace tesk_privacy
