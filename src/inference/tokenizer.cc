#include "inference/tokenizer.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "inference/added_vocabulary.h"
#include "inference/decoders.h"
#include "inference/json_fields.h"
#include "inference/normalizers.h"
#include "inference/post_processors.h"
#include "inference/pre_tokenizers.h"
#include "inference/tokenizer_model.h"
#include "inference/unicode_support.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {

struct Tokenizer::Core {
  std::string origin;
  std::unique_ptr<Normalizer> normalizer;
  std::unique_ptr<PreTokenizer> pre_tokenizer;
  std::unique_ptr<TokenizerModel> model;
  std::unique_ptr<PostProcessor> post_processor;
  std::unique_ptr<Decoder> decoder;
  AddedVocabulary added;
  size_t special_tokens_to_add = 0;
};

namespace {

using nlohmann::json;

json parse_json(std::string_view text, const std::string& origin) {
  try {
    return json::parse(text);
  } catch (const json::exception& e) {
    fail_at(origin, std::string("not valid JSON: ") + e.what());
  }
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail_at(path.string(), "cannot open");
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Tokens [a, b) of `e`.
Encoding slice(const Encoding& e, size_t a, size_t b) {
  auto part = [a, b](const auto& v) { return std::decay_t<decltype(v)>(v.begin() + a, v.begin() + b); };
  Encoding out;
  out.ids = part(e.ids);
  out.type_ids = part(e.type_ids);
  out.tokens = part(e.tokens);
  out.offsets = part(e.offsets);
  out.word_ids = part(e.word_ids);
  out.special_tokens_mask = part(e.special_tokens_mask);
  return out;
}

}  // namespace

Tokenizer Tokenizer::from_folder(const std::filesystem::path& folder) {
  const auto file = folder / "tokenizer.json";
  if (!std::filesystem::exists(file)) {
    throw std::runtime_error(folder.string() +
                             ": no tokenizer.json (vocab.txt or SentencePiece files alone are not read)");
  }
  const auto config = folder / "tokenizer_config.json";
  return from_json(read_file(file), std::filesystem::exists(config) ? read_file(config) : std::string(),
                   file.string());
}

Tokenizer Tokenizer::from_json(std::string_view tokenizer_json, std::string_view config_json,
                               const std::string& origin) {
  const json j = parse_json(tokenizer_json, origin);
  if (!j.is_object() || !j.contains("model")) fail_at(origin, "no \"model\" section");
  auto core = std::make_shared<Core>();
  core->origin = origin;
  // Sections are read in place: copying a value recurses as deep as it nests.
  static const json kAbsent;
  auto section = [&j](const char* key) -> const json& {
    const auto it = j.find(key);
    return it == j.end() ? kAbsent : *it;
  };
  core->normalizer = make_normalizer(section("normalizer"), origin);
  core->pre_tokenizer = make_pre_tokenizer(section("pre_tokenizer"), origin);
  core->model = make_tokenizer_model(j["model"], origin);
  core->post_processor = make_post_processor(section("post_processor"), origin);
  core->decoder = make_decoder(section("decoder"), origin);
  core->added = AddedVocabulary(section("added_tokens"), core->normalizer.get(), origin);
  if (core->post_processor) {
    Encoding empty;
    core->post_processor->add_special_tokens(empty);
    core->special_tokens_to_add = empty.size();
  }
  Tokenizer tokenizer(std::move(core));

  if (!config_json.empty()) {
    const std::string config_origin =
        origin.size() >= 14 && origin.compare(origin.size() - 14, 14, "tokenizer.json") == 0
            ? origin.substr(0, origin.size() - 14) + "tokenizer_config.json"
            : "tokenizer_config.json";
    const json c = parse_json(config_json, config_origin);
    if (!c.is_object()) fail_at(config_origin, "not a JSON object");
    for (const char* key : {"model_max_length", "max_len"}) {
      if (!c.contains(key) || c[key].is_null()) continue;
      const json& v = c[key];
      if (v.is_number_unsigned() && v.get<uint64_t>() > 0) {
        tokenizer.model_max_length_ = static_cast<size_t>(v.get<uint64_t>());
      } else if (v.is_number_float() && std::isfinite(v.get<double>()) && v.get<double>() >= 1) {
        // Files without a real limit store a huge placeholder (1e30).
        if (v.get<double>() < 1e18) tokenizer.model_max_length_ = static_cast<size_t>(v.get<double>());
      } else {
        fail_at(config_origin, std::string("\"") + key + "\" must be a positive number");
      }
      break;
    }
    const std::string side = string_field(c, "truncation_side", "right", config_origin);
    if (side != "right" && side != "left") fail_at(config_origin, "truncation_side must be \"right\" or \"left\"");
    tokenizer.truncation_side_ = side == "left" ? TruncationSide::kLeft : TruncationSide::kRight;
    tokenizer.clean_up_ = bool_field(c, "clean_up_tokenization_spaces", false, config_origin);
  }
  return tokenizer;
}

Encoding Tokenizer::encode_content(std::string_view text) const {
  check_utf8(text);
  const Core& c = *core_;
  const std::u32string chars = to_u32(text);
  Encoding e;
  int32_t word = 0;
  auto push = [&e](int32_t id, const std::string& token, Offsets offsets, int32_t word_id) {
    e.ids.push_back(id);
    e.type_ids.push_back(0);
    e.tokens.push_back(token);
    e.offsets.push_back(offsets);
    e.word_ids.push_back(word_id);
    e.special_tokens_mask.push_back(0);
  };
  for (const auto& segment : c.added.split(chars, /*normalized=*/false)) {
    if (segment.id >= 0) {
      push(segment.id, *c.added.content(segment.id), {segment.start, segment.end}, word++);
      continue;
    }
    NormalizedString normalized = NormalizedString::from_original(
        std::u32string_view(chars).substr(segment.start, segment.end - segment.start), segment.start);
    if (c.normalizer) c.normalizer->normalize(normalized);
    for (const auto& part : c.added.split(normalized.text, /*normalized=*/true)) {
      NormalizedString piece = normalized.slice(part.start, part.end);
      if (part.id >= 0) {
        push(part.id, *c.added.content(part.id), piece.original_span(), word++);
        continue;
      }
      std::vector<NormalizedString> words{std::move(piece)};
      if (c.pre_tokenizer) c.pre_tokenizer->pre_tokenize(words);
      for (const NormalizedString& w : words) {
        const auto tokens = c.model->tokenize(w.text);
        for (const ModelToken& t : tokens) push(t.id, t.value, w.original_span(t.start, t.end), word);
        if (!tokens.empty()) ++word;
      }
    }
  }
  if (c.post_processor) c.post_processor->adjust_offsets(e);
  return e;
}

Encoding Tokenizer::encode(std::string_view text, bool add_special) const {
  Encoding e = encode_content(text);
  return add_special ? add_special_tokens(std::move(e)) : e;
}

Encoding Tokenizer::encode_truncated(std::string_view text, std::optional<size_t> max_length,
                                     bool add_special) const {
  Encoding e = encode_content(text);
  const std::optional<size_t> limit = max_length ? max_length : model_max_length_;
  if (limit) {
    const size_t specials = add_special ? num_special_tokens_to_add() : 0;
    if (*limit < specials) {
      throw std::invalid_argument("encode_truncated: max_length " + std::to_string(*limit) +
                                  " leaves no room for the " + std::to_string(specials) + " special tokens");
    }
    const size_t keep = *limit - specials;
    if (e.size() > keep) {
      e = truncation_side_ == TruncationSide::kRight ? slice(e, 0, keep) : slice(e, e.size() - keep, e.size());
    }
  }
  return add_special ? add_special_tokens(std::move(e)) : e;
}

std::vector<Encoding> Tokenizer::encode_batch(const std::vector<std::string>& texts, bool add_special) const {
  std::vector<Encoding> out;
  out.reserve(texts.size());
  for (const std::string& text : texts) out.push_back(encode(text, add_special));
  return out;
}

std::vector<std::string> Tokenizer::tokenize(std::string_view text) const { return encode_content(text).tokens; }

Encoding Tokenizer::add_special_tokens(Encoding content) const {
  if (core_->post_processor) core_->post_processor->add_special_tokens(content);
  return content;
}

size_t Tokenizer::num_special_tokens_to_add() const { return core_->special_tokens_to_add; }

const std::string* Tokenizer::id_to_token(int32_t id) const {
  if (const std::string* added = core_->added.content(id)) return added;
  return core_->model->vocab().token(id);
}

std::vector<std::string> Tokenizer::convert_ids_to_tokens(std::span<const int32_t> ids,
                                                          bool skip_special_tokens) const {
  std::vector<std::string> tokens;
  tokens.reserve(ids.size());
  for (int32_t id : ids) {
    if (skip_special_tokens && is_special_token(id)) continue;
    const std::string* token = id_to_token(id);
    if (token == nullptr) {
      throw std::invalid_argument("token id " + std::to_string(id) + " is outside the vocabulary of " +
                                  std::to_string(vocab_size()));
    }
    tokens.push_back(*token);
  }
  return tokens;
}

std::string Tokenizer::convert_tokens_to_string(const std::vector<std::string>& tokens) const {
  std::string out;
  if (core_->decoder) {
    for (const std::string& piece : core_->decoder->decode_chain(tokens)) out += piece;
    return out;
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) out += ' ';
    out += tokens[i];
  }
  return out;
}

