#include "recognition/predefined/phone_number_verifier.h"

#include <algorithm>

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

PhoneNumberVerifier::Desc PhoneNumberVerifier::make_desc(const PhoneNumberDesc& desc) {
  Desc out;
  if (desc.has_national_number_pattern() && !desc.national_number_pattern().empty()) {
    out.pattern = std::make_unique<const regex::Regex>(desc.national_number_pattern(), kAsciiFlag);
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
  bool shared = false;
  for (const PhoneMetadata& m : collection.metadata()) {
    if (m.country_code() != own->country_code()) continue;
    shared = shared || &m != own;
    v->sharing_.push_back(make_validity(m));
  }
  v->follows_valid_ = v->national_prefix_ && !shared && own->general_desc().has_national_number_pattern();
  v->unique_code_ = !shared;
  for (const PhoneMetadata& m : collection.metadata()) {
    const std::string code = std::to_string(m.country_code());
    if (code.size() < v->calling_code_.size() && v->calling_code_.starts_with(code)) v->unique_code_ = false;
  }
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

bool PhoneNumberVerifier::valid_after_calling_code(std::string_view digits) const {
  // The parser takes the shortest calling code the digits start with, then
  // a national prefix if one starts the rest; without one the rest is the
  // national number.
  if (!unique_code_ || !digits.starts_with(calling_code_)) return false;
  const std::string_view national = digits.substr(calling_code_.size());
  if (national_prefix_) {
    const std::optional<size_t> prefix = national_prefix_->prefix_match(national);
    if (prefix && *prefix > 0) return false;
  }
  if (national.size() < kMinNationalLength || national.size() > kMaxNationalLength || national.front() == '0') {
    return false;
  }
  return valid_in(own_, national);
}

bool PhoneNumberVerifier::certainly_invalid(std::string_view digits) const {
  // After an international prefix, the parser reads a calling code unless
  // the next digit is 0 (no calling code starts with one); with two digits
  // or fewer left it gives up. A number of another country is not followed.
  if (const std::optional<size_t> idd = international_prefix_->prefix_match(digits)) {
    const std::string_view rest = digits.substr(*idd);
    if (rest.size() <= kMinNationalLength) return true;
    if (rest.front() != '0') return false;
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
    return std::any_of(sharing_.begin(), sharing_.end(),
                       [&](const Validity& region) { return valid_in(region, national); });
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
