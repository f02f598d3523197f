// PhoneNumberVerifier: decides, from libphonenumber's own metadata and with
// JIT-compiled patterns, whether the library's parser reads a digit string
// written in national format (national prefix first) as a valid number of
// one region with the prefix present: the checks its matcher makes at the
// VALID leniency. It answers only when it can follow every step of the
// parser; it never claims a number the library would not read as valid, and
// leaves every other string (international prefixes, a leading calling code,
// a prefix the parser would keep, lengths it rejects) to the library.
//
//   auto verifier = PhoneNumberVerifier::for_region("ID");
//   verifier->valid_national("081234567890");   // true
//   verifier->valid_national("0212345");         // false: left to the library
//
// Immutable once built; safe to share across threads.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <phonenumbers/phonemetadata.pb.h>

#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::recognition {

// libphonenumber's compiled-in metadata, parsed once; empty when it cannot
// be read.
const i18n::phonenumbers::PhoneMetadataCollection& phone_metadata();

class PhoneNumberVerifier {
 public:
  // Null when the region's parsing cannot be followed here: no national
  // prefix, a prefix rewrite rule, or a calling code shared with other
  // regions (the number's region would then need working out).
  static std::unique_ptr<const PhoneNumberVerifier> for_region(const std::string& region);

  // True when parsing the ASCII digits `digits` under this region strips a
  // national prefix and gives a valid number of the region.
  bool valid_national(std::string_view digits) const;

 private:
  struct Desc {
    std::unique_ptr<const regex::Regex> pattern;  // null: matches nothing
    std::vector<int> possible_lengths;            // empty: any length
    std::vector<int> local_only_lengths;
  };
  static Desc make_desc(const i18n::phonenumbers::PhoneNumberDesc& desc);
  static bool matches(const Desc& desc, std::string_view national_number);

  std::string calling_code_;
  std::unique_ptr<const regex::Regex> international_prefix_;
  std::unique_ptr<const regex::Regex> national_prefix_;
  Desc general_;
  std::vector<Desc> types_;  // in the order the library tries them, fixed line then mobile last
  bool same_mobile_and_fixed_line_ = false;
};

}  // namespace tesk_privacy::recognition
