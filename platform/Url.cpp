#include "Url.h"

#include <cctype>

#include "UrlSyntax.h"

namespace platform {

namespace {

// Characters that may never appear in an address, escaped or not: controls,
// space, and the ones RFC 3986 leaves out of every component.
bool hasForbiddenCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f) {
      return true;
    }
    switch (c) {
      case '"':
      case '<':
      case '>':
      case '\\':
      case '^':
      case '`':
      case '{':
      case '|':
      case '}':
        return true;
      default:
        break;
    }
  }
  return false;
}

// Where the user information of an address stands ("ann:pw" of
// "https://ann:pw@host"): from `start` to the '@' at `end`.
struct UserInfo {
  std::size_t start;
  std::size_t end;
};
std::optional<UserInfo> userInfoOf(std::string_view text) {
  const std::size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t authorityEnd = text.find_first_of("/?#", authorityStart);
  const std::string_view authority = text.substr(
      authorityStart, authorityEnd == std::string_view::npos ? std::string_view::npos
                                                             : authorityEnd - authorityStart);
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  return UserInfo{authorityStart, authorityStart + at};
}

}  // namespace

std::string Url::withoutCredentials(std::string_view text) {
  const auto info = userInfoOf(text);
  if (!info) {
    return std::string(text);
  }
  std::string shown(text.substr(0, info->start));
  shown += text.substr(info->end + 1);
  return shown;
}

std::string Url::withPassword(std::string_view text, std::string_view password) {
  const auto info = userInfoOf(text);
  // Only a name without a password takes it: a password written in the
  // address is what the person meant.
  if (password.empty() || !info ||
      text.substr(info->start, info->end - info->start).find(':') != std::string_view::npos) {
    return std::string(text);
  }
  static const char hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : password) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += hex[byte >> 4U];
      encoded += hex[byte & 0x0FU];
    }
  }
  std::string address(text);
  address.insert(info->end, ":" + encoded);
  return address;
}

std::optional<Url> Url::fromString(std::string_view text) {
  if (text.empty() || hasForbiddenCharacter(text)) {
    return std::nullopt;
  }
  auto parts = UrlSyntax::parseAbsolute(std::string(text));
  if (!parts) {
    return std::nullopt;
  }
  Url url;
  url.text_ = std::string(text);
  url.scheme_ = std::move(parts->scheme);
  url.host_ = std::move(parts->host);
  url.authority_ = parts->port.empty() ? url.host_ : url.host_ + ":" + parts->port;
  url.requestTarget_ = std::move(parts->requestTarget);
  return url;
}

}  // namespace platform
