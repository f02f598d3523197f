#include "tesk_privacy/recognition/predefined/phone_recognizer.h"

#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <limits>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "tesk_privacy/recognition/predefined/predefined_recognizer_table.h"

namespace tesk_privacy::recognition {
namespace {

using i18n::phonenumbers::PhoneNumberMatch;
using i18n::phonenumbers::PhoneNumberMatcher;
using i18n::phonenumbers::PhoneNumberUtil;

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("PhoneRecognizer"); }

// libphonenumber's matcher copies the rest of the text for every candidate it
// tries, which makes one pass over a long text quadratic, and it tries every
// digit group it meets. The text is therefore handed over in small pieces, cut
// where the matcher's result cannot change:
// - A candidate is a run of digits, phone punctuation (blanks, tabs, - . / ( )
//   [ ] ~ +) and extension markers (ext, x, int, anexo, #, ",,", ";" with their
//   separators), so it never contains a line break, an ASCII letter outside
//   "aeinostx", or other ASCII punctuation such as ! " $ % & ' * < = > ? @ \ ^
//   _ ` { | }. Such a "hard" character ends every candidate.
// - The matcher looks at the one character before and after a candidate, and
//   at a ":" right after a time stamp; each piece keeps the hard character on
//   either side of its run.
// Each maximal run without hard characters thus yields, as a piece of its
// own, exactly the matches the whole text has within it. Runs holding fewer
// digits than the shortest valid number are skipped. A run of more than
// kMaxRunBytes (only digits, blanks and phone punctuation: no prose has them)
// is cut at its last blank before that length, or at the length itself; a
// number straddling such a cut may be missed.
constexpr size_t kMaxRunBytes = 4096;
// No number valid in a region of DEFAULT_REGIONS, nor any number in
// international form, has fewer digits (the tests check every shorter digit
// string); for other regions every run with a digit is handed over.
constexpr size_t kMinDigitsForDefaultRegions = 4;

bool is_hard(unsigned char c) {
  if (c >= 0x80) return false;  // non-ASCII digits, punctuation and extension letters stay inside
  if (c >= '0' && c <= '9') return false;
  switch (c) {
    case ' ': case '\t': case '-': case '.': case '(': case ')': case '[': case ']': case '/': case '~':
    case '+': case ',': case ';': case ':': case '#':
    case 'a': case 'e': case 'i': case 'n': case 'o': case 's': case 't': case 'x':
    case 'A': case 'E': case 'I': case 'N': case 'O': case 'S': case 'T': case 'X':
      return false;
    default:
      return true;
  }
}

struct Segment {
  size_t begin, end;  // bytes
};

// Digits (ASCII or any Unicode decimal digit) in text[begin, end).
size_t count_digits(std::string_view text, size_t begin, size_t end) {
  size_t digits = 0;
  for (size_t pos = begin; pos < end;) {
    auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      digits += (c >= '0' && c <= '9');
      ++pos;
    } else {
      digits += u_isdigit(static_cast<UChar32>(decode_utf8(text, pos))) ? 1 : 0;
    }
  }
  return digits;
}

std::vector<Segment> phone_segments(std::string_view text, size_t min_digits) {
  std::vector<Segment> segments;
  size_t run = 0;  // start of the current run
  size_t last_blank = std::string_view::npos;
  auto close = [&](size_t end, bool hard_end) {
    if (end > run && count_digits(text, run, end) >= min_digits) {
      segments.push_back({run > 0 ? run - 1 : 0, hard_end ? end + 1 : end});
    }
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (is_hard(c)) {
      close(i, true);
      run = i + 1;
      last_blank = std::string_view::npos;
    } else if (i - run >= kMaxRunBytes) {
      size_t cut = last_blank != std::string_view::npos && last_blank > run ? last_blank : i;
      while ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep characters whole
      close(cut, false);
      run = cut;  // the next piece starts at the cut, without a character before it
      last_blank = std::string_view::npos;
    } else if (c == ' ') {
      last_blank = i;
    }
  }
  close(text.size(), false);
  return segments;
}

}  // namespace

const std::vector<std::string>& PhoneRecognizer::DEFAULT_REGIONS() {
  static const std::vector<std::string> kRegions = {"ID", "SG", "MY", "US", "GB", "AU", "IN"};
  return kRegions;
}

PhoneRecognizer::PhoneRecognizer(std::string supported_language, std::vector<std::string> supported_regions,
                                 std::optional<std::vector<std::string>> context)
    : EntityRecognizer({row().entity}, row().name, std::move(supported_language), "0.0.1",
                       context.value_or(row().context)),
      supported_regions_(std::move(supported_regions)),
      score_(row().score) {
  const bool default_regions = std::all_of(supported_regions_.begin(), supported_regions_.end(), [](const auto& r) {
    return std::find(DEFAULT_REGIONS().begin(), DEFAULT_REGIONS().end(), r) != DEFAULT_REGIONS().end();
  });
  min_digits_ = default_regions ? kMinDigitsForDefaultRegions : 1;
  std::set<std::string> known;
  PhoneNumberUtil::GetInstance()->GetSupportedRegions(&known);
  for (const std::string& region : supported_regions_) {
    if (known.count(region) == 0) {
      throw std::invalid_argument("unknown phone number region '" + region + "'");
    }
  }
}

std::vector<RecognizerResult> PhoneRecognizer::analyze(const Utf8Text& text,
                                                       const std::vector<std::string>& entities,
                                                       const NlpArtifacts* /*nlp_artifacts*/,
                                                       std::optional<int> /*regex_flags*/) const {
  std::vector<RecognizerResult> results;
  if (!entities.empty() && std::none_of(entities.begin(), entities.end(),
                                        [&](const std::string& e) { return supports_entity(e); })) {
    return results;
  }
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  const RecognizerResult::Metadata metadata = recognizer_metadata();
  for (const Segment& segment : phone_segments(text.view(), min_digits_)) {
    const std::string piece(text.view().substr(segment.begin, segment.end - segment.begin));
    std::set<std::pair<int64_t, int64_t>> seen;
    for (const std::string& region : supported_regions_) {
      PhoneNumberMatcher matcher(util, piece, region, PhoneNumberMatcher::VALID, std::numeric_limits<int>::max());
      PhoneNumberMatch match;
      while (matcher.HasNext() && matcher.Next(&match)) {
        // The matcher counts in bytes of UTF-8, from the start of the piece.
        auto start = static_cast<int64_t>(text.byte_to_cp(segment.begin + static_cast<size_t>(match.start())));
        auto end = static_cast<int64_t>(text.byte_to_cp(segment.begin + static_cast<size_t>(match.end())));
        if (end <= start || !seen.emplace(start, end).second) continue;
        std::string number_region;
        util.GetRegionCodeForNumber(match.number(), &number_region);
        AnalysisExplanation explanation(name(), score_,
                                        "Recognized as " + number_region + " region phone number, using " + name());
        results.emplace_back(supported_entities().front(), start, end, score_, std::move(explanation), metadata);
      }
    }
  }
  return results;
}

}  // namespace tesk_privacy::recognition
