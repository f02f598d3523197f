// TransformersRecognizer throughput: analysed characters per second for a
// BERT-base-sized model with random weights (12 layers, hidden size 768,
// 12 heads, intermediate size 3072, 9 labels) on long Indonesian news text
// (sentences of ../shared/data/ner/id/idner-news-2k joined into paragraphs),
// at the subword and the word level, with the default token budget of 8192
// (the pipeline then runs overlapping 512-token windows) and with a budget
// of 512 (the chunker cuts at sentences and each chunk is one model run).
//
// The tokenizer is a WordPiece vocabulary built from the corpus (its
// frequent words whole, the rest spelt in characters), so the token count
// per character is reported too. Run on one core:
//   OPENBLAS_NUM_THREADS=1 taskset -c 1 ./transformers_recognizer_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "bert_tensors.h"
#include "pii_detector/models/transformers_recognizer.h"
#include "tesk_privacy/text/utf8_text.h"

namespace {

using namespace tesk_privacy;
using pii_detector::TransformersRecognizer;

constexpr size_t kHidden = 768, kLayers = 12, kInner = 3072, kPositions = 512;
const std::vector<std::string> kLabels = {"O", "B-PER", "I-PER", "B-LOC", "I-LOC", "B-ORG", "I-ORG", "B-MISC", "I-MISC"};

// Sentences of the corpus, words joined as written text.
std::vector<std::string> sentences() {
  std::ifstream in(std::string(TESK_SHARED_DIR) + "/data/ner/id/idner-news-2k/dev.txt");
  std::vector<std::string> out;
  std::string line, sentence;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      if (!sentence.empty()) out.push_back(sentence);
      sentence.clear();
      continue;
    }
    const std::string word = line.substr(0, line.find(' '));
    const bool attach = word == "," || word == "." || word == ")" || word == ":" || word == ";" || word == "?";
    if (!sentence.empty() && !attach) sentence += ' ';
    sentence += word;
  }
  if (!sentence.empty()) out.push_back(sentence);
  return out;
}

// About `chars` characters: paragraphs of five sentences.
std::string long_text(size_t chars) {
  static const auto all = sentences();
  std::string text;
  for (size_t i = 0; text.size() < chars && !all.empty(); ++i) {
    text += all[i % all.size()];
    text += (i % 5 == 4) ? "\n\n" : " ";
  }
  return text;
}

std::string lower_ascii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// BF16: the upper half of each float, as the weight file stores it.
std::string bf16_bytes(size_t n, std::mt19937& rng, float fill) {
  std::normal_distribution<float> normal(0.0f, 0.02f);
  std::string out(n * 2, '\0');
  for (size_t i = 0; i < n; ++i) {
    const float v = fill >= 0 ? fill : normal(rng);
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    out[2 * i] = static_cast<char>(bits >> 16);
    out[2 * i + 1] = static_cast<char>(bits >> 24);
  }
  return out;
}

