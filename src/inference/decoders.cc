#include "inference/decoders.h"

#include "inference/byte_level.h"
#include "inference/json_fields.h"
#include "inference/pattern_matcher.h"
#include "inference/unicode_support.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {
namespace {

using nlohmann::json;

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

std::string clean_up(std::string text, bool do_not) {
  for (auto [from, to] : std::initializer_list<std::pair<const char*, const char*>>{
           {" .", "."}, {" ?", "?"}, {" !", "!"}, {" ,", ","}, {" ' ", "'"}, {" n't", "n't"}, {" 'm", "'m"}}) {
    text = replace_all(std::move(text), from, to);
  }
  if (do_not) text = replace_all(std::move(text), " do not", " don't");
  for (auto [from, to] : std::initializer_list<std::pair<const char*, const char*>>{
           {" 's", "'s"}, {" 've", "'ve"}, {" 're", "'re"}}) {
    text = replace_all(std::move(text), from, to);
  }
  return text;
}

class WordPieceDecoder : public Decoder {
 public:
  WordPieceDecoder(std::string prefix, bool cleanup) : prefix_(std::move(prefix)), cleanup_(cleanup) {}
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (size_t i = 0; i < tokens.size(); ++i) {
      std::string& t = tokens[i];
      if (i > 0) {
        if (!prefix_.empty() && t.rfind(prefix_, 0) == 0) t.erase(0, prefix_.size());
        else t = " " + t;
      }
      if (cleanup_) t = clean_up(std::move(t), /*do_not=*/true);
    }
    return tokens;
  }

 private:
  std::string prefix_;
  bool cleanup_;
};

class ByteLevelDecoder : public Decoder {
 public:
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    std::string bytes;
    for (const std::string& t : tokens) {
      for (char32_t c : to_u32(t)) {
        int b = char_to_byte(c);
        if (b >= 0) bytes += static_cast<char>(b);
        else append_utf8(bytes, c);
      }
    }
    return {utf8_lossy(bytes)};
  }
};

class MetaspaceDecoder : public Decoder {
 public:
  MetaspaceDecoder(char32_t replacement, bool strip_first) : replacement_(replacement), strip_first_(strip_first) {}
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (size_t i = 0; i < tokens.size(); ++i) {
      std::u32string out;
      for (char32_t c : to_u32(tokens[i])) {
        if (c != replacement_) out.push_back(c);
        else if (!(i == 0 && strip_first_)) out.push_back(U' ');
      }
      tokens[i] = to_utf8(out);
    }
    return tokens;
  }

 private:
  char32_t replacement_;
  bool strip_first_;
};

class ReplaceDecoder : public Decoder {
 public:
  ReplaceDecoder(const json& desc, const std::string& origin)
      : content_(string_field(desc, "content", "", origin)) {
    const json& p = desc.contains("pattern") ? desc["pattern"] : json();
    if (p.is_object() && p.contains("String") && p["String"].is_string()) {
      literal_ = p["String"].get<std::string>();
      if (literal_.empty()) fail_at(origin, "empty String pattern");
    } else if (p.is_object() && p.contains("Regex") && p["Regex"].is_string()) {
      regex_ = std::make_unique<PatternMatcher>(p["Regex"].get<std::string>(), origin);
    } else {
      fail_at(origin, "pattern must be {\"String\": ...} or {\"Regex\": ...}");
    }
  }
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (std::string& t : tokens) {
      if (!regex_) {
        t = replace_all(std::move(t), literal_, content_);
        continue;
      }
      std::u32string text = to_u32(t), out;
      const std::u32string content = to_u32(content_);
      size_t prev = 0;
      for (auto [a, b] : regex_->find_all(text)) {
        out.append(text, prev, a - prev);
        out += content;
        prev = b;
      }
      out.append(text, prev);
      t = to_utf8(out);
    }
    return tokens;
  }

 private:
  std::string content_;
  std::string literal_;
  std::unique_ptr<PatternMatcher> regex_;
};

class ByteFallbackDecoder : public Decoder {
 public:
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    std::vector<std::string> out;
    std::string bytes;
    size_t count = 0;
    auto flush = [&] {
      if (count == 0) return;
      if (find_invalid_utf8(bytes) == std::string::npos) {
        out.push_back(bytes);
      } else {
        std::string replacement;
        for (size_t i = 0; i < count; ++i) replacement += "\xEF\xBF\xBD";
        out.push_back(replacement);
      }
      bytes.clear();
      count = 0;
    };
    for (std::string& t : tokens) {
      int value = -1;
      if (t.size() == 6 && t.rfind("<0x", 0) == 0 && t[5] == '>') {
        auto hex = [](char c) {
          return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        int hi = hex(t[3]), lo = hex(t[4]);
        if (hi >= 0 && lo >= 0) value = hi * 16 + lo;
      }
      if (value >= 0) {
        bytes += static_cast<char>(value);
        ++count;
      } else {
        flush();
        out.push_back(std::move(t));
      }
    }
    flush();
    return out;
  }
};

