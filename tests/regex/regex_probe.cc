// Reads JSON lines {"pattern", "flags", "text"} and answers each with the
// matches the Regex layer finds: {"matches": [[start, end, [[gs, ge], ...]], ...]}
// or {"error": message}. Driven by python_oracle_test.py.
//
// With --patterns it instead prints, as one JSON array, every pattern of the
// library's recognizers ({"recognizer", "name", "regex"}), deny lists as their
// recognizer matches them; pattern_oracle_test.py runs those.
#include <algorithm>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pii_detector/recognizer/bank_account_number_recognizer.h"
#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/credit_card_recognizer.h"
#include "pii_detector/recognizer/facebook_account_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/linkedin_account_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "pii_detector/recognizer/project_name_recognizer.h"
#include "tesk_privacy/recognition/recognizer_registry.h"
#include "tesk_privacy/regex/regex.h"

namespace {

using namespace tesk_privacy;

void print_patterns() {
  recognition::RecognizerRegistry registry;
  registry.load_predefined_recognizers();
  std::vector<std::shared_ptr<recognition::EntityRecognizer>> all = {
      std::make_shared<pii_detector::KTPRecognizer>(),
      std::make_shared<pii_detector::NPWPRecognizer>(),
      std::make_shared<pii_detector::BPJSNumberRecognizer>(),
      std::make_shared<pii_detector::FamilyCardNumberRecognizer>(),
      std::make_shared<pii_detector::HalvernEmployeeIdRecognizer>(),
      std::make_shared<pii_detector::IndonesianPhoneNumberRecognizer>(),
      std::make_shared<pii_detector::BankAccountNumberRecognizer>(),
      std::make_shared<pii_detector::FacebookAccountRecognizer>(),
      std::make_shared<pii_detector::LinkedinAccountRecognizer>(),
      std::make_shared<pii_detector::MoneyRecognizer>(),
      std::make_shared<pii_detector::OrganizationNameRecognizer>(),
      std::make_shared<pii_detector::ProjectNameRecognizer>(),
      std::make_shared<pii_detector::CreditCardRecognizer>(),
  };
  all.insert(all.end(), registry.recognizers().begin(), registry.recognizers().end());
  nlohmann::json out = nlohmann::json::array();
  for (const auto& r : all) {
    const auto* pr = dynamic_cast<const recognition::PatternRecognizer*>(r.get());
    if (pr == nullptr) continue;
    for (const auto& p : pr->patterns()) out.push_back({{"recognizer", pr->name()}, {"name", p.name}, {"regex", p.regex}});
    if (!pr->deny_list().empty()) {
      // The whole-word alternation PatternRecognizer builds, longest term first.
      std::vector<std::string> terms = pr->deny_list();
      std::stable_sort(terms.begin(), terms.end(),
                       [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
      std::string deny = "(?<!\\w)(?:";
      for (size_t i = 0; i < terms.size(); ++i) deny += (i ? "|" : "") + regex::escape(terms[i]);
      out.push_back({{"recognizer", pr->name()},
                     {"name", recognition::PatternRecognizer::DENY_LIST_PATTERN_NAME},
                     {"regex", deny + ")(?!\\w)"}});
    }
  }
  std::cout << out.dump() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--patterns") {
    print_patterns();
    return 0;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    nlohmann::json out;
    try {
      auto in = nlohmann::json::parse(line);
      tesk_privacy::regex::Regex re(in.at("pattern").get<std::string>(), in.at("flags").get<int>());
      nlohmann::json matches = nlohmann::json::array();
      for (const auto& m : re.find_all(in.at("text").get<std::string>())) {
        nlohmann::json groups = nlohmann::json::array();
        for (const auto& g : m.groups) groups.push_back({g.start, g.end});
        matches.push_back({m.start, m.end, groups});
      }
      out["matches"] = matches;
    } catch (const std::exception& e) {
      out["error"] = e.what();
    }
    std::cout << out.dump() << "\n";
  }
  return 0;
}
