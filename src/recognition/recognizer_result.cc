#include "tesk_privacy/recognition/recognizer_result.h"

#include <cstdio>

namespace tesk_privacy::recognition {

std::string to_string(const RecognizerResult& r) {
  char score[32];
  std::snprintf(score, sizeof(score), "%.2f", r.score);
  return "type: " + r.entity_type + ", start: " + std::to_string(r.start) +
         ", end: " + std::to_string(r.end) + ", score: " + score;
}

}  // namespace tesk_privacy::recognition
