#include "tesk_privacy/pii_detector/text_anonymizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <random>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// A detector that knows a fixed set of names and places (whole words, any
// letter case), so the tests control exactly what is found.
class ListAnalyzer : public BaseTextAnalyzer {
 public:
  ListAnalyzer(std::vector<std::string> people, std::vector<std::string> places) {
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"id"});
    for (auto& [type, terms] : {std::pair{"PERSON", people}, std::pair{"LOCATION", places}}) {
      if (terms.empty()) continue;
      registry->add_recognizer(std::make_shared<recognition::PatternRecognizer>(
          type, std::vector<recognition::Pattern>{}, "id", std::vector<std::string>{}, terms));
    }
    engine_ = std::make_shared<recognition::AnalyzerEngine>(registry, nullptr, std::vector<std::string>{"id"});
  }
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                                     const AnalyzeOptions& options) const override {
    ++calls;
    return engine_->analyze(text, language, options);
  }
  mutable int calls = 0;

 private:
  std::shared_ptr<recognition::AnalyzerEngine> engine_;
};

Pairs pairs(const EntityMapping& m) { return Pairs(m.begin(), m.end()); }

TextAnonymizerOptions with(const std::function<void(TextAnonymizerOptions&)>& set) {
  TextAnonymizerOptions o;
  set(o);
  return o;
}

TEST(TextAnonymizer, PlaceholdersNumberedAndReversible) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi", "Siti"},
                                                 std::vector<std::string>{"Bandung"});
  TextAnonymizer anonymizer(analyzer);
  const std::string text = "Budi dan Siti tinggal di Bandung. Budi suka kopi.";
  const std::string safe = anonymizer.anonymize(text);
  EXPECT_EQ(safe, "<PERSON_1> dan <PERSON_2> tinggal di <LOCATION_1>. <PERSON_1> suka kopi.");
  EXPECT_EQ(anonymizer.deanonymize(safe), text);
  EXPECT_EQ(anonymizer.deanonymize("<person_2> menelepon"), "Siti menelepon");
  EXPECT_EQ(pairs(anonymizer.anonymizer_mapping().at("PERSON")),
            (Pairs{{"Budi", "<PERSON_1>"}, {"Siti", "<PERSON_2>"}}));
}

TEST(TextAnonymizer, StoreCarriesAcrossTextsUntilReset) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi", "Agus"}, std::vector<std::string>{});
  TextAnonymizer anonymizer(analyzer);
  anonymizer.anonymize("Budi datang.");
  // Undetected here, but recorded before: still replaced, in any letter case,
  // yet never inside a longer word.
  auto nobody = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Nobody"}, std::vector<std::string>{});
  TextAnonymizer same_store(nobody, with([&](TextAnonymizerOptions& o) { o.deanonymizer_mapping = DeanonymizerMapping(anonymizer.deanonymizer_mapping()); }));
  EXPECT_EQ(same_store.anonymize("BUDI dan Budiman"), "<PERSON_1> dan Budiman");
  EXPECT_EQ(anonymizer.anonymize("Agus bertemu budi"), "<PERSON_2> bertemu <PERSON_1>");
  anonymizer.reset_deanonymizer_mapping();
  EXPECT_EQ(anonymizer.anonymize("Agus saja"), "<PERSON_1> saja");
  EXPECT_TRUE(anonymizer.deanonymizer_mapping().at("PERSON").size() == 1);
}

// Freeing the rewriting tables between texts (as a service does between a
// session's requests) changes no result: numbering, reuse, longest-first
// rewriting, fake values and restoring go on as if they had been kept.
TEST(TextAnonymizer, ReleasedCachesChangeNoResult) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi", "Budi Santoso", "Siti", "Agus"},
                                                 std::vector<std::string>{"Bandung", "Bandung Barat"});
  const std::vector<std::string> texts = {
      "Budi Santoso dan Siti di Bandung Barat.", "budi, BUDI SANTOSO, Agus; Bandung.", "<PERSON_2> bertemu Agus.",
      "Siti dan Budi pindah ke Bandung Barat.", "", "Tidak ada nama."};
  for (const bool fake : {false, true}) {
    const auto options = with([&](TextAnonymizerOptions& o) {
      o.add_default_faker_operators = fake;
      o.reproducible_fake_values = true;
    });
    TextAnonymizer kept(analyzer, options), released(analyzer, options);
    for (const std::string& text : texts) {
      released.release_caches();
      const std::string out = released.anonymize(text);
      EXPECT_EQ(out, kept.anonymize(text)) << text;
      released.release_caches();
      EXPECT_EQ(released.deanonymize(out), kept.deanonymize(out));
    }
    EXPECT_EQ(released.deanonymizer_mapping(), kept.deanonymizer_mapping());
  }
}

