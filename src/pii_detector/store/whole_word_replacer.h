// WholeWordReplacer: replaces many literal strings in one pass over a text,
// matching whole words (no word character directly before or after an edge
// of the match that is itself a word character) without regard to letter
// case.
//
// Needles are given in priority order. Every occurrence of every needle is
// found in the input text; occurrences are accepted highest priority first
// (then left to right) unless they overlap one already accepted. Matching
// only ever looks at the input, so a replacement can never be matched again
// by a later needle — which a chain of search-and-replace passes would do.
// The cost is one scan of the text, whatever the number of needles: the
// trie is walked from every word start, at most kTrieDepth code points deep.
// A longer needle (a merged span of repeated text can be as long as the text)
// keeps only its first kTrieDepth code points in the trie; where they match,
// the whole needle is searched for once over the text (Knuth-Morris-Pratt),
// so a long needle that matches its own prefix at every word does not make
// the scan quadratic.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

class WholeWordReplacer {
 public:
  // (needle, replacement) pairs, highest priority first. Empty needles are ignored.
  explicit WholeWordReplacer(const std::vector<std::pair<std::string, std::string>>& pairs);
  WholeWordReplacer();

  // Adds a needle after those already present and returns its id (ids count
  // up from 0), or -1 for an empty needle.
  int add(std::string_view needle, std::string_view replacement);
  // add(), unless a needle of the same spelling up to letter case (the two
  // would match alike) was added before with this replacement: then its id,
  // and false.
  std::pair<int, bool> insert(std::string_view needle, std::string_view replacement);
  size_t size() const { return replacement_ends_.size(); }

  // Needles in id order of priority.
  std::string replace(const Utf8Text& text) const;
  // priority[id]: the lower, the earlier a needle's occurrences are accepted.
  using Priority = std::array<uint64_t, 3>;
  // A replacement of [start, end) (code points) decided beforehand, whole
  // word or not. Pinned spans are accepted before any needle's occurrence,
  // so none overlaps them; they must not overlap one another.
  struct Pinned {
    size_t start, end;
    std::string_view replacement;
  };
  std::string replace(const Utf8Text& text, std::span<const Priority> priority,
                      std::span<const Pinned> pinned = {}) const;

 private:
  static constexpr size_t kTrieDepth = 128;
  // A mapping can hold millions of needles, most sharing only a short prefix
  // with any other: the trie is path-compressed. A node is the heads of its
  // two needle lists and the label of the edge into it (the folded code
  // points after the first, as UTF-8 in labels_); the edges live in one
  // open-addressing table keyed by (node, first code point).
  struct Node {
    int needles = -1;       // needles ending here; next_needle_ links the list
    int long_needles = -1;  // longer needles whose trie part ends here
    uint32_t label_size = 0;
    size_t label = 0;
  };
  struct LongNeedle {
    std::vector<char32_t> folded;
    std::vector<size_t> border;  // Knuth-Morris-Pratt failure function
  };
  static std::vector<char32_t> fold(std::string_view needle);
  // The trie node of a folded needle's first kTrieDepth code points, made as needed.
  int path(const std::vector<char32_t>& folded);
  // Records a needle whose path ends at `node`; returns its id.
  int attach(int node, std::vector<char32_t> folded, std::string_view replacement);
  int child(int node, char32_t c) const;
  // A new node, its label at `label` in labels_.
  int new_node(size_t label, size_t label_size);
  // A new edge from `node` on `c` (none is there yet).
  void add_edge(int node, char32_t c, int to);
  std::string_view label(const Node& node) const { return std::string_view(labels_).substr(node.label, node.label_size); }
  static uint64_t edge_key(int node, char32_t c) { return (static_cast<uint64_t>(node) << 21) | c; }

  std::vector<Node> nodes_;
  std::string labels_;
  std::vector<int> next_needle_;  // by needle id: the next needle of its node's list, or -1
  std::vector<uint64_t> edge_keys_;  // kNoEdge where free; size a power of two
  std::vector<int> edge_children_;
  size_t edges_ = 0;
  // Replacement i is replacement_chars_ from replacement_ends_[i - 1] (0 for
  // the first) to replacement_ends_[i]: one string, not one per needle.
  std::string replacement_chars_;
  std::vector<size_t> replacement_ends_;
  std::string_view replacement(int id) const {
    const size_t begin = id == 0 ? 0 : replacement_ends_[id - 1];
    return std::string_view(replacement_chars_).substr(begin, replacement_ends_[id] - begin);
  }
  std::unordered_map<int, LongNeedle> long_needles_;
};

// A WholeWordReplacer whose pairs carry a place in a store of entity types:
// longer needles win, then the lower (type, index). Pairs only ever join, so
// a caller whose store grows by appending adds just the new pairs; adding a
// pair again (its needle spelt alike up to letter case) keeps the better of
// its places.
class RankedReplacer {
 public:
  void add(std::string_view needle, std::string_view replacement, uint64_t type, uint64_t index);
  void clear();
  std::string replace(const Utf8Text& text, std::span<const WholeWordReplacer::Pinned> pinned = {}) const {
    return replacer_.replace(text, priority_, pinned);
  }

 private:
  WholeWordReplacer replacer_;
  std::vector<WholeWordReplacer::Priority> priority_;
};

// Simple Unicode case folding of one code point (length-preserving).
char32_t fold_case(char32_t c);

}  // namespace tesk_privacy::pii_detector
