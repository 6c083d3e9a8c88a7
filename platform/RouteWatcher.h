#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "RouteSocket.h"

namespace platform {

// Wakes on every batch of link, address and route changes (a netlink socket
// in the kernel's change groups) and calls report on its own thread, until it
// is destroyed.
class RouteWatcher {
 public:
  using Report = std::function<void()>;

  // Nothing when the socket cannot be opened.
  static std::unique_ptr<RouteWatcher> start(Report report);

  ~RouteWatcher();
  RouteWatcher(const RouteWatcher&) = delete;
  RouteWatcher& operator=(const RouteWatcher&) = delete;

 private:
  RouteWatcher(std::unique_ptr<RouteSocket> socket, Report report);

  // Reads what is waiting; false when the end was asked for.
  bool drain(int timeoutMs);
  void run();

  std::unique_ptr<RouteSocket> socket_;
  int stop_;
  Report report_;
  std::thread thread_;
};

}  // namespace platform