TEST(TextAnonymizer, LongestOriginalFirst) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi Santoso", "Budi"}, std::vector<std::string>{});
  TextAnonymizer anonymizer(analyzer);
  EXPECT_EQ(anonymizer.anonymize("Budi Santoso, panggil saja Budi."), "<PERSON_1>, panggil saja <PERSON_2>.");
}

TEST(TextAnonymizer, ReplacementsAreNeverRewrittenAgain) {
  // A fake value that contains a recorded original must survive intact, and
  // must come back as what it replaced.
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi", "Andi"}, std::vector<std::string>{});
  anonymization::OperatorMap fake{{"PERSON", anonymization::OperatorConfig("custom", {{"lambda", anonymization::CustomFunction(
                                                   [](const std::string& s) { return s == "Budi" ? "Andi Saputra" : "Rudi"; })}})}};
  TextAnonymizer anonymizer(analyzer, with([&](TextAnonymizerOptions& o) { o.operators = fake; }));
  const std::string text = "Budi dan Andi";
  const std::string safe = anonymizer.anonymize(text);
  EXPECT_EQ(safe, "Andi Saputra dan Rudi");
  EXPECT_EQ(anonymizer.deanonymize(safe), text);
}

TEST(TextAnonymizer, ConstructorOptions) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi"}, std::vector<std::string>{});
  anonymization::OperatorMap ops{{"PERSON", anonymization::OperatorConfig("redact")}};
  EXPECT_FALSE(TextAnonymizer(analyzer).skip_format_duplicates());
  EXPECT_FALSE(TextAnonymizer(analyzer, with([&](TextAnonymizerOptions& o) { o.operators = ops; })).skip_format_duplicates());
  EXPECT_TRUE(TextAnonymizer(analyzer, with([&](TextAnonymizerOptions& o) { o.operators = ops; o.skip_format_duplicates = std::nullopt; })).skip_format_duplicates());
  EXPECT_FALSE(TextAnonymizer(analyzer, with([&](TextAnonymizerOptions& o) { o.skip_format_duplicates = std::nullopt; })).skip_format_duplicates());

  TextAnonymizer faked(analyzer, with([&](TextAnonymizerOptions& o) { o.operators = ops; o.add_default_faker_operators = true; }));
  ASSERT_TRUE(faked.operators());
  EXPECT_EQ(faked.operators()->size(), 34u);
  EXPECT_EQ(faked.operators()->at("PERSON").operator_name, "custom");

  TextAnonymizer plain(analyzer);
  plain.remove_all_operators();
  EXPECT_FALSE(plain.operators().has_value());
  plain.add_operators(ops);
  plain.add_operators({{"LOCATION", anonymization::OperatorConfig("keep")}});
  EXPECT_EQ(plain.operators()->size(), 2u);
  plain.remove_all_operators();
  EXPECT_TRUE(plain.operators().has_value() && plain.operators()->empty());
  EXPECT_EQ(plain.anonymize("Budi"), "<PERSON_1>");
}

TEST(TextAnonymizer, FakeValuesAreSeededAndReversible) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi", "Siti"},
                                                 std::vector<std::string>{"Bandung"});
  const std::string text = "Budi dan Siti ke Bandung";
  TextAnonymizer a(analyzer, with([&](TextAnonymizerOptions& o) { o.add_default_faker_operators = true; o.faker_seed = 7; o.faker_locale = "id_ID"; }));
  TextAnonymizer b(analyzer, with([&](TextAnonymizerOptions& o) { o.add_default_faker_operators = true; o.faker_seed = 7; o.faker_locale = "id_ID"; }));
  const std::string safe = a.anonymize(text);
  EXPECT_EQ(safe, b.anonymize(text));
  EXPECT_EQ(safe.find("Budi"), std::string::npos);
  EXPECT_EQ(a.deanonymize(safe), text);
}

TEST(TextAnonymizer, ExecuteAndErrorsLeaveTheStoreAlone) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi"}, std::vector<std::string>{});
  TextAnonymizer anonymizer(analyzer);
  EXPECT_EQ(anonymizer.execute({{"text", std::string("Budi")}}), "<PERSON_1>");
  EXPECT_EQ(anonymizer.execute({{"text", std::string("<PERSON_1>")}, {"operation", std::string("deanonymize")}}), "Budi");
  AnonymizeOptions french;
  french.language = "fr";
  EXPECT_THROW(anonymizer.anonymize("Budi", french), std::invalid_argument);
  EXPECT_THROW(anonymizer.anonymize("Budi \xff"), InvalidUtf8Error);
  EXPECT_EQ(anonymizer.deanonymizer_mapping().at("PERSON").size(), 1u);
}

