#include "tesk_privacy/pii_detector/utils/faker_provider/faker_ktp_provider.h"

#include <cstdio>

#include "tesk_privacy/faker/global_random.h"

namespace tesk_privacy::pii_detector {

std::string KTPProvider::ktp(const std::string& gender) {
  faker::GlobalRandom& random = faker::global_random();
  const int64_t region = random.randint(100000, 999999);
  const int64_t day = gender == "male" ? random.randint(1, 31) : random.randint(41, 71);
  const int64_t month = random.randint(1, 12);
  const int64_t year = random.randint(0, 99);
  const int64_t sequence = random.randint(1, 9999);
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
