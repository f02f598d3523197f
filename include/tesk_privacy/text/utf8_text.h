// Utf8Text: a validated UTF-8 string with conversion between byte offsets and
// Unicode code-point offsets.
//
// The library works on UTF-8 internally and reports code-point offsets, as a
// Python host would see them. A text is validated and indexed once, when the
// Utf8Text is built, and then shared read-only by every recognizer that scans
// it. Invalid UTF-8 (including encoded surrogates and overlong forms) is
// refused with InvalidUtf8Error naming the first bad byte.
//
//   tesk_privacy::Utf8Text text("Nomor: 3171…");
//   size_t cp = text.byte_to_cp(7);           // code-point offset of byte 7
//   std::string_view s = text.slice(0, 5);    // first five code points
//
// Immutable after construction; safe to share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tesk_privacy {

// Raised for text that is not valid UTF-8. Derives from std::invalid_argument,
// so it reaches Python as ValueError.
class InvalidUtf8Error : public std::invalid_argument {
 public:
  explicit InvalidUtf8Error(size_t byte_offset);
  size_t byte_offset() const { return byte_offset_; }

 private:
  size_t byte_offset_;
};

// Returns the offset of the first byte that makes `bytes` invalid UTF-8, or
// std::string_view::npos when it is valid.
size_t find_invalid_utf8(std::string_view bytes);

// Throws InvalidUtf8Error unless `bytes` is valid UTF-8.
void check_utf8(std::string_view bytes);

// Number of code points in valid UTF-8.
size_t utf8_length(std::string_view valid_utf8);

// Decodes the code point starting at byte `pos` of valid UTF-8 and advances
// `pos` past it.
char32_t decode_utf8(std::string_view valid_utf8, size_t& pos);

// Appends the UTF-8 encoding of `cp` to `out`.
void append_utf8(std::string& out, char32_t cp);

class Utf8Text {
 public:
  Utf8Text(std::string text);  // NOLINT: implicit so strings convert where a text is expected
  Utf8Text(std::string_view text) : Utf8Text(std::string(text)) {}  // NOLINT
  Utf8Text(const char* text) : Utf8Text(std::string(text)) {}       // NOLINT

  const std::string& str() const { return text_; }
  std::string_view view() const { return text_; }
  size_t size_bytes() const { return text_.size(); }
  // Length in code points.
  size_t length() const { return length_; }
  bool is_ascii() const { return cp_to_byte_.empty(); }

  // Code-point offset of a byte offset that lies on a character boundary;
  // an offset inside a character maps to the character it belongs to.
  // Constant time.
  size_t byte_to_cp(size_t byte_offset) const;
  // Byte offset of a code-point offset; offsets past the end clamp to the end.
  size_t cp_to_byte(size_t cp_offset) const;
  // The code points [start, end), clipped to the text.
  std::string_view slice(size_t start_cp, size_t end_cp) const;
  // The runs of bytes that are ASCII digits or part of a non-ASCII
  // character (which may be a digit of another script), [begin, end) in
  // bytes, in text order: where every number lies. Every pattern that looks
  // for numbers starts its scan from these, so the text finds them once for
  // all of them; patterns for long numbers need only the long runs.
  struct DigitRun {
    uint32_t begin, end;
    bool operator==(const DigitRun&) const = default;
  };
  static constexpr size_t kLongDigitRun = 8;
  const std::vector<DigitRun>& digit_runs() const { return digit_runs_; }
  // Those runs at least kLongDigitRun bytes long.
  const std::vector<DigitRun>& long_digit_runs() const { return long_digit_runs_; }

 private:
  std::string text_;
  size_t length_ = 0;
  // Byte offset of each code point plus one entry for the end; empty for
  // ASCII text, where both offsets coincide.
  std::vector<uint32_t> cp_to_byte_;
  // For each 64-byte block: the characters before it, and a bit for each of
  // its bytes that starts a character. Empty for ASCII text.
  struct Block {
    uint32_t before;
    uint64_t starts;
  };
  std::vector<Block> blocks_;
  std::vector<DigitRun> digit_runs_;
  std::vector<DigitRun> long_digit_runs_;
};

}  // namespace tesk_privacy
