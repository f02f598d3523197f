// OriginalIndex: where each original of a store of replacements stands, by
// entity type, without a copy of the originals. A slot holds the original's
// hash and the places of its first and latest entries; the original itself
// is read from the store to confirm a match. A long run's store holds
// millions of originals, and this index costs about 24 bytes for each.
//
// Entity types are given as small numbers (their order in the store); each
// call names the store's entries of that type, which must be the entries
// the index was told about (entries are only ever added or overwritten in
// place, never moved).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

class OriginalIndex {
 public:
  struct Entry {
    uint64_t hash = 0;  // 0: a free slot
    uint32_t type = 0;
    uint32_t first = 0, latest = 0;  // places among the type's entries
    uint32_t count = 0;              // entries holding the original; 0: none any more, the slot is free to take
  };

  // The entry of `original` under `type`, or null when no entry holds it.
  const Entry* find(uint32_t type, const EntityMapping& entries, std::string_view original) const;
  // The entry at place `at` of `type` now holds `original`.
  void add(uint32_t type, const EntityMapping& entries, std::string_view original, uint32_t at);
  // The entry at place `at` of `type`, which holds `original`, is about to
  // hold another value.
  void remove(uint32_t type, const EntityMapping& entries, std::string_view original, uint32_t at);
  void clear() { *this = OriginalIndex(); }

  template <typename F>
  void for_each(F&& f) const {
    for (const Entry& e : slots_) {
      if (e.count > 0) f(e);
    }
  }

 private:
  static uint64_t hash_of(uint32_t type, std::string_view original);
  static constexpr size_t kNone = SIZE_MAX;
  // The slot of (type, original), or the free slot that ends its probe;
  // `reusable` gets the first slot on the way whose original is gone.
  size_t slot_of(uint64_t hash, uint32_t type, const EntityMapping& entries, std::string_view original,
                 size_t* reusable = nullptr) const;
  // A table of the live slots, at most three eighths full.
  void rebuild();

  std::vector<Entry> slots_;  // open addressing; size a power of two
  size_t used_ = 0;
};

}  // namespace tesk_privacy::pii_detector
