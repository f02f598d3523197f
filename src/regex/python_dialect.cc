#include "regex/python_dialect.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/regex/regex.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::regex::internal {
namespace {

// Python's \s also covers the information separators U+001C..U+001F, which
// PCRE2's Unicode white space leaves out.
constexpr std::string_view kExtraSpace = "\\x1c-\\x1f";

[[noreturn]] void fail(const std::string& what, size_t pos) {
  throw RegexError(what + " at position " + std::to_string(pos));
}

bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Under IGNORECASE Python's `re` treats i, I, U+0130 (İ) and U+0131 (ı) as one
// letter; PCRE2 10.42 folds only i with I. Patterns get the four spelled out.
constexpr std::string_view kDottedI = "iI\\x{130}\\x{131}";
constexpr std::string_view kDottedIClass = "[iI\\x{130}\\x{131}]";

bool is_dotted_i(uint32_t cp) { return cp == 'i' || cp == 'I' || cp == 0x130 || cp == 0x131; }

class Translator {
 public:
  Translator(std::string_view in, bool unicode, bool verbose, bool ignore_case)
      : in_(in), unicode_(unicode), verbose_(verbose), caseless_(ignore_case) {}

  std::string run() {
    out_.reserve(in_.size() + 16);
    while (i_ < in_.size()) {
      char c = in_[i_];
      if (c == '\\') {
        const size_t written = out_.size();
        const std::optional<uint32_t> cp = escape(false);
        if (cp && folds_dotted_i(*cp)) {  // the escape stands for one of the four letters
          out_.resize(written);
          out_ += kDottedIClass;
        }
      } else if (c == '[') {
        char_class();
      } else if (c == '(' && peek(1) == '?') {
        group_opening();
      } else if (c == '(') {
        enclosing_.push_back(caseless_);
        out_ += c;
        ++i_;
      } else if (c == ')') {
        if (!enclosing_.empty()) {
          caseless_ = enclosing_.back();
          enclosing_.pop_back();
        }
        out_ += c;
        ++i_;
      } else if (static_cast<unsigned char>(c) >= 0x80 || c == 'i' || c == 'I') {
        const size_t start = i_;
        const char32_t cp = decode_utf8(in_, i_);  // the pattern is valid UTF-8
        if (folds_dotted_i(cp)) {
          out_ += kDottedIClass;
        } else {
          out_ += in_.substr(start, i_ - start);
        }
      } else if (c == '{' && peek(1) == ',') {
        open_min_quantifier();
      } else if (verbose_ && c == '#') {
        while (i_ < in_.size() && in_[i_] != '\n') out_ += in_[i_++];
      } else {
        out_ += c;
        ++i_;
      }
    }
    return std::move(out_);
  }

 private:
  char peek(size_t k) const { return i_ + k < in_.size() ? in_[i_ + k] : '\0'; }

  bool folds_dotted_i(uint32_t cp) const { return caseless_ && unicode_ && is_dotted_i(cp); }

  // Handles the escape at in_[i_] == '\\'. Returns the code point it stands
  // for when it is one character spelled by its number or as itself.
  std::optional<uint32_t> escape(bool in_class) {
    size_t start = i_;
    if (i_ + 1 >= in_.size()) fail("bad escape (end of pattern)", start);
    char e = in_[i_ + 1];
    i_ += 2;
    switch (e) {
      case 'v':
        out_ += "\\x0b";  // Python's \v is the vertical tab; PCRE2's a class
        return 0x0b;
      case 'Z':
        if (in_class) fail("bad escape \\Z", start);
        out_ += "\\z";
        return std::nullopt;
      case 's':
        if (!unicode_) break;
        out_ += in_class ? "\\s" + std::string(kExtraSpace) : "[\\s" + std::string(kExtraSpace) + "]";
        return std::nullopt;
      case 'S':
        if (!unicode_ || in_class) break;
        out_ += "[^\\s" + std::string(kExtraSpace) + "]";
        return std::nullopt;
      case 'u':
      case 'U': {
        size_t n = e == 'u' ? 4 : 8;
        for (size_t k = 0; k < n; ++k) {
          if (!is_hex(peek(k))) fail(std::string("incomplete escape \\") + e, start);
        }
        std::string hex(in_.substr(i_, n));
        const auto cp = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
        if (cp > 0x10FFFF) fail("bad escape \\U" + hex, start);
        out_ += "\\x{" + hex + "}";
        i_ += n;
        return cp;
      }
      case 'x': {
        if (!is_hex(peek(0)) || !is_hex(peek(1))) fail("incomplete escape \\x", start);
        std::string hex(in_.substr(i_, 2));
        out_ += "\\x" + hex;
        i_ += 2;
        return static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
      }
      case 'N':
        fail("named Unicode escapes (\\N{...}) are not supported", start);
      case 'A':
      case 'B':
        if (in_class) fail(std::string("bad escape \\") + e, start);
        break;
      case 'a': case 'b': case 'd': case 'D': case 'f': case 'n':
      case 'r': case 't': case 'w': case 'W':
        break;
      default:
        if (std::isalpha(static_cast<unsigned char>(e))) {
          fail(std::string("bad escape \\") + e, start);
        }
        break;  // digits (references, octal) and escaped punctuation
    }
    out_ += '\\';
    if (static_cast<unsigned char>(e) >= 0x80) {  // an escaped non-ASCII character is itself
      const size_t at = --i_;
      const char32_t cp = decode_utf8(in_, i_);
      out_ += in_.substr(at, i_ - at);
      return cp;
    }
    out_ += e;
    if (!std::isalnum(static_cast<unsigned char>(e))) return static_cast<unsigned char>(e);
    return std::nullopt;
  }

