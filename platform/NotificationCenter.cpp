#include "NotificationCenter.h"

#include <vector>

namespace platform {

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
  static const auto center = std::make_shared<NotificationCenter>();
  return center;
}

std::uint64_t NotificationCenter::addObserver(std::string name, Observer observer) {
  std::lock_guard lock(mutex_);
  const std::uint64_t token = nextToken_++;
  observers_.emplace(token, std::make_pair(std::move(name), std::move(observer)));
  return token;
}

void NotificationCenter::removeObserver(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

void NotificationCenter::postNotificationName(const std::string& name, const void* object) {
  std::vector<Observer> receivers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [token, entry] : observers_) {
      if (entry.first == name) {
        receivers.push_back(entry.second);
      }
    }
  }
  // Outside the lock: an observer may add or remove observers.
  const Notification notification{name, object};
  for (const auto& receiver : receivers) {
    receiver(notification);
  }
}

}  // namespace platform
