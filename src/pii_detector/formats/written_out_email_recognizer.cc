#include "written_out_email_recognizer.h"

#include <cctype>

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

// "at" and "dot" spelt out, bracketed, or as symbols set apart by blanks.
constexpr const char* kAt = R"((?:\s*[\[\(\{<]\s*(?:at|et|@)\s*[\]\)\}>]\s*|\s+(?:at|@)\s+|\s@|@\s))";
// A dot spelt out or bracketed.
constexpr const char* kSpeltDot = R"(\s*[\[\(\{<]\s*(?:dot|titik|\.)\s*[\]\)\}>]\s*|\s+(?:dot|titik)\s+)";
constexpr const char* kTld =
    R"((?:com|id|net|org|co|ac|go|sch|or|my|info|biz|io|edu|gov|web|uk|sg|au|us|me|xyz|ai|app|dev))";

std::string pattern() {
  const std::string name = R"([a-z0-9][a-z0-9._%+\-]*)";
  // A dot inside the name before "at" is spelt out or bracketed only: a
  // plain one belongs to the name itself. In the domain a plain one counts
  // too, with or without blanks around it.
  const std::string name_dot = std::string("(?:") + kSpeltDot + ")";
  const std::string dot = std::string("(?:") + kSpeltDot + R"(|\s\.\s?|\.\s|\.))";
  return R"((?<![\w.@]))" + name + "(?:" + name_dot + name + ")*" + kAt + R"([a-z0-9\-]+(?:)" + dot +
         R"([a-z0-9\-]+)*)" + dot + kTld + R"(\b(?![.@]\w))";
}

// Whether "at" stands as a word, or "@" has a blank or bracket beside it:
// most texts have neither, and the pattern, which may start at any word,
// is then not run at all.
bool may_hold_written_out_at(std::string_view t) {
  auto word_char = [&](size_t i) { return i < t.size() && (std::isalnum(static_cast<unsigned char>(t[i])) != 0); };
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '@') {
      if ((i > 0 && !word_char(i - 1)) || !word_char(i + 1)) return true;
    } else if ((c == 'a' || c == 'A' || c == 'e' || c == 'E') && i + 1 < t.size() && (t[i + 1] == 't' || t[i + 1] == 'T') &&
               (i == 0 || !word_char(i - 1)) && !word_char(i + 2)) {
      return true;
    }
  }
  return false;
}

}  // namespace

WrittenOutEmailRecognizer::WrittenOutEmailRecognizer(std::string supported_language)
    : FormatRecognizer({Entities::EMAIL_ADDRESS}, "WrittenOutEmailRecognizer", std::move(supported_language), {},
                       /*judges_context=*/true),
      pattern_(compile(pattern())) {}

void WrittenOutEmailRecognizer::find(const Utf8Text& text, const std::vector<std::string>&,
                                     std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  if (!may_hold_written_out_at(t)) return;
  for (const regex::MatchSpan& m : pattern_->find_spans(text)) {
    const std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
    // A plain address ("budi@gmail.com") is the e-mail recognizer's.
    const bool written_out = s.find_first_of(" \t[({<") != std::string_view::npos ||
                             s.find('@') == std::string_view::npos;
    if (!written_out) continue;
    const bool bracketed = s.find_first_of("[({<") != std::string_view::npos || s.find('@') != std::string_view::npos;
    out.push_back({Entities::EMAIL_ADDRESS, m.byte_start, m.byte_end, bracketed ? 0.85 : 0.7,
                   "e-mail address written out"});
  }
}

}  // namespace tesk_privacy::pii_detector::formats
