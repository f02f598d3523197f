// NlpArtifacts: what the NLP engine knows about one text — its tokens, where
// each starts (code points), their lemmas, and the keywords (lower-cased
// lemmas of tokens that are neither stop words nor punctuation) that context
// enhancement compares against recognizers' context words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tesk_privacy::recognition {

struct NlpArtifacts {
  std::vector<std::string> tokens;
  std::vector<int64_t> tokens_indices;  // start of each token, code points
  std::vector<std::string> lemmas;
  std::vector<std::string> keywords;
  std::string nlp_engine_name;
};

}  // namespace tesk_privacy::recognition
