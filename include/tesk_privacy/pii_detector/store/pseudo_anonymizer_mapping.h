// get_pseudoanonymizer_mapping: one fake-value generator per entity type, to
// replace detected PII by a realistic value of the same kind instead of a
// "<TYPE>" placeholder. Each generator suits a "custom" operator: it ignores
// the original text it receives and returns a new fake value.
//
//   auto table = get_pseudoanonymizer_mapping(42);          // "en_US" data
//   anonymization::OperatorMap operators;
//   for (const auto& [entity_type, generator] : table) {
//     operators[entity_type] = anonymization::OperatorConfig("custom", {{"lambda", generator}});
//   }
//
// The table lists 34 entity types in a fixed order. All its generators share
// one faker::Faker (kept alive by the table) of the given locale, with the
// CompanyProvider and KTPProvider added, seeded once with `seed` (std::nullopt:
// unpredictable). Values therefore depend on the seed and on the order of the
// calls, except the KTP numbers and the legal form of company names, which
// come from the process-wide random source, unless `follow_seed` (then every
// value follows the seed). The shared generator holds
// random state: one table is not to be used from two threads at once.
// Throws std::invalid_argument for an unsupported locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tesk_privacy/anonymization/operator_config.h"

namespace tesk_privacy::pii_detector {

// (entity type, generator) pairs in table order.
using PseudoAnonymizerMapping = std::vector<std::pair<std::string, anonymization::CustomFunction>>;

PseudoAnonymizerMapping get_pseudoanonymizer_mapping(std::optional<uint64_t> seed = std::nullopt,
                                                     const std::string& locale = "en_US", bool follow_seed = false);

}  // namespace tesk_privacy::pii_detector
