// The reversible mapping between anonymized values and the originals they
// replace, and the store that accumulates it over many texts.
//
// MappingDataType maps entity type -> (key -> value), both levels in
// insertion order. The store (DeanonymizerMapping) holds the deanonymizer
// direction, anonymized -> original, and numbers repeated bracketed
// placeholders: the n-th distinct PERSON ever stored is "<PERSON_n>".
//
//   DeanonymizerMapping store;
//   MappingDataType one_text;
//   one_text["PERSON"]["<PERSON>"] = "Budi";
//   one_text["PERSON"]["<PERSON_2>"] = "Siti";
//   store.update(one_text);  // <PERSON_1> -> Budi, <PERSON_2> -> Siti
//
// Nothing here is thread-safe; a store belongs to one TextAnonymizer or caller.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tesk_privacy/anonymization/engine_result.h"
#include "tesk_privacy/core/ordered_map.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

using EntityMapping = OrderedMap<std::string>;

// entity type -> (anonymized -> original), or the reverse direction.
class MappingDataType : public OrderedMap<EntityMapping> {
 public:
  MappingDataType() = default;
  MappingDataType(std::initializer_list<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> init) {
    for (const auto& [type, pairs] : init) {
      EntityMapping& inner = (*this)[type];
      for (const auto& [k, v] : pairs) inner[k] = v;
    }
  }
};

// A store with value semantics: two stores are equal when both fields are.
struct DeanonymizerMapping {
  MappingDataType mapping;
  bool skip_format_duplicates = false;

  DeanonymizerMapping() = default;
  explicit DeanonymizerMapping(MappingDataType mapping, bool skip_format_duplicates = false)
      : mapping(std::move(mapping)), skip_format_duplicates(skip_format_duplicates) {}

  // A fresh copy of the mapping, in the store's order, including entity
  // types whose inner map is empty.
  MappingDataType data() const { return mapping; }

  // Merges one text's mapping (anonymized -> original) into the store. A
  // value already stored for its entity type is not stored again, and one
  // value arriving under two types in one call is stored under the first.
  // Unless skip_format_duplicates, keys are renumbered with
  // format_duplicated_operator(key, count of the type's entries + 1), or
  // above the type's highest number when that is in use (a store whose
  // entries were removed or edited).
  void update(const MappingDataType& new_mapping);

  // What update() asks of an index of the store's values that a caller
  // keeps in step with the store.
  class ValueIndex {
   public:
    virtual ~ValueIndex() = default;
    // Whether an entry of `type` holds `value`.
    virtual bool contains(const std::string& type, const std::string& value) const = 0;
    // The entry at place `index` of `type`, holding `value`, is about to be overwritten.
    virtual void removing(const std::string& type, const std::string& value, size_t index) = 0;
    // The entry at place `index` of `type` now holds `value`.
    virtual void added(const std::string& type, const std::string& value, size_t index) = 0;
  };
  // One entry update() wrote: `key` now maps to `value` at place `index` of
  // its type; `replaced` is the value it held before, when it existed.
  struct Write {
    std::string type, key, value;
    size_t index = 0;
    std::optional<std::string> replaced;
  };
  // The highest placeholder number of each entity type in the store.
  using HighestNumbers = std::unordered_map<std::string, long long>;
  // update() for a caller that merges often and keeps `values` and
  // `highest` in step with the store, so a merge costs time for the new
  // entries only. The entries written are appended to `writes`. A
  // renumbered placeholder never takes a number in use: it is above the
  // type's highest number and is none of `reserved` (placeholder-shaped text
  // of the document at hand).
  void update(const MappingDataType& new_mapping, ValueIndex& values, std::vector<Write>& writes,
              HighestNumbers* highest = nullptr, const std::unordered_set<std::string>* reserved = nullptr);
  HighestNumbers highest_numbers() const;

  bool operator==(const DeanonymizerMapping&) const = default;
};

// The entry count of each entity type of a mapping: a mark from which to
// find what later calls added (entries only ever join at the end).
using EntryCounts = std::unordered_map<std::string, size_t>;
EntryCounts entry_counts(const MappingDataType& mapping);
// The entries of `mapping` beyond `counts`, in order (all of a type that
// `counts` does not hold).
MappingDataType entries_beyond(const MappingDataType& mapping, const EntryCounts& counts);
// Adds the entries of `added` to `into`, in order.
void append_entries(MappingDataType& into, const MappingDataType& added);

// The number of a placeholder "<TYPE_n>" of `type`, or 0 for any other key.
long long placeholder_number(std::string_view type, std::string_view key);

// Renumbers a bracketed placeholder: ("<PERSON>", 2) -> "<PERSON_2>",
// ("<PERSON_7>", 3) -> "<PERSON_3>". A value without brackets loses any "<"
// or ">" and a trailing "_<digits>", and `count` is not used.
std::string format_duplicated_operator(const std::string& operator_name, long long count);

// One text's mapping from its detections and the engine's replacements.
// Sorts both lists in place by start, pairs the k-th detection with the k-th
// replacement (surplus on either side is ignored), records each original
// once per entity type whatever its letter case, and numbers a bracketed
// placeholder that arrives again for a different original ("<PERSON>",
// "<PERSON_2>", ...) unless skip_format_duplicates. is_reversed true gives
// anonymized -> original. Detection spans reaching past the text are clipped.
MappingDataType create_anonymizer_mapping(const Utf8Text& original_text,
                                          std::vector<recognition::RecognizerResult>& analyzer_results,
                                          anonymization::EngineResult& anonymizer_results,
                                          bool is_reversed = false, bool skip_format_duplicates = false);

// The mapping (anonymized -> original) of one text's replacements, in order
// of position, recorded and numbered as create_anonymizer_mapping does,
// leaving out what has nothing to restore: spans removed ("redact") or kept
// as they were ("keep").
MappingDataType record_replacements(const Utf8Text& text, const std::vector<anonymization::Replacement>& replacements,
                                    bool skip_format_duplicates = false);

// Entries of `second` whose original differs from `first`'s entry for the
// same entity type and anonymized value, as maps with "pii_type",
// "anonymized_value" and "pii_value". A pair missing from `first` throws
// std::out_of_range, unless `first` is a store, where it reads as the empty
// string.
std::vector<std::map<std::string, std::string>> get_dict_diff(const MappingDataType& first,
                                                              const MappingDataType& second);
std::vector<std::map<std::string, std::string>> get_dict_diff(const DeanonymizerMapping& first,
                                                              const MappingDataType& second);

}  // namespace tesk_privacy::pii_detector
