#include "pii_detector/models/text_chunker.h"

#include <stdexcept>

#include "tesk_privacy/text/utf8_text.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
namespace {

bool blank_text(const Utf8Text& text) {
  for (size_t pos = 0; pos < text.size_bytes();) {
    if (!is_py_space(decode_utf8(text.view(), pos))) return false;
  }
  return true;
}

std::u32string code_points(const Utf8Text& text) {
  std::u32string out;
  out.reserve(text.length());
  for (size_t pos = 0; pos < text.size_bytes();) out.push_back(decode_utf8(text.view(), pos));
  return out;
}

// Groups consecutive units (spans of the text, in order) into spans whose
// text, from the first unit's start to the last one's end, has at most
// `budget` tokens. A unit over the budget on its own ends the grouping with
// nullopt when `abandon_on_oversize`, else it becomes a span of its own.
//
// Token counts only grow as units are added, so the longest fitting run is
// found by doubling the run and then halving the gap (a logarithmic number
// of counts per span) rather than by re-counting after every unit.
std::optional<std::vector<TextSpan>> group_units(const LockedTokenizer& tokenizer, const Utf8Text& text,
                                                 const std::vector<TextSpan>& units, int64_t budget,
                                                 bool abandon_on_oversize) {
  auto fits = [&](size_t first, size_t last) {
    const auto n = tokenizer.count_tokens(text.slice(units[first].first, units[last].second));
    return static_cast<int64_t>(n) <= budget;
  };
  std::vector<TextSpan> spans;
  for (size_t i = 0; i < units.size();) {
    if (!fits(i, i)) {
      if (abandon_on_oversize) return std::nullopt;
      spans.push_back(units[i]);
      ++i;
      continue;
    }
    size_t good = i, step = 1, bad = units.size();
    while (good + step < units.size()) {
      if (!fits(i, good + step)) {
        bad = good + step;
        break;
      }
      good += step;
      step *= 2;
    }
    while (bad - good > 1) {
      const size_t mid = good + (bad - good) / 2;
      if (fits(i, mid)) good = mid;
      else bad = mid;
    }
    spans.emplace_back(units[i].first, units[good].second);
    i = good + 1;
  }
  return spans;
}

}  // namespace

TokenAwareTextChunker::TokenAwareTextChunker(std::shared_ptr<const LockedTokenizer> tokenizer,
                                             std::optional<int64_t> max_tokens)
    : tokenizer_(std::move(tokenizer)), max_tokens_override_(max_tokens) {
  if (!tokenizer_) throw std::invalid_argument("TokenAwareTextChunker: no tokenizer");
  if (max_tokens_override_ && *max_tokens_override_ < 0) {
    throw std::invalid_argument("TokenAwareTextChunker: max_tokens must not be negative, got " +
                                std::to_string(*max_tokens_override_));
  }
}

int64_t TokenAwareTextChunker::get_max_chunk_tokens() const {
  if (max_tokens_override_ && *max_tokens_override_ != 0) return *max_tokens_override_;
  const auto length = tokenizer_->model_max_length();
  const int64_t safe = !length || *length > static_cast<size_t>(MAX_REASONABLE_LENGTH)
                           ? DEFAULT_SAFE_MAX_LENGTH
                           : static_cast<int64_t>(*length);
  return static_cast<int64_t>(static_cast<double>(safe) * CHUNK_SIZE_RATIO);
}

bool TokenAwareTextChunker::should_chunk(std::string_view text) const {
  const Utf8Text t(text);
  if (blank_text(t)) return false;
  return static_cast<int64_t>(tokenizer_->count_tokens(text)) > get_max_chunk_tokens();
}

std::vector<TextSpan> TokenAwareTextChunker::split_text(std::string_view text) const {
  if (blank_text(Utf8Text(text))) return {};
  const int64_t m = get_max_chunk_tokens();
  auto spans = split_by_sentences(text, m);
  if (!spans.empty()) return spans;
  return split_by_words(text, m);
}

std::vector<TextSpan> TokenAwareTextChunker::split_by_sentences(std::string_view text, int64_t max_tokens) const {
  const Utf8Text t(text);
  const std::u32string cps = code_points(t);
  // Segments between runs of white space that follow ".", "!" or "?"; a
  // text ending in such a run has an empty last segment, which counts
  // towards "two sentences" but holds nothing to analyse.
  std::vector<TextSpan> segments;
  size_t segment_start = 0, count = 1;
  for (size_t i = 1; i < cps.size(); ++i) {
    if (!is_py_space(cps[i])) continue;
    const char32_t before = cps[i - 1];
    if (before != U'.' && before != U'!' && before != U'?') continue;
    size_t j = i;
    while (j < cps.size() && is_py_space(cps[j])) ++j;
    segments.emplace_back(segment_start, i);
    ++count;
    segment_start = j;
    i = j - 1;
  }
  if (segment_start < cps.size()) segments.emplace_back(segment_start, cps.size());
  if (count < 2) return {};
  auto spans = group_units(*tokenizer_, t, segments, max_tokens, /*abandon_on_oversize=*/true);
  return spans ? std::move(*spans) : std::vector<TextSpan>{};
}

std::vector<TextSpan> TokenAwareTextChunker::split_by_words(std::string_view text, int64_t max_tokens) const {
  const Utf8Text t(text);
  const std::u32string cps = code_points(t);
  std::vector<TextSpan> words;
  for (size_t i = 0; i < cps.size();) {
    if (is_py_space(cps[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < cps.size() && !is_py_space(cps[j])) ++j;
    words.emplace_back(i, j);
    i = j;
  }
  return *group_units(*tokenizer_, t, words, max_tokens, /*abandon_on_oversize=*/false);
}

}  // namespace tesk_privacy::pii_detector
