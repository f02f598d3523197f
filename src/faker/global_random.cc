#include "faker/global_random.h"

#include <string>

#include "faker/uniform.h"

namespace tesk_privacy::faker {

GlobalRandom::GlobalRandom() {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
  engine_.seed(seed);
}

int64_t GlobalRandom::randint(int64_t min, int64_t max) {
  if (min > max) {
    throw std::invalid_argument("Empty range for randint(" + std::to_string(min) + ", " +
                                std::to_string(max) + ")");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return internal::uniform_int(engine_, min, max);
}

GlobalRandom& global_random() {
  static GlobalRandom instance;
  return instance;
}

}  // namespace tesk_privacy::faker
