// PhoneRecognizer hands libphonenumber the text in pieces; these tests hold
// it to the matcher's own verdict on the whole text, and check the shortest
// digit run it still hands over.
#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "recognition/predefined/phone_number_verifier.h"
#include "recognition/predefined/phone_recognizer.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::recognition {
namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberMatch;
using i18n::phonenumbers::PhoneNumberMatcher;
using i18n::phonenumbers::PhoneNumberUtil;

// Byte spans libphonenumber finds in the whole text, over all regions.
std::set<std::pair<size_t, size_t>> whole_text_matches(const std::string& text,
                                                      const std::vector<std::string>& regions) {
  std::set<std::pair<size_t, size_t>> spans;
  for (const std::string& region : regions) {
    PhoneNumberMatcher matcher(*PhoneNumberUtil::GetInstance(), text, region, PhoneNumberMatcher::VALID,
                               std::numeric_limits<int>::max());
    PhoneNumberMatch match;
    while (matcher.HasNext() && matcher.Next(&match)) spans.emplace(match.start(), match.end());
  }
  return spans;
}

TEST(PhoneRecognizer, PiecesFindWhatTheWholeTextHas) {
  // Numbers in many notations, next to letters, punctuation, dates, times,
  // extensions and non-ASCII text, shuffled into one text.
  const std::vector<std::string> fragments = {
      "Hubungi 0812-3456-7890 segera.", "Kantor: (021) 5551234 ext. 12", "+62 21 555 1234;", "62812345678901",
      "tel:+1-650-253-0000", "Call 650 253 0000 x123", "abc0812345678901", "0812345678901def",
      "Ring 020 7946 0000!", "+44 20 7946 0000/0001", "2012-01-02 08:00:45", "31/10/2011", "No. 45, lantai 3",
      "Rp 1.500.000,00", "NIK 3171011205900001", "01.234.567.8-901.000", "+65 6123 4567", "03-2345 6789",
      "+61 2 9876 5432", "98765 43210", "Dédé: ٠٨١٢٣٤٥٦٧٨٩٠", "%0812-3456-7890", "$0812 3456 7890",
      "*1234", "0812 3456 7890, 0813 4567 8901 dan 0814-5678-9012", "(0812) 3456-7890)", "[+62] 812 3456 7890",
      "Tel.\t+62\t812\t3456\t7890", "0800 123 4567#", "0812-3456-7890,,123", "1-800-FLOWERS", "\n",
  };
  std::mt19937 rng(7);
  std::string text;
  for (int i = 0; i < 400; ++i) {
    text += fragments[rng() % fragments.size()];
    text += " \n,;-.x"[rng() % 7];
  }
  const PhoneRecognizer recognizer;
  const Utf8Text utf8(text);
  std::set<std::pair<size_t, size_t>> ours;
  for (const auto& r : recognizer.analyze(utf8, {}, nullptr)) {
    ours.emplace(utf8.cp_to_byte(static_cast<size_t>(r.start)), utf8.cp_to_byte(static_cast<size_t>(r.end)));
  }
  const auto whole = whole_text_matches(text, PhoneRecognizer::DEFAULT_REGIONS());
  EXPECT_FALSE(whole.empty());
  EXPECT_EQ(ours, whole);
}

std::set<std::pair<size_t, size_t>> recognizer_matches(const PhoneRecognizer& recognizer, const std::string& text) {
  const Utf8Text utf8(text);
  std::set<std::pair<size_t, size_t>> spans;
  for (const auto& r : recognizer.analyze(utf8, {}, nullptr)) {
    spans.emplace(utf8.cp_to_byte(static_cast<size_t>(r.start)), utf8.cp_to_byte(static_cast<size_t>(r.end)));
  }
  return spans;
}

