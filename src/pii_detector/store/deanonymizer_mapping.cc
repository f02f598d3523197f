#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "tesk_privacy/regex/regex.h"
#include "text/case_mapping.h"

namespace tesk_privacy::pii_detector {
namespace {

// Lower-cased keys and values of one entity type's inner map, kept in step
// with it, so duplicate checks cost a lookup rather than a scan.
class LowerView {
 public:
  void put(const std::string& key, const std::string& value) {
    std::string lk = to_lower(key), lv = to_lower(value);
    auto old = current_.find(key);
    if (old != current_.end()) {
      release(keys_, old->second.first);
      release(values_, old->second.second);
    }
    ++keys_[lk];
    ++values_[lv];
    current_[key] = {std::move(lk), std::move(lv)};
  }
  bool has_key(const std::string& lower) const { return keys_.count(lower) != 0; }
  bool has_value(const std::string& lower) const { return values_.count(lower) != 0; }

 private:
  static void release(std::unordered_map<std::string, int>& counts, const std::string& k) {
    if (--counts[k] == 0) counts.erase(k);
  }
  std::unordered_map<std::string, std::pair<std::string, std::string>> current_;
  std::unordered_map<std::string, int> keys_, values_;
};

const regex::Regex& trailing_number() {
  static const regex::Regex re(R"(_\d+$)", 0);
  return re;
}

std::vector<std::map<std::string, std::string>> diff(
    const MappingDataType& second,
    const std::function<std::string(const std::string&, const std::string&)>& lookup) {
  std::vector<std::map<std::string, std::string>> out;
  for (const auto& [type, inner] : second) {
    for (const auto& [anonymized, original] : inner) {
      if (lookup(type, anonymized) != original) {
        out.push_back({{"pii_type", type}, {"anonymized_value", anonymized}, {"pii_value", original}});
      }
    }
  }
  return out;
}

}  // namespace

std::string format_duplicated_operator(const std::string& operator_name, long long count) {
  std::string clean;
  for (char c : operator_name) {
    if (c != '<' && c != '>') clean += c;
  }
  clean = trailing_number().replace_all(Utf8Text(clean), "");
  if (!operator_name.empty() && operator_name.front() == '<' && operator_name.back() == '>') {
    return "<" + clean + "_" + std::to_string(count) + ">";
  }
  return clean;
}

namespace {

// The values of the types a merge touches, with the number of entries
// holding each.
class CountedValues : public DeanonymizerMapping::ValueIndex {
 public:
  CountedValues(const MappingDataType& stored, const MappingDataType& touched) {
    for (const auto& [type, inner] : touched) {
      if (const EntityMapping* entries = stored.find(type)) {
        auto& values = counts_[type];
        for (const auto& [k, v] : *entries) ++values[v];
      }
    }
  }
  bool contains(const std::string& type, const std::string& value) const override {
    const auto it = counts_.find(type);
    return it != counts_.end() && it->second.count(value) != 0;
  }
  void removing(const std::string& type, const std::string& value, size_t) override {
    auto& values = counts_[type];
    if (--values[value] == 0) values.erase(value);
  }
  void added(const std::string& type, const std::string& value, size_t) override { ++counts_[type][value]; }