std::string Tokenizer::decode(std::span<const int32_t> ids, bool skip_special_tokens) const {
  std::string text = convert_tokens_to_string(convert_ids_to_tokens(ids, skip_special_tokens));
  return clean_up_ ? clean_up_tokenization(std::move(text)) : text;
}

std::vector<std::string> Tokenizer::decode_batch(const std::vector<std::vector<int32_t>>& batch,
                                                 bool skip_special_tokens) const {
  std::vector<std::string> out;
  out.reserve(batch.size());
  for (const auto& ids : batch) out.push_back(decode(ids, skip_special_tokens));
  return out;
}

std::optional<int32_t> Tokenizer::token_to_id(std::string_view token) const {
  if (auto id = core_->added.find(token)) return id;
  return core_->model->vocab().find(token);
}

std::optional<std::vector<PreToken>> Tokenizer::pre_tokenize(std::string_view text) const {
  if (!core_->pre_tokenizer) return std::nullopt;
  check_utf8(text);
  std::vector<NormalizedString> words{NormalizedString::from_original(to_u32(text), 0)};
  if (words[0].empty()) words.clear();
  core_->pre_tokenizer->pre_tokenize(words);
  std::vector<PreToken> out;
  out.reserve(words.size());
  for (const NormalizedString& w : words) out.push_back({to_utf8(w.text), w.original_span()});
  return out;
}

bool Tokenizer::has_pre_tokenizer() const { return core_->pre_tokenizer != nullptr; }

Tokenizer Tokenizer::with_model_max_length(std::optional<size_t> length) const {
  Tokenizer copy = *this;
  copy.model_max_length_ = length;
  return copy;
}

Tokenizer Tokenizer::with_truncation_side(TruncationSide side) const {
  Tokenizer copy = *this;
  copy.truncation_side_ = side;
  return copy;
}

Tokenizer Tokenizer::with_clean_up_tokenization_spaces(bool clean_up) const {
  Tokenizer copy = *this;
  copy.clean_up_ = clean_up;
  return copy;
}

size_t Tokenizer::vocab_size() const {
  return std::max(core_->model->vocab().size(), core_->added.id_limit());
}

std::optional<int32_t> Tokenizer::unk_token_id() const { return core_->model->unk_id(); }

std::string Tokenizer::continuing_subword_prefix() const { return core_->model->continuing_subword_prefix(); }

bool Tokenizer::is_special_token(int32_t id) const { return core_->added.is_special(id); }

}  // namespace tesk_privacy::inference
