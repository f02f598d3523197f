// VehiclePlateRecognizer: Indonesian registration plates, a region code of
// one or two capitals, one to four digits and up to three capitals
// ("B 1234 XYZ", "AB 123 CD", "D1234ABC"). Without the letters after the
// digits a plate is reported only after a label ("nopol", "plat").
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class VehiclePlateRecognizer : public FormatRecognizer {
 public:
  explicit VehiclePlateRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  std::unique_ptr<const regex::Regex> pattern_;
};

}  // namespace tesk_privacy::pii_detector::formats
