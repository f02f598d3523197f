#include "recognition/nlp_engine_provider.h"

#include <stdexcept>

#include "recognition/simple_nlp_engine.h"

namespace tesk_privacy::recognition {

std::shared_ptr<NlpEngine> NlpEngineProvider::create_engine() const {
  if (nlp_configuration_.nlp_engine_name != kEngineName) {
    throw std::invalid_argument("NLP engine '" + nlp_configuration_.nlp_engine_name +
                                "' is not available; the available engine is '" + kEngineName + "'");
  }
  return std::make_shared<SimpleNlpEngine>(nlp_configuration_);
}

}  // namespace tesk_privacy::recognition
