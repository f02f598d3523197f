// The model file: round trips, and refusal of truncated, corrupted,
// inconsistent and other-version files with ModelFormatError.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "ner/gazetteer.h"
#include "ner/model.h"

namespace tesk_privacy::ner {
namespace {

ModelParameters small_parameters() {
  ModelParameters p;
  p.hash_bits = 8;
  p.weights.assign((size_t{1} << p.hash_bits) * ModelParameters::kRowStride, 0);
  for (size_t i = 0; i < p.weights.size(); ++i) p.weights[i] = static_cast<int16_t>(i % 997) - 498;
  p.weight_scale = 0.5f;
  p.temperature = 3.0f;
  p.calibration_slope = 0.9f;
  p.calibration_intercept = 0.1f;
  p.transitions.start[1] = 1.5f;
  p.transitions.end[2] = -0.5f;
  p.transitions.transition[1][2] = 2.25f;
  GazetteerBuilder g;
  g.add({"surabaya"}, GazetteerCategory::kIndonesianPlace);
  p.gazetteer = g.serialize();
  p.description = "test model";
  const std::vector<std::vector<std::string>> text = {{"di", "surabaya", "kemarin"}, {"di", "medan", "kemarin"}};
  p.clusters = WordClusters::learn(text, {.clusters = 2, .coarse_clusters = 2, .min_count = 1});
  return p;
}

// Expects loading `bytes` to fail with a message containing `why`.
void expect_refused(const std::string& bytes, const std::string& why, const std::string& label) {
  try {
    Model::from_bytes(bytes);
    ADD_FAILURE() << label << ": loaded";
  } catch (const ModelFormatError& e) {
    EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << label << ": " << e.what();
  }
}

TEST(NerModel, RoundTripsThroughBytesAndFile) {
  const ModelParameters p = small_parameters();
  const std::string bytes = p.serialize();
  const auto from_memory = Model::from_bytes(bytes);
  EXPECT_EQ(from_memory->hash_bits(), 8);
  EXPECT_EQ(from_memory->weight_scale(), 0.5f);
  EXPECT_EQ(from_memory->temperature(), 3.0f);
  EXPECT_EQ(from_memory->calibration_slope(), 0.9f);
  EXPECT_EQ(from_memory->calibration_intercept(), 0.1f);
  EXPECT_EQ(from_memory->transitions().start[1], 1.5f);
  EXPECT_EQ(from_memory->transitions().end[2], -0.5f);
  EXPECT_EQ(from_memory->transitions().transition[1][2], 2.25f);
  EXPECT_EQ(from_memory->row(3)[5], p.weights[3 * 8 + 5]);
  EXPECT_EQ(from_memory->row(255)[7], p.weights[255 * 8 + 7]);
  EXPECT_EQ(from_memory->description(), "test model");
  EXPECT_NE(from_memory->gazetteer().lookup(phrase_hash({"surabaya"})), 0u);
  EXPECT_EQ(from_memory->clusters().size(), 4u);
  EXPECT_NE(from_memory->clusters().lookup(WordClusters::word_hash("medan")), 0u);

  char path[] = "/tmp/tesk_ner_model_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
  const auto mapped = Model::load(path);
  std::remove(path);  // the mapping stays valid
  EXPECT_EQ(mapped->size_bytes(), bytes.size());
  EXPECT_EQ(mapped->row(100)[1], p.weights[100 * 8 + 1]);
  EXPECT_EQ(mapped->description(), "test model");
}

ModelParameters::Stage small_second_stage(int hash_bits = 8) {
  ModelParameters::Stage stage;
  stage.hash_bits = hash_bits;
  stage.weight_scale = 0.25f;
  stage.transitions.transition[3][4] = -1.75f;
  stage.weights.assign((size_t{1} << hash_bits) * ModelParameters::kRowStride, 0);
  for (size_t i = 0; i < stage.weights.size(); ++i) stage.weights[i] = static_cast<int16_t>(i % 331) - 165;
  return stage;
}

TEST(NerModel, SecondStageRoundTripsAndOlderFilesStillLoad) {
  ModelParameters p = small_parameters();
  EXPECT_FALSE(Model::from_bytes(p.serialize())->has_second_stage());

  p.second_stage = small_second_stage();
  const auto model = Model::from_bytes(p.serialize());
  ASSERT_TRUE(model->has_second_stage());
  EXPECT_EQ(model->second_stage_hash_bits(), 8);
  EXPECT_EQ(model->second_stage_weight_scale(), 0.25f);
  EXPECT_EQ(model->second_stage_transitions().transition[3][4], -1.75f);
  EXPECT_EQ(model->second_stage_row(5)[2], p.second_stage->weights[5 * 8 + 2]);
  EXPECT_EQ(model->transitions().transition[1][2], 2.25f);

  // A version 2 file (one stage) reads as before; the version sits in the
  // header, outside the checksum.
  std::string version2 = small_parameters().serialize();
  version2[8] = 2;
  const auto old = Model::from_bytes(version2);
  EXPECT_FALSE(old->has_second_stage());
  EXPECT_EQ(old->row(3)[5], p.weights[3 * 8 + 5]);

  std::string version2_with_stage = p.serialize();
  version2_with_stage[8] = 2;
  expect_refused(version2_with_stage, "version 2 file cannot have a second stage", "version 2 with a stage");
  std::string version4 = p.serialize();
  version4[8] = 4;
  expect_refused(version4, "format version 4 is not supported", "version 4");
}

TEST(NerModel, RefusesInconsistentSecondStage) {
  ModelParameters larger = small_parameters();
  larger.second_stage = small_second_stage(9);  // more rows than the first stage
  EXPECT_THROW(larger.serialize(), std::invalid_argument);

  ModelParameters short_weights = small_parameters();
  short_weights.second_stage = small_second_stage();
  short_weights.second_stage->weights.resize(64);
  EXPECT_THROW(short_weights.serialize(), std::invalid_argument);

  ModelParameters infinite = small_parameters();
  infinite.second_stage = small_second_stage();
  infinite.second_stage->transitions.start[1] = NAN;
  expect_refused(infinite.serialize(), "second-stage", "NaN second-stage start score");
}

TEST(NerModel, RefusesDamagedFiles) {
  const std::string good = small_parameters().serialize();
  expect_refused("", "too short", "empty");
  expect_refused(good.substr(0, 20), "too short", "cut inside the header");
  expect_refused(good.substr(0, good.size() / 2), "truncated", "cut in half");
  expect_refused(good.substr(0, good.size() - 1), "truncated", "last byte missing");
  expect_refused(good + std::string(64, '\0'), "declares", "trailing bytes");

  std::string magic = good;
  magic[0] = 'X';
  expect_refused(magic, "bad magic", "magic");

  std::string version = good;
  version[8] = 1;  // the features of version 1 files are not the ones computed now
  expect_refused(version, "format version 1 is not supported", "version");

  for (const size_t at : {size_t{40}, good.size() / 3, good.size() - 70}) {
    std::string flipped = good;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
    expect_refused(flipped, "checksum", "byte " + std::to_string(at) + " flipped");
  }
}

TEST(NerModel, RefusesInconsistentContent) {
  ModelParameters bad_gazetteer = small_parameters();
  bad_gazetteer.gazetteer = std::string(40, 'x');
  expect_refused(bad_gazetteer.serialize(), "malformed gazetteer", "gazetteer");

  ModelParameters bad_clusters = small_parameters();
  bad_clusters.clusters = std::string(13, 'x');
  expect_refused(bad_clusters.serialize(), "malformed word clusters", "word clusters");

  ModelParameters cold = small_parameters();
  cold.temperature = 0;
  expect_refused(cold.serialize(), "non-positive", "temperature 0");

  ModelParameters infinite = small_parameters();
  infinite.transitions.transition[0][1] = INFINITY;
  expect_refused(infinite.serialize(), "transition", "infinite transition");

  ModelParameters wrong_size = small_parameters();
  wrong_size.weights.pop_back();
  EXPECT_THROW(wrong_size.serialize(), std::invalid_argument);
}

TEST(NerModel, MissingFileIsAClearError) {
  try {
    Model::load("/nonexistent/ner_model.bin");
    FAIL() << "loaded";
  } catch (const ModelFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/ner_model.bin"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Model::load("/tmp"), ModelFormatError);
}

TEST(NerModel, BuiltinModelIsSharedAndSane) {
  const auto a = Model::builtin();
  const auto b = Model::builtin();
  EXPECT_EQ(a.get(), b.get());
  EXPECT_GE(a->hash_bits(), 16);
  EXPECT_GT(a->gazetteer().size(), 1000u);
  EXPECT_GT(a->clusters().size(), 10000u);
  EXPECT_LT(a->size_bytes(), size_t{40} << 20);  // the repository keeps the model file within 40 MB
}

// The shipped model's gazetteer holds each list under its own category:
// a list read under the wrong category, or left out of training, would
// make the tagger give its names the wrong type or none.
TEST(NerModel, BuiltinGazetteerHoldsEachListUnderItsCategory) {
  const auto model = Model::builtin();
  constexpr auto bit = [](GazetteerCategory c) { return 1u << static_cast<unsigned>(c); };
  const struct {
    std::vector<std::string_view> words;  // normalised
    GazetteerCategory category;
  } cases[] = {
      {{"abraham", "lincoln"}, GazetteerCategory::kListedPerson},                     // WordNet
      {{"addis", "ababa"}, GazetteerCategory::kListedPlace},                          // WordNet
      {{"drug", "enforcement", "administration"}, GazetteerCategory::kListedOrganization},  // WordNet
      {{"kemenhub"}, GazetteerCategory::kListedOrganization},                         // DBpedia
      {{"luhut"}, GazetteerCategory::kPersonNameWord},                                // DBpedia name words
      {{"jawa", "timur"}, GazetteerCategory::kIndonesianPlace},                       // our own
      {{"makan"}, GazetteerCategory::kCommonWord},                                    // hunspell-id
  };
  for (const auto& c : cases) {
    EXPECT_NE(model->gazetteer().lookup(phrase_hash(c.words)) & bit(c.category), 0u) << c.words.front();
  }
}

}  // namespace
}  // namespace tesk_privacy::ner
