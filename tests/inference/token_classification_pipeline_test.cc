// TokenClassificationPipeline: every aggregation strategy on a hand-weighted
// model whose labels are known in advance, label filtering, long texts in
// windows, and loading from a folder or the hub cache.
#include "inference/token_classification_pipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "inference/model_resolver.h"
#include "inference/test_files.h"
#include "inference/tiny_model.h"
#include "inference/tokenizer_fixtures.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

using testing::ScratchDir;

const std::vector<std::string> kLabels = {"O", "B-PER", "I-PER", "B-LOC", "I-LOC"};
enum { O, B_PER, I_PER, B_LOC, I_LOC };

std::vector<float> one_hot(size_t label) {
  std::vector<float> row(kLabels.size(), 0.0f);
  row[label] = 3.0f;
  return row;
}

// Softmax of the standardised row, as the tiny model computes it (sharpness 1).
std::vector<double> row_probs(const std::vector<float>& row) {
  double mean = 0, var = 0;
  for (float x : row) mean += x;
  mean /= row.size();
  for (float x : row) var += (x - mean) * (x - mean);
  var /= row.size();
  std::vector<double> p;
  double sum = 0;
  for (float x : row) sum += p.emplace_back(std::exp((x - mean) / std::sqrt(var + 1e-5)));
  for (double& v : p) v /= sum;
  return p;
}

// Embedding rows for the WordPiece fixture's ids (see tokenizer_fixtures.h).
std::vector<std::vector<float>> fixture_rows() {
  std::vector<std::vector<float>> rows(25, one_hot(O));
  rows[5] = one_hot(B_PER);                  // budi
  rows[9] = one_hot(B_LOC);                  // jak
  rows[10] = one_hot(I_LOC);                 // ##arta
  rows[23] = one_hot(B_LOC);                 // ibu
  rows[24] = one_hot(I_LOC);                 // kota
  rows[11] = {0.5f, 1.0f, 0.0f, 0.0f, 0.0f};  // kel: B-PER, unsure
  rows[12] = {1.0f, 0.0f, 0.0f, 0.0f, 0.3f};  // ##uar: O
  rows[13] = one_hot(I_LOC);                 // ##ga: I-LOC, most sure
  return rows;
}

// The WordPiece fixture without the whole word "jakarta", so the city
// splits into jak ##arta.
std::string fixture_tokenizer_json() {
  nlohmann::json j = nlohmann::json::parse(testing::wordpiece_json());
  j["model"]["vocab"].erase("jakarta");
  return j.dump();
}

Tokenizer fixture_tokenizer() { return Tokenizer::from_json(fixture_tokenizer_json()); }

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::write_tiny_model(dir_.path(), fixture_rows(), kLabels, /*sharpness=*/1.0f);
    model_ = std::make_shared<const Encoder>(Encoder::from_folder(dir_.path()));
  }
  TokenClassificationPipeline pipeline(AggregationStrategy strategy, std::vector<std::string> ignore = {"O"}) const {
    return TokenClassificationPipeline(fixture_tokenizer(), model_, {strategy, std::move(ignore)});
  }

  ScratchDir dir_;
  std::shared_ptr<const Encoder> model_;
};

struct Rec {
  std::string label, word;
  size_t start, end;
  double score;
};

void expect_records(const std::vector<EntityPrediction>& got, const std::vector<Rec>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].label(), want[i].label) << what << " #" << i;
    EXPECT_EQ(got[i].word, want[i].word) << what << " #" << i;
    EXPECT_EQ(got[i].start, want[i].start) << what << " #" << i;
    EXPECT_EQ(got[i].end, want[i].end) << what << " #" << i;
    EXPECT_NEAR(got[i].score, want[i].score, 1e-4) << what << " #" << i;
  }
}

const std::string kSentence = "Budi tinggal di Jakarta, ibu kota.";

TEST_F(PipelineTest, NoAggregationReportsTokens) {
  const double c = testing::tiny_model_confidence(kLabels.size(), 1.0f);
  auto got = pipeline(AggregationStrategy::kNone)(kSentence);
  expect_records(got, {{"B-PER", "budi", 0, 4, c}, {"B-LOC", "jak", 16, 19, c}, {"I-LOC", "##arta", 19, 23, c},
                       {"B-LOC", "ibu", 25, 28, c}, {"I-LOC", "kota", 29, 33, c}},
                 "none");
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].index, 1u);  // after [CLS]
  EXPECT_EQ(got[2].index, 5u);
  EXPECT_EQ(got[0].entity, "B-PER");
  EXPECT_TRUE(got[0].entity_group.empty());
}

