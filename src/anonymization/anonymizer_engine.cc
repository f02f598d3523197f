#include "tesk_privacy/anonymization/anonymizer_engine.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>
#include <stdexcept>
#include <string_view>

#include <utility>

#include "tesk_privacy/anonymization/encryption.h"
#include "text/python_chars.h"

namespace tesk_privacy::anonymization {
namespace {

using recognition::RecognizerResult;

// A result plus its position in the caller's list, which breaks score ties.
struct Candidate {
  RecognizerResult result;
  size_t order;
};

std::string describe(const RecognizerResult& r) {
  return "(type: " + r.entity_type + ", start: " + std::to_string(r.start) +
         ", end: " + std::to_string(r.end) + ")";
}

bool outranks(const Candidate& a, const Candidate& b) {
  if (a.result.score != b.result.score) return a.result.score > b.result.score;
  return a.order < b.order;
}

// Widens `into` to cover `other`; the better-ranked of the two supplies the
// score, explanation and metadata.
void absorb(Candidate& into, const Candidate& other) {
  into.result.start = std::min(into.result.start, other.result.start);
  into.result.end = std::max(into.result.end, other.result.end);
  if (outranks(other, into)) {
    into.result.score = other.result.score;
    into.result.analysis_explanation = other.result.analysis_explanation;
    into.result.recognition_metadata = other.result.recognition_metadata;
    into.order = other.order;
  }
}

// Keeps the best of each group of identical spans and drops every span that
// lies inside another one. Sorting by start, longest first, puts each
// container before whatever it contains, so one sweep over the running
// maximum end finds them all.
std::vector<Candidate> drop_duplicates_and_contained(std::vector<Candidate> items) {
  std::sort(items.begin(), items.end(), [](const Candidate& a, const Candidate& b) {
    if (a.result.start != b.result.start) return a.result.start < b.result.start;
    if (a.result.end != b.result.end) return a.result.end > b.result.end;
    return outranks(a, b);
  });
  std::vector<Candidate> kept;
  int64_t max_end = std::numeric_limits<int64_t>::min();
  for (Candidate& c : items) {
    if (c.result.end <= max_end) continue;
    max_end = c.result.end;
    kept.push_back(std::move(c));
  }
  return kept;
}

// Merges partially overlapping spans of the same entity type into one.
// Returns whether anything was merged.
bool merge_same_type_overlaps(std::vector<Candidate>& items) {
  std::sort(items.begin(), items.end(), [](const Candidate& a, const Candidate& b) {
    if (a.result.entity_type != b.result.entity_type) {
      return a.result.entity_type < b.result.entity_type;
    }
    return a.result.start < b.result.start;
  });
  std::vector<Candidate> out;
  bool merged = false;
  for (Candidate& c : items) {
    if (!out.empty() && out.back().result.entity_type == c.result.entity_type &&
        c.result.start < out.back().result.end) {
      absorb(out.back(), c);
      merged = true;
    } else {
      out.push_back(std::move(c));
    }
  }
  items = std::move(out);
  return merged;
}

// Makes the spans disjoint. In order of score (ties: earlier start, then
// input order) each span keeps what the spans before it left uncovered.
// Without contained spans, what remains is at most one piece, but the loop
// keeps every piece so that no uncovered character is ever lost. Given the
// text, a piece also gives up the white space at an edge where it was cut
// ("JAM Project" under "Project bersama" keeps "JAM", not "JAM "): white
// space is no part of a name, and a piece ending in it would match every
// later "jam " as a word.
std::vector<Candidate> trim_intersections(std::vector<Candidate> items, const Utf8Text* text = nullptr) {
  auto space_at = [text](int64_t cp) {
    const std::string_view c = text->slice(static_cast<size_t>(cp), static_cast<size_t>(cp) + 1);
    size_t pos = 0;
    return is_py_space(decode_utf8(c, pos));
  };
  std::sort(items.begin(), items.end(), [](const Candidate& a, const Candidate& b) {
    if (a.result.score != b.result.score) return a.result.score > b.result.score;
    if (a.result.start != b.result.start) return a.result.start < b.result.start;
    return a.order < b.order;
  });
  std::map<int64_t, int64_t> taken;  // start -> end of the spans kept so far
  std::vector<Candidate> out;
  for (const Candidate& c : items) {
    std::vector<std::pair<int64_t, int64_t>> pieces;
    int64_t pos = c.result.start;
    auto it = taken.upper_bound(pos);
    if (it != taken.begin() && std::prev(it)->second > pos) --it;
    for (; it != taken.end() && it->first < c.result.end; ++it) {
      if (it->first > pos) pieces.emplace_back(pos, it->first);
      pos = std::max(pos, it->second);
    }
    if (pos < c.result.end) pieces.emplace_back(pos, c.result.end);
    for (auto [start, end] : pieces) {
      if (text != nullptr) {
        if (start != c.result.start) {
          while (start < end && space_at(start)) ++start;
        }
        if (end != c.result.end) {
          while (end > start && space_at(end - 1)) --end;
        }
        if (start == end) continue;
      }
      taken.emplace(start, end);
      out.push_back(c);
      out.back().result.start = start;
      out.back().result.end = end;
    }
  }
  return out;
}

void sort_by_span(std::vector<Candidate>& items) {
  std::sort(items.begin(), items.end(), [](const Candidate& a, const Candidate& b) {
    if (a.result.start != b.result.start) return a.result.start < b.result.start;
    return a.result.end < b.result.end;
  });
}

std::vector<Candidate> resolve_conflicts(std::vector<RecognizerResult> results, ConflictResolutionStrategy strategy) {
  for (const RecognizerResult& r : results) {
    if (r.start < r.end && std::isnan(r.score)) {
      throw std::invalid_argument("Result " + describe(r) + " has a NaN score");
    }
  }
  std::vector<Candidate> items;
  items.reserve(results.size());
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].start < results[i].end) items.push_back({std::move(results[i]), i});
  }
  std::vector<RecognizerResult>().swap(results);  // a long text's results are large: never held twice
  // A merge can create a span that contains or duplicates another, so repeat
  // until nothing merges; each round removes at least one result.
  do {
    items = drop_duplicates_and_contained(std::move(items));
  } while (merge_same_type_overlaps(items));
  if (strategy == ConflictResolutionStrategy::REMOVE_INTERSECTIONS) {
    items = trim_intersections(std::move(items));
  }
  sort_by_span(items);
  return items;
}

