#pragma once

#include "LinuxReachabilityService.h"

namespace platform {

// What the kernel's routing table (rtnetlink) says of a destination: a
// destination is reachable when a route leads to it through a link that is
// up and has a carrier. Each question is a fresh netlink exchange.
class RouteTable {
 public:
  RouteTable() = delete;

  static ReachabilityFlags flagsFor(const LinuxReachabilityService::Address& destination);
  // The flags of a default route (main table) that can carry traffic.
  static ReachabilityFlags defaultRouteFlags();
};

}  // namespace platform
