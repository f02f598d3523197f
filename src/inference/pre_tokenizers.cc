#include "inference/pre_tokenizers.h"

#include <functional>

#include "inference/byte_level.h"
#include "inference/json_fields.h"
#include "inference/pattern_matcher.h"
#include "inference/unicode_support.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

using nlohmann::json;
using Ranges = std::vector<std::pair<size_t, size_t>>;

// One-code-point delimiter ranges where `pred` holds.
Ranges char_matches(const std::u32string& text, const std::function<bool(char32_t)>& pred) {
  Ranges out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (pred(text[i])) out.emplace_back(i, i + 1);
  }
  return out;
}

// Applies `split` to every piece.
template <typename Fn>
void split_each(std::vector<NormalizedString>& pieces, Fn&& split) {
  std::vector<NormalizedString> out;
  out.reserve(pieces.size());
  for (const NormalizedString& piece : pieces) split(piece, out);
  pieces = std::move(out);
}

SplitBehavior parse_behavior(const std::string& name, const std::string& origin) {
  if (name == "Removed") return SplitBehavior::kRemoved;
  if (name == "Isolated") return SplitBehavior::kIsolated;
  if (name == "MergedWithPrevious") return SplitBehavior::kMergedWithPrevious;
  if (name == "MergedWithNext") return SplitBehavior::kMergedWithNext;
  if (name == "Contiguous") return SplitBehavior::kContiguous;
  fail_at(origin, "split behavior '" + name + "' is not supported");
}

class BertPreTokenizer : public PreTokenizer {
 public:
  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [](const NormalizedString& p, std::vector<NormalizedString>& out) {
      std::vector<NormalizedString> words;
      split_at(p, char_matches(p.text, is_whitespace), SplitBehavior::kRemoved, words);
      for (const auto& w : words) split_at(w, char_matches(w.text, is_punctuation), SplitBehavior::kIsolated, out);
    });
  }
};

class CharSplit : public PreTokenizer {
 public:
  CharSplit(std::function<bool(char32_t)> pred, SplitBehavior behavior)
      : pred_(std::move(pred)), behavior_(behavior) {}
  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [this](const NormalizedString& p, std::vector<NormalizedString>& out) {
      split_at(p, char_matches(p.text, pred_), behavior_, out);
    });
  }

 private:
  std::function<bool(char32_t)> pred_;
  SplitBehavior behavior_;
};

class RegexSplit : public PreTokenizer {
 public:
  RegexSplit(std::unique_ptr<PatternMatcher> regex, std::u32string literal, SplitBehavior behavior,
             bool invert)
      : regex_(std::move(regex)), literal_(std::move(literal)), behavior_(behavior), invert_(invert) {}

  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [this](const NormalizedString& p, std::vector<NormalizedString>& out) {
      Ranges matches = find(p.text);
      if (invert_) {
        Ranges gaps;
        size_t prev = 0;
        for (auto [a, b] : matches) {
          if (prev < a) gaps.emplace_back(prev, a);
          prev = b;
        }
        if (prev < p.size()) gaps.emplace_back(prev, p.size());
        matches = std::move(gaps);
      }
      split_at(p, matches, behavior_, out);
    });
  }

 private:
  Ranges find(const std::u32string& text) const {
    if (regex_) return regex_->find_all(text);
    Ranges out;
    for (size_t pos = text.find(literal_); pos != std::u32string::npos;
         pos = text.find(literal_, pos + literal_.size())) {
      out.emplace_back(pos, pos + literal_.size());
    }
    return out;
  }

  std::unique_ptr<PatternMatcher> regex_;
  std::u32string literal_;
  SplitBehavior behavior_;
  bool invert_;
};

class ByteLevel : public PreTokenizer {
 public:
  ByteLevel(bool add_prefix_space, bool use_regex, const std::string& origin)
      : add_prefix_space_(add_prefix_space),
        regex_(use_regex ? std::make_unique<PatternMatcher>(kByteLevelPattern, origin) : nullptr) {}

  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [this](const NormalizedString& p, std::vector<NormalizedString>& out) {
      NormalizedString s = p;
      if (add_prefix_space_ && !s.empty() && s.text[0] != U' ') s.prepend(U" ");
      if (regex_) {
        split_at(s, regex_->find_all(s.text), SplitBehavior::kIsolated, out);
      } else if (!s.empty()) {
        out.push_back(std::move(s));
      }
    });
    for (NormalizedString& piece : pieces) {
      piece.map([](char32_t c, std::u32string& out) {
        std::string bytes;
        append_utf8(bytes, c);
        for (char b : bytes) out.push_back(byte_to_char(static_cast<uint8_t>(b)));
      });
    }
  }

 private:
  bool add_prefix_space_;
  std::unique_ptr<PatternMatcher> regex_;
};

enum class PrependScheme { kAlways, kFirst, kNever };

class Metaspace : public PreTokenizer {
 public:
  Metaspace(char32_t replacement, PrependScheme scheme, bool split)
      : replacement_(replacement), scheme_(scheme), split_(split) {}

  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [this](const NormalizedString& p, std::vector<NormalizedString>& out) {
      NormalizedString s = p;
      for (char32_t& c : s.text) {
        if (c == U' ') c = replacement_;
      }
      const bool starts = !s.empty() && s.text[0] == replacement_;
      if (!s.empty() && !starts &&
          (scheme_ == PrependScheme::kAlways || (scheme_ == PrependScheme::kFirst && s.align[0].start == 0))) {
        s.prepend(std::u32string(1, replacement_));
      }
      if (split_) {
        split_at(s, char_matches(s.text, [this](char32_t c) { return c == replacement_; }),
                 SplitBehavior::kMergedWithNext, out);
      } else if (!s.empty()) {
        out.push_back(std::move(s));
      }
    });
  }

 private:
  char32_t replacement_;
  PrependScheme scheme_;
  bool split_;
};