// Writes tokenizer.json, config.json and model.safetensors once per process.
const std::filesystem::path& model_folder() {
  static const std::filesystem::path folder = [] {
    const auto dir = std::filesystem::temp_directory_path() / ("tesk-bench-bert-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // Vocabulary: special tokens, every character whole and as "##" piece,
    // then the corpus words seen at least twice.
    std::map<std::string, int> counts;
    std::set<std::string> chars;
    for (const auto& s : sentences()) {
      std::istringstream words(s);
      for (std::string w; words >> w;) {
        const std::string lw = lower_ascii(w);
        ++counts[lw];
        for (size_t pos = 0; pos < lw.size();) {
          const size_t start = pos;
          decode_utf8(lw, pos);
          chars.insert(lw.substr(start, pos - start));
        }
      }
    }
    nlohmann::json vocab = {{"[PAD]", 0}, {"[UNK]", 1}, {"[CLS]", 2}, {"[SEP]", 3}, {"[MASK]", 4}};
    int id = 5;
    for (const auto& c : chars) {
      if (!vocab.contains(c)) vocab[c] = id++;
      vocab["##" + c] = id++;
    }
    for (const auto& [w, n] : counts) {
      if (n >= 2 && !vocab.contains(w)) vocab[w] = id++;
    }
    auto special = [](int i, const char* content) {
      return nlohmann::json{{"id", i}, {"content", content}, {"single_word", false}, {"lstrip", false},
                            {"rstrip", false}, {"normalized", false}, {"special", true}};
    };
    nlohmann::json tokenizer = {
        {"version", "1.0"}, {"truncation", nullptr}, {"padding", nullptr},
        {"added_tokens", {special(0, "[PAD]"), special(1, "[UNK]"), special(2, "[CLS]"), special(3, "[SEP]"),
                          special(4, "[MASK]")}},
        {"normalizer", {{"type", "BertNormalizer"}, {"clean_text", true}, {"handle_chinese_chars", true},
                        {"strip_accents", nullptr}, {"lowercase", true}}},
        {"pre_tokenizer", {{"type", "BertPreTokenizer"}}},
        {"post_processor",
         {{"type", "TemplateProcessing"},
          {"single", {{{"SpecialToken", {{"id", "[CLS]"}, {"type_id", 0}}}},
                      {{"Sequence", {{"id", "A"}, {"type_id", 0}}}},
                      {{"SpecialToken", {{"id", "[SEP]"}, {"type_id", 0}}}}}},
          {"pair", nlohmann::json::array()},
          {"special_tokens", {{"[CLS]", {{"id", "[CLS]"}, {"ids", {2}}, {"tokens", {"[CLS]"}}}},
                              {"[SEP]", {{"id", "[SEP]"}, {"ids", {3}}, {"tokens", {"[SEP]"}}}}}}}},
        {"decoder", {{"type", "WordPiece"}, {"prefix", "##"}, {"cleanup", true}}},
        {"model", {{"type", "WordPiece"}, {"unk_token", "[UNK]"}, {"continuing_subword_prefix", "##"},
                   {"max_input_chars_per_word", 100}, {"vocab", vocab}}}};
    std::ofstream(dir / "tokenizer.json") << tokenizer.dump();

    const size_t v = static_cast<size_t>(id);
    nlohmann::json config = {{"model_type", "bert"}, {"vocab_size", v}, {"hidden_size", kHidden},
                             {"num_hidden_layers", kLayers}, {"num_attention_heads", 12},
                             {"intermediate_size", kInner}, {"hidden_act", "gelu"},
                             {"max_position_embeddings", kPositions}, {"type_vocab_size", 2},
                             {"layer_norm_eps", 1e-12}, {"pad_token_id", 0}};
    for (size_t i = 0; i < kLabels.size(); ++i) config["id2label"][std::to_string(i)] = kLabels[i];
    std::ofstream(dir / "config.json") << config.dump();

    std::mt19937 rng(7);
    nlohmann::json header = nlohmann::json::object();
    std::string data;
    auto add = [&](const std::string& name, std::vector<size_t> shape, float fill = -1) {
      size_t n = 1;
      for (size_t d : shape) n *= d;
      header[name] = {{"dtype", "BF16"}, {"shape", shape}, {"data_offsets", {data.size(), data.size() + 2 * n}}};
      data += bf16_bytes(n, rng, fill);
    };
    for_each_bert_tensor({v, kPositions, kHidden, kInner, kLayers, kLabels.size()}, add);
    const std::string h = header.dump();
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(static_cast<uint64_t>(h.size()) >> (8 * i));
    std::ofstream(dir / "model.safetensors", std::ios::binary) << out << h << data;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                      ("tesk-bench-bert-" + std::to_string(::getpid())),
                                  ec);
    });
    return dir;
  }();
  return folder;
}

// Args: level (0 subword, 1 word), token budget.
void BM_Analyze(benchmark::State& state) {
  const std::string level = state.range(0) ? "word" : "subword";
  pii_detector::Configuration config = pii_detector::MERROW_BERT_CONFIGURATION;
  pii_detector::set_config(config, "TOKENIZATION_LEVEL", level);
  pii_detector::set_config(config, "CHUNK_SIZE", static_cast<int64_t>(state.range(1)));
  TransformersRecognizer recognizer(model_folder().string());
  recognizer.load_transformer(config);
  const Utf8Text text(long_text(4000));
  const size_t tokens = recognizer.tokenizer()->count_tokens(text.view());
  size_t results = 0;
  for (auto _ : state) results = recognizer.analyze(text, {"PERSON", "LOCATION", "ORGANIZATION"}).size();
  state.counters["chars/s"] =
      benchmark::Counter(static_cast<double>(text.length()) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["tokens/s"] =
      benchmark::Counter(static_cast<double>(tokens) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["chars"] = static_cast<double>(text.length());
  state.counters["tokens/char"] = static_cast<double>(tokens) / static_cast<double>(text.length());
  state.counters["results"] = static_cast<double>(results);
}
BENCHMARK(BM_Analyze)
    ->ArgNames({"word", "budget"})
    ->Args({0, 8192})
    ->Args({1, 8192})
    ->Args({0, 512})
    ->Args({1, 512})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
