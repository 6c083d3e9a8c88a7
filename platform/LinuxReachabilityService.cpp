#include "LinuxReachabilityService.h"

#include <netdb.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "DispatchQueue.h"
#include "HostResolution.h"
#include "RouteTable.h"
#include "RouteWatcher.h"

namespace platform {

namespace {

using namespace reachability_flag;

std::vector<LinuxReachabilityService::Address> resolveWithSystem(const std::string& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  std::vector<LinuxReachabilityService::Address> found;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0) {
    return found;
  }
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    LinuxReachabilityService::Address address;
    address.family = entry->ai_family;
    if (entry->ai_family == AF_INET) {
      std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr,
                  4);
      address.length = 4;
    } else if (entry->ai_family == AF_INET6) {
      std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr,
                  16);
      address.length = 16;
    } else {
      continue;
    }
    found.push_back(address);
  }
  ::freeaddrinfo(results);
  return found;
}

class LinuxTarget : public ReachabilityTarget, public std::enable_shared_from_this<LinuxTarget> {
 public:
  std::optional<std::string> host;
  std::shared_ptr<HostResolution> resolution;
  sockaddr_in address{};
  std::mutex mutex;
  ReachabilityService::Callback callback = nullptr;
  void* info = nullptr;
  DispatchQueue* queue = nullptr;
  std::unique_ptr<RouteWatcher> watcher;
};

ReachabilityFlags flagsOf(LinuxTarget& target) {
  if (target.host) {
    // From the last resolution: a name not (yet) resolved is not reachable.
    for (const LinuxReachabilityService::Address& address : target.resolution->addresses()) {
      if (const ReachabilityFlags flags = RouteTable::flagsFor(address); (flags & reachable) != 0) {
        return flags;
      }
    }
    return 0;
  }
  if (target.address.sin_addr.s_addr == INADDR_ANY) {
    return RouteTable::defaultRouteFlags();
  }
  LinuxReachabilityService::Address destination;
  std::memcpy(destination.bytes, &target.address.sin_addr, 4);
  return RouteTable::flagsFor(destination);
}

// Hands the target's flags to its callback on its queue, when both are set.
void report(LinuxTarget& target) {
  const ReachabilityFlags flags = flagsOf(target);
  std::lock_guard lock(target.mutex);
  if (target.callback != nullptr && target.queue != nullptr) {
    target.queue->async([alive = target.shared_from_this(), callback = target.callback,
                         info = target.info, flags] { callback(*alive, flags, info); });
  }
}

// Resolves the target's name anew and then reports its flags.
void resolveAndReport(const std::shared_ptr<LinuxTarget>& target,
                      const LinuxReachabilityService::Resolver& resolver) {
  HostResolution::refresh(target->resolution, *target->host, resolver,
                          [weak = std::weak_ptr<LinuxTarget>(target)] {
                            if (const auto alive = weak.lock()) {
                              report(*alive);
                            }
                          });
}

}  // namespace

LinuxReachabilityService::LinuxReachabilityService() : resolver_(resolveWithSystem) {}

std::shared_ptr<LinuxReachabilityService> LinuxReachabilityService::shared() {
  static const auto service = std::make_shared<LinuxReachabilityService>();
  return service;
}

std::shared_ptr<ReachabilityService> ReachabilityService::systemService() {
  return LinuxReachabilityService::shared();
}

void LinuxReachabilityService::setResolver(Resolver resolver) {
  std::lock_guard lock(resolverMutex_);
  resolver_ = resolver ? std::move(resolver) : Resolver(resolveWithSystem);
}

LinuxReachabilityService::Resolver LinuxReachabilityService::resolver() {
  std::lock_guard lock(resolverMutex_);
  return resolver_;
}

bool LinuxReachabilityService::isValidHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) {
    return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('.', start), name.size());
    const std::string_view label(name.data() + start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (const char c : label) {
      if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-') {
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

std::shared_ptr<ReachabilityTarget> LinuxReachabilityService::createWithName(
    const std::string& hostName) {
  if (!isValidHostName(hostName)) {
    return nullptr;
  }
  auto target = std::make_shared<LinuxTarget>();
  target->host = hostName;
  target->resolution = std::make_shared<HostResolution>();
  resolveAndReport(target, resolver());
  return target;
}

std::shared_ptr<ReachabilityTarget> LinuxReachabilityService::createWithAddress(
    const sockaddr_in& address) {
  if (address.sin_family != AF_INET) {
    return nullptr;
  }
  auto target = std::make_shared<LinuxTarget>();
  target->address = address;
  return target;
}

bool LinuxReachabilityService::getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  // The read itself succeeds and never waits on name resolution.
  flags = flagsOf(*watched);
  return true;
}

bool LinuxReachabilityService::setCallback(ReachabilityTarget& target, Callback callback,
                                           void* info) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  std::unique_ptr<RouteWatcher> stopped;
  std::lock_guard lock(watched->mutex);
  watched->callback = callback;
  watched->info = info;
  if (callback == nullptr) {
    stopped = std::move(watched->watcher);
  }
  return true;
}

bool LinuxReachabilityService::setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  std::unique_ptr<RouteWatcher> stopped;
  std::lock_guard lock(watched->mutex);
  watched->queue = queue;
  if (queue == nullptr || watched->callback == nullptr) {
    stopped = std::move(watched->watcher);
    return true;
  }
  if (watched->watcher) {
    return true;
  }
  watched->watcher = RouteWatcher::start([weak = watched->weak_from_this(), resolver = resolver()] {
    const auto alive = weak.lock();
    if (!alive) {
      return;
    }
    report(*alive);
    if (alive->host) {
      // The network changed: the name may now resolve elsewhere.
      resolveAndReport(alive, resolver);
    }
  });
  return watched->watcher != nullptr;
}

}  // namespace platform
