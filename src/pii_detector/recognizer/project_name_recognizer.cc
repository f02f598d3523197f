#include "pii_detector/recognizer/project_name_recognizer.h"

#include <stdexcept>

#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::pii_detector {
namespace {

std::string project_pattern(const std::vector<std::string>& names) {
  std::string pattern = R"(\b(Project\s(?:E|[A-Z][a-z]+))";
  for (const std::string& name : names) pattern += "|" + name;
  return pattern + R"()\b)";
}

bool compiles(const std::string& pattern) {
  try {
    regex::Regex compiled(pattern, regex::kDefaultFlags);
    return true;
  } catch (const regex::RegexError&) {
    return false;
  }
}

}  // namespace

const std::vector<std::string>& ProjectNameRecognizer::default_project_names() {
  static const std::vector<std::string> default_project_names = {
      "Halvern", "Morvale", "MORVALE", "TRELIS", "DORNAK", "Project E", "PELKA", "TANDO",
  };
  return default_project_names;
}

const std::vector<std::string>& ProjectNameRecognizer::default_context() {
  static const std::vector<std::string> context = {"Project", "project", "proyek"};
  return context;
}

const std::vector<std::string>& ProjectNameRecognizer::default_deny_list() { return default_project_names(); }

std::vector<recognition::Pattern> ProjectNameRecognizer::_generate_patterns(
    const std::optional<std::vector<std::string>>& additional_project_names) {
  std::vector<std::string> project_names = default_project_names();
  const bool has_additional = additional_project_names && !additional_project_names->empty();
  if (has_additional) {
    project_names.insert(project_names.end(), additional_project_names->begin(),
                         additional_project_names->end());
  }
  std::string pattern_str = project_pattern(project_names);
  if (has_additional && !compiles(pattern_str)) {
    // Name the first caller-supplied name from which on the pattern breaks:
    // one invalid on its own, or one that clashes with an earlier name (a
    // repeated group name, for instance).
    std::vector<std::string> prefix = default_project_names();
    for (const std::string& name : *additional_project_names) {
      prefix.push_back(name);
      if (!compiles(project_pattern(prefix))) {
        throw std::invalid_argument("project name '" + name + "' is not a valid regular expression");
      }
    }
  }
  return {recognition::Pattern("Project (medium)", pattern_str, 0.5)};
}

ProjectNameRecognizer::ProjectNameRecognizer(std::string supported_language,
                                             std::optional<std::vector<std::string>> additional_project_names)
    : PatternRecognizer(Entities::PROJECT, _generate_patterns(additional_project_names),
                        std::move(supported_language), default_context(), default_deny_list(),
                        "ProjectNameRecognizer"),
      PATTERNS(patterns()) {}

}  // namespace tesk_privacy::pii_detector