 private:
  std::unordered_map<std::string, std::unordered_map<std::string, int>> counts_;
};

}  // namespace

void DeanonymizerMapping::update(const MappingDataType& new_mapping) {
  CountedValues values(mapping, new_mapping);
  std::vector<Write> writes;
  update(new_mapping, values, writes);
}

EntryCounts entry_counts(const MappingDataType& mapping) {
  EntryCounts counts;
  for (const auto& [type, inner] : mapping) counts[type] = inner.size();
  return counts;
}

MappingDataType entries_beyond(const MappingDataType& mapping, const EntryCounts& counts) {
  MappingDataType added;
  for (const auto& [type, inner] : mapping) {
    const auto known = counts.find(type);
    const size_t skip = std::min(known == counts.end() ? 0 : known->second, inner.size());
    if (skip == inner.size()) continue;
    // Entries are kept in the order they were added: the new ones are the
    // tail, reached without walking the ones before.
    EntityMapping& into = added[type];
    for (auto it = inner.begin() + static_cast<std::ptrdiff_t>(skip); it != inner.end(); ++it) {
      into[it->first] = it->second;
    }
  }
  return added;
}

void append_entries(MappingDataType& into, const MappingDataType& added) {
  for (const auto& [type, inner] : added) {
    EntityMapping& stored = into[type];
    for (const auto& [key, value] : inner) stored[key] = value;
  }
}

long long placeholder_number(std::string_view type, std::string_view key) {
  if (key.size() < type.size() + 4 || key.front() != '<' || key.back() != '>' || key.substr(1, type.size()) != type ||
      key[type.size() + 1] != '_') {
    return 0;
  }
  const std::string_view digits = key.substr(type.size() + 2, key.size() - type.size() - 3);
  if (digits.empty() || digits.size() > 18 || digits[0] == '0') return 0;
  long long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

DeanonymizerMapping::HighestNumbers DeanonymizerMapping::highest_numbers() const {
  HighestNumbers highest;
  for (const auto& [type, inner] : mapping) {
    long long& h = highest[type];
    for (const auto& [key, value] : inner) h = std::max(h, placeholder_number(type, key));
  }
  return highest;
}

void DeanonymizerMapping::update(const MappingDataType& new_mapping, ValueIndex& values, std::vector<Write>& writes,
                                 HighestNumbers* highest, const std::unordered_set<std::string>* reserved) {
  std::unordered_set<std::string> seen;
  HighestNumbers own;
  if (highest == nullptr && !skip_format_duplicates) {
    own = highest_numbers();
    highest = &own;
  }
  for (const auto& [type, inner] : new_mapping) {
    EntityMapping& stored = mapping[type];
    long long counter = static_cast<long long>(stored.size()) + 1;
    if (highest != nullptr) counter = std::max(counter, (*highest)[type] + 1);
    for (const auto& [key, value] : inner) {
      if (seen.count(value) || values.contains(type, value)) continue;
      Write write{type, skip_format_duplicates ? key : format_duplicated_operator(key, counter), value, 0, std::nullopt};
      if (!skip_format_duplicates) {
        // A number in use, or written in the document itself, is skipped:
        // one placeholder never stands for two originals.
        const bool numbered = !key.empty() && key.front() == '<' && key.back() == '>';
        while (numbered && (stored.contains(write.key) || (reserved != nullptr && reserved->count(write.key)))) {
          write.key = format_duplicated_operator(key, ++counter);
        }
        if (highest != nullptr) {
          long long& h = (*highest)[type];
          h = std::max(h, placeholder_number(type, write.key));
        }
      }
      if (const std::string* replaced = stored.find(write.key)) {
        values.removing(type, *replaced, *stored.position(write.key));
        write.replaced = *replaced;
      }
      stored[write.key] = value;
      write.index = *stored.position(write.key);
      values.added(type, value, write.index);
      seen.insert(value);
      ++counter;
      writes.push_back(std::move(write));
    }
  }
}

namespace {

// Builds one text's mapping from (original, entity type, replacement)
// triples in order of position; see create_anonymizer_mapping.
class TextMappingBuilder {
 public:
  TextMappingBuilder(bool is_reversed, bool skip_format_duplicates, bool only_restorable = false)
      : is_reversed_(is_reversed), skip_format_duplicates_(skip_format_duplicates), only_restorable_(only_restorable) {}

  void add(const std::string& original, const std::string& type, const std::string& replacement) {
    // A removed span ("redact") or one kept as it is ("keep") has nothing
    // to restore; an empty key or an entry mapping a text to itself would
    // also make the mapping unloadable.
    if (only_restorable_ && (replacement.empty() || replacement == original)) return;
    const std::string lower_original = to_lower(original);
    LowerView& view = views_[type];
    if (is_reversed_ ? view.has_value(lower_original) : view.has_key(lower_original)) return;
    const std::string lower_text = to_lower(replacement);
    const bool duplicate = view.has_value(lower_text) || view.has_key(lower_text);
    std::string anonymized = replacement;
    if (duplicate && !skip_format_duplicates_) {
      anonymized = format_duplicated_operator(replacement, counters_[type] + 2);
      ++counters_[type];
    }
    const std::string& key = is_reversed_ ? anonymized : original;
    const std::string& value = is_reversed_ ? original : anonymized;
    result_[type][key] = value;
    view.put(key, value);
  }
  MappingDataType take() { return std::move(result_); }

 private:
  bool is_reversed_, skip_format_duplicates_, only_restorable_;
  MappingDataType result_;
  std::unordered_map<std::string, LowerView> views_;
  std::unordered_map<std::string, long long> counters_;
};

}  // namespace

MappingDataType create_anonymizer_mapping(const Utf8Text& original_text,
                                          std::vector<recognition::RecognizerResult>& analyzer_results,
                                          anonymization::EngineResult& anonymizer_results, bool is_reversed,
                                          bool skip_format_duplicates) {
  auto by_start = [](const auto& a, const auto& b) { return a.start < b.start; };
  std::stable_sort(analyzer_results.begin(), analyzer_results.end(), by_start);
  std::stable_sort(anonymizer_results.items.begin(), anonymizer_results.items.end(), by_start);

  TextMappingBuilder builder(is_reversed, skip_format_duplicates);
  const size_t pairs = std::min(analyzer_results.size(), anonymizer_results.items.size());
  for (size_t k = 0; k < pairs; ++k) {
    const auto& detection = analyzer_results[k];
    const auto& item = anonymizer_results.items[k];
    const size_t start = static_cast<size_t>(std::max<int64_t>(detection.start, 0));
    const size_t end = static_cast<size_t>(std::max<int64_t>(detection.end, 0));
    builder.add(std::string(original_text.slice(start, end)), item.entity_type, item.text);
  }
  return builder.take();
}

MappingDataType record_replacements(const Utf8Text& text, const std::vector<anonymization::Replacement>& replacements,
                                    bool skip_format_duplicates) {
  TextMappingBuilder builder(/*is_reversed=*/true, skip_format_duplicates, /*only_restorable=*/true);
  for (const anonymization::Replacement& r : replacements) {
    builder.add(std::string(text.slice(static_cast<size_t>(r.span.start), static_cast<size_t>(r.span.end))),
                r.span.entity_type, r.text);
  }
  return builder.take();
}

std::vector<std::map<std::string, std::string>> get_dict_diff(const MappingDataType& first,
                                                              const MappingDataType& second) {
  return diff(second, [&](const std::string& type, const std::string& anonymized) {
    return first.at(type).at(anonymized);
  });
}

std::vector<std::map<std::string, std::string>> get_dict_diff(const DeanonymizerMapping& first,
                                                              const MappingDataType& second) {
  // A store reads a missing pair as the empty string. It is only read: a diff
  // must not plant empty originals in the store, which deanonymize would
  // later write into texts.
  return diff(second, [&](const std::string& type, const std::string& anonymized) {
    const EntityMapping* inner = first.mapping.find(type);
    const std::string* original = inner ? inner->find(anonymized) : nullptr;
    return original ? *original : std::string();
  });
}

}  // namespace tesk_privacy::pii_detector
