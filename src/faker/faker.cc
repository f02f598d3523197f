#include "tesk_privacy/faker/faker.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "faker/locale_data.h"
#include "faker/uniform.h"

namespace tesk_privacy::faker {
namespace internal {

std::span<const std::string_view> LocaleData::words(std::string_view key) const {
  for (const WordList& list : word_lists) {
    if (list.key == key) return list.words;
  }
  throw std::logic_error("Locale " + std::string(locale) + " has no word list '" +
                         std::string(key) + "'");
}

std::span<const WeightedFormat> LocaleData::formats(std::string_view key) const {
  for (const FormatList& list : format_lists) {
    if (list.key == key) return list.formats;
  }
  throw std::logic_error("Locale " + std::string(locale) + " has no format list '" +
                         std::string(key) + "'");
}

}  // namespace internal

namespace {

using internal::uniform_below;

struct LocaleEntry {
  const char* name;
  const internal::LocaleData& (*data)();
};

constexpr std::array<LocaleEntry, 2> kLocales = {{
    {"en_US", &internal::en_us_data},
    {"id_ID", &internal::id_id_data},
}};

// British sort-code banks (the four-letter bank code of a GB BBAN).
constexpr std::string_view kGbBankCodes[] = {
    "NWBK", "BARC", "LOYD", "HBUK", "MIDL", "NAIA", "RBOS", "BOFS",
    "HLFX", "TSBS", "CPBK", "ABBY", "MONZ", "SRLG", "CITI", "SCBL",
};
// Digits after the bank code in a GB BBAN: 6 of sort code, 8 of account.
constexpr int kGbBbanDigits = 14;

// Issuer prefix ranges (both ends inclusive, equal length) and card length.
struct PrefixRange {
  uint32_t low;
  uint32_t high;
  int digits;
};
struct CardScheme {
  std::array<PrefixRange, 3> ranges;
  int range_count;
  int length;
};
constexpr std::array<CardScheme, 6> kCardSchemes = {{
    {{{{4, 4, 1}}}, 1, 16},                                    // Visa
    {{{{51, 55, 2}, {2221, 2720, 4}}}, 2, 16},                 // Mastercard
    {{{{34, 34, 2}, {37, 37, 2}}}, 2, 15},                     // American Express
    {{{{6011, 6011, 4}, {644, 649, 3}, {65, 65, 2}}}, 3, 16},  // Discover
    {{{{3528, 3589, 4}}}, 1, 16},                              // JCB
    {{{{300, 305, 3}, {36, 36, 2}, {38, 39, 2}}}, 3, 14},      // Diners Club
}};

// IPv4 blocks that are not public unicast space (RFC 6890 and the multicast
// and reserved blocks), as (network, prefix length).
struct Ipv4Block {
  uint32_t network;
  int prefix;
};
constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}
constexpr std::array<Ipv4Block, 18> kNonPublicBlocks = {{
    {ip(0, 0, 0, 0), 8},        // "this" network
    {ip(10, 0, 0, 0), 8},       // private
    {ip(100, 64, 0, 0), 10},    // shared address space (CGNAT)
    {ip(127, 0, 0, 0), 8},      // loopback
    {ip(169, 254, 0, 0), 16},   // link-local
    {ip(172, 16, 0, 0), 12},    // private
    {ip(192, 0, 0, 0), 24},     // IETF protocol assignments
    {ip(192, 0, 2, 0), 24},     // documentation TEST-NET-1
    {ip(192, 31, 196, 0), 24},  // AS112
    {ip(192, 52, 193, 0), 24},  // AMT
    {ip(192, 88, 99, 0), 24},   // 6to4 relay anycast
    {ip(192, 168, 0, 0), 16},   // private
    {ip(192, 175, 48, 0), 24},  // AS112 direct delegation
    {ip(198, 18, 0, 0), 15},    // benchmarking
    {ip(198, 51, 100, 0), 24},  // documentation TEST-NET-2
    {ip(203, 0, 113, 0), 24},   // documentation TEST-NET-3
    {ip(224, 0, 0, 0), 4},      // multicast
    {ip(240, 0, 0, 0), 4},      // reserved, and the broadcast address
}};

bool is_public(uint32_t address) {
  for (const Ipv4Block& block : kNonPublicBlocks) {
    const uint32_t mask = ~uint32_t{0} << (32 - block.prefix);
    if ((address & mask) == block.network) return false;
  }
  return true;
}

constexpr std::string_view kAsciiLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

constexpr std::array<uint64_t, 20> kPowersOfTen = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// Lower-case ASCII letters and digits of `word`; the rest (apostrophes,
// blanks, hyphens) is dropped so the result fits an e-mail user or host name.
std::string slug(std::string_view word) {
  std::string out;
  for (char c : word) {
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c - 'A' + 'a');
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      out += c;
    }
  }
  return out;
}

