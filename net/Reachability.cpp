#include "Reachability.h"

#include <cstring>

namespace vantory {

using namespace platform::reachability_flag;
using platform::ReachabilityFlags;

std::shared_ptr<platform::ReachabilityService> Reachability::defaultService() {
  return platform::ReachabilityService::systemService();
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection(
    std::shared_ptr<platform::ReachabilityService> service) {
  sockaddr_in zero;
  std::memset(&zero, 0, sizeof zero);
  zero.sin_family = AF_INET;  // port 0, address 0.0.0.0
  auto reference = service->createWithAddress(zero);
  if (!reference) {
    return nullptr;
  }
  return std::make_unique<Reachability>(std::move(reference), std::move(service));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithHostname(
    const std::string& hostname, std::shared_ptr<platform::ReachabilityService> service) {
  auto reference = service->createWithName(hostname);
  if (!reference) {
    return nullptr;
  }
  return std::make_unique<Reachability>(std::move(reference), std::move(service));
}

Reachability::Reachability(std::shared_ptr<platform::ReachabilityTarget> reachabilityRef,
                           std::shared_ptr<platform::ReachabilityService> service)
    : notificationCenter_(platform::NotificationCenter::defaultCenter()),
      service_(std::move(service)),
      reachabilitySerialQueue_(
          std::make_unique<platform::DispatchQueue>("com.vantory.reachability")),
      alive_(std::make_shared<Reachability*>(this)) {
  reachabilityRef_ = std::move(reachabilityRef);
}

Reachability::~Reachability() {
  stopNotifier();
  // Deliveries already queued run now, while the monitor is whole; what they
  // hand to the main queue finds it gone and does nothing.
  reachabilitySerialQueue_.reset();
  alive_.reset();
  reachabilityRef_.reset();
  whenReachable_ = nullptr;
  whenUnreachable_ = nullptr;
}

void Reachability::callback(platform::ReachabilityTarget& /*target*/, ReachabilityFlags /*flags*/,
                            void* info) {
  if (info == nullptr) {
    return;
  }
  auto* monitor = static_cast<Reachability*>(info);
  platform::DispatchQueue::main().async([alive = std::weak_ptr<Reachability*>(monitor->alive_)] {
    if (const auto owner = alive.lock()) {
      (*owner)->reachabilityChanged();
    }
  });
}

void Reachability::startNotifier() {
  if (!reachabilityRef_ || notifierRunning_) {
    return;
  }
  if (!service_->setCallback(*reachabilityRef_, &Reachability::callback, this)) {
    stopNotifier();
    throw ReachabilityError(ReachabilityError::Kind::UnableToSetCallback);
  }
  if (!service_->setDispatchQueue(*reachabilityRef_, reachabilitySerialQueue_.get())) {
    stopNotifier();
    throw ReachabilityError(ReachabilityError::Kind::UnableToSetDispatchQueue);
  }
  // The first check runs on the main queue like every later one, so that two
  // checks never run at the same time.
  platform::DispatchQueue::main().async([alive = std::weak_ptr<Reachability*>(alive_)] {
    if (const auto owner = alive.lock()) {
      (*owner)->reachabilityChanged();
    }
  });
  notifierRunning_ = true;
}

void Reachability::stopNotifier() {
  if (reachabilityRef_) {
    service_->setCallback(*reachabilityRef_, nullptr, nullptr);
    service_->setDispatchQueue(*reachabilityRef_, nullptr);
  }
  notifierRunning_ = false;
}

std::optional<ReachabilityFlags> Reachability::readFlags() {
  ReachabilityFlags flags = 0;
  if (!reachabilityRef_ || !service_->getFlags(*reachabilityRef_, flags)) {
    return std::nullopt;
  }
  return flags;
}

bool Reachability::flagSet(ReachabilityFlags flag) {
  const auto flags = readFlags();
  return flags && (*flags & flag) != 0;
}

bool Reachability::isReachable() {
  if (!flagSet(reachable)) {
    return false;
  }
  const ReachabilityFlags again = readFlags().value_or(0);
  if ((again & connectionRequired) != 0 && (again & transientConnection) != 0) {
    return false;
  }
  if (isRunningOnDevice_) {
    const auto flags = readFlags();
    if (flags && (*flags & isWWAN) != 0 && !reachableOnWWAN_) {
      return false;
    }
  }
  return true;
}

bool Reachability::isReachableViaWiFi() {
  if (!flagSet(reachable)) {
    return false;
  }
  if (isRunningOnDevice_) {
    const auto flags = readFlags();
    return !flags || (*flags & isWWAN) == 0;
  }
  return true;
}

bool Reachability::isReachableViaWWAN() {
  if (!isRunningOnDevice_ || !flagSet(reachable)) {
    return false;
  }
  const auto flags = readFlags();
  return flags && (*flags & isWWAN) != 0;
}

NetworkStatus Reachability::currentStatus() {
  if (!isReachable()) {
    return NetworkStatus::notReachable;
  }
  if (isReachableViaWiFi()) {
    return NetworkStatus::reachableViaWiFi;
  }
  return isRunningOnDevice_ ? NetworkStatus::reachableViaWWAN : NetworkStatus::notReachable;
}

std::string Reachability::currentStatusText() { return networkStatusText(currentStatus()); }

std::string Reachability::flagsText() {
  std::string text;
  text += isRunningOnDevice_ ? (flagSet(isWWAN) ? 'W' : '-') : 'X';
  text += flagSet(reachable) ? 'R' : '-';
  text += ' ';
  text += flagSet(connectionRequired) ? 'c' : '-';
  text += flagSet(transientConnection) ? 't' : '-';
  text += flagSet(interventionRequired) ? 'i' : '-';
  text += flagSet(connectionOnTraffic) ? 'C' : '-';
  text += flagSet(connectionOnDemand) ? 'D' : '-';
  text += flagSet(isLocalAddress) ? 'l' : '-';
  text += flagSet(isDirect) ? 'd' : '-';
  return text;
}

void Reachability::reachabilityChanged() {
  const ReachabilityFlags flags = readFlags().value_or(0);
  if (previousFlags_ && *previousFlags_ == flags) {
    return;
  }
  const Handler& handler = isReachable() ? whenReachable_ : whenUnreachable_;
  if (handler) {
    handler(*this);
  }
  if (notificationCenter_) {
    notificationCenter_->postNotificationName(kReachabilityChangedNotification, this);
  }
  previousFlags_ = flags;
}

}  // namespace vantory
