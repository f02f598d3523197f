// SimpleNlpEngine: a rule-based NLP engine for Indonesian and English.
// Tokens are runs of word characters and single punctuation marks; a lemma is
// the lower-cased token; keywords drop punctuation and common stop words.
// Enough for context words to be found near a detection.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "tesk_privacy/recognition/nlp_engine.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::recognition {

class SimpleNlpEngine : public NlpEngine {
 public:
  SimpleNlpEngine();
  NlpArtifacts process_text(const Utf8Text& text, const std::string& language) const override;
  std::vector<std::string> supported_languages() const override { return {"en", "id"}; }

 private:
  regex::Regex token_pattern_;
  std::unordered_set<std::string> stop_words_;
};

}  // namespace tesk_privacy::recognition
