// Sentence: what a tagger may attach is checked; spans carry code-point
// offsets and their text, ordered by position.
#include "flair/sentence.h"

#include <gtest/gtest.h>

#include <limits>

namespace tesk_privacy::flair {
namespace {

TEST(Sentence, RefusesSpansATaggerMustNotReport) {
  struct Case {
    std::string label_type;
    size_t start, end;
    std::vector<Label> labels;
    std::string message_part;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {"ner", 0, 0, {{"PER", 0.9}}, "does not lie inside"},
      {"ner", 3, 2, {{"PER", 0.9}}, "does not lie inside"},
      {"ner", 5, 8, {{"PER", 0.9}}, "does not lie inside a text of 7 characters"},  // 7 code points, 9 bytes
      {"ner", 0, 2, {}, "has no label"},
      {"ner", 0, 2, {{"", 0.9}}, "without a value"},
      {"ner", 0, 2, {{"PER", 1.5}}, "not a number from 0 to 1"},
      {"ner", 0, 2, {{"PER", nan}}, "not a number from 0 to 1"},
      {"ner", 0, 2, {{"PER", 0.9}, {"LOC", -0.1}}, "not a number from 0 to 1"},
      {"", 0, 2, {{"PER", 0.9}}, "empty label type"},
  };
  for (const Case& c : cases) {
    Sentence sentence("Ärger ü");
    try {
      sentence.add_span(c.label_type, c.start, c.end, c.labels);
      ADD_FAILURE() << c.message_part << ": accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
    EXPECT_TRUE(sentence.get_spans("ner").empty());
  }
}

TEST(Sentence, SpansKeepCodePointOffsetsAndPositionOrder) {
  Sentence sentence("Dr. Ñoño di Jakarta");
  sentence.add_span("ner", 12, 19, "LOC", 0.8);
  sentence.add_span("ner", 4, 8, std::vector<Label>{{"PER", 0.9}, {"ORG", 0.1}});
  sentence.add_span("ner", 0, 8, "PER", 0.5);
  sentence.add_span("pos", 9, 11, "ADP");
  sentence.add_span("ner", 4, 8, "MISC", 0.2);  // equal bounds: after the earlier span

  std::vector<std::string> seen;
  for (const Span& s : sentence.get_spans("ner")) seen.push_back(s.text + "/" + s.tag());
  EXPECT_EQ(seen, (std::vector<std::string>{"Dr. Ñoño/PER", "Ñoño/PER", "Ñoño/MISC", "Jakarta/LOC"}));
  EXPECT_DOUBLE_EQ(sentence.get_spans("ner")[1].score(), 0.9);

  sentence.remove_labels("ner");
  EXPECT_TRUE(sentence.get_spans("ner").empty());
  EXPECT_EQ(sentence.label_types(), std::vector<std::string>{"pos"});
}

}  // namespace
}  // namespace tesk_privacy::flair
