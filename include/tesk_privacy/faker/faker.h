// Faker: a seeded generator of realistic fake values (names, e-mail
// addresses, phone numbers, cities, IBANs, card numbers, public IPv4
// addresses, dates, social-security numbers, company names, ...) for the
// locales "en_US" (default) and "id_ID".
//
//   faker::Faker fake("id_ID");
//   fake.seed_instance(42);
//   std::string who = fake.name();                  // e.g. "Dewi Lestari"
//   std::string card = fake.credit_card_number();   // Luhn-valid
//   std::string id = fake.bothify("??-####");       // e.g. "qK-0381"
//
// Every draw comes from the instance's own std::mt19937_64 and is mapped to a
// range without the standard distributions (whose output differs between
// standard libraries), so one seed and the same sequence of calls give the
// same values on every platform. Values for a seed are stable within one
// version of this library; a new version may change word lists or formats.
// A Faker that was never seeded, or seeded with std::nullopt, draws from a
// seed taken from std::random_device.
//
// Validity where it exists: IBANs carry correct ISO 13616 check digits,
// card numbers the Luhn digit and a real issuer prefix and length,
// ipv4_public() avoids every private, shared, loopback, link-local,
// documentation, benchmark, multicast and reserved range, date() is a real
// calendar day, ssn() follows the issuing rules of US numbers. Neither
// Indonesia nor the United States uses IBANs; both locales issue British
// ones ("GB", with a British BBAN) from iban() and bban().
//
// Providers (see base_provider.h) add methods: add_provider<P>() constructs P
// bound to this Faker and keeps it; provider<P>() returns it; call(name) runs
// any built-in or provider method that takes no argument and returns a
// string, by name.
//
// A Faker holds mutable random state: one instance is not to be used from two
// threads at once. It is neither copyable nor movable, since its providers
// refer to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "tesk_privacy/faker/base_provider.h"

namespace tesk_privacy::faker {

namespace internal {
struct LocaleData;
}

class Faker {
 public:
  // Throws std::invalid_argument naming the supported locales when `locale`
  // is not one of them.
  explicit Faker(const std::string& locale = "en_US");
  ~Faker();
  Faker(const Faker&) = delete;
  Faker& operator=(const Faker&) = delete;

  static const std::vector<std::string>& supported_locales();
  const std::string& locale() const { return locale_; }

  // Restarts the random sequence from `seed`; std::nullopt gives an
  // unpredictable sequence.
  void seed_instance(std::optional<uint64_t> seed);

  // People and places.
  std::string name();
  std::string first_name();
  std::string last_name();
  std::string city();
  std::string street_address();
  std::string company();

  // Contact details.
  std::string email();
  std::string phone_number();
  std::string url();
  std::string ipv4_public();

  // Numbers and codes.
  std::string iban();
  std::string bban();
  std::string credit_card_number();
  std::string ssn();
  std::string date();  // "YYYY-MM-DD", 1970-01-01 to 2025-12-31

  // An integer of at most `digits` decimal digits, or of exactly `digits`
  // digits (the first not 0) when `fix_len` is true. Throws
  // std::invalid_argument when digits is negative or above 19, or when
  // fix_len is true and digits is 0.
  uint64_t random_number(int digits, bool fix_len = false);
  // `text` with each '#' replaced by a decimal digit and each '?' by an
  // ASCII letter of either case; other characters stay.
  std::string bothify(std::string_view text);
  // Uniform over [min, max]; throws std::invalid_argument when min > max.
  int64_t random_int(int64_t min = 0, int64_t max = 9999);

  // One element; throws std::invalid_argument when `elements` is empty.
  template <class T>
  const T& random_element(const std::vector<T>& elements) {
    return elements[random_index(elements.size())];
  }
  // `length` independent draws, with repetition. Throws
  // std::invalid_argument when `elements` is empty and length > 0.
  template <class T>
  std::vector<T> random_choices(const std::vector<T>& elements, std::size_t length) {
    std::vector<T> chosen;
    chosen.reserve(length);
    for (std::size_t i = 0; i < length; ++i) chosen.push_back(random_element(elements));
    return chosen;
  }

  // Constructs provider P bound to this Faker, keeps it and makes its
  // methods() callable by name. Adding a provider type twice returns the one
  // already kept. Throws std::invalid_argument, leaving the Faker unchanged,
  // when one of P's method names is already taken.
  template <class P>
  P& add_provider() {
    static_assert(std::is_base_of_v<BaseProvider, P>, "providers derive from BaseProvider");
    if (BaseProvider* existing = find_provider(typeid(P))) return static_cast<P&>(*existing);
    auto owned = std::make_unique<P>(*this);
    P& provider = *owned;
    keep_provider(typeid(P), std::move(owned));
    return provider;
  }

  // The kept provider of type P; throws std::invalid_argument when none was
  // added.
  template <class P>
  P& provider() {
    if (BaseProvider* existing = find_provider(typeid(P))) return static_cast<P&>(*existing);
    throw std::invalid_argument(std::string("Faker has no provider of type ") + typeid(P).name());
  }

  // Runs the method of that name (built-in or from a provider). Throws
  // std::invalid_argument for an unknown name.
  std::string call(const std::string& method);
  bool has_method(const std::string& method) const;
  std::vector<std::string> method_names() const;

 private:
  std::size_t random_index(std::size_t size);
  std::string random_word(std::string_view list_key);
  std::string expand(std::string_view format_key);
  std::string domain_name();
  std::string user_name();

  BaseProvider* find_provider(std::type_index type) const;
  void keep_provider(std::type_index type, std::unique_ptr<BaseProvider> provider);

  std::string locale_;
  const internal::LocaleData* data_;
  std::mt19937_64 engine_;
  std::map<std::string, std::function<std::string()>> methods_;
  std::vector<std::unique_ptr<BaseProvider>> providers_;
  std::map<std::type_index, BaseProvider*> provider_index_;
};

}  // namespace tesk_privacy::faker
