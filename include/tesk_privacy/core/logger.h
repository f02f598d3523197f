// Named loggers for the library's modules, in the manner of Python's logging.
//
// Every module obtains its logger once, by dotted name, and logs preformatted
// messages at one of four levels. Loggers are silent below WARNING unless a
// level is set; records at or above the effective level go to one sink, which
// by default writes "LEVEL:name:message" lines to standard error. The Python
// bindings replace the sink with one that forwards to Python's `logging`.
//
//   static auto& log = tesk_privacy::core::LoggerManager().get_logger(
//       "tesk_privacy.pii_detector.text_analyzer");
//   if (log.is_enabled_for(tesk_privacy::core::LogLevel::kDebug))
//     log.debug("Context list is: " + words);
//
// Loggers live for the whole process; get_logger, set_level, set_sink and the
// log calls are safe from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace tesk_privacy::core {

enum class LogLevel : int {
  kNotSet = 0,
  kDebug = 10,
  kInfo = 20,
  kWarning = 30,
  kError = 40,
  kCritical = 50,
};

// "DEBUG", "INFO", "WARNING", "ERROR", "CRITICAL".
std::string_view level_name(LogLevel level);

struct LogRecord {
  std::string_view logger_name;
  LogLevel level;
  std::string_view message;
};

using LogSink = std::function<void(const LogRecord&)>;

class Logger {
 public:
  explicit Logger(std::string name) : name_(std::move(name)) {}
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  const std::string& name() const { return name_; }

  // kNotSet makes the logger follow the manager's default level.
  void set_level(LogLevel level) { level_.store(static_cast<int>(level), std::memory_order_relaxed); }
  LogLevel level() const { return static_cast<LogLevel>(level_.load(std::memory_order_relaxed)); }
  LogLevel effective_level() const;
  bool is_enabled_for(LogLevel level) const { return level >= effective_level(); }

  void log(LogLevel level, std::string_view message) const;
  void debug(std::string_view message) const { log(LogLevel::kDebug, message); }
  void info(std::string_view message) const { log(LogLevel::kInfo, message); }
  void warning(std::string_view message) const { log(LogLevel::kWarning, message); }
  void error(std::string_view message) const { log(LogLevel::kError, message); }
  void critical(std::string_view message) const { log(LogLevel::kCritical, message); }

 private:
  std::string name_;
  std::atomic<int> level_{0};
};

// Factory of named loggers. Instances are cheap handles onto one process-wide
// registry, so `LoggerManager().get_logger(name)` always yields the same
// logger for the same name.
class LoggerManager {
 public:
  Logger& get_logger(std::string_view name) const;

  // Level used by loggers whose own level is kNotSet (WARNING initially).
  void set_default_level(LogLevel level) const;
  LogLevel default_level() const;

  // Replaces where records go; an empty function restores the stderr sink.
  void set_sink(LogSink sink) const;
};

}  // namespace tesk_privacy::core
