// TransformersRecognizer on a tiny hand-weighted model whose labels are
// known in advance (the WordPiece fixture's ids, see tokenizer_fixtures.h):
// label mapping and scores, both tokenization levels, long texts in
// chunks, the component cache and its locks, backends and switching, and
// models found by folder or hub identifier.
#include "pii_detector/models/transformers_recognizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "inference/model_resolver.h"
#include "inference/test_files.h"
#include "inference/tiny_model.h"
#include "inference/tokenizer_fixtures.h"
#include "log_capture.h"

namespace tesk_privacy::pii_detector {
namespace {

using inference::testing::ScratchDir;
using tesk_privacy::testing::LogCapture;

bool has(const tesk_privacy::testing::LogCapture& log, const std::string& line) {
  const auto l = log.lines();
  return std::find(l.begin(), l.end(), line) != l.end();
}

size_t count(const tesk_privacy::testing::LogCapture& log, const std::string& line) {
  const auto l = log.lines();
  return static_cast<size_t>(std::count(l.begin(), l.end(), line));
}

const std::vector<std::string> kLabels = {"O", "B-PER", "I-PER", "B-LOC", "I-LOC", "B-GPE", "B-ID", "B-DAT"};

// budi and bu ##di: PER; jakarta: GPE; jak ##arta: LOC; ##ga: PER (so
// "kelga" has a person inside a word); kota: ID; halo: DAT; the rest O.
void write_model(const std::filesystem::path& folder) {
  std::vector<size_t> label_of_id(25, 0);
  label_of_id[5] = 1;   // budi
  label_of_id[8] = 5;   // jakarta
  label_of_id[9] = 3;   // jak
  label_of_id[10] = 4;  // ##arta
  label_of_id[13] = 1;  // ##ga
  label_of_id[24] = 6;  // kota
  label_of_id[19] = 7;  // halo
  label_of_id[21] = 1;  // bu
  label_of_id[22] = 2;  // ##di
  inference::testing::write_tiny_model(folder, label_of_id, kLabels, 4.0f);
  inference::testing::write_file(folder / "tokenizer.json", inference::testing::wordpiece_json());
}

const double kConfidence = inference::testing::tiny_model_confidence(kLabels.size(), 4.0f);

double round2(double x) { return std::round(x * 100) / 100; }

Configuration config(const std::string& level = "subword", int64_t chunk = 8192) {
  Configuration c = MERROW_BERT_CONFIGURATION;
  set_config(c, "TOKENIZATION_LEVEL", level);
  set_config(c, "CHUNK_SIZE", chunk);
  return c;
}

struct Found {
  std::string type, text;
  int64_t start, end;
  bool operator==(const Found&) const = default;
  bool operator<(const Found& o) const { return std::tie(start, end, type) < std::tie(o.start, o.end, o.type); }
};

void PrintTo(const Found& f, std::ostream* os) {
  *os << f.type << " '" << f.text << "' " << f.start << "-" << f.end;
}

std::vector<Found> found(const TransformersRecognizer& r, const std::string& input,
                         const std::vector<std::string>& entities = {}) {
  const Utf8Text text(input);
  std::vector<Found> out;
  for (const auto& res : r.analyze(text, entities)) {
    out.push_back({res.entity_type, std::string(text.slice(res.start, res.end)), res.start, res.end});
  }
  std::sort(out.begin(), out.end());
  return out;
}

class TransformersRecognizerTest : public ::testing::Test {
 protected:
  void SetUp() override { write_model(dir_.path()); }
  std::shared_ptr<TransformersRecognizer> loaded(const std::string& level = "subword", int64_t chunk = 8192,
                                                 std::optional<bool> use_optimum = std::nullopt) {
    auto r = std::make_shared<TransformersRecognizer>(dir_.path().string(), nullptr, std::nullopt,
                                                      TokenizationLevel::SUBWORD, use_optimum);
    r->load_transformer(config(level, chunk));
    return r;
  }
  ScratchDir dir_;
};

struct AnalyzeCase {
  std::string name, text;
  std::vector<std::string> entities;
  std::vector<Found> subword, word;
};

TEST_F(TransformersRecognizerTest, AnalyzeBothLevels) {
  const std::vector<AnalyzeCase> cases = {
      {"mapped labels", "Budi tinggal di Jakarta.", {},
       {{"PERSON", "Budi", 0, 4}, {"LOCATION", "Jakarta", 16, 23}},
       {{"PERSON", "Budi", 0, 4}, {"LOCATION", "Jakarta", 16, 23}}},
      {"blanks around the name", "  Budi  ", {}, {{"PERSON", "Budi", 2, 6}}, {{"PERSON", "Budi", 2, 6}}},
      {"a person inside a word: dropped by subword, whole word by word", "kelga", {}, {},
       {{"PERSON", "kelga", 0, 5}}},
      {"unmapped label dropped unless requested", "halo Budi", {}, {{"PERSON", "Budi", 5, 9}},
       {{"PERSON", "Budi", 5, 9}}},
      {"unmapped label requested by its own name", "halo Budi", {"DAT"}, {{"DAT", "halo", 0, 4}},
       {{"DAT", "halo", 0, 4}}},
      {"two names with one blank: merged only on the word level", "Budi Budi", {},
       {{"PERSON", "Budi", 0, 4}, {"PERSON", "Budi", 5, 9}}, {{"PERSON", "Budi Budi", 0, 9}}},
      {"two names with a comma stay apart", "Budi, Budi", {}, {{"PERSON", "Budi", 0, 4}, {"PERSON", "Budi", 6, 10}},
       {{"PERSON", "Budi", 0, 4}, {"PERSON", "Budi", 6, 10}}},
      {"runs of blanks and blank lines", "Budi \n\n\n   tinggal   di\t\tJakarta", {},
       {{"PERSON", "Budi", 0, 4}, {"LOCATION", "Jakarta", 25, 32}},
       {{"PERSON", "Budi", 0, 4}, {"LOCATION", "Jakarta", 25, 32}}},
      {"subword pieces of one name", "Budi bu", {}, {{"PERSON", "Budi", 0, 4}, {"PERSON", "bu", 5, 7}},
       {{"PERSON", "Budi bu", 0, 7}}},
      {"white space only", " \n ", {}, {}, {}},
      {"only requested entities", "Budi tinggal di Jakarta.", {"LOCATION"}, {{"LOCATION", "Jakarta", 16, 23}},
       {{"LOCATION", "Jakarta", 16, 23}}},
  };
  auto subword = loaded("subword");
  auto word = loaded("word");
  for (const AnalyzeCase& c : cases) {
    EXPECT_EQ(found(*subword, c.text, c.entities), c.subword) << "subword: " << c.name;
    EXPECT_EQ(found(*word, c.text, c.entities), c.word) << "word: " << c.name;
  }
}

TEST_F(TransformersRecognizerTest, ScoresExplanationsAndTheIdReduction) {
  auto r = loaded();
  LogCapture log;
  const auto results = r->analyze(Utf8Text("Kota Budi"), {"ID", "PERSON"});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].entity_type, "ID");
  EXPECT_DOUBLE_EQ(results[0].score, round2(kConfidence * 0.5));
  ASSERT_TRUE(results[0].analysis_explanation);
  EXPECT_DOUBLE_EQ(results[0].analysis_explanation->original_score, round2(kConfidence * 0.5));
  EXPECT_EQ(results[0].analysis_explanation->recognizer, "TransformersRecognizer");
  EXPECT_EQ(results[0].analysis_explanation->textual_explanation,
            "Identified as ID by the merrow/VizeVavo-ner-v1.3 NER model");
  EXPECT_EQ(count(log, "INFO:ID entity found, multiplying score by 0.5"), 1u);
  EXPECT_EQ(results[1].entity_type, "PERSON");
  EXPECT_DOUBLE_EQ(results[1].score, round2(kConfidence));
  EXPECT_EQ(results[1].analysis_explanation->pattern, "budi");
  r->analyze(Utf8Text("halo"), {"PERSON"});
  EXPECT_TRUE(has(log, "INFO:Found unrecognized label DAT for halo, returning entity as is"));
}

