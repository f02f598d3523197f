// ProjectNameRecognizer: finds project names: "Project" followed by "E" or a
// title-case word, the built-in names (Halvern, Morvale, ...), and names the
// caller adds. One regular expression is generated from the name list; the
// names are joined unescaped, so a name may itself be a regular expression.
// The built-in names are also the deny list, so they are reported with the
// deny-list score as well.
//
//   ProjectNameRecognizer recognizer;                        // "id", built-in names
//   ProjectNameRecognizer custom("id", {{"Nebula", "Orion"}});
//
// A caller-supplied name that does not compile as a regular expression (or
// breaks the generated one) is refused with std::invalid_argument naming it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class ProjectNameRecognizer : public recognition::PatternRecognizer {
 public:
  explicit ProjectNameRecognizer(
      std::string supported_language = "id",
      std::optional<std::vector<std::string>> additional_project_names = std::nullopt);

  // One pattern "Project (medium)" (score 0.5) matching "Project" + a blank +
  // "E" or a title-case word, or any of the built-in and additional names.
  static std::vector<recognition::Pattern> _generate_patterns(
      const std::optional<std::vector<std::string>>& additional_project_names = std::nullopt);

  static const std::vector<std::string>& default_project_names();
  static const std::vector<std::string>& default_context();
  // The same list object as default_project_names().
  static const std::vector<std::string>& default_deny_list();

  // The patterns generated at construction.
  const std::vector<recognition::Pattern> PATTERNS;
};

}  // namespace tesk_privacy::pii_detector
