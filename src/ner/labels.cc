#include "ner/labels.h"

#include <array>
#include <utility>

namespace tesk_privacy::ner {

std::string_view entity_type_name(EntityType type) {
  switch (type) {
    case EntityType::kPerson:
      return "PERSON";
    case EntityType::kLocation:
      return "LOCATION";
    case EntityType::kOrganization:
      return "ORGANIZATION";
  }
  return "";
}

std::string label_name(int label) {
  if (label == kOutside) return "O";
  return std::string(is_begin(label) ? "B-" : "I-") + std::string(entity_type_name(label_type(label)));
}

std::optional<EntityType> entity_type_from_tag(std::string_view tag_type) {
  static constexpr std::array<std::pair<std::string_view, EntityType>, 16> kTags = {{
      {"PERSON", EntityType::kPerson},
      {"PER", EntityType::kPerson},
      {"PPL", EntityType::kPerson},
      {"person", EntityType::kPerson},
      {"PLACE", EntityType::kLocation},
      {"PLC", EntityType::kLocation},
      {"LOC", EntityType::kLocation},
      {"GPE", EntityType::kLocation},
      {"location", EntityType::kLocation},
      {"place", EntityType::kLocation},
      {"ORGANISATION", EntityType::kOrganization},
      {"ORGANIZATION", EntityType::kOrganization},
      {"ORG", EntityType::kOrganization},
      {"IND", EntityType::kOrganization},
      {"corporation", EntityType::kOrganization},
      {"organization", EntityType::kOrganization},
  }};
  for (const auto& [name, type] : kTags) {
    if (name == tag_type) return type;
  }
  if (tag_type == "group") return EntityType::kOrganization;
  return std::nullopt;
}

}  // namespace tesk_privacy::ner