TEST_F(PipelineTest, StrategiesGroupTokensAndWords) {
  const double c = testing::tiny_model_confidence(kLabels.size(), 1.0f);
  const auto rows = fixture_rows();
  const auto kel = row_probs(rows[11]), uar = row_probs(rows[12]), ga = row_probs(rows[13]);
  struct Case {
    AggregationStrategy strategy;
    std::string text;
    std::vector<Rec> expected;
  };
  const std::vector<Case> cases = {
      {AggregationStrategy::kSimple, kSentence,
       {{"PER", "budi", 0, 4, c}, {"LOC", "jakarta", 16, 23, c}, {"LOC", "ibu kota", 25, 33, c}}},
      {AggregationStrategy::kFirst, kSentence,
       {{"PER", "budi", 0, 4, c}, {"LOC", "jakarta", 16, 23, c}, {"LOC", "ibu kota", 25, 33, c}}},
      // jak (B-LOC) and ##arta (I-LOC) average to a tie, which the first label wins.
      {AggregationStrategy::kAverage, kSentence,
       {{"PER", "budi", 0, 4, c}, {"LOC", "jakarta", 16, 23, (c + (1 - c) / 4) / 2}, {"LOC", "ibu kota", 25, 33, c}}},
      {AggregationStrategy::kMax, kSentence,
       {{"PER", "budi", 0, 4, c}, {"LOC", "jakarta", 16, 23, c}, {"LOC", "ibu kota", 25, 33, c}}},
      // A B- label starts a new entity even after the same type; an I- label
      // after another type starts one too.
      {AggregationStrategy::kSimple, "ibu ibu kota budi",
       {{"LOC", "ibu", 0, 3, c}, {"LOC", "ibu kota", 4, 12, c}, {"PER", "budi", 13, 17, c}}},
      {AggregationStrategy::kSimple, "kota budi", {{"LOC", "kota", 0, 4, c}, {"PER", "budi", 5, 9, c}}},
      // One word whose pieces disagree: kel (B-PER, unsure), ##uar (O), ##ga (I-LOC, sure).
      {AggregationStrategy::kSimple, "Keluarga", {{"PER", "kel", 0, 3, kel[B_PER]}, {"LOC", "##ga", 6, 8, ga[I_LOC]}}},
      {AggregationStrategy::kFirst, "Keluarga", {{"PER", "keluarga", 0, 8, kel[B_PER]}}},
      {AggregationStrategy::kMax, "Keluarga", {{"LOC", "keluarga", 0, 8, ga[I_LOC]}}},
      {AggregationStrategy::kAverage, "Keluarga", {}},  // the mean favours O
      {AggregationStrategy::kSimple, "", {}},
      {AggregationStrategy::kSimple, "  \n ", {}},
  };
  for (const Case& k : cases) {
    expect_records(pipeline(k.strategy)(k.text), k.expected,
                   "strategy " + std::to_string(static_cast<int>(k.strategy)) + ": " + k.text);
  }
  // The mean the average strategy takes really favours O.
  EXPECT_GT(kel[O] + uar[O] + ga[O], kel[B_PER] + uar[B_PER] + ga[B_PER]);
  EXPECT_GT(kel[O] + uar[O] + ga[O], kel[I_LOC] + uar[I_LOC] + ga[I_LOC]);
}

TEST_F(PipelineTest, IgnoreLabels) {
  const double c = testing::tiny_model_confidence(kLabels.size(), 1.0f);
  expect_records(pipeline(AggregationStrategy::kSimple, {})("Budi tinggal di Jakarta."),
                 {{"PER", "budi", 0, 4, c}, {"O", "tinggal di", 5, 15, c}, {"LOC", "jakarta", 16, 23, c},
                  {"O", ".", 23, 24, c}},
                 "nothing ignored");
  expect_records(pipeline(AggregationStrategy::kSimple, {"O", "PER"})("Budi tinggal di Jakarta."),
                 {{"LOC", "jakarta", 16, 23, c}}, "PER ignored");
  expect_records(pipeline(AggregationStrategy::kNone, {"O", "I-LOC"})("Jakarta"), {{"B-LOC", "jak", 0, 3, c}},
                 "I-LOC ignored");
}

