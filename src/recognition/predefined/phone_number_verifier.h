// PhoneNumberVerifier: decides, from libphonenumber's own metadata and with
// JIT-compiled patterns, how the library's parser reads a string of ASCII
// digits under one region, where it can follow every step of the parser:
// - valid_national(): the digits, written in national format (national
//   prefix first), are a valid number of the region with the prefix present:
//   the checks its matcher makes at the VALID leniency. It never claims a
//   number the library would not read as valid, and leaves every other
//   string (international prefixes, a leading calling code, a prefix the
//   parser would keep, lengths it rejects) to the library.
// - certainly_invalid(): whatever the parser does with the national prefix,
//   the number it reads is valid in no region of the calling code, so the
//   matcher cannot accept it. A number of another country (after an
//   international prefix) is never called invalid.
//
//   auto verifier = PhoneNumberVerifier::for_region("ID");
//   verifier->valid_national("081234567890");   // true
//   verifier->valid_national("0212345");         // false: left to the library
//   verifier->certainly_invalid("1250000");      // true: no number of +62
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
  // Null when the region's parsing cannot be followed here: no
  // international prefix, or a national prefix rewrite rule.
  static std::unique_ptr<const PhoneNumberVerifier> for_region(const std::string& region);

  // True when parsing the ASCII digits `digits` under this region strips a
  // national prefix and gives a valid number of the region. Always false
  // for a region without a national prefix or sharing its calling code
  // (the number's region would then need working out).
  bool valid_national(std::string_view digits) const;

  // True when the ASCII digits `digits`, read after a "+", start with this
  // region's calling code (and no shorter one) and the rest is a valid
  // number of the region that no national prefix starts. Always false for
  // a calling code shared with other regions.
  bool valid_after_calling_code(std::string_view digits) const;

  // True when parsing the ASCII digits `digits` under this region gives no
  // valid number: no calling code follows an international prefix at their
  // start, and none of the national numbers the parser may end with (the
  // digits, or what follows the calling code, with a national prefix taken
  // off or not) is valid in a region with the calling code.
  bool certainly_invalid(std::string_view digits) const;

 private:
  struct Desc {
    std::unique_ptr<const regex::Regex> pattern;  // null: matches nothing
    std::vector<int> possible_lengths;            // empty: any length
    std::vector<int> local_only_lengths;
  };
  static Desc make_desc(const i18n::phonenumbers::PhoneNumberDesc& desc);
  static bool matches(const Desc& desc, std::string_view national_number);

  // The descriptions that make a national number valid in one region.
  struct Validity {
    Desc general;
    std::vector<Desc> types;  // in the order the library tries them, fixed line then mobile last
    bool same_mobile_and_fixed_line = false;
  };
  static Validity make_validity(const i18n::phonenumbers::PhoneMetadata& metadata);
  static bool valid_in(const Validity& region, std::string_view national_number);

  std::string calling_code_;
  std::unique_ptr<const regex::Regex> international_prefix_;
  std::unique_ptr<const regex::Regex> national_prefix_;  // null: the region has none
  Validity own_;
  std::vector<Validity> sharing_;  // every region of the calling code, this one included
  bool follows_valid_ = false;     // valid_national() can answer
  bool unique_code_ = false;       // no other region has the calling code, nor a shorter code its first digits
};

}  // namespace tesk_privacy::recognition
