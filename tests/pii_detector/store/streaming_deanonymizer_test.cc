#include "tesk_privacy/pii_detector/store/streaming_deanonymizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/text_anonymizer.h"

namespace tesk_privacy::pii_detector {
namespace {

const DeanonymizerMapping kStore(MappingDataType{
    {"PERSON", {{"<PERSON_1>", "Budi Santoso"}, {"<PERSON_2>", "Siti"}}},
    {"ID_KTP", {{"<ID_KTP_1>", "3171011205900001"}}},
    {"MONEY", {{"<MONEY_1>", "Rp 500.000"}}},
    {"LOCATION", {{"Makassar", "Bandung"}}},  // a fake value
});

struct Nothing : BaseTextAnalyzer {
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text&, const std::string&,
                                                     const AnalyzeOptions&) const override {
    return {};
  }
};

TextAnonymizer with_store() {
  TextAnonymizerOptions options;
  options.deanonymizer_mapping = kStore;
  return TextAnonymizer(std::make_shared<Nothing>(), options);
}

std::string whole(const std::string& text, bool tolerant) {
  StreamingDeanonymizer one(kStore, tolerant);
  std::string out = one.feed(text);
  return out + one.finish();
}

TEST(StreamingDeanonymizer, EveryCutGivesTheWholeAnswer) {
  const std::vector<std::string> texts = {
      "Halo <PERSON_1>, NIK <ID_KTP_1> di Makassar.",
      "<MONEY_1>an untuk <PERSON_2>; Makassarnya <PERSON_1>",
      "Tamu: [person_2] dan < PERSON_1 > — ID_KTP_1 ✓ Makassar",
      "<PERSON_1",
      "ékstra <PERSON_2>é 😀 <PERSON_1>",
  };
  for (bool tolerant : {false, true}) {
    for (const std::string& text : texts) {
      const std::string expected = whole(text, tolerant);
      EXPECT_EQ(expected, with_store().deanonymize(text, tolerant)) << text;
      for (size_t a = 0; a <= text.size(); ++a) {
        for (size_t b = a; b <= text.size(); b += 3) {
          StreamingDeanonymizer stream(kStore, tolerant);
          std::string out = stream.feed(text.substr(0, a));
          out += stream.feed(text.substr(a, b - a));
          out += stream.feed(text.substr(b));
          out += stream.finish();
          ASSERT_EQ(out, expected) << text << " cut at " << a << ", " << b << (tolerant ? " (tolerant)" : "");
        }
      }
    }
  }
  EXPECT_EQ(whole(texts[0], false), "Halo Budi Santoso, NIK 3171011205900001 di Bandung.");
  EXPECT_EQ(whole(texts[1], false), "Rp 500.000an untuk Siti; Makassarnya Budi Santoso");
}

TEST(StreamingDeanonymizer, HoldsBackOnlyWhatCouldStillMatch) {
  StreamingDeanonymizer stream(kStore);
  EXPECT_EQ(stream.feed("Halo <PER"), "Halo ");
  EXPECT_EQ(stream.feed("SON_1> apa kabar"), "Budi Santoso apa kabar");
  EXPECT_EQ(stream.feed(" Makas"), " ");
  EXPECT_EQ(stream.feed("sar."), "Bandung.");
  EXPECT_EQ(stream.feed("\xE2\x9C"), "");  // half a character
  EXPECT_EQ(stream.feed("\x93"), "✓");
  EXPECT_EQ(stream.finish(), "");
  StreamingDeanonymizer broken(kStore);
  broken.feed("ab\xE2");
  EXPECT_THROW(broken.finish(), std::invalid_argument);
  EXPECT_THROW(StreamingDeanonymizer(kStore).feed("a\xFF b"), std::invalid_argument);
}

TEST(TolerantDeanonymize, RestoresRewrittenPlaceholdersThatExistAndNothingElse) {
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"<person_1>", "Budi Santoso"},
      {"[PERSON_1]", "Budi Santoso"},
      {"PERSON_1", "Budi Santoso"},
      {"< PERSON_1 >", "Budi Santoso"},
      {"[ person_2 ]!", "Siti!"},
      {"id_ktp_1", "3171011205900001"},
      {"PERSON_10", "PERSON_10"},        // no such placeholder
      {"SUPERSON_1", "SUPERSON_1"},      // another word
      {"PERSON_1a", "PERSON_1a"},        // glued to a word
      {"xPERSON_1", "xPERSON_1"},
      {"<PERSON_1]", "<PERSON_1]"},      // brackets that do not pair
      {"ORGANIZATION_1", "ORGANIZATION_1"},
      {"PERSON_", "PERSON_"},
  };
  TextAnonymizer anonymizer = with_store();
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(anonymizer.deanonymize(text, true), expected) << text;
    EXPECT_EQ(whole(text, true), expected) << text;
  }
  EXPECT_EQ(anonymizer.deanonymize("[PERSON_1]"), "[PERSON_1]");  // strict by default
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