void check_in_text(const RecognizerResult& r, const Utf8Text& text) {
  if (r.start < 0 || r.end > static_cast<int64_t>(text.length())) {
    throw std::invalid_argument("Result " + describe(r) + " lies outside the text of length " +
                                std::to_string(text.length()));
  }
}

std::string hex_digest(std::string_view data, const std::string& hash_type) {
  const EVP_MD* md = hash_type == "sha512" ? EVP_sha512()
                     : hash_type == "md5"  ? EVP_md5()
                                           : EVP_sha256();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (md == nullptr || EVP_Digest(data.data(), data.size(), digest, &length, md, nullptr) != 1) {
    throw std::runtime_error("Hash operator: computing the " + hash_type + " digest failed");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}

template <typename T>
T param_or(const OperatorConfig& config, const std::string& name, T fallback) {
  auto it = config.params.find(name);
  if (it == config.params.end()) return fallback;
  return std::get<T>(it->second);
}

std::string mask(const Utf8Text& text, const RecognizerResult& span, const OperatorConfig& config) {
  const auto& masking_char = std::get<std::string>(config.param("masking_char"));
  int64_t count = std::min(std::get<int64_t>(config.param("chars_to_mask")), span.length());
  std::string masked;
  if (param_or(config, "from_end", false)) {
    masked = text.slice(span.start, span.end - count);
    for (int64_t i = 0; i < count; ++i) masked += masking_char;
  } else {
    for (int64_t i = 0; i < count; ++i) masked += masking_char;
    masked += text.slice(span.start + count, span.end);
  }
  return masked;
}

std::string apply_operator(const OperatorConfig& config, const Utf8Text& text,
                           const RecognizerResult& span) {
  const std::string& name = config.operator_name;
  std::string_view original = text.slice(span.start, span.end);
  if (name == "replace") return param_or(config, "new_value", "<" + span.entity_type + ">");
  if (name == "redact") return {};
  if (name == "mask") return mask(text, span, config);
  if (name == "hash") {
    return hex_digest(original, param_or<std::string>(config, "hash_type", "sha256"));
  }
  if (name == "encrypt") return encrypt(original, std::get<std::string>(config.param("key")));
  if (name == "keep") return std::string(original);
  // "custom"; validate() has ruled out any other name.
  std::string replacement = std::get<CustomFunction>(config.param("lambda"))(std::string(original));
  size_t bad = find_invalid_utf8(replacement);
  if (bad != std::string_view::npos) {
    throw std::invalid_argument("The custom operator for " + span.entity_type +
                                " returned invalid UTF-8 (bad byte at offset " +
                                std::to_string(bad) + ")");
  }
  return replacement;
}

const OperatorConfig& operator_for(const std::optional<OperatorMap>& operators,
                                   const std::string& entity_type) {
  static const OperatorConfig kDefault;
  if (!operators) return kDefault;
  const OperatorConfig* config = operators->find(entity_type);
  if (config == nullptr) config = operators->find(kDefaultOperatorKey);
  return config == nullptr ? kDefault : *config;
}

}  // namespace

std::vector<recognition::RecognizerResult>
AnonymizerEngine::_remove_conflicts_and_get_text_manipulation_data(
    std::vector<RecognizerResult> results, std::optional<ConflictResolutionStrategy> strategy) const {
  std::vector<Candidate> items = resolve_conflicts(
      std::move(results), strategy.value_or(ConflictResolutionStrategy::MERGE_SIMILAR_OR_CONTAINED));
  std::vector<RecognizerResult> out;
  out.reserve(items.size());
  for (Candidate& c : items) out.push_back(std::move(c.result));
  return out;
}