class Sequence : public PreTokenizer {
 public:
  explicit Sequence(std::vector<std::unique_ptr<PreTokenizer>> parts) : parts_(std::move(parts)) {}
  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    for (const auto& p : parts_) p->pre_tokenize(pieces);
  }

 private:
  std::vector<std::unique_ptr<PreTokenizer>> parts_;
};

// Keeps only the matches of a pattern (the Whitespace pre-tokenizer).
class KeepMatches : public PreTokenizer {
 public:
  explicit KeepMatches(std::unique_ptr<PatternMatcher> regex) : regex_(std::move(regex)) {}
  void pre_tokenize(std::vector<NormalizedString>& pieces) const override {
    split_each(pieces, [this](const NormalizedString& p, std::vector<NormalizedString>& out) {
      for (auto [a, b] : regex_->find_all(p.text)) out.push_back(p.slice(a, b));
    });
  }

 private:
  std::unique_ptr<PatternMatcher> regex_;
};

char32_t single_char(const std::string& s, const std::string& origin, const char* what) {
  std::u32string u = to_u32(s);
  if (u.size() != 1) fail_at(origin, std::string("\"") + what + "\" must be one character");
  return u[0];
}

}  // namespace

std::unique_ptr<PreTokenizer> make_pre_tokenizer(const json& desc, const std::string& origin, int depth) {
  if (desc.is_null()) return nullptr;
  const std::string type = component_type(desc, origin, "pre-tokenizer");
  const std::string where = origin + ": pre-tokenizer " + type;
  if (type == "BertPreTokenizer") return std::make_unique<BertPreTokenizer>();
  if (type == "Whitespace") {
    return std::make_unique<KeepMatches>(std::make_unique<PatternMatcher>(R"(\w+|[^\w\s]+)", where));
  }
  if (type == "WhitespaceSplit") return std::make_unique<CharSplit>(is_whitespace, SplitBehavior::kRemoved);
  if (type == "Punctuation") {
    return std::make_unique<CharSplit>(is_punctuation,
                                       parse_behavior(string_field(desc, "behavior", "Isolated", where), where));
  }
  if (type == "Digits") {
    return std::make_unique<CharSplit>(is_decimal_digit, bool_field(desc, "individual_digits", false, where)
                                                             ? SplitBehavior::kIsolated
                                                             : SplitBehavior::kContiguous);
  }
  if (type == "CharDelimiterSplit") {
    char32_t d = single_char(string_field(desc, "delimiter", "", where), where, "delimiter");
    return std::make_unique<CharSplit>([d](char32_t c) { return c == d; }, SplitBehavior::kRemoved);
  }
  if (type == "Split") {
    const json& pattern = desc.contains("pattern") ? desc["pattern"] : json();
    std::unique_ptr<PatternMatcher> regex;
    std::u32string literal;
    if (pattern.is_object() && pattern.contains("Regex") && pattern["Regex"].is_string()) {
      regex = std::make_unique<PatternMatcher>(pattern["Regex"].get<std::string>(), where);
    } else if (pattern.is_object() && pattern.contains("String") && pattern["String"].is_string()) {
      literal = to_u32(pattern["String"].get<std::string>());
      if (literal.empty()) fail_at(where, "empty String pattern");
    } else {
      fail_at(where, "pattern must be {\"String\": ...} or {\"Regex\": ...}");
    }
    return std::make_unique<RegexSplit>(std::move(regex), std::move(literal),
                                        parse_behavior(string_field(desc, "behavior", "Removed", where), where),
                                        bool_field(desc, "invert", false, where));
  }
  if (type == "ByteLevel") {
    return std::make_unique<ByteLevel>(bool_field(desc, "add_prefix_space", true, where),
                                       bool_field(desc, "use_regex", true, where), where);
  }
  if (type == "Metaspace") {
    char32_t replacement = single_char(string_field(desc, "replacement", "\u2581", where), where, "replacement");
    PrependScheme scheme = bool_field(desc, "add_prefix_space", true, where) ? PrependScheme::kAlways
                                                                             : PrependScheme::kNever;
    if (auto s = optional_string(desc, "prepend_scheme", where)) {
      if (*s == "always") scheme = PrependScheme::kAlways;
      else if (*s == "first") scheme = PrependScheme::kFirst;
      else if (*s == "never") scheme = PrependScheme::kNever;
      else fail_at(where, "prepend_scheme '" + *s + "' is not supported");
    }
    return std::make_unique<Metaspace>(replacement, scheme, bool_field(desc, "split", true, where));
  }
  if (type == "Sequence") {
    check_sequence_nesting(depth, where);
    std::vector<std::unique_ptr<PreTokenizer>> parts;
    for (const json& part : array_field(desc, "pretokenizers", where)) {
      auto p = make_pre_tokenizer(part, origin, depth + 1);
      if (p) parts.push_back(std::move(p));
    }
    return std::make_unique<Sequence>(std::move(parts));
  }
  fail_at(origin, "pre-tokenizer type '" + type + "' is not supported");
}

}  // namespace tesk_privacy::inference
