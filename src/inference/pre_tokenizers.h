// Pre-tokenizers of a tokenizer file ("pre_tokenizer" in tokenizer.json):
// they cut normalised text into words, which the model then splits into
// tokens independently.
//
// Supported types: BertPreTokenizer, Whitespace, WhitespaceSplit,
// Punctuation, Digits, CharDelimiterSplit, Split, ByteLevel, Metaspace,
// Sequence.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inference/normalized_string.h"

namespace tesk_privacy::inference {

class PreTokenizer {
 public:
  virtual ~PreTokenizer() = default;
  // Replaces `pieces` by their words, in order.
  virtual void pre_tokenize(std::vector<NormalizedString>& pieces) const = 0;
};

// Null JSON gives nullptr. Throws std::runtime_error prefixed with `origin`
// for unknown types or malformed settings.
std::unique_ptr<PreTokenizer> make_pre_tokenizer(const nlohmann::json& desc, const std::string& origin, int depth = 0);

}  // namespace tesk_privacy::inference
