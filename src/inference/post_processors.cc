#include "inference/post_processors.h"

#include <algorithm>
#include <map>
#include <vector>

#include "inference/byte_level.h"
#include "inference/json_fields.h"
#include "inference/unicode_support.h"

namespace tesk_privacy::inference {
namespace {

using nlohmann::json;

struct SpecialToken {
  std::vector<int32_t> ids;
  std::vector<std::string> tokens;
  int32_t type_id = 0;
};

// The content of `e` between `before` and `after`, which may each hold
// several tokens.
void surround(Encoding& e, const std::vector<SpecialToken>& before, const std::vector<SpecialToken>& after,
              int32_t content_type) {
  Encoding out;
  auto add = [&out](const SpecialToken& s) {
    for (size_t i = 0; i < s.ids.size(); ++i) {
      out.ids.push_back(s.ids[i]);
      out.tokens.push_back(s.tokens[i]);
      out.type_ids.push_back(s.type_id);
      out.offsets.push_back({0, 0});
      out.word_ids.push_back(kNoWord);
      out.special_tokens_mask.push_back(1);
    }
  };
  for (const SpecialToken& s : before) add(s);
  for (size_t i = 0; i < e.size(); ++i) {
    out.ids.push_back(e.ids[i]);
    out.tokens.push_back(std::move(e.tokens[i]));
    out.type_ids.push_back(content_type);
    out.offsets.push_back(e.offsets[i]);
    out.word_ids.push_back(e.word_ids[i]);
    out.special_tokens_mask.push_back(e.special_tokens_mask[i]);
  }
  for (const SpecialToken& s : after) add(s);
  e = std::move(out);
}

SpecialToken pair_token(const json& desc, const char* key, const std::string& origin) {
  auto it = desc.find(key);
  if (it == desc.end() || !it->is_array() || it->size() != 2 || !(*it)[0].is_string()) {
    fail_at(origin, std::string("\"") + key + "\" must be [token, id]");
  }
  return {{id_value((*it)[1], origin, key)}, {(*it)[0].get<std::string>()}, 0};
}

// "Ġ" tokens cover the space byte they start with; offsets move past it.
void trim_byte_level_offsets(Encoding& e, bool add_prefix_space) {
  const char32_t space = byte_to_char(' ');
  for (size_t i = 0; i < e.size(); ++i) {
    if (e.special_tokens_mask[i]) continue;
    const std::u32string token = to_u32(e.tokens[i]);
    auto blank = [space](char32_t c) { return c == space || is_whitespace(c); };
    size_t leading = 0, trailing = 0;
    while (leading < token.size() && blank(token[leading])) ++leading;
    while (trailing < token.size() && blank(token[token.size() - 1 - trailing])) ++trailing;
    Offsets& o = e.offsets[i];
    if (leading > 0) {
      // The space added in front of the first word is not in the text; its
      // offsets already start at the word.
      const bool first = i == 0 || o.start == 0;
      if (!(first && add_prefix_space && leading == 1)) o.start = std::min(o.start + leading, o.end);
    }
    if (trailing > 0 && o.end >= trailing) {
      o.end = std::max(o.end - trailing, o.start);
    }
  }
}

class TemplateProcessing : public PostProcessor {
 public:
  TemplateProcessing(const json& desc, const std::string& origin) {
    std::map<std::string, SpecialToken> specials;
    if (desc.contains("special_tokens") && desc["special_tokens"].is_object()) {
      for (const auto& [name, entry] : desc["special_tokens"].items()) {
        SpecialToken s;
        const json& ids = array_field(entry, "ids", origin);
        const json& tokens = array_field(entry, "tokens", origin);
        if (ids.size() != tokens.size()) fail_at(origin, "special token '" + name + "' has unequal ids and tokens");
        for (size_t i = 0; i < ids.size(); ++i) {
          s.ids.push_back(id_value(ids[i], origin, "special token '" + name + "'"));
          if (!tokens[i].is_string()) fail_at(origin, "special token '" + name + "' has a token that is not a string");
          s.tokens.push_back(tokens[i].get<std::string>());
        }
        specials[name] = std::move(s);
      }
    }
    bool seen_sequence = false;
    for (const json& piece : array_field(desc, "single", origin)) {
      if (piece.contains("SpecialToken") && piece["SpecialToken"].is_object()) {
        const std::string name = string_field(piece["SpecialToken"], "id", "", origin);
        auto it = specials.find(name);
        if (it == specials.end()) fail_at(origin, "template uses special token '" + name + "' that is not defined");
        SpecialToken s = it->second;
        s.type_id = static_cast<int32_t>(uint_field(piece["SpecialToken"], "type_id", 0, origin));
        (seen_sequence ? after_ : before_).push_back(std::move(s));
      } else if (piece.contains("Sequence") && piece["Sequence"].is_object()) {
        if (seen_sequence || string_field(piece["Sequence"], "id", "A", origin) != "A") {
          fail_at(origin, "the single-sequence template must hold sequence A exactly once");
        }
        seen_sequence = true;
        content_type_ = static_cast<int32_t>(uint_field(piece["Sequence"], "type_id", 0, origin));
      } else {
        fail_at(origin, "template piece " + shown(piece) + " is neither SpecialToken nor Sequence");
      }
    }
    if (!seen_sequence) fail_at(origin, "the single-sequence template has no sequence A");
  }

