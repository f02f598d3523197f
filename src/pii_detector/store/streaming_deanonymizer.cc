#include "tesk_privacy/pii_detector/store/streaming_deanonymizer.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "pii_detector/store/store_rewriter.h"
#include "text/case_mapping.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
namespace {

bool ascii_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool ascii_digit(char c) { return c >= '0' && c <= '9'; }
// A byte of a word character: ASCII letters, digits and "_", and any byte of
// a non-ASCII character (the conservative choice at a boundary).
bool word_byte(char c) {
  return ascii_alpha(c) || ascii_digit(c) || c == '_' || (static_cast<unsigned char>(c) & 0x80) != 0;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The entity type of `mapping` named `type` in any letter case, or null.
const EntityMapping* type_named(const DeanonymizerMapping& mapping, std::string_view type, std::string* exact) {
  for (const auto& [name, inner] : mapping.mapping) {
    if (upper(name) == type) {
      *exact = name;
      return &inner;
    }
  }
  return nullptr;
}

// One rewritten placeholder found at `at`: where it ends and what it stands for.
struct Variant {
  size_t end = 0;
  std::string placeholder;
};

// Parses a rewritten placeholder at `at`: an opener ("<" or "["), spaces,
// TYPE_DIGITS, spaces and the matching closer, or TYPE_DIGITS alone with
// neither a word character nor a bracket on either side.
bool parse_variant(std::string_view s, size_t at, const DeanonymizerMapping& mapping, Variant& found) {
  size_t i = at;
  char opener = 0;
  if (i < s.size() && (s[i] == '<' || s[i] == '[')) {
    opener = s[i++];
    while (i < s.size() && s[i] == ' ') ++i;
  } else if (at > 0 && (word_byte(s[at - 1]) || s[at - 1] == '<' || s[at - 1] == '[')) {
    return false;  // inside a word, or behind a bracket that found no partner
  }
  const size_t name_start = i;
  while (i < s.size() && (ascii_alpha(s[i]) || s[i] == '_')) ++i;
  if (i == name_start || s[i - 1] != '_' || i - 1 == name_start) return false;
  const size_t type_end = i - 1;
  const size_t digits_start = i;
  while (i < s.size() && ascii_digit(s[i])) ++i;
  if (i == digits_start) return false;
  const size_t digits_end = i;
  if (opener != 0) {
    while (i < s.size() && s[i] == ' ') ++i;
    if (i >= s.size() || s[i] != (opener == '<' ? '>' : ']')) return false;
    ++i;
  } else if (i < s.size() && (word_byte(s[i]) || s[i] == '>' || s[i] == ']')) {
    return false;
  }
  std::string type;
  const EntityMapping* inner = type_named(mapping, upper(s.substr(name_start, type_end - name_start)), &type);
  if (inner == nullptr) return false;
  std::string key = "<" + type + "_" + std::string(s.substr(digits_start, digits_end - digits_start)) + ">";
  if (inner->find(key) == nullptr) return false;
  found.end = i;
  found.placeholder = std::move(key);
  return true;
}

// Whether `tail` (the end of the text so far) could still grow into a
// rewritten placeholder of a type in `mapping`.
bool could_become_variant(std::string_view tail, const DeanonymizerMapping& mapping) {
  size_t i = 0;
  const bool opened = !tail.empty() && (tail[0] == '<' || tail[0] == '[');
  if (opened) {
    ++i;
    while (i < tail.size() && tail[i] == ' ') ++i;
  }
  const size_t name_start = i;
  while (i < tail.size() && (ascii_alpha(tail[i]) || tail[i] == '_')) ++i;
  const std::string name = upper(tail.substr(name_start, i - name_start));
  const size_t digits_start = i;
  while (i < tail.size() && ascii_digit(tail[i])) ++i;
  const bool has_digits = i > digits_start;
  if (opened) {
    while (i < tail.size() && tail[i] == ' ') ++i;
  }
  if (i != tail.size()) return false;  // something else, or already closed
  if (name.empty()) return opened && !has_digits;
  for (const auto& [type, inner] : mapping.mapping) {
    const std::string prefix = upper(type) + "_";
    if (has_digits ? name == prefix : prefix.compare(0, name.size(), name) == 0) return true;
  }
  return false;
}

// Length of the incomplete UTF-8 sequence at the end of `s` (0 when none).
size_t incomplete_utf8_tail(std::string_view s) {
  for (size_t back = 1; back <= 3 && back <= s.size(); ++back) {
    const auto c = static_cast<unsigned char>(s[s.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

std::string canonical_placeholders(std::string_view text, const DeanonymizerMapping& mapping) {
  std::string out;
  out.reserve(text.size());
  Variant found;
  for (size_t i = 0; i < text.size();) {
    if ((text[i] == '<' || text[i] == '[' || ascii_alpha(text[i])) && parse_variant(text, i, mapping, found)) {
      out += found.placeholder;
      i = found.end;
    } else {
      out += text[i++];
    }
  }
  return out;
}

struct StreamingDeanonymizer::State {
  DeanonymizerMapping mapping;
  bool tolerant;
  StoreRewriter rewriter;
  std::vector<std::string> needles;  // lower-cased keys, sorted
  size_t longest = 0;                // bytes
  std::string pending;

  std::string restore(std::string_view text) {
    if (text.empty()) return {};
    const std::string canonical = tolerant ? canonical_placeholders(text, mapping) : std::string(text);
    return rewriter.deanonymize(Utf8Text(canonical), mapping);
  }
  bool is_needle_prefix(std::string_view tail) const {
    const std::string lowered = to_lower(tail);
    auto it = std::lower_bound(needles.begin(), needles.end(), lowered);
    return it != needles.end() && it->compare(0, lowered.size(), lowered) == 0;
  }
};

StreamingDeanonymizer::StreamingDeanonymizer(const DeanonymizerMapping& mapping, bool tolerant)
    : state_(std::make_unique<State>(State{mapping, tolerant, {}, {}, 0, {}})) {
  for (const auto& [type, inner] : mapping.mapping) {
    for (const auto& [key, value] : inner) {
      if (key.empty() || value.empty()) continue;
      state_->needles.push_back(to_lower(key));
      state_->longest = std::max(state_->longest, state_->needles.back().size());
    }
  }
  std::sort(state_->needles.begin(), state_->needles.end());
  // A rewritten placeholder may carry an opener, spaces and a long number.
  if (tolerant) state_->longest = std::max<size_t>(state_->longest, 64);
}

StreamingDeanonymizer::~StreamingDeanonymizer() = default;
StreamingDeanonymizer::StreamingDeanonymizer(StreamingDeanonymizer&&) noexcept = default;

std::string StreamingDeanonymizer::feed(std::string_view piece) {
  State& st = *state_;
  st.pending.append(piece);
  const std::string_view text(st.pending);
  const size_t complete = text.size() - incomplete_utf8_tail(text);
  if (size_t bad = find_invalid_utf8(text.substr(0, complete)); bad != std::string_view::npos) {
    throw std::invalid_argument("the streamed text is not UTF-8 (bad byte at offset " + std::to_string(bad) + ")");
  }
  // The earliest word start near the end from which the text could still
  // become a needle (or a rewritten placeholder): everything before it is
  // certain. Cutting at a word start keeps whole-word matching the same on
  // both sides of the cut.
  size_t cut = complete;
  const size_t from = complete > st.longest ? complete - st.longest : 0;
  for (size_t p = from; p < complete; ++p) {
    if ((static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) continue;
    size_t q = p;
    const bool word_here = is_py_word_char(decode_utf8(text, q));
    bool word_before = false;
    if (p > 0) {
      size_t b = p - 1;
      while (b > 0 && (static_cast<unsigned char>(text[b]) & 0xC0) == 0x80) --b;
      word_before = is_py_word_char(decode_utf8(text, b));
    }
    if (word_before && word_here) continue;
    const std::string_view tail = text.substr(p, complete - p);
    if (st.is_needle_prefix(tail) || (st.tolerant && could_become_variant(tail, st.mapping))) {
      cut = p;
      break;
    }
  }
  std::string out = st.restore(text.substr(0, cut));
  st.pending.erase(0, cut);
  return out;
}

std::string StreamingDeanonymizer::finish() {
  State& st = *state_;
  if (incomplete_utf8_tail(st.pending) > 0) {
    throw std::invalid_argument("the streamed text ends inside a UTF-8 sequence");
  }
  std::string out = st.restore(st.pending);
  st.pending.clear();
  return out;
}

}  // namespace tesk_privacy::pii_detector