// Lone digit runs of every length, led by every digit, by each region's
// calling code and by international prefixes, in the surroundings prose
// gives them: the regions the recognizer leaves out for such a run must be
// the ones where the matcher finds nothing.
TEST(PhoneRecognizer, SkippedRegionsAreThoseWithoutAMatch) {
  const std::vector<std::string> leads = {"2", "3", "4", "5", "6", "7", "8", "9", "0", "1", "62", "65",
                                          "60", "44", "61", "91", "00", "011", "1831", "0812", "812", "202"};
  const std::vector<std::pair<std::string, std::string>> contexts = {
      {"", ""}, {"NIK ", ". "}, {"(", ")"}, {"No. ", " ext"}, {"tel: ", ";"}, {"x ", " x"}, {"a ", "#"}, {"[", "]"},
  };
  std::mt19937 rng(11);
  size_t found = 0;
  for (const std::string& region : PhoneRecognizer::DEFAULT_REGIONS()) {
    const PhoneRecognizer recognizer("en", {region});
    for (size_t length = 4; length <= 19; ++length) {
      for (const std::string& lead : leads) {
        if (lead.size() >= length) continue;
        std::string run = lead;
        while (run.size() < length) run += static_cast<char>('0' + rng() % 10);
        const auto& [before, after] = contexts[rng() % contexts.size()];
        const std::string text = before + run + after;
        const auto whole = whole_text_matches(text, {region});
        found += whole.size();
        EXPECT_EQ(recognizer_matches(recognizer, text), whole) << region << ": " << text;
      }
    }
  }
  EXPECT_GT(found, 20u);  // the table holds valid numbers too, not only misses
}

// For each span the matcher finds in the whole text, the region of the
// number read under the first region (in the recognizer's order) that finds
// it: what the recognizer's explanation names.
std::map<std::pair<size_t, size_t>, std::string> whole_text_regions(const std::string& text,
                                                                    const std::vector<std::string>& regions) {
  std::map<std::pair<size_t, size_t>, std::string> spans;
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  for (const std::string& region : regions) {
    PhoneNumberMatcher matcher(util, text, region, PhoneNumberMatcher::VALID, std::numeric_limits<int>::max());
    PhoneNumberMatch match;
    while (matcher.HasNext() && matcher.Next(&match)) {
      std::string number_region;
      util.GetRegionCodeForNumber(match.number(), &number_region);
      spans.try_emplace({match.start(), match.end()}, number_region);
    }
  }
  return spans;
}

std::map<std::pair<size_t, size_t>, std::string> recognizer_regions(const PhoneRecognizer& recognizer,
                                                                    const std::string& text) {
  const Utf8Text utf8(text);
  std::map<std::pair<size_t, size_t>, std::string> spans;
  for (const auto& r : recognizer.analyze(utf8, {}, nullptr)) {
    const std::string& explanation = r.analysis_explanation->textual_explanation;
    const std::string prefix = "Recognized as ";
    EXPECT_EQ(explanation.rfind(prefix, 0), 0u) << explanation;
    spans.try_emplace({utf8.cp_to_byte(static_cast<size_t>(r.start)), utf8.cp_to_byte(static_cast<size_t>(r.end))},
                      explanation.substr(prefix.size(), explanation.find(' ', prefix.size()) - prefix.size()));
  }
  return spans;
}