class FuseDecoder : public Decoder {
 public:
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    std::string all;
    for (const std::string& t : tokens) all += t;
    return {all};
  }
};

class StripDecoder : public Decoder {
 public:
  StripDecoder(char32_t content, size_t start, size_t stop) : content_(content), start_(start), stop_(stop) {}
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (std::string& t : tokens) {
      std::u32string u = to_u32(t);
      size_t a = 0, b = u.size();
      while (a < b && a < start_ && u[a] == content_) ++a;
      while (b > a && u.size() - b < stop_ && u[b - 1] == content_) --b;
      t = to_utf8(std::u32string_view(u).substr(a, b - a));
    }
    return tokens;
  }

 private:
  char32_t content_;
  size_t start_, stop_;
};

class BpeDecoder : public Decoder {
 public:
  explicit BpeDecoder(std::string suffix) : suffix_(std::move(suffix)) {}
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (size_t i = 0; i < tokens.size(); ++i) {
      if (!suffix_.empty()) tokens[i] = replace_all(std::move(tokens[i]), suffix_, i + 1 == tokens.size() ? "" : " ");
    }
    return tokens;
  }

 private:
  std::string suffix_;
};

class SequenceDecoder : public Decoder {
 public:
  explicit SequenceDecoder(std::vector<std::unique_ptr<Decoder>> parts) : parts_(std::move(parts)) {}
  std::vector<std::string> decode_chain(std::vector<std::string> tokens) const override {
    for (const auto& p : parts_) tokens = p->decode_chain(std::move(tokens));
    return tokens;
  }

 private:
  std::vector<std::unique_ptr<Decoder>> parts_;
};

char32_t single_char(const std::string& s, const std::string& origin, const char* what) {
  std::u32string u = to_u32(s);
  if (u.size() != 1) fail_at(origin, std::string("\"") + what + "\" must be one character");
  return u[0];
}

}  // namespace

std::string clean_up_tokenization(std::string text) { return clean_up(std::move(text), /*do_not=*/false); }

std::unique_ptr<Decoder> make_decoder(const json& desc, const std::string& origin, int depth) {
  if (desc.is_null()) return nullptr;
  const std::string type = component_type(desc, origin, "decoder");
  const std::string where = origin + ": decoder " + type;
  if (type == "WordPiece") {
    return std::make_unique<WordPieceDecoder>(string_field(desc, "prefix", "##", where),
                                              bool_field(desc, "cleanup", true, where));
  }
  if (type == "ByteLevel") return std::make_unique<ByteLevelDecoder>();
  if (type == "Metaspace") {
    char32_t replacement = single_char(string_field(desc, "replacement", "\u2581", where), where, "replacement");
    bool strip_first = bool_field(desc, "add_prefix_space", true, where);
    if (auto s = optional_string(desc, "prepend_scheme", where)) strip_first = *s != "never";
    return std::make_unique<MetaspaceDecoder>(replacement, strip_first);
  }
  if (type == "Replace") return std::make_unique<ReplaceDecoder>(desc, where);
  if (type == "ByteFallback") return std::make_unique<ByteFallbackDecoder>();
  if (type == "Fuse") return std::make_unique<FuseDecoder>();
  if (type == "Strip") {
    return std::make_unique<StripDecoder>(single_char(string_field(desc, "content", " ", where), where, "content"),
                                          uint_field(desc, "start", 0, where), uint_field(desc, "stop", 0, where));
  }
  if (type == "BPEDecoder") return std::make_unique<BpeDecoder>(string_field(desc, "suffix", "</w>", where));
  if (type == "Sequence") {
    check_sequence_nesting(depth, where);
    std::vector<std::unique_ptr<Decoder>> parts;
    for (const json& part : array_field(desc, "decoders", where)) {
      auto d = make_decoder(part, origin, depth + 1);
      if (d) parts.push_back(std::move(d));
    }
    return std::make_unique<SequenceDecoder>(std::move(parts));
  }
  fail_at(origin, "decoder type '" + type + "' is not supported");
}

}  // namespace tesk_privacy::inference
