#include "pii_detector/models/paragraph_splitter.h"

#include "tesk_privacy/text/utf8_text.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
namespace {

std::u32string to_code_points(std::string_view text) {
  check_utf8(text);
  std::u32string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) out.push_back(decode_utf8(text, pos));
  return out;
}

std::string to_utf8(std::u32string_view cps) {
  std::string out;
  for (char32_t c : cps) append_utf8(out, c);
  return out;
}

std::vector<Paragraph> paragraphs_of(const std::u32string& text) {
  size_t first = 0, last = text.size();
  while (first < last && is_py_space(text[first])) ++first;
  while (last > first && is_py_space(text[last - 1])) --last;
  std::vector<Paragraph> out;
  for (size_t i = first; i < last;) {
    if (text[i] == U'\n') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < last && text[j] != U'\n') ++j;
    out.push_back({to_utf8(std::u32string_view(text).substr(i, j - i)), i, j});
    i = j;
  }
  return out;
}

}  // namespace

std::vector<TextSpan> split_long_text(std::string_view text, size_t start_pos, size_t max_length) {
  const std::u32string t = to_code_points(text);
  const size_t n = t.size();
  std::vector<TextSpan> spans;
  size_t pos = 0;
  while (pos < n) {
    if (n - pos <= max_length) {
      spans.emplace_back(start_pos + pos, start_pos + n);
      break;
    }
    size_t cut = n;
    bool found = false;
    for (size_t i = pos + max_length; i > pos; --i) {
      if (t[i - 1] == U' ') {
        cut = i - 1;
        found = true;
        break;
      }
    }
    if (!found) {
      for (size_t i = pos + max_length; i < n; ++i) {
        if (t[i] == U' ') {
          cut = i;
          break;
        }
      }
    }
    spans.emplace_back(start_pos + pos, start_pos + cut);
    pos = cut + 1;
    while (pos < n && t[pos] == U' ') ++pos;
  }
  return spans;
}

std::vector<Paragraph> get_paragraphs(std::string_view text) { return paragraphs_of(to_code_points(text)); }

std::pair<std::string, size_t> find_combinable_paragraphs(const std::vector<Paragraph>& paragraphs, size_t start_idx,
                                                          size_t max_length) {
  std::string combined = paragraphs.at(start_idx).content;
  const size_t first = paragraphs[start_idx].start;
  size_t next = start_idx + 1;
  // The span handed out runs from the first paragraph's start to the last
  // one's end in the text, blank lines included, so that is what must fit.
  while (next < paragraphs.size() && paragraphs[next].end - first <= max_length) {
    combined += " " + paragraphs[next].content;
    ++next;
  }
  return {std::move(combined), next};
}

std::vector<TextSpan> split_text_by_paragraph(std::string_view text, size_t max_length) {
  const std::vector<Paragraph> paragraphs = get_paragraphs(text);
  std::vector<TextSpan> chunks;
  for (size_t i = 0; i < paragraphs.size();) {
    const Paragraph& para = paragraphs[i];
    if (para.end - para.start > max_length) {
      for (const TextSpan& s : split_long_text(para.content, para.start, max_length)) chunks.push_back(s);
      ++i;
    } else {
      const size_t next = find_combinable_paragraphs(paragraphs, i, max_length).second;
      chunks.emplace_back(para.start, paragraphs[next - 1].end);
      i = next;
    }
  }
  return chunks;
}

}  // namespace tesk_privacy::pii_detector
