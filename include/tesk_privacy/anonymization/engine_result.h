// EngineResult: the anonymized text plus one OperatorResult per replaced span,
// in ascending order of position. OperatorResult offsets are code points in
// the anonymized text, so result.text can be sliced with them:
//
//   EngineResult r = engine.anonymize(text, results);
//   for (const OperatorResult& item : r.items)
//     assert(Utf8Text(r.text).slice(item.start, item.end) == item.text);
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/recognizer_result.h"

namespace tesk_privacy::anonymization {

struct OperatorResult {
  std::string entity_type;
  // [start, end) of the replacement in the output text, in code points.
  int64_t start = 0;
  int64_t end = 0;
  // The text that was inserted.
  std::string text;
  std::string operator_name;

  bool operator==(const OperatorResult&) const = default;
};

// One replacement the engine makes: a span of the input (code points) and
// the operator's output for it.
struct Replacement {
  recognition::RecognizerResult span;
  std::string text;
  std::string operator_name;
};

struct EngineResult {
  std::string text;
  std::vector<OperatorResult> items;

  bool operator==(const EngineResult&) const = default;
};

// "{type: PERSON, start: 0, end: 8, text: <PERSON>, operator: replace}"
std::string to_string(const OperatorResult& item);
// The text followed by the items, one per line.
std::string to_string(const EngineResult& result);

std::ostream& operator<<(std::ostream& os, const OperatorResult& item);
std::ostream& operator<<(std::ostream& os, const EngineResult& result);

}  // namespace tesk_privacy::anonymization
