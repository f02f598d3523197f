// Sentence: a text handed to a sequence tagger, and the labelled spans the
// tagger attaches to it under a label type ("ner" for named entities).
//
//   flair::Sentence sentence("Budi tinggal di Jakarta");
//   tagger.predict(sentence);
//   for (const flair::Span& span : sentence.get_spans("ner")) {
//     span.tag();                                  // "PER"
//     span.score();                                // 0.98
//     span.start_position, span.end_position;      // code points, end exclusive
//   }
//
// add_span checks what a tagger reports, so that a span never lies outside
// the text, lacks a label, or carries a score outside 0..1. A Sentence is a
// per-call value: a tagger fills it on one thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::flair {

struct Label {
  std::string value;
  double score = 1.0;

  bool operator==(const Label&) const = default;
};

struct Span {
  size_t start_position = 0;  // code points of the sentence's text
  size_t end_position = 0;    // exclusive
  std::string text;           // the covered text
  std::vector<Label> labels;  // the first is the span's own

  // The first label's value and score ("" and 0 without labels).
  const std::string& tag() const;
  double score() const;

  bool operator==(const Span&) const = default;
};

class Sentence {
 public:
  // Throws InvalidUtf8Error (std::invalid_argument) for text that is not UTF-8.
  explicit Sentence(std::string text);

  const std::string& to_original_text() const { return text_.str(); }
  const Utf8Text& text() const { return text_; }
  // Length in code points.
  size_t length() const { return text_.length(); }

  // Attaches the span [start, end) with `labels` under `label_type`. Throws
  // std::invalid_argument for an empty label type, no labels, a label
  // without a value, a score that is not a number in 0..1, or a span that
  // is empty or does not lie inside the text.
  void add_span(const std::string& label_type, size_t start, size_t end, std::vector<Label> labels);
  void add_span(const std::string& label_type, size_t start, size_t end, std::string value, double score = 1.0);

  // The spans of `label_type` by start position, then end position; spans
  // with equal bounds stay in the order they were added.
  const std::vector<Span>& get_spans(std::string_view label_type) const;
  // Label types that have at least one span, in name order.
  std::vector<std::string> label_types() const;
  void remove_labels(std::string_view label_type);

 private:
  Utf8Text text_;
  std::map<std::string, std::vector<Span>, std::less<>> spans_;
};

}  // namespace tesk_privacy::flair
