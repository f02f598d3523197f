// IpRecognizer: finds IPv4 and IPv6 addresses ("IP_ADDRESS"). Candidates are
// parsed as addresses; one that does not parse (an octet over 255, a bad
// group count, a time such as 10:30:00) is dropped, one that does keeps its
// pattern score.
//
//   IpRecognizer recognizer;          // for "en"
//   IpRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class IpRecognizer : public PatternRecognizer {
 public:
  explicit IpRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> invalidate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
