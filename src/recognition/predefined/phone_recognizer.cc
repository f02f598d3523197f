#include "recognition/predefined/phone_recognizer.h"

#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "recognition/predefined/phone_number_verifier.h"
#include "recognition/predefined/predefined_recognizer_table.h"
#include "tesk_privacy/regex/regex.h"

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

// libphonenumber parses with ICU regular expressions and spends tens of
// microseconds per digit group and region, even on the identity, account and
// invoice numbers that make up most digit groups in prose. A region whose
// matcher cannot find anything in a piece is therefore skipped, decided from
// the library's own metadata with one JIT-compiled pattern per region:
// - In a piece that is ASCII, has no "+", no "#" after its first digit, no
//   letter between its first and last digit but at most two lone "x"s, and
//   at most kMaxFilteredRuns digit runs of at most kMaxRunDigits digits,
//   every string the matcher parses (a candidate, a part of one, the part
//   before an extension) spells its digits as whole consecutive runs:
//   candidates and their parts are cut only at non-digits and, with fewer
//   than three letters (no keypad letters), parsing keeps just the digits.
//   Runs joined by a single "-" are never parted (no inner-match rule splits
//   at a lone ASCII hyphen, and the only extension form it could start needs
//   a "#") unless an extension mark before them ends a candidate inside
//   ("12 X 0801-3117": "X 0801" is an extension, "3117" the next
//   candidate); in a piece with such a mark runs are not joined, and a run
//   after a lone "x" must be short enough to be an extension whole.
// - Parsing such a digit string S under region R gives a valid number only
//   if S starts with R's international prefix (then any country), or if S is
//   optionally R's calling code, at most two national prefixes (R's own, or
//   those of its calling code's main region), then a national number that
//   fits the general pattern and one number-type pattern of one of the
//   regions sharing the calling code (what validity checks).
// - A region is skipped when no string of consecutive units is such a string,
//   nor one that PhoneNumberVerifier does not call certainly invalid (the
//   same parse, followed exactly for the region and those sharing its
//   calling code). Regions whose national prefix is rewritten (a transform
//   rule) are never skipped.
// The tests hold the result to the matcher's own on texts full of numbers.
constexpr size_t kMaxFilteredRuns = 16;
constexpr size_t kMaxRunDigits = 20;  // the matcher's digit block limit: longer runs may be cut inside
constexpr size_t kMaxDigitsAfterX = 6;  // within every limit the library puts on an extension's digits
constexpr int kAsciiFlag = 256;

using i18n::phonenumbers::PhoneMetadata;
using i18n::phonenumbers::PhoneMetadataCollection;

// The pattern described above for `region`, or null when the region must
// always be matched.
std::shared_ptr<const regex::Regex> region_filter(const std::string& region) {
  const PhoneMetadataCollection& collection = phone_metadata();
  const PhoneMetadata* own = nullptr;
  for (const PhoneMetadata& m : collection.metadata()) {
    if (m.id() == region) own = &m;
  }
  if (own == nullptr || own->international_prefix().empty()) return nullptr;
  std::string national_prefixes, general_patterns;
  auto add = [](std::string& alternatives, const std::string& pattern) {
    if (!pattern.empty()) alternatives += (alternatives.empty() ? "(?:" : "|(?:") + pattern + ")";
  };
  for (const PhoneMetadata& m : collection.metadata()) {
    if (m.country_code() != own->country_code()) continue;
    // National prefixes are taken off with the region's own rules and, for a
    // number that repeats the calling code, with those of the code's main
    // region; any region of the code may then own the number.
    if (&m == own || m.main_country_for_code()) {
      if (!m.national_prefix_transform_rule().empty()) return nullptr;
      add(national_prefixes, m.national_prefix_for_parsing());
      add(national_prefixes, m.national_prefix());
    }
    if (!m.general_desc().has_national_number_pattern()) return nullptr;
    std::string types;
    for (const auto* desc : {&m.premium_rate(), &m.toll_free(), &m.shared_cost(), &m.voip(), &m.personal_number(),
                             &m.pager(), &m.uan(), &m.voicemail(), &m.fixed_line(), &m.mobile()}) {
      if (desc->has_national_number_pattern()) add(types, desc->national_number_pattern());
    }
    if (!types.empty()) {
      add(general_patterns, "(?=(?:" + m.general_desc().national_number_pattern() + ")\\Z)(?:" + types + ")");
    }
  }
  std::string pattern = "(?:" + own->international_prefix() + ")\\d*|(?:" + std::to_string(own->country_code()) + ")?";
  // Parsing may take a prefix off twice: after the calling code, and again.
  if (!national_prefixes.empty()) pattern += "(?:" + national_prefixes + "){0,2}";
  pattern += general_patterns.empty() ? "(?!)" : "(?:" + general_patterns + ")";
  return std::make_shared<const regex::Regex>(pattern, kAsciiFlag);
}

