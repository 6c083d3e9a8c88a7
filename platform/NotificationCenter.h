#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// Named notifications delivered synchronously, on the posting thread, to
// every observer of that name.
class NotificationCenter {
 public:
  struct Notification {
    std::string name;
    const void* object;
  };
  using Observer = std::function<void(const Notification& notification)>;

  static std::shared_ptr<NotificationCenter> defaultCenter();

  // Returns a token for removeObserver.
  std::uint64_t addObserver(std::string name, Observer observer);
  void removeObserver(std::uint64_t token);
  void postNotificationName(const std::string& name, const void* object);

 private:
  std::mutex mutex_;
  std::uint64_t nextToken_ = 1;
  std::map<std::uint64_t, std::pair<std::string, Observer>> observers_;
};

}  // namespace platform
