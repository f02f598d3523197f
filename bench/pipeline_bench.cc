// End-to-end throughput: TextAnalyzer.analyze over short Indonesian messages,
// the latency of one 300-character message, and the anonymize + deanonymize
// round trip through one TextAnonymizer whose store keeps growing.
//
//   build/bench/pipeline_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace {

using namespace tesk_privacy;

const char* kFirst[] = {"Budi", "Siti", "Agus", "Dewi", "Rudi", "Putri", "Andi", "Wati", "Joko", "Rina"};
const char* kLast[] = {"Santoso", "Rahayu", "Wijaya", "Lestari", "Hidayat", "Saputra", "Nugroho", "Kusuma"};

// A customer-support message of about `target` characters with planted PII;
// `serial` makes numbers and names vary from message to message.
std::string message(std::mt19937& rng, size_t target, uint64_t serial) {
  static const char* kFiller[] = {
      "Halo kak, saya mau tanya soal tagihan bulan ini. ",
      "Mohon dibantu ya, sudah dua kali saya hubungi tapi belum ada jawaban. ",
      "Terima kasih atas responnya, saya tunggu kabar selanjutnya. ",
      "Pesanan saya belum sampai padahal sudah lewat seminggu. ",
  };
  std::string m;
  while (m.size() < target) {
    switch (rng() % 6) {
      case 0: m += "NIK saya 31710112059" + std::to_string(10000 + serial % 90000) + ". "; break;
      case 1: m += "Nomor HP 0812-" + std::to_string(1000 + rng() % 9000) + "-" + std::to_string(1000 + serial % 9000) + ". "; break;
      case 2: m += "Nama saya " + std::string(kFirst[rng() % 10]) + " " + kLast[rng() % 8] + std::to_string(serial % 97) + ". "; break;
      case 3: m += "Transfer ke rekening " + std::to_string(1000000000ULL + serial * 7919 % 8999999999ULL) + ". "; break;
      default: m += kFiller[rng() % 4];
    }
  }
  return m;
}

std::vector<std::string> corpus(size_t bytes) {
  std::mt19937 rng(7);
  std::vector<std::string> messages;
  size_t total = 0;
  for (uint64_t i = 0; total < bytes; ++i) {
    messages.push_back(message(rng, 200 + rng() % 1800, i));
    total += messages.back().size();
  }
  return messages;
}

// The built-in set, or (formats) with the recognizers for Indonesian formats.
const pii_detector::TextAnalyzer& analyzer(bool formats = false) {
  static const auto* plain = new pii_detector::TextAnalyzer();
  static const auto* with_formats =
      new pii_detector::TextAnalyzer(pii_detector::TextAnalyzerOptions{.indonesian_formats = true});
  return formats ? *with_formats : *plain;
}

void BM_AnalyzeMessages(benchmark::State& state) {
  const auto messages = corpus(1 << 20);
  size_t bytes = 0;
  for (auto _ : state) {
    for (const auto& m : messages) {
      benchmark::DoNotOptimize(analyzer(state.range(0) != 0).analyze(m));
      bytes += m.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["messages/s"] = benchmark::Counter(static_cast<double>(messages.size()) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalyzeMessages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Analyze300Chars(benchmark::State& state) {
  std::mt19937 rng(3);
  std::string m = message(rng, 300, 1).substr(0, 300);
  while ((static_cast<unsigned char>(m.back()) & 0xC0) == 0x80) m.pop_back();
  for (auto _ : state) benchmark::DoNotOptimize(analyzer(state.range(0) != 0).analyze(m));
}
BENCHMARK(BM_Analyze300Chars)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TextAnalyzerConstruction(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::make_unique<pii_detector::TextAnalyzer>());
}
BENCHMARK(BM_TextAnalyzerConstruction)->Unit(benchmark::kMillisecond);

// Round trip of one message once the store already holds `state.range(0)`
// originals: shows how the cost per message grows with the store.
void BM_RoundTripWithStore(benchmark::State& state) {
  auto shared = std::shared_ptr<const pii_detector::TextAnalyzer>(&analyzer(), [](auto*) {});
  pii_detector::TextAnonymizer anonymizer(shared);
  pii_detector::MappingDataType seed;
  for (int64_t i = 0; i < state.range(0); ++i) seed["PERSON"]["<PERSON_" + std::to_string(i + 1) + ">"] = "Orang" + std::to_string(i);
  pii_detector::TextAnonymizerOptions options;
  options.deanonymizer_mapping = pii_detector::DeanonymizerMapping(seed);
  pii_detector::TextAnonymizer filled(shared, options);
  std::mt19937 rng(5);
  const std::string m = message(rng, 300, 2);
  for (auto _ : state) {
    std::string safe = filled.anonymize(m);
    benchmark::DoNotOptimize(filled.deanonymize(safe));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.size()));
}
BENCHMARK(BM_RoundTripWithStore)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_RoundTripCorpus(benchmark::State& state) {
  const auto messages = corpus(1 << 20);
  size_t bytes = 0;
  size_t stored = 0;
  for (auto _ : state) {
    auto shared = std::shared_ptr<const pii_detector::TextAnalyzer>(&analyzer(), [](auto*) {});
    pii_detector::TextAnonymizer anonymizer(shared);
    for (const auto& m : messages) {
      benchmark::DoNotOptimize(anonymizer.deanonymize(anonymizer.anonymize(m)));
      bytes += m.size();
    }
    stored = 0;
    for (const auto& [type, inner] : anonymizer.deanonymizer_mapping()) stored += inner.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["store_entries"] = static_cast<double>(stored);
}
BENCHMARK(BM_RoundTripCorpus)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
