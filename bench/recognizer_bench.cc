// Throughput of pattern scanning: the identity-number recognizers over about
// 1 MB of mixed Indonesian text, on one thread.
//
//   cmake -B build -DTESK_BUILD_BENCHMARKS=ON && ninja -C build recognizer_bench
//   build/bench/recognizer_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/recognizer/bpjs_number_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/family_card_number_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/ktp_recognizer.h"
#include "tesk_privacy/pii_detector/recognizer/npwp_recognizer.h"

namespace {

using namespace tesk_privacy;

// Indonesian prose with a sprinkling of identity numbers, amounts, dates and
// non-ASCII names, so that offsets need conversion as in real text.
std::string make_corpus(size_t bytes) {
  static const char* kSentences[] = {
      "Pada hari Senin, rapat koordinasi diadakan di kantor cabang Surabaya. ",
      "Pegawai dengan NIK 3171011205900001 telah menyerahkan berkas lengkap. ",
      "Nomor NPWP perusahaan adalah 01.234.567.8-901.000 sesuai dokumen pajak. ",
      "Peserta BPJS Kesehatan nomor 0001234567890 mengajukan klaim rawat inap. ",
      "Kartu keluarga 3171010101090005 dilampirkan bersama surat pengantar RT. ",
      "ID karyawan 01234567 tercatat di sistem penggajian bulan Desember. ",
      "Total tagihan sebesar Rp 1.500.000,00 jatuh tempo pada 15/12/2026. ",
      "Bu Ni Luh Putu Ayu dan Pak Dédé Suherman hadir mewakili divisi keuangan. ",
      "Lokasi proyek berada di Jl. Merdeka No. 45, Kelurahan Cikini, Jakarta Pusat. ",
      "Harap hubungi bagian SDM apabila terdapat perbedaan data kependudukan. ",
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

void BM_IdentityRecognizers(benchmark::State& state) {
  const Utf8Text text(make_corpus(1 << 20));
  std::vector<std::unique_ptr<recognition::PatternRecognizer>> recognizers;
  recognizers.push_back(std::make_unique<pii_detector::KTPRecognizer>());
  recognizers.push_back(std::make_unique<pii_detector::NPWPRecognizer>());
  recognizers.push_back(std::make_unique<pii_detector::BPJSNumberRecognizer>());
  recognizers.push_back(std::make_unique<pii_detector::FamilyCardNumberRecognizer>());
  recognizers.push_back(std::make_unique<pii_detector::HalvernEmployeeIdRecognizer>());
  size_t found = 0;
  for (auto _ : state) {
    for (const auto& r : recognizers) {
      auto results = r->analyze(text, {}, nullptr);
      found += results.size();
      benchmark::DoNotOptimize(results);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
  state.counters["results_per_pass"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdentityRecognizers)->Unit(benchmark::kMillisecond);

void BM_Utf8TextIndexing(benchmark::State& state) {
  const std::string corpus = make_corpus(1 << 20);
  for (auto _ : state) {
    Utf8Text text(corpus);
    benchmark::DoNotOptimize(text.length());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.size()));
}
BENCHMARK(BM_Utf8TextIndexing)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
