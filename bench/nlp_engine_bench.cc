// Throughput of the NLP engine: tokenizing, and tokenizing with lemmas and
// keywords, over about 1 MB of mixed Indonesian and English text on one
// thread; and the context enhancer over the detections of such a text.
//
//   cmake -B build -DTESK_BUILD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
//   ninja -C build nlp_engine_bench && build/bench/nlp_engine_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pii_detector/custom_lemma_context_aware_enhancer.h"
#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "recognition/simple_nlp_engine.h"
#include "recognition/tokenizer.h"

namespace {

using namespace tesk_privacy;

// Letters and notes as an Indonesian office writes them, with English
// sentences, addresses, amounts, abbreviations and non-ASCII names mixed in.
std::string make_corpus(size_t bytes) {
  static const char* kSentences[] = {
      "Pada hari Senin, rapat koordinasi diadakan di kantor cabang Surabaya. ",
      "Pegawai dengan NIK 3171011205900001 telah menyerahkan berkasnya secara lengkap. ",
      "Nomor NPWP perusahaan adalah 01.234.567.8-901.000 sesuai dokumen pajak. ",
      "Peserta BPJS Kesehatan nomor 0001234567890 mengajukan klaim rawat inap. ",
      "Total tagihan sebesar Rp 1.500.000,00 jatuh tempo pada 15/12/2026 pukul 10:30. ",
      "Bu Ni Luh Putu Ayu dan Pak Dédé Suherman hadir mewakili divisi keuangan. ",
      "Lokasi proyek berada di Jl. Merdeka No. 45, Kelurahan Cikini, Jakarta Pusat. ",
      "Hubungi Sdr. Budi di +62 812-3456-7890 atau budi.santoso@example.co.id. ",
      "The accounts were reviewed by Mr. Smith's team, who didn't find any issues. ",
      "Please send the invoices to https://www.example.com/billing?id=42 before Friday. ",
      "Apakah rekeningmu sudah terdaftar di PT. Maju Jaya Tbk.? Silakan cek bukunya. ",
  };
  std::mt19937 rng(42);
  std::string text;
  text.reserve(bytes + 128);
  while (text.size() < bytes) {
    text += kSentences[rng() % std::size(kSentences)];
    if (rng() % 8 == 0) text += "\n";
  }
  return text;
}

void BM_Tokenize(benchmark::State& state) {
  const Utf8Text text(make_corpus(1 << 20));
  const recognition::Tokenizer tokenizer;
  size_t tokens = 0;
  for (auto _ : state) {
    auto t = tokenizer.tokenize(text.view());
    tokens = t.size();
    benchmark::DoNotOptimize(t);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
  state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_Tokenize)->Unit(benchmark::kMillisecond);

// Tokens, lemmas and keywords: the whole of process_text.
void BM_ProcessText(benchmark::State& state, const char* language) {
  const Utf8Text text(make_corpus(1 << 20));
  const recognition::SimpleNlpEngine engine;
  for (auto _ : state) {
    auto artifacts = engine.process_text(text, language);
    benchmark::DoNotOptimize(artifacts);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
}
BENCHMARK_CAPTURE(BM_ProcessText, id, "id")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProcessText, en, "en")->Unit(benchmark::kMillisecond);

// Every BPJS candidate of the text enhanced from context.
void BM_EnhanceUsingContext(benchmark::State& state) {
  const Utf8Text text(make_corpus(1 << 20));
  const recognition::SimpleNlpEngine engine;
  const auto artifacts = engine.process_text(text, "id");
  const auto recognizer = std::make_shared<pii_detector::BPJSNumberRecognizer>("id");
  auto raw = recognizer->analyze(text, {}, &artifacts);
  const std::vector<std::shared_ptr<recognition::EntityRecognizer>> recognizers = {recognizer};
  const pii_detector::CustomLemmaContextAwareEnhancer enhancer(0.45, 0.46);
  for (auto _ : state) {
    auto results = enhancer.enhance_using_context(text, raw, artifacts, recognizers);
    benchmark::DoNotOptimize(results);
  }
  state.counters["results"] = static_cast<double>(raw.size());
}
BENCHMARK(BM_EnhanceUsingContext)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
