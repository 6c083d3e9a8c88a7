#pragma once

#include <optional>
#include <string>

#include "platform/toolkit/Window.h"

namespace vantory {

// The two things a person may change outside the screens: the registered
// name ("Name") and the service's address ("ServiceHost"), both kept in the
// user defaults. Front-ends show them in a settings dialog of their own.
class Settings {
 public:
  static constexpr char kServiceHostKey[] = "ServiceHost";
  // Holds the password for an address that names only the user
  // ("https://ann@host"), so that it never shows in the process list.
  static constexpr char kPasswordVariable[] = "VANTORY_PASSWORD";

  Settings() = delete;

  // The address to use at start: the one given for this run, else the
  // stored one, else this machine's default.
  static std::string startupServiceAddress(const std::optional<std::string>& givenForThisRun);
  // The address with the password from VANTORY_PASSWORD, when it names a
  // user without one.
  static std::string withPasswordFromEnvironment(const std::string& address);

  static std::optional<std::string> registeredName();
  // The address in use now.
  static std::string serviceAddress();

  // Nothing when the value can be used; otherwise what to tell the person.
  static std::optional<std::string> checkName(const std::string& name);
  static std::optional<std::string> checkServiceAddress(const std::string& address);

  // Stores both (checked first: nothing is stored unless both can be used),
  // points the app at the address, and refreshes the list in front so it
  // shows what that service holds. The refusal's message, if refused.
  static std::optional<std::string> apply(platform::Window& window, const std::string& name,
                                          const std::string& address);
};

}  // namespace vantory
