#include "identifier_recognizer.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "cues.h"
#include "digits.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/pii_detector/format_entities.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

// One digit group of a run and the separator before it.
struct Group {
  size_t byte_start, byte_end;
  std::string digits;
  char separator;  // ' ', '.', '-', '(' or ')' before the group; 0 for the first
};

struct Verdict {
  const char* type;
  double score;
  const char* name;
};

enum class PhoneKind { kNone, kMobile, kLandline, kForeign };

PhoneKind phone_kind(std::string d, bool international) {
  std::string national;
  if (international) {
    if (d.rfind("62", 0) != 0) return d.size() >= 8 && d.size() <= 15 ? PhoneKind::kForeign : PhoneKind::kNone;
    national = d.substr(2);
    if (!national.empty() && national[0] == '0') national.erase(0, 1);  // "+62 (0)21 ..."
  } else if (d.rfind("62", 0) == 0 && d.size() >= 11 && d.size() <= 14 && d[2] == '8') {
    national = d.substr(2);
  } else if (!d.empty() && d[0] == '0') {
    national = d.substr(1);
  } else {
    return PhoneKind::kNone;
  }
  if (national.size() >= 9 && national.size() <= 12 && national[0] == '8' && national[1] >= '1') {
    return PhoneKind::kMobile;
  }
  if (national.size() >= 8 && national.size() <= 11 && national[0] >= '2' && national[0] <= '9' &&
      national[0] != '8' && national[1] != '0') {
    return PhoneKind::kLandline;
  }
  return PhoneKind::kNone;
}

// A phone is written in a few long groups, never as a row of small numbers
// ("15 3 4 8 13 28 13"): at most one group of two digits or fewer besides the
// country code, and none of one digit but a "(0)".
bool has_phone_grouping(const std::vector<Group>& g, size_t first, size_t last, bool international) {
  int short_groups = 0;
  for (size_t i = first + (international ? 1 : 0); i < last; ++i) {
    if (g[i].digits.size() == 1 && g[i].digits != "0") return false;
    if (g[i].digits.size() <= 2) ++short_groups;
  }
  return short_groups <= 1;
}

bool grouping_is(const std::vector<Group>& g, size_t first, size_t last, std::initializer_list<size_t> sizes) {
  if (last - first != sizes.size()) return false;
  size_t i = first;
  for (size_t s : sizes) {
    if (g[i++].digits.size() != s) return false;
  }
  return true;
}

std::optional<Verdict> classify(const std::vector<Group>& g, size_t first, size_t last, bool international,
                                Cue cue, const CueScan& scan) {
  std::string d;
  for (size_t i = first; i < last; ++i) d += g[i].digits;
  const size_t n = d.size();
  const bool grouped = last - first > 1;
  const PhoneKind phone = phone_kind(d, international);
  const bool phone_shaped = phone != PhoneKind::kNone && has_phone_grouping(g, first, last, international);
  if (!international) {
    switch (cue) {
      case Cue::kNik:
        if (n == 16) return Verdict{Entities::KTP, is_plausible_nik(d) ? 0.95 : 0.85, "NIK after its label"};
        break;
      case Cue::kFamilyCard:
        if (n == 16) {
          return Verdict{Entities::FAMILY_CARD_NUMBER, is_plausible_kk(d) || is_plausible_nik(d) ? 0.95 : 0.85,
                         "KK after its label"};
        }
        break;
      case Cue::kNpwp:
        if (n == 15 || n == 16) return Verdict{Entities::NPWP, 0.95, "NPWP after its label"};
        break;
      case Cue::kBpjs:
        if (n >= 11 && n <= 13) return Verdict{Entities::ID_BPJS_NUMBER, 0.95, "BPJS after its label"};
        break;
      case Cue::kDrivingLicence:
        if (n >= 12 && n <= 14) return Verdict{FormatEntities::ID_SIM, 0.9, "SIM after its label"};
        break;
      case Cue::kCard:
        if (is_card_number(d)) return Verdict{Entities::CREDIT_CARD, 0.95, "card number after its label"};
        if (n == 16) return Verdict{Entities::CREDIT_CARD, 0.75, "card number after its label"};
        break;
      case Cue::kBank:
        if (n == 16 && scan.has(Cue::kCard) && is_card_number(d)) {
          return Verdict{Entities::CREDIT_CARD, 0.8, "card number in groups"};
        }
        if (phone == PhoneKind::kMobile && scan.has(Cue::kPhone)) break;
        if (n >= 10 && n <= 16) return Verdict{Entities::BANK_ACCOUNT, 0.9, "account number after its label"};
        break;
      case Cue::kPhone:
        if (phone != PhoneKind::kNone) return Verdict{Entities::PHONE_NUMBER, 0.95, "phone number after its label"};
        break;
      default:
        break;
    }
  }
  if (phone_shaped) {
    switch (phone) {
      case PhoneKind::kMobile:
        return Verdict{Entities::PHONE_NUMBER, 0.8, "Indonesian mobile number"};
      case PhoneKind::kLandline:
        return Verdict{Entities::PHONE_NUMBER, international || g[first].separator == '(' || grouped ? 0.75 : 0.55,
                       "Indonesian landline number"};
      case PhoneKind::kForeign:
        return Verdict{Entities::PHONE_NUMBER, 0.7, "international phone number"};
      case PhoneKind::kNone:
        break;
    }
  }
  if (international) return std::nullopt;
  if (n == 16 && is_plausible_nik(d)) return Verdict{Entities::KTP, grouped ? 0.7 : 0.6, "NIK by its structure"};
  if (n == 15 && grouping_is(g, first, last, {2, 3, 3, 1, 3, 3})) {
    return Verdict{Entities::NPWP, 0.85, "NPWP in its punctuation"};
  }
  if (is_card_number(d)) return Verdict{Entities::CREDIT_CARD, grouped ? 0.7 : 0.4, "card number by its brand"};
  if (n == 13 && d.rfind("000", 0) == 0) return Verdict{Entities::ID_BPJS_NUMBER, 0.4, "BPJS card number"};
  return std::nullopt;
}

