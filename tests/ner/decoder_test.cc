// Viterbi decoding under BIO constraints, span extraction, and the
// forward-backward probabilities checked against brute-force enumeration.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "ner/decoder.h"

namespace tesk_privacy::ner {
namespace {

constexpr int O = kOutside;
constexpr int BPER = begin_label(EntityType::kPerson);
constexpr int IPER = inside_label(EntityType::kPerson);
constexpr int BLOC = begin_label(EntityType::kLocation);
constexpr int ILOC = inside_label(EntityType::kLocation);
constexpr int BORG = begin_label(EntityType::kOrganization);

// Emissions that prefer `favourite[t]` at token t by `margin`, and when
// that is an I- label, its B- label by a little less.
std::vector<float> prefer(const std::vector<int>& favourite, float margin = 5) {
  std::vector<float> e(favourite.size() * kNumLabels, 0.0f);
  for (size_t t = 0; t < favourite.size(); ++t) {
    e[t * kNumLabels + favourite[t]] = margin;
    if (is_inside(favourite[t])) e[t * kNumLabels + favourite[t] - 1] = margin * 0.6f;
  }
  return e;
}

std::vector<int> decode(const TransitionScores& s, const std::vector<float>& e) {
  std::vector<int> labels(e.size() / kNumLabels);
  viterbi(s, e, labels);
  return labels;
}

TEST(NerDecoder, ViterbiNeverBreaksBio) {
  const TransitionScores flat;
  struct Case {
    const char* name;
    std::vector<int> favourite;
    std::vector<int> expected;
  };
  const std::vector<Case> cases = {
      {"valid sequence kept", {BPER, IPER, O, BLOC, ILOC}, {BPER, IPER, O, BLOC, ILOC}},
      {"no I- at the start", {IPER, IPER, O}, {BPER, IPER, O}},
      {"no I- after O", {O, ILOC, O}, {O, BLOC, O}},
      {"no I- of another type", {BPER, ILOC, O}, {BPER, BLOC, O}},
      {"single token", {BORG}, {BORG}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(flat, prefer(c.favourite)), c.expected) << c.name;
  }
  // Even a huge score for a forbidden transition is never taken.
  TransitionScores tempting;
  tempting.transition[O][IPER] = 1000;
  tempting.start[ILOC] = 1000;
  const auto labels = decode(tempting, prefer({ILOC, O, IPER}, 1));
  for (size_t t = 0; t < labels.size(); ++t) {
    if (is_inside(labels[t])) {
      ASSERT_GT(t, 0u);
      EXPECT_TRUE(transition_allowed(labels[t - 1], labels[t])) << t;
    }
  }
  EXPECT_FALSE(is_inside(labels[0]));
}

TEST(NerDecoder, TransitionsSteerTheBestPath) {
  TransitionScores s;
  s.transition[BPER][IPER] = 10;  // a person continues
  EXPECT_EQ(decode(s, prefer({BPER, O}, 3)), (std::vector<int>{BPER, IPER}));
  std::vector<float> none;
  std::vector<int> no_labels;
  viterbi(s, none, no_labels);  // empty input is fine
}

TEST(NerDecoder, SpansFromLabels) {
  struct Case {
    std::vector<int> labels;
    std::vector<LabelledSpan> spans;
  };
  const std::vector<Case> cases = {
      {{O, BPER, IPER, O}, {{EntityType::kPerson, 1, 3}}},
      {{BPER, BPER}, {{EntityType::kPerson, 0, 1}, {EntityType::kPerson, 1, 2}}},
      {{IPER, IPER, ILOC}, {{EntityType::kPerson, 0, 2}, {EntityType::kLocation, 2, 3}}},  // IOB1
      {{BLOC, O, ILOC}, {{EntityType::kLocation, 0, 1}, {EntityType::kLocation, 2, 3}}},
      {{O, O}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(spans_from_labels(c.labels), c.spans);
}

// Scores of every BIO-valid sequence of length n, for brute force.
void enumerate(const TransitionScores& s, const std::vector<float>& e, size_t n, std::vector<int>& seq,
               const std::function<void(const std::vector<int>&, double)>& visit) {
  if (seq.size() == n) {
    double score = s.start[seq[0]] + s.end[seq[n - 1]];
    for (size_t t = 0; t < n; ++t) score += e[t * kNumLabels + seq[t]];
    for (size_t t = 1; t < n; ++t) score += s.transition[seq[t - 1]][seq[t]];
    visit(seq, score);
    return;
  }
  for (int y = 0; y < kNumLabels; ++y) {
    if (seq.empty() ? !start_allowed(y) : !transition_allowed(seq.back(), y)) continue;
    seq.push_back(y);
    enumerate(s, e, n, seq, visit);
    seq.pop_back();
  }
}

TEST(NerDecoder, MarginalsMatchBruteForce) {
  TransitionScores s;
  for (int p = 0; p < kNumLabels; ++p) {
    s.start[p] = 0.3f * p - 1;
    s.end[p] = 0.2f * (3 - p);
    for (int y = 0; y < kNumLabels; ++y) s.transition[p][y] = std::sin(p * 7.0f + y);
  }
  const size_t n = 4;
  std::vector<float> e(n * kNumLabels);
  for (size_t i = 0; i < e.size(); ++i) e[i] = std::cos(i * 1.7f) * 3;
  const float temperature = 1.7f;
  const Marginals m(s, e, temperature);

  double z = 0;
  std::vector<double> token(n * kNumLabels, 0.0);
  const LabelledSpan span{EntityType::kPerson, 1, 3};
  double span_mass = 0;
  std::vector<int> seq;
  enumerate(s, e, n, seq, [&](const std::vector<int>& labels, double score) {
    const double w = std::exp(score / temperature);
    z += w;
    for (size_t t = 0; t < n; ++t) token[t * kNumLabels + labels[t]] += w;
    if (labels[1] == BPER && labels[2] == IPER && labels[3] != IPER) span_mass += w;
  });
  for (size_t t = 0; t < n; ++t) {
    for (int y = 0; y < kNumLabels; ++y) {
      EXPECT_NEAR(m.marginal(t, y), token[t * kNumLabels + y] / z, 1e-7) << t << " " << y;
    }
  }
  EXPECT_NEAR(m.span_probability(span), span_mass / z, 1e-7);
  // A span reaching the last token.
  double tail_mass = 0;
  enumerate(s, e, n, seq, [&](const std::vector<int>& labels, double score) {
    if (labels[2] == BLOC && labels[3] == ILOC) tail_mass += std::exp(score / temperature);
  });
  EXPECT_NEAR(m.span_probability({EntityType::kLocation, 2, 4}), tail_mass / z, 1e-7);
  EXPECT_EQ(m.span_probability({EntityType::kLocation, 3, 9}), 0.0);  // outside the sentence
}

}  // namespace
}  // namespace tesk_privacy::ner
