// Settles the results of an analysis that ran the format recognizers, so
// that what is reported, and later replaced, is whole and of the right type:
//
// - A formatted identifier, date, e-mail, plate or address found by the
//   format recognizers takes precedence over other findings that overlap it:
//   a number or amount inside it or across its edge goes, a name across its
//   edge is cut back to the words outside it, and anything inside an
//   address is part of the address. No digit of an identifier is left in
//   clear by a finding that covers only part of it.
// - A 16-digit ID_KTP that cannot be a NIK and has no NIK label is dropped
//   (order and invoice numbers).
// - A phone number written as a row of small numbers ("15 3 4 8 13 28 13")
//   is dropped.
// - A bare year, or an amount inside a date, is not MONEY.
// - "Project" before a word in lower case ("Consumer Project on Technology")
//   is no project name.
#pragma once

#include <vector>

#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector::formats {

std::vector<recognition::RecognizerResult> resolve_findings(const Utf8Text& text,
                                                            std::vector<recognition::RecognizerResult> results);

}  // namespace tesk_privacy::pii_detector::formats
