// NlpEngine: turns a text into NlpArtifacts for one language. The analyzer
// engine calls process_text once per analysis and hands the artifacts to
// every recognizer and to the context enhancer.
//
// Implementations are immutable after construction and safe to share.
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/nlp_artifacts.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::recognition {

class NlpEngine {
 public:
  virtual ~NlpEngine() = default;
  virtual NlpArtifacts process_text(const Utf8Text& text, const std::string& language) const = 0;
  virtual std::vector<std::string> supported_languages() const = 0;
  virtual bool is_loaded() const { return true; }
};

}  // namespace tesk_privacy::recognition
