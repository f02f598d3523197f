// TokenClassificationTagger: a SequenceTagger backed by a transformer
// token-classification model in the hub format (config.json,
// model.safetensors, tokenizer.json), run by the inference layer.
//
// Each word (as the tokenizer's pre-tokenizer delimits words) takes the
// label and probability of its first token; the words' BIO or BIOES tags
// then form the spans (decode_tags), whose text offsets are code points.
// Texts longer than the model's window are run in overlapping windows.
//
//   auto tagger = flair::TokenClassificationTagger::from_pretrained("org/ner-model");
//   flair::Sentence sentence("Budi tinggal di Jakarta");
//   tagger->predict(sentence);
//
// Immutable after construction; predict() may run on several threads.
#pragma once

#include <memory>
#include <string_view>

#include "flair/sequence_tagger.h"
#include "inference/encoder.h"
#include "inference/token_classification_pipeline.h"
#include "inference/tokenizer.h"

namespace tesk_privacy::flair {

class TokenClassificationTagger : public SequenceTagger {
 public:
  TokenClassificationTagger(inference::Tokenizer tokenizer, std::shared_ptr<const inference::Encoder> model);
  // A folder or a hub identifier in the local hub cache (resolve_model).
  // A folder without the hub-format files fails with std::runtime_error
  // naming what is missing.
  static std::shared_ptr<TokenClassificationTagger> from_pretrained(std::string_view model);

  void predict(Sentence& sentence) const override;

  const inference::TokenClassificationPipeline& pipeline() const { return pipeline_; }

 private:
  inference::TokenClassificationPipeline pipeline_;
};

}  // namespace tesk_privacy::flair
