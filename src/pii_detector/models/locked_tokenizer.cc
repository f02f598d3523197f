#include "pii_detector/models/locked_tokenizer.h"

namespace tesk_privacy::pii_detector {

inference::Encoding LockedTokenizer::encode(std::string_view text, bool add_special_tokens) const {
  return guarded([&] { return tokenizer_.encode(text, add_special_tokens); });
}

std::vector<inference::Encoding> LockedTokenizer::encode_batch(const std::vector<std::string>& texts,
                                                               bool add_special_tokens) const {
  return guarded([&] { return tokenizer_.encode_batch(texts, add_special_tokens); });
}

size_t LockedTokenizer::count_tokens(std::string_view text) const { return encode(text, true).size(); }

std::vector<std::string> LockedTokenizer::tokenize(std::string_view text) const {
  return guarded([&] { return tokenizer_.tokenize(text); });
}

std::string LockedTokenizer::decode(std::span<const int32_t> ids, bool skip_special_tokens) const {
  return guarded([&] { return tokenizer_.decode(ids, skip_special_tokens); });
}

std::vector<std::string> LockedTokenizer::decode_batch(const std::vector<std::vector<int32_t>>& batch,
                                                       bool skip_special_tokens) const {
  return guarded([&] { return tokenizer_.decode_batch(batch, skip_special_tokens); });
}

std::vector<std::string> LockedTokenizer::convert_ids_to_tokens(std::span<const int32_t> ids,
                                                                bool skip_special_tokens) const {
  return guarded([&] { return tokenizer_.convert_ids_to_tokens(ids, skip_special_tokens); });
}

std::string LockedTokenizer::convert_tokens_to_string(const std::vector<std::string>& tokens) const {
  return guarded([&] { return tokenizer_.convert_tokens_to_string(tokens); });
}

}  // namespace tesk_privacy::pii_detector
