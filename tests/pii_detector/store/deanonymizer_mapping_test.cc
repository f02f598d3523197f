#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tesk_privacy::pii_detector {
namespace {

using recognition::RecognizerResult;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs(const EntityMapping& m) { return Pairs(m.begin(), m.end()); }

TEST(FormatDuplicatedOperator, Table) {
  struct Case {
    std::string name;
    long long count;
    std::string expected;
  };
  const Case cases[] = {
      {"<PERSON>", 2, "<PERSON_2>"},
      {"<PERSON_7>", 3, "<PERSON_3>"},
      {"Budi Santoso", 5, "Budi Santoso"},
      {"agent_12", 4, "agent"},
      {"<PERSON", 2, "PERSON"},
      {"<PER<SON>>", 1, "<PERSON_1>"},
      {"<ID_٣>", 2, "<ID_2>"},  // any Unicode digit is a digit
      {"", 1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(format_duplicated_operator(c.name, c.count), c.expected) << c.name;
}

TEST(DeanonymizerMapping, UpdateNumbersAndSkipsStoredValues) {
  DeanonymizerMapping store;
  store.update({{"PERSON", {{"<PERSON>", "Budi"}, {"<PERSON_2>", "Siti"}}}});
  EXPECT_EQ(pairs(store.data().at("PERSON")), (Pairs{{"<PERSON_1>", "Budi"}, {"<PERSON_2>", "Siti"}}));
  store.update({{"PERSON", {{"<PERSON>", "Agus"}, {"<PERSON_2>", "Budi"}}}});
  EXPECT_EQ(pairs(store.data().at("PERSON")),
            (Pairs{{"<PERSON_1>", "Budi"}, {"<PERSON_2>", "Siti"}, {"<PERSON_3>", "Agus"}}));

  // Fake values count towards the numbering of bracketed ones.
  store.update({{"LOCATION", {{"Bandung Barat", "Cimahi"}, {"<LOCATION>", "Bogor"}}}});
  EXPECT_EQ(pairs(store.data().at("LOCATION")), (Pairs{{"Bandung Barat", "Cimahi"}, {"<LOCATION_2>", "Bogor"}}));
  // ... also when they were stored by an earlier call.
  store.update({{"ORGANIZATION", {{"PT Maju", "PT Sentosa"}}}});
  store.update({{"ORGANIZATION", {{"<ORGANIZATION>", "Bank Jaya"}}}});
  EXPECT_EQ(pairs(store.data().at("ORGANIZATION")),
            (Pairs{{"PT Maju", "PT Sentosa"}, {"<ORGANIZATION_2>", "Bank Jaya"}}));
}

TEST(PlaceholderNumber, Table) {
  const std::tuple<const char*, const char*, long long> cases[] = {
      {"PERSON", "<PERSON_12>", 12}, {"PERSON", "<PERSON_1a>", 0}, {"PERSON", "<PERSON_a1>", 0},
      {"PERSON", "<PERSON_01>", 0},  {"PERSON", "<PERSON_>", 0},    {"PERSON", "<LOCATION_1>", 0},
      {"PERSON", "<PERSON_1", 0},    {"PERSON", "Budi", 0},          {"ID", "<ID_7>", 7},
  };
  for (const auto& [type, key, number] : cases) EXPECT_EQ(placeholder_number(type, key), number) << key;
}

TEST(EntriesBeyond, GivesWhatJoinedAfterTheMark) {
  MappingDataType mapping{{"PERSON", {{"<PERSON_1>", "Budi"}}}, {"LOCATION", {{"<LOCATION_1>", "Bogor"}}}};
  const EntryCounts mark = entry_counts(mapping);
  mapping["PERSON"]["<PERSON_2>"] = "Siti";
  mapping["EMAIL_ADDRESS"]["<EMAIL_ADDRESS_1>"] = "siti@mail.com";
  const MappingDataType added = entries_beyond(mapping, mark);
  ASSERT_EQ(added.size(), 2u);  // LOCATION has nothing new
  EXPECT_EQ(pairs(added.at("PERSON")), (Pairs{{"<PERSON_2>", "Siti"}}));
  EXPECT_EQ(pairs(added.at("EMAIL_ADDRESS")), (Pairs{{"<EMAIL_ADDRESS_1>", "siti@mail.com"}}));
  MappingDataType copy{{"PERSON", {{"<PERSON_1>", "Budi"}}}, {"LOCATION", {{"<LOCATION_1>", "Bogor"}}}};
  append_entries(copy, added);
  EXPECT_EQ(copy, mapping);
}

TEST(DeanonymizerMapping, SkipFormatDuplicatesKeepsKeysAndReplaces) {
  DeanonymizerMapping store(MappingDataType{}, true);
  store.update({{"PERSON", {{"<PERSON>", "Budi"}}}});
  store.update({{"PERSON", {{"<PERSON>", "Siti"}}}});
  EXPECT_EQ(pairs(store.data().at("PERSON")), (Pairs{{"<PERSON>", "Siti"}}));
  // Budi was replaced, so it may be stored again.
  store.update({{"PERSON", {{"Andi", "Budi"}}}});
  EXPECT_EQ(pairs(store.data().at("PERSON")), (Pairs{{"<PERSON>", "Siti"}, {"Andi", "Budi"}}));
}

TEST(DeanonymizerMapping, OneValueUnderTwoTypesIsStoredOnce) {
  DeanonymizerMapping store;
  store.update({{"PERSON", {{"<PERSON>", "Jakarta"}}}, {"LOCATION", {{"<LOCATION>", "Jakarta"}}}});
  MappingDataType data = store.data();
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(pairs(data.at("PERSON")), (Pairs{{"<PERSON_1>", "Jakarta"}}));
  EXPECT_TRUE(data.at("LOCATION").empty());
  // A snapshot is a copy.
  data["PERSON"]["x"] = "y";
  EXPECT_EQ(store.data().at("PERSON").size(), 1u);
  EXPECT_EQ(store, DeanonymizerMapping(store.data()));
  EXPECT_NE(store, DeanonymizerMapping(store.data(), true));
}

anonymization::EngineResult items(std::vector<anonymization::OperatorResult> list) {
  anonymization::EngineResult r;
  r.items = std::move(list);
  return r;
}

TEST(CreateAnonymizerMapping, CaseFoldedOriginalsAndNumberedPlaceholders) {
  Utf8Text text("Budi dan BUDI bertemu Siti");
  std::vector<RecognizerResult> detections = {
      {"PERSON", 22, 26, 0.9}, {"PERSON", 0, 4, 0.9}, {"PERSON", 9, 13, 0.9}};
  auto engine = items({{"PERSON", 0, 8, "<PERSON>", "replace"},
                       {"PERSON", 13, 21, "<PERSON>", "replace"},
                       {"PERSON", 39, 47, "<PERSON>", "replace"}});
  MappingDataType m = create_anonymizer_mapping(text, detections, engine, true);
  EXPECT_EQ(pairs(m.at("PERSON")), (Pairs{{"<PERSON>", "Budi"}, {"<PERSON_2>", "Siti"}}));
  EXPECT_EQ(detections[0].start, 0);  // sorted in place

  std::vector<RecognizerResult> again = {{"PERSON", 0, 4, 0.9}, {"PERSON", 22, 26, 0.9}};
  auto engine2 = items({{"PERSON", 0, 8, "<PERSON>", "replace"}, {"PERSON", 30, 38, "<PERSON>", "replace"}});
  m = create_anonymizer_mapping(text, again, engine2, true, true);
  EXPECT_EQ(pairs(m.at("PERSON")), (Pairs{{"<PERSON>", "Siti"}}));

  m = create_anonymizer_mapping(text, again, engine2, false);
  EXPECT_EQ(pairs(m.at("PERSON")), (Pairs{{"Budi", "<PERSON>"}, {"Siti", "<PERSON_2>"}}));
}

TEST(CreateAnonymizerMapping, SurplusIgnoredAndSpansClipped) {
  Utf8Text text("Budi é");
  std::vector<RecognizerResult> detections = {{"PERSON", 0, 4, 0.9}, {"LOCATION", 5, 99, 0.9}, {"X", 7, 9, 1}};
  auto engine = items({{"PERSON", 0, 8, "<PERSON>", "replace"}, {"LOCATION", 9, 19, "<LOCATION>", "replace"}});
  MappingDataType m = create_anonymizer_mapping(text, detections, engine, true);
  EXPECT_EQ(m.size(), 2u);
  EXPECT_EQ(pairs(m.at("LOCATION")), (Pairs{{"<LOCATION>", "é"}}));
}

TEST(GetDictDiff, ReportsChangedAndMissingEntries) {
  MappingDataType first{{"PERSON", {{"<PERSON_1>", "Budi"}, {"<PERSON_2>", "Siti"}}}};
  EXPECT_TRUE(get_dict_diff(first, first).empty());
  MappingDataType second{{"PERSON", {{"<PERSON_1>", "Budi"}, {"<PERSON_2>", "Sita"}}}};
  auto d = get_dict_diff(first, second);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0], (std::map<std::string, std::string>{
                      {"pii_type", "PERSON"}, {"anonymized_value", "<PERSON_2>"}, {"pii_value", "Sita"}}));

  MappingDataType third{{"LOCATION", {{"<LOCATION_1>", "Bogor"}, {"<LOCATION_2>", ""}}}};
  EXPECT_THROW(get_dict_diff(first, third), std::out_of_range);
  DeanonymizerMapping store(first);
  d = get_dict_diff(store, third);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].at("pii_value"), "Bogor");
  EXPECT_EQ(store.data().size(), 1u);  // reading a diff leaves the store alone
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
