#pragma once

#include "ReachabilityService.h"

namespace platform {

// Reachability on Linux, from the kernel's routing table (rtnetlink): a
// target is reachable when a route leads to it through an interface that is
// up; the zero address asks whether a default route exists. Host names are
// resolved first (briefly). Link, address and route changes are watched on a
// netlink socket while a callback and a queue are set.
class LinuxReachabilityService : public ReachabilityService {
 public:
  static std::shared_ptr<LinuxReachabilityService> shared();

  std::shared_ptr<ReachabilityTarget> createWithName(const std::string& hostName) override;
  std::shared_ptr<ReachabilityTarget> createWithAddress(const sockaddr_in& address) override;
  bool getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) override;
  bool setCallback(ReachabilityTarget& target, Callback callback, void* info) override;
  bool setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) override;

  // Names of 1 to 253 characters in labels of letters, digits and hyphens
  // (not at either end), at most 63 each.
  static bool isValidHostName(const std::string& name);
};

}  // namespace platform
