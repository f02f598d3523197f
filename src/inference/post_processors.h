// Post-processors of a tokenizer file ("post_processor" in tokenizer.json):
// they add the model's special tokens around a sequence ([CLS] … [SEP],
// <s> … </s>) and, in the byte-level family, move token offsets past the
// leading space a token carries ("Ġword" covers only "word").
//
// Supported types: TemplateProcessing, BertProcessing, RobertaProcessing,
// ByteLevel, Sequence. Only single sequences are encoded.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "inference/encoding.h"

namespace tesk_privacy::inference {

class PostProcessor {
 public:
  virtual ~PostProcessor() = default;
  // Offset adjustments; applied to every encoding, special tokens or not.
  virtual void adjust_offsets(Encoding&) const {}
  // Surrounds the content tokens of `e` with the special tokens.
  virtual void add_special_tokens(Encoding& e) const = 0;
};

// Null JSON gives nullptr. Throws std::runtime_error prefixed with `origin`
// for unknown types or malformed settings.
std::unique_ptr<PostProcessor> make_post_processor(const nlohmann::json& desc, const std::string& origin, int depth = 0);

}  // namespace tesk_privacy::inference