TEST(TextAnonymizer, RoundTripOnGeneratedTexts) {
  const std::vector<std::string> people = {"Budi", "Siti Rahayu", "Agus", "Dewi Lestari", "Putri"};
  const std::vector<std::string> places = {"Bandung", "Jakarta Selatan", "Surabaya"};
  const std::vector<std::string> filler = {"dan", "ke", "di", "bertemu", "rapat", ",", ".", "besok", "kantor", "\n"};
  auto analyzer = std::make_shared<ListAnalyzer>(people, places);
  std::mt19937 rng(1);
  TextAnonymizer anonymizer(analyzer);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int w = 0; w < 12; ++w) {
      int kind = static_cast<int>(rng() % 4);
      const auto& list = kind == 0 ? people : kind == 1 ? places : filler;
      text += list[rng() % list.size()] + " ";
    }
    const std::string safe = anonymizer.anonymize(text);
    for (const auto& p : people) EXPECT_EQ(safe.find(p), std::string::npos) << safe;
    EXPECT_EQ(anonymizer.deanonymize(safe), text);
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector

namespace tesk_privacy::pii_detector {
namespace {

TEST(TextAnonymizerIntegrity, PlaceholdersCannotBeConfused) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi Santoso", "Andi Wijaya"},
                                                 std::vector<std::string>{});
  // A store whose <PERSON_1> was removed: the next person goes above <PERSON_2>.
  TextAnonymizer edited(analyzer, with([](TextAnonymizerOptions& o) {
                          o.deanonymizer_mapping = DeanonymizerMapping(MappingDataType{{"PERSON", {{"<PERSON_2>", "Andi Wijaya"}}}});
                        }));
  EXPECT_EQ(edited.anonymize("Budi Santoso datang"), "<PERSON_3> datang");
  EXPECT_EQ(edited.deanonymize("<PERSON_2>, <PERSON_3>"), "Andi Wijaya, Budi Santoso");

  // Placeholder-shaped text in the document keeps its number for itself.
  TextAnonymizer fresh(analyzer);
  const std::string text = "Kode <PERSON_1> dikirim ke Budi Santoso";
  const std::string safe = fresh.anonymize(text);
  EXPECT_EQ(safe, "Kode <PERSON_1> dikirim ke <PERSON_2>");
  EXPECT_EQ(fresh.deanonymize(safe), text);
  // In a later text, a literal placeholder the store already holds is
  // replaced like PII, so it comes back as itself, not as the person.
  const std::string later = "Sebut <PERSON_2> atau <PERSON_1>, jangan Budi Santoso";
  const std::string later_safe = fresh.anonymize(later);
  EXPECT_EQ(later_safe, "Sebut <PERSON_3> atau <PERSON_1>, jangan <PERSON_2>");
  EXPECT_EQ(fresh.deanonymize(later_safe), later);
}

// Reports the same results for every text.
class FixedAnalyzer : public BaseTextAnalyzer {
 public:
  explicit FixedAnalyzer(std::vector<recognition::RecognizerResult> results) : results_(std::move(results)) {}
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text&, const std::string&,
                                                     const AnalyzeOptions&) const override {
    return results_;
  }

 private:
  std::vector<recognition::RecognizerResult> results_;
};

TEST(TextAnonymizerIntegrity, SpansCutByAnotherTypeAreRecordedAsReplaced) {
  // PROJECT outscores the ORGANIZATION it overlaps: the organization keeps
  // "JAM", which is what gets recorded and replaced; nothing stays in clear.
  const std::string text = "grup musik JAM Project bersama Mizuki";
  auto analyzer = std::make_shared<FixedAnalyzer>(std::vector<recognition::RecognizerResult>{
      {"ORGANIZATION", 11, 22, 0.88}, {"PROJECT", 15, 30, 0.95}, {"PERSON", 31, 37, 0.8}});
  TextAnonymizer anonymizer(analyzer);
  const std::string safe = anonymizer.anonymize(text);
  EXPECT_EQ(safe, "grup musik <ORGANIZATION_1> <PROJECT_1> <PERSON_1>");
  EXPECT_EQ(anonymizer.deanonymizer_mapping().at("ORGANIZATION").at("<ORGANIZATION_1>"), "JAM");
  EXPECT_EQ(anonymizer.deanonymize(safe), text);
}

