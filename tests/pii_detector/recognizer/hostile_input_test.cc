// Every pattern recognizer and the phone recognizer on input built to hurt:
// very long digit runs, long lines without blanks, a megabyte of prose
// without PII, and texts made of near misses repeated many times. Results
// must stay exact (nothing thrown, nothing invented, nothing lost); timing is
// left to the benchmark.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <tuple>
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
#include "tesk_privacy/recognition/recognizer_registry.h"

namespace tesk_privacy::pii_detector {
namespace {

using recognition::EntityRecognizer;
using recognition::RecognizerResult;

std::vector<std::shared_ptr<EntityRecognizer>> all_recognizers() {
  recognition::RecognizerRegistry registry;
  registry.load_predefined_recognizers();
  std::vector<std::shared_ptr<EntityRecognizer>> all = registry.recognizers();
  all.push_back(std::make_shared<KTPRecognizer>());
  all.push_back(std::make_shared<NPWPRecognizer>());
  all.push_back(std::make_shared<BPJSNumberRecognizer>());
  all.push_back(std::make_shared<FamilyCardNumberRecognizer>());
  all.push_back(std::make_shared<HalvernEmployeeIdRecognizer>());
  all.push_back(std::make_shared<IndonesianPhoneNumberRecognizer>());
  all.push_back(std::make_shared<BankAccountNumberRecognizer>());
  all.push_back(std::make_shared<FacebookAccountRecognizer>());
  all.push_back(std::make_shared<LinkedinAccountRecognizer>());
  all.push_back(std::make_shared<MoneyRecognizer>());
  all.push_back(std::make_shared<OrganizationNameRecognizer>());
  all.push_back(std::make_shared<ProjectNameRecognizer>());
  all.push_back(std::make_shared<CreditCardRecognizer>());
  return all;
}

std::string repeat(const std::string& unit, size_t bytes) {
  std::string out;
  out.reserve(bytes + unit.size());
  while (out.size() < bytes) out += unit;
  return out;
}

struct Found {
  std::string recognizer;
  int64_t start, end;
  double score;
  bool operator==(const Found&) const = default;
};

std::vector<Found> run(const EntityRecognizer& r, const Utf8Text& text) {
  std::vector<Found> out;
  for (const RecognizerResult& res : r.analyze(text, {}, nullptr)) out.push_back({r.name(), res.start, res.end, res.score});
  return out;
}

TEST(HostileInput, MegabyteWithoutPii) {
  const Utf8Text text(repeat(
      "Rapat koordinasi membahas rencana kerja tim pada pekan depan; semua peserta diminta hadir tepat waktu "
      "dan membawa catatan masing-masing. Ringkasan diskusi akan dibagikan lewat surel internal.\n",
      1 << 20));
  for (const auto& r : all_recognizers()) EXPECT_EQ(run(*r, text), std::vector<Found>{}) << r->name();
}

TEST(HostileInput, LongDigitRun) {
  const std::string digits = repeat("3171011205900001", 20'000);  // 320,000 digits
  const Utf8Text text("nomor " + digits + " selesai");
  for (const auto& r : all_recognizers()) {
    std::vector<Found> found = run(*r, text);
    if (r->name() == "MoneyRecognizer") {
      // The bare-amount pattern takes any run of two digits or more, whole.
      ASSERT_EQ(found.size(), 1u);
      EXPECT_EQ(found[0].start, 6);
      EXPECT_EQ(found[0].end, 6 + static_cast<int64_t>(digits.size()));
    } else {
      EXPECT_EQ(found, std::vector<Found>{}) << r->name();
    }
  }
}

TEST(HostileInput, LongLinesWithoutBlanks) {
  const std::vector<std::string> lines = {
      repeat("a", 1 << 18),
      repeat("abc.def-", 1 << 18),            // domain-like, no known top-level label
      repeat("x@", 1 << 18),                  // an at sign after every letter, no domain dot
      repeat("http://", 1 << 18) + " ",       // scheme after scheme
      repeat("1.", 1 << 16),                  // endless dotted numbers
      repeat("::", 1 << 18),                  // colons only
      repeat("PTCV", 1 << 18),                // legal forms with no blank
      repeat("Rp", 1 << 18),                  // currency without amount
  };
  for (const std::string& line : lines) {
    const Utf8Text text(line);
    for (const auto& r : all_recognizers()) {
      std::vector<Found> found;
      ASSERT_NO_THROW(found = run(*r, text)) << r->name() << " on " << line.substr(0, 16);
      if (line.rfind("http://", 0) == 0 && r->name() == "UrlRecognizer") {
        ASSERT_EQ(found.size(), 1u);  // one URL running to the blank
        EXPECT_EQ(found[0].end, static_cast<int64_t>(line.size()) - 1);
      } else if (line.rfind("1.", 0) == 0 && r->name() == "MoneyRecognizer") {
        EXPECT_FALSE(found.empty());  // each "1" is a one-digit amount
      } else {
        EXPECT_EQ(found, std::vector<Found>{}) << r->name() << " on " << line.substr(0, 16);
      }
    }
  }
}

// A text made of one unit repeated, the copies parted by a character no
// pattern matches across, must yield the unit's results once per copy,
// shifted: nothing lost or invented however often the near misses repeat.
TEST(HostileInput, RepeatedNearMissesGiveShiftedResults) {
  const std::vector<std::string> units = {
      "0812-345-67 0812345678901234 +62 11 5555 5555 62-812 Rp Rp. USD,",
      "3171013205900001 31710112059000011 01.234.567.8.901-000 012345678 41111111111111112",
      "PT. Maju pt maju PTMaju facebook.com/ linkedin.com/company/x PELKAS Projectx",
      "budi@localhost a@b.c 256.1.1.1 ::ffff: 12:30:45 www. http:// 31/02/2024 DE89 3704",
      "Rp 0 saja dan USD 1,234.56 serta 5 juta; kartu 4111 1111 1111 1111, PT Maju Jaya, Morvale",
      "Dédé Ünal — 0812 3456 7890 — budi@example.co.id — 17 Agustus 1945 — 2001:db8::1",
  };
  const std::string separator = " \x01 ";  // breaks every pattern, including \s runs
  const auto recognizers = all_recognizers();
  for (const std::string& unit : units) {
    const Utf8Text one(unit + separator);
    const int64_t period = static_cast<int64_t>(one.length());
    constexpr int kCopies = 500;
    const Utf8Text many(repeat(unit + separator, static_cast<size_t>(kCopies) * one.size_bytes()));
    for (const auto& r : recognizers) {
      std::vector<Found> single = run(*r, one);
      std::vector<Found> repeated = run(*r, many);
      ASSERT_EQ(repeated.size(), single.size() * kCopies) << r->name() << " on " << unit;
      // Pattern recognizers report pattern by pattern; compare per copy as sets.
      std::multiset<std::tuple<int64_t, int64_t, double>> expected, got;
      for (int k = 0; k < kCopies; ++k) {
        for (const Found& f : single) expected.insert({f.start + k * period, f.end + k * period, f.score});
      }
      for (const Found& f : repeated) got.insert({f.start, f.end, f.score});
      EXPECT_EQ(got, expected) << r->name() << " on " << unit;
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
