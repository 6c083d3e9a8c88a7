#include "AccessLog.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

namespace vantory::service {

namespace {

// ISO 8601 in UTC with milliseconds.
std::string now() {
  const auto time = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  std::array<char, 24> date{};
  const std::size_t length = std::strftime(date.data(), date.size(), "%Y-%m-%dT%H:%M:%S", &utc);
  std::string text(date.data(), length);
  text += '.';
  text += static_cast<char>('0' + millis / 100);
  text += static_cast<char>('0' + millis / 10 % 10);
  text += static_cast<char>('0' + millis % 10);
  text += 'Z';
  return text;
}

// Text a peer may have written: printable ASCII as it is, every other byte
// (and quotes and backslashes) escaped. Messages of our own keep UTF-8 and
// lose only control characters.
std::string escaped(std::string_view text, bool fromPeer = true) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = byte < 0x20 || byte == 0x7f;
    if (control || (fromPeer && (byte >= 0x80 || c == '"' || c == '\\'))) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

const char* levelName(LogLevel level) {
  switch (level) {
    case LogLevel::error:
      return "error";
    case LogLevel::warn:
      return "warn";
    case LogLevel::info:
      return "info";
    case LogLevel::debug:
      return "debug";
  }
  return "info";
}

std::string jsonLine(const nlohmann::json& fields) {
  return fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void AccessLog::write(const std::string& line) const {
  // One fprintf per line: stdio locks the stream for the whole call.
  std::fprintf(stderr, "%s\n", line.c_str());
}

void AccessLog::request(const Entry& entry) const {
  if (!enabled(LogLevel::info)) {
    return;
  }
  const bool failed = entry.status >= 400;
  if (format_ == LogFormat::json) {
    nlohmann::json fields = {{"time", now()},
                             {"client", entry.client},
                             {"method", entry.method},
                             {"target", entry.target},
                             {"status", entry.status},
                             {"bytes", entry.bytes},
                             {"duration_us", entry.duration.count()}};
    if (failed) {
      fields["reason"] = entry.reason;
    }
    write(jsonLine(fields));
    return;
  }
  std::string line = now() + " " + escaped(entry.client) + " " + escaped(entry.method) + " " +
                     escaped(entry.target) + " " + std::to_string(entry.status) + " " +
                     std::to_string(entry.bytes) + "B " + std::to_string(entry.duration.count()) +
                     "us";
  if (failed) {
    line += " reason=\"" + escaped(entry.reason) + "\"";
  }
  write(line);
}

void AccessLog::message(LogLevel level, const std::string& text) const {
  if (!enabled(level)) {
    return;
  }
  if (format_ == LogFormat::json) {
    write(jsonLine({{"time", now()}, {"level", levelName(level)}, {"message", text}}));
    return;
  }
  write(now() + " vantory-server " + levelName(level) + ": " + escaped(text, false));
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
