#include "pii_detector/store/store_rewriter.h"

#include <algorithm>
#include <vector>

namespace tesk_privacy::pii_detector {

// The rewriter's index seen through the names update() gives.
class StoreRewriter::Values : public DeanonymizerMapping::ValueIndex {
 public:
  Values(StoreRewriter& rewriter, const DeanonymizerMapping& store) : rewriter_(rewriter), store_(store) {}
  bool contains(const std::string& type, const std::string& value) const override {
    return rewriter_.find_original(store_, type, value) != nullptr;
  }
  void removing(const std::string& type, const std::string& value, size_t index) override {
    rewriter_.originals_.remove(static_cast<uint32_t>(rewriter_.type_index(type)), store_.mapping.at(type), value,
                                static_cast<uint32_t>(index));
  }
  void added(const std::string& type, const std::string& value, size_t index) override {
    rewriter_.originals_.add(static_cast<uint32_t>(rewriter_.type_index(type)), store_.mapping.at(type), value,
                             static_cast<uint32_t>(index));
  }

 private:
  StoreRewriter& rewriter_;
  const DeanonymizerMapping& store_;
};

size_t StoreRewriter::type_index(const std::string& type) {
  return type_index_.try_emplace(type, type_index_.size()).first->second;
}

void StoreRewriter::sync(const DeanonymizerMapping& store) {
  if (synced_) return;
  highest_ = store.highest_numbers();
  for (const auto& [type, floor] : floors_) highest_[type] = std::max(highest_[type], floor);
  type_index_.clear();
  originals_.clear();
  to_placeholders_.clear();
  to_originals_.clear();
  originals_built_ = false;
  std::vector<const EntityMapping*> entries_of;  // by type index
  for (const auto& [type, inner] : store.mapping) {
    const size_t t = type_index(type);
    entries_of.push_back(&inner);
    uint32_t index = 0;
    for (const auto& [anonymized, original] : inner) originals_.add(static_cast<uint32_t>(t), inner, original, index++);
  }
  originals_.for_each([&](const OriginalIndex::Entry& e) {
    const auto& [anonymized, original] = *(entries_of[e.type]->begin() + e.latest);
    // An entry standing for nothing (one created by reading an absent key)
    // would erase its placeholder from texts: it is left out.
    if (!original.empty()) to_placeholders_.add(original, anonymized, e.type, e.first);
  });
  synced_ = true;
}

void StoreRewriter::raise_numbers(const std::string& type, long long highest) {
  long long& floor = floors_[type];
  floor = std::max(floor, highest);
  if (synced_) highest_[type] = std::max(highest_[type], floor);
}

void StoreRewriter::merge(DeanonymizerMapping& store, const MappingDataType& text_mapping,
                          const std::unordered_set<std::string>* reserved) {
  sync(store);
  // Types enter the store in the order of the text's mapping, empty or not.
  for (const auto& [type, inner] : text_mapping) type_index(type);
  std::vector<DeanonymizerMapping::Write> writes;
  synced_ = false;  // until every write is reflected
  Values values(*this, store);
  store.update(text_mapping, values, writes, &highest_, reserved);
  for (const DeanonymizerMapping::Write& w : writes) {
    if (w.replaced) return;  // the replaced pair must leave both tries: rebuild
    // update() stores a value at most once per type, so the original is new.
    add_new_pair(type_index(w.type), w.key, w.value, w.index);
  }
  synced_ = true;
}

void StoreRewriter::add_new_pair(size_t type, const std::string& key, const std::string& value, size_t index) {
  if (value.empty()) return;  // stands for nothing, as in sync()
  if (originals_built_) to_originals_.add(key, value, type, index);
  to_placeholders_.add(value, key, type, index);
}

void StoreRewriter::append(DeanonymizerMapping& store, const MappingDataType& entries) {
  sync(store);
  for (const auto& [type, inner] : entries) {
    const size_t t = type_index(type);  // the type's place, as merge() gives it
    EntityMapping& stored = store.mapping[type];
    for (const auto& [key, value] : inner) {
      if (const std::string* old = stored.find(key)) {
        if (*old != value) {
          stored[key] = value;
          synced_ = false;  // a pair replaced in place: rebuild when next used
        }
        continue;
      }
      stored[key] = value;
      long long& highest = highest_[type];
      highest = std::max(highest, placeholder_number(type, key));
      if (!synced_) continue;
      const auto index = static_cast<uint32_t>(*stored.position(key));
      const bool known = originals_.find(static_cast<uint32_t>(t), stored, value) != nullptr;
      originals_.add(static_cast<uint32_t>(t), stored, value, index);
      if (known && !value.empty()) {
        synced_ = false;  // an original under a second placeholder: the order rules need a rebuild
        continue;
      }
      add_new_pair(t, key, value, index);
    }
  }
}

std::string StoreRewriter::anonymize(const Utf8Text& text, const DeanonymizerMapping& store,
                                     std::span<const WholeWordReplacer::Pinned> pinned) {
  sync(store);
  return to_placeholders_.replace(text, pinned);
}

std::string StoreRewriter::deanonymize(const Utf8Text& text, const DeanonymizerMapping& store) {
  sync(store);
  if (!originals_built_) {
    for (const auto& [type, inner] : store.mapping) {
      const size_t t = type_index(type);
      size_t index = 0;
      for (const auto& [anonymized, original] : inner) {
        if (!original.empty()) to_originals_.add(anonymized, original, t, index);
        ++index;
      }
    }
    originals_built_ = true;
  }
  return to_originals_.replace(text);
}

const std::string* StoreRewriter::placeholder(const DeanonymizerMapping& store, std::string_view type,
                                              std::string_view original) {
  sync(store);
  if (original.empty()) return nullptr;
  const std::string name(type);
  const OriginalIndex::Entry* e = find_original(store, name, original);
  return e == nullptr ? nullptr : &(store.mapping.find(name)->begin() + e->latest)->first;
}

const OriginalIndex::Entry* StoreRewriter::find_original(const DeanonymizerMapping& store, const std::string& type,
                                                         std::string_view original) const {
  const EntityMapping* entries = store.mapping.find(type);
  const auto t = type_index_.find(type);
  if (entries == nullptr || t == type_index_.end()) return nullptr;
  return originals_.find(static_cast<uint32_t>(t->second), *entries, original);
}

}  // namespace tesk_privacy::pii_detector