// Random digits in the notations people write numbers in: Indonesian mobile
// and landline numbers, numbers of the other default regions, international
// forms, digit groups that are not phone numbers, dates, times, ranges and
// extensions. `#` stands for a random digit.
std::string phone_like(std::mt19937& rng) {
  static const std::vector<std::string> kShapes = {
      "08##-####-####", "08## #### ####", "08##########", "+62 8## #### ####", "+628#########", "628##########",
      "(021) ### ####", "021-#######", "(0##) ###-####", "0##-###-####", "021 ####-####", "62 21 ### ####",
      "+1 (###) ###-####", "1-###-###-####", "(###) ###-####", "###-###-####", "###.###.####", "###-####",
      "+44 20 #### ####", "020 #### ####", "07### ######", "+44 7### ######", "0044 20 #### ####",
      "+61 2 #### ####", "(02) #### ####", "04## ### ###", "0011 61 2 #### ####", "+65 #### ####", "6### ####",
      "9#######", "+60 3-#### ####", "03-#### ####", "01#-### ####", "+91 ##### #####", "0##### #####",
      "91########", "00 62 21 ### ####", "001 62 8## #### ####", "###", "####", "#####", "######", "#######",
      "########", "#########", "##########", "###########", "############", "################",
      "3171##########", "1#########", "##.###.###.#-###.###", "20##-##-## ##:##", "##/##/20##", "##:##:##",
      "##-## ##", "08##-####-#### s/d 08##-####-####", "021-#######/###", "021 ####### ext. ##",
      "0812 #### #### x###", "021-####### #####", "(021) ####-####,,##", "0##-####### ; ###", "##-###",
      "[021] ### ####", "021 / ### ####", "1-800-###-####", "0800-1-####", "+62-21-###-####",
      // International numbers with a bracketed group, a hyphen before it or not.
      "+62 (21) ### ####", "+62 (812) ####-####", "+44 (20) #### ####", "+1 (###)###-####", "+65 (####) ####",
      "+60 (3) ####-####", "+62-21 (###) ####", "+1-### (###) ####", "+62 (21)", "+(62) 21 ### ####",
      // Amounts, counts and extensions with a lone "x" between digit groups.
      "Rp #.###.### x ##", "##.### x ##", "###x###", "#.###.###,## x # x ##", "0812-####-#### x ###",
      "021 ####### x##", "## x ## x ## x ##", "08## x #### x ####", "6### #### x ##", "#### X 08##-####-####",
      "## x ####-####", "##     x ####-####", "0812-####-####;08##-####-####", "## ~ ####-####", "##,,####-####",
      "### x ##########",
      // International numbers of any digits, mostly invalid, in blank-separated groups.
      "+60 ## ### ####", "+65 ### ####", "+62 ### ### ###", "+91 #### ####", "+62 21-### ####", "+62 21 - ### ####",
      "+60 1#-### ####", "+65 #### #### ####", "+62 8##-####-####", "+61 # #### ####", "+1 ### ### ####",
      // Extensions after a plain number.
      "08##-####-#### ext. ###", "021 #### #### ext ##", "(021) ###-#### ext. ####", "08########## ext.##",
      "6### #### ext. ###", "021-####### ext. ######", "021-####### ext. #######", "0812.####.#### ext. ###",
      "08## #### #### ext. ##, ", "+62 21 ### #### ext. ###", "### ext. ###", "(0##) ####### ext ###",
      "+62 8## #### #### ext. ###", "+628########## ext ##", "+60 1#-### #### ext.#", "+65 #### #### ext. ####",
      "+1 (###) ###-#### ext. ###", "+62-21-###-#### ext. #######", "+91 ##### ##### ext. ## x",
      // Order numbers and tags after a "#".
      "#########", "#08##-####-####", "#6### ####", "##-#### #####", "pesanan #########",
      // Calling codes that regions share, with numbers of the regions besides
      // the code's main one: Canada, Guernsey, Jersey, the Isle of Man.
      "+1 604 ### ####", "+1 (416) ###-####", "+1 (204) ###-####", "+44 1481 ######", "+44 1534 ######",
      "+44 1624 ######", "+44 7781 ######", "+44 7624 ######", "+1 (604) ###-#### ext. ###",
      // The regions' calling codes without "+", with and without the national prefix.
      "62 8## #### ####", "628##########", "6208##########", "65 #### ####", "65########", "60 1#-### ####",
      "601########", "91 ##### #####", "91##########", "44 20 #### ####", "61 2 #### ####",
  };
  std::string out;
  for (char c : kShapes[rng() % kShapes.size()]) out += c == '#' ? static_cast<char>('0' + rng() % 10) : c;
  return out;
}

TEST(PhoneRecognizer, GeneratedNumbersMatchTheMatcherExactly) {
  static const std::vector<std::string> kGlue = {" ", ", ", ". ", " dan ", " atau ", "\n", "; ", " - ", "/",
                                                 " (", ") ", " tel ", " No. ", ": ", " HP ", " | ", "x", "  ",
                                                 " #", " x ", " Rp ", " order #", "#", " X "};
  std::mt19937 rng(2024);
  const PhoneRecognizer recognizer;
  size_t found = 0;
  for (int text_no = 0; text_no < 60; ++text_no) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += phone_like(rng) + kGlue[rng() % kGlue.size()];
    const auto expected = whole_text_regions(text, PhoneRecognizer::DEFAULT_REGIONS());
    found += expected.size();
    EXPECT_EQ(recognizer_regions(recognizer, text), expected) << text;
  }
  EXPECT_GT(found, 500u);
}

