#pragma once

#include <vector>

#include "platform/ReachabilityService.h"

namespace platform {

// Reachability in a browser: the browser's own view (navigator.onLine),
// followed through its "online" and "offline" events. Every target, host or
// address, is reachable exactly when the browser says it is online.
class BrowserReachabilityService : public ReachabilityService {
 public:
  BrowserReachabilityService();

  std::shared_ptr<ReachabilityTarget> createWithName(const std::string& hostName) override;
  std::shared_ptr<ReachabilityTarget> createWithAddress(const sockaddr_in& address) override;
  bool getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) override;
  bool setCallback(ReachabilityTarget& target, Callback callback, void* info) override;
  bool setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) override;

  // The browser went online or offline: every watched target is told.
  void onlineChanged();

 private:
  struct Watched;
  Watched* find(ReachabilityTarget& target);
  static ReachabilityFlags currentFlags();

  std::vector<std::weak_ptr<ReachabilityTarget>> targets_;
};

}  // namespace platform
