// PatternRecognizer: reports every match of its regular expressions, and
// every occurrence of its deny-list terms, as one entity type.
//
//   PatternRecognizer r("EMPLOYEE_ID", {Pattern("Employee ID", R"(\b0\d{7}\b)", 0.5)},
//                       "id", {"karyawan"});
//   auto results = r.analyze(Utf8Text("karyawan 01234567"), {}, nullptr);
//
// Matching rules:
// - Each pattern is compiled once per flag set: the default flags
//   (DOTALL | MULTILINE | IGNORECASE) at construction, others on first use.
// - A match scores its pattern's score. validate_result() may confirm a
//   candidate (score becomes MAX_SCORE) or reject it; invalidate_result()
//   may reject it. Rejected and empty matches are not reported.
// - Deny-list terms match as whole words (no word character directly before
//   or after), under the same flags as the patterns, and score
//   DENY_LIST_SCORE: a term the caller listed is that entity.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"
#include "tesk_privacy/recognition/pattern.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::recognition {

class PatternRecognizer : public EntityRecognizer {
 public:
  static constexpr double DENY_LIST_SCORE = 1.0;
  static constexpr const char* DENY_LIST_PATTERN_NAME = "deny_list";

  PatternRecognizer(std::string supported_entity, std::vector<Pattern> patterns = {},
                    std::string supported_language = "en", std::vector<std::string> context = {},
                    std::vector<std::string> deny_list = {}, std::string name = {},
                    std::string version = "0.0.1");

  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                        const NlpArtifacts* nlp_artifacts,
                                        std::optional<int> regex_flags = std::nullopt) const override;

  const std::vector<Pattern>& patterns() const { return patterns_; }
  const std::vector<std::string>& deny_list() const { return deny_list_; }
  const std::string& supported_entity() const { return supported_entities().front(); }

 protected:
  // Checksum hook: true confirms the candidate, false rejects it, nullopt
  // leaves its pattern score.
  virtual std::optional<bool> validate_result(std::string_view /*pattern_text*/) const {
    return std::nullopt;
  }
  // Returns true to reject a candidate the patterns matched.
  virtual std::optional<bool> invalidate_result(std::string_view /*pattern_text*/) const {
    return std::nullopt;
  }
  // Subclasses may lower or raise pattern scores while they are constructed;
  // the regular expressions themselves stay as compiled.
  std::vector<Pattern>& mutable_patterns() { return patterns_; }

 private:
  using CompiledSet = std::vector<std::shared_ptr<const regex::Regex>>;
  // A reference, not a shared pointer: threads analyzing with one
  // recognizer would otherwise contend on the set's reference count. Sets
  // are kept until the recognizer goes.
  const CompiledSet& compiled_for(int flags) const;
  CompiledSet compile(int flags) const;

  std::vector<Pattern> patterns_;
  std::vector<std::string> deny_list_;
  std::string deny_list_regex_;  // empty when there is no deny list
  std::shared_ptr<const CompiledSet> default_compiled_;
  mutable std::mutex cache_mutex_;
  mutable std::map<int, std::shared_ptr<const CompiledSet>> other_compiled_;
};

}  // namespace tesk_privacy::recognition
