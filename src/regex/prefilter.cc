#include "regex/prefilter.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::regex::internal {
namespace {

using ByteSet = std::array<bool, 256>;

bool is_letter(unsigned c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool is_digit(unsigned c) { return c >= '0' && c <= '9'; }
bool is_word(unsigned c) { return is_letter(c) || is_digit(c) || c == '_'; }
bool is_space(unsigned c) { return c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x1c && c <= 0x1f); }

void add_non_ascii(ByteSet& s) {
  for (unsigned c = 0x80; c < 0x100; ++c) s[c] = true;
}

void add_ascii_letters(ByteSet& s) {
  for (unsigned c = 'a'; c <= 'z'; ++c) s[c] = s[c - 0x20] = true;
}

// A set of ASCII characters as a class may match them under any flags:
// letters in both cases, plus every non-ASCII byte when a letter is in (a
// non-ASCII character may fold onto it).
ByteSet case_closed(const ByteSet& raw) {
  ByteSet s = raw;
  bool letters = false;
  for (unsigned c = 0; c < 0x80; ++c) {
    if (raw[c] && is_letter(c)) {
      s[c | 0x20] = s[c & ~0x20u] = true;
      letters = true;
    }
  }
  if (letters) add_non_ascii(s);
  return s;
}

// What a negated class or \D, \W, \S can match: every ASCII character the
// raw items leave out, and anything non-ASCII.
ByteSet complement(const ByteSet& raw) {
  ByteSet s{};
  for (unsigned c = 0; c < 0x80; ++c) s[c] = !raw[c];
  add_non_ascii(s);
  return s;
}

ByteSet all_bytes() {
  ByteSet s;
  s.fill(true);
  return s;
}

struct Bail {};

struct Atom {
  ByteSet set{};
  bool zero_width = false;
  bool group = false;      // a plain or atomic group whose content may be walked
  bool alternation = false;
  size_t content = 0;      // where the group's content starts
};

struct Candidate {
  ByteSet anchor;
  size_t min_run;
  ByteSet prefix;
};

class Analyzer {
 public:
  explicit Analyzer(std::string_view p) : p_(p) {}

  std::optional<Prefilter> run() {
    try {
      bool alternation = false;
      parse_alternation(alternation);
      if (i_ != p_.size() || alternation) return std::nullopt;
      i_ = 0;
      ByteSet prefix{};
      std::vector<Candidate> candidates;
      walk_sequence(prefix, candidates);
      return choose(candidates);
    } catch (const Bail&) {
      return std::nullopt;
    }
  }

 private:
  char peek(size_t k = 0) const { return i_ + k < p_.size() ? p_[i_ + k] : '\0'; }
  unsigned byte(size_t k = 0) const { return static_cast<unsigned char>(peek(k)); }

  // Parses alternatives up to a ")" or the end; returns what they can match.
  ByteSet parse_alternation(bool& alternation) {
    ByteSet set{};
    while (i_ < p_.size() && peek() != ')') {
      if (peek() == '|') {
        alternation = true;
        ++i_;
        continue;
      }
      Atom a = parse_atom();
      parse_quantifier();
      if (!a.zero_width) {
        for (size_t c = 0; c < 256; ++c) set[c] = set[c] || a.set[c];
      }
    }
    return set;
  }

  // Walks a sequence that every match passes through, collecting each
  // mandatory one-character element as a candidate anchor together with what
  // the elements before it can match.
  void walk_sequence(ByteSet& prefix, std::vector<Candidate>& out) {
    while (i_ < p_.size() && peek() != ')' && peek() != '|') {
      Atom a = parse_atom();
      const auto [min, max] = parse_quantifier();
      if (a.zero_width) continue;
      if (a.group && !a.alternation && min == 1 && max == 1) {
        const size_t resume = i_;
        i_ = a.content;
        walk_sequence(prefix, out);
        i_ = resume;
        continue;
      }
      if (!a.group && min >= 1) out.push_back({a.set, min, prefix});
      for (size_t c = 0; c < 256; ++c) prefix[c] = prefix[c] || a.set[c];
    }
  }

