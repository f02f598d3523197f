// Throughput of pattern scanning on one thread: the identity-number
// recognizers, and every recognizer an analysis in "id" runs (the pattern
// recognizers plus the e-mail and phone recognizers), over about 1 MB of mixed
// Indonesian text.
//
//   cmake -B build -DTESK_BUILD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
//   ninja -C build recognizer_bench
//   build/bench/recognizer_bench
//   bench/python_re_baseline.py build/bench/recognizer_bench   # Python's re on the same, and the ratio
//
// With TESK_BENCH_DUMP_DIR set, the program first writes the mixed corpus
// (corpus.txt) and every pattern of the "id" pattern recognizers with its
// flags (patterns.json) there, for the Python baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pii_detector/recognizer/bank_account_number_recognizer.h"
#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/credit_card_recognizer.h"
#include "pii_detector/recognizer/facebook_account_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/linkedin_account_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "pii_detector/recognizer/project_name_recognizer.h"
#include "recognition/predefined/email_recognizer.h"
#include "recognition/predefined/phone_recognizer.h"

namespace {

using namespace tesk_privacy;

// Indonesian prose with a sprinkling of identity numbers, amounts, dates and
// non-ASCII names, so that offsets need conversion as in real text.
const std::vector<const char*> kProse = {
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

// Office prose carrying every other kind of entity the "id" recognizers look
// for, near misses, and more non-ASCII names.
const std::vector<const char*> kMoreEntities = {
    "Silakan hubungi 0812-3456-7890 atau kantor pusat di +62 21 555 1234. ",
    "Transfer ke rekening BCA 1234567890 atas nama PT Maju Jaya Sejahtera. ",
    "Kirim laporan ke budi.santoso@contoh.co.id dan tembusan ke sdm@halvern.id. ",
    "Profil lengkap ada di https://www.linkedin.com/in/budi-santoso dan facebook.com/budi.s. ",
    "Anggaran Project Morvale tahun ini USD 50,000.00 dan biaya tambahan $1,234.56. ",
    "CV Sumber Rejeki menagih invoice nomor 2026/INV/0042 senilai Rp2.750.000. ",
    "Pembayaran dengan kartu kredit 4111 1111 1111 1111 ditolak oleh bank penerbit. ",
    "Tim TRELIS dan tim DORNAK bertemu pukul 14.30 WIB di ruang rapat lantai 3. ",
    "Gaji pokok 7.250.000 ditambah tunjangan transport 850.000 per bulan. ",
    "Çağrı dan Zoë dari kantor Jakarta menelepon nomor 62812345678901 kemarin. ",
    "Dokumen versi 2.3.1 disimpan di folder arsip bersama lampiran 12 halaman. ",
    "Catatan: nomor 081234 tidak lengkap dan 0000 bukan jumlah yang sah.\n",
};

// Sentences drawn at random (fixed seed) from `sentences` up to `bytes`.
std::string corpus_of(const std::vector<const char*>& sentences, size_t bytes) {
  std::mt19937 rng(42);
  std::string text;
  text.reserve(bytes + 128);
  while (text.size() < bytes) {
    text += sentences[rng() % sentences.size()];
    if (rng() % 8 == 0) text += "\n";
  }
  return text;
}

std::string make_corpus(size_t bytes) { return corpus_of(kProse, bytes); }

std::string make_mixed_corpus(size_t bytes) {
  std::vector<const char*> sentences = kProse;
  sentences.insert(sentences.end(), kMoreEntities.begin(), kMoreEntities.end());
  return corpus_of(sentences, bytes);
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

// The recognizers an analysis in "id" runs, as the text analyzer registers
// them: each built-in pattern recognizer, then the framework's e-mail and
// phone recognizers.
std::vector<std::shared_ptr<recognition::EntityRecognizer>> id_recognizers(bool with_phone) {
  using namespace pii_detector;
  std::vector<std::shared_ptr<recognition::EntityRecognizer>> r = {
      std::make_shared<BankAccountNumberRecognizer>("id"),  std::make_shared<BPJSNumberRecognizer>("id"),
      std::make_shared<IndonesianPhoneNumberRecognizer>("id"), std::make_shared<HalvernEmployeeIdRecognizer>("id"),
      std::make_shared<FacebookAccountRecognizer>("id"),    std::make_shared<FamilyCardNumberRecognizer>("id"),
      std::make_shared<KTPRecognizer>("id"),                std::make_shared<LinkedinAccountRecognizer>("id"),
      std::make_shared<MoneyRecognizer>("id"),              std::make_shared<NPWPRecognizer>("id"),
      std::make_shared<OrganizationNameRecognizer>("id"),   std::make_shared<ProjectNameRecognizer>("id"),
      std::make_shared<CreditCardRecognizer>("id"),         std::make_shared<recognition::EmailRecognizer>("id"),
  };
  if (with_phone) r.push_back(std::make_shared<recognition::PhoneRecognizer>("id"));
  return r;
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Writes the corpus and the patterns (deny lists as the recognizer builds
// them) for bench/python_re_baseline.py.
void dump_for_python(const std::string& dir) {
  std::ofstream(dir + "/corpus.txt", std::ios::binary) << make_mixed_corpus(1 << 20);
  std::ofstream json(dir + "/patterns.json", std::ios::binary);
  json << "{\"flags\": " << regex::kDefaultFlags << ", \"phone_regions\": [";
  for (size_t i = 0; i < recognition::PhoneRecognizer::DEFAULT_REGIONS().size(); ++i) {
    json << (i ? ", " : "") << json_string(recognition::PhoneRecognizer::DEFAULT_REGIONS()[i]);
  }
  json << "], \"patterns\": [\n";
  bool first = true;
  auto emit = [&](const std::string& recognizer, const std::string& name, const std::string& pattern) {
    json << (first ? "" : ",\n") << "  {\"recognizer\": " << json_string(recognizer) << ", \"name\": "
         << json_string(name) << ", \"regex\": " << json_string(pattern) << "}";
    first = false;
  };
  for (const auto& r : id_recognizers(false)) {
    const auto& pr = dynamic_cast<const recognition::PatternRecognizer&>(*r);
    for (const auto& p : pr.patterns()) emit(pr.name(), p.name, p.regex);
    if (!pr.deny_list().empty()) {
      std::vector<std::string> terms = pr.deny_list();
      std::stable_sort(terms.begin(), terms.end(),
                       [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
      std::string deny = "(?<!\\w)(?:";
      for (size_t i = 0; i < terms.size(); ++i) deny += (i ? "|" : "") + regex::escape(terms[i]);
      emit(pr.name(), recognition::PatternRecognizer::DENY_LIST_PATTERN_NAME, deny + ")(?!\\w)");
    }
  }
  json << "\n]}\n";
}

void run_recognizers(benchmark::State& state, bool with_phone) {
  const Utf8Text text(make_mixed_corpus(1 << 20));
  const auto recognizers = id_recognizers(with_phone);
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

// The pattern recognizers of "id" and the e-mail recognizer: the set
// python_re_baseline.py runs through Python's re.
void BM_IdPatternRecognizers(benchmark::State& state) { run_recognizers(state, false); }
BENCHMARK(BM_IdPatternRecognizers)->Unit(benchmark::kMillisecond);

// Everything an "id" analysis runs, the libphonenumber-based phone
// recognizer included.
void BM_IdAllRecognizers(benchmark::State& state) { run_recognizers(state, true); }
BENCHMARK(BM_IdAllRecognizers)->Unit(benchmark::kMillisecond);

// Each pattern of the "id" pattern recognizers alone (deny lists aside), to
// set beside the per-pattern figures python_re_baseline.py prints for
// Python; the label names the pattern and its matches.
void BM_IdPattern(benchmark::State& state) {
  const Utf8Text text(make_mixed_corpus(1 << 20));
  std::vector<std::pair<std::string, std::string>> patterns;
  for (const auto& r : id_recognizers(false)) {
    for (const auto& p : dynamic_cast<const recognition::PatternRecognizer&>(*r).patterns()) {
      patterns.emplace_back(p.name, p.regex);
    }
  }
  if (static_cast<size_t>(state.range(0)) >= patterns.size()) {
    state.SkipWithError("no such pattern");
    return;
  }
  const auto& [name, pattern] = patterns[state.range(0)];
  const regex::Regex compiled(pattern, regex::kDefaultFlags);
  size_t found = 0;
  for (auto _ : state) {
    auto spans = compiled.find_spans(text);
    found = spans.size();
    benchmark::DoNotOptimize(spans);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
  state.SetLabel(name + ", " + std::to_string(found) + " matches");
}
BENCHMARK(BM_IdPattern)->DenseRange(0, 21)->Unit(benchmark::kMicrosecond);

void BM_PhoneRecognizer(benchmark::State& state) {
  const Utf8Text text(make_mixed_corpus(1 << 20));
  const recognition::PhoneRecognizer phone("id");
  size_t found = 0;
  for (auto _ : state) {
    auto results = phone.analyze(text, {}, nullptr);
    found += results.size();
    benchmark::DoNotOptimize(results);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size_bytes()));
  state.counters["results_per_pass"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PhoneRecognizer)->Unit(benchmark::kMillisecond);

void BM_Utf8TextIndexing(benchmark::State& state) {
  const std::string corpus = make_corpus(1 << 20);
  for (auto _ : state) {
    Utf8Text text(corpus);
    benchmark::DoNotOptimize(text.length());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.size()));
}
BENCHMARK(BM_Utf8TextIndexing)->Unit(benchmark::kMillisecond);

// One phone recognizer call on a short piece of prose: an identity number,
// a mobile number, an account number, and no digits at all.
void BM_PhonePiece(benchmark::State& state) {
  static const char* kPieces[] = {"NIK saya 3171011205910001. ", "Nomor HP 0812-3667-1001. ",
                                  "Transfer ke rekening 1000007919. ",
                                  "Halo kak, saya mau tanya soal tagihan bulan ini. "};
  const Utf8Text text(kPieces[state.range(0)]);
  const recognition::PhoneRecognizer recognizer;
  for (auto _ : state) benchmark::DoNotOptimize(recognizer.analyze(text, {}, nullptr));
}
BENCHMARK(BM_PhonePiece)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (const char* dir = std::getenv("TESK_BENCH_DUMP_DIR")) dump_for_python(dir);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
