#include "RouteWatcher.h"

#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

std::unique_ptr<RouteWatcher> RouteWatcher::start(Report report) {
  auto socket = std::make_unique<RouteSocket>(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE |
                                              RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE);
  if (!socket->valid()) {
    return nullptr;
  }
  return std::unique_ptr<RouteWatcher>(new RouteWatcher(std::move(socket), std::move(report)));
}

RouteWatcher::RouteWatcher(std::unique_ptr<RouteSocket> socket, Report report)
    : socket_(std::move(socket)), stop_(::eventfd(0, EFD_CLOEXEC)), report_(std::move(report)) {
  thread_ = std::thread([this] { run(); });
}

RouteWatcher::~RouteWatcher() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(stop_, &one, sizeof one);
  thread_.join();
  ::close(stop_);
}

bool RouteWatcher::drain(int timeoutMs) {
  pollfd waiting[2] = {{socket_->fd(), POLLIN, 0}, {stop_, POLLIN, 0}};
  if (::poll(waiting, 2, timeoutMs) <= 0) {
    return true;
  }
  if ((waiting[1].revents & POLLIN) != 0) {
    return false;
  }
  char buffer[8192];
  while (::recv(socket_->fd(), buffer, sizeof buffer, 0) > 0) {
  }
  return true;
}

void RouteWatcher::run() {
  while (true) {
    pollfd waiting[2] = {{socket_->fd(), POLLIN, 0}, {stop_, POLLIN, 0}};
    if (::poll(waiting, 2, -1) < 0) {
      continue;
    }
    if ((waiting[1].revents & POLLIN) != 0) {
      return;
    }
    // Changes come in bursts: let the burst end, then report once.
    if (!drain(0) || !drain(50)) {
      return;
    }
    report_();
  }
}

}  // namespace platform
