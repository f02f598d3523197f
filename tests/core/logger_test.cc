#include "tesk_privacy/core/logger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesk_privacy::core {
namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoggerManager().set_sink([this](const LogRecord& r) {
      records.push_back(std::string(level_name(r.level)) + ":" + std::string(r.logger_name) + ":" +
                        std::string(r.message));
    });
  }
  void TearDown() override {
    LoggerManager().set_sink(nullptr);
    LoggerManager().set_default_level(LogLevel::kWarning);
  }
  std::vector<std::string> records;
};

TEST_F(LoggerTest, SameNameSameLogger) {
  Logger& a = LoggerManager().get_logger("tesk_privacy.test.same");
  Logger& b = LoggerManager().get_logger("tesk_privacy.test.same");
  EXPECT_EQ(&a, &b);
  EXPECT_NE(&a, &LoggerManager().get_logger("tesk_privacy.test.other"));
}

TEST_F(LoggerTest, SilentBelowWarningByDefault) {
  Logger& log = LoggerManager().get_logger("tesk_privacy.test.levels");
  log.debug("d");
  log.info("i");
  log.warning("w");
  log.error("e");
  EXPECT_EQ(records, (std::vector<std::string>{"WARNING:tesk_privacy.test.levels:w",
                                               "ERROR:tesk_privacy.test.levels:e"}));
}

TEST_F(LoggerTest, OwnLevelOverridesDefault) {
  Logger& verbose = LoggerManager().get_logger("tesk_privacy.test.verbose");
  Logger& quiet = LoggerManager().get_logger("tesk_privacy.test.quiet");
  verbose.set_level(LogLevel::kDebug);
  quiet.set_level(LogLevel::kCritical);
  verbose.debug("seen");
  quiet.error("hidden");
  quiet.critical("shown");
  EXPECT_EQ(records, (std::vector<std::string>{"DEBUG:tesk_privacy.test.verbose:seen",
                                               "CRITICAL:tesk_privacy.test.quiet:shown"}));
  LoggerManager().set_default_level(LogLevel::kInfo);
  LoggerManager().get_logger("tesk_privacy.test.default").info("now visible");
  EXPECT_EQ(records.back(), "INFO:tesk_privacy.test.default:now visible");
  verbose.set_level(LogLevel::kNotSet);
  quiet.set_level(LogLevel::kNotSet);
}

}  // namespace
}  // namespace tesk_privacy::core
