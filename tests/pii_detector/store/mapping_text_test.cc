#include "pii_detector/store/mapping_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>


namespace tesk_privacy::pii_detector {
namespace {

// nlohmann's own dump(2) of the mapping that append_entries() builds is the
// layout the text must have after any sequence of appends, keys added again
// (with the same or another value), escapes, and types without entries
// included.
std::string reference(const MappingDataType& mapping) {
  if (mapping.empty()) return "{}\n";
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  for (const auto& [type, inner] : mapping) {
    json[type] = nlohmann::ordered_json::object();
    for (const auto& [key, value] : inner) json[type][key] = value;
  }
  return json.dump(2) + "\n";
}

TEST(MappingText, AppendsMatchTheMappingTheyBuild) {
  const std::vector<std::string> keys = {"<PERSON_1>", "<PERSON_2>", "k\"q", "line\nbreak", "P,\n    \"x\": ",
                                         "é"};
  const std::vector<std::string> types = {"PERSON", "LOCATION", "EMPTY"};
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    MappingText text;
    MappingDataType mapping;
    for (int batch = 0, batches = 1 + static_cast<int>(random() % 4); batch < batches; ++batch) {
      MappingDataType added;
      for (int i = 0, n = static_cast<int>(random() % 5); i < n; ++i) {
        const std::string& type = types[random() % types.size()];
        EntityMapping& inner = added[type];
        if (type != "EMPTY") inner[keys[random() % keys.size()]] = "v" + std::to_string(random() % 3) + "\",";
      }
      text.append(added);
      append_entries(mapping, added);
      ASSERT_EQ(text.str(), reference(mapping)) << "round " << round << " batch " << batch;
    }
  }
}

TEST(MappingText, PiecesAreTheText) {
  MappingText text;
  EXPECT_EQ(text.str(), "{}\n");
  text.append(MappingDataType{{"PERSON", {{"<PERSON_1>", "Budi"}}}, {"EMPTY", {}}});
  std::string joined;
  for (std::string_view piece : text.pieces()) joined += piece;
  EXPECT_EQ(joined, text.str());
  EXPECT_EQ(joined, "{\n  \"PERSON\": {\n    \"<PERSON_1>\": \"Budi\"\n  },\n  \"EMPTY\": {}\n}\n");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