  Atom parse_atom() {
    Atom a;
    const unsigned c = byte();
    if (c == '(') return parse_group();
    if (c == '[') {
      a.set = parse_class();
      return a;
    }
    if (c == '\\') return parse_escape();
    if (c == '.') {
      ++i_;
      a.set = all_bytes();
      return a;
    }
    if (c == '^' || c == '$') {
      ++i_;
      a.zero_width = true;
      return a;
    }
    if (c == '*' || c == '+' || c == '?' || c == '|' || c == ')') throw Bail{};
    a.set = literal_set(read_char());
    return a;
  }

  // One character of the pattern, decoded; non-ASCII comes back as 0x80.
  unsigned read_char() {
    const unsigned c = byte();
    ++i_;
    if (c < 0x80) return c;
    while (i_ < p_.size() && (byte() & 0xC0) == 0x80) ++i_;
    return 0x80;
  }

  static ByteSet literal_set(unsigned c) {
    ByteSet raw{};
    if (c >= 0x80) {
      ByteSet s{};
      add_non_ascii(s);
      add_ascii_letters(s);
      return s;
    }
    raw[c] = true;
    return case_closed(raw);
  }

  Atom parse_group() {
    // Groups nest as deep as the pattern says, and each level costs stack.
    // PCRE2 refuses more than 250 levels anyway, so deeper patterns get no
    // prefilter and fail to compile instead of overflowing the stack here.
    constexpr int kMaxDepth = 250;
    struct Level {
      explicit Level(int& depth) : depth(depth) {
        if (++depth > kMaxDepth) throw Bail{};
      }
      ~Level() { --depth; }
      int& depth;
    } level(depth_);
    Atom a;
    ++i_;  // "("
    if (peek() == '?') {
      const char k = peek(1);
      if (k == ':' || k == '>') {
        i_ += 2;
        a.group = true;
      } else if (k == 'P' && peek(2) == '<') {
        i_ = p_.find('>', i_);
        if (i_ == std::string_view::npos) throw Bail{};
        ++i_;
        a.group = true;
      } else if (k == '=' || k == '!' || (k == '<' && (peek(2) == '=' || peek(2) == '!'))) {
        i_ += k == '<' ? 3 : 2;
        a.zero_width = true;
      } else if (k == '#') {
        i_ = p_.find(')', i_);
        if (i_ == std::string_view::npos) throw Bail{};
        ++i_;
        a.zero_width = true;
        return a;
      } else {
        // Inline flags, global "(?i)" or scoped "(?-i:...)". Case is already
        // allowed for everywhere; only VERBOSE changes how to read the rest.
        i_ += 1;
        while (std::isalpha(static_cast<unsigned char>(peek())) || peek() == '-') {
          if (peek() == 'x') throw Bail{};
          ++i_;
        }
        if (peek() == ')') {
          ++i_;
          a.zero_width = true;
          return a;
        }
        if (peek() != ':') throw Bail{};
        ++i_;
        a.group = true;
      }
    } else {
      a.group = true;
    }
    a.content = i_;
    a.set = parse_alternation(a.alternation);
    if (peek() != ')') throw Bail{};
    ++i_;
    return a;
  }

  // The escape at "\\" outside a class.
  Atom parse_escape() {
    Atom a;
    const char e = peek(1);
    if (e == 'b' || e == 'B' || e == 'A' || e == 'Z') {
      i_ += 2;
      a.zero_width = true;
      return a;
    }
    a.set = escape_set(false);
    return a;
  }

  // The set of the escape at "\\"; advances past it.
  ByteSet escape_set(bool in_class) {
    const char e = peek(1);
    ByteSet raw{};
    auto of = [&](auto pred) {
      for (unsigned c = 0; c < 0x80; ++c) raw[c] = pred(c);
    };
    switch (e) {
      case 'd': i_ += 2; of(is_digit); add_non_ascii(raw); return raw;
      case 'w': i_ += 2; of(is_word); add_non_ascii(raw); return raw;
      case 's': i_ += 2; of(is_space); add_non_ascii(raw); return raw;
      case 'D': i_ += 2; of(is_digit); return complement(raw);
      case 'W': i_ += 2; of(is_word); return complement(raw);
      case 'S': i_ += 2; of(is_space); return complement(raw);
      default: return literal_set(escape_char(in_class));
    }
  }

