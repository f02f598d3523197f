#include "ner/gazetteer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "ner/hashing.h"

namespace tesk_privacy::ner {
namespace {

// Layout: a 16-byte head {u32 slot count (a power of two), u32 longest
// phrase in tokens, u32 entry count, u32 zero}, then the slots, 16 bytes
// each {u64 phrase hash (0: empty), u32 category bits, u32 zero}.
constexpr size_t kHeadSize = 16;
constexpr size_t kSlotSize = 16;

uint32_t read_u32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
uint64_t read_u64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void put_u32(std::string& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, sizeof v); }
void put_u64(std::string& out, size_t at, uint64_t v) { std::memcpy(out.data() + at, &v, sizeof v); }

// Phrase hashes are table keys; 0 marks an empty slot.
uint64_t key_of(uint64_t h) { return h == 0 ? 1 : h; }

// Set on every proper prefix of a phrase, so that matching stops extending a
// phrase as soon as no entry can continue it.
constexpr uint32_t kPrefixBit = 1u << 31;

}  // namespace

uint64_t extend_phrase_hash(uint64_t phrase, uint64_t token_hash) { return hash_combine(phrase, token_hash); }

uint64_t phrase_hash(std::span<const std::string_view> tokens) {
  uint64_t h = kEmptyPhraseHash;
  for (std::string_view t : tokens) h = extend_phrase_hash(h, hash_bytes(t));
  return h;
}

uint64_t phrase_hash(std::initializer_list<std::string_view> tokens) {
  return phrase_hash(std::span<const std::string_view>(tokens.begin(), tokens.size()));
}

void GazetteerBuilder::add(std::span<const std::string_view> tokens, GazetteerCategory category) {
  if (tokens.empty()) return;
  uint64_t h = kEmptyPhraseHash;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    h = extend_phrase_hash(h, hash_bytes(tokens[i]));
    entries_[key_of(h)] |= kPrefixBit;
  }
  entries_[key_of(phrase_hash(tokens))] |= category_bit(category);
  max_tokens_ = std::max(max_tokens_, static_cast<uint32_t>(tokens.size()));
}

void GazetteerBuilder::add(std::initializer_list<std::string_view> tokens, GazetteerCategory category) {
  add(std::span<const std::string_view>(tokens.begin(), tokens.size()), category);
}

std::string GazetteerBuilder::serialize() const {
  uint64_t slots = 16;
  while (slots < entries_.size() * 2) slots *= 2;  // load factor at most 1/2
  std::string out(kHeadSize + slots * kSlotSize, '\0');
  put_u32(out, 0, static_cast<uint32_t>(slots));
  put_u32(out, 4, max_tokens_);
  put_u32(out, 8, static_cast<uint32_t>(entries_.size()));
  // Insert in key order so that the bytes do not depend on hash-map order.
  std::vector<std::pair<uint64_t, uint32_t>> sorted(entries_.begin(), entries_.end());
  std::sort(sorted.begin(), sorted.end());
  for (const auto& [key, categories] : sorted) {
    uint64_t i = key & (slots - 1);
    while (read_u64(reinterpret_cast<const unsigned char*>(out.data()) + kHeadSize + i * kSlotSize) != 0) {
      i = (i + 1) & (slots - 1);
    }
    put_u64(out, kHeadSize + i * kSlotSize, key);
    put_u32(out, kHeadSize + i * kSlotSize + 8, categories);
  }
  return out;
}

Gazetteer::Gazetteer(std::string_view bytes) {
  if (bytes.size() < kHeadSize) throw std::invalid_argument("gazetteer table shorter than its header");
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint64_t slots = read_u32(p);
  if (slots == 0 || (slots & (slots - 1)) != 0) {
    throw std::invalid_argument("gazetteer slot count " + std::to_string(slots) + " is not a power of two");
  }
  if (bytes.size() != kHeadSize + slots * kSlotSize) {
    throw std::invalid_argument("gazetteer table has " + std::to_string(bytes.size()) + " bytes; " +
                                std::to_string(slots) + " slots need " +
                                std::to_string(kHeadSize + slots * kSlotSize));
  }
  const uint32_t entries = read_u32(p + 8);
  if (entries >= slots) throw std::invalid_argument("gazetteer table has no empty slot");
  max_tokens_ = read_u32(p + 4);
  if (max_tokens_ > 64) throw std::invalid_argument("gazetteer phrase length out of range");
  // Lookups stop at the first empty slot; make sure there is one.
  size_t used = 0;
  for (uint64_t i = 0; i < slots; ++i) used += read_u64(p + kHeadSize + i * kSlotSize) != 0;
  if (used != entries) throw std::invalid_argument("gazetteer entry count does not match its slots");
  slots_ = p + kHeadSize;
  mask_ = slots - 1;
  size_ = entries;
}

uint32_t Gazetteer::lookup(uint64_t phrase_hash) const { return raw_lookup(phrase_hash) & ~kPrefixBit; }

uint32_t Gazetteer::raw_lookup(uint64_t phrase_hash) const {
  if (slots_ == nullptr) return 0;
  const uint64_t key = key_of(phrase_hash);
  for (uint64_t i = key & mask_;; i = (i + 1) & mask_) {
    const uint64_t k = read_u64(slots_ + i * kSlotSize);
    if (k == key) return read_u32(slots_ + i * kSlotSize + 8);
    if (k == 0) return 0;
  }
}

void Gazetteer::match(std::span<const uint64_t> token_hashes, std::span<uint32_t> begin,
                      std::span<uint32_t> inside) const {
  const size_t n = token_hashes.size();
  std::fill(begin.begin(), begin.begin() + n, 0u);
  std::fill(inside.begin(), inside.begin() + n, 0u);
  if (slots_ == nullptr) return;
  for (size_t i = 0; i < n; ++i) {
    // Extend the phrase while some entry starts with it, recording the
    // categories of each length; then longer phrases win per category.
    const size_t limit = std::min<size_t>(max_tokens_, n - i);
    uint64_t h = kEmptyPhraseHash;
    uint32_t found[64];
    size_t longest = 0;
    while (longest < limit) {
      h = extend_phrase_hash(h, token_hashes[i + longest]);
      const uint32_t bits = raw_lookup(h);
      if (bits == 0) break;
      found[longest++] = bits & ~kPrefixBit;
    }
    uint32_t claimed = 0;
    for (size_t len = longest; len >= 1; --len) {
      const uint32_t fresh = found[len - 1] & ~claimed;
      if (fresh == 0) continue;
      claimed |= fresh;
      begin[i] |= fresh;
      for (size_t j = i + 1; j < i + len; ++j) inside[j] |= fresh;
    }
  }
}

}  // namespace tesk_privacy::ner
