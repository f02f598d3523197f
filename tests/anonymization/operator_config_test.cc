#include "tesk_privacy/anonymization/operator_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace tesk_privacy::anonymization {
namespace {

using ::testing::HasSubstr;

TEST(OperatorConfigTest, AcceptsValidConfigs) {
  const std::vector<OperatorConfig> configs = {
      OperatorConfig("replace", {{"new_value", "«anon»"}}),
      OperatorConfig("keep", {{"unused", 1.5}}),
      OperatorConfig("mask", {{"masking_char", "😀"}, {"chars_to_mask", 0}, {"from_end", true}}),
      OperatorConfig("hash", {{"hash_type", "md5"}}),
      OperatorConfig("encrypt", {{"key", "0123456789abcdef"}}),
      OperatorConfig("encrypt", {{"key", "0123456789abcdef01234567"}}),
      OperatorConfig("encrypt", {{"key", "0123456789abcdef0123456789abcdef"}}),
      OperatorConfig("custom", {{"lambda", [](const std::string& s) { return s + "!"; }}}),
  };
  for (const OperatorConfig& c : configs) EXPECT_NO_THROW(c.validate()) << c.operator_name;
  EXPECT_EQ(OperatorConfig().operator_name, "replace");
}

TEST(OperatorConfigTest, RejectsInvalidConfigsNamingTheProblem) {
  struct Case {
    std::string name;
    Params params;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"shred", {}, "Invalid operator name: shred"},
      {"encrypt", {}, "'key' for operator 'encrypt': missing required parameter"},
      {"encrypt", {{"key", int64_t{1234567890123456}}}, "'key' for operator 'encrypt': expected a string"},
      {"encrypt", {{"key", "0123456789abcde"}}, "must have 16, 24 or 32 bytes (AES-128, AES-192 or AES-256), not 15"},
      {"encrypt", {{"key", "0123456789abcdef0"}}, "not 17"},
      {"encrypt", {{"key", ""}}, "not 0"},
      {"custom", {{"lambda", "not a function"}}, "lambda"},
      {"custom", {{"lambda", CustomFunction()}}, "lambda"},
      {"mask", {{"chars_to_mask", 2}}, "masking_char"},
      {"mask", {{"masking_char", "*"}}, "chars_to_mask"},
      {"mask", {{"masking_char", "**"}, {"chars_to_mask", 2}}, "masking_char"},
      {"mask", {{"masking_char", "\xC3"}, {"chars_to_mask", 2}}, "masking_char"},
      {"mask", {{"masking_char", "*"}, {"chars_to_mask", -1}}, "chars_to_mask"},
      {"mask", {{"masking_char", "*"}, {"chars_to_mask", 2.0}}, "chars_to_mask"},
      {"mask", {{"masking_char", "*"}, {"chars_to_mask", 2}, {"from_end", "yes"}}, "from_end"},
      {"replace", {{"new_value", int64_t{5}}}, "new_value"},
      {"replace", {{"new_value", "\xFF"}}, "new_value"},
      {"hash", {{"hash_type", "sha1"}}, "hash_type"},
  };
  for (const Case& c : cases) {
    try {
      OperatorConfig config(c.name, c.params);
      ADD_FAILURE() << "accepted " << c.name << ", expected: " << c.message;
    } catch (const std::invalid_argument& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.name;
    }
  }
}

TEST(OperatorConfigTest, MissingParamIsOutOfRange) {
  OperatorConfig config("replace", {{"new_value", "X"}});
  EXPECT_EQ(std::get<std::string>(config.param("new_value")), "X");
  EXPECT_THROW(config.param("masking_char"), std::out_of_range);
}

}  // namespace
}  // namespace tesk_privacy::anonymization
