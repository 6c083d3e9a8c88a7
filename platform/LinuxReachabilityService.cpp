#include "LinuxReachabilityService.h"

#include <arpa/inet.h>
#include <libmnl/libmnl.h>
#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "DispatchQueue.h"

namespace platform {

namespace {

using namespace reachability_flag;

struct Route {
  bool local = false;
  bool viaGateway = false;
  bool linkDown = false;  // the kernel marks the route "linkdown"
  int outputInterface = 0;
};

// A routing netlink socket, closed when it goes out of scope.
class RouteSocket {
 public:
  // groups: the change notifications to listen to; 0 for questions only.
  explicit RouteSocket(unsigned groups = 0)
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
  ~RouteSocket() {
    if (socket_ != nullptr) {
      mnl_socket_close(socket_);
    }
  }
  RouteSocket(const RouteSocket&) = delete;
  RouteSocket& operator=(const RouteSocket&) = delete;

  bool valid() const { return socket_ != nullptr; }
  int fd() const { return mnl_socket_get_fd(socket_); }

  // Sends the request and hands every message of the answer to `each` until
  // the answer ends; false when it could not be asked or read.
  bool ask(nlmsghdr* request, const std::function<void(const nlmsghdr*)>& each) {
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

 private:
  mnl_socket* socket_;
  unsigned sequence_ = 0;
};

// The attributes of a netlink message, validated, indexed by type.
template <std::size_t MaxType>
struct Attributes {
  const nlattr* at[MaxType + 1] = {};

  Attributes(const nlmsghdr* message, std::size_t headerSize) {
    mnl_attr_parse(
        message, static_cast<unsigned>(headerSize),
        [](const nlattr* attribute, void* data) {
          if (mnl_attr_type_valid(attribute, MaxType) > 0) {
            static_cast<Attributes*>(data)->at[mnl_attr_get_type(attribute)] = attribute;
          }
          return MNL_CB_OK;
        },
        this);
  }
  std::optional<std::uint32_t> u32(int type) const {
    const nlattr* attribute = at[type];
    if (attribute == nullptr || mnl_attr_validate(attribute, MNL_TYPE_U32) < 0) {
      return std::nullopt;
    }
    return mnl_attr_get_u32(attribute);
  }
};

bool usableRouteType(unsigned char type) { return type == RTN_UNICAST || type == RTN_LOCAL; }

Route readRoute(const nlmsghdr* message) {
  const auto* header = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(message));
  const Attributes<RTA_MAX> attributes(message, sizeof(rtmsg));
  Route route;
  route.local = header->rtm_type == RTN_LOCAL;
  route.linkDown = (header->rtm_flags & RTNH_F_LINKDOWN) != 0;
  route.viaGateway = attributes.at[RTA_GATEWAY] != nullptr;
  route.outputInterface = static_cast<int>(attributes.u32(RTA_OIF).value_or(0));
  return route;
}

// A netlink request with room for a few attributes.
class Request {
 public:
  Request(std::uint16_t type, std::uint16_t flags) : buffer_(MNL_SOCKET_BUFFER_SIZE) {
    message_ = mnl_nlmsg_put_header(buffer_.data());
    message_->nlmsg_type = type;
    message_->nlmsg_flags = flags;
  }
  template <typename Header>
  Header& header() {
    return *static_cast<Header*>(mnl_nlmsg_put_extra_header(message_, sizeof(Header)));
  }
  nlmsghdr* message() { return message_; }