// Digit strings that parse as a valid number under their region, and those
// the verifier calls certainly invalid, which must never be the former.
struct InvalidityCounts {
  size_t refused = 0, valid = 0;
  void check(const PhoneNumberVerifier& verifier, const std::string& region, const std::string& digits) {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    const bool is_valid =
        util.Parse(digits, region, &number) == PhoneNumberUtil::NO_PARSING_ERROR && util.IsValidNumber(number);
    valid += is_valid;
    if (verifier.certainly_invalid(digits)) {
      ++refused;
      EXPECT_FALSE(is_valid) << region << ": " << digits;
    }
  }
};

// Regions outside the default list, among them calling codes that rewrite
// their national prefix (Argentina, Brazil) and share one (Russia and
// Kazakhstan), are filtered from the same metadata.
TEST(PhoneRecognizer, OtherRegionsMatchTheMatcherExactly) {
  const std::vector<std::string> regions = {"DE", "BR", "AR", "RU", "KZ", "JP", "NL", "FR"};
  const PhoneRecognizer recognizer("en", regions);
  static const std::vector<std::string> kShapes = {
      "030 #######", "+49 30 #######", "0### ######", "(11) 9####-####", "011 15-####-####", "8 (###) ###-##-##",
      "+7 7## ### ####", "03-####-####", "020 ### ####", "01 ## ## ## ##", "#######", "##########", "###-####",
  };
  std::mt19937 rng(5);
  size_t found = 0;
  for (int text_no = 0; text_no < 30; ++text_no) {
    std::string text;
    for (int i = 0; i < 30; ++i) {
      for (char c : kShapes[rng() % kShapes.size()]) text += c == '#' ? static_cast<char>('0' + rng() % 10) : c;
      text += ", ";
    }
    const auto expected = whole_text_regions(text, regions);
    found += expected.size();
    EXPECT_EQ(recognizer_regions(recognizer, text), expected) << text;
  }
  EXPECT_GT(found, 50u);
}

