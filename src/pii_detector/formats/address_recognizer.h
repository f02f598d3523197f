// AddressRecognizer: a street address as one span, from its first keyword
// to its postcode: street (Jl., Jalan, Gg., Perum, Komp., Blok), house
// number, RT/RW, village (Kel., Desa), district (Kec.), regency or city
// (Kab., Kota), province and postcode, on one line or, as on a KTP, over
// lines that each start with such a keyword.
//
// An address of a street and a number, RT/RW or postcode is reported on its
// own; a lone street or village name ("di Jalan Sudirman") only after a
// label ("alamat", "tinggal di", "kirim ke").
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class AddressRecognizer : public FormatRecognizer {
 public:
  explicit AddressRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  std::unique_ptr<const regex::Regex> start_;
};

}  // namespace tesk_privacy::pii_detector::formats