 private:
  std::vector<char> buffer_;
  nlmsghdr* message_;
};

// The kernel's route to the destination, if it has a usable one.
std::optional<Route> lookupRoute(const LinuxReachabilityService::Address& destination) {
  RouteSocket socket;
  Request request(RTM_GETROUTE, NLM_F_REQUEST);
  auto& header = request.header<rtmsg>();
  header.rtm_family = static_cast<unsigned char>(destination.family);
  header.rtm_dst_len = static_cast<unsigned char>(destination.length * 8);
  mnl_attr_put(request.message(), RTA_DST, destination.length, destination.bytes);
  std::optional<Route> found;
  socket.ask(request.message(), [&](const nlmsghdr* message) {
    const auto* answer = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(message));
    if (message->nlmsg_type == RTM_NEWROUTE && usableRouteType(answer->rtm_type)) {
      found = readRoute(message);
    }
  });
  return found;
}

struct Link {
  bool carriesTraffic = false;  // up, with a carrier
  bool cellular = false;
};

bool isCellular(const std::string& name) {
  if (name.rfind("wwan", 0) == 0) {
    return true;
  }
  std::ifstream uevent("/sys/class/net/" + name + "/uevent");
  std::string line;
  while (std::getline(uevent, line)) {
    if (line == "DEVTYPE=wwan") {
      return true;
    }
  }
  return false;
}

// What the kernel says of the interface now.
std::optional<Link> lookupLink(int index) {
  RouteSocket socket;
  Request request(RTM_GETLINK, NLM_F_REQUEST);
  request.header<ifinfomsg>().ifi_index = index;
  std::optional<Link> found;
  socket.ask(request.message(), [&](const nlmsghdr* message) {
    if (message->nlmsg_type != RTM_NEWLINK) {
      return;
    }
    const auto* info = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(message));
    const Attributes<IFLA_MAX> attributes(message, sizeof(ifinfomsg));
    Link link;
    // Administratively up is not enough: a link without carrier (cable out,
    // the peer of a veth pair down) carries nothing.
    const auto operstate = attributes.u32(IFLA_OPERSTATE);
    link.carriesTraffic = (info->ifi_flags & IFF_UP) != 0 && (info->ifi_flags & IFF_RUNNING) != 0 &&
                          (info->ifi_flags & IFF_LOWER_UP) != 0 &&
                          operstate.value_or(IF_OPER_UP) != IF_OPER_DOWN;
    if (const nlattr* name = attributes.at[IFLA_IFNAME];
        name != nullptr && mnl_attr_validate(name, MNL_TYPE_NUL_STRING) >= 0) {
      link.cellular = isCellular(mnl_attr_get_str(name));
    }
    found = link;
  });
  return found;
}

ReachabilityFlags flagsForRoute(const std::optional<Route>& route) {
  if (!route || route->linkDown) {
    return 0;
  }
  const std::optional<Link> link = lookupLink(route->outputInterface);
  if (!link || !link->carriesTraffic) {
    return 0;
  }
  ReachabilityFlags flags = reachable;
  if (!route->viaGateway) {
    flags |= isDirect;
  }
  if (route->local) {
    flags |= isLocalAddress;
  }
  if (link->cellular) {
    flags |= isWWAN;
  }
  return flags;
}

// The flags of a default route (main table) that can carry traffic.
ReachabilityFlags defaultRouteFlags() {
  for (const int family : {AF_INET, AF_INET6}) {
    RouteSocket socket;
    Request request(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP);
    request.header<rtmsg>().rtm_family = static_cast<unsigned char>(family);
    std::vector<Route> defaults;
    socket.ask(request.message(), [&](const nlmsghdr* message) {
      const auto* header = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(message));
      if (message->nlmsg_type == RTM_NEWROUTE && header->rtm_dst_len == 0 &&
          header->rtm_table == RT_TABLE_MAIN && header->rtm_type == RTN_UNICAST) {
        defaults.push_back(readRoute(message));
      }
    });
    for (const Route& route : defaults) {
      if (const ReachabilityFlags flags = flagsForRoute(route); (flags & reachable) != 0) {
        return flags;
      }
    }
  }
  return 0;
}

std::vector<LinuxReachabilityService::Address> resolveWithSystem(const std::string& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  std::vector<LinuxReachabilityService::Address> found;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0) {
    return found;
  }
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    LinuxReachabilityService::Address address;
    address.family = entry->ai_family;
    if (entry->ai_family == AF_INET) {
      std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr,
                  4);
      address.length = 4;
    } else if (entry->ai_family == AF_INET6) {
      std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr,
                  16);
      address.length = 16;
    } else {
      continue;
    }
    found.push_back(address);
  }
  ::freeaddrinfo(results);
  return found;
}

// Wakes on every batch of link, address and route changes and calls report,
// until it ends.
class Watcher {
 public:
  using Report = std::function<void()>;

  static std::unique_ptr<Watcher> start(Report report) {
    auto socket =
        std::make_unique<RouteSocket>(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE |
                                      RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE);
    if (!socket->valid()) {
      return nullptr;
    }
    return std::unique_ptr<Watcher>(new Watcher(std::move(socket), std::move(report)));
  }

  ~Watcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(stop_);
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

 private:
  Watcher(std::unique_ptr<RouteSocket> socket, Report report)
      : socket_(std::move(socket)), stop_(::eventfd(0, EFD_CLOEXEC)), report_(std::move(report)) {
    thread_ = std::thread([this] { run(); });
  }

