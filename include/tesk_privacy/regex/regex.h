// Regex: a regular expression written in Python's `re` dialect, compiled once
// with PCRE2 (JIT, UTF mode, Unicode properties) and then immutable.
//
// The recognizers' patterns are written for Python's `re`: look-behind, scoped
// inline flags such as "(?-i:...)", Unicode-aware \w, \d, \s and \b, "$" that
// also matches before a final line break. The constructor translates the few
// places where PCRE2 reads the same text differently (\Z, \v, \uXXXX, "{,n}",
// Python's extra white space in \s, "[" inside a class, inline flag letters)
// and refuses escapes Python would refuse, so a pattern keeps the meaning it
// has in Python. Flags use Python's bit values; offsets are code points.
//
//   Regex re(R"(\b0\d{7}\b)", IGNORECASE | MULTILINE | DOTALL);
//   for (const Match& m : re.find_all(Utf8Text("NIK 01234567"))) { ... }
//
// Matching is bounded: a match attempt that backtracks more than
// kDefaultMatchLimit steps throws MatchLimitError instead of running on, so no
// pattern can hang on hostile text. Callers treat it as a failed analysis.
//
// A Regex is immutable after construction and safe to share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::regex {

// Python's `re` flag bits.
enum Flag : int {
  TEMPLATE = 1,
  IGNORECASE = 2,
  LOCALE = 4,
  MULTILINE = 8,
  DOTALL = 16,
  UNICODE = 32,
  VERBOSE = 64,
  DEBUG = 128,
  ASCII = 256,
};
// DOTALL | MULTILINE | IGNORECASE, the flags every analysis uses by default.
inline constexpr int kDefaultFlags = DOTALL | MULTILINE | IGNORECASE;

// Backtracking steps allowed for one match attempt.
inline constexpr uint32_t kDefaultMatchLimit = 10'000'000;

// A pattern that does not compile, or flags that cannot be honoured.
class RegexError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A match attempt exceeded its backtracking bound.
class MatchLimitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Span {
  // Code-point offsets; -1 for a group that took no part in the match.
  int64_t start = -1;
  int64_t end = -1;
  bool operator==(const Span&) const = default;
};

struct Match {
  int64_t start = 0;  // code points
  int64_t end = 0;
  size_t byte_start = 0;
  size_t byte_end = 0;
  std::vector<Span> groups;  // capture groups 1..n
};

// A match without its groups, for scans that need only where matches lie.
struct MatchSpan {
  int64_t start = 0;  // code points
  int64_t end = 0;
  size_t byte_start = 0;
  size_t byte_end = 0;
  bool operator==(const MatchSpan&) const = default;
};

// Python's re.escape: a backslash before every character that is special in
// a pattern, so the result matches `literal` exactly.
std::string escape(std::string_view literal);

class Regex {
 public:
  explicit Regex(std::string_view pattern, int flags = 0,
                 uint32_t match_limit = kDefaultMatchLimit);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  const std::string& pattern() const { return pattern_; }
  int flags() const { return flags_; }
  // The pattern as handed to PCRE2.
  const std::string& translated_pattern() const { return translated_; }
  int group_count() const { return group_count_; }

  // All non-overlapping matches left to right, as Python's finditer yields
  // them (an empty match never repeats at the position of the previous one).
  std::vector<Match> find_all(const Utf8Text& text) const;
  // The same matches as find_all, without their groups; cheaper.
  std::vector<MatchSpan> find_spans(const Utf8Text& text) const;
  // Whether the whole of `text` matches (Python's fullmatch).
  bool full_match(std::string_view text) const;
  // The length in bytes of the match anchored at the start of `text`
  // (Python's match), or nullopt when there is none.
  std::optional<size_t> prefix_match(std::string_view text) const;
  // Whether the pattern matches anywhere in `text` (Python's search).
  bool search(std::string_view text) const;
  // Every match replaced by `replacement`, inserted literally.
  std::string replace_all(const Utf8Text& text, std::string_view replacement) const;

 private:
  struct Code;
  // Runs one match of `code` (a compiled form of the pattern) from byte
  // `offset`; returns false when there is none. `match_context` replaces the
  // shared one when not null.
  bool match_at(const void* code, std::string_view subject, size_t offset, uint32_t options, void* match_data,
                void* match_context = nullptr) const;
  // The pattern compiled anchored at the start (and the end), with the
  // match-time options still to pass: none, or the anchoring itself should
  // that compilation fail.
  std::pair<const void*, uint32_t> anchored_code(bool at_both_ends) const;
  template <typename Fn>
  void for_each_match(const Utf8Text& text, Fn&& fn) const;

  std::string pattern_;
  int flags_;
  std::string translated_;
  int group_count_ = 0;
  std::unique_ptr<Code> code_;
};

}  // namespace tesk_privacy::regex
