#include "Settings.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "net/ServerApi.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "ui/common/ListViewController.h"
#include "ui/common/StringUtil.h"
#include "ui/common/Utility.h"

namespace vantory {

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standardUserDefaults(); }

std::optional<std::string> storedText(const char* key) {
  const auto value = defaults().objectForKey(key);
  return value && value->is_string() ? std::optional(value->get<std::string>()) : std::nullopt;
}

std::string percentEncoded(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[byte >> 4U];
      out += hex[byte & 0x0FU];
    }
  }
  return out;
}

}  // namespace

std::string Settings::startupServiceAddress(const std::optional<std::string>& givenForThisRun) {
  return withPasswordFromEnvironment(
      givenForThisRun
          ? *givenForThisRun
          : storedText(kServiceHostKey).value_or(std::string(ServerApi::defaultBaseAddress)));
}

std::string Settings::withPasswordFromEnvironment(std::string address) {
  const char* password = std::getenv(kPasswordVariable);
  const std::size_t schemeEnd = address.find("://");
  if (password == nullptr || *password == '\0' || schemeEnd == std::string::npos) {
    return address;
  }
  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t authorityEnd = address.find_first_of("/?#", authorityStart);
  const std::string_view authority = std::string_view(address).substr(
      authorityStart,
      authorityEnd == std::string::npos ? std::string::npos : authorityEnd - authorityStart);
  const std::size_t at = authority.rfind('@');
  // Only a name without a password takes it: a password written in the
  // address is what the person meant.
  if (at == std::string_view::npos || authority.substr(0, at).find(':') != std::string_view::npos) {
    return address;
  }
  address.insert(authorityStart + at, ":" + percentEncoded(password));
  return address;
}

std::optional<std::string> Settings::registeredName() { return Utility::storedUserName(); }

std::string Settings::serviceAddress() { return ServerApi::baseAddress(); }

std::optional<std::string> Settings::checkName(const std::string& name) {
  if (!StringUtil::isNotBlank(name)) {
    return "Name can't be blank";
  }
  return std::nullopt;
}

std::optional<std::string> Settings::checkServiceAddress(const std::string& address) {
  const auto url = platform::Url::fromString(address);
  if (!url || (url->scheme() != "http" && url->scheme() != "https")) {
    return "The service address must be an http:// or https:// address, such as "
           "http://127.0.0.1:8080";
  }
  return std::nullopt;
}

std::optional<std::string> Settings::apply(platform::Window& window, const std::string& name,
                                           const std::string& typedAddress) {
  // Spaces around a pasted address are not part of it.
  const std::size_t first = typedAddress.find_first_not_of(" \t\n");
  const std::string address =
      first == std::string::npos
          ? std::string()
          : typedAddress.substr(first, typedAddress.find_last_not_of(" \t\n") - first + 1);
  if (auto refusal = checkName(name)) {
    return refusal;
  }
  if (auto refusal = checkServiceAddress(address)) {
    return refusal;
  }
  defaults().setObject(name, Utility::kUserNameKey);
  defaults().setObject(address, kServiceHostKey);
  ServerApi::setBaseAddress(address);
  if (auto* list = dynamic_cast<ListViewController*>(window.front().screen)) {
    list->refresh();
  }
  return std::nullopt;
}

}  // namespace vantory
