#include "ner/evaluation.h"

#include <algorithm>
#include <vector>

namespace tesk_privacy::ner {

double EntityCounts::precision() const {
  return predicted() == 0 ? 0.0 : static_cast<double>(true_positives) / static_cast<double>(predicted());
}

double EntityCounts::recall() const {
  return gold() == 0 ? 0.0 : static_cast<double>(true_positives) / static_cast<double>(gold());
}

double EntityCounts::f1() const {
  const double p = precision(), r = recall();
  return p + r == 0 ? 0.0 : 2 * p * r / (p + r);
}

EntityCounts& EntityCounts::operator+=(const EntityCounts& o) {
  true_positives += o.true_positives;
  false_positives += o.false_positives;
  false_negatives += o.false_negatives;
  return *this;
}

void Evaluation::add(std::span<const EntitySpan> gold, std::span<const EntitySpan> predicted) {
  std::vector<EntitySpan> g(gold.begin(), gold.end()), p(predicted.begin(), predicted.end());
  std::sort(g.begin(), g.end());
  std::sort(p.begin(), p.end());
  g.erase(std::unique(g.begin(), g.end()), g.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  std::vector<EntitySpan> both;
  std::set_intersection(g.begin(), g.end(), p.begin(), p.end(), std::back_inserter(both));
  for (const EntitySpan& e : both) ++by_type_[static_cast<size_t>(e.type)].true_positives;
  for (const EntitySpan& e : g) ++by_type_[static_cast<size_t>(e.type)].false_negatives;
  for (const EntitySpan& e : p) ++by_type_[static_cast<size_t>(e.type)].false_positives;
  for (const EntitySpan& e : both) {
    --by_type_[static_cast<size_t>(e.type)].false_negatives;
    --by_type_[static_cast<size_t>(e.type)].false_positives;
  }
}

EntityCounts Evaluation::overall() const {
  EntityCounts total;
  for (const EntityCounts& c : by_type_) total += c;
  return total;
}

}  // namespace tesk_privacy::ner
