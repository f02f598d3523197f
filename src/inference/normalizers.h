// Normalizers of a tokenizer file ("normalizer" in tokenizer.json): the text
// changes applied before pre-tokenization, each keeping every code point
// aligned with the original text.
//
// Supported types: BertNormalizer, NFC, NFD, NFKC, NFKD, Lowercase,
// StripAccents, Strip, Replace, Prepend, Precompiled (SentencePiece's
// compiled character map), Nmt, Sequence.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "inference/normalized_string.h"

namespace tesk_privacy::inference {

class Normalizer {
 public:
  virtual ~Normalizer() = default;
  virtual void normalize(NormalizedString& s) const = 0;
};

// Builds the normalizer that `desc` describes; null JSON gives nullptr.
// Throws std::runtime_error prefixed with `origin` for unknown types or
// malformed settings.
std::unique_ptr<Normalizer> make_normalizer(const nlohmann::json& desc, const std::string& origin, int depth = 0);

enum class NormalizationForm { kNFC, kNFD, kNFKC, kNFKD };

// Unicode normalisation of `s`. Code points of a segment (a starter and the
// marks that follow it) that changes length all align with the segment's
// whole original span.
void unicode_normalize(NormalizedString& s, NormalizationForm form);

}  // namespace tesk_privacy::inference