  // Reads what is waiting; false when the end was asked for.
  bool drain(int timeoutMs) {
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

  void run() {
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

  std::unique_ptr<RouteSocket> socket_;
  int stop_;
  Report report_;
  std::thread thread_;
};

// The addresses a host name had at its last resolution. Lookups run on a
// thread of the target's own, never on the thread that reads the flags, and
// nothing waits for them: getaddrinfo cannot be cancelled.
class HostResolution {
 public:
  using Done = std::function<void()>;

  std::vector<LinuxReachabilityService::Address> addresses() {
    std::lock_guard lock(mutex_);
    return addresses_;
  }

  // Resolves the name again; done runs on the lookup's thread afterwards.
  // A request during a lookup makes that lookup run once more.
  static void refresh(const std::shared_ptr<HostResolution>& self, std::string host,
                      LinuxReachabilityService::Resolver resolver, Done done) {
    {
      std::lock_guard lock(self->mutex_);
      if (self->looking_) {
        self->again_ = true;
        return;
      }
      self->looking_ = true;
    }
    std::thread([self, host = std::move(host), resolver = std::move(resolver),
                 done = std::move(done)] {
      while (true) {
        std::vector<LinuxReachabilityService::Address> found = resolver(host);
        std::unique_lock lock(self->mutex_);
        self->addresses_ = std::move(found);
        if (!std::exchange(self->again_, false)) {
          self->looking_ = false;
          lock.unlock();
          done();
          return;
        }
      }
    }).detach();
  }

 private:
  std::mutex mutex_;
  std::vector<LinuxReachabilityService::Address> addresses_;
  bool looking_ = false;
  bool again_ = false;
};

class LinuxTarget : public ReachabilityTarget, public std::enable_shared_from_this<LinuxTarget> {
 public:
  std::optional<std::string> host;
  std::shared_ptr<HostResolution> resolution;
  sockaddr_in address{};
  std::mutex mutex;
  ReachabilityService::Callback callback = nullptr;
  void* info = nullptr;
  DispatchQueue* queue = nullptr;
  std::unique_ptr<Watcher> watcher;
};

ReachabilityFlags flagsOf(LinuxTarget& target) {
  if (target.host) {
    // From the last resolution: a name not (yet) resolved is not reachable.
    for (const LinuxReachabilityService::Address& address : target.resolution->addresses()) {
      if (const ReachabilityFlags flags = flagsForRoute(lookupRoute(address));
          (flags & reachable) != 0) {
        return flags;
      }
    }
    return 0;
  }
  if (target.address.sin_addr.s_addr == INADDR_ANY) {
    return defaultRouteFlags();
  }
  LinuxReachabilityService::Address destination;
  std::memcpy(destination.bytes, &target.address.sin_addr, 4);
  return flagsForRoute(lookupRoute(destination));
}

// Hands the target's flags to its callback on its queue, when both are set.
void report(LinuxTarget& target) {
  const ReachabilityFlags flags = flagsOf(target);
  std::lock_guard lock(target.mutex);
  if (target.callback != nullptr && target.queue != nullptr) {
    target.queue->async([alive = target.shared_from_this(), callback = target.callback,
                         info = target.info, flags] { callback(*alive, flags, info); });
  }
}

// Resolves the target's name anew and then reports its flags.
void resolveAndReport(const std::shared_ptr<LinuxTarget>& target,
                      const LinuxReachabilityService::Resolver& resolver) {
  HostResolution::refresh(target->resolution, *target->host, resolver,
                          [weak = std::weak_ptr<LinuxTarget>(target)] {
                            if (const auto alive = weak.lock()) {
                              report(*alive);
                            }
                          });
}

}  // namespace

LinuxReachabilityService::LinuxReachabilityService() : resolver_(resolveWithSystem) {}

std::shared_ptr<LinuxReachabilityService> LinuxReachabilityService::shared() {
  static const auto service = std::make_shared<LinuxReachabilityService>();
  return service;
}

std::shared_ptr<ReachabilityService> ReachabilityService::systemService() {
  return LinuxReachabilityService::shared();
}

void LinuxReachabilityService::setResolver(Resolver resolver) {
  std::lock_guard lock(resolverMutex_);
  resolver_ = resolver ? std::move(resolver) : Resolver(resolveWithSystem);
}

LinuxReachabilityService::Resolver LinuxReachabilityService::resolver() {
  std::lock_guard lock(resolverMutex_);
  return resolver_;
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
  target->resolution = std::make_shared<HostResolution>();
  resolveAndReport(target, resolver());
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
  // The read itself succeeds and never waits on name resolution.
  flags = flagsOf(*watched);
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
  std::lock_guard lock(watched->mutex);
  watched->queue = queue;
  if (queue == nullptr || watched->callback == nullptr) {
    stopped = std::move(watched->watcher);
    return true;
  }
  if (watched->watcher) {
    return true;
  }
  watched->watcher = Watcher::start([weak = watched->weak_from_this(), resolver = resolver()] {
    const auto alive = weak.lock();
    if (!alive) {
      return;
    }
    report(*alive);
    if (alive->host) {
      // The network changed: the name may now resolve elsewhere.
      resolveAndReport(alive, resolver);
    }
  });
  return watched->watcher != nullptr;
}

}  // namespace platform
