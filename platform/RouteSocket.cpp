#include "RouteSocket.h"

#include <libmnl/libmnl.h>
#include <sys/socket.h>

#include <utility>
#include <vector>

namespace platform {

RouteSocket::RouteSocket(unsigned groups)
    : socket_(mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC | (groups != 0 ? SOCK_NONBLOCK : 0))) {
  if (socket_ == nullptr) {
    return;
  }
  if (mnl_socket_bind(socket_, groups, MNL_SOCKET_AUTOPID) != 0) {
    mnl_socket_close(std::exchange(socket_, nullptr));
    return;
  }
  // A question the kernel does not answer must not hang the caller.
  timeval timeout{1, 0};
  ::setsockopt(fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

RouteSocket::~RouteSocket() {
  if (socket_ != nullptr) {
    mnl_socket_close(socket_);
  }
}

int RouteSocket::fd() const { return mnl_socket_get_fd(socket_); }

bool RouteSocket::ask(nlmsghdr* request, const std::function<void(const nlmsghdr*)>& each) {
  if (!valid()) {
    return false;
  }
  request->nlmsg_seq = ++sequence_;
  if (mnl_socket_sendto(socket_, request, request->nlmsg_len) < 0) {
    return false;
  }
  const unsigned portId = mnl_socket_get_portid(socket_);
  // Large enough for the biggest datagram of a dump, so none is cut short.
  std::vector<char> buffer(32768);
  while (true) {
    const ssize_t received = mnl_socket_recvfrom(socket_, buffer.data(), buffer.size());
    if (received <= 0) {
      return false;
    }
    const int result = mnl_cb_run(
        buffer.data(), static_cast<std::size_t>(received), sequence_, portId,
        [](const nlmsghdr* message, void* data) {
          (*static_cast<const std::function<void(const nlmsghdr*)>*>(data))(message);
          return MNL_CB_OK;
        },
        const_cast<std::function<void(const nlmsghdr*)>*>(&each));
    if (result <= MNL_CB_STOP) {
      // Done, or an error answer (such as "network is unreachable").
      return result == MNL_CB_STOP;
    }
    if ((request->nlmsg_flags & NLM_F_DUMP) == 0) {
      return true;  // a single answer has no end marker
    }
  }
}

}  // namespace platform
