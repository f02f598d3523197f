#include "inference/normalizers.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstring>
#include <vector>

#include "inference/json_fields.h"
#include "inference/pattern_matcher.h"
#include "inference/unicode_support.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

using nlohmann::json;

const icu::Normalizer2& icu_normalizer(NormalizationForm form) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = nullptr;
  switch (form) {
    case NormalizationForm::kNFC: n = icu::Normalizer2::getNFCInstance(status); break;
    case NormalizationForm::kNFD: n = icu::Normalizer2::getNFDInstance(status); break;
    case NormalizationForm::kNFKC: n = icu::Normalizer2::getNFKCInstance(status); break;
    case NormalizationForm::kNFKD: n = icu::Normalizer2::getNFKDInstance(status); break;
  }
  if (U_FAILURE(status) || n == nullptr) throw std::runtime_error("ICU normalisation data unavailable");
  return *n;
}

// A deleted span joins the code point before it when they are adjacent in
// the original (as NormalizedString::map does).
void absorb(NormalizedString& out, Offsets deleted) {
  if (!out.empty() && out.align.back().end == deleted.start) out.align.back().end = deleted.end;
}

class BertNormalizer : public Normalizer {
 public:
  BertNormalizer(bool clean_text, bool chinese, bool strip_accents, bool lowercase)
      : clean_text_(clean_text), chinese_(chinese), strip_accents_(strip_accents), lowercase_(lowercase) {}

  void normalize(NormalizedString& s) const override {
    if (clean_text_) {
      s.map([](char32_t c, std::u32string& out) {
        if (c == 0 || c == 0xFFFD || is_control(c)) return;
        out.push_back(is_whitespace(c) ? U' ' : c);
      });
    }
    if (chinese_) {
      s.map([](char32_t c, std::u32string& out) {
        if (is_cjk_ideograph(c)) {
          out += U' ';
          out += c;
          out += U' ';
        } else {
          out.push_back(c);
        }
      });
    }
    if (strip_accents_) {
      unicode_normalize(s, NormalizationForm::kNFD);
      s.map([](char32_t c, std::u32string& out) {
        if (!is_nonspacing_mark(c)) out.push_back(c);
      });
    }
    if (lowercase_) s.map([](char32_t c, std::u32string& out) { append_lowercase(c, out); });
  }

 private:
  bool clean_text_, chinese_, strip_accents_, lowercase_;
};

class UnicodeNormalizer : public Normalizer {
 public:
  explicit UnicodeNormalizer(NormalizationForm form) : form_(form) {}
  void normalize(NormalizedString& s) const override { unicode_normalize(s, form_); }

 private:
  NormalizationForm form_;
};

class Lowercase : public Normalizer {
 public:
  void normalize(NormalizedString& s) const override {
    s.map([](char32_t c, std::u32string& out) { append_lowercase(c, out); });
  }
};

class StripAccents : public Normalizer {
 public:
  void normalize(NormalizedString& s) const override {
    s.map([](char32_t c, std::u32string& out) {
      if (!is_nonspacing_mark(c)) out.push_back(c);
    });
  }
};

class Strip : public Normalizer {
 public:
  Strip(bool left, bool right) : left_(left), right_(right) {}
  void normalize(NormalizedString& s) const override {
    size_t a = 0, b = s.size();
    if (left_) while (a < b && is_whitespace(s.text[a])) ++a;
    if (right_) while (b > a && is_whitespace(s.text[b - 1])) --b;
    s = s.slice(a, b);
  }

 private:
  bool left_, right_;
};

class Prepend : public Normalizer {
 public:
  explicit Prepend(std::u32string prefix) : prefix_(std::move(prefix)) {}
  void normalize(NormalizedString& s) const override { s.prepend(prefix_); }

 private:
  std::u32string prefix_;
};

// Matches of a literal string or a regular expression.
class Pattern {
 public:
  Pattern(const json& desc, const std::string& origin) {
    if (desc.is_object() && desc.contains("String") && desc["String"].is_string()) {
      literal_ = to_u32(desc["String"].get<std::string>());
      if (literal_.empty()) fail_at(origin, "empty String pattern");
    } else if (desc.is_object() && desc.contains("Regex") && desc["Regex"].is_string()) {
      regex_ = std::make_unique<PatternMatcher>(desc["Regex"].get<std::string>(), origin);
    } else if (desc.is_string()) {  // a bare string is a literal
      literal_ = to_u32(desc.get<std::string>());
      if (literal_.empty()) fail_at(origin, "empty String pattern");
    } else {
      fail_at(origin, "pattern must be {\"String\": ...} or {\"Regex\": ...}");
    }
  }

  std::vector<std::pair<size_t, size_t>> find_all(std::u32string_view text) const {
    if (regex_) return regex_->find_all(text);
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t pos = text.find(literal_); pos != std::u32string_view::npos;
         pos = text.find(literal_, pos + literal_.size())) {
      out.emplace_back(pos, pos + literal_.size());
    }
    return out;
  }

 private:
  std::u32string literal_;
  std::unique_ptr<PatternMatcher> regex_;
};

