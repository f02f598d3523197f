// FormatRecognizer: the base of the recognizers for PII as people in
// Indonesia write it. A subclass finds candidates with its regular
// expressions and judges each in code (digit counts, checksums, the words
// before it), reporting findings in bytes; the base turns them into results
// with code-point offsets, an explanation and the recognizer's metadata.
//
// A subclass that weighs the words around a candidate itself marks its
// results as already raised from context, so the engine's enhancer leaves
// their scores alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::pii_detector::formats {

// The bytes of `text` from `start` on, at most about `length` of them and
// ending at a character boundary: an anchored match tried at many places of
// a long text must not look at (or validate) the whole rest each time.
std::string_view match_window(std::string_view text, size_t start, size_t length);

class FormatRecognizer : public recognition::EntityRecognizer {
 public:
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                                     const recognition::NlpArtifacts* nlp_artifacts,
                                                     std::optional<int> regex_flags = std::nullopt) const override;

 protected:
  struct Finding {
    const char* entity_type;
    size_t byte_start;
    size_t byte_end;
    double score;
    const char* pattern_name;
  };

  FormatRecognizer(std::vector<std::string> supported_entities, std::string name, std::string supported_language,
                   std::vector<std::string> context, bool judges_context);

  // Appends the findings in `text` of the requested `entities` (empty: all).
  virtual void find(const Utf8Text& text, const std::vector<std::string>& entities,
                    std::vector<Finding>& out) const = 0;

  bool wants(const std::vector<std::string>& entities, const char* type) const;

  static std::unique_ptr<const regex::Regex> compile(std::string_view pattern, int flags = regex::IGNORECASE);

 private:
  bool judges_context_;
};

}  // namespace tesk_privacy::pii_detector::formats