TEST_F(TransformersRecognizerTest, LongTextsInChunks) {
  // Sentences separated by varying runs of blanks and blank lines, and a
  // name at the very end: every name must be found at its real position.
  const std::vector<std::string> gaps = {" ", "   ", "\n\n", " \n\n\n  ", "\t"};
  std::string text = "  ";
  for (int i = 0; i < 40; ++i) text += "Budi tinggal di Jakarta." + gaps[i % gaps.size()];
  text += "halo kelga di tinggal tinggal di di Budi";
  std::vector<Found> expected;
  for (const std::string name : {"Budi", "Jakarta"}) {
    for (size_t p = text.find(name); p != std::string::npos; p = text.find(name, p + 1)) {
      expected.push_back({name == "Budi" ? "PERSON" : "LOCATION", name, static_cast<int64_t>(p),
                          static_cast<int64_t>(p + name.size())});
    }
  }
  std::sort(expected.begin(), expected.end());
  for (const std::string level : {"subword", "word"}) {
    auto r = loaded(level, /*chunk=*/16);
    ASSERT_TRUE(r->text_chunker()->should_chunk(text));
    std::vector<Found> got = found(*r, text);
    if (level == "word") {
      // The word level also finds the person inside "kelga".
      const int64_t k = static_cast<int64_t>(text.find("kelga"));
      auto it = std::find(got.begin(), got.end(), Found{"PERSON", "kelga", k, k + 5});
      ASSERT_NE(it, got.end());
      got.erase(it);
    }
    EXPECT_EQ(got, expected) << level;
  }
}

