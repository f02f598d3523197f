// Encoder: logits against an independent implementation, a hand-weighted
// model with known answers, and clear errors for weights that do not fit.
#include "inference/encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "inference/test_files.h"
#include "inference/tiny_model.h"

namespace tesk_privacy::inference {
namespace {

using testing::ScratchDir;

std::filesystem::path parity_dir() {
  const char* shared = std::getenv("TESK_SHARED_DIR");
  return shared == nullptr ? std::filesystem::path() : std::filesystem::path(shared) / "testdata/encoder-parity";
}

class EncoderParity : public ::testing::TestWithParam<std::string> {};

TEST_P(EncoderParity, ReproducesReferenceLogits) {
  if (parity_dir().empty()) GTEST_SKIP() << "TESK_SHARED_DIR is not set; no encoder parity data";
  const auto dir = parity_dir() / GetParam();
  if (!std::filesystem::exists(dir / "expected.json")) {
    GTEST_SKIP() << "encoder parity data not found at " << dir;
  }
  nlohmann::json expected = nlohmann::json::parse(std::ifstream(dir / "expected.json"));
  const double tolerance = expected["tolerance"].get<double>();
  Encoder model = Encoder::from_folder(dir);
  ASSERT_FALSE(expected["cases"].empty());
  for (const auto& c : expected["cases"]) {
    auto ids = c["input_ids"].get<std::vector<int32_t>>();
    std::vector<int32_t> types;
    if (c.contains("token_type_ids")) types = c["token_type_ids"].get<std::vector<int32_t>>();
    Logits logits = model.forward(ids, types);
    const auto& want = c["logits"];
    ASSERT_EQ(logits.rows, want.size());
    double worst = 0;
    for (size_t r = 0; r < logits.rows; ++r) {
      ASSERT_EQ(logits.cols, want[r].size());
      for (size_t k = 0; k < logits.cols; ++k) {
        worst = std::max(worst, std::abs(logits.at(r, k) - want[r][k].get<double>()));
      }
    }
    EXPECT_LE(worst, tolerance) << GetParam() << ", " << ids.size() << " tokens";
  }
}

INSTANTIATE_TEST_SUITE_P(Families, EncoderParity,
                         ::testing::Values("bert-f32", "roberta-f32", "distilbert-f32", "bert-f16",
                                           "roberta-bf16"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& ch : name) if (ch == '-') ch = '_';
                           return name;
                         });

TEST(Encoder, HandWeightedModelGivesKnownLabels) {
  ScratchDir dir;
  const std::vector<std::string> labels = {"O", "B-PER", "I-PER", "B-LOC"};
  const std::vector<size_t> label_of = {0, 0, 1, 2, 3, 0, 3, 1};
  for (const std::string type : {"bert", "roberta"}) {
    testing::write_tiny_model(dir / type, label_of, labels, 4.0f, type);
    Encoder model = Encoder::from_folder(dir / type);
    const std::vector<int32_t> ids = {2, 3, 5, 6, 7, 4, 0};
    Logits logits = model.forward(ids);
    ASSERT_EQ(logits.rows, ids.size());
    ASSERT_EQ(logits.cols, labels.size());
    for (size_t t = 0; t < ids.size(); ++t) {
      auto row = logits.row(t);
      size_t best = std::max_element(row.begin(), row.end()) - row.begin();
      EXPECT_EQ(best, label_of[ids[t]]) << type << " token " << t;
    }
  }
}

class EncoderErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::write_tiny_model(dir_.path(), {0, 1, 2}, {"O", "B-PER", "B-LOC"});
  }
  // Rewrites config.json with `key` set to `value`.
  void set_config(const std::string& key, const nlohmann::json& value) {
    auto config = nlohmann::json::parse(std::ifstream(dir_ / "config.json"));
    config[key] = value;
    testing::write_file(dir_ / "config.json", config.dump());
  }
  std::string load_error() {
    try {
      Encoder::from_folder(dir_.path());
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "(no error)";
  }
  ScratchDir dir_;
};

TEST_F(EncoderErrors, WeightsThatDisagreeWithConfig) {
  struct Case {
    std::string key;
    nlohmann::json value;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"hidden_size", 6, "has shape [3, 3], but config.json implies [3, 6]"},
      {"vocab_size", 5, "word_embeddings.weight' has shape [3, 3], but config.json implies [5, 3]"},
      {"num_hidden_layers", 2, "missing tensor 'bert.encoder.layer.1.attention.self.query.weight'"},
      {"id2label", {{"0", "O"}, {"1", "B-PER"}}, "classifier.weight' has shape [3, 3], but config.json implies [2, 3]"},
      {"model_type", "deberta-v2", "model type 'deberta-v2' is not supported"},
      {"hidden_act", "mish", "activation 'mish' is not supported"},
      {"num_attention_heads", 2, "hidden size 3 is not a multiple of 2 attention heads"},
      {"position_embedding_type", "relative_key", "position_embedding_type 'relative_key' is not supported"},
      {"id2label", {{"0", "O"}, {"2", "B-PER"}}, "id2label keys must be the numbers 0 to 1"},
      {"hidden_size", "3", "'hidden_size' must be a positive integer"},
  };
  for (const Case& c : cases) {
    SetUp();
    set_config(c.key, c.value);
    EXPECT_NE(load_error().find(c.message), std::string::npos) << c.key << ": " << load_error();
  }
}

TEST_F(EncoderErrors, MissingFiles) {
  std::filesystem::remove(dir_ / "model.safetensors");
  testing::write_file(dir_ / "pytorch_model.bin", "not read");
  EXPECT_NE(load_error().find("only safetensors weights can be read"), std::string::npos) << load_error();
  std::filesystem::remove(dir_ / "config.json");
  EXPECT_NE(load_error().find("config.json: cannot open"), std::string::npos) << load_error();
}

TEST_F(EncoderErrors, BadInputs) {
  Encoder model = Encoder::from_folder(dir_.path());
  const std::vector<int32_t> too_long(65, 1);
  const std::vector<int32_t> ok = {1, 2};
  const std::vector<int32_t> bad_id = {1, 3};
  const std::vector<int32_t> bad_type = {0, 1};
  EXPECT_THROW(model.forward({}), std::invalid_argument);
  EXPECT_THROW(model.forward(too_long), std::invalid_argument);
  EXPECT_THROW(model.forward(bad_id), std::invalid_argument);
  EXPECT_THROW(model.forward(ok, bad_type), std::invalid_argument);
  EXPECT_THROW(model.forward(ok, bad_id), std::invalid_argument);  // 2 ids, 2 types: type 3 unknown
  EXPECT_EQ(model.forward(std::vector<int32_t>(64, 1)).rows, 64u);
}

}  // namespace
}  // namespace tesk_privacy::inference
