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
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tesk_privacy::regex::internal {

struct Prefilter {
  std::array<bool, 256> anchor{};
  std::array<bool, 256> prefix{};
  size_t min_run = 1;
  int single_byte = -1;  // the anchor's one byte when it has one and min_run is 1
};

// Nothing when the pattern holds no run selective enough to pay off, or uses
// a construct this analysis does not follow (top-level alternation,
// back-references, conditionals, VERBOSE).
std::optional<Prefilter> make_prefilter(std::string_view python_pattern, int flags);

// The windows of possible match starts in `text`, in increasing order:
// [start, last] with `last` inclusive; `start` lies on a character boundary.
// A window begins no earlier than one past the previous window's end: the
// start positions before it are the previous window's, so walking back over
// them again would make a text full of anchors cost quadratic time.
class WindowFinder {
 public:
  WindowFinder(const Prefilter& filter, std::string_view text) : f_(filter), text_(text) {}
  bool next(size_t& start, size_t& last);

 private:
  const Prefilter& f_;
  std::string_view text_;
  size_t pos_ = 0;    // where the search for the next anchor run goes on
  size_t floor_ = 0;  // one past the previous window
};

}  // namespace tesk_privacy::regex::internal
