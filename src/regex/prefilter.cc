#include "regex/prefilter.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "tesk_privacy/regex/regex.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tesk_privacy::regex::internal {
namespace {

using ByteSet = std::array<bool, 256>;

bool is_letter(unsigned c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool is_digit(unsigned c) { return c >= '0' && c <= '9'; }
bool is_word(unsigned c) { return is_letter(c) || is_digit(c) || c == '_'; }
bool is_space(unsigned c) { return c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x1c && c <= 0x1f); }

// Whether the only ASCII bytes in `s` are digits.
bool only_digits(const std::array<bool, 256>& s) {
  for (unsigned c = 0; c < 0x80; ++c) {
    if (s[c] && !is_digit(c)) return false;
  }
  return true;
}

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

// Rough share of each byte in prose, to estimate how often a run occurs.
double frequency(unsigned c) {
  if (c >= 0x80) return 0.02 / 128;
  if (c >= 'a' && c <= 'z') return 0.035;
  if (c >= 'A' && c <= 'Z') return 0.004;
  if (is_digit(c)) return 0.01;
  if (c == ' ') return 0.15;
  if (c == '.' || c == ',' || c == '\n') return 0.01;
  return 0.001;
}

struct Bail {};

struct Atom {
  ByteSet set{};
  bool zero_width = false;
  bool group = false;      // a plain or atomic group whose content may be walked
  bool alternation = false;
  size_t content = 0;      // where the group's content starts
  size_t min_chars = 1;    // the fewest characters it matches (once)
  // The characters (UTF-8) of a literal character or of a small class of
  // them, each of which the atom matches; empty for anything else.
  std::vector<std::string> chars;
};

// A literal being collected; `open` while the pattern may still extend it.
struct Partial {
  Literal chars;
  bool open = true;
};

constexpr size_t kMaxLiterals = 64;
constexpr size_t kMaxPairs = 16;

// How one character of a literal may appear in the text under Python's case
// folding, or nothing for a character whose case partners are not worth
// listing (a non-ASCII letter).
std::optional<std::vector<std::string>> char_forms(const std::string& ch) {
  const unsigned c = static_cast<unsigned char>(ch[0]);
  if (c < 0x80) {
    if (!is_letter(c)) return std::vector<std::string>{ch};
    std::vector<std::string> forms = {std::string(1, static_cast<char>(c | 0x20)),
                                      std::string(1, static_cast<char>(c & ~0x20u))};
    switch (c | 0x20) {
      case 'i': forms.insert(forms.end(), {"\u0130", "\u0131"}); break;  // İ ı
      case 'k': forms.emplace_back("\u212a"); break;                     // Kelvin sign
      case 's': forms.emplace_back("\u017f"); break;                     // long s
      default: break;
    }
    return forms;
  }
  UChar32 cp = 0;
  int32_t i = 0;
  U8_NEXT(reinterpret_cast<const uint8_t*>(ch.data()), i, static_cast<int32_t>(ch.size()), cp);
  // A character no case mapping leads to or from matches only itself.
  if (cp < 0 || u_hasBinaryProperty(cp, UCHAR_CASE_SENSITIVE)) return std::nullopt;
  return std::vector<std::string>{ch};
}

uint8_t fold(unsigned char b) { return static_cast<uint8_t>(b | 0x20); }

struct Candidate {
  ByteSet anchor;
  size_t min_run;
  ByteSet prefix;
};

class Analyzer {
 public:
  explicit Analyzer(std::string_view p) : p_(p) {}

  std::optional<Prefilter> run() {
    if (auto windows = find_windows()) return windows;
    return find_literals();
  }

  std::optional<ByteSet> examined() {
    try {
      i_ = 0;
      examined_ = {};
      bool alternation = false;
      parse_alternation(alternation);
      // PCRE2's longest look-behind leaves out how far a \b or a look-behind
      // inside a look-behind reaches further back.
      if (i_ != p_.size() || nested_lookbehind_) return std::nullopt;
      return examined_;
    } catch (const Bail&) {
      return std::nullopt;
    }
  }

