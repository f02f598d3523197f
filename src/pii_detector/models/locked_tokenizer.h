// LockedTokenizer: a tokenizer shared by several users (a model's pipeline,
// a text chunker, recognizers that share cached components), whose
// operations each run while holding one re-entrant lock.
//
// The lock is fixed at construction, so a tokenizer is guarded once and
// every copy of the shared pointer goes through the same lock:
//
//   auto lock = std::make_shared<std::recursive_mutex>();
//   auto shared = std::make_shared<const LockedTokenizer>(
//       inference::Tokenizer::from_folder(folder), lock);
//   shared->count_tokens("Budi tinggal di Jakarta");   // special tokens included
//
// Without a lock (nullptr) the operations run unguarded. Immutable; safe to
// share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inference/tokenizer.h"

namespace tesk_privacy::pii_detector {

class LockedTokenizer {
 public:
  explicit LockedTokenizer(inference::Tokenizer tokenizer, std::shared_ptr<std::recursive_mutex> lock = nullptr)
      : tokenizer_(std::move(tokenizer)), lock_(std::move(lock)) {}

  inference::Encoding encode(std::string_view text, bool add_special_tokens = true) const;
  std::vector<inference::Encoding> encode_batch(const std::vector<std::string>& texts,
                                                bool add_special_tokens = true) const;
  // Number of ids encode(text, true) gives.
  size_t count_tokens(std::string_view text) const;
  std::vector<std::string> tokenize(std::string_view text) const;
  std::string decode(std::span<const int32_t> ids, bool skip_special_tokens = false) const;
  std::vector<std::string> decode_batch(const std::vector<std::vector<int32_t>>& batch,
                                        bool skip_special_tokens = false) const;
  std::vector<std::string> convert_ids_to_tokens(std::span<const int32_t> ids,
                                                 bool skip_special_tokens = false) const;
  std::string convert_tokens_to_string(const std::vector<std::string>& tokens) const;
  // The pre-tokenizer's words; nullopt when the tokenizer has none. Pure
  // and unguarded, as it touches no shared state.
  std::optional<std::vector<inference::PreToken>> pre_tokenize(std::string_view text) const {
    return tokenizer_.pre_tokenize(text);
  }

  std::optional<size_t> model_max_length() const { return tokenizer_.model_max_length(); }
  // The tokenizer itself, for components that take it by value.
  const inference::Tokenizer& unguarded() const { return tokenizer_; }
  const std::shared_ptr<std::recursive_mutex>& lock() const { return lock_; }
  bool is_guarded() const { return lock_ != nullptr; }

 private:
  template <class F>
  decltype(auto) guarded(F&& f) const {
    if (!lock_) return f();
    std::lock_guard<std::recursive_mutex> hold(*lock_);
    return f();
  }

  inference::Tokenizer tokenizer_;
  std::shared_ptr<std::recursive_mutex> lock_;
};

}  // namespace tesk_privacy::pii_detector