class Replace : public Normalizer {
 public:
  Replace(const json& desc, const std::string& origin)
      : pattern_(desc.contains("pattern") ? desc["pattern"] : json(), origin),
        content_(to_u32(string_field(desc, "content", "", origin))) {}

  void normalize(NormalizedString& s) const override {
    auto matches = pattern_.find_all(s.text);
    if (matches.empty()) return;
    NormalizedString out;
    size_t prev = 0;
    for (auto [a, b] : matches) {
      for (size_t i = prev; i < a; ++i) out.push(s.text[i], s.align[i]);
      for (char32_t c : content_) out.push(c, s.original_span(a, b));
      if (content_.empty()) absorb(out, s.original_span(a, b));
      prev = b;
    }
    for (size_t i = prev; i < s.size(); ++i) out.push(s.text[i], s.align[i]);
    s = std::move(out);
  }

 private:
  Pattern pattern_;
  std::u32string content_;
};

class Nmt : public Normalizer {
 public:
  void normalize(NormalizedString& s) const override {
    s.map([](char32_t c, std::u32string& out) {
      if ((c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F ||
          c == 0x8F || c == 0x9F) {
        return;
      }
      const bool space = c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x1680 ||
                         (c >= 0x200B && c <= 0x200F) || c == 0x2028 || c == 0x2029 ||
                         c == 0x2581 || c == 0xFEFF || c == 0xFFFD;
      out.push_back(space ? U' ' : c);
    });
  }
};

std::string base64_decode(const std::string& in, const std::string& origin) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
  };
  std::string out;
  uint32_t buffer = 0;
  int bits = 0;
  for (char c : in) {
    if (c == '=' || c == '\n' || c == '\r') continue;
    int v = value(c);
    if (v < 0) fail_at(origin, "precompiled_charsmap is not base64");
    buffer = buffer << 6 | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

// SentencePiece's compiled normalisation rules: a double-array trie over
// UTF-8 byte sequences whose values index NUL-terminated replacements. At
// each position the longest rule that matches is applied; text no rule
// matches is kept one code point at a time.
class Precompiled : public Normalizer {
 public:
  Precompiled(const std::string& blob, const std::string& origin) : origin_(origin) {
    if (blob.empty()) return;  // no rules
    if (blob.size() < 4) fail_at(origin, "precompiled_charsmap is truncated");
    uint32_t trie_bytes = 0;
    for (int i = 3; i >= 0; --i) trie_bytes = trie_bytes << 8 | static_cast<unsigned char>(blob[i]);
    if (trie_bytes % 4 != 0 || trie_bytes > blob.size() - 4) {
      fail_at(origin, "precompiled_charsmap is truncated or corrupt (trie of " +
                          std::to_string(trie_bytes) + " bytes)");
    }
    units_.resize(trie_bytes / 4);
    std::memcpy(units_.data(), blob.data() + 4, trie_bytes);  // little-endian host
    replacements_ = blob.substr(4 + trie_bytes);
  }

  void normalize(NormalizedString& s) const override {
    if (units_.empty() || s.empty()) return;
    // UTF-8 of the text and the byte offset of each code point.
    std::string bytes;
    std::vector<size_t> byte_of(s.size() + 1);
    for (size_t i = 0; i < s.size(); ++i) {
      byte_of[i] = bytes.size();
      append_utf8(bytes, s.text[i]);
    }
    byte_of[s.size()] = bytes.size();

    NormalizedString out;
    size_t i = 0;
    while (i < s.size()) {
      size_t matched_chars = 0;
      uint32_t value = 0;
      longest_rule(bytes, byte_of, i, matched_chars, value);
      if (matched_chars == 0) {
        out.push(s.text[i], s.align[i]);
        ++i;
        continue;
      }
      const Offsets span = s.original_span(i, i + matched_chars);
      size_t end = replacements_.find('\0', value);
      if (end == std::string::npos) end = replacements_.size();
      std::string_view replacement(replacements_.data() + value, end - value);
      if (find_invalid_utf8(replacement) != std::string_view::npos) {
        fail_at(origin_, "precompiled_charsmap holds a replacement that is not UTF-8");
      }
      for (char32_t c : to_u32(replacement)) out.push(c, span);
      if (replacement.empty()) absorb(out, span);
      i += matched_chars;
    }
    s = std::move(out);
  }

 private:
  uint32_t unit(size_t pos) const {
    if (pos >= units_.size()) fail_at(origin_, "precompiled_charsmap is corrupt (trie index out of range)");
    return units_[pos];
  }
  static uint32_t offset_of(uint32_t u) { return (u >> 10) << ((u & (1u << 9)) >> 6); }

  // The longest rule matching the text from code point `start`, ending on a
  // code-point boundary.
  void longest_rule(const std::string& bytes, const std::vector<size_t>& byte_of, size_t start,
                    size_t& matched_chars, uint32_t& value) const {
    size_t node = offset_of(unit(0));
    size_t ch = start;
    for (size_t b = byte_of[start]; b < bytes.size(); ++b) {
      const auto label = static_cast<unsigned char>(bytes[b]);
      if (label == 0) break;
      node ^= label;
      const uint32_t u = unit(node);
      if ((u & 0x800000FFu) != label) break;
      node ^= offset_of(u);
      while (byte_of[ch + 1] <= b) ++ch;  // code point holding byte b
      if (((u >> 8) & 1) != 0 && byte_of[ch + 1] == b + 1) {
        const uint32_t v = unit(node) & 0x7FFFFFFFu;
        if (v >= replacements_.size()) fail_at(origin_, "precompiled_charsmap is corrupt (value out of range)");
        matched_chars = ch + 1 - start;
        value = v;
      }
    }
  }

  std::string origin_;
  std::vector<uint32_t> units_;
  std::string replacements_;
};

class Sequence : public Normalizer {
 public:
  explicit Sequence(std::vector<std::unique_ptr<Normalizer>> parts) : parts_(std::move(parts)) {}
  void normalize(NormalizedString& s) const override {
    for (const auto& p : parts_) p->normalize(s);
  }

 private:
  std::vector<std::unique_ptr<Normalizer>> parts_;
};

}  // namespace