TEST(TextAnonymizerIntegrity, PlaceholderWithLettersGluedIsRestored) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{}, std::vector<std::string>{});
  TextAnonymizer anonymizer(analyzer, with([](TextAnonymizerOptions& o) {
                              o.deanonymizer_mapping = DeanonymizerMapping(MappingDataType{{"MONEY", {{"<MONEY_1>", "Rp 500.000"}}}});
                            }));
  EXPECT_EQ(anonymizer.deanonymize("<MONEY_1>an dan x<MONEY_1>"), "Rp 500.000an dan xRp 500.000");
  // A name still needs a whole word.
  TextAnonymizer names(std::make_shared<ListAnalyzer>(std::vector<std::string>{}, std::vector<std::string>{}),
                       with([](TextAnonymizerOptions& o) {
                         o.deanonymizer_mapping = DeanonymizerMapping(MappingDataType{{"PERSON", {{"Andre", "Budi"}}}});
                       }));
  EXPECT_EQ(names.deanonymize("Andre dan Andreas"), "Budi dan Andreas");
}

TEST(TextAnonymizerIntegrity, FakeValuesNeverStandForTwoOriginals) {
  // More places than the locale has fake cities: every original must still
  // get its own value and come back.
  std::vector<std::string> places;
  for (int i = 0; i < 600; ++i) places.push_back("Kampung" + std::string(1, static_cast<char>('A' + i % 26)) +
                                                std::to_string(i));
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{}, places);
  TextAnonymizer anonymizer(analyzer, with([](TextAnonymizerOptions& o) {
                              o.add_default_faker_operators = true;
                              o.faker_locale = "id_ID";
                            }));
  std::set<std::string> fakes;
  for (const std::string& place : places) {
    const std::string text = "Saya dari " + place + ".";
    const std::string safe = anonymizer.anonymize(text);
    EXPECT_EQ(anonymizer.deanonymize(safe), text);
  }
  const MappingDataType stored = anonymizer.deanonymizer_mapping();
  for (const auto& [fake, original] : stored.at("LOCATION")) {
    EXPECT_TRUE(fakes.insert(fake).second) << fake;
    EXPECT_EQ(std::find(places.begin(), places.end(), fake), places.end());
  }
  EXPECT_EQ(fakes.size(), places.size());
}

TEST(TextAnonymizerIntegrity, EntriesRecordedElsewhereJoinAsTheyAre) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi Santoso", "Andi Wijaya", "Siti"},
                                                 std::vector<std::string>{});
  TextAnonymizer here(analyzer), elsewhere(analyzer);
  EXPECT_EQ(here.anonymize("Siti datang"), "<PERSON_1> datang");
  // Another process numbered its own people; their keys stay as they are.
  elsewhere.anonymize("Budi Santoso dan Andi Wijaya");
  here.append_entries(MappingDataType{{"PERSON", {{"<PERSON_7>", "Budi Santoso"}, {"<PERSON_8>", "Andi Wijaya"}}}});
  EXPECT_EQ(here.anonymize("Andi Wijaya, Siti dan Budi Santoso"), "<PERSON_8>, <PERSON_1> dan <PERSON_7>");
  EXPECT_EQ(here.anonymize("Siti lagi"), "<PERSON_1> lagi");
  EXPECT_EQ(here.deanonymize("<PERSON_7> <PERSON_8> <PERSON_1>"), "Budi Santoso Andi Wijaya Siti");
  // A new person takes a number above every one in use.
  auto more = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Joko"}, std::vector<std::string>{});
  TextAnonymizer same(more, with([&](TextAnonymizerOptions& o) { o.deanonymizer_mapping = DeanonymizerMapping(here.deanonymizer_mapping()); }));
  here.append_entries(MappingDataType{{"PERSON", {{"<PERSON_9>", "Joko"}}}});
  EXPECT_EQ(here.anonymize("Joko"), "<PERSON_9>");
  EXPECT_EQ(same.anonymize("Joko"), "<PERSON_9>");
  // A range of numbers reserved for this writer starts where it was given.
  TextAnonymizer reserved(analyzer);
  reserved.reserve_placeholder_numbers("PERSON", 20);
  EXPECT_EQ(reserved.anonymize("Siti dan Andi Wijaya"), "<PERSON_20> dan <PERSON_21>");
}

TEST(TextAnonymizerIntegrity, RedactedAndKeptSpansAreNotRecorded) {
  auto analyzer = std::make_shared<ListAnalyzer>(std::vector<std::string>{"Budi Santoso"},
                                                 std::vector<std::string>{"Bandung"});
  TextAnonymizer anonymizer(analyzer, with([](TextAnonymizerOptions& o) {
                              o.operators = anonymization::OperatorMap{{"PERSON", anonymization::OperatorConfig("redact")},
                                                                       {"LOCATION", anonymization::OperatorConfig("keep")}};
                              o.skip_format_duplicates = false;
                            }));
  // Removed, and nothing in the mapping stands for it (an empty key would
  // make a saved mapping unloadable).
  EXPECT_EQ(anonymizer.anonymize("Budi Santoso di Bandung. Budi Santoso lagi"), " di Bandung.  lagi");
  EXPECT_EQ(anonymizer.deanonymizer_mapping().size(), 0u);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
