#include "recognition/predefined/phone_number_verifier.h"

#include <algorithm>
#include <array>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include <phonenumbers/phonenumberutil.h>

namespace i18n::phonenumbers {
// libphonenumber's compiled-in metadata, a serialized PhoneMetadataCollection
// (exported by the library, declared in a header it does not install).
int metadata_size();
const void* metadata_get();
}  // namespace i18n::phonenumbers

namespace tesk_privacy::recognition {

using i18n::phonenumbers::PhoneMetadata;
using i18n::phonenumbers::PhoneMetadataCollection;
using i18n::phonenumbers::PhoneNumberDesc;

namespace {

constexpr int kAsciiFlag = 256;
// The parser's bounds on a national significant number.
constexpr size_t kMinNationalLength = 2;
constexpr size_t kMaxNationalLength = 17;

}  // namespace

const PhoneMetadataCollection& phone_metadata() {
  static const PhoneMetadataCollection* const kMetadata = [] {
    auto* collection = new PhoneMetadataCollection();
    if (!collection->ParseFromArray(i18n::phonenumbers::metadata_get(), i18n::phonenumbers::metadata_size())) {
      collection->Clear();
    }
    return collection;
  }();
  return *kMetadata;
}

const regex::Regex* PhoneNumberVerifier::LazyPattern::operator->() const {
  std::call_once(state_->compiled,
                 [&] { state_->regex = std::make_unique<const regex::Regex>(state_->source, kAsciiFlag); });
  return state_->regex.get();
}

PhoneNumberVerifier::Desc PhoneNumberVerifier::make_desc(const PhoneNumberDesc& desc) {
  Desc out;
  if (desc.has_national_number_pattern() && !desc.national_number_pattern().empty()) {
    out.pattern = LazyPattern(desc.national_number_pattern());
  }
  out.possible_lengths.assign(desc.possible_length().begin(), desc.possible_length().end());
  out.local_only_lengths.assign(desc.possible_length_local_only().begin(), desc.possible_length_local_only().end());
  return out;
}

// The library's test of a number against one description: the length must be
// among the possible ones (when the description lists any), then the whole
// number must fit the pattern; an empty pattern fits nothing.
bool PhoneNumberVerifier::matches(const Desc& desc, std::string_view national_number) {
  if (!desc.possible_lengths.empty() &&
      std::find(desc.possible_lengths.begin(), desc.possible_lengths.end(),
                static_cast<int>(national_number.size())) == desc.possible_lengths.end()) {
    return false;
  }
  return desc.pattern && desc.pattern->full_match(national_number);
}

PhoneNumberVerifier::Validity PhoneNumberVerifier::make_validity(const PhoneMetadata& m) {
  Validity v;
  v.general = make_desc(m.general_desc());
  for (const PhoneNumberDesc* desc : {&m.premium_rate(), &m.toll_free(), &m.shared_cost(), &m.voip(),
                                      &m.personal_number(), &m.pager(), &m.uan(), &m.voicemail(), &m.fixed_line(),
                                      &m.mobile()}) {
    v.types.push_back(make_desc(*desc));
  }
  v.same_mobile_and_fixed_line = m.same_mobile_and_fixed_line_pattern();
  return v;
}

// The library's validity test of a national significant number in one
// region: the general description, then one number type; fixed-line numbers
// count, and mobile ones unless the region uses one pattern for both.
bool PhoneNumberVerifier::valid_in(const Validity& region, std::string_view national) {
  if (!matches(region.general, national)) return false;
  const size_t fixed_line = region.types.size() - 2;
  for (size_t t = 0; t < fixed_line; ++t) {
    if (matches(region.types[t], national)) return true;
  }
  if (matches(region.types[fixed_line], national)) return true;
  return !region.same_mobile_and_fixed_line && matches(region.types[fixed_line + 1], national);
}

std::unique_ptr<const PhoneNumberVerifier> PhoneNumberVerifier::for_region(const std::string& region) {
  const PhoneMetadataCollection& collection = phone_metadata();
  const PhoneMetadata* own = nullptr;
  for (const PhoneMetadata& m : collection.metadata()) {
    if (m.id() == region) own = &m;
  }
  if (own == nullptr || !own->national_prefix_transform_rule().empty() || own->international_prefix().empty()) {
    return nullptr;
  }
  std::unique_ptr<PhoneNumberVerifier> v(new PhoneNumberVerifier());
  v->calling_code_ = std::to_string(own->country_code());
  v->international_prefix_ = std::make_unique<const regex::Regex>(own->international_prefix(), kAsciiFlag);
  if (!own->national_prefix_for_parsing().empty()) {
    v->national_prefix_ = std::make_unique<const regex::Regex>(own->national_prefix_for_parsing(), kAsciiFlag);
  }
  v->own_ = make_validity(*own);
  // The regions of the calling code in the library's order (its main
  // region first), as it tries them when naming a number's region.
  std::list<std::string> member_ids;
  i18n::phonenumbers::PhoneNumberUtil::GetInstance()->GetRegionCodesForCountryCallingCode(own->country_code(),
                                                                                         &member_ids);
  bool shared = false;
  for (const std::string& id : member_ids) {
    for (const PhoneMetadata& m : collection.metadata()) {
      if (m.id() != id) continue;
      shared = shared || &m != own;
      Member member{id, nullptr, make_validity(m)};
      if (m.has_leading_digits() && !m.leading_digits().empty()) {
        member.leading_digits = std::make_unique<const regex::Regex>(m.leading_digits(), kAsciiFlag);
      }
      v->members_.push_back(std::move(member));
    }
  }
  v->follows_valid_ = v->national_prefix_ && !shared && own->general_desc().has_national_number_pattern();
  v->follows_lone_ = v->own_.general.pattern && (!shared || own->main_country_for_code()) && !v->members_.empty();
  // The national-prefix check reads the formats of the calling code's main
  // region, which for a code of its own is this one.
  const regex::Regex first_group_only("\\(?\\$1\\)?", kAsciiFlag);
  for (const auto& format : own->number_format()) {
    auto f = std::make_unique<Format>();
    if (format.leading_digits_pattern_size() > 0) {
      f->leading_digits = format.leading_digits_pattern(format.leading_digits_pattern_size() - 1);
    }
    f->pattern = format.pattern();
    const std::string& rule = format.national_prefix_formatting_rule();
    f->prefix_required =
        !rule.empty() && !format.national_prefix_optional_when_formatting() && !first_group_only.full_match(rule);
    v->formats_.push_back(std::move(f));
  }
  v->shortest_code_ = true;
  for (const PhoneMetadata& m : collection.metadata()) {
    const std::string code = std::to_string(m.country_code());
    if (code.size() < v->calling_code_.size() && v->calling_code_.starts_with(code)) v->shortest_code_ = false;
  }
  v->unique_code_ = !shared && v->shortest_code_;
  return v;
}

bool PhoneNumberVerifier::valid_national(std::string_view digits) const {
  if (!follows_valid_) return false;
  // The parser would read a leading international prefix, or the region's
  // own calling code written without "+", as the start of an international
  // number.
  if (international_prefix_->prefix_match(digits).has_value() || digits.starts_with(calling_code_)) return false;
  // The national prefix must be there (the matcher requires it where the
  // region's formats print one; requiring it always keeps this simple).
  const std::optional<size_t> prefix = national_prefix_->prefix_match(digits);
  if (!prefix || *prefix == 0) return false;
  const std::string_view national = digits.substr(*prefix);
  // A valid number fits the general pattern; when the rest does not, the
  // parser may even keep the prefix. It also keeps it when the rest has an
  // impossible length.
  const Desc& general = own_.general;
  if (!general.pattern || !general.pattern->full_match(national)) return false;
  const auto& lengths = general.possible_lengths;
  const int length = static_cast<int>(national.size());
  if (lengths.empty() || lengths.front() == -1 || std::find(lengths.begin(), lengths.end(), length) == lengths.end() ||
      std::find(general.local_only_lengths.begin(), general.local_only_lengths.end(), length) !=
          general.local_only_lengths.end()) {
    return false;
  }
  // A leading zero would be kept as a separate flag of the number.
  if (national.size() < kMinNationalLength || national.size() > kMaxNationalLength || national.front() == '0') {
    return false;
  }
  return valid_in(own_, national);
}

bool PhoneNumberVerifier::format_requires_prefix(std::string_view national) const {
  // The first format whose last leading-digits pattern matches at the start
  // of the number and whose pattern matches all of it.
  for (const auto& f : formats_) {
    std::call_once(f->compiled, [&] {
      if (!f->leading_digits.empty()) {
        f->leading_digits_regex = std::make_unique<const regex::Regex>(f->leading_digits, kAsciiFlag);
      }
      f->pattern_regex = std::make_unique<const regex::Regex>(f->pattern, kAsciiFlag);
    });
    if (f->leading_digits_regex && !f->leading_digits_regex->prefix_match(national).has_value()) continue;
    if (f->pattern_regex->full_match(national)) return f->prefix_required;
  }
  return false;
}

const std::string* PhoneNumberVerifier::region_of_valid(std::string_view national) const {
  // The library names the first region of the calling code whose leading
  // digits start the number or, for one without, that has a type for it;
  // the number is valid when it has a type in the region named.
  for (const Member& member : members_) {
    if (member.leading_digits) {
      if (member.leading_digits->prefix_match(national).has_value()) {
        return valid_in(member.validity, national) ? &member.id : nullptr;
      }
    } else if (valid_in(member.validity, national)) {
      return &member.id;
    }
  }
  return nullptr;
}

PhoneNumberVerifier::Verdict PhoneNumberVerifier::lone_candidate(std::string_view digits,
                                                                 std::string_view* region) const {
  // However the parser reads them, no valid number: turned down.
  if (certainly_invalid(digits)) return Verdict::kNone;
  if (!follows_lone_ || international_prefix_->prefix_match(digits).has_value()) return Verdict::kUnknown;
  auto verdict = [&](std::string_view national, bool prefix_written) {
    const std::string* named = region_of_valid(national);
    if (named == nullptr) return Verdict::kNone;
    if (!prefix_written && (national.front() == '0' || format_requires_prefix(national))) {
      // A leading zero is kept as a flag of the number; not followed.
      return national.front() == '0' ? Verdict::kUnknown : Verdict::kNone;
    }
    if (region != nullptr) *region = *named;
    return Verdict::kMatch;
  };
  if (digits.starts_with(calling_code_)) {
    // The parser reads the region's own calling code written without "+"
    // as such when the digits do not fit the general pattern but the rest
    // does, or are too long for the region; the prefix check then no
    // longer applies. Followed only for a calling code of one region and
    // no national prefix starting the rest (one may be taken off there,
    // and again after).
    if (!unique_code_) return Verdict::kUnknown;
    const std::string_view rest = digits.substr(calling_code_.size());
    if (national_prefix_ && national_prefix_->prefix_match(rest).has_value()) return Verdict::kUnknown;
    const auto& lengths = own_.general.possible_lengths;
    const auto length = static_cast<int>(digits.size());
    const bool too_long = !lengths.empty() && lengths.front() != -1 && length != lengths.front() &&
                          length > lengths.back() &&
                          std::find(own_.general.local_only_lengths.begin(), own_.general.local_only_lengths.end(),
                                    length) == own_.general.local_only_lengths.end();
    if (!too_long && (own_.general.pattern->full_match(digits) || !own_.general.pattern->full_match(rest))) {
      return Verdict::kUnknown;
    }
    if (rest.size() < kMinNationalLength || rest.size() > kMaxNationalLength || rest.front() == '0') {
      return Verdict::kUnknown;
    }
    return verdict(rest, true);
  }
  if (national_prefix_) {
    if (const std::optional<size_t> prefix = national_prefix_->prefix_match(digits)) {
      // Taken off when the rest fits the general pattern and has a possible
      // length (and is not only dialled locally); otherwise it may be kept.
      if (*prefix == 0) return Verdict::kUnknown;
      const std::string_view national = digits.substr(*prefix);
      const Desc& general = own_.general;
      const auto& lengths = general.possible_lengths;
      const int length = static_cast<int>(national.size());
      if (!general.pattern->full_match(national) || lengths.empty() || lengths.front() == -1 ||
          std::find(lengths.begin(), lengths.end(), length) == lengths.end() ||
          std::find(general.local_only_lengths.begin(), general.local_only_lengths.end(), length) !=
              general.local_only_lengths.end() ||
          national.size() < kMinNationalLength || national.size() > kMaxNationalLength || national.front() == '0') {
        return Verdict::kUnknown;
      }
      return verdict(national, true);
    }
  }
  // No national prefix: the parser keeps the digits as they are, and the
  // matcher then also wants the prefix the format for the number prints,
  // which is not there to be taken off.
  if (digits.size() < kMinNationalLength || digits.size() > kMaxNationalLength) return Verdict::kUnknown;
  return verdict(digits, false);
}

std::optional<std::string_view> PhoneNumberVerifier::national_after_calling_code(std::string_view digits) const {
  // The parser takes the shortest calling code the digits start with, then
  // a national prefix (the code's main region's) if one starts the rest;
  // without one the rest is the national number.
  if (!shortest_code_ || !digits.starts_with(calling_code_)) return std::nullopt;
  const std::string_view national = digits.substr(calling_code_.size());
  if (national_prefix_) {
    const std::optional<size_t> prefix = national_prefix_->prefix_match(national);
    if (prefix && *prefix > 0) return std::nullopt;
  }
  if (national.size() < kMinNationalLength || national.size() > kMaxNationalLength || national.front() == '0') {
    return std::nullopt;
  }
  return national;
}

bool PhoneNumberVerifier::valid_after_calling_code(std::string_view digits) const {
  if (!unique_code_) return false;
  const std::optional<std::string_view> national = national_after_calling_code(digits);
  return national && valid_in(own_, *national);
}

const std::string* PhoneNumberVerifier::region_after_calling_code(std::string_view digits) const {
  // The national prefix taken off is the main region's: followed for it.
  if (!follows_lone_) return nullptr;
  const std::optional<std::string_view> national = national_after_calling_code(digits);
  return national ? region_of_valid(*national) : nullptr;
}

bool PhoneNumberVerifier::invalid_after_calling_code(std::string_view digits) const {
  if (!unique_code_ || !digits.starts_with(calling_code_)) return false;
  const std::string_view national = digits.substr(calling_code_.size());
  if (national.size() < kMinNationalLength) return true;  // the parser gives up
  if (national_prefix_ && national_prefix_->prefix_match(national).has_value()) return false;
  if (national.size() > kMaxNationalLength || national.front() == '0') return false;
  return !valid_in(own_, national);
}

std::shared_ptr<const PhoneNumberVerifier> PhoneNumberVerifier::shared(const std::string& region) {
  static std::mutex mutex;
  static auto* const cache = new std::unordered_map<std::string, std::shared_ptr<const PhoneNumberVerifier>>();
  const std::lock_guard<std::mutex> lock(mutex);
  auto [it, added] = cache->try_emplace(region);
  if (added) it->second = for_region(region);
  return it->second;
}

namespace {

// The verifier of the region the parser reads a number of `code` (one to
// three digits) as, the code's main region; null for a calling code the
// parser does not know, or whose parsing is not followed here. Looked up
// without a lock once a code's slot is filled: certainly_invalid() asks on
// every number after an international prefix.
const PhoneNumberVerifier* verifier_for_calling_code(int code) {
  struct Slot {
    std::once_flag filled;
    std::shared_ptr<const PhoneNumberVerifier> verifier;
  };
  static auto* const slots = new std::array<Slot, 1000>();
  Slot& slot = (*slots)[static_cast<size_t>(code)];
  std::call_once(slot.filled, [&] {
    std::string region;
    i18n::phonenumbers::PhoneNumberUtil::GetInstance()->GetRegionCodeForCountryCode(code, &region);
    slot.verifier = PhoneNumberVerifier::shared(region);
  });
  return slot.verifier.get();
}

// The calling code at the start of `digits` as the parser reads one after
// an international prefix: the shortest run of one to three digits that is
// a code it knows, of a region or not (800); 0 when there is none.
int leading_calling_code(std::string_view digits) {
  // Read once: every number after an international prefix asks.
  static const auto* const known = [] {
    auto* table = new std::array<bool, 1000>{};
    std::set<int> codes;
    i18n::phonenumbers::PhoneNumberUtil::GetInstance()->GetSupportedCallingCodes(&codes);
    for (const int c : codes) {
      if (c > 0 && c < 1000) (*table)[static_cast<size_t>(c)] = true;
    }
    return table;
  }();
  int code = 0;
  for (size_t i = 0; i < 3 && i < digits.size(); ++i) {
    code = code * 10 + (digits[i] - '0');
    if ((*known)[static_cast<size_t>(code)]) return code;
  }
  return 0;
}

}  // namespace

bool PhoneNumberVerifier::certainly_invalid(std::string_view digits) const {
  // After an international prefix, the parser reads a calling code unless
  // the next digit is 0 (no calling code starts with one); with two digits
  // or fewer left, or no calling code it knows, it gives up. A number of
  // another country is followed as that country's verifier follows one
  // written after "+": "021 555 1234" under Singapore, whose international
  // prefix "021" is, reads "+55 51234", too short for Brazil.
  if (const std::optional<size_t> idd = international_prefix_->prefix_match(digits)) {
    const std::string_view rest = digits.substr(*idd);
    if (rest.size() <= kMinNationalLength) return true;
    if (rest.front() != '0') {
      const int code = leading_calling_code(rest);
      if (code == 0) return true;
      const PhoneNumberVerifier* other = verifier_for_calling_code(code);
      return other != nullptr && other->invalid_after_calling_code(rest);
    }
  }
  // Otherwise the national significant number is the digits, or what
  // follows the region's calling code at their start, with a national
  // prefix taken off or not (after the calling code, up to twice); leading
  // zeros are kept as such. It is valid only if some region of the calling
  // code finds it valid.
  auto without_prefix = [&](std::string_view number) {
    const std::optional<size_t> prefix = national_prefix_ ? national_prefix_->prefix_match(number) : std::nullopt;
    return prefix ? number.substr(*prefix) : number;
  };
  auto may_be_valid = [&](std::string_view national) {
    if (national.size() < kMinNationalLength || national.size() > kMaxNationalLength) return false;
    return std::any_of(members_.begin(), members_.end(),
                       [&](const Member& region) { return valid_in(region.validity, national); });
  };
  if (may_be_valid(digits) || may_be_valid(without_prefix(digits))) return false;
  if (digits.starts_with(calling_code_)) {
    const std::string_view after_code = digits.substr(calling_code_.size());
    const std::string_view once = without_prefix(after_code);
    if (may_be_valid(after_code) || may_be_valid(once) || may_be_valid(without_prefix(once))) return false;
  }
  return true;
}

}  // namespace tesk_privacy::recognition
