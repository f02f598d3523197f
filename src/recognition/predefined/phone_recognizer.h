// PhoneRecognizer: finds telephone numbers ("PHONE_NUMBER") with Google's
// libphonenumber. Its matcher reads the text once per region of
// `supported_regions` (numbers in national format are read as numbers of
// that region; numbers with a "+" country code are found under any region)
// and reports the numbers it considers valid. A span found under several
// regions is reported once.
//
//   PhoneRecognizer recognizer;                    // "en", default regions
//   PhoneRecognizer indonesian("id", {"ID"});
//
// DEFAULT_REGIONS: Indonesia, its neighbours Singapore and Malaysia, and the
// English-speaking countries whose numbers turn up most in Indonesian
// business text: the United States (and the rest of +1), the United Kingdom,
// Australia and India. Each region costs a pass of libphonenumber (some
// 40 microseconds per digit group) over the digit runs of the text, so a
// region is skipped for a piece of text where the library's metadata rules
// out any valid number of it (most digit groups in prose are identity or
// account numbers), a lone number in national format such as
// "0812-3456-7890" is verified against the same metadata without the
// matcher, and a text's repeated pieces are matched once; the result is the
// matcher's own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::regex {
class Regex;
}  // namespace tesk_privacy::regex

namespace tesk_privacy::recognition {

class PhoneNumberVerifier;

class PhoneRecognizer : public EntityRecognizer {
 public:
  static const std::vector<std::string>& DEFAULT_REGIONS();

  // Throws std::invalid_argument for a region code libphonenumber does not
  // know.
  explicit PhoneRecognizer(std::string supported_language = "en",
                           std::vector<std::string> supported_regions = DEFAULT_REGIONS(),
                           std::optional<std::vector<std::string>> context = std::nullopt);

  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                        const NlpArtifacts* nlp_artifacts,
                                        std::optional<int> regex_flags = std::nullopt) const override;

  const std::vector<std::string>& supported_regions() const { return supported_regions_; }
  double score() const { return score_; }

 private:
  std::vector<std::string> supported_regions_;
  double score_;
  size_t min_digits_;  // digit runs shorter than this hold no valid number
  // One per supported region: a pattern a digit string must fit to parse as
  // a valid number there; null when the region is always matched.
  std::vector<std::shared_ptr<const regex::Regex>> filters_;
  // One per supported region: verifies the plainest numbers without the
  // matcher; null when the region is always left to it.
  std::vector<std::shared_ptr<const PhoneNumberVerifier>> verifiers_;
};

}  // namespace tesk_privacy::recognition
