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
//   international prefix) is called invalid only when that country's own
//   verifier calls it so.
//
//   auto verifier = PhoneNumberVerifier::for_region("ID");
//   verifier->valid_national("081234567890");   // true
//   verifier->valid_national("0212345");         // false: left to the library
//   verifier->certainly_invalid("1250000");      // true: no number of +62
//
// Immutable once built; safe to share across threads.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
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
  // for_region(), built once per process and region and shared: by every
  // phone recognizer, and by the verifiers that follow numbers of another
  // country after an international prefix.
  static std::shared_ptr<const PhoneNumberVerifier> shared(const std::string& region);

  // True when parsing the ASCII digits `digits` under this region strips a
  // national prefix and gives a valid number of the region. Always false
  // for a region without a national prefix or sharing its calling code
  // (the number's region would then need working out).
  bool valid_national(std::string_view digits) const;

  // What the matcher at leniency VALID makes of one whole candidate whose
  // digits, read in national format, are the ASCII digits `digits`: a match
  // (the number is valid and, when the region's format for it prints a
  // national prefix, the prefix is written), none (the candidate is turned
  // down), or unknown when the parse cannot be followed here (the digits
  // start with an international prefix, with the calling code of several
  // regions, with a prefix the parser may keep, or a leading zero without
  // a prefix; a region that shares its calling code and is not the code's
  // main one), unless the digits are certainly invalid. On a match,
  // `region` (when given) is set to the region the library names the
  // number's. Only the candidate itself is judged: parts of it the matcher
  // tries after turning it down are the caller's.
  enum class Verdict { kMatch, kNone, kUnknown };
  Verdict lone_candidate(std::string_view digits, std::string_view* region = nullptr) const;

  // True when the ASCII digits `digits`, read after a "+", start with this
  // region's calling code (and no shorter one) and the rest is a valid
  // number of the region that no national prefix starts. Always false for
  // a calling code shared with other regions.
  bool valid_after_calling_code(std::string_view digits) const;
  // The same for a calling code that regions share (+1, +44): the region
  // the library names the number after when it is valid, null when it is
  // not or the parse is not followed (a shorter calling code starts the
  // digits, or a national prefix the rest).
  const std::string* region_after_calling_code(std::string_view digits) const;
  // True when the ASCII digits `digits`, read after a "+", start with this
  // region's calling code (and no shorter one, and no other region has it)
  // and parse as no valid number: too short after the code, or, with no
  // national prefix starting the rest, not valid in the region.
  bool invalid_after_calling_code(std::string_view digits) const;

  // True when parsing the ASCII digits `digits` under this region gives no
  // valid number. After an international prefix at their start: too few
  // digits, no calling code the parser knows, or a number of that code
  // that its main region's verifier calls invalid (invalid_after_calling_code).
  // Otherwise: none of the national numbers the parser may end with (the
  // digits, or what follows the calling code, with a national prefix taken
  // off or not) is valid in a region with the calling code.
  bool certainly_invalid(std::string_view digits) const;

 private:
  // A pattern compiled on first use: a calling code shared by many regions
  // (+1 has two dozen) brings hundreds of patterns, most never needed.
  class LazyPattern {
   public:
    LazyPattern() = default;
    explicit LazyPattern(std::string source) : state_(std::make_unique<State>()) { state_->source = std::move(source); }
    explicit operator bool() const { return state_ != nullptr; }
    const regex::Regex* operator->() const;

   private:
    struct State {
      std::string source;
      std::once_flag compiled;
      std::unique_ptr<const regex::Regex> regex;
    };
    std::unique_ptr<State> state_;
  };
  struct Desc {
    LazyPattern pattern;  // empty: matches nothing
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

  // A national format of the region: the last of its leading-digits
  // patterns (null: none) and its pattern, compiled on first use (most runs
  // never need them), and whether it asks for the national prefix.
  struct Format {
    std::string leading_digits, pattern;
    bool prefix_required = false;
    mutable std::once_flag compiled;
    mutable std::unique_ptr<const regex::Regex> leading_digits_regex, pattern_regex;
  };
  // Whether the format the library picks for formatting `national` prints
  // the national prefix (the test of its matcher's national-prefix check).
  bool format_requires_prefix(std::string_view national) const;

  std::string calling_code_;
  std::vector<std::unique_ptr<Format>> formats_;
  std::unique_ptr<const regex::Regex> international_prefix_;
  std::unique_ptr<const regex::Regex> national_prefix_;  // null: the region has none
  Validity own_;
  // Every region of the calling code, this one included, in the order the
  // library names a number's region in.
  struct Member {
    std::string id;
    std::unique_ptr<const regex::Regex> leading_digits;  // null: none
    Validity validity;
  };
  std::vector<Member> members_;
  // The region the library names a national number of the calling code
  // after, when the number is valid there; null when it is valid nowhere.
  const std::string* region_of_valid(std::string_view national) const;
  // The national number the parser reads from `digits` written after "+"
  // when they start with this region's calling code (and no shorter code)
  // and no national prefix starts the rest; nothing otherwise.
  std::optional<std::string_view> national_after_calling_code(std::string_view digits) const;
  bool follows_valid_ = false;     // valid_national() can answer
  bool follows_lone_ = false;      // lone_candidate() can answer more than "certainly invalid"
  bool unique_code_ = false;       // no other region has the calling code, nor a shorter code its first digits
  bool shortest_code_ = false;     // no shorter calling code is the start of this one
};

}  // namespace tesk_privacy::recognition
