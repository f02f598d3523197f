#include "pii_detector/store/whole_word_replacer.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <map>
#include <set>

#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {

char32_t fold_case(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

namespace {

constexpr uint64_t kNoEdge = UINT64_MAX;

// The slot holding `key` in an open-addressing table of `keys` (a power of
// two long, never full), or the free slot where it would go.
size_t edge_slot(const std::vector<uint64_t>& keys, uint64_t key) {
  const size_t mask = keys.size() - 1;
  size_t slot = static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 32) & mask;  // Fibonacci hashing
  while (keys[slot] != key && keys[slot] != kNoEdge) slot = (slot + 1) & mask;
  return slot;
}

}  // namespace

WholeWordReplacer::WholeWordReplacer() : edge_keys_(16, kNoEdge), edge_children_(16, -1) { new_node(0, 0); }

WholeWordReplacer::WholeWordReplacer(const std::vector<std::pair<std::string, std::string>>& pairs)
    : WholeWordReplacer() {
  for (const auto& [needle, replacement] : pairs) add(needle, replacement);
}

int WholeWordReplacer::child(int node, char32_t c) const {
  const size_t slot = edge_slot(edge_keys_, edge_key(node, c));
  return edge_keys_[slot] == kNoEdge ? -1 : edge_children_[slot];
}

int WholeWordReplacer::new_node(size_t label, size_t label_size) {
  nodes_.push_back(Node{.label_size = static_cast<uint32_t>(label_size), .label = label});
  return static_cast<int>(nodes_.size()) - 1;
}

void WholeWordReplacer::add_edge(int node, char32_t c, int to) {
  if ((edges_ + 1) * 4 > edge_keys_.size() * 3) {  // keep the table at most three quarters full
    std::vector<uint64_t> keys(edge_keys_.size() * 2, kNoEdge);
    std::vector<int> children(keys.size(), -1);
    for (size_t i = 0; i < edge_keys_.size(); ++i) {
      if (edge_keys_[i] == kNoEdge) continue;
      const size_t slot = edge_slot(keys, edge_keys_[i]);
      keys[slot] = edge_keys_[i];
      children[slot] = edge_children_[i];
    }
    edge_keys_ = std::move(keys);
    edge_children_ = std::move(children);
  }
  const uint64_t key = edge_key(node, c);
  const size_t slot = edge_slot(edge_keys_, key);
  edge_keys_[slot] = key;
  edge_children_[slot] = to;
  ++edges_;
}

std::vector<char32_t> WholeWordReplacer::fold(std::string_view needle) {
  std::vector<char32_t> folded;
  for (size_t pos = 0; pos < needle.size();) folded.push_back(fold_case(decode_utf8(needle, pos)));
  return folded;
}

int WholeWordReplacer::path(const std::vector<char32_t>& folded) {
  const size_t depth = std::min(folded.size(), kTrieDepth);
  int node = 0;
  for (size_t k = 0; k < depth;) {
    const size_t slot = edge_slot(edge_keys_, edge_key(node, folded[k]));
    if (edge_keys_[slot] == kNoEdge) {  // a leaf holds the rest of the path
      const size_t start = labels_.size();
      for (size_t i = k + 1; i < depth; ++i) append_utf8(labels_, folded[i]);
      const int leaf = new_node(start, labels_.size() - start);
      add_edge(node, folded[k], leaf);
      return leaf;
    }
    const int next = edge_children_[slot];
    const std::string_view edge = label(nodes_[next]);
    size_t matched = 0, j = k + 1;
    for (size_t pos = 0; pos < edge.size() && j < depth; ++j) {
      if (decode_utf8(edge, pos) != folded[j]) break;
      matched = pos;
    }
    if (matched == edge.size()) {
      node = next;
      k = j;
      continue;
    }
    // The path leaves the edge after `matched` bytes of its label: a node
    // there takes the label's head, and the old child keeps what follows
    // the code point that now keys its edge.
    const size_t old_label = nodes_[next].label;
    const int middle = new_node(old_label, matched);
    size_t rest = matched;
    const char32_t key = decode_utf8(edge, rest);
    nodes_[next].label = old_label + rest;
    nodes_[next].label_size -= static_cast<uint32_t>(rest);
    edge_children_[slot] = middle;
    add_edge(middle, key, next);
    node = middle;
    k = j;
  }
  return node;
}

int WholeWordReplacer::add(std::string_view needle, std::string_view replacement) {
  if (needle.empty()) return -1;
  std::vector<char32_t> folded = fold(needle);
  const int node = path(folded);
  return attach(node, std::move(folded), replacement);
}

std::pair<int, bool> WholeWordReplacer::insert(std::string_view needle, std::string_view replacement) {
  if (needle.empty()) return {-1, false};
  std::vector<char32_t> folded = fold(needle);
  const int node = path(folded);  // a pair added before has its path already
  const bool is_long = folded.size() > kTrieDepth;
  for (int id = is_long ? nodes_[node].long_needles : nodes_[node].needles; id >= 0; id = next_needle_[id]) {
    if (this->replacement(id) == replacement && (!is_long || long_needles_.at(id).folded == folded)) return {id, false};
  }
  return {attach(node, std::move(folded), replacement), true};
}

