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
#include <unordered_map>
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

// Most digit groups in prose are identity, account or invoice numbers, and
// libphonenumber spends tens of microseconds on each per region to reject
// them. A region is skipped for a piece whose digits are one run of n ASCII
// digits (no "+", nothing non-ASCII) when that run cannot spell a valid
// number of the region:
// - every candidate the matcher tries holds all of the run or none of it
//   (candidates are cut only at punctuation, and parsing drops what comes
//   before the first digit), and letters never join it as digits;
// - the run starts neither with 0 nor 1, so no international dialling prefix
//   of these regions (all start with 0, Australia's also with 14) and no
//   national prefix or carrier code (0, 1, 183x) is taken off it; and it does
//   not start with the region's calling code, so none is taken off it either;
// - its national significant number is then all n digits, and a valid
//   number's length is one of its country's lengths below.
// The test holds this to the matcher's verdict on texts full of such runs.
constexpr size_t kMaxShortcutDigits = 17;  // libphonenumber's longest national significant number

// What libphonenumber's metadata (8.12) says about a region of
// DEFAULT_REGIONS, for deciding without the matcher that a piece holds no
// valid number of that region.
struct RegionFacts {
  const char* region;
  const char* calling_code;
  // Lengths of a valid national significant number, over every region that
  // shares the calling code (Canada adds 7 to +1, Guernsey, Jersey and the
  // Isle of Man nothing to +44, Christmas and Cocos Islands nothing to +61).
  std::initializer_list<int> national_lengths;
};

const RegionFacts kRegionFacts[] = {
    {"ID", "62", {7, 8, 9, 10, 11, 12, 13}}, {"SG", "65", {8, 10, 11}},
    {"MY", "60", {8, 9, 10}},                {"US", "1", {7, 10}},
    {"GB", "44", {7, 9, 10}},                {"AU", "61", {5, 6, 7, 8, 9, 10, 12}},
    {"IN", "91", {8, 9, 10, 11, 12, 13}},
};

// The one run of ASCII digits of a piece when the piece is ASCII, holds no
// "+" and no other digit; empty otherwise.
std::string_view lone_digit_group(std::string_view piece) {
  size_t first = std::string_view::npos, last = 0;
  for (size_t i = 0; i < piece.size(); ++i) {
    const auto c = static_cast<unsigned char>(piece[i]);
    if (c >= 0x80 || c == '+') return {};
    if (c >= '0' && c <= '9') {
      if (first != std::string_view::npos && last + 1 != i) return {};
      if (first == std::string_view::npos) first = i;
      last = i;
    }
  }
  if (first == std::string_view::npos) return {};
  return piece.substr(first, last - first + 1);
}

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

bool cannot_hold_a_number(const PhoneRecognizer::RegionShortcut& shortcut, std::string_view group) {
  if (!shortcut.known || group.empty() || group.size() > kMaxShortcutDigits) return false;
  if (group[0] == '0' || group[0] == '1' || group.starts_with(shortcut.calling_code)) return false;
  return ((shortcut.national_lengths >> group.size()) & 1u) == 0;
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
    shortcuts_.push_back(region_shortcut(region));
  }
}

PhoneRecognizer::RegionShortcut PhoneRecognizer::region_shortcut(std::string_view region) {
  RegionShortcut shortcut;
  for (const RegionFacts& facts : kRegionFacts) {
    if (region != facts.region) continue;
    shortcut.known = true;
    shortcut.calling_code = facts.calling_code;
    for (int length : facts.national_lengths) shortcut.national_lengths |= 1u << length;
  }
  return shortcut;
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
  // A piece's matches depend on nothing but its bytes, and texts repeat
  // numbers (and their surroundings): each distinct piece is matched once.
  struct PieceMatch {
    size_t start, end;  // bytes from the start of the piece
    std::string number_region;
  };
  std::unordered_map<std::string_view, std::vector<PieceMatch>> matched_pieces;
  for (const Segment& segment : phone_segments(text.view(), min_digits_)) {
    const std::string_view piece = text.view().substr(segment.begin, segment.end - segment.begin);
    auto [cached, is_new] = matched_pieces.try_emplace(piece);
    if (is_new) {
      const std::string piece_copy(piece);
      const std::string_view group = lone_digit_group(piece);
      std::set<std::pair<size_t, size_t>> seen;
      for (size_t r = 0; r < supported_regions_.size(); ++r) {
        if (cannot_hold_a_number(shortcuts_[r], group)) continue;
        PhoneNumberMatcher matcher(util, piece_copy, supported_regions_[r], PhoneNumberMatcher::VALID,
                                   std::numeric_limits<int>::max());
        PhoneNumberMatch match;
        while (matcher.HasNext() && matcher.Next(&match)) {
          // The matcher counts in bytes of UTF-8, from the start of the piece.
          const auto start = static_cast<size_t>(match.start());
          const auto end = static_cast<size_t>(match.end());
          if (end <= start || !seen.emplace(start, end).second) continue;
          std::string number_region;
          util.GetRegionCodeForNumber(match.number(), &number_region);
          cached->second.push_back({start, end, std::move(number_region)});
        }
      }
    }
    for (const PieceMatch& m : cached->second) {
      const auto start = static_cast<int64_t>(text.byte_to_cp(segment.begin + m.start));
      const auto end = static_cast<int64_t>(text.byte_to_cp(segment.begin + m.end));
      AnalysisExplanation explanation(name(), score_,
                                      "Recognized as " + m.number_region + " region phone number, using " + name());
      results.emplace_back(supported_entities().front(), start, end, score_, std::move(explanation), metadata);
    }
  }
  return results;
}

}  // namespace tesk_privacy::recognition
