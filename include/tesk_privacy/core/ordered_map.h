// OrderedMap: a map from text keys to values that iterates in the order the
// keys were first inserted, as a Python dict does. The reversible mapping,
// operators by entity type and model-label tables keep the order they were
// written in, so printing or merging them gives that order back.
//
//   OrderedMap<int> m{{"b", 1}, {"a", 2}};
//   m.insert_or_assign("b", 3);   // "b" keeps its place: b=3, a=2
//   m["c"] = 4;                   // appended: b=3, a=2, c=4
//
// Lookups go through a hash index of positions (open addressing: the keys
// are stored once, in the entries); erase() costs time linear in the size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
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
    const V* found = find(key);
    if (found == nullptr) throw std::out_of_range("KeyError: '" + key + "'");
    return *found;
  }
  V& at(const std::string& key) { return const_cast<V&>(std::as_const(*this).at(key)); }
  const V* find(const std::string& key) const {
    const std::optional<size_t> at = position(key);
    return at ? &items_[*at].second : nullptr;
  }
  V* find(const std::string& key) { return const_cast<V*>(std::as_const(*this).find(key)); }
  bool contains(const std::string& key) const { return position(key).has_value(); }
  size_t count(const std::string& key) const { return contains(key) ? 1 : 0; }
  // Place of a key in iteration order.
  std::optional<size_t> position(const std::string& key) const {
    if (slots_.empty()) return std::nullopt;
    const uint32_t at = slots_[slot_of(key)];
    return at == kEmpty ? std::nullopt : std::optional<size_t>(at - 1);
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
    if (2 * (items_.size() + 1) > slots_.size()) reindex(std::max<size_t>(16, 2 * slots_.size()));
    const size_t slot = slot_of(key);
    if (slots_[slot] != kEmpty) return {&items_[slots_[slot] - 1], false};
    items_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    slots_[slot] = static_cast<uint32_t>(items_.size());
    return {&items_.back(), true};
  }
  std::pair<value_type*, bool> emplace(const std::string& key, V value) { return try_emplace(key, std::move(value)); }
  size_t erase(const std::string& key) {
    const std::optional<size_t> at = position(key);
    if (!at) return 0;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*at));
    reindex(slots_.size());
    return 1;
  }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() {
    items_.clear();
    slots_.clear();
  }
  void reserve(size_t n) {
    items_.reserve(n);
    size_t slots = std::max<size_t>(16, slots_.size());
    while (slots < 2 * n) slots *= 2;
    if (slots != slots_.size()) reindex(slots);
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
  static constexpr uint32_t kEmpty = 0;  // a slot holds an entry's position + 1

  // The slot holding `key`, or the free slot where it would go.
  size_t slot_of(std::string_view key) const {
    const size_t mask = slots_.size() - 1;
    size_t slot = std::hash<std::string_view>{}(key) & mask;
    while (slots_[slot] != kEmpty && items_[slots_[slot] - 1].first != key) slot = (slot + 1) & mask;
    return slot;
  }
  // A table of `size` slots (a power of two, at least twice the entries).
  void reindex(size_t size) {
    slots_.assign(size, kEmpty);
    for (size_t i = 0; i < items_.size(); ++i) slots_[slot_of(items_[i].first)] = static_cast<uint32_t>(i + 1);
  }

  std::vector<value_type> items_;
  std::vector<uint32_t> slots_;
};

}  // namespace tesk_privacy
