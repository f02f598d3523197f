// TokenClassificationPipeline: named-entity recognition with a token
// classification model — tokenize, run the encoder, turn each token's
// logits into label probabilities, and report labelled spans of the text.
//
//   auto ner = TokenClassificationPipeline::from_pretrained(
//       "cahya/bert-base-indonesian-NER", {.aggregation_strategy = AggregationStrategy::kSimple});
//   for (const EntityPrediction& p : ner("Budi tinggal di Jakarta")) {
//     p.entity_group;  // "PER"
//     p.start, p.end;  // code points of the text
//   }
//
// Aggregation strategies, as users of such pipelines know them:
//  - "none": one record per token with the token's own label in `entity`,
//    its token string in `word`, and its position in `index`;
//  - "simple": consecutive tokens whose labels share a type (B-/I- prefix
//    aside) and do not start a new entity with "B-" form one record,
//    labelled in `entity_group` with the type, scored by the mean;
//  - "first", "average", "max": the tokens of each word (as the tokenizer's
//    pre-tokenizer delimits words) first agree on one label — the first
//    token's, the mean probabilities', or the most confident token's — and
//    the words are then grouped as under "simple".
// Records whose label is in `ignore_labels` (compared with `entity` and with
// `entity_group`) are left out.
//
// A text longer than the model can take at once (its position table, or the
// tokenizer's model_max_length when smaller) is run in overlapping windows;
// each token takes its probabilities from the window where it has the most
// context on both sides, so no part of the text goes unlabelled.
//
// Immutable after construction; may be called from several threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inference/encoder.h"
#include "inference/tokenizer.h"

namespace tesk_privacy::inference {

enum class AggregationStrategy { kNone, kSimple, kFirst, kAverage, kMax };

// "none", "simple", "first", "average" or "max", in any letter case; throws
// std::invalid_argument otherwise.
AggregationStrategy parse_aggregation_strategy(std::string_view name);

struct TokenClassificationOptions {
  AggregationStrategy aggregation_strategy = AggregationStrategy::kNone;
  std::vector<std::string> ignore_labels = {"O"};
  // Tokens shared by neighbouring windows of a long text (at most half a window).
  size_t window_overlap = 128;
};

struct EntityPrediction {
  std::string entity;        // the token's label; set without aggregation
  std::string entity_group;  // the entity type; set with aggregation
  double score = 0;          // probability, 0 to 1
  std::string word;
  size_t start = 0;  // code points of the text, end exclusive
  size_t end = 0;
  std::optional<size_t> index;  // token position, special tokens counted; without aggregation

  // entity_group, or entity when there is no group.
  const std::string& label() const { return entity_group.empty() ? entity : entity_group; }
};

class TokenClassificationPipeline {
 public:
  // Throws std::invalid_argument when the model leaves no room for a token
  // next to the tokenizer's special tokens.
  TokenClassificationPipeline(Tokenizer tokenizer, std::shared_ptr<const Encoder> model,
                              TokenClassificationOptions options = {});
  // Loads tokenizer and model from a folder or a cached hub model
  // (resolve_model).
  static TokenClassificationPipeline from_pretrained(std::string_view model,
                                                     TokenClassificationOptions options = {});

  std::vector<EntityPrediction> operator()(std::string_view text) const;

  const Tokenizer& tokenizer() const { return tokenizer_; }
  const Encoder& model() const { return *model_; }
  const TokenClassificationOptions& options() const { return options_; }
  // Content tokens (special tokens aside) one model run takes.
  size_t window_size() const { return window_; }

 private:
  // Probabilities of every content token of `e`, row by row.
  std::vector<std::vector<float>> token_probabilities(const Encoding& e) const;

  Tokenizer tokenizer_;
  std::shared_ptr<const Encoder> model_;
  TokenClassificationOptions options_;
  size_t window_ = 0;
  size_t leading_special_tokens_ = 0;
};

}  // namespace tesk_privacy::inference
