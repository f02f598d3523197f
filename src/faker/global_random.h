// GlobalRandom: the process-wide random source for fake values that need not
// follow a Faker's seed (the legal-form prefix of a fake company, the fields
// of a fake KTP number).
//
//   int64_t day = faker::global_random().randint(1, 31);
//
// One std::mt19937_64, seeded once from std::random_device on first use and
// never re-seeded: the library offers no way to seed it, so its draws are
// unpredictable in every run. Each draw locks a mutex, so any number of
// threads may draw at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace tesk_privacy::faker {

class GlobalRandom {
 public:
  GlobalRandom(const GlobalRandom&) = delete;
  GlobalRandom& operator=(const GlobalRandom&) = delete;

  // Uniform over [min, max]; throws std::invalid_argument when min > max.
  int64_t randint(int64_t min, int64_t max);

  // One element, uniformly; throws std::invalid_argument when empty.
  template <class T>
  const T& choice(const std::vector<T>& elements) {
    if (elements.empty()) throw std::invalid_argument("Cannot choose from an empty sequence");
    return elements[static_cast<std::size_t>(randint(0, static_cast<int64_t>(elements.size()) - 1))];
  }

 private:
  GlobalRandom();
  friend GlobalRandom& global_random();

  std::mutex mutex_;
  std::mt19937_64 engine_;
};

// The one process-wide instance.
GlobalRandom& global_random();

}  // namespace tesk_privacy::faker
