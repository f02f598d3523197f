// CryptoRecognizer: finds Bitcoin addresses ("CRYPTO"), legacy base58 ones
// (starting with 1 or 3) and segwit bech32/bech32m ones (starting with bc1).
// The address checksum confirms a candidate (score 1.0) or drops it.
//
//   CryptoRecognizer recognizer;          // for "en"
//   CryptoRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class CryptoRecognizer : public PatternRecognizer {
 public:
  explicit CryptoRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> validate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
