// Several threads share one TextAnalyzer, each with its own TextAnonymizer.
// Run under ThreadSanitizer (-DTESK_TSAN=ON) this checks that analysis keeps
// no unsynchronised shared state; in any build it checks that concurrent
// results equal the results of the same work done on one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::pii_detector {
namespace {

const std::vector<std::string> kTexts = {
    "Surat ini menerangkan bahwa Budi Santoso (NIK 3171011205900001) tinggal di Bandung.",
    "Hubungi Siti di 081234567890 atau siti.aminah@example.co.id, NPWP 01.234.567.8-901.000.",
    "John Smith from PT Maju Jaya paid Rp 5.000.000 to account 1234567890 in Jakarta.",
    "Project Halvern dipimpin oleh Dewi Kusuma; kartu kredit 4111 1111 1111 1111.",
    "Tanggal 12 Januari 2024, Agus menelepon +62 812 3456 7890 dari Surabaya.",
};

struct Work {
  std::vector<std::string> anonymized;
  std::vector<std::string> restored;
};

// One conversation: every text in turn, shifted by `start`, through one
// anonymizer; analyses with several options on the same texts.
Work run(const std::shared_ptr<const TextAnalyzer>& analyzer, size_t start, bool fake, int rounds) {
  TextAnonymizerOptions options;
  options.add_default_faker_operators = fake;
  options.faker_seed = start;
  TextAnonymizer anonymizer(analyzer, options);
  Work w;
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < kTexts.size(); ++i) {
      const std::string& text = kTexts[(i + start) % kTexts.size()];
      AnonymizeOptions a;
      a.language = (i % 2) ? "en" : "id";
      w.anonymized.push_back(anonymizer.anonymize(text, a));
      w.restored.push_back(anonymizer.deanonymize(w.anonymized.back()));
      AnalyzeOptions other_flags;
      other_flags.regex_flags = 8;  // a flag set compiled on first use, under the recognizer's lock
      analyzer->analyze(Utf8Text(text), "id", other_flags);
    }
  }
  return w;
}

TEST(TextAnalyzerThreads, SharedAnalyzerOwnAnonymizers) {
  const auto analyzer = std::make_shared<const TextAnalyzer>();
  constexpr size_t kThreads = 4;
  constexpr int kRounds = 3;
  std::vector<Work> expected;
  for (size_t t = 0; t < kThreads; ++t) expected.push_back(run(analyzer, t, false, kRounds));

  std::vector<Work> placeholders(kThreads), fakes(kThreads);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      placeholders[t] = run(analyzer, t, false, kRounds);
      fakes[t] = run(analyzer, t, true, kRounds);
    });
  }
  for (auto& th : threads) th.join();

  for (size_t t = 0; t < kThreads; ++t) {
    EXPECT_EQ(placeholders[t].anonymized, expected[t].anonymized) << "thread " << t;
    for (size_t i = 0; i < fakes[t].restored.size(); ++i) {
      const std::string& original = kTexts[(i % kTexts.size() + t) % kTexts.size()];
      EXPECT_EQ(placeholders[t].restored[i], original) << "thread " << t;
      EXPECT_EQ(fakes[t].restored[i], original) << "thread " << t << ": " << fakes[t].anonymized[i];
      EXPECT_NE(fakes[t].anonymized[i], original) << "thread " << t;
    }
  }
}

// The batch calls give what successive single calls give, whatever the
// number of threads: same results, same placeholders, same fake values.
TEST(TextAnalyzerThreads, BatchesEqualSuccessiveCalls) {
  const auto analyzer = std::make_shared<const TextAnalyzer>(TextAnalyzerOptions{true});
  std::vector<std::string> texts;
  for (int round = 0; round < 8; ++round) texts.insert(texts.end(), kTexts.begin(), kTexts.end());
  std::vector<std::vector<recognition::RecognizerResult>> one_by_one;
  for (const std::string& text : texts) one_by_one.push_back(analyzer->analyze(Utf8Text(text)));
  EXPECT_EQ(analyzer->analyze_batch(texts, "id", {}, 3), one_by_one);

  for (bool fake : {false, true}) {
    TextAnonymizerOptions options;
    options.add_default_faker_operators = fake;
    options.reproducible_fake_values = true;
    TextAnonymizer sequential(analyzer, options);
    std::vector<std::string> expected;
    for (const std::string& text : texts) expected.push_back(sequential.anonymize(text));
    for (size_t threads : {1, 3}) {
      TextAnonymizer batched(analyzer, options);
      EXPECT_EQ(batched.anonymize_batch(texts, {}, threads), expected) << threads << " threads, fake " << fake;
      EXPECT_EQ(batched.deanonymizer_mapping(), sequential.deanonymizer_mapping());
    }
  }
}

// A long text analyzed in windows gives the spans of whole-text analysis for
// the recognizers that look only near a span; the named-entity tagger also
// weighs what it saw elsewhere in the text, so it is left out here.
TEST(TextAnalyzerWindows, EqualWholeTextAnalysisOfLocalRecognizers) {
  std::string long_text;
  for (int round = 0; long_text.size() < 200000; ++round) {
    long_text += kTexts[round % kTexts.size()] + " Kode " + std::to_string(round) + ".\n";
  }
  const TextAnalyzer whole(TextAnalyzerOptions{.indonesian_formats = true});
  const TextAnalyzer windowed(TextAnalyzerOptions{.indonesian_formats = true, .window_chars = 16384});
  AnalyzeOptions options;
  options.entities = std::vector<std::string>{"PHONE_NUMBER", "EMAIL_ADDRESS", "ID_KTP", "CREDIT_CARD", "NPWP",
                                              "BANK_ACCOUNT", "DATE_TIME", "MONEY"};
  auto sorted = [](std::vector<recognition::RecognizerResult> r) {
    std::sort(r.begin(), r.end(), [](const auto& a, const auto& b) {
      return std::tie(a.start, a.end, a.entity_type) < std::tie(b.start, b.end, b.entity_type);
    });
    return r;
  };
  const Utf8Text text(long_text);
  const auto expected = sorted(whole.analyze(text, "id", options));
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_EQ(sorted(windowed.analyze(text, "id", options)), expected);
  // Window by window: the windows come in order, each after the last.
  std::vector<recognition::RecognizerResult> by_window;
  int windows = 0;
  windowed.analyze_each_window(text, "id", options, [&](std::vector<recognition::RecognizerResult>& found) {
    ++windows;
    for (const auto& r : sorted(found)) {
      if (!by_window.empty()) {
        EXPECT_GE(r.start, by_window.back().start);
      }
      by_window.push_back(r);
    }
  });
  EXPECT_GT(windows, 10);
  EXPECT_EQ(by_window, expected);
  // Short texts are not windowed at all.
  EXPECT_EQ(windowed.analyze(Utf8Text(kTexts[0])), whole.analyze(Utf8Text(kTexts[0])));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
