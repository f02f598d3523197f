// Trainer: learns a Model's parameters from labelled texts, either with the
// averaged structured perceptron (the default: each sentence is decoded with
// the current weights, and where the best labelling differs from the gold
// one the gold labels' features are rewarded and the predicted ones'
// penalised) or as a linear-chain CRF (stochastic gradient steps on each
// sentence's log-likelihood, AdaGrad step sizes, a little L2 decay). Either
// way the weights averaged over all steps are kept, and the emission weights
// are quantized to 16 bits for the model file. add_second_stage() stacks a
// second tagger on the first.
//
// calibrate() fits, on held-out texts, the temperature under which the
// scores read as probabilities and the mapping of a span's probability to
// its confidence (Platt scaling on exact-match correctness).
//
//   Trainer trainer(gazetteer_builder.serialize(), {.hash_bits = 18, .epochs = 12});
//   for (const TrainingText& t : corpus) trainer.add(t);
//   ModelParameters params = trainer.train();
//   params = add_second_stage(std::move(params), trainer, corpus, {});  // optional
//   params = calibrate(std::move(params), held_out);
//   write(params.serialize());
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ner/feature_extractor.h"
#include "ner/gazetteer.h"
#include "ner/model.h"
#include "ner/tagger.h"

namespace tesk_privacy::ner {

// A text, its tokens and one gold label per token, and the feature domains
// it belongs to (FeatureExtractor::extract).
struct TrainingText {
  std::string text;
  std::vector<TokenSpan> tokens;
  std::vector<int> labels;
  std::vector<uint64_t> domains;
};

struct TrainerOptions {
  enum class Algorithm {
    kPerceptron,  // averaged structured perceptron
    kCrf,         // linear-chain CRF: AdaGrad on the log-likelihood with L2, averaged
                  // (more precise, less complete than the perceptron on our corpora)
  };
  Algorithm algorithm = Algorithm::kPerceptron;
  int hash_bits = 18;
  int epochs = 12;
  uint64_t seed = 42;  // order in which sentences are visited
  // Runs of the whole training, with seeds seed, seed + 1, ...; the model
  // takes the mean of their weights.
  int bags = 1;
  double learning_rate = 0.1;  // CRF only
  double l2 = 1e-6;            // CRF only: weight decay per update of a feature
};

class Trainer {
 public:
  // `gazetteer`: GazetteerBuilder::serialize(). Throws std::invalid_argument
  // for a malformed gazetteer or hash bits outside 8..28.
  // `clusters`: WordClusters::learn(), or empty for none. Throws
  // std::invalid_argument also for fewer than one bag.
  explicit Trainer(std::string gazetteer, TrainerOptions options = {}, std::string clusters = {});

  // Splits the text into sentences and keeps their features. Throws
  // std::invalid_argument when tokens and labels differ in number or a
  // label is out of range.
  void add(const TrainingText& text);
  // Adds a text whose features were computed elsewhere (the second stage's,
  // StackedFeatures): every token's rows, which must lie in this trainer's
  // table, its gold label, and the text's sentences, which must cover the
  // tokens in order. Throws std::invalid_argument otherwise.
  void add(const FeatureSet& features, std::span<const int> labels,
           std::span<const std::pair<size_t, size_t>> sentences);
  // Texts added so far; add() numbers them from 0.
  size_t text_count() const { return texts_; }
  const TrainerOptions& options() const { return options_; }
  size_t sentence_count() const { return sentences_.size(); }
  size_t token_count() const { return labels_.size(); }

  // Runs the epochs; `progress(epoch, token accuracy on the training data)`
  // is called after each. With `use`, only the texts whose number it
  // accepts are learnt from (one fold of a cross-validation).
  ModelParameters train(const std::function<void(int, double)>& progress = {},
                        const std::function<bool(size_t)>& use = {}) const;

 private:
  struct Sentence {
    size_t first_token;  // into labels_ and token_offsets_
    size_t size;
    size_t text;  // number of the text it came from
  };
  std::string gazetteer_bytes_;
  Gazetteer gazetteer_;
  std::string clusters_bytes_;
  WordClusters clusters_;
  FeatureExtractor extractor_;
  TrainerOptions options_;
  std::vector<Sentence> sentences_;
  std::vector<uint32_t> rows_;
  std::vector<size_t> token_offsets_;  // token i owns rows_[token_offsets_[i], token_offsets_[i + 1])
  std::vector<int> labels_;
  size_t texts_ = 0;

  // One run of the epochs with `seed`; adds its averaged weights to
  // `weights` and `transitions`.
  void run(uint64_t seed, const std::function<void(int, double)>& progress, const std::function<bool(size_t)>& use,
           std::vector<float>& weights, TransitionScores& transitions) const;
};

struct StackingOptions {
  int folds = 4;       // parts of the training texts, 2..20
  int hash_bits = 17;  // the second stage's table, at most the first stage's
};

// Returns `first` with a second stage (StackedFeatures) learnt from
// `texts`, which must be the texts `trainer` was given, in order, and from
// which it trained `first`. The second stage learns from first-stage labels
// as wrong as they will be on new text: the texts are cut into
// `options.folds` parts, and each part is labelled by a first stage trained
// on the other parts (a text and its copies, repeated or lower-cased, fall
// into one part). The trainer's options (epochs, seed, algorithm) serve the
// second stage too. Deterministic. Throws std::invalid_argument when the
// texts do not match the trainer or the options are out of range.
ModelParameters add_second_stage(ModelParameters first, const Trainer& trainer, std::span<const TrainingText> texts,
                                 const StackingOptions& options,
                                 const std::function<void(int, double)>& progress = {});

// Sets the temperature and calibration of `parameters` from the entities
// the model finds in `held_out` and whether each exactly matches a gold
// entity. Leaves them unchanged when the held-out texts yield no entities.
ModelParameters calibrate(ModelParameters parameters, std::span<const TrainingText> held_out);

}  // namespace tesk_privacy::ner