 private:
  std::optional<Prefilter> find_windows() {
    try {
      i_ = 0;
      bool alternation = false;
      parse_alternation(alternation);
      if (i_ != p_.size() || alternation) return std::nullopt;
      i_ = 0;
      ByteSet prefix{};
      std::vector<Candidate> candidates;
      digit_run_ = {};
      walk_sequence(prefix, candidates);
      auto f = choose(candidates);
      if (f && f->digit_anchor) f->exact_run = exact_run();
      return f;
    } catch (const Bail&) {
      return std::nullopt;
    }
  }

  // N for a pattern made of \b, classes of digits (or digits) that together
  // match exactly N characters, and \b, as identity numbers are; 0 for any
  // other.
  size_t exact_run() {
    constexpr std::string_view kBoundary = "\\b";
    if (p_.size() < 2 * kBoundary.size() || !p_.starts_with(kBoundary) || !p_.ends_with(kBoundary)) return 0;
    const size_t end = p_.size() - kBoundary.size();
    size_t n = 0;
    for (i_ = kBoundary.size(); i_ < end;) {
      const Atom a = parse_atom();
      const auto [min, max] = parse_quantifier();
      if (i_ > end || a.group || a.zero_width || min != max || !only_digits(a.set)) return 0;
      n += min;
    }
    return i_ == end ? n : 0;
  }

  std::optional<Prefilter> find_literals() {
    std::vector<Partial> partials;
    try {
      i_ = 0;
      partials = alternative_literals();
      if (i_ != p_.size()) return std::nullopt;
    } catch (const Bail&) {
      return std::nullopt;
    }
    Prefilter f;
    for (Partial& partial : partials) {
      if (partial.chars.empty()) return std::nullopt;  // a match may start with anything
      const Literal& lit = partial.chars;
      if (std::find(f.literals.begin(), f.literals.end(), lit) != f.literals.end()) continue;
      for (const std::string& form : lit[0]) {
        const auto b0 = static_cast<unsigned char>(form[0]);
        std::vector<int> seconds;
        if (form.size() > 1) {
          seconds.push_back(fold(static_cast<unsigned char>(form[1])));
        } else if (lit.size() > 1) {
          for (const std::string& next : lit[1]) seconds.push_back(fold(static_cast<unsigned char>(next[0])));
        } else {
          seconds.push_back(-1);
        }
        for (int b1 : seconds) {
          const BytePair pair{fold(b0), b1};
          if (std::find(f.pairs.begin(), f.pairs.end(), pair) == f.pairs.end()) f.pairs.push_back(pair);
        }
      }
      f.literals.push_back(lit);
      f.quick.push_back(quick_test(lit));
    }
    if (f.pairs.size() > kMaxPairs) return std::nullopt;
    // The share of text positions that pass the pair test and need the
    // literals checked; past a few percent PCRE2's own scan does as well.
    constexpr double kWorthIt = 0.02;
    double share = 0;
    for (const BytePair& p : f.pairs) {
      share += frequency(p.first) * (p.second < 0 ? 1.0 : frequency(static_cast<unsigned>(p.second)));
    }
    if (share > kWorthIt) return std::nullopt;
    for (const BytePair& pair : f.pairs) {
      PairBroadcast b{};
      std::memset(b.first, pair.first, sizeof(b.first));
      std::memset(b.second, pair.second < 0 ? 0 : pair.second, sizeof(b.second));
      b.any_second = pair.second < 0;
      f.broadcast.push_back(b);
    }
    // The literals by their folded first byte, so that a candidate position
    // is checked only against those that can begin there.
    std::array<std::vector<uint8_t>, 256> by_first;
    for (size_t i = 0; i < f.literals.size(); ++i) {
      for (const std::string& form : f.literals[i][0]) {
        auto& list = by_first[fold(static_cast<unsigned char>(form[0]))];
        if (list.empty() || list.back() != i) list.push_back(static_cast<uint8_t>(i));
      }
    }
    for (unsigned b = 0; b < 256; ++b) {
      f.by_first_start[b] = static_cast<uint16_t>(f.by_first.size());
      f.by_first.insert(f.by_first.end(), by_first[b].begin(), by_first[b].end());
    }
    f.by_first_start[256] = static_cast<uint16_t>(f.by_first.size());
    return f;
  }

