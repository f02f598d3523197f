#include "tesk_privacy/regex/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "regex/ascii_zones.h"
#include "regex/prefilter.h"
#include "regex/python_dialect.h"

namespace tesk_privacy::regex {

struct Regex::Code {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;
  std::optional<internal::Prefilter> prefilter;
  uint32_t options = 0;  // the compile options of `code`
  // The pattern compiled without PCRE2_UCP, for attempts that look at ASCII
  // characters only (null when the pattern has no Unicode-aware class);
  // `examined` tells AsciiZones which those are in a text that is not all
  // ASCII, and is empty when zones would not pay.
  pcre2_code* ascii = nullptr;
  std::optional<std::array<bool, 256>> examined;
  size_t lookbehind = 1;  // characters
  // PCRE2's JIT does not run matches anchored by match-time options, so
  // full and prefix matches use copies compiled anchored, made on first use.
  std::once_flag full_once, prefix_once;
  pcre2_code* full = nullptr;    // anchored at both ends
  pcre2_code* prefix = nullptr;  // anchored at the start
  ~Code() {
    pcre2_match_context_free(context);
    pcre2_code_free(code);
    pcre2_code_free(ascii);
    pcre2_code_free(full);
    pcre2_code_free(prefix);
  }
};

namespace {

std::string error_message(int code) {
  PCRE2_UCHAR buffer[256];
  pcre2_get_error_message(code, buffer, sizeof(buffer));
  return reinterpret_cast<const char*>(buffer);
}

struct MatchData {
  explicit MatchData(const pcre2_code* code) : data(pcre2_match_data_create_from_pattern(code, nullptr)) {
    if (data == nullptr) throw std::bad_alloc();
  }
  ~MatchData() { pcre2_match_data_free(data); }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
  pcre2_match_data* data;
};

// A match context of its own for one scan, which may then change its offset
// limit while the Regex stays shared.
struct MatchContext {
  explicit MatchContext(const pcre2_match_context* base) : context(pcre2_match_context_copy(const_cast<pcre2_match_context*>(base))) {
    if (context == nullptr) throw std::bad_alloc();
  }
  ~MatchContext() { pcre2_match_context_free(context); }
  MatchContext(const MatchContext&) = delete;
  MatchContext& operator=(const MatchContext&) = delete;
  pcre2_match_context* context;
};

// Compiles a translated pattern with Python's one line break ("\n"); null
// on error, which `error` and `error_offset` then describe.
pcre2_code* compile(std::string_view pattern, uint32_t options, int* error, PCRE2_SIZE* error_offset) {
  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, error, error_offset, cctx);
  pcre2_compile_context_free(cctx);
  return code;
}

bool has_start_info(const pcre2_code* code) {
  const uint8_t* bitmap = nullptr;
  uint32_t first_type = 0;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTBITMAP, &bitmap);
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &first_type);
  return bitmap != nullptr || first_type != 0;
}

// With PCRE2_UCP, \d, \w and \s stand for Unicode properties, and PCRE2
// then computes no set of possible first characters for a pattern that starts
// with one: every position of the subject gets a full match attempt. Compiled
// without PCRE2_UCP the same pattern does get such a set, and for ASCII
// characters the two compilations agree on every class and escape. So the
// ASCII part of that set plus every non-ASCII character covers each character
// a match can start with; put in front as a lookahead, it changes no match
// but lets PCRE2 (and its JIT) skip every other position. Returns the
// lookahead, or nothing when there is no such set.
std::string start_lookahead(const std::string& translated, uint32_t options) {
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* ascii = compile(translated, options & ~PCRE2_UCP, &error, &error_offset);
  if (ascii == nullptr) return {};
  const uint8_t* bitmap = nullptr;
  pcre2_pattern_info(ascii, PCRE2_INFO_FIRSTBITMAP, &bitmap);
  std::string chars;
  if (bitmap != nullptr) {
    char buffer[16];
    for (int c = 0; c < 128; ++c) {
      if (bitmap[c / 8] & (1u << (c % 8))) {
        std::snprintf(buffer, sizeof(buffer), "\\x{%x}", c);
        chars += buffer;
      }
    }
  }
  pcre2_code_free(ascii);
  if (bitmap == nullptr) return {};
  return "(?=[" + chars + "\\x{80}-\\x{10ffff}])";
}

