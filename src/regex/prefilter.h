// Prefilter: where in a text a match of a pattern can lie, worked out once
// from the pattern so that a scan skips the rest of the text.
//
// Every match of a pattern such as \b\d{13}\b or [\w.]+@[\w-]+ holds a run of
// at least `min_run` bytes from the set `anchor` (thirteen digits, one "@"),
// and everything the match holds before that run comes from the set
// `prefix`. So a match can only start in a window reaching from the start of
// the prefix-byte stretch before such a run to `min_run` bytes before the
// run's end; PCRE2 then looks for it in those windows only.
//
// Sets are over bytes and err on the large side: every non-ASCII byte belongs
// to every set that could hold a non-ASCII character, and letters stand for
// both cases and for the non-ASCII characters that fold onto them (K, ſ), so
// the flags and scoped flag groups can never make a window too small.
//
// A pattern with no such run may instead begin every match with one of a few
// literals, as in \b(?:Halvern|Morvale)\b or (?:USD|Rp)\s?\d+. Its matches
// can then only start where one of them occurs: a scan looks for the
// literals' first two bytes sixteen positions at a time, checks each
// literal in full there, and gives PCRE2 just those positions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::regex::internal {

// A literal as a sequence of characters, each given by the byte strings it
// may appear as: one for a character without case, the two ASCII cases of a
// letter, plus the non-ASCII characters Python folds onto i, k and s.
using Literal = std::vector<std::vector<std::string>>;

// The first two bytes a literal can begin with, case folded by setting bit
// 0x20 (which maps ASCII letters to lower case and merges some other bytes,
// only ever adding candidates); `second` is -1 when any byte may follow.
struct BytePair {
  uint8_t first = 0;
  int second = -1;
  bool operator==(const BytePair&) const = default;
};

// A byte pair's bytes, each repeated to fill 16 bytes for the SSE2 test;
// second is all zero for a pair whose second byte may be anything.
struct PairBroadcast {
  alignas(16) uint8_t first[16];
  alignas(16) uint8_t second[16];
  bool any_second;
};

struct Prefilter {
  // Literal mode when not empty: every match starts where one of these
  // begins, and the window fields below are unused.
  std::vector<Literal> literals;
  // For each literal, a test of its first eight bytes at once: the text's
  // eight bytes, or-ed with `fold` and and-ed with `mask`, equal `value`
  // when the literal's leading one-byte characters are there (all of the
  // literal when `whole`).
  struct QuickTest {
    uint64_t value = 0, mask = 0, fold = 0;
    size_t length = 0;  // bytes the test covers
    bool whole = false;
  };
  std::vector<QuickTest> quick;
  // The literals (indices) whose first byte folds to b: by_first from
  // by_first_start[b] up to by_first_start[b + 1].
  std::vector<uint8_t> by_first;
  std::array<uint16_t, 257> by_first_start{};
  std::vector<BytePair> pairs;  // the first two bytes of every literal
  std::vector<PairBroadcast> broadcast;  // the pairs, ready for the scan

  std::array<bool, 256> anchor{};
  std::array<bool, 256> prefix{};
  size_t min_run = 1;
  int single_byte = -1;  // the anchor's one byte when it has one and min_run is 1
  // Whether the anchor set holds only ASCII digits and non-ASCII bytes, so
  // that a text's digit runs (Utf8Text::digit_runs) hold its runs.
  bool digit_anchor = false;
  // N when every match is a whole run of exactly N digits (\b\d{N}\b), else 0.
  size_t exact_run = 0;
  // The bytes a match can start with, when known (from PCRE2's analysis):
  // a window starts at its first such byte, or is skipped.
  std::array<bool, 256> first{};
  bool has_first = false;
};

// Nothing when the pattern holds neither a run nor leading literals selective
// enough to pay off, or uses a construct this analysis does not follow
// (conditionals, named back-references, VERBOSE).
std::optional<Prefilter> make_prefilter(std::string_view python_pattern, int flags);

// Every byte a match attempt can consume, in look-arounds too (sets as
// wide as above); nothing for a construct the analysis does not follow.
std::optional<std::array<bool, 256>> examined_bytes(std::string_view python_pattern, int flags);

// Whether a literal-mode prefilter beats PCRE2's own skip to the next
// possible first byte of a match, given those bytes.
bool literal_scan_pays(const std::array<bool, 256>& first_bytes);

// The windows of possible match starts in `text`, in increasing order:
// [start, last] with `last` inclusive; `start` lies on a character boundary.
// A window begins no earlier than one past the previous window's end: the
// start positions before it are the previous window's, so walking back over
// them again would make a text full of anchors cost quadratic time.
class WindowFinder {
 public:
  // `indexed`, when not null, is the text itself, whose digit runs then
  // serve as the runs of a digit anchor.
  WindowFinder(const Prefilter& filter, std::string_view text, const Utf8Text* indexed = nullptr);
  bool next(size_t& start, size_t& last);

 private:
  bool next_literal(size_t& start, size_t& last);
  // Where the first run of at least min_run anchor bytes at or after pos_
  // starts and ends, or the text's size twice when there is none: found
  // byte by byte, or among the text's digit runs.
  std::pair<size_t, size_t> find_byte_run() const;
  std::pair<size_t, size_t> find_digit_run();
  // Bit k set where text_[at + k] and the byte after it may begin a literal,
  // for k < 64 and at + k < size.
  uint64_t pair_bits(size_t at) const;
  bool literal_at(size_t at) const;

  const Prefilter& f_;
  std::string_view text_;
  // The text's digit runs (the long ones when min_run allows), or null
  // unless they can stand for the anchor's runs; the next one to look at.
  const std::vector<Utf8Text::DigitRun>* digit_runs_;
  size_t next_run_ = 0;
  size_t pos_ = 0;    // where the search for the next anchor run goes on
  size_t floor_ = 0;  // one past the previous window
  uint64_t pending_ = 0;  // literal mode: candidates of the block before pos_ left to check
};

}  // namespace tesk_privacy::regex::internal
