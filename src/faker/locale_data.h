// The word lists and formats of one Faker locale. Each locale lives in its own
// file under data/ and names its lists by key; formats refer to lists as
// "{key}" and to random digits as '#' (0-9), '%' (1-9) and '^' (2-9).
#pragma once

#include <span>
#include <string_view>

namespace tesk_privacy::faker::internal {

struct WordList {
  std::string_view key;
  std::span<const std::string_view> words;
};

struct WeightedFormat {
  std::string_view format;
  unsigned weight;
};

struct FormatList {
  std::string_view key;
  std::span<const WeightedFormat> formats;
};

struct LocaleData {
  std::string_view locale;
  // Country whose IBANs iban() and bban() issue.
  std::string_view iban_country;
  std::span<const WordList> word_lists;
  std::span<const FormatList> format_lists;

  // Throw std::logic_error when the locale lacks the key.
  std::span<const std::string_view> words(std::string_view key) const;
  std::span<const WeightedFormat> formats(std::string_view key) const;
};

const LocaleData& en_us_data();
const LocaleData& id_id_data();

}  // namespace tesk_privacy::faker::internal