int WholeWordReplacer::attach(int node, std::vector<char32_t> folded, std::string_view replacement) {
  const int id = static_cast<int>(replacement_ends_.size());
  replacement_chars_.append(replacement);
  replacement_ends_.push_back(replacement_chars_.size());
  const bool is_long = folded.size() > kTrieDepth;
  int& head = is_long ? nodes_[node].long_needles : nodes_[node].needles;
  next_needle_.push_back(head);
  head = id;
  if (!is_long) return id;
  LongNeedle& long_needle = long_needles_[id];
  long_needle.border.assign(folded.size(), 0);
  for (size_t i = 1, k = 0; i < folded.size(); ++i) {
    while (k > 0 && folded[i] != folded[k]) k = long_needle.border[k - 1];
    if (folded[i] == folded[k]) ++k;
    long_needle.border[i] = k;
  }
  long_needle.folded = std::move(folded);
  return id;
}

std::string WholeWordReplacer::replace(const Utf8Text& text) const {
  std::vector<Priority> priority(size());
  for (size_t i = 0; i < priority.size(); ++i) priority[i] = {0, 0, i};
  return replace(text, priority);
}

std::string WholeWordReplacer::replace(const Utf8Text& text, std::span<const Priority> priority,
                                       std::span<const Pinned> pinned) const {
  const std::string_view s = text.view();
  if ((size() == 0 && pinned.empty()) || s.empty()) return text.str();
  // Positions are bytes; code points are decoded where they are looked at,
  // so the scan needs no memory in proportion to the text.
  const size_t n = s.size();
  auto word_char_at = [&](size_t pos) { return is_py_word_char(decode_utf8(s, pos)); };
  auto before = [&](size_t pos) {
    do --pos;
    while (pos > 0 && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80);
    return pos;
  };
  // A match is a whole word when no word character touches a word-character
  // edge of it: "<MONEY_1>an" holds the placeholder "<MONEY_1>", whose
  // brackets are no word characters, while "Budiman" holds no "Budi".
  auto ends_word = [&](size_t end) { return end == n || !word_char_at(end) || !word_char_at(before(end)); };
  auto starts_word = [&](size_t p) { return p == 0 || !word_char_at(before(p)) || !word_char_at(p); };

  struct Candidate {
    int needle;
    size_t start, end;  // bytes
  };
  std::vector<Candidate> candidates;
  std::set<int> long_seen;
  for (size_t p = 0; p < n;) {
    size_t next = p;
    decode_utf8(s, next);
    if (starts_word(p)) {
      int node = 0;
      for (size_t q = p; q < n;) {
        node = child(node, fold_case(decode_utf8(s, q)));
        if (node < 0) break;
        const Node& here = nodes_[node];
        const std::string_view edge = label(here);
        bool along = true;
        for (size_t pos = 0; along && pos < edge.size();) {
          along = q < n && fold_case(decode_utf8(s, q)) == decode_utf8(edge, pos);
        }
        if (!along) break;
        if (here.needles >= 0 && ends_word(q)) {
          for (int id = here.needles; id >= 0; id = next_needle_[id]) candidates.push_back({id, p, q});
        }
        for (int id = here.long_needles; id >= 0; id = next_needle_[id]) long_seen.insert(id);
      }
    }
    p = next;
  }
  for (int id : long_seen) {
    const LongNeedle& needle = long_needles_.at(id);
    const size_t m = needle.folded.size();
    std::vector<size_t> starts(m);  // byte position of the last m code points, as a ring
    size_t count = 0;
    for (size_t q = 0, k = 0; q < n; ++count) {
      starts[count % m] = q;
      const char32_t c = fold_case(decode_utf8(s, q));
      while (k > 0 && c != needle.folded[k]) k = needle.border[k - 1];
      if (c == needle.folded[k]) ++k;
      if (k == m) {
        const size_t p = starts[(count + 1) % m];
        if (starts_word(p) && ends_word(q)) candidates.push_back({id, p, q});
        k = needle.border[k - 1];
      }
    }
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
    return a.needle != b.needle ? priority[a.needle] < priority[b.needle] : a.start < b.start;
  });
  // Pinned span k is the candidate of needle -1 - k.
  std::map<size_t, Candidate> accepted;  // by start
  for (size_t k = 0; k < pinned.size(); ++k) {
    const size_t start = text.cp_to_byte(pinned[k].start);
    accepted.emplace(start, Candidate{-1 - static_cast<int>(k), start, text.cp_to_byte(pinned[k].end)});
  }
  for (const Candidate& c : candidates) {
    auto after = accepted.lower_bound(c.start);
    if (after != accepted.end() && after->first < c.end) continue;
    if (after != accepted.begin() && std::prev(after)->second.end > c.start) continue;
    accepted.emplace(c.start, c);
  }
  std::string out;
  out.reserve(s.size());
  size_t copied = 0;
  for (const auto& [start, c] : accepted) {
    out.append(s.substr(copied, c.start - copied));
    if (c.needle < 0) {
      out.append(pinned[static_cast<size_t>(-1 - c.needle)].replacement);
    } else {
      out.append(replacement(c.needle));
    }
    copied = c.end;
  }
  out.append(s.substr(copied));
  return out;
}

void RankedReplacer::add(std::string_view needle, std::string_view replacement, uint64_t type, uint64_t index) {
  if (needle.empty()) return;
  const WholeWordReplacer::Priority rank = {UINT64_MAX - utf8_length(needle), type, index};
  const auto [id, added] = replacer_.insert(needle, replacement);
  if (added) {
    priority_.push_back(rank);
  } else {
    priority_[id] = std::min(priority_[id], rank);
  }
}

void RankedReplacer::clear() {
  replacer_ = WholeWordReplacer();
  priority_.clear();
}

}  // namespace tesk_privacy::pii_detector