// A digit unit: a run of digits, or runs joined by single hyphens, with its
// digits and its bytes in the piece.
struct Unit {
  std::string digits;
  size_t begin = 0, end = 0;
};

// The digit units of a piece that meets the conditions above; empty
// otherwise.
std::vector<Unit> filterable_units(std::string_view piece) {
  std::vector<Unit> units;
  size_t runs = 0;
  size_t run_start = std::string_view::npos;
  size_t letters = 0;           // letters since the last run
  bool lone_x = false;          // and they are one "x" or "X"
  size_t xs = 0;                // lone "x"s between runs so far
  bool after_x = false;         // the current run follows a lone "x"
  bool glued = false;           // the last run ended in a "-" directly followed by this run
  // An extension mark ("x", "~", ";", ",,") takes the digits after it up
  // to a limit and ends the candidate there, so a hyphenated run after one
  // may be cut at its hyphen: no runs are joined in such a piece.
  const bool may_glue = piece.find_first_of("xX~;") == std::string_view::npos &&
                        piece.find(",,") == std::string_view::npos;
  for (size_t i = 0; i <= piece.size(); ++i) {
    const auto c = i < piece.size() ? static_cast<unsigned char>(piece[i]) : 0;
    // A "#" before the first digit can be neither in a candidate (none
    // starts with one) nor an extension mark (no number before it).
    if (c >= 0x80 || c == '+' || (c == '#' && (runs > 0 || run_start != std::string_view::npos))) return {};
    if (c >= '0' && c <= '9') {
      if (run_start == std::string_view::npos) {
        // A lone "x" is punctuation to the matcher or starts an extension;
        // either way the digits stay whole runs. Three letters in one
        // string would make the parser read letters as keypad digits, so
        // no more than two are let in.
        if (letters > 0 && runs > 0 && !(letters == 1 && lone_x && ++xs <= 2)) return {};
        after_x = letters > 0 && runs > 0;
        glued = may_glue && runs > 0 && i >= 2 && piece[i - 1] == '-' && piece[i - 2] >= '0' && piece[i - 2] <= '9';
        run_start = i;
      }
      continue;
    }
    if (run_start != std::string_view::npos) {
      // The digits after an "x" are read as an extension of at most
      // kMaxDigitsAfterX digits; a longer run could be cut inside.
      if (i - run_start > kMaxRunDigits || ++runs > kMaxFilteredRuns ||
          (after_x && i - run_start > kMaxDigitsAfterX)) {
        return {};
      }
      const std::string_view run = piece.substr(run_start, i - run_start);
      if (glued) {
        units.back().digits += run;
        units.back().end = i;
      } else {
        units.push_back({std::string(run), run_start, i});
      }
      run_start = std::string_view::npos;
      letters = 0;
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
      lone_x = ++letters == 1 && (c | 0x20) == 'x';
    }
  }
  return units;
}

// Whether some string of consecutive units fits `filter` (when there is
// one) and is not certainly invalid for `verifier` (when there is one):
// only such a string can give the region's matcher a number.
bool may_hold_number(const regex::Regex* filter, const PhoneNumberVerifier* verifier, const std::vector<Unit>& units) {
  std::string digits;
  for (size_t first = 0; first < units.size(); ++first) {
    digits.clear();
    for (size_t last = first; last < units.size(); ++last) {
      digits += units[last].digits;
      if ((filter == nullptr || filter->full_match(digits)) &&
          (verifier == nullptr || !verifier->certainly_invalid(digits))) {
        return true;
      }
    }
  }
  return false;
}

