#include "platform/LinuxReachabilityService.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "net/Reachability.h"

using namespace platform::reachability_flag;
using platform::LinuxReachabilityService;
using platform::ReachabilityFlags;

namespace {

sockaddr_in ipv4(const char* text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::inet_pton(AF_INET, text, &address.sin_addr);
  return address;
}

TEST(LinuxReachability, LoopbackIsReachableDirectAndLocal) {
  auto service = LinuxReachabilityService::shared();
  auto loopback = service->createWithAddress(ipv4("127.0.0.1"));
  ASSERT_TRUE(loopback);
  ReachabilityFlags flags = 0;
  ASSERT_TRUE(service->getFlags(*loopback, flags));
  EXPECT_EQ(flags & (reachable | isDirect | isLocalAddress), reachable | isDirect | isLocalAddress);

  vantory::Reachability monitor(loopback, service);
  EXPECT_EQ(monitor.flagsText().substr(1), "R -----ld");
  EXPECT_EQ(monitor.currentStatusText(), "WiFi");
}

TEST(LinuxReachability, NamesAreCheckedAndAnUnresolvableNameIsNotReachable) {
  auto service = LinuxReachabilityService::shared();
  for (const std::string& bad :
       {std::string(""), std::string(254, 'a'), std::string("-a.org"), std::string("a..org"),
        std::string("a b.org"), std::string(64, 'x') + ".org"}) {
    EXPECT_EQ(service->createWithName(bad), nullptr) << bad;
  }
  auto nowhere = service->createWithName("vantory-no-such-host.invalid");
  ASSERT_TRUE(nowhere);
  ReachabilityFlags flags = reachable;
  ASSERT_TRUE(service->getFlags(*nowhere, flags));
  EXPECT_EQ(flags & reachable, 0U);
}

TEST(LinuxReachability, ASlowResolverNeverHoldsUpAFlagRead) {
  auto service = std::make_shared<LinuxReachabilityService>();
  std::atomic<bool> answer{false};
  service->setResolver([&answer](const std::string&) {
    while (!answer) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    LinuxReachabilityService::Address loopback;
    loopback.bytes[0] = 127;
    loopback.bytes[3] = 1;
    return std::vector<LinuxReachabilityService::Address>{loopback};
  });
  vantory::Reachability monitor(service->createWithName("slow.example"), service);
  int reachable = 0;
  monitor.setWhenReachable([&](vantory::Reachability&) { ++reachable; });
  monitor.startNotifier();

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(monitor.flagsText(), "-- -------") << "not resolved yet: not reachable";
  EXPECT_FALSE(monitor.isReachable());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1))
      << "ten reads while the name is still being resolved";

  answer = true;  // the resolution ends: the change is reported
  auto& main = platform::DispatchQueue::main();
  EXPECT_TRUE(main.runUntil([&] { return reachable == 1 && monitor.isReachable(); },
                            std::chrono::seconds(5)));
  EXPECT_EQ(monitor.flagsText(), "-R -----ld");
  monitor.stopNotifier();
}

// In a network namespace of its own (a child process), a link going down
// and up, and the carrier going away under a link that stays up, are
// reported as changes.
TEST(LinuxReachability, LinkChangesInANetworkNamespaceAreReported) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "creating a network namespace needs root";
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNET) != 0) {
      ::_exit(77);  // namespaces are not allowed here
    }
    if (std::system("ip link add v0 type veth peer name v1 && ip addr add 192.0.2.2/24 dev v0 && "
                    "ip link set v1 up && ip link set v0 up") != 0) {
      ::_exit(77);
    }
    auto service = LinuxReachabilityService::shared();
    vantory::Reachability monitor(service->createWithAddress(ipv4("192.0.2.1")), service);
    int reachable = 0;
    int unreachable = 0;
    monitor.setWhenReachable([&](vantory::Reachability&) { ++reachable; });
    monitor.setWhenUnreachable([&](vantory::Reachability&) { ++unreachable; });
    monitor.startNotifier();
    auto& main = platform::DispatchQueue::main();
    if (!main.runUntil([&] { return reachable == 1; }, std::chrono::seconds(5))) {
      ::_exit(1);
    }
    if (std::system("ip link set v0 down") != 0 ||
        !main.runUntil([&] { return unreachable == 1; }, std::chrono::seconds(5))) {
      ::_exit(2);
    }
    if (std::system("ip link set v0 up") != 0 ||
        !main.runUntil([&] { return reachable == 2; }, std::chrono::seconds(5))) {
      ::_exit(3);
    }
    // The peer goes down: v0 stays up but has no carrier.
    if (std::system("ip link set v1 down") != 0 ||
        !main.runUntil([&] { return unreachable == 2; }, std::chrono::seconds(5)) ||
        monitor.isReachable()) {
      ::_exit(4);
    }
    if (std::system("ip link set v1 up") != 0 ||
        !main.runUntil([&] { return reachable == 3; }, std::chrono::seconds(5))) {
      ::_exit(5);
    }
    monitor.stopNotifier();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "this machine does not allow network namespaces with veth links";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: first report, 2: link down, 3: link up, 4: carrier lost, 5: carrier back";
}

}  // namespace
