#include "ner/trainer.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <tuple>

#include "ner/decoder.h"
#include "ner/hashing.h"
#include "ner/stacked_features.h"
#include "text/case_mapping.h"

namespace tesk_privacy::ner {
namespace {

constexpr int kStride = ModelParameters::kRowStride;

// Averaged perceptron bookkeeping for one block of weights: the current
// weights and the step-weighted sum of their updates; the average after
// `steps` steps is w - u / steps.
struct Averaged {
  std::vector<float> w;
  std::vector<double> u;
  explicit Averaged(size_t n) : w(n, 0.0f), u(n, 0.0) {}
  void update(size_t i, float delta, double step) {
    w[i] += delta;
    u[i] += step * delta;
  }
  float average(size_t i, double steps) const { return static_cast<float>(w[i] - u[i] / steps); }
};

}  // namespace

Trainer::Trainer(std::string gazetteer, TrainerOptions options, std::string clusters)
    : gazetteer_bytes_(std::move(gazetteer)),
      gazetteer_(gazetteer_bytes_),
      clusters_bytes_(std::move(clusters)),
      clusters_(clusters_bytes_.empty() ? WordClusters() : WordClusters(clusters_bytes_)),
      extractor_(gazetteer_, options.hash_bits, &clusters_),
      options_(options) {
  if (options.bags < 1) throw std::invalid_argument("the trainer needs at least one bag, got " + std::to_string(options.bags));
  token_offsets_.push_back(0);
}

void Trainer::add(const TrainingText& text) {
  if (text.tokens.size() != text.labels.size()) {
    throw std::invalid_argument("training text has " + std::to_string(text.tokens.size()) + " tokens but " +
                                std::to_string(text.labels.size()) + " labels");
  }
  const std::vector<std::string_view> words = token_words(text.text, text.tokens);
  const auto sentences = split_sentences(text.text, text.tokens);
  FeatureSet features;
  extractor_.extract_sentences(words, sentences, features, text.domains);
  add(features, text.labels, sentences);
}

void Trainer::add(const FeatureSet& features, std::span<const int> labels,
                  std::span<const std::pair<size_t, size_t>> sentences) {
  if (features.size() != labels.size()) {
    throw std::invalid_argument("training features cover " + std::to_string(features.size()) + " tokens but " +
                                std::to_string(labels.size()) + " labels were given");
  }
  const uint64_t rows = uint64_t{1} << options_.hash_bits;
  for (const uint32_t r : features.rows) {
    if (r >= rows) throw std::invalid_argument("training feature row " + std::to_string(r) + " out of range");
  }
  for (int y : labels) {
    if (y < 0 || y >= kNumLabels) throw std::invalid_argument("training label out of range: " + std::to_string(y));
  }
  size_t covered = 0;
  for (const auto& [first, last] : sentences) {
    if (first != covered || last <= first || last > labels.size()) {
      throw std::invalid_argument("training sentences must cover the tokens in order");
    }
    covered = last;
    sentences_.push_back({labels_.size(), last - first, texts_});
    for (size_t i = first; i < last; ++i) {
      const auto rows_of = features.token(i);
      rows_.insert(rows_.end(), rows_of.begin(), rows_of.end());
      token_offsets_.push_back(rows_.size());
      labels_.push_back(labels[i]);
    }
  }
  if (covered != labels.size()) throw std::invalid_argument("training sentences must cover the tokens in order");
  ++texts_;
}

ModelParameters Trainer::train(const std::function<void(int, double)>& progress,
                               const std::function<bool(size_t)>& use) const {
  const size_t rows = size_t{1} << options_.hash_bits;
  std::vector<float> averaged(rows * kStride, 0.0f);
  TransitionScores transitions;
  for (int bag = 0; bag < options_.bags; ++bag) {
    run(options_.seed + static_cast<uint64_t>(bag), progress, use, averaged, transitions);
  }
  const float share = 1.0f / static_cast<float>(options_.bags);
  ModelParameters params;
  params.hash_bits = options_.hash_bits;
  params.gazetteer = gazetteer_bytes_;
  params.clusters = clusters_bytes_;
  float largest = 0;
  for (float& w : averaged) {
    w *= share;
    largest = std::max(largest, std::abs(w));
  }
  params.weight_scale = largest > 0 ? largest / 32767.0f : 1.0f;
  params.weights.resize(averaged.size());
  for (size_t i = 0; i < averaged.size(); ++i) {
    params.weights[i] = static_cast<int16_t>(std::lround(averaged[i] / params.weight_scale));
  }
  for (int p = 0; p < kNumLabels; ++p) {
    params.transitions.start[p] = transitions.start[p] * share;
    params.transitions.end[p] = transitions.end[p] * share;
    for (int y = 0; y < kNumLabels; ++y) params.transitions.transition[p][y] = transitions.transition[p][y] * share;
  }
  return params;
}

void Trainer::run(uint64_t seed, const std::function<void(int, double)>& progress,
                  const std::function<bool(size_t)>& use, std::vector<float>& weights,
                  TransitionScores& transitions) const {
  const size_t rows = size_t{1} << options_.hash_bits;
  Averaged emission(rows * kStride);
  Averaged transition(kNumLabels * kNumLabels);
  Averaged start(kNumLabels);
  Averaged end(kNumLabels);

  std::vector<size_t> order;
  for (size_t s = 0; s < sentences_.size(); ++s) {
    if (!use || use(sentences_[s].text)) order.push_back(s);
  }
  std::mt19937_64 rng(seed);
  double step = 1;
  std::vector<float> scores;
  std::vector<int> predicted;
  TransitionScores current;

  // AdaGrad accumulators of squared gradients, per weight.
  std::vector<float> g_emission, g_transition(kNumLabels * kNumLabels, 0.0f), g_start(kNumLabels, 0.0f),
      g_end(kNumLabels, 0.0f);
  if (options_.algorithm == TrainerOptions::Algorithm::kCrf) g_emission.assign(rows * kStride, 0.0f);
  const double rate = options_.learning_rate;
  auto adagrad = [&](Averaged& block, std::vector<float>& g2, size_t i, double gradient) {
    gradient -= options_.l2 * block.w[i];
    g2[i] += static_cast<float>(gradient * gradient);
    block.update(i, static_cast<float>(rate * gradient / (std::sqrt(g2[i]) + 1e-6)), step);
  };
  // One gradient step on the sentence's log-likelihood.
  auto crf_step = [&](const Sentence& sentence, const std::vector<float>& emissions, const TransitionScores& t_scores) {
    const size_t n = sentence.size;
    const Marginals marginals(t_scores, emissions, 1.0f);
    const int* gold = &labels_[sentence.first_token];
    for (size_t t = 0; t < n; ++t) {
      const size_t tok = sentence.first_token + t;
      double gradient[kNumLabels];
      for (int y = 0; y < kNumLabels; ++y) gradient[y] = (gold[t] == y ? 1.0 : 0.0) - marginals.marginal(t, y);
      for (size_t k = token_offsets_[tok]; k < token_offsets_[tok + 1]; ++k) {
        const size_t base = static_cast<size_t>(rows_[k]) * kStride;
        for (int y = 0; y < kNumLabels; ++y) {
          if (std::abs(gradient[y]) > 1e-4) adagrad(emission, g_emission, base + y, gradient[y]);
        }
      }
      if (t == 0) {
        for (int y = 0; y < kNumLabels; ++y) {
          if (start_allowed(y)) adagrad(start, g_start, y, (gold[0] == y ? 1.0 : 0.0) - marginals.marginal(0, y));
        }
      } else {
        for (int p = 0; p < kNumLabels; ++p) {
          for (int y = 0; y < kNumLabels; ++y) {
            if (!transition_allowed(p, y)) continue;
            const double observed = gold[t - 1] == p && gold[t] == y ? 1.0 : 0.0;
            adagrad(transition, g_transition, p * kNumLabels + y, observed - marginals.pair_marginal(t, p, y));
          }
        }
      }
    }
    for (int y = 0; y < kNumLabels; ++y) {
      adagrad(end, g_end, y, (gold[n - 1] == y ? 1.0 : 0.0) - marginals.marginal(n - 1, y));
    }
  };

  for (int epoch = 1; epoch <= options_.epochs; ++epoch) {
    std::shuffle(order.begin(), order.end(), rng);
    size_t correct = 0, total = 0;
    for (const size_t s : order) {
      const Sentence& sentence = sentences_[s];
      const size_t n = sentence.size;
      scores.assign(n * kNumLabels, 0.0f);
      for (size_t t = 0; t < n; ++t) {
        const size_t tok = sentence.first_token + t;
        for (size_t k = token_offsets_[tok]; k < token_offsets_[tok + 1]; ++k) {
          const float* w = &emission.w[static_cast<size_t>(rows_[k]) * kStride];
          for (int y = 0; y < kNumLabels; ++y) scores[t * kNumLabels + y] += w[y];
        }
      }
      for (int p = 0; p < kNumLabels; ++p) {
        current.start[p] = start.w[p];
        current.end[p] = end.w[p];
        for (int y = 0; y < kNumLabels; ++y) current.transition[p][y] = transition.w[p * kNumLabels + y];
      }
      if (options_.algorithm == TrainerOptions::Algorithm::kCrf) {
        crf_step(sentence, scores, current);
        predicted.resize(n);
        viterbi(current, scores, predicted);
        for (size_t t = 0; t < n; ++t) correct += predicted[t] == labels_[sentence.first_token + t];
        total += n;
        step += 1;
        continue;
      }
      predicted.resize(n);
      viterbi(current, scores, predicted);

      const int* gold = &labels_[sentence.first_token];
      bool same = true;
      for (size_t t = 0; t < n; ++t) {
        correct += predicted[t] == gold[t];
        same &= predicted[t] == gold[t];
      }
      total += n;
      if (!same) {
        for (size_t t = 0; t < n; ++t) {
          const int g = gold[t], p = predicted[t];
          if (g != p) {
            const size_t tok = sentence.first_token + t;
            for (size_t k = token_offsets_[tok]; k < token_offsets_[tok + 1]; ++k) {
              const size_t base = static_cast<size_t>(rows_[k]) * kStride;
              emission.update(base + g, 1.0f, step);
              emission.update(base + p, -1.0f, step);
            }
          }
          if (t == 0) {
            if (g != p) {
              start.update(g, 1.0f, step);
              start.update(p, -1.0f, step);
            }
          } else if (g != p || gold[t - 1] != predicted[t - 1]) {
            transition.update(gold[t - 1] * kNumLabels + g, 1.0f, step);
            transition.update(predicted[t - 1] * kNumLabels + p, -1.0f, step);
          }
        }
        if (gold[n - 1] != predicted[n - 1]) {
          end.update(gold[n - 1], 1.0f, step);
          end.update(predicted[n - 1], -1.0f, step);
        }
      }
      step += 1;
    }
    if (progress) progress(epoch, total ? static_cast<double>(correct) / total : 1.0);
  }

  for (size_t i = 0; i < weights.size(); ++i) weights[i] += emission.average(i, step);
  for (int p = 0; p < kNumLabels; ++p) {
    transitions.start[p] += start.average(p, step);
    transitions.end[p] += end.average(p, step);
    for (int y = 0; y < kNumLabels; ++y) transitions.transition[p][y] += transition.average(p * kNumLabels + y, step);
  }
}

ModelParameters add_second_stage(ModelParameters first, const Trainer& trainer, std::span<const TrainingText> texts,
                                 const StackingOptions& options, const std::function<void(int, double)>& progress) {
  if (texts.size() != trainer.text_count()) {
    throw std::invalid_argument("second stage: " + std::to_string(texts.size()) + " texts given but the trainer has " +
                                std::to_string(trainer.text_count()));
  }
  if (options.folds < 2 || options.folds > 20) {
    throw std::invalid_argument("second stage: folds must be between 2 and 20, got " + std::to_string(options.folds));
  }
  if (options.hash_bits < 8 || options.hash_bits > first.hash_bits) {
    throw std::invalid_argument("second stage: hash bits must be between 8 and the first stage's " +
                                std::to_string(first.hash_bits) + ", got " + std::to_string(options.hash_bits));
  }
  // The part of a text: a hash of its lower-cased text, so that copies
  // stay together.
  std::vector<int> fold(texts.size());
  for (size_t t = 0; t < texts.size(); ++t) {
    fold[t] = static_cast<int>(hash_bytes(to_lower(texts[t].text)) % static_cast<uint64_t>(options.folds));
  }
  std::vector<std::vector<int>> first_labels(texts.size());
  Tagger::FirstStage stage;
  for (int f = 0; f < options.folds; ++f) {
    const ModelParameters part = trainer.train({}, [&](size_t t) { return fold[t] != f; });
    const Tagger tagger(Model::from_bytes(part.serialize()));
    for (size_t t = 0; t < texts.size(); ++t) {
      if (fold[t] != f) continue;
      tagger.first_stage(texts[t].text, texts[t].tokens, texts[t].domains, stage);
      first_labels[t] = std::move(stage.labels);
    }
  }
  TrainerOptions second_options = trainer.options();
  second_options.hash_bits = options.hash_bits;
  Trainer second(first.gazetteer, second_options, first.clusters);
  const Tagger features(Model::from_bytes(first.serialize()));
  const StackedFeatures stacked(options.hash_bits);
  FeatureSet rows;
  for (size_t t = 0; t < texts.size(); ++t) {
    features.first_stage(texts[t].text, texts[t].tokens, texts[t].domains, stage, false);
    stacked.extract(stage.words, first_labels[t], stage.sentences, stage.features, first.hash_bits, rows);
    second.add(rows, texts[t].labels, stage.sentences);
  }
  const ModelParameters trained = second.train(progress);
  first.second_stage = ModelParameters::Stage{options.hash_bits, trained.weight_scale, trained.transitions,
                                               trained.weights};
  return first;
}

ModelParameters calibrate(ModelParameters parameters, std::span<const TrainingText> held_out) {
  // Decode once; keep each sentence's emissions and its predicted spans with
  // whether they are right.
  parameters.temperature = 1.0f;
  parameters.calibration_slope = 1.0f;
  parameters.calibration_intercept = 0.0f;
  const auto model = Model::from_bytes(parameters.serialize());
  const Tagger tagger(model);
  struct Sentence {
    std::vector<float> emissions;
    std::vector<std::pair<LabelledSpan, bool>> spans;
  };
  std::vector<Sentence> sentences;
  Tagger::Scores scores;
  for (const TrainingText& text : held_out) {
    tagger.score(text.text, text.tokens, text.domains, scores);
    for (const auto& [first, last] : scores.sentences) {
      Sentence s;
      s.emissions.assign(scores.emissions.begin() + static_cast<ptrdiff_t>(first * kNumLabels),
                         scores.emissions.begin() + static_cast<ptrdiff_t>(last * kNumLabels));
      std::vector<int> labels(last - first);
      viterbi(tagger.transitions(), s.emissions, labels);
      const auto gold_spans =
          spans_from_labels(std::span<const int>(text.labels).subspan(first, last - first));
      for (const LabelledSpan& p : spans_from_labels(labels)) {
        const bool right = std::find(gold_spans.begin(), gold_spans.end(), p) != gold_spans.end();
        s.spans.emplace_back(p, right);
      }
      if (!s.spans.empty()) sentences.push_back(std::move(s));
    }
  }
  if (sentences.empty()) return parameters;

  auto logit = [](double p) {
    p = std::clamp(p, 1e-6, 1 - 1e-6);
    return std::log(p / (1 - p));
  };
  // Temperature: the one under which span probabilities best predict
  // correctness (log loss), searched on a logarithmic grid.
  std::vector<std::pair<double, bool>> best_points;
  double best_loss = INFINITY, best_t = 1;
  for (double t = 0.05; t <= 200; t *= 1.15) {
    std::vector<std::pair<double, bool>> points;
    double loss = 0;
    for (const Sentence& s : sentences) {
      const Marginals m(tagger.transitions(), s.emissions, static_cast<float>(t));
      for (const auto& [span, right] : s.spans) {
        const double p = std::clamp(m.span_probability(span), 1e-6, 1 - 1e-6);
        loss -= right ? std::log(p) : std::log(1 - p);
        points.emplace_back(logit(p), right);
      }
    }
    if (loss < best_loss) {
      best_loss = loss;
      best_t = t;
      best_points = std::move(points);
    }
  }
  // Platt scaling of the logit: a few Newton steps of logistic regression.
  double a = 1, b = 0;
  for (int iter = 0; iter < 50; ++iter) {
    double ga = 0, gb = 0, haa = 1e-6, hab = 0, hbb = 1e-6;
    for (const auto& [x, right] : best_points) {
      const double q = 1 / (1 + std::exp(-(a * x + b)));
      const double r = q - (right ? 1 : 0);
      ga += r * x;
      gb += r;
      const double w = q * (1 - q);
      haa += w * x * x;
      hab += w * x;
      hbb += w;
    }
    const double det = haa * hbb - hab * hab;
    if (std::abs(det) < 1e-12) break;
    const double da = (hbb * ga - hab * gb) / det;
    const double db = (haa * gb - hab * ga) / det;
    a -= da;
    b -= db;
    if (std::abs(da) + std::abs(db) < 1e-9) break;
  }
  parameters.temperature = static_cast<float>(best_t);
  parameters.calibration_slope = static_cast<float>(a);
  parameters.calibration_intercept = static_cast<float>(b);
  return parameters;
}

}  // namespace tesk_privacy::ner