// Digits glued to a currency ("Rp 1.500.000", "$ 20") are an amount.
bool after_currency(std::string_view text, size_t pos) {
  size_t i = pos;
  while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '.')) --i;
  if (i > 0 && (text[i - 1] == '$')) return true;
  auto ends_with = [&](std::string_view word) {
    if (i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(text[i - word.size() + k])) != word[k]) return false;
    }
    const size_t before = i - word.size();
    return before == 0 || !std::isalpha(static_cast<unsigned char>(text[before - 1]));
  };
  return ends_with("rp") || ends_with("idr") || ends_with("usd") || ends_with("sgd");
}

std::vector<Group> split_groups(std::string_view m, size_t offset) {
  std::vector<Group> groups;
  char separator = 0;
  for (size_t i = 0; i < m.size();) {
    const auto c = static_cast<unsigned char>(m[i]);
    const bool fullwidth = c == 0xEF && i + 2 < m.size() && static_cast<unsigned char>(m[i + 1]) == 0xBC &&
                           static_cast<unsigned char>(m[i + 2]) >= 0x90 &&
                           static_cast<unsigned char>(m[i + 2]) <= 0x99;
    if ((c >= '0' && c <= '9') || fullwidth || c >= 0x80) {
      size_t j = i;
      while (j < m.size() && (std::isdigit(static_cast<unsigned char>(m[j])) ||
                              static_cast<unsigned char>(m[j]) >= 0x80)) {
        ++j;
      }
      groups.push_back({offset + i, offset + j, ascii_digits(m.substr(i, j - i)), separator});
      separator = ' ';
      i = j;
      continue;
    }
    if (c == '.' || c == '-' || c == '(' || c == ')') separator = static_cast<char>(c);
    ++i;
  }
  if (!groups.empty()) groups[0].separator = m[0] == '(' ? '(' : 0;
  return groups;
}

// Bytes of the digit at `i` (an ASCII or full-width digit), or 0.
size_t digit_at(std::string_view t, size_t i) {
  const auto c = static_cast<unsigned char>(t[i]);
  if (c >= '0' && c <= '9') return 1;
  if (c == 0xEF && i + 2 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0xBC &&
      static_cast<unsigned char>(t[i + 2]) >= 0x90 && static_cast<unsigned char>(t[i + 2]) <= 0x99) {
    return 3;
  }
  return 0;
}

// True when `s` opens more parentheses than it closes.
bool opens_more(std::string_view s) {
  int depth = 0;
  for (char c : s) {
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
  }
  return depth > 0;
}

struct Chain {
  size_t byte_start, byte_end;
};