void unicode_normalize(NormalizedString& s, NormalizationForm form) {
  const icu::Normalizer2& norm = icu_normalizer(form);
  NormalizedString out;
  out.text.reserve(s.size());
  out.align.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i + 1;
    while (j < s.size() && !norm.hasBoundaryBefore(static_cast<UChar32>(s.text[j]))) ++j;
    if (j == i + 1 && s.text[i] < 0x80) {
      out.push(s.text[i], s.align[i]);
      i = j;
      continue;
    }
    icu::UnicodeString segment;
    for (size_t k = i; k < j; ++k) segment.append(static_cast<UChar32>(s.text[k]));
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = norm.normalize(segment, status);
    if (U_FAILURE(status)) throw std::runtime_error("Unicode normalisation failed");
    std::u32string chars;
    for (int32_t k = 0; k < result.length();) {
      UChar32 c = result.char32At(k);
      chars.push_back(static_cast<char32_t>(c));
      k += U16_LENGTH(c);
    }
    if (chars.size() == j - i) {
      for (size_t k = 0; k < chars.size(); ++k) out.push(chars[k], s.align[i + k]);
    } else {
      const Offsets span = s.original_span(i, j);
      for (char32_t c : chars) out.push(c, span);
    }
    i = j;
  }
  s = std::move(out);
}

std::unique_ptr<Normalizer> make_normalizer(const json& desc, const std::string& origin, int depth) {
  if (desc.is_null()) return nullptr;
  const std::string type = component_type(desc, origin, "normalizer");
  const std::string where = origin + ": normalizer " + type;
  if (type == "BertNormalizer") {
    const bool lowercase = bool_field(desc, "lowercase", true, where);
    return std::make_unique<BertNormalizer>(bool_field(desc, "clean_text", true, where),
                                            bool_field(desc, "handle_chinese_chars", true, where),
                                            bool_field(desc, "strip_accents", lowercase, where), lowercase);
  }
  if (type == "NFC") return std::make_unique<UnicodeNormalizer>(NormalizationForm::kNFC);
  if (type == "NFD") return std::make_unique<UnicodeNormalizer>(NormalizationForm::kNFD);
  if (type == "NFKC") return std::make_unique<UnicodeNormalizer>(NormalizationForm::kNFKC);
  if (type == "NFKD") return std::make_unique<UnicodeNormalizer>(NormalizationForm::kNFKD);
  if (type == "Lowercase") return std::make_unique<Lowercase>();
  if (type == "StripAccents") return std::make_unique<StripAccents>();
  if (type == "Strip") {
    return std::make_unique<Strip>(bool_field(desc, "strip_left", true, where),
                                   bool_field(desc, "strip_right", true, where));
  }
  if (type == "Prepend") return std::make_unique<Prepend>(to_u32(string_field(desc, "prepend", "", where)));
  if (type == "Replace") return std::make_unique<Replace>(desc, where);
  if (type == "Nmt") return std::make_unique<Nmt>();
  if (type == "Precompiled") {
    auto map = optional_string(desc, "precompiled_charsmap", where);
    return std::make_unique<Precompiled>(map ? base64_decode(*map, where) : std::string(), where);
  }
  if (type == "Sequence") {
    check_sequence_nesting(depth, where);
    std::vector<std::unique_ptr<Normalizer>> parts;
    for (const json& part : array_field(desc, "normalizers", where)) {
      auto n = make_normalizer(part, origin, depth + 1);
      if (n) parts.push_back(std::move(n));
    }
    return std::make_unique<Sequence>(std::move(parts));
  }
  fail_at(origin, "normalizer type '" + type + "' is not supported");
}

}  // namespace tesk_privacy::inference
