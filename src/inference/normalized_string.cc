#include "inference/normalized_string.h"

#include <algorithm>

namespace tesk_privacy::inference {

NormalizedString NormalizedString::from_original(std::u32string_view chars, size_t base) {
  NormalizedString s;
  s.text.assign(chars);
  s.align.reserve(chars.size());
  for (size_t i = 0; i < chars.size(); ++i) s.align.push_back({base + i, base + i + 1});
  return s;
}

NormalizedString NormalizedString::slice(size_t a, size_t b) const {
  NormalizedString s;
  s.text = text.substr(a, b - a);
  s.align.assign(align.begin() + static_cast<std::ptrdiff_t>(a), align.begin() + static_cast<std::ptrdiff_t>(b));
  return s;
}

void NormalizedString::prepend(std::u32string_view prefix) {
  if (empty()) return;
  const Offsets first = align.front();
  text.insert(0, prefix);
  align.insert(align.begin(), prefix.size(), first);
}

void split_at(const NormalizedString& s, const std::vector<std::pair<size_t, size_t>>& matches,
              SplitBehavior behavior, std::vector<NormalizedString>& out) {
  // The whole string as alternating (range, is_delimiter) parts.
  struct Part {
    size_t a, b;
    bool delimiter;
  };
  std::vector<Part> parts;
  size_t prev = 0;
  for (auto [a, b] : matches) {
    if (a == b) continue;
    if (prev < a) parts.push_back({prev, a, false});
    parts.push_back({a, b, true});
    prev = b;
  }
  if (prev < s.size()) parts.push_back({prev, s.size(), false});

  std::vector<Part> merged;
  switch (behavior) {
    case SplitBehavior::kRemoved:
      for (const Part& p : parts) if (!p.delimiter) merged.push_back(p);
      break;
    case SplitBehavior::kIsolated:
      merged = parts;
      break;
    case SplitBehavior::kContiguous:
      for (const Part& p : parts) {
        if (p.delimiter && !merged.empty() && merged.back().delimiter) merged.back().b = p.b;
        else merged.push_back(p);
      }
      break;
    case SplitBehavior::kMergedWithPrevious: {
      bool previous_delimiter = false;
      for (const Part& p : parts) {
        if (p.delimiter && !previous_delimiter && !merged.empty()) {
          merged.back().b = p.b;
        } else {
          merged.push_back({p.a, p.b, false});
        }
        previous_delimiter = p.delimiter;
      }
      break;
    }
    case SplitBehavior::kMergedWithNext: {
      bool next_delimiter = false;
      for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (it->delimiter && !next_delimiter && !merged.empty()) {
          merged.back().a = it->a;
        } else {
          merged.push_back({it->a, it->b, false});
        }
        next_delimiter = it->delimiter;
      }
      std::reverse(merged.begin(), merged.end());
      break;
    }
  }
  for (const Part& p : merged) {
    if (p.a < p.b) out.push_back(s.slice(p.a, p.b));
  }
}

}  // namespace tesk_privacy::inference
