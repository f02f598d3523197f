#include "pii_detector/store/original_index.h"

#include <algorithm>
#include <functional>

namespace tesk_privacy::pii_detector {

uint64_t OriginalIndex::hash_of(uint32_t type, std::string_view original) {
  const uint64_t h = std::hash<std::string_view>{}(original) ^ (static_cast<uint64_t>(type) + 1) * 0x9E3779B97F4A7C15ULL;
  return h == 0 ? 1 : h;
}

size_t OriginalIndex::slot_of(uint64_t hash, uint32_t type, const EntityMapping& entries, std::string_view original,
                              size_t* reusable) const {
  // The original is confirmed at its latest place, or its first one when
  // the latest is being overwritten. A slot whose original no entry holds
  // any more matches nothing; it stays so that the slots after it are still
  // reached, and is taken again by the next original added there.
  auto holds = [&](uint32_t at) { return at < entries.size() && (entries.begin() + at)->second == original; };
  const size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const Entry& e = slots_[slot];
    if (e.hash == 0) return slot;
    if (e.count == 0) {
      if (reusable != nullptr && *reusable == kNone) *reusable = slot;
    } else if (e.hash == hash && e.type == type && (holds(e.latest) || holds(e.first))) {
      return slot;
    }
  }
}

const OriginalIndex::Entry* OriginalIndex::find(uint32_t type, const EntityMapping& entries,
                                                std::string_view original) const {
  if (slots_.empty()) return nullptr;
  const Entry& e = slots_[slot_of(hash_of(type, original), type, entries, original)];
  return e.hash != 0 ? &e : nullptr;
}

void OriginalIndex::add(uint32_t type, const EntityMapping& entries, std::string_view original, uint32_t at) {
  if (4 * (used_ + 1) > 3 * slots_.size()) rebuild();
  const uint64_t hash = hash_of(type, original);
  size_t reusable = kNone;
  const size_t slot = slot_of(hash, type, entries, original, &reusable);
  Entry& e = slots_[slot];
  if (e.hash != 0) {
    ++e.count;
    e.first = std::min(e.first, at);
    e.latest = at;
    return;
  }
  if (reusable == kNone) ++used_;
  slots_[reusable == kNone ? slot : reusable] = Entry{hash, type, at, at, 1};
}

void OriginalIndex::rebuild() {
  size_t live = 0;
  for (const Entry& e : slots_) live += e.count > 0;
  size_t size = 64;
  while (3 * size < 8 * (live + 1)) size *= 2;  // at most three eighths full
  std::vector<Entry> rebuilt(size);
  for (const Entry& e : slots_) {
    if (e.count == 0) continue;
    size_t slot = e.hash & (size - 1);
    while (rebuilt[slot].hash != 0) slot = (slot + 1) & (size - 1);
    rebuilt[slot] = e;
  }
  slots_ = std::move(rebuilt);
  used_ = live;
}

void OriginalIndex::remove(uint32_t type, const EntityMapping& entries, std::string_view original, uint32_t at) {
  if (slots_.empty()) return;
  Entry& e = slots_[slot_of(hash_of(type, original), type, entries, original)];
  if (e.hash == 0 || --e.count == 0 || (e.first != at && e.latest != at)) return;
  // Another entry still holds the original: find its places again. This
  // happens only when a store holding an original twice is overwritten in
  // place, which its owner follows with a rebuild anyway.
  bool found = false;
  uint32_t i = 0;
  for (const auto& [key, value] : entries) {
    if (i != at && value == original) {
      if (!found) e.first = i;
      e.latest = i;
      found = true;
    }
    ++i;
  }
}

}  // namespace tesk_privacy::pii_detector
