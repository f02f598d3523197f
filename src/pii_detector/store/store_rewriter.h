// StoreRewriter: what TextAnonymizer derives from its store of replacements,
// kept in step with the store so that a call costs time for its own text and
// its new entries, not for the whole store.
//
// It holds an index of the store's originals (for merging a text's mapping
// and finding the placeholder of each (entity type, original)) and the two
// rewriting tries: originals to placeholders and placeholders to originals.
// Merges go through
// merge(); an entry overwritten in place (a numbering clash with a loaded
// store) or invalidate() makes it rebuild everything from the store when it
// is next used. Rewriting follows the store order: longer strings first,
// then earlier entity types, then earlier entries of a type; an original
// recorded under two placeholders of one type takes the later placeholder,
// in the place of the first.
//
//   StoreRewriter rewriter;
//   rewriter.merge(store, one_text_mapping);
//   std::string out = rewriter.anonymize(Utf8Text(text), store);
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "pii_detector/store/original_index.h"
#include "pii_detector/store/whole_word_replacer.h"
#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

class StoreRewriter {
 public:
  // store.update(text_mapping), keeping this rewriter in step; new
  // placeholders avoid `reserved` (placeholder-shaped text of the document).
  void merge(DeanonymizerMapping& store, const MappingDataType& text_mapping,
             const std::unordered_set<std::string>* reserved = nullptr);
  // Adds entries recorded elsewhere to `store`, their keys as they are
  // (no renumbering), keeping this rewriter in step when it can.
  void append(DeanonymizerMapping& store, const MappingDataType& entries);
  // The store changed other than through merge() or append().
  void invalidate() { synced_ = false; }
  // Frees everything derived from the store; it is rebuilt when next used.
  void release() {
    DeanonymizerMapping::HighestNumbers floors = std::move(floors_);
    *this = StoreRewriter();
    floors_ = std::move(floors);
  }
  // New placeholders of `type` take numbers above `highest` from now on
  // (a range a shared store reserved for this writer starts after it).
  void raise_numbers(const std::string& type, long long highest);

  // Every recorded original in `text` replaced by its placeholder, and each
  // pinned span by its given replacement.
  std::string anonymize(const Utf8Text& text, const DeanonymizerMapping& store,
                        std::span<const WholeWordReplacer::Pinned> pinned = {});
  // Every placeholder in `text` replaced by its original.
  std::string deanonymize(const Utf8Text& text, const DeanonymizerMapping& store);
  // The placeholder of `original` (exact spelling) under `type`; null when none.
  const std::string* placeholder(const DeanonymizerMapping& store, std::string_view type, std::string_view original);

 private:
  class Values;
  void sync(const DeanonymizerMapping& store);
  // A pair whose original had no placeholder before, into both tries.
  void add_new_pair(size_t type, const std::string& key, const std::string& value, size_t index);
  size_t type_index(const std::string& type);
  // The index's entry of `original` under `type`, or null.
  const OriginalIndex::Entry* find_original(const DeanonymizerMapping& store, const std::string& type,
                                            std::string_view original) const;

  bool synced_ = false;
  DeanonymizerMapping::HighestNumbers highest_;
  DeanonymizerMapping::HighestNumbers floors_;  // raise_numbers(), kept across rebuilds
  std::unordered_map<std::string, size_t> type_index_;
  OriginalIndex originals_;
  RankedReplacer to_placeholders_;
  // Built on the first deanonymize(): a writer that only anonymizes never
  // holds it.
  RankedReplacer to_originals_;
  bool originals_built_ = false;
};

}  // namespace tesk_privacy::pii_detector
