#include "pii_detector/store/faker_provider/faker_ktp_provider.h"

#include <cstdio>

#include "faker/global_random.h"
#include "tesk_privacy/faker/faker.h"

namespace tesk_privacy::pii_detector {

std::string KTPProvider::ktp(const std::string& gender) {
  auto randint = [this](int64_t min, int64_t max) {
    return follow_seed_ ? generator().random_int(min, max) : faker::global_random().randint(min, max);
  };
  const int64_t region = randint(100000, 999999);
  const int64_t day = gender == "male" ? randint(1, 31) : randint(41, 71);
  const int64_t month = randint(1, 12);
  const int64_t year = randint(0, 99);
  const int64_t sequence = randint(1, 9999);
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%06lld%02lld%02lld%02lld%04lld", static_cast<long long>(region),
                static_cast<long long>(day), static_cast<long long>(month),
                static_cast<long long>(year), static_cast<long long>(sequence));
  return buffer;
}

std::vector<faker::NamedMethod> KTPProvider::methods() {
  return {{"ktp", [this] { return ktp(); }}};
}

}  // namespace tesk_privacy::pii_detector