  // Copies a character class. Python reads "[" inside a class as a literal,
  // where PCRE2 might start a POSIX class such as "[:alpha:]". A caseless
  // class that holds one of the dotted and dotless i letters, alone or in a
  // range, gets all four.
  void char_class() {
    out_ += '[';
    ++i_;
    if (peek(0) == '^') {
      out_ += '^';
      ++i_;
    }
    int64_t last = -1;   // the previous member, while it may start a range
    bool range = false;  // a "-" followed that member
    bool dotted_i = false;
    auto member = [&](std::optional<uint32_t> cp) {
      if (range && last >= 0 && cp) {
        const int64_t hi = *cp;
        dotted_i = dotted_i || (last <= 'I' && 'I' <= hi) || (last <= 'i' && 'i' <= hi) ||
                   (last <= 0x131 && 0x130 <= hi);
        last = -1;
      } else {
        if (cp) dotted_i = dotted_i || is_dotted_i(*cp);
        last = cp ? int64_t{*cp} : -1;
      }
      range = false;
    };
    if (peek(0) == ']') {  // a leading "]" is literal in both dialects
      out_ += "\\]";
      ++i_;
      member(']');
    }
    while (i_ < in_.size()) {
      char c = in_[i_];
      if (c == ']') {
        if (dotted_i && caseless_ && unicode_) {
          // Before a trailing literal "-", which must stay last.
          out_.insert(range ? out_.size() - 1 : out_.size(), kDottedI);
        }
        out_ += ']';
        ++i_;
        return;
      }
      if (c == '\\') {
        member(escape(true));
      } else if (c == '[') {
        out_ += "\\[";
        ++i_;
        member('[');
      } else if (c == '-' && last >= 0 && !range) {
        out_ += c;
        ++i_;
        range = true;
      } else {
        const size_t start = i_;
        const char32_t cp = decode_utf8(in_, i_);
        out_ += in_.substr(start, i_ - start);
        member(cp);
      }
    }
    fail("unterminated character set", in_.size());
  }