// The matcher costs tens of microseconds even on a plain valid number, so
// the commonest shapes are verified without it: a filterable piece whose
// units are joined only by one to four blanks, hyphens or dots
// ("0812-3456-7890", "0812 3456 7890", "0812.3456.7890"), the first of them
// possibly in parentheses when more follow ("(021) 555-1234"), with a blank
// or the start of the piece before the number, no letter, "%", "$" or ":"
// right after it, and no other bracket anywhere. In such a piece the number
// is the matcher's only candidate (its pattern joins digit blocks across up
// to four punctuation characters, after an opening bracket); none of its
// date, time-stamp, bracket, page or extension rules apply; and parsing
// keeps just the digits. So the matcher finds the whole candidate exactly
// when its digits parse as a valid number: PhoneNumberVerifier follows that
// parse for regions where it can. A "#" before the number is as good as a
// blank: no candidate starts with it and the matcher's look at the
// character before a number only turns down letters, "%" and currency
// signs.
//
// When the matcher turns the whole candidate down, it tries parts of it,
// cut by its inner-match rules, each on its own: with the units joined by
// blanks only, or by dots only, those parts are the units (the part before
// the first joint, then each part after one), and the rest of the piece has
// no other candidate. A bracketed first unit followed by blanks ("(021)
// 555 1234") gives the same parts, the first as "(021", after the whole
// candidate once more (the bracket rule's part from the "(" on). So when
// the verifier turns down the whole and every unit, the region finds
// nothing.
struct PlainNumber {
  size_t begin = 0, end = 0;
  std::string digits;
  bool parts_are_units = false;
};

bool is_joint(char c) { return c == ' ' || c == '-' || c == '.'; }

// Nothing after a number that the matcher would take as part of a word, an
// amount or a time.
bool ends_cleanly(std::string_view piece, size_t end) {
  if (end >= piece.size()) return true;
  const char next = piece[end];
  return !(((next | 0x20) >= 'a' && (next | 0x20) <= 'z') || next == '%' || next == '$' || next == ':');
}

std::optional<PlainNumber> plain_number(std::string_view piece, const std::vector<Unit>& units) {
  if (units.empty() || !ends_cleanly(piece, units.back().end)) return std::nullopt;
  const Unit& first = units.front();
  const bool bracketed = first.begin > 0 && piece[first.begin - 1] == '(' && units.size() > 1 &&
                         piece[first.end] == ')';
  PlainNumber number{bracketed ? first.begin - 1 : first.begin, units.back().end, first.digits};
  if (number.begin > 0 && piece[number.begin - 1] != ' ' && piece[number.begin - 1] != '#') return std::nullopt;
  char joint = 0;  // the one joint character, or 1 for mixed joints
  if (piece.find_first_of("([)]", bracketed ? first.end + 1 : 0) != std::string_view::npos ||
      piece.substr(0, number.begin).find_first_of("([)]") != std::string_view::npos) {
    return std::nullopt;
  }
  for (size_t k = 1; k < units.size(); ++k) {
    const size_t from = units[k - 1].end + (k == 1 && bracketed ? 1 : 0);
    const size_t gap = units[k].begin - units[k - 1].end;
    if (gap < 1 || gap > 4) return std::nullopt;
    for (size_t i = from; i < units[k].begin; ++i) {
      if (!is_joint(piece[i])) return std::nullopt;
      joint = joint == 0 || joint == piece[i] ? piece[i] : 1;
    }
    number.digits += units[k].digits;
  }
  number.parts_are_units = bracketed ? joint == ' ' && units[1].begin - units[0].end >= 2
                                     : joint == 0 || joint == ' ' || joint == '.';
  return number;
}

