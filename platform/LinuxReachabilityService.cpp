#include "LinuxReachabilityService.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "DispatchQueue.h"

namespace platform {

namespace {

using namespace reachability_flag;

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

struct Destination {
  int family = AF_INET;
  unsigned char bytes[16] = {};
  std::size_t length = 4;
};

struct Route {
  bool local = false;
  bool viaGateway = false;
  int outputInterface = 0;
};

Descriptor openRouteSocket() {
  Descriptor fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.valid()) {
    timeval timeout{1, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  return fd;
}

void readRouteAttributes(const nlmsghdr* message, Route& route) {
  const auto* header = static_cast<const rtmsg*>(NLMSG_DATA(message));
  route.local = header->rtm_type == RTN_LOCAL;
  int length = static_cast<int>(RTM_PAYLOAD(message));
  for (const rtattr* attribute = RTM_RTA(header); RTA_OK(attribute, length);
       attribute = RTA_NEXT(attribute, length)) {
    if (attribute->rta_type == RTA_OIF) {
      std::memcpy(&route.outputInterface, RTA_DATA(attribute), sizeof(int));
    } else if (attribute->rta_type == RTA_GATEWAY) {
      route.viaGateway = true;
    }
  }
}

// A route question to the kernel, with room for one address attribute.
struct RouteRequest {
  nlmsghdr header;
  rtmsg route;
  char attributes[64];
};

RouteRequest routeRequest(int family, int flags) {
  RouteRequest request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = static_cast<unsigned short>(flags);
  request.header.nlmsg_seq = 1;
  request.route.rtm_family = static_cast<unsigned char>(family);
  return request;
}

bool usableRouteType(unsigned char type) { return type == RTN_UNICAST || type == RTN_LOCAL; }

// The kernel's route to the destination, if it has one.
std::optional<Route> lookupRoute(const Destination& destination) {
  Descriptor fd = openRouteSocket();
  if (!fd.valid()) {
    return std::nullopt;
  }
  RouteRequest request = routeRequest(destination.family, NLM_F_REQUEST);
  request.route.rtm_dst_len = static_cast<unsigned char>(destination.length * 8);
  auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                              NLMSG_ALIGN(request.header.nlmsg_len));
  attribute->rta_type = RTA_DST;
  attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(destination.length));
  std::memcpy(RTA_DATA(attribute), destination.bytes, destination.length);
  request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);
  if (::send(fd.get(), &request, request.header.nlmsg_len, 0) < 0) {
    return std::nullopt;
  }
  alignas(nlmsghdr) char buffer[8192];
  const ssize_t received = ::recv(fd.get(), buffer, sizeof buffer, 0);
  if (received <= 0) {
    return std::nullopt;
  }
  int length = static_cast<int>(received);
  for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, length);
       message = NLMSG_NEXT(message, length)) {
    if (message->nlmsg_type == NLMSG_ERROR) {
      return std::nullopt;  // no route ("network is unreachable")
    }
    if (message->nlmsg_type == RTM_NEWROUTE) {
      if (!usableRouteType(static_cast<const rtmsg*>(NLMSG_DATA(message))->rtm_type)) {
        return std::nullopt;
      }
      Route route;
      readRouteAttributes(message, route);
      return route;
    }
  }
  return std::nullopt;
}

bool interfaceIsUp(int index) {
  char name[IF_NAMESIZE] = {};
  if (::if_indextoname(static_cast<unsigned>(index), name) == nullptr) {
    return false;
  }
  Descriptor fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq request{};
  std::strncpy(request.ifr_name, name, IF_NAMESIZE - 1);
  if (!fd.valid() || ::ioctl(fd.get(), SIOCGIFFLAGS, &request) != 0) {
    return false;
  }
  return (request.ifr_flags & IFF_UP) != 0;
}

