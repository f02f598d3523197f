#include "recognition/tokenizer.h"

#include <unicode/uchar.h>

#include <array>
#include <string>
#include <unordered_set>

namespace tesk_privacy::recognition {
namespace {

// What a character means to the scanner.
enum class Cls : uint8_t {
  kSpace,      // white space, controls, invisible format characters
  kLetter,     // letters and non-decimal numbers ("²", "Ⅻ")
  kDigit,      // decimal digits
  kMark,       // combining marks, variation selectors
  kConnector,  // "_" and its kin
  kJoiner,     // ZWJ, ZWNJ, soft hyphen, word joiner: glue inside a word
  kPunct,
  kSymbol,
};

constexpr std::array<Cls, 128> kAsciiClass = [] {
  std::array<Cls, 128> t{};
  for (int c = 0; c < 128; ++c) {
    if (c <= 0x20 || c == 0x7F) {
      t[c] = Cls::kSpace;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      t[c] = Cls::kLetter;
    } else if (c >= '0' && c <= '9') {
      t[c] = Cls::kDigit;
    } else if (c == '_') {
      t[c] = Cls::kConnector;
    } else if (c == '$' || c == '+' || c == '<' || c == '=' || c == '>' || c == '^' || c == '`' ||
               c == '|' || c == '~') {
      t[c] = Cls::kSymbol;
    } else {
      t[c] = Cls::kPunct;
    }
  }
  return t;
}();

Cls classify(char32_t c) {
  if (c < 0x80) return kAsciiClass[c];
  switch (c) {
    case 0x200C: case 0x200D: case 0x00AD: case 0x2060:
      return Cls::kJoiner;
    default:
      break;
  }
  switch (u_charType(static_cast<UChar32>(c))) {
    case U_UPPERCASE_LETTER: case U_LOWERCASE_LETTER: case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER: case U_OTHER_LETTER: case U_LETTER_NUMBER: case U_OTHER_NUMBER:
      return Cls::kLetter;
    case U_DECIMAL_DIGIT_NUMBER:
      return Cls::kDigit;
    case U_NON_SPACING_MARK: case U_ENCLOSING_MARK: case U_COMBINING_SPACING_MARK:
      return Cls::kMark;
    case U_CONNECTOR_PUNCTUATION:
      return Cls::kConnector;
    case U_SPACE_SEPARATOR: case U_LINE_SEPARATOR: case U_PARAGRAPH_SEPARATOR:
    case U_CONTROL_CHAR: case U_FORMAT_CHAR:
      return Cls::kSpace;
    case U_DASH_PUNCTUATION: case U_START_PUNCTUATION: case U_END_PUNCTUATION:
    case U_INITIAL_PUNCTUATION: case U_FINAL_PUNCTUATION: case U_OTHER_PUNCTUATION:
      return Cls::kPunct;
    default:
      return Cls::kSymbol;  // math, currency, modifier and other symbols, private use, unassigned
  }
}

bool is_word(Cls k) {
  return k == Cls::kLetter || k == Cls::kDigit || k == Cls::kMark || k == Cls::kConnector;
}

bool is_lower(char32_t c) { return c < 0x80 ? (c >= 'a' && c <= 'z') : u_islower(static_cast<UChar32>(c)); }
bool is_upper(char32_t c) { return c < 0x80 ? (c >= 'A' && c <= 'Z') : u_isupper(static_cast<UChar32>(c)); }

// Characters that stay with the emoji or symbol before them: variation
// selectors, skin tones, tag characters (subdivision flags), the keycap mark.
bool is_emoji_extender(char32_t c) {
  return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) ||
         (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F) || c == 0x20E3;
}

bool is_regional_indicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

// ASCII marks whose runs form one token ("...", "--", "!!").
bool groups_in_runs(char32_t c) {
  return c == '.' || c == '-' || c == '!' || c == '?' || c == '*' || c == '=' || c == '~' || c == '#';
}

// Words whose closing period belongs to them, lower-cased and without it.
const std::unordered_set<std::string_view>& abbreviations() {
  static const std::unordered_set<std::string_view> kAbbreviations = {
      // Indonesian: titles, companies, addresses, letters
      "pt", "cv", "tbk", "jl", "jln", "gg", "no", "kav", "blk", "rt", "rw", "kel", "kec", "kab",
      "prov", "sdr", "sdri", "bpk", "bp", "yth", "kpd", "ny", "nn", "tn", "hj", "kh", "drs", "dra",
      "drg", "ir", "dll", "dsb", "dst", "tsb", "ybs", "hal", "tgl", "telp", "tlp", "rp", "rek", "ttd",
      "ket", "s.kom", "s.pd", "s.sos", "s.psi", "s.ked", "s.farm", "s.ag", "s.ip", "s.hut",
      "s.st", "m.kom", "m.si", "m.pd", "m.sc", "m.hum", "b.sc", "ph.d", "a.md",
      // English
      "mr", "mrs", "ms", "mx", "dr", "prof", "st", "jr", "sr", "inc", "ltd", "co", "corp", "vs", "etc",
      "approx", "dept", "est", "fig", "jan", "feb", "mar", "apr", "jun", "jul", "aug", "sep", "sept",
      "oct", "nov", "dec", "ave", "blvd", "rd", "gen", "gov", "govt", "sen", "rep", "capt", "col", "lt",
      "sgt", "mt", "tel", "ext", "ref", "vol", "nos", "acc", "univ", "bros",
  };
  return kAbbreviations;
}

class Scanner {
 public:
  Scanner(std::string_view s, std::vector<Token>& out) : s_(s), n_(s.size()), out_(out) {}

