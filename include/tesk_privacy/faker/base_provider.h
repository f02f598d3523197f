// BaseProvider: base class of the fake-value providers that extend a Faker
// with methods of their own. A provider is constructed by
// Faker::add_provider<P>() bound to that generator, which it reaches through
// generator() (for its names, words and seeded draws).
//
// A provider lists in methods() the string-returning methods it offers by
// name; the Faker makes them callable through Faker::call(name), which is how
// a language binding exposes, say, `faker.custom_company()`.
//
//   class MottoProvider : public faker::BaseProvider {
//    public:
//     using BaseProvider::BaseProvider;
//     std::string motto() { return generator().company() + " cares"; }
//     std::vector<faker::NamedMethod> methods() override {
//       return {{"motto", [this] { return motto(); }}};
//     }
//   };
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tesk_privacy::faker {

class Faker;

// A string-returning method without arguments, under its public name.
using NamedMethod = std::pair<std::string, std::function<std::string()>>;

class BaseProvider {
 public:
  explicit BaseProvider(Faker& generator) : generator_(generator) {}
  virtual ~BaseProvider() = default;
  BaseProvider(const BaseProvider&) = delete;
  BaseProvider& operator=(const BaseProvider&) = delete;

  Faker& generator() const { return generator_; }

  // The methods reachable through Faker::call; none by default.
  virtual std::vector<NamedMethod> methods() { return {}; }

 private:
  Faker& generator_;
};

}  // namespace tesk_privacy::faker
