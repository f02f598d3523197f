// deanonymize(anonymize(t)) == t over generated Indonesian and English texts,
// whenever the documented conditions hold; up to letter case otherwise.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/regex/regex.h"
#include "text/case_mapping.h"

namespace tesk_privacy::pii_detector {
namespace {

using Words = std::vector<std::string>;

const Words kGiven = {"Budi", "Siti", "Agus", "Dewi", "Rina", "Andi", "Putri", "John", "Mary", "Robert", "Linda"};
const Words kFamily = {"Santoso", "Wijaya", "Hartono", "Kusuma", "Smith", "Johnson", "Nugroho", "Saputra"};
const Words kPlaces = {"Jakarta", "Bandung", "Surabaya", "Medan", "Yogyakarta", "London", "Singapore"};
const Words kCompanies = {"PT Maju Jaya", "CV Sinar Abadi", "PT Bank Central Asia", "PT Telkom Indonesia"};

struct Language {
  std::string code;
  std::vector<std::string> templates;  // {name} {place} {company} {nik} {phone} {email} {money} {npwp}
};

const std::vector<Language>& languages() {
  static const std::vector<Language> langs = {
      {"id",
       {"Nama saya {name}, NIK {nik}, tinggal di {place}.",
        "Hubungi {name} di nomor {phone} atau surel {email}.",
        "{name} bekerja di {company} sejak 2019 dengan gaji {money} per bulan.",
        "Kemarin {name} dan {name} bertemu di {place} untuk membahas NPWP {npwp}.",
        "Surat ini menerangkan bahwa {name} (NIK: {nik}) adalah karyawan {company}.",
        "Transfer sebesar {money} sudah dikirim oleh {name} ke rekening di {place}."}},
      {"en",
       {"My name is {name} and I live in {place}.",
        "Please call {name} on {phone} or write to {email}.",
        "{name} joined {company} in 2019 and earns {money} a month.",
        "Yesterday {name} met {name} in {place} to discuss tax number {npwp}.",
        "This letter certifies that {name} (ID {nik}) works for {company}.",
        "A payment of {money} was sent by {name} from {place}."}},
  };
  return langs;
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  std::string text(const Language& lang) {
    std::string t = pick(lang.templates);
    for (size_t pos; (pos = t.find('{')) != std::string::npos;) {
      const size_t end = t.find('}', pos);
      t.replace(pos, end - pos + 1, fill(t.substr(pos + 1, end - pos - 1)));
    }
    return t;
  }

 private:
  std::string pick(const Words& w) { return w[std::uniform_int_distribution<size_t>(0, w.size() - 1)(rng_)]; }
  std::string digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(rng_));
    return s;
  }
  std::string fill(const std::string& slot) {
    if (slot == "name") return coin() ? pick(kGiven) : pick(kGiven) + " " + pick(kFamily);
    if (slot == "place") return pick(kPlaces);
    if (slot == "company") return pick(kCompanies);
    if (slot == "nik") return "3171" + digits(2) + "1205900" + digits(3);
    if (slot == "phone") return "0812" + digits(8);
    if (slot == "email") {
      std::string user = pick(kGiven);
      user[0] = static_cast<char>(user[0] - 'A' + 'a');
      return user + "." + digits(3) + "@example.co.id";
    }
    if (slot == "money") return "Rp " + digits(1) + "." + digits(3) + ".000";
    if (slot == "npwp") return digits(2) + "." + digits(3) + "." + digits(3) + ".1-" + digits(3) + ".000";
    return slot;
  }
  bool coin() { return std::uniform_int_distribution<int>(0, 1)(rng_) == 1; }

  std::mt19937 rng_;
};

std::shared_ptr<const TextAnalyzer> shared_analyzer() {
  static const auto analyzer = std::make_shared<const TextAnalyzer>();
  return analyzer;
}

// Whole-word, case-insensitive occurrences of `needle` in `text`.
std::vector<std::string> occurrences(const std::string& needle, const std::string& text) {
  const regex::Regex re("(?<!\\w)" + regex::escape(needle) + "(?!\\w)", regex::IGNORECASE);
  const Utf8Text t(text);
  std::vector<std::string> found;
  for (const auto& m : re.find_all(t)) found.emplace_back(t.view().substr(m.byte_start, m.byte_end - m.byte_start));
  return found;
}

// The conditions of the round-trip guarantee, checked against the store
// after anonymizing `text`: every recorded original occurs in `text` only in
// its recorded letter case, and no anonymized value occurs in `text`.
bool guarantee_applies(const std::string& text, const MappingDataType& store) {
  for (const auto& [type, inner] : store) {
    for (const auto& [anonymized, original] : inner) {
      if (!occurrences(anonymized, text).empty()) return false;
      for (const std::string& seen : occurrences(original, text)) {
        if (seen != original) return false;
      }
    }
  }
  return true;
}

struct Mode {
  std::string name;
  bool fake;
  std::string locale;
};

TEST(RoundTripProperty, GeneratedTextsComeBackUnchanged) {
  const std::vector<Mode> modes = {{"placeholders", false, "en_US"}, {"fake en_US", true, "en_US"},
                                   {"fake id_ID", true, "id_ID"}};
  for (const Mode& mode : modes) {
    for (const Language& lang : languages()) {
      size_t applied = 0, total = 0, replaced = 0;
      for (uint32_t conversation = 0; conversation < 8; ++conversation) {
        Generator gen(conversation * 7919 + static_cast<uint32_t>(lang.code[0]));
        TextAnonymizerOptions options;
        options.add_default_faker_operators = mode.fake;
        options.faker_locale = mode.locale;
        options.faker_seed = conversation;
        TextAnonymizer anonymizer(shared_analyzer(), options);
        // Texts of one conversation share a store, as a caller's would.
        for (int i = 0; i < 12; ++i) {
          std::string text = gen.text(lang);
          if (i % 4 == 3) text += "\n" + gen.text(lang);
          AnonymizeOptions a;
          a.language = lang.code;
          const std::string safe = anonymizer.anonymize(text, a);
          const std::string back = anonymizer.deanonymize(safe);
          const std::string where = mode.name + "/" + lang.code + ": " + text + "\n -> " + safe;
          ++total;
          replaced += safe != text;
          if (guarantee_applies(text, anonymizer.deanonymizer_mapping())) {
            ++applied;
            EXPECT_EQ(back, text) << where;
          } else {
            EXPECT_EQ(to_lower(back), to_lower(text)) << where;
          }
        }
      }
      // The conditions are the common case, and the texts do hold PII.
      EXPECT_GE(applied * 10, total * 8) << mode.name << "/" << lang.code;
      EXPECT_EQ(replaced, total) << mode.name << "/" << lang.code;
    }
  }
}

TEST(RoundTripProperty, OriginalsInOtherLetterCaseComeBackInTheRecordedCase) {
  auto analyzer = shared_analyzer();
  TextAnonymizer anonymizer(analyzer);
  const std::string text = "Budi Santoso tinggal di Jakarta. BUDI SANTOSO pindah ke jakarta.";
  const std::string safe = anonymizer.anonymize(text);
  EXPECT_EQ(safe.find("BUDI"), std::string::npos) << safe;
  EXPECT_FALSE(guarantee_applies(text, anonymizer.deanonymizer_mapping()));
  EXPECT_EQ(anonymizer.deanonymize(safe), "Budi Santoso tinggal di Jakarta. Budi Santoso pindah ke Jakarta.");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
