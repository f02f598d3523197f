// The entity types of the named-entity tagger and the BIO labels it assigns
// to tokens: O (outside), B-TYPE (first token of an entity), I-TYPE (a later
// token of the same entity).
//
//   int label = begin_label(EntityType::kPerson);       // B-PERSON
//   label_name(label) == "B-PERSON";
//   transition_allowed(label, inside_label(EntityType::kLocation)) == false;
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesk_privacy::ner {

enum class EntityType : uint8_t { kPerson = 0, kLocation = 1, kOrganization = 2 };

inline constexpr int kNumEntityTypes = 3;
// O, then B- and I- of each type in the order of EntityType.
inline constexpr int kNumLabels = 1 + 2 * kNumEntityTypes;
inline constexpr int kOutside = 0;

constexpr int begin_label(EntityType t) { return 1 + 2 * static_cast<int>(t); }
constexpr int inside_label(EntityType t) { return 2 + 2 * static_cast<int>(t); }
constexpr bool is_begin(int label) { return label > 0 && label % 2 == 1; }
constexpr bool is_inside(int label) { return label > 0 && label % 2 == 0; }
// The type of a B- or I- label; undefined for O.
constexpr EntityType label_type(int label) { return static_cast<EntityType>((label - 1) / 2); }

// Whether label `to` may follow label `from`: an I- label continues an
// entity of its own type only.
constexpr bool transition_allowed(int from, int to) {
  return !is_inside(to) || (from != kOutside && label_type(from) == label_type(to));
}
// Whether a sentence may start with `label` (not with an I- label).
constexpr bool start_allowed(int label) { return !is_inside(label); }

// "PERSON", "LOCATION", "ORGANIZATION": the entity type names the library reports.
std::string_view entity_type_name(EntityType type);
// "O", "B-PERSON", "I-LOCATION", ...
std::string label_name(int label);

// The entity type that a corpus's tag type (the part after "B-"/"I-") stands
// for: PERSON, PER, PPL, person -> PERSON; PLACE, PLC, LOC, GPE, location ->
// LOCATION; ORGANISATION, ORGANIZATION, ORG, IND, corporation, group ->
// ORGANIZATION; anything else (MISC, EVT, FNB, product, ...) -> none.
std::optional<EntityType> entity_type_from_tag(std::string_view tag_type);

}  // namespace tesk_privacy::ner
