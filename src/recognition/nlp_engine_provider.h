// NlpEngineProvider: builds the NLP engine that an NlpConfiguration names.
//
// The engine name "spacy" selects this library's own rule-based engine
// (SimpleNlpEngine), which takes the place of the spaCy pipeline; the model
// name "en_core_web_sm" selects its built-in pipeline, for "en" and for "id"
// alike. Anything else is refused with std::invalid_argument.
//
//   NlpEngineProvider provider;                      // the default configuration
//   std::shared_ptr<NlpEngine> engine = provider.create_engine();
//   NlpArtifacts a = engine->process_text("Nomor rekening saya 1234567890", "id");
#pragma once

#include <memory>

#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/nlp_engine.h"

namespace tesk_privacy::recognition {

class NlpEngineProvider {
 public:
  static constexpr const char* kEngineName = "spacy";

  explicit NlpEngineProvider(NlpConfiguration nlp_configuration = {})
      : nlp_configuration_(std::move(nlp_configuration)) {}

  // A new engine for the configuration's languages. Throws
  // std::invalid_argument for an unknown engine name, no models, or a model
  // or language the engine does not provide.
  std::shared_ptr<NlpEngine> create_engine() const;

  const NlpConfiguration& nlp_configuration() const { return nlp_configuration_; }

 private:
  NlpConfiguration nlp_configuration_;
};

}  // namespace tesk_privacy::recognition