TEST_F(PipelineTest, UnknownTokensReportTheirText) {
  auto got = pipeline(AggregationStrategy::kNone, {})("Halo 😀!");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].word, "😀");
  EXPECT_EQ(got[1].start, 5u);
  EXPECT_EQ(got[1].end, 6u);
}

TEST_F(PipelineTest, LongTextsRunInWindows) {
  std::string text;
  std::vector<size_t> starts;
  for (int i = 0; i < 150; ++i) {
    starts.push_back(utf8_length(text));
    text += "Budi di ibu kota. ";
  }
  for (std::optional<size_t> limit : {std::optional<size_t>(), std::optional<size_t>(16)}) {
    TokenClassificationPipeline ner(fixture_tokenizer().with_model_max_length(limit), model_,
                                    {AggregationStrategy::kSimple, {"O"}, 128});
    EXPECT_EQ(ner.window_size(), limit ? 14u : 62u);
    auto got = ner(text);
    ASSERT_EQ(got.size(), 300u);
    for (size_t i = 0; i < 150; ++i) {
      EXPECT_EQ(got[2 * i].entity_group, "PER");
      EXPECT_EQ(got[2 * i].start, starts[i]);
      EXPECT_EQ(got[2 * i + 1].entity_group, "LOC");
      EXPECT_EQ(got[2 * i + 1].start, starts[i] + 8);
      EXPECT_EQ(got[2 * i + 1].end, starts[i] + 16);
    }
  }
  auto tokens = pipeline(AggregationStrategy::kNone)(text);
  ASSERT_EQ(tokens.size(), 450u);
  EXPECT_EQ(tokens.back().index, 1u + 5 * 150 - 2);  // the last "kota", counted after [CLS]
}

TEST_F(PipelineTest, MismatchedTokenizerAndModel) {
  ScratchDir small;
  testing::write_tiny_model(small.path(), std::vector<size_t>(10, 0), kLabels);
  TokenClassificationPipeline ner(fixture_tokenizer(), std::make_shared<const Encoder>(Encoder::from_folder(small.path())));
  EXPECT_NO_THROW(ner("Budi"));  // ids 2, 5 and 3 fit
  try {
    ner("ibu kota");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("tokenizer and model do not match"), std::string::npos) << e.what();
  }
  EXPECT_THROW(parse_aggregation_strategy("mean"), std::invalid_argument);
  EXPECT_EQ(parse_aggregation_strategy("SIMPLE"), AggregationStrategy::kSimple);
}

TEST_F(PipelineTest, LoadsFromFolderAndHubCache) {
  testing::write_file(dir_ / "tokenizer.json", fixture_tokenizer_json());
  auto folder = TokenClassificationPipeline::from_pretrained(dir_.path().string(), {AggregationStrategy::kSimple});
  EXPECT_EQ(folder("Budi").front().entity_group, "PER");

  ScratchDir cache;
  const auto snapshot = cache / "models--acme--tiny-ner" / "snapshots" / "0123abcd";
  for (const char* f : {"config.json", "model.safetensors", "tokenizer.json"}) {
    std::filesystem::create_directories(snapshot);
    std::filesystem::copy_file(dir_ / f, snapshot / f);
  }
  testing::write_file(cache / "models--acme--tiny-ner" / "refs" / "main", "0123abcd\n");
  const char* saved = std::getenv("HF_HUB_CACHE");
  const std::string old = saved ? saved : "";
  ::setenv("HF_HUB_CACHE", cache.path().c_str(), 1);
  auto hub = TokenClassificationPipeline::from_pretrained("acme/tiny-ner", {AggregationStrategy::kSimple});
  EXPECT_EQ(hub("Budi di ibu kota").size(), 2u);
  EXPECT_THROW(TokenClassificationPipeline::from_pretrained("acme/absent"), ModelNotFoundError);
  if (saved) ::setenv("HF_HUB_CACHE", old.c_str(), 1);
  else ::unsetenv("HF_HUB_CACHE");
}

}  // namespace
}  // namespace tesk_privacy::inference
