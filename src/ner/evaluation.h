// Evaluation: entity-level precision, recall and F1 with exact matching — a
// predicted entity counts only when a gold entity has the same type and
// exactly the same span.
//
//   Evaluation eval;
//   eval.add(gold_spans, predicted_spans);      // per sentence
//   eval.counts(EntityType::kPerson).f1();
//   eval.overall().f1();
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "ner/corpus.h"
#include "ner/labels.h"

namespace tesk_privacy::ner {

struct EntityCounts {
  size_t true_positives = 0;
  size_t false_positives = 0;
  size_t false_negatives = 0;

  size_t gold() const { return true_positives + false_negatives; }
  size_t predicted() const { return true_positives + false_positives; }
  // 0 when nothing was predicted / nothing was to be found.
  double precision() const;
  double recall() const;
  double f1() const;
  EntityCounts& operator+=(const EntityCounts& o);
};

class Evaluation {
 public:
  // The entities of one text: gold and predicted, in any order.
  void add(std::span<const EntitySpan> gold, std::span<const EntitySpan> predicted);

  const EntityCounts& counts(EntityType type) const { return by_type_[static_cast<size_t>(type)]; }
  // Summed over the types (micro-averaged).
  EntityCounts overall() const;

 private:
  std::array<EntityCounts, kNumEntityTypes> by_type_{};
};

}  // namespace tesk_privacy::ner
