#include "HostResolution.h"

#include <thread>
#include <utility>

namespace platform {

std::vector<LinuxReachabilityService::Address> HostResolution::addresses() {
  std::lock_guard lock(mutex_);
  return addresses_;
}

void HostResolution::refresh(const std::shared_ptr<HostResolution>& self, std::string host,
                             LinuxReachabilityService::Resolver resolver, Done done) {
  {
    std::lock_guard lock(self->mutex_);
    if (self->looking_) {
      self->again_ = true;
      return;
    }
    self->looking_ = true;
  }
  std::thread([self, host = std::move(host), resolver = std::move(resolver),
               done = std::move(done)] {
    while (true) {
      std::vector<LinuxReachabilityService::Address> found = resolver(host);
      std::unique_lock lock(self->mutex_);
      self->addresses_ = std::move(found);
      if (!std::exchange(self->again_, false)) {
        self->looking_ = false;
        lock.unlock();
        done();
        return;
      }
    }
  }).detach();
}

}  // namespace platform
