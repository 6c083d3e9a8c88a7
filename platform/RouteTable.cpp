#include "RouteTable.h"

#include <libmnl/libmnl.h>
#include <linux/if.h>
#include <linux/rtnetlink.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "RouteSocket.h"

namespace platform {

namespace {

using namespace reachability_flag;

struct Route {
  bool local = false;
  bool viaGateway = false;
  bool linkDown = false;  // the kernel marks the route "linkdown"
  int outputInterface = 0;
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
  Request(std::uint16_t type, std::uint16_t flags)
      : buffer_(static_cast<std::size_t>(MNL_SOCKET_BUFFER_SIZE)) {
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

}  // namespace

ReachabilityFlags RouteTable::flagsFor(const LinuxReachabilityService::Address& destination) {
  return flagsForRoute(lookupRoute(destination));
}

ReachabilityFlags RouteTable::defaultRouteFlags() {
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

}  // namespace platform
