// TokenAwareTextChunker: decides whether a text exceeds a model's token
// budget and, when it does, cuts it into (start, end) spans of code points
// whose token counts fit the budget — at sentence ends where every sentence
// fits, else between words. Token counts are exact: each span handed out
// was counted by the tokenizer itself, special tokens included.
//
//   TokenAwareTextChunker chunker(tokenizer, /*max_tokens=*/512);
//   if (chunker.should_chunk(text))
//     for (auto [start, end] : chunker.split_text(text)) run_model(slice(text, start, end));
//
// Spans are real positions of the text: white space between spans is left
// out, and the last span ends where the text's last word or sentence ends.
// Immutable; its tokenizer calls go through the tokenizer's own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "pii_detector/models/locked_tokenizer.h"

namespace tesk_privacy::pii_detector {

// [start, end) in code points.
using TextSpan = std::pair<size_t, size_t>;

inline constexpr int64_t DEFAULT_SAFE_MAX_LENGTH = 512;
inline constexpr int64_t MAX_REASONABLE_LENGTH = 8192;
inline constexpr double CHUNK_SIZE_RATIO = 0.9;
// A run of white space that follows ".", "!" or "?".
inline constexpr const char* SENTENCE_SPLIT_PATTERN = R"((?<=[.!?])\s+)";

class TokenAwareTextChunker {
 public:
  // `max_tokens`, when present and not 0, is the budget as is; otherwise the
  // budget is 90% of the tokenizer's model_max_length (512 when it has none
  // or one above 8192). Throws std::invalid_argument for a null tokenizer or
  // a negative budget.
  explicit TokenAwareTextChunker(std::shared_ptr<const LockedTokenizer> tokenizer,
                                 std::optional<int64_t> max_tokens = std::nullopt);

  int64_t get_max_chunk_tokens() const;
  // False for a text of white space only.
  bool should_chunk(std::string_view text) const;
  // Sentence spans when every sentence fits the budget, else word spans.
  std::vector<TextSpan> split_text(std::string_view text) const;
  // Consecutive sentences grouped under `max_tokens`; empty when the text
  // has fewer than two sentences or one sentence alone exceeds the budget.
  std::vector<TextSpan> split_by_sentences(std::string_view text, int64_t max_tokens) const;
  // Consecutive words grouped under `max_tokens`; a word over the budget
  // on its own is a span of its own.
  std::vector<TextSpan> split_by_words(std::string_view text, int64_t max_tokens) const;

  const std::shared_ptr<const LockedTokenizer>& tokenizer() const { return tokenizer_; }
  std::optional<int64_t> max_tokens_override() const { return max_tokens_override_; }

 private:
  std::shared_ptr<const LockedTokenizer> tokenizer_;
  std::optional<int64_t> max_tokens_override_;
};

}  // namespace tesk_privacy::pii_detector