std::vector<recognition::RecognizerResult>
AnonymizerEngine::_merge_entities_with_whitespace_between(const Utf8Text& text,
                                                           std::vector<RecognizerResult> results) const {
  for (const RecognizerResult& r : results) {
    check_in_text(r, text);
    if (r.start > r.end) {
      throw std::invalid_argument("Result " + describe(r) + " ends before it starts");
    }
  }
  std::stable_sort(results.begin(), results.end(),
                   [](const RecognizerResult& a, const RecognizerResult& b) {
                     if (a.start != b.start) return a.start < b.start;
                     return a.end < b.end;
                   });

  auto only_space_between = [&text](int64_t from, int64_t to) {
    if (to <= from) return true;
    std::string_view gap = text.slice(from, to);
    for (size_t pos = 0; pos < gap.size();) {
      if (!is_py_space(decode_utf8(gap, pos))) return false;
    }
    return true;
  };

  // Merged in place: results [0, kept) are the output so far.
  size_t kept = 0;
  for (size_t i = 0; i < results.size(); ++i) {
    RecognizerResult& r = results[i];
    if (kept > 0 && results[kept - 1].entity_type == r.entity_type &&
        only_space_between(results[kept - 1].end, r.start)) {
      RecognizerResult& last = results[kept - 1];
      last.end = std::max(last.end, r.end);
      if (r.score > last.score) {
        last.score = r.score;
        last.analysis_explanation = std::move(r.analysis_explanation);
        last.recognition_metadata = std::move(r.recognition_metadata);
      }
    } else {
      if (kept != i) results[kept] = std::move(r);
      ++kept;
    }
  }
  results.erase(results.begin() + static_cast<ptrdiff_t>(kept), results.end());
  return results;
}

namespace {

void check_inputs(const Utf8Text& text, const std::vector<RecognizerResult>& results,
                  const std::optional<OperatorMap>& operators) {
  for (const RecognizerResult& r : results) {
    if (r.start < r.end) check_in_text(r, text);
  }
  if (operators) {
    for (const auto& [entity_type, config] : *operators) config.validate();
  }
}

std::vector<Replacement> apply_operators(const Utf8Text& text, std::vector<Candidate> settled,
                                         const std::optional<OperatorMap>& operators) {
  std::vector<Candidate> spans = trim_intersections(std::move(settled), &text);
  sort_by_span(spans);
  std::vector<Replacement> out;
  out.reserve(spans.size());
  for (Candidate& c : spans) {
    const OperatorConfig& config = operator_for(operators, c.result.entity_type);
    std::string value = apply_operator(config, text, c.result);
    out.push_back({std::move(c.result), std::move(value), config.operator_name});
  }
  return out;
}

}  // namespace

std::vector<Replacement> AnonymizerEngine::replace_settled(const Utf8Text& text,
                                                           std::vector<RecognizerResult> settled,
                                                           const std::optional<OperatorMap>& operators) const {
  check_inputs(text, settled, operators);
  std::vector<Candidate> items;
  items.reserve(settled.size());
  for (size_t i = 0; i < settled.size(); ++i) {
    if (settled[i].start < settled[i].end) items.push_back({std::move(settled[i]), i});
  }
  std::vector<RecognizerResult>().swap(settled);
  return apply_operators(text, std::move(items), operators);
}

EngineResult AnonymizerEngine::anonymize(
    const Utf8Text& text, const std::vector<RecognizerResult>& analyzer_results,
    const std::optional<OperatorMap>& operators,
    std::optional<ConflictResolutionStrategy> conflict_resolution) const {
  check_inputs(text, analyzer_results, operators);
  const std::vector<Replacement> replacements = apply_operators(
      text,
      resolve_conflicts(analyzer_results,
                        conflict_resolution.value_or(ConflictResolutionStrategy::MERGE_SIMILAR_OR_CONTAINED)),
      operators);

  EngineResult result;
  result.text.reserve(text.size_bytes());
  int64_t copied_to = 0;  // input code points consumed so far
  int64_t output_cp = 0;  // code points written so far
  auto copy_input = [&](int64_t until) {
    size_t from_byte = text.cp_to_byte(copied_to);
    result.text.append(text.view().substr(from_byte, text.cp_to_byte(until) - from_byte));
    output_cp += until - copied_to;
    copied_to = until;
  };
  for (const Replacement& r : replacements) {
    copy_input(r.span.start);
    auto length = static_cast<int64_t>(utf8_length(r.text));
    result.text += r.text;
    result.items.push_back({r.span.entity_type, output_cp, output_cp + length, r.text, r.operator_name});
    output_cp += length;
    copied_to = r.span.end;
  }
  copy_input(static_cast<int64_t>(text.length()));
  return result;
}

}  // namespace tesk_privacy::anonymization