TEST_F(TransformersRecognizerTest, NamesAcrossChunkBorders) {
  // No sentence ends: word chunks of at most 6 tokens cut runs of names, and
  // every name is still reported whole, at its place, inside one chunk.
  std::string text;
  for (int i = 0; i < 30; ++i) text += i % 4 == 3 ? "di   " : "Budi  ";
  for (const std::string level : {"subword", "word"}) {
    auto r = loaded(level, /*chunk=*/6);
    const auto got = found(*r, text);
    std::vector<bool> covered(text.size(), false);
    for (const Found& f : got) {
      EXPECT_EQ(f.type, "PERSON");
      std::istringstream words(f.text);
      for (std::string w; words >> w;) EXPECT_EQ(w, "Budi") << f.text;
      for (int64_t i = f.start; i < f.end; ++i) {
        EXPECT_FALSE(covered[i]) << "overlap at " << i;
        covered[i] = true;
      }
    }
    for (size_t p = text.find("Budi"); p != std::string::npos; p = text.find("Budi", p + 1)) {
      for (size_t i = p; i < p + 4; ++i) EXPECT_TRUE(covered[i]) << level << " offset " << i;
    }
  }
}

TEST_F(TransformersRecognizerTest, ComponentCacheAndLocks) {
  LogCapture log;
  auto first = loaded();
  auto second = loaded();
  EXPECT_TRUE(has(log, "INFO:Loading model components for the first time: " + dir_.path().string()));
  EXPECT_TRUE(has(log, "INFO:Loading cached model components for " + dir_.path().string()));
  EXPECT_EQ(first->tokenizer(), second->tokenizer());
  EXPECT_EQ(first->pipeline(), second->pipeline());
  EXPECT_EQ(first->model(), second->model());
  EXPECT_NE(first->model(), nullptr);
  EXPECT_EQ(first->tokenizer_lock(), second->tokenizer_lock());
  EXPECT_EQ(first->tokenizer()->lock(), first->tokenizer_lock());  // guarded once, by the shared lock
  EXPECT_EQ(first->pipeline_lock(), nullptr);
  EXPECT_NE(first->text_chunker(), second->text_chunker());
  EXPECT_EQ(first->tokenizer()->model_max_length(), 8192u);

  auto word = loaded("word");
  EXPECT_NE(word->pipeline(), first->pipeline());
  EXPECT_NE(word->tokenizer(), first->tokenizer());
  EXPECT_EQ(TransformersRecognizer::_generate_cache_key("merrow/VizeVavo-ner-v1.3", "subword", true),
            "transformers_merrow/VizeVavo-ner-v1.3_subword_True");

  // Two threads analyse at once through one cached component set.
  std::string text;
  for (int i = 0; i < 30; ++i) text += "Budi tinggal di Jakarta.  ";
  auto a = loaded("subword", 16);
  auto b = loaded("subword", 16);
  const auto expected = found(*a, text);
  std::vector<std::vector<Found>> got(2);
  std::thread t1([&] { for (int i = 0; i < 5; ++i) got[0] = found(*a, text); });
  std::thread t2([&] { for (int i = 0; i < 5; ++i) got[1] = found(*b, text); });
  t1.join();
  t2.join();
  EXPECT_EQ(got[0], expected);
  EXPECT_EQ(got[1], expected);
}

