// CompanyProvider and KTPProvider: layout of their values, the gender rule,
// which parts follow the generator's seed, and draws from several threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pii_detector/store/faker_provider/faker_company_provider.h"
#include "pii_detector/store/faker_provider/faker_ktp_provider.h"
#include "tesk_privacy/faker/faker.h"

namespace tesk_privacy::pii_detector {
namespace {

// Checks the fixed fields of a KTP number; returns its day field, or -1.
int ktp_day(const std::string& ktp) {
  static const std::regex layout(R"([1-9]\d{5}(\d{2})(0[1-9]|1[0-2])\d{2}(\d{4}))");
  std::smatch m;
  if (!std::regex_match(ktp, m, layout) || m[3] == "0000") return -1;
  return std::stoi(m[1]);
}

TEST(KTPProvider, DayFieldFollowsExactlyMale) {
  faker::Faker fake;
  KTPProvider& provider = fake.add_provider<KTPProvider>();
  struct Case {
    std::string name;
    std::function<std::string()> draw;
    int low, high;
  };
  const std::vector<Case> cases = {
      {"default", [&] { return provider.ktp(); }, 1, 31},
      {"male", [&] { return provider.ktp("male"); }, 1, 31},
      {"by name", [&] { return fake.call("ktp"); }, 1, 31},
      {"female", [&] { return provider.ktp("female"); }, 41, 71},
      {"MALE", [&] { return provider.ktp("MALE"); }, 41, 71},
      {"Male", [&] { return provider.ktp("Male"); }, 41, 71},
      {"empty", [&] { return provider.ktp(""); }, 41, 71},
  };
  for (const Case& c : cases) {
    std::set<int> days;
    for (int i = 0; i < 3000; ++i) {
      const std::string value = c.draw();
      const int day = ktp_day(value);
      ASSERT_TRUE(day >= c.low && day <= c.high) << c.name << ": " << value;
      days.insert(day);
    }
    EXPECT_EQ(days.size(), 31u) << c.name << ": every day of the range occurs";
  }
}

TEST(CompanyProvider, LegalFormAroundTheGeneratorsName) {
  for (const char* locale : {"en_US", "id_ID"}) {
    faker::Faker fake(locale);
    CompanyProvider& provider = fake.add_provider<CompanyProvider>();
    std::set<std::string> forms;
    for (int i = 0; i < 600; ++i) {
      const std::string value = i % 2 ? provider.custom_company() : fake.call("custom_company");
      const bool tbk = value.size() > 4 && value.ends_with(" Tbk");
      ASSERT_TRUE(value.starts_with("PT ") || value.starts_with("CV ")) << value;
      ASSERT_FALSE(tbk && value.starts_with("CV ")) << value;
      forms.insert(value.substr(0, 3) + (tbk ? "Tbk" : ""));
    }
    EXPECT_EQ(forms, (std::set<std::string>{"PT ", "CV ", "PT Tbk"})) << locale;
  }
}

// Company name without its legal form.
std::string bare_name(std::string company) {
  company.erase(0, 3);
  if (company.ends_with(" Tbk")) company.erase(company.size() - 4);
  return company;
}

TEST(FakerProviders, OnlyTheCompanyNameFollowsTheSeed) {
  std::vector<std::string> names[2], forms[2], ktps[2];
  for (int run = 0; run < 2; ++run) {
    faker::Faker fake;
    fake.add_provider<CompanyProvider>();
    fake.add_provider<KTPProvider>();
    fake.seed_instance(42);
    for (int i = 0; i < 40; ++i) {
      const std::string company = fake.call("custom_company");
      names[run].push_back(bare_name(company));
      forms[run].push_back(company.substr(0, 3) + company.substr(company.size() - 3));
      ktps[run].push_back(fake.call("ktp"));
    }
  }
  EXPECT_EQ(names[0], names[1]);
  EXPECT_NE(forms[0], forms[1]) << "legal forms come from the process-wide source";
  EXPECT_NE(ktps[0], ktps[1]);
}

TEST(FakerProviders, FollowingTheSeedMakesEveryValueRepeat) {
  std::vector<std::string> values[2];
  for (int run = 0; run < 2; ++run) {
    faker::Faker fake;
    fake.add_provider<CompanyProvider>().follow_seed(true);
    fake.add_provider<KTPProvider>().follow_seed(true);
    fake.seed_instance(42);
    for (int i = 0; i < 40; ++i) {
      values[run].push_back(fake.call("custom_company"));
      values[run].push_back(fake.call("ktp"));
    }
  }
  EXPECT_EQ(values[0], values[1]);
  std::set<std::string> forms;
  for (size_t i = 0; i < values[0].size(); i += 2) forms.insert(values[0][i].substr(0, 3));
  EXPECT_EQ(forms, (std::set<std::string>{"CV ", "PT "}));
}

TEST(FakerProviders, ProcessWideSourceServesSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &bad] {
      faker::Faker fake;  // one generator per thread; the source behind KTPs is shared
      KTPProvider& provider = fake.add_provider<KTPProvider>();
      for (int i = 0; i < 5000; ++i) bad[t] += ktp_day(provider.ktp()) < 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(bad, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
