#include "flair/sentence.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tesk_privacy::flair {

const std::string& Span::tag() const {
  static const std::string kNone;
  return labels.empty() ? kNone : labels.front().value;
}

double Span::score() const { return labels.empty() ? 0.0 : labels.front().score; }

Sentence::Sentence(std::string text) : text_(std::move(text)) {}

void Sentence::add_span(const std::string& label_type, size_t start, size_t end, std::vector<Label> labels) {
  const std::string where = "span [" + std::to_string(start) + ", " + std::to_string(end) + ")";
  if (label_type.empty()) throw std::invalid_argument(where + ": empty label type");
  if (start >= end || end > text_.length()) {
    throw std::invalid_argument(where + " does not lie inside a text of " + std::to_string(text_.length()) +
                                " characters");
  }
  if (labels.empty()) throw std::invalid_argument(where + " has no label");
  for (const Label& label : labels) {
    if (label.value.empty()) throw std::invalid_argument(where + " has a label without a value");
    // Written so that NaN fails as well.
    if (!(label.score >= 0.0 && label.score <= 1.0)) {
      throw std::invalid_argument(where + " label '" + label.value + "' has score " + std::to_string(label.score) +
                                  ", not a number from 0 to 1");
    }
  }
  Span span{start, end, std::string(text_.slice(start, end)), std::move(labels)};
  std::vector<Span>& spans = spans_[label_type];
  auto at = std::upper_bound(spans.begin(), spans.end(), span, [](const Span& a, const Span& b) {
    return a.start_position != b.start_position ? a.start_position < b.start_position
                                                : a.end_position < b.end_position;
  });
  spans.insert(at, std::move(span));
}

void Sentence::add_span(const std::string& label_type, size_t start, size_t end, std::string value, double score) {
  add_span(label_type, start, end, std::vector<Label>{{std::move(value), score}});
}

const std::vector<Span>& Sentence::get_spans(std::string_view label_type) const {
  static const std::vector<Span> kNone;
  auto it = spans_.find(label_type);
  return it == spans_.end() ? kNone : it->second;
}

std::vector<std::string> Sentence::label_types() const {
  std::vector<std::string> out;
  for (const auto& [type, spans] : spans_) {
    if (!spans.empty()) out.push_back(type);
  }
  return out;
}

void Sentence::remove_labels(std::string_view label_type) {
  auto it = spans_.find(label_type);
  if (it != spans_.end()) spans_.erase(it);
}

}  // namespace tesk_privacy::flair