TEST_F(TransformersRecognizerTest, Configuration) {
  auto r = std::make_shared<TransformersRecognizer>(dir_.path().string(), nullptr, std::nullopt,
                                                    TokenizationLevel::WORD);
  EXPECT_EQ(r->name(), "Transformers model " + dir_.path().string());
  EXPECT_EQ(r->supported_entities().size(), 11u);
  EXPECT_THROW(r->analyze(Utf8Text("Budi"), {}), std::logic_error);
  r->load_transformer(MERROW_BERT_CONFIGURATION);
  EXPECT_EQ(r->tokenization_level(), TokenizationLevel::SUBWORD);  // the configuration decides
  r->load_transformer(config("subword"), TokenizationLevel::WORD);  // the typed level wins
  EXPECT_EQ(r->tokenization_level(), TokenizationLevel::WORD);
  r->load_transformer(MERROW_BERT_CONFIGURATION);
  EXPECT_EQ(r->id_score_reduction(), 0.5);
  EXPECT_EQ(r->ignore_labels(), (std::vector<std::string>{"CRD", "LAW", "O", "PRD", "ORD", "EVT"}));
  EXPECT_EQ(r->chunk_length(), 8192);
  EXPECT_EQ(r->use_optimum(), true);
  EXPECT_EQ(r->optimum_manager(), nullptr);  // neither ONNX Runtime nor MPS here

  // Without an explanation template, loading works and explaining fails.
  Configuration bare = {{"MODEL_TO_PRESIDIO_MAPPING", OrderedMap<std::string>{{"PER", "PERSON"}}}};
  auto plain = std::make_shared<TransformersRecognizer>(dir_.path().string());
  plain->load_transformer(bare);
  EXPECT_EQ(plain->ignore_labels(), std::vector<std::string>{"O"});
  EXPECT_TRUE(plain->analyze(Utf8Text("tinggal di"), {}).empty());
  EXPECT_THROW(plain->analyze(Utf8Text("Budi"), {}), std::logic_error);

  struct Bad {
    std::string key;
    ConfigValue value;
  };
  for (const Bad& bad : std::vector<Bad>{{"TOKENIZATION_LEVEL", std::string("char")},
                                         {"CHUNK_SIZE", int64_t{0}},
                                         {"CHUNK_SIZE", std::string("big")},
                                         {"SUB_WORD_AGGREGATION", std::string("median")}}) {
    auto fresh = std::make_shared<TransformersRecognizer>(dir_.path().string() + "/.");
    Configuration c = MERROW_BERT_CONFIGURATION;
    set_config(c, bad.key, bad.value);
    EXPECT_THROW(fresh->load_transformer(c), std::invalid_argument) << bad.key;
    EXPECT_FALSE(fresh->is_loaded()) << bad.key;
  }
  EXPECT_EQ(parse_tokenization_level("word"), TokenizationLevel::WORD);
}

