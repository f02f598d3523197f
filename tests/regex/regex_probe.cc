// Reads JSON lines {"pattern", "flags", "text"} and answers each with the
// matches the Regex layer finds: {"matches": [[start, end, [[gs, ge], ...]], ...]}
// or {"error": message}. Driven by python_oracle_test.py.
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "tesk_privacy/regex/regex.h"

int main() {
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
