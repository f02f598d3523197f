// The named-entity model: tagging throughput on one thread over about 1 MB
// of Indonesian and English text (already tokenized, and through the NLP
// engine with tokenizing and lemmas), loading the model file, and building
// an analyzer engine and a whole TextAnalyzer with the model.
//
//   cmake -B build -DTESK_BUILD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
//   ninja -C build ner_bench && build/bench/ner_bench
//   NER_BENCH_MODEL=models/ner_model.bin build/bench/ner_bench   # a model file
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ner/tagger.h"
#include "recognition/simple_nlp_engine.h"
#include "recognition/tokenizer.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

namespace {

using namespace tesk_privacy;

// Chat, letters and news as they come, with names, places and companies.
std::string make_corpus(size_t bytes) {
  static const char* kSentences[] = {
      "Halo, saya Budi Santoso dari Surabaya, kerja di Telkom. ",
      "Pada hari Senin, rapat koordinasi diadakan di kantor cabang Bank Mandiri di Bandung. ",
      "Ibu Siti Rahmawati akan berangkat ke Jakarta bersama tim dari PT Maju Jaya Tbk. ",
      "Menurut Gubernur Jawa Timur, pembangunan jalan tol Malang-Pandaan selesai tahun depan. ",
      "Tolong kirim dokumennya ke pak Dédé Suherman sebelum jam 3 sore ya. ",
      "John Smith moved from London to Singapore to work for Microsoft last year. ",
      "The delegation from the World Bank met officials in Yogyakarta on Tuesday. ",
      "makasih kak, nanti saya kabari lagi kalau sudah sampai di medan. ",
      "Harap hubungi bagian SDM apabila terdapat perbedaan data kependudukan.\n",
  };
  std::mt19937 rng(42);
  std::string text;
  text.reserve(bytes + 128);
  while (text.size() < bytes) text += kSentences[rng() % std::size(kSentences)];
  return text;
}

const std::string& corpus() {
  static const std::string text = make_corpus(1 << 20);
  return text;
}

void BM_TagTokenized(benchmark::State& state) {
  const std::string& text = corpus();
  std::vector<ner::TokenSpan> tokens;
  for (const auto& t : recognition::Tokenizer().tokenize(text)) tokens.push_back({t.byte_start, t.byte_end});
  // NER_BENCH_MODEL=FILE measures a model file instead of the built-in one.
  const char* file = std::getenv("NER_BENCH_MODEL");
  const ner::Tagger tagger(file != nullptr && *file != '\0' ? ner::Model::load(file) : ner::Model::builtin());
  for (auto _ : state) benchmark::DoNotOptimize(tagger.tag(text, tokens, "id"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TagTokenized)->Unit(benchmark::kMillisecond);

void BM_NlpEngineWithEntities(benchmark::State& state) {
  const Utf8Text text(corpus());
  const recognition::SimpleNlpEngine engine;
  for (auto _ : state) benchmark::DoNotOptimize(engine.process_text(text, "id"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
}
BENCHMARK(BM_NlpEngineWithEntities)->Unit(benchmark::kMillisecond);

void BM_LoadModelFile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ner::Model::load(TESK_NER_MODEL_PATH));
}
BENCHMARK(BM_LoadModelFile)->Unit(benchmark::kMillisecond);

void BM_BuildAnalyzer(benchmark::State& state) {
  for (auto _ : state) {
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"en", "id"});
    registry->load_predefined_recognizers(std::vector<std::string>{"en", "id"});
    recognition::AnalyzerEngine engine(registry, std::make_shared<recognition::SimpleNlpEngine>());
    benchmark::DoNotOptimize(engine);
  }
}
BENCHMARK(BM_BuildAnalyzer)->Unit(benchmark::kMillisecond);

// The whole detector: every built-in recognizer for "en" and "id", the NLP
// engine with the model, the context enhancer.
void BM_BuildTextAnalyzer(benchmark::State& state) {
  for (auto _ : state) {
    pii_detector::TextAnalyzer analyzer;
    benchmark::DoNotOptimize(analyzer);
  }
}
BENCHMARK(BM_BuildTextAnalyzer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