  // The character of a one-character escape at "\\" (0x80 for anything
  // non-ASCII); advances past it.
  unsigned escape_char(bool in_class) {
    const char e = peek(1);
    i_ += 2;
    switch (e) {
      case 'n': return '\n';
      case 't': return '\t';
      case 'r': return '\r';
      case 'f': return '\f';
      case 'v': return '\v';
      case 'a': return '\a';
      case 'b':
        if (in_class) return '\b';
        throw Bail{};
      case 'x': return hex(2);
      case 'u': return hex(4);
      case 'U': return hex(8);
      default: break;
    }
    const unsigned c = static_cast<unsigned char>(e);
    if (c == 0 || c >= 0x80 || std::isalnum(static_cast<int>(c))) throw Bail{};  // references, octal
    return c;
  }

  unsigned hex(size_t n) {
    if (i_ + n > p_.size()) throw Bail{};
    const unsigned long v = std::stoul(std::string(p_.substr(i_, n)), nullptr, 16);
    i_ += n;
    return v >= 0x80 ? 0x80 : static_cast<unsigned>(v);
  }

  // A class "[...]"; Python reads "[" inside one as a literal.
  ByteSet parse_class() {
    ++i_;
    const bool negated = peek() == '^';
    if (negated) ++i_;
    ByteSet raw{};
    bool first = true;
    auto merge = [&](const ByteSet& s) {
      for (size_t c = 0; c < 256; ++c) raw[c] = raw[c] || s[c];
    };
    while (true) {
      if (i_ >= p_.size()) throw Bail{};
      if (peek() == ']' && !first) {
        ++i_;
        break;
      }
      first = false;
      unsigned lo;
      if (peek() == '\\') {
        const char e = peek(1);
        if (e == 'd' || e == 'w' || e == 's' || e == 'D' || e == 'W' || e == 'S') {
          merge(escape_set(true));
          continue;
        }
        lo = escape_char(true);
      } else {
        lo = read_char();
      }
      unsigned hi = lo;
      if (peek() == '-' && peek(1) != ']' && i_ + 1 < p_.size()) {
        ++i_;
        if (peek() == '\\') {
          hi = escape_char(true);
        } else {
          hi = read_char();
        }
      }
      if (lo >= 0x80 || hi >= 0x80) {
        // Non-ASCII members (and the ASCII letters they may fold onto) only
        // widen a plain class; a negated class they can only narrow, so
        // leaving them out of it errs on the large side.
        if (!negated) {
          add_non_ascii(raw);
          add_ascii_letters(raw);
        }
        hi = 0x7f;
        if (lo >= 0x80) continue;
      }
      for (unsigned c = lo; c <= hi; ++c) raw[c] = true;
    }
    return negated ? complement(raw) : case_closed(raw);
  }

  // Parses a quantifier, if any; returns its bounds (max 0 for unbounded).
  std::pair<size_t, size_t> parse_quantifier() {
    size_t min = 1, max = 1;
    const char c = peek();
    if (c == '?') {
      min = 0;
    } else if (c == '*') {
      min = 0, max = 0;
    } else if (c == '+') {
      max = 0;
    } else if (c == '{') {
      size_t j = i_ + 1;
      auto number = [&](size_t& value) {
        size_t start = j;
        value = 0;
        while (j < p_.size() && is_digit(static_cast<unsigned char>(p_[j]))) value = value * 10 + (p_[j++] - '0');
        return j > start;
      };
      size_t lo = 0, hi = 0;
      const bool has_lo = number(lo);
      if (j < p_.size() && p_[j] == '}' && has_lo) {
        min = max = lo;
      } else if (j < p_.size() && p_[j] == ',') {
        ++j;
        const bool has_hi = number(hi);
        if (j >= p_.size() || p_[j] != '}') return {1, 1};  // a literal "{"
        min = has_lo ? lo : 0;
        max = has_hi ? hi : 0;
      } else {
        return {1, 1};
      }
      i_ = j;
    } else {
      return {1, 1};
    }
    ++i_;
    if (peek() == '?' || peek() == '+') ++i_;
    if (min > 10000) min = 10000;
    return {min, max};
  }