TEST_F(TransformersRecognizerTest, ModelByHubIdentifierAndMissingModels) {
  ScratchDir cache;
  const auto repo = cache / "models--acme--tiny-ner";
  write_model(repo / "snapshots" / "abc123");
  inference::testing::write_file(repo / "refs" / "main", "abc123");
  const char* old = std::getenv("HF_HUB_CACHE");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("HF_HUB_CACHE", cache.path().c_str(), 1);
  {
    TransformersRecognizer hub("acme/tiny-ner");
    hub.load_transformer(config());
    EXPECT_EQ(found(hub, "Budi"), (std::vector<Found>{{"PERSON", "Budi", 0, 4}}));

    TransformersRecognizer missing("acme/absent-ner");
    EXPECT_THROW(missing.load_transformer(config()), inference::ModelNotFoundError);
    EXPECT_FALSE(missing.is_loaded());
    EXPECT_THROW(missing.load_transformer(config()), inference::ModelNotFoundError);  // nothing was cached

    LogCapture log;
    TransformersRecognizer unnamed;
    EXPECT_THROW(unnamed.load_transformer(config()), inference::ModelNotFoundError);
    EXPECT_TRUE(has(log, "WARNING:Both 'model' and 'model_path' arguments are None. Using default "
                        "model_path=merrow/VizeVavo-ner-v1.3"));
  }
  if (saved) ::setenv("HF_HUB_CACHE", saved->c_str(), 1);
  else ::unsetenv("HF_HUB_CACHE");
}

// A machine where ONNX Runtime (and optionally OpenVINO) exist: their
// loaders run the tiny model natively under the backend's name.
struct FakeMachine : InferenceBackends {
  bool openvino = false;
  std::string standard_device = "cpu";
  bool onnx_available() const override { return true; }
  bool onnx_cuda_available() const override { return false; }
  bool openvino_available() const override { return openvino; }
  bool cuda_available() const override { return false; }
  bool mps_available() const override { return false; }
  std::shared_ptr<const NerPipeline> load_onnx(const PipelineRequest& r, const std::string&,
                                               const std::optional<SessionOptions>&) const override {
    return NativeNerPipeline::load(r.model_path, *r.tokenizer, r.aggregation_strategy, r.ignore_labels, "onnx");
  }
  std::shared_ptr<const NerPipeline> load_openvino(const PipelineRequest& r,
                                                   const std::vector<std::pair<std::string, std::string>>&) const override {
    return NativeNerPipeline::load(r.model_path, *r.tokenizer, r.aggregation_strategy, r.ignore_labels, "openvino");
  }
  std::shared_ptr<const NerPipeline> load_mps(const PipelineRequest&) const override {
    throw std::runtime_error("no MPS");
  }
  std::shared_ptr<const NerPipeline> load_standard(const PipelineRequest& r, const Device&) const override {
    return NativeNerPipeline::load(r.model_path, *r.tokenizer, r.aggregation_strategy, r.ignore_labels,
                                   "transformers", standard_device);
  }
};