// A number in international form ("+62 812 3456 7890") reads the same under
// every region: the calling code after the "+" decides, and the national
// prefix rule does not apply. In an ASCII piece without "[" or "#" with one
// "+", before the first digit and followed by up to four blanks, hyphens or
// dots, the digit runs joined as above, and a clean end, the span from the
// "+" to the last digit is the only candidate of every region's matcher,
// found when its digits are a valid number. One run after the first may be
// in brackets ("+1 (650) 253-0000"), counted in the four characters between
// runs as the matcher counts them, when no hyphen comes before it: the
// brackets then pass the matcher's bracket rule, and its page-reference
// rule ("12-34 (5") needs such a hyphen. The span and its digits, or
// nothing.
std::optional<PlainNumber> international_number(std::string_view piece) {
  const size_t plus = piece.find('+');
  if (plus == std::string_view::npos || piece.find('+', plus + 1) != std::string_view::npos ||
      piece.find_first_of("[#") != std::string_view::npos) {
    return std::nullopt;
  }
  auto digit = [&](size_t i) { return piece[i] >= '0' && piece[i] <= '9'; };
  const size_t open = piece.find('('), close = piece.find(')');
  if (open != std::string_view::npos || close != std::string_view::npos) {
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2 ||
        piece.find('(', open + 1) != std::string_view::npos || piece.find(')', close + 1) != std::string_view::npos ||
        piece.substr(0, open).find('-') != std::string_view::npos) {
      return std::nullopt;
    }
    for (size_t i = open + 1; i < close; ++i) {
      if (!digit(i)) return std::nullopt;
    }
  }
  for (size_t i = 0; i < piece.size(); ++i) {
    if (static_cast<unsigned char>(piece[i]) >= 0x80 || (i < plus && digit(i))) return std::nullopt;
  }
  PlainNumber number{plus, 0, {}};
  size_t runs = 0;
  for (size_t i = plus + 1;;) {
    size_t start = i;
    while (start < piece.size() &&
           (is_joint(piece[start]) || (runs > 0 && (start == open || start == close)))) {
      ++start;
    }
    if (start - i > 4 || start >= piece.size() || !digit(start)) break;
    size_t end = start;
    while (end < piece.size() && digit(end)) ++end;
    if (end - start > 20 || ++runs > 21) return std::nullopt;
    number.digits.append(piece.substr(start, end - start));
    number.end = i = end;
  }
  if (number.end == 0 || !ends_cleanly(piece, number.end)) return std::nullopt;
  if (open != std::string_view::npos && close > number.end) return std::nullopt;
  for (size_t i = number.end; i < piece.size(); ++i) {
    if (digit(i)) return std::nullopt;  // another run, too far away to join
  }
  return number;
}

// When the matcher turns an international number down whole, its
// inner-match rules try parts of it. With no bracket, dot or hyphen beside
// a blank in it, those are the blank-separated tokens: the first, with the
// "+", read as an international number, then each of the others read as a
// national one (hyphen-joined runs stay together). The digits of the first
// token and of the others, or nothing when the rules may cut elsewhere.
struct InternationalParts {
  std::string first;
  std::vector<std::string> others;
};

std::optional<InternationalParts> international_parts(std::string_view piece, const PlainNumber& number) {
  const std::string_view span = piece.substr(number.begin, number.end - number.begin);
  if (span.find_first_of("().") != std::string_view::npos || span.find(" -") != std::string_view::npos ||
      span.find("- ") != std::string_view::npos) {
    return std::nullopt;
  }
  InternationalParts parts;
  std::string* token = &parts.first;
  for (size_t i = 1; i < span.size(); ++i) {
    if (span[i] == ' ') {
      if (span[i - 1] != ' ') token = &parts.others.emplace_back();
    } else if (span[i] >= '0' && span[i] <= '9') {
      *token += span[i];
    }
  }
  return parts;
}

// A plain number followed by an extension ("0812-3456-7890 ext. 924"): the
// number as plain_number() reads the piece before " ext", with its units
// joined by blanks (or one unit), then " ext", an optional ".", blanks, one
// to six digits, a clean end and no digit, "#" or non-ASCII byte after.
// The matcher's candidate is then the number with its extension, parsed as
// the number's digits; when that is turned down it tries, as parts, the
// text before the "." (the number and "ext", whose three letters the parser
// reads as keypad digits 398), the number's units (or the number), and
// the extension's digits. The number and the digits of each part, or
// nothing.
struct ExtendedNumber {
  PlainNumber number;
  std::vector<std::string> parts;  // digit strings the matcher parses after turning the whole down
};

// The one " ext" label of a piece, followed by an optional ".", blanks, one
// to six digits, a clean end and no digit, "#" or non-ASCII byte after:
// where the label starts, where its digits start and end, and whether the
// dot is there.
struct ExtensionLabel {
  size_t label = 0, digits_begin = 0, end = 0;
  bool dot = false;
};

