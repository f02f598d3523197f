// WrittenOutEmailRecognizer: e-mail addresses written to dodge scrapers:
// "budi at gmail dot com", "budi[at]gmail[dot]com", "budi (at) kantor.co.id",
// "budi @ gmail . com". The address must end in a known top-level domain;
// plain addresses are the e-mail recognizer's.
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class WrittenOutEmailRecognizer : public FormatRecognizer {
 public:
  explicit WrittenOutEmailRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  std::unique_ptr<const regex::Regex> pattern_;
};

}  // namespace tesk_privacy::pii_detector::formats
