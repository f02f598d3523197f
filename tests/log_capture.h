// Collects the library's log records while a test runs ("LEVEL:message"),
// with every logger opened down to DEBUG; restores the defaults afterwards.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::testing {

class LogCapture {
 public:
  LogCapture() {
    core::LoggerManager().set_default_level(core::LogLevel::kDebug);
    core::LoggerManager().set_sink([this](const core::LogRecord& r) {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::string(core::level_name(r.level)) + ":" + std::string(r.message));
    });
  }
  ~LogCapture() {
    core::LoggerManager().set_sink(nullptr);
    core::LoggerManager().set_default_level(core::LogLevel::kWarning);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Lines at one level ("ERROR", ...), without the level prefix.
  std::vector<std::string> at(const std::string& level) const {
    std::vector<std::string> out;
    for (const auto& l : lines()) {
      if (l.rfind(level + ":", 0) == 0) out.push_back(l.substr(level.size() + 1));
    }
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tesk_privacy::testing