  void add_special_tokens(Encoding& e) const override { surround(e, before_, after_, content_type_); }

 private:
  std::vector<SpecialToken> before_, after_;
  int32_t content_type_ = 0;
};

class BertProcessing : public PostProcessor {
 public:
  BertProcessing(const json& desc, const std::string& origin)
      : cls_(pair_token(desc, "cls", origin)), sep_(pair_token(desc, "sep", origin)) {}
  void add_special_tokens(Encoding& e) const override { surround(e, {cls_}, {sep_}, 0); }

 private:
  SpecialToken cls_, sep_;
};

class RobertaProcessing : public PostProcessor {
 public:
  RobertaProcessing(const json& desc, const std::string& origin)
      : cls_(pair_token(desc, "cls", origin)),
        sep_(pair_token(desc, "sep", origin)),
        trim_offsets_(bool_field(desc, "trim_offsets", true, origin)),
        add_prefix_space_(bool_field(desc, "add_prefix_space", true, origin)) {}
  void adjust_offsets(Encoding& e) const override {
    if (trim_offsets_) trim_byte_level_offsets(e, add_prefix_space_);
  }
  void add_special_tokens(Encoding& e) const override { surround(e, {cls_}, {sep_}, 0); }

 private:
  SpecialToken cls_, sep_;
  bool trim_offsets_, add_prefix_space_;
};

class ByteLevelProcessing : public PostProcessor {
 public:
  ByteLevelProcessing(const json& desc, const std::string& origin)
      : trim_offsets_(bool_field(desc, "trim_offsets", true, origin)),
        add_prefix_space_(bool_field(desc, "add_prefix_space", true, origin)) {}
  void adjust_offsets(Encoding& e) const override {
    if (trim_offsets_) trim_byte_level_offsets(e, add_prefix_space_);
  }
  void add_special_tokens(Encoding&) const override {}

 private:
  bool trim_offsets_, add_prefix_space_;
};

class Sequence : public PostProcessor {
 public:
  explicit Sequence(std::vector<std::unique_ptr<PostProcessor>> parts) : parts_(std::move(parts)) {}
  void adjust_offsets(Encoding& e) const override {
    for (const auto& p : parts_) p->adjust_offsets(e);
  }
  void add_special_tokens(Encoding& e) const override {
    for (const auto& p : parts_) p->add_special_tokens(e);
  }

 private:
  std::vector<std::unique_ptr<PostProcessor>> parts_;
};

}  // namespace

std::unique_ptr<PostProcessor> make_post_processor(const json& desc, const std::string& origin, int depth) {
  if (desc.is_null()) return nullptr;
  const std::string type = component_type(desc, origin, "post-processor");
  const std::string where = origin + ": post-processor " + type;
  if (type == "TemplateProcessing") return std::make_unique<TemplateProcessing>(desc, where);
  if (type == "BertProcessing") return std::make_unique<BertProcessing>(desc, where);
  if (type == "RobertaProcessing") return std::make_unique<RobertaProcessing>(desc, where);
  if (type == "ByteLevel") return std::make_unique<ByteLevelProcessing>(desc, where);
  if (type == "Sequence") {
    check_sequence_nesting(depth, where);
    std::vector<std::unique_ptr<PostProcessor>> parts;
    for (const json& part : array_field(desc, "processors", where)) {
      auto p = make_post_processor(part, origin, depth + 1);
      if (p) parts.push_back(std::move(p));
    }
    return std::make_unique<Sequence>(std::move(parts));
  }
  fail_at(origin, "post-processor type '" + type + "' is not supported");
}

}  // namespace tesk_privacy::inference
