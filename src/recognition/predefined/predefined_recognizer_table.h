// The predefined recognizers' patterns, scores, context words and
// validation, in one table: the single place to read or tune them.
//
//   const PredefinedRecognizerSpec& ssn = predefined_recognizer_spec("UsSsnRecognizer");
//   for (const Pattern& p : ssn.patterns) ...
//
// Scoring scheme. A pattern's score says how likely a match is the entity
// with nothing else known: 0.5 to 0.7 for shapes that rarely mean anything
// else (a delimited SSN, a dated month name, a URL with scheme), 0.3 to 0.4
// for shapes that often do (a time of day, a driver-license-like code), 0.01
// to 0.1 for bare digit runs that are the entity only when a context word
// stands near them. A match whose checksum or parse succeeds is confirmed
// (score 1.0); one whose checksum or parse fails is not reported at all: a
// number with a wrong check digit is a typo or some other number, and
// reporting it under the entity's name would be wrong either way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/pattern.h"

namespace tesk_privacy::recognition {

struct PredefinedRecognizerSpec {
  std::string name;    // recognizer class and name, e.g. "EmailRecognizer"
  std::string entity;  // the entity type it reports
  // Patterns in Python's `re` dialect; empty for PhoneRecognizer, which
  // finds numbers with libphonenumber instead.
  std::vector<Pattern> patterns;
  // Score of a match found without a pattern (PhoneRecognizer).
  double score = 0.0;
  std::vector<std::string> context;
  // What validation runs on a candidate and what a failure does.
  std::string validation;
};

// Every predefined recognizer, in the order the registry loads them.
const std::vector<PredefinedRecognizerSpec>& predefined_recognizer_table();

// The row of the recognizer named `name`; std::invalid_argument when there
// is none.
const PredefinedRecognizerSpec& predefined_recognizer_spec(std::string_view name);

}  // namespace tesk_privacy::recognition
