#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class DispatchQueue;

// The flags a reachability service reports for a target (bits as on phones).
using ReachabilityFlags = std::uint32_t;
namespace reachability_flag {
inline constexpr ReachabilityFlags transientConnection = 0x1;
inline constexpr ReachabilityFlags reachable = 0x2;
inline constexpr ReachabilityFlags connectionRequired = 0x4;
inline constexpr ReachabilityFlags connectionOnTraffic = 0x8;
inline constexpr ReachabilityFlags interventionRequired = 0x10;
inline constexpr ReachabilityFlags connectionOnDemand = 0x20;
inline constexpr ReachabilityFlags isLocalAddress = 0x10000;
inline constexpr ReachabilityFlags isDirect = 0x20000;
inline constexpr ReachabilityFlags isWWAN = 0x40000;
}  // namespace reachability_flag

// A watched target (a host name or an address), made by a service.
class ReachabilityTarget {
 public:
  virtual ~ReachabilityTarget() = default;
};

// Tells whether a target can be reached and reports changes.
class ReachabilityService {
 public:
  // Called on the queue given to setDispatchQueue with the target, its new
  // flags and the info given to setCallback.
  using Callback = void (*)(ReachabilityTarget& target, ReachabilityFlags flags, void* info);

  virtual ~ReachabilityService() = default;

  // The platform's own (the kernel's routes on Linux, the browser's online
  // state in a browser); chosen at build time.
  static std::shared_ptr<ReachabilityService> systemService();

  // Nothing for a name that is not a valid host name.
  virtual std::shared_ptr<ReachabilityTarget> createWithName(const std::string& hostName) = 0;
  virtual std::shared_ptr<ReachabilityTarget> createWithAddress(const sockaddr_in& address) = 0;
  // False when the flags cannot be read.
  virtual bool getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) = 0;
  // A null callback removes it (and stops delivery).
  virtual bool setCallback(ReachabilityTarget& target, Callback callback, void* info) = 0;
  // A null queue stops delivery. Changes are delivered while both are set.
  virtual bool setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) = 0;
};

}  // namespace platform