// The length of a separator between two digit groups that starts at byte
// `i` and ends right before a digit: one blank, or a dot or dash with a blank
// allowed on either side, or parentheses around a group ("(021) 555",
// "+62 (21) 555", "(0)812"); 0 when the bytes there join no groups.
size_t separator_at(std::string_view t, size_t i) {
  auto blank = [&](size_t k) { return k < t.size() && (t[k] == ' ' || t[k] == '\t'); };
  size_t k = i;
  const bool closes = k < t.size() && t[k] == ')';
  if (closes) ++k;
  size_t core = k;
  if (k < t.size() && (t[k] == '.' || t[k] == '-')) {
    ++k;
  } else if (blank(k) && k + 1 < t.size() && (t[k + 1] == '.' || t[k + 1] == '-')) {
    k += 2;
  } else if (blank(k)) {
    ++k;
  }
  if (k > core && t[k - 1] != ' ' && t[k - 1] != '\t' && blank(k)) ++k;  // "5 - 1", "5- 1"
  const bool opens = k < t.size() && t[k] == '(';
  if (opens) ++k;
  if (k == i || (k == core && !closes && !opens)) return 0;
  return k < t.size() && digit_at(t, k) ? k - i : 0;
}

// Runs of up to eight digit groups joined by separators (separator_at), with
// a "+" (and a blank) or "(" in front; never part of a longer number or
// amount. Found from the text's digit runs in one pass.
std::vector<Chain> find_chains(const Utf8Text& text) {
  const std::string_view t = text.view();
  std::vector<Chain> chains;
  size_t i = 0;
  for (const auto& run : text.digit_runs()) {
    if (run.end <= i) continue;
    for (size_t b = std::max<size_t>(run.begin, i); b < run.end;) {
      if (!digit_at(t, b)) {
        ++b;
        continue;
      }
      // The chain's start: the group, a "(" before it, a "+" or "+ " before that.
      size_t start = b;
      if (start > 0 && t[start - 1] == '(') --start;
      if (start > 0 && t[start - 1] == '+') {
        --start;
      } else if (start > 1 && (t[start - 1] == ' ' || t[start - 1] == '\t') && t[start - 2] == '+') {
        start -= 2;
      }
      const bool after_number =
          start > 0 && (std::isdigit(static_cast<unsigned char>(t[start - 1])) || t[start - 1] == ',' ||
                        (t[start - 1] == '.' && start > 1 && std::isdigit(static_cast<unsigned char>(t[start - 2]))));
      size_t end = b;
      if (after_number) {
        // Part of a longer number or an amount ("1,5", "2.000"): its next
        // group may still begin a chain of its own after a blank.
        while (end < t.size() && digit_at(t, end)) end += digit_at(t, end);
        i = b = end;
        continue;
      }
      for (int groups = 0; groups < 8; ++groups) {
        while (end < t.size() && digit_at(t, end)) end += digit_at(t, end);
        if (groups == 7) break;
        const size_t gap = end < t.size() ? separator_at(t, end) : 0;
        if (gap == 0) break;
        end += gap;
      }
      if (end < t.size() && t[end] == ')') ++end;
      chains.push_back({start, end});
      i = end;
      b = end;
    }
  }
  return chains;
}

// Letters that text read from a scanned card puts in place of digits:
// "3171O11205900001" for 3171011205900001.
bool misread_digit(char c) {
  return (c >= '0' && c <= '9') || c == 'O' || c == 'o' || c == 'I' || c == 'l' || c == '|' || c == 'S' ||
         c == 'B' || c == 'Z';
}

// Sixteen-character tokens of digits and misread letters (at least twelve
// digits and one letter) right after a NIK or KK label, with that label: the
// number as a scanned card gives it. Without the label such a token is a code.
std::vector<std::pair<Chain, Cue>> find_misread_numbers(const Utf8Text& text) {
  const std::string_view t = text.view();
  std::vector<std::pair<Chain, Cue>> found;
  size_t done = 0;
  for (const auto& run : text.digit_runs()) {
    if (run.begin < done) continue;
    size_t start = run.begin, end = run.end;
    while (start > 0 && misread_digit(t[start - 1])) --start;
    while (end < t.size() && misread_digit(t[end])) ++end;
    done = end;
    if (end - start != 16) continue;
    if ((start > 0 && std::isalnum(static_cast<unsigned char>(t[start - 1]))) ||
        (end < t.size() && std::isalnum(static_cast<unsigned char>(t[end])))) {
      continue;
    }
    const auto digits = std::count_if(t.begin() + static_cast<std::ptrdiff_t>(start),
                                      t.begin() + static_cast<std::ptrdiff_t>(end),
                                      [](char c) { return c >= '0' && c <= '9'; });
    if (digits < 12 || digits == 16) continue;
    const Cue cue = cues_before(t, start).nearest;
    if (cue == Cue::kNik || cue == Cue::kFamilyCard) found.push_back({Chain{start, end}, cue});
  }
  return found;
}

}  // namespace

