#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace vantory::service {

enum class LogLevel { error = 0, warn = 1, info = 2, debug = 3 };
enum class LogFormat { text, json };

// Lines to standard error, whole even when threads write at once: one per
// request at info level, and messages. Text a client sent (the target, a
// reason that quotes it) is escaped, so a line can never be forged or split.
class AccessLog {
 public:
  // One request as the access log records it.
  struct Entry {
    std::string_view client;  // address of the peer
    std::string_view method;
    std::string_view target;  // path and query as requested
    int status = 0;
    std::size_t bytes = 0;  // of the reply body
    std::chrono::microseconds duration{0};
    std::string_view reason;  // for 4xx and 5xx: why
  };

  explicit AccessLog(LogLevel level, LogFormat format = LogFormat::text)
      : level_(level), format_(format) {}

  bool enabled(LogLevel level) const { return level <= level_; }
  // Text: "2026-12-06T21:14:03.123Z 127.0.0.1 GET /path?q 200 512B 340us reason=..."
  void request(const Entry& entry) const;
  void message(LogLevel level, const std::string& text) const;

  static bool parseLevel(const std::string& text, LogLevel& level);

 private:
  void write(const std::string& line) const;

  LogLevel level_;
  LogFormat format_;
};

}  // namespace vantory::service
