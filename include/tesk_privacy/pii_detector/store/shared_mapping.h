// SharedMapping: a TextAnonymizer whose mapping is shared, while it works,
// with other processes through a MappingStore that others write too
// (Redis). Before each text it takes the entries others added and reserves
// placeholder numbers of its own; it commits each text's new entries at
// once, and when another writer came first with one of its originals it
// replaces the text again on the newer entries, so one original never gets
// two placeholders and one placeholder never stands for two originals.
//
//   auto store = open_mapping_store("redis://127.0.0.1:6379/chats");
//   TextAnonymizer anonymizer(analyzer);
//   SharedMapping shared(anonymizer, *store);   // loads the store
//   std::string safe = shared.anonymize("Budi Santoso di Bandung");
//   std::string back = shared.deanonymize(safe);
//
// Both objects must outlive it; one thread at a time uses it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/store/mapping_store.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::pii_detector {

class SharedMapping {
 public:
  SharedMapping(TextAnonymizer& anonymizer, MappingStore& store);

  // Takes the entries other writers added since the last call.
  void refresh(bool force = false);
  // Replaces what `found` (anonymizer().detect() of `text`) holds and
  // commits the new entries. Throws MappingStoreError when the store fails,
  // std::runtime_error when other writers keep coming first (1000 times).
  std::string anonymize(const std::string& text, const TextAnonymizer::Detection& found,
                        const AnonymizeOptions& options = {});
  std::string anonymize(const std::string& text, const AnonymizeOptions& options = {});
  // The texts replaced in order, as successive anonymize() calls would,
  // from detections made beforehand (found[i] of texts[i]), with one commit
  // for all their new entries. When another writer came first, the whole
  // batch is replaced again on the newer entries: one round trip per batch
  // instead of per text, and one redo for all of them.
  std::vector<std::string> anonymize_batch(std::span<const std::string> texts,
                                           std::span<const TextAnonymizer::Detection> found,
                                           const AnonymizeOptions& options = {});
  std::string deanonymize(const std::string& text, bool tolerant = false);

  TextAnonymizer& anonymizer() { return anonymizer_; }
  // Commits refused because another writer came first, since construction.
  size_t refused_commits() const { return refused_commits_; }

 private:
  void reserve_numbers(std::span<const TextAnonymizer::Detection> found);

  TextAnonymizer& anonymizer_;
  MappingStore& store_;
  MappingDataType shared_;  // what the store holds, as far as known here
  size_t refused_commits_ = 0;
};

}  // namespace tesk_privacy::pii_detector
