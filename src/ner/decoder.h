// Sequence decoding for the named-entity tagger: the best BIO-valid label
// sequence for a sentence (Viterbi), the entity spans of a label sequence,
// and each span's probability under the model's scores read as a linear-
// chain CRF (forward-backward), which becomes the entity's confidence.
//
// Emission scores come as a flat row-major array, kNumLabels per token.
//
//   std::vector<int> labels(n);
//   viterbi(transitions, emissions, labels);
//   for (const LabelledSpan& s : spans_from_labels(labels)) ...
//   Marginals marginals(transitions, emissions, temperature);
//   double p = marginals.span_probability(span);
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "ner/labels.h"

namespace tesk_privacy::ner {

// Label-to-label scores. Transitions that break BIO (an I- label after O or
// after another type, or at the start) are never taken, whatever their score.
struct TransitionScores {
  std::array<float, kNumLabels> start{};
  std::array<float, kNumLabels> end{};
  std::array<std::array<float, kNumLabels>, kNumLabels> transition{};  // [from][to]
};

// An entity as a half-open range of token indices.
struct LabelledSpan {
  EntityType type;
  size_t begin;
  size_t end;
  bool operator==(const LabelledSpan&) const = default;
};

// Fills `labels` (one per token, emissions.size() / kNumLabels of them) with
// the highest-scoring BIO-valid sequence.
void viterbi(const TransitionScores& scores, std::span<const float> emissions, std::span<int> labels);

// The entities of a label sequence. An I- label that does not continue an
// entity of its type starts one (the lenient reading, which also decodes
// IOB1 tags).
std::vector<LabelledSpan> spans_from_labels(std::span<const int> labels);

class Marginals {
 public:
  // Scores are divided by `temperature` (> 0) before exponentiation.
  Marginals(const TransitionScores& scores, std::span<const float> emissions, float temperature);

  // Probability that token t has `label`.
  double marginal(size_t t, int label) const { return alpha_[t * kNumLabels + label] * beta_[t * kNumLabels + label]; }
  // Probability that token t - 1 has label `from` and token t label `to` (t >= 1).
  double pair_marginal(size_t t, int from, int to) const {
    return alpha_[(t - 1) * kNumLabels + from] * m_[from][to] * e_[t * kNumLabels + to] * beta_[t * kNumLabels + to] /
           scale_[t];
  }
  // Probability that exactly this span is an entity of its type: its tokens
  // labelled B-, I-, ..., I- and the next token not I- of that type.
  double span_probability(const LabelledSpan& span) const;

 private:
  size_t n_;
  std::array<std::array<double, kNumLabels>, kNumLabels> m_{};  // exp(transition / T), 0 if forbidden
  std::vector<double> e_;      // exp((emission - max) / T), per token and label
  std::vector<double> scale_;  // per-token normaliser of alpha
  std::vector<double> alpha_;
  std::vector<double> beta_;
};

}  // namespace tesk_privacy::ner
