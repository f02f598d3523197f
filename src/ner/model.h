// Model: the parameters of the named-entity tagger, read in place from a
// binary model file — memory-mapped read-only, or the copy built into the
// library — so that loading costs no parsing and one model is shared by
// every thread and tagger.
//
// File layout (little-endian):
//   header, 32 bytes: magic "TESK-NER", u32 format version (1), u32 section
//     count, u64 file size, u64 checksum of everything after the header;
//   section table: per section {u32 id, u32 zero, u64 offset, u64 size};
//   sections, 64-byte aligned:
//     1 parameters: u32 hash bits, u32 label count (7), u32 row stride (8),
//       f32 weight scale, f32 temperature, f32 calibration slope and
//       intercept, u32 zero, then f32 start[7], end[7], transition[7][7];
//     2 weights: i16 [2^hash bits][8], the emission weights of the feature
//       rows (the eighth column is padding);
//     3 gazetteer: the table of Gazetteer;
//     4 description: UTF-8 text (what the model was trained on);
//     5 word clusters: the table of WordClusters;
//     6 second-stage parameters (optional): u32 hash bits, u32 label count,
//       u32 row stride, f32 weight scale, then f32 start[7], end[7],
//       transition[7][7];
//     7 second-stage weights (with 6): i16 [2^hash bits][8].
// Version 2 added the word clusters and the features that use them; a
// version 1 file would score the wrong features and is refused. Version 3
// added the optional second stage; version 2 files, which have none, still
// load and tag with their one stage. When the second stage is present the
// temperature and calibration apply to its scores.
// Any file that is not exactly such a file — truncated, corrupted, another
// format version, inconsistent sections — is refused with ModelFormatError.
//
//   std::shared_ptr<const Model> model = Model::builtin();
//   auto other = Model::load("models/ner_model.bin");
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ner/decoder.h"
#include "ner/gazetteer.h"
#include "ner/labels.h"
#include "ner/word_clusters.h"

namespace tesk_privacy::ner {

// A model file that cannot be used: unreadable, malformed or of another
// format version.
class ModelFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The parameters, as the trainer produces them and a model file stores them.
struct ModelParameters {
  static constexpr int kRowStride = 8;

  int hash_bits = 18;
  float weight_scale = 1.0f;  // emission score = weight_scale * sum of i16 weights
  // Confidence calibration: probabilities come from scores divided by
  // `temperature`; an entity's probability p becomes the confidence
  // sigmoid(slope * logit(p) + intercept).
  float temperature = 1.0f;
  float calibration_slope = 1.0f;
  float calibration_intercept = 0.0f;
  TransitionScores transitions;
  std::vector<int16_t> weights;  // 2^hash_bits rows of kRowStride
  std::string gazetteer;        // GazetteerBuilder::serialize()
  std::string clusters;         // WordClusters::learn(); empty: no clusters
  std::string description;

  // The second stage (StackedFeatures), trained on the first stage's labels.
  struct Stage {
    int hash_bits = 17;  // at most the first stage's
    float weight_scale = 1.0f;
    TransitionScores transitions;
    std::vector<int16_t> weights;  // 2^hash_bits rows of kRowStride
  };
  std::optional<Stage> second_stage;

  // The model file's bytes. Throws std::invalid_argument when the weights
  // do not fit hash_bits, or the second stage's table is larger than the
  // first's.
  std::string serialize() const;
};

class Model {
 public:
  static constexpr uint32_t kFormatVersion = 3;
  // The oldest format version this library still reads.
  static constexpr uint32_t kOldestFormatVersion = 2;
  static constexpr std::string_view kMagic = "TESK-NER";

  // Maps the file read-only. Throws ModelFormatError when it cannot be
  // opened or is not a valid model file.
  static std::shared_ptr<const Model> load(const std::string& path);
  // Reads a model from bytes that are copied into the model.
  static std::shared_ptr<const Model> from_bytes(std::string bytes);
  // The model built into the library (trained on the corpora credited in
  // NOTICE.md); throws ModelFormatError if this build has none.
  static std::shared_ptr<const Model> builtin();

  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  int hash_bits() const { return hash_bits_; }
  // The weights of one feature row: kRowStride values, the first kNumLabels used.
  const int16_t* row(uint32_t index) const { return weights_ + static_cast<size_t>(index) * 8; }
  float weight_scale() const { return weight_scale_; }
  float temperature() const { return temperature_; }
  float calibration_slope() const { return slope_; }
  float calibration_intercept() const { return intercept_; }
  const TransitionScores& transitions() const { return transitions_; }
  const Gazetteer& gazetteer() const { return gazetteer_; }
  const WordClusters& clusters() const { return clusters_; }
  bool has_second_stage() const { return stage2_weights_ != nullptr; }
  // The second stage's table (valid when has_second_stage()).
  int second_stage_hash_bits() const { return stage2_hash_bits_; }
  const int16_t* second_stage_row(uint32_t index) const {
    return stage2_weights_ + static_cast<size_t>(index) * ModelParameters::kRowStride;
  }
  float second_stage_weight_scale() const { return stage2_weight_scale_; }
  const TransitionScores& second_stage_transitions() const { return stage2_transitions_; }
  std::string_view description() const { return description_; }
  size_t size_bytes() const { return bytes_.size(); }

 private:
  struct Storage;
  Model(std::unique_ptr<Storage> storage, std::string_view bytes, const std::string& origin);

  std::unique_ptr<Storage> storage_;
  std::string_view bytes_;
  int hash_bits_ = 0;
  const int16_t* weights_ = nullptr;
  float weight_scale_ = 1, temperature_ = 1, slope_ = 1, intercept_ = 0;
  TransitionScores transitions_;
  Gazetteer gazetteer_;
  WordClusters clusters_;
  std::string_view description_;
  int stage2_hash_bits_ = 0;
  const int16_t* stage2_weights_ = nullptr;
  float stage2_weight_scale_ = 1;
  TransitionScores stage2_transitions_;
};

}  // namespace tesk_privacy::ner