  static Prefilter::QuickTest quick_test(const Literal& lit) {
    Prefilter::QuickTest q;
    size_t n = 0;
    while (n < lit.size() && n < 8) {
      // Only characters that are one ASCII byte in every form: a letter's
      // two cases differ in bit 0x20 alone.
      const auto& forms = lit[n];
      const auto first = static_cast<unsigned char>(forms[0][0]);
      const bool letter = forms.size() == 2 && forms[0].size() == 1 && forms[1].size() == 1 &&
                          fold(first) == fold(static_cast<unsigned char>(forms[1][0]));
      if (!(letter || (forms.size() == 1 && forms[0].size() == 1))) break;
      const unsigned c = letter ? fold(first) : first;
      q.value |= uint64_t{c} << (8 * n);
      q.mask |= uint64_t{0xFF} << (8 * n);
      if (letter) q.fold |= uint64_t{0x20} << (8 * n);
      ++n;
    }
    q.length = n;
    q.whole = n == lit.size();
    return q;
  }

  // The literals that begin the alternatives from the parse position up to
  // a ")" or the end of the pattern, which it then stands at.
  std::vector<Partial> alternative_literals() {
    std::vector<Partial> all;
    while (true) {
      std::vector<Partial> alternative(1);
      sequence_literals(alternative);
      all.insert(all.end(), alternative.begin(), alternative.end());
      if (all.size() > kMaxLiterals) throw Bail{};
      if (peek() != '|') return all;
      ++i_;
    }
  }

  // Extends the open literals by what a sequence of atoms must begin with,
  // closing them at the first atom that is not a literal character, a small
  // class of them, or a group of alternatives made of such.
  void sequence_literals(std::vector<Partial>& literals) {
    while (i_ < p_.size() && peek() != ')' && peek() != '|') {
      const Atom a = parse_atom();
      const auto [min, max] = parse_quantifier();
      if (a.zero_width) continue;
      const bool open = std::any_of(literals.begin(), literals.end(), [](const Partial& p) { return p.open; });
      std::vector<Partial> choices;
      if (open && min == 1 && max == 1 && a.group) {
        const size_t resume = i_;
        i_ = a.content;
        choices = alternative_literals();
        i_ = resume;
      } else if (open && min == 1 && max == 1) {
        for (const std::string& ch : a.chars) {
          auto forms = char_forms(ch);
          if (!forms) {
            choices.clear();
            break;
          }
          choices.push_back({{std::move(*forms)}, true});
        }
      }
      std::vector<Partial> extended;
      for (Partial& lit : literals) {
        if (!lit.open || choices.empty()) {
          lit.open = false;
          extended.push_back(std::move(lit));
          continue;
        }
        for (const Partial& choice : choices) {
          Partial longer = lit;
          longer.chars.insert(longer.chars.end(), choice.chars.begin(), choice.chars.end());
          longer.open = choice.open;
          extended.push_back(std::move(longer));
        }
        if (extended.size() > kMaxLiterals) throw Bail{};
      }
      literals = std::move(extended);
    }
  }

  char peek(size_t k = 0) const { return i_ + k < p_.size() ? p_[i_ + k] : '\0'; }
  unsigned byte(size_t k = 0) const { return static_cast<unsigned char>(peek(k)); }

  // Parses alternatives up to a ")" or the end; returns what they can match,
  // and in `min_chars` the fewest characters any of them matches.
  ByteSet parse_alternation(bool& alternation, size_t* min_chars = nullptr) {
    ByteSet set{};
    size_t fewest = std::numeric_limits<size_t>::max(), chars = 0;
    while (i_ < p_.size() && peek() != ')') {
      if (peek() == '|') {
        alternation = true;
        fewest = std::min(fewest, chars);
        chars = 0;
        ++i_;
        continue;
      }
      Atom a = parse_atom();
      const size_t min = parse_quantifier().first;
      for (size_t c = 0; c < 256; ++c) examined_[c] = examined_[c] || a.set[c];
      if (!a.zero_width) {
        for (size_t c = 0; c < 256; ++c) set[c] = set[c] || a.set[c];
        chars += a.min_chars * min;
      }
    }
    if (min_chars != nullptr) *min_chars = std::min(fewest, chars);
    return set;
  }

