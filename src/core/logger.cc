#include "tesk_privacy/core/logger.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace tesk_privacy::core {
namespace {

// The process-wide logging state, like Python's logging module: named loggers
// (never destroyed, so references stay valid), the default level and the sink.
struct Registry {
  std::mutex loggers_mutex;
  std::map<std::string, std::unique_ptr<Logger>, std::less<>> loggers;
  std::atomic<int> default_level{static_cast<int>(LogLevel::kWarning)};
  std::shared_mutex sink_mutex;
  LogSink sink;
};

Registry& registry() {
  static auto* r = new Registry();  // intentionally leaked: loggers outlive static destructors
  return *r;
}

void stderr_sink(const LogRecord& r) {
  std::string line;
  line.reserve(r.logger_name.size() + r.message.size() + 16);
  line.append(level_name(r.level)).append(":").append(r.logger_name).append(":")
      .append(r.message).append("\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

std::string_view level_name(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug: return "DEBUG";
    case LogLevel::kInfo: return "INFO";
    case LogLevel::kWarning: return "WARNING";
    case LogLevel::kError: return "ERROR";
    case LogLevel::kCritical: return "CRITICAL";
    case LogLevel::kNotSet: break;
  }
  return "NOTSET";
}

LogLevel Logger::effective_level() const {
  LogLevel own = level();
  return own != LogLevel::kNotSet ? own : LoggerManager().default_level();
}

void Logger::log(LogLevel level, std::string_view message) const {
  if (!is_enabled_for(level)) return;
  LogRecord record{name_, level, message};
  Registry& r = registry();
  std::shared_lock lock(r.sink_mutex);
  if (r.sink) {
    r.sink(record);
  } else {
    stderr_sink(record);
  }
}

Logger& LoggerManager::get_logger(std::string_view name) const {
  Registry& r = registry();
  std::lock_guard lock(r.loggers_mutex);
  auto it = r.loggers.find(name);
  if (it == r.loggers.end()) {
    it = r.loggers.emplace(std::string(name), std::make_unique<Logger>(std::string(name))).first;
  }
  return *it->second;
}

void LoggerManager::set_default_level(LogLevel level) const {
  registry().default_level.store(static_cast<int>(level), std::memory_order_relaxed);
}

LogLevel LoggerManager::default_level() const {
  return static_cast<LogLevel>(registry().default_level.load(std::memory_order_relaxed));
}

void LoggerManager::set_sink(LogSink sink) const {
  Registry& r = registry();
  std::unique_lock lock(r.sink_mutex);
  r.sink = std::move(sink);
}

}  // namespace tesk_privacy::core
