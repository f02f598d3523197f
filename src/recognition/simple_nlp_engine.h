// SimpleNlpEngine: this library's rule-based NLP engine for Indonesian and
// English, in place of a statistical pipeline. For each text it produces
//   - tokens and their start offsets (code points), from the Tokenizer;
//   - lemmas: words lower-cased and reduced by the language's lemmatizer
//     (EnglishLemmatizer for "en", IndonesianLemmatizer for "id");
//     abbreviations lower-cased without their period ("PT." -> "pt");
//     numbers, e-mail addresses, URLs, punctuation and symbols unchanged;
//   - keywords: the lower-cased lemmas of tokens that are neither stop words
//     (StopWords of the language, checked on the word and on its lemma) nor
//     punctuation or symbols.
// Words in capitals ("BPJS") and capitalised words inside a sentence (names)
// are only lower-cased, not reduced: without part-of-speech tags they are
// most likely acronyms and proper nouns, which reduction would mangle.
//
//   SimpleNlpEngine engine;   // "en" and "id"
//   NlpArtifacts a = engine.process_text("Nomor rekeningnya adalah 1234567890", "id");
//   // tokens  Nomor rekeningnya adalah 1234567890
//   // lemmas  nomor rekening    adalah 1234567890
//   // keywords nomor rekening 1234567890
//
//   - entities: persons, locations and organisations found by the built-in
//     named-entity model (ner::Tagger) on the same tokens, with code-point
//     spans and confidences; spans with an e-mail address or URL in them, or
//     without a word, are left out.
//
// Each configured language has one pipeline; the only pipeline is the
// built-in one, named "en_core_web_sm" for either language.
//
// Immutable after construction; process_text may run on several threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ner/tagger.h"
#include "recognition/lemmatizer.h"
#include "recognition/stop_words.h"
#include "recognition/tokenizer.h"
#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/nlp_engine.h"

namespace tesk_privacy::recognition {

class SimpleNlpEngine : public NlpEngine {
 public:
  static constexpr const char* kBuiltinModelName = "en_core_web_sm";

  // "en" and "id", as the default NlpConfiguration has them.
  SimpleNlpEngine() : SimpleNlpEngine(NlpConfiguration{}) {}
  // One pipeline per entry of `configuration.models` (a later entry for a
  // language replaces an earlier one). Throws std::invalid_argument for a
  // model other than "en_core_web_sm", a language other than "en" or "id",
  // or no models at all.
  explicit SimpleNlpEngine(const NlpConfiguration& configuration);

  // Throws std::invalid_argument for a language without a pipeline.
  NlpArtifacts process_text(const Utf8Text& text, const std::string& language) const override;
  std::vector<std::string> supported_languages() const override;

 private:
  struct Pipeline {
    std::string language;
    std::string model_name;
    std::unique_ptr<Lemmatizer> lemmatizer;
    StopWords stop_words;
  };
  const Pipeline& pipeline(const std::string& language) const;

  std::string engine_name_;
  Tokenizer tokenizer_;
  ner::Tagger tagger_;
  std::vector<Pipeline> pipelines_;
};

}  // namespace tesk_privacy::recognition