  // Walks a sequence that every match passes through, collecting each
  // mandatory one-character element as a candidate anchor together with what
  // the elements before it can match.
  //
  // Consecutive elements that match only digits (a digit, a class of them,
  // a group of alternatives made of them: "4[0-9]{3}", "(?:6011|35[0-9]{2})")
  // also make up one run of all their characters together.
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
      if (!a.group && min >= 1 && a.min_chars >= 1) out.push_back({a.set, min, prefix});
      if (only_digits(a.set)) {
        if (!digit_run_.open) digit_run_.prefix = prefix;
        digit_run_.open = true;
        for (size_t c = 0; c < 256; ++c) digit_run_.set[c] = digit_run_.set[c] || a.set[c];
        digit_run_.chars += a.min_chars * min;
        if (digit_run_.chars > 1) out.push_back({digit_run_.set, digit_run_.chars, digit_run_.prefix});
      } else {
        digit_run_ = {};
      }
      for (size_t c = 0; c < 256; ++c) prefix[c] = prefix[c] || a.set[c];
    }
  }

  Atom parse_atom() {
    Atom a;
    const unsigned c = byte();
    if (c == '(') return parse_group();
    if (c == '[') {
      a.set = parse_class(a.chars);
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
    const size_t from = i_;
    a.set = literal_set(read_char());
    a.chars.emplace_back(p_.substr(from, i_ - from));
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
    bool behind = false;  // a look-behind
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
        behind = k == '<';
        nested_lookbehind_ = nested_lookbehind_ || (behind && lookbehinds_ > 0);
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
    lookbehinds_ += behind;
    a.set = parse_alternation(a.alternation, &a.min_chars);
    lookbehinds_ -= behind;
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
      nested_lookbehind_ = nested_lookbehind_ || ((e == 'b' || e == 'B') && lookbehinds_ > 0);
      return a;
    }
    if (e >= '1' && e <= '9' && !is_digit(byte(2))) {
      // A back-reference: whatever its group matched, perhaps nothing.
      i_ += 2;
      a.set = all_bytes();
      a.min_chars = 0;
      return a;
    }
    const size_t from = i_;
    a.set = escape_set(false);
    const unsigned c = static_cast<unsigned char>(p_[from + 1]);
    if (i_ == from + 2 && c < 0x80 && !std::isalnum(static_cast<int>(c))) {
      a.chars.emplace_back(1, static_cast<char>(c));  // an escaped punctuation character
    }
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

  // A class "[...]"; Python reads "[" inside one as a literal. `chars` gets
  // its members when it lists a few characters and nothing else.
  ByteSet parse_class(std::vector<std::string>& chars) {
    constexpr size_t kMaxMembers = 4;
    ++i_;
    const bool negated = peek() == '^';
    if (negated) ++i_;
    bool listable = !negated;
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
          listable = false;
          continue;
        }
        const auto escaped = static_cast<unsigned char>(e);
        lo = escape_char(true);
        if (escaped >= 0x80 || std::isalnum(escaped)) listable = false;
        if (listable) chars.emplace_back(1, static_cast<char>(lo));
      } else {
        const size_t from = i_;
        lo = read_char();
        if (listable) chars.emplace_back(p_.substr(from, i_ - from));
      }
      unsigned hi = lo;
      if (peek() == '-' && peek(1) != ']' && i_ + 1 < p_.size()) {
        listable = false;
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
    if (!listable || chars.size() > kMaxMembers) chars.clear();
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
    f.digit_anchor = only_digits(f.anchor);
    return f;
  }

  std::string_view p_;
  size_t i_ = 0;
  int depth_ = 0;  // groups open around the parse position
  ByteSet examined_{};  // every set parse_alternation met, look-arounds included
  int lookbehinds_ = 0;   // look-behinds open around the parse position
  bool nested_lookbehind_ = false;  // a \b, \B or look-behind met inside one
  // The run of digit-only elements walk_sequence is in, and what the match
  // may hold before it.
  struct {
    ByteSet set{};
    size_t chars = 0;
    bool open = false;
    ByteSet prefix{};
  } digit_run_;
};

}  // namespace