TEST_F(TransformersRecognizerTest, PipelineInfoAndSwitchingBackends) {
  {
    LogCapture log;
    auto plain = loaded("subword", 8192, /*use_optimum=*/false);
    EXPECT_EQ(plain->get_pipeline_info(),
              (PipelineInfo{"transformers", std::string("cpu"), {{"fp16", false}, {"onnx_optimization", false}}}));
    EXPECT_FALSE(plain->switch_backend("onnx"));
    EXPECT_TRUE(has(log, "WARNING:Optimum not available, cannot switch backends"));
    TransformersRecognizer unloaded(dir_.path().string());
    EXPECT_EQ(unloaded.get_pipeline_info().backend, "transformers");
  }
  auto machine = std::make_shared<FakeMachine>();
  TransformersRecognizer r(dir_.path().string() + "/./", nullptr, std::nullopt, TokenizationLevel::SUBWORD,
                           std::nullopt, "id", machine);
  r.load_transformer(config());
  ASSERT_NE(r.optimum_manager(), nullptr);
  EXPECT_EQ(r.pipeline()->backend(), "onnx");
  EXPECT_EQ(r.get_pipeline_info(),
            (PipelineInfo{"onnx", std::string("cpu"),
                          {{"fp16", false}, {"quantization", false}, {"onnx_optimization", true}}}));
  LogCapture log;
  EXPECT_TRUE(r.switch_backend("onnx"));
  EXPECT_TRUE(has(log, "INFO:Already using onnx backend"));

  EXPECT_TRUE(r.switch_backend("transformers"));
  EXPECT_TRUE(has(log, "INFO:Successfully switched to transformers backend"));
  EXPECT_EQ(r.pipeline()->backend(), "transformers");
  EXPECT_EQ(r.get_pipeline_info().backend, "transformers");
  EXPECT_EQ(found(r, "Budi"), (std::vector<Found>{{"PERSON", "Budi", 0, 4}}));

  // OpenVINO is not on this machine: the build falls back, so the switch fails and nothing changes.
  const auto before = r.pipeline();
  EXPECT_FALSE(r.switch_backend("openvino"));
  EXPECT_EQ(r.pipeline(), before);
  EXPECT_EQ(r.optimum_manager()->backend(), "transformers");
  bool logged = false;
  for (const auto& line : log.lines()) logged |= line.rfind("ERROR:Failed to switch to openvino backend: ", 0) == 0;
  EXPECT_TRUE(logged);

  // A later recognizer of the same model gets the switched components.
  TransformersRecognizer later(dir_.path().string() + "/./", nullptr, std::nullopt, TokenizationLevel::SUBWORD,
                               std::nullopt, "id", machine);
  later.load_transformer(config());
  EXPECT_EQ(later.pipeline(), r.pipeline());

  // On OpenVINO every model call holds the pipeline lock.
  auto with_openvino = std::make_shared<FakeMachine>();
  with_openvino->openvino = true;
  TransformersRecognizer ov(dir_.path().string() + "/.//", nullptr, std::nullopt, TokenizationLevel::SUBWORD,
                            std::nullopt, "id", with_openvino);
  Configuration c = config();
  set_config(c, "OPTIMUM_BACKEND", std::string("openvino"));
  ov.load_transformer(c);
  EXPECT_NE(ov.pipeline_lock(), nullptr);
  EXPECT_TRUE(has(log, "INFO:OpenVINO backend detected, pipeline lock enabled for thread-safe inference"));
  EXPECT_EQ(found(ov, "Budi"), (std::vector<Found>{{"PERSON", "Budi", 0, 4}}));

  // A pipeline on the MPS device without a manager.
  auto mps = std::make_shared<FakeMachine>();
  mps->standard_device = "mps";
  TransformersRecognizer on_mps(dir_.path().string() + "/.///", nullptr, std::nullopt, TokenizationLevel::SUBWORD,
                                false, "id", mps);
  on_mps.load_transformer(config());
  EXPECT_EQ(on_mps.get_pipeline_info(),
            (PipelineInfo{"mps", std::string("mps"), {{"fp16", false}, {"mps_acceleration", true}}}));
}

TEST(TransformersRecognizerSteps, SpanHelpers) {
  using R = TransformersRecognizer;
  using Bounds = std::pair<std::optional<int64_t>, std::optional<int64_t>>;
  const std::u32string t = U"  Jakarta  ";
  EXPECT_EQ(R::_get_actual_boundaries_without_spaces(t, 0, 11), (Bounds{2, 9}));
  EXPECT_EQ(R::_get_actual_boundaries_without_spaces(t, 0, 2), Bounds{});
  EXPECT_EQ(R::_get_actual_boundaries_without_spaces(t, -1, 3), Bounds{});
  EXPECT_EQ(R::_get_actual_boundaries_without_spaces(t, 3, 12), Bounds{});
  EXPECT_EQ(R::_get_actual_boundaries_without_spaces(t, 4, 4), Bounds{});

  struct Word {
    std::u32string text;
    int64_t start, end;
    bool complete;
  };
  for (const Word& w : std::vector<Word>{{U"Budi pergi", 0, 4, true}, {U"Budiman", 0, 4, false},
                                         {U"aBudi", 1, 5, false}, {U"x_Budi", 2, 6, false},
                                         {U"Budi²", 0, 4, false}, {U"(Budi)", 1, 5, true},
                                         {U"éBudi", 1, 5, false}}) {
    EXPECT_EQ(R::_is_a_complete_word(w.text, w.start, w.end), w.complete);
  }
  EXPECT_THROW(R::_is_a_complete_word(U"abc", 2, 2), std::invalid_argument);
  EXPECT_THROW(R::_is_a_complete_word(U"abc", 0, 4), std::invalid_argument);

  struct Punct {
    std::u32string text;
    int64_t start, end;
    Bounds expected;
  };
  for (const Punct& p : std::vector<Punct>{{U"Hello Jakarta!", 6, 14, {6, 13}},
                                           {U"Visit Microsoft.", 6, 16, {6, 15}},
                                           {U"PT BCA, Jakarta", 0, 7, {0, 6}},
                                           {U"!!!", 0, 3, {}},
                                           {U"a ?!", 0, 4, {0, 2}}}) {
    EXPECT_EQ(R::_strip_trailing_punctuation(p.text, p.start, p.end), p.expected);
  }

  struct Refine {
    std::u32string text;
    int64_t start, end;
    std::vector<PredictionEntity> expected;
  };
  for (const Refine& c : std::vector<Refine>{
           {U"Visit Jakarta, Indonesia!", 6, 14, {{"LOC", "Jakarta", 6, 13, 0.9}}},
           {U"PT Bank BCA.", 0, 12, {{"LOC", "PT Bank BCA", 0, 11, 0.9}}},
           {U"Jakartanya", 0, 7, {}},
       }) {
    EXPECT_EQ(R::_refine_boundaries(c.text, {{"LOC", "?", c.start, c.end, 0.9}}), c.expected);
  }
}