// What PCRE2 works out about the first byte of every match: the one code
// unit it must start with, or a set of possible first bytes, or nothing.
struct FirstBytes {
  bool single = false;  // one first code unit, in some case
  bool known = false;   // `set` holds every possible first byte
  std::array<bool, 256> set{};
};

FirstBytes first_bytes(const std::string& translated, uint32_t options) {
  FirstBytes first;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = compile(translated, options, &error, &error_offset);
  if (code == nullptr) return first;  // the real compilation reports the error
  uint32_t type = 0, unit = 0;
  const uint8_t* bitmap = nullptr;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &type);
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &unit);
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTBITMAP, &bitmap);
  if (type == 1) {
    first.single = true;
    // PCRE2 does not say whether the unit is caseless: an ASCII letter
    // stands for both cases and for the non-ASCII characters folding onto
    // it; a non-ASCII one may fold onto ASCII, so it gives no set.
    if (unit < 0x80) {
      first.known = true;
      first.set[unit] = true;
      if (std::isalpha(static_cast<int>(unit))) {
        first.set[unit | 0x20] = first.set[unit & ~0x20u] = true;
        for (unsigned c = 0xC0; c < 0x100; ++c) first.set[c] = true;
      }
    }
  } else if (bitmap != nullptr) {
    first.known = true;
    for (unsigned c = 0; c < 256; ++c) first.set[c] = (bitmap[c / 8] >> (c % 8)) & 1;
  }
  pcre2_code_free(code);  // after reading the bitmap, which lies inside it
  return first;
}

// Whether a translated pattern holds \d, \w, \s, \b or a complement,
// whose meaning PCRE2_UCP changes.
bool has_unicode_classes(std::string_view translated) {
  for (size_t i = 0; i + 1 < translated.size(); ++i) {
    if (translated[i] != '\\') continue;
    if (std::string_view("dDwWsSbB").find(translated[i + 1]) != std::string_view::npos) return true;
    ++i;
  }
  return false;
}

// PCRE2 (10.42) misses matches when the code unit every match must start
// with comes from a look-ahead and is also the one it requires, as in
// (?=a)y?a or (?<=x)(?=a)y?a on "a": its search for the required unit
// begins past the start, where this one need not be consumed. A pattern
// whose first and required units are one, with a look-ahead anywhere, has
// to go without PCRE2's start-up optimizations.
bool first_unit_may_come_from_lookahead(const pcre2_code* code, std::string_view translated) {
  uint32_t first_type = 0, last_type = 0, first = 0, last = 0;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &first_type);
  pcre2_pattern_info(code, PCRE2_INFO_LASTCODETYPE, &last_type);
  if (first_type != 1 || last_type != 1) return false;
  pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &first);
  pcre2_pattern_info(code, PCRE2_INFO_LASTCODEUNIT, &last);
  const bool same = first == last || (first < 0x80 && last < 0x80 && std::tolower(static_cast<int>(first)) ==
                                                                          std::tolower(static_cast<int>(last)));
  return same && translated.find("(?=") != std::string_view::npos;
}

size_t next_char(std::string_view s, size_t pos) {
  ++pos;
  while (pos < s.size() && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) ++pos;
  return pos;
}

}  // namespace

