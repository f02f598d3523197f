// AmountRecognizer: money as Indonesians write it, as one span: a currency
// and an amount with dots for thousands and a comma for decimals
// ("Rp1.500.000,00", "Rp 2.000.000,-"), with a scale word ("Rp 1,6 triliun",
// "Rp 500rb", "1,5 juta"), or in US form ("$1,234.56").
//
// With a currency the amount is reported on its own; with a scale word only,
// it is left to the money context words ("gaji 1,5 juta").
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class AmountRecognizer : public FormatRecognizer {
 public:
  explicit AmountRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  std::unique_ptr<const regex::Regex> pattern_;
};

}  // namespace tesk_privacy::pii_detector::formats
