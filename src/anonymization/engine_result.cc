#include "tesk_privacy/anonymization/engine_result.h"

namespace tesk_privacy::anonymization {

std::string to_string(const OperatorResult& item) {
  return "{type: " + item.entity_type + ", start: " + std::to_string(item.start) +
         ", end: " + std::to_string(item.end) + ", text: " + item.text +
         ", operator: " + item.operator_name + "}";
}

std::string to_string(const EngineResult& result) {
  std::string out = "text: " + result.text + "\nitems:";
  for (const OperatorResult& item : result.items) out += "\n  " + to_string(item);
  return out;
}

std::ostream& operator<<(std::ostream& os, const OperatorResult& item) {
  return os << to_string(item);
}

std::ostream& operator<<(std::ostream& os, const EngineResult& result) {
  return os << to_string(result);
}

}  // namespace tesk_privacy::anonymization
