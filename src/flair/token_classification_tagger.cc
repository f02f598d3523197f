#include "flair/token_classification_tagger.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "flair/tag_decoding.h"
#include "inference/model_resolver.h"

namespace tesk_privacy::flair {
namespace {

// Every token with its own label, none left out: words and spans are
// formed here, not by the pipeline.
inference::TokenClassificationOptions per_token() {
  inference::TokenClassificationOptions options;
  options.aggregation_strategy = inference::AggregationStrategy::kNone;
  options.ignore_labels = {};
  return options;
}

}  // namespace

TokenClassificationTagger::TokenClassificationTagger(inference::Tokenizer tokenizer,
                                                     std::shared_ptr<const inference::Encoder> model)
    : pipeline_(std::move(tokenizer), std::move(model), per_token()) {}

std::shared_ptr<TokenClassificationTagger> TokenClassificationTagger::from_pretrained(std::string_view model) {
  const std::filesystem::path folder = inference::resolve_model(model);
  // A model saved by another tagging library (a single pickled file, say)
  // has none of these; say so rather than fail on the first file opened.
  std::string missing;
  for (const char* name : {"config.json", "tokenizer.json"}) {
    if (!std::filesystem::exists(folder / name)) missing += std::string(missing.empty() ? "" : ", ") + name;
  }
  if (!std::filesystem::exists(folder / "model.safetensors") &&
      !std::filesystem::exists(folder / "model.safetensors.index.json")) {
    missing += std::string(missing.empty() ? "" : ", ") + "model.safetensors";
  }
  if (!missing.empty()) {
    throw std::runtime_error("'" + std::string(model) + "' (" + folder.string() +
                             ") is not a token-classification model in the hub format: no " + missing);
  }
  inference::Tokenizer tokenizer = inference::Tokenizer::from_folder(folder);
  auto encoder = std::make_shared<const inference::Encoder>(inference::Encoder::from_folder(folder));
  return std::make_shared<TokenClassificationTagger>(std::move(tokenizer), std::move(encoder));
}

void TokenClassificationTagger::predict(Sentence& sentence) const {
  sentence.remove_labels(kNerLabelType);
  const std::string& text = sentence.to_original_text();
  const inference::Encoding content = pipeline_.tokenizer().encode(text, /*add_special_tokens=*/false);
  const std::vector<inference::EntityPrediction> tokens = pipeline_(text);
  if (tokens.size() != content.size()) {
    throw std::runtime_error("the model labelled " + std::to_string(tokens.size()) + " tokens of " +
                             std::to_string(content.size()));
  }
  // A word takes its first token's label; its span runs to its last token's end.
  std::vector<TaggedWord> words;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0 && content.word_ids[i] == content.word_ids[i - 1]) {
      words.back().end = std::max(words.back().end, tokens[i].end);
      continue;
    }
    words.push_back({tokens[i].start, tokens[i].end, tokens[i].entity, tokens[i].score});
  }
  for (const TaggedSpan& span : decode_tags(words)) {
    if (span.start < span.end) sentence.add_span(kNerLabelType, span.start, span.end, span.value, std::min(span.score, 1.0));
  }
}

}  // namespace tesk_privacy::flair
