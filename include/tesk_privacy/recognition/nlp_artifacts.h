// NlpArtifacts: what the NLP engine knows about one text — its tokens, where
// each starts (code points), their lemmas, the keywords (lower-cased lemmas
// of tokens that are neither stop words nor punctuation) that context
// enhancement compares against recognizers' context words, and the named
// entities its statistical model found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tesk_privacy::recognition {

// A named entity found by the NLP engine's model: "PERSON", "LOCATION" or
// "ORGANIZATION", a span of code points [start, end) and a confidence in 0..1.
struct NlpEntity {
  std::string entity_type;
  int64_t start = 0;
  int64_t end = 0;
  double score = 0.0;

  bool operator==(const NlpEntity&) const = default;
};

struct NlpArtifacts {
  std::vector<std::string> tokens;
  std::vector<int64_t> tokens_indices;  // start of each token, code points
  std::vector<std::string> lemmas;
  std::vector<std::string> keywords;
  std::string nlp_engine_name;
  std::vector<NlpEntity> entities;  // in text order
};

}  // namespace tesk_privacy::recognition
