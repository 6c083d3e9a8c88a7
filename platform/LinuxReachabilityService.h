#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ReachabilityService.h"

namespace platform {

// Reachability on Linux, from the kernel's routing table (rtnetlink): a
// target is reachable when a route leads to it through a link that is up and
// has a carrier; the zero address asks whether a default route exists. Host
// names are resolved on a thread of the target's own, at creation and again
// whenever the network changes; flag reads answer from the last resolution
// and never wait. Link, address and route changes are watched on a netlink
// socket while a callback and a queue are set.
class LinuxReachabilityService : public ReachabilityService {
 public:
  // An IPv4 or IPv6 address as the kernel takes it.
  struct Address {
    int family = AF_INET;
    unsigned char bytes[16] = {};
    std::size_t length = 4;
  };
  // Turns a host name into its addresses (getaddrinfo unless replaced); may
  // take as long as it likes.
  using Resolver = std::function<std::vector<Address>(const std::string& host)>;

  LinuxReachabilityService();

  static std::shared_ptr<LinuxReachabilityService> shared();

  std::shared_ptr<ReachabilityTarget> createWithName(const std::string& hostName) override;
  std::shared_ptr<ReachabilityTarget> createWithAddress(const sockaddr_in& address) override;
  bool getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) override;
  bool setCallback(ReachabilityTarget& target, Callback callback, void* info) override;
  bool setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) override;

  // Used for targets made from now on; an empty resolver restores the system's.
  void setResolver(Resolver resolver);

  // Names of 1 to 253 characters in labels of letters, digits and hyphens
  // (not at either end), at most 63 each.
  static bool isValidHostName(const std::string& name);

 private:
  Resolver resolver();

  std::mutex resolverMutex_;
  Resolver resolver_;
};

}  // namespace platform