  void run() {
    size_t p = 0;
    while (p < n_) {
      size_t next;
      const char32_t c = at(p, next);
      const Cls k = classify(c);
      if (k == Cls::kSpace || k == Cls::kJoiner) {
        p = next;
      } else if (is_word(k) || (c == '+' && next < n_ && class_at(next) == Cls::kDigit && !word_before(p))) {
        p = scan_word(p);
      } else {
        p = scan_symbol(p, c, k, next);
      }
    }
  }

 private:
  // Decodes the character at `pos`; `next` receives the offset after it.
  // Truncated sequences (never in valid UTF-8) read as one byte.
  char32_t at(size_t pos, size_t& next) const {
    const auto b = static_cast<unsigned char>(s_[pos]);
    if (b < 0x80) {
      next = pos + 1;
      return b;
    }
    const size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (pos + len > n_) {
      next = pos + 1;
      return 0xFFFD;
    }
    next = pos + len;
    auto cont = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(s_[pos + i]) & 0x3F); };
    if (len == 2) return (static_cast<char32_t>(b & 0x1F) << 6) | cont(1);
    if (len == 3) return (static_cast<char32_t>(b & 0x0F) << 12) | (cont(1) << 6) | cont(2);
    return (static_cast<char32_t>(b & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
  }
  Cls class_at(size_t pos) const {
    size_t next;
    return classify(at(pos, next));
  }
  bool word_before(size_t pos) const {
    if (pos == 0) return false;
    size_t q = pos - 1;
    while (q > 0 && (static_cast<unsigned char>(s_[q]) & 0xC0) == 0x80) --q;
    return is_word(class_at(q));
  }

  size_t count_cps(size_t from, size_t to) const {
    size_t n = 0;
    for (size_t i = from; i < to; ++i) n += (static_cast<unsigned char>(s_[i]) & 0xC0) != 0x80;
    return n;
  }
  void emit(size_t b, size_t e, TokenKind kind) {
    cp_cursor_ += count_cps(byte_cursor_, b);
    const auto start = static_cast<int64_t>(cp_cursor_);
    cp_cursor_ += count_cps(b, e);
    byte_cursor_ = e;
    out_.push_back(Token{b, e, start, static_cast<int64_t>(cp_cursor_), kind});
  }

  // Lower-cased ASCII copy of [b, e) when it is short and ASCII, else empty.
  std::string short_lower(size_t b, size_t e, size_t max_len) const {
    std::string out;
    if (e - b > max_len) return out;
    for (size_t i = b; i < e; ++i) {
      const auto c = static_cast<unsigned char>(s_[i]);
      if (c >= 0x80) return {};
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
  }
  bool is_abbreviation(size_t b, size_t e) const {
    const std::string lower = short_lower(b, e, 8);
    return !lower.empty() && abbreviations().contains(lower);
  }
  // "e.g", "a.n", "S.H": single letters joined by periods; or one capital
  // letter, an initial.
  bool is_dotted_letters(size_t b, size_t e) const {
    size_t next;
    const char32_t first = at(b, next);
    if (next == e) return is_upper(first);
    for (size_t i = b; i < e; ++i) {
      const char c = s_[i];
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      if ((i - b) % 2 == 0 ? !letter : c != '.') return false;
    }
    return (e - b) % 2 == 1 && e - b >= 3;
  }

  bool is_local_part_char(char32_t c) const {
    return is_word(classify(c)) || c == '.' || c == '-' || c == '%' || c == '+' || c == '\'';
  }
  // End of a domain of two or more labels starting at `p` whose last label is
  // alphabetic and two characters or longer; 0 when there is none.
  size_t match_domain(size_t p) const {
    size_t q = p, end = 0;
    int labels = 0;
    bool last_alpha = false;
    size_t last_len = 0;
    for (;;) {
      bool alpha = true;
      size_t len = 0;
      while (q < n_) {
        size_t next;
        const char32_t c = at(q, next);
        const Cls k = classify(c);
        if (c != '-' && !(is_word(k) && k != Cls::kConnector)) break;
        alpha &= k == Cls::kLetter || k == Cls::kMark;
        ++len;
        q = next;
      }
      if (len == 0) break;
      ++labels;
      last_alpha = alpha;
      last_len = len;
      end = q;
      if (q + 1 < n_ && s_[q] == '.' && is_word(class_at(q + 1))) {
        ++q;
        continue;
      }
      break;
    }
    return labels >= 2 && last_alpha && last_len >= 2 ? end : 0;
  }
  // An address whose "@" is at `at_pos`, for a token starting at `start`.
  size_t match_email(size_t start, size_t at_pos) const {
    if (at_pos == start) return 0;
    for (size_t q = start; q < at_pos;) {
      size_t next;
      if (!is_local_part_char(at(q, next))) return 0;
      q = next;
    }
    return match_domain(at_pos + 1);
  }
  // At a "+" or "%" inside a word: is this the local part of an address?
  // Remembers where a failed look-ahead stopped, so that a long run of such
  // characters is scanned once.
  size_t probe_email(size_t start, size_t q) {
    if (q < no_email_before_) return 0;
    size_t r = q;
    while (r < n_) {
      size_t next;
      if (!is_local_part_char(at(r, next))) break;
      r = next;
    }
    if (r < n_ && s_[r] == '@') {
      if (size_t e = match_email(start, r)) return e;
    }
    no_email_before_ = r;
    return 0;
  }

  // The rest of a URL from `body`: up to white space or a delimiter, without
  // trailing punctuation or unbalanced closing brackets. 0 when nothing is left.
  size_t scan_url(size_t body) const {
    size_t q = body;
    int parens = 0, brackets = 0;
    while (q < n_) {
      size_t next;
      const char32_t c = at(q, next);
      if (classify(c) == Cls::kSpace || c == '<' || c == '>' || c == '"' || c == 0x201C || c == 0x201D ||
          c == 0xAB || c == 0xBB) {
        break;
      }
      parens += c == '(' ? 1 : c == ')' ? -1 : 0;
      brackets += c == '[' ? 1 : c == ']' ? -1 : 0;
      q = next;
    }
    while (q > body) {
      const char c = s_[q - 1];
      if (c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == '\'') {
        --q;
      } else if (c == ')' && parens < 0) {
        ++parens;
        --q;
      } else if (c == ']' && brackets < 0) {
        ++brackets;
        --q;
      } else {
        break;
      }
    }
    return q > body ? q : 0;
  }
  bool is_scheme(size_t b, size_t e) const {
    const std::string lower = short_lower(b, e, 5);
    return lower == "http" || lower == "https" || lower == "ftp";
  }
  // The last label of a host name ("example.co.id" up to `e`, its last period
  // at `last_dot`): two or more lower-case ASCII letters.
  bool ends_in_top_level_domain(size_t last_dot, size_t e) const {
    if (last_dot == std::string_view::npos || e - last_dot - 1 < 2 || e - last_dot - 1 > 24) return false;
    for (size_t i = last_dot + 1; i < e; ++i) {
      if (s_[i] < 'a' || s_[i] > 'z') return false;
    }
    return true;
  }

  // A token that starts with a word character (or "+" and a digit).
  size_t scan_word(size_t start) {
    size_t q = start;
    if (s_[q] == '+') ++q;
    bool has_letter = false, has_digit = false, has_apostrophe = false;
    // Whether the token so far could be a host name: ASCII letters, digits,
    // hyphens and periods only; and where its last period is.
    bool host_chars = s_[start] != '+';
    size_t last_dot = std::string_view::npos;
    Cls last = Cls::kSpace;
    char32_t last_cp = 0;
    for (;;) {
      while (q < n_) {
        size_t next;
        const char32_t c = at(q, next);
        const Cls k = classify(c);
        if (is_word(k)) {
          host_chars &= c < 0x80 && k != Cls::kConnector;
          has_letter |= k == Cls::kLetter;
          has_digit |= k == Cls::kDigit;
          last = k;
          last_cp = c;
          q = next;
        } else if (k == Cls::kJoiner && next < n_ && is_word(class_at(next))) {
          host_chars = false;
          q = next;
        } else {
          break;
        }
      }
      if (q >= n_) break;
      size_t next;
      const char32_t c = at(q, next);
      if (c == '@') {
        if (size_t e = match_email(start, q)) return emit_and_return(start, e, TokenKind::kEmail);
        break;
      }
      if (c == '+' || c == '%') {
        if (size_t e = probe_email(start, q)) return emit_and_return(start, e, TokenKind::kEmail);
        break;
      }
      if (c == ':' && s_.compare(q, 3, "://") == 0 && is_scheme(start, q)) {
        if (size_t e = scan_url(q + 3)) return emit_and_return(start, e, TokenKind::kUrl);
        break;
      }
      if (c == '/' && host_chars && ends_in_top_level_domain(last_dot, q)) {
        return emit_and_return(start, scan_url(q), TokenKind::kUrl);
      }
      if (next >= n_) break;
      size_t after;
      const char32_t d = at(next, after);
      const Cls dk = classify(d);
      if (!is_word(dk)) break;
      bool join = false;
      switch (c) {
        case '-': case 0x2010: case 0x2011:
          join = true;
          break;
        case '.':
          // "No.123", "Jl.Merdeka": the abbreviation ends here. Before a
          // lower-case letter the period may be inside an address
          // ("dr.andi@rs.id"), so the word goes on.
          if ((dk == Cls::kDigit || is_upper(d)) && is_abbreviation(start, q)) {
            return emit_and_return(start, next, TokenKind::kAbbreviation);
          }
          join = !(is_lower(last_cp) && is_upper(d));
          break;
        case ',': case '/': case ':':
          join = last == Cls::kDigit && dk == Cls::kDigit;
          break;
        case '\'': case 0x2019:
          join = (last == Cls::kLetter || last == Cls::kMark) && dk == Cls::kLetter;
          has_apostrophe |= join;
          break;
        case '&':
          join = last == Cls::kLetter && dk == Cls::kLetter;
          break;
        default:
          break;
      }
      if (!join) break;
      if (c == '.') {
        last_dot = q;
      } else if (c != '-') {
        host_chars = false;
      }
      q = next;
    }

    // The closing period of an abbreviation or an initial (not an ellipsis).
    if (q < n_ && s_[q] == '.' && !(q + 1 < n_ && s_[q + 1] == '.') &&
        (is_abbreviation(start, q) || is_dotted_letters(start, q))) {
      return emit_and_return(start, q + 1, TokenKind::kAbbreviation);
    }
    if (!has_letter && !has_digit) return emit_and_return(start, q, TokenKind::kPunctuation);
    if (!has_letter) return emit_and_return(start, q, TokenKind::kNumber);
    if (short_lower(start, std::min(q, start + 4), 4) == "www.") return emit_and_return(start, q, TokenKind::kUrl);
    if (has_apostrophe) return split_clitic(start, q);
    return emit_and_return(start, q, TokenKind::kWord);
  }

  size_t emit_and_return(size_t b, size_t e, TokenKind kind) {
    emit(b, e, kind);
    return e;
  }

  // "Budi's" -> "Budi" "'s"; "don't" -> "do" "n't"; "Jum'at" stays whole.
  size_t split_clitic(size_t start, size_t end) {
    size_t apostrophe = end;
    size_t width = 0;
    for (size_t i = end; i > start;) {
      --i;
      if (s_[i] == '\'') {
        apostrophe = i;
        width = 1;
        break;
      }
      if (i + 3 <= end && s_.compare(i, 3, "\xE2\x80\x99") == 0) {
        apostrophe = i;
        width = 3;
        break;
      }
    }
    size_t split = end;
    if (apostrophe < end) {
      const std::string tail = short_lower(apostrophe + width, end, 2);
      if (tail == "s" || tail == "re" || tail == "ve" || tail == "ll" || tail == "d" || tail == "m") {
        split = apostrophe;
      } else if (tail == "t" && apostrophe > start + 1 && (s_[apostrophe - 1] == 'n' || s_[apostrophe - 1] == 'N')) {
        split = apostrophe - 1;
      }
    }
    if (split > start && split < end) {
      emit(start, split, TokenKind::kWord);
      emit(split, end, TokenKind::kWord);
    } else {
      emit(start, end, TokenKind::kWord);
    }
    return end;
  }

  // Punctuation or a symbol; an emoji keeps its modifiers and ZWJ sequence.
  size_t scan_symbol(size_t p, char32_t c, Cls k, size_t q) {
    const TokenKind kind = k == Cls::kPunct ? TokenKind::kPunctuation : TokenKind::kSymbol;
    if (c < 0x80) {
      if (groups_in_runs(c)) {
        while (q < n_ && static_cast<char32_t>(s_[q]) == c) ++q;
      }
      return emit_and_return(p, q, kind);
    }
    size_t next;
    if (is_regional_indicator(c) && q < n_ && is_regional_indicator(at(q, next))) q = next;
    while (q < n_) {
      const char32_t d = at(q, next);
      if (d == 0x200D) {
        size_t after;
        if (next < n_ && classify(at(next, after)) == Cls::kSymbol) {
          q = after;
          continue;
        }
        break;
      }
      if (is_emoji_extender(d) || classify(d) == Cls::kMark) {
        q = next;
        continue;
      }
      break;
    }
    return emit_and_return(p, q, kind);
  }

  std::string_view s_;
  size_t n_;
  std::vector<Token>& out_;
  size_t byte_cursor_ = 0;
  size_t cp_cursor_ = 0;
  size_t no_email_before_ = 0;
};

}  // namespace

std::vector<Token> Tokenizer::tokenize(std::string_view text) const {
  std::vector<Token> tokens;
  tokens.reserve(text.size() / 5 + 1);
  Scanner(text, tokens).run();
  return tokens;
}

}  // namespace tesk_privacy::recognition