bool literal_scan_pays(const std::array<bool, 256>& first_bytes) {
  // Against a few rare first characters PCRE2's own skip is faster than the
  // pair scan.
  constexpr double kCommon = 0.03;
  double share = 0;
  for (unsigned c = 0; c < 256; ++c) share += first_bytes[c] ? frequency(c) : 0;
  return share > kCommon;
}

std::optional<Prefilter> make_prefilter(std::string_view python_pattern, int flags) {
  if ((flags & VERBOSE) != 0) return std::nullopt;
  return Analyzer(python_pattern).run();
}

std::optional<std::array<bool, 256>> examined_bytes(std::string_view python_pattern, int flags) {
  if ((flags & VERBOSE) != 0) return std::nullopt;
  return Analyzer(python_pattern).examined();
}

WindowFinder::WindowFinder(const Prefilter& filter, std::string_view text, const Utf8Text* indexed)
    : f_(filter), text_(text), digit_runs_(nullptr) {
  if (indexed != nullptr && filter.digit_anchor) {
    digit_runs_ = filter.min_run >= Utf8Text::kLongDigitRun ? &indexed->long_digit_runs() : &indexed->digit_runs();
  }
}

uint64_t WindowFinder::pair_bits(size_t at) const {
  const size_t size = text_.size();
  const auto* p = reinterpret_cast<const unsigned char*>(text_.data()) + at;
#if defined(__SSE2__)
  if (at + 65 <= size) {
    uint64_t bits = 0;
    const __m128i case_bit = _mm_set1_epi8(0x20);
    for (int chunk = 0; chunk < 4; ++chunk) {
      const unsigned char* q = p + 16 * chunk;
      const __m128i first = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), case_bit);
      const __m128i second = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1)), case_bit);
      __m128i hits = _mm_setzero_si128();
      for (const PairBroadcast& b : f_.broadcast) {
        __m128i hit = _mm_cmpeq_epi8(first, _mm_load_si128(reinterpret_cast<const __m128i*>(b.first)));
        if (!b.any_second) {
          hit = _mm_and_si128(hit, _mm_cmpeq_epi8(second, _mm_load_si128(reinterpret_cast<const __m128i*>(b.second))));
        }
        hits = _mm_or_si128(hits, hit);
      }
      bits |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(hits))) << (16 * chunk);
    }
    return bits;
  }
#endif
  uint64_t bits = 0;
  const size_t count = std::min<size_t>(64, size - at);
  for (size_t k = 0; k < count; ++k) {
    const int b1 = at + k + 1 < size ? fold(p[k + 1]) : -2;
    for (const BytePair& pair : f_.pairs) {
      if (pair.first == fold(p[k]) && (pair.second < 0 || pair.second == b1)) bits |= uint64_t{1} << k;
    }
  }
  return bits;
}

bool WindowFinder::literal_at(size_t at) const {
  // Little-endian loads put text_[at] in the low byte, as the tests expect.
  uint64_t eight = 0;
  std::memcpy(&eight, text_.data() + at, std::min<size_t>(8, text_.size() - at));
  if constexpr (std::endian::native == std::endian::big) eight = __builtin_bswap64(eight);
  const uint8_t first = fold(static_cast<unsigned char>(text_[at]));
  for (size_t k = f_.by_first_start[first]; k < f_.by_first_start[first + 1]; ++k) {
    const size_t i = f_.by_first[k];
    const Prefilter::QuickTest& q = f_.quick[i];
    if (((eight | q.fold) & q.mask) != q.value) continue;
    if (q.whole && at + q.length <= text_.size()) return true;
    size_t pos = at;
    bool matched = true;
    for (const auto& forms : f_.literals[i]) {
      auto found = std::find_if(forms.begin(), forms.end(),
                                [&](const std::string& form) { return text_.compare(pos, form.size(), form) == 0; });
      if (found == forms.end()) {
        matched = false;
        break;
      }
      pos += found->size();
    }
    if (matched) return true;
  }
  return false;
}