bool interfaceIsCellular(int index) {
  char name[IF_NAMESIZE] = {};
  if (::if_indextoname(static_cast<unsigned>(index), name) == nullptr) {
    return false;
  }
  if (std::strncmp(name, "wwan", 4) == 0) {
    return true;
  }
  std::ifstream uevent(std::string("/sys/class/net/") + name + "/uevent");
  std::string line;
  while (std::getline(uevent, line)) {
    if (line == "DEVTYPE=wwan") {
      return true;
    }
  }
  return false;
}

ReachabilityFlags flagsForRoute(const std::optional<Route>& route) {
  if (!route || !interfaceIsUp(route->outputInterface)) {
    return 0;
  }
  ReachabilityFlags flags = reachable;
  if (!route->viaGateway) {
    flags |= isDirect;
  }
  if (route->local) {
    flags |= isLocalAddress;
  }
  if (interfaceIsCellular(route->outputInterface)) {
    flags |= isWWAN;
  }
  return flags;
}

// A default route (in the main table) through an interface that is up.
std::optional<Route> defaultRoute() {
  for (const int family : {AF_INET, AF_INET6}) {
    Descriptor fd = openRouteSocket();
    if (!fd.valid()) {
      return std::nullopt;
    }
    const RouteRequest request = routeRequest(family, NLM_F_REQUEST | NLM_F_DUMP);
    if (::send(fd.get(), &request, request.header.nlmsg_len, 0) < 0) {
      continue;
    }
    alignas(nlmsghdr) char buffer[16384];
    bool done = false;
    while (!done) {
      const ssize_t received = ::recv(fd.get(), buffer, sizeof buffer, 0);
      if (received <= 0) {
        break;
      }
      int length = static_cast<int>(received);
      for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, length);
           message = NLMSG_NEXT(message, length)) {
        if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
          done = true;
          break;
        }
        const auto* header = static_cast<const rtmsg*>(NLMSG_DATA(message));
        if (message->nlmsg_type != RTM_NEWROUTE || header->rtm_dst_len != 0 ||
            header->rtm_table != RT_TABLE_MAIN || header->rtm_type != RTN_UNICAST) {
          continue;
        }
        Route route;
        readRouteAttributes(message, route);
        if (interfaceIsUp(route.outputInterface)) {
          return route;
        }
      }
    }
  }
  return std::nullopt;
}

// getaddrinfo has no timeout of its own: it runs on a thread of its own and
// the caller waits a short while for it.
std::vector<Destination> resolve(const std::string& host) {
  struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<Destination> destinations;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host] {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    std::vector<Destination> found;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) == 0) {
      for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
        Destination destination;
        destination.family = entry->ai_family;
        if (entry->ai_family == AF_INET) {
          const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
          std::memcpy(destination.bytes, &address->sin_addr, 4);
          destination.length = 4;
        } else if (entry->ai_family == AF_INET6) {
          const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
          std::memcpy(destination.bytes, &address->sin6_addr, 16);
          destination.length = 16;
        } else {
          continue;
        }
        found.push_back(destination);
      }
      ::freeaddrinfo(results);
    }
    std::lock_guard lock(lookup->mutex);
    lookup->destinations = std::move(found);
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock lock(lookup->mutex);
  lookup->done.wait_for(lock, std::chrono::seconds(2), [&] { return lookup->finished; });
  return lookup->destinations;
}

// Wakes on every batch of link, address and route changes and reports the
// target's flags on the queue, until stopped.
class Watcher {
 public:
  using Report = std::function<void()>;

  static std::unique_ptr<Watcher> start(Report report) {
    Descriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (!socket.valid()) {
      return nullptr;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR |
                        RTMGRP_IPV6_ROUTE;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      return nullptr;
    }
    return std::unique_ptr<Watcher>(new Watcher(socket.release(), std::move(report)));
  }

  ~Watcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

 private:
  Watcher(int socket, Report report)
      : socket_(socket), stop_(::eventfd(0, EFD_CLOEXEC)), report_(std::move(report)) {
    thread_ = std::thread([this] { run(); });
  }