IdentifierRecognizer::IdentifierRecognizer(std::string supported_language)
    : FormatRecognizer({Entities::KTP, Entities::FAMILY_CARD_NUMBER, Entities::NPWP, Entities::ID_BPJS_NUMBER,
                        FormatEntities::ID_SIM, FormatEntities::ID_PASSPORT, Entities::CREDIT_CARD,
                        Entities::BANK_ACCOUNT, Entities::PHONE_NUMBER},
                       "IdentifierRecognizer", std::move(supported_language), {}, /*judges_context=*/true),
      passport_(compile(R"((?<![\w])(?-i:[A-Z]{1,2})[ \t]?\d{6,7}(?![\w]))")) {}

void IdentifierRecognizer::find(const Utf8Text& text, const std::vector<std::string>& entities,
                                std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  for (const Chain& m : find_chains(text)) {
    // A letter glued after the run ("3171...0001a", "12345abc") makes it a code.
    if (m.byte_end < t.size() && std::isalpha(static_cast<unsigned char>(t[m.byte_end]))) continue;
    // The shortest number classified here, a landline, has nine digits;
    // prices, dates and times are passed over before any work.
    size_t digit_bytes = 0;
    for (size_t b = m.byte_start; b < m.byte_end; ++b) {
      digit_bytes += std::isdigit(static_cast<unsigned char>(t[b])) || static_cast<unsigned char>(t[b]) >= 0x80;
    }
    if (digit_bytes < 9) continue;
    std::vector<Group> groups = split_groups(t.substr(m.byte_start, m.byte_end - m.byte_start), m.byte_start);
    if (groups.empty()) continue;
    const bool international = t[m.byte_start] == '+' || (t.compare(m.byte_start, 2, "00") == 0 &&
                                                           groups[0].digits.size() > 2 &&
                                                           groups[0].digits.rfind("0062", 0) == 0);
    if (international && t[m.byte_start] != '+') groups[0].digits.erase(0, 2);
    if (after_currency(t, m.byte_start)) continue;
    if (m.byte_end < t.size() && t[m.byte_end] == '%') continue;
    const CueScan scan = cues_before(t, m.byte_start);
    if (scan.glued && !scan.glued_is_cue) continue;
    // The whole run first; failing that, its parts between blanks, longest first.
    const size_t n = groups.size();
    for (size_t i = 0; i < n;) {
      bool found = false;
      for (size_t j = n; j > i && !found; --j) {
        if (j < n && groups[j].separator != ' ') continue;
        const Cue cue = i == 0 ? scan.nearest : Cue::kNone;
        if (auto v = classify(groups, i, j, i == 0 && international, cue, scan)) {
          const size_t start = i == 0 ? m.byte_start : groups[i].byte_start;
          size_t end = groups[j - 1].byte_end;
          // A closing parenthesis belongs to the number only when it closes
          // one the number opened ("(021)"), not one around it ("(NIK ...)").
          if (end < m.byte_end && t[end] == ')' && opens_more(t.substr(start, end - start))) ++end;
          out.push_back({v->type, start, end, v->score, v->name});
          i = j;
          found = true;
        }
      }
      if (!found) {
        do {
          ++i;
        } while (i < n && groups[i].separator != ' ');
      }
    }
  }
  for (const auto& [m, cue] : find_misread_numbers(text)) {
    if (cue == Cue::kNik) {
      out.push_back({Entities::KTP, m.byte_start, m.byte_end, 0.85, "NIK after its label, letters misread"});
    } else {
      out.push_back({Entities::FAMILY_CARD_NUMBER, m.byte_start, m.byte_end, 0.85, "KK after its label, letters misread"});
    }
  }
  if (!wants(entities, FormatEntities::ID_PASSPORT)) return;
  for (const regex::MatchSpan& m : passport_->find_spans(text)) {
    const CueScan scan = cues_before(t, m.byte_start);
    const bool labelled = scan.nearest == Cue::kPassport || (cues_after(t, m.byte_end) & cue_bit(Cue::kPassport));
    const std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
    const size_t digits = ascii_digits(s).size();
    if (labelled) {
      out.push_back({FormatEntities::ID_PASSPORT, m.byte_start, m.byte_end, 0.95, "passport number after its label"});
    } else if (digits == 7 && std::isalpha(static_cast<unsigned char>(s[1])) == 0) {
      out.push_back({FormatEntities::ID_PASSPORT, m.byte_start, m.byte_end, 0.4, "passport number"});
    }
  }
}

}  // namespace tesk_privacy::pii_detector::formats