std::string escape(std::string_view literal) {
  static constexpr std::string_view kSpecial = "()[]{}?*+-|^$\\.&~# \t\n\r\v\f";
  std::string out;
  out.reserve(literal.size() * 2);
  for (char c : literal) {
    if (kSpecial.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

Regex::Regex(std::string_view pattern, int flags, uint32_t match_limit)
    : pattern_(pattern), flags_(flags), code_(std::make_unique<Code>()) {
  check_utf8(pattern);
  internal::Translation t = internal::translate_python_pattern(pattern, flags);
  translated_ = std::move(t.pattern);
  code_->prefilter = internal::make_prefilter(pattern, flags);
  if (code_->prefilter) {
    const FirstBytes first = first_bytes(translated_, t.options);
    if (!code_->prefilter->literals.empty()) {
      // The literal scan beats PCRE2's own search for a first character
      // unless that character is one code unit or a rare one.
      if (first.single || (first.known && !internal::literal_scan_pays(first.set))) code_->prefilter.reset();
    } else if (first.single && code_->prefilter->exact_run == 0) {
      // PCRE2 finds the one code unit every match starts with faster than
      // the windows can be walked, unless they need no PCRE2 call at all.
      code_->prefilter.reset();
    } else if (first.known) {
      code_->prefilter->first = first.set;
      code_->prefilter->has_first = true;
    }
  }
  // Windowed scans make one PCRE2 call per window. PCRE2's own start-up
  // work (the look-ahead for a required character, which may read the rest
  // of the subject) would then run once per window, quadratic on a text full
  // of anchors; the windows already do that job.
  if (code_->prefilter) t.options |= PCRE2_USE_OFFSET_LIMIT | PCRE2_NO_START_OPTIMIZE;
  const bool ascii_twin = (t.options & PCRE2_UCP) != 0 && has_unicode_classes(translated_);
  if (ascii_twin && !code_->prefilter) {
    // A whole-text scan switches between the two compilations at zone
    // edges, which needs offset limits. Zones pay when the stretches a
    // pattern can match are short: never across a blank.
    code_->examined = internal::examined_bytes(pattern, flags);
    if (code_->examined && (*code_->examined)[' ']) code_->examined.reset();
    if (code_->examined) t.options |= PCRE2_USE_OFFSET_LIMIT;
  }

  int error = 0;
  PCRE2_SIZE error_offset = 0;
  auto compile_pattern = [&] {
    pcre2_code_free(code_->code);
    code_->options = t.options;
    code_->code = compile(translated_, t.options, &error, &error_offset);
    if (code_->code == nullptr) {
      throw RegexError("invalid regular expression '" + pattern_ + "': " + error_message(error) +
                       " (at offset " + std::to_string(error_offset) + " of the translated pattern)");
    }
  };
  compile_pattern();
  if (first_unit_may_come_from_lookahead(code_->code, translated_)) {
    t.options |= PCRE2_NO_START_OPTIMIZE;
    compile_pattern();
  }
  uint32_t anchored = 0;
  pcre2_pattern_info(code_->code, PCRE2_INFO_ALLOPTIONS, &anchored);
  if ((t.options & PCRE2_UCP) != 0 && (anchored & PCRE2_ANCHORED) == 0 && !code_->prefilter &&
      !has_start_info(code_->code)) {
    std::string lookahead = start_lookahead(translated_, t.options);
    if (!lookahead.empty()) {
      std::string guarded = lookahead + translated_;
      pcre2_code* faster = compile(guarded, t.options, &error, &error_offset);
      if (faster != nullptr && has_start_info(faster)) {
        pcre2_code_free(code_->code);
        code_->code = faster;
      } else {
        pcre2_code_free(faster);
      }
    }
  }
  pcre2_jit_compile(code_->code, PCRE2_JIT_COMPLETE);  // without the JIT, PCRE2 interprets
  if (ascii_twin) {
    code_->ascii = compile(translated_, t.options & ~PCRE2_UCP, &error, &error_offset);
    if (code_->ascii != nullptr) {
      pcre2_jit_compile(code_->ascii, PCRE2_JIT_COMPLETE);
      uint32_t lookbehind = 0;  // \b and \B count one character
      pcre2_pattern_info(code_->ascii, PCRE2_INFO_MAXLOOKBEHIND, &lookbehind);
      code_->lookbehind = std::max<size_t>(lookbehind, 1);
    } else {
      code_->examined.reset();
    }
  }
  code_->context = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(code_->context, match_limit);
  pcre2_set_depth_limit(code_->context, match_limit);
  uint32_t captures = 0;
  pcre2_pattern_info(code_->code, PCRE2_INFO_CAPTURECOUNT, &captures);
  group_count_ = static_cast<int>(captures);
}

Regex::~Regex() = default;

bool Regex::match_at(const void* code, std::string_view subject, size_t offset, uint32_t options, void* md,
                     void* mctx) const {
  auto* data = static_cast<pcre2_match_data*>(md);
  auto* context = mctx != nullptr ? static_cast<pcre2_match_context*>(mctx) : code_->context;
  auto run = [&](uint32_t extra) {
    return pcre2_match(static_cast<const pcre2_code*>(code), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                       subject.size(), offset, options | extra | PCRE2_NO_UTF_CHECK, data, context);
  };
  // The JIT's own entry skips pcre2_match's checks; it knows none of the
  // match-time options but NOTEMPTY_ATSTART, and refuses code it did not
  // compile.
  int rc = PCRE2_ERROR_JIT_BADOPTION;
  if ((options & ~PCRE2_NOTEMPTY_ATSTART) == 0) {
    rc = pcre2_jit_match(static_cast<const pcre2_code*>(code), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                         subject.size(), offset, options, data, context);
  }
  if (rc == PCRE2_ERROR_JIT_BADOPTION) rc = run(0);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = run(PCRE2_NO_JIT);  // the interpreter keeps its stack on the heap
  if (rc >= 0) return true;
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT) {
    throw MatchLimitError("regular expression '" + pattern_ +
                          "' exceeded its backtracking bound; the text was not fully analysed");
  }
  throw std::runtime_error("regular expression '" + pattern_ + "' failed: " + error_message(rc));
}

template <typename Fn>
void Regex::for_each_match(const Utf8Text& text, Fn&& fn) const {
  const std::string_view subject = text.view();
  MatchData md(code_->code);
  PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
  size_t offset = 0;
  uint32_t options = 0;
  // Hands the match just found to `fn` and moves on past it. After an empty
  // match the next one may start at the same place only if it is not empty,
  // as in Python's finditer; \K can end a match before its start.
  auto report = [&] {
    const size_t s = ov[0], e = ov[1];
    fn(s, e, ov);
    options = (e == s) ? PCRE2_NOTEMPTY_ATSTART : 0;
    offset = e < s ? next_char(subject, s) : e;
  };
  // The compilation without Unicode classes serves a text that is all
  // ASCII, or the stretches of it away from its other characters.
  const pcre2_code* fast = code_->ascii != nullptr && text.is_ascii() ? code_->ascii : nullptr;
  if (code_->prefilter) {
    // Matches can only start inside the prefilter's windows: search each
    // window that reaches past the previous match, with an offset limit so
    // PCRE2 stops at the window's end instead of scanning on.
    MatchContext context(code_->context);
    internal::WindowFinder windows(*code_->prefilter, subject, &text);
    const pcre2_code* code = fast != nullptr ? fast : code_->code;
    size_t window_start = 0, window_last = 0;
    bool have = windows.next(window_start, window_last);
    while (have && offset <= subject.size()) {
      size_t from = std::max(window_start, offset);
      while (from < subject.size() && (static_cast<unsigned char>(subject[from]) & 0xC0) == 0x80) ++from;
      if (from > window_last) {
        have = windows.next(window_start, window_last);
        continue;
      }
      pcre2_set_offset_limit(context.context, window_last);
      if (!match_at(code, subject, from, from == offset ? options : 0, md.data, context.context)) {
        have = windows.next(window_start, window_last);
        continue;
      }
      report();
    }
    return;
  }
  if (fast == nullptr && code_->ascii != nullptr && code_->examined) {
    // Each stretch of starts goes to the compilation it allows, with an
    // offset limit at its end.
    MatchContext context(code_->context);
    internal::AsciiZones zones(subject, *code_->examined, code_->lookbehind);
    while (offset <= subject.size()) {
      const auto [zone_start, zone_end] = zones.next(offset);
      const bool clean = offset < zone_start;
      const size_t limit = clean ? std::min(zone_start - 1, subject.size()) : zone_end - 1;
      pcre2_set_offset_limit(context.context, limit);
      if (match_at(clean ? code_->ascii : code_->code, subject, offset, options, md.data, context.context)) {
        report();
      } else {
        offset = limit + 1;
        options = 0;
      }
    }
    return;
  }
  while (offset <= subject.size() &&
         match_at(fast != nullptr ? fast : code_->code, subject, offset, options, md.data)) {
    report();
  }
}

namespace {

int64_t cp_offset(const Utf8Text& text, size_t byte) { return static_cast<int64_t>(text.byte_to_cp(byte)); }

}  // namespace

std::vector<Match> Regex::find_all(const Utf8Text& text) const {
  std::vector<Match> matches;
  for_each_match(text, [&](size_t s, size_t e, const PCRE2_SIZE* ov) {
    Match m;
    m.byte_start = s;
    m.byte_end = e;
    m.start = cp_offset(text, s);
    m.groups.reserve(group_count_);
    for (int g = 1; g <= group_count_; ++g) {
      PCRE2_SIZE gs = ov[2 * g], ge = ov[2 * g + 1];
      if (gs == PCRE2_UNSET) {
        m.groups.push_back({});
      } else {
        m.groups.push_back({cp_offset(text, gs), cp_offset(text, ge)});
      }
    }
    m.end = cp_offset(text, e);
    matches.push_back(std::move(m));
  });
  return matches;
}

std::vector<MatchSpan> Regex::find_spans(const Utf8Text& text) const {
  std::vector<MatchSpan> spans;
  for_each_match(text, [&](size_t s, size_t e, const PCRE2_SIZE*) {
    spans.push_back({cp_offset(text, s), cp_offset(text, e), s, e});
  });
  return spans;
}

std::pair<const void*, uint32_t> Regex::anchored_code(bool at_both_ends) const {
  std::once_flag& once = at_both_ends ? code_->full_once : code_->prefix_once;
  pcre2_code*& slot = at_both_ends ? code_->full : code_->prefix;
  const uint32_t anchoring = PCRE2_ANCHORED | (at_both_ends ? PCRE2_ENDANCHORED : 0);
  std::call_once(once, [&] {
    const uint32_t options = (code_->options & ~(PCRE2_USE_OFFSET_LIMIT | PCRE2_NO_START_OPTIMIZE)) | anchoring;
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    slot = compile(translated_, options, &error, &error_offset);
    if (slot != nullptr) pcre2_jit_compile(slot, PCRE2_JIT_COMPLETE);
  });
  if (slot == nullptr) return {code_->code, anchoring};  // anchored at match time, interpreted
  return {slot, 0};
}

bool Regex::full_match(std::string_view text) const {
  check_utf8(text);
  MatchData md(code_->code);
  const auto [code, options] = anchored_code(true);
  return match_at(code, text, 0, options, md.data);
}

std::optional<size_t> Regex::prefix_match(std::string_view text) const {
  check_utf8(text);
  MatchData md(code_->code);
  const auto [code, options] = anchored_code(false);
  if (!match_at(code, text, 0, options, md.data)) return std::nullopt;
  return pcre2_get_ovector_pointer(md.data)[1];
}

bool Regex::search(std::string_view text) const {
  check_utf8(text);
  MatchData md(code_->code);
  return match_at(code_->code, text, 0, 0, md.data);
}

std::string Regex::replace_all(const Utf8Text& text, std::string_view replacement) const {
  std::string_view subject = text.view();
  std::string out;
  size_t copied = 0;
  for_each_match(text, [&](size_t s, size_t e, const PCRE2_SIZE*) {
    if (s < copied) return;
    out.append(subject.substr(copied, s - copied));
    out.append(replacement);
    copied = e;
  });
  if (copied == 0 && out.empty()) return text.str();
  out.append(subject.substr(copied));
  return out;
}

}  // namespace tesk_privacy::regex
