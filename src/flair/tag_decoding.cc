#include "flair/tag_decoding.h"

#include <string_view>

namespace tesk_privacy::flair {
namespace {

// The tag's position letter (B, I, E, S; O outside) and its type.
struct Tag {
  char position;
  std::string type;
};

Tag parse(const std::string& tag) {
  if (tag.empty() || tag == "O" || tag == "_") return {'O', ""};
  if (tag.size() > 2 && tag[1] == '-') {
    switch (tag[0]) {
      case 'B': return {'B', tag.substr(2)};
      case 'I': return {'I', tag.substr(2)};
      case 'E':
      case 'L': return {'E', tag.substr(2)};
      case 'S':
      case 'U': return {'S', tag.substr(2)};
      default: break;
    }
  }
  return {'I', tag};
}

}  // namespace

std::vector<TaggedSpan> decode_tags(const std::vector<TaggedWord>& words) {
  std::vector<TaggedSpan> spans;
  bool open = false;
  size_t count = 0;
  double sum = 0;
  TaggedSpan current;
  auto close = [&] {
    if (!open) return;
    current.score = sum / static_cast<double>(count);
    spans.push_back(current);
    open = false;
  };
  for (const TaggedWord& word : words) {
    const Tag tag = parse(word.tag);
    if (tag.position == 'O') {
      close();
      continue;
    }
    const bool continues = open && (tag.position == 'I' || tag.position == 'E') && tag.type == current.value;
    if (!continues) {
      close();
      current = {word.start, word.end, tag.type, 0};
      open = true;
      count = 0;
      sum = 0;
    }
    current.end = word.end;
    sum += word.score;
    ++count;
    if (tag.position == 'E' || tag.position == 'S') close();
  }
  close();
  return spans;
}

}  // namespace tesk_privacy::flair