TEST(TransformersRecognizerSteps, MergingAndWordMapping) {
  using R = TransformersRecognizer;
  EXPECT_EQ(R::_merge_adjacent_entities({{"LOC", "Jak", 0, 3, 0.7}, {"LOC", "arta", 3, 7, 0.9}}),
            (std::vector<PredictionEntity>{{"LOC", "Jakarta", 0, 7, 0.9}}));
  EXPECT_EQ(R::_merge_adjacent_entities({{"PER", "A", 0, 1, 0.7}, {"PER", "B", 2, 3, 0.9}}).size(), 2u);
  EXPECT_EQ(R::_merge_adjacent_entities({{"PER", "A", 0, 1, 0.7}, {"LOC", "B", 1, 2, 0.9}}).size(), 2u);
  EXPECT_TRUE(R::_merge_adjacent_entities({}).empty());

  const std::u32string text = U"Budi Santoso, Ani";
  EXPECT_EQ(R::_merge_adjacent_word_entities(
                text, {{"PER", "Santoso", 5, 12, 0.6}, {"PER", "Budi", 0, 4, 0.8}, {"PER", "Ani", 14, 17, 0.9}}),
            (std::vector<PredictionEntity>{{"PER", "Budi Santoso", 0, 12, 0.8}, {"PER", "Ani", 14, 17, 0.9}}));

  auto pred = [](std::string label, size_t start, size_t end, double score) {
    inference::EntityPrediction p;
    p.entity_group = std::move(label);
    p.start = start;
    p.end = end;
    p.score = score;
    return p;
  };
  const std::vector<TextSpan> spans = {{0, 4}, {5, 12}};
  EXPECT_EQ(R::_find_word_for_prediction(pred("PER", 2, 7, 1), spans), 0u);  // 2 and 2: the first word
  EXPECT_EQ(R::_find_word_for_prediction(pred("PER", 3, 9, 1), spans), 1u);
  EXPECT_EQ(R::_find_word_for_prediction(pred("PER", 12, 14, 1), spans), std::nullopt);
  const auto by_word = R::_map_pipeline_results_to_words(
      {pred("B-PER", 0, 4, 0.5), pred("B-LOC", 0, 2, 0.5), pred("I-PER", 5, 8, 0.4), pred("O", 8, 12, 0.9)}, spans);
  EXPECT_EQ(by_word, (std::map<size_t, WordPrediction>{{0, {"B-PER", 0.5}}, {1, {"O", 0.9}}}));
  EXPECT_EQ(R::_convert_word_predictions_to_entities({{0, {"B-PER", 0.5}}, {1, {"I-LOC", 0.7}}},
                                                     {"Budi", "Santoso"}, spans, text),
            (std::vector<PredictionEntity>{{"PER", "Budi", 0, 4, 0.5}, {"LOC", "Santoso", 5, 12, 0.7}}));
  EXPECT_TRUE(R::_convert_word_predictions_to_entities(by_word, {"Budi", "Santoso"}, {{0, 4}, {4, 5}}, text).size() ==
              1u);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
