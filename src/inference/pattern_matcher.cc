#include "inference/pattern_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <stdexcept>

#include "inference/unicode_support.h"

namespace tesk_privacy::inference {
namespace {

// Backtracking bound per match attempt; the patterns tokenizers use stay far
// below it, so hitting it means a hostile pattern or text.
constexpr uint32_t kMatchLimit = 10'000'000;

}  // namespace

struct PatternMatcher::Code {
  pcre2_code* code = nullptr;
  bool jit = false;
  ~Code() { pcre2_code_free(code); }
};

PatternMatcher::PatternMatcher(std::string_view pattern_utf8, const std::string& origin)
    : code_(std::make_unique<Code>()), pattern_(pattern_utf8) {
  std::u32string pattern = to_u32(pattern_utf8);
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  code_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_UTF | PCRE2_UCP, &error, &error_offset, nullptr);
  if (code_->code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, 256);
    std::string text;
    for (const PCRE2_UCHAR* m = message; *m != 0; ++m) text += static_cast<char>(*m);
    throw std::runtime_error(origin + ": pattern '" + pattern_ + "' does not compile: " + text +
                             " at offset " + std::to_string(error_offset));
  }
  code_->jit = pcre2_jit_compile(code_->code, PCRE2_JIT_COMPLETE) == 0;
}

PatternMatcher::~PatternMatcher() = default;

std::vector<std::pair<size_t, size_t>> PatternMatcher::find_all(std::u32string_view text) const {
  std::vector<std::pair<size_t, size_t>> out;
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_->code, nullptr);
  pcre2_match_context* context = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(context, kMatchLimit);
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  size_t pos = 0;
  while (pos <= text.size()) {
    int rc = pcre2_match(code_->code, subject, text.size(), pos, 0, data, context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      // Deep recursion in JIT code: the interpreter keeps its stack on the heap.
      rc = pcre2_match(code_->code, subject, text.size(), pos, PCRE2_NO_JIT, data, context);
    }
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      pcre2_match_context_free(context);
      pcre2_match_data_free(data);
      throw std::runtime_error("pattern '" + pattern_ + "' failed to match (PCRE2 error " +
                               std::to_string(rc) + ")");
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    const size_t start = ov[0], end = ov[1];
    if (end > start) {
      out.emplace_back(start, end);
      pos = end;
    } else {
      pos = end + 1;  // an empty match never splits anything
    }
  }
  pcre2_match_context_free(context);
  pcre2_match_data_free(data);
  return out;
}

}  // namespace tesk_privacy::inference
