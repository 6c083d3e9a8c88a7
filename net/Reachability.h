#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/NetworkStatus.h"
#include "net/ReachabilityError.h"
#include "platform/DispatchQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/ReachabilityService.h"

namespace vantory {

inline constexpr char kReachabilityChangedNotification[] = "ReachabilityChangedNotification";

// Watches whether the network, or a host, can be reached and whether over
// Wi-Fi or the cellular network. Once its notifier runs, every change calls
// whenReachable or whenUnreachable and posts "ReachabilityChangedNotification"
// on the main queue. No screen uses it; it stands on its own.
class Reachability {
 public:
  using Handler = std::function<void(Reachability& reachability)>;

  // The device's general connectivity (the zero address); nothing if the
  // service gives no reference.
  static std::unique_ptr<Reachability> reachabilityForInternetConnection(
      std::shared_ptr<platform::ReachabilityService> service = defaultService());
  // Nothing for a host name the service refuses.
  static std::unique_ptr<Reachability> reachabilityWithHostname(
      const std::string& hostname,
      std::shared_ptr<platform::ReachabilityService> service = defaultService());

  Reachability(std::shared_ptr<platform::ReachabilityTarget> reachabilityRef,
               std::shared_ptr<platform::ReachabilityService> service);
  // Stops the notifier before anything is released.
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  static std::shared_ptr<platform::ReachabilityService> defaultService();

  const Handler& whenReachable() const { return whenReachable_; }
  void setWhenReachable(Handler handler) { whenReachable_ = std::move(handler); }
  const Handler& whenUnreachable() const { return whenUnreachable_; }
  void setWhenUnreachable(Handler handler) { whenUnreachable_ = std::move(handler); }
  bool reachableOnWWAN() const { return reachableOnWWAN_; }
  void setReachableOnWWAN(bool reachable) { reachableOnWWAN_ = reachable; }
  const std::shared_ptr<platform::NotificationCenter>& notificationCenter() const {
    return notificationCenter_;
  }
  void setNotificationCenter(std::shared_ptr<platform::NotificationCenter> center) {
    notificationCenter_ = std::move(center);
  }
  bool notifierRunning() const { return notifierRunning_; }
  const std::optional<platform::ReachabilityFlags>& previousFlags() const { return previousFlags_; }
  const std::string& queueLabel() const { return reachabilitySerialQueue_->label(); }

  // Raises ReachabilityError when the service refuses the callback or the
  // queue (the partial registration is undone first).
  void startNotifier();
  void stopNotifier();

  bool isReachable();
  bool isReachableViaWiFi();
  bool isReachableViaWWAN();
  NetworkStatus currentStatus();
  std::string currentStatusText();
  // Ten characters: W (or X off device) R, a space, c t i C D l d; "-" for
  // a clear flag.
  std::string flagsText();

  // Reports a change of the flags since the last report, if any.
  void reachabilityChanged();

 private:
  static void callback(platform::ReachabilityTarget& target, platform::ReachabilityFlags flags,
                       void* info);
  // The flags now; nothing when there is no reference or the read fails.
  std::optional<platform::ReachabilityFlags> readFlags();
  bool flagSet(platform::ReachabilityFlags flag);

  Handler whenReachable_;
  Handler whenUnreachable_;
  bool reachableOnWWAN_ = true;
  std::shared_ptr<platform::NotificationCenter> notificationCenter_;
  std::optional<platform::ReachabilityFlags> previousFlags_;
  bool isRunningOnDevice_ = true;
  bool notifierRunning_ = false;
  std::shared_ptr<platform::ReachabilityTarget> reachabilityRef_;
  std::shared_ptr<platform::ReachabilityService> service_;
  std::unique_ptr<platform::DispatchQueue> reachabilitySerialQueue_;
  // Work queued for the main queue checks this before using the monitor.
  std::shared_ptr<Reachability*> alive_;
};

}  // namespace vantory