// ISO 13616 check digits: 98 minus the remainder modulo 97 of BBAN, country
// code and "00", letters counted as 10 to 35.
std::string iban_check_digits(std::string_view country, std::string_view bban) {
  unsigned remainder = 0;
  auto add = [&remainder](char c) {
    if (c >= '0' && c <= '9') {
      remainder = (remainder * 10 + static_cast<unsigned>(c - '0')) % 97;
    } else {
      remainder = (remainder * 100 + static_cast<unsigned>(c - 'A' + 10)) % 97;
    }
  };
  for (char c : bban) add(c);
  for (char c : country) add(c);
  add('0');
  add('0');
  const unsigned check = 98 - remainder;
  return {static_cast<char>('0' + check / 10), static_cast<char>('0' + check % 10)};
}

// The Luhn digit that completes `payload`.
char luhn_check_digit(std::string_view payload) {
  unsigned sum = 0;
  bool doubled = true;  // the rightmost payload digit is doubled
  for (auto it = payload.rbegin(); it != payload.rend(); ++it) {
    unsigned digit = static_cast<unsigned>(*it - '0');
    if (doubled) {
      digit *= 2;
      if (digit > 9) digit -= 9;
    }
    sum += digit;
    doubled = !doubled;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace

Faker::Faker(const std::string& locale) : locale_(locale), data_(nullptr) {
  for (const LocaleEntry& entry : kLocales) {
    if (locale == entry.name) data_ = &entry.data();
  }
  if (data_ == nullptr) {
    std::string supported;
    for (const LocaleEntry& entry : kLocales) {
      supported += supported.empty() ? "" : ", ";
      supported += entry.name;
    }
    throw std::invalid_argument("Unsupported Faker locale '" + locale +
                                "'; supported locales: " + supported);
  }
  seed_instance(std::nullopt);
  methods_ = {
      {"name", [this] { return name(); }},
      {"first_name", [this] { return first_name(); }},
      {"last_name", [this] { return last_name(); }},
      {"city", [this] { return city(); }},
      {"street_address", [this] { return street_address(); }},
      {"company", [this] { return company(); }},
      {"email", [this] { return email(); }},
      {"phone_number", [this] { return phone_number(); }},
      {"url", [this] { return url(); }},
      {"ipv4_public", [this] { return ipv4_public(); }},
      {"iban", [this] { return iban(); }},
      {"bban", [this] { return bban(); }},
      {"credit_card_number", [this] { return credit_card_number(); }},
      {"ssn", [this] { return ssn(); }},
      {"date", [this] { return date(); }},
  };
}

Faker::~Faker() = default;

const std::vector<std::string>& Faker::supported_locales() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const LocaleEntry& entry : kLocales) out.emplace_back(entry.name);
    return out;
  }();
  return names;
}

void Faker::seed_instance(std::optional<uint64_t> seed) {
  if (seed) {
    engine_.seed(*seed);
    return;
  }
  std::random_device device;
  std::seed_seq sequence{device(), device(), device(), device(), device(), device(), device(), device()};
  engine_.seed(sequence);
}

std::size_t Faker::random_index(std::size_t size) {
  if (size == 0) throw std::invalid_argument("Cannot choose from an empty sequence");
  return static_cast<std::size_t>(uniform_below(engine_, size));
}

std::string Faker::random_word(std::string_view list_key) {
  const auto words = data_->words(list_key);
  return std::string(words[random_index(words.size())]);
}

std::string Faker::expand(std::string_view format_key) {
  const auto formats = data_->formats(format_key);
  unsigned total = 0;
  for (const auto& f : formats) total += f.weight;
  uint64_t pick = uniform_below(engine_, total);
  std::string_view format = formats.back().format;
  for (const auto& f : formats) {
    if (pick < f.weight) {
      format = f.format;
      break;
    }
    pick -= f.weight;
  }

  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '{') {
      const std::size_t close = format.find('}', i);
      out += random_word(format.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '#') {
      out += static_cast<char>('0' + uniform_below(engine_, 10));
    } else if (c == '%') {
      out += static_cast<char>('1' + uniform_below(engine_, 9));
    } else if (c == '^') {
      out += static_cast<char>('2' + uniform_below(engine_, 8));
    } else {
      out += c;
    }
  }
  return out;
}

std::string Faker::name() { return expand("name"); }
std::string Faker::first_name() { return expand("first_name"); }
std::string Faker::last_name() { return random_word("last_name"); }
std::string Faker::city() { return random_word("city"); }
std::string Faker::street_address() { return expand("street_address"); }
std::string Faker::company() { return expand("company"); }
std::string Faker::phone_number() { return expand("phone_number"); }

std::string Faker::user_name() {
  const std::string first = slug(first_name());
  const std::string last = slug(last_name());
  const std::string number = std::to_string(uniform_below(engine_, 100));
  switch (uniform_below(engine_, 7)) {
    case 0: return first + "." + last;
    case 1: return first + last;
    case 2: return first + "_" + last;
    case 3: return first + number;
    case 4: return first.substr(0, 1) + last;
    case 5: return last + "." + first;
    default: return last + number;
  }
}

std::string Faker::domain_name() {
  const std::string word = slug(random_word(uniform_below(engine_, 2) == 0 ? "last_name" : "company_word"));
  return word + "." + random_word("tld");
}

