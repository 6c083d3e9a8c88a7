#pragma once

#include <netinet/in.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace vantory {

// What the reachability monitor raises. Creation failures are reported by
// giving no monitor, so only the notifier's two cases are ever raised.
class ReachabilityError : public std::runtime_error {
 public:
  enum class Kind {
    FailedToCreateWithAddress,
    FailedToCreateWithHostname,
    UnableToSetCallback,
    UnableToSetDispatchQueue,
  };

  explicit ReachabilityError(Kind kind) : std::runtime_error(describe(kind)), kind_(kind) {}
  ReachabilityError(Kind kind, std::string hostname)
      : std::runtime_error(describe(kind)), kind_(kind), hostname_(std::move(hostname)) {}
  ReachabilityError(Kind kind, const sockaddr_in& address)
      : std::runtime_error(describe(kind)), kind_(kind), address_(address) {}

  Kind kind() const { return kind_; }
  const std::optional<std::string>& hostname() const { return hostname_; }
  const std::optional<sockaddr_in>& address() const { return address_; }

 private:
  static const char* describe(Kind kind) {
    switch (kind) {
      case Kind::FailedToCreateWithAddress:
        return "reachability: cannot watch that address";
      case Kind::FailedToCreateWithHostname:
        return "reachability: cannot watch that host name";
      case Kind::UnableToSetCallback:
        return "reachability: the service refused the change callback";
      case Kind::UnableToSetDispatchQueue:
        return "reachability: the service refused the delivery queue";
    }
    return "reachability error";
  }

  Kind kind_;
  std::optional<std::string> hostname_;
  std::optional<sockaddr_in> address_;
};

}  // namespace vantory
