#include "flair/sequence_tagger.h"

#include "flair/token_classification_tagger.h"

namespace tesk_privacy::flair {

std::shared_ptr<SequenceTagger> SequenceTagger::load(std::string_view model_name) {
  return TokenClassificationTagger::from_pretrained(model_name);
}

}  // namespace tesk_privacy::flair
