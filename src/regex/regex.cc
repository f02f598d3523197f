#include "tesk_privacy/regex/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "regex/python_dialect.h"

namespace tesk_privacy::regex {

struct Regex::Code {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;
  bool jit = false;
  ~Code() {
    pcre2_match_context_free(context);
    pcre2_code_free(code);
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

  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);  // Python knows only "\n" as a line break
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  code_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated_.data()), translated_.size(),
                              t.options, &error, &error_offset, cctx);
  pcre2_compile_context_free(cctx);
  if (code_->code == nullptr) {
    throw RegexError("invalid regular expression '" + pattern_ + "': " + error_message(error) +
                     " (at offset " + std::to_string(error_offset) + " of the translated pattern)");
  }
  code_->jit = pcre2_jit_compile(code_->code, PCRE2_JIT_COMPLETE) == 0;
  code_->context = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(code_->context, match_limit);
  pcre2_set_depth_limit(code_->context, match_limit);
  uint32_t captures = 0;
  pcre2_pattern_info(code_->code, PCRE2_INFO_CAPTURECOUNT, &captures);
  group_count_ = static_cast<int>(captures);
}

Regex::~Regex() = default;

bool Regex::match_at(std::string_view subject, size_t offset, uint32_t options, void* md) const {
  auto* data = static_cast<pcre2_match_data*>(md);
  auto run = [&](uint32_t extra) {
    return pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                       offset, options | extra | PCRE2_NO_UTF_CHECK, data, code_->context);
  };
  int rc = run(0);
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
void Regex::for_each_match(std::string_view subject, Fn&& fn) const {
  MatchData md(code_->code);
  PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
  size_t offset = 0;
  uint32_t options = 0;
  while (offset <= subject.size()) {
    if (!match_at(subject, offset, options, md.data)) break;
    size_t s = ov[0], e = ov[1];
    fn(s, e, ov);
    // After an empty match the next one may start at the same place only if
    // it is not empty, as in Python's finditer.
    options = (e == s) ? PCRE2_NOTEMPTY_ATSTART : 0;
    offset = e;
    if (e < s) offset = next_char(subject, s);  // \K can end a match before its start
  }
}

std::vector<Match> Regex::find_all(const Utf8Text& text) const {
  std::vector<Match> matches;
  for_each_match(text.view(), [&](size_t s, size_t e, const PCRE2_SIZE* ov) {
    Match m;
    m.byte_start = s;
    m.byte_end = e;
    m.start = static_cast<int64_t>(text.byte_to_cp(s));
    m.end = static_cast<int64_t>(text.byte_to_cp(e));
    m.groups.reserve(group_count_);
    for (int g = 1; g <= group_count_; ++g) {
      PCRE2_SIZE gs = ov[2 * g], ge = ov[2 * g + 1];
      if (gs == PCRE2_UNSET) {
        m.groups.push_back({});
      } else {
        m.groups.push_back({static_cast<int64_t>(text.byte_to_cp(gs)),
                            static_cast<int64_t>(text.byte_to_cp(ge))});
      }
    }
    matches.push_back(std::move(m));
  });
  return matches;
}

bool Regex::full_match(std::string_view text) const {
  check_utf8(text);
  MatchData md(code_->code);
  return match_at(text, 0, PCRE2_ANCHORED | PCRE2_ENDANCHORED, md.data);
}

bool Regex::search(std::string_view text) const {
  check_utf8(text);
  MatchData md(code_->code);
  return match_at(text, 0, 0, md.data);
}

std::string Regex::replace_all(const Utf8Text& text, std::string_view replacement) const {
  std::string_view subject = text.view();
  std::string out;
  size_t copied = 0;
  for_each_match(subject, [&](size_t s, size_t e, const PCRE2_SIZE*) {
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
