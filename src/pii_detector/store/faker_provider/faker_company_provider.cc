#include "pii_detector/store/faker_provider/faker_company_provider.h"

#include "faker/global_random.h"
#include "tesk_privacy/faker/faker.h"

namespace tesk_privacy::pii_detector {

std::string CompanyProvider::custom_company() {
  static const std::vector<std::string> COMPANY_TYPES = {"PT", "CV", "PT_Tbk"};
  const std::string& type =
      follow_seed_ ? generator().random_element(COMPANY_TYPES) : faker::global_random().choice(COMPANY_TYPES);
  const std::string name = generator().company();
  if (type == "PT") return "PT " + name;
  if (type == "CV") return "CV " + name;
  return "PT " + name + " Tbk";
}

std::vector<faker::NamedMethod> CompanyProvider::methods() {
  return {{"custom_company", [this] { return custom_company(); }}};
}

}  // namespace tesk_privacy::pii_detector
