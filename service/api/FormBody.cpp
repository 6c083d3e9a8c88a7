#include "FormBody.h"

namespace vantory::service {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::optional<nlohmann::json> parseObject(std::string_view text) {
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

std::optional<std::string> FormBody::formDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] == '%') {
      const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
      if (high < 0 || low < 0) {
        return std::nullopt;
      }
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

std::optional<nlohmann::json> FormBody::parse(std::string_view body, std::string_view name) {
  const std::size_t equals = body.find('=');
  if (equals == std::string_view::npos || body.substr(0, equals) != name) {
    return std::nullopt;
  }
  const std::string_view value = body.substr(equals + 1);
  if (auto raw = parseObject(value)) {
    return raw;
  }
  const auto decoded = formDecode(value);
  return decoded ? parseObject(*decoded) : std::nullopt;
}

}  // namespace vantory::service
