#include "tesk_privacy/pii_detector/store/shared_mapping.h"

#include <stdexcept>
#include <unordered_map>

namespace tesk_privacy::pii_detector {

SharedMapping::SharedMapping(TextAnonymizer& anonymizer, MappingStore& store)
    : anonymizer_(anonymizer), store_(store), shared_(store.load()) {
  anonymizer_.set_deanonymizer_mapping(shared_);
}

void SharedMapping::refresh(bool force) {
  const MappingDataType others = store_.refresh();
  append_entries(shared_, others);
  if (force) {
    // After a refused commit: back to what the store holds, without the
    // entries of the attempt.
    anonymizer_.set_deanonymizer_mapping(shared_);
  } else if (!others.empty()) {
    anonymizer_.append_entries(others);
  }
}

void SharedMapping::reserve_numbers(std::span<const TextAnonymizer::Detection> found) {
  if (store_.exclusive()) return;
  // At most one new placeholder per detection: enough numbers that this
  // batch never takes one another writer may be using at the same time.
  std::unordered_map<std::string, long long> wanted;
  for (const TextAnonymizer::Detection& detection : found) {
    for (const recognition::RecognizerResult& r : detection.results) ++wanted[r.entity_type];
  }
  if (wanted.empty()) return;
  for (const auto& [type, first] : store_.reserve_numbers(wanted)) anonymizer_.reserve_placeholder_numbers(type, first);
}

std::vector<std::string> SharedMapping::anonymize_batch(std::span<const std::string> texts,
                                                        std::span<const TextAnonymizer::Detection> found,
                                                        const AnonymizeOptions& options) {
  if (found.size() != texts.size()) throw std::invalid_argument("anonymize_batch needs one detection per text");
  for (int attempt = 0;; ++attempt) {
    refresh(attempt > 0);
    reserve_numbers(found);
    const EntryCounts before = entry_counts(anonymizer_.store().mapping);
    std::vector<std::string> out;
    out.reserve(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) out.push_back(anonymizer_.anonymize(texts[i], found[i], options));
    const MappingDataType added = entries_beyond(anonymizer_.store().mapping, before);
    // Nothing new: every original was known here already, so there is
    // nothing another writer could have taken first.
    if (added.empty() || store_.commit(added)) {
      append_entries(shared_, added);
      return out;
    }
    // Another writer came first: replace again on its entries.
    ++refused_commits_;
    if (attempt == 1000) throw std::runtime_error(store_.describe() + " stayed too busy to take the entries");
  }
}

std::string SharedMapping::anonymize(const std::string& text, const TextAnonymizer::Detection& found,
                                     const AnonymizeOptions& options) {
  return anonymize_batch(std::span(&text, 1), std::span(&found, 1), options).front();
}

std::string SharedMapping::anonymize(const std::string& text, const AnonymizeOptions& options) {
  return anonymize(text, anonymizer_.detect(text, options), options);
}

std::string SharedMapping::deanonymize(const std::string& text, bool tolerant) {
  refresh();
  return anonymizer_.deanonymize(text, tolerant);
}

}  // namespace tesk_privacy::pii_detector
