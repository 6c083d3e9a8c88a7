#include "BrowserReachabilityService.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cctype>

#include "platform/DispatchQueue.h"

// clang-format off
EM_JS(int, browserIsOnline, (), {
  return navigator.onLine ? 1 : 0;
});

EM_JS(void, followOnlineEvents, (), {
  const changed = () => Module._vantoryOnlineChanged();
  addEventListener("online", changed);
  addEventListener("offline", changed);
});
// clang-format on

namespace platform {

struct BrowserReachabilityService::Watched : ReachabilityTarget {
  Callback callback = nullptr;
  void* info = nullptr;
  DispatchQueue* queue = nullptr;
};

namespace {

std::shared_ptr<BrowserReachabilityService>& sharedService() {
  static auto service = std::make_shared<BrowserReachabilityService>();
  return service;
}

}  // namespace

std::shared_ptr<ReachabilityService> ReachabilityService::systemService() {
  return sharedService();
}

BrowserReachabilityService::BrowserReachabilityService() {
  static bool following = false;
  if (!following) {
    following = true;
    followOnlineEvents();
  }
}

ReachabilityFlags BrowserReachabilityService::currentFlags() {
  return browserIsOnline() != 0 ? reachability_flag::reachable : 0;
}

std::shared_ptr<ReachabilityTarget> BrowserReachabilityService::createWithName(
    const std::string& hostName) {
  const bool valid =
      !hostName.empty() && hostName.size() <= 253 &&
      std::all_of(hostName.begin(), hostName.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.';
      });
  if (!valid) {
    return nullptr;
  }
  auto target = std::make_shared<Watched>();
  targets_.push_back(target);
  return target;
}

std::shared_ptr<ReachabilityTarget> BrowserReachabilityService::createWithAddress(
    const sockaddr_in& /*address*/) {
  auto target = std::make_shared<Watched>();
  targets_.push_back(target);
  return target;
}

BrowserReachabilityService::Watched* BrowserReachabilityService::find(ReachabilityTarget& target) {
  return dynamic_cast<Watched*>(&target);
}

bool BrowserReachabilityService::getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) {
  if (find(target) == nullptr) {
    return false;
  }
  flags = currentFlags();
  return true;
}

bool BrowserReachabilityService::setCallback(ReachabilityTarget& target, Callback callback,
                                             void* info) {
  Watched* watched = find(target);
  if (watched == nullptr) {
    return false;
  }
  watched->callback = callback;
  watched->info = info;
  return true;
}

bool BrowserReachabilityService::setDispatchQueue(ReachabilityTarget& target,
                                                  DispatchQueue* queue) {
  Watched* watched = find(target);
  if (watched == nullptr) {
    return false;
  }
  watched->queue = queue;
  return true;
}

void BrowserReachabilityService::onlineChanged() {
  const ReachabilityFlags flags = currentFlags();
  std::erase_if(targets_, [](const auto& weak) { return weak.expired(); });
  for (const auto& weak : targets_) {
    const auto target = std::static_pointer_cast<Watched>(weak.lock());
    if (target && target->callback != nullptr && target->queue != nullptr) {
      const std::weak_ptr<Watched> later = target;
      target->queue->async([later, flags] {
        if (const auto alive = later.lock(); alive && alive->callback != nullptr) {
          alive->callback(*alive, flags, alive->info);
        }
      });
    }
  }
}

}  // namespace platform

extern "C" EMSCRIPTEN_KEEPALIVE void vantoryOnlineChanged() {
  platform::sharedService()->onlineChanged();
}