  // "(?" followed by inline flags: Python's letters are a, i, L, m, s, u, x.
  void group_opening() {
    size_t start = i_;
    size_t j = i_ + 2;
    std::string on, off;
    bool negative = false;
    while (j < in_.size() && (std::isalpha(static_cast<unsigned char>(in_[j])) || in_[j] == '-')) {
      if (in_[j] == '-') {
        if (negative) fail("bad inline flags", start);
        negative = true;
      } else {
        (negative ? off : on) += in_[j];
      }
      ++j;
    }
    bool is_flag_group = j > i_ + 2 && j < in_.size() && (in_[j] == ')' || in_[j] == ':') &&
                         !(on.size() == 1 && on[0] == 'P' && !negative);
    if (!is_flag_group || (on.empty() && !negative)) {
      // Names, back-references, comments and conditions are copied whole,
      // so that their letters stay as written.
      const char kind = peek(2), sub = peek(3);
      const bool reference = kind == 'P' && sub == '=', comment = kind == '#';
      size_t end = i_ + 2;
      if (kind == 'P' && sub == '<') {
        end = in_.find('>', i_);
      } else if (reference || comment || kind == '(') {
        end = in_.find(')', i_ + 3);
      }
      end = end == std::string_view::npos ? in_.size() : end + 1;
      out_ += in_.substr(i_, end - i_);
      i_ = end;
      if (!reference && !comment) enclosing_.push_back(caseless_);
      return;
    }
    auto keep = [&](const std::string& letters) {
      std::string kept;
      for (char f : letters) {
        switch (f) {
          case 'i': case 'm': case 's': case 'x':
            kept += f;
            break;
          case 'u':
            break;  // Unicode matching is always on for text patterns
          case 'a':
          case 'L':
            fail(std::string("inline flag '") + f + "' is not supported", start);
          default:
            fail(std::string("unknown flag '") + f + "'", start);
        }
      }
      return kept;
    };
    std::string kept_on = keep(on), kept_off = keep(off);
    bool scoped = in_[j] == ':';
    if (!scoped && negative) fail("missing ':' after inline flags with '-'", start);
    if (scoped) enclosing_.push_back(caseless_);
    if (kept_on.find('i') != std::string::npos) caseless_ = true;
    if (kept_off.find('i') != std::string::npos) caseless_ = false;
    if (kept_on.empty() && kept_off.empty()) {
      out_ += scoped ? "(?:" : "";
    } else {
      out_ += "(?" + kept_on + (kept_off.empty() ? "" : "-" + kept_off) + (scoped ? ":" : ")");
    }
    i_ = j + 1;
  }

  // Python reads "{,n}" as "{0,n}"; PCRE2 10.42 would read it literally.
  void open_min_quantifier() {
    size_t j = i_ + 2;
    while (j < in_.size() && std::isdigit(static_cast<unsigned char>(in_[j]))) ++j;
    if (j < in_.size() && in_[j] == '}') {
      out_ += "{0,";
      out_ += in_.substr(i_ + 2, j - i_ - 2);
      out_ += '}';
      i_ = j + 1;
    } else {
      out_ += '{';
      ++i_;
    }
  }

  std::string_view in_;
  bool unicode_;
  bool verbose_;
  bool caseless_;              // IGNORECASE in force at i_
  std::vector<bool> enclosing_;  // caseless_ outside each open group
  size_t i_ = 0;
  std::string out_;
};

std::string flag_names(int bits) {
  static const std::pair<int, const char*> kNames[] = {
      {TEMPLATE, "TEMPLATE"}, {LOCALE, "LOCALE"}, {DEBUG, "DEBUG"}};
  std::string names;
  for (auto [bit, name] : kNames) {
    if (bits & bit) names += (names.empty() ? "" : "|") + std::string(name);
  }
  return names.empty() ? "unknown" : names;
}

}  // namespace

Translation translate_python_pattern(std::string_view pattern, int flags) {
  constexpr int kSupported = IGNORECASE | MULTILINE | DOTALL | UNICODE | VERBOSE | ASCII;
  if (flags < 0 || (flags & ~kSupported) != 0) {
    int bad = flags < 0 ? flags : flags & ~kSupported;
    throw RegexError("unsupported regex flags " + std::to_string(bad) + " (" + flag_names(bad) +
                     "); supported: IGNORECASE 2, MULTILINE 8, DOTALL 16, UNICODE 32, VERBOSE 64, ASCII 256");
  }
  if ((flags & ASCII) && (flags & UNICODE)) {
    throw RegexError("ASCII and UNICODE flags are incompatible");
  }
  bool unicode = !(flags & ASCII);
  if (!unicode && (flags & IGNORECASE)) {
    for (char c : pattern) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        throw RegexError("ASCII with IGNORECASE is not supported for patterns holding non-ASCII characters");
      }
    }
  }
  Translation t;
  t.pattern = Translator(pattern, unicode, (flags & VERBOSE) != 0, (flags & IGNORECASE) != 0).run();
  t.options = PCRE2_UTF;
  if (unicode) t.options |= PCRE2_UCP;
  if (flags & IGNORECASE) t.options |= PCRE2_CASELESS;
  if (flags & MULTILINE) t.options |= PCRE2_MULTILINE;
  if (flags & DOTALL) t.options |= PCRE2_DOTALL;
  if (flags & VERBOSE) t.options |= PCRE2_EXTENDED;
  return t;
}

}  // namespace tesk_privacy::regex::internal
