// Table-driven checks of what a recognizer reports: each case is a text and
// the spans (text and score) expected from it, in the recognizer's order.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::testing {

struct Span {
  std::string text;
  double score;
  bool operator==(const Span&) const = default;
};

inline void PrintTo(const Span& s, std::ostream* os) { *os << "{\"" << s.text << "\", " << s.score << "}"; }

struct SpanCase {
  std::string name;
  std::string text;
  std::vector<Span> expected;
};

inline std::vector<Span> spans(const recognition::EntityRecognizer& r, const std::string& input,
                               std::optional<int> flags = std::nullopt) {
  Utf8Text text(input);
  std::vector<Span> out;
  for (const auto& result : r.analyze(text, {}, nullptr, flags)) {
    out.push_back({std::string(text.slice(result.start, result.end)), result.score});
  }
  return out;
}

inline void check_table(const recognition::EntityRecognizer& r, const std::vector<SpanCase>& cases,
                        std::optional<int> flags = std::nullopt) {
  for (const SpanCase& c : cases) {
    EXPECT_EQ(spans(r, c.text, flags), c.expected) << r.name() << " / " << c.name << ": " << c.text;
  }
}

}  // namespace tesk_privacy::testing
