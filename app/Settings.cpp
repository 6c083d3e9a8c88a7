#include "Settings.h"

#include <cstdlib>

#include "net/LiveChanges.h"
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

}  // namespace

std::string Settings::startupServiceAddress(const std::optional<std::string>& givenForThisRun) {
  return withPasswordFromEnvironment(
      givenForThisRun
          ? *givenForThisRun
          : storedText(kServiceHostKey).value_or(std::string(ServerApi::defaultBaseAddress)));
}

std::string Settings::withPasswordFromEnvironment(const std::string& address) {
  const char* password = std::getenv(kPasswordVariable);
  return password != nullptr ? platform::Url::withPassword(address, password) : address;
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
  if (LiveChanges::following()) {
    LiveChanges::start(address);
  }
  if (auto* list = dynamic_cast<ListViewController*>(window.front().screen)) {
    list->refresh();
  }
  return std::nullopt;
}

}  // namespace vantory
