#pragma once

#include <functional>

struct mnl_socket;
struct nlmsghdr;

namespace platform {

// A routing netlink socket, closed when it goes out of scope.
class RouteSocket {
 public:
  // groups: the change notifications to listen to; 0 for questions only.
  explicit RouteSocket(unsigned groups = 0);
  ~RouteSocket();
  RouteSocket(const RouteSocket&) = delete;
  RouteSocket& operator=(const RouteSocket&) = delete;

  bool valid() const { return socket_ != nullptr; }
  int fd() const;

  // Sends the request and hands every message of the answer to `each` until
  // the answer ends; false when it could not be asked or read.
  bool ask(nlmsghdr* request, const std::function<void(const nlmsghdr*)>& each);

 private:
  mnl_socket* socket_;
  unsigned sequence_ = 0;
};

}  // namespace platform
