#include "inference/bpe_model.h"

#include <cstdio>
#include <queue>

#include "inference/json_fields.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {

BpeModel::BpeModel(const nlohmann::json& desc, const std::string& origin)
    : vocab_(vocab_from_object(desc.contains("vocab") ? desc["vocab"] : nlohmann::json(), origin)),
      prefix_(string_field(desc, "continuing_subword_prefix", "", origin)),
      suffix_(string_field(desc, "end_of_word_suffix", "", origin)),
      fuse_unk_(bool_field(desc, "fuse_unk", false, origin)),
      byte_fallback_(bool_field(desc, "byte_fallback", false, origin)),
      ignore_merges_(bool_field(desc, "ignore_merges", false, origin)) {
  if (auto unk = optional_string(desc, "unk_token", origin)) {
    unk_id_ = vocab_.find(*unk);
    if (!unk_id_) fail_at(origin, "unknown token '" + *unk + "' is not in the vocabulary");
  }
  const nlohmann::json& merges = array_field(desc, "merges", origin);
  uint32_t rank = 0;
  for (const auto& m : merges) {
    std::string left, right;
    if (m.is_string()) {  // "left right"
      const std::string s = m.get<std::string>();
      const size_t space = s.find(' ');
      if (space == std::string::npos || s.find(' ', space + 1) != std::string::npos) {
        fail_at(origin, "merge '" + s + "' is not two tokens separated by one space");
      }
      left = s.substr(0, space);
      right = s.substr(space + 1);
    } else if (m.is_array() && m.size() == 2 && m[0].is_string() && m[1].is_string()) {
      left = m[0].get<std::string>();
      right = m[1].get<std::string>();
    } else {
      fail_at(origin, "merge " + shown(m) + " is not a pair of tokens");
    }
    auto a = vocab_.find(left), b = vocab_.find(right);
    std::string joined = left + right;
    if (!prefix_.empty() && right.rfind(prefix_, 0) == 0) joined = left + right.substr(prefix_.size());
    auto result = vocab_.find(joined);
    if (!a || !b || !result) {
      fail_at(origin, "merge '" + left + " " + right + "' uses or makes a token outside the vocabulary");
    }
    merges_.try_emplace(pair_key(*a, *b), Merge{rank++, *result});
  }
}

std::vector<ModelToken> BpeModel::tokenize(std::u32string_view word) const {
  if (word.empty()) return {};
  struct Symbol {
    int32_t id;
    size_t start, end;  // code points of the word
    int prev, next;
    bool alive;
  };
  std::vector<Symbol> symbols;
  std::string piece;
  auto push = [&](int32_t id, size_t start, size_t end) {
    const int index = static_cast<int>(symbols.size());
    symbols.push_back({id, start, end, index - 1, index + 1, true});
  };

  if (ignore_merges_) {
    std::string whole;
    for (char32_t c : word) append_utf8(whole, c);
    if (auto id = vocab_.find(whole)) return {{*id, whole, 0, word.size()}};
  }
  for (size_t i = 0; i < word.size(); ++i) {
    piece.clear();
    if (i > 0) piece = prefix_;
    append_utf8(piece, word[i]);
    if (i + 1 == word.size()) piece += suffix_;
    if (auto id = vocab_.find(piece)) {
      push(*id, i, i + 1);
      continue;
    }
    if (byte_fallback_) {
      std::string bytes;
      append_utf8(bytes, word[i]);
      std::vector<int32_t> ids;
      for (unsigned char b : bytes) {
        char name[8];
        std::snprintf(name, sizeof name, "<0x%02X>", b);
        if (auto id = vocab_.find(name)) ids.push_back(*id);
      }
      if (ids.size() == bytes.size()) {
        for (int32_t id : ids) push(id, i, i + 1);
        continue;
      }
    }
    if (!unk_id_) continue;  // no unknown token: the code point is dropped
    if (fuse_unk_ && !symbols.empty() && symbols.back().id == *unk_id_ && symbols.back().end == i) {
      symbols.back().end = i + 1;
    } else {
      push(*unk_id_, i, i + 1);
    }
  }
  if (symbols.empty()) return {};
  symbols.back().next = -1;
  for (Symbol& s : symbols) {
    if (s.next >= static_cast<int>(symbols.size())) s.next = -1;
  }

  // Merge candidates by (rank, position); stale entries are skipped.
  struct Candidate {
    uint32_t rank;
    int pos;
    int32_t result;
    bool operator>(const Candidate& o) const { return rank != o.rank ? rank > o.rank : pos > o.pos; }
  };
  std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> queue;
  auto consider = [&](int pos) {
    if (pos < 0 || symbols[pos].next < 0) return;
    auto it = merges_.find(pair_key(symbols[pos].id, symbols[symbols[pos].next].id));
    if (it != merges_.end()) queue.push({it->second.rank, pos, it->second.result});
  };
  for (int i = 0; i + 1 < static_cast<int>(symbols.size()); ++i) consider(i);
  while (!queue.empty()) {
    Candidate top = queue.top();
    queue.pop();
    Symbol& left = symbols[top.pos];
    if (!left.alive || left.next < 0) continue;
    Symbol& right = symbols[left.next];
    auto it = merges_.find(pair_key(left.id, right.id));
    if (it == merges_.end() || it->second.result != top.result) continue;
    left.id = top.result;
    left.end = right.end;
    right.alive = false;
    left.next = right.next;
    if (right.next >= 0) symbols[right.next].prev = top.pos;
    consider(left.prev);
    consider(top.pos);
  }

  std::vector<ModelToken> out;
  for (const Symbol& s : symbols) {
    if (s.alive) out.push_back({s.id, *vocab_.token(s.id), s.start, s.end});
  }
  return out;
}

}  // namespace tesk_privacy::inference
