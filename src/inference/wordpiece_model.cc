#include "inference/wordpiece_model.h"

#include "inference/json_fields.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {

WordPieceModel::WordPieceModel(const nlohmann::json& desc, const std::string& origin)
    : vocab_(vocab_from_object(desc.contains("vocab") ? desc["vocab"] : nlohmann::json(), origin)),
      unk_token_(string_field(desc, "unk_token", "[UNK]", origin)),
      prefix_(string_field(desc, "continuing_subword_prefix", "##", origin)),
      max_chars_(uint_field(desc, "max_input_chars_per_word", 100, origin)) {
  auto unk = vocab_.find(unk_token_);
  if (!unk) fail_at(origin, "unknown token '" + unk_token_ + "' is not in the vocabulary");
  unk_id_ = *unk;
}

std::vector<ModelToken> WordPieceModel::tokenize(std::u32string_view word) const {
  if (word.empty()) return {};
  if (word.size() > max_chars_) return {{unk_id_, unk_token_, 0, word.size()}};
  std::string bytes;
  std::vector<size_t> byte_of(word.size() + 1);
  for (size_t i = 0; i < word.size(); ++i) {
    byte_of[i] = bytes.size();
    append_utf8(bytes, word[i]);
  }
  byte_of[word.size()] = bytes.size();

  std::vector<ModelToken> out;
  std::string candidate;
  size_t start = 0;
  while (start < word.size()) {
    size_t end = word.size();
    bool found = false;
    while (end > start) {
      candidate.clear();
      if (start > 0) candidate = prefix_;
      candidate.append(bytes, byte_of[start], byte_of[end] - byte_of[start]);
      if (auto id = vocab_.find(candidate)) {
        out.push_back({*id, candidate, start, end});
        found = true;
        break;
      }
      --end;
    }
    if (!found) return {{unk_id_, unk_token_, 0, word.size()}};
    start = end;
  }
  return out;
}

}  // namespace tesk_privacy::inference
