#include "inference/added_vocabulary.h"

#include <algorithm>

#include "inference/json_fields.h"
#include "inference/normalizers.h"
#include "inference/unicode_support.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

bool is_word_char(char32_t c) { return c == U'_' || is_alphanumeric(c); }

}  // namespace

AddedVocabulary::AddedVocabulary(const nlohmann::json& added, const Normalizer* normalizer,
                                 const std::string& origin) {
  if (added.is_null()) return;
  if (!added.is_array()) fail_at(origin, "\"added_tokens\" must be a list");
  for (const auto& entry : added) {
    Token t;
    if (!entry.is_object() || !entry.contains("content") || !entry["content"].is_string() || !entry.contains("id")) {
      fail_at(origin, "added token " + shown(entry) + " needs \"id\" and \"content\"");
    }
    t.content = entry["content"].get<std::string>();
    if (t.content.empty() || find_invalid_utf8(t.content) != std::string_view::npos) {
      fail_at(origin, "added token " + std::to_string(tokens_.size()) + " has empty or invalid content");
    }
    t.id = id_value(entry["id"], origin, "the id of added token '" + t.content + "'");
    t.single_word = bool_field(entry, "single_word", false, origin);
    t.lstrip = bool_field(entry, "lstrip", false, origin);
    t.rstrip = bool_field(entry, "rstrip", false, origin);
    t.special = bool_field(entry, "special", false, origin);
    t.normalized = bool_field(entry, "normalized", !t.special, origin);
    t.pattern = to_u32(t.content);
    if (t.normalized && normalizer != nullptr) {
      NormalizedString s = NormalizedString::from_original(t.pattern, 0);
      normalizer->normalize(s);
      t.pattern = s.text;
    }
    if (by_id_.count(t.id) != 0) fail_at(origin, "added token id " + std::to_string(t.id) + " is used twice");
    by_id_[t.id] = tokens_.size();
    by_content_.emplace(t.content, tokens_.size());
    id_limit_ = std::max(id_limit_, static_cast<size_t>(t.id) + 1);
    tokens_.push_back(std::move(t));
  }
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (!tokens_[i].pattern.empty()) starts_[tokens_[i].normalized][tokens_[i].pattern[0]].push_back(i);
  }
  for (auto& kind : starts_) {
    for (auto& [c, list] : kind) {
      std::stable_sort(list.begin(), list.end(), [this](size_t a, size_t b) {
        return tokens_[a].pattern.size() > tokens_[b].pattern.size();
      });
    }
  }
}

std::vector<AddedVocabulary::Segment> AddedVocabulary::split(std::u32string_view text, bool normalized) const {
  std::vector<Segment> out;
  const auto& starts = starts_[normalized ? 1 : 0];
  size_t plain_start = 0;  // start of the text not yet emitted
  size_t i = 0;
  while (!starts.empty() && i < text.size()) {
    auto it = starts.find(text[i]);
    const Token* match = nullptr;
    if (it != starts.end()) {
      for (size_t index : it->second) {
        const Token& t = tokens_[index];
        if (text.compare(i, t.pattern.size(), t.pattern) != 0) continue;
        const size_t end = i + t.pattern.size();
        if (t.single_word && ((i > 0 && is_word_char(text[i - 1])) || (end < text.size() && is_word_char(text[end])))) {
          continue;
        }
        match = &t;
        break;
      }
    }
    if (match == nullptr) {
      ++i;
      continue;
    }
    size_t start = i, end = i + match->pattern.size();
    if (match->lstrip) while (start > plain_start && is_whitespace(text[start - 1])) --start;
    if (match->rstrip) while (end < text.size() && is_whitespace(text[end])) ++end;
    if (plain_start < start) out.push_back({plain_start, start, -1});
    out.push_back({start, end, match->id});
    plain_start = i = end;
  }
  if (plain_start < text.size()) out.push_back({plain_start, text.size(), -1});
  return out;
}

std::optional<int32_t> AddedVocabulary::find(std::string_view content) const {
  auto it = by_content_.find(content);
  return it == by_content_.end() ? std::nullopt : std::optional<int32_t>(tokens_[it->second].id);
}

const std::string* AddedVocabulary::content(int32_t id) const {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : &tokens_[it->second].content;
}

bool AddedVocabulary::is_special(int32_t id) const {
  auto it = by_id_.find(id);
  return it != by_id_.end() && tokens_[it->second].special;
}

}  // namespace tesk_privacy::inference
