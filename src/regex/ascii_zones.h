// AsciiZones: where in a text a pattern compiled without Unicode classes
// gives the same matches as the Unicode-aware one.
//
// With PCRE2_UCP, \d, \w, \s, \b and \B look up Unicode properties for every
// character they test, which makes such patterns about twice as slow. On
// ASCII characters the two compilations agree, so a match attempt may use
// the ASCII-only one whenever every character it can look at is ASCII.
//
// An attempt at byte s looks at no more than: the `lookbehind` characters
// before s; the stretch of bytes from s on that the pattern can match at all
// (`examined`, the union of every set in the pattern, look-arounds
// included); and the one character after that stretch, which \b or a
// look-ahead may test. So the attempts a non-ASCII character at x can
// affect start in the stretch of `examined` ASCII bytes ending at x, at x,
// or within `lookbehind` characters after it. Those starts make up the
// zones; zones closer together than a few bytes are merged, since
// switching compilations costs a PCRE2 call.
//
//   AsciiZones zones(text, examined, 1);
//   auto [start, end] = zones.next(pos);  // attempts in [start, end) need UCP
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace tesk_privacy::regex::internal {

class AsciiZones {
 public:
  AsciiZones(std::string_view text, const std::array<bool, 256>& examined, size_t lookbehind);

  // The first zone [start, end) of attempt starts with end > pos, found by
  // walking forward from the zones already seen: calls must not ask for a
  // smaller pos than before. {npos, npos} once there is none. `end` is a
  // character boundary or one past the text's end.
  std::pair<size_t, size_t> next(size_t pos);

  static constexpr size_t npos = static_cast<size_t>(-1);

 private:
  size_t next_non_ascii(size_t from) const;
  // One past the `lookbehind` characters that follow `from`, or one past the
  // text's end when the text ends before them.
  size_t after_lookbehind(size_t from) const;

  std::string_view text_;
  const std::array<bool, 256>& examined_;
  size_t lookbehind_;
  size_t start_ = 0, end_ = 0;  // the last zone found
  size_t seed_ = 0;             // the next non-ASCII byte after it, or the text's size
};

}  // namespace tesk_privacy::regex::internal
