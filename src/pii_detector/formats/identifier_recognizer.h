// IdentifierRecognizer: identity, tax, social-security, driving-licence,
// passport, bank-account, card and phone numbers as people write them: in
// groups joined by spaces, dashes, dots or parentheses, with full-width
// digits, glued to their label ("NIK3171..."), or plain.
//
// A run of digit groups is one candidate. What it is follows from the label
// before it (NIK, KK, NPWP, BPJS, SIM, rekening and bank names, kartu
// kredit, HP/WA), then from its shape: a NIK's structure (province, date of
// birth, serial), a phone's prefix and length, a card brand and its Luhn
// check, the NPWP's punctuation. A 16-digit number right after "NIK" is
// reported even when its structure is wrong (a typo is still someone's
// number); one whose structure is impossible and that has no label is not
// (order and invoice numbers). A run that holds two numbers is split at a
// blank only, so a formatted number is always reported whole.
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class IdentifierRecognizer : public FormatRecognizer {
 public:
  explicit IdentifierRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  std::unique_ptr<const regex::Regex> passport_;
};

}  // namespace tesk_privacy::pii_detector::formats
