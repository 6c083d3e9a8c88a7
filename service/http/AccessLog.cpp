#include "AccessLog.h"

#include <cstdio>

namespace vantory::service {

void AccessLog::request(std::string_view method, std::string_view path, int status,
                        long long micros) const {
  if (!enabled(LogLevel::info)) {
    return;
  }
  // One fprintf per line: stdio locks the stream for the whole call.
  std::fprintf(stderr, "%.*s %.*s %d %lldus\n", static_cast<int>(method.size()), method.data(),
               static_cast<int>(path.size()), path.data(), status, micros);
}

void AccessLog::message(LogLevel level, const std::string& text) const {
  if (enabled(level)) {
    std::fprintf(stderr, "vantory-server: %s\n", text.c_str());
  }
}

bool AccessLog::parseLevel(const std::string& text, LogLevel& level) {
  if (text == "error") {
    level = LogLevel::error;
  } else if (text == "warn") {
    level = LogLevel::warn;
  } else if (text == "info") {
    level = LogLevel::info;
  } else if (text == "debug") {
    level = LogLevel::debug;
  } else {
    return false;
  }
  return true;
}

}  // namespace vantory::service
