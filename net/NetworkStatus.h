#pragma once

#include <string>

namespace vantory {

enum class NetworkStatus { notReachable = 0, reachableViaWiFi = 1, reachableViaWWAN = 2 };

inline std::string networkStatusText(NetworkStatus status) {
  switch (status) {
    case NetworkStatus::reachableViaWiFi:
      return "WiFi";
    case NetworkStatus::reachableViaWWAN:
      return "Cellular";
    case NetworkStatus::notReachable:
      break;
  }
  return "No Connection";
}

}  // namespace vantory
