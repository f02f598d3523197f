// Character-budget splitting: cuts a text into (start, end) spans of code
// points along paragraph ("\n") and blank (" ") boundaries so that each span
// stays within `max_length` characters where the text allows it. Short
// neighbouring paragraphs share a span; a paragraph over the budget is cut
// at its last blank inside each window. Every span refers to real positions
// of the given text, whatever the white space between paragraphs.
//
//   for (auto [start, end] : split_text_by_paragraph(text, 512)) { ... }
//
// TransformersRecognizer offers the same operations as static members.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesk_privacy::pii_detector {

// [start, end) in code points.
using TextSpan = std::pair<size_t, size_t>;

struct Paragraph {
  std::string content;
  size_t start = 0;  // code points of the text given to get_paragraphs
  size_t end = 0;
  bool operator==(const Paragraph&) const = default;
};

// Cuts `text` at blanks into pieces of at most `max_length` characters; a
// piece whose window holds no blank runs on to the next blank (or the end).
// Runs of blanks after a cut are skipped. Spans are shifted by `start_pos`.
std::vector<TextSpan> split_long_text(std::string_view text, size_t start_pos, size_t max_length);

// The maximal runs of characters other than "\n" in `text` with its leading
// and trailing white space left out; positions are those in `text`.
std::vector<Paragraph> get_paragraphs(std::string_view text);

// From paragraph `start_idx` on, the paragraphs that fit in one span of at
// most `max_length` characters of the text: their contents joined by one
// blank, and the index of the first paragraph left over.
std::pair<std::string, size_t> find_combinable_paragraphs(const std::vector<Paragraph>& paragraphs, size_t start_idx,
                                                          size_t max_length);

// The spans of the whole text: combined short paragraphs and the pieces of
// long ones, in text order. Empty for a text of white space only.
std::vector<TextSpan> split_text_by_paragraph(std::string_view text, size_t max_length = 512);

}  // namespace tesk_privacy::pii_detector