bool WindowFinder::next_literal(size_t& start, size_t& last) {
  // pos_ is the next block of 64 bytes to test; pending_ holds the
  // candidates of the block before it.
  while (true) {
    while (pending_ == 0) {
      if (pos_ >= text_.size()) return false;
      pending_ = pair_bits(pos_);
      pos_ += 64;
    }
    const size_t at = pos_ - 64 + static_cast<size_t>(std::countr_zero(pending_));
    pending_ &= pending_ - 1;
    if (literal_at(at)) {
      start = last = at;
      return true;
    }
  }
}

std::pair<size_t, size_t> WindowFinder::find_digit_run() {
  // pos_ is 0 or the end of a run already reported.
  const std::vector<Utf8Text::DigitRun>& runs = *digit_runs_;
  while (next_run_ < runs.size() &&
         (runs[next_run_].begin < pos_ || runs[next_run_].end - runs[next_run_].begin < f_.min_run)) {
    ++next_run_;
  }
  if (next_run_ == runs.size()) return {text_.size(), text_.size()};
  return {runs[next_run_].begin, runs[next_run_].end};
}

std::pair<size_t, size_t> WindowFinder::find_byte_run() const {
  const size_t n = f_.min_run;
  const size_t size = text_.size();
  auto in_anchor = [&](size_t i) { return f_.anchor[static_cast<unsigned char>(text_[i])]; };
  size_t pos = pos_;
  while (pos + n <= size) {
    // A run of n anchor bytes starting at or after pos covers pos + n - 1.
    const size_t probe = pos + n - 1;
    if (!in_anchor(probe)) {
      pos = probe + 1;
      continue;
    }
    size_t a = probe;
    while (a > pos && in_anchor(a - 1)) --a;
    size_t b = probe + 1;
    while (b < size && in_anchor(b)) ++b;
    if (b - a >= n) return {a, b};
    pos = b;
  }
  return {size, size};
}

bool WindowFinder::next(size_t& start, size_t& last) {
  if (!f_.literals.empty()) return next_literal(start, last);
  const size_t size = text_.size();
  auto ascii = [&](size_t a, size_t b) {
    return std::all_of(text_.begin() + a, text_.begin() + b,
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  while (true) {
    size_t a = size, b = size;
    if (f_.single_byte >= 0) {
      const void* hit = pos_ < size ? std::memchr(text_.data() + pos_, f_.single_byte, size - pos_) : nullptr;
      if (hit != nullptr) a = static_cast<size_t>(static_cast<const char*>(hit) - text_.data());
      b = a + 1;  // a run of one: the next search starts right after it
    } else if (digit_runs_ != nullptr) {
      // The window of a run of anchor bytes inside a digit run lies within
      // the window of the latter.
      std::tie(a, b) = find_digit_run();
    } else {
      std::tie(a, b) = find_byte_run();
    }
    if (a >= size) {
      pos_ = size;
      return false;
    }
    // pos_ only ever follows a byte outside the anchor set (or the single
    // byte), so [a, b) is a whole run.
    pos_ = b;
    // Between word boundaries, N digits are a whole run of digits: a run of
    // another length, all ASCII, holds no match.
    if (f_.exact_run != 0 && b - a != f_.exact_run && ascii(a, b)) continue;
    // The match starts within the prefix bytes before the run, at a byte it
    // can start with.
    size_t s = a;
    while (s > floor_ && f_.prefix[static_cast<unsigned char>(text_[s - 1])]) --s;
    const size_t l = b - f_.min_run;
    floor_ = l + 1;
    while (s <= l && ((static_cast<unsigned char>(text_[s]) & 0xC0) == 0x80 ||
                      (f_.has_first && !f_.first[static_cast<unsigned char>(text_[s])]))) {
      ++s;
    }
    if (s > l) continue;
    start = s;
    last = l;
    return true;
  }
}

}  // namespace tesk_privacy::regex::internal
