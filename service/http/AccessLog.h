#pragma once

#include <string>
#include <string_view>

namespace vantory::service {

enum class LogLevel { error = 0, warn = 1, info = 2, debug = 3 };

// Lines to standard error, whole even when threads write at once.
class AccessLog {
 public:
  explicit AccessLog(LogLevel level) : level_(level) {}

  bool enabled(LogLevel level) const { return level <= level_; }
  // One line per request: method, path, status, microseconds.
  void request(std::string_view method, std::string_view path, int status, long long micros) const;
  void message(LogLevel level, const std::string& text) const;

  static bool parseLevel(const std::string& text, LogLevel& level);

 private:
  LogLevel level_;
};

}  // namespace vantory::service