std::optional<ExtensionLabel> extension_label(std::string_view piece) {
  ExtensionLabel ext;
  ext.label = piece.find(" ext");
  if (ext.label == std::string_view::npos || piece.find(" ext", ext.label + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  size_t i = ext.label + 4;
  ext.dot = i < piece.size() && piece[i] == '.';
  i += ext.dot ? 1 : 0;
  while (i < piece.size() && piece[i] == ' ') ++i;
  ext.digits_begin = i;
  while (i < piece.size() && piece[i] >= '0' && piece[i] <= '9') ++i;
  if (i == ext.digits_begin || i - ext.digits_begin > 6 || !ends_cleanly(piece, i)) return std::nullopt;
  for (size_t j = i; j < piece.size(); ++j) {
    const auto c = static_cast<unsigned char>(piece[j]);
    if (c >= 0x80 || c == '#' || (c >= '0' && c <= '9')) return std::nullopt;
  }
  ext.end = i;
  return ext;
}

std::optional<ExtendedNumber> extended_number(std::string_view piece) {
  const std::optional<ExtensionLabel> ext = extension_label(piece);
  if (!ext) return std::nullopt;
  const std::string_view before = piece.substr(0, ext->label);
  const std::vector<Unit> units = filterable_units(before);
  std::optional<PlainNumber> number = plain_number(before, units);
  if (!number || number->end != ext->label || !number->parts_are_units) return std::nullopt;
  for (size_t k = 1; k < units.size(); ++k) {
    if (piece[units[k].begin - 1] != ' ') return std::nullopt;  // blank joints only, no dots
  }
  ExtendedNumber extended{std::move(*number), {}};
  if (ext->dot) extended.parts.push_back(extended.number.digits + "398");
  if (units.size() > 1) {
    for (const Unit& unit : units) extended.parts.push_back(unit.digits);
  }
  extended.parts.emplace_back(piece.substr(ext->digits_begin, ext->end - ext->digits_begin));
  return extended;
}

// An international number followed by an extension ("+62 812 3456 7890
// ext. 924"): the matcher's candidate is the number with its extension,
// read after the "+" as the number's digits alike in every region, and
// found whole when they are valid. The span through the extension's digits
// and the number's digits, or nothing.
std::optional<PlainNumber> international_with_extension(std::string_view piece) {
  const std::optional<ExtensionLabel> ext = extension_label(piece);
  if (!ext) return std::nullopt;
  std::optional<PlainNumber> number = international_number(piece.substr(0, ext->label));
  if (!number || number->end != ext->label) return std::nullopt;
  number->end = ext->end;
  return number;
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

// A region's filter and verifier, built once per process: they are
// immutable, and building them (some hundred patterns compiled for the
// default regions) is a good part of starting an analyzer, which builds
// more than one phone recognizer.
struct RegionShortcuts {
  std::shared_ptr<const regex::Regex> filter;
  std::shared_ptr<const PhoneNumberVerifier> verifier;
};

const RegionShortcuts& region_shortcuts(const std::string& region) {
  static std::mutex mutex;
  static auto* const cache = new std::map<std::string, RegionShortcuts>();
  const std::lock_guard<std::mutex> lock(mutex);
  auto it = cache->find(region);
  if (it == cache->end()) {
    it = cache->emplace(region, RegionShortcuts{region_filter(region), PhoneNumberVerifier::shared(region)}).first;
  }
  return it->second;
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
    const RegionShortcuts& shortcuts = region_shortcuts(region);
    filters_.push_back(shortcuts.filter);
    verifiers_.push_back(shortcuts.verifier);
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
  std::optional<RecognizerResult::Metadata> metadata;  // made with the first result
  // A piece's matches depend on nothing but its bytes, and texts repeat
  // numbers (and their surroundings): each distinct piece is matched once.
  struct PieceMatch {
    size_t start, end;  // bytes from the start of the piece
    std::string number_region;
  };
  std::unordered_map<std::string_view, std::vector<PieceMatch>> matched_pieces;
  for (const Segment& segment : phone_segments(text.view(), min_digits_)) {
    const std::string_view piece = text.view().substr(segment.begin, segment.end - segment.begin);
    // Not a structured binding: the lambdas below capture the iterator.
    const auto emplaced = matched_pieces.try_emplace(piece);
    const auto cached = emplaced.first;
    if (emplaced.second) {
      const std::string piece_copy(piece);
      const std::vector<Unit> units = filterable_units(piece);
      const std::optional<PlainNumber> plain = plain_number(piece, units);
      const std::optional<PlainNumber> international = units.empty() ? international_number(piece) : std::nullopt;
      const std::optional<ExtendedNumber> extended =
          units.empty() && !international ? extended_number(piece) : std::nullopt;
      // An international number every region's matcher turns down whole,
      // with the parts it then tries: only the national ones depend on the
      // region.
      std::optional<InternationalParts> turned_down;
      if (international) {
        auto invalid = [&](const std::string& digits) {
          return std::any_of(verifiers_.begin(), verifiers_.end(), [&](const auto& verifier) {
            return verifier && verifier->invalid_after_calling_code(digits);
          });
        };
        turned_down = international_parts(piece, *international);
        if (turned_down && !(invalid(international->digits) && invalid(turned_down->first))) turned_down.reset();
      }
      std::set<std::pair<size_t, size_t>> seen;
      bool verified = false;
      // An international number with an extension, the piece's only
      // candidate: found whole by one region's matcher, it is found so by
      // every region's.
      const std::optional<PlainNumber> international_extended =
          !international && !extended && units.empty() ? international_with_extension(piece) : std::nullopt;
      // A valid international number is found alike under every region,
      // named after the region of its calling code the library names it
      // after.
      auto verify_international = [&](const PlainNumber& number) {
        for (size_t r = 0; r < supported_regions_.size() && !verified; ++r) {
          if (!verifiers_[r]) continue;
          if (verifiers_[r]->valid_after_calling_code(number.digits)) {
            cached->second.push_back({number.begin, number.end, supported_regions_[r]});
            verified = true;
          } else if (const std::string* named = verifiers_[r]->region_after_calling_code(number.digits)) {
            cached->second.push_back({number.begin, number.end, *named});
            verified = true;
          }
        }
      };
      if (international_extended) verify_international(*international_extended);
      if (international) verify_international(*international);
      for (size_t r = 0; r < supported_regions_.size() && !verified; ++r) {
        if (!units.empty() && (filters_[r] || verifiers_[r]) &&
            !may_hold_number(filters_[r].get(), verifiers_[r].get(), units)) {
          continue;
        }
        if (plain && verifiers_[r]) {
          const PhoneNumberVerifier& verifier = *verifiers_[r];
          std::string_view number_region;
          const PhoneNumberVerifier::Verdict verdict = verifier.lone_candidate(plain->digits, &number_region);
          if (verdict == PhoneNumberVerifier::Verdict::kMatch) {
            if (seen.emplace(plain->begin, plain->end).second) {
              cached->second.push_back({plain->begin, plain->end, std::string(number_region)});
            }
            continue;
          }
          if (verdict == PhoneNumberVerifier::Verdict::kNone && plain->parts_are_units &&
              (units.size() == 1 || std::all_of(units.begin(), units.end(), [&](const Unit& unit) {
                 return verifier.lone_candidate(unit.digits) == PhoneNumberVerifier::Verdict::kNone;
               }))) {
            continue;
          }
        }
        if (extended && verifiers_[r]) {
          // Turned down whole and in every part: nothing in this region.
          const PhoneNumberVerifier& verifier = *verifiers_[r];
          auto none = [&](const std::string& digits) {
            return verifier.lone_candidate(digits) == PhoneNumberVerifier::Verdict::kNone;
          };
          if (none(extended->number.digits) && std::all_of(extended->parts.begin(), extended->parts.end(), none)) {
            continue;
          }
        }
        if (turned_down && verifiers_[r] &&
            std::all_of(turned_down->others.begin(), turned_down->others.end(), [&](const std::string& digits) {
              return verifiers_[r]->lone_candidate(digits) == PhoneNumberVerifier::Verdict::kNone;
            })) {
          continue;
        }
        if (international && seen.count({international->begin, international->end})) break;
        if (international_extended && seen.count({international_extended->begin, international_extended->end})) break;
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
      if (!metadata) metadata = recognizer_metadata();
      results.emplace_back(supported_entities().front(), start, end, score_, std::move(explanation), *metadata);
    }
  }
  return results;
}

}  // namespace tesk_privacy::recognition
