// Tokenizer: a subword tokenizer loaded from a model folder's
// `tokenizer.json` (the format model hubs publish), with `model_max_length`
// and `truncation_side` from `tokenizer_config.json`. It covers the WordPiece
// (BERT family), byte-level BPE (RoBERTa family) and Unigram (SentencePiece,
// XLM-RoBERTa family) models with the normalizers, pre-tokenizers,
// post-processors and decoders those families use. Offsets are Unicode code
// points of the encoded text.
//
//   Tokenizer tok = Tokenizer::from_folder("models/ner");
//   Encoding e = tok.encode("Budi tinggal di Jakarta");
//   e.tokens;    // "[CLS]", "budi", "tinggal", "di", "jakarta", "[SEP]"
//   e.offsets;   // {0,0}, {0,4}, {5,12}, {13,15}, {16,23}, {0,0}
//   tok.decode(e.ids, /*skip_special_tokens=*/true);   // "budi tinggal di jakarta"
//
// A Tokenizer is immutable and cheap to copy (copies share the loaded
// tables); every operation may run on several threads at once. The with_*
// operations return a copy with one setting changed.
//
// Malformed or unsupported files fail with std::runtime_error naming the
// file; text that is not valid UTF-8 fails with InvalidUtf8Error
// (std::invalid_argument).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inference/encoding.h"

namespace tesk_privacy::inference {

enum class TruncationSide { kRight, kLeft };

// One word of the pre-tokenizer: its text as the pre-tokenizer writes it
// (with "▁" or "Ġ" markers where the family uses them) and its span in the
// input.
struct PreToken {
  std::string text;
  Offsets offsets;
  bool operator==(const PreToken&) const = default;
};

class Tokenizer {
 public:
  // Reads `tokenizer.json` and, when present, `tokenizer_config.json`.
  static Tokenizer from_folder(const std::filesystem::path& folder);
  // `tokenizer_config_json` may be empty. `origin` names the source in errors.
  static Tokenizer from_json(std::string_view tokenizer_json, std::string_view tokenizer_config_json = "",
                             const std::string& origin = "tokenizer.json");

  // Special tokens (as the post-processor adds them) included; no truncation.
  Encoding encode(std::string_view text, bool add_special_tokens = true) const;
  // At most `max_length` tokens (model_max_length() when absent; no limit
  // when neither is set), special tokens included, cut on truncation_side().
  // Throws std::invalid_argument when max_length leaves no room for the
  // special tokens.
  Encoding encode_truncated(std::string_view text, std::optional<size_t> max_length = std::nullopt,
                            bool add_special_tokens = true) const;
  std::vector<Encoding> encode_batch(const std::vector<std::string>& texts, bool add_special_tokens = true) const;
  // The token strings of encode(text, false).
  std::vector<std::string> tokenize(std::string_view text) const;
  // Special tokens around content tokens (from encode(text, false) or a
  // slice of it); offsets are left as they are.
  Encoding add_special_tokens(Encoding content) const;
  size_t num_special_tokens_to_add() const;

  // Throws std::invalid_argument for an id outside the vocabulary.
  std::string decode(std::span<const int32_t> ids, bool skip_special_tokens = false) const;
  std::vector<std::string> decode_batch(const std::vector<std::vector<int32_t>>& batch,
                                        bool skip_special_tokens = false) const;
  std::vector<std::string> convert_ids_to_tokens(std::span<const int32_t> ids,
                                                 bool skip_special_tokens = false) const;
  std::string convert_tokens_to_string(const std::vector<std::string>& tokens) const;
  std::optional<int32_t> token_to_id(std::string_view token) const;

  // The pre-tokenizer alone on the raw text (no normalisation, no added
  // tokens); nullopt when the tokenizer has no pre-tokenizer.
  std::optional<std::vector<PreToken>> pre_tokenize(std::string_view text) const;
  bool has_pre_tokenizer() const;

  std::optional<size_t> model_max_length() const { return model_max_length_; }
  TruncationSide truncation_side() const { return truncation_side_; }
  bool clean_up_tokenization_spaces() const { return clean_up_; }
  Tokenizer with_model_max_length(std::optional<size_t> length) const;
  Tokenizer with_truncation_side(TruncationSide side) const;
  Tokenizer with_clean_up_tokenization_spaces(bool clean_up) const;

  // Number of ids, added tokens included.
  size_t vocab_size() const;
  std::optional<int32_t> unk_token_id() const;
  // The marker of word-continuing tokens ("##" for WordPiece); empty when
  // the model has none.
  std::string continuing_subword_prefix() const;
  bool is_special_token(int32_t id) const;

 private:
  struct Core;
  explicit Tokenizer(std::shared_ptr<const Core> core) : core_(std::move(core)) {}

  Encoding encode_content(std::string_view text) const;
  const std::string* id_to_token(int32_t id) const;

  std::shared_ptr<const Core> core_;
  std::optional<size_t> model_max_length_;
  TruncationSide truncation_side_ = TruncationSide::kRight;
  bool clean_up_ = false;
};

}  // namespace tesk_privacy::inference
