// CompanyProvider: fake company names with an Indonesian legal form, for
// pseudo-anonymizing organizations. The name comes from the generator's
// company() (its locale's data, seeded with it); the form — "PT ...",
// "CV ..." or "PT ... Tbk", equally likely — from the process-wide random
// source, so it does not follow the generator's seed, unless follow_seed()
// makes the generator draw it too.
//
//   faker::Faker fake;
//   auto& companies = fake.add_provider<CompanyProvider>();
//   companies.custom_company();        // e.g. "PT Atlas Logistics Tbk"
//   fake.call("custom_company");       // the same method, by name
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/faker/base_provider.h"

namespace tesk_privacy::pii_detector {

class CompanyProvider : public faker::BaseProvider {
 public:
  using BaseProvider::BaseProvider;

  std::string custom_company();
  // Draws the legal form from the generator (seeded) instead of the
  // process-wide source.
  void follow_seed(bool on) { follow_seed_ = on; }

  std::vector<faker::NamedMethod> methods() override;

 private:
  bool follow_seed_ = false;
};

}  // namespace tesk_privacy::pii_detector