// The digits of `number` as its region writes it at home, national prefix first.
std::string national_digits(const PhoneNumber& number) {
  std::string national, digits;
  PhoneNumberUtil::GetInstance()->Format(number, PhoneNumberUtil::NATIONAL, &national);
  for (char c : national) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

// Digit strings near a region's real numbers: its example numbers of
// `types` with random digits after their first few, lengthened and
// shortened, each changed by `vary` (given the string, the trial and the
// calling code), then `per_length` random strings of each length in
// [min_length, max_length].
std::vector<std::string> digit_strings_near(const std::string& region, std::mt19937& rng,
                                            std::initializer_list<PhoneNumberUtil::PhoneNumberType> types,
                                            const std::function<void(std::string&, int, const std::string&)>& vary,
                                            size_t min_length, size_t max_length, int per_length) {
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  std::vector<std::string> strings;
  for (const auto type : types) {
    PhoneNumber example;
    if (!util.GetExampleNumberForType(region, type, &example)) continue;
    const std::string digits = national_digits(example);
    const std::string code = std::to_string(example.country_code());
    for (int trial = 0; trial < 60; ++trial) {
      std::string d = digits.substr(0, std::min<size_t>(digits.size(), 2 + rng() % 3));
      const size_t length = digits.size() + rng() % 5 - 2;
      while (d.size() < length) d += static_cast<char>('0' + rng() % 10);
      vary(d, trial, code);
      strings.push_back(d);
    }
  }
  for (size_t length = min_length; length <= max_length; ++length) {
    for (int trial = 0; trial < per_length; ++trial) {
      std::string d;
      while (d.size() < length) d += static_cast<char>('0' + rng() % 10);
      strings.push_back(d);
    }
  }
  return strings;
}

// Lone numbers in national format, the shape verified without the matcher:
// each region's example numbers with random digits after their first few,
// lengthened, shortened and hyphenated anywhere, with and without the
// national prefix, in the surroundings that keep or spoil the shape. The
// regions include ones the verifier leaves to the matcher (shared calling
// codes, no national prefix, prefix rewrites).
TEST(PhoneRecognizer, LoneNationalNumbersMatchTheMatcherExactly) {
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  std::vector<std::string> regions = PhoneRecognizer::DEFAULT_REGIONS();
  for (const char* r : {"DE", "JP", "NL", "FR", "RU", "BR", "AR", "KR", "TH", "PH", "VN"}) regions.push_back(r);
  static const std::vector<std::pair<std::string, std::string>> kContexts = {
      {"HP ", ". "}, {"", ""}, {"nomor ", ", ok"}, {"x ", " x"}, {"hp:", ""}, {"a ", "b"}, {"Rp ", "%"},
      {"(", ")"}, {"no ", "-"}, {"tel  ", "!"}, {"", "#"}, {"ke ", " dan 5"}, {"jam ", ":15"}, {"+", ""},
      {"wa +62 ", " ya"}, {"+62-", "#"}, {"pesanan #", " ok"}, {"#", ""}, {"hp ", " x 12"}, {"Rp ", " x 3 bulan"},
      {"telp ", " ext. 12"}, {"kantor ", " ext 345 ya"}, {"", " ext.9"}, {"r ", " ext. 1234567"},
  };
  std::mt19937 rng(99);
  size_t verified = 0, found = 0;
  for (const std::string& region : regions) {
    const PhoneRecognizer recognizer("en", {region});
    const auto verifier = PhoneNumberVerifier::for_region(region);
    for (const auto type : {PhoneNumberUtil::MOBILE, PhoneNumberUtil::FIXED_LINE, PhoneNumberUtil::TOLL_FREE}) {
      PhoneNumber example;
      if (!util.GetExampleNumberForType(region, type, &example)) continue;
      const std::string digits = national_digits(example);
      for (int trial = 0; trial < 60; ++trial) {
        std::string d = digits.substr(0, std::min<size_t>(digits.size(), 3 + rng() % 2));
        const size_t length = digits.size() + rng() % 3 - 1 - (trial % 7 == 0 ? 1 : 0);
        while (d.size() < length) d += static_cast<char>('0' + rng() % 10);
        if (trial % 5 == 0 && d.size() > 1) d.erase(0, 1);  // the national prefix left out
        if (verifier && verifier->valid_national(d)) ++verified;
        // Groups joined by hyphens, blanks or dots, up to four of them and
        // now and then five, which no longer joins the groups into one.
        static const std::vector<std::string> kJoins = {"-", "-", " ", ".", "  ", " - ", "....", " . . ", " -- "};
        std::string run;
        for (size_t i = 0; i < d.size(); ++i) {
          if (i > 0 && rng() % 4 == 0) run += kJoins[(trial / 3 + i) % kJoins.size()];
          run += d[i];
        }
        // The first group in brackets ("(021) 555-1234"), or the number
        // after "+" and the calling code, with or without its prefix.
        const std::string& join = kJoins[trial % kJoins.size()];
        if (trial % 6 == 1 && d.size() > 4) {
          std::string bracketed = "(";
          bracketed.append(d, 0, 3).append(")").append(join).append(run, run.find(d[3], 3));
          run = bracketed;
        }
        if (trial % 6 == 4) {
          const std::string after_code = d.size() > 1 && d[0] == '0' && trial % 12 == 4 ? d.substr(1) : d;
          const std::string code = std::to_string(example.country_code());
          if (verifier && verifier->valid_after_calling_code(code + after_code)) ++verified;
          run = std::string("+").append(trial % 4 == 0 ? "" : " ").append(code).append(join).append(after_code);
        }
        // The calling code without "+", which the parser reads as such only
        // when the digits do not fit the region otherwise.
        if (trial % 12 == 5) {
          const std::string after_code = d.size() > 1 && d[0] == '0' && trial % 24 == 5 ? d.substr(1) : d;
          run = std::to_string(example.country_code()) + (trial % 36 == 17 ? join : "") + after_code;
        }
        const auto& [before, after] = kContexts[trial % kContexts.size()];
        const std::string text = before + run + after;
        const auto expected = whole_text_regions(text, {region});
        found += expected.size();
        EXPECT_EQ(recognizer_regions(recognizer, text), expected) << region << ": " << text;
      }
    }
  }
  EXPECT_GT(verified, 100u);  // the shortcut was taken, not only the matcher
  EXPECT_GT(found, verified);
}

// A digit string the verifier calls certainly invalid must never parse as a
// valid number: each region's example numbers with random digits after
// their first few, lengthened and shortened, with and without the national
// prefix, led by the calling code or an international prefix, and digit
// strings of every length, in regions that share their calling code
// (GB with GG, JE and IM; US with CA; AU with CX), have none, or rewrite it.
TEST(PhoneRecognizer, CertainlyInvalidDigitsNeverParseAsAValidNumber) {
  std::vector<std::string> regions = PhoneRecognizer::DEFAULT_REGIONS();
  for (const char* r : {"DE", "JP", "NL", "FR", "RU", "KZ", "BR", "AR", "GG", "CA", "CX", "IT", "SM", "VA"}) {
    regions.push_back(r);
  }
  std::mt19937 rng(17);
  InvalidityCounts counts;
  for (const std::string& region : regions) {
    const auto verifier = PhoneNumberVerifier::for_region(region);
    if (!verifier) continue;
    const std::vector<std::string> strings = digit_strings_near(
        region, rng,
        {PhoneNumberUtil::MOBILE, PhoneNumberUtil::FIXED_LINE, PhoneNumberUtil::TOLL_FREE,
         PhoneNumberUtil::PREMIUM_RATE, PhoneNumberUtil::VOIP},
        [](std::string& d, int trial, const std::string& code) {
          if (trial % 4 == 1 && d.size() > 1) d.erase(0, 1);
          if (trial % 9 == 2) d = code + d;
          if (trial % 11 == 3) d = "00" + code + d;
          if (trial % 13 == 4) d = "00" + d;
          if (trial % 7 == 5) d = code + "0" + d;
        },
        1, 19, 10);
    for (const std::string& d : strings) counts.check(*verifier, region, d);
  }
  EXPECT_GT(counts.refused, 2000u);
  EXPECT_GT(counts.valid, 500u);
}

// Numbers of other countries after a region's international prefix ("021"
// under Singapore, "0011" under Australia) are read as those countries'
// numbers: each country's example numbers with random digits after their
// first two, shortened and lengthened, and now and then an unknown calling
// code in place of theirs.
TEST(PhoneRecognizer, CertainlyInvalidAfterAnInternationalPrefix) {
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  std::mt19937 rng(29);
  InvalidityCounts counts;
  for (const std::string region : {"SG", "ID", "AU", "US", "GB", "MY", "IN", "JP", "DE", "RU"}) {
    const auto verifier = PhoneNumberVerifier::for_region(region);
    if (!verifier) continue;
    std::vector<std::string> prefixes;
    for (const auto& m : phone_metadata().metadata()) {
      if (m.id() != region) continue;
      const regex::Regex idd(m.international_prefix(), 256);
      for (const char* p : {"00", "000", "001", "0011", "011", "021", "039", "009", "010", "0015", "810", "0061"}) {
        if (idd.full_match(p)) prefixes.emplace_back(p);
      }
    }
    ASSERT_FALSE(prefixes.empty()) << region;
    for (const char* other : {"BR", "ID", "US", "GB", "SG", "AU", "DE", "RU", "KZ", "JP", "IT", "AR", "NZ"}) {
      for (const auto type : {PhoneNumberUtil::MOBILE, PhoneNumberUtil::FIXED_LINE}) {
        PhoneNumber example;
        if (!util.GetExampleNumberForType(other, type, &example)) continue;
        std::string national;
        util.GetNationalSignificantNumber(example, &national);
        for (int trial = 0; trial < 40; ++trial) {
          std::string d = national;
          for (size_t i = 2; i < d.size(); ++i) {
            if (rng() % 2) d[i] = static_cast<char>('0' + rng() % 10);
          }
          if (trial % 3 == 1) d.resize(d.size() - 1 - rng() % std::min<size_t>(d.size() - 1, 5));
          if (trial % 5 == 2) d += std::to_string(rng() % 100);
          const std::string code =
              trial % 7 == 3 ? std::to_string(1 + rng() % 999) : std::to_string(example.country_code());
          const std::string digits = prefixes[static_cast<size_t>(trial) % prefixes.size()] + code + d;
          counts.check(*verifier, region, digits);
        }
      }
    }
  }
  EXPECT_GT(counts.refused, 1500u);
  EXPECT_GT(counts.valid, 3000u);
}

// The verifier's verdict on a lone candidate against the matcher's own on
// the same digits after a blank: a match must be the whole candidate under
// the region (named after it), none must find nothing. The digits are each
// region's example numbers with random digits after their first few,
// lengthened and shortened, with the national prefix, without it, or
// with the calling code before it, and random digit strings.
TEST(PhoneRecognizer, LoneCandidateVerdictIsTheMatchersOwn) {
  std::vector<std::string> regions = PhoneRecognizer::DEFAULT_REGIONS();
  for (const char* r : {"DE", "JP", "NL", "FR", "RU", "KZ", "BR", "AR", "GG", "CA", "CX", "IT", "KR", "TH", "PH"}) {
    regions.push_back(r);
  }
  std::mt19937 rng(23);
  std::map<PhoneNumberVerifier::Verdict, size_t> verdicts;
  for (const std::string& region : regions) {
    const auto verifier = PhoneNumberVerifier::for_region(region);
    if (!verifier) continue;
    const std::vector<std::string> strings = digit_strings_near(
        region, rng, {PhoneNumberUtil::MOBILE, PhoneNumberUtil::FIXED_LINE, PhoneNumberUtil::TOLL_FREE, PhoneNumberUtil::VOIP},
        [](std::string& d, int trial, const std::string& code) {
          if (trial % 3 == 1 && d.size() > 1) d.erase(0, 1);
          if (trial % 5 == 2) d = code + (d.size() > 1 && d[0] == '0' && trial % 2 == 0 ? d.substr(1) : d);
        },
        4, 17, 5);
    for (const std::string& d : strings) {
      std::string_view named;
      const auto verdict = verifier->lone_candidate(d, &named);
      ++verdicts[verdict];
      if (verdict == PhoneNumberVerifier::Verdict::kUnknown) continue;
      const std::string text = "tel " + d + " ok";
      std::map<std::pair<size_t, size_t>, std::string> ours;
      if (verdict == PhoneNumberVerifier::Verdict::kMatch) ours[{4, 4 + d.size()}] = std::string(named);
      EXPECT_EQ(ours, whole_text_regions(text, {region})) << region << ": " << d;
    }
  }
  EXPECT_GT(verdicts[PhoneNumberVerifier::Verdict::kMatch], 300u);
  EXPECT_GT(verdicts[PhoneNumberVerifier::Verdict::kNone], 1000u);
}

TEST(PhoneRecognizer, NoValidNumberShorterThanFourDigitsInTheDefaultRegions) {
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  int checked = 0;
  for (int length = 1; length <= 3; ++length) {
    int limit = 1;
    for (int i = 0; i < length; ++i) limit *= 10;
    for (int value = 0; value < limit; ++value) {
      std::string digits = std::to_string(value);
      digits.insert(0, static_cast<size_t>(length) - digits.size(), '0');
      PhoneNumber number;
      for (const std::string& region : PhoneRecognizer::DEFAULT_REGIONS()) {
        if (util.Parse(digits, region, &number) == PhoneNumberUtil::NO_PARSING_ERROR) {
          EXPECT_FALSE(util.IsValidNumber(number)) << digits << " in " << region;
        }
      }
      if (util.Parse("+" + digits, "ZZ", &number) == PhoneNumberUtil::NO_PARSING_ERROR) {
        EXPECT_FALSE(util.IsValidNumber(number)) << "+" << digits;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 1110);
}

}  // namespace
}  // namespace tesk_privacy::recognition
