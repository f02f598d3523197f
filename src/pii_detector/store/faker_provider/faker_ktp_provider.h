// KTPProvider: fake 16-digit KTP numbers (NIK) in their structured layout:
// region code (6 digits, 100000-999999), day of birth (01-31, or 41-71 for
// women), month (01-12), two-digit year and a sequence number (0001-9999).
// Every field comes from the process-wide random source, so the numbers do
// not follow the generator's seed, unless follow_seed() makes the generator
// draw them. Day and month are drawn independently,
// as the layout allows; a day the month lacks (31 February) can occur.
//
//   faker::Faker fake;
//   auto& ktp = fake.add_provider<KTPProvider>();
//   ktp.ktp();            // e.g. "3174052708910007"
//   ktp.ktp("female");    // day field 41-71
//   fake.call("ktp");     // the default gender, by name
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/faker/base_provider.h"

namespace tesk_privacy::pii_detector {

class KTPProvider : public faker::BaseProvider {
 public:
  using BaseProvider::BaseProvider;

  // Exactly "male" gives a man's day field; any other value a woman's.
  std::string ktp(const std::string& gender = "male");
  // Draws the fields from the generator (seeded) instead of the process-wide
  // source.
  void follow_seed(bool on) { follow_seed_ = on; }

  std::vector<faker::NamedMethod> methods() override;

 private:
  bool follow_seed_ = false;
};

}  // namespace tesk_privacy::pii_detector
