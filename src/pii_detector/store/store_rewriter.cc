#include "pii_detector/store/store_rewriter.h"

#include <algorithm>
#include <vector>

namespace tesk_privacy::pii_detector {

std::string StoreRewriter::placeholder_key(std::string_view type, std::string_view original) {
  std::string key(type);
  key.push_back('\0');
  key.append(original);
  return key;
}

size_t StoreRewriter::type_index(const std::string& type) {
  return type_index_.try_emplace(type, type_index_.size()).first->second;
}

void StoreRewriter::sync(const DeanonymizerMapping& store) {
  if (synced_) return;
  counts_ = store.value_counts();
  highest_ = store.highest_numbers();
  for (const auto& [type, floor] : floors_) highest_[type] = std::max(highest_[type], floor);
  type_index_.clear();
  placeholders_.clear();
  to_placeholders_.clear();
  to_originals_.clear();
  originals_built_ = false;
  for (const auto& [type, inner] : store.mapping) {
    const size_t t = type_index(type);
    size_t index = 0;
    for (const auto& [anonymized, original] : inner) {
      // An entry standing for nothing (one created by reading an absent key)
      // would erase its placeholder from texts: it is left out.
      if (!original.empty()) {
        auto [it, inserted] =
            placeholders_.try_emplace(placeholder_key(type, original), Placeholder{anonymized, t, index});
        if (!inserted) it->second.key = anonymized;
      }
      ++index;
    }
  }
  for (const auto& [key, p] : placeholders_) {
    to_placeholders_.add(std::string_view(key).substr(key.find('\0') + 1), p.key, p.type, p.index);
  }
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
  store.update(text_mapping, counts_, writes, &highest_, reserved);
  for (const DeanonymizerMapping::Write& w : writes) {
    if (w.replaced) return;  // the replaced pair must leave both tries: rebuild
    // update() stores a value at most once per type, so the original is new.
    add_new_pair(w.type, w.key, w.value, w.index);
  }
  synced_ = true;
}

void StoreRewriter::add_new_pair(const std::string& type, const std::string& key, const std::string& value,
                                 size_t index) {
  const size_t t = type_index(type);
  if (originals_built_) to_originals_.add(key, value, t, index);
  placeholders_.insert_or_assign(placeholder_key(type, value), Placeholder{key, t, index});
  to_placeholders_.add(value, key, t, index);
}

void StoreRewriter::append(DeanonymizerMapping& store, const MappingDataType& entries) {
  sync(store);
  for (const auto& [type, inner] : entries) {
    type_index(type);  // the type's place, as merge() gives it
    EntityMapping& stored = store.mapping[type];
    auto& values = counts_[type];
    for (const auto& [key, value] : inner) {
      if (const std::string* old = stored.find(key)) {
        if (*old != value) {
          stored[key] = value;
          synced_ = false;  // a pair replaced in place: rebuild when next used
        }
        continue;
      }
      stored[key] = value;
      ++values[value];
      long long& highest = highest_[type];
      highest = std::max(highest, placeholder_number(type, key));
      if (!synced_ || value.empty()) continue;
      if (placeholders_.count(placeholder_key(type, value)) != 0) {
        synced_ = false;  // an original under a second placeholder: the order rules need a rebuild
        continue;
      }
      add_new_pair(type, key, value, *stored.position(key));
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
  auto it = placeholders_.find(placeholder_key(type, original));
  return it == placeholders_.end() ? nullptr : &it->second.key;
}

}  // namespace tesk_privacy::pii_detector