  // Reads what is waiting; false when the stop was asked for.
  bool drain(int timeoutMs) {
    pollfd waiting[2] = {{socket_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    if (::poll(waiting, 2, timeoutMs) <= 0) {
      return true;
    }
    if ((waiting[1].revents & POLLIN) != 0) {
      return false;
    }
    char buffer[8192];
    while (::recv(socket_.get(), buffer, sizeof buffer, 0) > 0) {
    }
    return true;
  }

  void run() {
    while (true) {
      pollfd waiting[2] = {{socket_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
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

  Descriptor socket_;
  Descriptor stop_;
  Report report_;
  std::thread thread_;
};

class LinuxTarget : public ReachabilityTarget {
 public:
  std::optional<std::string> host;
  sockaddr_in address{};
  std::mutex mutex;
  ReachabilityService::Callback callback = nullptr;
  void* info = nullptr;
  DispatchQueue* queue = nullptr;
  std::unique_ptr<Watcher> watcher;
};

}  // namespace

std::shared_ptr<LinuxReachabilityService> LinuxReachabilityService::shared() {
  static const auto service = std::make_shared<LinuxReachabilityService>();
  return service;
}

bool LinuxReachabilityService::isValidHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) {
    return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('.', start), name.size());
    const std::string_view label(name.data() + start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (const char c : label) {
      if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-') {
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

std::shared_ptr<ReachabilityTarget> LinuxReachabilityService::createWithName(
    const std::string& hostName) {
  if (!isValidHostName(hostName)) {
    return nullptr;
  }
  auto target = std::make_shared<LinuxTarget>();
  target->host = hostName;
  return target;
}

std::shared_ptr<ReachabilityTarget> LinuxReachabilityService::createWithAddress(
    const sockaddr_in& address) {
  if (address.sin_family != AF_INET) {
    return nullptr;
  }
  auto target = std::make_shared<LinuxTarget>();
  target->address = address;
  return target;
}

bool LinuxReachabilityService::getFlags(ReachabilityTarget& target, ReachabilityFlags& flags) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  flags = 0;
  if (watched->host) {
    // A name that does not resolve is not reachable; the read itself succeeds.
    for (const Destination& destination : resolve(*watched->host)) {
      flags = flagsForRoute(lookupRoute(destination));
      if ((flags & reachable) != 0) {
        break;
      }
    }
    return true;
  }
  if (watched->address.sin_addr.s_addr == INADDR_ANY) {
    flags = flagsForRoute(defaultRoute());
    return true;
  }
  Destination destination;
  std::memcpy(destination.bytes, &watched->address.sin_addr, 4);
  flags = flagsForRoute(lookupRoute(destination));
  return true;
}

bool LinuxReachabilityService::setCallback(ReachabilityTarget& target, Callback callback,
                                           void* info) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  std::unique_ptr<Watcher> stopped;
  std::lock_guard lock(watched->mutex);
  watched->callback = callback;
  watched->info = info;
  if (callback == nullptr) {
    stopped = std::move(watched->watcher);
  }
  return true;
}

bool LinuxReachabilityService::setDispatchQueue(ReachabilityTarget& target, DispatchQueue* queue) {
  auto* watched = dynamic_cast<LinuxTarget*>(&target);
  if (watched == nullptr) {
    return false;
  }
  std::unique_ptr<Watcher> stopped;
  {
    std::lock_guard lock(watched->mutex);
    watched->queue = queue;
    if (queue == nullptr || watched->callback == nullptr) {
      stopped = std::move(watched->watcher);
      return true;
    }
    if (watched->watcher) {
      return true;
    }
    watched->watcher = Watcher::start([this, watched] {
      ReachabilityFlags flags = 0;
      getFlags(*watched, flags);
      std::lock_guard inner(watched->mutex);
      if (watched->callback != nullptr && watched->queue != nullptr) {
        watched->queue->async([watched, callback = watched->callback, info = watched->info, flags] {
          callback(*watched, flags, info);
        });
      }
    });
    return watched->watcher != nullptr;
  }
}

}  // namespace platform
