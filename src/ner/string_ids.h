// StringIds: dense ids (0, 1, 2, ... in order of first sight) for the
// distinct strings among the words of one text, so that what a word needs
// is worked out once and kept in plain vectors indexed by id. An
// open-addressing table, kept at most half full; keys are views, and what
// they view must outlive the table.
//
//   StringIds ids(words.size());
//   for (std::string_view w : words) {
//     const auto [id, fresh] = ids.insert(w);
//     if (fresh) info.push_back(work_out(w));
//   }
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "ner/hashing.h"

namespace tesk_privacy::ner {

class StringIds {
 public:
  // Room for `expected` distinct keys before the table grows.
  explicit StringIds(size_t expected) : slots_(std::bit_ceil(std::max<size_t>(16, 2 * expected))) {
    keys_.reserve(expected);
    hashes_.reserve(expected);
  }

  // The id of `key`, whose hash_bytes() is `hash`, and whether it is new.
  std::pair<uint32_t, bool> insert(std::string_view key, uint64_t hash) {
    const size_t s = slot(key, hash);
    if (slots_[s] != 0) return {slots_[s] - 1, false};
    const auto id = static_cast<uint32_t>(keys_.size());
    keys_.push_back(key);
    hashes_.push_back(hash);
    if (2 * keys_.size() > slots_.size()) {
      grow();
    } else {
      slots_[s] = id + 1;
    }
    return {id, true};
  }
  std::pair<uint32_t, bool> insert(std::string_view key) { return insert(key, hash_bytes(key)); }

  bool contains(std::string_view key) const { return slots_[slot(key, hash_bytes(key))] != 0; }

  size_t size() const { return keys_.size(); }

 private:
  // The slot holding `key`, or the empty slot where it belongs.
  size_t slot(std::string_view key, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    size_t s = hash & mask;
    while (slots_[s] != 0 && (hashes_[slots_[s] - 1] != hash || keys_[slots_[s] - 1] != key)) s = (s + 1) & mask;
    return s;
  }

  void grow() {
    slots_.assign(slots_.size() * 2, 0);
    for (uint32_t id = 0; id < keys_.size(); ++id) slots_[slot(keys_[id], hashes_[id])] = id + 1;
  }

  std::vector<uint32_t> slots_;  // id + 1, or 0 when empty
  std::vector<std::string_view> keys_;
  std::vector<uint64_t> hashes_;
};

}  // namespace tesk_privacy::ner
