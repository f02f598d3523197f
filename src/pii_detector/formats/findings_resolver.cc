#include "findings_resolver.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>

#include "cues.h"
#include "digits.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/pii_detector/format_entities.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

using recognition::RecognizerResult;

std::string_view recognizer_name(const RecognizerResult& r) {
  static const std::string kKey = RecognizerResult::RECOGNIZER_NAME_KEY;  // looked up without a copy per result
  if (!r.recognition_metadata) return {};
  const auto it = r.recognition_metadata->find(kKey);
  if (it == r.recognition_metadata->end()) return {};
  const auto* name = std::get_if<std::string>(&it->second);
  return name == nullptr ? std::string_view() : std::string_view(*name);
}

bool from_format_recognizer(const RecognizerResult& r) {
  static constexpr std::string_view kNames[] = {"IdentifierRecognizer", "WrittenOutEmailRecognizer",
                                                "VehiclePlateRecognizer", "IndonesianDateRecognizer",
                                                "AddressRecognizer", "AmountRecognizer"};
  const std::string_view name = recognizer_name(r);
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool is_name_type(const std::string& type) {
  return type == Entities::PERSON || type == Entities::LOCATION || type == Entities::ORGANIZATION_NAME ||
         type == Entities::NRP || type == Entities::OTHER_NAME || type == Entities::FACILITY ||
         type == Entities::PRODUCT || type == Entities::EVENT || type == Entities::PROJECT;
}

// Identifiers, contacts, dates and addresses: findings with a form of their
// own, which names and amounts must not cut into.
bool has_a_form(const RecognizerResult& r) {
  return !is_name_type(r.entity_type) && r.entity_type != Entities::MONEY &&
         r.entity_type != Entities::NUMBER && r.entity_type != Entities::MEASUREMENT;
}

// The types whose built-in patterns need a label nearby (bare numbers of a
// given length): kept only when the label stands right before the number.
Cue label_needed(const std::string& type) {
  if (type == Entities::FAMILY_CARD_NUMBER) return Cue::kFamilyCard;
  if (type == Entities::ID_BPJS_NUMBER) return Cue::kBpjs;
  if (type == Entities::BANK_ACCOUNT) return Cue::kBank;
  return Cue::kNone;
}

// Digit groups of a span; groups of two digits or fewer (a leading "+NN"
// aside) and lone digits mark a row of small numbers.
bool looks_like_row_of_numbers(std::string_view s) {
  std::vector<size_t> groups;
  size_t run = 0;
  for (char c : s) {
    if (std::isalpha(static_cast<unsigned char>(c))) break;  // an extension ("ext 12", "x3")
    if (std::isdigit(static_cast<unsigned char>(c))) {
      ++run;
    } else if (run > 0) {
      groups.push_back(run);
      run = 0;
    }
  }
  if (run > 0) groups.push_back(run);
  const size_t first = !s.empty() && s[0] == '+' ? 1 : 0;
  size_t short_groups = 0, single = 0;
  for (size_t i = first; i < groups.size(); ++i) {
    short_groups += groups[i] <= 2;
    single += groups[i] == 1;
  }
  return short_groups >= 2 || (single >= 1 && groups.size() >= 3);
}

bool is_bare_year(std::string_view s) {
  return s.size() == 4 && std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
         (s.substr(0, 2) == "19" || s.substr(0, 2) == "20");
}

bool lower_case_after_project(std::string_view s) {
  if (s.size() < 9) return false;
  std::string head(s.substr(0, 7));
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (head != "project") return false;
  size_t i = 7;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return i < s.size() && std::islower(static_cast<unsigned char>(s[i]));
}

bool has_letters(std::string_view s) {
  int letters = 0;
  for (char c : s) letters += std::isalpha(static_cast<unsigned char>(c)) != 0 || static_cast<unsigned char>(c) >= 0x80;
  return letters >= 2;
}

// Cuts a name back to [start, end) and trims blanks and punctuation at its
// edges; false when no name is left.
bool cut_name(const Utf8Text& text, RecognizerResult& r, int64_t start, int64_t end) {
  auto edge = [&](int64_t cp) {
    const std::string_view c = text.slice(static_cast<size_t>(cp), static_cast<size_t>(cp) + 1);
    return c.size() == 1 && (std::isspace(static_cast<unsigned char>(c[0])) || std::ispunct(static_cast<unsigned char>(c[0])));
  };
  while (start < end && edge(start)) ++start;
  while (end > start && edge(end - 1)) --end;
  if (end - start < 2 || !has_letters(text.slice(static_cast<size_t>(start), static_cast<size_t>(end)))) return false;
  r.start = start;
  r.end = end;
  return true;
}

// Capitalised words that are not labels or filler ("WA", "Rek", "ya").
int name_weight(const Utf8Text& text, const RecognizerResult& r) {
  const std::string_view s = text.slice(static_cast<size_t>(r.start), static_cast<size_t>(r.end));
  int weight = 0;
  for (size_t i = 0; i < s.size();) {
    while (i < s.size() && !std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    size_t j = i;
    while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
    if (j > i && std::isupper(static_cast<unsigned char>(s[i])) && !is_label_or_filler(s.substr(i, j - i))) ++weight;
    i = j;
  }
  return weight;
}

bool labelled_as_belonging(std::string_view t, size_t pos) {
  size_t begin = pos > 40 ? pos - 40 : 0;
  std::string before(t.substr(begin, pos - begin));
  for (char& c : before) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::string_view label : {"agama", "religion", "kewarganegaraan", "nationality", "suku", "warga negara"}) {
    if (before.find(label) != std::string::npos) return true;
  }
  return false;
}

// "WA", "Rek BCA": labels and filler only, no name.
bool only_labels(std::string_view s) {
  bool any = false;
  for (size_t i = 0; i < s.size();) {
    while (i < s.size() && !std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    size_t j = i;
    while (j < s.size() && (std::isalpha(static_cast<unsigned char>(s[j])) || static_cast<unsigned char>(s[j]) >= 0x80)) ++j;
    if (j == i) break;
    if (!is_label_or_filler(s.substr(i, j - i))) return false;
    any = true;
    i = j;
  }
  return any;
}

}  // namespace

std::vector<RecognizerResult> resolve_findings(const Utf8Text& text, std::vector<RecognizerResult> results) {
  const std::string_view t = text.view();
  auto span_text = [&](const RecognizerResult& r) {
    return text.slice(static_cast<size_t>(r.start), static_cast<size_t>(r.end));
  };
  std::vector<char> drop(results.size(), 0);
  std::vector<char> ours(results.size(), 0), formed(results.size(), 0);
  for (size_t i = 0; i < results.size(); ++i) {
    ours[i] = from_format_recognizer(results[i]);
    formed[i] = has_a_form(results[i]);
  }
  // Date spans by start, with the furthest end so far: whether a span meets
  // a date is two binary searches, not a scan of every date.
  std::vector<std::pair<int64_t, int64_t>> dates;
  for (const RecognizerResult& r : results) {
    if (r.entity_type == Entities::DATE_TIME) dates.emplace_back(r.start, r.end);
  }
  std::sort(dates.begin(), dates.end());
  for (size_t d = 1; d < dates.size(); ++d) dates[d].second = std::max(dates[d].second, dates[d - 1].second);
  auto meets_a_date = [&](const RecognizerResult& r) {
    const auto after = std::lower_bound(dates.begin(), dates.end(), std::pair<int64_t, int64_t>(r.end, INT64_MIN));
    return after != dates.begin() && std::prev(after)->second > r.start;
  };
  for (size_t i = 0; i < results.size(); ++i) {
    const RecognizerResult& r = results[i];
    if (r.end <= r.start) continue;
    const std::string_view s = span_text(r);
    if (ours[i] && r.entity_type != Entities::MONEY) continue;
    if (r.entity_type == Entities::KTP) {
      const size_t byte = text.cp_to_byte(static_cast<size_t>(r.start));
      drop[i] = !is_plausible_nik(ascii_digits(s)) && cues_before(t, byte).nearest != Cue::kNik;
    } else if (r.entity_type == Entities::PHONE_NUMBER) {
      drop[i] = looks_like_row_of_numbers(s);
    } else if (r.entity_type == Entities::MONEY) {
      drop[i] = is_bare_year(s) || meets_a_date(r);
    } else if (r.entity_type == Entities::PROJECT) {
      drop[i] = lower_case_after_project(s);
    } else if (const Cue needed = label_needed(r.entity_type); needed != Cue::kNone) {
      const size_t byte = text.cp_to_byte(static_cast<size_t>(r.start));
      drop[i] = !cues_before(t, byte).has(needed);
    }
    if (is_name_type(r.entity_type) && only_labels(s)) drop[i] = 1;
    if (r.entity_type == Entities::MONEY && !drop[i]) {
      // An amount is someone's only with a money word near it (a salary, a
      // bill, a transfer); amounts in reports and news are not PII.
      const size_t b = text.cp_to_byte(static_cast<size_t>(r.start));
      const CueScan scan = cues_before(t, b);
      const bool supported = (r.analysis_explanation && !r.analysis_explanation->supportive_context_word.empty()) ||
                             scan.has(Cue::kMoney) || scan.has(Cue::kBank);
      // A bare number of one to three digits is a count, and one with a
      // leading zero or of ten digits or more a code, not an amount.
      const bool bare = std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
      drop[i] = !supported || (bare && (s.size() <= 3 || s.size() >= 10 || s[0] == '0'));
    }
    if (r.entity_type == Entities::NRP && !drop[i]) {
      // A religion or nationality is recorded as someone's after its label
      // ("Agama: ISLAM", "Kewarganegaraan: WNI"); alone it is a topic.
      drop[i] = !labelled_as_belonging(t, text.cp_to_byte(static_cast<size_t>(r.start)));
    }
    if (r.entity_type == Entities::MONEY && !drop[i]) {
      // A bare number inside a code ("INV/2024/05/00123", "A-12") is no amount.
      const size_t b = text.cp_to_byte(static_cast<size_t>(r.start));
      const size_t e = text.cp_to_byte(static_cast<size_t>(r.end));
      auto code_char = [](char c) { return c == '/' || c == '-' || c == '_' || std::isalpha(static_cast<unsigned char>(c)); };
      drop[i] = std::isdigit(static_cast<unsigned char>(s[0])) &&
                ((b > 0 && code_char(t[b - 1])) || (e < t.size() && code_char(t[e])));
    }
  }
  // Findings with a form, longest first, each kept unless it overlaps one
  // kept before it.
  std::vector<size_t> strong;
  for (size_t i = 0; i < results.size(); ++i) {
    if (!drop[i] && formed[i]) strong.push_back(i);
  }
  // Of equal spans, the format recognizers' reading wins: it weighed the
  // label right before the value ("Nomor KK", not a "NIK" a line above).
  std::sort(strong.begin(), strong.end(), [&](size_t a, size_t b) {
    if (results[a].length() != results[b].length()) return results[a].length() > results[b].length();
    if (ours[a] != ours[b]) return ours[a] > ours[b];
    if (results[a].score != results[b].score) return results[a].score > results[b].score;
    return a < b;
  });
  // Kept spans never overlap, so they are ordered by start, with their end
  // and their place in `strong` order.
  std::map<int64_t, std::pair<int64_t, size_t>> kept;
  std::vector<size_t> kept_order;
  for (size_t i : strong) {
    const RecognizerResult& r = results[i];
    auto next = kept.lower_bound(r.start);
    const bool overlaps = (next != kept.end() && next->first < r.end) ||
                          (next != kept.begin() && std::prev(next)->second.first > r.start);
    if (overlaps) {
      drop[i] = 1;
    } else {
      kept.emplace(r.start, std::pair<int64_t, size_t>(r.end, kept_order.size()));
      kept_order.push_back(i);
    }
  }
  std::vector<size_t> meeting;
  for (size_t i = 0; i < results.size(); ++i) {
    RecognizerResult& r = results[i];
    if (drop[i] || formed[i] || kept.empty()) continue;  // kept findings overlap none of their kind
    meeting.clear();
    auto it = kept.upper_bound(r.start);
    if (it != kept.begin()) --it;
    for (; it != kept.end() && it->first < r.end; ++it) {
      if (it->second.first > r.start) meeting.push_back(it->second.second);
    }
    std::sort(meeting.begin(), meeting.end());
    for (size_t m : meeting) {
      const RecognizerResult& a = results[kept_order[m]];
      if (drop[i] || !r.intersects(a)) continue;
      const bool address = a.entity_type == FormatEntities::ADDRESS;
      if (is_name_type(r.entity_type) && !address) {
        // A name across an identifier keeps the side with more of a name.
        RecognizerResult before = r, after = r;
        const bool has_before =
            r.start < a.start && cut_name(text, before, r.start, a.start) && name_weight(text, before) > 0;
        const bool has_after = r.end > a.end && cut_name(text, after, a.end, r.end) && name_weight(text, after) > 0;
        if (has_before && (!has_after || name_weight(text, before) >= name_weight(text, after))) {
          r = before;
        } else if (has_after) {
          r = after;
        } else {
          drop[i] = 1;
        }
      } else {
        drop[i] = 1;
      }
    }
  }
  std::vector<RecognizerResult> out;
  out.reserve(results.size());
  for (size_t i = 0; i < results.size(); ++i) {
    if (!drop[i]) out.push_back(std::move(results[i]));
  }
  return out;
}

}  // namespace tesk_privacy::pii_detector::formats