  // Rough share of each byte in prose, to estimate how often a run occurs.
  static double frequency(unsigned c) {
    if (c >= 0x80) return 0.02 / 128;
    if (c >= 'a' && c <= 'z') return 0.035;
    if (c >= 'A' && c <= 'Z') return 0.004;
    if (is_digit(c)) return 0.01;
    if (c == ' ') return 0.15;
    if (c == '.' || c == ',' || c == '\n') return 0.01;
    return 0.001;
  }

  static std::optional<Prefilter> choose(const std::vector<Candidate>& candidates) {
    // A run of one common character class costs a PCRE2 call per occurrence
    // and gains nothing over PCRE2's own start-character skip.
    constexpr double kWorthIt = 0.005;
    const Candidate* best = nullptr;
    double best_cost = kWorthIt;
    for (const Candidate& c : candidates) {
      double share = 0;
      for (unsigned b = 0; b < 256; ++b) share += c.anchor[b] ? frequency(b) : 0;
      const double cost = std::pow(share, static_cast<double>(c.min_run));
      if (cost < best_cost) {
        best_cost = cost;
        best = &c;
      }
    }
    if (best == nullptr) return std::nullopt;
    Prefilter f;
    f.anchor = best->anchor;
    f.prefix = best->prefix;
    f.min_run = best->min_run;
    int members = 0;
    for (unsigned b = 0; b < 256; ++b) {
      if (f.anchor[b]) {
        ++members;
        f.single_byte = static_cast<int>(b);
      }
    }
    if (members != 1 || f.min_run != 1) f.single_byte = -1;
    return f;
  }

  std::string_view p_;
  size_t i_ = 0;
  int depth_ = 0;  // groups open around the parse position
};

}  // namespace

std::optional<Prefilter> make_prefilter(std::string_view python_pattern, int flags) {
  if ((flags & VERBOSE) != 0) return std::nullopt;
  return Analyzer(python_pattern).run();
}

bool WindowFinder::next(size_t& start, size_t& last) {
  const size_t n = f_.min_run;
  const size_t size = text_.size();
  auto in_anchor = [&](size_t i) { return f_.anchor[static_cast<unsigned char>(text_[i])]; };
  if (f_.single_byte >= 0) {
    const void* hit = pos_ < size ? std::memchr(text_.data() + pos_, f_.single_byte, size - pos_) : nullptr;
    if (hit == nullptr) {
      pos_ = size;
      return false;
    }
    const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text_.data());
    pos_ = at + 1;
    size_t s = at;
    while (s > floor_ && f_.prefix[static_cast<unsigned char>(text_[s - 1])]) --s;
    while (s < size && (static_cast<unsigned char>(text_[s]) & 0xC0) == 0x80) ++s;
    start = s;
    last = at;
    floor_ = last + 1;
    return true;
  }
  while (pos_ + n <= size) {
    // A run of n anchor bytes starting at or after pos_ covers pos_ + n - 1.
    const size_t probe = pos_ + n - 1;
    if (!in_anchor(probe)) {
      pos_ = probe + 1;
      continue;
    }
    size_t a = probe;
    while (a > pos_ && in_anchor(a - 1)) --a;
    size_t b = probe + 1;
    while (b < size && in_anchor(b)) ++b;
    pos_ = b;
    if (b - a < n) continue;
    // pos_ only ever follows a byte outside the anchor set, so [a, b) is a
    // whole run; the match starts within the prefix bytes before it.
    size_t s = a;
    while (s > floor_ && f_.prefix[static_cast<unsigned char>(text_[s - 1])]) --s;
    while (s < size && (static_cast<unsigned char>(text_[s]) & 0xC0) == 0x80) ++s;
    start = s;
    last = b - n;
    floor_ = last + 1;
    return true;
  }
  pos_ = size;
  return false;
}

}  // namespace tesk_privacy::regex::internal
