// The Indonesian formats on two corpora: messages written by hand and a
// generated set of every format with near misses (make_generated_corpus.py).
// Each identifier must be found as one whole span of its type and leave no
// digit in clear after anonymization; near misses must not be reported.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>

#include "tesk_privacy/pii_detector/format_entities.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::pii_detector {
namespace {

std::shared_ptr<TextAnalyzer> formats_analyzer() {
  static auto analyzer = std::make_shared<TextAnalyzer>(TextAnalyzerOptions{.indonesian_formats = true});
  return analyzer;
}

// Code-point offset of the byte offset `byte` in `s`.
int64_t cp_offset(const std::string& s, size_t byte) { return static_cast<int64_t>(Utf8Text(s.substr(0, byte)).length()); }

struct Figures {
  int identifiers = 0, identifiers_whole = 0, leaked = 0, others = 0, others_whole = 0, negatives = 0,
      negatives_reported = 0;
};

Figures evaluate(const std::string& file) {
  static const std::set<std::string> kIdentifiers = {"ID_KTP",      "FAMILY_CARD_NUMBER", "ID_NPWP",
                                                     "ID_BPJS_NUMBER", "BANK_ACCOUNT",    "CREDIT_CARD",
                                                     "PHONE_NUMBER", "EMAIL_ADDRESS"};
  std::ifstream in(std::string(TESK_TESTS_DIR) + "/pii_detector/formats/data/" + file);
  EXPECT_TRUE(in) << file;
  Figures f;
  for (std::string line; std::getline(in, line);) {
    const auto c = nlohmann::json::parse(line);
    const std::string text = c["text"];
    const auto results = formats_analyzer()->analyze(Utf8Text(text));
    TextAnonymizer anonymizer(formats_analyzer());
    const std::string anonymized = anonymizer.anonymize(text);
    auto found = [&](const std::string& type, int64_t start, int64_t end) {
      for (const auto& r : results) {
        if (r.entity_type == type && r.start == start && r.end == end) return true;
      }
      return false;
    };
    for (const auto& pii : c["pii"]) {
      const std::string type = pii[0], value = pii[1];
      const size_t byte = text.find(value);
      const int64_t start = cp_offset(text, byte), end = cp_offset(text, byte + value.size());
      const bool whole = found(type, start, end);
      if (kIdentifiers.count(type)) {
        ++f.identifiers;
        f.identifiers_whole += whole;
        // No run of three digits of the identifier is left in the output.
        static const std::regex kDigits(R"(\d{3,})");
        bool leak = false;
        for (std::sregex_iterator it(value.begin(), value.end(), kDigits), e; it != e; ++it) {
          leak |= anonymized.find(it->str()) != std::string::npos;
        }
        f.leaked += leak;
        EXPECT_FALSE(leak) << text << " -> " << anonymized;
      } else {
        ++f.others;
        f.others_whole += whole;
      }
      EXPECT_TRUE(whole) << type << " '" << value << "' in: " << text;
    }
    if (c.contains("clear")) {
      for (const std::string value : c["clear"]) {
        const size_t byte = text.find(value);
        const int64_t start = cp_offset(text, byte), end = cp_offset(text, byte + value.size());
        bool reported = false;
        for (const auto& r : results) reported |= r.start < end && start < r.end;
        ++f.negatives;
        f.negatives_reported += reported;
        EXPECT_FALSE(reported) << "'" << value << "' in: " << text;
      }
    }
  }
  std::cout << file << ": identifiers whole " << f.identifiers_whole << "/" << f.identifiers << ", leaked "
            << f.leaked << "; dates, plates, addresses, passports, amounts whole " << f.others_whole << "/"
            << f.others << "; near misses reported " << f.negatives_reported << "/" << f.negatives << "\n";
  return f;
}

TEST(FormatCorpus, HandWrittenMessages) {
  const Figures f = evaluate("messages.jsonl");
  EXPECT_GT(f.identifiers, 20);
  EXPECT_EQ(f.leaked, 0);
}

TEST(FormatCorpus, GeneratedFormatsAndNearMisses) {
  const Figures f = evaluate("generated.jsonl");
  EXPECT_GT(f.identifiers, 500);
  EXPECT_GT(f.negatives, 100);
  EXPECT_EQ(f.leaked, 0);
}

TEST(FormatAnalyzer, DefaultRegistrationsAreUnchanged) {
  TextAnalyzer plain;
  TextAnalyzer formats(TextAnalyzerOptions{.indonesian_formats = true});
  std::set<std::string> plain_names, format_names;
  for (const auto& r : plain.registry().recognizers()) plain_names.insert(r->name());
  for (const auto& r : formats.registry().recognizers()) format_names.insert(r->name());
  EXPECT_FALSE(plain_names.count("IdentifierRecognizer"));
  EXPECT_TRUE(format_names.count("IdentifierRecognizer"));
  EXPECT_EQ(formats.registry().recognizers().size(), plain.registry().recognizers().size() + 11);
  // The plain analyzer still masks only part of a spaced NIK's digits.
  const Utf8Text text("NIK 3171 0112 0590 0001");
  for (const auto& r : plain.analyze(text)) EXPECT_NE(r.entity_type, "ID_KTP");
}

TEST(FormatAnalyzer, SpanTooLongForTheFilterIsAnonymizedAndReported) {
  const std::string text = "email " + std::string(60, 'a') + "@" + std::string(60, 'b') + "." +
                           std::string(20, 'c') + ".co.id ok";
  std::vector<recognition::RecognizerResult> dropped;
  AnalyzeOptions options;
  options.dropped_by_length = &dropped;
  EXPECT_TRUE(formats_analyzer()->analyze(Utf8Text(text), "id", options).empty());
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].entity_type, "EMAIL_ADDRESS");
  TextAnonymizer anonymizer(formats_analyzer());
  EXPECT_EQ(anonymizer.anonymize(text), "email <EMAIL_ADDRESS_1> ok");
  EXPECT_EQ(anonymizer.deanonymize("email <EMAIL_ADDRESS_1> ok"), text);
}

TEST(FormatAnalyzer, NameBesideAnIdentifierKeepsItsWords) {
  struct Case {
    const char* text;
    const char* person;  // expected PERSON span text, or "" for none
  } cases[] = {
      {"Surat untuk Budi Santoso NIK 3171011205900001", "Budi Santoso"},
      {"WA +62-821-3344-5566 ya kak", ""},
      {"Rek BCA 123-456-7890 a.n. Siti Rahayu", "Siti Rahayu"},
  };
  for (const Case& c : cases) {
    const Utf8Text text(c.text);
    std::string person;
    for (const auto& r : formats_analyzer()->analyze(text)) {
      if (r.entity_type == "PERSON") person = std::string(text.slice(r.start, r.end));
    }
    EXPECT_EQ(person, c.person) << c.text;
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