std::string Faker::email() {
  const std::string user = user_name();
  const bool free_mail = uniform_below(engine_, 10) < 6;
  return user + "@" + (free_mail ? random_word("free_email_domain") : domain_name());
}

std::string Faker::url() {
  std::string out = uniform_below(engine_, 2) == 0 ? "http://" : "https://";
  if (uniform_below(engine_, 2) == 0) out += "www.";
  return out + domain_name() + "/";
}

std::string Faker::ipv4_public() {
  uint32_t address;
  do {
    address = static_cast<uint32_t>(uniform_below(engine_, uint64_t{1} << 32));
  } while (!is_public(address));
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string Faker::bban() {
  if (data_->iban_country != "GB") {
    throw std::logic_error("No BBAN format for country " + std::string(data_->iban_country));
  }
  std::string out(kGbBankCodes[random_index(std::size(kGbBankCodes))]);
  for (int i = 0; i < kGbBbanDigits; ++i) out += static_cast<char>('0' + uniform_below(engine_, 10));
  return out;
}

std::string Faker::iban() {
  const std::string account = bban();
  return std::string(data_->iban_country) + iban_check_digits(data_->iban_country, account) + account;
}

std::string Faker::credit_card_number() {
  const CardScheme& scheme = kCardSchemes[random_index(kCardSchemes.size())];
  const PrefixRange& range = scheme.ranges[random_index(static_cast<std::size_t>(scheme.range_count))];
  const uint64_t prefix = range.low + uniform_below(engine_, range.high - range.low + 1);
  std::string number = std::to_string(prefix);
  while (static_cast<int>(number.size()) < scheme.length - 1) {
    number += static_cast<char>('0' + uniform_below(engine_, 10));
  }
  number += luhn_check_digit(number);
  return number;
}

std::string Faker::ssn() {
  // Area 001-899 without 666, group 01-99, serial 0001-9999.
  uint64_t area = 1 + uniform_below(engine_, 898);
  if (area >= 666) ++area;
  const uint64_t group = 1 + uniform_below(engine_, 99);
  const uint64_t serial = 1 + uniform_below(engine_, 9999);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%03u-%02u-%04u", static_cast<unsigned>(area),
                static_cast<unsigned>(group), static_cast<unsigned>(serial));
  return buffer;
}

std::string Faker::date() {
  using namespace std::chrono;
  // A fixed window, so that a seed gives the same dates on every day it runs.
  constexpr sys_days first{year{1970} / January / 1};
  constexpr sys_days last{year{2025} / December / 31};
  const auto span = static_cast<uint64_t>((last - first).count()) + 1;
  const year_month_day day{first + days{static_cast<int64_t>(uniform_below(engine_, span))}};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(day.year()),
                static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
  return buffer;
}

uint64_t Faker::random_number(int digits, bool fix_len) {
  if (digits < 0 || digits > 19) {
    throw std::invalid_argument("random_number: digits must be between 0 and 19, got " +
                                std::to_string(digits));
  }
  if (fix_len && digits == 0) {
    throw std::invalid_argument("random_number: a number of fixed length needs at least 1 digit");
  }
  const uint64_t low = fix_len ? kPowersOfTen[digits - 1] : 0;
  const uint64_t high = kPowersOfTen[digits] - 1;
  return low + uniform_below(engine_, high - low + 1);
}

std::string Faker::bothify(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '#') {
      c = static_cast<char>('0' + uniform_below(engine_, 10));
    } else if (c == '?') {
      c = kAsciiLetters[uniform_below(engine_, kAsciiLetters.size())];
    }
  }
  return out;
}

int64_t Faker::random_int(int64_t min, int64_t max) {
  if (min > max) {
    throw std::invalid_argument("random_int: empty range [" + std::to_string(min) + ", " +
                                std::to_string(max) + "]");
  }
  return internal::uniform_int(engine_, min, max);
}

std::string Faker::call(const std::string& method) {
  auto it = methods_.find(method);
  if (it == methods_.end()) {
    throw std::invalid_argument("Faker has no method '" + method + "'");
  }
  return it->second();
}

bool Faker::has_method(const std::string& method) const { return methods_.count(method) != 0; }

std::vector<std::string> Faker::method_names() const {
  std::vector<std::string> names;
  for (const auto& [name, method] : methods_) names.push_back(name);
  return names;
}

BaseProvider* Faker::find_provider(std::type_index type) const {
  auto it = provider_index_.find(type);
  return it == provider_index_.end() ? nullptr : it->second;
}

void Faker::keep_provider(std::type_index type, std::unique_ptr<BaseProvider> provider) {
  std::vector<NamedMethod> offered = provider->methods();
  for (std::size_t i = 0; i < offered.size(); ++i) {
    const std::string& name = offered[i].first;
    bool taken = methods_.count(name) != 0;
    for (std::size_t j = 0; j < i; ++j) taken = taken || offered[j].first == name;
    if (taken) throw std::invalid_argument("Faker already has a method named '" + name + "'");
  }
  for (auto& [name, method] : offered) methods_.emplace(name, std::move(method));
  provider_index_.emplace(type, provider.get());
  providers_.push_back(std::move(provider));
}

}  // namespace tesk_privacy::faker
