#include "pii_detector/custom_lemma_context_aware_enhancer.h"

#include <algorithm>
#include <forward_list>
#include <map>
#include <span>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "ner/string_ids.h"
#include "tesk_privacy/core/logger.h"
#include "text/case_mapping.h"

namespace tesk_privacy::pii_detector {

using recognition::EntityRecognizer;
using recognition::NlpArtifacts;
using recognition::RecognizerResult;

namespace {

core::Logger& logger() {
  static core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer");
  return log;
}

bool debug_enabled() { return logger().is_enabled_for(core::LogLevel::kDebug); }

std::string not_found_message(const std::string& word) {
  return "Did not find word '" + word + "' in the list of tokens although it is expected to be found";
}

// Code points in a UTF-8 string.
int64_t length_in_code_points(std::string_view s) {
  int64_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

bool needs_lowering(std::string_view s) {
  for (char c : s) {
    if ((c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// `s` lower-cased: `s` itself when lower-casing changes nothing (lemmas and
// most context words), else a lower-cased copy kept in `storage`.
std::string_view lowered_view(std::string_view s, std::forward_list<std::string>& storage) {
  return needs_lowering(s) ? std::string_view(storage.emplace_front(to_lower(s))) : s;
}

void split_on_blanks(std::string_view s, std::vector<std::string_view>& words) {
  constexpr std::string_view kBlanks = " \t\n\r\f\v";
  for (size_t pos = s.find_first_not_of(kBlanks); pos != std::string_view::npos;) {
    const size_t end = s.find_first_of(kBlanks, pos);
    words.push_back(s.substr(pos, end == std::string_view::npos ? end : end - pos));
    pos = end == std::string_view::npos ? end : s.find_first_not_of(kBlanks, end);
  }
}

bool is_true(const RecognizerResult::MetadataValue& value) {
  return std::visit(
      [](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return !v.empty();
        } else {
          return v != T{};
        }
      },
      value);
}

const EntityRecognizer* producing_recognizer(
    const RecognizerResult& result, const std::vector<std::pair<std::string_view, const EntityRecognizer*>>& by_id) {
  if (!result.recognition_metadata || result.recognition_metadata->empty()) return nullptr;
  static const std::string kKey = RecognizerResult::RECOGNIZER_IDENTIFIER_KEY;  // looked up without a copy per result
  const auto it = result.recognition_metadata->find(kKey);
  if (it == result.recognition_metadata->end()) return nullptr;
  const auto* id = std::get_if<std::string>(&it->second);
  if (id == nullptr) return nullptr;
  // by_id is sorted by id; of equal ids the last registered wins.
  const auto after = std::upper_bound(by_id.begin(), by_id.end(), std::string_view(*id),
                                      [](std::string_view key, const auto& entry) { return key < entry.first; });
  return after == by_id.begin() || (after - 1)->first != *id ? nullptr : (after - 1)->second;
}

bool already_boosted(const RecognizerResult& result) {
  if (!result.recognition_metadata) return false;
  static const std::string kKey = RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY;
  const auto it = result.recognition_metadata->find(kKey);
  return it != result.recognition_metadata->end() && is_true(it->second);
}

// A recognizer's context entries, lower-cased, and the words of each: made
// once per call for all the results of that recognizer.
struct PreparedContext {
  explicit PreparedContext(const std::vector<std::string>& context) {
    entries.reserve(context.size());
    first_word.reserve(context.size() + 1);
    for (const std::string& entry : context) {
      entries.push_back(lowered_view(entry, lowered_storage));
      first_word.push_back(words.size());
      split_on_blanks(entries.back(), words);
    }
    first_word.push_back(words.size());
  }
  PreparedContext(const PreparedContext&) = delete;  // views into lowered_storage
  PreparedContext& operator=(const PreparedContext&) = delete;

  std::span<const std::string_view> words_of(size_t entry) const {
    return std::span(words).subspan(first_word[entry], first_word[entry + 1] - first_word[entry]);
  }

  std::forward_list<std::string> lowered_storage;
  std::vector<std::string_view> entries;
  std::vector<std::string_view> words;  // of all entries, in order
  std::vector<size_t> first_word;       // per entry, and one past the last
};

// The first entry equal to a collected string; else the first whose words
// all occur within one collected string; else empty.
std::string_view find_supportive(const std::vector<std::string_view>& collected, const PreparedContext& context) {
  for (std::string_view entry : context.entries) {
    if (std::find(collected.begin(), collected.end(), entry) != collected.end()) {
      if (debug_enabled()) logger().debug("Found exact context match '" + std::string(entry) + "'");
      return entry;
    }
  }
  // One-word entries are looked for in all collected strings at once: a word
  // holds no line break, so it cannot match across two of them.
  std::string joined;
  for (std::string_view candidate : collected) joined.append(candidate).push_back('\n');
  for (size_t e = 0; e < context.entries.size(); ++e) {
    const std::span<const std::string_view> words = context.words_of(e);
    // A blank entry has no words; it must not count as contained everywhere.
    if (words.empty()) continue;
    std::string_view found_in;
    if (words.size() == 1) {
      const size_t at = joined.find(words.front());
      if (at == std::string::npos) continue;
      const size_t begin = joined.rfind('\n', at);
      const size_t from = begin == std::string::npos ? 0 : begin + 1;
      found_in = std::string_view(joined).substr(from, joined.find('\n', at) - from);
    } else {
      const auto it = std::find_if(collected.begin(), collected.end(), [&](std::string_view candidate) {
        return std::all_of(words.begin(), words.end(),
                           [&](std::string_view w) { return candidate.find(w) != std::string_view::npos; });
      });
      if (it == collected.end()) continue;
      found_in = *it;
    }
    if (debug_enabled()) {
      logger().debug("Found partial context match '" + std::string(context.entries[e]) + "' in '" +
                     std::string(found_in) + "'");
    }
    return context.entries[e];
  }
  return {};
}

}  // namespace

// The lemmas of one text prepared for the window walks: lower-cased once,
// marked as keyword or not, with the nearest keyword at or before / at or
// after every position and the length of the keyword run ending at each, so
// that a walk or a phrase test costs no more than its result. Built once per
// enhance_using_context call; a text with many detections is not rescanned
// for each of them.
class CustomLemmaContextAwareEnhancer::Window {
 public:
  Window(const std::vector<std::string>& lemmas, const std::vector<std::string>& keywords)
      : size_(static_cast<int64_t>(lemmas.size())),
        lemmas_(lemmas.size()),
        is_keyword_(lemmas.size()),
        previous_keyword_(lemmas.size()),
        next_keyword_(lemmas.size()),
        keyword_run_(lemmas.size()) {
    ner::StringIds keyword_set(keywords.size());
    for (const std::string& keyword : keywords) keyword_set.insert(keyword);
    for (int64_t i = 0; i < size_; ++i) {
      lemmas_[i] = lowered_view(lemmas[i], lowered_);
      is_keyword_[i] = keyword_set.contains(lemmas_[i]);
      previous_keyword_[i] = is_keyword_[i] ? i : (i > 0 ? previous_keyword_[i - 1] : -1);
      keyword_run_[i] = is_keyword_[i] ? (i > 0 ? keyword_run_[i - 1] : 0) + 1 : 0;
    }
    for (int64_t i = size_ - 1; i >= 0; --i) {
      next_keyword_[i] = is_keyword_[i] ? i : (i + 1 < size_ ? next_keyword_[i + 1] : size_);
    }
  }

  // Views into lowered_ would not survive a copy.
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Up to n_words + 1 keyword lemmas from `index` on, nearest first.
  template <typename Out>
  void add_n_words(int64_t index, int n_words, bool is_backward, Out&& out) const {
    if (index < 0 || index >= size_) return;
    int64_t remaining = static_cast<int64_t>(n_words) + 1;
    int64_t i = is_backward ? previous_keyword_[index] : next_keyword_[index];
    while (i >= 0 && i < size_ && remaining > 0) {
      out(lemmas_[i]);
      --remaining;
      if (is_backward) {
        i = i > 0 ? previous_keyword_[i - 1] : -1;
      } else {
        i = i + 1 < size_ ? next_keyword_[i + 1] : size_;
      }
    }
  }

  // Phrases of 2 to max_phrase_words adjacent keywords within n_words + 1
  // tokens of `index`, each handed to `out` as a new string.
  template <typename Out>
  void extract_phrases(int64_t index, int n_words, bool is_backward, int max_phrase_words, Out&& out) const {
    const int64_t remaining = static_cast<int64_t>(n_words) + 1;
    const int64_t longest = std::min<int64_t>(max_phrase_words, remaining);
    const int64_t first = is_backward ? std::max<int64_t>(0, index - remaining) : index;
    const int64_t last = is_backward ? index : std::min(size_, index + remaining) - 1;
    for (int64_t p = std::max<int64_t>(first, 0); p <= last && p < size_; ++p) {
      for (int64_t k = 2; k <= longest; ++k) {
        // Covered positions [lo, hi]; a range clipped by either end of the
        // text is too short, and so is every longer one from here.
        const int64_t lo = is_backward ? std::max<int64_t>(0, p - k + 1) : p;
        const int64_t hi = is_backward ? p : std::min(size_, p + k) - 1;
        if (hi - lo + 1 < k) break;
        if (keyword_run_[hi] < k) continue;
        std::string phrase(lemmas_[lo]);
        for (int64_t i = lo + 1; i <= hi; ++i) phrase.append(" ").append(lemmas_[i]);
        out(std::move(phrase));
      }
    }
  }

  std::vector<std::string> add_n_words(int64_t index, int n_words, bool is_backward) const {
    std::vector<std::string> words;
    add_n_words(index, n_words, is_backward, [&](std::string_view w) { words.emplace_back(w); });
    return words;
  }

  std::vector<std::string> extract_phrases(int64_t index, int n_words, bool is_backward, int max_phrase_words) const {
    std::vector<std::string> phrases;
    extract_phrases(index, n_words, is_backward, max_phrase_words,
                    [&](std::string&& phrase) { phrases.push_back(std::move(phrase)); });
    return phrases;
  }

 private:
  int64_t size_;
  std::forward_list<std::string> lowered_;  // storage for lemmas that lower-casing changed
  std::vector<std::string_view> lemmas_;
  std::vector<char> is_keyword_;
  std::vector<int64_t> previous_keyword_;  // -1 when none
  std::vector<int64_t> next_keyword_;      // size_ when none
  std::vector<int64_t> keyword_run_;
};

namespace {

// Finds the token of a span start by binary search when the tokens are in
// text order (as every NLP engine reports them), else by a walk.
class TokenLocator {
 public:
  TokenLocator(const std::vector<std::string>& tokens, const std::vector<int64_t>& indices)
      : starts_(indices.begin(), indices.begin() + std::min(tokens.size(), indices.size())) {
    ends_.reserve(starts_.size());
    for (size_t i = 0; i < starts_.size(); ++i) {
      ends_.push_back(starts_[i] + length_in_code_points(tokens[i]));
      if (i > 0 && (starts_[i] < starts_[i - 1] || ends_[i] < ends_[i - 1])) ordered_ = false;
    }
  }

  // -1 when the span starts at or after the end of the last token.
  int64_t find(int64_t start) const {
    if (!ordered_) {
      for (size_t i = 0; i < starts_.size(); ++i) {
        if (starts_[i] == start || start < ends_[i]) return static_cast<int64_t>(i);
      }
      return -1;
    }
    const auto first_ending_after = std::upper_bound(ends_.begin(), ends_.end(), start) - ends_.begin();
    const auto first_starting_at = std::lower_bound(starts_.begin(), starts_.end(), start) - starts_.begin();
    int64_t best = first_ending_after < static_cast<int64_t>(ends_.size()) ? first_ending_after : -1;
    if (first_starting_at < static_cast<int64_t>(starts_.size()) && starts_[first_starting_at] == start &&
        (best < 0 || first_starting_at < best)) {
      best = first_starting_at;
    }
    return best;
  }

 private:
  std::vector<int64_t> starts_;
  std::vector<int64_t> ends_;
  bool ordered_ = true;
};

}  // namespace

CustomLemmaContextAwareEnhancer::CustomLemmaContextAwareEnhancer(double context_similarity_factor,
                                                                 double min_score_with_context_similarity,
                                                                 int context_prefix_count,
                                                                 int context_suffix_count, int max_phrase_words)
    : ContextAwareEnhancer(context_similarity_factor, min_score_with_context_similarity, context_prefix_count,
                           context_suffix_count),
      max_phrase_words(max_phrase_words) {}

std::vector<RecognizerResult> CustomLemmaContextAwareEnhancer::enhance_using_context(
    const Utf8Text& text, std::vector<RecognizerResult> results, const NlpArtifacts& nlp_artifacts,
    const std::vector<std::shared_ptr<EntityRecognizer>>& recognizers,
    const std::optional<std::vector<std::string>>& context) const {
  std::vector<std::pair<std::string_view, const EntityRecognizer*>> by_id;
  by_id.reserve(recognizers.size());
  for (const auto& recognizer : recognizers) {
    if (recognizer) by_id.emplace_back(recognizer->id(), recognizer.get());
  }
  std::stable_sort(by_id.begin(), by_id.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::forward_list<std::string> caller_storage;
  std::vector<std::string_view> caller_context;
  if (context) {
    for (const std::string& word : *context) caller_context.push_back(lowered_view(word, caller_storage));
  }

  std::optional<Window> window;
  std::optional<TokenLocator> locator;
  std::map<std::pair<int64_t, const EntityRecognizer*>, std::string> supportive_by_token;
  std::unordered_map<const EntityRecognizer*, PreparedContext> prepared;
  auto prepared_for = [&](const EntityRecognizer* r) -> const PreparedContext& {
    return prepared.try_emplace(r, r->context()).first->second;
  };
  std::vector<std::string_view> collected;
  std::forward_list<std::string> phrases;
  for (RecognizerResult& result : results) {
    const EntityRecognizer* recognizer = producing_recognizer(result, by_id);
    if (recognizer == nullptr) {
      logger().debug("Recognizer name not found as part of the recognition_metadata dict in the RecognizerResult.");
      continue;
    }
    if (recognizer->context().empty()) {
      if (debug_enabled()) {
        logger().debug("recognizer '" + recognizer->name() + "' does not support context enhancement");
      }
      continue;
    }
    if (already_boosted(result)) {
      logger().debug("result score already boosted, skipping");
      continue;
    }
    std::string supportive;
    if (nlp_artifacts.tokens.empty()) {
      logger().info("Skipping context extraction due to lack of NLP artifacts");
      std::vector<std::string_view> surrounding{""};
      surrounding.insert(surrounding.end(), caller_context.begin(), caller_context.end());
      supportive = find_supportive(surrounding, prepared_for(recognizer));
    } else {
      if (!locator) locator.emplace(nlp_artifacts.tokens, nlp_artifacts.tokens_indices);
      const int64_t token_index = locator->find(result.start);
      if (token_index < 0) {
        // One span beyond the tokens must not cost the caller every other
        // result: this one keeps its score, the others go on.
        if (debug_enabled()) {
          const std::string word(text.slice(static_cast<size_t>(std::max<int64_t>(result.start, 0)),
                                            static_cast<size_t>(std::max<int64_t>(result.end, 0))));
          logger().debug(not_found_message(word) + "; the score is left unchanged");
        }
        continue;
      }
      auto search = [&] {
        if (!window) window.emplace(nlp_artifacts.lemmas, nlp_artifacts.keywords);
        phrases.clear();
        surrounding_words(*window, token_index, collected, phrases);
        collected.insert(collected.end(), caller_context.begin(), caller_context.end());
        return std::string(find_supportive(collected, prepared_for(recognizer)));
      };
      // Results that start in one token and come from one recognizer see the
      // same context words, so the search runs once per (token, recognizer):
      // a long text without blanks is a single token that every result in it
      // would otherwise copy and search again. With debug logging on, each
      // result still logs its own context list.
      if (debug_enabled()) {
        supportive = search();
      } else {
        auto [memo, inserted] = supportive_by_token.try_emplace({token_index, recognizer});
        if (inserted) memo->second = search();
        supportive = memo->second;
      }
    }
    if (supportive.empty()) continue;
    double score = result.score + context_similarity_factor;
    score = std::max(score, min_score_with_context_similarity);
    score = std::min(score, MAX_SCORE);
    if (!result.analysis_explanation) result.analysis_explanation.emplace(recognizer->name(), result.score);
    result.score = score;
    recognition::AnalysisExplanation& explanation = result.analysis_explanation.edit();
    explanation.set_supportive_context_word(supportive);
    explanation.set_improved_score(score);
  }
  return results;
}

void CustomLemmaContextAwareEnhancer::surrounding_words(const Window& window, int64_t token_index,
                                                        std::vector<std::string_view>& words,
                                                        std::forward_list<std::string>& phrases) const {
  words.clear();
  auto add = [&](std::string_view w) {
    if (std::find(words.begin(), words.end(), w) == words.end()) words.push_back(w);
  };
  window.add_n_words(token_index, context_prefix_count, true, add);
  window.add_n_words(token_index, context_suffix_count, false, add);
  auto add_phrase = [&](std::string&& phrase) {
    if (std::find(words.begin(), words.end(), phrase) == words.end()) {
      words.push_back(phrases.emplace_front(std::move(phrase)));
    }
  };
  window.extract_phrases(token_index, context_prefix_count, true, max_phrase_words, add_phrase);
  window.extract_phrases(token_index, context_suffix_count, false, max_phrase_words, add_phrase);
  if (debug_enabled()) {
    std::string joined;
    for (std::string_view w : words) joined.append(joined.empty() ? "" : " ").append(w);
    logger().debug("Context list is: " + joined);
  }
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_extract_surrounding_words(
    const NlpArtifacts& nlp_artifacts, const std::string& word, int64_t start) const {
  if (nlp_artifacts.tokens.empty()) {
    logger().info("Skipping context extraction due to lack of NLP artifacts");
    return {""};
  }
  const int64_t token_index =
      _find_index_of_match_token(word, start, nlp_artifacts.tokens, nlp_artifacts.tokens_indices);
  std::vector<std::string_view> words;
  std::forward_list<std::string> phrases;
  surrounding_words(Window(nlp_artifacts.lemmas, nlp_artifacts.keywords), token_index, words, phrases);
  return {words.begin(), words.end()};
}

int64_t CustomLemmaContextAwareEnhancer::_find_index_of_match_token(const std::string& word, int64_t start,
                                                                    const std::vector<std::string>& tokens,
                                                                    const std::vector<int64_t>& tokens_indices) {
  const size_t n = std::min(tokens.size(), tokens_indices.size());
  for (size_t i = 0; i < n; ++i) {
    if (tokens_indices[i] == start || start < tokens_indices[i] + length_in_code_points(tokens[i])) {
      return static_cast<int64_t>(i);
    }
  }
  throw std::invalid_argument(not_found_message(word));
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_add_n_words(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords, bool is_backward) {
  return Window(lemmas, lemmatized_filtered_keywords).add_n_words(index, n_words, is_backward);
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_add_n_words_forward(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords) {
  return _add_n_words(index, n_words, lemmas, lemmatized_filtered_keywords, false);
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_add_n_words_backward(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords) {
  return _add_n_words(index, n_words, lemmas, lemmatized_filtered_keywords, true);
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_extract_phrases(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords, bool is_backward) const {
  return Window(lemmas, lemmatized_filtered_keywords).extract_phrases(index, n_words, is_backward, max_phrase_words);
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_extract_phrases_forward(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords) const {
  return _extract_phrases(index, n_words, lemmas, lemmatized_filtered_keywords, false);
}

std::vector<std::string> CustomLemmaContextAwareEnhancer::_extract_phrases_backward(
    int64_t index, int n_words, const std::vector<std::string>& lemmas,
    const std::vector<std::string>& lemmatized_filtered_keywords) const {
  return _extract_phrases(index, n_words, lemmas, lemmatized_filtered_keywords, true);
}

std::string CustomLemmaContextAwareEnhancer::_find_supportive_word_in_context(
    const std::vector<std::string>& context_list, const std::vector<std::string>& recognizer_context_list) {
  std::forward_list<std::string> storage;
  std::vector<std::string_view> collected;
  collected.reserve(context_list.size());
  for (const std::string& w : context_list) collected.push_back(lowered_view(w, storage));
  return std::string(find_supportive(collected, PreparedContext(recognizer_context_list)));
}

}  // namespace tesk_privacy::pii_detector
