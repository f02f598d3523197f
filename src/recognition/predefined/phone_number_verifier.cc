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

std::unique_ptr<const PhoneNumberVerifier> PhoneNumberVerifier::for_region(const std::string& region) {
  const PhoneMetadataCollection& collection = phone_metadata();
  const PhoneMetadata* own = nullptr;
  for (const PhoneMetadata& m : collection.metadata()) {
    if (m.id() == region) own = &m;
  }
  if (own == nullptr || own->national_prefix_for_parsing().empty() || !own->national_prefix_transform_rule().empty() ||
      own->international_prefix().empty() || !own->general_desc().has_national_number_pattern()) {
    return nullptr;
  }
  for (const PhoneMetadata& m : collection.metadata()) {
    if (&m != own && m.country_code() == own->country_code()) return nullptr;
  }
  std::unique_ptr<PhoneNumberVerifier> v(new PhoneNumberVerifier());
  v->calling_code_ = std::to_string(own->country_code());
  v->international_prefix_ = std::make_unique<const regex::Regex>(own->international_prefix(), kAsciiFlag);
  v->national_prefix_ = std::make_unique<const regex::Regex>(own->national_prefix_for_parsing(), kAsciiFlag);
  v->general_ = make_desc(own->general_desc());
  for (const PhoneNumberDesc* desc : {&own->premium_rate(), &own->toll_free(), &own->shared_cost(), &own->voip(),
                                      &own->personal_number(), &own->pager(), &own->uan(), &own->voicemail(),
                                      &own->fixed_line(), &own->mobile()}) {
    v->types_.push_back(make_desc(*desc));
  }
  v->same_mobile_and_fixed_line_ = own->same_mobile_and_fixed_line_pattern();
  return v;
}

bool PhoneNumberVerifier::valid_national(std::string_view digits) const {
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
  if (!general_.pattern || !general_.pattern->full_match(national)) return false;
  const auto& lengths = general_.possible_lengths;
  const int length = static_cast<int>(national.size());
  if (lengths.empty() || lengths.front() == -1 || std::find(lengths.begin(), lengths.end(), length) == lengths.end() ||
      std::find(general_.local_only_lengths.begin(), general_.local_only_lengths.end(), length) !=
          general_.local_only_lengths.end()) {
    return false;
  }
  // A leading zero would be kept as a separate flag of the number.
  if (national.size() < kMinNationalLength || national.size() > kMaxNationalLength || national.front() == '0') {
    return false;
  }
  // Validity: the general description (its pattern and lengths held above),
  // then one number type; fixed-line numbers count, and mobile ones unless
  // the region uses one pattern for both.
  const size_t fixed_line = types_.size() - 2;
  for (size_t t = 0; t < fixed_line; ++t) {
    if (matches(types_[t], national)) return true;
  }
  if (matches(types_[fixed_line], national)) return true;
  return !same_mobile_and_fixed_line_ && matches(types_[fixed_line + 1], national);
}

}  // namespace tesk_privacy::recognition
