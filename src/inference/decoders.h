// Decoders of a tokenizer file ("decoder" in tokenizer.json): they turn
// token strings back into text (joining "##" continuations, mapping the
// byte-level alphabet back to bytes, "▁" back to blanks).
//
// Supported types: WordPiece, ByteLevel, Metaspace, Replace, ByteFallback,
// Fuse, Strip, BPEDecoder, Sequence.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Each step of a decoder sequence maps the token strings to new strings;
  // the decoded text is the concatenation of the last step's strings.
  virtual std::vector<std::string> decode_chain(std::vector<std::string> tokens) const = 0;
};

// Null JSON gives nullptr. Throws std::runtime_error prefixed with `origin`
// for unknown types or malformed settings.
std::unique_ptr<Decoder> make_decoder(const nlohmann::json& desc, const std::string& origin, int depth = 0);

// The clean-up of spaces before punctuation and English contractions
// (" ." → ".", " n't" → "n't", …) that decoding may apply.
std::string clean_up_tokenization(std::string text);

}  // namespace tesk_privacy::inference
