#include "ner/decoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tesk_privacy::ner {

namespace {

// The labels that may come before each label, in increasing order.
constexpr struct Predecessors {
  std::array<std::array<int8_t, kNumLabels>, kNumLabels> labels{};
  std::array<int, kNumLabels> count{};
} kPredecessors = [] {
  Predecessors p;
  for (int y = 0; y < kNumLabels; ++y) {
    for (int from = 0; from < kNumLabels; ++from) {
      if (transition_allowed(from, y)) p.labels[y][p.count[y]++] = static_cast<int8_t>(from);
    }
  }
  return p;
}();

}  // namespace

void viterbi(const TransitionScores& scores, std::span<const float> emissions, std::span<int> labels) {
  const size_t n = emissions.size() / kNumLabels;
  if (n == 0) return;
  constexpr float kNever = -std::numeric_limits<float>::infinity();
  // back[t][y]: the best label at t-1 given label y at t.
  std::vector<std::array<int8_t, kNumLabels>> back(n);
  std::array<float, kNumLabels> best{}, next{};
  for (int y = 0; y < kNumLabels; ++y) {
    best[y] = start_allowed(y) ? scores.start[y] + emissions[y] : kNever;
  }
  // Only allowed transitions are tried, in increasing order of the label
  // before, so ties go to the lowest label.
  std::array<std::array<float, kNumLabels>, kNumLabels> to;  // [to][from]
  for (int p = 0; p < kNumLabels; ++p) {
    for (int y = 0; y < kNumLabels; ++y) to[y][p] = scores.transition[p][y];
  }
  for (size_t t = 1; t < n; ++t) {
    const float* e = emissions.data() + t * kNumLabels;
    for (int y = 0; y < kNumLabels; ++y) {
      float top = kNever;
      int arg = 0;
      for (int k = 0; k < kPredecessors.count[y]; ++k) {
        const int p = kPredecessors.labels[y][k];
        const float s = best[p] + to[y][p];
        if (s > top) {
          top = s;
          arg = p;
        }
      }
      next[y] = top + e[y];
      back[t][y] = static_cast<int8_t>(arg);
    }
    best = next;
  }
  int y = 0;
  float top = kNever;
  for (int k = 0; k < kNumLabels; ++k) {
    const float s = best[k] + scores.end[k];
    if (s > top) {
      top = s;
      y = k;
    }
  }
  for (size_t t = n; t-- > 0;) {
    labels[t] = y;
    if (t > 0) y = back[t][y];
  }
}

std::vector<LabelledSpan> spans_from_labels(std::span<const int> labels) {
  std::vector<LabelledSpan> spans;
  for (size_t t = 0; t < labels.size(); ++t) {
    const int y = labels[t];
    if (y == kOutside) continue;
    const EntityType type = label_type(y);
    const bool continues = is_inside(y) && !spans.empty() && spans.back().end == t && spans.back().type == type;
    if (continues) {
      spans.back().end = t + 1;
    } else {
      spans.push_back({type, t, t + 1});
    }
  }
  return spans;
}

Marginals::Marginals(const TransitionScores& scores, std::span<const float> emissions, float temperature)
    : n_(emissions.size() / kNumLabels) {
  const double inv_t = 1.0 / temperature;
  for (int p = 0; p < kNumLabels; ++p) {
    for (int y = 0; y < kNumLabels; ++y) {
      m_[p][y] = transition_allowed(p, y) ? std::exp(scores.transition[p][y] * inv_t) : 0.0;
    }
  }
  e_.resize(n_ * kNumLabels);
  for (size_t t = 0; t < n_; ++t) {
    const float* e = emissions.data() + t * kNumLabels;
    const double top = *std::max_element(e, e + kNumLabels);
    for (int y = 0; y < kNumLabels; ++y) e_[t * kNumLabels + y] = std::exp((e[y] - top) * inv_t);
  }
  alpha_.assign(n_ * kNumLabels, 0.0);
  beta_.assign(n_ * kNumLabels, 0.0);
  scale_.assign(n_, 1.0);
  if (n_ == 0) return;

  // Forward, normalising each step.
  for (size_t t = 0; t < n_; ++t) {
    double* a = &alpha_[t * kNumLabels];
    const double* e = &e_[t * kNumLabels];
    double sum = 0;
    for (int y = 0; y < kNumLabels; ++y) {
      double v;
      if (t == 0) {
        v = start_allowed(y) ? std::exp(scores.start[y] * inv_t) : 0.0;
      } else {
        const double* prev = &alpha_[(t - 1) * kNumLabels];
        v = 0;
        for (int p = 0; p < kNumLabels; ++p) v += prev[p] * m_[p][y];
      }
      a[y] = v * e[y];
      sum += a[y];
    }
    scale_[t] = sum > 0 ? sum : 1.0;
    for (int y = 0; y < kNumLabels; ++y) a[y] /= scale_[t];
  }
  // Backward, with the same normalisers, so that alpha * beta is a marginal.
  double finish[kNumLabels];
  double z = 0;
  for (int y = 0; y < kNumLabels; ++y) {
    finish[y] = std::exp(scores.end[y] * inv_t);
    z += alpha_[(n_ - 1) * kNumLabels + y] * finish[y];
  }
  if (z <= 0) z = 1.0;
  for (int y = 0; y < kNumLabels; ++y) beta_[(n_ - 1) * kNumLabels + y] = finish[y] / z;
  for (size_t t = n_ - 1; t-- > 0;) {
    const double* e = &e_[(t + 1) * kNumLabels];
    const double* b_next = &beta_[(t + 1) * kNumLabels];
    for (int p = 0; p < kNumLabels; ++p) {
      double v = 0;
      for (int y = 0; y < kNumLabels; ++y) v += m_[p][y] * e[y] * b_next[y];
      beta_[t * kNumLabels + p] = v / scale_[t + 1];
    }
  }
}

double Marginals::span_probability(const LabelledSpan& span) const {
  if (span.begin >= span.end || span.end > n_) return 0.0;
  const int b = begin_label(span.type);
  const int i = inside_label(span.type);
  double p = alpha_[span.begin * kNumLabels + b];
  int last = b;
  for (size_t t = span.begin + 1; t < span.end; ++t) {
    p *= m_[last][i] * e_[t * kNumLabels + i] / scale_[t];
    last = i;
  }
  if (span.end == n_) return std::clamp(p * beta_[(n_ - 1) * kNumLabels + last], 0.0, 1.0);
  double tail = 0;
  for (int y = 0; y < kNumLabels; ++y) {
    if (y == i) continue;
    tail += m_[last][y] * e_[span.end * kNumLabels + y] * beta_[span.end * kNumLabels + y];
  }
  return std::clamp(p * tail / scale_[span.end], 0.0, 1.0);
}

}  // namespace tesk_privacy::ner
