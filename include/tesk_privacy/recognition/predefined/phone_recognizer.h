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
// 40 microseconds per digit group) over the digit runs of the text, so the
// list is kept short; pass your own for other countries. For these regions a
// lone digit run that cannot be one of the region's numbers (its length and
// leading digits rule it out) is not handed to the matcher, and a text's
// repeated pieces are matched once; the result is the matcher's own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::recognition {

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

  // What the recognizer knows of a region's numbers without asking the
  // matcher (known only for DEFAULT_REGIONS).
  struct RegionShortcut {
    bool known = false;
    std::string calling_code;
    uint32_t national_lengths = 0;  // bit n: a valid national number may have n digits
  };
  static RegionShortcut region_shortcut(std::string_view region);

 private:
  std::vector<std::string> supported_regions_;
  double score_;
  size_t min_digits_;  // digit runs shorter than this hold no valid number
  std::vector<RegionShortcut> shortcuts_;  // one per supported region
};

}  // namespace tesk_privacy::recognition
