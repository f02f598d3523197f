// Encoding: what a Tokenizer makes of one text — token ids, token strings,
// and for each token the span of the original text it came from, in Unicode
// code points (end exclusive), as a Python caller counts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tesk_privacy::inference {

struct Offsets {
  size_t start = 0;
  size_t end = 0;
  bool operator==(const Offsets&) const = default;
};

// Word index of tokens that belong to no word (special tokens).
inline constexpr int32_t kNoWord = -1;

struct Encoding {
  std::vector<int32_t> ids;
  std::vector<int32_t> type_ids;
  std::vector<std::string> tokens;
  // {0, 0} for the special tokens the post-processor adds.
  std::vector<Offsets> offsets;
  // Index of the pre-tokenizer word each token belongs to, kNoWord for
  // special tokens. Tokens of one word are consecutive.
  std::vector<int32_t> word_ids;
  // 1 for the special tokens the post-processor adds.
  std::vector<uint8_t> special_tokens_mask;

  size_t size() const { return ids.size(); }
};

}  // namespace tesk_privacy::inference
