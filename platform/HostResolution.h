#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LinuxReachabilityService.h"

namespace platform {

// The addresses a host name had at its last resolution. Lookups run on a
// thread of their own, never on the thread that reads the flags, and nothing
// waits for them: getaddrinfo cannot be cancelled.
class HostResolution {
 public:
  using Done = std::function<void()>;

  std::vector<LinuxReachabilityService::Address> addresses();

  // Resolves the name again; done runs on the lookup's thread afterwards.
  // A request during a lookup makes that lookup run once more.
  static void refresh(const std::shared_ptr<HostResolution>& self, std::string host,
                      LinuxReachabilityService::Resolver resolver, Done done);

 private:
  std::mutex mutex_;
  std::vector<LinuxReachabilityService::Address> addresses_;
  bool looking_ = false;
  bool again_ = false;
};

}  // namespace platform
